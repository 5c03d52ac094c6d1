#include "app/damage_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

namespace brix {
namespace {

TEST(DamageReportTest, CountsLossesAndKeepsABoundedList) {
    CDamageReport report;
    EXPECT_TRUE(report.Empty());
    report.Report({"t.ibd", -1, 7, DamageWhat::kPage, "checksum mismatch", 120, true});
    report.Report({"t.ibd", -1, 9, DamageWhat::kPage, "page belongs to another index", 80, false});
    report.Report({"t.MYD", 4096, -1, DamageWhat::kBlock, "block runs past the end of the file"});
    // Rows of a page that was still read are not counted as lost.
    EXPECT_EQ(report.Count(), 3u);
    EXPECT_EQ(report.LossCount(), 2u);
    EXPECT_EQ(report.RowsLost(), 80);

    // Readers on two threads at once; past the cap findings are counted only.
    auto flood = [&report] {
        for (size_t i = 0; i < CDamageReport::kMaxKept; ++i)
            report.Report({"t.MYD", 0, -1, DamageWhat::kRecord, "x", 1});
    };
    std::thread other(flood);
    flood();
    other.join();
    EXPECT_EQ(report.Count(), 3 + 2 * CDamageReport::kMaxKept);
    EXPECT_EQ(report.Findings().size(), CDamageReport::kMaxKept);
    EXPECT_EQ(report.Dropped(), 3 + CDamageReport::kMaxKept);
    EXPECT_EQ(report.RowsLost(), 80 + 2 * static_cast<int64_t>(CDamageReport::kMaxKept));
    report.Clear();
    EXPECT_TRUE(report.Empty());
}

TEST(DamageReportTest, LineAndJsonSayWhereWhatAndWhy) {
    const DamageFinding page{"db/t.ibd", -1, 7, DamageWhat::kPage, "page belongs to another index",
                             120};
    EXPECT_EQ(DamageLine(page),
              "db/t.ibd: page 7: page: page belongs to another index (about 120 rows lost)");
    const nlohmann::json json = nlohmann::json::parse(DamageJson(page));
    EXPECT_EQ(json["file"], "db/t.ibd");
    EXPECT_TRUE(json["offset"].is_null());
    EXPECT_EQ(json["page"], 7);
    EXPECT_EQ(json["what"], "page");
    EXPECT_EQ(json["rows_lost"], 120);
    EXPECT_FALSE(json["rows_still_read"]);

    // A file name that is not UTF-8 still gives valid JSON.
    const DamageFinding odd{"db/\xff.MYD", 20, -1, DamageWhat::kBlock, "bad block header"};
    EXPECT_TRUE(nlohmann::json::accept(DamageJson(odd)));
    EXPECT_EQ(DamageLine(odd), "db/\xff.MYD: offset 20: block: bad block header");
}

}  // namespace
}  // namespace brix
