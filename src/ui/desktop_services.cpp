#include "ui/desktop_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

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
    return dialog.exec() == QDialog::Accepted;
}

void CQtDesktopServices::RunAboutBox(QWidget* owner, const CAppLinks& links) {
    CBrixAboutDlg dialog(links, owner);
    dialog.exec();
}

void CQtDesktopServices::OpenUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void CQtDesktopServices::EndProcess(int exitCode) {
    QCoreApplication::exit(exitCode);
}

}  // namespace brix
