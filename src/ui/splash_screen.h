#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

class QPropertyAnimation;

namespace brix {

// A picture shown for a while as the program starts, with a text centred on
// it; it deletes itself when it has gone.
class CSplashScreenEx : public QWidget {
    Q_OBJECT

  public:
    enum Option {
        kFadeIn = 1,        // blend in over 500 ms
        kFadeOut = 2,       // blend out over 200 ms
        kShadow = 4,        // a drop shadow where the window system draws one
        kCenterScreen = 8,  // centred on the screen
        kCenterOwner = 16,  // centred on the owner window
        kHideOnClick = 32,  // any mouse-button or key press hides it at once
    };

    // Options as the program starts: blend in and out, shadow, centred on the
    // screen.
    static constexpr int kStartOptions = kFadeIn | kFadeOut | kShadow | kCenterScreen;
    static constexpr int kFadeInMs = 500;
    static constexpr int kFadeOutMs = 200;

    CSplashScreenEx(QWidget* owner, const QPixmap& picture, const QString& text, int displayMs,
                    int options);

    // Shows it (blending in when asked for and the desktop animates) and
    // starts the display time.
    void Start();
    // True when showing and hiding blend.
    bool Blends() const { return blends_; }

  protected:
    // Goes at once when a dialog or message box is shown anywhere in the
    // program, so that it is never drawn over one.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Finish();
    void Hide();

    QWidget* owner_;
    QPixmap picture_;
    QString text_;
    int displayMs_;
    int options_;
    bool blends_;
    bool finishing_ = false;
};

// Shows the program's splash screen over owner for two seconds.
void ShowStartSplash(QWidget* owner);

}  // namespace brix
