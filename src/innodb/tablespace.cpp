#include "innodb/tablespace.h"

namespace brix {

bool CTablespace::Open(const std::filesystem::path& path) {
    Close();
    if (!file_.Open(path)) return false;
    const std::u8string text = path.u8string();
    pathText_.assign(text.begin(), text.end());
    pageCount_ = file_.Length() / kPageSize;
    return true;
}

void CTablespace::Close() {
    file_.Close();
    pathText_.clear();
    pageCount_ = 0;
    for (Slot& slot : slots_) slot.valid = false;
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
    if (n < pageCount_) {
        file_.ReadAtZeroFill(n * kPageSize, victim->bytes.data(), kPageSize);
    } else {
        victim->bytes.fill(0);
    }
    return victim->bytes;
}

void CTablespace::CopyPage(uint64_t n, PageBuffer& out) {
    for (const Slot& slot : slots_) {
        if (slot.valid && slot.page == n) {
            out = slot.bytes;
            return;
        }
    }
    if (n < pageCount_) {
        file_.ReadAtZeroFill(n * kPageSize, out.data(), kPageSize);
    } else {
        out.fill(0);
    }
}

}  // namespace brix
