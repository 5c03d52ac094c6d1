// Columns MySQL 8.0.12 to 8.0.28 added in place (ALGORITHM=INSTANT, before
// row versions). No server of today writes such records any more (MySQL 8.0.29
// and later write row versions, and upgrade nothing), so the pages are built
// byte by byte from the record format: a record written after the first
// change carries info bit 0x80 and its field count below the fixed header
// bytes; older records hold the fields up to the first added column, and the
// columns they lack show the default the dictionary keeps for them.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/text.h"
#include "browse/table_rows.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "sdi/sdi_table.h"
#include "support/innodb_builder.h"
#include "support/test_support.h"

namespace brix {
namespace {

using test::CompactPage;
using test::RedundantPage;

// A column of the dictionary information: INT (dictionary type 4) or
// VARCHAR (16) in latin1, with its se_private_data.
std::string Column(const std::string& name, bool varchar, bool nullable,
                   const std::string& privateData = "", int hidden = 1) {
    return R"({"name":")" + name + R"(","type":)" + (varchar ? "16" : "4") + R"(,"char_length":)" +
           (varchar ? "20" : "11") + R"(,"is_nullable":)" + (nullable ? "true" : "false") +
           R"(,"is_unsigned":false,"is_virtual":false,"hidden":)" + std::to_string(hidden) +
           R"(,"collation_id":8,"se_private_data":")" + privateData + R"("})";
}

// The table (id INT NOT NULL PRIMARY KEY, a VARCHAR(20) NULL) to which
// b INT NOT NULL DEFAULT 42, c VARCHAR(20) NULL and d VARCHAR(20) NOT NULL
// DEFAULT 'dflt' were added in place, as a server of 8.0.27 describes it.
std::string InstantTableJson(int rowFormat, const std::string& instantCol = "instant_col=2;",
                             const std::string& bDefault = "default=8000002a;") {
    return R"({"mysqld_version_id":80027,"dd_object_type":"Table","dd_object":{)"
           R"("name":"grown","schema_ref":"db","engine":"InnoDB","collation_id":8,)"
           R"("row_format":)" +
           std::to_string(rowFormat) + R"(,"se_private_data":")" + instantCol + R"(","columns":[)" +
           Column("id", false, false) + "," + Column("a", true, true) + "," +
           Column("b", false, false, bDefault + "table_id=1;") + "," +
           Column("c", true, true, "default_null=1;table_id=1;") + "," +
           Column("d", true, false, "default=64666c74;table_id=1;") + "," +
           Column("DB_TRX_ID", false, false, "", 2) + "," +
           Column("DB_ROLL_PTR", false, false, "", 2) +
           R"(],"indexes":[{"name":"PRIMARY","type":1,"hidden":false,"elements":[)"
           R"({"column_opx":0,"length":4,"order":2,"hidden":false},)"
           R"({"column_opx":5,"hidden":true},{"column_opx":6,"hidden":true},)"
           R"({"column_opx":1,"hidden":true},{"column_opx":2,"hidden":true},)"
           R"({"column_opx":3,"hidden":true},{"column_opx":4,"hidden":true}],)"
           R"("se_private_data":"id=77;root=3;space_id=5;table_id=1;"}]}})";
}

std::vector<uint8_t> Int(int32_t v) {
    return test::BigEndian(static_cast<uint32_t>(v) ^ 0x80000000u, 4);
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const std::vector<uint8_t> kSystem(13, 0);  // transaction id and roll pointer

class MySqlInstantTest : public ::testing::Test {
  protected:
    // Reads the definition and lays the reader out as opening the table does.
    void Define(int rowFormat) {
        SdiTableInfo info;
        std::string problem;
        ASSERT_TRUE(TableDefFromSdi(InstantTableJson(rowFormat), app, table, info, problem))
            << problem;
        ASSERT_FALSE(info.changedInPlace);
        ASSERT_EQ(info.instantColumns.columnsBefore, 2u);
        BuildColumnsFromFrm(inno, app);
        ASSERT_TRUE(ApplyInstantColumns(inno, info.instantColumns));
    }

    // Every row of the leaf at page 3, each as its cells joined by "|" with
    // NULL for a NULL cell.
    std::vector<std::string> Rows(const PageBuffer& leaf) {
        test::WriteTablespace(dir.path() / "t.ibd", {{}, {}, {}, leaf});
        auto space = std::make_shared<CTablespace>();
        EXPECT_TRUE(space->Open(dir.path() / "t.ibd"));
        inno.space = std::move(space);
        inno.perTableSource = true;
        window.bookmarks.clear();
        window.rows.Reset(table.columns.size());
        window.bookmarks.push_back(RecordBookmark{3, 0});
        FillRowWindow(inno, *inno.space, 3, 0, false, app);
        std::vector<std::string> rows;
        for (size_t r = 0; r < window.rows.rowCount(); ++r) {
            std::string row;
            for (size_t c = 0; c < table.columns.size(); ++c) {
                if (c > 0) row += "|";
                row += window.rows.IsNull(r, c) ? "NULL" : Utf16ToUtf8(window.rows.Text(r, c));
            }
            rows.push_back(row);
        }
        return rows;
    }

    std::unique_ptr<CAppState> ownedApp = test::NewTestApp();
    CAppState& app = *ownedApp;
    CTableDef table;
    CWindowState window;
    CInnoTableReader inno{table, window};
    test::TempDir dir;
};

// Records of every age on one compact leaf: before the first added column
// (no count; the null bitmap covers a alone), after all three were added
// (count 7 in one byte: id, the two system fields, a, b, c, d), and one
// written when only b had been added (count 5), whose c and d show their
// defaults.
TEST_F(MySqlInstantTest, CompactRecordsOfEveryAgeShowTheirValuesOrTheDefaults) {
    Define(2);
    EXPECT_EQ(inno.coreFields, 4u);
    CompactPage leaf(3);
    // Header bytes below the fixed five, in address order: lengths of the
    // variable fields (last field lowest), the null bitmap, the field count.
    const uint32_t old =
        leaf.Put(150, {3, 0x00}, Concat({Int(1), kSystem, test::TextBytes("old")}));
    const uint32_t oldNull = leaf.Put(200, {0x01}, Concat({Int(2), kSystem}));
    const uint32_t all =
        leaf.Put(250, {2, 3, 0x02, 7},
                 Concat({Int(11), kSystem, test::TextBytes("new"), Int(7), test::TextBytes("xy")}),
                 kInfoInstantAdded);
    const uint32_t firstOnly =
        leaf.Put(320, {0x01, 5}, Concat({Int(12), kSystem, Int(-5)}), kInfoInstantAdded);
    leaf.Chain({old, oldNull, all, firstOnly});

    EXPECT_EQ(Rows(leaf.bytes),
              (std::vector<std::string>{"1|old|42|NULL|dflt", "2|NULL|42|NULL|dflt",
                                        "11|new|7|NULL|xy", "12|NULL|-5|NULL|dflt"}));
}

// Redundant records say how many fields they hold in their own header; the
// fields past that show the defaults.
TEST_F(MySqlInstantTest, RedundantRecordsShowTheDefaultsOfFieldsTheyLack) {
    Define(4);
    RedundantPage leaf(3, 77);
    const std::vector<uint8_t> trx(6, 0);
    const std::vector<uint8_t> roll(7, 0);
    const uint32_t old = leaf.Put(150, {Int(1), trx, roll, test::TextBytes("old")});
    const uint32_t firstOnly = leaf.Put(220, {Int(2), trx, roll, std::nullopt, Int(9)});
    const uint32_t all = leaf.Put(300, {Int(3), trx, roll, test::TextBytes("new"), Int(8),
                                        test::TextBytes("c"), test::TextBytes("d")});
    leaf.Chain({old, firstOnly, all});

    EXPECT_EQ(Rows(leaf.bytes), (std::vector<std::string>{"1|old|42|NULL|dflt",
                                                          "2|NULL|9|NULL|dflt", "3|new|8|c|d"}));
}

// The field count in two bytes: the first below the header has the high bit
// set and carries the high bits. A record of 5 fields written so must read
// as 5, not as the one-byte form or the other byte order would have it.
TEST_F(MySqlInstantTest, TwoByteFieldCountsReadHighByteFirst) {
    Define(2);
    CompactPage leaf(3);
    const uint32_t r =
        leaf.Put(150, {0x01, 0x05, 0x80}, Concat({Int(12), kSystem, Int(-5)}), kInfoInstantAdded);
    leaf.Chain({r});
    EXPECT_EQ(Rows(leaf.bytes), (std::vector<std::string>{"12|NULL|-5|NULL|dflt"}));
}

// A description that does not fit the format is never read as one: the table
// is refused as changed in place instead of being read garbled.
TEST(MySqlInstantDefinition, DescriptionsThatDoNotFitAreRefused) {
    const auto app = test::NewTestApp();
    struct Case {
        const char* name;
        std::string instantCol;
        std::string bDefault;
        bool read;
    };
    const Case cases[] = {
        {"as the server writes it", "instant_col=2;", "default=8000002a;", true},
        {"an added column without its default", "instant_col=2;", "", false},
        {"a default that is not hex", "instant_col=2;", "default=80zz;", false},
        {"no column was added after the count", "instant_col=5;", "default=8000002a;", false},
        {"a count of none", "instant_col=0;", "default=8000002a;", false},
        {"a count that is not a number", "instant_col=x;", "default=8000002a;", false},
    };
    for (const Case& c : cases) {
        CTableDef table;
        SdiTableInfo info;
        std::string problem;
        ASSERT_TRUE(TableDefFromSdi(InstantTableJson(2, c.instantCol, c.bDefault), *app, table,
                                    info, problem))
            << c.name;
        EXPECT_EQ(info.changedInPlace, !c.read) << c.name;
        EXPECT_EQ(info.instantColumns.columnsBefore, c.read ? 2u : 0u) << c.name;
    }
}

}  // namespace
}  // namespace brix
