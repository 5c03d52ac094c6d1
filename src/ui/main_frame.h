#pragma once

#include <QMainWindow>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "catalogue/frame_state.h"
#include "ui/app_settings.h"

class QAction;

namespace brix {

class CAppState;
class CBrixStatic;
class CBrixTallowView;
class CDesktopServices;
class CFileView;
class CMainFrameUi;
class CMyCaptionBar;
class COutputWnd;
class CRecordBrowser;
class CRibbonBar;
class CRibbonStatusBarCls;
class CScanner;
class CXHtmlTree;

// Texts of the main window.
inline constexpr char kWindowTitle[] = "Karvo MySQL Database Repair v22.0";
inline constexpr char kCategoryName[] = "MySQL Database Recovery";
inline constexpr char kSelectDatabaseCaption[] =
    "Select MySQL database file to continue the recovery process.";
inline constexpr char kSelectDatabaseLogLine[] =
    "select database file to continue the recovery process.";
inline constexpr char kStopForHelpOrAbout[] =
    "Please stop the running process to continue the process.";
inline constexpr char kStopBeforeClosing[] =
    "Please stop the running process to close the application.";
inline constexpr char kNothingChecked[] = "Please select folder to save the database";
inline constexpr char kAskClose[] = "Do you want to close the application?";
inline constexpr char kLogFilePathPrefix[] = "Log file path : ";

struct CMainFrameOptions {
    bool showSplash = true;  // the splash screen while the window is made
};

// The program's main window: the command bar with its five commands, the
// caption bar, the status bar with the busy indicator, the object tree pane
// on the left, the log pane "Output" on the right and the record panel in the
// centre. It owns the catalogue and the table context (CFrameState), runs
// scans on a worker thread through CScanner and the table selection and
// paging through CRecordBrowser, whose reading runs on a worker thread of its
// own, and decides whether a command may run: while
// a scan, a selection or a paging command runs, every command but Stop is
// refused with a message.
class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    // The save run, given the window once at least one tree item is checked.
    using SaveRun = std::function<void(CMainFrame&)>;

    CMainFrame(CAppState& app, const CAppLinks& links, std::unique_ptr<CDesktopServices> desktop,
               const CMainFrameOptions& options = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // --- Commands ---
    // Open: the open dialog, then a scan of the chosen data folder.
    void OnOpen();
    // Stop: while something runs, asks whether to stop it.
    void OnStop();
    // Save MySQL Data: refused while busy or when nothing is checked;
    // otherwise hands over to the save run (SetSaveRun).
    void OnSave();
    // Recover Table: asks for a table's definition file (.frm, or a MySQL
    // 8.0+ .ibd holding it), then for a data file no table owns any more (a
    // dropped table's .ibd or .MYD, or an ibdata1), and shows the rows read
    // from it in the grid. Refused while busy; nothing when either dialog
    // is cancelled.
    void OnRecover();
    // Help: the online help page, or the manual shipped with the program.
    void OnHelp();
    // About: the About box.
    void OnAbout();

    // Starts a scan of folder as if it had been chosen in the open dialog with
    // the dialog's default temporary folder and logFolder (the dialog's
    // default when empty). Refused while busy.
    bool OpenDataFolder(const QString& folder, const QString& logFolder = {});

    // The tree node at path: node texts from the database down, joined by
    // "/" (shop/Tables/orders/Keys), each the file's name or the name shown;
    // kNoTreeItem when there is none.
    TreeItem FindNode(const QString& path) const;
    // Selects the node and shows it, as a click on its label does.
    void SelectNode(TreeItem item);

    // Where Save hands over the checked objects. Until a save run is set,
    // Save does its checks and nothing more.
    void SetSaveRun(SaveRun run) { saveRun_ = std::move(run); }

    // Waits until the worker of the last scan has made its last call, running
    // its calls meanwhile.
    void WaitForScan();
    // The same for the worker of the last table selection or paging command.
    void WaitForRead();
    // True from the start of a selection's or a paging command's work on its
    // worker until that worker has made its last call.
    bool Reading() const { return reading_; }
    // The help page Help opens.
    QUrl HelpUrl() const;

    CAppState& app() const { return app_; }
    const CAppLinks& links() const { return links_; }
    CFrameState& frameState() { return frameState_; }
    CMainFrameUi& ui() const { return *ui_; }
    CScanner& scanner() const { return *scanner_; }
    CRecordBrowser& browser() const { return *browser_; }
    CRibbonBar* ribbon() const { return ribbon_; }
    CMyCaptionBar* captionBar() const { return captionBar_; }
    CRibbonStatusBarCls* statusBarCls() const { return statusBar_; }
    CFileView* fileView() const { return fileView_; }
    CXHtmlTree* tree() const;
    COutputWnd* outputWnd() const { return output_; }
    CBrixStatic* recordPanel() const;
    QAction* openAction() const { return open_; }
    QAction* stopAction() const { return stop_; }
    QAction* saveAction() const { return save_; }
    QAction* recoverAction() const { return recover_; }
    QAction* helpAction() const { return help_; }
    QAction* aboutAction() const { return about_; }

  protected:
    // Close: refused while busy; asks; closes the storage files and the log
    // file, tells where the log file is, opens the product page when one is
    // set, and ends the process with exit code -1.
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildRibbon();
    void OnTreeLabelClicked(TreeItem item);
    void OnPreviousRecords();
    void OnNextRecords();
    void UpdateCommandUi();
    bool Busy() const;
    void StartScan();
    void StartRead(std::function<void()> work);
    void Tell(const char* text);

    CAppState& app_;
    CAppLinks links_;
    std::unique_ptr<CDesktopServices> desktop_;

    CRibbonBar* ribbon_ = nullptr;
    CMyCaptionBar* captionBar_ = nullptr;
    CRibbonStatusBarCls* statusBar_ = nullptr;
    CFileView* fileView_ = nullptr;
    COutputWnd* output_ = nullptr;
    CBrixTallowView* view_ = nullptr;
    QAction* open_ = nullptr;
    QAction* stop_ = nullptr;
    QAction* save_ = nullptr;
    QAction* recover_ = nullptr;
    QAction* help_ = nullptr;
    QAction* about_ = nullptr;

    CFrameState frameState_;
    std::unique_ptr<CMainFrameUi> ui_;
    std::unique_ptr<CScanner> scanner_;
    std::unique_ptr<CRecordBrowser> browser_;
    SaveRun saveRun_;
    QTimer commandUiTimer_;
    bool ending_ = false;
    // Reads a table's windows, one command at a time, so that the window
    // stays responsive while a big or slow table is read.
    std::thread reader_;
    std::atomic<bool> reading_{false};
};

// The manual shipped with the program: help/brixtallow.html beside the
// program or under share/brixtallow/ next to its folder; failing both, a copy
// of the one built into the program, written to the temporary folder.
QString ShippedHelpFile();

}  // namespace brix
