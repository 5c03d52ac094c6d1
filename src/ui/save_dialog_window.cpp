#include "ui/save_dialog_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>
#include <optional>

#include "save/connection_test.h"
#include "save/save_dialog_model.h"
#include "ui/icons.h"
#include "ui/qt_text.h"

namespace brix {

savedlgoption::savedlgoption(CSaveDialogModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(ToQString(kSaveDialogTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(ToQString(kSaveDialogPrompt), this));

    auto* databaseGroup = new QGroupBox(this);
    auto* databaseLayout = new QVBoxLayout(databaseGroup);
    databaseRadio_ = new QRadioButton(QStringLiteral("Save in database"), databaseGroup);
    databaseLayout->addWidget(databaseRadio_);
    auto* form = new QFormLayout;
    serverEdit_ = new QLineEdit(databaseGroup);
    portEdit_ = new QLineEdit(databaseGroup);
    userEdit_ = new QLineEdit(databaseGroup);
    passwordEdit_ = new QLineEdit(databaseGroup);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Server:"), serverEdit_);
    form->addRow(QStringLiteral("Port:"), portEdit_);
    form->addRow(QStringLiteral("User:"), userEdit_);
    form->addRow(QStringLiteral("Password:"), passwordEdit_);
    databaseLayout->addLayout(form);
    test_ = new QPushButton(LoadIcon(QStringLiteral("server")), QStringLiteral("Test Connection"),
                            databaseGroup);
    test_->setToolTip(QStringLiteral("Test connection"));
    auto* testRow = new QHBoxLayout;
    testRow->addStretch(1);
    testRow->addWidget(test_);
    databaseLayout->addLayout(testRow);
    layout->addWidget(databaseGroup);

    auto* scriptGroup = new QGroupBox(this);
    auto* scriptLayout = new QVBoxLayout(scriptGroup);
    scriptRadio_ = new QRadioButton(QStringLiteral("Save as Script"), scriptGroup);
    scriptLayout->addWidget(scriptRadio_);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(QStringLiteral("Saving Folder:"), scriptGroup));
    folderEdit_ = new QLineEdit(scriptGroup);
    folderEdit_->setReadOnly(true);
    folderRow->addWidget(folderEdit_, 1);
    browse_ = new QToolButton(scriptGroup);
    browse_->setText(QStringLiteral("..."));
    folderRow->addWidget(browse_);
    scriptLayout->addLayout(folderRow);
    layout->addWidget(scriptGroup);

    deletedRows_ = new QCheckBox(ToQString(kSaveDeletedRowsText), this);
    deletedRows_->setToolTip(
        QStringLiteral("Each table's deleted rows that its files still hold go into a table of "
                       "their own, with the columns _source and _unknown"));
    layout->addWidget(deletedRows_);

    ok_ = new QPushButton(LoadIcon(QStringLiteral("ok")), QStringLiteral("OK"), this);
    ok_->setToolTip(QStringLiteral("OK"));
    cancel_ = new QPushButton(LoadIcon(QStringLiteral("cancel")), QStringLiteral("Cancel"), this);
    for (QPushButton* button : {test_, ok_, cancel_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    // The two radio buttons sit in different boxes, so they exclude each
    // other by hand.
    databaseRadio_->setAutoExclusive(false);
    scriptRadio_->setAutoExclusive(false);
    connect(databaseRadio_, &QRadioButton::clicked, this, [this] {
        model_.ChooseMode(SaveDestination::kDatabase);
        ShowModel();
    });
    connect(scriptRadio_, &QRadioButton::clicked, this, [this] {
        model_.ChooseMode(SaveDestination::kScript);
        ShowModel();
    });
    connect(serverEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { model_.connection.server = ToU16(text); });
    connect(portEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { model_.connection.port = ToU16(text); });
    connect(userEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { model_.connection.user = ToU16(text); });
    connect(passwordEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { model_.connection.password = ToU16(text); });
    connect(deletedRows_, &QCheckBox::toggled, this,
            [this](bool checked) { model_.deletedRows = checked; });
    connect(browse_, &QToolButton::clicked, this, &savedlgoption::OnBrowse);
    connect(test_, &QPushButton::clicked, this, &savedlgoption::OnTestConnection);
    connect(ok_, &QPushButton::clicked, this, &savedlgoption::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &savedlgoption::reject);

    browseFolder = [this](const QString& title) {
        return QFileDialog::getExistingDirectory(this, title, QString(), QFileDialog::ShowDirsOnly);
    };
    StartFromDefaults();
}

int savedlgoption::exec() {
    StartFromDefaults();
    return QDialog::exec();
}

void savedlgoption::StartFromDefaults() {
    ++showing_;
    model_.Open();
    ShowModel();
}

void savedlgoption::ShowModel() {
    // Setting an edit's text writes the same text back into the model.
    serverEdit_->setText(ToQString(model_.connection.server));
    portEdit_->setText(ToQString(model_.connection.port));
    userEdit_->setText(ToQString(model_.connection.user));
    passwordEdit_->setText(ToQString(model_.connection.password));
    folderEdit_->setText(ToQString(model_.folder));
    deletedRows_->setChecked(model_.deletedRows);
    UpdateEnabled();
}

void savedlgoption::UpdateEnabled() {
    const bool database = model_.connectionFieldsEnabled();
    const bool script = model_.folderFieldsEnabled();
    databaseRadio_->setChecked(model_.mode() == SaveDestination::kDatabase);
    scriptRadio_->setChecked(model_.mode() == SaveDestination::kScript);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{serverEdit_, portEdit_, userEdit_, passwordEdit_, test_})
        widget->setEnabled(database);
    test_->setEnabled(database && !testRunning_);
    ok_->setEnabled(!testRunning_);
    folderEdit_->setEnabled(script);
    browse_->setEnabled(script);
}

void savedlgoption::OnBrowse() {
    const QString chosen = browseFolder(ToQString(kBrowseFolderTitle));
    model_.FolderChosen(chosen.isEmpty() ? std::nullopt
                                         : std::optional<std::filesystem::path>(
                                               std::filesystem::path(ToU16(chosen))));
    folderEdit_->setText(ToQString(model_.folder));
}

void savedlgoption::OnTestConnection() {
    RunTest([this](const CConnectionSettings& settings, const CConnectionTestResult& result) {
        model_.TakeTestResult(settings, result);
    });
}

void savedlgoption::RunTest(
    std::function<void(const CConnectionSettings&, const CConnectionTestResult&)> done) {
    if (testRunning_) return;
    testRunning_ = true;
    UpdateEnabled();
    const CConnectionSettings settings = model_.connection;
    auto result = std::make_shared<CConnectionTestResult>();
    QThread* thread = QThread::create([test = model_.testFunction(), settings, result] {
        try {
            *result = test(settings);
        } catch (...) {
            result->tested = false;
            result->message = kConnectionFailed;
        }
    });
    // The answer comes back to this thread; a dialog that is gone by then
    // takes nothing, and the thread deletes itself either way.
    connect(thread, &QThread::finished, this,
            [this, settings, result, showing = showing_, done = std::move(done)] {
                testRunning_ = false;
                UpdateEnabled();
                if (showing != showing_) return;
                done(settings, *result);
                emit connectionTestEnded();
            });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void savedlgoption::OnOk() {
    // A connection not yet tested is tested first, off this thread, so that
    // a server that does not answer never freezes the dialog.
    if (model_.OkNeedsTest()) {
        RunTest([this](const CConnectionSettings& settings, const CConnectionTestResult& result) {
            model_.OkTested(settings, result);
        });
        return;
    }
    if (model_.Ok()) accept();
}

}  // namespace brix
