// The connection test's checks and messages, and the connection string,
// without a server; the server-backed cases are in server_test.cpp.

#include "save/connection_test.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace brix {
namespace {

CConnectionSettings Settings(std::u16string server, std::u16string port, std::u16string user) {
    CConnectionSettings s;
    s.server = std::move(server);
    s.port = std::move(port);
    s.user = std::move(user);
    return s;
}

TEST(ConnectionTestTest, EmptyServerUserAndPortAreRefusedInThatOrder) {
    EXPECT_EQ(test::U8(TestConnection(Settings(u"", u"", u"")).message),
              "Please enter Server name.");
    EXPECT_EQ(test::U8(TestConnection(Settings(u"h", u"", u"")).message),
              "Please enter user name.");
    EXPECT_EQ(test::U8(TestConnection(Settings(u"h", u"", u"u")).message),
              "Please enter port number.");
    for (std::u16string_view port : {u"0", u"65536", u"33o6", u"-1", u"3306;Option=0", u" 3306"})
        EXPECT_EQ(test::U8(CheckConnectionSettings(Settings(u"h", std::u16string(port), u"u"))),
                  "Please enter port number.")
            << test::U8(port);
    EXPECT_TRUE(CheckConnectionSettings(Settings(u"h", u"65535", u"u")).empty());
    EXPECT_FALSE(TestConnection(Settings(u"", u"3306", u"root")).tested);
}

TEST(ConnectionTestTest, ServerNamesThatCarryOptionsAreRefusedBeforeConnecting) {
    for (std::u16string_view server : {u"localhost;Driver={Other}", u"localhost;plugin_dir=/tmp",
                                       u"host=evil", u"a b", u"{localhost}", u"local\nhost"}) {
        const CConnectionTestResult r =
            TestConnection(Settings(std::u16string(server), u"3306", u"root"));
        EXPECT_FALSE(r.tested) << test::U8(server);
        EXPECT_EQ(r.message, std::u16string(kBadServerName) + u"\n") << test::U8(server);
    }
}

TEST(ConnectionTestTest, ValuesInTheConnectionStringAreBracedAndCannotAddKeywords) {
    CConnectionSettings s = Settings(u"db}};Driver={x", u"3306", u"ignored;UID=x");
    s.password = u"secret";
    s.driver = u"My}Driver";
    const std::u16string text = ConnectionString(s);
    EXPECT_EQ(test::U8(text),
              "Driver={My}}Driver};Server={db}}}};Driver={x};Option=16770;Port={3306};");
    EXPECT_EQ(text.find(u"secret"), std::u16string::npos);
    EXPECT_EQ(text.find(u"ignored"), std::u16string::npos);
    EXPECT_EQ(test::U8(ConnectionString(Settings(u"localhost", u"3306", u"root"))),
              "Driver={MySql ODBC 5.1 Driver};Server={localhost};Option=16770;Port={3306};");
}

// Statements go to the driver ended by a zero unit; one whose last unit the
// driver would take for the start of a surrogate pair gets a space after it,
// so that the driver's walk stops at the zero unit.
TEST(ConnectionTestTest, StatementsEndWhereTheDriverStopsReading) {
    const struct {
        std::u16string sql;
        std::u16string sent;
    } cases[] = {
        {u"", u""},
        {u"SELECT 1", u"SELECT 1"},
        {u"SELECT '\u00d8'", u"SELECT '\u00d8'"},
        {u"SELECT 1 -- \u00d8", u"SELECT 1 -- \u00d8 "},
        {u"SELECT 1 -- \u4edb", u"SELECT 1 -- \u4edb "},
        {u"SELECT 1 -- \u00dc", u"SELECT 1 -- \u00dc"},
    };
    for (const auto& c : cases) {
        const std::u16string sent = OdbcStatementText(c.sql);
        EXPECT_EQ(test::U8(sent), test::U8(c.sent));
        EXPECT_EQ(sent.c_str()[sent.size()], u'\0');
    }
}

TEST(ConnectionTestTest, FailuresShowTheDriverManagersOrDriversTextAndALineFeed) {
    CConnectionSettings s = Settings(u"127.0.0.1", u"1", u"root");
    s.driver = u"No Such Driver For BrixTallow";
    CConnectionTestResult r = TestConnection(s);
    EXPECT_FALSE(r.tested);
    ASSERT_FALSE(r.message.empty());
    EXPECT_EQ(r.message.back(), u'\n');
    EXPECT_NE(r.message, std::u16string(kConnectionFailed));

    // The driver itself: nothing listens on port 1.
    r = TestConnection(Settings(u"127.0.0.1", u"1", u"root"));
    EXPECT_FALSE(r.tested);
    EXPECT_NE(test::U8(r.message).find("Can't connect"), std::string::npos) << test::U8(r.message);
    EXPECT_EQ(r.message.back(), u'\n');
}

}  // namespace
}  // namespace brix
