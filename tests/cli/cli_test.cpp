#include <gtest/gtest.h>

#include <sys/wait.h>
#include <array>
#include <cstdio>

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
std::vector<test::ReadRow> JsonExportRows(const std::string& arguments) {
    const RunResult r = RunCli("rows --all --export --format json " + arguments);
    EXPECT_EQ(r.status, 0) << arguments;
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
        // Tables in the system tablespace cannot be found without its dictionary.
        if (!std::filesystem::exists(test::FixtureDataDir() / t.database / (t.name + ".ibd")))
            expected.rows.clear();
        for (const std::string& p : test::CompareRows(
                 expected, JsonExportRows("'" + frmOnly.path().string() + "'" + names), true, true))
            ADD_FAILURE() << p << " (.frm only)";
    }
    EXPECT_GT(tables, 40u);
    // The spill folder was created and holds the off-page values.
    EXPECT_FALSE(std::filesystem::is_empty(spill.path() / "inno_blobs_offpage"));
}

TEST(CliTest, HelpAndVersion) {
    RunResult help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("columns"), std::string::npos);
    RunResult version = RunCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("22.0"), std::string::npos);
}

}  // namespace
}  // namespace brix
