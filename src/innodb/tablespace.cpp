#include "innodb/tablespace.h"

#include <algorithm>
#include <span>

#include "app/file_names.h"
#include "innodb/page_compressed.h"
#include "innodb/page_zip.h"

namespace brix {

namespace {

// Bytes of page 0 read to learn the format: a page of the largest size,
// which holds MariaDB's encryption information at every page size.
constexpr size_t kProbeBytes = kMaxPageSize;

void StoreU32be(std::span<uint8_t> bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

bool CTablespace::Open(const std::filesystem::path& path) {
    Close();
    if (!file_.Open(path)) return false;
    pathText_ = PathUtf8(path);
    // Page 0 is never compressed. Its flags give the page size; flags that
    // name none are damage, and the pages are read as 16 KiB pages that tell
    // for themselves. A page 0 that checks at 16 KiB but not at the size its
    // flags name has damaged flags too.
    PageBytes first(kProbeBytes);
    file_.ReadAtZeroFill(0, first.data(), first.size());
    format_ = ReadSpaceFormat(first);
    pageSize_ = ValidPageSize(format_.pageSize) ? format_.pageSize : kPageSize;
    if (pageSize_ != kPageSize && file_.Length() >= kPageSize &&
        CheckPage(ByteSpan(first).first(pageSize_)) != PageState::kSound &&
        CheckPage(ByteSpan(first).first(kPageSize)) == PageState::kSound) {
        pageSize_ = kPageSize;
        format_ = ReadSpaceFormat(ByteSpan(first).first(kPageSize));
    }
    physicalSize_ = pageSize_;
    zip_ = false;
    // ROW_FORMAT=COMPRESSED: the file's pages are of the zip size, handed out
    // at the logical size (at most 16 KiB: the compressed page directory
    // cannot address more).
    if (format_.rowCompressed) {
        const uint32_t zip = ZipPageSize(format_.flags);
        // Flags damaged into naming compressed pages: page 0 is a whole
        // uncompressed page that fails the compressed pages' checksum.
        const bool whole16k = file_.Length() >= kPageSize &&
                              CheckPage(ByteSpan(first).first(kPageSize)) == PageState::kSound &&
                              (zip == 0 || !ZipChecksumSound(ByteSpan(first).first(zip)));
        if (zip != 0 && zip <= pageSize_ && pageSize_ <= kPageSize && !whole16k) {
            physicalSize_ = zip;
            zip_ = true;
        }
    }
    pageCount_ = file_.Length() / physicalSize_;
    for (Slot& slot : slots_) slot.bytes.assign(pageSize_, 0);
    return true;
}

void CTablespace::Close() {
    file_.Close();
    pathText_.clear();
    pageCount_ = 0;
    pageSize_ = kPageSize;
    physicalSize_ = kPageSize;
    zip_ = false;
    format_ = SpaceFormat{};
    for (Slot& slot : slots_) slot.valid = false;
}

void CTablespace::ReadPage(uint64_t n, uint8_t* out) {
    const std::span<uint8_t> page(out, pageSize_);
    if (n >= pageCount_) {
        std::fill(page.begin(), page.end(), uint8_t{0});
        return;
    }
    if (zip_) {
        ReadZipPage(n, page);
        return;
    }
    if (!format_.pageCompressed) {
        file_.ReadAtZeroFill(n * pageSize_, out, pageSize_);
        return;
    }
    raw_.resize(pageSize_);
    file_.ReadAtZeroFill(n * pageSize_, raw_.data(), pageSize_);
    const DecompressResult result = DecompressPage(raw_, format_, page);
    if (result.state != DecompressState::kDone) {
        std::copy(raw_.begin(), raw_.end(), page.begin());
        return;
    }
    // full_crc32 checks the compressed form, and the page it held keeps no
    // checksum of its own: it gets the one that belongs to it when its
    // compressed form was whole. The older layout kept the page's own.
    if (format_.fullCrc32 && result.checksumSound)
        StoreU32be(page, pageSize_ - 4, Crc32c(ByteSpan(page).first(pageSize_ - 4)));
}

void CTablespace::ReadZipPage(uint64_t n, std::span<uint8_t> page) {
    raw_.resize(physicalSize_);
    file_.ReadAtZeroFill(n * physicalSize_, raw_.data(), physicalSize_);
    if (IsZipIndexPageType(LoadU16be(raw_, 24)) && DecompressZipPage(raw_, page).done) return;
    // Pages kept uncompressed, and index pages that do not rebuild, come as
    // they are: the latter fail their checksum.
    std::copy(raw_.begin(), raw_.end(), page.begin());
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(physicalSize_), page.end(), uint8_t{0});
}

ByteSpan CTablespace::RawPage(uint64_t n) {
    rawPage_.assign(physicalSize_, 0);
    if (n < pageCount_) file_.ReadAtZeroFill(n * physicalSize_, rawPage_.data(), physicalSize_);
    return rawPage_;
}

ByteSpan CTablespace::Page(uint64_t n) {
    ++useClock_;
    Slot* victim = &slots_[0];
    for (Slot& slot : slots_) {
        if (slot.valid && slot.page == n) {
            slot.lastUse = useClock_;
            return slot.bytes;
        }
        if (!slot.valid || slot.lastUse < victim->lastUse) victim = &slot;
    }
    victim->page = n;
    victim->lastUse = useClock_;
    victim->valid = true;
    victim->bytes.resize(pageSize_);
    ReadPage(n, victim->bytes.data());
    return victim->bytes;
}

void CTablespace::CopyPage(uint64_t n, PageBytes& out) {
    out.resize(pageSize_);
    for (const Slot& slot : slots_) {
        if (slot.valid && slot.page == n) {
            std::copy(slot.bytes.begin(), slot.bytes.end(), out.begin());
            return;
        }
    }
    ReadPage(n, out.data());
}

}  // namespace brix
