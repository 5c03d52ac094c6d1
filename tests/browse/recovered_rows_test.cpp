// Rows read back from a data file that no table owns any more, by the
// definition of a table: the table's own file gives its rows, live and
// deleted, and nothing else; a file of other tables gives no row at all.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/text.h"
#include "browse/table_rows.h"
#include "support/expected_rows.h"
#include "support/table_read.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::filesystem::path kFixtures = test::SourceDir() / "tests" / "fixtures";
const std::filesystem::path kRecover = kFixtures / "deleted" / "datadir" / "recover";
const std::filesystem::path kDatadir = kFixtures / "datadir";

struct Recovered {
    OpenRowsResult opened = OpenRowsResult::kOk;
    std::vector<test::ReadRow> rows;
    CDamageReport damage;
};

// Every window of the rows of file read by the definition of folder/table.
void ReadRecovered(const std::filesystem::path& folder, const std::string& table,
                   const std::filesystem::path& file, size_t windowRows, Recovered& out) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CReadOptions options;
    options.recoverFrom = file;
    options.windowRows = windowRows;
    options.damage = &out.damage;
    CTableRows rows;
    out.opened = rows.Open(folder, Utf8ToUtf16(table), *app, options);
    if (out.opened != OpenRowsResult::kOk) return;
    EXPECT_TRUE(rows.deletedMode());
    size_t windows = 0;
    do {
        EXPECT_EQ(rows.rows().columnCount(), rows.table().columns.size() + 2);
        EXPECT_LE(rows.rows().rowCount(), windowRows);
        test::AppendWindowRows(rows.rows(), out.rows);
    } while (rows.ReadNextWindow(*app) && ++windows < 100000);
}

// The server's rows of the table (without the header line), live or deleted.
std::vector<std::vector<std::string>> ServerRows(const std::string& table, const char* which) {
    auto rows = test::ReadTsv(kFixtures / "deleted" / "expected" / "recover" /
                              (table + "." + which + ".tsv"));
    if (!rows.empty()) rows.erase(rows.begin());
    return rows;
}

// The row's cells as the server prints them, when no column is unknown.
std::vector<std::string> Cells(const test::ReadRow& row) {
    std::vector<std::string> cells;
    for (size_t c = 0; c + 2 < row.texts.size(); ++c)
        cells.push_back(row.nulls[c] ? "NULL" : row.texts[c]);
    return cells;
}

TEST(RecoveredRowsTest, ADroppedTablesFileGivesItsLiveAndDeletedRowsOnce) {
    struct Case {
        const char* table;
        const char* live;     // the source of its live rows
        const char* deleted;  // the source of its deleted ones
        // Of the deleted rows, how many must be found whole at least.
        double leastDeleted;
    };
    const Case cases[] = {
        {"inno_kept", "recovered-page", "delete-marked", 1.0},
        {"inno_purged", "recovered-page", "delete-marked", 0.0},
        {"my_fixed", "recovered-row", "deleted-slot", 0.0},
        {"my_dynamic_lead", "recovered-row", "deleted-block", 0.0},
    };
    for (const Case& c : cases) {
        for (const size_t windowRows : {kWindowRows, size_t{7}}) {
            SCOPED_TRACE(std::string(c.table) + " windows of " + std::to_string(windowRows));
            const std::string table = c.table;
            const bool inno = table.starts_with("inno");
            Recovered got;
            ReadRecovered(kRecover, table, kRecover / (table + (inno ? ".ibd" : ".MYD")),
                          windowRows, got);
            ASSERT_EQ(got.opened, OpenRowsResult::kOk);
            const auto live = ServerRows(table, "live");
            const auto deleted = ServerRows(table, "deleted");
            std::set<std::vector<std::string>> liveSet(live.begin(), live.end());
            std::set<std::vector<std::string>> deletedSet(deleted.begin(), deleted.end());
            std::set<std::vector<std::string>> liveFound;
            std::set<std::vector<std::string>> deletedFound;
            for (const test::ReadRow& row : got.rows) {
                const size_t columns = row.texts.size() - 2;
                const std::string& source = row.texts[columns];
                if (source == c.live) {
                    EXPECT_TRUE(liveSet.count(Cells(row))) << row.texts[0];
                    EXPECT_TRUE(liveFound.insert(Cells(row)).second) << "twice: " << row.texts[0];
                    continue;
                }
                // Deleted rows as rows --deleted gives them; the whole ones
                // are the server's deleted rows.
                EXPECT_TRUE(source == c.deleted || source == "free-list") << source;
                if (row.texts[columns + 1].empty()) {
                    EXPECT_TRUE(deletedSet.count(Cells(row))) << source << " " << row.texts[0];
                    EXPECT_TRUE(deletedFound.insert(Cells(row)).second)
                        << "twice: " << row.texts[0];
                }
            }
            EXPECT_EQ(liveFound.size(), live.size());
            EXPECT_GE(static_cast<double>(deletedFound.size()), c.leastDeleted * deleted.size());
            EXPECT_EQ(got.damage.LossCount(), 0u);
        }
    }
}

TEST(RecoveredRowsTest, FilesOfOtherTablesGiveNoRows) {
    struct Case {
        std::filesystem::path folder;
        const char* table;
        std::filesystem::path file;
    };
    const Case cases[] = {
        // A system tablespace: the dictionary's indexes and nothing else.
        {kRecover, "inno_kept", kDatadir / "ibdata1"},
        {kRecover, "inno_kept", kDatadir / "paging" / "inno_dynamic_2500.ibd"},
        {kRecover, "inno_kept", kDatadir / "paging" / "inno_redundant_2500.ibd"},
        {kRecover, "inno_kept", kDatadir / "paging" / "inno_nokey_2500.ibd"},
        {kRecover, "inno_kept", kDatadir / "shop" / "orders.ibd"},
        {kRecover, "inno_kept", kDatadir / "types" / "strings_inno.ibd"},
        {kRecover, "inno_kept", kRecover / "my_dynamic.MYD"},
        {kDatadir / "paging", "inno_dynamic_2500", kRecover / "inno_kept.ibd"},
        {kDatadir / "paging", "inno_nokey_2500", kRecover / "inno_kept.ibd"},
        {kDatadir / "paging", "inno_nokey_2500", kDatadir / "ibdata1"},
        {kDatadir / "types", "ints_inno", kDatadir / "types" / "nums_inno.ibd"},
        {kDatadir / "types", "ints_inno", kDatadir / "ibdata1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.table) + " from " + c.file.string());
        Recovered got;
        ReadRecovered(c.folder, c.table, c.file, kWindowRows, got);
        EXPECT_EQ(got.opened, OpenRowsResult::kOk);
        EXPECT_TRUE(got.rows.empty())
            << got.rows.size() << " rows, first " << (got.rows.empty() ? "" : got.rows[0].texts[0]);
        // Nothing read, and the reason told.
        EXPECT_GE(got.damage.LossCount(), 1u);
    }
}

TEST(RecoveredRowsTest, AMissingFileIsTold) {
    Recovered got;
    ReadRecovered(kRecover, "inno_kept", kRecover / "no_such.ibd", kWindowRows, got);
    EXPECT_EQ(got.opened, OpenRowsResult::kOk);
    EXPECT_TRUE(got.rows.empty());
    ASSERT_EQ(got.damage.Findings().size(), 1u);
    EXPECT_EQ(got.damage.Findings()[0].why, "data file missing");
}

// The window's command names the definition file itself, not a table of a
// data directory.
TEST(RecoveredRowsTest, ReadsByADefinitionFileNamedDirectly) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CTableRows rows;
    ASSERT_EQ(rows.OpenRecovered(kRecover / "inno_kept.frm", kRecover / "inno_kept.ibd", *app),
              OpenRowsResult::kOk);
    EXPECT_TRUE(rows.deletedMode());
    EXPECT_GT(rows.rows().rowCount(), 0u);
    EXPECT_EQ(rows.OpenRecovered(kRecover / "no_such.frm", kRecover / "inno_kept.ibd", *app),
              OpenRowsResult::kNoDefinition);
}

// A table's own data file read as a dropped table's gives every row the
// live reader gives (which other tests hold to the server's), whatever its
// columns hold: the record written last, whose NULL or empty last fields end
// exactly at the top of the heap, and the redundant layout, whose NULLs of
// fixed length keep their bytes, make a page fit like any other. Tables
// MariaDB changed in place are read by the metadata under their instant
// root: records from before and after the change, the metadata record
// itself no row.
TEST(RecoveredRowsTest, EveryRowOfATablesOwnFileIsRecoveredAsTheLiveReaderReadsIt) {
    const std::pair<const char*, const char*> tables[] = {
        {"nulls", "many_nulls_inno"},    {"formats", "redundant_t"},
        {"formats", "compact_t"},        {"paging", "inno_redundant_300"},
        {"paging", "inno_nulls_wide"},   {"types", "bits_inno"},
        {"types", "temporal_inno"},      {"types", "strings_inno"},
        {"paging", "inno_deletes_2500"}, {"evolve", "inst_add"},
        {"evolve", "inst_add_compact"},  {"evolve", "inst_add_redundant"},
        {"evolve", "inst_drop"}};
    test::TempDir spill;
    for (const auto& [database, table] : tables) {
        SCOPED_TRACE(std::string(database) + "." + table);
        Recovered got;
        ReadRecovered(kDatadir / database, table,
                      kDatadir / database / (std::string(table) + ".ibd"), kWindowRows, got);
        ASSERT_EQ(got.opened, OpenRowsResult::kOk);
        for (const DamageFinding& f : got.damage.Findings()) ADD_FAILURE() << DamageLine(f);
        std::multiset<std::vector<std::string>> recovered;
        for (const test::ReadRow& row : got.rows)
            if (row.texts[row.texts.size() - 2] == "recovered-page") recovered.insert(Cells(row));
        const test::TableRead read =
            test::ReadWholeTable(kDatadir / database, table, false, spill.path());
        ASSERT_FALSE(read.rows.empty());
        std::multiset<std::vector<std::string>> live;
        for (const test::ReadRow& row : read.rows) {
            std::vector<std::string> cells;
            for (size_t c = 0; c < row.texts.size(); ++c)
                cells.push_back(row.nulls[c] ? "NULL" : row.texts[c]);
            live.insert(std::move(cells));
        }
        EXPECT_EQ(recovered.size(), live.size());
        EXPECT_TRUE(recovered == live);
    }
}

}  // namespace
}  // namespace brix
