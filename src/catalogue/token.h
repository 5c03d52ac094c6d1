#pragma once

#include <string>

namespace brix {

// Splits a text into the pieces between occurrences of a separator text (a
// single space unless replaced). The piece after the last separator is
// delivered too, by the last-piece mark that the separator's last occurrence
// sets. A text without the separator has no pieces at all.
class CToken {
  public:
    explicit CToken(std::u16string text) : text_(std::move(text)) {}

    void SetSeparator(std::u16string separator) {
        separator_ = std::move(separator);
        nextKnown_ = false;
    }
    const std::u16string& text() const { return text_; }

    // True while the separator occurs in the remaining text or the last piece
    // is still to come.
    bool HasMoreTokens() const;
    // The remaining text up to the next separator, which is dropped with it;
    // the rest of the text when the last-piece mark is set (it is cleared).
    // An empty separator makes the whole remaining text one piece.
    std::u16string NextToken();

  private:
    // Where the separator next occurs at or after pos_; npos when it does not.
    size_t NextSeparator() const;

    std::u16string text_;
    size_t pos_ = 0;  // the start of the remaining text
    std::u16string separator_ = u" ";
    bool lastPiece_ = false;
    mutable size_t next_ = 0;
    mutable bool nextKnown_ = false;
};

}  // namespace brix
