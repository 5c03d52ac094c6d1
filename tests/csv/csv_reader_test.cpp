#include "csv/csv_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/damage_report.h"
#include "support/test_support.h"

namespace brix {
namespace {

// A table of an INT, a VARCHAR in UTF-8, a DECIMAL and a BIT(12): what the
// engine writes bare, quoted, and as raw bytes.
CTableDef FourColumns(const CAppState& app) {
    CTableDef table;
    CColumnDef id;
    id.name = u"id";
    id.type = FieldType::kLong;
    id.signedness = Signedness::kSigned;
    CColumnDef text;
    text.name = u"t";
    text.type = FieldType::kVarchar;
    text.length = 400;
    text.charsetNumber = 45;
    text.decoder = &app.decoders().Utf8();
    CColumnDef money;
    money.name = u"d";
    money.type = FieldType::kNewDecimal;
    money.precision = 8;
    money.decimals = 2;
    CColumnDef bits;
    bits.name = u"b";
    bits.type = FieldType::kBit;
    bits.length = 12;
    table.columns = {id, text, money, bits};
    return table;
}

std::vector<uint8_t> FileBytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> CleanMeta(uint64_t rows, bool crashed) {
    std::vector<uint8_t> meta(kCsvMetaSize, 0);
    meta[0] = kCsvMetaMarker;
    meta[1] = 1;
    meta[kCsvMetaRowsPos] = static_cast<uint8_t>(rows);
    meta[kCsvMetaCrashedPos] = crashed ? 1 : 0;
    return meta;
}

struct ReadResult {
    std::vector<std::string> rows;      // cells joined by '|'
    std::vector<std::string> findings;  // "offset why"
    bool windowFull = false;
};

std::vector<std::string> RowTexts(const CRowWindow& window) {
    std::vector<std::string> rows;
    for (size_t r = 0; r < window.rowCount(); ++r) {
        std::string row;
        for (size_t c = 0; c < window.columnCount(); ++c) {
            if (c) row += '|';
            row += test::U8(window.Text(r, c));
        }
        rows.push_back(row);
    }
    return rows;
}

ReadResult ReadFile(const std::vector<uint8_t>& csv, const std::vector<uint8_t>* csm,
                    size_t windowRows = kWindowRows) {
    const test::TempDir dir;
    test::WriteFile(dir.path() / "t.CSV", csv);
    if (csm) test::WriteFile(dir.path() / "t.CSM", *csm);
    const CAppState& app = test::TestApp();
    const CTableDef table = FourColumns(app);
    CWindowState window;
    CDamageReport damage;
    CReadOptions options;
    options.exportMode = true;
    options.damage = &damage;
    options.windowRows = windowRows;
    CCsvTableReader reader(table, window, options);
    EXPECT_TRUE(OpenCsvTable(reader, dir.path() / "t.CSV", dir.path() / "t.CSM", app));
    ReadResult result;
    result.rows = RowTexts(window.rows);
    result.windowFull = window.windowFull;
    for (const DamageFinding& f : damage.Findings())
        result.findings.push_back(std::to_string(f.offset) + " " + f.why);
    return result;
}

// Every line that can be read is read; each line that cannot is reported
// with its offset and the reason, and the lines after it are read on.
TEST(CsvReaderTest, ReadsEveryReadableLineAndReportsTheOthers) {
    const std::string good1 = "1,\"a \\\"b\\\" \\\\ c\",1.50,\"\x0f\xff\"\n";
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> rows;
        std::vector<std::string> findings;
    };
    const std::string good2z = std::string("-2,\"x\\ny,\xc3\xa9\",-0.01,\"") + '\0' + "\x01\"\n";
    const std::string row1 = "1|a \"b\" \\ c|1.50|111111111111";
    const std::string row2 = "-2|x\ny,\xc3\xa9|-0.01|000000000001";
    const std::vector<Case> cases = {
        {"clean", good1 + good2z, {row1, row2}, {}},
        {"crlf and cr line ends",
         "1,\"a \\\"b\\\" \\\\ c\",1.50,\"\x0f\xff\"\r\n" + good2z.substr(0, good2z.size() - 1) +
             "\r",
         {row1, row2},
         {}},
        {"fewer fields",
         good1 + "3,\"short\"\n" + good2z,
         {row1, row2},
         {std::to_string(good1.size()) + " line has fewer fields than the table has columns"}},
        {"quote never ends",
         good1 + "3,\"open,1.00,\"\x01\n" + good2z,
         {row1, row2},
         {std::to_string(good1.size()) + " quoted field never ends"}},
        {"number that is no number",
         good1 + "x3,\"t\",1.00,\"\x01\"\n" + good2z,
         {row1, row2},
         {std::to_string(good1.size()) + " value does not fit its column's type"}},
        {"bit value longer than the column",
         good1 + "3,\"t\",1.00,\"\x01\x02\x03\"\n",
         {row1},
         {std::to_string(good1.size()) + " value does not fit its column's type"}},
        {"more fields",
         good1 + "3,\"t\",1.00,\"\x01\",9\n",
         {row1, "3|t|1.00|000000000001"},
         {std::to_string(good1.size()) + " line has more fields than the table has columns"}},
        {"cut in the middle of a line",
         good1 + good2z.substr(0, 10),
         {row1},
         {std::to_string(good1.size()) + " file ends in the middle of a line"}},
        {"empty line",
         good1 + "\n" + good2z,
         {row1, row2},
         {std::to_string(good1.size()) + " line has fewer fields than the table has columns"}},
        {"empty file", "", {}, {}},
    };
    const std::vector<uint8_t> meta = CleanMeta(2, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadResult result = ReadFile(FileBytes(c.file), &meta);
        EXPECT_EQ(result.rows, c.rows);
        EXPECT_EQ(result.findings, c.findings);
    }
}

// The meta file adds findings but never keeps a row from being read.
TEST(CsvReaderTest, ReportsAMetaFileThatMarksTheTableCrashed) {
    const std::vector<uint8_t> csv = FileBytes("7,\"t\",0.00,\"\x01\"\n");
    const std::vector<uint8_t> crashed = CleanMeta(1, true);
    const std::vector<uint8_t> foreign(kCsvMetaSize, 0);
    struct Case {
        const char* name;
        const std::vector<uint8_t>* meta;
        std::vector<std::string> findings;
    };
    const std::vector<Case> cases = {
        {"missing", nullptr, {}},
        {"crashed", &crashed, {"-1 table is marked crashed"}},
        {"foreign", &foreign, {"-1 meta file is damaged; rows read from the data file alone"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadResult result = ReadFile(csv, c.meta);
        EXPECT_EQ(result.rows, std::vector<std::string>{"7|t|0.00|000000000001"});
        EXPECT_EQ(result.findings, c.findings);
    }
}

// Windows fill at the window size and go on from their bookmarks to the
// last line; lines longer than a read block and lines across the blocks'
// edges read whole.
TEST(CsvReaderTest, PagesThroughLinesLongerThanABlockAndAcrossBlocks) {
    std::string file;
    std::vector<std::string> expected;
    const std::string longText(3u << 20, 'w');
    for (int i = 0; i < 9; ++i) {
        // Lines of odd lengths, one of them longer than a block, so that
        // lines and CR LF ends fall across the blocks' edges.
        const std::string text = i == 4 ? longText : std::string(70000 + 37 * i, 'a' + i);
        file += std::to_string(i) + ",\"" + text + "\",1.00,\"\x01\"" + (i % 2 ? "\r\n" : "\n");
        expected.push_back(std::to_string(i) + "|" + text + "|1.00|000000000001");
    }
    const test::TempDir dir;
    test::WriteFile(dir.path() / "t.CSV", FileBytes(file));
    const CAppState& app = test::TestApp();
    const CTableDef table = FourColumns(app);
    CWindowState window;
    CDamageReport damage;
    CReadOptions options;
    options.exportMode = true;
    options.damage = &damage;
    options.windowRows = 4;
    CCsvTableReader reader(table, window, options);
    ASSERT_TRUE(OpenCsvTable(reader, dir.path() / "t.CSV", dir.path() / "t.CSM", app));
    std::vector<std::string> rows = RowTexts(window.rows);
    for (int guard = 0; window.windowFull && guard < 10; ++guard) {
        ASSERT_TRUE(ReadCsvWindowAt(reader, window.bookmarks.back().origin, true, app));
        for (std::string& row : RowTexts(window.rows)) rows.push_back(std::move(row));
    }
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(window.bookmarks.size(), 3u);
    EXPECT_TRUE(damage.Empty());
}

// A table without its data file has no rows, and says why.
TEST(CsvReaderTest, DataFileMissingIsReportedWithAnEmptyWindow) {
    const test::TempDir dir;
    const CAppState& app = test::TestApp();
    const CTableDef table = FourColumns(app);
    CWindowState window;
    CDamageReport damage;
    CReadOptions options;
    options.damage = &damage;
    CCsvTableReader reader(table, window, options);
    EXPECT_TRUE(OpenCsvTable(reader, dir.path() / "t.CSV", dir.path() / "t.CSM", app));
    EXPECT_EQ(window.rows.rowCount(), 0u);
    const std::vector<DamageFinding> findings = damage.Findings();
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].why, "data file missing");
    EXPECT_EQ(findings[0].what, DamageWhat::kFile);
    EXPECT_FALSE(findings[0].rowsStillRead);
}

}  // namespace
}  // namespace brix
