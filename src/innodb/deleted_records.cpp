#include "innodb/deleted_records.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <string_view>

#include "app/app_state.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
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
// A redundant record's fixed header bytes before its field offsets.
constexpr uint32_t kRedundantExtraBytes = 6;
// Where the user records of a redundant page start: after the supremum,
// whose 9 bytes of text end here.
constexpr uint32_t kRedundantUserSpace = kRedundantSupremum + 9;
// The bytes of freed records in the heap, after the free list's head.
constexpr size_t kPageGarbageAt = kPageFreeAt + 2;

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

    // The table's columns were changed in place (MariaDB's instant layout).
    bool changedInPlace() const { return inno_.coreFields != 0; }

    // Whether the compact record at origin, whose data must end by limit, is
    // a delete-marked record of the table (with anyMark, a record of the
    // table whether marked or not); dataEnd is where its data ends.
    // headerStart, when given, is set to where the record's header starts.
    bool Compact(uint32_t origin, uint32_t limit, uint32_t& dataEnd, bool anyMark = false,
                 uint32_t* headerStart = nullptr) {
        const auto& fields = inno_.physicalColumns;
        if (fields.empty() || origin >= limit || limit > page_.size()) return false;
        if (!anyMark && !(RecordInfoBits(page_, origin, RecordLayout::kCompact) & kInfoDeleted))
            return false;
        listed_ = anyMark;
        if (RecordInfoBits(page_, origin, RecordLayout::kCompact) & kInfoMinRecord) return false;
        const uint8_t status = CompactRecordStatus(page_, origin);
        if (status != kStatusOrdinary && !(status == kStatusInstant && inno_.coreFields != 0))
            return false;
        // The header (fixed bytes and null flags at least) lies above the
        // supremum.
        size_t nullable = 0;
        for (const CInnoColumnDef& f : fields) nullable += f.nullable() ? 1 : 0;
        if (origin < kCompactUserSpace + kCompactExtraBytes + (nullable + 7) / 8) return false;
        // Records of a table whose columns changed in place name the version
        // of the layout they were written in, as the live reader reads them.
        if (!LocateCompactFields(page_, origin, limit - origin, fields, inno_.coreFields, slots_,
                                 inno_.rowVersions, headerStart))
            return false;
        return Fields(origin, limit, dataEnd);
    }

    // The same for a record of the redundant layout.
    bool Redundant(uint32_t origin, uint32_t limit, uint32_t& dataEnd, bool anyMark = false,
                   uint32_t* headerStart = nullptr) {
        const auto& fields = inno_.physicalColumns;
        if (fields.empty() || origin >= limit || limit > page_.size()) return false;
        if (!anyMark && !(RecordInfoBits(page_, origin, RecordLayout::kRedundant) & kInfoDeleted))
            return false;
        listed_ = anyMark;
        if (RecordInfoBits(page_, origin, RecordLayout::kRedundant) & kInfoMinRecord) return false;
        // A table whose columns changed in place has records of fewer
        // fields: those of their version, or the core ones at least.
        const bool located = inno_.rowVersions
                                 ? LocateVersionedRedundantFields(page_, origin, fields, slots_)
                                 : LocateRedundantFields(page_, origin, fields.size(), slots_);
        if (!located) return false;
        const size_t needed = inno_.coreFields != 0
                                  ? std::min<size_t>(inno_.coreFields, fields.size())
                              : inno_.rowVersions ? KeyFieldCount(fields) + 2
                                                  : fields.size();
        for (size_t i = 0; i < needed && i < fields.size(); ++i)
            if (!slots_[i].present) return false;
        if (headerStart) {
            // Three bytes below the origin's last two: the field count (10
            // bits) and whether each field's end offset takes one byte.
            const uint32_t bits = LoadU24be(page_, origin - 5);
            const uint32_t count = (bits >> 1) & 0x3FF;
            const uint32_t width = (bits & 1) ? 1 : 2;
            // LocateRedundantFields checked that the offsets fit below.
            *headerStart = origin - kRedundantExtraBytes - count * width;
        }
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
                // A NULL of fixed length keeps its bytes in the redundant
                // layout: the record's data ends past them.
                if (slot.start < origin || slot.length > limit - std::min(limit, slot.start))
                    return false;
                dataEnd = std::max(dataEnd, slot.start + slot.length);
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
            // A BLOB's or a geometry's length in the definition is that of
            // its length bytes in a row image, not a bound on its value.
            const bool unbounded =
                field.mainType == InnoType::kBlob || field.mainType == InnoType::kGeometry;
            if (field.maxLength != 0 && !unbounded && slot.length > field.maxLength) return false;
            if (field.mainType == InnoType::kSys) {
                // The row id may be anything; the transaction id and the
                // roll pointer of a record that was ever written are not 0,
                // but where the server reset them once the record was older
                // than every reader (a record of the list, live or marked).
                if (!listed_ && (i == trxField_ || i == rollField_) && AllZero(bytes)) return false;
                continue;
            }
            if (field.position < 0 || static_cast<size_t>(field.position) >= table.columns.size())
                continue;
            // A record of the page's list is held by the layout of the whole
            // page (TakeRecordList); its values are what the server stored,
            // some of which the checks for deleted bytes would turn away.
            if (listed_) continue;
            const CColumnDef& column = table.columns[static_cast<size_t>(field.position)];
            if (!PlausibleStoredValue(column, LittleEndian(field, bytes), context_)) return false;
        }
        // Nothing but zeros in the data is a wiped record.
        return dataEnd > origin && (listed_ || !AllZero(page_.subspan(origin, dataEnd - origin)));
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
    // The record checked is one of the page's list, not of its free space.
    bool listed_ = false;
    // The hidden fields that are never 0; past the fields when not found.
    size_t trxField_ = SIZE_MAX;
    size_t rollField_ = SIZE_MAX;
};

// Appends the records of the page's record list, live (kLive) or delete-
// marked, when every one of them is a record of the table: the list ends at
// the supremum within the records a page can hold, never meets a record
// twice, counts as many records as the page header, and the records tile
// the heap with the garbage the header counts. Otherwise adds nothing and
// returns false: the page is not one of the table's.
bool TakeRecordList(const CIndexPageView& view, uint32_t heapTop, CRecordCheck& check,
                    std::vector<DeletedRecord>& out) {
    struct Extent {
        uint32_t start = 0;
        uint32_t dataEnd = 0;
    };
    std::vector<Extent> extents;
    std::vector<DeletedRecord> list;
    std::bitset<kMaxPageSize> seen;
    uint32_t origin = view.FirstRecord();
    bool ended = false;
    // MariaDB's metadata record of a table changed in place: the first
    // record of the leftmost leaf, flagged as the least record. It is no
    // row, and its layout (a field map reference after a drop) is not the
    // rows': its bytes are left out of the tiling below.
    bool metadata = false;
    for (uint32_t n = 0; n <= kMaxRecordsPerPage; ++n) {
        if (view.AtSupremum(origin)) {
            ended = true;
            break;
        }
        if (origin < kLowestUserOrigin || origin >= heapTop || seen[origin]) return false;
        seen[origin] = true;
        if (n == 0 && check.changedInPlace() && (view.InfoBits(origin) & kInfoMinRecord)) {
            metadata = true;
            origin = view.NextRecord(origin);
            continue;
        }
        uint32_t dataEnd = 0;
        uint32_t start = 0;
        const bool fits = view.compact() ? check.Compact(origin, heapTop, dataEnd, true, &start)
                                         : check.Redundant(origin, heapTop, dataEnd, true, &start);
        if (!fits) return false;
        extents.push_back(Extent{start, dataEnd});
        list.push_back(DeletedRecord{origin,
                                     (view.InfoBits(origin) & kInfoDeleted)
                                         ? DeletedRecordSource::kDeleteMarked
                                         : DeletedRecordSource::kLive,
                                     dataEnd});
        origin = view.NextRecord(origin);
    }
    if (!ended || list.size() + (metadata ? 1 : 0) != view.header().userRecords) return false;
    // The records, laid out as the definition says, take the heap's bytes
    // exactly: none overlaps the next, and what lies between them is the
    // garbage the page header counts (freed records and what was left of
    // the room of a freed record another one took). A record of another
    // layout read as the table's ends too soon or too late somewhere.
    const uint32_t userStart = view.compact() ? kCompactUserSpace : kRedundantUserSpace;
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    uint64_t taken = 0;
    uint32_t at = userStart;
    for (const Extent& e : extents) {
        if (e.start < at || e.dataEnd < e.start) return false;
        taken += e.dataEnd - e.start;
        at = e.dataEnd;
    }
    const uint64_t heap = heapTop - userStart;
    const uint64_t accounted = taken + LoadU16be(view.bytes(), kPageGarbageAt);
    if (at > heapTop || (metadata ? accounted >= heap : accounted != heap)) return false;
    out.insert(out.end(), list.begin(), list.end());
    return true;
}

}  // namespace

namespace {

// The records of a leaf page that FindDeletedRecords and FindPageRecords
// look for; with recovering, every record of the record list too, which
// must then all be the table's (else false and nothing is added).
bool ScanPage(const CInnoTableReader& inno, ByteSpan page, const CAppState& app,
              std::vector<DeletedRecord>& out, bool recovering) {
    const CIndexPageView view(page);
    if (!view.holdsRecords() || view.level() != 0) return false;
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
        if (fits) out.push_back(DeletedRecord{origin, source, dataEnd});
        return fits;
    };
    uint32_t dataEnd = 0;
    // The record list, as the leaf walk reads it.
    uint32_t origin = view.FirstRecord();
    if (recovering) {
        if (!TakeRecordList(view, heapTop, check, out)) return false;
        // Marks the list's records as seen: the free list never joins it.
        for (uint32_t n = 0; n < kMaxRecordsPerPage; ++n) {
            if (view.AtSupremum(origin) || origin >= heapTop || seen[origin]) break;
            seen[origin] = true;
            origin = view.NextRecord(origin);
        }
    } else {
        for (uint32_t n = 0; n < kMaxRecordsPerPage; ++n) {
            if (view.AtSupremum(origin) || origin < kLowestUserOrigin || origin >= heapTop ||
                seen[origin])
                break;
            seen[origin] = true;
            take(origin, heapTop, DeletedRecordSource::kDeleteMarked, dataEnd);
            origin = view.NextRecord(origin);
        }
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
    if (!view.compact()) return true;
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
    return true;
}

}  // namespace

void FindDeletedRecords(const CInnoTableReader& inno, ByteSpan page, const CAppState& app,
                        std::vector<DeletedRecord>& out) {
    ScanPage(inno, page, app, out, false);
}

bool FindPageRecords(const CInnoTableReader& inno, ByteSpan page, const CAppState& app,
                     std::vector<DeletedRecord>& out) {
    const size_t before = out.size();
    if (ScanPage(inno, page, app, out, true)) return true;
    out.resize(before);
    return false;
}

namespace {

// Rows whose first place is remembered, at most: past them a row found
// again is shown again rather than the memory growing without end.
constexpr size_t kMaxRowsRemembered = size_t{4} << 20;

// A hash of the record's data bytes, its hidden fields among them: the same
// record wherever a copy of it lies, another one for any other record
// (tables without a primary key give each row an id of its own).
uint64_t RecordHash(ByteSpan page, const DeletedRecord& record) {
    if (record.dataEnd <= record.origin || record.dataEnd > page.size()) return 0;
    const ByteSpan data = page.subspan(record.origin, record.dataEnd - record.origin);
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

}  // namespace

void FillDeletedWindow(CInnoTableReader& inno, CTablespace& space, uint64_t startPage,
                       uint32_t skip, bool wantBookmark, CAppState& app, bool wholePages) {
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
        if (!wholePages) {
            FindDeletedRecords(inno, bytes, app, found);
        } else if (!FindPageRecords(inno, bytes, app, found)) {
            // A leaf of the index whose records are not all the table's:
            // damaged, or written in a layout the definition does not give.
            if (inno.pagesReported.Insert(page))
                ReportDamage(
                    inno,
                    DamageFinding{inno.fileName, -1, static_cast<int64_t>(page), DamageWhat::kPage,
                                  "page's records do not fit the table's definition", -1, false});
            continue;
        }
        for (size_t k = page == startPage ? skip : 0; k < found.size(); ++k) {
            if (window.rows.rowCount() >= inno.options.windowRows) {
                window.windowFull = true;
                if (wantBookmark && !window.suppressBookmark)
                    window.bookmarks.push_back(RecordBookmark{page, static_cast<int64_t>(k)});
                return;
            }
            const DeletedRecord& record = found[k];
            // A record found before is shown where it was first found only,
            // however the windows run.
            const uint64_t place = (page << 16) | k;
            const auto [seen, added] =
                inno.rowsFound.size() < kMaxRowsRemembered
                    ? inno.rowsFound.emplace(RecordHash(bytes, record), place)
                    : std::pair{inno.rowsFound.end(), true};
            if (!added && seen->second != place) continue;
            const bool decoded =
                view.compact()
                    ? decoder.DecodeCompact(bytes, record.origin,
                                            static_cast<uint32_t>(bytes.size()) - record.origin)
                    : decoder.DecodeRedundant(bytes, record.origin);
            if (!decoded) continue;
            std::u16string& arena = window.rows.arena();
            const size_t start = arena.size();
            switch (record.source) {
                case DeletedRecordSource::kDeleteMarked:
                    arena += u"delete-marked";
                    break;
                case DeletedRecordSource::kFreeList:
                    arena += u"free-list";
                    break;
                case DeletedRecordSource::kLive:
                    arena += u"recovered-page";
                    break;
            }
            window.rows.SetCell(columns, start, false);
        }
    }
}

}  // namespace brix
