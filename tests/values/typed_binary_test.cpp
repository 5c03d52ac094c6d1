// MariaDB's own binary-stored types (UUID, INET6, INET4) and the hidden hash
// column of a long UNIQUE key, read from tables a real MariaDB server wrote
// and compared with what that server returned for them.

#include "values/typed_binary.h"

#include <gtest/gtest.h>

#include "app/text.h"
#include "browse/table_rows.h"
#include "save/create_table.h"
#include "save/sql_text.h"
#include "schema/column_type_text.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

fs::path TypesDir() {
    return test::SourceDir() / "tests/fixtures/mariadb-types";
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

TEST(TypedBinaryTest, EveryTableReadsAsTheServerReturnedIt) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    for (const char* name :
         {"inno_types", "my_types", "my_fixed_types", "inno_long_unique", "my_long_unique"}) {
        SCOPED_TRACE(name);
        const fs::path expected = TypesDir() / "expected/newtypes";
        const auto select = test::ReadTsv(expected / (std::string(name) + ".select.tsv"));
        const auto columns = test::ReadTsv(expected / (std::string(name) + ".columns.tsv"));
        ASSERT_GT(select.size(), 1u);
        CReadOptions options;
        options.exportMode = true;
        options.spillFolder = fs::temp_directory_path();
        CTableRows rows;
        ASSERT_EQ(rows.Open(TypesDir() / "datadir/newtypes", Utf8ToUtf16(name), *app, options),
                  OpenRowsResult::kOk);
        const CTableDef& table = rows.table();
        // The hash columns of long UNIQUE keys are not the table's columns.
        ASSERT_EQ(table.columns.size(), select[0].size());
        ASSERT_EQ(columns.size(), table.columns.size() + 1);
        for (size_t c = 0; c < table.columns.size(); ++c) {
            EXPECT_EQ(test::U8(table.columns[c].name), select[0][c]);
            const std::string dataType = Upper(columns[c + 1][3]);
            if (dataType == "UUID" || dataType == "INET6") {
                EXPECT_EQ(
                    test::U8(ColumnTypeText(table.columns[c], table.tableCharset, app->collations)),
                    dataType);
                EXPECT_EQ(test::U8(SqlColumnType(table, table.columns[c], app->collations)),
                          dataType);
            }
        }
        size_t row = 1;
        do {
            const CRowWindow& window = rows.rows();
            for (size_t r = 0; r < window.rowCount(); ++r, ++row) {
                ASSERT_LT(row, select.size());
                for (size_t c = 0; c < table.columns.size(); ++c) {
                    const std::string got =
                        window.IsNull(r, c) ? "NULL" : test::U8(window.Text(r, c));
                    EXPECT_EQ(got, select[row][c]) << "row " << row << " column " << c;
                }
            }
        } while (rows.ReadNextWindow(*app));
        EXPECT_EQ(row, select.size());
    }
}

TEST(TypedBinaryTest, ValuesAreSavedAsTheirTextAndShortBytesReadAsZero) {
    CColumnDef uuid;
    uuid.type = FieldType::kString;
    uuid.charsetNumber = kBinaryCharset;
    uuid.dataType = ColumnDataType::kUuid;
    std::u16string literal;
    AppendValueLiteral(literal, uuid, u"00000000-0000-0000-0000-000000000001", false);
    EXPECT_EQ(literal, u"'00000000-0000-0000-0000-000000000001'");

    struct Case {
        ColumnDataType type;
        std::vector<uint8_t> bytes;
        std::u16string text;
    };
    const std::vector<Case> cases = {
        {ColumnDataType::kInet4, {192, 168, 0, 1}, u"192.168.0.1"},
        {ColumnDataType::kInet4, {10}, u"10.0.0.0"},
        // One zero group alone is not shortened.
        {ColumnDataType::kInet6,
         {0, 1, 0, 0, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7},
         u"1:0:2:3:4:5:6:7"},
        {ColumnDataType::kInet6, {0x20, 0x01, 0x0d, 0xb8}, u"2001:db8::"},
        {ColumnDataType::kUuid, {}, u"00000000-0000-0000-0000-000000000000"},
    };
    for (const Case& c : cases) {
        std::u16string out;
        AppendTypedBinary(out, c.type, c.bytes);
        EXPECT_EQ(out, c.text);
    }
}

}  // namespace
}  // namespace brix
