#include "save/create_table.h"

#include <algorithm>
#include <cstdint>

#include "app/app_state.h"
#include "app/text.h"
#include "catalogue/script_safety.h"
#include "myisam/myisam_row.h"
#include "save/mariadb_translation.h"
#include "save/sql_text.h"
#include "schema/column_type_text.h"
#include "schema/field_types.h"
#include "values/temporal.h"

namespace brix {

namespace {

void AppendNumber(std::u16string& out, int64_t n) {
    AppendAscii(out, std::to_string(n));
}

const CollationInfo* FindCollation(const CollationTable& collations, int32_t number) {
    if (number <= 0) return nullptr;
    auto found = collations.find(static_cast<uint32_t>(number));
    return found == collations.end() ? nullptr : &found->second;
}

// Bytes per character that key and column lengths are divided by: the
// largest character of the column's collation, 1 for binary data and unknown
// collations.
int32_t CharacterWidth(const CColumnDef& column, const CollationTable& collations) {
    if (column.charsetNumber == kBinaryCharset) return 1;
    const CollationInfo* info = FindCollation(collations, column.charsetNumber);
    return info && info->maxCharBytes > 0 ? static_cast<int32_t>(info->maxCharBytes) : 1;
}

bool HasCharacterSet(const CColumnDef& column) {
    if (column.charsetNumber == kBinaryCharset) return false;
    return IsStringType(column.type) || IsBlobType(column.type) ||
           column.type == FieldType::kEnum || column.type == FieldType::kSet;
}

void AppendInParentheses(std::u16string& out, int64_t n) {
    out.push_back(u'(');
    AppendNumber(out, n);
    out.push_back(u')');
}

void AppendMembers(std::u16string& out, const CTableDef& table, const CColumnDef& column) {
    out.push_back(u'(');
    for (int32_t m = 0; m < column.enumCount; ++m) {
        const size_t at = static_cast<size_t>(column.enumFirst) + static_cast<size_t>(m);
        if (column.enumFirst < 0 || at >= table.allEnumValues.size()) break;
        if (m > 0) out.push_back(u',');
        AppendStringLiteral(out, table.allEnumValues[at]);
    }
    out.push_back(u')');
}

std::u16string_view RowFormatName(uint8_t rowType) {
    switch (rowType) {
        case 1:
            return u"FIXED";
        case 2:
            return u"DYNAMIC";
        case 3:
            return u"COMPRESSED";
        case 4:
            return u"REDUNDANT";
        case 5:
            return u"COMPACT";
        case 6:
            return u"PAGE";
        default:
            return {};
    }
}

void AppendSignAndFill(std::u16string& out, const CColumnDef& column) {
    if (column.zerofill) {
        out += u" UNSIGNED ZEROFILL";
    } else if (column.signedness == Signedness::kUnsigned) {
        out += u" UNSIGNED";
    }
}

// The base type without character set.
void AppendBaseType(std::u16string& out, const CTableDef& table, const CColumnDef& column,
                    const CollationTable& collations) {
    if (const std::u16string_view typeName = DataTypeName(column.dataType); !typeName.empty()) {
        out += typeName;
        return;
    }
    const CTypeName* name = FindTypeName(column.type, TypeTextUse::kStatement);
    if (!name) {
        // A type this reader does not know: its bytes as a string keep
        // whatever text the readers give it.
        out += u"VARBINARY";
        AppendInParentheses(out, std::max(column.length, 1));
        return;
    }
    if (name->suffix == TypeSuffix::kGeometry)
        out += GeometryTypeText(column.geometryType);
    else
        out += column.charsetNumber == kBinaryCharset ? name->binaryText : name->text;
    auto precisionAndDecimals = [&] {
        out.push_back(u'(');
        AppendNumber(out, column.precision);
        out.push_back(u',');
        AppendNumber(out, column.decimals);
        out.push_back(u')');
    };
    switch (name->suffix) {
        case TypeSuffix::kInteger:
            AppendInParentheses(out, column.length);
            AppendSignAndFill(out, column);
            return;
        case TypeSuffix::kFloat:
            if (column.decimals > 0 || column.precision > 0) precisionAndDecimals();
            AppendSignAndFill(out, column);
            return;
        case TypeSuffix::kDecimal:
            precisionAndDecimals();
            AppendSignAndFill(out, column);
            return;
        case TypeSuffix::kTemporal:
            if (const int digits = TemporalFractionDigits(column); digits > 0)
                AppendInParentheses(out, digits);
            return;
        case TypeSuffix::kYear:
            if (column.length == 2) out += u"(2)";
            return;
        case TypeSuffix::kBit:
            AppendInParentheses(out, column.length);
            return;
        case TypeSuffix::kCharacters:
            AppendInParentheses(out,
                                std::max(column.length, 0) / CharacterWidth(column, collations));
            return;
        case TypeSuffix::kMembers:
            AppendMembers(out, table, column);
            return;
        case TypeSuffix::kNone:
        case TypeSuffix::kGeometry:
            return;
    }
}

void AppendCharacterSet(std::u16string& out, const CollationInfo& info, bool tableOption) {
    // A collation of MySQL's that MariaDB lacks is written as the nearest
    // one it has (the save says so; see AdaptDefinitionForMariaDb).
    const std::optional<CCollationName> substitute = MariaDbCollation(info.text2, info.text1);
    const std::u16string_view charset = substitute ? substitute->charset : info.text2;
    const std::u16string_view collation = substitute ? substitute->collation : info.text1;
    // Names go into the statement only from our own list of sets; the
    // collation table is a file, not ours.
    if (!IsKnownCollationPair(charset, collation)) return;
    out += tableOption ? u" DEFAULT CHARSET=" : u" CHARACTER SET ";
    out += charset;
    out += tableOption ? u" COLLATE=" : u" COLLATE ";
    out += collation;
}

bool IsPrimaryKey(const CKeyDef& key) {
    if (key.name.size() != 7) return false;
    static constexpr char16_t kPrimary[] = u"PRIMARY";
    for (size_t i = 0; i < 7; ++i) {
        char16_t c = key.name[i];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        if (c != kPrimary[i]) return false;
    }
    return true;
}

// The prefix length of a key part in characters, or 0 when the part covers
// the whole column.
int32_t PrefixLength(const CColumnDef& column, const CKeyPartDef& part,
                     const CollationTable& collations) {
    const int32_t width = CharacterWidth(column, collations);
    if (IsBlobType(column.type)) return part.length / width;
    if (IsStringType(column.type) && part.length < column.length) return part.length / width;
    return 0;
}

void AppendKey(std::u16string& out, const CTableDef& table, const CKeyDef& key,
               const CollationTable& collations) {
    // A key whose parts include expressions would index less than it did.
    if (key.flags & CKeyDef::kExpressionParts) return;
    const bool primary = IsPrimaryKey(key);
    const bool fulltext = (key.flags & CKeyDef::kFulltext) != 0;
    const bool spatial = (key.flags & CKeyDef::kSpatial) != 0;
    std::u16string parts;
    for (const CKeyPartDef& part : key.parts) {
        if (part.fieldNumber == 0 || part.fieldNumber > table.columns.size()) continue;
        const CColumnDef& column = table.columns[part.fieldNumber - 1];
        if (!parts.empty()) parts.push_back(u',');
        AppendQuotedName(parts, column.name);
        const int32_t prefix = fulltext || spatial ? 0 : PrefixLength(column, part, collations);
        if (prefix > 0) AppendInParentheses(parts, prefix);
        if (part.flags & CKeyPartDef::kDescending) parts += u" DESC";
    }
    if (parts.empty()) return;
    out += u",\n  ";
    if (primary) {
        out += u"PRIMARY KEY";
    } else {
        if (fulltext) {
            out += u"FULLTEXT ";
        } else if (spatial) {
            out += u"SPATIAL ";
        } else if (key.flags & CKeyDef::kUnique) {
            out += u"UNIQUE ";
        }
        out += u"KEY ";
        AppendQuotedName(out, key.name);
    }
    out += u" (";
    out += parts;
    out.push_back(u')');
    if (!fulltext && !spatial) {
        if (key.algorithm == CKeyDef::kAlgorithmBtree) out += u" USING BTREE";
        if (key.algorithm == CKeyDef::kAlgorithmHash ||
            key.algorithm == CKeyDef::kAlgorithmLongHash)
            out += u" USING HASH";
    }
    if (!key.comment.empty()) {
        out += u" COMMENT ";
        AppendStringLiteral(out, key.comment);
    }
}

// Column names compare without regard to case (of ASCII letters, enough for
// the names a key lists, which the server wrote from the columns).
bool IsColumnName(const CTableDef& table, std::u16string_view name) {
    const auto lower = [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    for (const CColumnDef& column : table.columns) {
        if (column.name.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = lower(column.name[i]) == lower(name[i]);
        if (same) return true;
    }
    return false;
}

std::u16string_view ActionText(ForeignKeyAction action) {
    switch (action) {
        case ForeignKeyAction::kCascade:
            return u"CASCADE";
        case ForeignKeyAction::kSetNull:
            return u"SET NULL";
        case ForeignKeyAction::kNoAction:
            return u"NO ACTION";
        case ForeignKeyAction::kRestrict:
            break;
    }
    return {};
}

// Why a foreign key cannot go into the statement; empty when it can.
std::u16string ForeignKeyProblem(const CTableDef& table, const CForeignKeyDef& key) {
    if (!IsWritableName(key.name) || !IsWritableName(key.referencedDatabase) ||
        !IsWritableName(key.referencedTable) || key.referencedTable.empty())
        return u"foreign key " + key.name + u": " + kUnwritableName;
    if (key.columns.empty() || key.columns.size() != key.referencedColumns.size())
        return u"foreign key " + key.name + u": its column lists do not match";
    for (const std::u16string& column : key.columns)
        if (!IsColumnName(table, column))
            return u"foreign key " + key.name + u": it names a column the table does not have";
    for (const std::u16string& column : key.referencedColumns)
        if (!IsWritableName(column) || column.empty())
            return u"foreign key " + key.name + u": " + kUnwritableName;
    return {};
}

// Why a CHECK constraint cannot go into the statement; empty when it can.
std::u16string CheckProblem(const CTableDef& table, const CCheckDef& check) {
    const std::u16string label = check.name.empty() ? std::u16string(u"a CHECK constraint")
                                                    : u"CHECK constraint " + check.name;
    if (!IsWritableName(check.name)) return label + u": " + kUnwritableName;
    if (check.column >= static_cast<int32_t>(table.columns.size()))
        return label + u": it belongs to a column the table does not have";
    if (!ExpressionTextProblem(check.expression).empty())
        return label + u": its expression cannot be saved safely";
    return {};
}

void AppendNameList(std::u16string& out, const std::vector<std::u16string>& names) {
    out += u" (";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += u", ";
        AppendQuotedName(out, names[i]);
    }
    out.push_back(u')');
}

void AppendForeignKey(std::u16string& out, const CForeignKeyDef& key) {
    out += u",\n  CONSTRAINT ";
    AppendQuotedName(out, key.name);
    out += u" FOREIGN KEY";
    AppendNameList(out, key.columns);
    out += u" REFERENCES ";
    if (!key.referencedDatabase.empty()) {
        AppendQuotedName(out, key.referencedDatabase);
        out.push_back(u'.');
    }
    AppendQuotedName(out, key.referencedTable);
    AppendNameList(out, key.referencedColumns);
    if (const std::u16string_view action = ActionText(key.onDelete); !action.empty()) {
        out += u" ON DELETE ";
        out += action;
    }
    if (const std::u16string_view action = ActionText(key.onUpdate); !action.empty()) {
        out += u" ON UPDATE ";
        out += action;
    }
}

// A CHECK constraint of a column is stated with the column; the name the
// .frm keeps for it is the column's, which the server gives it again.
bool IsColumnCheck(const CCheckDef& check) {
    return check.column >= 0;
}

// The largest clustered-index record, in bytes, that InnoDB reckons a table
// may need when it checks a new table against a page of 16 KiB. A column
// longer than the format keeps in the record counts as what the record keeps
// of it: 768 bytes and a 20-byte reference in COMPACT and REDUNDANT, 40 in
// DYNAMIC; others count their longest value. The record header, the null
// flags (COMPACT, DYNAMIC) or field offsets (REDUNDANT), the length bytes,
// the system columns and, without a primary key, the row id count too.
size_t LongestInnoRecord(const CTableDef& table, bool dynamic, bool redundant) {
    constexpr size_t kCompactHeader = 5;
    constexpr size_t kRedundantHeader = 6;
    constexpr size_t kTransactionId = 6;
    constexpr size_t kRollPointer = 7;
    constexpr size_t kRowId = 6;
    constexpr size_t kAntelopePrefix = 768;
    constexpr size_t kExternReference = 20;
    constexpr size_t kDynamicLocal = 2 * kExternReference;
    // The bytes each column takes in the .frm's row image, by the column
    // that starts next (in record order).
    std::vector<size_t> order;
    for (size_t c = 0; c < table.columns.size(); ++c) order.push_back(c);
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return table.columns[a].recordPos < table.columns[b].recordPos;
    });
    std::vector<size_t> imageBytes(table.columns.size(), 0);
    for (size_t i = 0; i < order.size(); ++i) {
        const int64_t start = table.columns[order[i]].recordPos;
        const int64_t end = i + 1 < order.size() ? table.columns[order[i + 1]].recordPos
                                                 : int64_t{table.recordLength} + 1;
        imageBytes[order[i]] = end > start ? static_cast<size_t>(end - start) : 0;
    }
    size_t fields = 2;
    size_t nullable = 0;
    size_t total = kTransactionId + kRollPointer;
    bool primary = false;
    for (const CKeyDef& key : table.keys) primary = primary || IsPrimaryKey(key);
    if (!primary) {
        total += kRowId;
        ++fields;
    }
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const CColumnDef& column = table.columns[c];
        if (column.isVirtual) continue;
        ++fields;
        if (column.nullable) ++nullable;
        const bool variable = IsBlobType(column.type) || column.type == FieldType::kJson ||
                              column.type == FieldType::kGeometry || IsStringType(column.type);
        if (!variable) {
            total += imageBytes[c];
            continue;
        }
        const size_t longest =
            IsStringType(column.type) ? static_cast<size_t>(std::max(column.length, 0)) : SIZE_MAX;
        const size_t kept = dynamic ? kDynamicLocal : kAntelopePrefix + kExternReference;
        const size_t bytes = longest > kept ? kept : longest;
        total += bytes;
        if (!redundant) total += longest > 255 ? 2 : 1;
    }
    if (redundant) return total + kRedundantHeader + 2 * fields;
    return total + kCompactHeader + (nullable + 7) / 8;
}

// The engine options a statement carries: MariaDB's page compression, which
// any server of it takes. Others (encryption and its keys above all) need
// what the target server may not have. The name and the value are bytes from
// the file: they go in only as plain words.
bool IsKeptEngineOption(const CEngineOption& option) {
    const auto upper = [](std::string text) {
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return text;
    };
    const std::string name = upper(option.name);
    if (name != "PAGE_COMPRESSED" && name != "PAGE_COMPRESSION_LEVEL") return false;
    if (option.value.empty() || option.value.size() > 8) return false;
    for (char c : option.value) {
        const bool plain =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!plain) return false;
    }
    return true;
}

// The most a record may take on a page of 16 KiB: half of what an empty page
// has free, so that a page holds two.
constexpr size_t kLargestInnoRecord = 8126;

}  // namespace

std::u16string EngineName(uint8_t engineCode) {
    switch (engineCode) {
        case 6:
            return u"MEMORY";
        case EngineCode::kMyIsam:
            return u"MyISAM";
        case 10:
            return u"MRG_MyISAM";
        case EngineCode::kInnoDb:
            return u"InnoDB";
        case 16:
            return u"ARCHIVE";
        case 17:
            return u"CSV";
        case 19:
            return u"BLACKHOLE";
        case 42:
            return u"Aria";
        default:
            return {};
    }
}

std::u16string SqlColumnType(const CTableDef& table, const CColumnDef& column,
                             const CollationTable& collations) {
    std::u16string out;
    AppendBaseType(out, table, column, collations);
    if (HasCharacterSet(column)) {
        if (const CollationInfo* info = FindCollation(collations, column.charsetNumber))
            AppendCharacterSet(out, *info, false);
    }
    return out;
}

std::vector<std::u16string> ColumnDefaultClauses(const CTableDef& table, const CAppState& app) {
    std::vector<std::u16string> clauses(table.columns.size());
    if (table.defaultRecord.empty()) return clauses;
    // The default record renders like a row of a fixed-length MyISAM table.
    CTableDef record;
    record.columns = table.columns;
    record.allEnumValues = table.allEnumValues;
    record.nullBytes = table.nullBytes;
    record.recordLength = table.recordLength;
    CRowWindow values;
    values.Reset(record.columns.size());
    const CMyIsamRowRenderer renderer(record, {}, app, true);
    renderer.AppendRow(record, values, table.defaultRecord, {});
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const CColumnDef& column = table.columns[c];
        std::u16string& clause = clauses[c];
        if ((column.isVirtual || column.isStoredGenerated) && !column.generationExpression.empty())
            continue;
        if (column.uniregType == CColumnDef::kAutoIncrement) continue;
        std::u16string now = u"CURRENT_TIMESTAMP";
        const int digits = TemporalFractionDigits(column);
        if (digits > 0) AppendInParentheses(now, digits);
        const bool defaultNow = column.uniregType == CColumnDef::kTimestampDefault ||
                                column.uniregType == CColumnDef::kTimestampDefaultAndOnUpdate;
        const bool updateNow = column.uniregType == CColumnDef::kTimestampOnUpdate ||
                               column.uniregType == CColumnDef::kTimestampDefaultAndOnUpdate;
        if (!column.defaultExpression.empty()) {
            // An expression the client or the server could read as more
            // than an expression is left out (the column gets no default).
            if (ExpressionTextProblem(column.defaultExpression).empty())
                clause = u" DEFAULT (" + column.defaultExpression + u")";
        } else if (defaultNow) {
            clause = u" DEFAULT " + now;
        } else if (column.noDefault) {
            // No default at all.
        } else if (values.IsNull(0, c)) {
            clause = u" DEFAULT NULL";
        } else if (!IsBlobType(column.type) && column.type != FieldType::kGeometry &&
                   column.type != FieldType::kJson) {
            clause = u" DEFAULT ";
            AppendValueLiteral(clause, column, values.Text(0, c), false);
        }
        if (updateNow) clause += u" ON UPDATE " + now;
    }
    return clauses;
}

std::vector<size_t> ColumnsWithExpressionsLeftOut(const CTableDef& table) {
    std::vector<size_t> leftOut;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const CColumnDef& column = table.columns[c];
        const bool generated = column.isVirtual || column.isStoredGenerated;
        const std::u16string& expression =
            generated ? column.generationExpression : column.defaultExpression;
        if (!expression.empty() && !ExpressionTextProblem(expression).empty()) leftOut.push_back(c);
    }
    return leftOut;
}

std::u16string CreateTableStatement(const CTableDef& table, std::u16string_view name,
                                    const CollationTable& collations,
                                    const std::vector<std::u16string>* defaults) {
    std::u16string out = u"CREATE TABLE ";
    AppendQuotedName(out, name);
    out += u" (";
    bool first = true;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const CColumnDef& column = table.columns[c];
        out += first ? u"\n  " : u",\n  ";
        first = false;
        AppendQuotedName(out, column.name);
        out.push_back(u' ');
        out += SqlColumnType(table, column, collations);
        if (column.type == FieldType::kGeometry && column.srid >= 0) {
            // MariaDB's name for the attribute, which it takes right after the
            // type only; it records the system but, unlike MySQL's SRID, does
            // not hold values to it.
            out += u" REF_SYSTEM_ID=";
            AppendNumber(out, column.srid);
        }
        // A generation expression the client or the server could read as
        // more than an expression makes the column a plain one.
        const bool generated = (column.isVirtual || column.isStoredGenerated) &&
                               ExpressionTextProblem(column.generationExpression).empty();
        if (generated && !column.generationExpression.empty()) {
            out += u" GENERATED ALWAYS AS (";
            out += column.generationExpression;
            out += column.isVirtual ? u") VIRTUAL" : u") STORED";
        } else {
            out += column.nullable ? u" NULL" : u" NOT NULL";
            if (defaults && c < defaults->size()) out += (*defaults)[c];
            if (column.uniregType == CColumnDef::kAutoIncrement) out += u" AUTO_INCREMENT";
        }
        if (column.invisible) out += u" INVISIBLE";
        if (!column.comment.empty()) {
            out += u" COMMENT ";
            AppendStringLiteral(out, column.comment);
        }
        for (const CCheckDef& check : table.checks) {
            if (check.column != static_cast<int32_t>(c) || !IsColumnCheck(check) ||
                !CheckProblem(table, check).empty())
                continue;
            out += u" CHECK (";
            out += check.expression;
            out.push_back(u')');
        }
    }
    for (const CKeyDef& key : table.keys) AppendKey(out, table, key, collations);
    for (const CCheckDef& check : table.checks) {
        if (IsColumnCheck(check) || !CheckProblem(table, check).empty()) continue;
        out += u",\n  ";
        if (!check.name.empty()) {
            out += u"CONSTRAINT ";
            AppendQuotedName(out, check.name);
            out.push_back(u' ');
        }
        out += u"CHECK (";
        out += check.expression;
        out.push_back(u')');
    }
    for (const CForeignKeyDef& key : table.foreignKeys)
        if (ForeignKeyProblem(table, key).empty()) AppendForeignKey(out, key);
    out += u"\n)";
    const std::u16string engine = EngineName(table.engineCode);
    if (!engine.empty()) {
        out += u" ENGINE=";
        out += engine;
    }
    if (table.nextAutoIncrement > 1) {
        out += u" AUTO_INCREMENT=";
        AppendAscii(out, std::to_string(table.nextAutoIncrement));
    }
    if (const CollationInfo* info = FindCollation(collations, table.tableCharset))
        AppendCharacterSet(out, *info, true);
    const std::u16string_view rowFormat = RowFormatName(table.rowType);
    if (!rowFormat.empty()) {
        out += u" ROW_FORMAT=";
        out += rowFormat;
    }
    // InnoDB takes a block size only for compressed pages (a table without a
    // row format gets them from it); a server that checks new tables refuses
    // one beside another row format, which a lenient server only warned of.
    const bool compressedOrDefault = table.rowType == 0 || table.rowType == kRowTypeCompressed;
    if (table.keyBlockSize > 0 &&
        (table.engineCode != EngineCode::kInnoDb || compressedOrDefault)) {
        out += u" KEY_BLOCK_SIZE=";
        AppendNumber(out, table.keyBlockSize);
    }
    for (const CEngineOption& option : table.engineOptions) {
        if (!IsKeptEngineOption(option)) continue;
        out.push_back(u' ');
        AppendAscii(out, option.name);
        out.push_back(u'=');
        if (option.quoted) out.push_back(u'\'');
        AppendAscii(out, option.value);
        if (option.quoted) out.push_back(u'\'');
    }
    if (!table.comment.empty()) {
        out += u" COMMENT=";
        AppendStringLiteral(out, table.comment);
    }
    if (PartitioningKept(table)) {
        std::u16string_view clause = table.partitioning;
        while (!clause.empty() && (clause.front() == u' ' || clause.front() == u'\n'))
            clause.remove_prefix(1);
        out += u"\n";
        out += clause;
    }
    return out;
}

std::vector<std::u16string> DefinitionPartsLeftOut(const CTableDef& table) {
    std::vector<std::u16string> reasons;
    for (const CCheckDef& check : table.checks)
        if (std::u16string problem = CheckProblem(table, check); !problem.empty())
            reasons.push_back(std::move(problem));
    for (const CForeignKeyDef& key : table.foreignKeys)
        if (std::u16string problem = ForeignKeyProblem(table, key); !problem.empty())
            reasons.push_back(std::move(problem));
    return reasons;
}

bool RowsTooLargeForRowFormat(const CTableDef& table) {
    if (table.engineCode != EngineCode::kInnoDb) return false;
    if (table.rowType != kRowTypeCompact && table.rowType != kRowTypeRedundant) return false;
    return LongestInnoRecord(table, false, table.rowType == kRowTypeRedundant) >=
           kLargestInnoRecord;
}

bool RowsTooLargeForDynamic(const CTableDef& table) {
    return table.engineCode == EngineCode::kInnoDb &&
           LongestInnoRecord(table, true, false) >= kLargestInnoRecord;
}

bool PartitioningKept(const CTableDef& table) {
    // The clause is the server's own text; damaged bytes could make it end
    // the statement early or hold a command of the client, so such a clause
    // is left out and the table saved unpartitioned.
    return !table.partitioning.empty() && ExpressionTextProblem(table.partitioning).empty();
}

}  // namespace brix
