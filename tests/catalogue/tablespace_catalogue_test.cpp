#include "catalogue/tablespace_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "browse/column_definitions.h"
#include "sdi/sdi_table_file.h"
#include "support/browse_session.h"
#include "support/expected_rows.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::filesystem::path MysqlDataDir() {
    return test::SourceDir() / "tests/fixtures/mysql9/datadir";
}

std::filesystem::path MysqlExpectedDir() {
    return test::SourceDir() / "tests/fixtures/mysql9/expected";
}

// The tables found in folder as "name" or "name: note".
std::vector<std::string> Found(const std::filesystem::path& folder,
                               const std::vector<std::u16string>& known = {}) {
    std::vector<std::string> lines;
    for (const TablespaceTable& t : FindTablespaceTables(folder, test::TestApp(), known))
        lines.push_back(test::U8(t.tableName) + (t.note.empty() ? "" : ": " + test::U8(t.note)));
    return lines;
}

void CopyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::create_directories(to.parent_path());
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

TEST(TablespaceCatalogueTest, FileNamesGiveTheirTablesName) {
    struct Case {
        std::u16string fileName;
        std::u16string tableName;  // of TableNameOfTablespaceFile
        std::u16string sdiPrefix;  // of SdiFilePrefix
    };
    const Case cases[] = {
        {u"items.ibd", u"items", u""},
        {u"items.IBD", u"items", u""},
        {u"parts#p#p2020.ibd", u"parts", u""},
        {u"parts#P#p2020.ibd", u"parts", u""},
        {u"subparts#p#lo#sp#losp0.ibd", u"subparts", u""},
        {u"odd@0020name@002d@1o.ibd", u"odd@0020name@002d@1o", u""},
        {u".ibd", u"", u""},
        {u"items.ibd.bak", u"", u""},
        {u"legacy_409.sdi", u"", u"legacy"},
        {u"events_transacti_145.sdi", u"", u"events_transacti"},
        {u"a_b_7.SDI", u"", u"a_b"},
        {u"legacy.sdi", u"", u""},
        {u"_409.sdi", u"", u""},
        {u"legacy_.sdi", u"", u""},
        {u"legacy_4x9.sdi", u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::U8(c.fileName));
        EXPECT_EQ(TableNameOfTablespaceFile(c.fileName), c.tableName);
        EXPECT_EQ(SdiFilePrefix(c.fileName), c.sdiPrefix);
    }
}

TEST(TablespaceCatalogueTest, FindsTheTablesOfMysqlDatabaseFolders) {
    // Partitions are one table; MyISAM and CSV tables come from their .sdi
    // files; the general tablespace's tables live outside the folder, in
    // shared_ts.ibd at the data directory's top.
    EXPECT_EQ(Found(MysqlDataDir() / "layout"),
              (std::vector<std::string>{"flat", "in_shared", "in_shared_compact", "legacy", "parts",
                                        "subparts", "wide"}));
    EXPECT_EQ(Found(MysqlDataDir() / "shop"), (std::vector<std::string>{"audit", "items"}));
    // The mysql schema's own InnoDB tables are in mysql.ibd; the server's
    // hidden dictionary tables are left out.
    const std::vector<std::string> mysql = Found(MysqlDataDir() / "mysql");
    for (const char* table : {"general_log", "slow_log", "user", "db", "tables_priv", "plugin"})
        EXPECT_NE(std::find(mysql.begin(), mysql.end(), table), mysql.end()) << table;
    for (const char* hidden : {"tables", "columns", "schemata", "triggers"})
        EXPECT_EQ(std::find(mysql.begin(), mysql.end(), hidden), mysql.end()) << hidden;
    EXPECT_TRUE(std::is_sorted(mysql.begin(), mysql.end()));
    EXPECT_EQ(Found(MysqlDataDir() / "sys"), (std::vector<std::string>{"sys_config"}));
    // A name the file spells in the server's file-name form is the same name.
    const std::vector<std::string> types = Found(MysqlDataDir() / "types");
    EXPECT_NE(std::find(types.begin(), types.end(), "odd@0020name@002d@1o"), types.end());
    EXPECT_EQ(types.size(), 12u);
    // Tables already catalogued from a .frm are left out.
    EXPECT_EQ(Found(MysqlDataDir() / "shop", {u"items"}), (std::vector<std::string>{"audit"}));

    // Tables without data files are named by the dictionary, in full although
    // the .sdi file names cut them short.
    const std::vector<std::string> ps = Found(MysqlDataDir() / "performance_schema");
    size_t sdiFiles = 0;
    for (const auto& e : std::filesystem::directory_iterator(MysqlDataDir() / "performance_schema"))
        sdiFiles += e.path().extension() == ".sdi";
    EXPECT_EQ(ps.size(), sdiFiles);
    EXPECT_NE(std::find(ps.begin(), ps.end(), "events_transactions_current"), ps.end());
}

TEST(TablespaceCatalogueTest, CopiedAndDamagedTablespaces) {
    test::TempDir dir;
    const std::filesystem::path db = dir.path() / "rescued";
    // A tablespace copied under another name, without mysql.ibd: the file
    // names the table, the log says what its dictionary calls it.
    CopyFile(MysqlDataDir() / "shop/items.ibd", db / "copy.ibd");
    CopyFile(MysqlDataDir() / "layout/legacy_409.sdi", db / "legacy_409.sdi");
    CopyFile(MysqlDataDir() / "layout/legacy.MYD", db / "legacy.MYD");
    // The dictionary's root page wiped, or the file cut inside its first page
    // after the flags that say it has dictionary information: still tables,
    // with a note.
    std::vector<uint8_t> wiped = test::ReadFileBytes(MysqlDataDir() / "shop/audit.ibd");
    constexpr size_t kPage = 16384;
    ASSERT_GT(wiped.size(), 4 * kPage);
    std::fill(wiped.begin() + 3 * kPage, wiped.begin() + 4 * kPage, uint8_t{0});
    test::WriteFile(db / "wiped.ibd", wiped);
    // No tablespace, no table: noise, a cut .sdi, an old server's tablespace
    // (no dictionary information).
    test::WriteFile(db / "noise.ibd", std::vector<uint8_t>(3 * kPage, 0xA5));
    test::WriteFile(db / "cut.ibd", std::vector<uint8_t>(wiped.begin(), wiped.begin() + 100));
    const std::string sdi = test::ReadFileText(MysqlDataDir() / "layout/flat_410.sdi");
    test::WriteFile(db / "flat_410.sdi", std::vector<uint8_t>(sdi.begin(), sdi.begin() + 200));
    test::WriteFile(db / "old.ibd",
                    test::ReadFileBytes(test::FixtureDataDir() / "types" / "bits_inno.ibd"));

    EXPECT_EQ(Found(db), (std::vector<std::string>{
                             "copy: Table copy: its dictionary names it shop.items",
                             "cut: Table cut: the dictionary information in cut.ibd cannot be read",
                             "legacy: Table legacy: its dictionary names it layout.legacy",
                             "wiped: Table wiped: the dictionary information in wiped.ibd "
                             "cannot be read"}));
}

TEST(TablespaceCatalogueTest, ScannedTablesShowTheColumnsTheServerDescribes) {
    test::BrowseSession s(MysqlDataDir());
    ASSERT_TRUE(s.Scan());
    size_t compared = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(MysqlExpectedDir())) {
        const std::string file = entry.path().filename().string();
        if (!file.ends_with(".columns.tsv")) continue;
        const std::string database = entry.path().parent_path().filename().string();
        std::string table = file.substr(0, file.size() - std::string(".columns.tsv").size());
        SCOPED_TRACE(database + "." + table);
        // Tables of a general tablespace are not catalogued.
        if (table.starts_with("in_shared")) continue;
        if (table == "odd name-ü") table = "odd@0020name@002d@1o";
        ASSERT_GE(s.Select(database + "/Tables/" + table + "/Keys"), 0);
        const auto expected = test::ReadTsv(entry.path());
        const auto& rows = s.ui.gridRows();
        ASSERT_EQ(rows.size() + 1, expected.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const std::vector<std::string>& e = expected[i + 1];
            SCOPED_TRACE(e[0]);
            EXPECT_EQ(test::U8(rows[i][0]), e[0]);
            EXPECT_EQ(test::Lower(test::U8(rows[i][1])), test::InformationSchemaGridType(e));
            EXPECT_EQ(test::U8(rows[i][3]), e[3] == "YES" ? "True" : "False");
            EXPECT_EQ(test::U8(rows[i][4]) == "Primary Key", e[13] == "PRI");
        }
        ++compared;
    }
    EXPECT_GE(compared, 20u);
}

TEST(TablespaceCatalogueTest, ColumnGridNamesTheDictionaryNameOfACopiedTablespace) {
    test::TempDir dir;
    CopyFile(MysqlDataDir() / "shop/items.ibd", dir.path() / "rescued" / "copy.ibd");
    test::BrowseSession s(dir.path());
    ASSERT_TRUE(s.Scan());
    ASSERT_GE(s.Select("rescued/Tables/copy/Keys"), 0);
    EXPECT_FALSE(s.ui.gridRows().empty());
    const std::vector<std::string> captions = s.ui.captions();
    ASSERT_FALSE(captions.empty());
    EXPECT_TRUE(captions.back().ends_with(" - named in its dictionary: items")) << captions.back();
}

}  // namespace
}  // namespace brix
