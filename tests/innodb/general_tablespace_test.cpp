// Tables of MySQL 5.7 general tablespaces (CREATE TABLESPACE ... ADD
// DATAFILE). No server we can run writes MySQL 5.7 files, so everything here
// is byte-built: a system tablespace whose redundant-layout dictionary pages
// hold SYS_TABLES, SYS_COLUMNS, SYS_INDEXES, SYS_TABLESPACES and
// SYS_DATAFILES, a general tablespace file with one compact leaf, and the
// table's .frm.

#include <gtest/gtest.h>

#include <fstream>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "innodb/dictionary.h"
#include "support/frm_builder.h"
#include "support/innodb_builder.h"
#include "support/test_support.h"

namespace brix {
namespace {

using test::BigEndian;
using test::RedundantPage;
using test::TextBytes;
using Field = std::optional<std::vector<uint8_t>>;

constexpr uint64_t kGeneralTable = 20;
constexpr uint64_t kSystemTable = 21;
constexpr uint64_t kTablespacesTable = 13;
constexpr uint64_t kDatafilesTable = 14;
constexpr uint32_t kGeneralSpace = 5;
constexpr uint64_t kGeneralIndex = 100;
constexpr uint64_t kSystemIndex = 103;
constexpr uint32_t kSystemTableRoot = 9;  // the rows of db/s, in ibdata1
constexpr uint32_t kGeneralRoot = 3;      // the rows of db/t, in ts1.ibd

std::vector<Field> TableRow(const std::string& name, uint64_t id, uint32_t space) {
    // NAME, transaction id, roll pointer, ID, N_COLS (top bit: compact rows), TYPE, MIX_ID,
    // MIX_LEN, CLUSTER_NAME, SPACE.
    return {TextBytes(name),    BigEndian(0, 6),           BigEndian(0, 7),
            BigEndian(id, 8),   BigEndian(0x80000002u, 4), BigEndian(1, 4),
            BigEndian(0, 8),    BigEndian(0, 4),           std::nullopt,
            BigEndian(space, 4)};
}

std::vector<Field> ColumnRow(uint64_t table, uint32_t pos, const std::string& name, uint32_t mtype,
                             uint32_t prtype, uint32_t len) {
    return {BigEndian(table, 8),  BigEndian(pos, 4), BigEndian(0, 6),
            BigEndian(0, 7),      TextBytes(name),   BigEndian(mtype, 4),
            BigEndian(prtype, 4), BigEndian(len, 4), BigEndian(0, 4)};
}

std::vector<Field> IndexRow(uint64_t table, uint64_t id, uint32_t space, uint32_t root) {
    // TABLE_ID, ID, system fields, NAME, N_FIELDS, TYPE (clustered, unique),
    // SPACE, PAGE_NO.
    return {BigEndian(table, 8), BigEndian(id, 8),     BigEndian(0, 6),
            BigEndian(0, 7),     TextBytes("PRIMARY"), BigEndian(1, 4),
            BigEndian(3, 4),     BigEndian(space, 4),  BigEndian(root, 4)};
}

class GeneralTablespaceTest : public ::testing::Test {
  protected:
    GeneralTablespaceTest() { Build(); }

    // Writes the data directory, SYS_DATAFILES naming datafilePath.
    void Build() {
        std::filesystem::create_directories(db());
        // The system tablespace: page 7 (the dictionary header) is left empty,
        // so the roots of 16 KiB pages are used.
        std::vector<PageBuffer> pages(14);
        RedundantPage tables(8);
        tables.PutChained({TableRow("SYS_TABLESPACES", kTablespacesTable, 0),
                           TableRow("SYS_DATAFILES", kDatafilesTable, 0),
                           TableRow("db/t", kGeneralTable, kGeneralSpace),
                           TableRow("db/s", kSystemTable, 0)});
        pages[8] = tables.bytes;
        pages[kSystemTableRoot] = test::TestTableLeaf(kSystemTableRoot, kSystemIndex, 1, 3);
        RedundantPage columns(10);
        constexpr uint32_t kInt = 6, kVarchar = 1;
        std::vector<std::vector<Field>> columnRows;
        for (uint64_t table : {kGeneralTable, kSystemTable}) {
            columnRows.push_back(ColumnRow(table, 0, "id", kInt, 0x103, 4));
            columnRows.push_back(ColumnRow(table, 1, "v", kVarchar, 15 | 8 << 16, 300));
        }
        columns.PutChained(columnRows);
        pages[10] = columns.bytes;
        RedundantPage indexes(11);
        indexes.PutChained({IndexRow(kTablespacesTable, 101, 0, 12),
                            IndexRow(kDatafilesTable, 102, 0, 13),
                            IndexRow(kGeneralTable, kGeneralIndex, kGeneralSpace, kGeneralRoot),
                            IndexRow(kSystemTable, kSystemIndex, 0, kSystemTableRoot)});
        pages[11] = indexes.bytes;
        RedundantPage spaces(12);
        spaces.PutChained({{BigEndian(kGeneralSpace, 4), BigEndian(0, 6), BigEndian(0, 7),
                            TextBytes("ts1"), BigEndian(0x800, 4)}});
        pages[12] = spaces.bytes;
        RedundantPage files(13);
        files.PutChained({{BigEndian(kGeneralSpace, 4), BigEndian(0, 6), BigEndian(0, 7),
                           TextBytes(datafilePath)}});
        pages[13] = files.bytes;
        test::WriteTablespace(dir.path() / "ibdata1", pages);

        // The general tablespace: its flags say shared; the table's root leaf.
        std::vector<PageBuffer> general(4);
        general[0][38 + 16 + 2] = 0x08;
        general[kGeneralRoot] = test::TestTableLeaf(kGeneralRoot, kGeneralIndex, 10, 14);
        test::WriteTablespace(dir.path() / "ts1.ibd", general);

        for (const char* name : {"t", "s"}) {
            test::FrmBuilder frm;
            frm.engine = 12;
            frm.columns = {
                {.name = "id", .type = 3, .length = 11, .packFlags = 1},
                {.name = "v", .type = 15, .length = 300, .packFlags = 0x8000, .storedBytes = 302}};
            frm.keys = {{.name = "PRIMARY", .unique = true, .fieldNumbers = {1}}};
            test::WriteFile(db() / (std::string(name) + ".frm"), frm.Build());
        }
    }

    std::filesystem::path db() const { return dir.path() / "db"; }

    // The rows of table, as "id:v", and the reasons of what was reported.
    std::vector<std::string> Rows(const char16_t* table, std::vector<std::string>& reasons) {
        CInnoDictionary dictionary;
        EXPECT_TRUE(dictionary.Open(dir.path() / "ibdata1", *app));
        CDamageReport report;
        CReadOptions options;
        options.damage = &report;
        CTableRows rows;
        EXPECT_EQ(rows.Open(db(), table, *app, options, &dictionary), OpenRowsResult::kOk);
        std::vector<std::string> out;
        for (size_t r = 0; r < rows.rows().rowCount(); ++r)
            out.push_back(Utf16ToUtf8(rows.rows().Text(r, 0)) + ":" +
                          Utf16ToUtf8(rows.rows().Text(r, 1)));
        for (const DamageFinding& f : report.Findings()) reasons.push_back(f.why);
        return out;
    }

    std::string datafilePath = "./ts1.ibd";
    test::TempDir dir;
    std::unique_ptr<CAppState> app = test::NewTestApp();
};

TEST_F(GeneralTablespaceTest, DictionaryMapsTheSpaceToItsFile) {
    CInnoDictionary dictionary;
    ASSERT_TRUE(dictionary.Open(dir.path() / "ibdata1", *app));
    ASSERT_EQ(dictionary.tablespaces().size(), 1u);
    EXPECT_EQ(dictionary.tablespaces()[0].spaceId, kGeneralSpace);
    EXPECT_EQ(Utf16ToUtf8(dictionary.tablespaces()[0].name), "ts1");
    EXPECT_EQ(dictionary.tablespaces()[0].flags, 0x800u);
    EXPECT_EQ(Utf16ToUtf8(dictionary.FindDatafilePath(kGeneralSpace)), "./ts1.ibd");
    EXPECT_TRUE(dictionary.FindDatafilePath(0).empty());
    EXPECT_TRUE(dictionary.FindDatafilePath(77).empty());
}

TEST_F(GeneralTablespaceTest, RowsComeFromTheNamedFileAndSystemTablesStillRead) {
    std::vector<std::string> reasons;
    EXPECT_EQ(Rows(u"t", reasons),
              (std::vector<std::string>{"10:v10", "11:v11", "12:v12", "13:v13", "14:v14"}));
    EXPECT_TRUE(reasons.empty());
    EXPECT_EQ(Rows(u"s", reasons), (std::vector<std::string>{"1:v1", "2:v2", "3:v3"}));
    EXPECT_TRUE(reasons.empty());
}

TEST_F(GeneralTablespaceTest, AbsolutePathOfAnotherMachineFallsBackToTheDataDirectory) {
    datafilePath = "/var/lib/mysql-elsewhere/ts1.ibd";
    Build();
    std::vector<std::string> reasons;
    EXPECT_EQ(Rows(u"t", reasons).size(), 5u);
    EXPECT_TRUE(reasons.empty());
}

TEST_F(GeneralTablespaceTest, MissingTablespaceFileIsReportedAsAMissingDataFile) {
    std::filesystem::remove(dir.path() / "ts1.ibd");
    std::vector<std::string> reasons;
    EXPECT_TRUE(Rows(u"t", reasons).empty());
    EXPECT_EQ(reasons, std::vector<std::string>{"data file missing"});
}

TEST_F(GeneralTablespaceTest, TableOfAnotherSpaceIsNeverReadFromTheSystemTablespace) {
    // SYS_DATAFILES is lost: the table's space is known, its file is not. The
    // root page the dictionary names is one of that file; ibdata1's page of
    // that number holds the rows of db/s.
    std::vector<PageBuffer> pages(14);
    std::ifstream in(dir.path() / "ibdata1", std::ios::binary);
    for (PageBuffer& p : pages) in.read(reinterpret_cast<char*>(p.data()), p.size());
    in.close();
    pages[13] = PageBuffer{};
    pages[kGeneralRoot] = test::TestTableLeaf(kGeneralRoot, kSystemIndex, 1, 3);
    test::WriteTablespace(dir.path() / "ibdata1", pages);
    std::vector<std::string> reasons;
    EXPECT_TRUE(Rows(u"t", reasons).empty());
    EXPECT_EQ(reasons, std::vector<std::string>{"data file missing"});
}

}  // namespace
}  // namespace brix
