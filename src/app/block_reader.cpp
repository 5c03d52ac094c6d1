#include "app/block_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace brix {

ByteSpan CBlockReader::Read(uint64_t pos, size_t n) {
    const bool inBuffer =
        pos >= bufferPos_ && pos - bufferPos_ <= length_ && length_ - (pos - bufferPos_) >= n;
    if (!inBuffer) {
        // No larger than what the file still holds: a small file gets a
        // small buffer.
        size_t want = std::max(n, nextBlock_);
        // The length is asked for once, and again only for a read that
        // starts past it: a reader that jumps to many small continuation
        // blocks would otherwise ask the system for it at every jump.
        if (!lengthKnown_ || pos >= fileLength_) {
            fileLength_ = file_.Length();
            lengthKnown_ = true;
        }
        const uint64_t fileLength = fileLength_;
        if (pos < fileLength && fileLength - pos < want)
            want = std::max(n, static_cast<size_t>(fileLength - pos));
        if (capacity_ < want) {
            buffer_.reset();  // the old buffer goes before the larger one comes
            buffer_ = std::make_unique_for_overwrite<uint8_t[]>(want);
            capacity_ = want;
        }
        length_ = file_.ReadAt(pos, buffer_.get(), want);
        bufferPos_ = pos;
        nextBlock_ = std::min(blockSize_, nextBlock_ * 2);
    }
    const size_t at = static_cast<size_t>(pos - bufferPos_);
    return ByteSpan(buffer_.get() + at, std::min(n, length_ - at));
}

uint64_t CBlockReader::SkipZeros(uint64_t pos, uint64_t limit) {
    constexpr size_t kStep = 64 * 1024;
    static const std::array<uint8_t, kStep> kZeros{};
    while (pos < limit) {
        const ByteSpan bytes =
            Read(pos, static_cast<size_t>(std::min<uint64_t>(kStep, limit - pos)));
        if (bytes.empty()) return limit;
        // A block of zeros as a whole first, the byte that is not after.
        if (std::memcmp(bytes.data(), kZeros.data(), bytes.size()) != 0) {
            const auto nonZero =
                std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
            return pos + static_cast<uint64_t>(nonZero - bytes.begin());
        }
        pos += bytes.size();
    }
    return limit;
}

void CBlockReader::ReadZeroFilled(uint64_t pos, size_t n, std::vector<uint8_t>& out) {
    out.resize(n);
    ByteSpan got = Read(pos, n);
    if (!got.empty()) std::memcpy(out.data(), got.data(), got.size());
    if (got.size() < n) std::memset(out.data() + got.size(), 0, n - got.size());
}

}  // namespace brix
