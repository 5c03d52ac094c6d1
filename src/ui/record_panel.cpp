#include "ui/record_panel.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/grid_model.h"
#include "ui/icons.h"
#include "ui/value_viewer_dlg.h"

namespace brix {

namespace {

// Layout of the panel's bottom strip, in pixels.
constexpr int kButtonStrip = 35;  // height the grid leaves free under it
constexpr int kButtonTop = 31;    // buttons' distance from the bottom edge
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 25;
constexpr int kPreviousFromRight = 120;
constexpr int kNextFromRight = 65;
constexpr int kColumnWidth = 200;

QToolButton* MakePagingButton(QWidget* parent, const QString& icon, const char* tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(LoadIcon(icon));
    button->setIconSize(QSize(20, 20));
    button->setToolTip(QString::fromLatin1(tip));
    button->setAccessibleName(QString::fromLatin1(tip));
    button->setAutoRaise(false);
    return button;
}

}  // namespace

CBrixStatic::CBrixStatic(QWidget* parent)
    : QWidget(parent),
      gridModel_(new CGridModel(this)),
      grid_(new QTableView(this)),
      textBox_(new QPlainTextEdit(this)),
      previous_(MakePagingButton(this, QStringLiteral("previous"), kPreviousRecordsText)),
      next_(MakePagingButton(this, QStringLiteral("next"), kNextRecordsText)),
      label_(new QLabel(this)) {
    grid_->setModel(gridModel_);
    grid_->setShowGrid(true);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setWordWrap(false);
    grid_->setAlternatingRowColors(true);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    grid_->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid_->horizontalHeader()->setHighlightSections(false);
    QFont headerFont = grid_->horizontalHeader()->font();
    headerFont.setBold(true);
    grid_->horizontalHeader()->setFont(headerFont);

    textBox_->setReadOnly(true);
    textBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    textBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    textBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Definitions are SQL: a fixed-pitch font keeps their indentation.
    textBox_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    grid_->installEventFilter(this);
    connect(grid_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& cell) { ViewValue(cell); });
    connect(grid_, &QTableView::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = CreateGridMenu(grid_->indexAt(pos));
        menu->exec(grid_->viewport()->mapToGlobal(pos));
        delete menu;
    });

    connect(previous_, &QToolButton::clicked, this, &CBrixStatic::previousRecordsClicked);
    connect(next_, &QToolButton::clicked, this, &CBrixStatic::nextRecordsClicked);

    grid_->hide();
    label_->hide();
    previous_->hide();
    next_->hide();
    textBox_->show();
    Relayout();
}

bool CBrixStatic::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy)) {
            CopySelection(false);
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            grid_->currentIndex().isValid()) {
            ViewValue(grid_->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

CValueViewerDlg* CBrixStatic::ViewValue(const QModelIndex& cell) {
    if (desktop_ == nullptr || !cell.isValid() || cell.model() != gridModel_) return nullptr;
    CValueViewerDlg::Value value;
    value.column = gridModel_->headerData(cell.column(), Qt::Horizontal).toString();
    value.row = cell.row();
    value.text = cell.data(CGridModel::kFullTextRole).toString();
    value.isNull = cell.data(CGridModel::kNullRole).toBool();
    value.spillFile = cell.data(CGridModel::kSpillFileRole).toString();
    if (viewer_) viewer_->close();
    viewer_ = new CValueViewerDlg(*desktop_, value, this);
    viewer_->setAttribute(Qt::WA_DeleteOnClose);
    viewer_->show();
    return viewer_;
}

CValueViewerDlg* CBrixStatic::valueViewer() const {
    return viewer_;
}

void CBrixStatic::CopySelection(bool withHeader) {
    QModelIndexList cells = grid_->selectionModel()->selectedIndexes();
    if (cells.isEmpty() && grid_->currentIndex().isValid()) cells << grid_->currentIndex();
    const QString text = gridModel_->CopyText(cells, withHeader);
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

QMenu* CBrixStatic::CreateGridMenu(const QModelIndex& cell) {
    // Kept valid, or made invalid, by whatever the grid shows meanwhile.
    const QPersistentModelIndex target(cell.isValid() ? cell : grid_->currentIndex());
    auto* menu = new QMenu(this);
    const bool any = target.isValid() || grid_->selectionModel()->hasSelection();
    QAction* copy =
        menu->addAction(QString::fromLatin1(kCopyText), this, [this] { CopySelection(false); });
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(any);
    menu->addAction(QString::fromLatin1(kCopyWithHeaderText), this, [this] { CopySelection(true); })
        ->setEnabled(any);
    menu->addSeparator();
    const bool viewable = target.isValid() && desktop_ != nullptr;
    menu->addAction(QString::fromLatin1(kViewValueText), this,
                    [this, target] { ViewValue(target); })
        ->setEnabled(viewable);
    menu->addAction(QString::fromLatin1(kSaveValueAsText), this,
                    [this, target] {
                        if (CValueViewerDlg* viewer = ViewValue(target)) viewer->SaveValue();
                    })
        ->setEnabled(viewable && !target.data(CGridModel::kNullRole).toBool());
    return menu;
}

void CBrixStatic::ClearGrid(int n) {
    gridModel_->ClearGrid(n);
    textBox_->clear();
}

void CBrixStatic::ShowGrid(bool on) {
    grid_->setVisible(on);
}

void CBrixStatic::ShowTextBox(bool on) {
    textBox_->setVisible(on);
}

void CBrixStatic::SetTextBoxText(const QString& text) {
    textBox_->setPlainText(text);
}

void CBrixStatic::ShowPagingButtons(bool on) {
    previous_->setVisible(on);
    next_->setVisible(on);
    Relayout();
}

void CBrixStatic::ClearLabel() {
    label_->clear();
}

void CBrixStatic::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void CBrixStatic::Relayout() {
    const int w = width();
    const int h = height();
    grid_->setGeometry(0, 0, w, std::max(0, h - kButtonStrip));
    // The text box takes the whole panel unless the paging buttons are shown
    // beneath it.
    const bool buttons = !previous_->isHidden() || !next_->isHidden();
    textBox_->setGeometry(0, 0, w, buttons ? std::max(0, h - kButtonStrip) : h);
    previous_->setGeometry(w - kPreviousFromRight, h - kButtonTop, kButtonWidth, kButtonHeight);
    next_->setGeometry(w - kNextFromRight, h - kButtonTop, kButtonWidth, kButtonHeight);
    label_->setGeometry(10, h - kButtonTop, 490, kButtonHeight);
}

CBrixTallowView::CBrixTallowView(QWidget* parent) : QWidget(parent), panel_(new CBrixStatic(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel_);
}

}  // namespace brix
