#include "sdi/sdi_table.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>

#include "app/app_state.h"
#include "app/byte_reader.h"
#include "app/text.h"
#include "schema/field_types.h"
#include "values/value_render.h"

namespace brix {

namespace {

using Json = nlohmann::json;

// Column kinds of the dictionary's "hidden" field.
constexpr int64_t kHiddenVisible = 1;
constexpr int64_t kHiddenUser = 4;
constexpr int64_t kHiddenSystem = 2;  // the storage engine's own columns  // INVISIBLE: a user
                                      // column the server hides from SELECT *
// Index types and element orders of the dictionary.
constexpr int64_t kIndexPrimary = 1;
constexpr int64_t kIndexUnique = 2;
constexpr int64_t kIndexFulltext = 4;
constexpr int64_t kIndexSpatial = 5;
constexpr int64_t kOrderDescending = 3;
constexpr int64_t kAlgorithmBtree = 2;
constexpr int64_t kAlgorithmHash = 4;
// An element length that stands for the whole column.
constexpr int64_t kWholeColumn = 4294967295;

int64_t Int(const Json& object, const char* key, int64_t otherwise = 0) {
    const auto it = object.find(key);
    if (it == object.end()) return otherwise;
    if (it->is_number_integer()) return it->get<int64_t>();
    if (it->is_number_unsigned()) {
        const uint64_t v = it->get<uint64_t>();
        return v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                   ? std::numeric_limits<int64_t>::max()
                   : static_cast<int64_t>(v);
    }
    if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
    return otherwise;
}

bool Bool(const Json& object, const char* key) {
    return Int(object, key) != 0;
}

std::string_view String(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return {};
    return it->get_ref<const std::string&>();
}

const Json* Array(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_array() ? &*it : nullptr;
}

int32_t ClampToInt32(int64_t v) {
    if (v < 0) return 0;
    return v > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                   : static_cast<int32_t>(v);
}

// The bytes of a base64 text; characters outside the alphabet are skipped.
std::vector<uint8_t> FromBase64(std::string_view text) {
    std::vector<uint8_t> bytes;
    uint32_t bits = 0;
    int held = 0;
    for (char c : text) {
        int v = -1;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        if (c >= '0' && c <= '9') v = c - '0' + 52;
        if (c == '+') v = 62;
        if (c == '/') v = 63;
        if (v < 0) continue;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<uint8_t>(bits >> held));
        }
    }
    return bytes;
}

// The .frm's geometry subtype of a spatial column, from its type text.
int32_t GeometryTypeOf(std::string_view typeText) {
    static constexpr std::pair<std::string_view, int32_t> kNames[] = {
        {"point", 1},          {"linestring", 2},        {"polygon", 3},
        {"multipoint", 4},     {"multilinestring", 5},   {"multipolygon", 6},
        {"geomcollection", 7}, {"geometrycollection", 7}};
    for (const auto& [name, code] : kNames)
        if (typeText == name) return code;
    return 0;
}

// An expression as the dictionary's UTF-8 copies keep it (generated columns,
// DEFAULT expressions, CHECK constraints): escaped as the text of a string
// literal would be, every quote and backslash behind a backslash. Undone, it
// is the expression as SHOW CREATE TABLE gives it.
std::string DictionaryExpression(std::string_view escaped) {
    std::string text;
    text.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\' || i + 1 == escaped.size()) {
            text.push_back(escaped[i]);
            continue;
        }
        const char next = escaped[++i];
        switch (next) {
            case 'n':
                text.push_back('\n');
                break;
            case 'r':
                text.push_back('\r');
                break;
            case 't':
                text.push_back('\t');
                break;
            case '0':
                text.push_back('\0');
                break;
            case 'Z':
                text.push_back('\x1A');
                break;
            default:
                text.push_back(next);
        }
    }
    return text;
}

bool IsCurrentTimestamp(std::string_view option) {
    return option.starts_with("CURRENT_TIMESTAMP");
}

void ReadColumn(const Json& source, const CAppState& app, CTableDef& table, CColumnDef& column) {
    column.name = Utf8ToUtf16(String(source, "name"));
    column.type = FieldTypeOfDictionaryType(Int(source, "type"));
    column.length = ClampToInt32(Int(source, "char_length"));
    column.nullable = Bool(source, "is_nullable");
    column.charsetNumber = ClampToInt32(Int(source, "collation_id"));
    column.decoder = app.decoders().ForCollation(static_cast<uint32_t>(column.charsetNumber));
    column.comment = Utf8ToUtf16(String(source, "comment"));
    const int type = column.type;
    if (IsNumericType(type)) {
        column.signedness =
            Bool(source, "is_unsigned") ? Signedness::kUnsigned : Signedness::kSigned;
        column.zerofill = Bool(source, "is_zerofill");
    }
    if (type == FieldType::kDecimal || type == FieldType::kNewDecimal) {
        column.precision = ClampToInt32(Int(source, "numeric_precision"));
        column.decimals = ClampToInt32(Int(source, "numeric_scale"));
        // A column dropped in place keeps no precision, only its display
        // length: the digits, a point when there are decimals, and a sign
        // unless it is unsigned.
        if (column.precision == 0 && column.length > 0) {
            const int32_t point = column.decimals > 0 ? 1 : 0;
            const int32_t sign = column.signedness == Signedness::kUnsigned ? 0 : 1;
            column.precision = std::max(column.length - point - sign, 1);
        }
    } else if ((type == FieldType::kFloat || type == FieldType::kDouble) &&
               !Bool(source, "numeric_scale_null")) {
        column.precision = column.length;
        column.decimals = ClampToInt32(Int(source, "numeric_scale"));
    } else if (type == FieldType::kGeometry) {
        column.geometryType = GeometryTypeOf(String(source, "column_type_utf8"));
        if (source.contains("srs_id") && !Bool(source, "srs_id_null"))
            column.srid = std::clamp<int64_t>(Int(source, "srs_id"), 0, 0xFFFFFFFF);
    }
    if (type == FieldType::kEnum || type == FieldType::kSet) {
        // Each column keeps its own members, decoded by its character set.
        const CTextDecoder& decoder = column.decoder ? *column.decoder : app.decoders().Utf8();
        std::u16string typeText;
        column.enumFirst = static_cast<int32_t>(table.allEnumValues.size());
        if (const Json* elements = Array(source, "elements")) {
            for (const Json& element : *elements) {
                if (!element.is_object()) continue;
                const std::vector<uint8_t> bytes = FromBase64(String(element, "name"));
                std::u16string text;
                decoder.Append(ByteSpan(bytes.data(), bytes.size()), text, false);
                if (!typeText.empty()) typeText += u',';
                typeText += u'\'';
                typeText += text;
                typeText += u'\'';
                table.allEnumValues.push_back(std::move(text));
            }
        }
        column.enumCount = static_cast<int32_t>(table.allEnumValues.size()) - column.enumFirst;
        column.enumValues = CSharedText(std::move(typeText));
    }
    column.isVirtual = Bool(source, "is_virtual");
    column.generationExpression =
        Utf8ToUtf16(DictionaryExpression(String(source, "generation_expression_utf8")));
    column.isStoredGenerated = !column.isVirtual && !column.generationExpression.empty();
    column.noDefault = Bool(source, "has_no_default");
    const std::string_view defaultOption = String(source, "default_option");
    const bool defaultNow = IsCurrentTimestamp(defaultOption);
    const bool updateNow = IsCurrentTimestamp(String(source, "update_option"));
    if (Bool(source, "is_auto_increment"))
        column.uniregType = CColumnDef::kAutoIncrement;
    else if (defaultNow && updateNow)
        column.uniregType = CColumnDef::kTimestampDefaultAndOnUpdate;
    else if (defaultNow)
        column.uniregType = CColumnDef::kTimestampDefault;
    else if (updateNow)
        column.uniregType = CColumnDef::kTimestampOnUpdate;
    // A plain default as text, NULL included.
    if (!column.noDefault && defaultOption.empty() &&
        column.uniregType != CColumnDef::kAutoIncrement) {
        column.hasDictionaryDefault = true;
        column.dictionaryDefaultNull = Bool(source, "default_value_utf8_null");
        column.dictionaryDefault = Utf8ToUtf16(String(source, "default_value_utf8"));
    }
    // A DEFAULT given as an expression keeps its text, without the
    // parentheses the dictionary writes around it.
    if (!defaultOption.empty() && !defaultNow) {
        std::string_view expression = defaultOption;
        if (expression.size() >= 2 && expression.front() == '(' && expression.back() == ')')
            expression = expression.substr(1, expression.size() - 2);
        column.defaultExpression = Utf8ToUtf16(expression);
    }
}

void ReadKey(const Json& source, const std::vector<int32_t>& columnOfDictionary, CTableDef& table) {
    CKeyDef key;
    const int64_t type = Int(source, "type");
    key.name = Utf8ToUtf16(String(source, "name"));
    if (type == kIndexPrimary || type == kIndexUnique) key.flags |= CKeyDef::kUnique;
    if (type == kIndexFulltext) key.flags |= CKeyDef::kFulltext;
    if (type == kIndexSpatial) key.flags |= CKeyDef::kSpatial;
    key.comment = Utf8ToUtf16(String(source, "comment"));
    if (!key.comment.empty()) key.flags |= CKeyDef::kHasComment;
    if (Bool(source, "is_algorithm_explicit")) {
        const int64_t algorithm = Int(source, "algorithm");
        if (algorithm == kAlgorithmBtree) key.algorithm = CKeyDef::kAlgorithmBtree;
        if (algorithm == kAlgorithmHash) key.algorithm = CKeyDef::kAlgorithmHash;
    }
    if (const Json* elements = Array(source, "elements")) {
        for (const Json& element : *elements) {
            if (!element.is_object() || Bool(element, "hidden")) continue;
            const int64_t opx = Int(element, "column_opx", -1);
            if (opx < 0 || static_cast<uint64_t>(opx) >= columnOfDictionary.size()) continue;
            const int32_t ours = columnOfDictionary[static_cast<size_t>(opx)];
            if (ours < 0) {
                // A visible part on a column the definition does not hold: the
                // hidden column of an expression (a functional key part).
                key.flags |= CKeyDef::kExpressionParts;
                continue;
            }
            const CColumnDef& column = table.columns[static_cast<size_t>(ours)];
            CKeyPartDef part;
            part.fieldNumber = static_cast<uint16_t>(ours + 1);
            const int64_t length = Int(element, "length", kWholeColumn);
            part.length = static_cast<uint16_t>(
                std::min<int64_t>(length == kWholeColumn ? column.length : length, 0xFFFF));
            part.storeLength = part.length;
            if (Int(element, "order") == kOrderDescending) part.flags |= CKeyPartDef::kDescending;
            key.parts.push_back(part);
        }
    }
    key.partCount = static_cast<int32_t>(key.parts.size());
    const bool primary = type == kIndexPrimary;
    for (const CKeyPartDef& part : key.parts) {
        CColumnDef& column = table.columns[part.fieldNumber - 1u];
        (primary ? column.inPrimaryKey : column.inUniqueKey) |= (key.flags & CKeyDef::kUnique) != 0;
    }
    table.keys.push_back(std::move(key));
}

// Whether a dictionary option string "a=1;b=;" names key, even with an
// empty value.
bool HasOption(std::string_view options, std::string_view key) {
    size_t at = 0;
    while (at < options.size()) {
        size_t end = options.find(';', at);
        if (end == std::string_view::npos) end = options.size();
        const std::string_view item = options.substr(at, end - at);
        if (item.size() > key.size() && item.starts_with(key) && item[key.size()] == '=')
            return true;
        at = end + 1;
    }
    return false;
}

// The bytes of a hex option value; false when it is not hex.
bool HexOption(std::string_view text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (text.size() % 2 != 0) return false;
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

// A version number of a column option; false when it is not one.
bool VersionOption(std::string_view text, uint8_t& version) {
    const uint64_t value = DecimalOption(text);
    if (text.empty() || (value == 0 && text != "0") || value > 255) return false;
    version = static_cast<uint8_t>(value);
    return true;
}

// The column's place in records of a table whose rows carry versions, from
// its se_private_data; false when the dictionary gives no usable place.
bool ReadVersionedColumn(std::string_view privateData, CVersionedColumn& column) {
    const std::string_view position = OptionValue(privateData, "physical_pos");
    const uint64_t place = DecimalOption(position);
    if (position.empty() || (place == 0 && position != "0") || place > 4096) return false;
    column.physicalPosition = static_cast<uint32_t>(place);
    const std::string_view added = OptionValue(privateData, "version_added");
    const std::string_view dropped = OptionValue(privateData, "version_dropped");
    if (!added.empty() && !VersionOption(added, column.versionAdded)) return false;
    if (!dropped.empty() && !VersionOption(dropped, column.versionDropped)) return false;
    const std::string_view defaultBytes = OptionValue(privateData, "default");
    column.defaultNull = OptionValue(privateData, "default_null") == "1";
    column.hasDefault = column.defaultNull || !defaultBytes.empty();
    if (!defaultBytes.empty() && !HexOption(defaultBytes, column.defaultBytes)) return false;
    return true;
}

// The bytes a column takes in a MyISAM record image: a VARCHAR its length
// bytes and its longest value, a BLOB-like column its length and a pointer,
// a BIT column its whole bytes (the rest of its bits are among the null
// flags).
int32_t MyisamFieldWidth(const CColumnDef& c) {
    constexpr int32_t kPointerBytes = 8;
    if (c.type == FieldType::kVarchar) return std::max(c.length, 0) + (c.length > 255 ? 2 : 1);
    if (IsBlobType(c.type) || c.type == FieldType::kGeometry || c.type == FieldType::kJson)
        return static_cast<int32_t>(StoredValueWidth(c)) + kPointerBytes;
    if (c.type == FieldType::kBit && !c.bitAsChar) return std::clamp(c.length, 0, 64) / 8;
    return static_cast<int32_t>(std::min<size_t>(StoredValueWidth(c), 0xFFFF));
}

bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    const auto lower = [](char16_t c) {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// The storage engine code the .frm would carry for an engine name.
uint8_t EngineCodeOfName(std::u16string_view engine) {
    static constexpr std::pair<std::u16string_view, uint8_t> kEngines[] = {
        {u"MyISAM", EngineCode::kMyIsam},
        {u"InnoDB", EngineCode::kInnoDb},
        {u"MEMORY", 6},
        {u"MRG_MYISAM", 10},
        {u"ARCHIVE", 16},
        {u"CSV", 17},
        {u"BLACKHOLE", 19}};
    for (const auto& [name, code] : kEngines)
        if (SameIgnoringAsciiCase(engine, name)) return code;
    return 0;
}

}  // namespace

void LayOutMyisamRecord(CTableDef& table, bool packRecord) {
    if (packRecord)
        table.createOptions |= 1;
    else
        table.createOptions &= static_cast<uint16_t>(~1u);
    table.nullsFirst = true;
    // Fixed-length records keep bit 0 as the delete mark; then a bit per
    // nullable column, and a BIT column's leftover bits right after its own.
    int32_t nullBits = packRecord ? 0 : 1;
    for (CColumnDef& c : table.columns) {
        c.nullFlagBit = c.nullable ? nullBits++ : -1;
        c.extraBitsAt = -1;
        if (c.type == FieldType::kBit && !c.bitAsChar && (c.length & 7) != 0) {
            c.extraBitsAt = nullBits;
            nullBits += c.length & 7;
        }
    }
    table.nullBytes = (nullBits + 7) / 8;
    // The fields follow the null flags in the order of the columns.
    int64_t at = table.nullBytes;
    for (CColumnDef& c : table.columns) {
        c.recordPos = static_cast<int32_t>(std::min<int64_t>(at + 1, 0x7FFFFFFF));
        at += MyisamFieldWidth(c);
    }
    table.recordLength = static_cast<int32_t>(std::min<int64_t>(at, 0x7FFFFFFF));
}

std::string_view OptionValue(std::string_view options, std::string_view key) {
    size_t at = 0;
    while (at < options.size()) {
        size_t end = options.find(';', at);
        if (end == std::string_view::npos) end = options.size();
        const std::string_view item = options.substr(at, end - at);
        if (item.size() > key.size() && item.substr(0, key.size()) == key &&
            item[key.size()] == '=')
            return item.substr(key.size() + 1);
        at = end + 1;
    }
    return {};
}

uint64_t DecimalOption(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value >= std::numeric_limits<uint64_t>::max() / 10) return 0;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

namespace {

// Referential actions as the dictionary numbers them: 1 NO ACTION,
// 2 RESTRICT, 3 CASCADE, 4 SET NULL (5, SET DEFAULT, InnoDB refuses).
ForeignKeyAction ActionOfRule(int64_t rule) {
    switch (rule) {
        case 1:
            return ForeignKeyAction::kNoAction;
        case 3:
            return ForeignKeyAction::kCascade;
        case 4:
            return ForeignKeyAction::kSetNull;
        default:
            return ForeignKeyAction::kRestrict;
    }
}

// The foreign keys, CHECK constraints and AUTO_INCREMENT counter that the
// dictionary information keeps beside the columns. A key column is named by
// its place in the dictionary's column list; one whose place is not in it
// is taken as an empty name, which the save refuses.
void ReadConstraints(const Json& dd, const Json& columns, CTableDef& table) {
    if (const Json* keys = Array(dd, "foreign_keys")) {
        for (const Json& source : *keys) {
            if (!source.is_object()) continue;
            CForeignKeyDef key;
            key.name = Utf8ToUtf16(String(source, "name"));
            // A key into the table's own database names none.
            const std::string_view database = String(source, "referenced_table_schema_name");
            if (database != String(dd, "schema_ref"))
                key.referencedDatabase = Utf8ToUtf16(database);
            key.referencedTable = Utf8ToUtf16(String(source, "referenced_table_name"));
            key.onDelete = ActionOfRule(Int(source, "delete_rule"));
            key.onUpdate = ActionOfRule(Int(source, "update_rule"));
            if (const Json* elements = Array(source, "elements")) {
                for (const Json& element : *elements) {
                    if (!element.is_object()) continue;
                    const int64_t at = Int(element, "column_opx", -1);
                    const bool known = at >= 0 && static_cast<uint64_t>(at) < columns.size() &&
                                       columns[static_cast<size_t>(at)].is_object();
                    key.columns.push_back(
                        known ? Utf8ToUtf16(String(columns[static_cast<size_t>(at)], "name"))
                              : std::u16string());
                    key.referencedColumns.push_back(
                        Utf8ToUtf16(String(element, "referenced_column_name")));
                }
            }
            table.foreignKeys.push_back(std::move(key));
        }
    }
    if (const Json* checks = Array(dd, "check_constraints")) {
        for (const Json& source : *checks) {
            if (!source.is_object()) continue;
            CCheckDef check;
            check.name = Utf8ToUtf16(String(source, "name"));
            check.expression =
                Utf8ToUtf16(DictionaryExpression(String(source, "check_clause_utf8")));
            if (!check.expression.empty()) table.checks.push_back(std::move(check));
        }
    }
    // The counter's last value given, as the server keeps it at its last
    // change of the table's definition; the rows saved raise it further.
    const uint64_t last = DecimalOption(OptionValue(String(dd, "se_private_data"), "autoinc"));
    if (last > 0 && last < std::numeric_limits<uint64_t>::max()) table.nextAutoIncrement = last + 1;
}

}  // namespace

int FieldTypeOfDictionaryType(int64_t dictionaryType) {
    if (dictionaryType >= 1 && dictionaryType <= 20) return static_cast<int>(dictionaryType - 1);
    if (dictionaryType >= 21 && dictionaryType <= 30)
        return FieldType::kNewDecimal + static_cast<int>(dictionaryType - 21);
    if (dictionaryType == 31) return FieldType::kJson;
    return -1;
}

bool TableDefFromSdi(std::string_view json, const CAppState& app, CTableDef& table,
                     SdiTableInfo& info, std::string& problem) {
    table.Reset();
    info = SdiTableInfo{};
    const Json document = Json::parse(json.begin(), json.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        problem = "the dictionary information is not valid JSON";
        return false;
    }
    if (String(document, "dd_object_type") != "Table") {
        problem = "the dictionary information does not describe a table";
        return false;
    }
    const auto object = document.find("dd_object");
    const Json* columns =
        object != document.end() && object->is_object() ? Array(*object, "columns") : nullptr;
    if (!columns) {
        problem = "the dictionary information of the table has no columns";
        return false;
    }
    const Json& dd = *object;
    info.name = Utf8ToUtf16(String(dd, "name"));
    info.schema = Utf8ToUtf16(String(dd, "schema_ref"));
    info.engine = Utf8ToUtf16(String(dd, "engine"));
    constexpr int64_t kTableVisible = 1;
    info.hidden = Int(dd, "hidden", kTableVisible) != kTableVisible;
    info.rowFormat = static_cast<uint8_t>(std::clamp<int64_t>(Int(dd, "row_format"), 0, 255));
    info.serverVersion = static_cast<uint32_t>(
        std::clamp<int64_t>(Int(document, "mysqld_version_id"), 0, 0xFFFFFFFF));

    std::vector<int32_t> columnOfDictionary(columns->size(), -1);
    // Columns added in place before 8.0.29 leave records without a version:
    // they are read when the added columns and their defaults are as that
    // server left them (below), else not at all.
    const std::string_view instantColumns =
        OptionValue(String(dd, "se_private_data"), "instant_col");
    info.changedInPlace = !instantColumns.empty();
    size_t storedColumns = 0;
    bool addedKnown = true;
    bool versioned = false;
    bool placesKnown = true;
    for (size_t i = 0; i < columns->size(); ++i) {
        const Json& source = (*columns)[i];
        if (!source.is_object()) continue;
        const std::string_view privateData = String(source, "se_private_data");
        if (!OptionValue(privateData, "version_added").empty() ||
            !OptionValue(privateData, "version_dropped").empty())
            versioned = true;
        const int64_t hidden = Int(source, "hidden");
        const std::string_view name = String(source, "name");
        CVersionedColumn place;
        const bool stored = !Bool(source, "is_virtual");
        if (stored && !ReadVersionedColumn(privateData, place)) placesKnown = false;
        if (hidden != kHiddenVisible && hidden != kHiddenUser) {
            if (hidden != kHiddenSystem || !stored) continue;
            // The storage engine's own columns: the system columns, and the
            // columns dropped in place, whose bytes older records still hold.
            place.system = name == "DB_ROW_ID" || name == "DB_TRX_ID" || name == "DB_ROLL_PTR";
            place.dropped = !place.system && place.versionDropped != 0;
            if (!place.system && !place.dropped) continue;
            if (place.dropped) ReadColumn(source, app, table, place.droppedDefinition);
            info.rowVersions.push_back(std::move(place));
            continue;
        }
        CColumnDef column;
        column.index = static_cast<int32_t>(table.columns.size());
        ReadColumn(source, app, table, column);
        column.invisible = hidden == kHiddenUser;
        columnOfDictionary[i] = column.index;
        info.dictionaryColumn.push_back(i);
        if (stored) {
            place.tableColumn = column.index;
            // A column added before 8.0.29 has its default and nothing else.
            if (!instantColumns.empty() && ++storedColumns > DecimalOption(instantColumns)) {
                CVersionedColumn added;
                added.tableColumn = column.index;
                added.defaultNull = OptionValue(privateData, "default_null") == "1";
                const std::string_view bytes = OptionValue(privateData, "default");
                added.hasDefault = added.defaultNull || (HasOption(privateData, "default") &&
                                                         HexOption(bytes, added.defaultBytes));
                addedKnown = addedKnown && added.hasDefault;
                info.instantColumns.added.push_back(std::move(added));
            }
            info.rowVersions.push_back(std::move(place));
        }
        table.columns.push_back(std::move(column));
    }
    // Rows without versions need none of this; a versioned table whose
    // places are not all known cannot be laid out, and is not read.
    if (!versioned) info.rowVersions.clear();
    const uint64_t columnsBefore = DecimalOption(instantColumns);
    if (!versioned && !instantColumns.empty() && addedKnown && columnsBefore > 0 &&
        columnsBefore < storedColumns) {
        info.instantColumns.columnsBefore = static_cast<uint32_t>(columnsBefore);
        info.changedInPlace = false;
    } else {
        info.instantColumns = {};
    }
    if (versioned && !placesKnown) {
        info.rowVersions.clear();
        info.changedInPlace = true;
    } else if (versioned && !instantColumns.empty() && columnsBefore > 0 && columnsBefore <= 4096) {
        // Columns added before 8.0.29 and changed again since: the count is
        // kept for the records written before, and each column added then
        // keeps its default (without a version, as of the first layout).
        info.instantColumns.columnsBefore = static_cast<uint32_t>(columnsBefore);
        info.changedInPlace = false;
    }
    if (const Json* indexes = Array(dd, "indexes")) {
        for (const Json& index : *indexes)
            if (index.is_object() && !Bool(index, "hidden"))
                ReadKey(index, columnOfDictionary, table);
        if (!indexes->empty() && indexes->front().is_object()) {
            const std::string_view privateData = String(indexes->front(), "se_private_data");
            const uint64_t page = DecimalOption(OptionValue(privateData, "root"));
            if (page <= 0xFFFFFFFFu) info.clusteredRoot = static_cast<uint32_t>(page);
            info.clusteredIndexId = DecimalOption(OptionValue(privateData, "id"));
        }
    }

    ReadConstraints(dd, *columns, table);
    table.tableCharset = ClampToInt32(Int(dd, "collation_id"));
    table.engineCode = EngineCodeOfName(info.engine);
    table.comment = Utf8ToUtf16(String(dd, "comment"));
    const std::string_view rowType = OptionValue(String(dd, "options"), "row_type");
    if (rowType.size() == 1 && rowType[0] >= '0' && rowType[0] <= '6')
        table.rowType = static_cast<uint8_t>(rowType[0] - '0');
    table.serverVersion = info.serverVersion;
    table.nullsFirst = true;
    if (table.engineCode == EngineCode::kMyIsam)
        LayOutMyisamRecord(table, OptionValue(String(dd, "options"), "pack_record") == "1");
    return true;
}

}  // namespace brix
