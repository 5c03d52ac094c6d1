// Columns MySQL 8.0.12 to 8.0.28 added in place (ALGORITHM=INSTANT, before
// row versions). No server of today writes such records any more (MySQL 8.0.29
// and later write row versions, and upgrade nothing), so the pages are built
// byte by byte from the record format: a record written after the first
// change carries info bit 0x80 and its field count below the fixed header
// bytes; older records hold the fields up to the first added column, and the
// columns they lack show the default the dictionary keeps for them. The same
// holds for partitioned tables, whose partitions each keep their own count,
// and for tables upgraded to 8.0.29 or later and changed in place again
// there, whose records then come in three kinds; no server of today makes
// those either, so they are built byte by byte too.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "catalogue/partitions.h"
#include "innodb/btree.h"
#include "innodb/columns.h"
#include "innodb/deleted_records.h"
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
                             const std::string& bDefault = "default=8000002a;",
                             const std::string& partitions = "") {
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
           R"("se_private_data":"id=77;root=3;space_id=5;table_id=1;"}])" +
           partitions + "}}";
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

// A leaf partition of the dictionary information, with its own
// se_private_data.
std::string Partition(const std::string& name, const std::string& privateData, int root) {
    return R"({"name":")" + name + R"(","se_private_data":")" + privateData +
           R"(","indexes":[{"se_private_data":"id=)" + std::to_string(70 + root) +
           ";root=" + std::to_string(root) + R"(;"}]})";
}

// The table above, upgraded to 8.0.29 or later and changed in place there:
// e INT NULL DEFAULT 5 and f INT NULL added in version 1, f dropped in
// version 2. The columns added before keep their defaults and no version;
// every column has its physical place, the dropped one after the others.
std::string MixedTableJson(int rowFormat, const std::string& instantCol = "instant_col=2;") {
    return R"({"mysqld_version_id":80400,"dd_object_type":"Table","dd_object":{)"
           R"("name":"grown","schema_ref":"db","engine":"InnoDB","collation_id":8,)"
           R"("row_format":)" +
           std::to_string(rowFormat) + R"(,"se_private_data":")" + instantCol + R"(","columns":[)" +
           Column("id", false, false, "physical_pos=0;table_id=1;") + "," +
           Column("a", true, true, "physical_pos=3;table_id=1;") + "," +
           Column("b", false, false, "default=8000002a;physical_pos=4;table_id=1;") + "," +
           Column("c", true, true, "default_null=1;physical_pos=5;table_id=1;") + "," +
           Column("d", true, false, "default=64666c74;physical_pos=6;table_id=1;") + "," +
           Column("e", false, true, "default=80000005;physical_pos=7;table_id=1;version_added=1;") +
           "," + Column("DB_TRX_ID", false, false, "physical_pos=1;table_id=1;", 2) + "," +
           Column("DB_ROLL_PTR", false, false, "physical_pos=2;table_id=1;", 2) + "," +
           Column("!hidden!_dropped_v2_p8_f", false, true,
                  "physical_pos=8;table_id=1;version_added=1;version_dropped=2;", 2) +
           R"(],"indexes":[{"name":"PRIMARY","type":1,"hidden":false,"elements":[)"
           R"({"column_opx":0,"length":4,"order":2,"hidden":false},)"
           R"({"column_opx":6,"hidden":true},{"column_opx":7,"hidden":true},)"
           R"({"column_opx":1,"hidden":true},{"column_opx":2,"hidden":true},)"
           R"({"column_opx":3,"hidden":true},{"column_opx":4,"hidden":true},)"
           R"({"column_opx":5,"hidden":true}],)"
           R"("se_private_data":"id=77;root=3;space_id=5;table_id=1;"}]}})";
}

// Opens a table of the dictionary information json as the rows of a table or
// of one partition of it (columnsBefore: its own count; -1 for the table's)
// and reads the leaf at page 3, each row as its cells joined by "|". Every
// reading has a reader of its own, so that each reports its findings.
class InstantLayoutReading {
  public:
    // Lays a reader out for the table or partition; false when refused.
    bool Lay(const std::string& json, int64_t columnsBefore) {
        SdiTableInfo info;
        std::string problem;
        EXPECT_TRUE(TableDefFromSdi(json, app, table, info, problem)) << problem;
        EXPECT_FALSE(info.changedInPlace);
        reader = std::make_unique<CInnoTableReader>(table, window);
        reader->options.damage = &damage;
        BuildColumnsFromFrm(*reader, app);
        const uint32_t before = columnsBefore < 0 ? info.instantColumns.columnsBefore
                                                  : static_cast<uint32_t>(columnsBefore);
        if (!ApplyInPlaceLayout(*reader, info.rowVersions, info.instantColumns, before, app)) {
            ADD_FAILURE() << "the layout was refused";
            return false;
        }
        coreFields = reader->coreFields;
        return true;
    }

    std::vector<std::string> Read(const std::string& json, int64_t columnsBefore,
                                  const PageBuffer& leaf) {
        if (!Lay(json, columnsBefore)) return {};
        CInnoTableReader& inno = *reader;
        test::WriteTablespace(dir.path() / "t.ibd", {{}, {}, {}, leaf});
        auto space = std::make_shared<CTablespace>();
        EXPECT_TRUE(space->Open(dir.path() / "t.ibd"));
        inno.space = std::move(space);
        inno.perTableSource = true;
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

    // The reasons of the findings reported, in order.
    std::vector<std::string> Reasons() const {
        std::vector<std::string> reasons;
        for (const DamageFinding& f : damage.Findings()) reasons.push_back(f.why);
        return reasons;
    }

    std::unique_ptr<CAppState> ownedApp = test::NewTestApp();
    CAppState& app = *ownedApp;
    CTableDef table;
    CWindowState window;
    CDamageReport damage;
    std::unique_ptr<CInnoTableReader> reader;
    uint32_t coreFields = 0;
    test::TempDir dir;
};

// Each partition of a partitioned table keeps the count of columns it had
// when the first was added to it: p0 had id and a when b, c and d were added;
// p1 was made after that and has no count, its records holding every field;
// p2 was made when b had been added, and has three.
TEST(MySqlInstantPartitions, EachPartitionIsReadWithItsOwnCount) {
    const std::string json = InstantTableJson(
        2, "instant_col=2;", "default=8000002a;",
        R"(,"partitions":[)" + Partition("p0", "instant_col=2;", 3) + "," + Partition("p1", "", 4) +
            "," + Partition("p2", "instant_col=3;", 5) + "]");
    const std::vector<CSdiPartition> partitions = PartitionsInSdi(json);
    ASSERT_EQ(partitions.size(), 3u);
    EXPECT_EQ(partitions[0].instantColumnsBefore, 2u);
    EXPECT_EQ(partitions[1].instantColumnsBefore, 0u);
    EXPECT_EQ(partitions[2].instantColumnsBefore, 3u);

    struct Case {
        const char* name;
        uint32_t columnsBefore;
        uint32_t coreFields;
        std::function<PageBuffer()> leaf;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"p0: records before the change, after it, and between",
         2,
         4,
         [] {
             CompactPage leaf(3);
             const uint32_t old =
                 leaf.Put(150, {3, 0x00}, Concat({Int(1), kSystem, test::TextBytes("old")}));
             const uint32_t all = leaf.Put(
                 250, {2, 3, 0x02, 7},
                 Concat({Int(11), kSystem, test::TextBytes("new"), Int(7), test::TextBytes("xy")}),
                 kInfoInstantAdded);
             const uint32_t firstOnly =
                 leaf.Put(320, {0x01, 5}, Concat({Int(12), kSystem, Int(-5)}), kInfoInstantAdded);
             leaf.Chain({old, all, firstOnly});
             return leaf.bytes;
         },
         {"1|old|42|NULL|dflt", "11|new|7|NULL|xy", "12|NULL|-5|NULL|dflt"}},
        {"p1: made after the change, every record whole without a count",
         0,
         0,
         [] {
             CompactPage leaf(3);
             // Lengths of d, c, a below the header, then the null bitmap (a
             // and c).
             const uint32_t r = leaf.Put(200, {1, 2, 3, 0x00},
                                         Concat({Int(21), kSystem, test::TextBytes("abc"), Int(-1),
                                                 test::TextBytes("cc"), test::TextBytes("d")}));
             const uint32_t n =
                 leaf.Put(280, {1, 0x03}, Concat({Int(22), kSystem, Int(0), test::TextBytes("e")}));
             leaf.Chain({r, n});
             return leaf.bytes;
         },
         {"21|abc|-1|cc|d", "22|NULL|0|NULL|e"}},
        {"p2: made when b was there, which its old records hold",
         3,
         5,
         [] {
             CompactPage leaf(3);
             const uint32_t old = leaf.Put(
                 150, {2, 0x00}, Concat({Int(31), kSystem, test::TextBytes("ab"), Int(3)}));
             const uint32_t all = leaf.Put(250, {1, 0x03, 7},
                                           Concat({Int(32), kSystem, Int(4), test::TextBytes("z")}),
                                           kInfoInstantAdded);
             leaf.Chain({old, all});
             return leaf.bytes;
         },
         {"31|ab|3|NULL|dflt", "32|NULL|4|NULL|z"}},
    };
    for (const Case& c : cases) {
        InstantLayoutReading reading;
        EXPECT_EQ(reading.Read(json, c.columnsBefore, c.leaf()), c.rows) << c.name;
        EXPECT_EQ(reading.coreFields, c.coreFields) << c.name;
        EXPECT_TRUE(reading.Reasons().empty()) << c.name;
    }
}

// A partition's count that does not fit the table's columns is refused, never
// read garbled: below the table's own, or with no column added after it.
TEST(MySqlInstantPartitions, CountsThatDoNotFitAreRefused) {
    const auto app = test::NewTestApp();
    for (const uint32_t before : {1u, 5u, 9u}) {
        CTableDef table;
        CWindowState window;
        CInnoTableReader inno{table, window};
        SdiTableInfo info;
        std::string problem;
        ASSERT_TRUE(TableDefFromSdi(InstantTableJson(2), *app, table, info, problem));
        BuildColumnsFromFrm(inno, *app);
        EXPECT_FALSE(ApplyInPlaceLayout(inno, info.rowVersions, info.instantColumns, before, *app))
            << before;
        EXPECT_EQ(inno.coreFields, 0u) << before;
    }
}

// The three kinds of record of a table upgraded and changed in place again:
// none of the marks (the core fields id, the system fields and a), the field
// count of 8.0.12 to 8.0.28, and the version of 8.0.29 and later, 0 for a
// record written after the upgrade before the next change. e shows its
// default in records older than version 1; the dropped f is never shown.
TEST(MySqlInstantMixed, RecordsOfAllThreeKindsShowWhatTheServerShows) {
    const auto leaf = [] {
        CompactPage leaf(3);
        // Nullable fields, in the order of their bits: a, c, e, f.
        const uint32_t old =
            leaf.Put(150, {3, 0x00}, Concat({Int(1), kSystem, test::TextBytes("old")}));
        const uint32_t counted5 =
            leaf.Put(200, {0x01, 5}, Concat({Int(2), kSystem, Int(-5)}), kInfoInstantAdded);
        const uint32_t counted7 = leaf.Put(250, {2, 2, 1, 0x00, 7},
                                           Concat({Int(3), kSystem, test::TextBytes("x"), Int(7),
                                                   test::TextBytes("cc"), test::TextBytes("xy")}),
                                           kInfoInstantAdded);
        // Version 0: every field but e and f; the version byte is nearest
        // the fixed header.
        const uint32_t version0 =
            leaf.Put(320, {1, 1, 0x02, 0},
                     Concat({Int(4), kSystem, test::TextBytes("v"), Int(40), test::TextBytes("d")}),
                     kInfoRowVersion);
        // Version 1: e and f too (a, c and f NULL).
        const uint32_t version1 = leaf.Put(
            390, {1, 0x0B, 1}, Concat({Int(5), kSystem, Int(50), test::TextBytes("q"), Int(55)}),
            kInfoRowVersion);
        // Version 2: e, not f (c and e NULL).
        const uint32_t version2 =
            leaf.Put(460, {1, 1, 0x06, 2},
                     Concat({Int(6), kSystem, test::TextBytes("w"), Int(60), test::TextBytes("r")}),
                     kInfoRowVersion);
        leaf.Chain({old, counted5, counted7, version0, version1, version2});
        return leaf.bytes;
    };
    InstantLayoutReading reading;
    EXPECT_EQ(
        reading.Read(MixedTableJson(2), -1, leaf()),
        (std::vector<std::string>{"1|old|42|NULL|dflt|5", "2|NULL|-5|NULL|dflt|5", "3|x|7|cc|xy|5",
                                  "4|v|40|NULL|d|5", "5|NULL|50|NULL|q|55", "6|w|60|NULL|r|NULL"}));
    EXPECT_EQ(reading.coreFields, 4u);
    EXPECT_TRUE(reading.Reasons().empty());
}

// A partition made after the columns were added (no count of its own) of a
// table changed again since: its records without a mark are of version 0,
// holding every column added before.
TEST(MySqlInstantMixed, APartitionWithoutACountReadsUnmarkedRecordsAsVersionZero) {
    CompactPage leaf(3);
    const uint32_t r =
        leaf.Put(150, {1, 1, 0x02},
                 Concat({Int(7), kSystem, test::TextBytes("p"), Int(70), test::TextBytes("s")}));
    leaf.Chain({r});
    InstantLayoutReading reading;
    EXPECT_EQ(reading.Read(MixedTableJson(2), 0, leaf.bytes),
              (std::vector<std::string>{"7|p|70|NULL|s|5"}));
    EXPECT_EQ(reading.coreFields, 0u);
}

// Redundant records of the mixed table need no mark to hold fewer fields: an
// old record's header says it holds the core fields alone.
TEST(MySqlInstantMixed, RedundantRecordsWithoutAVersionHoldTheFieldsTheyCount) {
    RedundantPage leaf(3, 77);
    const std::vector<uint8_t> trx(6, 0);
    const std::vector<uint8_t> roll(7, 0);
    const uint32_t old = leaf.Put(150, {Int(1), trx, roll, test::TextBytes("old")});
    const uint32_t some = leaf.Put(220, {Int(2), trx, roll, std::nullopt, Int(9)});
    leaf.Chain({old, some});
    InstantLayoutReading reading;
    EXPECT_EQ(reading.Read(MixedTableJson(4), -1, leaf.bytes),
              (std::vector<std::string>{"1|old|42|NULL|dflt|5", "2|NULL|9|NULL|dflt|5"}));
}

// The count is kept with the row versions; a count the columns do not allow
// is refused.
TEST(MySqlInstantMixed, TheCountIsKeptWithTheVersions) {
    const auto app = test::NewTestApp();
    struct Case {
        const char* instantCol;
        uint32_t columnsBefore;
        bool laidOut;
    };
    const Case cases[] = {
        {"instant_col=2;", 2, true},
        {"", 0, true},  // never changed before 8.0.29
        {"instant_col=7;", 7, false},
        {"instant_col=0;", 0, true},
    };
    for (const Case& c : cases) {
        CTableDef table;
        CWindowState window;
        CInnoTableReader inno{table, window};
        SdiTableInfo info;
        std::string problem;
        ASSERT_TRUE(TableDefFromSdi(MixedTableJson(2, c.instantCol), *app, table, info, problem));
        EXPECT_FALSE(info.rowVersions.empty()) << c.instantCol;
        EXPECT_EQ(info.instantColumns.columnsBefore, c.columnsBefore) << c.instantCol;
        BuildColumnsFromFrm(inno, *app);
        EXPECT_EQ(ApplyInPlaceLayout(inno, info.rowVersions, info.instantColumns,
                                     info.instantColumns.columnsBefore, *app),
                  c.laidOut)
            << c.instantCol;
    }
}

// Damaged marks are reported and the record is read as far as its header
// allows; the records after it are read as ever.
TEST(MySqlInstantDamage, MarksThatDoNotFitAreReportedAndTheRowsRead) {
    struct Case {
        const char* name;
        std::string json;
        std::function<uint32_t(CompactPage&)> bad;
        std::string badRow;
        const char* reason;
    };
    const std::string plain = InstantTableJson(2, "", "default=8000002a;");
    const Case cases[] = {
        {"a field count beyond the definition", InstantTableJson(2),
         [](CompactPage& leaf) {
             return leaf.Put(
                 250, {2, 3, 0x02, 9},
                 Concat({Int(11), kSystem, test::TextBytes("new"), Int(7), test::TextBytes("xy")}),
                 kInfoInstantAdded);
         },
         "11|new|7|NULL|xy", "record's field count does not fit the table"},
        {"a field count below the core fields", InstantTableJson(2),
         [](CompactPage& leaf) {
             return leaf.Put(250, {3, 0x00, 2}, Concat({Int(11), kSystem, test::TextBytes("new")}),
                             kInfoInstantAdded);
         },
         "11||42|NULL|dflt", "record's field count does not fit the table"},
        {"a version the table does not have", MixedTableJson(2),
         [](CompactPage& leaf) {
             return leaf.Put(250, {1, 0x03, 7},
                             Concat({Int(11), kSystem, Int(50), test::TextBytes("q"), Int(55)}),
                             kInfoRowVersion);
         },
         "11|NULL|50|NULL|q|55", "record names a layout version the table does not have"},
        {"both marks", MixedTableJson(2),
         [](CompactPage& leaf) {
             return leaf.Put(250, {1, 0x0B, 1},
                             Concat({Int(11), kSystem, Int(50), test::TextBytes("q"), Int(55)}),
                             kInfoRowVersion | kInfoInstantAdded);
         },
         "11|NULL|50|NULL|q|55", "record is marked both with a field count and a layout version"},
        {"a count on a table never changed in place", plain,
         [](CompactPage& leaf) {
             return leaf.Put(
                 250, {2, 3, 0x02},
                 Concat({Int(11), kSystem, test::TextBytes("new"), Int(7), test::TextBytes("xy")}),
                 kInfoInstantAdded);
         },
         "11|new|7|NULL|xy", "record is marked as changed in place but its table was not"},
        {"a version on a table without versions", InstantTableJson(2),
         [](CompactPage& leaf) {
             return leaf.Put(250, {3, 0x00}, Concat({Int(11), kSystem, test::TextBytes("new")}),
                             kInfoRowVersion);
         },
         "11|new|42|NULL|dflt", "record is marked as changed in place but its table was not"},
    };
    for (const Case& c : cases) {
        CompactPage leaf(3);
        const uint32_t bad = c.bad(leaf);
        // A whole record after it of the table's own kind: no mark needed on
        // a table never changed, the count on the others.
        const uint32_t good = c.json == plain
                                  ? leaf.Put(400, {1, 1, 0x02},
                                             Concat({Int(12), kSystem, test::TextBytes("g"), Int(1),
                                                     test::TextBytes("h")}))
                                  : leaf.Put(400, {1, 0x01, 5}, Concat({Int(12), kSystem, Int(1)}),
                                             kInfoInstantAdded);
        leaf.Chain({bad, good});
        InstantLayoutReading reading;
        const std::vector<std::string> rows = reading.Read(c.json, -1, leaf.bytes);
        ASSERT_EQ(rows.size(), 2u) << c.name;
        EXPECT_EQ(rows[0], c.badRow) << c.name;
        EXPECT_EQ(rows[1].substr(0, 3), "12|") << c.name;
        EXPECT_EQ(reading.Reasons(), std::vector<std::string>{c.reason}) << c.name;
        for (const DamageFinding& f : reading.damage.Findings()) {
            EXPECT_EQ(f.what, DamageWhat::kRecord) << c.name;
            EXPECT_TRUE(f.rowsStillRead) << c.name;
            EXPECT_EQ(f.page, 3) << c.name;
        }
    }
}

// Where the page's heap ends (the page header's heap top): the records of
// its list lie below.
void SetHeapTop(PageBuffer& page, uint16_t top) {
    page[38 + 2] = static_cast<uint8_t>(top >> 8);
    page[38 + 3] = static_cast<uint8_t>(top);
}

// Deleted records of every kind are found with the same layouts: a
// delete-marked record of the core fields, one with a field count and one
// with a version, each with its transaction id and roll pointer.
TEST(MySqlInstantDeleted, DeleteMarkedRecordsOfEveryKindAreFound) {
    const std::vector<uint8_t> system =
        Concat({test::BigEndian(0x123, 6), test::BigEndian(0x456, 7)});
    CompactPage leaf(3);
    const uint32_t old =
        leaf.Put(150, {3, 0x00}, Concat({Int(1), system, test::TextBytes("old")}), kInfoDeleted);
    const uint32_t counted = leaf.Put(200, {0x01, 5}, Concat({Int(2), system, Int(-5)}),
                                      kInfoDeleted | kInfoInstantAdded);
    const uint32_t versioned = leaf.Put(
        260, {1, 0x0B, 1}, Concat({Int(5), system, Int(50), test::TextBytes("q"), Int(55)}),
        kInfoDeleted | kInfoRowVersion);
    leaf.Chain({old, counted, versioned});
    SetHeapTop(leaf.bytes, 400);
    InstantLayoutReading reading;
    ASSERT_TRUE(reading.Lay(MixedTableJson(2), -1));
    std::vector<DeletedRecord> found;
    FindDeletedRecords(*reading.reader, ByteSpan(leaf.bytes), reading.app, found);
    std::vector<uint32_t> origins;
    for (const DeletedRecord& r : found) origins.push_back(r.origin);
    for (const uint32_t origin : {old, counted, versioned})
        EXPECT_NE(std::find(origins.begin(), origins.end(), origin), origins.end()) << origin;
}

// A redundant record of fewer fields than the table is one of the table's
// when its columns were added in place: it is found deleted, not left out.
TEST(MySqlInstantDeleted, RedundantRecordsOfFewerFieldsAreFound) {
    const std::vector<uint8_t> trx = test::BigEndian(0x123, 6);
    const std::vector<uint8_t> roll = test::BigEndian(0x456, 7);
    for (const bool mixed : {false, true}) {
        RedundantPage leaf(3, 77);
        const uint32_t old =
            leaf.Put(150, {Int(1), trx, roll, test::TextBytes("old")}, kInfoDeleted);
        leaf.Chain({old});
        SetHeapTop(leaf.bytes, 300);
        InstantLayoutReading reading;
        ASSERT_TRUE(reading.Lay(mixed ? MixedTableJson(4) : InstantTableJson(4), -1));
        std::vector<DeletedRecord> found;
        FindDeletedRecords(*reading.reader, ByteSpan(leaf.bytes), reading.app, found);
        ASSERT_FALSE(found.empty()) << mixed;
        EXPECT_EQ(found.front().origin, old) << mixed;
    }
}

}  // namespace
}  // namespace brix
