#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "save/connection_test.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace brix {

class CSaveDialogModel;

// The Save Database dialog: where the checked objects go, a MySQL server or
// a folder of scripts. The widgets only show and edit the fields of the
// model, which lives as long as the program and makes every decision; each
// exec starts again from the model's defaults. OK closes the dialog only when
// the model accepts; Cancel, Escape and the close box just close it.
class savedlgoption : public QDialog {
    Q_OBJECT

  public:
    explicit savedlgoption(CSaveDialogModel& model, QWidget* parent = nullptr);

    // Resets the model to its defaults and shows them, then runs the dialog.
    int exec() override;
    // The model's defaults into the widgets (exec does this first).
    void StartFromDefaults();

    // The folder browser; returns the chosen folder, empty when cancelled.
    // Qt's folder dialog by default.
    std::function<QString(const QString& title)> browseFolder;

    QRadioButton* databaseRadio() const { return databaseRadio_; }
    QRadioButton* scriptRadio() const { return scriptRadio_; }
    QLineEdit* serverEdit() const { return serverEdit_; }
    QLineEdit* portEdit() const { return portEdit_; }
    QLineEdit* userEdit() const { return userEdit_; }
    QLineEdit* passwordEdit() const { return passwordEdit_; }
    QLineEdit* folderEdit() const { return folderEdit_; }
    QToolButton* browseButton() const { return browse_; }
    QPushButton* testButton() const { return test_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QCheckBox* deletedRowsCheck() const { return deletedRows_; }

    void OnOk();
    // Runs the connection test on a thread of its own, so that a server that
    // does not answer leaves the dialog responsive; Test Connection and OK
    // wait disabled until the answer is shown.
    void OnTestConnection();
    void OnBrowse();
    // A connection test started by Test Connection has not answered yet.
    bool testRunning() const { return testRunning_; }

  signals:
    // The answer of Test Connection has been shown.
    void connectionTestEnded();

  private:
    // Runs the connection test of the fields' values on a thread of its own;
    // done gets the values tested and the result on this thread, unless the
    // dialog was opened anew meanwhile.
    void RunTest(
        std::function<void(const CConnectionSettings&, const CConnectionTestResult&)> done);

    void ShowModel();
    void UpdateEnabled();

    CSaveDialogModel& model_;
    QRadioButton* databaseRadio_;
    QRadioButton* scriptRadio_;
    QLineEdit* serverEdit_;
    QLineEdit* portEdit_;
    QLineEdit* userEdit_;
    QLineEdit* passwordEdit_;
    QLineEdit* folderEdit_;
    QCheckBox* deletedRows_;
    QToolButton* browse_;
    QPushButton* test_;
    QPushButton* ok_;
    QPushButton* cancel_;
    bool testRunning_ = false;
    // Counts the showings, so that the answer of a test started in an
    // earlier one is dropped.
    int showing_ = 0;
};

}  // namespace brix
