// Partitioned tables read as one table: tables a real MariaDB server wrote,
// one data file per partition, compared with the rows the server returned
// partition by partition; the partition list from .par files and clauses;
// paging across partitions and a partition whose files are gone.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/text.h"
#include "browse/table_rows.h"
#include "catalogue/partitions.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

fs::path PartsDir() {
    return test::SourceDir() / "tests/fixtures/mariadb-parts";
}

using Rows = std::vector<std::vector<std::string>>;

Rows WindowRows(const CRowWindow& window) {
    Rows rows;
    for (size_t r = 0; r < window.rowCount(); ++r) {
        rows.emplace_back();
        for (size_t c = 0; c < window.columnCount(); ++c)
            rows.back().push_back(window.IsNull(r, c) ? "NULL" : test::U8(window.Text(r, c)));
    }
    return rows;
}

// Every row of the table, window after window; the sizes of the windows.
Rows ReadAllRows(CTableRows& table, CAppState& app, std::vector<size_t>* windowSizes = nullptr) {
    Rows all;
    // Far more windows than any fixture table has: a read that goes on past
    // it never ends.
    for (int windows = 0;; ++windows) {
        if (windows == 100) {
            ADD_FAILURE() << "the windows do not end";
            break;
        }
        const Rows window = WindowRows(table.rows());
        if (windowSizes) windowSizes->push_back(window.size());
        all.insert(all.end(), window.begin(), window.end());
        if (!table.ReadNextWindow(app)) break;
    }
    return all;
}

// The server's rows, without the header line.
Rows ExpectedRows(const std::string& table) {
    Rows rows = test::ReadTsv(PartsDir() / "expected/parts" / (table + ".select.tsv"));
    if (!rows.empty()) rows.erase(rows.begin());
    return rows;
}

// The leaf name of a partition: a subpartition's own name.
std::string LeafName(const std::u16string& name) {
    const size_t marker = name.find(u"#SP#");
    return test::U8(marker == std::u16string::npos ? name : name.substr(marker + 4));
}

TEST(PartitionRowsTest, EveryTableReadsAsTheServerReturnedItPartitionByPartition) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    for (const char* name :
         {"inno_range", "inno_list", "inno_sub", "my_hash", "my_key", "my_sub"}) {
        SCOPED_TRACE(name);
        CDamageReport damage;
        CReadOptions options;
        options.damage = &damage;
        CTableRows table;
        ASSERT_EQ(table.Open(PartsDir() / "datadir/parts", Utf8ToUtf16(name), *app, options),
                  OpenRowsResult::kOk);
        std::vector<std::string> names;
        for (const CPartitionFile& part : table.partitions()) names.push_back(LeafName(part.name));
        std::vector<std::string> expectedNames;
        for (const auto& line :
             test::ReadTsv(PartsDir() / "expected/parts" / (std::string(name) + ".partitions")))
            expectedNames.push_back(line.at(0));
        EXPECT_EQ(names, expectedNames);
        std::vector<size_t> sizes;
        const Rows expected = ExpectedRows(name);
        EXPECT_EQ(ReadAllRows(table, *app, &sizes), expected);
        // Windows fill from as many partitions as they need: only the last
        // is short.
        for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], kWindowRows);
        EXPECT_EQ(damage.Count(), 0u);
    }
}

// Off-page values of a partitioned table are kept by their reference, each
// marked with its partition, and read from that partition's tablespace.
TEST(PartitionRowsTest, OffPageValuesOfEveryPartitionAreReadFromTheirOwnTablespace) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CDamageReport damage;
    CReadOptions options;
    options.exportMode = true;
    options.keepExternal = true;
    options.damage = &damage;
    CTableRows table;
    ASSERT_EQ(table.Open(PartsDir() / "datadir/parts", u"inno_long", *app, options),
              OpenRowsResult::kOk);
    CExternalValues values;
    ASSERT_TRUE(values.Open(table.TablespacePaths()));
    Rows got;
    std::set<uint16_t> sources;
    for (int windows = 0; windows < 10; ++windows) {
        const CRowWindow& window = table.rows();
        for (size_t r = 0; r < window.rowCount(); ++r) {
            got.emplace_back();
            for (size_t c = 0; c < window.columnCount(); ++c) {
                if (!window.IsExternal(r, c)) {
                    got.back().push_back(window.IsNull(r, c) ? "NULL"
                                                             : test::U8(window.Text(r, c)));
                    continue;
                }
                sources.insert(window.External(r, c).source);
                std::u16string text;
                values.Render(table.table(), window, r, c, *app, &damage,
                              [&text](std::u16string_view piece) { text += piece; });
                got.back().push_back(test::U8(text));
            }
        }
        if (!table.ReadNextWindow(*app)) break;
    }
    EXPECT_EQ(got, ExpectedRows("inno_long"));
    EXPECT_EQ(sources, (std::set<uint16_t>{0, 1}));
    EXPECT_EQ(damage.Count(), 0u);
}

TEST(PartitionRowsTest, PagingBackAcrossPartitionsReadsTheSameWindowsAndNamesTheirPartition) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    // inno_range: 700 rows in p0, none in p1, 600 in p2. my_hash: 400 in each
    // of three.
    struct Case {
        const char* table;
        const char* secondStartsIn;
    };
    for (const Case& c : {Case{"inno_range", "p2"}, Case{"my_hash", "p2"}}) {
        SCOPED_TRACE(c.table);
        CTableRows table;
        ASSERT_EQ(table.Open(PartsDir() / "datadir/parts", Utf8ToUtf16(c.table), *app),
                  OpenRowsResult::kOk);
        const Rows first = WindowRows(table.rows());
        ASSERT_TRUE(table.ReadNextWindow(*app));
        const Rows second = WindowRows(table.rows());
        EXPECT_FALSE(table.ReadNextWindow(*app));
        const std::vector<RecordBookmark> bookmarks = table.window().bookmarks;
        ASSERT_GE(bookmarks.size(), 2u);
        EXPECT_EQ(test::U8(table.PartitionName(bookmarks[0])), "p0");
        EXPECT_EQ(test::U8(table.PartitionName(bookmarks[1])), c.secondStartsIn);
        table.ReadWindowAt(bookmarks[0], false, *app);
        EXPECT_EQ(WindowRows(table.rows()), first);
        table.ReadWindowAt(bookmarks[1], false, *app);
        EXPECT_EQ(WindowRows(table.rows()), second);
        EXPECT_EQ(table.window().bookmarks.size(), bookmarks.size());
        Rows all = first;
        all.insert(all.end(), second.begin(), second.end());
        EXPECT_EQ(all, ExpectedRows(c.table));
    }
}

TEST(PartitionRowsTest, MissingPartitionIsReportedAndTheOthersAreRead) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    struct Case {
        const char* table;
        std::vector<const char*> removed;
        size_t p0Rows;  // the rows of p0, the first in the server's answer
    };
    for (const Case& c : {Case{"my_hash", {"my_hash#P#p0.MYI", "my_hash#P#p0.MYD"}, 400},
                          Case{"inno_range", {"inno_range#P#p0.ibd"}, 700}}) {
        SCOPED_TRACE(c.table);
        test::TempDir dir;
        for (const auto& entry : fs::directory_iterator(PartsDir() / "datadir/parts"))
            fs::copy_file(entry.path(), dir.path() / entry.path().filename());
        for (const char* file : c.removed) fs::remove(dir.path() / file);
        CDamageReport damage;
        CReadOptions options;
        options.damage = &damage;
        CTableRows table;
        ASSERT_EQ(table.Open(dir.path(), Utf8ToUtf16(c.table), *app, options), OpenRowsResult::kOk);
        const Rows got = ReadAllRows(table, *app);
        const Rows expected = ExpectedRows(c.table);
        EXPECT_EQ(got,
                  Rows(expected.begin() + static_cast<std::ptrdiff_t>(c.p0Rows), expected.end()));
        bool named = false;
        for (const DamageFinding& finding : damage.Findings())
            named |= finding.why == "data file missing" &&
                     finding.file.find(c.removed.back()) != std::string::npos;
        EXPECT_TRUE(named);
        EXPECT_GT(damage.LossCount(), 0u);
    }
}

// A damaged partition file, whatever the damage: the read ends, the other
// partitions' rows are all there, and the rows come out as the server's or
// a finding says why not.
TEST(PartitionRowsTest, DamagedPartitionFilesAreReadToAnEndAndReported) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    struct Case {
        const char* table;
        const char* file;
        size_t rowsBefore;  // rows of the partitions before the damaged one
    };
    const Case cases[] = {
        {"my_hash", "my_hash#P#p1.MYD", 400},
        {"my_hash", "my_hash#P#p1.MYI", 400},
        {"inno_sub", "inno_sub#P#old#SP#oldsp1.ibd", 0},
        {"inno_range", "inno_range#P#p2.ibd", 700},
    };
    using Damage = void (*)(std::vector<uint8_t>&);
    const std::pair<const char*, Damage> damages[] = {
        {"cut in half", [](std::vector<uint8_t>& b) { b.resize(b.size() / 2); }},
        {"empty", [](std::vector<uint8_t>& b) { b.clear(); }},
        {"middle zeroed",
         [](std::vector<uint8_t>& b) {
             std::fill(b.begin() + static_cast<std::ptrdiff_t>(b.size() / 4),
                       b.begin() + static_cast<std::ptrdiff_t>(b.size() / 2), 0);
         }},
        {"bytes flipped",
         [](std::vector<uint8_t>& b) {
             for (size_t i = 7; i < b.size(); i += 997) b[i] ^= 0x5A;
         }},
    };
    for (const Case& c : cases) {
        for (const auto& [what, damage] : damages) {
            SCOPED_TRACE(std::string(c.file) + ": " + what);
            test::TempDir dir;
            for (const auto& entry : fs::directory_iterator(PartsDir() / "datadir/parts"))
                fs::copy_file(entry.path(), dir.path() / entry.path().filename());
            std::vector<uint8_t> bytes = test::ReadFileBytes(dir.path() / c.file);
            damage(bytes);
            test::WriteFile(dir.path() / c.file, bytes);
            CDamageReport report;
            CReadOptions options;
            options.damage = &report;
            CTableRows table;
            const OpenRowsResult opened =
                table.Open(dir.path(), Utf8ToUtf16(c.table), *app, options);
            if (opened != OpenRowsResult::kOk) {
                EXPECT_EQ(opened, OpenRowsResult::kReadError);
                continue;
            }
            const Rows got = ReadAllRows(table, *app);
            const Rows expected = ExpectedRows(c.table);
            if (got != expected) {
                EXPECT_GT(report.Count(), 0u);
            }
            // The partitions before the damaged one are read whole.
            const auto before = static_cast<std::ptrdiff_t>(c.rowsBefore);
            ASSERT_GE(got.size(), c.rowsBefore);
            EXPECT_EQ(Rows(got.begin(), got.begin() + before),
                      Rows(expected.begin(), expected.begin() + before));
        }
    }
}

// MySQL 8.0 and later keep no .frm and no .par: the definition and the
// partitions' order and clustered roots come from the dictionary information
// in the partition files ("NAME#p#PART.ibd").
TEST(PartitionRowsTest, MySqlPartitionsReadInTheDictionarysOrder) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    const fs::path root = test::SourceDir() / "tests/fixtures/mysql9";
    struct Case {
        const char* table;
        std::vector<std::string> stems;
    };
    const Case cases[] = {
        {"parts", {"parts#p#p2020", "parts#p#p2021", "parts#p#pmax"}},
        {"subparts",
         {"subparts#p#lo#sp#losp0", "subparts#p#lo#sp#losp1", "subparts#p#hi#sp#hisp0",
          "subparts#p#hi#sp#hisp1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        CDamageReport damage;
        CReadOptions options;
        options.damage = &damage;
        CTableRows table;
        ASSERT_EQ(table.Open(root / "datadir/layout", Utf8ToUtf16(c.table), *app, options),
                  OpenRowsResult::kOk);
        std::vector<std::string> stems;
        for (const CPartitionFile& part : table.partitions()) {
            stems.push_back(test::U8(part.stem));
            EXPECT_NE(part.root, 0u);
        }
        EXPECT_EQ(stems, c.stems);
        Rows expected =
            test::ReadTsv(root / "expected/layout" / (std::string(c.table) + ".select.tsv"));
        expected.erase(expected.begin());
        EXPECT_EQ(ReadAllRows(table, *app), expected);
        EXPECT_EQ(damage.Count(), 0u);
    }
    // One partition's tablespace gone: said so, and the others still read.
    test::TempDir dir;
    for (const auto& entry : fs::directory_iterator(root / "datadir/layout"))
        if (entry.path().filename().string().rfind("parts#", 0) == 0)
            fs::copy_file(entry.path(), dir.path() / entry.path().filename());
    fs::remove(dir.path() / "parts#p#p2021.ibd");
    CDamageReport damage;
    CReadOptions options;
    options.damage = &damage;
    CTableRows table;
    ASSERT_EQ(table.Open(dir.path(), u"parts", *app, options), OpenRowsResult::kOk);
    EXPECT_EQ(ReadAllRows(table, *app),
              (Rows{{"1", "2019", "old"}, {"2", "2020", "p2020"}, {"4", "2030", "future"}}));
    ASSERT_EQ(damage.Count(), 1u);
    EXPECT_EQ(damage.Findings()[0].why, "data file missing");
    EXPECT_NE(damage.Findings()[0].file.find("parts#p#p2021.ibd"), std::string::npos);
}

TEST(PartitionListTest, ParFilesGiveTheNamesAndDamagedOnesGiveNone) {
    const std::vector<uint8_t> good =
        test::ReadFileBytes(PartsDir() / "datadir/parts/inno_sub.par");
    const std::vector<std::u16string> names = ReadParNames(good);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(test::U8(names[0]), "old#SP#oldsp0");
    EXPECT_EQ(test::U8(names[3]), "new#SP#newsp1");
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back(
        {"cut in the engine bytes", std::vector<uint8_t>(good.begin(), good.begin() + 14)});
    cases.push_back({"cut in the names", std::vector<uint8_t>(good.begin(), good.begin() + 40)});
    std::vector<uint8_t> huge = good;
    huge[8] = 0xFF;
    huge[9] = 0xFF;
    huge[10] = 0xFF;
    huge[11] = 0x7F;
    cases.push_back({"count past the limit", huge});
    std::vector<uint8_t> more = good;
    more[8] = 5;  // one name more than the file holds
    cases.push_back({"more partitions than names", more});
    std::vector<uint8_t> unterminated = good;
    for (size_t i = 20; i < unterminated.size(); ++i)
        if (unterminated[i] == 0) unterminated[i] = 'x';
    cases.push_back({"names without their ends", unterminated});
    for (const Case& c : cases) EXPECT_TRUE(ReadParNames(c.bytes).empty()) << c.what;
}

TEST(PartitionListTest, ClauseOrderRanksPartitionFilesWithoutParFile) {
    struct Case {
        const char* clause;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {" PARTITION BY RANGE (year(`made`))\nSUBPARTITION BY HASH (`id`)\nSUBPARTITIONS 2\n"
         "(PARTITION `old` VALUES LESS THAN (2000) ENGINE = InnoDB,\n"
         " PARTITION `new` VALUES LESS THAN MAXVALUE ENGINE = InnoDB)",
         {"old", "new"}},
        {" PARTITION BY LIST (grp) SUBPARTITION BY KEY (id)\n(PARTITION zz VALUES IN (1,2)\n"
         " (SUBPARTITION g1a ENGINE = MyISAM, SUBPARTITION g1b ENGINE = MyISAM),\n"
         " PARTITION `a``b` VALUES IN ('PARTITION x', 3))",
         {"zz", "a`b"}},
        {" PARTITION BY HASH (id) PARTITIONS 3", {}},
        {"(PARTITION", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const std::u16string& name : PartitionNamesInClause(Utf8ToUtf16(c.clause)))
            got.push_back(test::U8(name));
        EXPECT_EQ(got, c.names) << c.clause;
    }
    // Without its .par file a table's partitions come in the clause's order,
    // subpartitions and unnamed ones by number.
    test::TempDir dir;
    for (const char* file :
         {"t#P#new#SP#newsp0.ibd", "t#P#old#SP#oldsp1.ibd", "t#P#old#SP#oldsp0.ibd", "u#P#p10.ibd",
          "u#P#p2.ibd", "u#P#p1.MYD", "u#P#p1.MYI", "uu#P#p0.ibd", "u.frm"})
        test::WriteFile(dir.path() / file, {0});
    std::vector<std::string> got;
    for (const CPartitionFile& part :
         ListPartitions(dir.path(), u"t", Utf8ToUtf16(cases[0].clause)))
        got.push_back(test::U8(part.stem));
    EXPECT_EQ(got, (std::vector<std::string>{"t#P#old#SP#oldsp0", "t#P#old#SP#oldsp1",
                                             "t#P#new#SP#newsp0"}));
    got.clear();
    for (const CPartitionFile& part : ListPartitions(dir.path(), u"u"))
        got.push_back(test::U8(part.name));
    EXPECT_EQ(got, (std::vector<std::string>{"p1", "p2", "p10"}));
}

}  // namespace
}  // namespace brix
