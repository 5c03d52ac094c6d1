#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/expected_rows.h"
#include "support/json_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

struct RunResult {
    int status;
    std::string out;
};

// Runs the console program with the arguments (a shell word list) and
// captures its standard output; standard error goes to err when given.
RunResult RunCli(const std::string& arguments, const std::filesystem::path& err = {}) {
    std::string command = std::string("'") + BRIX_CLI_PATH + "' " + arguments;
    command += err.empty() ? " 2>/dev/null" : " 2>'" + err.string() + "'";
    RunResult result{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.out.append(buffer.data(), n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Datadir() {
    return "'" + test::FixtureDataDir().string() + "'";
}

TEST(CliTest, ColumnsPrintsTheGridAsTabSeparatedText) {
    RunResult r = RunCli("columns " + Datadir() + " keys composite_pk");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Column Name\tData Type\tsize\tAllow Nulls\tKey Name\n"
              "a\tINT\t11\tFalse\tPrimary Key\n"
              "b\tVARCHAR(5)\t20\tFalse\tPrimary Key\n"
              "c\tINT\t11\tTrue\t\n");
}

TEST(CliTest, ReportsMissingTablesAndBadOptionsOnStandardError) {
    test::TempDir dir;
    const auto err = dir.path() / "err";
    RunResult missing = RunCli("columns " + Datadir() + " keys no_such_table", err);
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(test::ReadFileText(err).find("no_such_table.frm"), std::string::npos);

    RunResult view = RunCli("columns " + Datadir() + " shop v_order_totals", err);
    EXPECT_EQ(view.status, 1);

    RunResult badCodepage = RunCli("--codepage NOPE columns " + Datadir() + " keys no_key", err);
    EXPECT_EQ(badCodepage.status, 2);
    EXPECT_NE(test::ReadFileText(err).find("NOPE"), std::string::npos);

    EXPECT_NE(RunCli("columns").status, 0);
    EXPECT_NE(RunCli("").status, 0);

    // Output that cannot be written is a failure, however many blocks of it
    // went before.
    for (const char* options : {"rows --all ", "rows --all --format json "}) {
        RunResult full = RunCli(options + Datadir() + " paging my_fixed_2500 >/dev/full", err);
        EXPECT_EQ(full.status, 1) << options;
        EXPECT_NE(test::ReadFileText(err).find("cannot write the output"), std::string::npos);
    }
}

TEST(CliTest, RowsInTsvAreWhatTheServerPrints) {
    // Tables without binary or floating-point columns print exactly as the
    // server's own batch output, escapes included.
    for (const char* name : {"ints_fixed", "temporal_fixed", "temporal_dyn", "old_temporal_fixed",
                             "enum_set_dyn", "bits_fixed"}) {
        RunResult r = RunCli("rows " + Datadir() + " types " + name);
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out, test::ReadFileText(test::FixtureExpectedDir() / "types" /
                                            (std::string(name) + ".select.tsv")))
            << name;
    }
    RunResult strings = RunCli("rows " + Datadir() + " types strings_dyn");
    EXPECT_NE(strings.out.find("\ta\\tb\\nc\\\\d\t"), std::string::npos);
}

TEST(CliTest, DeletedRowsPrintWithWhereTheyWereFoundAndWhatWasLost) {
    const std::string datadir =
        "'" + (test::SourceDir() / "tests" / "fixtures" / "deleted" / "datadir").string() + "'";
    RunResult tsv = RunCli("rows --deleted " + datadir + " recover my_fixed");
    EXPECT_EQ(tsv.status, 0);
    std::istringstream lines(tsv.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "id\tprice\tborn\tseen\tkind\tqty\tcode\t_source\t_unknown");
    std::getline(lines, line);
    EXPECT_EQ(line,
              "NULL\tNULL\t2001-02-03\t2020-02-03 07:08:39\tred\tNULL\tc3\tdeleted-slot\t"
              "id,price,qty");
    RunResult json = RunCli("rows --deleted --all --format json " + datadir + " recover inno_kept");
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"code\",\"_source\",\"_unknown\"]"), std::string::npos);
    EXPECT_NE(json.out.find("[\"3\",\"name 3\",\"-188.97\",\"2001-02-03\",\"2020-02-03 "
                            "07:08:39\",\"red\",\"9\",\"c3\",\"delete-marked\",\"\"]"),
              std::string::npos);
    // Without --deleted the same table prints its live rows and no more.
    RunResult live = RunCli("rows " + datadir + " recover inno_kept");
    EXPECT_EQ(live.out.find("_source"), std::string::npos);
}

TEST(CliTest, LongExportedTextsPrintWholeInTsv) {
    // Off-page texts of up to about 100 KiB, with characters outside the BMP,
    // read back from their spill files: each line holds them whole, though a
    // field can need more room than the writer's buffer has.
    RunResult r = RunCli("rows --all --export " + Datadir() + " paging inno_blobs_offpage");
    ASSERT_EQ(r.status, 0);
    const std::string expected =
        test::ReadFileText(test::FixtureExpectedDir() / "paging" / "inno_blobs_offpage.select.tsv");
    // The first three columns are text; the fourth is binary, in hex there.
    auto textColumns = [](const std::string& table) {
        std::vector<std::string> lines;
        std::istringstream in(table);
        for (std::string line; std::getline(in, line);) {
            size_t cut = 0;
            for (int tabs = 0; tabs < 3 && cut != std::string::npos; ++tabs)
                cut = line.find('\t', cut == 0 ? 0 : cut + 1);
            lines.push_back(line.substr(0, cut));
        }
        return lines;
    };
    const std::vector<std::string> ours = textColumns(r.out);
    const std::vector<std::string> server = textColumns(expected);
    ASSERT_EQ(ours.size(), server.size());
    size_t longest = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i], server[i]) << "line " << i;
        longest = std::max(longest, ours[i].size());
    }
    EXPECT_GT(longest, size_t{64} * 1024);
}

TEST(CliTest, RowsInJsonKeepNullApartFromText) {
    for (bool exportMode : {false, true}) {
        const std::string options = exportMode ? "--format json --export " : "--format json ";
        RunResult r = RunCli("rows " + options + Datadir() + " nulls many_nulls_myisam_dyn");
        ASSERT_EQ(r.status, 0);
        const test::JsonRows json = test::ParseJsonRows(r.out);
        const test::ExpectedTable expected =
            test::LoadExpectedTable("nulls", "many_nulls_myisam_dyn");
        EXPECT_EQ(json.columns, expected.columnNames);
        std::vector<test::ReadRow> rows;
        for (const auto& row : json.rows) {
            test::ReadRow read;
            for (const auto& v : row) {
                read.texts.push_back(v.value_or("NULL"));
                read.nulls.push_back(!v.has_value());
            }
            rows.push_back(read);
        }
        for (const std::string& p : test::CompareRows(expected, rows, exportMode))
            ADD_FAILURE() << p;
    }
    RunResult empty = RunCli("rows --format json " + Datadir() + " keys no_key_myisam");
    EXPECT_NO_THROW(test::ParseJsonRows(empty.out));
}

// Rows of an export through the console program, as the readers' rows.
std::vector<test::ReadRow> JsonExportRows(const std::string& arguments, int status = 0) {
    const RunResult r = RunCli("rows --all --export --format json " + arguments);
    EXPECT_EQ(r.status, status) << arguments;
    std::vector<test::ReadRow> rows;
    for (const auto& jsonRow : test::ParseJsonRows(r.out).rows) {
        test::ReadRow row;
        for (const auto& value : jsonRow) {
            row.texts.push_back(value.value_or("NULL"));
            row.nulls.push_back(!value.has_value());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

TEST(CliTest, InnoDbExportsHoldEveryValueTheServerReturned) {
    // A data directory without ibdata1: the same databases, reached through
    // links, so that the layout comes from the .frm files alone.
    test::TempDir frmOnly;
    for (const auto& entry : std::filesystem::directory_iterator(test::FixtureDataDir()))
        if (entry.is_directory())
            std::filesystem::create_directory_symlink(entry.path(),
                                                      frmOnly.path() / entry.path().filename());
    test::TempDir spill;
    size_t tables = 0;
    for (const test::ExpectedTable& t : test::FixtureTables()) {
        if (t.engine != "InnoDB") continue;
        ++tables;
        test::ExpectedTable expected = t;
        // VIRTUAL columns are computed by the server, not stored: they are empty.
        if (t.name == "generated")
            for (auto& row : expected.rows) row[2].clear();
        const std::string names = " " + t.database + " " + t.name;
        SCOPED_TRACE(t.database + "." + t.name);
        const std::string spillOption = "--spill-dir '" + (spill.path() / t.name).string() + "' ";
        for (const std::string& p : test::CompareRows(
                 expected, JsonExportRows(spillOption + Datadir() + names), true, true))
            ADD_FAILURE() << p;
        // Tables in the system tablespace cannot be found without its
        // dictionary: no rows, and status 1 for a data file missing.
        int status = 0;
        if (!std::filesystem::exists(test::FixtureDataDir() / t.database / (t.name + ".ibd"))) {
            expected.rows.clear();
            status = 1;
        }
        for (const std::string& p : test::CompareRows(
                 expected, JsonExportRows("'" + frmOnly.path().string() + "'" + names, status),
                 true, true))
            ADD_FAILURE() << p << " (.frm only)";
    }
    EXPECT_GT(tables, 40u);
    // The spill folder was created, but the off-page values went from the
    // tablespace straight into the output: none was spilled.
    EXPECT_TRUE(std::filesystem::is_directory(spill.path() / "inno_blobs_offpage"));
    EXPECT_TRUE(std::filesystem::is_empty(spill.path() / "inno_blobs_offpage"));
}

TEST(CliTest, HelpAndVersion) {
    RunResult help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("columns"), std::string::npos);
    RunResult version = RunCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("22.0"), std::string::npos);
}

std::string CatalogueDir() {
    return (test::SourceDir() / "tests" / "fixtures" / "catalogue" / "twodb").string();
}

// Runs brixtallow-cli browse DATADIR with the given lines on standard input.
RunResult RunBrowse(const std::string& options, const std::string& dataDir,
                    const std::string& input, const std::filesystem::path& err = {}) {
    test::TempDir dir;
    const auto in = dir.path() / "in";
    test::WriteFile(in, std::vector<uint8_t>(input.begin(), input.end()));
    return RunCli(options + "browse '" + dataDir + "' < '" + in.string() + "'", err);
}

// The lines of out that start with one of the tags.
std::vector<std::string> Tagged(const std::string& out, std::initializer_list<const char*> tags) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(start, end - start);
        for (const char* tag : tags)
            if (line.starts_with(tag)) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

TEST(CliTest, TreePrintsTheCatalogueThenTheLogList) {
    RunResult r = RunCli("tree '" + CatalogueDir() + "'");
    ASSERT_EQ(r.status, 0);
    // The scan's question and message, the tree (the scan tests check its
    // content), then the log list.
    const std::string head =
        "[question] Ibdata1File Cannot be opened.Do you want to browse ibdata1 File "
        "Manually? -> no\n"
        "[message] Scanning completed for selected database file(s)\n"
        "MYSQL database [-1]\n"
        "  " +
        CatalogueDir() +
        " [-1]\n"
        "    north [-1]\n"
        "      Tables [-1]\n"
        "        DATA [1]\n"
        "          Keys [-2]\n";
    const std::string tail =
        "      Views [-4]\n"
        "        v_notes [2]\n"
        "[log] Finding Database and tables\n"
        "[log] Processing ibdata1 File\n"
        "[log] scanning completed.\n";
    EXPECT_TRUE(r.out.starts_with(head)) << r.out;
    EXPECT_TRUE(r.out.ends_with(tail)) << r.out;

    // Yes, and the file chosen by hand: no line says it failed.
    const std::string ibdata = (test::FixtureDataDir() / "ibdata1").string();
    RunResult yes = RunCli("tree --answer yes --ibdata '" + ibdata + "' '" + CatalogueDir() + "'");
    ASSERT_EQ(yes.status, 0);
    EXPECT_NE(yes.out.find("Manually? -> yes\n[open file] " + ibdata + "\n"), std::string::npos);
}

std::string MysqlDatadir() {
    return "'" + (test::SourceDir() / "tests/fixtures/mysql9/datadir").string() + "'";
}

// The node lines of a tree print from the line "    NAME [-1]" up to the
// next database, without item data, "Keys" and "Deleted rows" nodes.
std::vector<std::string> DatabaseBlock(const std::string& tree, const std::string& name) {
    std::vector<std::string> block;
    bool inside = false;
    std::istringstream in(tree);
    for (std::string line; std::getline(in, line);) {
        const bool database = line.starts_with("    ") && line[4] != ' ';
        if (database) inside = line == "    " + name + " [-1]";
        if (!inside || line.ends_with("Keys [-2]") || line.ends_with("Deleted rows [-5]") ||
            line.starts_with("["))
            continue;
        block.push_back(line.substr(0, line.rfind(" [")));
    }
    return block;
}

TEST(CliTest, TreeAndColumnsReadMysql8DataDirectories) {
    RunResult tree = RunCli("tree " + MysqlDatadir());
    ASSERT_EQ(tree.status, 0);
    EXPECT_EQ(
        DatabaseBlock(tree.out, "layout"),
        (std::vector<std::string>{"    layout", "      Tables", "        flat", "        in_shared",
                                  "        in_shared_compact", "        legacy", "        parts",
                                  "        subparts", "        wide"}));
    // The mysql schema's CSV logs and its InnoDB tables of mysql.ibd.
    const std::vector<std::string> mysql = DatabaseBlock(tree.out, "mysql");
    for (const char* table : {"general_log", "slow_log", "user", "db", "time_zone"})
        EXPECT_NE(std::find(mysql.begin(), mysql.end(), std::string("        ") + table),
                  mysql.end())
            << table;
    // The dictionary of compressed tablespaces is read from their compressed pages.
    EXPECT_EQ(tree.out.find("the dictionary information in zipped"), std::string::npos);
    EXPECT_NE(tree.out.find("        zipped4 ["), std::string::npos);

    struct Case {
        std::string table;
        std::string grid;
    };
    const Case cases[] = {
        // Partitions: one table, its definition from a partition.
        {"layout parts",
         "id\tINT\t11\tFalse\tPrimary Key\n"
         "year\tINT\t11\tFalse\tPrimary Key\n"
         "v\tVARCHAR(20)\t80\tTrue\t\n"},
        // MyISAM, from its .sdi file.
        {"layout legacy",
         "id\tINT\t11\tFalse\tPrimary Key\n"
         "v\tVARCHAR(30)\t120\tTrue\t\n"
         "n\tDECIMAL(6,2)\t8\tTrue\t\n"},
        // Named by its file, in the server's file-name form.
        {"types odd@0020name@002d@1o",
         "id\tINT\t11\tFalse\tPrimary Key\n"
         "v\tVARCHAR(10)\t40\tTrue\t\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        RunResult r = RunCli("columns " + MysqlDatadir() + " " + c.table);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "Column Name\tData Type\tsize\tAllow Nulls\tKey Name\n" + c.grid);
    }
    // A partition file is no table of its own.
    EXPECT_EQ(RunCli("columns " + MysqlDatadir() + " layout 'parts#p#p2020'").status, 1);
}

TEST(CliTest, ViewsAndTriggersOfAMysql8DictionaryShowAsForOlderDirectories) {
    RunResult tree = RunCli("tree " + MysqlDatadir());
    ASSERT_EQ(tree.status, 0);
    EXPECT_EQ(
        DatabaseBlock(tree.out, "shop"),
        (std::vector<std::string>{"    shop", "      Tables", "        audit", "        items",
                                  "      Views", "        cheap", "        joined",
                                  "        quoted", "      Trigger", "        items"}));

    RunResult view = RunCli("view " + MysqlDatadir() + " shop joined");
    ASSERT_EQ(view.status, 0);
    std::string expected = test::ReadFileText(
        test::SourceDir() / "tests/fixtures/mysql9/expected/shop/joined.view.sql");
    while (!expected.empty() && expected.back() == '\n') expected.pop_back();
    expected.erase(expected.find("`shop`."), 7);
    EXPECT_EQ(view.out, expected + ";\n");

    // One script of the table's triggers, in their order.
    RunResult trigger = RunCli("trigger " + MysqlDatadir() + " shop items");
    ASSERT_EQ(trigger.status, 0);
    const size_t au = trigger.out.find("CREATE TRIGGER `items_au` AFTER UPDATE ON `items`");
    const size_t au2 = trigger.out.find(
        "CREATE TRIGGER `items_au2` AFTER UPDATE ON `items` FOR EACH ROW FOLLOWS `items_au` ");
    const size_t bi = trigger.out.find("CREATE TRIGGER `items_bi` BEFORE INSERT ON `items`");
    EXPECT_NE(au, std::string::npos) << trigger.out;
    EXPECT_NE(au2, std::string::npos) << trigger.out;
    EXPECT_NE(bi, std::string::npos) << trigger.out;
    EXPECT_LT(au, au2);
}

// The server's batch output of a text: backslash, tab and newline escaped.
std::string Unescaped(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            plain.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c);
        } else {
            plain.push_back(text[i]);
        }
    }
    return plain;
}

// Values MySQL 8.0 and later keep off-page are large objects of their own
// layout: a first page with an index list, index pages once the list
// outgrows it, data pages. Exported, each value is the server's, whole; the
// system tablespace of such a directory has no SYS_* tables, and is not
// taken for damaged.
TEST(CliTest, MysqlLargeObjectsExportWhole) {
    const std::vector<test::ReadRow> rows = JsonExportRows(MysqlDatadir() + " lobs big");
    const std::vector<std::vector<std::string>> expected =
        test::ReadTsv(test::SourceDir() / "tests/fixtures/mysql9/expected/lobs/big.select.tsv");
    ASSERT_EQ(rows.size() + 1, expected.size());
    size_t longest = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].texts.size(), 4u);
        for (size_t c = 0; c < 4; ++c) {
            std::string got = rows[r].texts[c];
            std::string want = expected[r + 1][c];
            if (c == 2 && got.starts_with("0x")) got.erase(0, 2);  // hex in both
            if (c != 2) want = Unescaped(want);
            EXPECT_EQ(got, want) << "row " << r << " column " << expected[0][c];
            longest = std::max(longest, got.size());
        }
    }
    EXPECT_GT(longest, size_t{300000});  // the value whose index needs index pages

    // An index entry that claims more bytes than its data page holds breaks
    // the value off: said, never passed off as the whole value.
    test::TempDir copy;
    std::filesystem::create_directories(copy.path() / "lobs");
    const std::filesystem::path source = test::SourceDir() / "tests/fixtures/mysql9/datadir";
    std::vector<uint8_t> bytes = test::ReadFileBytes(source / "lobs/big.ibd");
    size_t broken = 0;
    for (size_t page = 0; page + 16384 <= bytes.size() && broken == 0; page += 16384) {
        // The first large object's first page; its first entry's length.
        if (bytes[page + 24] == 0 && bytes[page + 25] == 24) broken = page + 96 + 52;
    }
    ASSERT_NE(broken, 0u);
    bytes[broken] = 0x7F;
    test::WriteFile(copy.path() / "lobs/big.ibd", bytes);
    std::filesystem::copy_file(source / "ibdata1", copy.path() / "ibdata1");
    const auto err = copy.path() / "err";
    const RunResult damaged =
        RunCli("rows --all --export '" + copy.path().string() + "' lobs big", err);
    EXPECT_EQ(damaged.status, 3);
    EXPECT_NE(test::ReadFileText(err).find("value's off-page chain is broken"), std::string::npos);
    EXPECT_EQ(std::count(damaged.out.begin(), damaged.out.end(), '\n'), 5);
}

TEST(CliTest, ViewTriggerAndColumnsGoThroughTheCatalogue) {
    RunResult view = RunCli("view '" + CatalogueDir() + "' south v_notes");
    ASSERT_EQ(view.status, 0);
    EXPECT_EQ(view.out,
              "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW "
              "`v_notes` AS select `south`.`notes`.`id` AS `id`,`south`.`notes`.`body` AS "
              "`body` from `south`.`notes`;\n");
    RunResult trigger = RunCli("trigger '" + CatalogueDir() + "' south notes");
    ASSERT_EQ(trigger.status, 0);
    EXPECT_EQ(trigger.out,
              "SET SQL_MODE='';\nDELIMITER $$\nCREATE TRIGGER `notes_before_insert` BEFORE INSERT "
              "ON `notes` FOR EACH ROW set NEW.body = UPPER(NEW.body)\n$$\nDELIMITER ;\n"
              "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n");
    RunResult columns = RunCli("columns '" + CatalogueDir() + "' north DATA");
    ASSERT_EQ(columns.status, 0);
    EXPECT_EQ(columns.out,
              "Column Name\tData Type\tsize\tAllow Nulls\tKey Name\n"
              "k\tCHAR(4)\t16\tFalse\t\n"
              "v\tINT\t11\tTrue\t\n");

    EXPECT_EQ(RunCli("view '" + CatalogueDir() + "' south notes").status, 1);
    EXPECT_EQ(RunCli("trigger '" + CatalogueDir() + "' south v_notes").status, 1);
    EXPECT_EQ(RunCli("columns '" + CatalogueDir() + "' north odd").status, 1);
}

TEST(CliTest, BrowseShowsThePagingCaptionsAndMessages) {
    RunResult r = RunBrowse("", test::FixtureDataDir().string(),
                            "select paging/Tables/my_dyn_2500\nnext\nnext\nnext\nprevious\n"
                            "previous\nprevious\nquit\nnext\n");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(Tagged(r.out, {"[caption] my", "[caption] 1", "[caption] 2", "[caption] 0",
                             "[message] No", "[grid]", "[disabled]"}),
              (std::vector<std::string>{
                  "[caption] my_dyn_2500",
                  "[caption] my_dyn_2500[1000]",
                  "[grid] 6 columns, 1000 rows",
                  "[caption] 1000 rows to 2000",
                  "[grid] 6 columns, 1000 rows",
                  "[caption] 2000 rows to 2500",
                  "[message] No more records in table",
                  "[grid] 6 columns, 500 rows",
                  "[disabled] Next Records",
                  "[caption] 1000 rows to 2000",
                  "[grid] 6 columns, 1000 rows",
                  "[caption] 0 rows to 1000",
                  "[grid] 6 columns, 1000 rows",
                  "[disabled] Previous Records",
              }));
    // The grid: a header line of column names, then the rows.
    const std::string first =
        "[grid] 6 columns, 1000 rows\nid\tn\tamount\tstamp\tlabel\tbody\n1\t-2081\t";
    EXPECT_NE(r.out.find(first), std::string::npos);
}

// The console's browse reaches a table's "Deleted rows" node by its path,
// as a click in the window does.
TEST(CliTest, BrowseSelectsATablesDeletedRows) {
    const std::string data =
        (test::SourceDir() / "tests" / "fixtures" / "deleted" / "datadir").string();
    RunResult r = RunBrowse("", data, "select recover/Tables/my_fixed/Deleted rows\n");
    ASSERT_EQ(r.status, 0);
    const std::vector<std::string> lines = Tagged(r.out, {"[caption] my_fixed", "[grid]"});
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_TRUE(lines[0].starts_with("[caption] my_fixed \u2014 deleted rows[")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("[grid] 9 columns, ")) << lines[1];
    EXPECT_NE(r.out.find("\tcode\t_source\t_unknown\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tdeleted-slot\t"), std::string::npos);
}

TEST(CliTest, BrowseShowsTextNodesQuestionsAndTheLog) {
    test::TempDir logs;
    const auto err = logs.path() / "err";
    RunResult r = RunBrowse("--log-dir '" + logs.path().string() + "' ", CatalogueDir(),
                            "next\nselect south/Views/v_notes\nselect nowhere/x\nfly\n"
                            "select north/Tables/items\nstop\n",
                            err);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(Tagged(r.out, {"[question]", "[message]", "[text]", "[grid]", "[disabled]",
                             "[log] Please", "[log] Scanning"}),
              (std::vector<std::string>{
                  "[question] Ibdata1File Cannot be opened.Do you want to browse ibdata1 File "
                  "Manually? -> no",
                  "[message] Scanning completed for selected database file(s)",
                  "[disabled] Next Records",
                  "[log] Please wait while v_notes folder is scanning.",
                  "[log] Scanning process completed.",
                  "[text] 1 lines",
                  "[log] Please wait while items folder is scanning.",
                  "[log] Scanning process completed.",
                  "[grid] 3 columns, 3 rows",
              }));
    EXPECT_NE(r.out.find("[grid] 3 columns, 3 rows\nid\tname\tqty\n1\tbolt\t10\n2\tnut\tNULL\n"),
              std::string::npos);
    const std::string errors = test::ReadFileText(err);
    EXPECT_NE(errors.find("no node nowhere/x"), std::string::npos);
    EXPECT_NE(errors.find("unknown browse command: fly"), std::string::npos);

    // The log file: UTF-16 with its byte-order mark.
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(logs.path()))
        if (entry.path().filename().string().starts_with("KarvoMySQLDBRec_log_"))
            files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    const std::string log = test::ReadFileText(files[0]);
    EXPECT_EQ(log.substr(0, 4), std::string("\xFF\xFE\r\0", 4));
}

// The command lines a careless user or a hostile file name can make: each
// ends in status 1 and a message that says what is wrong, never in an
// uncaught exception (status 134 from abort) or a crash.
TEST(CliTest, HostileCommandLinesEndInAMessage) {
    test::TempDir dir;
    const std::string d = "'" + dir.path().string() + "'";
    std::filesystem::create_directory_symlink(dir.path() / "loop_b", dir.path() / "loop_a");
    std::filesystem::create_directory_symlink(dir.path() / "loop_a", dir.path() / "loop_b");
    test::WriteFile(dir.path() / "plain_file", {'x'});
    std::filesystem::create_directory(dir.path() / "folder");
    const std::string longPath = "/tmp/" + std::string(5000, 'a');
    const std::string fixture = Datadir();
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"save " + fixture + " --server h --password-file " + d, "is a folder"},
        {"save " + fixture + " --server h --password-file /dev/zero", "no line end"},
        {"test-connection --server h --password-file /dev/zero", "no line end"},
        {"test-connection --server h --password-file " + d + "/none", "cannot read the password"},
        {"tree " + d + "/loop_a", "no data directory"},
        {"rows " + d + "/loop_a keys composite_pk", "no data directory"},
        {"tree '" + longPath + "'", "no data directory"},
        {"columns '" + longPath + "' keys composite_pk", "no data directory"},
        {"save '" + longPath + "' --script " + d + "/out", "no data directory"},
        {"tree " + d + "/missing", "no data directory"},
        {"browse " + d + "/missing", "no data directory"},
        {"tree " + d + "/plain_file", "is not a folder"},
        {"tree \"$(printf '\\377\\376')\"", "UTF-8"},
        {"rows --export --spill-dir \"$(printf '\\377')\" " + fixture + " keys composite_pk",
         "UTF-8"},
        {"save " + fixture + " --script \"" + dir.path().string() + "/$(printf '\\377')\"",
         "UTF-8"},
    };
    const auto err = dir.path() / "err";
    for (const auto& c : cases) {
        const RunResult r = RunCli(c.arguments + " </dev/null", err);
        EXPECT_EQ(r.status, 1) << c.arguments.substr(0, 300);
        EXPECT_NE(test::ReadFileText(err).find(c.message), std::string::npos)
            << c.arguments.substr(0, 300) << ": " << test::ReadFileText(err).substr(0, 300);
    }
    // A folder for temporary files that is not there.
    const std::string noTmp = "env TMPDIR=/nonexistent '" + std::string(BRIX_CLI_PATH) +
                              "' rows --export " + fixture + " keys composite_pk 2>'" +
                              err.string() + "'";
    EXPECT_EQ(WEXITSTATUS(std::system(noTmp.c_str())), 1);
    EXPECT_NE(test::ReadFileText(err).find("TMPDIR"), std::string::npos);
}

// rows joins its names to the data directory; like columns, view and
// trigger it takes only names that stay inside it.
TEST(CliTest, NamesThatLeaveTheDataDirectoryAreRefused) {
    test::TempDir dir;
    const auto err = dir.path() / "err";
    const std::string fixture = Datadir();
    for (const char* command : {"rows", "columns", "view", "trigger"}) {
        for (const char* names :
             {"../keys composite_pk", "keys ../keys/composite_pk", "keys/../keys composite_pk",
              ".. keys", ". composite_pk", "keys /etc/passwd", "/tmp composite_pk", "keys ..",
              "keys 'a\\b'", "'' composite_pk"}) {
            const std::string arguments = std::string(command) + " " + fixture + " " + names;
            const RunResult r = RunCli(arguments, err);
            EXPECT_EQ(r.status, 1) << arguments;
            EXPECT_TRUE(r.out.empty()) << arguments;
            EXPECT_NE(test::ReadFileText(err).find(" name"), std::string::npos) << arguments;
        }
    }
    // The same table by its plain names is read.
    EXPECT_EQ(RunCli("rows " + fixture + " keys composite_pk").status, 0);
}

TEST(CliTest, UnreadableDataDirectoryIsAMessage) {
    test::TempDir dir;
    const auto data = dir.path() / "data";
    std::filesystem::create_directories(data / "db");
    std::filesystem::permissions(
        data, std::filesystem::perms::owner_write | std::filesystem::perms::owner_exec);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    // Root reads every folder whatever its mode: the check then runs the
    // program as the user nobody, where the system has setpriv.
    std::string prefix;
    if (geteuid() == 0) {
        if (std::system("setpriv --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "root without setpriv: permissions do not apply";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const std::string err = (dir.path() / "err").string();
    const std::string command =
        prefix + "'" + BRIX_CLI_PATH + "' tree '" + data.string() + "' >/dev/null 2>'" + err + "'";
    const int status = std::system(command.c_str());
    std::filesystem::permissions(data, std::filesystem::perms::owner_all);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(test::ReadFileText(err).find("cannot read the data directory"), std::string::npos)
        << test::ReadFileText(err);
}

TEST(CliTest, BrowseSkipsOverlongCommandLines) {
    test::TempDir dir;
    const auto err = dir.path() / "err";
    const std::string input = std::string(200 * 1024, 'x') + "\nselect south/Views/v_notes\nquit\n";
    const RunResult r = RunBrowse("", CatalogueDir(), input, err);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(test::ReadFileText(err).find("longer than"), std::string::npos);
    // The line after the long one is read as it stands.
    EXPECT_NE(r.out.find("[text] 1 lines"), std::string::npos);
}

// A data directory of a few thousand tables in one database and a few
// hundred databases of one table each, all links to one fixture table: every
// table is listed, found and saved once, each database into its own script.
TEST(CliTest, ManyTablesAndDatabasesAreAllCatalogued) {
    test::TempDir dir;
    const auto data = dir.path() / "data";
    // Links to a copy of the fixture table, or copies where links fail.
    const auto source = dir.path() / "source";
    std::filesystem::create_directories(source);
    for (const char* ext : {".frm", ".MYI", ".MYD"})
        std::filesystem::copy_file(
            test::FixtureDataDir() / "keys" / (std::string("composite_pk_myisam") + ext),
            source / (std::string("t") + ext));
    constexpr int kTables = 2000;
    constexpr int kDatabases = 300;
    auto linkTable = [&](const std::filesystem::path& folder, const std::string& name) {
        for (const char* ext : {".frm", ".MYI", ".MYD"}) {
            std::error_code error;
            std::filesystem::create_hard_link(source / (std::string("t") + ext),
                                              folder / (name + ext), error);
            if (error)
                std::filesystem::copy_file(source / (std::string("t") + ext),
                                           folder / (name + ext));
        }
    };
    std::filesystem::create_directories(data / "many");
    for (int i = 0; i < kTables; ++i) linkTable(data / "many", "t" + std::to_string(i));
    for (int i = 0; i < kDatabases; ++i) {
        const std::string db = "d" + std::to_string(i);
        std::filesystem::create_directories(data / db);
        linkTable(data / db, "t");
    }
    const std::string d = "'" + data.string() + "'";
    const RunResult tree = RunCli("tree " + d);
    ASSERT_EQ(tree.status, 0);
    size_t keys = 0;
    for (size_t at = 0; (at = tree.out.find("Keys [-2]\n", at)) != std::string::npos; ++at) ++keys;
    EXPECT_EQ(keys, size_t{kTables + kDatabases});

    const RunResult columns = RunCli("columns " + d + " many t" + std::to_string(kTables - 1));
    ASSERT_EQ(columns.status, 0);
    EXPECT_NE(columns.out.find("a\tINT"), std::string::npos);

    const auto scripts = dir.path() / "scripts";
    ASSERT_EQ(RunCli("save " + d + " --script '" + scripts.string() + "'").status, 0);
    auto creates = [](const std::string& script) {
        size_t n = 0;
        for (size_t at = 0; (at = script.find("CREATE TABLE", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    EXPECT_EQ(creates(test::ReadFileText(scripts / "many.sql")), size_t{kTables});
    for (int i = 0; i < kDatabases; ++i)
        EXPECT_EQ(creates(test::ReadFileText(scripts / ("d" + std::to_string(i) + ".sql"))), 1u)
            << i;
}

}  // namespace
}  // namespace brix

namespace brix {
namespace {

// A data directory with one database, "keys": a MyISAM table whose .MYD is
// gone (no_key_myisam), an InnoDB table with neither a .ibd nor a system
// tablespace (no_key), and a whole MyISAM table (pk_later_myisam).
std::filesystem::path MakeDataDirWithMissingFiles(const std::filesystem::path& root) {
    const std::filesystem::path from = test::FixtureDataDir() / "keys";
    const std::filesystem::path to = root / "keys";
    std::filesystem::create_directories(to);
    for (const char* name : {"no_key_myisam.frm", "no_key_myisam.MYI", "no_key.frm",
                             "pk_later_myisam.frm", "pk_later_myisam.MYD", "pk_later_myisam.MYI"})
        std::filesystem::copy_file(from / name, to / name);
    return root;
}

TEST(CliDamageTest, ATableWhoseDataFileIsMissingIsNothingReadWithItsReason) {
    test::TempDir dir;
    const std::string d = "'" + MakeDataDirWithMissingFiles(dir.path() / "data").string() + "'";
    const auto err = dir.path() / "err";
    const auto json = dir.path() / "damage.json";
    for (const char* table : {"no_key_myisam", "no_key"}) {
        const RunResult r =
            RunCli("rows --damage-report '" + json.string() + "' " + d + " keys " + table, err);
        EXPECT_EQ(r.status, 1) << table;
        const std::string errText = test::ReadFileText(err);
        EXPECT_NE(errText.find("damage: "), std::string::npos) << errText;
        EXPECT_NE(errText.find(": file: data file missing"), std::string::npos) << errText;
        EXPECT_NE(errText.find("nothing could be read from keys." + std::string(table)),
                  std::string::npos)
            << errText;
        // One JSON object a line.
        const std::string report = test::ReadFileText(json);
        ASSERT_FALSE(report.empty()) << table;
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
        EXPECT_EQ(report.front(), '{');
        EXPECT_NE(report.find("\"what\":\"file\""), std::string::npos) << report;
        EXPECT_NE(report.find("\"why\":\"data file missing\""), std::string::npos) << report;
    }
    // A whole table beside it reads as before: status 0, nothing on stderr,
    // and an empty report.
    const RunResult whole =
        RunCli("rows --damage-report '" + json.string() + "' " + d + " keys pk_later_myisam", err);
    EXPECT_EQ(whole.status, 0);
    EXPECT_EQ(test::ReadFileText(err), "");
    EXPECT_EQ(test::ReadFileText(json), "");
}

TEST(CliDamageTest, DictionaryDamageIsToldForInnoDbTablesOnly) {
    // The system tablespace with the root of SYS_TABLES zeroed.
    test::TempDir dir;
    const std::filesystem::path data = MakeDataDirWithMissingFiles(dir.path() / "data");
    std::vector<uint8_t> ibdata = test::ReadFileBytes(test::FixtureDataDir() / "ibdata1");
    constexpr size_t kPage = 16384;
    constexpr size_t kSysTablesRoot = 8;
    ASSERT_GT(ibdata.size(), (kSysTablesRoot + 1) * kPage);
    std::fill_n(ibdata.begin() + kSysTablesRoot * kPage, kPage, uint8_t{0});
    test::WriteFile(data / "ibdata1", ibdata);
    const std::string d = "'" + data.string() + "'";
    const auto err = dir.path() / "err";
    // A MyISAM table reads as it always did.
    EXPECT_EQ(RunCli("rows " + d + " keys pk_later_myisam", err).status, 0);
    EXPECT_EQ(test::ReadFileText(err), "");
    // An InnoDB table the damaged dictionary should have held is told both.
    EXPECT_EQ(RunCli("rows " + d + " keys no_key", err).status, 1);
    const std::string errText = test::ReadFileText(err);
    EXPECT_NE(errText.find("page 8: page: dictionary table SYS_TABLES: page is all zeros"),
              std::string::npos)
        << errText;
}

TEST(CliDamageTest, WrongUsageIsStatusTwoAndHelpNamesTheStatuses) {
    const std::string d = Datadir();
    for (const std::string& arguments :
         {std::string("rows --no-such-option ") + d + " keys no_key", std::string("columns"),
          std::string(""), std::string("rows --format xml ") + d + " keys no_key",
          std::string("no-such-command"), std::string("save ") + d + " --script /tmp/x --server h"})
        EXPECT_EQ(RunCli(arguments).status, 2) << arguments;
    const RunResult help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos);
    EXPECT_NE(help.out.find("3  rows were read"), std::string::npos);
}

TEST(CliDamageTest, SaveFailsATableWhoseDataFileIsMissingAndTreeMarksIt) {
    test::TempDir dir;
    const std::string d = "'" + MakeDataDirWithMissingFiles(dir.path() / "data").string() + "'";
    const auto err = dir.path() / "err";
    const auto scripts = dir.path() / "scripts";
    const RunResult save =
        RunCli("save " + d + " keys/no_key_myisam keys/pk_later_myisam --script '" +
                   scripts.string() + "'",
               err);
    EXPECT_EQ(save.status, 1);
    EXPECT_NE(save.out.find("[log] Error saving table keys.no_key_myisam: the table was created, "
                            "but none of its rows could be read: data file missing"),
              std::string::npos)
        << save.out;
    EXPECT_EQ(save.out.find("rows written to keys.no_key_myisam"), std::string::npos) << save.out;
    EXPECT_NE(save.out.find("rows written to keys.pk_later_myisam"), std::string::npos);
    EXPECT_NE(test::ReadFileText(err).find("damage: "), std::string::npos);

    const RunResult tree = RunCli("tree " + d);
    EXPECT_EQ(tree.status, 0);
    EXPECT_NE(tree.out.find("no_key_myisam [2] [marked: data file missing]"), std::string::npos)
        << tree.out;
    EXPECT_NE(tree.out.find("no_key [1] [marked: data file missing]"), std::string::npos)
        << tree.out;
    EXPECT_NE(tree.out.find("pk_later_myisam [3]\n"), std::string::npos) << tree.out;
}

}  // namespace
}  // namespace brix

namespace brix {
namespace {

// Each cell of tab-separated text with the two forms in which the console
// program's export differs from the server's batch output on purpose: a CR
// in a value is escaped as \r, and an empty binary value is empty where the
// make-script's CONCAT('0x', HEX(...)) gives "0x".
std::string ConsoleForm(const std::string& serverText) {
    std::string out;
    std::string cell;
    const auto flush = [&] {
        out += cell == "0x" ? "" : cell;
        cell.clear();
    };
    for (char c : serverText) {
        if (c == '\t' || c == '\n') {
            flush();
            out += c;
        } else if (c == '\r') {
            cell += "\\r";
        } else {
            cell += c;
        }
    }
    flush();
    return out;
}

// The rows of CSV tables written by MariaDB (with a .frm) and by MySQL 9
// (with a .sdi file), exported by the console program, are the server's
// SELECT, and the program says that all was read.
TEST(CliTest, CsvTablesExportAsTheServerSelectedThem) {
    struct Case {
        const char* set;
        const char* database;
        const char* table;
    };
    for (const Case& c :
         {Case{"mariadb-types", "newtypes", "csv_types"},
          Case{"mariadb-types", "newtypes", "csv_latin1"}, Case{"mysql9", "layout", "flat"}}) {
        SCOPED_TRACE(c.table);
        const std::filesystem::path set = test::SourceDir() / "tests" / "fixtures" / c.set;
        const RunResult r = RunCli("rows --all --export '" + (set / "datadir").string() + "' " +
                                   c.database + " " + c.table);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, ConsoleForm(test::ReadFileText(set / "expected" / c.database /
                                                        (std::string(c.table) + ".select.tsv"))));
    }
}

// A damaged line costs its row alone: the others print, the line is named on
// standard error, and the exit status says that something was skipped.
TEST(CliTest, DamagedCsvLineIsReportedAndTheOtherRowsPrint) {
    const test::TempDir dir;
    const std::filesystem::path from =
        test::SourceDir() / "tests/fixtures/mariadb-types/datadir/newtypes";
    std::filesystem::create_directories(dir.path() / "db");
    for (const char* ext : {".frm", ".CSM"})
        std::filesystem::copy_file(from / (std::string("csv_latin1") + ext),
                                   dir.path() / "db" / (std::string("csv_latin1") + ext));
    std::vector<uint8_t> csv = test::ReadFileBytes(from / "csv_latin1.CSV");
    const size_t firstLine =
        static_cast<size_t>(std::find(csv.begin(), csv.end(), '\n') - csv.begin()) + 1;
    const std::string broken = "3,\"open,x\n";
    csv.insert(csv.begin() + static_cast<std::ptrdiff_t>(firstLine), broken.begin(), broken.end());
    test::WriteFile(dir.path() / "db" / "csv_latin1.CSV", csv);
    const std::filesystem::path err = dir.path() / "err.txt";
    const RunResult r = RunCli("rows '" + dir.path().string() + "' db csv_latin1", err);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
    const std::string diagnostics = test::ReadFileText(err);
    EXPECT_NE(diagnostics.find("quoted field never ends"), std::string::npos) << diagnostics;
    EXPECT_NE(diagnostics.find(std::to_string(firstLine)), std::string::npos) << diagnostics;
}

}  // namespace
}  // namespace brix
