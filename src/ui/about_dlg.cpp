#include "ui/about_dlg.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/app_settings.h"
#include "ui/icons.h"

namespace brix {

namespace {

constexpr char kProductName[] = "Karvo MySQL Database Repair v22.0";
constexpr char kCopyright[] = "Copyright \u00a9 Karvo. All rights reserved.";

QLabel* LinkLabel(const QString& address, const QString& text, const char* tip, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    label->setText(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(), text.toHtmlEscaped()));
    label->setToolTip(QString::fromLatin1(tip));
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setAlignment(Qt::AlignLeft);
    label->setVisible(!address.isEmpty());
    return label;
}

}  // namespace

CBrixAboutDlg::CBrixAboutDlg(const CAppLinks& links, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kProductName));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    layout->setSpacing(6);

    auto* banner = new QLabel(this);
    banner->setPixmap(LoadPicture(QStringLiteral("banner"), {}, devicePixelRatioF()));
    banner->setAlignment(Qt::AlignCenter);
    layout->addWidget(banner);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(18, 8, 18, 0);
    body->setSpacing(6);
    QFont heading = font();
    heading.setWeight(QFont::DemiBold);
    auto* name = new QLabel(QString::fromLatin1(kProductName), this);
    name->setFont(heading);
    body->addWidget(name);

    website_ = LinkLabel(links.productPage, links.productPage, "Company website", this);
    support_ = LinkLabel(
        links.supportEmail.isEmpty() ? QString() : QStringLiteral("mailto:") + links.supportEmail,
        links.supportEmail, "Support email address", this);
    sales_ = LinkLabel(
        links.salesEmail.isEmpty() ? QString() : QStringLiteral("mailto:") + links.salesEmail,
        links.salesEmail, "Sales email address", this);
    body->addWidget(website_);
    body->addWidget(support_);
    body->addWidget(sales_);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    body->addWidget(line);
    auto* copyright = new QLabel(QString::fromUtf8(kCopyright), this);
    copyright->setFont(heading);
    body->addWidget(copyright);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setAutoDefault(false);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    body->addLayout(buttons);
    layout->addLayout(body);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CBrixAboutDlg::keyPressEvent(QKeyEvent* event) {
    // Enter is OK; Escape closes as the close box does.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            accept();
            return;
        case Qt::Key_Escape:
            event->accept();
            reject();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CBrixAboutDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QDialog::mousePressEvent(event);
    // Let the window system move it where it can; follow the mouse otherwise.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CBrixAboutDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - dragOffset_);
}

}  // namespace brix
