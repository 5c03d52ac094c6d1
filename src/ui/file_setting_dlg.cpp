#include "ui/file_setting_dlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "ui/desktop_services.h"
#include "ui/icons.h"
#include "ui/qt_text.h"

namespace brix {

namespace {

constexpr char kBrowseDatabaseTitle[] = "Select location to choose database file.";
constexpr char kBrowseTemporaryTitle[] = "Select location for temporary path.";
constexpr char kBrowseLogTitle[] = "Select location to save Log file.";

QGroupBox* FolderGroup(const char* title, QLineEdit*& edit, QToolButton*& browse, QWidget* parent) {
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    auto* row = new QHBoxLayout(group);
    edit = new QLineEdit(group);
    browse = new QToolButton(group);
    browse->setText(QStringLiteral("..."));
    row->addWidget(edit, 1);
    row->addWidget(browse);
    return group;
}

}  // namespace

bool EndsWithSeparator(const QString& path) {
    if (path.endsWith(QLatin1Char('/'))) return true;
#ifdef _WIN32
    if (path.endsWith(QLatin1Char('\\'))) return true;
#endif
    return false;
}

QString WithTrailingSeparator(const QString& path) {
    return EndsWithSeparator(path) ? path : path + QDir::separator();
}

QString DefaultLogFolder() {
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty()) desktop = QDir::homePath();
    QDir().mkpath(desktop);
    return QDir::toNativeSeparators(desktop);
}

CBrixFileSettingDlg::CBrixFileSettingDlg(CAppState& app, QWidget* parent)
    : QDialog(parent), app_(app) {
    setWindowTitle(QString::fromLatin1(kOpenDialogTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        FolderGroup("Select MySQL Database File:", databaseEdit_, databaseBrowse_, this));
    layout->addWidget(
        FolderGroup("Select Temporary Path:", temporaryEdit_, temporaryBrowse_, this));
    layout->addWidget(FolderGroup("Select Log File Path:", logEdit_, logBrowse_, this));

    ok_ = new QPushButton(LoadIcon(QStringLiteral("ok")), QStringLiteral("OK"), this);
    ok_->setToolTip(QStringLiteral("OK"));
    cancel_ = new QPushButton(LoadIcon(QStringLiteral("cancel")), QStringLiteral("Cancel"), this);
    for (QPushButton* button : {ok_, cancel_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    setMinimumWidth(600);

    temporaryEdit_->setText(QDir::toNativeSeparators(QDir::tempPath()));
    logEdit_->setText(DefaultLogFolder());

    browseFolder = [this](const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(this, title, start, QFileDialog::ShowDirsOnly);
    };
    showMessage = [this](const QString& text) {
        QMessageBox* box = CreateMessageBox(this, text, MessageIcon::kInformation, false);
        box->exec();
        delete box;
    };

    connect(databaseBrowse_, &QToolButton::clicked, this, &CBrixFileSettingDlg::OnBrowseDatabase);
    connect(temporaryBrowse_, &QToolButton::clicked, this, &CBrixFileSettingDlg::OnBrowseTemporary);
    connect(logBrowse_, &QToolButton::clicked, this, &CBrixFileSettingDlg::OnBrowseLog);
    connect(ok_, &QPushButton::clicked, this, &CBrixFileSettingDlg::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CBrixFileSettingDlg::Prefill(const CRememberedFolders& folders) {
    const std::pair<const QString&, QLineEdit*> fields[] = {{folders.data, databaseEdit_},
                                                            {folders.temporary, temporaryEdit_},
                                                            {folders.log, logEdit_}};
    for (const auto& [folder, edit] : fields)
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) edit->setText(folder);
}

CRememberedFolders CBrixFileSettingDlg::Chosen() const {
    return {databaseEdit_->text(), temporaryEdit_->text(), logEdit_->text()};
}

void CBrixFileSettingDlg::OnBrowseDatabase() {
    const QString folder =
        browseFolder(QString::fromLatin1(kBrowseDatabaseTitle), databaseEdit_->text());
    if (!folder.isEmpty()) databaseEdit_->setText(WithTrailingSeparator(folder));
}

void CBrixFileSettingDlg::OnBrowseTemporary() {
    const QString folder =
        browseFolder(QString::fromLatin1(kBrowseTemporaryTitle), temporaryEdit_->text());
    if (!folder.isEmpty()) temporaryEdit_->setText(WithTrailingSeparator(folder));
}

void CBrixFileSettingDlg::OnBrowseLog() {
    const QString folder =
        browseFolder(QString::fromLatin1(kBrowseLogTitle), logEdit_->text()).trimmed();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) logEdit_->setText(folder);
}

void CBrixFileSettingDlg::OnOk() {
    const QString database = databaseEdit_->text();
    const QString temporary = temporaryEdit_->text();
    const QString log = logEdit_->text();
    if (database.isEmpty() || !QFileInfo(database).isDir()) {
        showMessage(QString::fromLatin1(kInvalidDatabasePath));
        return;
    }
    if (temporary.isEmpty() || !QFileInfo::exists(temporary)) {
        showMessage(QString::fromLatin1(kInvalidTemporaryPath));
        return;
    }
    if (log.isEmpty() || !QFileInfo::exists(log)) {
        showMessage(QString::fromLatin1(kInvalidLogPath));
        return;
    }
    app_.databasePath = ToU16(WithTrailingSeparator(database));
    app_.tempPath = ToU16(WithTrailingSeparator(temporary));
    app_.logFolder = ToU16(WithTrailingSeparator(log));
    accept();
}

void CBrixFileSettingDlg::keyPressEvent(QKeyEvent* event) {
    // Neither Enter nor Escape closes the dialog.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

}  // namespace brix
