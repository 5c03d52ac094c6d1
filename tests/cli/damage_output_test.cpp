// The console's side of the damage report: the lines as they come, the
// summary, the JSON lines file and the exit status a read ends with.

#include "cli/damage_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/test_support.h"

namespace brix {
namespace {

DamageFinding Finding(DamageWhat what, int64_t rowsLost, bool stillRead = false) {
    DamageFinding finding;
    finding.file = "db/t.ibd";
    finding.page = 7;
    finding.what = what;
    finding.why = "checksum mismatch";
    finding.rowsLost = rowsLost;
    finding.rowsStillRead = stillRead;
    return finding;
}

TEST(DamageOutputTest, SummaryAndStatusFollowTheFindings) {
    const struct {
        const char* name;
        int64_t rowsRead;
        std::vector<DamageFinding> findings;
        std::string summary;
        int status;
    } cases[] = {
        {"clean", 10412, {}, "read 10 412 rows", ExitStatus::kAllRead},
        {"clean and empty", 0, {}, "read 0 rows", ExitStatus::kAllRead},
        {"pages lost",
         10412,
         {Finding(DamageWhat::kPage, 200), Finding(DamageWhat::kPage, 30)},
         "read 10 412 rows; 2 pages damaged, about 230 rows lost",
         ExitStatus::kSomethingSkipped},
        {"rows lost unknown",
         1,
         {Finding(DamageWhat::kRecord, -1), Finding(DamageWhat::kChain, -1)},
         "read 1 row; 1 record damaged, 1 chain damaged",
         ExitStatus::kSomethingSkipped},
        {"missing file",
         0,
         {Finding(DamageWhat::kFile, -1)},
         "read 0 rows; 1 file not read",
         ExitStatus::kNothingRead},
        // A page whose records were still read lost nothing: no rows is then
        // an empty table read from doubtful bytes, not a failure.
        {"still read",
         0,
         {Finding(DamageWhat::kPage, 50, true)},
         "read 0 rows; 1 page damaged",
         ExitStatus::kSomethingSkipped},
    };
    for (const auto& c : cases) {
        CDamageReport report;
        for (const DamageFinding& finding : c.findings) report.Report(finding);
        EXPECT_EQ(DamageSummary(c.rowsRead, report), c.summary) << c.name;
        EXPECT_EQ(ReadStatus(c.rowsRead, report), c.status) << c.name;
    }
}

TEST(DamageOutputTest, EachFindingIsALineAsItComesAndTheFileHoldsJsonLines) {
    test::TempDir dir;
    const auto linesPath = dir.path() / "lines";
    std::FILE* stream = std::fopen(linesPath.c_str(), "w+");
    ASSERT_NE(stream, nullptr);
    CPrintingDamageSink sink(stream);
    sink.Report(Finding(DamageWhat::kPage, 120));
    // Printed before the next finding comes, not at the end.
    std::fflush(stream);
    EXPECT_EQ(test::ReadFileText(linesPath),
              "damage: db/t.ibd: page 7: page: checksum mismatch (about 120 rows lost)\n");
    DamageFinding odd = Finding(DamageWhat::kFile, -1);
    odd.file = "db/\xff.MYD";  // not UTF-8: the JSON still holds a line
    sink.Report(odd);
    std::fclose(stream);
    EXPECT_EQ(sink.report().Count(), 2u);

    const auto jsonPath = dir.path() / "damage.json";
    ASSERT_TRUE(WriteDamageJson(jsonPath.string(), sink.report()));
    std::istringstream in(test::ReadFileText(jsonPath));
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(in, line);) objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["page"], 7);
    EXPECT_EQ(objects[0]["rows_lost"], 120);
    EXPECT_EQ(objects[1]["what"], "file");
    EXPECT_TRUE(objects[1]["rows_lost"].is_null());
    EXPECT_FALSE(WriteDamageJson((dir.path() / "no" / "folder").string(), sink.report()));
}

TEST(DamageOutputTest, AFloodOfFindingsPrintsABoundedNumberOfLines) {
    test::TempDir dir;
    const auto path = dir.path() / "lines";
    std::FILE* stream = std::fopen(path.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    CPrintingDamageSink sink(stream);
    for (size_t i = 0; i < CDamageReport::kMaxKept + 500; ++i)
        sink.Report(Finding(DamageWhat::kRecord, 1));
    std::fclose(stream);
    const std::string text = test::ReadFileText(path);
    EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')),
              CDamageReport::kMaxKept + 1);
    EXPECT_NE(text.find("further findings are counted but not printed"), std::string::npos);
    EXPECT_EQ(sink.report().Count(), CDamageReport::kMaxKept + 500);
    EXPECT_EQ(DamageSummary(5, sink.report()),
              "read 5 rows; 10 000 records damaged, 500 more findings, about 10 500 rows lost");
}

}  // namespace
}  // namespace brix
