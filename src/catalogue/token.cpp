#include "catalogue/token.h"

#include <utility>

namespace brix {

bool CToken::HasMoreTokens() const {
    if (lastPiece_) return true;
    return !separator_.empty() && remaining_.find(separator_) != std::u16string::npos;
}

std::u16string CToken::NextToken() {
    const size_t at = separator_.empty() ? std::u16string::npos : remaining_.find(separator_);
    if (lastPiece_ || at == std::u16string::npos) {
        lastPiece_ = false;
        return std::exchange(remaining_, std::u16string());
    }
    std::u16string piece = remaining_.substr(0, at);
    remaining_.erase(0, at + separator_.size());
    lastPiece_ = remaining_.find(separator_) == std::u16string::npos;
    return piece;
}

}  // namespace brix
