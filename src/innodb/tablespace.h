#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/byte_reader.h"
#include "app/read_only_file.h"

namespace brix {

// InnoDB pages are 16 KiB; no other size is read.
inline constexpr size_t kPageSize = 16384;
// The page number that ends a chain of pages.
inline constexpr uint32_t kNoPage = 0xFFFFFFFF;

using PageBuffer = std::array<uint8_t, kPageSize>;

// A tablespace file (ibdata1 or a table's .ibd) opened read-only, read a page
// at a time through a few cached pages, so that walks that come back to a
// page (descents from the root, windows that restart at a bookmark's page,
// BLOB chains read between the records of a leaf) do not read it again.
class CTablespace {
  public:
    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }

    // Whole pages in the file: its length / 16384, fixed when it was opened.
    uint64_t pageCount() const { return pageCount_; }

    // The bytes of page n: zero where the file has none (a page at or past the
    // page count is all zero). The span stays valid until the next call.
    ByteSpan Page(uint64_t n);

    // Copies page n into out, as Page gives it, from the cache when the page
    // is there and otherwise straight from the file, leaving the cache as it
    // was: for the pages of a walk that each are read once.
    void CopyPage(uint64_t n, PageBuffer& out);

    bool Failed() const { return file_.Failed(); }

    // The path it was opened from, as damage findings name the file (UTF-8).
    std::string pathText() const { return pathText_; }

  private:
    static constexpr size_t kSlots = 8;
    struct Slot {
        uint64_t page = 0;
        uint64_t lastUse = 0;
        bool valid = false;
        PageBuffer bytes;
    };

    CReadOnlyFile file_;
    std::string pathText_;
    uint64_t pageCount_ = 0;
    uint64_t useClock_ = 0;
    std::array<Slot, kSlots> slots_{};
};

}  // namespace brix
