#include "app/collation_table.h"

#include <gtest/gtest.h>

#include "app/text_decoder.h"
#include "support/test_support.h"

namespace brix {
namespace {

std::vector<uint8_t> Record(uint32_t number, uint32_t min, uint32_t max, const std::string& a,
                            const std::string& b) {
    std::vector<uint8_t> r;
    auto u32 = [&r](uint32_t v) {
        for (int i = 0; i < 4; ++i) r.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    u32(number);
    u32(min);
    u32(max);
    u32(static_cast<uint32_t>(a.size()));
    r.insert(r.end(), a.begin(), a.end());
    u32(static_cast<uint32_t>(b.size()));
    r.insert(r.end(), b.begin(), b.end());
    return r;
}

class CollationTableTest : public ::testing::Test {
  protected:
    CollationTable Load(const std::vector<uint8_t>& bytes) {
        test::WriteFile(dir.path() / kCollationFileName, bytes);
        return LoadCollations(dir.path() / kCollationFileName, test::TestApp().decoders().Ansi());
    }
    test::TempDir dir;
};

TEST_F(CollationTableTest, ReadsRecordsAndLaterOnesWin) {
    std::vector<uint8_t> bytes = Record(8, 1, 1, "latin1_swedish_ci", "latin1");
    auto empty = Record(7, 1, 1, "", "");
    EXPECT_EQ(empty.size(), 20u);
    bytes.insert(bytes.end(), empty.begin(), empty.end());
    auto again = Record(8, 1, 3, "other", "caf\xE9");
    bytes.insert(bytes.end(), again.begin(), again.end());
    CollationTable table = Load(bytes);
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[8].maxCharBytes, 3u);
    EXPECT_EQ(test::U8(table[8].text2), "café");  // texts are in the ANSI code page
    EXPECT_TRUE(table[7].text1.empty());
}

TEST_F(CollationTableTest, EmptyMissingAndCutShortFiles) {
    EXPECT_TRUE(Load({}).empty());
    EXPECT_TRUE(LoadCollations(dir.path() / "missing", test::TestApp().decoders().Ansi()).empty());
    std::vector<uint8_t> bytes = Record(45, 1, 4, "utf8mb4_general_ci", "utf8mb4");
    auto cut = Record(46, 1, 4, "utf8mb4_bin", "utf8mb4");
    cut.resize(cut.size() - 3);
    bytes.insert(bytes.end(), cut.begin(), cut.end());
    CollationTable table = Load(bytes);
    ASSERT_EQ(table.size(), 1u);  // the short record ends the load
    EXPECT_EQ(table.count(45), 1u);
}

TEST(ShippedCollationTableTest, KnowsTheServersCharacterSets) {
    const CollationTable& table = test::TestApp().collations;
    ASSERT_GT(table.size(), 200u);
    struct Expect {
        uint32_t number;
        uint32_t min;
        uint32_t max;
        const char* charset;
    };
    for (const Expect& e :
         {Expect{8, 1, 1, "latin1"}, Expect{33, 1, 3, "utf8mb3"}, Expect{45, 1, 4, "utf8mb4"},
          Expect{35, 2, 2, "ucs2"}, Expect{60, 4, 4, "utf32"}, Expect{63, 1, 1, "binary"},
          Expect{13, 1, 2, "sjis"}}) {
        ASSERT_EQ(table.count(e.number), 1u) << e.number;
        const CollationInfo& info = table.at(e.number);
        EXPECT_EQ(info.minCharBytes, e.min) << e.number;
        EXPECT_EQ(info.maxCharBytes, e.max) << e.number;
        EXPECT_EQ(test::U8(info.text2), e.charset) << e.number;
    }
}

TEST(CollationFileTest, TheFileBesideTheProgramWinsOverOneInTheCurrentDirectory) {
    const std::filesystem::path beside = ExecutableDirectory() / kCollationFileName;
    if (!std::filesystem::exists(beside)) GTEST_SKIP() << "no collation table beside the tests";
    test::TempDir dir;
    const std::vector<uint8_t> hostile = Record(8, 1, 1, "x\n\\! touch /tmp/x", "latin1");
    test::WriteFile(dir.path() / kCollationFileName, hostile);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const std::filesystem::path found = FindCollationFile();
    std::filesystem::current_path(previous);
    EXPECT_EQ(found, beside);
}

TEST(CollationNamesTest, OnlyKnownSetsAndPlainCollationNamesGoIntoStatements) {
    struct Case {
        std::u16string charset;
        std::u16string collation;
        bool known;
    };
    const Case cases[] = {
        {u"latin1", u"latin1_swedish_ci", true},
        {u"utf8mb4", u"utf8mb4_uca1400_ai_ci", true},
        {u"binary", u"binary", true},
        {u"latin1", u"binary", false},
        {u"latin1", u"latin1_x\n\\! touch /tmp/x", false},
        {u"latin1", u"utf8mb4_general_ci", false},
        {u"latin1", u"latin1_", false},
        {u"latin1 COLLATE x", u"latin1_bin", false},
        {u"klingon", u"klingon_ci", false},
        {u"", u"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsKnownCollationPair(c.charset, c.collation), c.known)
            << test::U8(c.charset) << " " << test::U8(c.collation);
    // Every collation of the shipped table passes.
    for (const auto& [number, info] : test::TestApp().collations)
        EXPECT_TRUE(IsKnownCollationPair(info.text2, info.text1))
            << number << " " << test::U8(info.text2) << " " << test::U8(info.text1);
}

}  // namespace
}  // namespace brix
