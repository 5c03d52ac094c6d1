#include "app/block_reader.h"

#include <algorithm>
#include <cstring>

namespace brix {

ByteSpan CBlockReader::Read(uint64_t pos, size_t n) {
    const bool inBuffer = pos >= bufferPos_ && pos - bufferPos_ <= buffer_.size() &&
                          buffer_.size() - (pos - bufferPos_) >= n;
    if (!inBuffer) {
        buffer_.resize(std::max(n, blockSize_));
        buffer_.resize(file_.ReadAt(pos, buffer_.data(), buffer_.size()));
        bufferPos_ = pos;
    }
    const size_t at = static_cast<size_t>(pos - bufferPos_);
    return ByteSpan(buffer_).subspan(at, std::min(n, buffer_.size() - at));
}

void CBlockReader::ReadZeroFilled(uint64_t pos, size_t n, std::vector<uint8_t>& out) {
    out.resize(n);
    ByteSpan got = Read(pos, n);
    if (!got.empty()) std::memcpy(out.data(), got.data(), got.size());
    if (got.size() < n) std::memset(out.data() + got.size(), 0, n - got.size());
}

}  // namespace brix
