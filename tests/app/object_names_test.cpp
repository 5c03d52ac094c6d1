#include "app/object_names.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace brix {
namespace {

std::string Decode(std::u16string_view fileName) {
    return test::U8(ObjectNameFromFileName(fileName));
}

TEST(ObjectNamesTest, FileNamesDecodeToTheNamesTheServerWasGiven) {
    EXPECT_EQ(Decode(u"plain_Name42"), "plain_Name42");
    EXPECT_EQ(Decode(u"t@0060q"), "t`q");  // four hex digits
    EXPECT_EQ(Decode(u"a@002db@0020c"), "a-b c");
    EXPECT_EQ(Decode(u"@00E9t@00e9"), "été");  // either case of hex digit
    EXPECT_EQ(Decode(u"caf@0p"), "café");      // two-character form
    EXPECT_EQ(Decode(u"@0G@7P"), "ÀΩ");
    EXPECT_EQ(Decode(u"@4e2d@6587"), "中文");
}

TEST(ObjectNamesTest, AnAtSignThatStartsNoCodeStaysAsItIs) {
    EXPECT_EQ(Decode(u"a@"), "a@");
    EXPECT_EQ(Decode(u"a@b"), "a@b");
    EXPECT_EQ(Decode(u"@00"), "@00");      // cut short
    EXPECT_EQ(Decode(u"@zzzz"), "@zzzz");  // neither form
    EXPECT_EQ(Decode(u"x@ y"), "x@ y");
}

}  // namespace
}  // namespace brix
