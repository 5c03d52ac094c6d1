#include "myisam/huffman_trees.h"

#include <algorithm>

namespace brix {

namespace {

// A tree of byte codes has at most one leaf per byte value.
constexpr uint32_t kMaxByteLeaves = 256;

}  // namespace

bool CHuffmanTree::Read(CBitReader& bits, ByteSpan header, std::string& why) {
    nodes_.clear();
    quick_.clear();
    values_.clear();
    // A tree starts with one bit: 0 for byte codes (lowest byte value, leaf
    // count, bits of a leaf's value, bits of a link), 1 for an index of
    // distinct values (leaf count, bytes of the values, bits of a leaf's
    // index, bits of a link).
    const bool distinct = bits.Bit();
    uint32_t lowest = 0;
    uint32_t valueBytes = 0;
    uint32_t leaves = 0;
    if (!distinct) {
        lowest = bits.Bits(8);
        leaves = bits.Bits(9);
        if (leaves > kMaxByteLeaves) {
            why = "decode tree has more codes than there are bytes";
            return false;
        }
    } else {
        leaves = bits.Bits(15);
        valueBytes = bits.Bits(16);
    }
    const unsigned valueBits = bits.Bits(5);
    const unsigned linkBits = bits.Bits(5);

    // A tree of n leaves has n - 1 pairs of nodes; one leaf or none codes
    // nothing (a column of one value keeps just the value).
    const size_t size = leaves >= 2 ? 2 * size_t{leaves} - 2 : 0;
    nodes_.resize(size);
    for (size_t i = 0; i < size; ++i) {
        if (bits.Bit()) {
            // A link: how far on the pair it leads to starts; that pair must
            // lie wholly in the tree.
            const uint32_t link = bits.Bits(linkBits);
            if (link == 0 || link >= size - i - 1) {
                why = "decode tree link points outside the tree";
                return false;
            }
            nodes_[i] = static_cast<uint16_t>(link);
        } else {
            const uint32_t value = bits.Bits(valueBits) + lowest;
            nodes_[i] = static_cast<uint16_t>(kIsLeaf | (value & ~uint32_t{kIsLeaf} & 0xFFFF));
        }
        if (bits.Overrun()) break;
    }
    if (bits.Overrun()) {
        why = "decode tree runs past the end of the header";
        return false;
    }
    bits.AlignToByte();
    if (distinct) {
        const uint64_t at = bits.Consumed() / 8;
        if (at > header.size() || header.size() - at < valueBytes) {
            why = "distinct values run past the end of the header";
            return false;
        }
        values_.assign(header.begin() + static_cast<ptrdiff_t>(at),
                       header.begin() + static_cast<ptrdiff_t>(at + valueBytes));
        bits.SeekByte(at + valueBytes);
    }
    if (size > 0) BuildQuickTable();
    return true;
}

void CHuffmanTree::BuildQuickTable() {
    // The deepest code first, for the table's size: links point forward, so
    // the depth of every pair is known before any pair that links to it.
    const size_t size = nodes_.size();
    std::vector<uint32_t> depth(size, 1);
    for (size_t pair = size - 1; pair-- > 0;) {
        uint32_t d = 1;
        for (size_t entry = pair; entry <= pair + 1; ++entry) {
            const uint16_t node = nodes_[entry];
            if (!(node & kIsLeaf)) d = std::max(d, 1 + depth[entry + node]);
        }
        depth[pair] = std::min<uint32_t>(d, 64);
    }
    quickBits_ = std::clamp<unsigned>(depth[0], 1, kMaxQuickBits);

    // Every string of quickBits_ bits, walked down from the root: a leaf met
    // on the way gives its value and code length; else the walk goes on from
    // the pair reached.
    quick_.assign(size_t{1} << quickBits_, Quick{});
    for (uint32_t prefix = 0; prefix < quick_.size(); ++prefix) {
        size_t at = 0;
        Quick q;
        for (unsigned d = 0; d < quickBits_; ++d) {
            const size_t entry = at + ((prefix >> (quickBits_ - 1 - d)) & 1);
            const uint16_t node = nodes_[entry];
            if (node & kIsLeaf) {
                q.value = node & ~kIsLeaf;
                q.length = static_cast<uint8_t>(d + 1);
                break;
            }
            at = entry + node;
        }
        if (q.length == 0) q.value = static_cast<uint16_t>(at);
        quick_[prefix] = q;
    }
}

}  // namespace brix
