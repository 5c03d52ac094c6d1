#include "save/save_objects.h"

#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::vector<std::string> Describe(const std::vector<CSaveObject>& objects) {
    std::vector<std::string> out;
    for (const CSaveObject& o : objects) {
        const char* kind = o.kind == SaveObjectKind::kTable  ? "table"
                           : o.kind == SaveObjectKind::kView ? "view"
                                                             : "trigger";
        out.push_back(std::string(kind) + " " + test::U8(o.DatabaseName()) + "." +
                      test::U8(o.Name()));
    }
    return out;
}

std::vector<CSaveObject> Scanned(const std::filesystem::path& dataDir) {
    test::BrowseSession session(dataDir);
    EXPECT_TRUE(session.Scan());
    return SaveObjectsOfCatalogue(session.frame.catalogue);
}

TEST(SaveObjectsTest, TheCatalogueGivesEveryTableViewAndTriggerFile) {
    const std::vector<CSaveObject> all = Scanned(test::FixtureDataDir());
    const auto tables = test::ReadTsv(test::FixtureExpectedDir() / "tables.tsv");
    size_t tableCount = 0;
    for (const CSaveObject& o : all) tableCount += o.kind == SaveObjectKind::kTable;
    EXPECT_EQ(tableCount, tables.size() - 1);
    std::vector<CSaveObject> shop;
    for (const CSaveObject& o : all)
        if (o.DatabaseName() == u"shop") shop.push_back(o);
    EXPECT_EQ(Describe(shop),
              (std::vector<std::string>{"table shop.customers", "table shop.order_audit",
                                        "table shop.orders", "table shop.products",
                                        "view shop.v_order_totals", "trigger shop.orders"}));
}

TEST(SaveObjectsTest, TreeNodesStandForTheObjectsOfTheirCatalogueEntries) {
    test::BrowseSession session(test::FixtureDataDir());
    ASSERT_TRUE(session.Scan());
    auto object = [&](const std::string& path) -> std::string {
        const TreeItem item = session.ui.FindNode(path);
        if (item == kNoTreeItem) return "no node";
        const auto o = SaveObjectOfNode(session.frame.catalogue, session.ui.GetItemData(item),
                                        session.ui.GetItemData(session.ui.GetParentItem(item)));
        return o ? Describe({*o}).front() : "nothing";
    };
    EXPECT_EQ(object("shop/Tables/orders"), "table shop.orders");
    EXPECT_EQ(object("shop/Views/v_order_totals"), "view shop.v_order_totals");
    EXPECT_EQ(object("shop/Trigger/orders"), "trigger shop.orders");
    EXPECT_EQ(object("shop/Tables/orders/Keys"), "nothing");
    EXPECT_EQ(object("shop/Tables"), "nothing");
    EXPECT_EQ(object("shop"), "nothing");
    EXPECT_FALSE(SaveObjectOfNode(session.frame.catalogue, 100000, -1));
    EXPECT_FALSE(SaveObjectOfNode(session.frame.catalogue, 100000, ItemData::kViews));
}

TEST(SaveObjectsTest, SelectionsNameDatabasesTablesViewsAndTriggers) {
    const std::vector<CSaveObject> all = Scanned(test::FixtureDataDir());
    std::vector<std::u16string> missing;
    const auto chosen =
        SelectSaveObjects(all,
                          {u"shop/Views/v_order_totals", u"keys/no_key", u"shop/Trigger/orders",
                           u"nope", u"shop/no_such_table", u"keys/no_key"},
                          missing);
    EXPECT_EQ(Describe(chosen),
              (std::vector<std::string>{"view shop.v_order_totals", "table keys.no_key",
                                        "trigger shop.orders"}));
    EXPECT_EQ(missing, (std::vector<std::u16string>{u"nope", u"shop/no_such_table"}));
    missing.clear();
    EXPECT_EQ(SelectSaveObjects(all, {u"shop"}, missing).size(), 6u);
    EXPECT_TRUE(missing.empty());
}

TEST(SaveObjectsTest, NamesAreDecodedFromFileNamesAndEitherFormSelects) {
    test::TempDir dir;
    const auto folder = dir.path() / "my@002ddb";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(test::FixtureDataDir() / "keys" / "no_key.frm",
                               folder / "t@0060q.frm");
    test::WriteFile(folder / "v.frm",
                    std::vector<uint8_t>{'T', 'Y', 'P', 'E', '=', 'V', 'I', 'E', 'W', '\n'});
    const std::vector<CSaveObject> all = Scanned(dir.path());
    EXPECT_EQ(Describe(all), (std::vector<std::string>{"table my-db.t`q", "view my-db.v"}));
    std::vector<std::u16string> missing;
    EXPECT_EQ(SelectSaveObjects(all, {u"my-db/t`q"}, missing).size(), 1u);
    EXPECT_EQ(SelectSaveObjects(all, {u"my@002ddb/t@0060q"}, missing).size(), 1u);
    EXPECT_EQ(SelectSaveObjects(all, {u"my-db/Views/v"}, missing).size(), 1u);
    EXPECT_TRUE(missing.empty());
}

}  // namespace
}  // namespace brix
