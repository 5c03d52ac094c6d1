#pragma once

#include <QString>
#include <QUrl>
#include <filesystem>
#include <optional>

#include "app/ui_operations.h"

class QMessageBox;
class QWidget;

namespace brix {

class CAppState;
struct CAppLinks;
class CAppSettings;

// The caption of every message box, as Qt text.
QString MessageBoxCaption();

// A message box of the program, not yet shown: the caption, the text, the
// icon and the buttons.
QMessageBox* CreateMessageBox(QWidget* parent, const QString& text, MessageIcon icon, bool yesNo);

// A window of its own showing the manual file (HTML), for a desktop where no
// web browser can be started; it deletes itself when closed.
QWidget* ShowManualWindow(const QString& file);

// What the main window asks of the desktop: message boxes, the open dialog,
// the About box, the file dialog, the web browser, and the end of the
// process. The window uses the real ones; tests hand in their own.
class CDesktopServices {
  public:
    virtual ~CDesktopServices() = default;

    // A modal message box with the information icon and OK.
    virtual void ShowMessage(QWidget* owner, const QString& text) = 0;
    // A modal message box with Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text, MessageIcon icon) = 0;
    // The file-open dialog: no filter, no default name; nothing when cancelled.
    virtual std::optional<std::filesystem::path> ChooseFileToOpen(QWidget* owner) = 0;
    // The file-save dialog, offering suggestedName; nothing when cancelled.
    virtual std::optional<std::filesystem::path> ChooseFileToSave(QWidget* owner,
                                                                  const QString& suggestedName) = 0;
    // The open dialog: true when confirmed, with the three folders stored in
    // the process-wide state.
    virtual bool RunOpenDialog(QWidget* owner, CAppState& app) = 0;
    // The About box, modal.
    virtual void RunAboutBox(QWidget* owner, const CAppLinks& links) = 0;
    // Opens the address in the default web browser (or mail program). Where
    // none can be started, the shipped manual opens in a window of its own,
    // and any other address is shown in a message box.
    virtual void OpenUrl(const QUrl& url) = 0;
    // Ends the process with the exit code.
    virtual void EndProcess(int exitCode) = 0;
};

// The real ones: Qt's message boxes and dialogs, the desktop's browser, and
// the end of the application's event loop.
class CQtDesktopServices : public CDesktopServices {
  public:
    // settings, when given, fills the open dialog with the folders confirmed
    // last time and keeps those confirmed now; it outlives this object.
    explicit CQtDesktopServices(CAppSettings* settings = nullptr) : settings_(settings) {}

    void ShowMessage(QWidget* owner, const QString& text) override;
    bool AskYesNo(QWidget* owner, const QString& text, MessageIcon icon) override;
    std::optional<std::filesystem::path> ChooseFileToOpen(QWidget* owner) override;
    std::optional<std::filesystem::path> ChooseFileToSave(QWidget* owner,
                                                          const QString& suggestedName) override;
    bool RunOpenDialog(QWidget* owner, CAppState& app) override;
    void RunAboutBox(QWidget* owner, const CAppLinks& links) override;
    void OpenUrl(const QUrl& url) override;
    void EndProcess(int exitCode) override;

  private:
    CAppSettings* settings_ = nullptr;
};

}  // namespace brix
