// The header of compact records read from bytes: null bitmaps, one- and
// two-byte lengths, off-page fields, fields added in place, and headers or
// data that the page boundary cuts.

#include "innodb/record_header.h"

#include <gtest/gtest.h>

#include <vector>

#include "innodb/btree.h"
#include "innodb/inno_table_reader.h"
#include "innodb/record.h"
#include "schema/table_def.h"

namespace brix {
namespace {

CInnoColumnDef Fixed(uint32_t length, bool nullable = false) {
    CInnoColumnDef f;
    f.mainType = InnoType::kMysql;
    f.preciseType = nullable ? 0 : InnoFlag::kNotNull;
    f.maxLength = length;
    f.fixedLength = length;
    return f;
}

CInnoColumnDef Variable(uint32_t maxLength, bool nullable = false) {
    CInnoColumnDef f;
    f.mainType = InnoType::kVarMysql;
    f.preciseType = nullable ? 0 : InnoFlag::kNotNull;
    f.maxLength = maxLength;
    return f;
}

CInnoColumnDef System(uint32_t length) {
    CInnoColumnDef f = Fixed(length);
    f.mainType = InnoType::kSys;
    return f;
}

// A page of size bytes holding one record at origin: below the five fixed
// bytes the header bytes in the order they are read (the first one right
// below the fixed bytes), then the data from the origin on.
std::vector<uint8_t> RecordPage(size_t size, uint32_t origin, const std::vector<uint8_t>& header,
                                const std::vector<uint8_t>& data, uint8_t status = 0) {
    std::vector<uint8_t> page(size, 0xAA);
    for (uint32_t i = origin - kCompactExtraBytes; i < origin; ++i) page[i] = 0;
    page[origin - 3] = status;
    for (size_t i = 0; i < header.size(); ++i)
        page[origin - kCompactExtraBytes - 1 - i] = header[i];
    for (size_t i = 0; i < data.size() && origin + i < size; ++i) page[origin + i] = data[i];
    return page;
}

struct Expected {
    uint32_t start;  // from the origin
    uint32_t length;
    bool null = false;
    bool external = false;
    bool present = true;
    bool cut = false;
};

struct LocateCase {
    const char* name;
    std::vector<CInnoColumnDef> fields;
    uint32_t coreFields;
    std::vector<uint8_t> header;
    uint8_t status;
    uint32_t span;
    bool ok;
    std::vector<Expected> slots;
};

TEST(RecordHeaderTest, LocatesFieldsFromNullBitsAndLengthBytes) {
    const uint32_t origin = 200;
    const std::vector<LocateCase> cases = {
        {"nulls in the bitmap, bit by bit",
         {Fixed(4), Variable(20, true), Fixed(2, true), Variable(20, true)},
         0,
         {0b010, 3, 0},  // v1 has 3 bytes, f2 is NULL, v3 is empty
         0,
         100,
         true,
         {{0, 4}, {4, 3}, {7, 0, true}, {7, 0}}},
        {"a second bitmap byte for the ninth nullable field",
         {Fixed(1, true), Fixed(1, true), Fixed(1, true), Fixed(1, true), Fixed(1, true),
          Fixed(1, true), Fixed(1, true), Fixed(1, true), Variable(10, true)},
         0,
         {0xFF, 0x00, 2},  // the first eight NULL, the ninth holds 2 bytes
         0,
         100,
         true,
         {{0, 0, true},
          {0, 0, true},
          {0, 0, true},
          {0, 0, true},
          {0, 0, true},
          {0, 0, true},
          {0, 0, true},
          {0, 0, true},
          {0, 2}}},
        {"a short field's length byte keeps its high bit",
         {Variable(255), Fixed(1)},
         0,
         {0xC8},
         0,
         1000,
         true,
         {{0, 200}, {200, 1}}},
        {"a long field takes two length bytes when the first says so",
         {Variable(1000), Variable(1000)},
         0,
         {0x81, 0x2C, 0x7F},
         0,
         1000,
         true,
         {{0, 300}, {300, 127}}},
        {"the 0x40 bit marks an off-page field",
         {Variable(1000), Fixed(4)},
         0,
         {0xC0, 0x30},
         0,
         1000,
         true,
         {{0, 48, false, true}, {48, 4}}},
        {"fields past the record's span are cut",
         {Fixed(4), Variable(20), Fixed(4)},
         0,
         {6},
         0,
         10,
         true,
         {{0, 4}, {4, 6}, {10, 0, false, false, true, true}}},
        {"a record from before an instant change lacks the added fields",
         {Fixed(4), Variable(20, true), Fixed(2, true)},
         2,
         {0, 5},
         0,
         100,
         true,
         {{0, 4}, {4, 5}, {9, 0, false, false, false}}},
        {"a record written after it counts the fields it adds",
         {Fixed(4), Variable(20, true), Fixed(2, true), Fixed(1)},
         2,
         {0, 0b10, 5},  // one added field more than counted; f2 is NULL
         4,
         100,
         true,
         {{0, 4}, {4, 5}, {9, 0, true}, {9, 0, false, false, false}}},
        {"the count of added fields in two bytes",
         {Fixed(4), Fixed(1), Fixed(1), Variable(10)},
         1,
         {0x82, 0x01, 7},  // 1 + (2 | 1 << 7) added: every field; then a length
         4,
         100,
         true,
         {{0, 4}, {4, 1}, {5, 1}, {6, 7}}},
        {"data past the page end",
         {Fixed(4), Variable(1000)},
         0,
         {0xBF, 0xFF},
         0,
         20000,
         false,
         {}},
    };
    for (const LocateCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> page = RecordPage(4096, origin, c.header, {}, c.status);
        std::vector<FieldSlot> slots;
        ASSERT_EQ(LocateCompactFields(page, origin, c.span, c.fields, c.coreFields, slots), c.ok);
        if (!c.ok) continue;
        ASSERT_EQ(slots.size(), c.slots.size());
        for (size_t i = 0; i < slots.size(); ++i) {
            SCOPED_TRACE(i);
            if (c.slots[i].present) {
                EXPECT_EQ(slots[i].start, origin + c.slots[i].start);
            }
            EXPECT_EQ(slots[i].length, c.slots[i].length);
            EXPECT_EQ(slots[i].null, c.slots[i].null);
            EXPECT_EQ(slots[i].external, c.slots[i].external);
            EXPECT_EQ(slots[i].present, c.slots[i].present);
            EXPECT_EQ(slots[i].cut, c.slots[i].cut);
        }
    }
}

// The header reaches below the start of the page, or the origin lies outside
// it: the record is damaged and nothing outside the page is read.
TEST(RecordHeaderTest, AHeaderCutByThePageBoundaryIsDamage) {
    const std::vector<CInnoColumnDef> nullable = {Fixed(1, true), Fixed(1, true), Fixed(1, true),
                                                  Fixed(1, true), Fixed(1, true), Fixed(1, true),
                                                  Fixed(1, true), Fixed(1, true), Fixed(1, true)};
    const std::vector<CInnoColumnDef> twoVariable = {Variable(1000), Variable(10)};
    struct CutCase {
        const char* name;
        const std::vector<CInnoColumnDef>* fields;
        uint32_t origin;
        size_t pageSize;
        bool ok;
    };
    const std::vector<CutCase> cases = {
        {"bitmap fits exactly", &nullable, 7, 64, true},
        {"bitmap one byte short", &nullable, 6, 64, false},
        {"no room for the fixed bytes", &twoVariable, 4, 64, false},
        {"origin at the page end", &twoVariable, 64, 64, false},
        {"origin past the page end", &twoVariable, 100, 64, false},
        {"three length bytes fit", &twoVariable, 8, 64, true},
        {"the second length byte of a long field is missing", &twoVariable, 6, 64, false},
        {"the next field's length byte is missing", &twoVariable, 7, 64, false},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Every header byte says NULL, two bytes, length 1.
        std::vector<uint8_t> page(c.pageSize, 0);
        for (uint32_t i = 0; i + kCompactExtraBytes < c.origin && i < c.pageSize; ++i)
            page[i] = i + 6 == c.origin ? 0x80 : (c.fields == &nullable ? 0xFF : 0x01);
        std::vector<FieldSlot> slots;
        EXPECT_EQ(LocateCompactFields(page, c.origin, 1000, *c.fields, 0, slots), c.ok);
    }
}

TEST(RecordHeaderTest, CursorStepsFailPastTheHeaderAndTheData) {
    std::vector<uint8_t> page(16, 0);
    page[2] = 0x85;  // first length byte read: two bytes
    page[1] = 0x01;
    page[0] = 0x40;  // a short field's length: 64
    CompactHeaderCursor cursor(page, 8);
    ASSERT_TRUE(cursor.valid());
    ASSERT_TRUE(cursor.BeginNullBitmap(0));
    bool isNull;
    EXPECT_FALSE(cursor.NextNull(isNull));  // no nullable fields
    uint32_t length = 0;
    bool external = true;
    ASSERT_TRUE(cursor.NextLength(true, length, external));
    EXPECT_EQ(length, 0x501u);
    EXPECT_FALSE(external);
    ASSERT_TRUE(cursor.NextLength(true, length, external));
    EXPECT_EQ(length, 0x40u);
    EXPECT_FALSE(cursor.NextLength(false, length, external));
    uint32_t start = 0;
    ASSERT_TRUE(cursor.TakeData(8, start));
    EXPECT_EQ(start, 8u);
    EXPECT_FALSE(cursor.TakeData(1, start));
    ASSERT_TRUE(cursor.TakeData(0, start));
    EXPECT_EQ(cursor.dataTaken(), 8u);

    for (const uint32_t origin : {0u, 4u, 17u, 0xFFFFFFFFu}) {
        CompactHeaderCursor bad(page, origin);
        EXPECT_FALSE(bad.valid());
        EXPECT_FALSE(bad.BeginNullBitmap(0));
        EXPECT_FALSE(bad.NextLength(false, length, external));
        EXPECT_FALSE(bad.TakeData(1, start));
        size_t added;
        EXPECT_FALSE(bad.ReadAddedFieldCount(added));
    }
}

// A node pointer's key: the null bitmap of the core fields is skipped, the
// key fields' lengths added up; 0 when the header or key leaves the page.
TEST(RecordHeaderTest, KeyPrefixOfANodePointer) {
    struct KeyCase {
        const char* name;
        std::vector<CInnoColumnDef> fields;
        std::vector<uint8_t> header;
        uint32_t origin;
        uint32_t expected;
    };
    const std::vector<KeyCase> cases = {
        {"fixed key", {Fixed(4), System(6), System(7), Variable(10, true)}, {0}, 100, 4},
        {"row id for a table without a key", {System(6), System(6)}, {}, 100, 6},
        {"variable key parts after the bitmap",
         {Variable(10), Variable(1000), Fixed(3), System(6), System(7), Fixed(2, true)},
         {0, 5, 0x81, 0x00},
         100,
         5 + 256 + 3},
        {"key past the page", {Variable(1000), System(6)}, {0xBF, 0xFF}, 100, 0},
        {"length byte below the page", {Variable(10), System(6), Fixed(1, true)}, {0}, 6, 0},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        CTableDef table;
        CWindowState window;
        CInnoTableReader inno(table, window);
        inno.physicalColumns = c.fields;
        const std::vector<uint8_t> page = RecordPage(1024, c.origin, c.header, {});
        EXPECT_EQ(KeyPrefixLength(inno, page, c.origin), c.expected);
    }
}

// A redundant record: the six header bytes (info bits, the field count and
// the one-byte-offsets flag), then, when version is given, the version byte
// below them, then one end offset a field below that.
std::vector<uint8_t> RedundantRecordPage(uint32_t origin, const std::vector<uint8_t>& ends,
                                         int version) {
    std::vector<uint8_t> page(256, 0xAA);
    const uint32_t bits = (static_cast<uint32_t>(ends.size()) << 1) | 1;
    page[origin - 6] = version >= 0 ? kInfoRowVersion : 0;
    page[origin - 5] = static_cast<uint8_t>(bits >> 16);
    page[origin - 4] = static_cast<uint8_t>(bits >> 8);
    page[origin - 3] = static_cast<uint8_t>(bits);
    uint32_t at = origin - 6;
    if (version >= 0) page[--at] = static_cast<uint8_t>(version);
    for (uint8_t end : ends) page[--at] = end;
    return page;
}

// A redundant record of a table whose rows carry versions holds the fields
// of its version in order, its offsets one byte lower than an unversioned
// record's; fields of later versions, and those past the stored count of a
// record written before any change, are not present.
TEST(RecordHeaderTest, VersionedRedundantRecordsHoldTheFieldsOfTheirVersion) {
    CInnoColumnDef a = Fixed(4);
    CInnoColumnDef b = Fixed(2, true);
    b.versionAdded = 1;
    CInnoColumnDef dropped = Fixed(1);
    dropped.versionDropped = 2;
    CInnoColumnDef c = Fixed(3);
    c.versionAdded = 2;
    const std::vector<CInnoColumnDef> fields{a, dropped, b, c};
    struct Case {
        const char* name;
        std::vector<uint8_t> ends;
        int version;  // -1: none named
        std::vector<bool> present;
        std::vector<uint32_t> starts;
    };
    constexpr uint32_t kOrigin = 100;
    for (const Case& k : {
             Case{"written before any change", {4, 5}, -1, {true, true, false, false}, {0, 4}},
             Case{"version 1", {4, 5, 7}, 1, {true, true, true, false}, {0, 4, 5}},
             Case{"version 2, the dropped field gone",
                  {4, 6, 9},
                  2,
                  {true, false, true, true},
                  {0, 0, 4, 6}},
         }) {
        SCOPED_TRACE(k.name);
        const std::vector<uint8_t> page = RedundantRecordPage(kOrigin, k.ends, k.version);
        std::vector<FieldSlot> slots;
        ASSERT_TRUE(LocateVersionedRedundantFields(page, kOrigin, fields, slots));
        ASSERT_EQ(slots.size(), fields.size());
        for (size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(slots[i].present, k.present[i]) << i;
            if (k.present[i]) {
                EXPECT_EQ(slots[i].start, kOrigin + k.starts[i]) << i;
            }
        }
        uint8_t version = 99;
        std::vector<RedundantField> stored;
        ASSERT_TRUE(ReadRedundantFields(page, kOrigin, stored, &version));
        EXPECT_EQ(version, k.version < 0 ? 0 : k.version);
        EXPECT_EQ(stored.size(), k.ends.size());
    }
    // The version byte and the offsets must fit above the page's start.
    std::vector<uint8_t> page(32, 0);
    page[2] = kInfoRowVersion;
    page[5] = (2 << 1) | 1;  // two fields of one-byte offsets
    std::vector<FieldSlot> slots;
    EXPECT_FALSE(LocateVersionedRedundantFields(page, 8, fields, slots));
}

}  // namespace
}  // namespace brix
