// The open dialog, the About box, the splash screen, message boxes, the
// settings store with its visual styles, and the single-instance lock.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <memory>

#include "app/app_state.h"
#include "ui/about_dlg.h"
#include "ui/app_settings.h"
#include "ui/desktop_services.h"
#include "ui/file_setting_dlg.h"
#include "ui/icons.h"
#include "ui/instance_lock.h"
#include "ui/splash_screen.h"

using namespace brix;

namespace {

const QString kBadDatabase = QString::fromLatin1(kInvalidDatabasePath);
const QString kBadTemporary = QString::fromLatin1(kInvalidTemporaryPath);
const QString kBadLog = QString::fromLatin1(kInvalidLogPath);

// The open dialog with its messages and folder browsers scripted.
struct OpenDialog {
    explicit OpenDialog(CAppState& app) : dialog(app) {
        dialog.showMessage = [this](const QString& text) { messages << text; };
        dialog.browseFolder = [this](const QString& title, const QString&) {
            titles << title;
            return browseResult;
        };
    }
    CBrixFileSettingDlg dialog;
    QStringList messages;
    QStringList titles;
    QString browseResult;
};

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void OpenDialogStartsWithTheTemporaryAndDesktopFolders();
    void OpenDialogChecksTheFoldersInOrder();
    void OpenDialogStoresTheFoldersWithATrailingSeparator();
    void OpenDialogBrowsersFillTheirEdits();
    void OpenDialogIgnoresEnterAndEscape();
    void AboutBoxShowsTheLinksThatAreSet();
    void SplashShowsItsTextAndGoesAway();
    void MessageBoxesHaveTheProgramsCaptionAndIcon();
    void SettingsKeepTheApplicationLook();
    void SettingsRememberTheFoldersAndTheSaveChoice();
    void ManualOpensInAWindowOfItsOwn();
    void DarkLookDrawsUntickedBoxesVisibly();
    void ApplicationLooksMapToStylesAndColours();
    void SecondInstanceFindsTheLockTaken();
};

void DialogsTest::OpenDialogStartsWithTheTemporaryAndDesktopFolders() {
    CAppState app;
    OpenDialog d(app);
    QCOMPARE(d.dialog.windowTitle(), QStringLiteral("Select Database File"));
    QVERIFY(d.dialog.databaseEdit()->text().isEmpty());
    QCOMPARE(QDir(d.dialog.temporaryEdit()->text()), QDir(QDir::tempPath()));
    QVERIFY(QFileInfo(d.dialog.logEdit()->text()).isDir());
    QCOMPARE(d.dialog.okButton()->toolTip(), QStringLiteral("OK"));
}

void DialogsTest::OpenDialogChecksTheFoldersInOrder() {
    QTemporaryDir dir;
    CAppState app;
    OpenDialog d(app);
    const QString missing = dir.filePath(QStringLiteral("missing"));
    QFile file(dir.filePath(QStringLiteral("a-file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    struct Case {
        QString database, temporary, log, message;
    };
    const std::vector<Case> cases = {
        {QString(), dir.path(), dir.path(), kBadDatabase},
        {missing, dir.path(), dir.path(), kBadDatabase},
        {file.fileName(), dir.path(), dir.path(), kBadDatabase},  // a file is no data folder
        {dir.path(), missing, missing, kBadTemporary},
        {dir.path(), QString(), dir.path(), kBadTemporary},
        {dir.path(), dir.path(), missing, kBadLog},
    };
    for (const Case& c : cases) {
        d.messages.clear();
        d.dialog.databaseEdit()->setText(c.database);
        d.dialog.temporaryEdit()->setText(c.temporary);
        d.dialog.logEdit()->setText(c.log);
        QTest::mouseClick(d.dialog.okButton(), Qt::LeftButton);
        QCOMPARE(d.messages, QStringList{c.message});
        QCOMPARE(d.dialog.result(), int(QDialog::Rejected));
        QVERIFY(app.databasePath.empty() && app.tempPath.empty() && app.logFolder.empty());
    }
}

void DialogsTest::OpenDialogStoresTheFoldersWithATrailingSeparator() {
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("a-file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString sep = QDir::separator();
    {
        CAppState app;
        OpenDialog d(app);
        d.dialog.databaseEdit()->setText(dir.path());
        // A temporary or log path that names a file passes, and gets a
        // separator too.
        d.dialog.temporaryEdit()->setText(file.fileName());
        d.dialog.logEdit()->setText(file.fileName());
        d.dialog.show();
        QTest::mouseClick(d.dialog.okButton(), Qt::LeftButton);
        QVERIFY(d.messages.isEmpty());
        QCOMPARE(d.dialog.result(), int(QDialog::Accepted));
        QVERIFY(d.dialog.isHidden());
        QCOMPARE(QString::fromStdU16String(app.databasePath), dir.path() + sep);
        QCOMPARE(QString::fromStdU16String(app.tempPath), file.fileName() + sep);
        QCOMPARE(QString::fromStdU16String(app.logFolder), file.fileName() + sep);
    }
    {
        // One that ends with a separator is stored as it stands.
        CAppState app;
        OpenDialog d(app);
        d.dialog.databaseEdit()->setText(dir.path() + QLatin1Char('/'));
        d.dialog.temporaryEdit()->setText(dir.path() + QLatin1Char('/'));
        d.dialog.logEdit()->setText(dir.path());
        d.dialog.OnOk();
        QCOMPARE(QString::fromStdU16String(app.databasePath), dir.path() + QLatin1Char('/'));
        QCOMPARE(QString::fromStdU16String(app.tempPath), dir.path() + QLatin1Char('/'));
        QCOMPARE(QString::fromStdU16String(app.logFolder), dir.path() + sep);
    }
    {
        // Cancel stores nothing.
        CAppState app;
        OpenDialog d(app);
        d.dialog.databaseEdit()->setText(dir.path());
        d.dialog.show();
        QTest::mouseClick(d.dialog.cancelButton(), Qt::LeftButton);
        QCOMPARE(d.dialog.result(), int(QDialog::Rejected));
        QVERIFY(app.databasePath.empty());
    }
}

void DialogsTest::OpenDialogBrowsersFillTheirEdits() {
    QTemporaryDir dir;
    CAppState app;
    OpenDialog d(app);
    const QString sep = QDir::separator();

    d.dialog.databaseEdit()->setText(QStringLiteral("typed"));
    d.browseResult = QString();  // cancelled
    QTest::mouseClick(d.dialog.databaseBrowse(), Qt::LeftButton);
    QCOMPARE(d.dialog.databaseEdit()->text(), QStringLiteral("typed"));
    d.browseResult = dir.path();
    QTest::mouseClick(d.dialog.databaseBrowse(), Qt::LeftButton);
    QCOMPARE(d.dialog.databaseEdit()->text(), dir.path() + sep);
    QTest::mouseClick(d.dialog.temporaryBrowse(), Qt::LeftButton);
    QCOMPARE(d.dialog.temporaryEdit()->text(), dir.path() + sep);

    // The log folder is trimmed, taken only when it exists, and gets no
    // separator.
    d.browseResult = QStringLiteral("  ") + dir.path() + QStringLiteral(" ");
    QTest::mouseClick(d.dialog.logBrowse(), Qt::LeftButton);
    QCOMPARE(d.dialog.logEdit()->text(), dir.path());
    d.browseResult = dir.filePath(QStringLiteral("missing"));
    QTest::mouseClick(d.dialog.logBrowse(), Qt::LeftButton);
    QCOMPARE(d.dialog.logEdit()->text(), dir.path());

    QCOMPARE(d.titles, (QStringList{QStringLiteral("Select location to choose database file."),
                                    QStringLiteral("Select location to choose database file."),
                                    QStringLiteral("Select location for temporary path."),
                                    QStringLiteral("Select location to save Log file."),
                                    QStringLiteral("Select location to save Log file.")}));
}

void DialogsTest::OpenDialogIgnoresEnterAndEscape() {
    QTemporaryDir dir;
    CAppState app;
    OpenDialog d(app);
    d.dialog.databaseEdit()->setText(dir.path());
    d.dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d.dialog));
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(d.dialog.databaseEdit(), key);
        QTest::keyClick(&d.dialog, key);
        QVERIFY(d.dialog.isVisible());
    }
    QVERIFY(app.databasePath.empty());
    QVERIFY(d.messages.isEmpty());
}

void DialogsTest::AboutBoxShowsTheLinksThatAreSet() {
    CAppLinks links;
    links.productPage = QStringLiteral("https://product.example/");
    links.supportEmail = QStringLiteral("support@product.example");
    {
        CBrixAboutDlg about(links);
        QCOMPARE(about.windowTitle(), QStringLiteral("Karvo MySQL Database Repair v22.0"));
        QVERIFY(!about.websiteLink()->isHidden());
        QVERIFY(about.websiteLink()->text().contains(links.productPage));
        QCOMPARE(about.websiteLink()->toolTip(), QStringLiteral("Company website"));
        QVERIFY(!about.supportLink()->isHidden());
        QVERIFY(
            about.supportLink()->text().contains(QStringLiteral("mailto:support@product.example")));
        QCOMPARE(about.supportLink()->toolTip(), QStringLiteral("Support email address"));
        QVERIFY(about.salesLink()->isHidden());
        QCOMPARE(about.salesLink()->toolTip(), QStringLiteral("Sales email address"));

        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(about.okButton(), Qt::LeftButton);
        QVERIFY(about.isHidden());
        QCOMPARE(about.result(), int(QDialog::Accepted));
        // The keyboard closes it too: Escape as the close box, Enter as OK.
        about.show();
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(about.isHidden());
        QCOMPARE(about.result(), int(QDialog::Rejected));
        about.show();
        QTest::keyClick(&about, Qt::Key_Return);
        QVERIFY(about.isHidden());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
}

void DialogsTest::SplashShowsItsTextAndGoesAway() {
    QWidget owner;
    const QPixmap picture = LoadPicture(QStringLiteral("splash"));
    QCOMPARE(picture.size(), QSize(480, 269));
    QPointer<CSplashScreenEx> splash = new CSplashScreenEx(&owner, picture, QStringLiteral("v22.0"),
                                                           100, CSplashScreenEx::kStartOptions);
    // The offscreen platform does not animate windows: no blending there.
    QVERIFY(!splash->Blends());
    splash->Start();
    QVERIFY(splash->isVisible());
    QCOMPARE(splash->size(), QSize(480, 269));
    // The text is drawn over the middle of the picture.
    const QImage shown = splash->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage plain = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    int changed = 0;
    for (int y = 120; y < 150; ++y)
        for (int x = 180; x < 300; ++x)
            if (shown.pixel(x, y) != plain.pixel(x, y)) ++changed;
    QVERIFY(changed > 50);
    QTRY_VERIFY(splash.isNull());

    // Hide on click: at once.
    splash = new CSplashScreenEx(nullptr, picture, QString(), 60000,
                                 CSplashScreenEx::kCenterScreen | CSplashScreenEx::kHideOnClick);
    splash->Start();
    QTest::mouseClick(splash, Qt::LeftButton);
    QTRY_VERIFY(splash.isNull());

    // A message box that opens gets the screen to itself.
    splash =
        new CSplashScreenEx(nullptr, picture, QString(), 60000, CSplashScreenEx::kStartOptions);
    splash->Start();
    QMessageBox box(QMessageBox::Information, MessageBoxCaption(), QStringLiteral("a message"));
    box.setModal(true);
    box.open();
    // Gone as the box is shown, before anything is drawn again.
    QVERIFY(splash.isNull() || splash->isHidden());
    QTRY_VERIFY(splash.isNull());

    // A dialog shown without being modal stands in front of it as well, and
    // a splash started while a message box is up is never shown over it.
    box.close();
    splash =
        new CSplashScreenEx(nullptr, picture, QString(), 60000, CSplashScreenEx::kStartOptions);
    splash->Start();
    QDialog dialog;
    dialog.show();
    QVERIFY(splash.isNull() || splash->isHidden());
    QTRY_VERIFY(splash.isNull());
    dialog.close();
    QMessageBox modal(QMessageBox::Information, MessageBoxCaption(), QStringLiteral("first"));
    modal.setModal(true);
    modal.open();
    QTRY_VERIFY(QApplication::activeModalWidget() == &modal);
    splash =
        new CSplashScreenEx(nullptr, picture, QString(), 60000, CSplashScreenEx::kStartOptions);
    splash->Start();
    QVERIFY(splash.isNull() || splash->isHidden());
    QTRY_VERIFY(splash.isNull());
}

void DialogsTest::MessageBoxesHaveTheProgramsCaptionAndIcon() {
    std::unique_ptr<QMessageBox> info(
        CreateMessageBox(nullptr, QStringLiteral("text"), MessageIcon::kInformation, false));
    QCOMPARE(info->windowTitle(), QStringLiteral("Karvo MySQL Database Repair v22.0"));
    QCOMPARE(info->icon(), QMessageBox::Information);
    QCOMPARE(info->standardButtons(), QMessageBox::Ok);
    QCOMPARE(info->text(), QStringLiteral("text"));
    std::unique_ptr<QMessageBox> question(
        CreateMessageBox(nullptr, QStringLiteral("q"), MessageIcon::kQuestion, true));
    QCOMPARE(question->icon(), QMessageBox::Question);
    QCOMPARE(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    std::unique_ptr<QMessageBox> plain(
        CreateMessageBox(nullptr, QStringLiteral("q"), MessageIcon::kNone, true));
    QCOMPARE(plain->icon(), QMessageBox::NoIcon);
    // The keyboard answers them: Enter takes the default, Escape closes an
    // OK box and answers No to a question.
    info->show();
    QTest::keyClick(info.get(), Qt::Key_Escape);
    QVERIFY(info->isHidden());
    question->show();
    QTest::keyClick(question.get(), Qt::Key_Escape);
    QCOMPARE(question->standardButton(question->clickedButton()), QMessageBox::No);
    plain->show();
    QTest::keyClick(plain.get(), Qt::Key_Return);
    QCOMPARE(plain->standardButton(plain->clickedButton()), QMessageBox::Yes);
}

void DialogsTest::SettingsKeepTheApplicationLook() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.ini"));
    {
        CAppSettings settings(std::make_unique<QSettings>(file, QSettings::IniFormat));
        QCOMPARE(settings.ReadAppLook(), 215);
        settings.WriteAppLook(217);
        QVERIFY(settings.ReadLinks().productPage.isEmpty());
    }
    QSettings raw(file, QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("Workspace/ApplicationLook")).toInt(), 217);
    raw.setValue(QStringLiteral("Links/ProductPage"), QStringLiteral(" https://product.example/ "));
    raw.setValue(QStringLiteral("Workspace/ApplicationLook"), QStringLiteral("not a number"));
    raw.sync();
    CAppSettings settings(std::make_unique<QSettings>(file, QSettings::IniFormat));
    QCOMPARE(settings.ReadAppLook(), 215);
    const CAppLinks links = settings.ReadLinks();
    QCOMPARE(links.productPage, QStringLiteral("https://product.example/"));
    QCOMPARE(links.StatusLink(), links.productPage);
}

void DialogsTest::SettingsRememberTheFoldersAndTheSaveChoice() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.ini"));
    const QString gone = dir.filePath(QStringLiteral("gone"));
    {
        CAppSettings settings(std::make_unique<QSettings>(file, QSettings::IniFormat));
        settings.WriteFolders({dir.path(), gone, dir.path()});
        settings.WriteSaveChoice({QStringLiteral("db.example"), QStringLiteral("3307"),
                                  QStringLiteral("saver"), dir.path()});
    }
    CAppSettings settings(std::make_unique<QSettings>(file, QSettings::IniFormat));
    const CRememberedSaveChoice choice = settings.ReadSaveChoice();
    QCOMPARE(choice.server, QStringLiteral("db.example"));
    QCOMPARE(choice.port, QStringLiteral("3307"));
    QCOMPARE(choice.user, QStringLiteral("saver"));
    QCOMPARE(choice.folder, dir.path());
    // Nothing of a password is ever kept.
    QSettings raw(file, QSettings::IniFormat);
    for (const QString& key : raw.allKeys()) QVERIFY(!key.contains(QStringLiteral("Password")));

    // The open dialog starts from the folders that still exist.
    CAppState app;
    OpenDialog d(app);
    const QString standardTemporary = d.dialog.temporaryEdit()->text();
    d.dialog.Prefill(settings.ReadFolders());
    QCOMPARE(d.dialog.databaseEdit()->text(), dir.path());
    QCOMPARE(d.dialog.temporaryEdit()->text(), standardTemporary);
    QCOMPARE(d.dialog.logEdit()->text(), dir.path());
    QCOMPARE(d.dialog.Chosen().data, dir.path());
}

void DialogsTest::ManualOpensInAWindowOfItsOwn() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("manual.html"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("<html><body><h1>Opening a data directory</h1></body></html>");
    out.close();
    QPointer<QWidget> window = ShowManualWindow(file);
    auto* browser = qobject_cast<QTextBrowser*>(window.data());
    QVERIFY(browser);
    QVERIFY(browser->isVisible());
    QVERIFY(browser->toPlainText().contains(QStringLiteral("Opening a data directory")));
    QVERIFY(browser->windowTitle().startsWith(MessageBoxCaption()));
    window->close();
    QTRY_VERIFY(window.isNull());
}

void DialogsTest::DarkLookDrawsUntickedBoxesVisibly() {
    // The darkest the indicator of an unticked box or radio button is drawn
    // against the lightest of the window around it: the border must stand
    // out from the window, not melt into it.
    const CAppLookStyle look = AppLookStyle(216);
    std::unique_ptr<QStyle> fusion(CreateLookStyle(look.styleName, look.colours));
    QVERIFY(fusion);
    const QPalette palette = AppLookPalette(look.colours, fusion->standardPalette());
    for (int kind = 0; kind < 2; ++kind) {
        std::unique_ptr<QAbstractButton> button;
        if (kind == 0)
            button = std::make_unique<QCheckBox>(QStringLiteral("x"));
        else
            button = std::make_unique<QRadioButton>(QStringLiteral("x"));
        button->setStyle(fusion.get());
        button->setPalette(palette);
        button->resize(80, 30);
        const QImage image = button->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        QStyleOptionButton option;
        option.initFrom(button.get());
        const QRect box = fusion->subElementRect(
            kind == 0 ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator, &option,
            button.get());
        const int window = qGray(palette.color(QPalette::Window).rgb());
        int furthest = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                furthest = std::max(furthest, std::abs(qGray(image.pixel(x, y)) - window));
        QVERIFY2(furthest >= 40,
                 qPrintable(QString::number(kind) + QLatin1Char(' ') + QString::number(furthest)));
    }
}

void DialogsTest::ApplicationLooksMapToStylesAndColours() {
    using Colours = CAppLookStyle::Colours;
    QCOMPARE(AppLookStyle(210).styleName, QStringLiteral("Windows"));
    QCOMPARE(AppLookStyle(215).colours, Colours::kBlue);
    QVERIFY(AppLookStyle(215).styleName.isEmpty());
    QCOMPARE(AppLookStyle(216).colours, Colours::kBlack);
    QCOMPARE(AppLookStyle(217).colours, Colours::kSilver);
    QCOMPARE(AppLookStyle(218).colours, Colours::kAqua);
    QCOMPARE(AppLookStyle(999).colours, Colours::kStyle);

    QTemporaryDir dir;
    CAppSettings settings(
        std::make_unique<QSettings>(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat));
    auto& application = *qApp;
    ApplyAppLook(application, 216, &settings);
    QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 100);
    QCOMPARE(settings.ReadAppLook(), 216);
    ApplyAppLook(application, 215, &settings);
    QVERIFY(QApplication::palette().color(QPalette::Window).lightness() > 150);
    QCOMPARE(QApplication::palette().color(QPalette::Highlight), QColor(0x33, 0x73, 0xc4));
    QCOMPARE(settings.ReadAppLook(), 215);
}

void DialogsTest::SecondInstanceFindsTheLockTaken() {
    QTemporaryDir dir;
    QVERIFY(!InstanceLockFileName().contains(QLatin1Char('\\')));
    QVERIFY(InstanceLockFileName().contains(QStringLiteral("KarvoINFOMYSQL_EXE_RUNNING1")));
    auto first = std::make_unique<CInstanceLock>(dir.path());
    QVERIFY(!first->AlreadyRunning());
    QVERIFY(QFile::exists(first->path()));
    {
        CInstanceLock second(dir.path());
        QVERIFY(second.AlreadyRunning());
    }
    // The second copy leaves the first's lock alone.
    QVERIFY(QFile::exists(first->path()));
    first.reset();
    CInstanceLock third(dir.path());
    QVERIFY(!third.AlreadyRunning());
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
