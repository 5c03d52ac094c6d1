#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "app/byte_reader.h"
#include "app/read_only_file.h"
#include "innodb/page_check.h"

namespace brix {

// InnoDB pages are 16 KiB unless the instance was made with another page
// size: 4, 8, 32 or 64 KiB, which every tablespace of it then has.
inline constexpr size_t kPageSize = 16384;
inline constexpr size_t kMinPageSize = 4096;
inline constexpr size_t kMaxPageSize = 65536;
// The page number that ends a chain of pages.
inline constexpr uint32_t kNoPage = 0xFFFFFFFF;

// One page of the usual size.
using PageBuffer = std::array<uint8_t, kPageSize>;
// One page of a tablespace's own size.
using PageBytes = std::vector<uint8_t>;

// A tablespace file (ibdata1 or a table's .ibd) opened read-only, read a page
// at a time through a few cached pages, so that walks that come back to a
// page (descents from the root, windows that restart at a bookmark's page,
// BLOB chains read between the records of a leaf) do not read it again.
// Its page size comes from the flags of page 0; the pages of a
// PAGE_COMPRESSED tablespace are handed out decompressed.
class CTablespace {
  public:
    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }

    // Whole pages in the file: its length / the page size, fixed when it was
    // opened.
    uint64_t pageCount() const { return pageCount_; }
    // Bytes of each page: what the flags of page 0 say, 16 KiB when they name
    // no size or page 0 checks only at 16 KiB. The logical size: pages of a
    // ROW_FORMAT=COMPRESSED tablespace are handed out at this size.
    size_t pageSize() const { return pageSize_; }
    // Bytes of each page in the file: the zip size of a ROW_FORMAT=COMPRESSED
    // tablespace, otherwise the page size.
    size_t physicalPageSize() const { return physicalSize_; }
    // Pages are read as ROW_FORMAT=COMPRESSED pages (of any zip size, 16 KiB
    // included).
    bool zipPages() const { return zip_; }
    // The format page 0 gives.
    const SpaceFormat& format() const { return format_; }

    // The bytes of page n: zero where the file has none (a page at or past the
    // page count is all zero). A compressed page comes decompressed, with the
    // checksum its compressed form passed; one that does not decompress comes
    // as it is in the file. The index pages of a ROW_FORMAT=COMPRESSED
    // tablespace come rebuilt at the logical size, its other pages as they
    // are in the file followed by zeros. The span stays valid until the next
    // call.
    ByteSpan Page(uint64_t n);

    // The bytes of page n as the file holds them (physicalPageSize() bytes,
    // zero where the file has none), for the pages read in their compressed
    // form: compressed BLOB pages. Valid until the next call of RawPage.
    ByteSpan RawPage(uint64_t n);

    // Copies page n into out (resized to the page size), as Page gives it,
    // from the cache when the page is there and otherwise straight from the
    // file, leaving the cache as it was: for the pages of a walk that each
    // are read once.
    void CopyPage(uint64_t n, PageBytes& out);

    bool Failed() const { return file_.Failed(); }

    // The path it was opened from, as damage findings name the file (UTF-8).
    std::string pathText() const { return pathText_; }

  private:
    static constexpr size_t kSlots = 8;
    struct Slot {
        uint64_t page = 0;
        uint64_t lastUse = 0;
        bool valid = false;
        PageBytes bytes;
    };

    // Reads page n from the file into out (of the page size), decompressed.
    void ReadPage(uint64_t n, uint8_t* out);
    // Reads page n of a ROW_FORMAT=COMPRESSED tablespace into page.
    void ReadZipPage(uint64_t n, std::span<uint8_t> page);

    CReadOnlyFile file_;
    std::string pathText_;
    uint64_t pageCount_ = 0;
    size_t pageSize_ = kPageSize;
    size_t physicalSize_ = kPageSize;
    bool zip_ = false;
    SpaceFormat format_;
    PageBytes raw_;      // a compressed page as read, before it is decompressed
    PageBytes rawPage_;  // what RawPage hands out
    uint64_t useClock_ = 0;
    std::array<Slot, kSlots> slots_{};
};

}  // namespace brix
