#include "ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "browse/record_browser.h"
#include "browse/table_rows.h"
#include "catalogue/scan_worker.h"
#include "ui/bars.h"
#include "ui/desktop_services.h"
#include "ui/file_setting_dlg.h"
#include "ui/icons.h"
#include "ui/main_frame_ui.h"
#include "ui/panes.h"
#include "ui/qt_text.h"
#include "ui/record_panel.h"
#include "ui/splash_screen.h"
#include "ui/xhtml_tree.h"

namespace brix {

namespace {

constexpr char kHelpFileName[] = "brixtallow.html";
// Wide enough for the names of tables at their depth in the tree.
constexpr int kTreePaneWidth = 250;
constexpr int kOutputPaneWidth = 340;
// How often the Stop button looks at whether something runs.
constexpr int kCommandUiIntervalMs = 150;

QAction* MakeCommand(QObject* parent, const char* caption, const char* tip, const char* icon) {
    auto* action =
        new QAction(LoadIcon(QString::fromLatin1(icon)), QString::fromLatin1(caption), parent);
    action->setToolTip(QString::fromLatin1(tip));
    action->setStatusTip(QString::fromLatin1(tip));
    return action;
}

}  // namespace

QString ShippedHelpFile() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const QString& candidate :
         {programDir.filePath(QStringLiteral("help/") + QLatin1String(kHelpFileName)),
          programDir.filePath(QStringLiteral("../share/brixtallow/help/") +
                              QLatin1String(kHelpFileName))}) {
        if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).absoluteFilePath();
    }
    const QString copy = QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
                             .filePath(QStringLiteral("brixtallow-help.html"));
    QFile::remove(copy);
    QFile::copy(QStringLiteral(":/brixtallow/help/") + QLatin1String(kHelpFileName), copy);
    QFile::setPermissions(
        copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return copy;
}

CMainFrame::CMainFrame(CAppState& app, const CAppLinks& links,
                       std::unique_ptr<CDesktopServices> desktop, const CMainFrameOptions& options,
                       QWidget* parent)
    : QMainWindow(parent), app_(app), links_(links), desktop_(std::move(desktop)) {
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setWindowIcon(LoadIcon(QStringLiteral("app")));
    setContextMenuPolicy(Qt::PreventContextMenu);
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    if (options.showSplash) ShowStartSplash(this);

    // The command bar with the caption bar under it, above the panes.
    auto* top = new QWidget(this);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    ribbon_ =
        new CRibbonBar(QString::fromLatin1(kCategoryName), LoadIcon(QStringLiteral("app")), top);
    BuildRibbon();
    topLayout->addWidget(ribbon_);
    captionBar_ = new CMyCaptionBar(top);
    topLayout->addWidget(captionBar_);
    setMenuWidget(top);

    statusBar_ = new CRibbonStatusBarCls(this);
    statusBar_->SetLink(links_.StatusLink());
    connect(statusBar_, &CRibbonStatusBarCls::linkActivated, this,
            [this](const QString& address) { desktop_->OpenUrl(QUrl(address)); });
    setStatusBar(statusBar_);

    view_ = new CBrixTallowView(this);
    setCentralWidget(view_);
    fileView_ = new CFileView(this);
    output_ = new COutputWnd(this);
    for (QDockWidget* pane :
         {static_cast<QDockWidget*>(fileView_), static_cast<QDockWidget*>(output_)})
        pane->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::LeftDockWidgetArea, fileView_);
    addDockWidget(Qt::RightDockWidgetArea, output_);
    resizeDocks({fileView_, output_}, {kTreePaneWidth, kOutputPaneWidth}, Qt::Horizontal);
    // Tab moves through the window from left to right: the tree's filter box
    // and the tree, the rows and their paging buttons, the log.
    CBrixStatic* panel = view_->recordPanel();
    const QList<QWidget*> tabOrder = {
        fileView_->filterBox(),  fileView_->tree(),   panel->grid(),  panel->textBox(),
        panel->previousButton(), panel->nextButton(), output_->list()};
    for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    CMainFrameParts parts;
    parts.owner = this;
    parts.captionBar = captionBar_;
    parts.statusBar = statusBar_;
    parts.tree = fileView_->tree();
    parts.output = output_;
    parts.recordPanel = view_->recordPanel();
    parts.desktop = desktop_.get();
    view_->recordPanel()->SetDesktop(desktop_.get());
    ui_ = std::make_unique<CMainFrameUi>(app_, parts);
    scanner_ = std::make_unique<CScanner>(app_, *ui_, frameState_);
    browser_ = std::make_unique<CRecordBrowser>(app_, *ui_, frameState_);
    browser_->SetRunner([this](std::function<void()> work) { StartRead(std::move(work)); });

    // A label click is handled once the click itself is over, so that a
    // message box it may raise does not stand in the middle of it.
    connect(tree(), &CXHtmlTree::labelClicked, this, &CMainFrame::OnTreeLabelClicked,
            Qt::QueuedConnection);
    connect(recordPanel(), &CBrixStatic::previousRecordsClicked, this,
            &CMainFrame::OnPreviousRecords);
    connect(recordPanel(), &CBrixStatic::nextRecordsClicked, this, &CMainFrame::OnNextRecords);

    ui_->ShowCaptionMessage(ToU16(QString::fromLatin1(kSelectDatabaseCaption)));
    statusBar_->ShowProgress(false);
    ui_->ResetLogList();
    ui_->AppendLogListLine(ToU16(QString::fromLatin1(kSelectDatabaseLogLine)));
    app_.logFile.Close();

    connect(&commandUiTimer_, &QTimer::timeout, this, &CMainFrame::UpdateCommandUi);
    commandUiTimer_.start(kCommandUiIntervalMs);
    UpdateCommandUi();
}

CMainFrame::~CMainFrame() {
    commandUiTimer_.stop();
    WaitForRead();
    WaitForScan();
}

CXHtmlTree* CMainFrame::tree() const {
    return fileView_->tree();
}

CBrixStatic* CMainFrame::recordPanel() const {
    return view_->recordPanel();
}

void CMainFrame::BuildRibbon() {
    open_ = MakeCommand(this, "Open", "Open Database file", "open");
    stop_ = MakeCommand(this, "Stop", "Stop running process", "stop");
    save_ = MakeCommand(this, "Save MySQL Data", "Save recovered data", "save");
    recover_ =
        MakeCommand(this, "Recover Table",
                    "Read the rows of a dropped table's data file by a table definition", "table");
    help_ = MakeCommand(this, "Help", "Help for Karvo MySQL Database Repair", "help");
    about_ = MakeCommand(this, "About", "About Karvo MySQL Database Repair", "about");
    CRibbonPanel* commands = ribbon_->AddPanel(QString());
    commands->AddCommand(open_);
    commands->AddCommand(stop_);
    commands->AddCommand(save_);
    commands->AddCommand(recover_);
    CRibbonPanel* aboutPanel = ribbon_->AddPanel(QStringLiteral("About"));
    aboutPanel->AddCommand(help_);
    aboutPanel->AddCommand(about_);
    connect(open_, &QAction::triggered, this, &CMainFrame::OnOpen);
    connect(stop_, &QAction::triggered, this, &CMainFrame::OnStop);
    connect(save_, &QAction::triggered, this, &CMainFrame::OnSave);
    connect(recover_, &QAction::triggered, this, &CMainFrame::OnRecover);
    connect(help_, &QAction::triggered, this, &CMainFrame::OnHelp);
    connect(about_, &QAction::triggered, this, &CMainFrame::OnAbout);
}

bool CMainFrame::Busy() const {
    return app_.busy != 0;
}

void CMainFrame::Tell(const char* text) {
    desktop_->ShowMessage(this, QString::fromUtf8(text));
}

void CMainFrame::UpdateCommandUi() {
    // A table read is not stopped: it ends with its window.
    stop_->setEnabled(Busy() && !reading_);
}

void CMainFrame::WaitForScan() {
    while (scanner_ && scanner_->Running()) {
        ui_->RunQueuedCalls();
        QThread::msleep(2);
    }
    if (scanner_) scanner_->Wait();
    if (ui_) ui_->RunQueuedCalls();
    if (stop_) UpdateCommandUi();
}

void CMainFrame::WaitForRead() {
    // The worker may wait for an answer of this thread (a message box).
    while (reading_) {
        if (ui_) ui_->RunQueuedCalls();
        QThread::msleep(2);
    }
    if (reader_.joinable()) reader_.join();
    if (ui_) ui_->RunQueuedCalls();
    if (stop_) UpdateCommandUi();
}

void CMainFrame::StartRead(std::function<void()> work) {
    // The last worker has released busy and makes no more calls that wait.
    WaitForRead();
    reading_ = true;
    reader_ = std::thread([this, work = std::move(work)] {
        try {
            work();
        } catch (...) {
            // Out of memory or a failure of the platform: the read ends
            // where it is (its hold on busy is gone with it), and the program
            // stays usable.
            ui_->ShowProgress(false);
            ui_->UnlockTree();
        }
        // What the work left in the grid is shown once this thread's calls
        // have run.
        ui_->RedrawGrid();
        reading_ = false;
    });
    UpdateCommandUi();
}

void CMainFrame::OnOpen() {
    if (Busy()) {
        Tell("Please wait for the running process.");
        return;
    }
    if (!desktop_->RunOpenDialog(this, app_)) return;
    StartScan();
}

bool CMainFrame::OpenDataFolder(const QString& folder, const QString& logFolder) {
    if (Busy()) return false;
    app_.databasePath = ToU16(WithTrailingSeparator(folder));
    app_.tempPath = ToU16(WithTrailingSeparator(QDir::toNativeSeparators(QDir::tempPath())));
    app_.logFolder =
        ToU16(WithTrailingSeparator(logFolder.isEmpty() ? DefaultLogFolder() : logFolder));
    StartScan();
    return true;
}

void CMainFrame::StartScan() {
    // The last worker clears busy before its closing message and may still
    // have calls to make; they must all have run before the tree is cleared.
    WaitForScan();
    ui_->ClearPanelLabel();
    scanner_->StartScan(true);
    UpdateCommandUi();
}

void CMainFrame::OnStop() {
    if (reading_) return;
    scanner_->StopCommand();
    UpdateCommandUi();
}

void CMainFrame::OnSave() {
    if (Busy()) {
        Tell("Please wait for the running process.");
        return;
    }
    if (tree()->GetCheckedCount() == 0) {
        Tell(kNothingChecked);
        return;
    }
    // The save run takes over from here: the destination dialog, then every
    // checked object written out.
    if (saveRun_) saveRun_(*this);
}

void CMainFrame::OnRecover() {
    if (Busy()) {
        Tell("Please wait for the running process.");
        return;
    }
    // The caption says what each of the two file dialogs asks for.
    captionBar_->SetText(
        QStringLiteral("Recover Table: choose the table's definition file "
                       "(.frm, or a MySQL 8.0 .ibd)"));
    const std::optional<std::filesystem::path> definition = desktop_->ChooseFileToOpen(this);
    if (!definition) return;
    captionBar_->SetText(
        QStringLiteral("Recover Table: choose the data file to read "
                       "(the dropped table's .ibd or .MYD, or ibdata1)"));
    const std::optional<std::filesystem::path> dataFile = desktop_->ChooseFileToOpen(this);
    if (!dataFile) return;
    browser_->ShowRecoveredRows(*definition, *dataFile);
}

QUrl CMainFrame::HelpUrl() const {
    if (!links_.helpPage.isEmpty()) return QUrl::fromUserInput(links_.helpPage);
    return QUrl::fromLocalFile(ShippedHelpFile());
}

void CMainFrame::OnHelp() {
    if (Busy()) {
        Tell(kStopForHelpOrAbout);
        return;
    }
    desktop_->OpenUrl(HelpUrl());
}

void CMainFrame::OnAbout() {
    if (Busy()) {
        Tell(kStopForHelpOrAbout);
        return;
    }
    desktop_->RunAboutBox(this, links_);
}

TreeItem CMainFrame::FindNode(const QString& path) const {
    const CXHtmlTreeModel& model = tree()->model();
    const std::vector<TreeItem> roots = model.Children(kNoTreeItem);
    if (roots.empty()) return kNoTreeItem;
    const std::vector<TreeItem> dataPaths = model.Children(roots.front());
    if (dataPaths.empty()) return kNoTreeItem;
    TreeItem item = dataPaths.front();
    for (const QString& text : path.split(QLatin1Char('/'))) {
        TreeItem found = kNoTreeItem;
        for (TreeItem child : model.Children(item)) {
            if (model.GetItemText(child) == text || model.GetItemName(child) == text) {
                found = child;
                break;
            }
        }
        if (found == kNoTreeItem) return kNoTreeItem;
        item = found;
    }
    return item;
}

void CMainFrame::SelectNode(TreeItem item) {
    tree()->SelectItem(item);
    OnTreeLabelClicked(item);
}

void CMainFrame::OnTreeLabelClicked(TreeItem item) {
    browser_->OnTreeSelection(item);
    ui_->PublishGrid();
    UpdateCommandUi();
}

void CMainFrame::OnPreviousRecords() {
    browser_->ShowPreviousRecords();
    ui_->PublishGrid();
}

void CMainFrame::OnNextRecords() {
    browser_->ShowNextRecords();
    ui_->PublishGrid();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (ending_) {
        event->accept();
        return;
    }
    event->ignore();
    if (Busy()) {
        Tell(kStopBeforeClosing);
        return;
    }
    if (!desktop_->AskYesNo(this, QString::fromLatin1(kAskClose), MessageIcon::kQuestion)) return;
    // Nothing runs: the last workers may only be finishing their calls.
    WaitForRead();
    WaitForScan();
    frameState_.dictionary.Close();
    frameState_.openTable.reset();
    const QString logPath = ToQString(app_.logFilePath);
    if (!logPath.isEmpty() && QFileInfo::exists(logPath))
        Tell((QString::fromLatin1(kLogFilePathPrefix) + logPath).toUtf8().constData());
    app_.logFile.Close();
    if (!links_.productPage.isEmpty()) desktop_->OpenUrl(QUrl::fromUserInput(links_.productPage));
    ending_ = true;
    event->accept();
    desktop_->EndProcess(-1);
}

}  // namespace brix
