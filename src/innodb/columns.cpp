#include "innodb/columns.h"

#include <algorithm>

#include "app/app_state.h"
#include "innodb/dictionary.h"
#include "values/temporal.h"
#include "values/value_render.h"

namespace brix {

namespace {

constexpr uint32_t kRowIdLength = 6;
constexpr uint32_t kTrxIdLength = 6;
constexpr uint32_t kRollPtrLength = 7;

CInnoColumnDef Hidden(uint32_t length) {
    CInnoColumnDef c;
    c.mainType = InnoType::kSys;
    c.preciseType = InnoFlag::kNotNull;
    c.maxLength = length;
    c.fixedLength = length;
    return c;
}

bool VariableWidthCharset(const CColumnDef& column, const CAppState& app) {
    const auto found = app.collations.find(static_cast<uint32_t>(column.charsetNumber));
    // An unknown character set: assume the widths vary, as they do for the
    // character sets a server creates by default.
    if (found == app.collations.end()) return true;
    return found->second.minCharBytes != found->second.maxCharBytes;
}

// The stored form InnoDB gives a column of this .frm type.
CInnoColumnDef FromFrm(const CColumnDef& column, const CAppState& app) {
    CInnoColumnDef c;
    c.position = column.index;
    c.precision = static_cast<uint32_t>(std::max(column.precision, 0));
    const bool binary = column.charsetNumber == kBinaryCharset;
    const uint32_t length = static_cast<uint32_t>(std::max(column.length, 0));
    bool isUnsigned = column.signedness == Signedness::kUnsigned;
    bool variable = false;
    // MariaDB keeps fractional TIME, DATETIME and TIMESTAMP of its own older
    // layout as big-endian bytes already.
    const bool hiresTemporal = TemporalFractionDigits(column) > 0;
    switch (column.type) {
        case FieldType::kTiny:
        case FieldType::kShort:
        case FieldType::kInt24:
        case FieldType::kLong:
        case FieldType::kLongLong:
        case FieldType::kNewDate:
        case FieldType::kDate:
            c.mainType = InnoType::kInt;
            break;
        case FieldType::kYear:
        case FieldType::kEnum:
        case FieldType::kSet:
            c.mainType = InnoType::kInt;
            isUnsigned = true;
            break;
        case FieldType::kTimestamp:
            c.mainType = hiresTemporal ? InnoType::kFixBinary : InnoType::kInt;
            isUnsigned = true;
            break;
        case FieldType::kTime:
        case FieldType::kDateTime:
            c.mainType = hiresTemporal ? InnoType::kFixBinary : InnoType::kInt;
            break;
        case FieldType::kFloat:
            c.mainType = InnoType::kFloat;
            break;
        case FieldType::kDouble:
            c.mainType = InnoType::kDouble;
            break;
        case FieldType::kDecimal:
            c.mainType = InnoType::kDecimal;
            variable = true;
            break;
        case FieldType::kNewDecimal:
        case FieldType::kBit:
        case FieldType::kTimestamp2:
        case FieldType::kDateTime2:
        case FieldType::kTime2:
            c.mainType = InnoType::kFixBinary;
            break;
        case FieldType::kString:
            if (binary) {
                c.mainType = InnoType::kFixBinary;
            } else {
                c.mainType = InnoType::kMysql;
                variable = VariableWidthCharset(column, app);
            }
            break;
        case FieldType::kVarchar:
        case FieldType::kVarString:
            c.mainType = binary ? InnoType::kBinary : InnoType::kVarMysql;
            variable = true;
            break;
        case FieldType::kGeometry:
            c.mainType = InnoType::kGeometry;
            variable = true;
            break;
        default:  // the BLOB and TEXT types
            c.mainType = InnoType::kBlob;
            variable = true;
            break;
    }
    if (IsStringType(column.type) || IsBlobType(column.type) ||
        column.type == FieldType::kGeometry || column.type == FieldType::kDecimal) {
        c.maxLength = length;
    } else {
        c.maxLength = static_cast<uint32_t>(StoredValueWidth(column));
    }
    if (!column.nullable) c.preciseType |= InnoFlag::kNotNull;
    if (isUnsigned) c.preciseType |= InnoFlag::kUnsigned;
    if (binary) c.preciseType |= InnoFlag::kBinary;
    c.preciseType |= (static_cast<uint32_t>(column.charsetNumber) & 0xFF) << 16;
    if (!variable && c.maxLength <= kMaxFixedLength) c.fixedLength = c.maxLength;
    return c;
}

// Whether a key part covers its column whole rather than a prefix of it.
bool WholeColumn(const CColumnDef& column, const CKeyPartDef& part) {
    if (IsBlobType(column.type) || column.type == FieldType::kGeometry) return false;
    if (IsStringType(column.type)) return part.length >= column.length;
    return true;
}

// Puts the clustered key's fields first, then the system columns, then every
// other stored column in table order.
void OrderPhysicalColumns(CInnoTableReader& inno, std::vector<CInnoColumnDef>& candidates) {
    const CTableDef& table = inno.table;
    std::vector<CInnoColumnDef>& physical = inno.physicalColumns;
    physical.clear();
    std::vector<bool> taken(candidates.size(), false);
    auto candidateOf = [&](int32_t position) -> int {
        for (size_t i = 0; i < candidates.size(); ++i)
            if (candidates[i].position == position) return static_cast<int>(i);
        return -1;
    };
    const int key = ClusteredKey(table);
    if (key >= 0) {
        for (const CKeyPartDef& part : table.keys[static_cast<size_t>(key)].parts) {
            const int32_t position = part.fieldNumber - 1;
            const int i = candidateOf(position);
            if (i < 0) continue;
            const CColumnDef& column = table.columns[static_cast<size_t>(position)];
            if (WholeColumn(column, part)) {
                if (taken[static_cast<size_t>(i)]) continue;
                taken[static_cast<size_t>(i)] = true;
                physical.push_back(candidates[static_cast<size_t>(i)]);
            } else {
                // A prefix: its bytes lead the record, and the whole column
                // follows among the other columns.
                CInnoColumnDef prefix = candidates[static_cast<size_t>(i)];
                prefix.position = -1;
                if (prefix.fixedLength != 0) prefix.fixedLength = part.length;
                physical.push_back(prefix);
            }
        }
    }
    if (physical.empty()) physical.push_back(Hidden(kRowIdLength));
    physical.push_back(Hidden(kTrxIdLength));
    physical.push_back(Hidden(kRollPtrLength));
    for (size_t i = 0; i < candidates.size(); ++i)
        if (!taken[i]) physical.push_back(candidates[i]);
    candidates.clear();
}

}  // namespace

int ClusteredKey(const CTableDef& table) {
    for (size_t k = 0; k < table.keys.size(); ++k)
        if (table.keys[k].name == u"PRIMARY") return static_cast<int>(k);
    for (size_t k = 0; k < table.keys.size(); ++k) {
        const CKeyDef& key = table.keys[k];
        if (!(key.flags & CKeyDef::kUnique) || key.parts.empty()) continue;
        bool eligible = true;
        for (const CKeyPartDef& part : key.parts) {
            if (part.fieldNumber == 0 || part.fieldNumber > table.columns.size()) {
                eligible = false;
                break;
            }
            const CColumnDef& column = table.columns[part.fieldNumber - 1u];
            if (column.nullable || column.isVirtual || !WholeColumn(column, part)) {
                eligible = false;
                break;
            }
        }
        if (eligible) return static_cast<int>(k);
    }
    return -1;
}

size_t KeyFieldCount(const std::vector<CInnoColumnDef>& fields) {
    size_t n = 0;
    while (n < fields.size() && fields[n].mainType != InnoType::kSys) ++n;
    return n;
}

void BuildColumnsFromFrm(CInnoTableReader& inno, const CAppState& app) {
    const CTableDef& table = inno.table;
    std::vector<CInnoColumnDef> candidates;
    candidates.reserve(table.columns.size());
    for (const CColumnDef& column : table.columns)
        if (!column.isVirtual) candidates.push_back(FromFrm(column, app));
    OrderPhysicalColumns(inno, candidates);
}

void BuildColumnsFromDictionary(CInnoTableReader& inno, const CInnoDictionary& dictionary,
                                uint64_t tableId) {
    const CTableDef& table = inno.table;
    std::vector<const SysColumnRec*> entries;
    for (const SysColumnRec& rec : dictionary.columns())
        if (rec.tableId == tableId && !(rec.prtype & InnoFlag::kVirtual)) entries.push_back(&rec);

    std::vector<CInnoColumnDef> candidates;
    // The dictionary numbers a table's stored columns without its virtual ones.
    uint32_t storedPosition = 0;
    for (const CColumnDef& column : table.columns) {
        if (column.isVirtual) continue;
        const uint32_t pos = storedPosition++;
        const SysColumnRec* rec = nullptr;
        for (const SysColumnRec* e : entries) {
            if (e->pos == pos) {
                rec = e;
                break;
            }
        }
        if (!rec) continue;
        CInnoColumnDef c;
        c.mainType = rec->mtype;
        c.preciseType = rec->prtype;
        c.maxLength = rec->len;
        c.precision = rec->prec;
        c.position = column.index;
        c.charWidths = rec->charWidths;
        bool fixed = false;
        switch (rec->mtype) {
            case InnoType::kChar:
            case InnoType::kFixBinary:
            case InnoType::kInt:
            case InnoType::kFloat:
            case InnoType::kDouble:
                fixed = true;
                break;
            case InnoType::kMysql:
                fixed = (rec->prtype & InnoFlag::kBinary) ||
                        (rec->minCharBytes != 0 && rec->minCharBytes == rec->maxCharBytes);
                break;
            default:
                break;
        }
        if (fixed && rec->len <= kMaxFixedLength) c.fixedLength = rec->len;
        candidates.push_back(c);
    }
    OrderPhysicalColumns(inno, candidates);
}

bool ApplyInstantColumns(CInnoTableReader& inno, const CInstantColumns& instant) {
    std::vector<CInnoColumnDef>& fields = inno.physicalColumns;
    size_t stored = 0;
    for (const CColumnDef& column : inno.table.columns) stored += column.isVirtual ? 0 : 1;
    const size_t added = instant.added.size();
    if (instant.columnsBefore == 0 || added == 0 || instant.columnsBefore + added != stored ||
        added >= fields.size())
        return false;
    // Columns were added after the last one and belong to no key, so their
    // fields are the record's last ones, in column order.
    const size_t first = fields.size() - added;
    for (size_t i = 0; i < added; ++i) {
        const CVersionedColumn& column = instant.added[i];
        if (!column.hasDefault || fields[first + i].position != column.tableColumn) return false;
    }
    for (size_t i = 0; i < added; ++i) {
        const CVersionedColumn& column = instant.added[i];
        CInnoColumnDef& field = fields[first + i];
        field.instantDefaultNull = column.defaultNull;
        field.instantDefault = column.defaultNull ? std::vector<uint8_t>() : column.defaultBytes;
    }
    inno.coreFields = static_cast<uint32_t>(first);
    inno.fieldCountInRecords = true;
    return true;
}

bool ApplyRowVersions(CInnoTableReader& inno, const std::vector<CVersionedColumn>& columns,
                      const CAppState& app) {
    struct Placed {
        uint32_t position;
        CInnoColumnDef field;
    };
    std::vector<Placed> placed;
    std::vector<const CVersionedColumn*> system;
    for (const CVersionedColumn& c : columns)
        if (c.system) system.push_back(&c);
    std::sort(system.begin(), system.end(), [](const auto* a, const auto* b) {
        return a->physicalPosition < b->physicalPosition;
    });
    size_t systemTaken = 0;
    const auto withVersions = [](CInnoColumnDef field, const CVersionedColumn& c) {
        field.versionAdded = c.versionAdded;
        field.versionDropped = c.versionDropped;
        field.instantDefaultNull = c.hasDefault && c.defaultNull;
        if (c.hasDefault && !c.defaultNull) field.instantDefault = c.defaultBytes;
        return Placed{c.physicalPosition, std::move(field)};
    };
    for (const CInnoColumnDef& field : inno.physicalColumns) {
        if (field.mainType == InnoType::kSys && field.position < 0) {
            // System fields keep their order: row id, transaction id, roll
            // pointer.
            if (systemTaken >= system.size()) return false;
            placed.push_back(withVersions(field, *system[systemTaken++]));
            continue;
        }
        const auto found = std::find_if(columns.begin(), columns.end(), [&](const auto& c) {
            return !c.system && !c.dropped && c.tableColumn == field.position;
        });
        if (field.position < 0 || found == columns.end()) return false;
        placed.push_back(withVersions(field, *found));
    }
    if (systemTaken != system.size()) return false;
    for (const CVersionedColumn& c : columns) {
        if (!c.dropped) continue;
        CInnoColumnDef field = FromFrm(c.droppedDefinition, app);
        field.position = -1;  // its bytes are skipped
        placed.push_back(withVersions(std::move(field), c));
    }
    std::sort(placed.begin(), placed.end(),
              [](const Placed& a, const Placed& b) { return a.position < b.position; });
    for (size_t i = 0; i < placed.size(); ++i)
        if (placed[i].position != i) return false;  // a gap or a place taken twice
    inno.physicalColumns.clear();
    for (Placed& p : placed) inno.physicalColumns.push_back(std::move(p.field));
    inno.rowVersions = true;
    return true;
}

bool ApplyInPlaceLayout(CInnoTableReader& inno, const std::vector<CVersionedColumn>& rowVersions,
                        const CInstantColumns& instant, uint32_t columnsBefore,
                        const CAppState& app) {
    if (rowVersions.empty()) {
        // Nothing added, or a partition made after the columns were added:
        // its records hold every field.
        if (instant.columnsBefore == 0 || columnsBefore == 0) return true;
        if (columnsBefore == instant.columnsBefore) return ApplyInstantColumns(inno, instant);
        // A partition of its own count, which it got at the first change
        // made after it was created: fewer columns were added to it.
        if (columnsBefore < instant.columnsBefore) return false;
        const size_t skip = columnsBefore - instant.columnsBefore;
        if (skip >= instant.added.size()) return false;
        CInstantColumns own;
        own.columnsBefore = columnsBefore;
        own.added.assign(instant.added.begin() + static_cast<std::ptrdiff_t>(skip),
                         instant.added.end());
        return ApplyInstantColumns(inno, own);
    }
    const std::vector<CInnoColumnDef> built = inno.physicalColumns;
    if (!ApplyRowVersions(inno, rowVersions, app)) return false;
    if (columnsBefore == 0) return true;
    // Columns were added before MySQL 8.0.29 too: records that carry no
    // version hold the fields up to the first column added then, or say how
    // many they hold. Every column added since, in either way, dropped or
    // not, has its field after those, so the core fields are the first ones
    // but as many as there are such columns.
    const auto restore = [&] {
        inno.physicalColumns = built;
        inno.rowVersions = false;
        return false;
    };
    size_t userColumns = 0;
    for (const CVersionedColumn& c : rowVersions) userColumns += c.system ? 0 : 1;
    std::vector<CInnoColumnDef>& fields = inno.physicalColumns;
    if (columnsBefore >= userColumns || userColumns - columnsBefore >= fields.size())
        return restore();
    const size_t core = fields.size() - (userColumns - columnsBefore);
    for (size_t i = 0; i < fields.size(); ++i) {
        const CInnoColumnDef& field = fields[i];
        if (i < core) {
            // The core fields were there from the start.
            if (field.versionAdded != 0) return restore();
            continue;
        }
        if (field.position < 0 && field.versionDropped == 0) return restore();  // a system field
        if (field.position < 0) continue;  // dropped: never shown
        const auto found = std::find_if(rowVersions.begin(), rowVersions.end(), [&](const auto& c) {
            return !c.system && !c.dropped && c.tableColumn == field.position;
        });
        // Older records show the default kept with the column.
        if (found == rowVersions.end() || !found->hasDefault) return restore();
    }
    inno.coreFields = static_cast<uint32_t>(core);
    return true;
}

}  // namespace brix
