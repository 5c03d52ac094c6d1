// The record grid's cells and what can be done with them: NULL drawn apart
// from the text 'NULL', numbers right-aligned, long values cut in the cell
// but whole for the viewer and for copying; the value viewer with its text,
// hex and "Save value as..."; copying cells as tab-separated text; the
// grid's context menu and keys.

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <set>

#include "scripted_desktop.h"
#include "ui/grid_model.h"
#include "ui/record_panel.h"
#include "ui/value_viewer_dlg.h"

using namespace brix;

namespace {

// A grid window of given cells: a text per cell, NULL where the text is
// missing, the numeric columns flagged, the spilled cells listed.
class CCellsWindow final : public CGridWindow {
  public:
    using Cell = std::optional<std::u16string>;
    CCellsWindow(std::vector<std::u16string> columns, std::vector<std::vector<Cell>> rows,
                 std::vector<bool> numeric = {}, std::set<std::pair<size_t, size_t>> spilled = {})
        : CGridWindow(std::move(columns)), rows_(std::move(rows)), spilled_(std::move(spilled)) {
        for (auto& row : rows_) row.resize(columnCount(), std::u16string());
        SetNumericColumns(std::move(numeric));
    }
    size_t rowCount() const override { return rows_.size(); }
    std::u16string_view Text(size_t row, size_t column) const override {
        const Cell& cell = rows_[row][column];
        return cell ? std::u16string_view(*cell) : std::u16string_view(u"NULL");
    }
    bool IsNull(size_t row, size_t column) const override { return !rows_[row][column]; }
    bool IsSpilled(size_t row, size_t column) const override {
        return spilled_.count({row, column}) != 0;
    }

  private:
    std::vector<std::vector<Cell>> rows_;
    std::set<std::pair<size_t, size_t>> spilled_;
};

void Show(CGridModel& model, std::shared_ptr<const CGridWindow> window) {
    model.ShowRows(std::move(window));
    model.Publish();
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class RecordGridTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void CellsShowValuesForWhatTheyAre();
    void LongValuesAreCutInTheCellOnly();
    void CopiesCellsAsTabSeparatedText();
    void ViewerShowsTextHexAndLength();
    void ViewerSavesTheValueThroughTheDesktop();
    void ViewerOpensTheSpilledFile();
    void SpilledValueIsReadFromItsPartOfTheFile();
    void GridKeysAndMenuReachTheViewerAndTheClipboard();
};

void RecordGridTest::CellsShowValuesForWhatTheyAre() {
    CGridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Show(model, std::make_shared<CCellsWindow>(
                    std::vector<std::u16string>{u"id", u"name"},
                    std::vector<std::vector<CCellsWindow::Cell>>{{u"1", u"NULL"}, {u"-2", {}}},
                    std::vector<bool>{true, false}));
    struct Case {
        int row, column;
        const char* text;
        bool null;
        bool right;
    };
    const Case cases[] = {
        {0, 0, "1", false, true},
        {0, 1, "NULL", false, false},  // the text 'NULL'
        {1, 0, "-2", false, true},
        {1, 1, "NULL", true, false},  // a NULL value
    };
    for (const Case& c : cases) {
        const QModelIndex cell = model.index(c.row, c.column);
        QCOMPARE(cell.data().toString(), QString::fromLatin1(c.text));
        QCOMPARE(cell.data(CGridModel::kNullRole).toBool(), c.null);
        const QVariant font = cell.data(Qt::FontRole);
        QCOMPARE(font.isValid() && font.value<QFont>().italic(), c.null);
        QCOMPARE(cell.data(Qt::ForegroundRole).isValid(), c.null);
        const auto align = cell.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        QCOMPARE(bool(align & Qt::AlignRight), c.right);
    }
    // Windows that know nothing of their columns leave every column left.
    Show(model,
         std::make_shared<CTextGridWindow>(std::vector<std::u16string>{u"a"},
                                           std::vector<std::vector<std::u16string>>{{u"7"}}));
    QVERIFY(!model.index(0, 0).data(Qt::TextAlignmentRole).isValid());
}

void RecordGridTest::LongValuesAreCutInTheCellOnly() {
    const std::u16string exact(kCellTextLimit, u'a');
    const std::u16string longer = exact + u"bc";
    // A surrogate pair that the cut would split: the cell stops before it.
    const std::u16string pair = std::u16string(kCellTextLimit - 1, u'x') + u"\U0001F600" + u"yz";
    CGridModel model;
    Show(model, std::make_shared<CTextGridWindow>(
                    std::vector<std::u16string>{u"v"},
                    std::vector<std::vector<std::u16string>>{{exact}, {longer}, {pair}}));
    const QString mark{QChar(kCellCutMark)};
    struct Case {
        int row;
        QString shown;
        std::u16string full;
    };
    const Case cases[] = {
        {0, QString(kCellTextLimit, QLatin1Char('a')), exact},
        {1, QString(kCellTextLimit, QLatin1Char('a')) + mark, longer},
        {2, QString(kCellTextLimit - 1, QLatin1Char('x')) + mark, pair},
    };
    for (const Case& c : cases) {
        const QModelIndex cell = model.index(c.row, 0);
        QCOMPARE(cell.data().toString(), c.shown);
        QCOMPARE(cell.data(CGridModel::kFullTextRole).toString(),
                 QString::fromStdU16String(c.full));
        // The tooltip shows the start of a long value, as before.
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(), QString::fromStdU16String(c.full));
    }
}

void RecordGridTest::CopiesCellsAsTabSeparatedText() {
    CGridModel model;
    Show(model,
         std::make_shared<CCellsWindow>(
             std::vector<std::u16string>{u"a", u"b", u"c"},
             std::vector<std::vector<CCellsWindow::Cell>>{
                 {u"1", u"x", u"p"}, {u"2", {}, u"tab\there"}, {u"3", u"say \"hi\"", u"l1\nl2"}}));
    const auto cells = [&model](std::initializer_list<std::pair<int, int>> at) {
        QModelIndexList list;
        for (auto [r, c] : at) list << model.index(r, c);
        return list;
    };
    struct Case {
        const char* what;
        QModelIndexList cells;
        bool header;
        QString text;
    };
    const Case cases[] = {
        {"one cell", cells({{0, 1}}), false, QStringLiteral("x\n")},
        {"a range in any order", cells({{1, 1}, {0, 0}, {1, 0}, {0, 1}}), false,
         QStringLiteral("1\tx\n2\tNULL\n")},
        {"with header", cells({{0, 0}, {0, 2}}), true, QStringLiteral("a\tc\n1\tp\n")},
        {"a gap in the rectangle", cells({{0, 0}, {1, 1}}), false, QStringLiteral("1\t\n\tNULL\n")},
        {"quoted fields", cells({{1, 2}, {2, 1}, {2, 2}}), false,
         QStringLiteral("\t\"tab\there\"\n\"say \"\"hi\"\"\"\t\"l1\nl2\"\n")},
        {"nothing", {}, true, QString()},
        {"cells of no grid", QModelIndexList{QModelIndex()}, false, QString()},
    };
    for (const Case& c : cases) QCOMPARE(model.CopyText(c.cells, c.header), c.text);
}

void RecordGridTest::ViewerShowsTextHexAndLength() {
    test::CScriptedDesktop desktop;
    struct Case {
        const char* what;
        CValueViewerDlg::Value value;
        QString text;
        QString hexStart;
        QString length;
        bool canSave;
    };
    const Case cases[] = {
        {"text",
         {QStringLiteral("name"), 0, QStringLiteral("AB\u00e9"), false, {}},
         QStringLiteral("AB\u00e9"),
         QStringLiteral("00000000  41 42 c3 a9 "),
         QStringLiteral("Length: 3 characters, 4 bytes in UTF-8"),
         true},
        {"NULL",
         {QStringLiteral("name"), 1, QStringLiteral("NULL"), true, {}},
         QStringLiteral("NULL"),
         QString(),
         QStringLiteral("NULL: no value"),
         false},
    };
    for (const Case& c : cases) {
        CValueViewerDlg viewer(desktop, c.value);
        QCOMPARE(viewer.textView()->toPlainText(), c.text);
        QVERIFY(viewer.hexView()->toPlainText().startsWith(c.hexStart));
        QCOMPARE(viewer.lengthLabel()->text(), c.length);
        QCOMPARE(viewer.saveButton()->isEnabled(), c.canSave);
        QCOMPARE(viewer.saveButton()->text(), QStringLiteral("Save value as..."));
    }

    // The dump: sixteen bytes a line with their ASCII, and a limit.
    const QByteArray bytes("0123456789abcdefXY\x01", 19);
    QCOMPARE(HexDump(bytes),
             QStringLiteral("00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  "
                            "0123456789abcdef\n"
                            "00000010  58 59 01                                          XY.\n"));
    QCOMPARE(HexDump(bytes, 16).section(QLatin1Char('\n'), 1),
             QStringLiteral("... 3 more bytes not shown\n"));
    QCOMPARE(HexDump(QByteArray()), QString());
}

void RecordGridTest::ViewerSavesTheValueThroughTheDesktop() {
    QTemporaryDir dir;
    test::CScriptedDesktop desktop;
    const QString text = QStringLiteral("line 1\nline 2 \u20ac");
    CValueViewerDlg viewer(desktop, {QStringLiteral("a/b:c"), 3, text, false, {}});

    // Cancelled: nothing written, nothing said.
    QVERIFY(!viewer.SaveValue());
    QCOMPARE(desktop.suggestedNames, QStringList{QStringLiteral("a_b_c.txt")});

    const QString target = dir.filePath(QStringLiteral("value.txt"));
    desktop.saveAs.push_back(target.toStdU16String());
    QTest::mouseClick(viewer.saveButton(), Qt::LeftButton);
    QCOMPARE(ReadAll(target), text.toUtf8());
    QVERIFY(desktop.messages.isEmpty());

    // A file that cannot be written is said so.
    const QString bad = dir.filePath(QStringLiteral("no/such/folder/value.txt"));
    desktop.saveAs.push_back(bad.toStdU16String());
    QVERIFY(!viewer.SaveValue());
    QCOMPARE(desktop.messages,
             QStringList{QStringLiteral("The value could not be saved to ") + bad});
}

void RecordGridTest::ViewerOpensTheSpilledFile() {
    QTemporaryDir dir;
    const QString spill = dir.filePath(QStringLiteral("spill_1.dat"));
    const QByteArray bytes("\x00\x01stored\xff", 9);
    {
        QFile file(spill);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    CGridModel model;
    Show(model,
         std::make_shared<CCellsWindow>(
             std::vector<std::u16string>{u"doc"},
             std::vector<std::vector<CCellsWindow::Cell>>{{spill.toStdU16String()}, {u"inline"}},
             std::vector<bool>{}, std::set<std::pair<size_t, size_t>>{{0, 0}}));
    QCOMPARE(model.index(0, 0).data(CGridModel::kSpillFileRole).toString(), spill);
    QCOMPARE(model.index(1, 0).data(CGridModel::kSpillFileRole).toString(), QString());

    test::CScriptedDesktop desktop;
    CValueViewerDlg viewer(desktop, {QStringLiteral("doc"), 0, spill, false, spill});
    QCOMPARE(viewer.bytes(), bytes);
    QVERIFY(viewer.hexView()->toPlainText().startsWith(QStringLiteral("00000000  00 01 73")));
    QVERIFY(viewer.lengthLabel()->text().startsWith(QStringLiteral("Length: 9 bytes, from ")));
    const QString target = dir.filePath(QStringLiteral("copy.bin"));
    desktop.saveAs.push_back(target.toStdU16String());
    QVERIFY(viewer.SaveValue());
    QCOMPARE(ReadAll(target), bytes);
    QCOMPARE(desktop.suggestedNames, QStringList{QStringLiteral("doc.bin")});

    // A spill file that is gone: said in the viewer, nothing to save.
    const QString gone = dir.filePath(QStringLiteral("gone.dat"));
    CValueViewerDlg missing(desktop, {QStringLiteral("doc"), 0, gone, false, gone});
    QVERIFY(missing.lengthLabel()->text().contains(gone));
    QVERIFY(!missing.saveButton()->isEnabled());
}

// A spill file may hold several values, each at its offset: the viewer and
// its save take the value's bytes only, and a part that runs past the end of
// a cut file is read as far as the file goes.
void RecordGridTest::SpilledValueIsReadFromItsPartOfTheFile() {
    QTemporaryDir dir;
    const QString spill = dir.filePath(QStringLiteral("spill_window.dat"));
    {
        QFile file(spill);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("head|VALUE|tail");
    }
    const struct {
        qint64 offset, length, from, max;
        const char* bytes;
        qint64 total;
    } cases[] = {
        {0, -1, 0, 100, "head|VALUE|tail", 15},
        {5, 5, 0, 100, "VALUE", 5},
        {5, 5, 2, 100, "LUE", 5},
        {5, 5, 1, 2, "AL", 5},
        {5, 5, 5, 100, "", 5},
        {11, 100, 0, 100, "tail", 4},
        {40, 4, 0, 100, "", 0},
        {5, -1, 0, 100, "VALUE|tail", 10},
    };
    for (const auto& c : cases) {
        QByteArray out("stale");
        qint64 total = -1;
        QVERIFY(ReadSpilledValue({spill, c.offset, c.length}, c.from, c.max, out, total));
        QCOMPARE(out, QByteArray(c.bytes));
        QCOMPARE(total, c.total);
    }
    QByteArray out;
    qint64 total = 0;
    QVERIFY(
        !ReadSpilledValue({dir.filePath(QStringLiteral("gone.dat")), 0, -1}, 0, 10, out, total));

    test::CScriptedDesktop desktop;
    CValueViewerDlg viewer(desktop, {QStringLiteral("doc"), 0, spill, false, spill, 5, 5});
    QCOMPARE(viewer.bytes(), QByteArray("VALUE"));
    QCOMPARE(viewer.lengthLabel()->text(),
             QStringLiteral("Length: 5 bytes, from %1 at offset 5").arg(spill));
    QVERIFY(viewer.hexView()->toPlainText().startsWith(QStringLiteral("00000000  56 41 4c 55 45")));
    const QString target = dir.filePath(QStringLiteral("value.bin"));
    desktop.saveAs.push_back(target.toStdU16String());
    QVERIFY(viewer.SaveValue());
    QCOMPARE(ReadAll(target), QByteArray("VALUE"));
}

void RecordGridTest::GridKeysAndMenuReachTheViewerAndTheClipboard() {
    test::CScriptedDesktop desktop;
    CBrixStatic panel;
    panel.resize(600, 400);
    panel.ShowGrid(true);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    CGridModel& model = panel.gridModel();
    Show(model, std::make_shared<CCellsWindow>(
                    std::vector<std::u16string>{u"id", u"note"},
                    std::vector<std::vector<CCellsWindow::Cell>>{{u"1", u"first"}, {u"2", {}}}));
    QTableView* grid = panel.grid();

    // Without a desktop there is no viewer.
    QVERIFY(panel.ViewValue(model.index(0, 1)) == nullptr);
    panel.SetDesktop(&desktop);

    // A double click opens the viewer on that cell.
    const QRect cell = grid->visualRect(model.index(0, 1));
    QVERIFY(grid->isVisible() && !cell.isEmpty());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(panel.valueViewer() != nullptr);
    QCOMPARE(panel.valueViewer()->textView()->toPlainText(), QStringLiteral("first"));
    panel.valueViewer()->close();
    QTRY_VERIFY(panel.valueViewer() == nullptr);

    // Enter on the current cell opens it too.
    grid->setFocus();
    grid->setCurrentIndex(model.index(1, 1));
    QTest::keyClick(grid, Qt::Key_Return);
    QVERIFY(panel.valueViewer() != nullptr);
    QCOMPARE(panel.valueViewer()->lengthLabel()->text(), QStringLiteral("NULL: no value"));

    // Ctrl+C copies the selected range.
    grid->clearSelection();
    grid->selectionModel()->select(QItemSelection(model.index(0, 0), model.index(1, 1)),
                                   QItemSelectionModel::Select);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1\tfirst\n2\tNULL\n"));

    // The context menu: its entries, Copy with header, and no saving a NULL.
    std::unique_ptr<QMenu> menu(panel.CreateGridMenu(model.index(1, 1)));
    QStringList entries;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) entries << action->text();
    QCOMPARE(entries,
             (QStringList{QStringLiteral("Copy"), QStringLiteral("Copy with header"),
                          QStringLiteral("View value"), QStringLiteral("Save value as...")}));
    QVERIFY(!menu->actions().last()->isEnabled());
    menu->actions()[1]->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("id\tnote\n1\tfirst\n2\tNULL\n"));

    // Save value as... from the menu opens the viewer and asks for a file.
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("id.txt"));
    desktop.saveAs.push_back(target.toStdU16String());
    menu.reset(panel.CreateGridMenu(model.index(0, 0)));
    menu->actions().last()->trigger();
    QCOMPARE(ReadAll(target), QByteArray("1"));
    QCOMPARE(panel.valueViewer()->windowTitle(), QStringLiteral("Value - id"));
}

QTEST_MAIN(RecordGridTest)
#include "record_grid_test.moc"
