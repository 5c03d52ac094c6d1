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
    EXPECT_EQ(test::U8(ViewText(dir.path() / "v1.frm", test::TestApp())), kViewStart + "`v1` AS ;");
    EXPECT_EQ(test::U8(ViewText(dir.path() / "v2.frm", test::TestApp())),
              kViewStart + "`v2` AS select 1;");
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
            EXPECT_TRUE(definition.starts_with("TRIGGER " + c.names[i]) ||
                        definition.starts_with("trigger " + c.names[i]))
                << definition;
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

TEST(TriggerTextTest, WrapsEachTriggerInDelimiterLines) {
    const auto path = test::FixtureDataDir() / "shop" / "orders.TRG";
    const std::string text = test::U8(TriggerText(path, test::TestApp()));
    const std::string first =
        "DELIMITER $$\nCREATE TRIGGER orders_before_insert BEFORE INSERT ON orders\n"
        "FOR EACH ROW\nBEGIN\n    -- Take the list price unless the order names its own.\n";
    EXPECT_EQ(text.substr(0, first.size()), first);
    const std::string block_end = "\nEND\n$$\nDELIMITER ;\n";
    EXPECT_EQ(text.substr(text.size() - block_end.size()), block_end);
    size_t blocks = 0;
    for (size_t at = text.find("DELIMITER $$\nCREATE TRIGGER "); at != std::string::npos;
         at = text.find("DELIMITER $$\nCREATE TRIGGER ", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, 2u);
    EXPECT_NE(text.find("END\n$$\nDELIMITER ;\nDELIMITER $$\nCREATE TRIGGER orders_after_update"),
              std::string::npos);
}

TEST(TriggerTextTest, ModesAndFilesWithoutTriggers) {
    test::TempDir dir;
    test::WriteFile(dir.path() / "none.TRG", Text("TYPE=TRIGGERS\nsql_modes=0\n"));
    test::WriteFile(dir.path() / "nodefiner.TRG", Text("triggers='CREATE TRIGGER t'\n"));
    test::WriteFile(dir.path() / "one.TRG",
                    Text("TYPE=TRIGGERS\ntriggers='CREATE DEFINER=`a``b`@`%` TRIGGER t BEFORE "
                         "INSERT ON x FOR EACH ROW SET @v = \\'q\\''\n"));
    CAppState& app = test::TestApp();
    EXPECT_EQ(TriggerText(dir.path() / "none.TRG", app), u"");
    EXPECT_EQ(TriggerText(dir.path() / "nodefiner.TRG", app), u"");
    EXPECT_EQ(TriggerText(dir.path() / "missing.TRG", app), u"");
    const std::u16string one =
        u"DELIMITER $$\nCREATE TRIGGER t BEFORE INSERT ON x FOR EACH ROW SET @v = 'q'\n$$\n"
        u"DELIMITER ;\n";
    EXPECT_EQ(TriggerText(dir.path() / "one.TRG", app), one);

    app.saveAsScript = 1;
    EXPECT_EQ(TriggerText(dir.path() / "one.TRG", app), one);
    app.saveAsScript = 0;
    app.saveToDatabase = 1;
    EXPECT_EQ(TriggerText(dir.path() / "one.TRG", app), u"");
    app.saveToDatabase = 0;
}

}  // namespace
}  // namespace brix
