#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <map>

#include "app/app_state.h"
#include "support/recording_ui.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::vector<uint8_t> kTableHead = test::Bytes({0xFE, 0x01, 10, 9, 0, 0, 0, 0, 0, 0, 0, 0});

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

struct CatalogueFixture {
    CatalogueFixture() { root = ui.InsertItem(u"root", 0, kNoTreeItem); }
    // Adds a database node with its "Tables" node and catalogues folder.
    void Catalogue(const std::filesystem::path& folder, int32_t number) {
        const TreeItem db = ui.InsertItem(folder.filename().u16string(), 0, root);
        const TreeItem tables = ui.InsertItem(u"Tables", 0, db);
        catalogue.databaseFolders.push_back(folder);
        CatalogueDatabaseFolder(catalogue, ui, folder, db, tables, number);
    }
    std::unique_ptr<CAppState> app = test::NewTestApp();
    test::CRecordingUi ui{*app};
    CCatalogue catalogue;
    TreeItem root;
};

TEST(CatalogueTest, SortsTablesViewsAndTriggersIntoGroupsWithTheirItemData) {
    test::TempDir dir;
    const auto db = dir.path() / "shop";
    std::filesystem::create_directories(db / "inner");
    test::WriteFile(db / "t1.frm", kTableHead);
    test::WriteFile(db / "v1.frm", Text("TYPE=VIEW\nquery=select 1\n"));
    test::WriteFile(db / "t1.TRG", Text("TYPE=TRIGGERS\n"));
    test::WriteFile(db / "data.FRM", kTableHead);           // extension in upper case
    test::WriteFile(db / "other.frm", Text("PARTITIONS"));  // neither table nor view
    test::WriteFile(db / "short.frm", test::Bytes({0xFE}));
    test::WriteFile(db / "t1.MYD", {});
    test::WriteFile(db / "inner" / "t2.frm", kTableHead);  // subfolders are not entered

    CatalogueFixture f;
    f.Catalogue(db, 0);
    // The folder lists names in order, case aside: the trigger file comes
    // before the view, so its group does too.
    EXPECT_EQ(f.ui.TreeLines(f.root), (std::vector<std::string>{
                                          "root [0]",
                                          "  shop [0]",
                                          "    Tables [0]",
                                          "      data [1]",
                                          "        Keys [-2]",
                                          "      t1 [2]",
                                          "        Keys [-2]",
                                          "        Deleted rows [-5]",
                                          "    Trigger [-3]",
                                          "      t1 [1]",
                                          "    Views [-4]",
                                          "      v1 [1]",
                                      }));
    ASSERT_EQ(f.catalogue.catalogueTables.size(), 2u);
    EXPECT_EQ(test::U8(f.catalogue.catalogueTables[0].tableName), "data");
    EXPECT_EQ(f.catalogue.catalogueTables[1].databaseNumber, 0);
    ASSERT_EQ(f.catalogue.catalogueViews.size(), 1u);
    EXPECT_EQ(f.catalogue.catalogueViews[0], db / "v1.frm");
    ASSERT_EQ(f.catalogue.catalogueTriggers.size(), 1u);
    EXPECT_EQ(test::U8(f.catalogue.catalogueTriggers[0].fileName), "t1.TRG");
    EXPECT_EQ(f.catalogue.catalogueTriggers[0].folderPath, db);

    // The images of the group and leaf nodes.
    const UiTreeNode shop = f.ui.Node(f.ui.Children(f.root)[0]);
    EXPECT_EQ(f.ui.Node(shop.children[1]).image, TreeImage::kTriggers);
    EXPECT_EQ(f.ui.Node(shop.children[2]).image, TreeImage::kViews);
    EXPECT_EQ(f.ui.Node(f.ui.Node(shop.children[0]).children[0]).image, TreeImage::kFolder);
}

TEST(CatalogueTest, NumbersViewsAndTriggersAcrossDatabasesAndSkipsEmptyGroups) {
    test::TempDir dir;
    for (const char* name : {"a", "b", "c"}) std::filesystem::create_directories(dir.path() / name);
    test::WriteFile(dir.path() / "a" / "v1.frm", Text("TYPE=VIEW\n"));
    test::WriteFile(dir.path() / "a" / "t.TRG", {});
    test::WriteFile(dir.path() / "b" / "t.frm", kTableHead);
    test::WriteFile(dir.path() / "c" / "v2.frm", Text("TYPE=VIEW"));
    test::WriteFile(dir.path() / "c" / "x.TRG", {});

    CatalogueFixture f;
    CCatalogue listed;
    ListDatabaseFolders(listed, dir.path());
    ASSERT_EQ(listed.databaseFolders.size(), 3u);
    for (size_t i = 0; i < 3; ++i) f.Catalogue(listed.databaseFolders[i], static_cast<int32_t>(i));
    EXPECT_EQ(f.ui.TreeLines(f.root), (std::vector<std::string>{
                                          "root [0]",
                                          "  a [0]",
                                          "    Tables [0]",
                                          "    Trigger [-3]",
                                          "      t [1]",
                                          "    Views [-4]",
                                          "      v1 [1]",
                                          "  b [0]",
                                          "    Tables [0]",
                                          "      t [1]",
                                          "        Keys [-2]",
                                          "  c [0]",
                                          "    Tables [0]",
                                          "    Views [-4]",
                                          "      v2 [2]",
                                          "    Trigger [-3]",
                                          "      x [2]",
                                      }));
    EXPECT_EQ(f.catalogue.catalogueTables[0].databaseNumber, 1);
}

TEST(CatalogueTest, ListsFolderEntriesByNameIgnoringCaseAndOnlyOfTheKindAsked) {
    test::TempDir dir;
    for (const char* name : {"b", "C", "a"}) std::filesystem::create_directories(dir.path() / name);
    for (const char* name : {"Y.frm", "x.TRG", "z.frm"}) test::WriteFile(dir.path() / name, {});
    std::vector<std::string> folders, files;
    for (const auto& p : ListFolderEntries(dir.path(), true)) folders.push_back(p.filename());
    for (const auto& p : ListFolderEntries(dir.path(), false)) files.push_back(p.filename());
    EXPECT_EQ(folders, (std::vector<std::string>{"a", "b", "C"}));
    EXPECT_EQ(files, (std::vector<std::string>{"x.TRG", "Y.frm", "z.frm"}));
    EXPECT_TRUE(ListFolderEntries(dir.path() / "missing", false).empty());
}

// An InnoDB table whose rows are in partition files ("t#P#p0.ibd", as MySQL
// 5.7 names them, or "t#p#p0.ibd") has its data: only a table without a
// tablespace of either kind is noted as having none.
TEST(CatalogueTest, PartitionFilesCountAsTheTablesOwnTablespaces) {
    test::TempDir dir;
    const auto db = dir.path() / "sales";
    std::filesystem::create_directories(db);
    const std::vector<uint8_t> innoHead = test::Bytes({0xFE, 0x01, 10, 12, 0, 0, 0, 0, 0, 0, 0, 0});
    for (const char* name : {"parted", "Lower", "lone"})
        test::WriteFile(db / (std::string(name) + ".frm"), innoHead);
    test::WriteFile(db / "parted#P#p0.ibd", {});
    test::WriteFile(db / "parted#P#p1.ibd", {});
    test::WriteFile(db / "Lower#p#a#sp#b.ibd", {});
    CatalogueFixture f;
    f.Catalogue(db, 0);
    ASSERT_EQ(f.catalogue.catalogueTables.size(), 3u);
    std::map<std::string, bool> noOwn;
    for (const CatalogueTable& table : f.catalogue.catalogueTables)
        noOwn[test::U8(table.tableName)] = table.noOwnTablespace;
    EXPECT_EQ(noOwn,
              (std::map<std::string, bool>{{"Lower", false}, {"lone", true}, {"parted", false}}));
}

}  // namespace
}  // namespace brix
