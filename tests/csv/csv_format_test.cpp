#include "csv/csv_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brix {
namespace {

ByteSpan Span(const std::string& text) {
    return ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::vector<std::string> FieldTexts(const CsvFields& fields) {
    std::vector<std::string> out;
    for (size_t i = 0; i < fields.count(); ++i) {
        const ByteSpan f = fields.Field(i);
        out.emplace_back(f.begin(), f.end());
    }
    return out;
}

// Lines split as the server reads them back: quoted and bare fields, every
// escape it writes, a backslash before another byte kept with it, quotes
// inside a field that are not followed by a comma, and each way a line is
// damaged.
TEST(CsvFormatTest, SplitsLinesAsTheServerReadsThem) {
    struct Case {
        std::string line;
        size_t columns;
        CsvLineStatus status;
        std::vector<std::string> fields;
        bool extra;
    };
    const std::vector<Case> cases = {
        {"1,\"csv row\"", 2, CsvLineStatus::kOk, {"1", "csv row"}, false},
        {"2,\"with \\\"quote\\\"\"", 2, CsvLineStatus::kOk, {"2", "with \"quote\""}, false},
        {"\"a\\\\b\\nc\\rd\"", 1, CsvLineStatus::kOk, {"a\\b\nc\rd"}, false},
        {"\"a\\tb\\x\"", 1, CsvLineStatus::kOk, {"a\\tb\\x"}, false},
        {"\"x\"y\",\"\"", 2, CsvLineStatus::kOk, {"x\"y", ""}, false},
        {"\"a,b\",c", 2, CsvLineStatus::kOk, {"a,b", "c"}, false},
        {"\"\\\",\"", 1, CsvLineStatus::kOk, {"\","}, false},
        {"-1.5,2020-01-02", 2, CsvLineStatus::kOk, {"-1.5", "2020-01-02"}, false},
        {"a\\,b,c", 2, CsvLineStatus::kOk, {"a\\,b", "c"}, false},
        {"1,2,3", 2, CsvLineStatus::kOk, {"1", "2"}, true},
        {"1", 2, CsvLineStatus::kFewerFields, {"1"}, false},
        {"1,", 2, CsvLineStatus::kFewerFields, {"1"}, false},
        {"", 1, CsvLineStatus::kFewerFields, {}, false},
        {"\"open", 1, CsvLineStatus::kQuoteNeverEnds, {}, false},
        {"\"open\\\"", 1, CsvLineStatus::kQuoteNeverEnds, {}, false},
        {"\"", 1, CsvLineStatus::kQuoteNeverEnds, {}, false},
        {"1,2\"", 2, CsvLineStatus::kStrayQuote, {"1"}, false},
    };
    CsvFields fields;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SplitCsvLine(Span(c.line), c.columns, fields), c.status);
        EXPECT_EQ(FieldTexts(fields), c.fields);
        if (c.status == CsvLineStatus::kOk) {
            EXPECT_EQ(fields.extra, c.extra);
        }
    }
}

// LF, CR LF and a CR alone each end a line, as the server takes them.
TEST(CsvFormatTest, FindsEveryKindOfLineEnd) {
    struct Case {
        std::string bytes;
        size_t from;
        size_t lineEnd;
        size_t endLength;
    };
    const std::vector<Case> cases = {
        {"ab\ncd", 0, 2, 1}, {"ab\r\ncd", 0, 2, 2}, {"ab\rcd", 0, 2, 1}, {"ab\r", 0, 2, 1},
        {"abcd", 0, 4, 0},   {"ab\ncd\n", 3, 5, 1}, {"", 0, 0, 0},       {"ab", 7, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        size_t lineEnd = 99;
        size_t endLength = 99;
        FindCsvLineEnd(Span(c.bytes), c.from, lineEnd, endLength);
        EXPECT_EQ(lineEnd, c.lineEnd);
        EXPECT_EQ(endLength, c.endLength);
    }
}

// The meta file: the marker, the version, the row count and the crashed
// byte; a short or foreign file is no meta file.
TEST(CsvFormatTest, ReadsTheMetaFile) {
    std::vector<uint8_t> clean(kCsvMetaSize, 0);
    clean[0] = kCsvMetaMarker;
    clean[1] = 1;
    clean[2] = 0x34;
    clean[3] = 0x12;
    std::vector<uint8_t> crashed = clean;
    crashed[kCsvMetaCrashedPos] = 1;
    std::vector<uint8_t> foreign = clean;
    foreign[0] = 0;
    const std::vector<uint8_t> shortFile(clean.begin(), clean.end() - 1);
    struct Case {
        const std::vector<uint8_t>* bytes;
        bool valid;
        uint64_t rows;
        bool crashed;
    };
    const std::vector<Case> cases = {
        {&clean, true, 0x1234, false},
        {&crashed, true, 0x1234, true},
        {&foreign, false, 0, false},
        {&shortFile, false, 0, false},
    };
    for (const Case& c : cases) {
        const CsvMeta meta = ParseCsvMeta(*c.bytes);
        EXPECT_TRUE(meta.present);
        EXPECT_EQ(meta.valid, c.valid);
        EXPECT_EQ(meta.rows, c.rows);
        EXPECT_EQ(meta.crashed, c.crashed);
    }
    EXPECT_FALSE(ReadCsvMeta("/nonexistent/brix/t.CSM").present);
}

}  // namespace
}  // namespace brix
