#include "catalogue/dictionary_objects.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/app_state.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::filesystem::path MysqlDataDir() {
    return test::SourceDir() / "tests/fixtures/mysql9/datadir";
}

std::filesystem::path ShopExpected() {
    return test::SourceDir() / "tests/fixtures/mysql9/expected/shop";
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

void Erase(std::string& text, const std::string& part) {
    const size_t at = text.find(part);
    if (at != std::string::npos) text.erase(at, part.size());
}

TEST(DictionaryObjectsTest, ViewsReadAsTheServerShowsThem) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    const CDictionaryObjects objects = ReadDictionaryObjects(MysqlDataDir() / "mysql.ibd", *app);
    EXPECT_TRUE(objects.findings.empty());
    size_t compared = 0;
    for (const char* name : {"cheap", "quoted", "joined"}) {
        SCOPED_TRACE(name);
        const auto view = std::find_if(objects.views.begin(), objects.views.end(), [&](auto& v) {
            return v.schema == u"shop" && test::U8(v.name) == name;
        });
        ASSERT_NE(view, objects.views.end());
        std::u16string problem;
        const std::string statement =
            test::U8(ViewStatement(view->definition, view->name, problem));
        EXPECT_TRUE(problem.empty()) << test::U8(problem);
        // The server's statement names the view with its database.
        std::string expected =
            Trimmed(test::ReadFileText(ShopExpected() / (std::string(name) + ".view.sql")));
        Erase(expected, "`shop`.");
        EXPECT_EQ(statement, expected);
        ++compared;
    }
    EXPECT_EQ(compared, 3u);
    // The sys schema's views are long enough to be kept off-page.
    const size_t sysViews = std::count_if(objects.views.begin(), objects.views.end(),
                                          [](auto& v) { return v.schema == u"sys"; });
    EXPECT_GT(sysViews, 90u);
    for (const CDictionaryView& view : objects.views) {
        SCOPED_TRACE(test::U8(view.name));
        std::u16string problem;
        EXPECT_FALSE(ViewStatement(view.definition, view.name, problem).empty());
    }
}

TEST(DictionaryObjectsTest, TriggersReadAsTheServerShowsThemInTheirOrder) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    const CDictionaryObjects objects = ReadDictionaryObjects(MysqlDataDir() / "mysql.ibd", *app);
    std::vector<std::string> shop;
    for (const CDictionaryTrigger& t : objects.triggers) {
        if (t.schema != u"shop") continue;
        shop.push_back(test::U8(t.definition.name));
        SCOPED_TRACE(shop.back());
        EXPECT_EQ(t.table, u"items");
        std::string statement = test::U8(t.definition.statement);
        // SHOW CREATE TRIGGER gives the account and leaves the order out.
        std::string expected =
            Trimmed(test::ReadFileText(ShopExpected() / (shop.back() + ".trigger.sql")));
        Erase(expected, "CREATE DEFINER=`root`@`localhost` ");
        if (shop.back() == "items_au2") {
            EXPECT_NE(statement.find(" FOR EACH ROW FOLLOWS `items_au` INSERT"), std::string::npos);
            Erase(statement, "FOLLOWS `items_au` ");
        }
        EXPECT_EQ(statement, expected);
        EXPECT_TRUE(t.definition.hasSqlMode);
        EXPECT_NE(t.definition.sqlMode.find(u"STRICT_TRANS_TABLES"), std::u16string::npos);
    }
    EXPECT_EQ(shop, (std::vector<std::string>{"items_au", "items_au2", "items_bi"}));
}

TEST(DictionaryObjectsTest, DamagedDictionaryGivesFewerObjectsNeverACrash) {
    const std::unique_ptr<CAppState> app = test::NewTestApp();
    test::TempDir dir;
    const std::vector<uint8_t> original = test::ReadFileBytes(MysqlDataDir() / "mysql.ibd");
    constexpr size_t kPage = 16384;
    // No such file, a file of one page, and the dictionary's first pages
    // (the dictionary tables' roots among them) cut short or overwritten here
    // and there.
    EXPECT_TRUE(ReadDictionaryObjects(dir.path() / "none.ibd", *app).views.empty());
    test::WriteFile(dir.path() / "short.ibd", {original.begin(), original.begin() + kPage});
    EXPECT_TRUE(ReadDictionaryObjects(dir.path() / "short.ibd", *app).views.empty());
    constexpr size_t kKept = 256 * kPage;
    ASSERT_GT(original.size(), kKept);
    for (size_t step : {size_t{0}, size_t{5}}) {
        std::vector<uint8_t> bytes(original.begin(), original.begin() + kKept);
        for (size_t page = 4; step != 0 && page * kPage < bytes.size(); page += step)
            for (size_t i = 38; i < kPage; i += 97) bytes[page * kPage + i] ^= 0x5A;
        const std::filesystem::path path = dir.path() / ("damaged" + std::to_string(step));
        test::WriteFile(path, bytes);
        const CDictionaryObjects objects = ReadDictionaryObjects(path, *app);
        EXPECT_LE(objects.views.size(), 200u);
    }
}

}  // namespace
}  // namespace brix
