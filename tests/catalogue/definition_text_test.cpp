#include <gtest/gtest.h>

#include "app/app_state.h"
#include "catalogue/definition_file.h"
#include "catalogue/token.h"
#include "catalogue/trigger_text.h"
#include "catalogue/view_text.h"
#include "support/browse_session.h"
#include "support/test_support.h"

namespace brix {
namespace {

const std::string kViewStart =
    "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW ";

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// What follows "` AS " in a CREATE VIEW statement: the query.
std::string QueryOf(const std::string& statement) {
    const size_t at = statement.find("` AS ");
    return at == std::string::npos ? std::string() : statement.substr(at + 5);
}

std::vector<std::string> Tokens(const std::u16string& text, const std::u16string& separator) {
    CToken tokens(text);
    if (!separator.empty() || text.empty()) tokens.SetSeparator(separator);
    std::vector<std::string> out;
    while (tokens.HasMoreTokens() && out.size() < 10) out.push_back(test::U8(tokens.NextToken()));
    return out;
}

TEST(TokenTest, SplitsAtTheSeparatorAndDeliversTheLastPiece) {
    EXPECT_EQ(Tokens(u"a b c", u" "), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Tokens(u"abc", u" "), std::vector<std::string>{});
    EXPECT_EQ(Tokens(u"a--b--", u"--"), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(Tokens(u"--x", u"--"), (std::vector<std::string>{"", "x"}));
    EXPECT_EQ(Tokens(u"'CREATE DEFINER=x TRIGGER t'", u"CREATE DEFINER="),
              (std::vector<std::string>{"'", "x TRIGGER t'"}));
    CToken spaces(u"one two");
    EXPECT_EQ(test::U8(spaces.NextToken()), "one");
    EXPECT_EQ(test::U8(spaces.text()), "one two");
    // An empty separator never loops.
    CToken empty(u"a b");
    empty.SetSeparator(u"");
    EXPECT_FALSE(empty.HasMoreTokens());
    EXPECT_EQ(test::U8(empty.NextToken()), "a b");
}

TEST(TokenTest, DeliversEveryPieceOfAVeryLongText) {
    // As many pieces as a trigger file of 200 000 triggers has, each once
    // and in order.
    constexpr size_t kPieces = 200000;
    std::u16string text;
    for (size_t i = 0; i < kPieces; ++i) text += u"p" + std::u16string(i % 7, u'x') + u"|";
    CToken tokens(text);
    tokens.SetSeparator(u"|");
    size_t count = 0;
    bool inOrder = true;
    while (tokens.HasMoreTokens()) {
        const std::u16string piece = tokens.NextToken();
        if (count < kPieces) inOrder = inOrder && piece == u"p" + std::u16string(count % 7, u'x');
        ++count;
    }
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(count, kPieces + 1);  // the empty piece after the last separator
}

TEST(DefinitionFileTest, UndoesTheServersEscapes) {
    EXPECT_EQ(UnescapeDefinitionText(u"\\'it\\\\\\'s\\' a\\nb\\\\c\\zd\\0e\\qf\\"),
              std::u16string(u"'it\\'s' a\nb\\c\x1A"
                             u"d") +
                  u'\0' + u"eqf");
    EXPECT_EQ(DefinitionValue(u"TYPE=VIEW\r\nquery=select 1\r\nquery=second", u"query="),
              u"select 1");
    EXPECT_EQ(DefinitionValue(u"TYPE=VIEW\n query=x\n", u"query="), u"");
}

TEST(ViewTextTest, RebuildsTheStatementTheServerShows) {
    // The server's own SHOW CREATE VIEW names the database too; the query
    // after " AS " is the same, escaped quotes and backslashes included.
    struct Case {
        std::filesystem::path file;
        std::filesystem::path expected;
        std::string name;
    };
    const Case cases[] = {
        {test::CatalogueFixtureDir() / "twodb" / "north" / "v_quote.frm",
         test::CatalogueFixtureDir() / "expected" / "north" / "v_quote.view.sql", "v_quote"},
        {test::CatalogueFixtureDir() / "twodb" / "south" / "v_notes.frm",
         test::CatalogueFixtureDir() / "expected" / "south" / "v_notes.view.sql", "v_notes"},
        {test::FixtureDataDir() / "shop" / "v_order_totals.frm",
         test::FixtureExpectedDir() / "shop" / "v_order_totals.view.sql", "v_order_totals"},
    };
    for (const Case& c : cases) {
        const std::string statement = test::U8(ViewText(c.file, test::TestApp()));
        std::string server = test::ReadFileText(c.expected);
        while (!server.empty() && server.back() == '\n') server.pop_back();
        EXPECT_EQ(statement.substr(0, kViewStart.size() + c.name.size() + 2),
                  kViewStart + "`" + c.name + "`");
        EXPECT_EQ(QueryOf(statement), QueryOf(server) + ";") << c.name;
    }
}

TEST(ViewTextTest, FilesWithoutQueryOrUnreadable) {
    test::TempDir dir;
    test::WriteFile(dir.path() / "v1.frm", Text("TYPE=VIEW\nmd5=0\n"));
    test::WriteFile(dir.path() / "v2.frm", Text("TYPE=VIEW\nquery=select 1\n"));
    // Without a query there is no statement; without a definer the view is
    // the loading account's.
    EXPECT_EQ(test::U8(ViewText(dir.path() / "v1.frm", test::TestApp())), "");
    EXPECT_EQ(test::U8(ViewText(dir.path() / "v2.frm", test::TestApp())),
              "CREATE ALGORITHM=UNDEFINED SQL SECURITY DEFINER VIEW `v2` AS select 1;");
    EXPECT_EQ(ViewText(dir.path() / "missing.frm", test::TestApp()), u"");
}

// The server's ACTION_STATEMENT of each trigger, by name.
std::map<std::string, std::string> ServerTriggerBodies(const std::filesystem::path& tsv) {
    std::map<std::string, std::string> bodies;
    const auto rows = test::ReadTsv(tsv);
    for (size_t i = 1; i < rows.size(); ++i) bodies[rows[i][0]] = rows[i][4];
    return bodies;
}

TEST(TriggerTextTest, EveryTriggerEndsWithTheBodyTheServerReports) {
    struct Case {
        std::filesystem::path file;
        std::filesystem::path expected;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {test::FixtureDataDir() / "shop" / "orders.TRG",
         test::FixtureExpectedDir() / "shop" / "triggers.tsv",
         {"orders_before_insert", "orders_after_update"}},
        {test::CatalogueFixtureDir() / "twodb" / "north" / "items.TRG",
         test::CatalogueFixtureDir() / "expected" / "north" / "triggers.tsv",
         {"items_before_insert", "items_before_update"}},
        // Typed in lower case: the keyword is found in any case.
        {test::CatalogueFixtureDir() / "twodb" / "south" / "notes.TRG",
         test::CatalogueFixtureDir() / "expected" / "south" / "triggers.tsv",
         {"notes_before_insert"}},
    };
    for (const Case& c : cases) {
        const auto bodies = ServerTriggerBodies(c.expected);
        const auto definitions = ReadTriggerDefinitions(c.file, test::TestApp());
        ASSERT_EQ(definitions.size(), c.names.size()) << c.file;
        for (size_t i = 0; i < definitions.size(); ++i) {
            const std::string definition = test::U8(definitions[i]);
            EXPECT_TRUE(definition.starts_with("TRIGGER `" + c.names[i] + "` ")) << definition;
            // information_schema reports a backslash of a string literal
            // once; the statement keeps it as it was typed.
            std::string body = bodies.at(c.names[i]);
            for (size_t at = body.find('\\'); at != std::string::npos; at = body.find('\\', at + 2))
                body.insert(at, 1, '\\');
            ASSERT_GE(definition.size(), body.size());
            EXPECT_EQ(definition.substr(definition.size() - body.size()), body) << c.names[i];
        }
    }
}

TEST(TriggerTextTest, WrapsEachTriggerInDelimiterLinesAndItsMode) {
    const auto path = test::FixtureDataDir() / "shop" / "orders.TRG";
    const std::string text = test::U8(TriggerText(path, test::TestApp()));
    const std::string first =
        "SET SQL_MODE='';\nDELIMITER $$\nCREATE TRIGGER `orders_before_insert` BEFORE "
        "INSERT ON `orders` FOR EACH ROW BEGIN\n    -- Take the list price unless the order "
        "names its own.\n";
    EXPECT_EQ(text.substr(0, first.size()), first);
    const std::string block_end = "\nEND\n$$\nDELIMITER ;\nSET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n";
    EXPECT_EQ(text.substr(text.size() - block_end.size()), block_end);
    size_t blocks = 0;
    for (size_t at = text.find("DELIMITER $$\nCREATE TRIGGER "); at != std::string::npos;
         at = text.find("DELIMITER $$\nCREATE TRIGGER ", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, 2u);
}

TEST(TriggerTextTest, ModesAndFilesWithoutTriggers) {
    test::TempDir dir;
    test::WriteFile(dir.path() / "none.TRG", Text("TYPE=TRIGGERS\nsql_modes=0\n"));
    test::WriteFile(dir.path() / "nodefiner.TRG", Text("triggers='CREATE TRIGGER t'\n"));
    test::WriteFile(dir.path() / "one.TRG",
                    Text("TYPE=TRIGGERS\ntriggers='CREATE DEFINER=`a``b`@`%` TRIGGER t BEFORE "
                         "INSERT ON one FOR EACH ROW SET @v = \\'q\\''\n"));
    const CAppState& app = test::TestApp();
    EXPECT_EQ(TriggerText(dir.path() / "none.TRG", app), u"");
    // A statement that cannot be parsed leaves only a comment without its text.
    EXPECT_EQ(test::U8(TriggerText(dir.path() / "nodefiner.TRG", app)),
              "-- a trigger of this table was left out: its statement cannot be saved\n");
    EXPECT_EQ(TriggerText(dir.path() / "missing.TRG", app), u"");
    const std::u16string one =
        u"DELIMITER $$\nCREATE TRIGGER `t` BEFORE INSERT ON `one` FOR EACH ROW SET @v = 'q'\n$$\n"
        u"DELIMITER ;\n";
    EXPECT_EQ(TriggerText(dir.path() / "one.TRG", app), one);

    // A save into a server executes the statements itself.
    EXPECT_EQ(TriggerText(dir.path() / "one.TRG", app, true), u"");
}

TEST(DefinitionFileTest, ListsAreSplitByQuotesNotByTheirText) {
    EXPECT_EQ(DefinitionList(u"'a b' 'it\\'s' 'x\\\\'"),
              (std::vector<std::u16string>{u"a b", u"it's", u"x\\"}));
    EXPECT_EQ(DefinitionList(u"0 1048576  7"),
              (std::vector<std::u16string>{u"0", u"1048576", u"7"}));
    EXPECT_EQ(DefinitionList(u"'open"), (std::vector<std::u16string>{u"open"}));
    EXPECT_EQ(DefinitionList(u""), std::vector<std::u16string>{});
}

// A .TRG file of table orders in database shop, with the given triggers= and
// sql_modes= values (as the file holds them, escaped).
std::filesystem::path WriteTriggerFile(const test::TempDir& dir, const std::string& triggers,
                                       const std::string& modes) {
    std::filesystem::create_directories(dir.path() / "shop");
    const auto path = dir.path() / "shop" / "orders.TRG";
    test::WriteFile(path, Text("TYPE=TRIGGERS\ntriggers=" + triggers + "\nsql_modes=" + modes +
                               "\ndefiners='root@localhost' 'root@localhost'\n"));
    return path;
}

TEST(TriggerFileTest, TextInsideABodyNeverStartsAnotherTrigger) {
    test::TempDir dir;
    // The first body holds a whole CREATE DEFINER= statement in a string; the
    // second holds the script's usual delimiter.
    const auto path = WriteTriggerFile(
        dir,
        "'CREATE DEFINER=`root`@`localhost` TRIGGER a BEFORE INSERT ON orders FOR EACH ROW SET "
        "@s = \\'x CREATE DEFINER=`root`@`localhost` TRIGGER victim.planted BEFORE INSERT ON "
        "victim.t FOR EACH ROW SET @p = 1\\'' 'CREATE DEFINER=`root`@`localhost` TRIGGER b AFTER "
        "DELETE ON shop.orders FOR EACH ROW SET @d = \\'$$\\''",
        "1048576 0");
    const CTriggerFile file = ReadTriggerFile(path, test::TestApp());
    ASSERT_EQ(file.triggers.size(), 2u);
    EXPECT_TRUE(file.refused.empty());
    EXPECT_EQ(test::U8(file.triggers[0].name), "a");
    EXPECT_EQ(test::U8(file.triggers[0].body),
              "SET @s = 'x CREATE DEFINER=`root`@`localhost` TRIGGER victim.planted BEFORE INSERT "
              "ON victim.t FOR EACH ROW SET @p = 1'");
    EXPECT_EQ(test::U8(file.triggers[0].sqlMode), "NO_BACKSLASH_ESCAPES");
    EXPECT_TRUE(file.triggers[1].hasSqlMode);
    EXPECT_EQ(test::U8(file.triggers[1].sqlMode), "");
    EXPECT_EQ(test::U8(file.triggers[1].statement),
              "TRIGGER `b` AFTER DELETE ON `orders` FOR EACH ROW SET @d = '$$'");
    const std::string script = test::U8(TriggerScript(file.triggers[1], u"NO_AUTO_VALUE_ON_ZERO"));
    EXPECT_EQ(
        script,
        "SET SQL_MODE='';\nDELIMITER $$1$$\nCREATE TRIGGER `b` AFTER DELETE ON `orders` FOR "
        "EACH ROW SET @d = '$$'\n$$1$$\nDELIMITER ;\nSET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n");
}

TEST(TriggerFileTest, RefusesTriggersOfOtherObjectsAndUnsafeBodies) {
    struct Case {
        const char* name;
        std::string statement;  // as the file holds it, escaped
        std::string reason;
    };
    const Case cases[] = {
        {"other database", "CREATE TRIGGER victim.t BEFORE INSERT ON orders FOR EACH ROW SET @a=1",
         "another database"},
        {"other table", "CREATE TRIGGER t BEFORE INSERT ON items FOR EACH ROW SET @a=1",
         "another table"},
        {"table of another database",
         "CREATE TRIGGER t BEFORE INSERT ON victim.orders FOR EACH ROW SET @a=1", "another table"},
        {"shell line",
         "CREATE TRIGGER t BEFORE INSERT ON orders FOR EACH ROW SET @a=1;\\n\\\\! "
         "touch /tmp/x",
         "backslash"},
        {"client command line",
         "CREATE TRIGGER t BEFORE INSERT ON orders FOR EACH ROW BEGIN\\nsource /etc/passwd\\nEND",
         "command of the mariadb client"},
        {"open string", "CREATE TRIGGER t BEFORE INSERT ON orders FOR EACH ROW SET @a=\\'x",
         "not closed"},
        {"no event", "CREATE TRIGGER t BEFORE ON orders FOR EACH ROW SET @a=1", "INSERT"},
        {"not a trigger", "DROP DATABASE shop", "not a CREATE TRIGGER"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const auto path = WriteTriggerFile(dir, "'" + c.statement + "'", "0");
        const CTriggerFile file = ReadTriggerFile(path, test::TestApp());
        EXPECT_TRUE(file.triggers.empty()) << c.name;
        ASSERT_EQ(file.refused.size(), 1u) << c.name;
        EXPECT_NE(test::U8(file.refused[0]).find(c.reason), std::string::npos)
            << c.name << ": " << test::U8(file.refused[0]);
    }
    // A name in a message never carries a line end.
    test::TempDir dir;
    const auto path = WriteTriggerFile(
        dir, "'CREATE TRIGGER `a\\nb` BEFORE INSERT ON x FOR EACH ROW SET @a=1'", "0");
    const CTriggerFile file = ReadTriggerFile(path, test::TestApp());
    ASSERT_EQ(file.refused.size(), 1u);
    EXPECT_EQ(test::U8(file.refused[0]).find('\n'), std::string::npos);
    EXPECT_NE(test::U8(file.refused[0]).find("`a?b`"), std::string::npos);
}

TEST(ViewDefinitionTest, KeepsTheClausesOfItsFileAndRefusesWhatIsNoQuery) {
    struct Case {
        const char* file;
        std::string content;
        std::string statement;  // empty: refused
    };
    const std::vector<Case> cases = {
        {"invoker.frm",
         "TYPE=VIEW\nquery=select 1 AS `a`\nalgorithm=1\ndefiner_user=no`body\n"
         "definer_host=%\nsuid=0\nwith_check_option=1\n",
         "CREATE ALGORITHM=MERGE DEFINER=`no``body`@`%` SQL SECURITY INVOKER VIEW `invoker` AS "
         "select 1 AS `a` WITH LOCAL CHECK OPTION;"},
        {"x@0024session.frm",
         "TYPE=VIEW\nquery=select 1\nalgorithm=2\nsuid=1\nwith_check_option=2\n",
         "CREATE ALGORITHM=TEMPTABLE SQL SECURITY DEFINER VIEW `x$session` AS select 1 WITH "
         "CASCADED CHECK OPTION;"},
        {"latin.frm",
         "TYPE=VIEW\nquery=select _latin1\\'\xE9\\' AS `e`,_binary \\'\xFF\\' AS `b`\n"
         "source=select _latin1 x\\'E9\\'\n",
         "CREATE ALGORITHM=UNDEFINED SQL SECURITY DEFINER VIEW `latin` AS select _latin1 X'E9' "
         "AS `e`,_binary X'FF' AS `b`;"},
        {"shell.frm", "TYPE=VIEW\nquery=select 1\\n\\\\! touch /tmp/x\n", ""},
        {"two.frm", "TYPE=VIEW\nquery=select 1; drop database shop\n", ""},
        {"drop.frm", "TYPE=VIEW\nquery=drop database shop\n", ""},
        {"algorithm.frm", "TYPE=VIEW\nquery=select 1\nalgorithm=7\n", ""},
        {"security.frm", "TYPE=VIEW\nquery=select 1\nsuid=x\n", ""},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        test::WriteFile(dir.path() / c.file, Text(c.content));
        EXPECT_EQ(test::U8(ViewText(dir.path() / c.file, test::TestApp())), c.statement) << c.file;
    }
}

}  // namespace
}  // namespace brix
