#include "ui/brix_tallow_app.h"

#include <QApplication>
#include <QMessageBox>

#include "catalogue/catalogue.h"
#include "save/save_dialog_model.h"
#include "save/save_objects.h"
#include "save/save_worker.h"
#include "ui/desktop_services.h"
#include "ui/main_frame.h"
#include "ui/main_frame_ui.h"
#include "ui/qt_text.h"
#include "ui/save_dialog_window.h"
#include "ui/xhtml_tree.h"

namespace brix {

void NameApplication() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    QCoreApplication::setApplicationVersion(QStringLiteral("22.0"));
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kWindowTitle));
}

namespace {

void AddCheckedObjects(CMainFrame& frame, TreeItem item, std::vector<CSaveObject>& objects) {
    const CXHtmlTreeModel& tree = frame.tree()->model();
    for (TreeItem child : tree.Children(item)) {
        const int64_t parentData = item == kNoTreeItem ? ItemData::kFolder : tree.GetItemData(item);
        // Tables hang under a folder node, views and triggers under theirs;
        // the keys of a table are not objects of their own.
        const bool objectNode = parentData == ItemData::kFolder || parentData == ItemData::kViews ||
                                parentData == ItemData::kTriggers;
        if (objectNode && tree.GetCheck(child)) {
            if (std::optional<CSaveObject> object = SaveObjectOfNode(
                    frame.frameState().catalogue, tree.GetItemData(child), parentData)) {
                objects.push_back(std::move(*object));
                continue;
            }
        }
        AddCheckedObjects(frame, child, objects);
    }
}

}  // namespace

std::vector<CSaveObject> CheckedSaveObjects(CMainFrame& frame) {
    std::vector<CSaveObject> objects;
    AddCheckedObjects(frame, kNoTreeItem, objects);
    return objects;
}

void RunSaveCommand(CMainFrame& frame, CSaveDialogModel& model, CSaver& saver,
                    CAppSettings* settings) {
    savedlgoption dialog(model, &frame);
    if (dialog.exec() != QDialog::Accepted) return;
    model.RememberAccepted();
    if (settings)
        settings->WriteSaveChoice({ToQString(model.start.server), ToQString(model.start.port),
                                   ToQString(model.start.user), ToQString(model.start.folder)});
    saver.StartSave(CheckedSaveObjects(frame), model.SaveSettings(), true);
}

CBrixTallowApp::CBrixTallowApp()
    : saveDialogModel_(std::make_unique<CSaveDialogModel>(state_, [](std::u16string_view text) {
          QMessageBox* box = CreateMessageBox(QApplication::activeModalWidget(), ToQString(text),
                                              MessageIcon::kInformation, false);
          box->exec();
          delete box;
      })) {}

CBrixTallowApp::~CBrixTallowApp() {
    saver_.reset();
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
    const CRememberedSaveChoice saveChoice = settings_->ReadSaveChoice();
    saveDialogModel_->start = {ToU16(saveChoice.server), ToU16(saveChoice.port),
                               ToU16(saveChoice.user), ToU16(saveChoice.folder)};
    ApplyAppLook(application, state_.appLook, settings_.get());
    // The window ends the process itself, through its close command.
    application.setQuitOnLastWindowClosed(false);
    mainFrame_ = std::make_unique<CMainFrame>(
        state_, settings_->ReadLinks(), std::make_unique<CQtDesktopServices>(settings_.get()));
    saver_ = std::make_unique<CSaver>(state_, mainFrame_->ui(), mainFrame_->frameState());
    mainFrame_->SetSaveRun([this](CMainFrame& frame) {
        RunSaveCommand(frame, *saveDialogModel_, *saver_, settings_.get());
    });
    mainFrame_->showMaximized();
    if (!dataFolder.isEmpty()) mainFrame_->OpenDataFolder(dataFolder);
    return true;
}

int CBrixTallowApp::Run(QApplication& application, const QString& dataFolder) {
    if (!InitInstance(application, dataFolder)) return 1;
    return application.exec();
}

}  // namespace brix
