#include "catalogue/token.h"

namespace brix {

// The remaining text is the text from pos_ on; next_ caches where the
// separator next occurs in it, so that each character is searched once and
// nothing is ever erased from the front of the text.
size_t CToken::NextSeparator() const {
    if (separator_.empty()) return std::u16string::npos;
    if (!nextKnown_) {
        next_ = text_.find(separator_, pos_);
        nextKnown_ = true;
    }
    return next_;
}

bool CToken::HasMoreTokens() const {
    if (lastPiece_) return true;
    return NextSeparator() != std::u16string::npos;
}

std::u16string CToken::NextToken() {
    const size_t at = NextSeparator();
    if (lastPiece_ || at == std::u16string::npos) {
        lastPiece_ = false;
        std::u16string rest = pos_ < text_.size() ? text_.substr(pos_) : std::u16string();
        pos_ = text_.size();
        nextKnown_ = false;
        return rest;
    }
    std::u16string piece = text_.substr(pos_, at - pos_);
    pos_ = at + separator_.size();
    nextKnown_ = false;
    lastPiece_ = NextSeparator() == std::u16string::npos;
    return piece;
}

}  // namespace brix
