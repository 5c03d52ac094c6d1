// The Save Database dialog: its defaults, the two modes, the folder browser,
// OK and Cancel, with its messages and the connection test scripted.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "app/app_state.h"
#include "save/save_dialog_model.h"
#include "ui/save_dialog_window.h"

using namespace brix;

namespace {

// The dialog over a model whose messages are collected and whose connection
// test answers testAnswer without a server.
struct ScriptedSaveDialog {
    ScriptedSaveDialog()
        : model(
              app,
              [this](std::u16string_view text) {
                  messages << QString::fromStdU16String(std::u16string(text));
              },
              [this](const CConnectionSettings& settings) {
                  // A test may be held, as a server that does not answer holds it.
                  while (holdTest.load()) QThread::msleep(5);
                  tested.push_back(settings);
                  return CConnectionTestResult{
                      testAnswer, testAnswer ? u"Connection is successful" : u"Access denied\n"};
              }),
          dialog(model) {
        dialog.browseFolder = [this](const QString& title) {
            browseTitles << title;
            return browseResult;
        };
    }
    CAppState app;
    QStringList messages;
    std::vector<CConnectionSettings> tested;
    bool testAnswer = true;
    std::atomic<bool> holdTest{false};
    QStringList browseTitles;
    QString browseResult;
    CSaveDialogModel model;
    savedlgoption dialog;
};

// A click on the radio's indicator, as the user gives it.
void ClickRadio(QRadioButton* radio) {
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
}

void Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
}

}  // namespace

class SaveDialogTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void OpensWithTheDefaultsInDatabaseMode();
    void ScriptModeEnablesTheFolderAndDisablesTheConnection();
    void ScriptOkWithoutAFolderRefusesAndStaysOpen();
    void CancelledBrowserEmptiesTheFolder();
    void ScriptOkWithAFolderHandsItOverAndCloses();
    void DatabaseOkTestsFirstAndClosesOnTheSecondOk();
    void DatabaseOkWithAFailingTestRefuses();
    void CancelClosesAndChangesNothing();
    void EachOpeningStartsFromTheDefaults();
    void TestConnectionLeavesTheDialogResponsive();
    void DeletedRowsCheckBoxGoesIntoTheSettingsAndStartsCleared();
};

void SaveDialogTest::OpensWithTheDefaultsInDatabaseMode() {
    ScriptedSaveDialog s;
    QCOMPARE(s.dialog.windowTitle(), QStringLiteral("Save Database"));
    QCOMPARE(s.dialog.serverEdit()->text(), QStringLiteral("localhost"));
    QCOMPARE(s.dialog.portEdit()->text(), QStringLiteral("3306"));
    QCOMPARE(s.dialog.userEdit()->text(), QStringLiteral("root"));
    QVERIFY(s.dialog.passwordEdit()->text().isEmpty());
    QCOMPARE(s.dialog.passwordEdit()->echoMode(), QLineEdit::Password);
    QVERIFY(s.dialog.databaseRadio()->isChecked());
    QVERIFY(!s.dialog.scriptRadio()->isChecked());
    QCOMPARE(s.dialog.databaseRadio()->text(), QStringLiteral("Save in database"));
    QCOMPARE(s.dialog.scriptRadio()->text(), QStringLiteral("Save as Script"));
    for (QWidget* w : std::initializer_list<QWidget*>{s.dialog.serverEdit(), s.dialog.portEdit(),
                                                      s.dialog.userEdit(), s.dialog.passwordEdit(),
                                                      s.dialog.testButton()})
        QVERIFY(w->isEnabled());
    QVERIFY(!s.dialog.folderEdit()->isEnabled());
    QVERIFY(!s.dialog.browseButton()->isEnabled());
    QVERIFY(s.dialog.folderEdit()->isReadOnly());
    QCOMPARE(s.dialog.testButton()->text(), QStringLiteral("Test Connection"));
    QCOMPARE(s.dialog.testButton()->toolTip(), QStringLiteral("Test connection"));
    QCOMPARE(s.dialog.okButton()->toolTip(), QStringLiteral("OK"));
}

void SaveDialogTest::ScriptModeEnablesTheFolderAndDisablesTheConnection() {
    ScriptedSaveDialog s;
    s.dialog.show();
    ClickRadio(s.dialog.scriptRadio());
    QVERIFY(s.dialog.scriptRadio()->isChecked());
    QVERIFY(!s.dialog.databaseRadio()->isChecked());
    QVERIFY(s.dialog.folderEdit()->isEnabled());
    QVERIFY(s.dialog.browseButton()->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{s.dialog.serverEdit(), s.dialog.portEdit(),
                                                      s.dialog.userEdit(), s.dialog.passwordEdit(),
                                                      s.dialog.testButton()})
        QVERIFY(!w->isEnabled());
    // Clicking the chosen radio again keeps it chosen.
    ClickRadio(s.dialog.scriptRadio());
    QVERIFY(s.dialog.scriptRadio()->isChecked());
    QCOMPARE(s.model.mode(), SaveDestination::kScript);

    ClickRadio(s.dialog.databaseRadio());
    QVERIFY(s.dialog.databaseRadio()->isChecked());
    QVERIFY(!s.dialog.scriptRadio()->isChecked());
    QVERIFY(s.dialog.serverEdit()->isEnabled());
    QVERIFY(s.dialog.testButton()->isEnabled());
    QVERIFY(!s.dialog.browseButton()->isEnabled());
    QCOMPARE(s.model.mode(), SaveDestination::kDatabase);
}

void SaveDialogTest::ScriptOkWithoutAFolderRefusesAndStaysOpen() {
    ScriptedSaveDialog s;
    s.dialog.show();
    s.dialog.scriptRadio()->click();
    s.dialog.okButton()->click();
    QCOMPARE(s.messages,
             QStringList{QStringLiteral("Please select valid destination folder path.")});
    QVERIFY(s.dialog.isVisible());
    QCOMPARE(s.model.SaveSettings().destination, SaveDestination::kScript);
    QVERIFY(s.app.scriptFolder.empty());
}

void SaveDialogTest::CancelledBrowserEmptiesTheFolder() {
    ScriptedSaveDialog s;
    s.dialog.scriptRadio()->click();
    s.browseResult = QStringLiteral("/tmp/out");
    s.dialog.browseButton()->click();
    QCOMPARE(s.dialog.folderEdit()->text(), QStringLiteral("/tmp/out"));
    QCOMPARE(s.browseTitles, QStringList{QStringLiteral("Please choose a folder.")});
    s.browseResult.clear();
    s.dialog.browseButton()->click();
    QVERIFY(s.dialog.folderEdit()->text().isEmpty());
    s.dialog.okButton()->click();
    QCOMPARE(s.messages,
             QStringList{QStringLiteral("Please select valid destination folder path.")});
}

void SaveDialogTest::ScriptOkWithAFolderHandsItOverAndCloses() {
    ScriptedSaveDialog s;
    s.dialog.show();
    s.dialog.scriptRadio()->click();
    s.browseResult = QStringLiteral("/tmp/scripts");
    s.dialog.browseButton()->click();
    s.dialog.okButton()->click();
    QVERIFY(s.messages.isEmpty());
    QCOMPARE(s.dialog.result(), int(QDialog::Accepted));
    QVERIFY(!s.dialog.isVisible());
    QCOMPARE(QString::fromStdU16String(s.app.scriptFolder), QStringLiteral("/tmp/scripts"));
    QVERIFY(s.tested.empty());
    QCOMPARE(s.model.SaveSettings().destination, SaveDestination::kScript);
}

void SaveDialogTest::DeletedRowsCheckBoxGoesIntoTheSettingsAndStartsCleared() {
    ScriptedSaveDialog s;
    s.dialog.StartFromDefaults();
    s.dialog.show();
    QCheckBox* box = s.dialog.deletedRowsCheck();
    QCOMPARE(box->text(), QStringLiteral("Save deleted rows into TABLE__deleted tables"));
    QVERIFY(box->isEnabled() && !box->isChecked());
    QVERIFY(!s.model.SaveSettings().deletedRows);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QVERIFY(box->isChecked());
    s.dialog.scriptRadio()->click();
    s.browseResult = QStringLiteral("/tmp/scripts");
    s.dialog.browseButton()->click();
    s.dialog.okButton()->click();
    QCOMPARE(s.dialog.result(), int(QDialog::Accepted));
    QVERIFY(s.model.SaveSettings().deletedRows);
    // The next showing asks again.
    s.dialog.StartFromDefaults();
    QVERIFY(!box->isChecked());
    QVERIFY(!s.model.SaveSettings().deletedRows);
}

void SaveDialogTest::DatabaseOkTestsFirstAndClosesOnTheSecondOk() {
    ScriptedSaveDialog s;
    s.dialog.show();
    Type(s.dialog.serverEdit(), QStringLiteral("db.example"));
    Type(s.dialog.portEdit(), QStringLiteral("3307"));
    Type(s.dialog.userEdit(), QStringLiteral("saver"));
    Type(s.dialog.passwordEdit(), QStringLiteral("pw"));
    // The test OK starts runs off the dialog's thread: the dialog answers
    // while it runs, with OK and Test Connection off.
    s.holdTest = true;
    s.dialog.okButton()->click();
    QVERIFY(s.dialog.testRunning());
    QVERIFY(!s.dialog.okButton()->isEnabled());
    QVERIFY(!s.dialog.testButton()->isEnabled());
    QCoreApplication::processEvents();
    QVERIFY(s.messages.isEmpty());
    s.holdTest = false;
    QTRY_VERIFY(!s.dialog.testRunning());
    QCOMPARE(s.messages, QStringList{QStringLiteral("Connection is successful")});
    QVERIFY(s.dialog.isVisible());
    QCOMPARE(s.tested.size(), size_t{1});
    QCOMPARE(QString::fromStdU16String(s.tested[0].server), QStringLiteral("db.example"));
    QCOMPARE(QString::fromStdU16String(s.tested[0].port), QStringLiteral("3307"));
    QCOMPARE(QString::fromStdU16String(s.tested[0].user), QStringLiteral("saver"));
    QCOMPARE(QString::fromStdU16String(s.tested[0].password), QStringLiteral("pw"));
    QCOMPARE(s.model.SaveSettings().destination, SaveDestination::kDatabase);

    s.dialog.okButton()->click();
    QCOMPARE(s.tested.size(), size_t{1});
    QCOMPARE(s.dialog.result(), int(QDialog::Accepted));
    QVERIFY(!s.dialog.isVisible());
    QCOMPARE(QString::fromStdU16String(s.app.dbServer), QStringLiteral("db.example"));
    QCOMPARE(s.model.SaveSettings().destination, SaveDestination::kDatabase);
}

void SaveDialogTest::DatabaseOkWithAFailingTestRefuses() {
    ScriptedSaveDialog s;
    s.dialog.show();
    s.dialog.testButton()->click();
    QTRY_VERIFY(!s.dialog.testRunning());
    QCOMPARE(s.messages.size(), 1);
    // A later test that fails makes the next OK test again.
    s.testAnswer = false;
    s.dialog.testButton()->click();
    QTRY_VERIFY(!s.dialog.testRunning());
    s.dialog.okButton()->click();
    QTRY_VERIFY(!s.dialog.testRunning());
    QCOMPARE(s.tested.size(), size_t{3});
    QCOMPARE(s.messages.last(),
             QStringLiteral("Test connection is unsuccessful.Saving in database cannot be done."));
    QVERIFY(s.dialog.isVisible());
    QCOMPARE(s.model.SaveSettings().destination, SaveDestination::kScript);
}

void SaveDialogTest::CancelClosesAndChangesNothing() {
    ScriptedSaveDialog s;
    s.dialog.show();
    Type(s.dialog.serverEdit(), QStringLiteral("elsewhere"));
    s.dialog.cancelButton()->click();
    QCOMPARE(s.dialog.result(), int(QDialog::Rejected));
    QVERIFY(!s.dialog.isVisible());
    QVERIFY(s.messages.isEmpty());
    QVERIFY(s.tested.empty());
    QCOMPARE(s.model.SaveSettings().destination, SaveDestination::kScript);
    QVERIFY(s.app.dbServer.empty());
}

void SaveDialogTest::EachOpeningStartsFromTheDefaults() {
    ScriptedSaveDialog s;
    Type(s.dialog.serverEdit(), QStringLiteral("elsewhere"));
    Type(s.dialog.passwordEdit(), QStringLiteral("secret"));
    s.dialog.scriptRadio()->click();
    s.browseResult = QStringLiteral("/tmp/out");
    s.dialog.browseButton()->click();
    s.dialog.StartFromDefaults();
    QCOMPARE(s.dialog.serverEdit()->text(), QStringLiteral("localhost"));
    QVERIFY(s.dialog.passwordEdit()->text().isEmpty());
    QVERIFY(s.dialog.folderEdit()->text().isEmpty());
    QVERIFY(s.dialog.databaseRadio()->isChecked());
    QVERIFY(!s.dialog.browseButton()->isEnabled());
    QVERIFY(s.model.connection.password.empty());
}

// A server that does not answer: the test waits on its own thread until this
// test lets it go, and meanwhile the dialog's thread goes on handling events.
void SaveDialogTest::TestConnectionLeavesTheDialogResponsive() {
    CAppState app;
    QStringList messages;
    std::mutex mutex;
    std::condition_variable changed;
    bool answer = false;
    std::atomic<bool> asked{false};
    CSaveDialogModel model(
        app,
        [&messages](std::u16string_view text) {
            messages << QString::fromStdU16String(std::u16string(text));
        },
        [&](const CConnectionSettings&) {
            asked = true;
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return answer; });
            return CConnectionTestResult{true, u"Connection is successful"};
        });
    savedlgoption dialog(model);
    dialog.show();
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(5);

    dialog.testButton()->click();
    QTRY_VERIFY(asked.load());
    QVERIFY(dialog.testRunning());
    QVERIFY(!dialog.testButton()->isEnabled());
    QVERIFY(!dialog.okButton()->isEnabled());
    const int ticksWhileAsked = ticks;
    QTRY_VERIFY(ticks >= ticksWhileAsked + 3);
    dialog.testButton()->click();  // disabled: no second test
    QVERIFY(messages.isEmpty());

    {
        std::lock_guard<std::mutex> lock(mutex);
        answer = true;
    }
    changed.notify_all();
    QTRY_VERIFY(!dialog.testRunning());
    QCOMPARE(messages, QStringList{QStringLiteral("Connection is successful")});
    QVERIFY(model.connectionTested());
    QVERIFY(dialog.testButton()->isEnabled());
    QVERIFY(dialog.okButton()->isEnabled());
}

QTEST_MAIN(SaveDialogTest)
#include "save_dialog_test.moc"
