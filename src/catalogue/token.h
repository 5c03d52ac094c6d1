#pragma once

#include <string>

namespace brix {

// Splits a text into the pieces between occurrences of a separator text (a
// single space unless replaced). The piece after the last separator is
// delivered too, by the last-piece mark that the separator's last occurrence
// sets. A text without the separator has no pieces at all.
class CToken {
  public:
    explicit CToken(std::u16string text) : text_(text), remaining_(std::move(text)) {}

    void SetSeparator(std::u16string separator) { separator_ = std::move(separator); }
    const std::u16string& text() const { return text_; }

    // True while the separator occurs in the remaining text or the last piece
    // is still to come.
    bool HasMoreTokens() const;
    // The remaining text up to the next separator, which is dropped with it;
    // the rest of the text when the last-piece mark is set (it is cleared).
    // An empty separator makes the whole remaining text one piece.
    std::u16string NextToken();

  private:
    std::u16string text_;
    std::u16string remaining_;
    std::u16string separator_ = u" ";
    bool lastPiece_ = false;
};

}  // namespace brix
