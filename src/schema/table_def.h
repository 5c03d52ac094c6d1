#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "schema/field_types.h"

namespace brix {

class CTextDecoder;

// Whether a numeric column was declared UNSIGNED. Columns that did not come
// from a .frm (or are not numeric) do not know.
enum class Signedness : uint8_t { kUnknown, kSigned, kUnsigned };

// A text that many columns may hold alike, kept once and never changed: the
// member list of an ENUM/SET value list that several columns use. Copies
// share the one text.
class CSharedText {
  public:
    CSharedText() = default;
    CSharedText(std::u16string text)
        : text_(std::make_shared<const std::u16string>(std::move(text))) {}
    CSharedText(const char16_t* text) : CSharedText(std::u16string(text)) {}

    const std::u16string& str() const;
    operator std::u16string_view() const { return str(); }
    bool empty() const { return !text_ || text_->empty(); }
    // Whether both hold the same text object (not merely equal texts).
    bool SharedWith(const CSharedText& other) const { return text_ && text_ == other.text_; }

  private:
    std::shared_ptr<const std::u16string> text_;
};

// One column of the table, as its .frm defines it.
// A type MariaDB defines beyond the field type codes, kept in the .frm as a
// name beside the column's plain field type: each is stored as fixed binary
// bytes and shown as text.
enum class ColumnDataType : uint8_t {
    kPlain,  // what the field type says
    kUuid,   // 16 bytes, MariaDB 10.7+
    kInet6,  // 16 bytes in network order, MariaDB 10.5+
    kInet4,  // 4 bytes in network order, MariaDB 11.3+
};

struct CColumnDef {
    std::u16string name;
    int32_t index = 0;      // 0-based position in the table's columns
    int32_t recordPos = 0;  // first byte in the row image, counted from 1
    int32_t type = 0;       // field type code
    ColumnDataType dataType = ColumnDataType::kPlain;
    int32_t geometryType = 0;
    int32_t length = 0;  // bytes for strings, display width for numbers, bits for BIT
    bool nullable = false;
    bool inPrimaryKey = false;
    bool inUniqueKey = false;
    int32_t precision = 0;
    int32_t decimals = 0;
    int32_t charsetNumber = 0;
    // 'a','b' for ENUM and SET columns; the columns of one value list share it.
    CSharedText enumValues;
    std::u16string comment;

    Signedness signedness = Signedness::kUnknown;
    bool zerofill = false;
    // A BIT column stored in whole bytes, its leftover bits not in the null area.
    bool bitAsChar = false;
    uint16_t packFlags = 0;
    // This column's own ENUM/SET members: enumCount entries of the table's
    // allEnumValues starting at enumFirst.
    int32_t enumFirst = 0;
    int32_t enumCount = 0;
    // Decoder of the column's character set; null when the collation table
    // does not know it (the ANSI code page is used then) or it is binary.
    const CTextDecoder* decoder = nullptr;
    // Where the row image keeps this column's NULL flag and, for BIT columns,
    // the bits beyond whole bytes: bit numbers counted from bit 0 of the
    // image's first byte; -1 for none.
    int32_t nullFlagBit = -1;
    int32_t extraBitsAt = -1;
    // A generated column computed when read: not stored by the engine.
    bool isVirtual = false;
    // A generated column whose values the engine stores.
    bool isStoredGenerated = false;
    // The expression of a generated column, as the .frm keeps it.
    std::u16string generationExpression;
    // How the server fills the column by itself (the .frm's unireg type):
    // kAutoIncrement for an AUTO_INCREMENT column; the kTimestamp... values
    // for DEFAULT and ON UPDATE CURRENT_TIMESTAMP.
    uint8_t uniregType = 0;
    static constexpr uint8_t kAutoIncrement = 15;
    static constexpr uint8_t kTimestampDefault = 21;
    static constexpr uint8_t kTimestampOnUpdate = 22;
    static constexpr uint8_t kTimestampDefaultAndOnUpdate = 23;
    // The column has no default value (NOT NULL without DEFAULT).
    bool noDefault = false;
    // A DEFAULT given as an expression, as the .frm keeps it; the default of
    // other columns is their value in the table's default record.
    std::u16string defaultExpression;
    // The default a MySQL 8.0+ dictionary gives as text (its definitions have
    // no default record): hasDictionaryDefault when it gives a value or NULL
    // (dictionaryDefaultNull) rather than an expression or none.
    bool hasDictionaryDefault = false;
    bool dictionaryDefaultNull = false;
    std::u16string dictionaryDefault;
    // INVISIBLE: left out of SELECT * (MySQL 8.0.23 and later).
    bool invisible = false;
    // The spatial reference system a spatial column is restricted to (MySQL
    // 8.0's SRID attribute); -1 for none.
    int64_t srid = -1;
};

// One part of a key.
struct CKeyPartDef {
    int32_t offset = 0;  // start of the part in the row image, from 0
    uint16_t length = 0;
    uint16_t storeLength = 0;
    uint16_t keyType = 0;
    uint16_t fieldNumber = 0;  // 1-based column number; 0 = none
    uint16_t flags = 0;        // kDescending

    static constexpr uint16_t kDescending = 1 << 7;
};

// One key (index) of the table.
struct CKeyDef {
    static constexpr int32_t kUnique = 1 << 0;
    static constexpr int32_t kFulltext = 1 << 7;
    static constexpr int32_t kSpatial = 1 << 10;
    static constexpr int32_t kHasComment = 1 << 12;
    static constexpr int32_t kHasParser = 1 << 14;
    // Some of its parts index an expression (MySQL 8.0's functional key
    // parts), which its parts do not list. Above the flags a .frm stores.
    static constexpr int32_t kExpressionParts = 1 << 20;

    int32_t keyLength = 0;
    int32_t flags = 0;  // bit 0 unique, bit 12 has a comment, bit 14 has a parser
    int32_t partCount = 0;
    int32_t blockSize = 0;
    int32_t algorithm = 0;  // kAlgorithm...: the USING clause given, if any
    static constexpr int32_t kAlgorithmBtree = 1;
    static constexpr int32_t kAlgorithmHash = 3;
    static constexpr int32_t kAlgorithmLongHash = 5;
    std::vector<CKeyPartDef> parts;
    std::u16string name;
    std::u16string comment;
};

// What a foreign key does to the referencing rows when the referenced row is
// deleted or its key changed.
enum class ForeignKeyAction : uint8_t { kRestrict, kCascade, kSetNull, kNoAction };

// A foreign key of the table: its columns, and the table and columns it
// references. InnoDB keeps these in its own dictionary, not in the .frm.
struct CForeignKeyDef {
    std::u16string name;
    std::vector<std::u16string> columns;
    // The referenced table's database; empty when it is the table's own.
    std::u16string referencedDatabase;
    std::u16string referencedTable;
    std::vector<std::u16string> referencedColumns;
    ForeignKeyAction onDelete = ForeignKeyAction::kRestrict;
    ForeignKeyAction onUpdate = ForeignKeyAction::kRestrict;
};

// A CHECK constraint: on one column (column >= 0, the 0-based column it
// belongs to, whose name it carries) or on the table (column -1, named by
// its own name), with the expression's text as the definition keeps it.
struct CCheckDef {
    std::u16string name;
    std::u16string expression;
    int32_t column = -1;
};

// Storage-engine codes of the .frm header.
namespace EngineCode {
inline constexpr uint8_t kMemory = 6;
inline constexpr uint8_t kMyIsam = 9;
inline constexpr uint8_t kInnoDb = 12;
inline constexpr uint8_t kCsv = 17;
}  // namespace EngineCode

// The definition of a table: its schema from the .frm (or a dictionary),
// and nothing of how a storage engine reads its rows: each engine's reader
// keeps that of its own. Reset empties it for another table.
// A table option that the storage engine defines, as the .frm keeps it:
// bytes of the name and the value as written, and whether the value was
// quoted.
struct CEngineOption {
    std::string name;
    std::string value;
    bool quoted = false;
};

class CTableDef {
  public:
    // Empties the schema lists before another table is read.
    void Reset();

    std::vector<std::u16string> allEnumValues;
    std::vector<CColumnDef> columns;
    std::vector<CKeyDef> keys;
    int32_t tableCharset = 0;
    int32_t recordLength = 0;
    int32_t nullBytes = 0;
    uint8_t engineCode = 0;
    // What else the .frm header says.
    uint8_t frmVersion = 0;
    uint16_t createOptions = 0;
    // The ROW_FORMAT the table was created with: 0 default, 1 FIXED, 2 DYNAMIC,
    // 3 COMPRESSED, 4 REDUNDANT, 5 COMPACT, 6 PAGE.
    uint8_t rowType = 0;
    // KEY_BLOCK_SIZE in KiB (the page size of ROW_FORMAT=COMPRESSED); 0 when
    // not given.
    uint16_t keyBlockSize = 0;
    // Options the engine defines (MariaDB's PAGE_COMPRESSED ...).
    std::vector<CEngineOption> engineOptions;
    std::u16string comment;
    // The partitioning clause the .frm keeps ("PARTITION BY ..." with the
    // partition list), as the server wrote it; empty for a table that is not
    // partitioned or whose definition came from elsewhere.
    std::u16string partitioning;
    // Foreign keys and CHECK constraints, in the order the definition keeps
    // them (foreign keys only where the definition itself holds them).
    std::vector<CForeignKeyDef> foreignKeys;
    std::vector<CCheckDef> checks;
    // The next AUTO_INCREMENT value, 0 when not known.
    uint64_t nextAutoIncrement = 0;
    // The default record: a row image holding every column's default value.
    std::vector<uint8_t> defaultRecord;
    uint32_t serverVersion = 0;
    // The null flags come first in the row image (all but the oldest layouts).
    bool nullsFirst = true;

    // Fixed-length MyISAM rows and records without packing keep the first bit
    // of the row image as a delete mark: set for a live row.
    bool ReservesDeleteMark() const { return nullsFirst && !(createOptions & 1); }
};

}  // namespace brix
