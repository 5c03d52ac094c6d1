// The partitioning clause a .frm keeps goes into the saved CREATE TABLE; a
// clause that damaged bytes made unsafe is left out.

#include <gtest/gtest.h>

#include "app/text.h"
#include "save/create_table.h"
#include "schema/frm_reader.h"
#include "support/test_support.h"

namespace brix {
namespace {

namespace fs = std::filesystem;

const char* const kTables[] = {"inno_range", "inno_list", "inno_sub",
                               "my_hash",    "my_key",    "my_sub"};

fs::path PartsFolder() {
    return test::SourceDir() / "tests/fixtures/mariadb-parts/datadir/parts";
}

// The part of a CREATE TABLE text from its partitioning clause on.
std::string ClauseOf(const std::string& statement) {
    const size_t at = statement.find("PARTITION BY");
    return at == std::string::npos ? std::string() : statement.substr(at);
}

TEST(PartitionSaveTest, FrmClauseIsKeptAndUnsafeOnesAreLeftOut) {
    for (const char* name : kTables) {
        SCOPED_TRACE(name);
        CTableDef table;
        ASSERT_TRUE(ReadTableDefinition(table, PartsFolder() / (std::string(name) + ".frm"),
                                        test::TestApp()));
        const std::string expected = test::ReadFileText(PartsFolder() / "../../expected/parts" /
                                                        (std::string(name) + ".create.sql"));
        EXPECT_TRUE(PartitioningKept(table));
        // The .frm names the partitioning engine first, its partitions'
        // engine elsewhere: that one is the table's.
        EXPECT_EQ(table.engineCode, name[0] == 'i' ? EngineCode::kInnoDb : EngineCode::kMyIsam);
        const std::string statement =
            test::U8(CreateTableStatement(table, Utf8ToUtf16(name), test::TestApp().collations));
        ASSERT_FALSE(ClauseOf(statement).empty());
        // The server words the clause as it stored it, so the names and the
        // bounds agree; spacing aside.
        for (const char* word : {"PARTITION BY", "VALUES", "SUBPARTITION", "PARTITIONS"})
            EXPECT_EQ(ClauseOf(statement).find(word) == std::string::npos,
                      ClauseOf(expected).find(word) == std::string::npos)
                << word;
    }
    struct Case {
        const char16_t* clause;
        bool kept;
    };
    const Case cases[] = {
        {u" PARTITION BY HASH (`id`) PARTITIONS 3", true},
        {u" PARTITION BY HASH (`id`) PARTITIONS 3; DROP DATABASE victim", false},
        {u" PARTITION BY HASH (`id`))", false},
        {u" PARTITION BY LIST (a)\n(PARTITION p VALUES IN (1)\n\\! rm -rf x)", false},
        {u" PARTITION BY LIST (a) (PARTITION p VALUES IN ('x", false},
    };
    for (const Case& c : cases) {
        CTableDef table;
        table.partitioning = c.clause;
        EXPECT_EQ(PartitioningKept(table), c.kept) << test::U8(c.clause);
        const std::string statement = test::U8(CreateTableStatement(table, u"t", {}));
        EXPECT_EQ(statement.find("PARTITION BY") != std::string::npos, c.kept);
    }
}

}  // namespace
}  // namespace brix
