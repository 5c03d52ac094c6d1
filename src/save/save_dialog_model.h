#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "save/connection_test.h"
#include "save/save_run.h"

namespace brix {

class CAppState;

// Texts of the Save Database dialog besides those of the connection test.
inline constexpr char16_t kSaveDialogTitle[] = u"Save Database";
inline constexpr char16_t kSaveDialogPrompt[] =
    u"Choose the saving mode and click OK button to continue the process";
inline constexpr char16_t kBrowseFolderTitle[] = u"Please choose a folder.";
inline constexpr char16_t kDefaultServer[] = u"localhost";
inline constexpr char16_t kDefaultPort[] = u"3306";
inline constexpr char16_t kDefaultUser[] = u"root";
inline constexpr char16_t kSaveDeletedRowsText[] = u"Save deleted rows into TABLE__deleted tables";

// What the Save Database dialog holds and decides, apart from its widgets:
// the desktop dialog shows these fields and calls these operations from its
// controls. Messages go through showMessage (a message box with the program's
// caption and the information icon); the connection test is the one given,
// TestConnection unless a test replaces it.
//
// One instance lives as long as the program; Open starts each showing from
// the defaults. The accepted destination stays in the model; the folder and
// the connection go into the process-wide settings (scriptFolder, dbServer,
// dbPort, dbUser, dbPassword), where SaveSettings reads them back for the
// save run.
class CSaveDialogModel {
  public:
    using MessageFunction = std::function<void(std::u16string_view)>;
    using TestFunction = std::function<CConnectionTestResult(const CConnectionSettings&)>;

    CSaveDialogModel(CAppState& app, MessageFunction showMessage,
                     TestFunction test = TestConnection);

    // The dialog opens: server, port, user and folder get the choice
    // accepted last where one is remembered (start), else server, port and
    // user their defaults and the folder is emptied; the password is
    // emptied, "Save in database" is chosen and no connection counts as
    // tested.
    void Open();

    // What the fields start from: the choice accepted last, which the
    // desktop program keeps between runs. Never a password.
    struct CStart {
        std::u16string server;
        std::u16string port;
        std::u16string user;
        std::u16string folder;
    };
    CStart start;
    // Remembers the fields of the choice just accepted in start (in database
    // mode the folder remembered before stays).
    void RememberAccepted();

    // The two radio buttons. In database mode the connection fields and Test
    // Connection are enabled, in script mode the folder and its browse
    // button.
    void ChooseMode(SaveDestination mode) { mode_ = mode; }
    SaveDestination mode() const { return mode_; }
    bool connectionFieldsEnabled() const { return mode_ == SaveDestination::kDatabase; }
    bool folderFieldsEnabled() const { return mode_ == SaveDestination::kScript; }

    // The edit fields, as typed. The driver is a setting of the program, not
    // a field.
    CConnectionSettings connection;
    std::u16string folder;
    // The check box "Save deleted rows into TABLE__deleted tables": each
    // table's deleted rows also go into a table of their own (see
    // CSaveSettings::deletedRows). Cleared by Open.
    bool deletedRows = false;

    // The folder browser returned: the chosen folder, or nothing when it was
    // cancelled, which empties the folder field.
    void FolderChosen(const std::optional<std::filesystem::path>& chosen);

    // Test Connection: the checks' message, or the test's result with its
    // message. True when the connection tested good.
    bool TestConnectionNow();
    // Test Connection in two steps, for a dialog that runs the test on
    // another thread: the test function (a copy, safe to call there) and,
    // back on the dialog's thread, its result for the settings tested, shown
    // and remembered as TestConnectionNow does.
    TestFunction testFunction() const { return test_; }
    bool TakeTestResult(const CConnectionSettings& tested, const CConnectionTestResult& result);
    // The last test succeeded with the values the fields hold now. Editing a
    // connection field after a good test counts as untested again, so that
    // OK never accepts values that did not test good.
    bool connectionTested() const;

    // OK. Database mode: with a tested connection the values are handed over
    // and the dialog closes; otherwise the connection is tested first, and on
    // success the values are handed over but the dialog stays open for a
    // second OK; on failure "Test connection is unsuccessful.Saving in
    // database cannot be done." is shown. Script mode: refuses an empty folder
    // with "Please select valid destination folder path.", else hands the
    // folder over and closes. Returns true when the dialog closes.
    bool Ok();
    // OK in two steps, for a dialog that runs the test on another thread:
    // whether this OK must test the connection first (database mode, not
    // tested), and, back on the dialog's thread, what OK makes of the test's
    // result (the dialog stays open either way).
    bool OkNeedsTest() const;
    void OkTested(const CConnectionSettings& tested, const CConnectionTestResult& result);

    // The save run's settings from the process-wide state the dialog filled.
    CSaveSettings SaveSettings() const;

  private:
    void HandOverConnection();

    CAppState& app_;
    MessageFunction showMessage_;
    TestFunction test_;
    SaveDestination mode_ = SaveDestination::kDatabase;
    // The destination the last accepted (or refused for want of a folder)
    // OK chose.
    SaveDestination accepted_ = SaveDestination::kScript;
    std::optional<CConnectionSettings> tested_;
};

}  // namespace brix
