// The check-box tree: how check states propagate, what GetCheckedCount counts,
// and which clicks reach the selection handler.

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <functional>
#include <map>

#include "catalogue/catalogue.h"
#include "ui/xhtml_tree.h"

using namespace brix;

namespace {

// A catalogue-shaped tree: root / path / two databases, the first with two
// tables (each with Keys), a view and a trigger file, the second with one
// table.
struct SampleTree {
    explicit SampleTree(CXHtmlTreeModel& m) : model(m) {
        root = Add(u"MYSQL database", kNoTreeItem);
        path = Add(u"/data/", root);
        shop = Add(u"shop", path);
        tables = Add(u"Tables", shop);
        orders = Add(u"orders", tables, 1);
        ordersKeys = Add(u"Keys", orders, ItemData::kKeys, TreeImage::kKeys);
        items = Add(u"items", tables, 2);
        itemsKeys = Add(u"Keys", items, ItemData::kKeys, TreeImage::kKeys);
        views = Add(u"Views", shop, ItemData::kViews, TreeImage::kViews);
        view = Add(u"v_totals", views, 1);
        triggers = Add(u"Trigger", shop, ItemData::kTriggers, TreeImage::kTriggers);
        trigger = Add(u"orders", triggers, 1);
        other = Add(u"other", path);
        otherTables = Add(u"Tables", other);
        notes = Add(u"notes", otherTables, 3);
        notesKeys = Add(u"Keys", notes, ItemData::kKeys, TreeImage::kKeys);
    }

    TreeItem Add(const char16_t* text, TreeItem parent, int64_t data = ItemData::kFolder,
                 int image = TreeImage::kFolder) {
        const TreeItem item = next++;
        model.InsertItem(item, QString::fromUtf16(text), image, parent);
        model.SetItemData(item, data);
        return item;
    }

    CXHtmlTreeModel& model;
    TreeItem next = 1;
    TreeItem root, path, shop, tables, orders, ordersKeys, items, itemsKeys, views, view, triggers,
        trigger, other, otherTables, notes, notesKeys;
};

Qt::CheckState State(const CXHtmlTreeModel& model, TreeItem item) {
    return static_cast<Qt::CheckState>(model.IndexOf(item).data(Qt::CheckStateRole).toInt());
}

// Every item of the tree, depth first.
void Walk(const CXHtmlTreeModel& model, TreeItem item, const std::function<void(TreeItem)>& f) {
    for (TreeItem child : model.Children(item)) {
        f(child);
        Walk(model, child, f);
    }
}

}  // namespace

class XHtmlTreeTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void CheckingADatabaseChecksEverythingBelowIt();
    void UncheckingOneTableLeavesTheDatabasePartlyChecked();
    void CheckingThePartlyCheckedNodeChecksItsWholeSubtree();
    void AnUncheckedItemInsertedUnderACheckedNodeMakesItPartlyChecked();
    void EmptyTreeAndCheckBoxesOffCountNothing();
    void DisabledItemCannotBeCheckedOrSelected();
    void CountsStayConsistentUnderRandomEdits();
    void RowClicksAndTheKeyboardOpenItemsCheckBoxClicksDoNot();
    void LockedTreeIsDisabledAndGreyed();
    void NodePicturesFollowTheirKind();
    void FilterKeepsMatchingObjectsAndTheirDatabases();
    void FilterLeavesTicksAndSelectionAndTakesLaterItems();
    void AMarkSetsTheTooltipAndTheWarningPictureAndComesOffAgain();
};

void XHtmlTreeTest::CheckingADatabaseChecksEverythingBelowIt() {
    CXHtmlTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    SampleTree t(model);
    QSignalSpy clicked(&model, &CXHtmlTreeModel::checkBoxClicked);

    model.SetCheck(t.shop, true);
    for (TreeItem item : {t.shop, t.tables, t.orders, t.ordersKeys, t.items, t.itemsKeys, t.views,
                          t.view, t.triggers, t.trigger}) {
        QVERIFY(model.GetCheck(item));
        QCOMPARE(State(model, item), Qt::Checked);
    }
    QCOMPARE(model.GetCheckedCount(), 10);
    // The path node holds a second, unchecked database.
    QVERIFY(!model.GetCheck(t.path));
    QCOMPARE(State(model, t.path), Qt::PartiallyChecked);
    QCOMPARE(State(model, t.root), Qt::PartiallyChecked);
    QCOMPARE(State(model, t.other), Qt::Unchecked);
    QCOMPARE(clicked.count(), 1);

    // Checking the other database too completes the path and the root.
    model.SetCheck(t.other, true);
    QVERIFY(model.GetCheck(t.path));
    QVERIFY(model.GetCheck(t.root));
    QCOMPARE(model.GetCheckedCount(), 16);
    QCOMPARE(model.GetItemRecord(t.root)->checkedDescendantCount, 15);
}

void XHtmlTreeTest::UncheckingOneTableLeavesTheDatabasePartlyChecked() {
    CXHtmlTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    SampleTree t(model);
    model.SetCheck(t.shop, true);
    model.SetCheck(t.orders, false);

    QCOMPARE(State(model, t.shop), Qt::PartiallyChecked);
    QCOMPARE(State(model, t.tables), Qt::PartiallyChecked);
    QVERIFY(!model.GetCheck(t.shop));
    QVERIFY(!model.GetCheck(t.tables));
    QVERIFY(!model.GetCheck(t.ordersKeys));
    // items, its Keys, Views, the view, Trigger and the trigger file.
    QCOMPARE(model.GetCheckedCount(), 6);
    QCOMPARE(model.GetItemRecord(t.shop)->checkedDescendantCount, 6);

    // Unchecking a leaf on its own: its parent table turns partly checked.
    model.SetCheck(t.itemsKeys, false);
    QCOMPARE(State(model, t.items), Qt::Unchecked);
    QCOMPARE(model.GetCheckedCount(), 4);
}

void XHtmlTreeTest::CheckingThePartlyCheckedNodeChecksItsWholeSubtree() {
    CXHtmlTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    SampleTree t(model);
    model.SetCheck(t.view, true);
    QCOMPARE(State(model, t.shop), Qt::PartiallyChecked);
    // A click toggles the item's own state: a partly checked node is not
    // checked, so the click checks it with everything below.
    QVERIFY(model.setData(model.IndexOf(t.shop), Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(State(model, t.shop), Qt::Checked);
    QCOMPARE(model.GetCheckedCount(), 10);
    QVERIFY(model.setData(model.IndexOf(t.shop), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(model.GetCheckedCount(), 0);
    QCOMPARE(State(model, t.path), Qt::Unchecked);
}

void XHtmlTreeTest::AnUncheckedItemInsertedUnderACheckedNodeMakesItPartlyChecked() {
    CXHtmlTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    SampleTree t(model);
    model.SetCheck(t.path, true);
    QVERIFY(model.GetCheck(t.root));
    const int before = model.GetCheckedCount();

    const TreeItem extra = t.Add(u"extra", t.orders, 9);
    QCOMPARE(State(model, t.orders), Qt::PartiallyChecked);
    QCOMPARE(State(model, t.shop), Qt::PartiallyChecked);
    QCOMPARE(State(model, t.root), Qt::PartiallyChecked);
    QVERIFY(!model.GetCheck(extra));
    // orders, Tables, shop, the path and the root are no longer checked.
    QCOMPARE(model.GetCheckedCount(), before - 5);

    // A checked leaf that gets an unchecked child is unchecked by its count.
    model.SetCheck(t.view, true);
    const TreeItem below = t.Add(u"below", t.trigger, 1);
    Q_UNUSED(below);
    QCOMPARE(State(model, t.trigger), Qt::Unchecked);
    QCOMPARE(State(model, t.triggers), Qt::Unchecked);
}

void XHtmlTreeTest::EmptyTreeAndCheckBoxesOffCountNothing() {
    CXHtmlTreeModel model;
    QCOMPARE(model.GetCheckedCount(), 0);
    SampleTree t(model);
    model.SetCheck(t.shop, true);
    model.SetCheckBoxes(false);
    QCOMPARE(model.GetCheckedCount(), 0);
    QVERIFY(!model.IndexOf(t.shop).data(Qt::CheckStateRole).isValid());
    model.SetCheck(t.other, true);
    model.SetCheckBoxes(true);
    QCOMPARE(model.GetCheckedCount(), 10);
    model.DeleteAllItems();
    QCOMPARE(model.GetCheckedCount(), 0);
    QCOMPARE(model.rowCount(), 0);
    // Handles of the emptied tree name nothing.
    QVERIFY(!model.GetItemRecord(t.shop));
    QCOMPARE(model.GetItemText(t.shop), QString());
}

void XHtmlTreeTest::DisabledItemCannotBeCheckedOrSelected() {
    CXHtmlTree tree;
    SampleTree t(tree.model());
    tree.model().EnableItem(t.orders, false);
    tree.model().SetCheck(t.orders, true);
    QVERIFY(!tree.model().GetCheck(t.orders));
    QVERIFY(!tree.model().setData(tree.model().IndexOf(t.orders), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(tree.model().flags(tree.model().IndexOf(t.orders)), Qt::NoItemFlags);
    tree.SelectItem(t.items);
    tree.SelectItem(t.orders);
    QCOMPARE(tree.GetSelectedItem(), t.items);
}

// After any mix of checks, unchecks and insertions, every item counts exactly
// its checked descendants, and an item with descendants is checked exactly
// when all of them are.
void XHtmlTreeTest::CountsStayConsistentUnderRandomEdits() {
    CXHtmlTreeModel model;
    SampleTree t(model);
    QRandomGenerator random(20240305);
    std::vector<TreeItem> all;
    Walk(model, kNoTreeItem, [&](TreeItem item) { all.push_back(item); });
    for (int step = 0; step < 400; ++step) {
        const TreeItem item = all[random.bounded(static_cast<int>(all.size()))];
        if (random.bounded(5) == 0) {
            all.push_back(t.Add(u"new", item, 1));
        } else if (random.bounded(2) == 0) {
            model.SetCheck(item, !model.GetItemRecord(item)->checked);
        } else {
            model.SetCheck(item, random.bounded(2) == 0);
        }
        for (TreeItem node : all) {
            int descendants = 0;
            int checked = 0;
            Walk(model, node, [&](TreeItem below) {
                ++descendants;
                if (model.GetItemRecord(below)->checked) ++checked;
            });
            const XHTMLTREEDATA& record = *model.GetItemRecord(node);
            QCOMPARE(record.descendantCount, descendants);
            QCOMPARE(record.checkedDescendantCount, checked);
            if (descendants > 0) QCOMPARE(record.checked, checked == descendants);
        }
        int count = 0;
        for (TreeItem node : all)
            if (model.GetCheck(node)) ++count;
        QCOMPARE(model.GetCheckedCount(), count);
    }
}

void XHtmlTreeTest::RowClicksAndTheKeyboardOpenItemsCheckBoxClicksDoNot() {
    CXHtmlTree tree;
    QAbstractItemModelTester tester(&tree.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    SampleTree t(tree.model());
    tree.resize(400, 400);
    tree.expandAll();
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    QSignalSpy labels(&tree, &CXHtmlTree::labelClicked);

    const QRect label = tree.LabelRect(t.orders);
    QVERIFY(!label.isEmpty());
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, label.center());
    QCOMPARE(labels.count(), 1);
    QCOMPARE(labels.at(0).at(0).value<TreeItem>(), t.orders);
    QCOMPARE(tree.GetSelectedItem(), t.orders);
    // Again on the item already selected.
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, label.center());
    QCOMPARE(labels.count(), 2);

    // The check box toggles the check and selects the item, without a label
    // click.
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.CheckBoxCentre(t.view));
    QCOMPARE(labels.count(), 2);
    QVERIFY(tree.model().GetCheck(t.view));
    QCOMPARE(tree.GetSelectedItem(), t.view);

    // Anywhere else on the row opens the item too: its picture, the space
    // right of its label, even right of the column.
    const QRect picture = tree.LabelRect(t.items);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {},
                      QPoint(picture.left() - 6, picture.center().y()));
    QCOMPARE(labels.count(), 3);
    QCOMPARE(labels.at(2).at(0).value<TreeItem>(), t.items);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {},
                      QPoint(tree.viewport()->width() - 2, label.center().y()));
    QCOMPARE(labels.count(), 4);
    QCOMPARE(labels.at(3).at(0).value<TreeItem>(), t.orders);
    // The right button does not.
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, tree.LabelRect(t.items).center());
    QCOMPARE(tree.GetSelectedItem(), t.items);
    QCOMPARE(labels.count(), 4);

    // The keyboard: Enter opens at once; arrows open the item they stop on,
    // once, after a pause.
    tree.setFocus();
    QTest::keyClick(&tree, Qt::Key_Return);
    QCOMPARE(labels.count(), 5);
    QCOMPARE(labels.at(4).at(0).value<TreeItem>(), t.items);
    QTest::keyClick(&tree, Qt::Key_Up);
    QTest::keyClick(&tree, Qt::Key_Down);
    QTest::keyClick(&tree, Qt::Key_Down);
    const TreeItem reached = tree.GetSelectedItem();
    QVERIFY(reached != t.items);
    QCOMPARE(labels.count(), 5);
    QTRY_COMPARE(labels.count(), 6);
    QCOMPARE(labels.at(5).at(0).value<TreeItem>(), reached);
    QTest::qWait(2 * CXHtmlTree::kKeyboardOpenDelayMs);
    QCOMPARE(labels.count(), 6);
}

void XHtmlTreeTest::LockedTreeIsDisabledAndGreyed() {
    QCOMPARE(LockedTreeBackground(QColor(255, 255, 255)), QColor(245, 245, 245));
    QCOMPARE(LockedTreeBackground(QColor(5, 10, 200)), QColor(5, 0, 190));
    CXHtmlTree tree;
    const QColor base = tree.palette().color(QPalette::Active, QPalette::Base);
    tree.LockTree();
    QVERIFY(!tree.isEnabled());
    QCOMPARE(tree.palette().color(QPalette::Disabled, QPalette::Base), LockedTreeBackground(base));
    tree.UnlockTree();
    QVERIFY(tree.isEnabled());
    QVERIFY(!tree.IsLocked());
}

void XHtmlTreeTest::NodePicturesFollowTheirKind() {
    CXHtmlTreeModel model;
    SampleTree t(model);
    const std::map<TreeItem, TreeNodeKind> expected = {
        {t.root, TreeNodeKind::kRoot},         {t.path, TreeNodeKind::kFolder},
        {t.shop, TreeNodeKind::kDatabase},     {t.tables, TreeNodeKind::kFolder},
        {t.orders, TreeNodeKind::kTable},      {t.ordersKeys, TreeNodeKind::kKeys},
        {t.views, TreeNodeKind::kViews},       {t.view, TreeNodeKind::kView},
        {t.triggers, TreeNodeKind::kTriggers}, {t.trigger, TreeNodeKind::kTrigger},
    };
    for (const auto& [item, kind] : expected) {
        QCOMPARE(model.Kind(item), kind);
        QVERIFY(!model.IndexOf(item).data(Qt::DecorationRole).value<QIcon>().isNull());
    }
}

void XHtmlTreeTest::FilterKeepsMatchingObjectsAndTheirDatabases() {
    CXHtmlTree tree;
    SampleTree t(tree.model());
    const std::vector<TreeItem> all = {
        t.root,  t.path, t.shop,     t.tables,  t.orders, t.ordersKeys,  t.items, t.itemsKeys,
        t.views, t.view, t.triggers, t.trigger, t.other,  t.otherTables, t.notes, t.notesKeys};
    struct Case {
        const char* filter;
        std::vector<TreeItem> shown;
    };
    const Case cases[] = {
        // A table and the trigger of the same name, each with its list and
        // database, the table with its Keys.
        {"ORD", {t.root, t.path, t.shop, t.tables, t.orders, t.ordersKeys, t.triggers, t.trigger}},
        {"tot", {t.root, t.path, t.shop, t.views, t.view}},
        {"e",
         {t.root, t.path, t.shop, t.tables, t.orders, t.ordersKeys, t.items, t.itemsKeys,
          t.triggers, t.trigger, t.other, t.otherTables, t.notes, t.notesKeys}},
        // Names of databases, lists and Keys are not what the box finds.
        {"shop", {t.root}},
        {"keys", {t.root}},
        {"", all},
    };
    for (const Case& c : cases) {
        tree.SetFilter(QString::fromLatin1(c.filter));
        QStringList wrong;
        for (TreeItem item : all) {
            const bool shown = std::find(c.shown.begin(), c.shown.end(), item) != c.shown.end();
            if (tree.IsFilteredOut(item) == shown)
                wrong << tree.model().GetItemText(item) + QString::number(item);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(QString::fromLatin1(c.filter) + QLatin1String(": ") +
                                             wrong.join(QLatin1Char(' '))));
    }
}

void XHtmlTreeTest::FilterLeavesTicksAndSelectionAndTakesLaterItems() {
    CXHtmlTree tree;
    SampleTree t(tree.model());
    tree.model().SetCheck(t.notes, true);
    tree.SelectItem(t.notes);
    tree.SetFilter(QStringLiteral("items"));
    QVERIFY(tree.IsFilteredOut(t.notes));
    QVERIFY(!tree.IsFilteredOut(t.items));
    QCOMPARE(tree.GetSelectedItem(), t.notes);
    QCOMPARE(tree.GetCheckedCount(), tree.model().GetCheckedCount());
    QVERIFY(tree.model().GetCheck(t.notes));

    // A table that arrives while the filter is set is filtered once it knows
    // what it is.
    const TreeItem late = t.Add(u"late_items", t.otherTables, 4);
    const TreeItem other = t.Add(u"unrelated", t.otherTables, 5);
    QTRY_VERIFY(!tree.IsFilteredOut(late));
    QVERIFY(tree.IsFilteredOut(other));
    QVERIFY(!tree.IsFilteredOut(t.other));

    tree.SetFilter(QString());
    for (TreeItem item : {t.notes, other, late, t.other}) QVERIFY(!tree.IsFilteredOut(item));
    QCOMPARE(tree.GetSelectedItem(), t.notes);
    QVERIFY(tree.model().GetCheck(t.notes));
}

void XHtmlTreeTest::AMarkSetsTheTooltipAndTheWarningPictureAndComesOffAgain() {
    CXHtmlTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    SampleTree t(model);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QImage plain =
        model.IndexOf(t.orders).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    model.SetMark(t.orders, QStringLiteral("damaged: 2 findings, see the log"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.IndexOf(t.orders).data(Qt::ToolTipRole).toString(),
             QStringLiteral("damaged: 2 findings, see the log"));
    QCOMPARE(model.IndexOf(t.orders).data().toString(), QStringLiteral("orders"));
    QVERIFY(model.IndexOf(t.orders).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage() !=
            plain);
    // The same mark again changes nothing; other items keep theirs (none).
    model.SetMark(t.orders, QStringLiteral("damaged: 2 findings, see the log"));
    QCOMPARE(changed.count(), 1);
    QVERIFY(!model.IndexOf(t.items).data(Qt::ToolTipRole).isValid());
    // An empty reason takes the mark off; an item that is not there is
    // ignored.
    model.SetMark(t.orders, QString());
    QVERIFY(!model.IndexOf(t.orders).data(Qt::ToolTipRole).isValid());
    QCOMPARE(model.IndexOf(t.orders).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage(),
             plain);
    model.SetMark(9999, QStringLiteral("x"));
    QCOMPARE(model.GetMark(9999), QString());
}

QTEST_MAIN(XHtmlTreeTest)
#include "xhtml_tree_test.moc"
