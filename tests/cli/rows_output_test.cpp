// Off-page values written out by streaming them from the tablespace into the
// output, against spilling each to a file and reading that back: the same
// bytes for every InnoDB fixture table, the same findings for a broken chain,
// and the same text however the bytes of a value are cut into pieces.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/text.h"
#include "app/text_decoder.h"
#include "browse/table_rows.h"
#include "cli/output.h"
#include "innodb/blob.h"
#include "innodb/dictionary.h"
#include "schema/field_types.h"
#include "support/expected_rows.h"
#include "support/test_support.h"
#include "values/value_render.h"

namespace brix {
namespace {

// What a write to a stream put there.
class CCapture {
  public:
    CCapture() : file_(std::tmpfile()) {}
    ~CCapture() {
        if (file_) std::fclose(file_);
    }
    std::FILE* file() const { return file_; }
    std::string Text() const {
        std::string out;
        std::rewind(file_);
        char buffer[1 << 14];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
            out.append(buffer, n);
        return out;
    }

  private:
    std::FILE* file_;
};

struct Written {
    std::string tsv;
    std::string json;
    size_t externalCells = 0;
    std::vector<std::string> findings;
};

// Every row of the table in folder, in both formats: spilled when spill is
// given, else kept by reference and streamed.
Written WriteTable(const std::filesystem::path& folder, const std::string& name,
                   const CInnoDictionary* dictionary, const std::filesystem::path& spill) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    Written out;
    for (bool json : {false, true}) {
        CDamageReport damage;
        CReadOptions options;
        options.exportMode = true;
        options.damage = &damage;
        options.spillFolder = spill;
        options.keepExternal = spill.empty();
        CTableRows rows;
        EXPECT_EQ(rows.Open(folder, Utf8ToUtf16(name), *app, options, dictionary),
                  OpenRowsResult::kOk)
            << name;
        CExternalValues values;
        if (!rows.TablespacePath().empty()) {
            EXPECT_TRUE(values.Open(rows.TablespacePath()));
        }
        CCapture capture;
        {
            CTsvWriter tsv(capture.file());
            CJsonRowsWriter jsonWriter(capture.file());
            const auto write = [&](const CRowWindow& window) {
                for (size_t r = 0; r < window.rowCount(); ++r)
                    for (size_t c = 0; c < window.columnCount(); ++c)
                        out.externalCells += window.IsExternal(r, c) ? 1 : 0;
                WriteRowWindow(window, rows.table(), *app, &values, &damage, json ? nullptr : &tsv,
                               json ? &jsonWriter : nullptr);
            };
            WriteWindows(rows, *app, true, write);
            if (json) {
                EXPECT_TRUE(jsonWriter.Finish());
            } else {
                EXPECT_TRUE(tsv.Flush());
            }
        }
        (json ? out.json : out.tsv) = capture.Text();
        if (!json) {
            for (const DamageFinding& f : damage.Findings()) out.findings.push_back(DamageLine(f));
        }
    }
    return out;
}

TEST(RowsOutputTest, StreamedOffPageValuesWriteWhatSpilledOnesWrote) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    CInnoDictionary dictionary;
    ASSERT_TRUE(dictionary.Open(test::FixtureDataDir() / "ibdata1", *app));
    test::TempDir spill;
    size_t tablesWithExternal = 0;
    for (const test::ExpectedTable& t : test::FixtureTables()) {
        if (t.engine != "InnoDB") continue;
        SCOPED_TRACE(t.database + "." + t.name);
        const std::filesystem::path folder = test::FixtureDataDir() / t.database;
        const Written spilled = WriteTable(folder, t.name, &dictionary, spill.path());
        const Written streamed = WriteTable(folder, t.name, &dictionary, {});
        EXPECT_EQ(spilled.externalCells, 0u);
        if (streamed.externalCells > 0) ++tablesWithExternal;
        // Compared as strings, not with EXPECT_EQ's diff of megabytes.
        EXPECT_TRUE(streamed.tsv == spilled.tsv) << "tsv differs";
        EXPECT_TRUE(streamed.json == spilled.json) << "json differs";
        EXPECT_EQ(streamed.findings, spilled.findings);
    }
    // The fixtures hold off-page TEXT and BLOB values in more than one table.
    EXPECT_GE(tablesWithExternal, 2u);
}

TEST(RowsOutputTest, BrokenChainIsReportedAsWhenSpilled) {
    // The first BLOB page of the table zeroed: each value that runs into it
    // keeps what came before and one finding says the chain is broken.
    test::TempDir dir;
    const std::string table = "inno_blobs_offpage";
    const std::filesystem::path source = test::FixtureDataDir() / "paging";
    std::filesystem::copy_file(source / (table + ".frm"), dir.path() / (table + ".frm"));
    std::vector<uint8_t> ibd = test::ReadFileBytes(source / (table + ".ibd"));
    constexpr size_t kPage = 16384;
    constexpr uint16_t kBlobPageType = 10;
    bool zeroed = false;
    for (size_t p = 0; p < ibd.size() / kPage && !zeroed; ++p) {
        if (LoadU16be(ByteSpan(ibd.data() + p * kPage, kPage), 24) != kBlobPageType) continue;
        std::fill_n(ibd.begin() + static_cast<std::ptrdiff_t>(p * kPage), kPage, uint8_t{0});
        zeroed = true;
    }
    ASSERT_TRUE(zeroed);
    test::WriteFile(dir.path() / (table + ".ibd"), ibd);

    const Written spilled = WriteTable(dir.path(), table, nullptr, dir.path() / "spill");
    const Written streamed = WriteTable(dir.path(), table, nullptr, {});
    EXPECT_TRUE(streamed.tsv == spilled.tsv);
    EXPECT_TRUE(streamed.json == spilled.json);
    ASSERT_FALSE(spilled.findings.empty());
    EXPECT_EQ(streamed.findings, spilled.findings);
    for (const std::string& line : streamed.findings)
        EXPECT_NE(line.find("value's off-page chain is broken"), std::string::npos) << line;
}

// A column of the type and collation, its decoder found as the readers find it.
CColumnDef Column(int type, int collation, const CAppState& app) {
    CColumnDef column;
    column.type = type;
    column.charsetNumber = collation;
    column.decoder = app.decoders().ForCollation(static_cast<uint32_t>(collation));
    return column;
}

TEST(RowsOutputTest, ValueCutAnywhereRendersAsWhole) {
    // The bytes before an unreadable reference are a value's local part: cut
    // into pieces of every small size they must give the text they give
    // whole, characters and surrogate pairs split between pieces included.
    const CAppState& app = test::TestApp();
    constexpr int kLatin1 = 8, kUcs2 = 35, kUtf8mb4 = 45, kUtf16 = 54, kUtf16le = 56, kUtf32 = 60;
    const std::vector<uint8_t> mixedUtf8 =
        test::Bytes({'a',  0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0xF0,
                     0x9F, 0x98, 'b',  0x80, 0x80, 0x80, 0x80, 0xC3, 0xE2, 0x82, 0xFF,
                     0xF4, 0x90, 0x80, 0x80, 0xED, 0xA0, 0x80, 0,    '\t', 0xE2, 0x82});
    const std::vector<uint8_t> pairs16be =
        test::Bytes({0xD8, 0x3D, 0xDE, 0x00, 0x00, 'x', 0xDC, 0x00, 0xD8, 0x00, 0x00, 'y', 0x01});
    const std::vector<uint8_t> pairs16le =
        test::Bytes({0x3D, 0xD8, 0x00, 0xDE, 'x', 0x00, 0x00, 0xD8, 'y', 0x00, 0x01});
    const std::vector<uint8_t> utf32 = test::Bytes(
        {0x00, 0x01, 0xF6, 0x00, 0x00, 0x00, 0x00, 'z', 0x00, 0x11, 0x00, 0x00, 0x00, 0x00});
    const std::vector<uint8_t> binary = test::Bytes({0x00, 0xFF, 0x10, 0xAB, 0x7F, 0x80});
    struct Case {
        const char* name;
        CColumnDef column;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"utf8mb4 text", Column(FieldType::kBlob, kUtf8mb4, app), mixedUtf8},
        {"utf8mb4 varchar", Column(FieldType::kVarchar, kUtf8mb4, app), mixedUtf8},
        {"latin1 text", Column(FieldType::kMediumBlob, kLatin1, app), mixedUtf8},
        {"ucs2 text", Column(FieldType::kBlob, kUcs2, app), pairs16be},
        {"utf16 text", Column(FieldType::kBlob, kUtf16, app), pairs16be},
        {"utf16le text", Column(FieldType::kBlob, kUtf16le, app), pairs16le},
        {"utf32 text", Column(FieldType::kLongBlob, kUtf32, app), utf32},
        {"blob", Column(FieldType::kBlob, kBinaryCharset, app), binary},
        {"varbinary", Column(FieldType::kVarchar, kBinaryCharset, app), binary},
        {"json", Column(FieldType::kJson, kBinaryCharset, app),
         test::Bytes({0x0C, 0x02, 'h', 'i'})},
        {"empty text", Column(FieldType::kBlob, kUtf8mb4, app), {}},
    };
    CExternalValues values;  // no tablespace: every chain breaks at once
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenderContext context;
        context.decoders = &app.decoders();
        context.exportMode = true;
        context.blobsInFull = true;
        std::u16string expected;
        RenderMyIsamValue(c.column, c.bytes, context, expected);
        std::vector<uint8_t> local = c.bytes;
        local.resize(local.size() + kExternalReferenceLength, 0xFF);
        for (size_t chunk : {0, 1, 2, 3, 4, 5, 7}) {
            std::u16string got;
            std::vector<std::u16string> pieces;
            const bool whole = values.RenderBytes(
                c.column, local, app,
                [&](std::u16string_view piece) {
                    got += piece;
                    pieces.emplace_back(piece);
                },
                chunk);
            EXPECT_FALSE(whole);
            EXPECT_EQ(test::U8(got), test::U8(expected)) << "pieces of " << chunk;
            EXPECT_TRUE(got == expected) << "pieces of " << chunk;
            // No piece but the last ends in the first half of a pair.
            for (size_t i = 0; i + 1 < pieces.size(); ++i)
                EXPECT_FALSE(!pieces[i].empty() && pieces[i].back() >= 0xD800 &&
                             pieces[i].back() <= 0xDBFF)
                    << "pieces of " << chunk;
        }
    }
}

TEST(RowsOutputTest, FieldsWrittenInPiecesAreEscapedAsWhole) {
    const std::u16string text = u"a\tb\\c\nd\re\"f\x01g\U0001F600h";
    const std::vector<std::vector<size_t>> cuts = {
        {}, {1}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}};
    for (const std::vector<size_t>& cut : cuts) {
        std::vector<std::u16string_view> parts;
        size_t from = 0;
        for (size_t at : cut) {
            parts.push_back(std::u16string_view(text).substr(from, at - from));
            from = at;
        }
        parts.push_back(std::u16string_view(text).substr(from));
        CCapture whole, pieces;
        {
            CTsvWriter a(whole.file());
            a.Field(u"x");
            a.Field(text);
            a.EndRow();
            CTsvWriter b(pieces.file());
            b.Field(u"x");
            b.BeginField();
            for (std::u16string_view p : parts) b.FieldPart(p);
            b.EndRow();
        }
        EXPECT_EQ(pieces.Text(), whole.Text());
        CCapture wholeJson, piecesJson;
        {
            CJsonRowsWriter a(wholeJson.file());
            a.BeginColumns();
            a.EndColumns();
            a.BeginRow();
            a.Value(u"x", false);
            a.Value(text, false);
            a.EndRow();
            a.Finish();
            CJsonRowsWriter b(piecesJson.file());
            b.BeginColumns();
            b.EndColumns();
            b.BeginRow();
            b.Value(u"x", false);
            b.BeginString();
            for (std::u16string_view p : parts) b.StringPart(p);
            b.EndString();
            b.EndRow();
            b.Finish();
        }
        EXPECT_EQ(piecesJson.Text(), wholeJson.Text());
    }
}

}  // namespace
}  // namespace brix
