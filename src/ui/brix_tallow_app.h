#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "save/save_run.h"
#include "ui/app_settings.h"
#include "ui/instance_lock.h"

class QApplication;

namespace brix {

class CMainFrame;
class CSaveDialogModel;
class CSaver;

// The program's one application object: the single-instance lock, taken as
// it is made, the process-wide state (with the collation table), the
// settings store and the main window.
class CBrixTallowApp {
  public:
    CBrixTallowApp();
    ~CBrixTallowApp();
    CBrixTallowApp(const CBrixTallowApp&) = delete;
    CBrixTallowApp& operator=(const CBrixTallowApp&) = delete;

    // Start-up: refuses a second copy of the program with a message, applies
    // the stored visual style and shows the main window maximised, scanning
    // dataFolder at once when one is given. False when the process is to end.
    bool InitInstance(QApplication& application, const QString& dataFolder = {});
    // InitInstance, then the event loop; returns the exit code.
    int Run(QApplication& application, const QString& dataFolder = {});

    CAppState& state() { return state_; }
    CMainFrame* mainFrame() const { return mainFrame_.get(); }
    CSaveDialogModel& saveDialogModel() { return *saveDialogModel_; }

  private:
    CInstanceLock instanceLock_;
    CAppState state_;
    std::unique_ptr<CAppSettings> settings_;
    // What the Save Database dialog holds, kept from one showing to the next.
    std::unique_ptr<CSaveDialogModel> saveDialogModel_;
    std::unique_ptr<CMainFrame> mainFrame_;
    // Declared after the window: ends (waiting for its worker) before it.
    std::unique_ptr<CSaver> saver_;
};

// The checked tables, views and triggers of the window's tree, in tree order.
std::vector<CSaveObject> CheckedSaveObjects(CMainFrame& frame);

// The Save command once something is checked: the Save Database dialog over
// model, and on OK the checked objects saved by saver on its worker thread.
// settings, when given, keeps the accepted choice for the next run.
void RunSaveCommand(CMainFrame& frame, CSaveDialogModel& model, CSaver& saver,
                    CAppSettings* settings = nullptr);

// Names the application for Qt: the settings store's organisation and
// application names, the display name and the version.
void NameApplication();

}  // namespace brix
