#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/byte_reader.h"

namespace brix {

// Reads a stream of bits, most significant bit of each byte first, as the
// packed MyISAM layout stores its header and records. Bits past the end of
// the span read as zero and mark the reader as overrun; nothing outside the
// span is touched.
class CBitReader {
  public:
    explicit CBitReader(ByteSpan bytes) : bytes_(bytes) {}

    // The next n bits (0 to 32) as a number.
    uint32_t Bits(unsigned n) {
        if (n == 0) return 0;
        Refill();
        const uint32_t v = static_cast<uint32_t>(acc_ >> (64 - n));
        Drop(n);
        return v;
    }
    bool Bit() { return Bits(1) != 0; }
    // The next n bits (1 to 32) without taking them.
    uint32_t Peek(unsigned n) {
        Refill();
        return static_cast<uint32_t>(acc_ >> (64 - n));
    }
    void Drop(unsigned n) {
        acc_ <<= n;
        count_ -= n;
    }
    // Moves on to the next whole byte.
    void AlignToByte() {
        const unsigned partial = static_cast<unsigned>(Consumed() % 8);
        if (partial != 0) {
            Refill();
            Drop(8 - partial);
        }
    }
    // Bits taken so far.
    uint64_t Consumed() const { return loaded_ * 8 - count_; }
    // Bytes the bits taken so far touch.
    uint64_t BytesTouched() const { return (Consumed() + 7) / 8; }
    uint64_t BitsLeft() const {
        const uint64_t total = uint64_t{bytes_.size()} * 8;
        return Consumed() >= total ? 0 : total - Consumed();
    }
    bool Overrun() const { return Consumed() > uint64_t{bytes_.size()} * 8; }
    // Continues at byte position at, a whole byte.
    void SeekByte(uint64_t at) {
        loaded_ = at;
        acc_ = 0;
        count_ = 0;
    }

  private:
    // Keeps at least 57 bits in the accumulator.
    void Refill() {
        while (count_ <= 56) {
            const uint64_t b = loaded_ < bytes_.size() ? bytes_[loaded_] : 0;
            ++loaded_;
            acc_ |= b << (56 - count_);
            count_ += 8;
        }
    }

    ByteSpan bytes_;
    uint64_t acc_ = 0;     // the next bits, left-aligned
    unsigned count_ = 0;   // how many bits acc_ holds
    uint64_t loaded_ = 0;  // bytes moved into acc_ so far
};

// One Huffman code tree of a packed data file. A tree either codes bytes or
// indexes a list of the distinct values of a column (then the values, all of
// the column's length, follow the tree in the file).
class CHuffmanTree {
  public:
    // Reads one tree at the reader's position (a whole byte) from the packed
    // file's header. Returns false, with why set, when the tree is damaged:
    // too many nodes, a link that does not point forward within the tree, or
    // values past the end of the header. Links always point forward, so a
    // walk down the tree ends within its node count however it was damaged.
    bool Read(CBitReader& bits, ByteSpan header, std::string& why);

    // Decodes one value (a byte, or an index into the distinct values).
    // Returns false when the tree has no codes; bits run out as zeros, which
    // the caller finds through the reader's Overrun.
    bool Decode(CBitReader& bits, uint32_t& value) const {
        if (quick_.empty()) return false;
        const Quick q = quick_[bits.Peek(quickBits_)];
        if (q.length != 0) {
            bits.Drop(q.length);
            value = q.value;
            return true;
        }
        bits.Drop(quickBits_);
        // Past the quick table: one bit a step; links are checked forward
        // and within the nodes when the tree was read.
        size_t at = q.value;
        for (;;) {
            const size_t entry = at + (bits.Bit() ? 1 : 0);
            const uint16_t node = nodes_[entry];
            if (node & kIsLeaf) {
                value = node & ~kIsLeaf;
                return true;
            }
            at = entry + node;
        }
    }

    // The distinct values of the column, for a tree that indexes them.
    ByteSpan values() const { return values_; }
    bool hasCodes() const { return !quick_.empty(); }

  private:
    static constexpr uint16_t kIsLeaf = 0x8000;
    // The quick table looks up this many bits at once at most.
    static constexpr unsigned kMaxQuickBits = 10;

    // A value whose code is no longer than the table's bits (length its code
    // length), or else (length 0) the pair of nodes to walk on from.
    struct Quick {
        uint16_t value = 0;
        uint8_t length = 0;
    };

    void BuildQuickTable();

    // Pairs of nodes: a leaf (kIsLeaf and its value) or the distance forward
    // to the next pair. The root is the pair at 0.
    std::vector<uint16_t> nodes_;
    std::vector<Quick> quick_;
    unsigned quickBits_ = 1;
    std::vector<uint8_t> values_;
};

}  // namespace brix
