#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace brix {

// A set of page numbers, for walks that must stand on each page at most once.
// It keeps a bit per page in chunks made when a page of theirs is first
// added, so that its memory follows the pages a walk took, not the length of
// the file: a sparse file that claims billions of pages costs nothing more.
class CPageSet {
  public:
    // Adds page; false when it was there already.
    bool Insert(uint64_t page) {
        std::unique_ptr<Chunk>& chunk = chunks_[page / kChunkPages];
        if (!chunk) chunk = std::make_unique<Chunk>();
        const size_t bit = static_cast<size_t>(page % kChunkPages);
        if (chunk->test(bit)) return false;
        chunk->set(bit);
        ++size_;
        return true;
    }

    bool Contains(uint64_t page) const {
        const auto it = chunks_.find(page / kChunkPages);
        return it != chunks_.end() && it->second->test(static_cast<size_t>(page % kChunkPages));
    }

    void Clear() {
        chunks_.clear();
        size_ = 0;
    }

    // Pages added since the set was made or cleared.
    uint64_t size() const { return size_; }

  private:
    static constexpr uint64_t kChunkPages = 1u << 15;  // 4 KiB of bits
    using Chunk = std::bitset<kChunkPages>;

    std::unordered_map<uint64_t, std::unique_ptr<Chunk>> chunks_;
    uint64_t size_ = 0;
};

}  // namespace brix
