#include <gtest/gtest.h>

#include <sys/wait.h>
#include <array>
#include <cstdio>

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
