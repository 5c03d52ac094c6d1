#include "ui/panes.h"

#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/icons.h"
#include "ui/xhtml_tree.h"

namespace brix {

namespace {

// A frame one pixel wide in the shadow colour around the pane's control.
class CPaneFrame : public QWidget {
  public:
    CPaneFrame(QWidget* inner, QWidget* parent) : QWidget(parent) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(1, 1, 1, 1);
        layout->addWidget(inner);
        setFocusProxy(inner);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

}  // namespace

CFileView::CFileView(QWidget* parent)
    : QDockWidget(QString::fromLatin1(kFileViewTitle), parent),
      tree_(new CXHtmlTree),
      filter_(new QLineEdit) {
    setObjectName(QStringLiteral("FileView"));
    tree_->setFrameShape(QFrame::NoFrame);
    filter_->setPlaceholderText(QString::fromLatin1(kTreeFilterHint));
    filter_->setClearButtonEnabled(true);
    connect(filter_, &QLineEdit::textChanged, tree_, &CXHtmlTree::SetFilter);
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(filter_);
    layout->addWidget(new CPaneFrame(tree_, content), 1);
    content->setFocusProxy(tree_);
    setWidget(content);
    setFocusProxy(tree_);
    setContextMenuPolicy(Qt::PreventContextMenu);
}

CBrixListCtrl::CBrixListCtrl(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUniformItemSizes(true);
    setContextMenuPolicy(Qt::PreventContextMenu);
}

COutputWnd::COutputWnd(QWidget* parent)
    : QDockWidget(QString::fromLatin1(kOutputTitle), parent), list_(new CBrixListCtrl) {
    setObjectName(QStringLiteral("Output"));
    list_->setFrameShape(QFrame::NoFrame);
    setWidget(new CPaneFrame(list_, this));
    setFocusProxy(list_);
    setContextMenuPolicy(Qt::PreventContextMenu);
    // Long lines stay whole: the pane scrolls sideways instead of cutting
    // them short, and each line's tooltip holds all of it.
    list_->setTextElideMode(Qt::ElideNone);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

bool IsErrorLogLine(const QString& text) {
    static const QLatin1String kErrorStarts[] = {QLatin1String("Error"), QLatin1String("Cannot "),
                                                 QLatin1String("Left out"),
                                                 QLatin1String("Saving was stopped")};
    for (const QLatin1String& start : kErrorStarts)
        if (text.startsWith(start)) return true;
    return false;
}

void COutputWnd::InsertRow(int index, const QString& text) {
    const int at = std::clamp(index, 0, list_->count());
    auto* item = new QListWidgetItem(text);
    item->setToolTip(text);
    if (IsErrorLogLine(text)) {
        // Errors stand apart: red and bold, in every look.
        item->setForeground(QColor(0xC0, 0x10, 0x10));
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
    }
    list_->insertItem(at, item);
    list_->scrollToItem(item);
}

void COutputWnd::InsertDamageRow(int index, const QString& text) {
    const int at = std::clamp(index, 0, list_->count());
    auto* item = new QListWidgetItem(WarningIcon(), text);
    item->setToolTip(text);
    item->setData(kDamageRowRole, true);
    // Amber-brown: apart from the ordinary lines and from the red errors.
    item->setForeground(QColor(0x9A, 0x5A, 0x00));
    list_->insertItem(at, item);
    list_->scrollToItem(item);
}

void COutputWnd::DeleteRows() {
    list_->clear();
}

QStringList COutputWnd::Rows() const {
    QStringList rows;
    for (int i = 0; i < list_->count(); ++i) rows << list_->item(i)->text();
    return rows;
}

}  // namespace brix
