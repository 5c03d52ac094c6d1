#include "innodb/record.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/file_names.h"
#include "app/text.h"
#include "innodb/blob.h"
#include "innodb/btree.h"
#include "innodb/record_header.h"

namespace brix {

namespace {

constexpr uint8_t kStatusInstant = 4;

}  // namespace

bool LocateCompactFields(ByteSpan page, uint32_t origin, uint32_t span,
                         const std::vector<CInnoColumnDef>& fields, uint32_t coreFields,
                         std::vector<FieldSlot>& slots, bool rowVersions, uint32_t* headerStart,
                         const char** oddity) {
    slots.assign(fields.size(), FieldSlot{});
    if (origin < kCompactExtraBytes || origin >= page.size()) return false;
    CompactHeaderCursor header(page, origin);
    const uint8_t info = page[origin - kCompactExtraBytes];
    const bool versionBit = (info & kInfoRowVersion) != 0;
    const bool countBit = (info & kInfoInstantAdded) != 0;
    const auto odd = [&](const char* why) {
        if (oddity && !*oddity) *oddity = why;
    };
    size_t present = fields.size();
    uint32_t version = 0;
    // How the record says which fields it holds: by the version of the
    // layout it was written in (rowVersions and no count read), or as the
    // first present fields.
    bool byVersion = false;
    if (coreFields != 0 && !rowVersions && CompactRecordStatus(page, origin) == kStatusInstant) {
        // MariaDB: a status of its own and the count of added fields.
        size_t added = 0;
        if (!header.ReadAddedFieldCount(added)) return false;
        present = std::min(coreFields + 1 + added, fields.size());
    } else if (versionBit && rowVersions) {
        // MySQL 8.0.29 and later: the version byte below the fixed header.
        // A record upgraded from a table that had columns added before that
        // is written so too, in version 0.
        if (countBit) odd("record is marked both with a field count and a layout version");
        if (!header.ReadRowVersion(version)) return false;
        uint32_t newest = 0;
        for (const CInnoColumnDef& field : fields)
            newest =
                std::max({newest, uint32_t{field.versionAdded}, uint32_t{field.versionDropped}});
        if (version > newest) odd("record names a layout version the table does not have");
        byVersion = true;
    } else if (countBit && coreFields != 0) {
        // MySQL 8.0.12 to 8.0.28: an info bit and the record's whole field
        // count, the first fields in their physical order. MariaDB never sets
        // the bit, so the two cannot be taken for each other.
        size_t stored = 0;
        if (!header.ReadFieldCount(stored)) return false;
        if (stored < coreFields || stored > fields.size())
            odd("record's field count does not fit the table");
        present = std::min(stored, fields.size());
    } else {
        // A mark the table's definition has no use for is damage: the record
        // is read as the table's other records are.
        if (countBit || (versionBit && !rowVersions))
            odd("record is marked as changed in place but its table was not");
        if (coreFields != 0) {
            // Written before the first column was added: the core fields.
            present = std::min<size_t>(coreFields, fields.size());
        } else if (rowVersions) {
            byVersion = true;  // written before the first change: version 0
        }
    }
    if (byVersion) {
        size_t nullable = 0;
        for (const CInnoColumnDef& field : fields)
            nullable += field.InVersion(version) && field.nullable() ? 1 : 0;
        if (!header.BeginNullBitmap(nullable)) return false;
    } else {
        size_t nullable = 0;
        for (size_t i = 0; i < present; ++i) nullable += fields[i].nullable() ? 1 : 0;
        if (!header.BeginNullBitmap(nullable)) return false;
    }
    for (size_t i = 0; i < fields.size(); ++i) {
        const CInnoColumnDef& field = fields[i];
        FieldSlot& slot = slots[i];
        if (i >= present || (byVersion && !field.InVersion(version))) {
            slot.present = false;
            continue;
        }
        slot.start = header.dataEnd();
        if (field.nullable()) {
            bool isNull = false;
            if (!header.NextNull(isNull)) return false;
            slot.null = isNull;
            if (isNull) continue;
        }
        uint32_t length = field.fixedLength;
        if (length == 0) {
            bool external = false;
            if (!header.NextLength(field.big(), length, external)) return false;
            slot.external = external;
        }
        // A field with bytes to take where the record has no more data. A
        // NULL or empty last field takes none: a record whose data ends
        // exactly at span still holds it.
        if (length != 0 && header.dataTaken() >= span) {
            slot.cut = true;
            continue;
        }
        if (!header.TakeData(length, slot.start)) return false;
        slot.length = length;
    }
    if (headerStart) *headerStart = header.headerStart();
    return true;
}

bool LocateRedundantFields(ByteSpan page, uint32_t origin, size_t fieldCount,
                           std::vector<FieldSlot>& slots) {
    std::vector<RedundantField> stored;
    if (!ReadRedundantFields(page, origin, stored)) return false;
    slots.assign(fieldCount, FieldSlot{});
    for (size_t i = 0; i < fieldCount; ++i) {
        if (i >= stored.size()) {
            slots[i].present = false;
            continue;
        }
        slots[i] = FieldSlot{
            stored[i].start, stored[i].length, stored[i].null, stored[i].external, true, false};
    }
    return true;
}

bool LocateVersionedRedundantFields(ByteSpan page, uint32_t origin,
                                    const std::vector<CInnoColumnDef>& fields,
                                    std::vector<FieldSlot>& slots) {
    std::vector<RedundantField> stored;
    uint8_t version = 0;
    if (!ReadRedundantFields(page, origin, stored, &version)) return false;
    slots.assign(fields.size(), FieldSlot{});
    size_t next = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!fields[i].InVersion(version) || next >= stored.size()) {
            slots[i].present = false;
            continue;
        }
        const RedundantField& f = stored[next++];
        slots[i] = FieldSlot{f.start, f.length, f.null, f.external, true, false};
    }
    return true;
}

CInnoRecordDecoder::CInnoRecordDecoder(CInnoTableReader& inno, CAppState& app)
    : inno_(inno),
      table_(inno.table),
      rows_(inno.window.rows),
      app_(app),
      fields_(inno.physicalColumns) {
    context_.decoders = &app.decoders();
    context_.allEnumValues = table_.allEnumValues;
    context_.exportMode = inno.options.exportMode;
    context_.blobsInFull = true;
}

bool CInnoRecordDecoder::DecodeCompact(ByteSpan page, uint32_t origin, uint32_t span) {
    const char* oddity = nullptr;
    if (!LocateCompactFields(page, origin, span, fields_, inno_.coreFields, slots_,
                             inno_.rowVersions, nullptr, &oddity))
        return false;
    // The record is read all the same, as far as its header allows.
    if (oddity && inno_.reportingRecords) {
        const int64_t pageNumber = static_cast<int64_t>(inno_.currentPage.pageNumber);
        ReportDamage(inno_, DamageFinding{{},
                                          pageNumber * static_cast<int64_t>(page.size()) + origin,
                                          pageNumber,
                                          DamageWhat::kRecord,
                                          oddity,
                                          0,
                                          true});
    }
    RenderRow(page);
    return true;
}

bool CInnoRecordDecoder::DecodeRedundant(ByteSpan page, uint32_t origin) {
    const bool located = inno_.rowVersions
                             ? LocateVersionedRedundantFields(page, origin, fields_, slots_)
                             : LocateRedundantFields(page, origin, fields_.size(), slots_);
    if (!located) return false;
    RenderRow(page);
    return true;
}

void CInnoRecordDecoder::RenderRow(ByteSpan page) {
    rows_.BeginRow();
    for (size_t i = 0; i < fields_.size(); ++i) {
        const CInnoColumnDef& field = fields_[i];
        const FieldSlot& slot = slots_[i];
        if (field.position < 0 || static_cast<size_t>(field.position) >= table_.columns.size() ||
            slot.cut)
            continue;
        if (!slot.present) {
            RenderMissing(field);
        } else if (slot.null) {
            rows_.SetNull(static_cast<size_t>(field.position));
        } else {
            Render(field, page.subspan(slot.start, slot.length), slot.external);
        }
    }
}

void CInnoRecordDecoder::Render(const CInnoColumnDef& field, ByteSpan bytes, bool external) {
    const size_t position = static_cast<size_t>(field.position);
    const CColumnDef& column = table_.columns[position];
    std::u16string& out = rows_.arena();
    const size_t start = out.size();
    if (external) {
        // Off-page data: a placeholder on screen, the whole value in a spill
        // file or kept by its reference when exporting.
        if (!context_.exportMode) {
            out += kLargeSizeBlobText;
        } else if (inno_.space && inno_.options.keepExternal) {
            // The writer reads the chain and reports it when it is broken.
            rows_.SetExternal(position, bytes, static_cast<uint32_t>(inno_.currentPage.pageNumber),
                              inno_.reportingRecords);
            return;
        } else if (inno_.space) {
            bool whole = true;
            const std::filesystem::path path =
                SpillExternalColumn(*inno_.space, bytes, inno_.options.spillFolder, app_, &whole);
            // The row keeps what the chain gave.
            if (!whole && inno_.reportingRecords)
                ReportDamage(inno_, DamageFinding{{},
                                                  -1,
                                                  inno_.currentPage.pageNumber,
                                                  DamageWhat::kChain,
                                                  "value's off-page chain is broken",
                                                  0,
                                                  false});
            if (!path.empty()) {
                const std::string text = PathUtf8(path);
                AppendUtf8(out,
                           ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
                rows_.SetCell(position, start, false);
                rows_.MarkSpilled(position);
                return;
            }
        }
        rows_.SetCell(position, start, false);
        return;
    }
    if (field.mainType == InnoType::kInt) {
        // Integers are stored big-endian, signed ones with the sign bit
        // inverted so that they sort as unsigned bytes.
        if (bytes.size() <= littleEndian_.size()) {
            std::reverse_copy(bytes.begin(), bytes.end(), littleEndian_.begin());
            if (!bytes.empty() && !(field.preciseType & InnoFlag::kUnsigned))
                littleEndian_[bytes.size() - 1] ^= 0x80;
            bytes = ByteSpan(littleEndian_.data(), bytes.size());
        } else {
            scratch_.assign(bytes.rbegin(), bytes.rend());
            if (!(field.preciseType & InnoFlag::kUnsigned)) scratch_.back() ^= 0x80;
            bytes = scratch_;
        }
    }
    const bool isNull = RenderMyIsamValue(column, bytes, context_, out);
    rows_.SetCell(position, start, isNull);
}

void CInnoRecordDecoder::RenderMissing(const CInnoColumnDef& field) {
    // A field the record was written without: the column's default, kept
    // when the column was added.
    if (inno_.rowVersions || inno_.fieldCountInRecords) {
        if (field.instantDefaultNull)
            rows_.SetNull(static_cast<size_t>(field.position));
        else
            Render(field, ByteSpan(field.instantDefault), false);
        return;
    }
    const CRowWindow& defaults = inno_.defaults;
    const size_t position = static_cast<size_t>(field.position);
    if (defaults.rowCount() == 0 || position >= defaults.columnCount()) return;
    if (defaults.IsNull(0, position)) {
        rows_.SetNull(position);
        return;
    }
    std::u16string& out = rows_.arena();
    const size_t start = out.size();
    out += defaults.Text(0, position);
    rows_.SetCell(position, start, false);
    if (defaults.IsSpilled(0, position)) rows_.MarkSpilled(position);
}

}  // namespace brix
