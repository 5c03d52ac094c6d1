// The user-interface operations on the window's widgets: calls from another
// thread arrive in order and the ones with an answer wait for it; the grid
// shows a window of rows as one change.

#include <QAbstractItemModelTester>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <thread>

#include "app/app_state.h"
#include "scripted_desktop.h"
#include "ui/bars.h"
#include "ui/grid_model.h"
#include "ui/main_frame_ui.h"
#include "ui/panes.h"
#include "ui/record_panel.h"
#include "ui/xhtml_tree.h"

using namespace brix;

namespace {

// The widgets the operations act on, without a main window around them.
struct Parts {
    Parts() {
        parts.owner = &owner;
        parts.captionBar = &caption;
        parts.statusBar = &status;
        parts.tree = &tree;
        parts.output = &output;
        parts.recordPanel = &panel;
        parts.desktop = &desktop;
    }
    QWidget owner;
    CMyCaptionBar caption;
    CRibbonStatusBarCls status;
    CXHtmlTree tree;
    COutputWnd output;
    CBrixStatic panel;
    test::CScriptedDesktop desktop;
    CMainFrameParts parts;
};

}  // namespace

class FrameUiTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void WorkerCallsArriveInOrderAndAnswersWait();
    void GridShowsAWindowOfRowsAsOneChange();
    void ClearGridWithZeroOnlyEmptiesTheTextBox();
    void LogPaneKeepsLongLinesWholeAndSetsErrorsApart();
    void NextRecordsIsOffAfterTheLastWindow();
};

void FrameUiTest::WorkerCallsArriveInOrderAndAnswersWait() {
    CAppState app;
    Parts p;
    CMainFrameUi ui(app, p.parts);
    QAbstractItemModelTester tester(&p.tree.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    p.desktop.answers = {true};
    std::atomic<bool> done{false};
    std::u16string text;
    bool answer = false;
    std::thread worker([&] {
        ui.ResetLogList();
        const TreeItem root = ui.InsertItem(u"root", 0, kNoTreeItem);
        // Handed out at once: the worker builds under it before it is shown.
        const TreeItem child = ui.InsertItem(u"child", 0, root);
        ui.SetItemData(child, 7);
        for (int i = 0; i < 50; ++i)
            ui.AppendLogListLine(u"line " + std::u16string(1, u'a' + i % 26));
        text = ui.GetItemText(child);
        ui.Expand(root);
        answer = ui.AskYesNo(u"question", MessageIcon::kNone);
        ui.ShowMessage(u"message");
        ui.ShowCaptionMessage(u"done\r\n");
        done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    ui.RunQueuedCalls();

    QCOMPARE(text, std::u16string(u"child"));
    QVERIFY(answer);
    QCOMPARE(p.desktop.questions, QStringList{QStringLiteral("question")});
    QCOMPARE(p.desktop.messages, QStringList{QStringLiteral("message")});
    QCOMPARE(p.caption.text(), QStringLiteral("done"));
    const std::vector<TreeItem> roots = p.tree.model().Children(kNoTreeItem);
    QCOMPARE(roots.size(), size_t{1});
    const std::vector<TreeItem> children = p.tree.model().Children(roots[0]);
    QCOMPARE(children.size(), size_t{1});
    QCOMPARE(p.tree.model().GetItemData(children[0]), int64_t{7});
    QVERIFY(p.tree.isExpanded(p.tree.model().IndexOf(roots[0])));
    const QStringList rows = p.output.Rows();
    QCOMPARE(rows.size(), 50);
    for (int i = 0; i < 50; ++i) QCOMPARE(rows[i], QStringLiteral("line ") + QChar(u'a' + i % 26));
    QCOMPARE(app.logLineCount, 50);
}

namespace {

std::shared_ptr<const CGridWindow> Window(std::vector<std::u16string> columns, size_t rows,
                                          std::u16string first, std::u16string second = {}) {
    std::vector<std::vector<std::u16string>> cells(rows, std::vector<std::u16string>{first});
    if (!second.empty())
        for (auto& row : cells) row.push_back(second);
    return std::make_shared<const CTextGridWindow>(std::move(columns), std::move(cells));
}

}  // namespace

void FrameUiTest::GridShowsAWindowOfRowsAsOneChange() {
    CAppState app;
    Parts p;
    CMainFrameUi ui(app, p.parts);
    CGridModel& grid = p.panel.gridModel();
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&grid, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&grid, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&grid, &QAbstractItemModel::rowsRemoved);

    const std::shared_ptr<const CGridWindow> first = Window({u"a", u"b"}, 1000, u"x", u"y");
    ui.ShowRows(first);
    QCOMPARE(grid.rowCount(), 0);  // not shown before the event loop runs
    QTRY_COMPARE(grid.rowCount(), 1000);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(grid.index(999, 1).data().toString(), QStringLiteral("y"));
    // The model shows the window it was given, not a copy of its texts.
    QCOMPARE(grid.shownWindow().get(), first.get());

    // The next window: the rows change, the columns stay.
    ui.ShowRows(Window({u"a", u"b"}, 3, u"z"));
    ui.RedrawGrid();
    QCOMPARE(grid.rowCount(), 3);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(grid.index(2, 0).data().toString(), QStringLiteral("z"));
    QCOMPARE(grid.index(2, 1).data().toString(), QString());

    // A new table: its columns replace the old ones.
    ui.ClearGrid(2);
    ui.ShowRows(Window({u"only"}, 0, u""));
    ui.RedrawGrid();
    QCOMPARE(grid.columnCount(), 1);
    QCOMPARE(grid.rowCount(), 0);
    QCOMPARE(grid.headerData(0, Qt::Horizontal).toString(), QStringLiteral("only"));
}

void FrameUiTest::ClearGridWithZeroOnlyEmptiesTheTextBox() {
    CAppState app;
    Parts p;
    CMainFrameUi ui(app, p.parts);
    ui.ShowRows(Window({u"a"}, 1, u"1"));
    ui.SetTextBoxText(u"CREATE VIEW v AS SELECT 1");
    ui.RedrawGrid();
    ui.ClearGrid(0);
    ui.RedrawGrid();
    QCOMPARE(p.panel.gridModel().rowCount(), 1);
    QCOMPARE(p.panel.gridModel().columnCount(), 1);
    QVERIFY(p.panel.textBox()->toPlainText().isEmpty());

    ui.ShowPagingButtons(true);
    ui.EnablePrevious(false);
    ui.EnableNext(true);
    QVERIFY(!p.panel.previousButton()->isHidden());
    QVERIFY(!p.panel.previousButton()->isEnabled());
    QVERIFY(p.panel.nextButton()->isEnabled());
}

void FrameUiTest::LogPaneKeepsLongLinesWholeAndSetsErrorsApart() {
    COutputWnd output;
    const QString longLine = QStringLiteral("Saving table db.") + QString(400, QLatin1Char('t'));
    output.InsertRow(0, longLine);
    output.InsertRow(1, QStringLiteral("Error saving table db.t: the server refused it"));
    output.InsertRow(2, QStringLiteral("Left out of the triggers of db.t: tr"));
    QCOMPARE(output.Rows().first(), longLine);
    QCOMPARE(output.list()->textElideMode(), Qt::ElideNone);
    QCOMPARE(output.list()->item(0)->toolTip(), longLine);
    QVERIFY(!output.list()->item(0)->font().bold());
    QVERIFY(output.list()->item(1)->font().bold());
    QVERIFY(output.list()->item(2)->font().bold());
    QCOMPARE(output.list()->item(1)->foreground().color(),
             output.list()->item(2)->foreground().color());
}

void FrameUiTest::NextRecordsIsOffAfterTheLastWindow() {
    enum class Shown { kNothing, kFilled, kLast, kUnknown };
    struct Case {
        Shown shown;
        bool wanted;
        bool enabled;
    };
    const Case cases[] = {
        {Shown::kNothing, true, true},  // a table still being read
        {Shown::kFilled, true, true},   {Shown::kLast, true, false},  {Shown::kUnknown, true, true},
        {Shown::kFilled, false, false}, {Shown::kLast, false, false},
    };
    for (const Case& c : cases) {
        CAppState app;
        Parts p;
        CMainFrameUi ui(app, p.parts);
        ui.ShowPagingButtons(true);
        ui.EnableNext(c.wanted);
        if (c.shown != Shown::kNothing) {
            auto window =
                std::make_shared<CTextGridWindow>(std::vector<std::u16string>{u"a"},
                                                  std::vector<std::vector<std::u16string>>{{u"1"}});
            if (c.shown != Shown::kUnknown) window->SetFilled(c.shown == Shown::kFilled);
            ui.ShowRows(window);
        }
        ui.RedrawGrid();
        QCOMPARE(p.panel.nextButton()->isEnabled(), c.enabled);
        // The browser's word after the window is weighed the same way.
        ui.EnableNext(true);
        QCOMPARE(p.panel.nextButton()->isEnabled(), c.shown != Shown::kLast);
    }
}

QTEST_MAIN(FrameUiTest)
#include "frame_ui_test.moc"
