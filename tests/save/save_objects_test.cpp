#include "save/save_objects.h"

#include <gtest/gtest.h>

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

TEST(SaveObjectsTest, ListsEveryTableViewAndTriggerFileByDatabase) {
    const std::vector<CSaveObject> all = ListSaveObjects(test::FixtureDataDir());
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

TEST(SaveObjectsTest, SelectionsNameDatabasesTablesViewsAndTriggers) {
    const std::vector<CSaveObject> all = ListSaveObjects(test::FixtureDataDir());
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
    test::WriteFile(folder / "not_a_table.frm", test::Bytes({'X', 'Y'}));
    test::WriteFile(folder / "v.frm",
                    std::vector<uint8_t>{'T', 'Y', 'P', 'E', '=', 'V', 'I', 'E', 'W', '\n'});
    const std::vector<CSaveObject> all = ListSaveObjects(dir.path());
    EXPECT_EQ(Describe(all), (std::vector<std::string>{"table my-db.t`q", "view my-db.v"}));
    std::vector<std::u16string> missing;
    EXPECT_EQ(SelectSaveObjects(all, {u"my-db/t`q"}, missing).size(), 1u);
    EXPECT_EQ(SelectSaveObjects(all, {u"my@002ddb/t@0060q"}, missing).size(), 1u);
    EXPECT_TRUE(missing.empty());
    // A database folder named by itself.
    EXPECT_EQ(Describe(ListSaveObjects(folder)), Describe(all));
}

}  // namespace
}  // namespace brix
