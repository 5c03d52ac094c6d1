#include "innodb/deleted_records.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>

#include "app/app_state.h"
#include "innodb/btree.h"
#include "innodb/page.h"
#include "innodb/page_view.h"
#include "innodb/record.h"
#include "innodb/record_header.h"
#include "values/value_plausibility.h"

namespace brix {

namespace {

// The index page header after the file header: slots (2), heap top (2),
// heap records (2), then the first record of the free list (2).
constexpr size_t kIndexHeaderStart = 38;
constexpr size_t kPageFreeAt = kIndexHeaderStart + 2 + 2 + 2;
// The page ends with an 8-byte trailer, the directory of 2-byte slots
// growing down before it.
constexpr uint32_t kTrailerSize = 8;
constexpr uint32_t kSlotSize = 2;
// User records start after the supremum, whose 8 bytes of text end here.
constexpr uint32_t kCompactUserSpace = kCompactSupremum + 8;
constexpr uint8_t kStatusOrdinary = 0;
constexpr uint8_t kStatusInstant = 4;
// The hidden columns of a clustered record.
constexpr uint32_t kTrxIdLength = 6;
constexpr uint32_t kRollPtrLength = 7;

bool AllZero(ByteSpan bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// Checks records of one page against the table's layout.
class CRecordCheck {
  public:
    CRecordCheck(const CInnoTableReader& inno, ByteSpan page, const CAppState& app)
        : inno_(inno), page_(page) {
        context_.decoders = &app.decoders();
        context_.allEnumValues = inno.table.allEnumValues;
        // The roll pointer is the hidden field of 7 bytes; the transaction
        // id the one before it.
        const auto& fields = inno.physicalColumns;
        for (size_t i = 1; i < fields.size(); ++i) {
            if (fields[i].mainType == InnoType::kSys && fields[i].fixedLength == kRollPtrLength &&
                fields[i - 1].mainType == InnoType::kSys &&
                fields[i - 1].fixedLength == kTrxIdLength) {
                trxField_ = i - 1;
                rollField_ = i;
                break;
            }
        }
    }

    // Whether the compact record at origin, whose data must end by limit, is
    // a delete-marked record of the table; dataEnd is where its data ends.
    bool Compact(uint32_t origin, uint32_t limit, uint32_t& dataEnd) {
        const auto& fields = inno_.physicalColumns;
        if (fields.empty() || origin >= limit || limit > page_.size()) return false;
        if (!(RecordInfoBits(page_, origin, RecordLayout::kCompact) & kInfoDeleted)) return false;
        if (RecordInfoBits(page_, origin, RecordLayout::kCompact) & kInfoMinRecord) return false;
        const uint8_t status = CompactRecordStatus(page_, origin);
        if (status != kStatusOrdinary && !(status == kStatusInstant && inno_.coreFields != 0))
            return false;
        // The header (fixed bytes and null flags at least) lies above the
        // supremum.
        size_t nullable = 0;
        for (const CInnoColumnDef& f : fields) nullable += f.nullable() ? 1 : 0;
        if (origin < kCompactUserSpace + kCompactExtraBytes + (nullable + 7) / 8) return false;
        if (!LocateCompactFields(page_, origin, limit - origin, fields, inno_.coreFields, slots_))
            return false;
        return Fields(origin, limit, dataEnd);
    }

    // The same for a record of the redundant layout.
    bool Redundant(uint32_t origin, uint32_t limit, uint32_t& dataEnd) {
        const auto& fields = inno_.physicalColumns;
        if (fields.empty() || origin >= limit || limit > page_.size()) return false;
        if (!(RecordInfoBits(page_, origin, RecordLayout::kRedundant) & kInfoDeleted)) return false;
        if (!LocateRedundantFields(page_, origin, fields.size(), slots_)) return false;
        for (size_t i = 0; i < fields.size(); ++i)
            if (!slots_[i].present) return false;
        return Fields(origin, limit, dataEnd);
    }

  private:
    bool Fields(uint32_t origin, uint32_t limit, uint32_t& dataEnd) {
        const auto& fields = inno_.physicalColumns;
        const CTableDef& table = inno_.table;
        dataEnd = origin;
        for (size_t i = 0; i < fields.size(); ++i) {
            const CInnoColumnDef& field = fields[i];
            const FieldSlot& slot = slots_[i];
            if (slot.cut) return false;
            if (!slot.present) continue;
            if (slot.null) {
                if (!field.nullable()) return false;
                continue;
            }
            if (slot.start < origin || slot.length > limit - std::min(limit, slot.start))
                return false;
            dataEnd = std::max(dataEnd, slot.start + slot.length);
            const ByteSpan bytes = page_.subspan(slot.start, slot.length);
            if (field.fixedLength != 0 && slot.length != field.fixedLength) return false;
            if (slot.external) {
                // Only long columns go off-page, by a 20-byte reference.
                if (!field.big() || slot.length < 20) return false;
                continue;
            }
            if (field.maxLength != 0 && slot.length > field.maxLength) return false;
            if (field.mainType == InnoType::kSys) {
                // The row id may be anything; the transaction id and the
                // roll pointer of a record that was ever written are not 0.
                if ((i == trxField_ || i == rollField_) && AllZero(bytes)) return false;
                continue;
            }
            if (field.position < 0 || static_cast<size_t>(field.position) >= table.columns.size())
                continue;
            const CColumnDef& column = table.columns[static_cast<size_t>(field.position)];
            if (!PlausibleStoredValue(column, LittleEndian(field, bytes), context_)) return false;
        }
        // Nothing but zeros in the data is a wiped record.
        return dataEnd > origin && !AllZero(page_.subspan(origin, dataEnd - origin));
    }

    // Integers are stored big-endian, signed ones with the sign bit
    // inverted; the value checks take them as a row image holds them.
    ByteSpan LittleEndian(const CInnoColumnDef& field, ByteSpan bytes) {
        if (field.mainType != InnoType::kInt) return bytes;
        scratch_.assign(bytes.rbegin(), bytes.rend());
        if (!scratch_.empty() && !(field.preciseType & InnoFlag::kUnsigned))
            scratch_.back() ^= 0x80;
        return scratch_;
    }

    const CInnoTableReader& inno_;
    ByteSpan page_;
    RenderContext context_;
    std::vector<FieldSlot> slots_;
    std::vector<uint8_t> scratch_;
    // The hidden fields that are never 0; past the fields when not found.
    size_t trxField_ = SIZE_MAX;
    size_t rollField_ = SIZE_MAX;
};

}  // namespace

void FindDeletedRecords(const CInnoTableReader& inno, ByteSpan page, const CAppState& app,
                        std::vector<DeletedRecord>& out) {
    const CIndexPageView view(page);
    if (!view.holdsRecords() || view.level() != 0) return;
    const RecordLayout layout = view.layout();
    const uint32_t pageSize = static_cast<uint32_t>(page.size());
    // A slot count too big for the page leaves no room above the heap (and
    // must not wrap the subtraction round).
    const uint32_t slots =
        std::min<uint32_t>(view.header().directorySlots, (pageSize - kTrailerSize) / kSlotSize);
    const uint32_t directoryStart = pageSize - kTrailerSize - kSlotSize * slots;
    // The heap's records end at its top; a top past the directory is damage
    // and bounds nothing.
    const uint32_t heapTop = std::min<uint32_t>(view.header().heapTop, directoryStart);
    CRecordCheck check(inno, page, app);
    std::bitset<kMaxPageSize> seen;
    const auto take = [&](uint32_t origin, uint32_t limit, DeletedRecordSource source,
                          uint32_t& dataEnd) {
        const bool fits = view.compact() ? check.Compact(origin, limit, dataEnd)
                                         : check.Redundant(origin, limit, dataEnd);
        if (fits) out.push_back(DeletedRecord{origin, source});
        return fits;
    };
    uint32_t dataEnd = 0;
    // The record list, as the leaf walk reads it.
    uint32_t origin = view.FirstRecord();
    for (uint32_t n = 0; n < kMaxRecordsPerPage; ++n) {
        if (view.AtSupremum(origin) || origin < kLowestUserOrigin || origin >= heapTop ||
            seen[origin])
            break;
        seen[origin] = true;
        take(origin, heapTop, DeletedRecordSource::kDeleteMarked, dataEnd);
        origin = view.NextRecord(origin);
    }
    // The free list: records purge or an update let go of, linked like the
    // record list from the page header.
    origin = LoadU16be(page, kPageFreeAt);
    for (uint32_t n = 0; n < kMaxRecordsPerPage; ++n) {
        if (origin < kLowestUserOrigin || origin >= heapTop || seen[origin]) break;
        seen[origin] = true;
        take(origin, heapTop, DeletedRecordSource::kFreeList, dataEnd);
        origin = NextRecord(page, origin, layout);
    }
    if (!view.compact()) return;
    // Above the heap: bytes of records that were there before the page was
    // reorganised. Every origin is tried; a record found is passed over.
    for (uint32_t at = std::max(heapTop, kCompactUserSpace) + kCompactExtraBytes;
         at < directoryStart;) {
        if (take(at, directoryStart, DeletedRecordSource::kFreeList, dataEnd) && dataEnd > at) {
            at = dataEnd + kCompactExtraBytes;
        } else {
            ++at;
        }
    }
}

void FillDeletedWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                       uint32_t skip, bool wantBookmark, CAppState& app) {
    CWindowState& window = inno.window;
    const size_t columns = inno.table.columns.size();
    window.rows.Reset(columns + 2);
    window.windowFull = false;
    if (!inno.indexIdKnown) {
        inno.indexId = GuessClusteredIndexId(inno, space);
        inno.indexIdKnown = true;
    }
    inno.reportingRecords = false;
    CInnoRecordDecoder decoder(inno, app);
    PageBytes copy;
    std::vector<DeletedRecord> found;
    const bool systemSpace = !inno.perTableSource;
    // Each page is looked at once, in ascending order: the scan ends.
    for (uint64_t page = startPage; page < space.pageCount(); ++page) {
        if (systemSpace && page == 0) continue;
        space.CopyPage(page, copy);
        const ByteSpan bytes(copy);
        const CIndexPageView view(bytes);
        if (!view.holdsRecords() || view.level() != 0 || view.header().indexId != inno.indexId)
            continue;
        inno.currentPage = view.fil();
        found.clear();
        FindDeletedRecords(inno, bytes, app, found);
        for (size_t k = page == startPage ? skip : 0; k < found.size(); ++k) {
            if (window.rows.rowCount() >= inno.options.windowRows) {
                window.windowFull = true;
                if (wantBookmark && !window.suppressBookmark)
                    window.bookmarks.push_back(RecordBookmark{page, static_cast<int64_t>(k)});
                return;
            }
            const DeletedRecord& record = found[k];
            const bool decoded =
                view.compact()
                    ? decoder.DecodeCompact(bytes, record.origin,
                                            static_cast<uint32_t>(bytes.size()) - record.origin)
                    : decoder.DecodeRedundant(bytes, record.origin);
            if (!decoded) continue;
            std::u16string& arena = window.rows.arena();
            const size_t start = arena.size();
            arena += record.source == DeletedRecordSource::kDeleteMarked ? u"delete-marked"
                                                                         : u"free-list";
            window.rows.SetCell(columns, start, false);
        }
    }
}

}  // namespace brix
