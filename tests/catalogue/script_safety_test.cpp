#include "catalogue/script_safety.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace brix {
namespace {

TEST(ScriptSafetyTest, FindsTextTheClientWouldReadAsItsOwn) {
    struct Case {
        const char* name;
        std::u16string text;
        bool forbidSemicolon;
        bool safe;
        bool noBackslashEscapes = false;
    };
    const Case cases[] = {
        {"plain body", u"BEGIN\n  SET NEW.a = 1;\nEND", false, true},
        {"backslashes in strings", u"SET @a = 'x\\\\y', @b = \"q\\\"r\", @c = 'it''s'", false,
         true},
        {"comments", u"BEGIN -- a \\! comment\n # another \\.\n /* \\q */ SET @a = 1; END", false,
         true},
        {"quoted names", u"SET @a = `we\\ird``name`", false, true},
        {"shell command", u"SET @a = 1;\n\\! touch /tmp/x\n", false, false},
        {"command after a string", u"SET @a = 'x' \\! id", false, false},
        {"escaped quote keeps the string open", u"SET @a = 'x\\' \\! id '", false, true},
        {"but under NO_BACKSLASH_ESCAPES it ends it", u"SET @a = 'x\\' \\! id '", false, false,
         true},
        {"a backslash before the closing quote under NO_BACKSLASH_ESCAPES", u"SET @a = 'a\\'",
         false, true, true},
        {"executable comment is read as text", u"/*!50000 \\! id */ SET @a = 1", false, false},
        {"named command at a line start", u"BEGIN\n  system touch /tmp/x\nEND", false, false},
        {"named command in any case", u"BEGIN\nSOURCE /etc/passwd\nEND", false, false},
        {"named command in a string stays text", u"SET @a = '\nsystem ls\n'", false, true},
        {"word that merely starts like a command", u"BEGIN\nsystems = 1;\nEND", false, true},
        {"open string", u"SET @a = 'x", false, false},
        {"open comment", u"SET @a = 1 /* x", false, false},
        {"open quoted name", u"SET @a = `x", false, false},
        {"zero character", std::u16string(u"SET @a = 'x") + u'\0' + u"'", false, false},
        {"semicolon in a view query", u"select 1; drop table t", true, false},
        {"semicolon in a string of a view query", u"select ';' AS `x`", true, true},
        {"dashes without a space are not a comment", u"select 1--1", true, true},
        {"a view query that ends in a comment", u"select 1 #x", true, false},
        {"a body that ends in a comment", u"SET @a = 1 -- x", false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScriptTextProblem(c.text, c.forbidSemicolon, c.noBackslashEscapes).empty(),
                  c.safe)
            << c.name;
}

TEST(ScriptSafetyTest, ExpressionsKeepToTheirParentheses) {
    EXPECT_EQ(ExpressionTextProblem(u"(a + 1) * concat(')', b)"), u"");
    EXPECT_NE(ExpressionTextProblem(u"1) , evil INT, (2"), u"");
    EXPECT_NE(ExpressionTextProblem(u"(1"), u"");
    EXPECT_NE(ExpressionTextProblem(u"1 -- comment"), u"");
    EXPECT_NE(ExpressionTextProblem(u"1)\n\\! touch /tmp/x\n("), u"");
    EXPECT_NE(ExpressionTextProblem(u"1; DROP TABLE t"), u"");
}

TEST(ScriptSafetyTest, DelimiterIsOneTheTextDoesNotHold) {
    struct Case {
        std::u16string text;
        std::u16string delimiter;
    };
    const Case cases[] = {
        {u"SET @a = 1", u"$$"},
        {u"SET @a = '$$'", u"$$1$$"},
        {u"SET @a = '$$ $$1$$ $$2$$ $$4$$'", u"$$3$$"},
        {u"$$$", u"$$1$$"},
    };
    for (const Case& c : cases) {
        const std::u16string delimiter = BlockDelimiter(c.text);
        EXPECT_EQ(test::U8(delimiter), test::U8(c.delimiter)) << test::U8(c.text);
        EXPECT_EQ(c.text.find(delimiter), std::u16string::npos);
    }
    EXPECT_TRUE(IsClientCommandName(u"Delimiter"));
    EXPECT_FALSE(IsClientCommandName(u"select"));
}

}  // namespace
}  // namespace brix
