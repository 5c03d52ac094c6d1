#include "ui/desktop_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>

#include "ui/about_dlg.h"
#include "ui/file_setting_dlg.h"
#include "ui/qt_text.h"

namespace brix {

QString MessageBoxCaption() {
    return ToQString(kMessageBoxCaption);
}

QMessageBox* CreateMessageBox(QWidget* parent, const QString& text, MessageIcon icon, bool yesNo) {
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    if (icon == MessageIcon::kInformation) boxIcon = QMessageBox::Information;
    if (icon == MessageIcon::kQuestion) boxIcon = QMessageBox::Question;
    auto* box =
        new QMessageBox(boxIcon, MessageBoxCaption(), text,
                        yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    box->setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void CQtDesktopServices::ShowMessage(QWidget* owner, const QString& text) {
    QMessageBox* box = CreateMessageBox(owner, text, MessageIcon::kInformation, false);
    box->exec();
    delete box;
}

bool CQtDesktopServices::AskYesNo(QWidget* owner, const QString& text, MessageIcon icon) {
    QMessageBox* box = CreateMessageBox(owner, text, icon, true);
    const bool yes = box->exec() == QMessageBox::Yes;
    delete box;
    return yes;
}

std::optional<std::filesystem::path> CQtDesktopServices::ChooseFileToOpen(QWidget* owner) {
    const QString file = QFileDialog::getOpenFileName(owner);
    if (file.isEmpty()) return std::nullopt;
    return std::filesystem::path(ToU16(file));
}

std::optional<std::filesystem::path> CQtDesktopServices::ChooseFileToSave(
    QWidget* owner, const QString& suggestedName) {
    const QString file = QFileDialog::getSaveFileName(owner, {}, suggestedName);
    if (file.isEmpty()) return std::nullopt;
    return std::filesystem::path(ToU16(file));
}

bool CQtDesktopServices::RunOpenDialog(QWidget* owner, CAppState& app) {
    CBrixFileSettingDlg dialog(app, owner);
    if (settings_) dialog.Prefill(settings_->ReadFolders());
    if (dialog.exec() != QDialog::Accepted) return false;
    if (settings_) settings_->WriteFolders(dialog.Chosen());
    return true;
}

void CQtDesktopServices::RunAboutBox(QWidget* owner, const CAppLinks& links) {
    CBrixAboutDlg dialog(links, owner);
    dialog.exec();
}

QWidget* ShowManualWindow(const QString& file) {
    auto* browser = new QTextBrowser;
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setWindowTitle(MessageBoxCaption() + QStringLiteral(" - Help"));
    browser->setOpenExternalLinks(true);
    browser->setSource(QUrl::fromLocalFile(file));
    browser->resize(900, 700);
    browser->show();
    return browser;
}

void CQtDesktopServices::OpenUrl(const QUrl& url) {
    if (QDesktopServices::openUrl(url)) return;
    // No browser or mail program is set up on this desktop: the shipped
    // manual opens in a window of the program's own; for any other address
    // the user is told where it is.
    if (url.isLocalFile() && QFileInfo::exists(url.toLocalFile())) {
        ShowManualWindow(url.toLocalFile());
        return;
    }
    ShowMessage(
        QApplication::activeWindow(),
        QStringLiteral("No web browser could be started. The address is:\n") + url.toString());
}

void CQtDesktopServices::EndProcess(int exitCode) {
    QCoreApplication::exit(exitCode);
}

}  // namespace brix
