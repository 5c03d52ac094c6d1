#pragma once

#include <QDialog>
#include <functional>

#include "ui/app_settings.h"

class QLineEdit;
class QPushButton;
class QToolButton;

namespace brix {

class CAppState;

// Texts of the open dialog.
inline constexpr char kOpenDialogTitle[] = "Select Database File";
inline constexpr char kInvalidDatabasePath[] =
    "Please select valid database file path to continue the recovery process.";
inline constexpr char kInvalidTemporaryPath[] =
    "Please select valid temporary file path to continue the recovery process.";
inline constexpr char kInvalidLogPath[] =
    "Please select valid Log file path to continue the recovery process.";

// The open dialog: the data folder to recover from, a temporary folder and
// the folder for the log file. OK checks that the three exist and stores
// them, each ending with a separator, as databasePath, tempPath and logFolder
// of the process-wide state; nothing is stored otherwise. Enter and Escape do
// not close it: only OK, Cancel and the close box do.
class CBrixFileSettingDlg : public QDialog {
    Q_OBJECT

  public:
    CBrixFileSettingDlg(CAppState& app, QWidget* parent = nullptr);

    QLineEdit* databaseEdit() const { return databaseEdit_; }
    QLineEdit* temporaryEdit() const { return temporaryEdit_; }
    QLineEdit* logEdit() const { return logEdit_; }
    QToolButton* databaseBrowse() const { return databaseBrowse_; }
    QToolButton* temporaryBrowse() const { return temporaryBrowse_; }
    QToolButton* logBrowse() const { return logBrowse_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    // The folder browser: title and the folder to start in; returns the
    // chosen folder, empty when cancelled. Qt's folder dialog by default.
    std::function<QString(const QString& title, const QString& start)> browseFolder;
    // Shows a refusal; a message box by default.
    std::function<void(const QString& text)> showMessage;

    // The OK button: checks, stores and closes; a failed check says why and
    // leaves the dialog open.
    void OnOk();

    // Fills the fields from the folders confirmed last time, each that still
    // exists; the others keep their defaults.
    void Prefill(const CRememberedFolders& folders);
    // The three fields, to remember once the dialog was confirmed.
    CRememberedFolders Chosen() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void OnBrowseDatabase();
    void OnBrowseTemporary();
    void OnBrowseLog();

    CAppState& app_;
    QLineEdit* databaseEdit_;
    QLineEdit* temporaryEdit_;
    QLineEdit* logEdit_;
    QToolButton* databaseBrowse_;
    QToolButton* temporaryBrowse_;
    QToolButton* logBrowse_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// True when the text ends with a path separator ('/', or also '\' where the
// system takes it for one).
bool EndsWithSeparator(const QString& path);
// The text with the system's separator appended unless it ends with one.
QString WithTrailingSeparator(const QString& path);
// The user's desktop folder, made when it does not exist.
QString DefaultLogFolder();

}  // namespace brix
