#include "ui/brix_tallow_app.h"

#include <QApplication>
#include <QMessageBox>

#include "ui/desktop_services.h"
#include "ui/main_frame.h"

namespace brix {

void NameApplication() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    QCoreApplication::setApplicationVersion(QStringLiteral("22.0"));
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kWindowTitle));
}

CBrixTallowApp::CBrixTallowApp() = default;

CBrixTallowApp::~CBrixTallowApp() {
    mainFrame_.reset();
    instanceLock_.Release();
}

bool CBrixTallowApp::InitInstance(QApplication& application, const QString& dataFolder) {
    NameApplication();
    if (instanceLock_.AlreadyRunning()) {
        QMessageBox* box = CreateMessageBox(nullptr, QString::fromLatin1(kAnotherInstanceText),
                                            MessageIcon::kInformation, false);
        box->exec();
        delete box;
        return false;
    }
    settings_ = std::make_unique<CAppSettings>();
    state_.appLook = settings_->ReadAppLook();
    ApplyAppLook(application, state_.appLook, settings_.get());
    // The window ends the process itself, through its close command.
    application.setQuitOnLastWindowClosed(false);
    mainFrame_ = std::make_unique<CMainFrame>(state_, settings_->ReadLinks(),
                                              std::make_unique<CQtDesktopServices>());
    mainFrame_->showMaximized();
    if (!dataFolder.isEmpty()) mainFrame_->OpenDataFolder(dataFolder);
    return true;
}

int CBrixTallowApp::Run(QApplication& application, const QString& dataFolder) {
    if (!InitInstance(application, dataFolder)) return 1;
    return application.exec();
}

}  // namespace brix
