#include "values/temporal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "support/test_support.h"

namespace brix {
namespace {

using test::Bytes;

CColumnDef Temporal(int type, int length) {
    CColumnDef c;
    c.type = type;
    c.length = length;
    return c;
}

std::string Show(const CColumnDef& column, const std::vector<uint8_t>& bytes) {
    std::u16string out;
    AppendTemporalValue(out, column, bytes);
    return test::U8(out);
}

// Tests run with TZ=UTC, so TIMESTAMPs show in UTC.
TEST(TemporalTest, EveryLayoutShowsAsTheServerDoes) {
    using F = int;
    struct Case {
        const char* what;
        F type;
        int length;
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"date", FieldType::kNewDate, 10, Bytes({0x21, 0xCD, 0x0F}), "2022-09-01"},
        {"zero date", FieldType::kNewDate, 10, Bytes({0, 0, 0}), "0000-00-00"},
        {"year 5", FieldType::kNewDate, 10, Bytes({0x21, 0x0A, 0x00}), "0005-01-01"},
        {"4-byte date", FieldType::kDate, 10, Bytes({0x03, 0xD7, 0x34, 0x01}), "2024-01-31"},
        {"old time", FieldType::kTime, 10, Bytes({0xB5, 0xAD, 0x01}), "11:00:05"},
        {"old negative time", FieldType::kTime, 10, Bytes({0x8B, 0x3E, 0xF3}), "-83:59:57"},
        {"old time(3)", FieldType::kTime, 14, Bytes({0x00, 0xB3, 0xCE, 0xD4, 0x94}),
         "-01:02:03.500"},
        {"time2", FieldType::kTime2, 10, Bytes({0x80, 0xB0, 0x00}), "11:00:00"},
        {"time2 max", FieldType::kTime2, 10, Bytes({0xB4, 0x6E, 0xFB}), "838:59:59"},
        {"time2 negative", FieldType::kTime2, 10, Bytes({0x7F, 0xF0, 0x00}), "-01:00:00"},
        {"time2(3) negative fraction", FieldType::kTime2, 14, Bytes({0x7F, 0xFF, 0xFE, 0xF6, 0x3C}),
         "-00:00:01.250"},
        {"time2(1)", FieldType::kTime2, 12, Bytes({0x80, 0x00, 0x01, 0x32}), "00:00:01.5"},
        {"time2(6)", FieldType::kTime2, 17, Bytes({0x80, 0x00, 0x01, 0x01, 0xE2, 0x40}),
         "00:00:01.123456"},
        {"old datetime", FieldType::kDateTime, 19,
         Bytes({0x77, 0x20, 0xD5, 0x85, 0x68, 0x12, 0x00, 0x00}), "2024-01-31 23:59:59"},
        {"old zero datetime", FieldType::kDateTime, 19, std::vector<uint8_t>(8, 0),
         "0000-00-00 00:00:00"},
        {"old datetime(4)", FieldType::kDateTime, 24,
         Bytes({0x02, 0x95, 0xAF, 0x27, 0xBD, 0xDD, 0xC2}), "2024-01-31 23:59:59.1234"},
        {"datetime2", FieldType::kDateTime2, 19, Bytes({0x99, 0xB2, 0x7E, 0x00, 0x00}),
         "2024-01-31 00:00:00"},
        {"datetime2 late", FieldType::kDateTime2, 19, Bytes({0x99, 0xB2, 0x7F, 0x7E, 0xFA}),
         "2024-01-31 23:59:58"},
        {"datetime2 zero", FieldType::kDateTime2, 19, Bytes({0x80, 0, 0, 0, 0}),
         "0000-00-00 00:00:00"},
        {"datetime2(2)", FieldType::kDateTime2, 22, Bytes({0x99, 0xB2, 0x7F, 0x7E, 0xFA, 0x0C}),
         "2024-01-31 23:59:58.12"},
        {"old timestamp", FieldType::kTimestamp, 19, Bytes({0xFF, 0xDE, 0xBA, 0x65}),
         "2024-01-31 23:59:59"},
        {"old zero timestamp", FieldType::kTimestamp, 19, Bytes({0, 0, 0, 0}),
         "0000-00-00 00:00:00"},
        {"old timestamp(6)", FieldType::kTimestamp, 26,
         Bytes({0x65, 0xBA, 0xDE, 0xFF, 0x01, 0xE2, 0x40}), "2024-01-31 23:59:59.123456"},
        {"timestamp2", FieldType::kTimestamp2, 19, Bytes({0x65, 0xBA, 0xDE, 0xFF}),
         "2024-01-31 23:59:59"},
        {"timestamp2(3)", FieldType::kTimestamp2, 23, Bytes({0x00, 0x00, 0x00, 0x01, 0x04, 0xD2}),
         "1970-01-01 00:00:01.123"},
        {"zero timestamp2(3)", FieldType::kTimestamp2, 23, Bytes({0, 0, 0, 0, 0, 0}),
         "0000-00-00 00:00:00.000"},
        {"year", FieldType::kYear, 4, Bytes({124}), "2024"},
        {"year 0", FieldType::kYear, 4, Bytes({0}), "0000"},
        {"year 2155", FieldType::kYear, 4, Bytes({255}), "2155"},
        {"two-digit year", FieldType::kYear, 2, Bytes({105}), "05"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show(Temporal(c.type, c.length), c.bytes), c.text) << c.what;
}

// A script sets its session to UTC, so export mode writes TIMESTAMPs in UTC
// whatever zone the machine is in; the screen keeps local time.
TEST(TemporalTest, ExportWritesTimestampsInUtcWhereDisplayShowsLocalTime) {
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const CColumnDef ts = Temporal(FieldType::kTimestamp2, 19);
    const std::vector<uint8_t> bytes = Bytes({0x65, 0xBA, 0xDE, 0xFF});  // 2024-01-31 23:59:59 UTC
    std::u16string local, utc;
    AppendTemporalValue(local, ts, bytes);
    AppendTemporalValue(utc, ts, bytes, true);
    if (saved) {
        setenv("TZ", before.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_EQ(test::U8(local), "2024-02-01 00:59:59");
    EXPECT_EQ(test::U8(utc), "2024-01-31 23:59:59");
}

TEST(TemporalTest, WidthsFollowLayoutAndFraction) {
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kTime2, 10)), 3u);
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kTime2, 17)), 6u);
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kDateTime2, 23)), 7u);
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kTimestamp2, 26)), 7u);
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kTime, 14)), 5u);
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kDateTime, 24)), 7u);
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kDateTime, 19)), 8u);
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kTimestamp, 26)), 7u);
    EXPECT_EQ(TemporalWidth(Temporal(FieldType::kNewDate, 10)), 3u);
    EXPECT_EQ(TemporalFractionDigits(Temporal(FieldType::kDateTime2, 26)), 6);
    EXPECT_EQ(TemporalFractionDigits(Temporal(FieldType::kTime2, 99)), 6);
}

TEST(TemporalTest, IntegerDateTimeAndPartsKeepEveryDigit) {
    EXPECT_EQ(test::U8(FormatIntegerDateTime(20240131235959ULL)), "2024-01-31 23:59:59");
    EXPECT_EQ(test::U8(FormatIntegerDateTime(0)), "0000-00-00 00:00:00");
    EXPECT_EQ(test::U8(FormatIntegerDateTime(123456789012345ULL)), "12345-67-89 01:23:45");
    EXPECT_EQ(test::U8(FormatDateTimeParts(2024, 1, 5, 3, 4, 5)), "2024-01-05 03:04:05");
    EXPECT_EQ(test::U8(FormatDateTimeParts(0, 0, 0, -1, -1, -1)), "0000-00-00 -1:-1:-1");
    // A damaged DATETIME2 can hold a year of five digits: every digit shows,
    // as do the parts of a year of one.
    EXPECT_EQ(Show(Temporal(FieldType::kDateTime2, 19), Bytes({0xFE, 0xF4, 0x44, 0x31, 0x05})),
              "10000-01-02 03:04:05");
    EXPECT_EQ(
        Show(Temporal(FieldType::kDateTime2, 22), Bytes({0x80, 0x10, 0x84, 0x31, 0x05, 0x07})),
        "0005-01-02 03:04:05.07");
}

}  // namespace
}  // namespace brix
