#include "ui/splash_screen.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>

#include "ui/icons.h"

namespace brix {

namespace {

constexpr int kSplashMs = 2000;
constexpr int kTextPixels = 25;
constexpr char kSplashText[] = "v22.0";

}  // namespace

CSplashScreenEx::CSplashScreenEx(QWidget* owner, const QPixmap& picture, const QString& text,
                                 int displayMs, int options)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      owner_(owner),
      picture_(picture),
      text_(text),
      displayMs_(displayMs),
      options_(options),
      // Blending needs a desktop that animates windows.
      blends_(QApplication::isEffectEnabled(Qt::UI_General) &&
              QGuiApplication::platformName() != QLatin1String("offscreen") &&
              QGuiApplication::platformName() != QLatin1String("minimal")) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(picture_.deviceIndependentSize().toSize());
}

void CSplashScreenEx::Start() {
    // A message box is up already: the picture is not shown over it.
    if (QApplication::activeModalWidget()) {
        Hide();
        return;
    }
    QRect area;
    if ((options_ & kCenterOwner) && owner_) {
        area = owner_->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->geometry();
    }
    if (area.isValid()) move(area.center() - rect().center());
    if ((options_ & kFadeIn) && blends_) {
        setWindowOpacity(0.0);
        show();
        auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
        fade->setDuration(kFadeInMs);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        show();
    }
    QTimer::singleShot(displayMs_, this, &CSplashScreenEx::Finish);
    // A message box or dialog that opens while the picture shows would sit
    // under it (the picture stays on top): the picture goes as the box is
    // shown, before the box is drawn.
    qApp->installEventFilter(this);
}

bool CSplashScreenEx::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched != this && watched->isWidgetType()) {
        const auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && (widget->isModal() || qobject_cast<const QDialog*>(widget)))
            Hide();
    }
    return QWidget::eventFilter(watched, event);
}

void CSplashScreenEx::Finish() {
    if (finishing_) return;
    finishing_ = true;
    if ((options_ & kFadeOut) && blends_) {
        auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
        fade->setDuration(kFadeOutMs);
        fade->setStartValue(windowOpacity());
        fade->setEndValue(0.0);
        connect(fade, &QPropertyAnimation::finished, this, &CSplashScreenEx::Hide);
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        Hide();
    }
}

void CSplashScreenEx::Hide() {
    qApp->removeEventFilter(this);
    close();  // deletes the object
}

void CSplashScreenEx::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
    QFont font = QApplication::font();
    font.setPixelSize(kTextPixels);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text_);
}

void CSplashScreenEx::mousePressEvent(QMouseEvent* event) {
    if (options_ & kHideOnClick) {
        Finish();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CSplashScreenEx::keyPressEvent(QKeyEvent* event) {
    if (options_ & kHideOnClick) {
        Finish();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ShowStartSplash(QWidget* owner) {
    const qreal ratio = owner ? owner->devicePixelRatioF() : qApp->devicePixelRatio();
    auto* splash = new CSplashScreenEx(owner, LoadPicture(QStringLiteral("splash"), {}, ratio),
                                       QString::fromLatin1(kSplashText), kSplashMs,
                                       CSplashScreenEx::kStartOptions);
    splash->Start();
}

}  // namespace brix
