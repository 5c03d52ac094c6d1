// The main window on the offscreen platform: its commands and their refusals
// while busy, a scan on the worker thread filling the tree and the log pane,
// a click on a table's label filling the grid, paging through a table of
// 2500 rows, NULLs drawn apart and the tree filter on a real data folder,
// and a checked database saved as a script through the Save dialog.

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>

#include "app/app_state.h"
#include "browse/record_browser.h"
#include "catalogue/scan_worker.h"
#include "save/save_dialog_model.h"
#include "save/save_objects.h"
#include "save/save_worker.h"
#include "scripted_desktop.h"
#include "ui/bars.h"
#include "ui/brix_tallow_app.h"
#include "ui/grid_model.h"
#include "ui/main_frame.h"
#include "ui/main_frame_ui.h"
#include "ui/panes.h"
#include "ui/record_panel.h"
#include "ui/save_dialog_window.h"
#include "ui/value_viewer_dlg.h"
#include "ui/xhtml_tree.h"

using namespace brix;

namespace {

const QString kWait = QStringLiteral("Please wait for the running process.");
const QString kCompleted = QStringLiteral("Scanning completed for selected database file(s)");
const QString kNoMore = QStringLiteral("No more records in table");

QString SourcePath(const char* relative) {
    return QDir(QStringLiteral(BRIX_SOURCE_DIR)).filePath(QString::fromLatin1(relative));
}

// The rows the server itself returned for a table, as tab-separated lines
// (header first).
QStringList ServerRows(const char* database, const char* table) {
    QFile file(SourcePath("tests/fixtures/expected/") + QString::fromLatin1(database) +
               QLatin1Char('/') + QString::fromLatin1(table) + QStringLiteral(".select.tsv"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList GridRow(const CGridModel& model, int row) {
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c) cells << model.index(row, c).data().toString();
    return cells;
}

QStringList GridTitles(const CGridModel& model) {
    QStringList titles;
    for (int c = 0; c < model.columnCount(); ++c)
        titles << model.headerData(c, Qt::Horizontal).toString();
    return titles;
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

  private:
    // A window with the scripted desktop, whose open dialog chooses dataDir
    // with the log going to logs_.
    void MakeFrame(const QString& dataDir = {}) {
        frame_.reset();
        app_ = std::make_unique<CAppState>(kDefaultAnsiCodePage,
                                           SourcePath("data/collation (2)").toStdString());
        auto desktop = std::make_unique<test::CScriptedDesktop>();
        desktop_ = desktop.get();
        const QString logs = logs_->path();
        desktop_->openDialog = [dataDir, logs](CAppState& app) {
            if (dataDir.isEmpty()) return false;
            app.databasePath = (dataDir + QLatin1Char('/')).toStdU16String();
            app.tempPath = (QDir::tempPath() + QLatin1Char('/')).toStdU16String();
            app.logFolder = (logs + QLatin1Char('/')).toStdU16String();
            return true;
        };
        CMainFrameOptions options;
        options.showSplash = false;
        frame_ = std::make_unique<CMainFrame>(*app_, links_, std::move(desktop), options);
        treeTester_ = std::make_unique<QAbstractItemModelTester>(
            &frame_->tree()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        gridTester_ = std::make_unique<QAbstractItemModelTester>(
            &frame_->recordPanel()->gridModel(),
            QAbstractItemModelTester::FailureReportingMode::QtTest);
        frame_->resize(1200, 800);
        frame_->show();
    }

    // Open, and wait until the scan has made its last call.
    bool Scan() {
        frame_->OnOpen();
        if (!QTest::qWaitFor([this] { return !frame_->scanner().Running(); }, 30000)) return false;
        // The worker's last calls may still wait for the event loop.
        frame_->WaitForScan();
        return true;
    }

    // Clicks the label of the node at path.
    void ClickLabel(const QString& path) {
        const TreeItem item = frame_->FindNode(path);
        QVERIFY2(item != kNoTreeItem, qPrintable(path));
        CXHtmlTree* tree = frame_->tree();
        tree->SelectItem(item);  // brings it into sight
        const QRect label = tree->LabelRect(item);
        QVERIFY(!label.isEmpty());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, label.center());
        // The click is handled once the event loop runs again, and read on
        // the reading worker.
        QCoreApplication::processEvents();
        frame_->WaitForRead();
        QTRY_VERIFY(app_->busy == 0 && frame_->statusBarCls()->progress()->isHidden());
        QCoreApplication::processEvents();
    }

    void ClickButton(QToolButton* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::processEvents();
        frame_->WaitForRead();
    }

    QString Caption() const { return frame_->captionBar()->text(); }

    // Save MySQL Data as a script into folder, the dialog answered as a user
    // would; the run's result.
    CSaveResult SaveCheckedAsScript(const QString& folder, bool deletedRows = false) {
        CSaveDialogModel model(*app_, [](std::u16string_view) {});
        CSaver saver(*app_, frame_->ui(), frame_->frameState());
        frame_->SetSaveRun(
            [&model, &saver](CMainFrame& frame) { RunSaveCommand(frame, model, saver); });
        std::function<void()> answer = [&] {
            auto* dialog = qobject_cast<savedlgoption*>(QApplication::activeModalWidget());
            if (!dialog) {
                QTimer::singleShot(10, answer);
                return;
            }
            dialog->scriptRadio()->click();
            dialog->browseFolder = [folder](const QString&) { return folder; };
            dialog->browseButton()->click();
            if (deletedRows) dialog->deletedRowsCheck()->setChecked(true);
            dialog->okButton()->click();
        };
        QTimer::singleShot(0, answer);
        frame_->OnSave();
        if (!QTest::qWaitFor([this] { return app_->busy == 0; }, 60000))
            qWarning("the save did not end");
        saver.Wait();
        QCoreApplication::processEvents();
        frame_->SetSaveRun({});
        return saver.lastResult();
    }

    std::unique_ptr<QTemporaryDir> logs_;
    CAppLinks links_;
    std::unique_ptr<CAppState> app_;
    test::CScriptedDesktop* desktop_ = nullptr;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<QAbstractItemModelTester> treeTester_;
    std::unique_ptr<QAbstractItemModelTester> gridTester_;

  private Q_SLOTS:
    void init() {
        logs_ = std::make_unique<QTemporaryDir>();
        links_ = {};
    }
    void cleanup() {
        treeTester_.reset();
        gridTester_.reset();
        frame_.reset();
    }

    void ShowsTheCommandsPanesAndStartingTexts();
    void SaveTakesEachCheckedObjectOnce();
    void EveryCommandIsRefusedWhileBusy();
    void StopAsksOnlyWhileSomethingRuns();
    void CancelledOpenChangesNothing();
    void ScanFillsTheTreeAndTheLogPane();
    void ScanWithoutSystemTablespaceAsksFromTheWorker();
    void TableLabelClickShowsTheFirstWindow();
    void PagesThroughATableOf2500Rows();
    void StatusBarSaysWhichRowsOfHowMany();
    void TheWindowStaysResponsiveWhileATableIsRead();
    void ViewAndKeysNodesShowTheirText();
    void ShortTableShowsNullsApartAndNoNextWindow();
    void FilterBoxFindsTablesInTheScannedTree();
    void SaveChecksThatSomethingIsChecked();
    void SaveAsScriptWritesTheCheckedDatabase();
    void HelpOpensTheShippedManualOrTheSetAddress();
    void CloseAsksClosesTheFilesAndEndsWithMinusOne();
    void AMissingDataFileIsMarkedInTheTreeAndLoggedAsDamage();
    void DeletedRowsNodeShowsTheRecoveredRowsInTheGrid();
    void DeletedRowsOfAServersDeleteAreShownAndSavedApart();
    void TreeShowsNamesAsTheServerDoesAndWorksOnTheFiles();
    void RecoverTableShowsTheRowsOfADroppedTablesFile();
};

void MainFrameTest::ShowsTheCommandsPanesAndStartingTexts() {
    MakeFrame();
    QCOMPARE(frame_->windowTitle(), QStringLiteral("Karvo MySQL Database Repair v22.0"));
    QCOMPARE(frame_->ribbon()->category(), QStringLiteral("MySQL Database Recovery"));
    QCOMPARE(frame_->ribbon()->panels().size(), size_t{2});
    QCOMPARE(frame_->ribbon()->panels()[0]->title(), QString());
    QCOMPARE(frame_->ribbon()->panels()[1]->title(), QStringLiteral("About"));
    const std::vector<std::pair<QAction*, const char*>> commands = {
        {frame_->openAction(), "Open|Open Database file"},
        {frame_->stopAction(), "Stop|Stop running process"},
        {frame_->saveAction(), "Save MySQL Data|Save recovered data"},
        {frame_->recoverAction(),
         "Recover Table|Read the rows of a dropped table's data file by a table definition"},
        {frame_->helpAction(), "Help|Help for Karvo MySQL Database Repair"},
        {frame_->aboutAction(), "About|About Karvo MySQL Database Repair"},
    };
    for (const auto& [action, texts] : commands) {
        QCOMPARE(action->text() + QLatin1Char('|') + action->toolTip(), QString::fromLatin1(texts));
        QVERIFY(!action->icon().isNull());
    }
    QCOMPARE(frame_->fileView()->windowTitle(), QStringLiteral("MySQL Database Objects"));
    QCOMPARE(frame_->outputWnd()->windowTitle(), QStringLiteral("Output"));
    QCOMPARE(frame_->dockWidgetArea(frame_->fileView()), Qt::LeftDockWidgetArea);
    QCOMPARE(frame_->dockWidgetArea(frame_->outputWnd()), Qt::RightDockWidgetArea);

    QCOMPARE(Caption(),
             QStringLiteral("Select MySQL database file to continue the recovery process."));
    QCOMPARE(frame_->outputWnd()->Rows(),
             QStringList{QStringLiteral("select database file to continue the recovery process.")});
    QCOMPARE(app_->logLineCount, 1);
    QVERIFY(!frame_->stopAction()->isEnabled());
    QVERIFY(frame_->statusBarCls()->progress()->isHidden());
    QVERIFY(frame_->statusBarCls()->link()->isHidden());

    CBrixStatic* panel = frame_->recordPanel();
    QVERIFY(panel->textBox()->isVisible());
    QVERIFY(panel->textBox()->toPlainText().isEmpty());
    QVERIFY(panel->grid()->isHidden());
    QVERIFY(panel->previousButton()->isHidden());
    QVERIFY(panel->nextButton()->isHidden());
    QCOMPARE(panel->previousButton()->toolTip(), QStringLiteral("Previous Records"));
    QCOMPARE(panel->nextButton()->toolTip(), QStringLiteral("Next Records"));

    // Tab goes through the window from left to right, over what is shown.
    frame_->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame_.get()));
    frame_->activateWindow();
    frame_->fileView()->filterBox()->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), frame_->fileView()->filterBox());
    const QList<QWidget*> chain = {frame_->fileView()->tree(), panel->textBox(),
                                   frame_->outputWnd()->list()};
    for (QWidget* next : chain) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }

    // With a product page set, the status bar links to it.
    links_.productPage = QStringLiteral("https://product.example/");
    MakeFrame();
    QVERIFY(!frame_->statusBarCls()->link()->isHidden());
    QVERIFY(frame_->statusBarCls()->link()->text().contains(links_.productPage));
}

void MainFrameTest::SaveTakesEachCheckedObjectOnce() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    CXHtmlTreeModel& tree = frame_->tree()->model();
    QVERIFY(CheckedSaveObjects(*frame_).empty());

    // A view alone.
    tree.SetCheck(frame_->FindNode(QStringLiteral("shop/Views/v_order_totals")), true);
    std::vector<CSaveObject> objects = CheckedSaveObjects(*frame_);
    QCOMPARE(objects.size(), size_t{1});
    QCOMPARE(objects[0].kind, SaveObjectKind::kView);
    QCOMPARE(QString::fromStdU16String(objects[0].Name()), QStringLiteral("v_order_totals"));

    tree.SetCheck(frame_->FindNode(QStringLiteral("shop")), true);
    objects = CheckedSaveObjects(*frame_);
    QStringList names;
    for (const CSaveObject& object : objects) {
        QCOMPARE(QString::fromStdU16String(object.DatabaseName()), QStringLiteral("shop"));
        if (object.kind == SaveObjectKind::kTable)
            names << QString::fromStdU16String(object.Name());
    }
    names.sort();
    QCOMPARE(names.count(QStringLiteral("customers")), 1);
    QCOMPARE(names.count(QStringLiteral("orders")), 1);
    QCOMPARE(names.count(QStringLiteral("order_audit")), 1);
    QCOMPARE(names.count(QStringLiteral("products")), 1);
    QCOMPARE(names.size(), 4);
    QCOMPARE(std::count_if(
                 objects.begin(), objects.end(),
                 [](const CSaveObject& object) { return object.kind == SaveObjectKind::kView; }),
             1);
    QVERIFY(std::any_of(objects.begin(), objects.end(), [](const CSaveObject& object) {
        return object.kind == SaveObjectKind::kTrigger;
    }));
    // Nothing of another database.
    QVERIFY(std::none_of(objects.begin(), objects.end(), [](const CSaveObject& object) {
        return object.DatabaseName() != u"shop";
    }));
}

void MainFrameTest::EveryCommandIsRefusedWhileBusy() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    const TreeItem table = frame_->FindNode(QStringLiteral("shop/Tables/customers"));
    const TreeItem other = frame_->FindNode(QStringLiteral("shop/Tables/orders"));
    ClickLabel(QStringLiteral("shop/Tables/customers"));
    desktop_->messages.clear();
    const int openDialogs = desktop_->openDialogs;
    const int rowsBefore = frame_->recordPanel()->gridModel().rowCount();
    const int logLines = app_->logLineCount;

    CBusyGuard running(app_->busy);
    frame_->OnOpen();
    frame_->OnSave();
    frame_->OnHelp();
    frame_->OnAbout();
    QVERIFY(!frame_->close());
    QCOMPARE(
        desktop_->messages,
        (QStringList{kWait, kWait,
                     QStringLiteral("Please stop the running process to continue the process."),
                     QStringLiteral("Please stop the running process to continue the process."),
                     QStringLiteral("Please stop the running process to close the application.")}));
    QCOMPARE(desktop_->openDialogs, openDialogs);
    QCOMPARE(desktop_->aboutBoxes, 0);
    QVERIFY(desktop_->urls.empty());
    QVERIFY(desktop_->questions.isEmpty());
    QVERIFY(desktop_->exitCodes.empty());

    // A click on another table: refused, and the selection goes back.
    desktop_->messages.clear();
    frame_->tree()->SelectItem(other);
    const QRect label = frame_->tree()->LabelRect(other);
    QTest::mouseClick(frame_->tree()->viewport(), Qt::LeftButton, {}, label.center());
    QTRY_COMPARE(desktop_->messages, QStringList{kWait});
    QCoreApplication::processEvents();
    QCOMPARE(frame_->tree()->GetSelectedItem(), table);
    // The paging buttons too.
    frame_->recordPanel()->nextButton()->setEnabled(true);
    frame_->recordPanel()->previousButton()->setEnabled(true);
    ClickButton(frame_->recordPanel()->nextButton());
    ClickButton(frame_->recordPanel()->previousButton());
    QCOMPARE(desktop_->messages, (QStringList{kWait, kWait, kWait}));
    QCOMPARE(frame_->recordPanel()->gridModel().rowCount(), rowsBefore);
    QCOMPARE(Caption(), QStringLiteral("customers[%1]").arg(rowsBefore));
    QCOMPARE(app_->logLineCount, logLines);
    running.Release();
}

void MainFrameTest::StopAsksOnlyWhileSomethingRuns() {
    MakeFrame();
    // Stop when nothing runs: disabled, and nothing happens if reached.
    QVERIFY(!frame_->stopAction()->isEnabled());
    frame_->OnStop();
    QVERIFY(desktop_->questions.isEmpty());

    CBusyGuard running(app_->busy);
    QTRY_VERIFY(frame_->stopAction()->isEnabled());
    desktop_->answers = {false, true};
    frame_->OnStop();
    QVERIFY(!frame_->frameState().stopRequested);
    frame_->OnStop();
    QVERIFY(frame_->frameState().stopRequested);
    QCOMPARE(desktop_->questions,
             QStringList(2, QStringLiteral("Are you sure to stop the running process?")));
    QCOMPARE(desktop_->questionIcons[0], MessageIcon::kInformation);
    running.Release();
    QTRY_VERIFY(!frame_->stopAction()->isEnabled());
}

void MainFrameTest::CancelledOpenChangesNothing() {
    MakeFrame();
    frame_->OnOpen();
    QCOMPARE(desktop_->openDialogs, 1);
    QCOMPARE(app_->busy.load(), 0);
    QVERIFY(!frame_->scanner().Running());
    QVERIFY(QDir(logs_->path()).isEmpty());
    QVERIFY(app_->logFilePath.empty());
    QCOMPARE(Caption(),
             QStringLiteral("Select MySQL database file to continue the recovery process."));
    QCOMPARE(frame_->outputWnd()->Rows().size(), 1);
}

void MainFrameTest::ScanFillsTheTreeAndTheLogPane() {
    const QString dataDir = SourcePath("tests/fixtures/datadir");
    MakeFrame(dataDir);
    QVERIFY(Scan());
    QCOMPARE(app_->busy.load(), 0);
    QVERIFY(desktop_->questions.isEmpty());  // the data folder has ibdata1
    QCOMPARE(desktop_->messages, QStringList{kCompleted});
    QCOMPARE(Caption(), QStringLiteral("Scanning completed for selected database file(s)."));
    QVERIFY(frame_->statusBarCls()->progress()->isHidden());
    QVERIFY(!frame_->stopAction()->isEnabled());

    const CXHtmlTreeModel& model = frame_->tree()->model();
    const std::vector<TreeItem> roots = model.Children(kNoTreeItem);
    QCOMPARE(roots.size(), size_t{1});
    QCOMPARE(model.GetItemText(roots[0]), QStringLiteral("MYSQL database"));
    const std::vector<TreeItem> paths = model.Children(roots[0]);
    QCOMPARE(paths.size(), size_t{1});
    QCOMPARE(model.GetItemText(paths[0]), dataDir + QLatin1Char('/'));
    QStringList databases;
    for (TreeItem db : model.Children(paths[0])) databases << model.GetItemText(db);
    QCOMPARE(databases,
             (QStringList{QStringLiteral("evolve"), QStringLiteral("formats"),
                          QStringLiteral("keys"), QStringLiteral("nulls"), QStringLiteral("paging"),
                          QStringLiteral("shop"), QStringLiteral("types")}));
    QVERIFY(frame_->tree()->isExpanded(model.IndexOf(paths[0])));
    const TreeItem keys = frame_->FindNode(QStringLiteral("shop/Tables/orders/Keys"));
    QVERIFY(keys != kNoTreeItem);
    QCOMPARE(model.GetItemData(keys), ItemData::kKeys);
    QVERIFY(frame_->FindNode(QStringLiteral("shop/Views/v_order_totals")) != kNoTreeItem);
    QCOMPARE(frame_->tree()->GetCheckedCount(), 0);

    // The Open command's own line was removed from the list by the worker.
    QCOMPARE(frame_->outputWnd()->Rows(),
             (QStringList{QStringLiteral("Finding Database and tables"),
                          QStringLiteral("Processing ibdata1 File"),
                          QStringLiteral("scanning completed.")}));
    QCOMPARE(app_->logLineCount, 3);
    // The log file holds the lines of both, in UTF-16.
    const QString logPath = QString::fromStdU16String(app_->logFilePath);
    QVERIFY(QFileInfo(logPath).dir() == QDir(logs_->path()));
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    QVERIFY(bytes.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(
        reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    QVERIFY(text.contains(dataDir + QStringLiteral("/ File is selected for recovery....")));
    QVERIFY(text.contains(QStringLiteral("Scanning completed for selected database file(s).\r\n")));
}

void MainFrameTest::ScanWithoutSystemTablespaceAsksFromTheWorker() {
    MakeFrame(SourcePath("tests/fixtures/catalogue/twodb"));
    desktop_->answers = {true};
    QVERIFY(Scan());
    // The question and the file dialog ran on the window's thread while the
    // worker waited for their answers.
    QCOMPARE(desktop_->questions,
             QStringList{QStringLiteral(
                 "Ibdata1File Cannot be opened.Do you want to browse ibdata1 File Manually?")});
    QCOMPARE(desktop_->questionIcons[0], MessageIcon::kNone);
    QCOMPARE(desktop_->fileDialogs, 1);
    QCOMPARE(desktop_->messages, QStringList{kCompleted});
    QVERIFY(frame_->FindNode(QStringLiteral("north/Tables/items")) != kNoTreeItem);
    QVERIFY(frame_->FindNode(QStringLiteral("south/Tables/notes")) != kNoTreeItem);

    // A second Open clears the tree and builds it again.
    desktop_->answers = {false};
    QVERIFY(Scan());
    QCOMPARE(frame_->tree()->model().Children(kNoTreeItem).size(), size_t{1});
    QCOMPARE(desktop_->messages, (QStringList{kCompleted, kCompleted}));
}

void MainFrameTest::TableLabelClickShowsTheFirstWindow() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    ClickLabel(QStringLiteral("paging/Tables/my_fixed_2500"));

    const CGridModel& grid = frame_->recordPanel()->gridModel();
    const QStringList server = ServerRows("paging", "my_fixed_2500");
    QCOMPARE(server.size(), 2501);
    QCOMPARE(GridTitles(grid), server[0].split(QLatin1Char('\t')));
    QCOMPARE(grid.rowCount(), 1000);
    // The last column is a FLOAT, which the server shows rounded.
    QCOMPARE(GridRow(grid, 0).mid(0, 5), server[1].split(QLatin1Char('\t')).mid(0, 5));
    QCOMPARE(GridRow(grid, 999).mid(0, 5), server[1000].split(QLatin1Char('\t')).mid(0, 5));
    QCOMPARE(Caption(), QStringLiteral("my_fixed_2500[1000]"));
    CBrixStatic* panel = frame_->recordPanel();
    QVERIFY(panel->grid()->isVisible());
    QVERIFY(panel->textBox()->isHidden());
    QVERIFY(panel->nextButton()->isVisible() && panel->nextButton()->isEnabled());
    QVERIFY(!panel->previousButton()->isEnabled());
    QVERIFY(frame_->tree()->isEnabled());
    const QStringList log = frame_->outputWnd()->Rows();
    QCOMPARE(log.mid(log.size() - 2),
             (QStringList{QStringLiteral("Please wait while my_fixed_2500 folder is scanning."),
                          QStringLiteral("Scanning process completed.")}));

    // A click on a database node resets the grid; both buttons end disabled.
    ClickLabel(QStringLiteral("paging"));
    QCOMPARE(grid.rowCount(), 0);
    QCOMPARE(grid.columnCount(), 0);
    QVERIFY(!panel->nextButton()->isEnabled());
    QVERIFY(!panel->previousButton()->isEnabled());
}

void MainFrameTest::PagesThroughATableOf2500Rows() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    desktop_->messages.clear();
    ClickLabel(QStringLiteral("paging/Tables/inno_compact_2500"));
    const CGridModel& grid = frame_->recordPanel()->gridModel();
    CBrixStatic* panel = frame_->recordPanel();
    const QStringList server = ServerRows("paging", "inno_compact_2500");
    QCOMPARE(grid.rowCount(), 1000);
    QCOMPARE(Caption(), QStringLiteral("inno_compact_2500[1000]"));

    ClickButton(panel->nextButton());
    QCOMPARE(Caption(), QStringLiteral("1000 rows to 2000"));
    QCOMPARE(grid.rowCount(), 1000);
    QCOMPARE(GridRow(grid, 0), server[1001].split(QLatin1Char('\t')));
    QVERIFY(panel->previousButton()->isEnabled());
    QVERIFY(desktop_->messages.isEmpty());

    ClickButton(panel->nextButton());
    QCOMPARE(Caption(), QStringLiteral("2000 rows to 2500"));
    QCOMPARE(grid.rowCount(), 500);
    QCOMPARE(GridRow(grid, 499), server[2500].split(QLatin1Char('\t')));
    QCOMPARE(desktop_->messages, QStringList{kNoMore});
    QVERIFY(!panel->nextButton()->isEnabled());
    // A disabled button sends nothing.
    ClickButton(panel->nextButton());
    QCOMPARE(desktop_->messages, QStringList{kNoMore});

    ClickButton(panel->previousButton());
    QCOMPARE(Caption(), QStringLiteral("1000 rows to 2000"));
    QCOMPARE(GridRow(grid, 0), server[1001].split(QLatin1Char('\t')));
    QVERIFY(panel->nextButton()->isEnabled());
    ClickButton(panel->previousButton());
    QCOMPARE(Caption(), QStringLiteral("0 rows to 1000"));
    QCOMPARE(GridRow(grid, 0), server[1].split(QLatin1Char('\t')));
    QVERIFY(!panel->previousButton()->isEnabled());
    QVERIFY(panel->nextButton()->isEnabled());
    QCOMPARE(grid.columnCount(), server[0].count(QLatin1Char('\t')) + 1);
}

// The status bar beside the caption: the rows shown and of how many, the
// MyISAM index file's count from the start, InnoDB's at least so many until
// its last window; both already current when "No more records" shows.
void MainFrameTest::StatusBarSaysWhichRowsOfHowMany() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    CBrixStatic* panel = frame_->recordPanel();
    const auto rows = [this] { return frame_->statusBarCls()->rowsShown(); };
    QStringList behindMessages;
    desktop_->onMessage = [&](const QString&) {
        behindMessages << Caption() + QStringLiteral(" | ") + rows();
    };
    QVERIFY(rows().isEmpty());

    ClickLabel(QStringLiteral("paging/Tables/my_fixed_2500"));
    QCOMPARE(rows(), QStringLiteral("rows 1-1000 of 2500"));
    QCOMPARE(Caption(), QStringLiteral("my_fixed_2500[1000]"));
    ClickButton(panel->nextButton());
    QCOMPARE(rows(), QStringLiteral("rows 1001-2000 of 2500"));
    QCOMPARE(Caption(), QStringLiteral("1000 rows to 2000"));

    ClickLabel(QStringLiteral("paging/Tables/inno_compact_2500"));
    QCOMPARE(rows(), QStringLiteral("rows 1-1000 of at least 1000"));
    ClickButton(panel->nextButton());
    QCOMPARE(rows(), QStringLiteral("rows 1001-2000 of at least 2000"));
    QVERIFY(behindMessages.isEmpty());
    ClickButton(panel->nextButton());
    QCOMPARE(rows(), QStringLiteral("rows 2001-2500 of 2500"));
    QCOMPARE(behindMessages,
             QStringList{QStringLiteral("2000 rows to 2500 | rows 2001-2500 of 2500")});
    ClickButton(panel->previousButton());
    QCOMPARE(rows(), QStringLiteral("rows 1001-2000 of 2500"));

    // A view shows text, no rows.
    ClickLabel(QStringLiteral("shop/Views/v_order_totals"));
    QVERIFY(rows().isEmpty());
}

// A slow table: the read waits on the reading worker until this test lets it
// go, and meanwhile the window's thread goes on handling events; what the
// window shows and refuses meanwhile is what it shows and refuses today.
void MainFrameTest::TheWindowStaysResponsiveWhileATableIsRead() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    desktop_->messages.clear();
    std::mutex mutex;
    std::condition_variable changed;
    bool goOn = false;
    std::atomic<int> reads{0};
    frame_->browser().SetReadHook([&] {
        ++reads;
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return goOn; });
    });
    const auto letGo = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            goOn = true;
        }
        changed.notify_all();
        frame_->WaitForRead();
        std::lock_guard<std::mutex> lock(mutex);
        goOn = false;
    };
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(5);

    const TreeItem table = frame_->FindNode(QStringLiteral("paging/Tables/inno_compact_2500"));
    frame_->SelectNode(table);
    QTRY_COMPARE(reads.load(), 1);
    QVERIFY(frame_->Reading());
    const int ticksWhileReading = ticks;
    QTRY_VERIFY(ticks >= ticksWhileReading + 3);
    CBrixStatic* panel = frame_->recordPanel();
    QTRY_VERIFY(!frame_->statusBarCls()->progress()->isHidden());
    QVERIFY(!frame_->tree()->isEnabled());
    QCOMPARE(Caption(), QStringLiteral("inno_compact_2500"));
    QVERIFY(!frame_->stopAction()->isEnabled());
    // Commands given meanwhile are refused as while a scan runs.
    QVERIFY(panel->nextButton()->isEnabled());
    QTest::mouseClick(panel->nextButton(), Qt::LeftButton);
    frame_->OnOpen();
    QCOMPARE(desktop_->messages, (QStringList{kWait, kWait}));
    QVERIFY(frame_->Reading());

    letGo();
    QVERIFY(!frame_->Reading());
    QCOMPARE(app_->busy.load(), 0);
    const CGridModel& grid = panel->gridModel();
    QCOMPARE(grid.rowCount(), 1000);
    QCOMPARE(Caption(), QStringLiteral("inno_compact_2500[1000]"));
    QVERIFY(frame_->tree()->isEnabled());
    QVERIFY(frame_->statusBarCls()->progress()->isHidden());

    // Next Records reads on the worker too.
    QTest::mouseClick(panel->nextButton(), Qt::LeftButton);
    QTRY_COMPARE(reads.load(), 2);
    const int ticksWhilePaging = ticks;
    QTRY_VERIFY(ticks >= ticksWhilePaging + 3);
    QCOMPARE(grid.rowCount(), 1000);  // the first window stays until the next is read
    letGo();
    QCOMPARE(Caption(), QStringLiteral("1000 rows to 2000"));
    QCOMPARE(grid.rowCount(), 1000);
    QCOMPARE(GridRow(grid, 0),
             ServerRows("paging", "inno_compact_2500")[1001].split(QLatin1Char('\t')));
    frame_->browser().SetReadHook({});
}

void MainFrameTest::ViewAndKeysNodesShowTheirText() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    ClickLabel(QStringLiteral("shop/Views/v_order_totals"));
    CBrixStatic* panel = frame_->recordPanel();
    QVERIFY(panel->textBox()->isVisible());
    QVERIFY(panel->grid()->isHidden());
    QVERIFY(panel->textBox()->toPlainText().startsWith(QStringLiteral("CREATE ")));
    QVERIFY(panel->textBox()->toPlainText().contains(QStringLiteral("v_order_totals")));
    QVERIFY(!panel->nextButton()->isEnabled());

    ClickLabel(QStringLiteral("shop/Tables/orders/Keys"));
    QVERIFY(panel->grid()->isVisible());
    QVERIFY(panel->textBox()->isHidden());
    QVERIFY(panel->textBox()->toPlainText().isEmpty());
    const CGridModel& grid = panel->gridModel();
    QCOMPARE(GridTitles(grid),
             (QStringList{QStringLiteral("Column Name"), QStringLiteral("Data Type"),
                          QStringLiteral("size"), QStringLiteral("Allow Nulls"),
                          QStringLiteral("Key Name")}));
    QCOMPARE(grid.rowCount(), 9);
    QCOMPARE(grid.index(0, 0).data().toString(), QStringLiteral("id"));
    QCOMPARE(Caption(), QStringLiteral("Keys[9]"));
}

void MainFrameTest::ShortTableShowsNullsApartAndNoNextWindow() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    desktop_->messages.clear();
    ClickLabel(QStringLiteral("nulls/Tables/many_nulls_inno"));
    const QStringList server = ServerRows("nulls", "many_nulls_inno");
    const CGridModel& grid = frame_->recordPanel()->gridModel();
    QCOMPARE(grid.rowCount(), server.size() - 1);
    QCOMPARE(Caption(), QStringLiteral("many_nulls_inno[%1]").arg(server.size() - 1));
    // Every cell the server called NULL is a NULL value, drawn apart; every
    // other one is not.
    const QStringList titles = server[0].split(QLatin1Char('\t'));
    for (int r = 0; r + 1 < server.size(); ++r) {
        const QStringList row = server[r + 1].split(QLatin1Char('\t'));
        for (int c = 0; c < row.size(); ++c) {
            const QModelIndex cell = grid.index(r, c);
            const bool null = row[c] == QStringLiteral("NULL");
            QCOMPARE(cell.data(CGridModel::kNullRole).toBool(), null);
            QCOMPARE(cell.data(Qt::FontRole).isValid(), null);
        }
    }
    // Numbers right, text and dates left.
    const auto right = [&grid](int column) {
        return bool(grid.index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                    Qt::AlignRight);
    };
    QVERIFY(right(titles.indexOf(QStringLiteral("id"))));
    QVERIFY(right(titles.indexOf(QStringLiteral("n_dec"))));
    QVERIFY(right(titles.indexOf(QStringLiteral("n_float"))));
    QVERIFY(!right(titles.indexOf(QStringLiteral("n_vc"))));
    QVERIFY(!right(titles.indexOf(QStringLiteral("n_date"))));

    // One window holds the whole table: neither button leads anywhere.
    CBrixStatic* panel = frame_->recordPanel();
    QVERIFY(panel->nextButton()->isVisible());
    QVERIFY(!panel->nextButton()->isEnabled());
    QVERIFY(!panel->previousButton()->isEnabled());
    QVERIFY(desktop_->messages.isEmpty());

    // A double click on a NULL opens the viewer on it.
    const QModelIndex nullCell = grid.index(0, titles.indexOf(QStringLiteral("n_vc")));
    panel->grid()->scrollTo(nullCell);
    QTest::mouseClick(panel->grid()->viewport(), Qt::LeftButton, {},
                      panel->grid()->visualRect(nullCell).center());
    QTest::mouseDClick(panel->grid()->viewport(), Qt::LeftButton, {},
                       panel->grid()->visualRect(nullCell).center());
    QVERIFY(panel->valueViewer() != nullptr);
    QVERIFY(!panel->valueViewer()->saveButton()->isEnabled());
    QCOMPARE(panel->valueViewer()->windowTitle(), QStringLiteral("Value - n_vc"));
}

void MainFrameTest::FilterBoxFindsTablesInTheScannedTree() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    CXHtmlTree* tree = frame_->tree();
    const TreeItem nullsTable = frame_->FindNode(QStringLiteral("nulls/Tables/many_nulls_inno"));
    const TreeItem orders = frame_->FindNode(QStringLiteral("shop/Tables/orders"));
    const TreeItem shop = frame_->FindNode(QStringLiteral("shop"));
    QVERIFY(nullsTable != kNoTreeItem && orders != kNoTreeItem);
    QTest::keyClicks(frame_->fileView()->filterBox(), QStringLiteral("Many_Nulls"));
    QCOMPARE(tree->filter(), QStringLiteral("Many_Nulls"));
    QVERIFY(!tree->IsFilteredOut(nullsTable));
    QVERIFY(tree->IsFilteredOut(orders));
    QVERIFY(tree->IsFilteredOut(shop));
    // A table found by the box is shown as a click on it always did.
    ClickLabel(QStringLiteral("nulls/Tables/many_nulls_inno"));
    QVERIFY(Caption().startsWith(QStringLiteral("many_nulls_inno[")));

    frame_->fileView()->filterBox()->clear();
    QVERIFY(!tree->IsFilteredOut(orders));
    QVERIFY(!tree->IsFilteredOut(shop));
}

void MainFrameTest::SaveChecksThatSomethingIsChecked() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    int saveRuns = 0;
    frame_->SetSaveRun([&saveRuns](CMainFrame&) { ++saveRuns; });
    frame_->OnSave();  // an empty tree
    QVERIFY(Scan());
    desktop_->messages.removeAll(kCompleted);
    frame_->OnSave();  // a tree with nothing checked
    QCOMPARE(desktop_->messages,
             QStringList(2, QStringLiteral("Please select folder to save the database")));
    QCOMPARE(saveRuns, 0);

    const TreeItem orders = frame_->FindNode(QStringLiteral("shop/Tables/orders"));
    CXHtmlTree* tree = frame_->tree();
    tree->SelectItem(orders);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->CheckBoxCentre(orders));
    QVERIFY(tree->model().GetCheck(orders));
    QCOMPARE(tree->GetCheckedCount(), 3);  // the table, its Keys and its Deleted rows
    frame_->OnSave();
    QCOMPARE(saveRuns, 1);
    QCOMPARE(desktop_->messages.size(), 2);
}

void MainFrameTest::HelpOpensTheShippedManualOrTheSetAddress() {
    MakeFrame();
    frame_->OnHelp();
    QCOMPARE(desktop_->urls.size(), size_t{1});
    const QUrl manual = desktop_->urls[0];
    QVERIFY(manual.isLocalFile());
    QFile file(manual.toLocalFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("Karvo MySQL Database Repair"));

    frame_->OnAbout();
    QCOMPARE(desktop_->aboutBoxes, 1);

    links_.helpPage = QStringLiteral("https://help.example/brixtallow");
    MakeFrame();
    frame_->OnHelp();
    QCOMPARE(desktop_->urls, std::vector<QUrl>{QUrl(links_.helpPage)});
}

void MainFrameTest::CloseAsksClosesTheFilesAndEndsWithMinusOne() {
    // No scan since the start: no log file to tell of, no product page to open.
    MakeFrame();
    desktop_->answers = {false, true};
    QVERIFY(!frame_->close());
    QCOMPARE(desktop_->questions,
             QStringList{QStringLiteral("Do you want to close the application?")});
    QCOMPARE(desktop_->questionIcons[0], MessageIcon::kQuestion);
    QVERIFY(desktop_->exitCodes.empty());
    QVERIFY(frame_->close());
    QVERIFY(desktop_->messages.isEmpty());
    QVERIFY(desktop_->urls.empty());
    QCOMPARE(desktop_->exitCodes, std::vector<int>{-1});

    // After a scan and a table: the files are closed and the log file named.
    links_.productPage = QStringLiteral("https://product.example/");
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    ClickLabel(QStringLiteral("shop/Tables/customers"));
    QVERIFY(frame_->frameState().dictionary.IsOpen());
    desktop_->messages.clear();
    desktop_->answers = {true};
    QVERIFY(frame_->close());
    QVERIFY(!frame_->frameState().dictionary.IsOpen());
    QVERIFY(!app_->logFile.IsOpen());
    QCOMPARE(desktop_->messages, QStringList{QStringLiteral("Log file path : ") +
                                             QString::fromStdU16String(app_->logFilePath)});
    QCOMPARE(desktop_->urls, std::vector<QUrl>{QUrl(links_.productPage)});
    QCOMPARE(desktop_->exitCodes, std::vector<int>{-1});
}

void MainFrameTest::SaveAsScriptWritesTheCheckedDatabase() {
    MakeFrame(SourcePath("tests/fixtures/datadir"));
    QVERIFY(Scan());
    frame_->tree()->model().SetCheck(frame_->FindNode(QStringLiteral("shop")), true);

    QStringList dialogMessages;
    CSaveDialogModel model(*app_, [&dialogMessages](std::u16string_view text) {
        dialogMessages << QString::fromStdU16String(std::u16string(text));
    });
    CSaver saver(*app_, frame_->ui(), frame_->frameState());
    frame_->SetSaveRun(
        [&model, &saver](CMainFrame& frame) { RunSaveCommand(frame, model, saver); });
    QTemporaryDir scripts;

    // The user picks Save as Script, browses to the folder and presses OK.
    bool answered = false;
    std::function<void()> answer = [&] {
        auto* dialog = qobject_cast<savedlgoption*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, answer);
            return;
        }
        dialog->scriptRadio()->click();
        dialog->browseFolder = [&scripts](const QString&) { return scripts.path(); };
        dialog->browseButton()->click();
        dialog->okButton()->click();
        answered = true;
    };
    QTimer::singleShot(0, answer);
    frame_->OnSave();
    QVERIFY(answered);
    QVERIFY(dialogMessages.isEmpty());
    QVERIFY(QTest::qWaitFor([this] { return app_->busy == 0; }, 60000));
    saver.Wait();
    QCoreApplication::processEvents();

    QCOMPARE(saver.lastResult().failed, 0);
    QVERIFY(saver.lastResult().saved >= 6);
    QFile script(scripts.filePath(QStringLiteral("shop.sql")));
    QVERIFY(script.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(script.readAll());
    QVERIFY(text.contains(QStringLiteral("CREATE TABLE `customers`")));
    QVERIFY(text.contains(QStringLiteral("CREATE TRIGGER")));
    QVERIFY(text.contains(QStringLiteral("v_order_totals")));
    // Only the checked database is written.
    QCOMPARE(QDir(scripts.path()).entryList(QStringList{QStringLiteral("*.sql")}),
             QStringList{QStringLiteral("shop.sql")});

    const QStringList log = frame_->outputWnd()->Rows();
    for (const char* table : {"customers", "orders", "order_audit", "products"})
        QVERIFY2(log.contains(QStringLiteral("Saving table shop.") + QString::fromLatin1(table)),
                 table);
    // The end of the run is told in a message box.
    QCOMPARE(desktop_->messages.last(),
             QString::fromStdU16String(SaveEndMessage(saver.lastResult())));
}

void MainFrameTest::AMissingDataFileIsMarkedInTheTreeAndLoggedAsDamage() {
    // A copy of two MyISAM tables, one without its .MYD.
    QTemporaryDir data;
    QVERIFY(QDir(data.path()).mkpath(QStringLiteral("keys")));
    for (const char* name : {"no_key_myisam.frm", "no_key_myisam.MYI", "pk_later_myisam.frm",
                             "pk_later_myisam.MYD", "pk_later_myisam.MYI"})
        QVERIFY(QFile::copy(SourcePath("tests/fixtures/datadir/keys/") + QString::fromLatin1(name),
                            data.filePath(QStringLiteral("keys/")) + QString::fromLatin1(name)));
    MakeFrame(data.path());
    QVERIFY(Scan());
    const CXHtmlTreeModel& model = frame_->tree()->model();
    const TreeItem missing = frame_->FindNode(QStringLiteral("keys/Tables/no_key_myisam"));
    const TreeItem whole = frame_->FindNode(QStringLiteral("keys/Tables/pk_later_myisam"));
    QVERIFY(missing != kNoTreeItem && whole != kNoTreeItem);
    // The scan marks the table from the folder's listing: a warning sign over
    // its picture and the reason as its tooltip; its text stays as it was.
    QCOMPARE(model.GetMark(missing), QStringLiteral("data file missing"));
    QCOMPARE(model.IndexOf(missing).data(Qt::ToolTipRole).toString(),
             QStringLiteral("data file missing"));
    QCOMPARE(model.IndexOf(missing).data().toString(), QStringLiteral("no_key_myisam"));
    const QIcon marked = model.IndexOf(missing).data(Qt::DecorationRole).value<QIcon>();
    const QIcon plain = model.IndexOf(whole).data(Qt::DecorationRole).value<QIcon>();
    QVERIFY(!marked.isNull());
    QVERIFY(marked.pixmap(16).toImage() != plain.pixmap(16).toImage());
    QVERIFY(model.GetMark(whole).isEmpty());
    QVERIFY(!model.IndexOf(whole).data(Qt::ToolTipRole).isValid());

    // Its rows: nothing read, and the reason in the caption after its text
    // and in the log as a damage row set apart.
    ClickLabel(QStringLiteral("keys/Tables/no_key_myisam"));
    QCOMPARE(Caption(), QStringLiteral("no_key_myisam[0] \u2014 nothing could be read: data file "
                                       "missing, see the log"));
    QListWidget* list = frame_->outputWnd()->list();
    int damageRows = 0;
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        if (!item->text().startsWith(QStringLiteral("Damage: "))) {
            QVERIFY(!item->data(kDamageRowRole).toBool());
            continue;
        }
        ++damageRows;
        QVERIFY(item->text().contains(QStringLiteral("file: data file missing")));
        QVERIFY(item->data(kDamageRowRole).toBool());
        QVERIFY(!item->icon().isNull());
        QCOMPARE(item->toolTip(), item->text());
        QVERIFY(item->foreground().color() != list->item(0)->foreground().color());
    }
    QCOMPARE(damageRows, 1);
    QCOMPARE(model.GetMark(missing), QStringLiteral("data file missing"));

    // A whole table beside it shows as it always did.
    ClickLabel(QStringLiteral("keys/Tables/pk_later_myisam"));
    QVERIFY(!Caption().contains(QStringLiteral("damaged")));
    QVERIFY(Caption().startsWith(QStringLiteral("pk_later_myisam[")));
}

// The definition and the data file are asked for in turn; the rows fill the
// grid with where each was found, and a cancelled dialog changes nothing.
void MainFrameTest::RecoverTableShowsTheRowsOfADroppedTablesFile() {
    MakeFrame();
    const std::filesystem::path folder =
        SourcePath("tests/fixtures/deleted/datadir/recover").toStdString();
    desktop_->openAs = {folder / "inno_kept.frm"};
    frame_->OnRecover();
    frame_->WaitForRead();
    QCOMPARE(desktop_->fileDialogs, 2);
    QCOMPARE(frame_->recordPanel()->gridModel().rowCount(), 0);

    desktop_->openAs = {folder / "inno_kept.frm", folder / "inno_kept.ibd"};
    frame_->OnRecover();
    frame_->WaitForRead();
    QTRY_VERIFY(app_->busy == 0 && frame_->statusBarCls()->progress()->isHidden());
    QCoreApplication::processEvents();
    const CGridModel& grid = frame_->recordPanel()->gridModel();
    const QStringList titles = GridTitles(grid);
    QCOMPARE(titles.mid(titles.size() - 2),
             (QStringList{QStringLiteral("_source"), QStringLiteral("_unknown")}));
    // 300 rows: 192 live, the other 108 still marked deleted.
    QCOMPARE(grid.rowCount(), 300);
    QStringList sources;
    for (int row = 0; row < grid.rowCount(); ++row)
        sources << grid.index(row, static_cast<int>(titles.size()) - 2).data().toString();
    sources.removeDuplicates();
    sources.sort();
    QCOMPARE(sources,
             (QStringList{QStringLiteral("delete-marked"), QStringLiteral("recovered-page")}));
    QCOMPARE(Caption(), QStringLiteral("Recovered from inno_kept.ibd [300]"));
}

// The deleted fixture: each table's "Deleted rows" node, with its own
// picture, shows the rows of deleted records with the two columns that say
// where each was found and which of its columns are lost.
void MainFrameTest::DeletedRowsNodeShowsTheRecoveredRowsInTheGrid() {
    MakeFrame(SourcePath("tests/fixtures/deleted/datadir"));
    QVERIFY(Scan());
    const CXHtmlTreeModel& model = frame_->tree()->model();
    const TreeItem keys = frame_->FindNode(QStringLiteral("recover/Tables/my_fixed/Keys"));
    const TreeItem deleted =
        frame_->FindNode(QStringLiteral("recover/Tables/my_fixed/Deleted rows"));
    QVERIFY(keys != kNoTreeItem && deleted != kNoTreeItem);
    QCOMPARE(model.Kind(deleted), TreeNodeKind::kDeletedRows);
    QCOMPARE(model.GetItemData(deleted), ItemData::kDeletedRows);
    const QIcon own = model.IndexOf(deleted).data(Qt::DecorationRole).value<QIcon>();
    const QIcon ofKeys = model.IndexOf(keys).data(Qt::DecorationRole).value<QIcon>();
    QVERIFY(!own.isNull());
    QVERIFY(own.pixmap(16).toImage() != ofKeys.pixmap(16).toImage());

    ClickLabel(QStringLiteral("recover/Tables/my_fixed/Deleted rows"));
    const CGridModel& grid = frame_->recordPanel()->gridModel();
    const QStringList titles = GridTitles(grid);
    QCOMPARE(titles.mid(titles.size() - 2),
             (QStringList{QStringLiteral("_source"), QStringLiteral("_unknown")}));
    QVERIFY(grid.rowCount() > 50);
    QCOMPARE(GridRow(grid, 0).at(titles.size() - 2), QStringLiteral("deleted-slot"));
    const QString count = QString::number(grid.rowCount());
    QCOMPARE(Caption(), QStringLiteral("my_fixed \u2014 deleted rows[") + count + QLatin1Char(']'));
    QCOMPARE(frame_->statusBarCls()->rowsShown(),
             QStringLiteral("deleted rows 1-") + count + QStringLiteral(" of ") + count);
    QVERIFY(!frame_->recordPanel()->nextButton()->isEnabled());

    // The table's own node shows its live rows again, without the two.
    ClickLabel(QStringLiteral("recover/Tables/my_fixed"));
    QVERIFY(!GridTitles(grid).contains(QStringLiteral("_source")));
}

// What a user who deleted rows by mistake does first, on the files of a
// server that deleted them (the deleted fixture): opens the folder, looks at
// each table's deleted rows, and saves them apart from the live ones.
void MainFrameTest::DeletedRowsOfAServersDeleteAreShownAndSavedApart() {
    MakeFrame(SourcePath("tests/fixtures/deleted/datadir"));
    QVERIFY(Scan());
    const CGridModel& grid = frame_->recordPanel()->gridModel();
    const struct {
        const char* table;
        const char* source;
        int leastRows;
    } tables[] = {
        // Purge held off: every one of the 108 deleted rows, marked.
        {"inno_kept", "delete-marked", 108},
        {"my_fixed", "deleted-slot", 108},
        // Records that grew into a second block before the delete too.
        {"my_grown", "deleted-block", 10},
    };
    for (const auto& t : tables) {
        const QString table = QString::fromLatin1(t.table);
        ClickLabel(QStringLiteral("recover/Tables/") + table + QStringLiteral("/Deleted rows"));
        const QStringList log = frame_->outputWnd()->Rows();
        QCOMPARE(log.mid(log.size() - 2),
                 (QStringList{QStringLiteral("Please wait while deleted rows of ") + table +
                                  QStringLiteral(" are being read."),
                              QStringLiteral("Scanning process completed.")}));
        QVERIFY2(grid.rowCount() >= t.leastRows, t.table);
        QVERIFY2(grid.rowCount() <= 108, t.table);
        const int sourceColumn = static_cast<int>(GridTitles(grid).size()) - 2;
        QCOMPARE(grid.index(0, sourceColumn).data().toString(), QString::fromLatin1(t.source));
    }

    // Saved with the deleted rows: each table's go into TABLE__deleted, the
    // live table keeps its own.
    frame_->tree()->model().SetCheck(frame_->FindNode(QStringLiteral("recover")), true);
    QTemporaryDir scripts;
    const CSaveResult result = SaveCheckedAsScript(scripts.path(), true);
    QCOMPARE(result.failed, 0);
    QFile script(scripts.filePath(QStringLiteral("recover.sql")));
    QVERIFY(script.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(script.readAll());
    for (const auto& t : tables) {
        const QString table = QString::fromLatin1(t.table);
        QVERIFY2(text.contains(QStringLiteral("CREATE TABLE `") + table + QStringLiteral("`")),
                 t.table);
        QVERIFY2(
            text.contains(QStringLiteral("CREATE TABLE `") + table + QStringLiteral("__deleted`")),
            t.table);
        QVERIFY2(
            text.contains(QStringLiteral("INSERT INTO `") + table + QStringLiteral("__deleted`")),
            t.table);
    }
    // A row the server deleted is in the table of deleted rows only: each
    // table's rows follow its CREATE TABLE.
    const auto section = [&text](const QString& table) {
        const qsizetype from =
            text.indexOf(QStringLiteral("CREATE TABLE `") + table + QStringLiteral("`"));
        const qsizetype to = text.indexOf(QStringLiteral("CREATE TABLE"), from + 1);
        return from < 0 ? QString() : text.mid(from, to < 0 ? -1 : to - from);
    };
    QVERIFY(section(QStringLiteral("inno_kept__deleted")).contains(QStringLiteral("'name 3'")));
    QVERIFY(!section(QStringLiteral("inno_kept")).contains(QStringLiteral("'name 3'")));
    QVERIFY(section(QStringLiteral("inno_kept")).contains(QStringLiteral("'name 4'")));
}

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"

// A database and a table whose names the server wrote in file-name form: the
// tree shows the names, with the file's name in the tooltip; the rows open
// from the files, and the saved script names them as the server does.
void MainFrameTest::TreeShowsNamesAsTheServerDoesAndWorksOnTheFiles() {
    QTemporaryDir data;
    const QString database = QStringLiteral("odd@002dname");
    const QString table = QStringLiteral("caf@0p@0023x");  // café#x
    QVERIFY(QDir(data.path()).mkpath(database));
    for (const char* extension : {".frm", ".MYD", ".MYI"})
        QVERIFY(QFile::copy(
            SourcePath("tests/fixtures/datadir/shop/products") + QString::fromLatin1(extension),
            data.filePath(database + QLatin1Char('/') + table + QString::fromLatin1(extension))));
    MakeFrame(data.path());
    QVERIFY(Scan());
    const CXHtmlTreeModel& model = frame_->tree()->model();
    const TreeItem databaseItem = frame_->FindNode(database);
    const TreeItem tableItem = frame_->FindNode(database + QStringLiteral("/Tables/") + table);
    QVERIFY(databaseItem != kNoTreeItem && tableItem != kNoTreeItem);
    const struct {
        TreeItem item;
        QString shown;
        QString file;
    } names[] = {{databaseItem, QStringLiteral("odd-name"), database},
                 {tableItem, QStringLiteral("caf\u00e9#x"), table}};
    for (const auto& name : names) {
        QCOMPARE(model.IndexOf(name.item).data().toString(), name.shown);
        QCOMPARE(model.IndexOf(name.item).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("File name: ") + name.file);
        QCOMPARE(model.GetItemText(name.item), name.file);
    }
    QCOMPARE(frame_->FindNode(QStringLiteral("odd-name/Tables/caf\u00e9#x")), tableItem);
    // The group nodes keep their texts and have no tooltip.
    const TreeItem tables = model.GetParentItem(tableItem);
    QCOMPARE(model.IndexOf(tables).data().toString(), QStringLiteral("Tables"));
    QVERIFY(!model.IndexOf(tables).data(Qt::ToolTipRole).isValid());

    // The filter finds the table by the name shown.
    frame_->fileView()->filterBox()->setText(QStringLiteral("\u00e9#"));
    QVERIFY(!frame_->tree()->IsFilteredOut(tableItem));
    frame_->fileView()->filterBox()->setText(QStringLiteral("nothing like it"));
    QVERIFY(frame_->tree()->IsFilteredOut(tableItem));
    frame_->fileView()->filterBox()->clear();

    // Its rows come from the renamed files, the caption names it as shown.
    ClickLabel(database + QStringLiteral("/Tables/") + table);
    const QStringList server = ServerRows("shop", "products");
    const CGridModel& grid = frame_->recordPanel()->gridModel();
    QCOMPARE(grid.rowCount(), server.size() - 1);
    // (The server's answer writes a line end in a value as "\n".)
    QCOMPARE(GridRow(grid, 0).mid(0, 5), server[1].split(QLatin1Char('\t')).mid(0, 5));
    QCOMPARE(Caption(), QStringLiteral("caf\u00e9#x[%1]").arg(server.size() - 1));

    // The script creates and fills the table under the server's names.
    frame_->tree()->model().SetCheck(databaseItem, true);
    QTemporaryDir scripts;
    const CSaveResult result = SaveCheckedAsScript(scripts.path());
    QCOMPARE(result.failed, 0);
    const QStringList written =
        QDir(scripts.path()).entryList(QStringList{QStringLiteral("*.sql")});
    QCOMPARE(written.size(), 1);
    QFile script(scripts.filePath(written.front()));
    QVERIFY(script.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(script.readAll());
    QVERIFY2(text.contains(QStringLiteral("CREATE TABLE `caf\u00e9#x`")),
             qPrintable(text.left(400)));
    QVERIFY(text.contains(QStringLiteral("INSERT INTO `caf\u00e9#x`")));
    QVERIFY(text.contains(QStringLiteral("`odd-name`")));
    QVERIFY(!text.contains(table));
}
