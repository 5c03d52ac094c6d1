#include "ui/bars.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/icons.h"

namespace brix {

namespace {

// Where the busy indicator stands on the status bar, in pixels.
constexpr int kProgressLeft = 250;
constexpr int kProgressTop = 3;
constexpr int kProgressHeight = 17;
constexpr int kProgressWidthLess = 560;  // the bar's width less this
constexpr int kLinkMaxWidth = kProgressLeft - 10;

constexpr int kLargeIcon = 32;
constexpr int kApplicationBadge = 26;

// The area under the category tab, shaded from the base colour down to the
// window colour like a sheet lying on the window.
class CCategoryArea : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient shade(0, 0, 0, height());
        shade.setColorAt(0, palette().color(QPalette::Base));
        shade.setColorAt(1, palette().color(QPalette::Window));
        painter.fillRect(rect(), shade);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(0, 0, width(), 0);
        painter.drawLine(0, height() - 1, width(), height() - 1);
    }
};

QFrame* VerticalLine(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

CMyCaptionBar::CMyCaptionBar(QWidget* parent)
    : QFrame(parent), picture_(new QLabel(this)), text_(new QLabel(this)) {
    setObjectName(QStringLiteral("CaptionBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette shade = palette();
    shade.setColor(QPalette::Window, palette().color(QPalette::ToolTipBase));
    shade.setColor(QPalette::WindowText, palette().color(QPalette::ToolTipText));
    setPalette(shade);
    picture_->setPixmap(LoadIcon(QStringLiteral("info")).pixmap(16, 16));
    text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    text_->setTextFormat(Qt::PlainText);
    text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(8);
    layout->addWidget(picture_);
    layout->addWidget(text_, 1);
}

void CMyCaptionBar::SetText(const QString& text) {
    QString line = text;
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r'))) line.chop(1);
    text_->setText(line);
    text_->setToolTip(line);
    repaint();
}

QString CMyCaptionBar::text() const {
    return text_->text();
}

CRibbonStatusBarCls::CRibbonStatusBarCls(QWidget* parent)
    : QStatusBar(parent),
      link_(new QLabel(this)),
      separator_(VerticalLine(this)),
      progress_(new QProgressBar(this)),
      rows_(new QLabel(this)) {
    setSizeGripEnabled(true);
    link_->setTextFormat(Qt::RichText);
    link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link_->setMaximumWidth(kLinkMaxWidth);
    connect(link_, &QLabel::linkActivated, this, &CRibbonStatusBarCls::linkActivated);
    addWidget(link_);
    addWidget(separator_);
    rows_->setTextFormat(Qt::PlainText);
    rows_->hide();
    addPermanentWidget(rows_);
    auto* name = new QLabel(QStringLiteral("Karvo MySQL Database Repair"), this);
    addPermanentWidget(name);
    // Never advanced: it says that work runs, not how far it is.
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->hide();
    SetLink({});
}

void CRibbonStatusBarCls::SetLink(const QString& address) {
    if (address.isEmpty()) {
        link_->clear();
        link_->hide();
        separator_->hide();
        return;
    }
    link_->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                       .arg(address.toHtmlEscaped(), address.toHtmlEscaped()));
    link_->setToolTip(address);
    link_->show();
    separator_->show();
}

void CRibbonStatusBarCls::SetRowsShown(const QString& text) {
    rows_->setText(text);
    rows_->setVisible(!text.isEmpty());
}

void CRibbonStatusBarCls::ShowProgress(bool on) {
    progress_->setVisible(on);
    if (on) progress_->raise();
    progress_->repaint();
}

void CRibbonStatusBarCls::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    progress_->setGeometry(kProgressLeft, kProgressTop, std::max(0, width() - kProgressWidthLess),
                           kProgressHeight);
}

CRibbonPanel::CRibbonPanel(const QString& title, QWidget* parent)
    : QWidget(parent), buttons_(new QHBoxLayout), title_(new QLabel(title, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(0);
    buttons_->setSpacing(2);
    layout->addLayout(buttons_);
    title_->setAlignment(Qt::AlignCenter);
    QPalette grey = title_->palette();
    grey.setColor(QPalette::WindowText, palette().color(QPalette::PlaceholderText));
    title_->setPalette(grey);
    // An untitled panel keeps the line, so that all buttons stand level.
    title_->setMinimumHeight(title_->fontMetrics().height());
    layout->addWidget(title_);
}

void CRibbonPanel::AddCommand(QAction* action) {
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(kLargeIcon, kLargeIcon));
    button->setAutoRaise(true);
    button->setMinimumWidth(64);
    button->setObjectName(action->text());
    buttons_->addWidget(button);
}

CRibbonBar::CRibbonBar(const QString& category, const QIcon& applicationIcon, QWidget* parent)
    : QWidget(parent),
      tabs_(new QTabBar(this)),
      category_(new CCategoryArea(this)),
      panelRow_(new QHBoxLayout(category_)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(6, 4, 6, 0);
    top->setSpacing(8);
    auto* badge = new QLabel(this);
    badge->setPixmap(applicationIcon.pixmap(kApplicationBadge, kApplicationBadge));
    badge->setToolTip(QStringLiteral("Karvo MySQL Database Repair v22.0"));
    top->addWidget(badge);
    tabs_->addTab(category);
    tabs_->setDrawBase(false);
    tabs_->setExpanding(false);
    top->addWidget(tabs_, 0, Qt::AlignBottom);
    top->addStretch(1);
    layout->addLayout(top);

    panelRow_->setContentsMargins(6, 3, 6, 1);
    panelRow_->setSpacing(4);
    panelRow_->addStretch(1);
    layout->addWidget(category_);
}

CRibbonPanel* CRibbonBar::AddPanel(const QString& title) {
    auto* panel = new CRibbonPanel(title, category_);
    // Each panel ends with a line; the stretch stays last.
    const int at = panelRow_->count() - 1;
    panelRow_->insertWidget(at, panel);
    panelRow_->insertWidget(at + 1, VerticalLine(category_));
    panels_.push_back(panel);
    return panel;
}

}  // namespace brix
