// MyISAM tables written by MariaDB whose .frm make-legacy-fixtures rewrote
// into layouts no server we can run writes: MySQL 4.1's, where VARCHAR is the
// space-padded field type VAR_STRING, and MariaDB 10.1's, which marks
// generated columns with the type 245. The server read the rewritten files
// back for the expected rows.

#include <gtest/gtest.h>

#include "app/damage_report.h"
#include "app/text.h"
#include "browse/table_rows.h"
#include "schema/column_type_text.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

fs::path LegacyDir() {
    return test::SourceDir() / "tests" / "fixtures" / "legacy";
}

// Leaves out of the expected and the read rows the columns not stored, whose
// values the server computes.
void KeepStoredColumns(const CTableDef& table, test::ExpectedTable& expected,
                       std::vector<test::ReadRow>& got) {
    std::vector<size_t> keep;
    for (size_t i = 0; i < table.columns.size(); ++i)
        if (!table.columns[i].isVirtual) keep.push_back(i);
    const auto pick = [&](auto& list) {
        std::remove_reference_t<decltype(list)> kept;
        for (size_t i : keep)
            if (i < list.size()) kept.push_back(list[i]);
        list = std::move(kept);
    };
    pick(expected.columnNames);
    pick(expected.dataTypes);
    pick(expected.charsets);
    for (auto& row : expected.rows) pick(row);
    for (auto& row : got) {
        pick(row.texts);
        pick(row.nulls);
    }
}

TEST(LegacyFixtureTest, OldLayoutsReadAsTheServerReadsThem) {
    const struct {
        const char* table;
        // The server of the layout shows VAR_STRING as VARCHAR in a table of
        // packed records when it holds 4 bytes or more; MariaDB 10.11, which
        // wrote the expected files, calls every one CHAR now.
        std::vector<std::string> types;
        // Per column: V virtual, S stored generated, - plain; and the
        // expressions of the generated ones.
        std::string kinds;
        std::vector<std::string> expressions;
    } cases[] = {
        {"v41", {"INT", "VARCHAR(10)", "CHAR(3)"}, "---", {}},
        {"v41_fixed", {"INT", "CHAR(10)"}, "--", {}},
        {"vc101",
         {"INT", "INT", "INT", "VARCHAR(20)", "ENUM('x','y')", "CHAR(4)"},
         "--VSV-",
         {"`a` + 1", "concat('x',`a`)", "if(`a` > 1,'y','x')"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        test::ExpectedTable expected;
        expected.database = "legacy";
        expected.name = c.table;
        const fs::path dir = LegacyDir() / "expected" / "legacy";
        for (const auto& row : test::ReadTsv(dir / (std::string(c.table) + ".columns.tsv"))) {
            if (row[0] == "COLUMN_NAME") continue;
            expected.columnNames.push_back(row[0]);
            expected.dataTypes.push_back(row[1].substr(0, row[1].find('(')));
            expected.charsets.push_back(row[2]);
        }
        auto rows = test::ReadTsv(dir / (std::string(c.table) + ".select.tsv"));
        ASSERT_FALSE(rows.empty());
        rows.erase(rows.begin());
        expected.rows = std::move(rows);

        const std::unique_ptr<CAppState> app = test::NewTestApp();
        CDamageReport report;
        CReadOptions options;
        options.damage = &report;
        CTableRows table;
        ASSERT_EQ(
            table.Open(LegacyDir() / "datadir" / "legacy", Utf8ToUtf16(c.table), *app, options),
            OpenRowsResult::kOk);
        std::vector<test::ReadRow> got;
        size_t windows = 0;
        do {
            test::AppendWindowRows(table.rows(), got);
        } while (table.ReadNextWindow(*app) && ++windows < 100);
        KeepStoredColumns(table.table(), expected, got);
        EXPECT_EQ(test::CompareRows(expected, got, false), std::vector<std::string>{});
        EXPECT_TRUE(report.Findings().empty());
        std::vector<std::string> types;
        std::string kinds;
        std::vector<std::string> expressions;
        for (const CColumnDef& column : table.table().columns) {
            types.push_back(
                Utf16ToUtf8(ColumnTypeText(column, table.table().tableCharset, app->collations)));
            kinds += column.isVirtual ? 'V' : column.isStoredGenerated ? 'S' : '-';
            if (!column.generationExpression.empty())
                expressions.push_back(Utf16ToUtf8(column.generationExpression));
        }
        EXPECT_EQ(types, c.types);
        EXPECT_EQ(kinds, c.kinds);
        EXPECT_EQ(expressions, c.expressions);
    }
}

}  // namespace
}  // namespace brix
