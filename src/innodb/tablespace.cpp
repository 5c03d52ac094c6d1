#include "innodb/tablespace.h"

#include <algorithm>
#include <span>

#include "innodb/page_compressed.h"

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
    const std::u8string text = path.u8string();
    pathText_.assign(text.begin(), text.end());
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
    pageCount_ = file_.Length() / pageSize_;
    for (Slot& slot : slots_) slot.bytes.assign(pageSize_, 0);
    return true;
}

void CTablespace::Close() {
    file_.Close();
    pathText_.clear();
    pageCount_ = 0;
    pageSize_ = kPageSize;
    format_ = SpaceFormat{};
    for (Slot& slot : slots_) slot.valid = false;
}

void CTablespace::ReadPage(uint64_t n, uint8_t* out) {
    const std::span<uint8_t> page(out, pageSize_);
    if (n >= pageCount_) {
        std::fill(page.begin(), page.end(), uint8_t{0});
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
