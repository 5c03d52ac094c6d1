#pragma once

#include <QPalette>
#include <QSettings>
#include <QString>
#include <memory>

class QApplication;
class QStyle;

namespace brix {

// Names under which the per-user settings are kept.
inline constexpr char kSettingsOrganisation[] = "KarvoMySqlDbRepv22.0";
inline constexpr char kSettingsApplication[] = "Karvo MySQL Database Repair v22.0";
inline constexpr char kWorkspaceSection[] = "Workspace";
inline constexpr char kApplicationLookValue[] = "ApplicationLook";
inline constexpr int kDefaultAppLook = 215;

// The web and mail addresses the program links to. Empty: not set; the
// link is then not offered (or, for help, the manual shipped with the program
// is opened instead).
struct CAppLinks {
    QString productPage;   // the product's page; opened when the program closes
    QString helpPage;      // the online help
    QString statusLink;    // the status bar's link; the product page when not set
    QString supportEmail;  // About box
    QString salesEmail;    // About box

    QString StatusLink() const { return statusLink.isEmpty() ? productPage : statusLink; }
};

// The folders of the open dialog last confirmed.
struct CRememberedFolders {
    QString data;
    QString temporary;
    QString log;
};

// The Save dialog's choices last accepted; never the password.
struct CRememberedSaveChoice {
    QString server;
    QString port;
    QString user;
    QString folder;
};

// The per-user settings store: the visual style under Workspace/ApplicationLook,
// the addresses under Links/, and what the dialogs remember between runs
// under Remembered/.
class CAppSettings {
  public:
    // The store of the current user, under the program's names.
    CAppSettings();
    // Another store (tests use a file of their own).
    explicit CAppSettings(std::unique_ptr<QSettings> store);

    // The stored visual style; kDefaultAppLook when none is stored.
    int ReadAppLook() const;
    void WriteAppLook(int appLook);
    CAppLinks ReadLinks() const;
    CRememberedFolders ReadFolders() const;
    void WriteFolders(const CRememberedFolders& folders);
    CRememberedSaveChoice ReadSaveChoice() const;
    void WriteSaveChoice(const CRememberedSaveChoice& choice);

    QSettings& store() { return *store_; }

  private:
    std::unique_ptr<QSettings> store_;
};

// How a visual style looks on Qt.
struct CAppLookStyle {
    QString styleName;  // a Qt style; empty: the platform's own
    enum class Colours { kStyle, kBlue, kBlack, kSilver, kAqua } colours = Colours::kStyle;
};

// The Qt style and colours of an appLook value: 210 the plain style, 211 to
// 214 the plain modern style, 215 (the default) to 218 the platform's own
// look tinted blue, black (dark), silver or aqua; any other value the
// platform's own look with its own colours.
CAppLookStyle AppLookStyle(int appLook);
// The Qt style of a look: the style named, and for the dark colours one
// whose unticked boxes and radio buttons stay visible. Null when there is no
// such style.
QStyle* CreateLookStyle(const QString& styleName, CAppLookStyle::Colours colours);
// The palette of the colours, built on the style's own.
QPalette AppLookPalette(CAppLookStyle::Colours colours, const QPalette& standard);
// Applies the style to the application, with the wait cursor while it
// repaints, and stores the value.
void ApplyAppLook(QApplication& application, int appLook, CAppSettings* settings);

}  // namespace brix
