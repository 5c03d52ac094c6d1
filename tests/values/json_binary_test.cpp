#include "values/json_binary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/text.h"
#include "myisam/dynamic_rows.h"
#include "save/create_table.h"
#include "save/sql_text.h"
#include "schema/column_type_text.h"
#include "support/myisam_builder.h"
#include "support/test_support.h"
#include "values/value_render.h"

namespace brix {
namespace {

using test::Bytes;

struct Vector {
    std::string label;
    std::vector<uint8_t> bytes;
    std::string text;
};

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// The documents MySQL stored and printed: label, hex of the stored bytes and
// the printed text on each line (see tests/fixtures/make-json-vectors).
const std::vector<Vector>& ServerVectors() {
    static const std::vector<Vector> vectors = [] {
        std::vector<Vector> out;
        std::ifstream in(test::SourceDir() / "tests/fixtures/mysql9/json/vectors.tsv",
                         std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            const size_t a = line.find('\t');
            const size_t b = line.find('\t', a + 1);
            if (a == std::string::npos || b == std::string::npos) continue;
            out.push_back(
                {line.substr(0, a), FromHex(line.substr(a + 1, b - a - 1)), line.substr(b + 1)});
        }
        return out;
    }();
    return vectors;
}

struct Rendered {
    bool ok;
    std::string text;
    size_t units;
};

Rendered Render(const std::vector<uint8_t>& bytes) {
    std::u16string out;
    const bool ok = AppendJsonBinary(out, bytes);
    return {ok, test::U8(out), out.size()};
}

// The most text any input may give: see AppendJsonBinary.
size_t TextBound(size_t inputSize) {
    return 64 + 16 * inputSize + 6 * inputSize;
}

TEST(JsonBinaryTest, EveryServerVectorRendersAsTheServerPrintedIt) {
    const auto& vectors = ServerVectors();
    ASSERT_GE(vectors.size(), 80u);
    bool sawLarge = false;
    for (const Vector& v : vectors) {
        const Rendered r = Render(v.bytes);
        EXPECT_TRUE(r.ok) << v.label;
        EXPECT_EQ(r.text, v.text) << v.label;
        sawLarge = sawLarge || (!v.bytes.empty() && (v.bytes[0] == 0x01 || v.bytes[0] == 0x03));
    }
    EXPECT_TRUE(sawLarge) << "no vector in the large storage format";
}

TEST(JsonBinaryTest, TruncatedValuesFailAndKeepAPrefixOfTheText) {
    for (const Vector& v : ServerVectors()) {
        if (v.bytes.size() > 3000) continue;
        for (size_t n = 1; n < v.bytes.size(); ++n) {
            const std::vector<uint8_t> cut(v.bytes.begin(), v.bytes.begin() + n);
            const Rendered r = Render(cut);
            EXPECT_FALSE(r.ok) << v.label << " cut to " << n;
            EXPECT_EQ(v.text.compare(0, r.text.size(), r.text), 0) << v.label << " cut to " << n;
        }
    }
}

TEST(JsonBinaryTest, EveryChangedByteEndsSafelyWithBoundedText) {
    for (const Vector& v : ServerVectors()) {
        if (v.bytes.size() > 600) continue;
        for (size_t i = 0; i < v.bytes.size(); ++i) {
            for (const uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
                std::vector<uint8_t> changed = v.bytes;
                changed[i] = value;
                EXPECT_LE(Render(changed).units, TextBound(changed.size())) << v.label << " @" << i;
            }
        }
    }
}

// A small array of n elements, each the value at one offset: the same
// nested value n times over.
std::vector<uint8_t> SharedArray(const std::vector<uint8_t>& inner, size_t n) {
    const size_t header = 4 + 3 * n;
    std::vector<uint8_t> out = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                static_cast<uint8_t>(header + inner.size()),
                                static_cast<uint8_t>((header + inner.size()) >> 8)};
    for (size_t i = 0; i < n; ++i) {
        out.push_back(0x02);
        out.push_back(static_cast<uint8_t>(header));
        out.push_back(static_cast<uint8_t>(header >> 8));
    }
    out.insert(out.end(), inner.begin(), inner.end());
    return out;
}

TEST(JsonBinaryTest, HostileStructuresEndSafely) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool ok;
        const char* text;
    };
    std::vector<Case> cases = {
        {"empty value is the null literal", {}, true, "null"},
        {"unknown type byte", Bytes({0x0D, 0x00}), false, ""},
        {"literal of no known kind", Bytes({0x04, 0x03}), false, ""},
        {"int16 missing a byte", Bytes({0x05, 0x01}), false, ""},
        // Small array of one element whose offset points into its own entry.
        {"offset into its own entry", Bytes({0x02, 1, 0, 7, 0, 0x02, 4, 0}), false, "["},
        {"offset before the entries", Bytes({0x02, 1, 0, 7, 0, 0x0C, 0, 0}), false, "["},
        {"offset past the value", Bytes({0x02, 1, 0, 7, 0, 0x0C, 9, 0}), false, "["},
        {"size past the bytes", Bytes({0x02, 0, 0, 9, 0}), false, ""},
        {"more entries than the size holds", Bytes({0x02, 9, 0, 4, 0}), false, ""},
        {"large counts cannot overflow the header size",
         Bytes({0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0x08, 0, 0, 0}), false, ""},
        // Object of one member: key entry (offset 11, length 5) past the end.
        {"key past the value", Bytes({0x00, 1, 0, 12, 0, 11, 0, 5, 0, 0x04, 0, 0, 'k'}), false,
         "{"},
        {"key inside the entries", Bytes({0x00, 1, 0, 12, 0, 4, 0, 1, 0, 0x04, 0, 0, 'k'}), false,
         "{"},
        {"string length past the bytes", Bytes({0x0C, 0x05, 'a', 'b'}), false, ""},
        {"string length of more than five bytes", Bytes({0x0C, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}),
         false, ""},
        {"string length beyond 32 bits", Bytes({0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), false, ""},
        {"date of the wrong size", Bytes({0x0F, 10, 4, 0, 0, 0, 0}), false, ""},
        {"decimal with a scale above its precision", Bytes({0x0F, 246, 3, 1, 2, 0}), false, ""},
        {"decimal of the wrong size", Bytes({0x0F, 246, 3, 5, 0, 0x80, 0, 0}), false, ""},
        // What the server prints and stores no other way.
        {"opaque VAR_STRING prints as a string", Bytes({0x0F, 253, 3, 'a', '"', 0x01}), true,
         "\"a\\\"\\u0001\""},
        {"other opaque types print as base64", Bytes({0x0F, 16, 2, 0x0B, 0x38}), true,
         "\"base64:type16:Czg=\""},
        {"positive infinity reads as zero", Bytes({0x0B, 0, 0, 0, 0, 0, 0, 0xF0, 0x7F}), true,
         "0.0"},
    };
    // Each level one small array holding the next: 100 levels are allowed,
    // the 101st is not.
    auto nested = [](int levels) {
        std::vector<uint8_t> value = Bytes({0, 0, 4, 0});  // []
        for (int i = 1; i < levels; ++i) {
            std::vector<uint8_t> outer = Bytes({1, 0, 0, 0, 0x02, 7, 0});
            outer[2] = static_cast<uint8_t>(7 + value.size());
            outer[3] = static_cast<uint8_t>((7 + value.size()) >> 8);
            outer.insert(outer.end(), value.begin(), value.end());
            value = outer;
        }
        value.insert(value.begin(), 0x02);
        return value;
    };
    const std::string hundred = std::string(100, '[') + std::string(100, ']');
    cases.push_back({"100 levels", nested(100), true, hundred.c_str()});
    const std::string tooDeep = std::string(100, '[');
    cases.push_back({"101 levels", nested(101), false, tooDeep.c_str()});
    for (const Case& c : cases) {
        const Rendered r = Render(c.bytes);
        EXPECT_EQ(r.ok, c.ok) << c.name;
        EXPECT_EQ(r.text, c.text) << c.name;
    }
}

TEST(JsonBinaryTest, SharedValuesCannotMakeTheTextExplode) {
    // Each level repeats the level below it 200 times through one offset:
    // the full text would be 200^4 times the innermost value.
    std::vector<uint8_t> value = Bytes({0, 0, 4, 0});  // []
    for (int level = 0; level < 4; ++level) value = SharedArray(value, 200);
    value.insert(value.begin(), 0x02);
    const Rendered r = Render(value);
    EXPECT_FALSE(r.ok);
    EXPECT_LE(r.units, TextBound(value.size()));
}

struct JsonColumn : CColumnDef {
    JsonColumn() {
        type = FieldType::kJson;
        charsetNumber = kBinaryCharset;
    }
};

std::string RenderColumn(const std::vector<uint8_t>& bytes, bool exportMode, bool blobsInFull) {
    RenderContext context{&test::TestApp().decoders(), {}, exportMode, blobsInFull};
    std::u16string out;
    EXPECT_FALSE(RenderMyIsamValue(JsonColumn(), bytes, context, out));
    return test::U8(out);
}

TEST(JsonBinaryTest, JsonColumnsShowTheServersTextAndExportItAsAString) {
    const std::vector<uint8_t> small = Bytes({0x0C, 0x03, 'a', '\'', 'b'});
    EXPECT_EQ(RenderColumn(small, false, false), "\"a'b\"");
    std::vector<uint8_t> big = {0x0C, 0xE8, 0x07};  // a string of 1000 bytes
    big.resize(big.size() + 1000, 'x');
    EXPECT_EQ(RenderColumn(big, false, false), test::U8(kLargeBlobText));
    EXPECT_EQ(RenderColumn(big, false, true).size(), 1002u);
    EXPECT_EQ(RenderColumn(big, true, false).size(), 1002u);

    const JsonColumn column;
    EXPECT_EQ(StoredValueWidth(column), 4u);
    EXPECT_EQ(test::U8(ColumnTypeText(column, 0, test::TestApp().collations)), "JSON");
    std::u16string literal;
    AppendValueLiteral(literal, column, u"{\"a\": \"it's\"}", false);
    EXPECT_EQ(test::U8(literal), "'{\"a\": \"it''s\"}'");
}

TEST(JsonColumnTest, AScriptCreatesAJsonColumnWithoutADefaultValue) {
    CTableDef table;
    table.columns = {test::MakeColumn(u"doc", FieldType::kJson, 0, 1)};
    table.columns[0].charsetNumber = kBinaryCharset;
    table.recordLength = 13;
    table.defaultRecord.assign(13, 0);
    EXPECT_EQ(test::U8(SqlColumnType(table, table.columns[0], test::TestApp().collations)), "JSON");
    const std::vector<std::u16string> clauses = ColumnDefaultClauses(table, test::TestApp());
    ASSERT_EQ(clauses.size(), 1u);
    EXPECT_EQ(test::U8(clauses[0]), "");
}

TEST(JsonColumnTest, MyIsamRowOfAJsonColumnShowsTheServersText) {
    // A table of MySQL 5.7 with one nullable JSON column: the null flags as
    // a field of their own, then the value as a BLOB of 4 length bytes.
    CTableDef table;
    table.columns = {test::MakeColumn(u"doc", FieldType::kJson, 0, 2, 1)};
    table.columns[0].nullable = true;
    table.columns[0].charsetNumber = kBinaryCharset;
    table.recordLength = 13;
    table.nullBytes = 1;
    table.createOptions = 1;
    CWindowState window;
    CMyisamTableReader myisam(table, window);
    myisam.header.minPackLength = 1;
    myisam.header.packBits = 1;
    myisam.header.myisamColumns = {{0, 1, 0, 0, 0}, {4, 12, 0, 0, 1}};
    CDynamicRecordUnpacker unpacker(myisam, test::TestApp());
    window.rows.Reset(table.columns.size());
    const std::vector<uint8_t> doc = Bytes({0x02, 2, 0, 12, 0, 0x05, 7, 0, 0x0C, 10, 0, 1, 'x'});
    ASSERT_TRUE(unpacker.UnpackDynamicRecord(
        myisam,
        test::Bytes_().u8(0).u8(0).u32le(static_cast<uint32_t>(doc.size())).raw(doc).bytes));
    EXPECT_EQ(Utf16ToUtf8(window.rows.Text(0, 0)), "[7, \"x\"]");
    // The NULL flag (bit 1 of the null byte) wins over the value.
    ASSERT_TRUE(unpacker.UnpackDynamicRecord(myisam, test::Bytes_().u8(0x01).u8(0x02).bytes));
    EXPECT_TRUE(window.rows.IsNull(1, 0));
}

}  // namespace
}  // namespace brix
