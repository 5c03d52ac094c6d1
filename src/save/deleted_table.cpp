#include "save/deleted_table.h"

#include <algorithm>

#include "browse/table_rows.h"
#include "save/create_table.h"
#include "schema/field_types.h"

namespace brix {

namespace {

// Collation numbers of the two added columns: ascii_general_ci and
// utf8mb4_general_ci, which every server of the family knows by these.
constexpr int32_t kAsciiGeneralCi = 11;
constexpr int32_t kUtf8mb4GeneralCi = 45;
// _source holds one of four short words; 32 characters of one byte each.
constexpr int32_t kSourceBytes = 32;
// A TEXT column: up to 64 KiB of column names.
constexpr int32_t kUnknownBytes = 65535;

CColumnDef AddedColumn(std::u16string_view name, int32_t type, int32_t length, int32_t charset,
                       int32_t index) {
    CColumnDef column;
    column.name = std::u16string(name);
    column.type = type;
    column.length = length;
    column.charsetNumber = charset;
    column.nullable = true;
    column.index = index;
    return column;
}

}  // namespace

CTableDef DeletedRowsTableDef(const CTableDef& table) {
    CTableDef deleted = table;
    for (CColumnDef& column : deleted.columns) {
        column.nullable = true;
        column.inPrimaryKey = false;
        column.inUniqueKey = false;
        column.uniregType = 0;
        column.noDefault = false;
        column.defaultExpression.clear();
    }
    std::erase_if(deleted.keys, [](const CKeyDef& key) {
        return (key.flags & (CKeyDef::kUnique | CKeyDef::kSpatial)) != 0 || key.name == u"PRIMARY";
    });
    deleted.partitioning.clear();
    // Recovered rows need not satisfy what the live table promised: no
    // foreign keys or checks, and no counter to carry.
    deleted.foreignKeys.clear();
    deleted.checks.clear();
    deleted.nextAutoIncrement = 0;
    // ROW_FORMAT=FIXED: a MyISAM table with a TEXT column cannot have it.
    if (deleted.rowType == 1) deleted.rowType = 0;
    const auto next = static_cast<int32_t>(deleted.columns.size());
    deleted.columns.push_back(AddedColumn(kDeletedSourceColumn, FieldType::kVarchar, kSourceBytes,
                                          kAsciiGeneralCi, next));
    deleted.columns.push_back(AddedColumn(kDeletedUnknownColumn, FieldType::kBlob, kUnknownBytes,
                                          kUtf8mb4GeneralCi, next + 1));
    return deleted;
}

bool HasDeletedRowsColumnName(const CTableDef& table) {
    return std::any_of(table.columns.begin(), table.columns.end(), [](const CColumnDef& column) {
        // Column names compare without regard to case.
        std::u16string name = column.name;
        for (char16_t& c : name)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        return name == kDeletedSourceColumn || name == kDeletedUnknownColumn;
    });
}

std::u16string DeletedRowsTableStatement(const CTableDef& table, std::u16string_view name,
                                         const CollationTable& collations) {
    return CreateTableStatement(DeletedRowsTableDef(table), name, collations);
}

}  // namespace brix
