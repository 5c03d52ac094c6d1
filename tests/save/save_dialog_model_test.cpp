// The Save Database dialog's decisions, with a scripted connection test.

#include "save/save_dialog_model.h"

#include <gtest/gtest.h>

#include <deque>

#include "app/app_state.h"
#include "support/test_support.h"

namespace brix {
namespace {

class SaveDialogTest : public testing::Test {
  protected:
    SaveDialogTest()
        : app_(kDefaultAnsiCodePage, test::SourceDir() / "data" / kCollationFileName),
          dialog_(
              app_, [this](std::u16string_view text) { messages_.push_back(test::U8(text)); },
              [this](const CConnectionSettings& s) {
                  tests_.push_back(s);
                  CConnectionTestResult r;
                  r.tested = !outcomes_.empty() && outcomes_.front();
                  if (!outcomes_.empty()) outcomes_.pop_front();
                  r.message = r.tested ? kConnectionSuccessful : u"Access denied\n";
                  return r;
              }) {
        dialog_.Open();
    }

    std::vector<std::string> TakeMessages() {
        std::vector<std::string> taken;
        taken.swap(messages_);
        return taken;
    }

    CAppState app_;
    CSaveDialogModel dialog_;
    std::vector<std::string> messages_;
    std::deque<bool> outcomes_;
    std::vector<CConnectionSettings> tests_;
};

TEST_F(SaveDialogTest, OpensWithTheDefaultsInDatabaseMode) {
    dialog_.connection.password = u"left over";
    dialog_.folder = u"/somewhere";
    dialog_.ChooseMode(SaveDestination::kScript);
    dialog_.Open();
    EXPECT_EQ(dialog_.connection.server, u"localhost");
    EXPECT_EQ(dialog_.connection.port, u"3306");
    EXPECT_EQ(dialog_.connection.user, u"root");
    EXPECT_TRUE(dialog_.connection.password.empty());
    EXPECT_TRUE(dialog_.folder.empty());
    EXPECT_EQ(dialog_.mode(), SaveDestination::kDatabase);
    EXPECT_TRUE(dialog_.connectionFieldsEnabled());
    EXPECT_FALSE(dialog_.folderFieldsEnabled());
    EXPECT_FALSE(dialog_.connectionTested());
    dialog_.ChooseMode(SaveDestination::kScript);
    EXPECT_FALSE(dialog_.connectionFieldsEnabled());
    EXPECT_TRUE(dialog_.folderFieldsEnabled());
}

TEST_F(SaveDialogTest, OpensWithTheChoiceAcceptedLast) {
    dialog_.connection.server = u"db.example";
    dialog_.connection.port = u"3307";
    dialog_.connection.password = u"secret";
    dialog_.RememberAccepted();
    // A database save keeps the folder remembered before.
    EXPECT_TRUE(dialog_.start.folder.empty());
    dialog_.ChooseMode(SaveDestination::kScript);
    dialog_.folder = u"/scripts";
    dialog_.RememberAccepted();
    dialog_.Open();
    EXPECT_EQ(dialog_.connection.server, u"db.example");
    EXPECT_EQ(dialog_.connection.port, u"3307");
    EXPECT_EQ(dialog_.connection.user, u"root");
    EXPECT_TRUE(dialog_.connection.password.empty());
    EXPECT_EQ(dialog_.folder, u"/scripts");
    EXPECT_EQ(dialog_.mode(), SaveDestination::kDatabase);
}

TEST_F(SaveDialogTest, AnUntestedOkTestsFirstAndASecondOkCloses) {
    dialog_.connection.password = u"pw";
    outcomes_ = {true};
    EXPECT_FALSE(dialog_.Ok());
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Connection is successful"});
    EXPECT_EQ(dialog_.SaveSettings().destination, SaveDestination::kDatabase);
    EXPECT_EQ(app_.dbServer, u"localhost");
    EXPECT_EQ(app_.dbPassword, u"pw");
    EXPECT_TRUE(dialog_.Ok());
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_EQ(tests_.size(), 1u);
    const CSaveSettings settings = dialog_.SaveSettings();
    EXPECT_EQ(settings.destination, SaveDestination::kDatabase);
    EXPECT_EQ(settings.connection.user, u"root");
    EXPECT_EQ(settings.connection.port, u"3306");
    EXPECT_EQ(settings.connection.driver, kDefaultOdbcDriver);
}

TEST_F(SaveDialogTest, AFailedTestOrAnEditAfterAGoodOneMakesOkTestAgain) {
    outcomes_ = {true, false, false, true, true};
    EXPECT_TRUE(dialog_.TestConnectionNow());
    EXPECT_TRUE(dialog_.connectionTested());
    EXPECT_FALSE(dialog_.TestConnectionNow());  // a later test fails
    EXPECT_FALSE(dialog_.connectionTested());
    TakeMessages();
    EXPECT_FALSE(dialog_.Ok());  // tests again, fails, refuses
    EXPECT_EQ(TakeMessages(),
              (std::vector<std::string>{
                  "Access denied\n",
                  "Test connection is unsuccessful.Saving in database cannot be done."}));
    EXPECT_TRUE(dialog_.TestConnectionNow());
    dialog_.connection.server = u"elsewhere";  // edited after the good test
    EXPECT_FALSE(dialog_.connectionTested());
    EXPECT_FALSE(dialog_.Ok());  // tests the new values before accepting them
    EXPECT_EQ(tests_.back().server, u"elsewhere");
    EXPECT_TRUE(dialog_.Ok());
    EXPECT_EQ(app_.dbServer, u"elsewhere");
}

TEST_F(SaveDialogTest, AnEmptyPasswordIsTestedAndHandedOverAsEmpty) {
    outcomes_ = {true};
    dialog_.Ok();
    ASSERT_EQ(tests_.size(), 1u);
    EXPECT_TRUE(tests_.front().password.empty());
    app_.dbPassword = u"old";
    EXPECT_TRUE(dialog_.Ok());
    EXPECT_TRUE(app_.dbPassword.empty());
}

TEST_F(SaveDialogTest, ScriptModeNeedsAFolderAndACancelledBrowserEmptiesIt) {
    dialog_.ChooseMode(SaveDestination::kScript);
    dialog_.FolderChosen(std::filesystem::path("/tmp/scripts"));
    EXPECT_EQ(dialog_.folder, u"/tmp/scripts");
    dialog_.FolderChosen(std::nullopt);
    EXPECT_TRUE(dialog_.folder.empty());
    EXPECT_FALSE(dialog_.Ok());
    EXPECT_EQ(TakeMessages(),
              std::vector<std::string>{"Please select valid destination folder path."});
    // The refused OK has chosen the destination already; it stays chosen.
    EXPECT_EQ(dialog_.SaveSettings().destination, SaveDestination::kScript);
    dialog_.FolderChosen(std::filesystem::path("/tmp/scripts"));
    EXPECT_TRUE(dialog_.Ok());
    EXPECT_EQ(app_.scriptFolder, u"/tmp/scripts");
    EXPECT_EQ(dialog_.SaveSettings().destination, SaveDestination::kScript);
    EXPECT_EQ(dialog_.SaveSettings().scriptFolder, std::filesystem::path("/tmp/scripts"));
    EXPECT_TRUE(tests_.empty());
}

}  // namespace
}  // namespace brix
