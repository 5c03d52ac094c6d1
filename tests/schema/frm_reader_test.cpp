#include "schema/frm_reader.h"

#include <gtest/gtest.h>

#include "support/frm_builder.h"
#include "support/test_support.h"

namespace brix {
namespace {

using test::FrmBuilder;

constexpr uint16_t kNullable = 0x8000;
constexpr uint16_t kSigned = 0x0001;

class FrmReaderTest : public ::testing::Test {
  protected:
    // Writes the image to a file and reads it into a fresh table.
    bool Read(const std::vector<uint8_t>& image) {
        test::WriteFile(file(), image);
        table = CTableDef();
        return ReadTableDefinition(table, file(), test::TestApp());
    }
    std::filesystem::path file() const { return dir.path() / "t.frm"; }

    test::TempDir dir;
    CTableDef table;
};

FrmBuilder::Column Int(std::string name, uint16_t flags = kSigned) {
    return {.name = std::move(name), .type = 3, .length = 11, .packFlags = flags, .storedBytes = 4};
}

TEST_F(FrmReaderTest, ReadsColumnsKeysAndHeaderOfATable) {
    FrmBuilder b;
    b.engine = 12;
    b.tableCharset = 45;
    b.columns = {Int("id", 0),
                 Int("qty", kSigned | kNullable),
                 {.name = "note",
                  .type = 15,
                  .length = 80,
                  .packFlags = kNullable,
                  .charset = 45,
                  .comment = "Größe in cm",
                  .storedBytes = 81}};
    b.keys = {{.name = "PRIMARY", .unique = true, .fieldNumbers = {1}},
              {.name = "uq", .unique = true, .fieldNumbers = {2}, .comment = "key note"}};
    ASSERT_TRUE(Read(b.Build()));

    EXPECT_EQ(table.engineCode, 12);
    EXPECT_EQ(table.tableCharset, 45);
    ASSERT_EQ(table.columns.size(), 3u);
    EXPECT_EQ(test::U8(table.columns[0].name), "id");
    EXPECT_EQ(table.columns[2].index, 2);
    EXPECT_EQ(table.columns[0].signedness, Signedness::kUnsigned);
    EXPECT_EQ(table.columns[1].signedness, Signedness::kSigned);
    EXPECT_FALSE(table.columns[0].nullable);
    EXPECT_TRUE(table.columns[1].nullable);
    EXPECT_TRUE(table.columns[0].inPrimaryKey);
    EXPECT_TRUE(table.columns[1].inUniqueKey);
    EXPECT_FALSE(table.columns[2].inPrimaryKey || table.columns[2].inUniqueKey);
    EXPECT_EQ(table.columns[2].charsetNumber, 45);
    EXPECT_EQ(test::U8(table.columns[2].comment), "Größe in cm");
    EXPECT_EQ(table.recordLength, 1 + 4 + 4 + 81);
    ASSERT_EQ(table.keys.size(), 2u);
    EXPECT_EQ(test::U8(table.keys[1].name), "uq");
    EXPECT_EQ(test::U8(table.keys[1].comment), "key note");
    ASSERT_EQ(table.keys[1].parts.size(), 1u);
    EXPECT_EQ(table.keys[1].parts[0].fieldNumber, 2);
    EXPECT_EQ(table.keys[1].parts[0].offset, 1);
    EXPECT_GE(table.serverVersion, 50600u);
}

TEST_F(FrmReaderTest, FilesThatAreNotTableDefinitionsYieldNothingButSucceed) {
    const std::string view = "TYPE=VIEW\nquery=select 1 AS `1`\n";
    EXPECT_TRUE(Read(std::vector<uint8_t>(view.begin(), view.end())));
    EXPECT_TRUE(table.columns.empty());

    EXPECT_TRUE(Read(test::Bytes({0xFE, 0x01, 10})));  // shorter than a header
    EXPECT_TRUE(table.columns.empty());

    FrmBuilder b;
    b.columns = {Int("a")};
    std::vector<uint8_t> image = b.Build();
    image[2] = 8;  // a layout version no server writes
    EXPECT_TRUE(Read(image));
    EXPECT_TRUE(table.columns.empty());

    table = CTableDef();
    EXPECT_TRUE(ReadTableDefinition(table, dir.path() / "missing.frm", test::TestApp()));
    EXPECT_TRUE(table.columns.empty());
}

TEST_F(FrmReaderTest, ReadsAFileWithoutWritePermission) {
    FrmBuilder b;
    b.columns = {Int("a")};
    test::WriteFile(file(), b.Build());
    std::filesystem::permissions(file(), std::filesystem::perms::owner_read |
                                             std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
    ASSERT_TRUE(ReadTableDefinition(table, file(), test::TestApp()));
    EXPECT_EQ(table.columns.size(), 1u);
}

TEST_F(FrmReaderTest, ColumnNameCountMismatchFailsBeforeAnyColumn) {
    FrmBuilder b;
    b.columns = {Int("a"), Int("b")};
    std::vector<uint8_t> image = b.Build();
    // Turn the separator between the two names into a letter: one name "a?b".
    const size_t names = b.columnBlockPos + 2 * 17;
    ASSERT_EQ(image[names + 2], 0xFF);
    image[names + 2] = 'x';
    EXPECT_FALSE(Read(image));
    EXPECT_TRUE(table.columns.empty());
}

TEST_F(FrmReaderTest, FileCutShortFailsWithoutReadingPastTheEnd) {
    FrmBuilder b;
    b.columns = {Int("a"), Int("b")};
    const std::vector<uint8_t> image = b.Build();
    // Every cut from inside the header's form position to the last byte must
    // end quietly; the sanitizers catch any read outside the buffer.
    for (size_t cut = 64; cut < image.size(); ++cut) {
        std::vector<uint8_t> shortImage(image.begin(), image.begin() + static_cast<long>(cut));
        Read(shortImage);
        EXPECT_LE(table.columns.size(), 2u) << cut;
    }
    std::vector<uint8_t> header(image.begin(), image.begin() + 66);
    EXPECT_FALSE(Read(header));
}

TEST_F(FrmReaderTest, DamagedCountsAndLengthsStayInsideTheFile) {
    FrmBuilder b;
    b.columns = {Int("a"),
                 {.name = "e", .type = 247, .length = 1, .valueList = 1, .storedBytes = 1}};
    b.valueLists = {{"x", "y"}};
    b.keys = {{.name = "PRIMARY", .unique = true, .fieldNumbers = {1}}};
    const std::vector<uint8_t> image = b.Build();
    struct Damage {
        const char* what;
        size_t at;
        std::vector<uint8_t> bytes;
    };
    const size_t form = b.formPos;
    const std::vector<Damage> damages = {
        {"huge comment length", b.columnBlockPos + 15, {0xFF, 0xFF}},
        {"huge comment text length", form + 284, {0xFF, 0xFF}},
        {"huge value-list count", form + 270, {0xFF, 0xFF}},
        {"huge value-list text", form + 274, {0xFF, 0xFF}},
        {"huge field count", form + 258, {0xFF, 0xFF}},
        {"huge screen length", form + 260, {0xFF, 0xFF}},
        {"huge key count", b.keyPos, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"huge key section length", 28, {0xFF, 0xFF}},
        {"key section past the end", 6, {0xFF, 0xFF}},
        {"form position past the end", 64, {0xFF, 0xFF, 0xFF, 0x7F}},
        {"value list number past the lists", b.columnBlockPos + 17 + 12, {9}},
        {"huge part count", b.keyPos + 6 + 4, {0xFF}},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> damaged = image;
        for (size_t i = 0; i < d.bytes.size(); ++i) damaged[d.at + i] = d.bytes[i];
        Read(damaged);
        EXPECT_LE(table.columns.size(), 2u) << d.what;
    }
}

TEST_F(FrmReaderTest, UnterminatedNameListEndsTheRead) {
    FrmBuilder b;
    b.columns = {Int("a")};
    std::vector<uint8_t> image = b.Build();
    image.resize(b.columnBlockPos + 17 + 2);  // "\xFF" "a" and nothing after
    EXPECT_FALSE(Read(image));
    EXPECT_TRUE(table.columns.empty());
}

TEST_F(FrmReaderTest, EnumValueListsFollowTheirNumbersOrColumnOrder) {
    FrmBuilder b;
    b.columns = {
        {.name = "e1", .type = 247, .length = 6, .valueList = 0, .storedBytes = 1},
        {.name = "e2", .type = 247, .length = 1, .valueList = 0, .storedBytes = 1},
        {.name = "s", .type = 248, .length = 5, .valueList = 1, .storedBytes = 1},
    };
    b.valueLists = {{"small", "", "large"}, {"x", "y"}};
    ASSERT_TRUE(Read(b.Build()));
    ASSERT_EQ(table.allEnumValues.size(), 5u);
    EXPECT_EQ(test::U8(table.allEnumValues[1]), "");
    // An empty member stays among the members but not in the type text.
    EXPECT_EQ(test::U8(table.columns[0].enumValues), "'small','large'");
    EXPECT_EQ(table.columns[0].enumCount, 3);
    // Without a list number, the second ENUM/SET column takes the second list.
    EXPECT_EQ(test::U8(table.columns[1].enumValues), "'x','y'");
    EXPECT_EQ(table.columns[1].enumFirst, 3);
    // A list number names its list, even one that an earlier column used.
    EXPECT_EQ(test::U8(table.columns[2].enumValues), "'small','large'");
    EXPECT_EQ(table.columns[2].enumFirst, 0);
}

TEST_F(FrmReaderTest, ColumnsOfOneValueListShareItsMembersAndTypeText) {
    // Many ENUM columns of one long list: the list and its type text are
    // kept once, however many columns use it.
    FrmBuilder b;
    std::vector<std::string> members;
    for (int m = 0; m < 300; ++m) members.push_back("member" + std::to_string(m));
    b.valueLists = {members, {"x", "y"}};
    for (int c = 0; c < 1500; ++c) {
        b.columns.push_back({.name = "e" + std::to_string(c),
                             .type = 247,
                             .length = 9,
                             .valueList = c % 100 == 99 ? 2 : 1,
                             .storedBytes = 2});
    }
    ASSERT_TRUE(Read(b.Build()));
    ASSERT_EQ(table.columns.size(), 1500u);
    EXPECT_EQ(table.allEnumValues.size(), 302u);
    const CSharedText& first = table.columns[0].enumValues;
    const CSharedText& second = table.columns[99].enumValues;
    std::string expected;
    for (const std::string& m : members) expected += (expected.empty() ? "'" : ",'") + m + "'";
    EXPECT_EQ(test::U8(first), expected);
    EXPECT_EQ(test::U8(second), "'x','y'");
    EXPECT_FALSE(first.SharedWith(second));
    for (const CColumnDef& column : table.columns) {
        const bool listTwo = column.index % 100 == 99;
        EXPECT_TRUE(column.enumValues.SharedWith(listTwo ? second : first)) << column.index;
        EXPECT_EQ(column.enumFirst, listTwo ? 300 : 0);
        EXPECT_EQ(column.enumCount, listTwo ? 2 : 300);
    }
}

TEST_F(FrmReaderTest, DerivesPrecisionAndDecimalsOfNumbers) {
    FrmBuilder b;
    b.columns = {
        {.name = "d", .type = 246, .length = 12, .packFlags = kSigned | 2 << 8, .storedBytes = 5},
        {.name = "du", .type = 246, .length = 5, .packFlags = 0, .storedBytes = 3},
        {.name = "f", .type = 4, .length = 12, .packFlags = kSigned | 31 << 8, .storedBytes = 4},
        {.name = "f73", .type = 4, .length = 7, .packFlags = kSigned | 3 << 8, .storedBytes = 4},
        {.name = "z", .type = 3, .length = 6, .packFlags = 0x4, .storedBytes = 4},
    };
    ASSERT_TRUE(Read(b.Build()));
    EXPECT_EQ(table.columns[0].precision, 10);
    EXPECT_EQ(table.columns[0].decimals, 2);
    EXPECT_EQ(table.columns[1].precision, 5);
    EXPECT_EQ(table.columns[1].decimals, 0);
    EXPECT_EQ(table.columns[1].signedness, Signedness::kUnsigned);
    EXPECT_EQ(table.columns[2].precision, 0);  // decimals 31: none declared
    EXPECT_EQ(table.columns[2].decimals, 0);
    EXPECT_EQ(table.columns[3].precision, 7);
    EXPECT_EQ(table.columns[3].decimals, 3);
    EXPECT_TRUE(table.columns[4].zerofill);
}

TEST_F(FrmReaderTest, CountsNullBytesWhateverTheOtherColumnsAre) {
    struct Case {
        const char* what;
        uint16_t createOptions;
        std::vector<FrmBuilder::Column> columns;
        int nullBytes;
    };
    const std::vector<Case> cases = {
        // The delete mark takes the first bit of fixed-length rows.
        {"one nullable, fixed rows", 0, {Int("a", kNullable)}, 1},
        {"NOT NULL key and 7 nullable, fixed rows",
         0,
         {Int("id", 0), Int("a", kNullable), Int("b", kNullable), Int("c", kNullable),
          Int("d", kNullable), Int("e", kNullable), Int("f", kNullable), Int("g", kNullable)},
         1},
        {"8 nullable, fixed rows",
         0,
         {Int("a", kNullable), Int("b", kNullable), Int("c", kNullable), Int("d", kNullable),
          Int("e", kNullable), Int("f", kNullable), Int("g", kNullable), Int("h", kNullable)},
         2},
        {"no nullable, packed rows", 1, {Int("a", 0)}, 0},
        {"BIT(12) leftover bits, packed rows",
         1,
         {Int("a", kNullable), {.name = "b", .type = 16, .length = 12, .storedBytes = 1}},
         1},
        {"BIT(12) stored as bytes",
         1,
         {{.name = "b", .type = 16, .length = 12, .packFlags = 1 << 12, .storedBytes = 2}},
         0},
    };
    for (const Case& c : cases) {
        FrmBuilder b;
        b.createOptions = c.createOptions;
        b.columns = c.columns;
        ASSERT_TRUE(Read(b.Build())) << c.what;
        EXPECT_EQ(table.nullBytes, c.nullBytes) << c.what;
    }
}

TEST_F(FrmReaderTest, KeyFlagsFollowKeyNamesAndUniqueness) {
    FrmBuilder b;
    b.columns = {Int("a"), Int("b"), Int("c"), Int("d")};
    b.keys = {{.name = "primary", .unique = true, .fieldNumbers = {2, 1}},
              {.name = "u1", .unique = true, .fieldNumbers = {1}},
              {.name = "plain", .unique = false, .fieldNumbers = {3}},
              {.name = "bad", .unique = true, .fieldNumbers = {0, 99}}};
    ASSERT_TRUE(Read(b.Build()));
    EXPECT_TRUE(table.columns[0].inPrimaryKey);
    EXPECT_TRUE(table.columns[0].inUniqueKey);
    EXPECT_TRUE(table.columns[1].inPrimaryKey);
    EXPECT_FALSE(table.columns[1].inUniqueKey);
    EXPECT_FALSE(table.columns[2].inPrimaryKey || table.columns[2].inUniqueKey);
    EXPECT_FALSE(table.columns[3].inPrimaryKey || table.columns[3].inUniqueKey);
    ASSERT_EQ(table.keys.size(), 4u);
    EXPECT_EQ(table.keys[0].parts[0].fieldNumber, 2);
    EXPECT_EQ(table.keys[0].parts[1].fieldNumber, 1);
}

TEST_F(FrmReaderTest, LatinNamesThatAreNotUtf8ReadInTheAnsiCodePage) {
    FrmBuilder b;
    b.columns = {Int("caf\xE9")};
    ASSERT_TRUE(Read(b.Build()));
    EXPECT_EQ(test::U8(table.columns[0].name), "café");
}

}  // namespace
}  // namespace brix
