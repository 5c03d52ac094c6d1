// Deleted rows recovered from tables a real server wrote, each compared with
// the rows the server showed before it deleted them: every recovered row must
// be one of those (on every column that was not overwritten), never a row
// still in the table, and never one that no table held.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

#include "app/text.h"
#include "browse/table_rows.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::filesystem::path DeletedFixtures() {
    return test::SourceDir() / "tests" / "fixtures" / "deleted";
}

// Where a table of the fixtures is: made by MariaDB (its .frm files), or by
// MySQL 9 (described by its tablespace or .sdi file).
struct Source {
    std::filesystem::path root = DeletedFixtures();
    std::string database = "recover";
};
const Source kMysql9{test::SourceDir() / "tests" / "fixtures" / "deleted-mysql9", "undel"};

// Reads every window of the table's deleted rows, in windows of windowRows
// so that paging through bookmarks is part of what is checked.
std::vector<test::ReadRow> ReadDeletedRows(const std::string& table, size_t windowRows,
                                           CDamageSink* damage = nullptr,
                                           const Source& source = {}) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CReadOptions options;
    options.deleted = true;
    options.windowRows = windowRows;
    options.damage = damage;
    CTableRows rows;
    EXPECT_EQ(
        rows.Open(source.root / "datadir" / source.database, Utf8ToUtf16(table), *app, options),
        OpenRowsResult::kOk);
    EXPECT_TRUE(rows.deletedMode());
    std::vector<test::ReadRow> got;
    size_t windows = 0;
    do {
        EXPECT_EQ(rows.rows().columnCount(), rows.table().columns.size() + 2);
        EXPECT_LE(rows.rows().rowCount(), windowRows);
        test::AppendWindowRows(rows.rows(), got);
    } while (rows.ReadNextWindow(*app) && ++windows < 10000);
    return got;
}

// The server's rows without their header line.
std::vector<std::vector<std::string>> ServerRows(const std::string& file,
                                                 const Source& source = {}) {
    std::vector<std::vector<std::string>> rows =
        test::ReadTsv(source.root / "expected" / source.database / file);
    if (!rows.empty()) rows.erase(rows.begin());
    return rows;
}

// Whether a recovered row (table columns, then _source and _unknown) agrees
// with a server row on every column it knows.
bool Matches(const test::ReadRow& got, const std::vector<std::string>& server) {
    const size_t columns = got.texts.size() - 2;
    if (server.size() != columns) return false;
    const std::string& unknown = got.texts[columns + 1];
    std::set<size_t> lost;
    for (size_t c = 0; c < columns; ++c)
        if (got.nulls[c] && !unknown.empty()) lost.insert(c);
    for (size_t c = 0; c < columns; ++c) {
        if (lost.count(c)) continue;
        const std::string text = got.nulls[c] ? "NULL" : got.texts[c];
        if (text != server[c]) return false;
    }
    return true;
}

struct Recovery {
    size_t rows = 0;
    size_t deletedRowsFound = 0;
    std::vector<std::string> problems;
};

Recovery CheckRecovered(const std::string& table, const std::vector<test::ReadRow>& got,
                        const std::set<std::string>& sources, const Source& source = {}) {
    const auto deleted = ServerRows(table + ".deleted.tsv", source);
    const auto live = ServerRows(table + ".live.tsv", source);
    Recovery result;
    result.rows = got.size();
    std::vector<bool> found(deleted.size(), false);
    for (size_t r = 0; r < got.size(); ++r) {
        const test::ReadRow& row = got[r];
        std::ostringstream where;
        where << table << " row " << r << ": ";
        for (const std::string& t : row.texts) where << t << " | ";
        const size_t columns = row.texts.size() - 2;
        if (!sources.count(row.texts[columns]))
            result.problems.push_back(where.str() + "unexpected _source");
        // Overwritten columns are NULL and named; nothing else is NULL
        // without the server having shown NULL there.
        bool any = false;
        for (size_t d = 0; d < deleted.size(); ++d) {
            if (!Matches(row, deleted[d])) continue;
            any = true;
            found[d] = true;
        }
        if (!any) result.problems.push_back(where.str() + "matches no deleted row");
        if (row.texts[columns + 1].empty())
            for (const auto& l : live)
                if (Matches(row, l)) result.problems.push_back(where.str() + "is a live row");
    }
    result.deletedRowsFound = static_cast<size_t>(std::count(found.begin(), found.end(), true));
    std::printf("[ recovery ] %s: %zu of %zu deleted rows found, %zu rows shown\n", table.c_str(),
                result.deletedRowsFound, deleted.size(), result.rows);
    return result;
}

TEST(DeletedRowsFixtureTest, RecoveredRowsAreDeletedRowsAndNothingElse) {
    struct Case {
        const char* table;
        std::set<std::string> sources;
        // Of the deleted rows, how many must be found at least.
        double leastRate;
    };
    const Case cases[] = {
        // Purge was held off: every deleted row is still delete-marked.
        {"inno_kept", {"delete-marked", "free-list"}, 1.0},
        // Purge ran and wiped what it freed: nothing false may come of it.
        {"inno_purged", {"delete-marked", "free-list"}, 0.0},
        // Deleted slots keep all but the bytes of the link.
        {"my_fixed", {"deleted-slot"}, 1.0},
        // A deleted block's header took the VARCHAR length at its start:
        // nothing can be read back.
        {"my_dynamic", {"deleted-block"}, 0.0},
        // Fixed-length fields lead: the rest of the record is read back
        // where the flags it lost follow from its bytes alone.
        {"my_dynamic_lead", {"deleted-block"}, 0.15},
        // The same, half of the rows grown into a second block before the
        // delete: those are read through both blocks.
        {"my_grown", {"deleted-block"}, 0.1},
    };
    for (const Case& c : cases) {
        for (size_t windowRows : {kWindowRows, size_t{7}}) {
            SCOPED_TRACE(std::string(c.table) + " windows of " + std::to_string(windowRows));
            const std::vector<test::ReadRow> got = ReadDeletedRows(c.table, windowRows);
            const Recovery r = CheckRecovered(c.table, got, c.sources);
            for (const std::string& p : r.problems) ADD_FAILURE() << p;
            const size_t deleted = ServerRows(std::string(c.table) + ".deleted.tsv").size();
            EXPECT_GE(static_cast<double>(r.deletedRowsFound), c.leastRate * deleted);
            // A row is found once.
            EXPECT_LE(r.rows, deleted);
        }
    }
}

TEST(DeletedRowsFixtureTest, FixedSlotsNameTheColumnsTheLinkOverwrote) {
    const std::vector<test::ReadRow> got = ReadDeletedRows("my_fixed", kWindowRows);
    ASSERT_FALSE(got.empty());
    for (const test::ReadRow& row : got) {
        const size_t columns = row.texts.size() - 2;
        // The null flags, the first column and part of the second lie in
        // the link's bytes.
        EXPECT_EQ(row.texts[columns + 1], "id,price,qty");
        EXPECT_TRUE(row.nulls[0]);
        EXPECT_FALSE(row.nulls[2]);
    }
}

TEST(DeletedRowsFixtureTest, LiveRowsModeIsUntouched) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CTableRows rows;
    ASSERT_EQ(rows.Open(DeletedFixtures() / "datadir" / "recover", u"my_fixed", *app),
              OpenRowsResult::kOk);
    EXPECT_FALSE(rows.deletedMode());
    EXPECT_EQ(rows.rows().columnCount(), rows.table().columns.size());
    EXPECT_EQ(rows.rows().rowCount(), ServerRows("my_fixed.live.tsv").size());
}

// A table whose deletes were not purged yet keeps the deleted records in its
// pages with their delete mark: its live rows are the server's, without them,
// while the deleted ones are read apart.
TEST(DeletedRowsFixtureTest, LiveRowsLeaveOutRecordsMarkedDeleted) {
    for (const char* table : {"inno_kept", "inno_purged"}) {
        SCOPED_TRACE(table);
        const std::unique_ptr<CAppState> app = test::NewTestApp();
        CTableRows rows;
        ASSERT_EQ(rows.Open(DeletedFixtures() / "datadir" / "recover", Utf8ToUtf16(table), *app),
                  OpenRowsResult::kOk);
        std::vector<test::ReadRow> got;
        do {
            test::AppendWindowRows(rows.rows(), got);
        } while (rows.ReadNextWindow(*app));
        const std::vector<std::vector<std::string>> live =
            ServerRows(std::string(table) + ".live.tsv");
        ASSERT_EQ(got.size(), live.size());
        for (size_t r = 0; r < live.size(); ++r)
            EXPECT_EQ(got[r].texts.front(), live[r].front()) << r;
    }
}

// Tables of MySQL 9, described by their own tablespace and .sdi file: the
// InnoDB one changed its columns in place twice, so its delete-marked
// records carry three row versions.
TEST(DeletedRowsFixtureTest, DeletedRowsOfMysql9TablesAreRecovered) {
    const struct {
        const char* table;
        std::set<std::string> sources;
        double leastRate;
    } cases[] = {
        {"inno_versions", {"delete-marked", "free-list"}, 1.0},
        // Two INTs and a DATE lead: the free block's header takes the
        // VARCHAR's length, and nothing may be made of the rest.
        {"my_lead", {"deleted-block"}, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        const std::vector<test::ReadRow> got = ReadDeletedRows(c.table, 7, nullptr, kMysql9);
        const Recovery r = CheckRecovered(c.table, got, c.sources, kMysql9);
        for (const std::string& p : r.problems) ADD_FAILURE() << p;
        const size_t deleted = ServerRows(std::string(c.table) + ".deleted.tsv", kMysql9).size();
        ASSERT_GT(deleted, 0u);
        EXPECT_GE(static_cast<double>(r.deletedRowsFound),
                  c.leastRate * static_cast<double>(deleted));
        EXPECT_LE(r.rows, deleted);
    }
    // The live rows of every version, the DECIMAL dropped in place included
    // (MySQL keeps no precision for it), are the server's.
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CTableRows rows;
    ASSERT_EQ(rows.Open(kMysql9.root / "datadir" / kMysql9.database, u"inno_versions", *app),
              OpenRowsResult::kOk);
    std::vector<test::ReadRow> got;
    do {
        test::AppendWindowRows(rows.rows(), got);
    } while (rows.ReadNextWindow(*app));
    const auto live = ServerRows("inno_versions.live.tsv", kMysql9);
    ASSERT_EQ(got.size(), live.size());
    for (size_t r = 0; r < live.size(); ++r) {
        std::vector<std::string> cells;
        for (size_t c = 0; c < got[r].texts.size(); ++c)
            cells.push_back(got[r].nulls[c] ? "NULL" : got[r].texts[c]);
        EXPECT_EQ(cells, live[r]) << r;
    }
}

}  // namespace
}  // namespace brix
