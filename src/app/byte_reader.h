#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace brix {

using ByteSpan = std::span<const uint8_t>;

// Fixed-offset loads from a span. A load that would reach past the end of the
// span returns 0; nothing outside the span is ever touched.
inline uint8_t LoadU8(ByteSpan b, size_t at) {
    return at < b.size() ? b[at] : 0;
}

inline uint16_t LoadU16le(ByteSpan b, size_t at) {
    if (at > b.size() || b.size() - at < 2) return 0;
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

inline uint32_t LoadU24le(ByteSpan b, size_t at) {
    if (at > b.size() || b.size() - at < 3) return 0;
    return b[at] | b[at + 1] << 8 | static_cast<uint32_t>(b[at + 2]) << 16;
}

inline uint32_t LoadU32le(ByteSpan b, size_t at) {
    if (at > b.size() || b.size() - at < 4) return 0;
    return b[at] | b[at + 1] << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(b[at + 3]) << 24;
}

inline uint64_t LoadU64le(ByteSpan b, size_t at) {
    return LoadU32le(b, at) | static_cast<uint64_t>(LoadU32le(b, at + 4)) << 32;
}

inline uint16_t LoadU16be(ByteSpan b, size_t at) {
    if (at > b.size() || b.size() - at < 2) return 0;
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

inline uint32_t LoadU24be(ByteSpan b, size_t at) {
    if (at > b.size() || b.size() - at < 3) return 0;
    return static_cast<uint32_t>(b[at]) << 16 | b[at + 1] << 8 | b[at + 2];
}

inline uint32_t LoadU32be(ByteSpan b, size_t at) {
    if (at > b.size() || b.size() - at < 4) return 0;
    return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
           b[at + 2] << 8 | b[at + 3];
}

inline uint64_t LoadU64be(ByteSpan b, size_t at) {
    return static_cast<uint64_t>(LoadU32be(b, at)) << 32 | LoadU32be(b, at + 4);
}

// Big-endian unsigned integer of 0 to 8 bytes.
inline uint64_t LoadUIntBe(ByteSpan b, size_t at, size_t width) {
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v = v << 8 | LoadU8(b, at + i);
    return v;
}

// Little-endian unsigned integer of 0 to 8 bytes.
inline uint64_t LoadUIntLe(ByteSpan b, size_t at, size_t width) {
    uint64_t v = 0;
    for (size_t i = width; i-- > 0;) v = v << 8 | LoadU8(b, at + i);
    return v;
}

// A cursor over a byte span with bounds-checked reads in both byte orders.
// A read that would pass the end yields zeros, leaves the cursor at the end
// and marks the reader as overrun; it never touches memory outside the span.
class ByteReader {
  public:
    explicit ByteReader(ByteSpan bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    size_t pos() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    bool overrun() const { return overrun_; }
    bool atEnd() const { return pos_ >= bytes_.size(); }

    void seek(size_t at) {
        if (at > bytes_.size()) {
            overrun_ = true;
            at = bytes_.size();
        }
        pos_ = at;
    }
    void skip(size_t n) { take(n); }

    uint8_t u8() { return LoadU8(bytes_, take(1)); }
    uint16_t u16le() { return LoadU16le(bytes_, take(2)); }
    uint32_t u24le() { return LoadU24le(bytes_, take(3)); }
    uint32_t u32le() { return LoadU32le(bytes_, take(4)); }
    uint16_t u16be() { return LoadU16be(bytes_, take(2)); }
    uint32_t u24be() { return LoadU24be(bytes_, take(3)); }
    uint32_t u32be() { return LoadU32be(bytes_, take(4)); }
    uint64_t u64be() { return LoadU64be(bytes_, take(8)); }

    // The next n bytes, or fewer when the span ends first (the reader is then overrun).
    ByteSpan bytes(size_t n) {
        size_t start = pos_;
        size_t got = n <= remaining() ? n : remaining();
        take(n);
        return bytes_.subspan(start, got);
    }

    // Reads one byte just before the cursor and moves the cursor back over it;
    // at the start of the span it yields 0 and marks the reader as overrun.
    uint8_t u8Backward() {
        if (pos_ == 0) {
            overrun_ = true;
            return 0;
        }
        return bytes_[--pos_];
    }

  private:
    // Moves the cursor on by n and returns where it was; a move past the end
    // returns the end, so that the load that follows yields zero.
    size_t take(size_t n) {
        if (n > remaining()) {
            overrun_ = true;
            pos_ = bytes_.size();
            return bytes_.size();
        }
        size_t at = pos_;
        pos_ += n;
        return at;
    }

    ByteSpan bytes_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

}  // namespace brix
