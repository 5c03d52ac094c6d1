// brixtallow-screenshot: a picture of the main window for the README.
//
//     brixtallow-screenshot DATADIR NODE OUTPUT.png [WIDTHxHEIGHT]
//
// Scans DATADIR in the main window, selects NODE (node texts from the
// database down, joined by "/"), and saves the window as OUTPUT.png. Message
// boxes are answered without being shown: OK, and No to questions. The log
// file goes to a temporary folder.
//
//     brixtallow-screenshot --save-dialog OUTPUT.png
//
// saves a picture of the Save Database dialog as it opens.
//
//     brixtallow-screenshot DATADIR NODE OUTPUT.png WxH --value ROW,COLUMN VIEWER.png
//
// also opens the value viewer on that cell of the grid (0-based) and saves a
// picture of it.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "app/app_state.h"
#include "catalogue/scan_worker.h"
#include "save/save_dialog_model.h"
#include "ui/brix_tallow_app.h"
#include "ui/desktop_services.h"
#include "ui/grid_model.h"
#include "ui/main_frame.h"
#include "ui/record_panel.h"
#include "ui/save_dialog_window.h"
#include "ui/value_viewer_dlg.h"

namespace {

class CQuietDesktop : public brix::CDesktopServices {
  public:
    void ShowMessage(QWidget*, const QString&) override {}
    bool AskYesNo(QWidget*, const QString&, brix::MessageIcon) override { return false; }
    std::optional<std::filesystem::path> ChooseFileToOpen(QWidget*) override {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> ChooseFileToSave(QWidget*, const QString&) override {
        return std::nullopt;
    }
    bool RunOpenDialog(QWidget*, brix::CAppState&) override { return false; }
    void RunAboutBox(QWidget*, const brix::CAppLinks&) override {}
    void OpenUrl(const QUrl&) override {}
    void EndProcess(int) override {}
};

void Settle(int ms) {
    for (int i = 0; i < ms / 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments.at(1) == QStringLiteral("--save-dialog")) {
        brix::NameApplication();
        brix::CAppState state;
        brix::ApplyAppLook(application, brix::kDefaultAppLook, nullptr);
        brix::CSaveDialogModel model(state, [](std::u16string_view) {});
        brix::savedlgoption dialog(model);
        dialog.show();
        Settle(300);
        if (!dialog.grab().save(arguments.at(2))) {
            std::fprintf(stderr, "brixtallow-screenshot: cannot write %s\n",
                         qPrintable(arguments.at(2)));
            return 1;
        }
        return 0;
    }
    if (arguments.size() < 4) {
        std::fprintf(stderr,
                     "usage: brixtallow-screenshot DATADIR NODE OUTPUT.png [WxH]\n"
                     "       brixtallow-screenshot --save-dialog OUTPUT.png\n");
        return 2;
    }
    QSize size(1280, 800);
    if (arguments.size() > 4) {
        const QStringList parts = arguments.at(4).split(QLatin1Char('x'));
        if (parts.size() == 2) size = QSize(parts[0].toInt(), parts[1].toInt());
    }
    brix::NameApplication();
    brix::CAppState state;
    brix::ApplyAppLook(application, brix::kDefaultAppLook, nullptr);
    brix::CMainFrameOptions options;
    options.showSplash = false;
    brix::CMainFrame frame(state, brix::CAppLinks{}, std::make_unique<CQuietDesktop>(), options);
    frame.resize(size);
    frame.show();
    QTemporaryDir logs;
    if (!frame.OpenDataFolder(arguments.at(1), logs.path())) return 1;
    while (frame.scanner().Running() || state.busy != 0) Settle(20);
    frame.WaitForScan();
    const brix::TreeItem node = frame.FindNode(arguments.at(2));
    if (node == brix::kNoTreeItem) {
        std::fprintf(stderr, "brixtallow-screenshot: no node %s\n", qPrintable(arguments.at(2)));
        return 1;
    }
    frame.SelectNode(node);
    frame.WaitForRead();
    Settle(300);
    brix::CValueViewerDlg* viewer = nullptr;
    if (arguments.size() == 8 && arguments.at(5) == QStringLiteral("--value")) {
        const QStringList cell = arguments.at(6).split(QLatin1Char(','));
        brix::CBrixStatic* panel = frame.recordPanel();
        const QModelIndex index =
            panel->gridModel().index(cell.value(0).toInt(), cell.value(1).toInt());
        panel->grid()->setCurrentIndex(index);
        viewer = panel->ViewValue(index);
        if (viewer == nullptr) {
            std::fprintf(stderr, "brixtallow-screenshot: no cell %s\n",
                         qPrintable(arguments.at(6)));
            return 1;
        }
        Settle(300);
    }
    if (!frame.grab().save(arguments.at(3))) {
        std::fprintf(stderr, "brixtallow-screenshot: cannot write %s\n",
                     qPrintable(arguments.at(3)));
        return 1;
    }
    if (viewer != nullptr && !viewer->grab().save(arguments.at(7))) {
        std::fprintf(stderr, "brixtallow-screenshot: cannot write %s\n",
                     qPrintable(arguments.at(7)));
        return 1;
    }
    return 0;
}
