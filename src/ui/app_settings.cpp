#include "ui/app_settings.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace brix {

namespace {

QString Key(const char* section, const char* value) {
    return QString::fromLatin1(section) + QLatin1Char('/') + QString::fromLatin1(value);
}

// The style the application started with, before any look replaced it.
QString& PlatformStyleName() {
    static QString name;
    return name;
}

// The dark colours on a style that outlines a box or radio button in a shade
// of the window colour (a little darker), which on a dark window leaves an
// unticked one all but invisible: these indicators are drawn as on a light
// window, so their outline stands out.
class CDarkIndicatorStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const bool indicator = element == PE_IndicatorCheckBox ||
                               element == PE_IndicatorRadioButton ||
                               element == PE_IndicatorItemViewItemCheck;
        if (!indicator || !option)
            return QProxyStyle::drawPrimitive(element, option, painter, widget);
        // The option is copied as its own type: the style reads the fields
        // of that type.
        auto lit = [&](auto copy) {
            copy.palette.setColor(QPalette::Window, QColor(0xb0, 0xb4, 0xba));
            QProxyStyle::drawPrimitive(element, &copy, painter, widget);
        };
        if (auto* button = qstyleoption_cast<const QStyleOptionButton*>(option))
            lit(*button);
        else if (auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option))
            lit(*item);
        else
            lit(*option);
    }
};

}  // namespace

QStyle* CreateLookStyle(const QString& styleName, CAppLookStyle::Colours colours) {
    QStyle* style = QStyleFactory::create(styleName);
    if (style && colours == CAppLookStyle::Colours::kBlack) return new CDarkIndicatorStyle(style);
    return style;
}

CAppSettings::CAppSettings()
    : store_(std::make_unique<QSettings>(QString::fromLatin1(kSettingsOrganisation),
                                         QString::fromLatin1(kSettingsApplication))) {}

CAppSettings::CAppSettings(std::unique_ptr<QSettings> store) : store_(std::move(store)) {}

int CAppSettings::ReadAppLook() const {
    bool ok = false;
    const int look =
        store_->value(Key(kWorkspaceSection, kApplicationLookValue), kDefaultAppLook).toInt(&ok);
    return ok ? look : kDefaultAppLook;
}

void CAppSettings::WriteAppLook(int appLook) {
    store_->setValue(Key(kWorkspaceSection, kApplicationLookValue), appLook);
    store_->sync();
}

CAppLinks CAppSettings::ReadLinks() const {
    CAppLinks links;
    links.productPage = store_->value(QStringLiteral("Links/ProductPage")).toString().trimmed();
    links.helpPage = store_->value(QStringLiteral("Links/HelpPage")).toString().trimmed();
    links.statusLink = store_->value(QStringLiteral("Links/StatusBarLink")).toString().trimmed();
    links.supportEmail = store_->value(QStringLiteral("Links/SupportEmail")).toString().trimmed();
    links.salesEmail = store_->value(QStringLiteral("Links/SalesEmail")).toString().trimmed();
    return links;
}

CRememberedFolders CAppSettings::ReadFolders() const {
    CRememberedFolders folders;
    folders.data = store_->value(QStringLiteral("Remembered/DataFolder")).toString();
    folders.temporary = store_->value(QStringLiteral("Remembered/TemporaryFolder")).toString();
    folders.log = store_->value(QStringLiteral("Remembered/LogFolder")).toString();
    return folders;
}

void CAppSettings::WriteFolders(const CRememberedFolders& folders) {
    store_->setValue(QStringLiteral("Remembered/DataFolder"), folders.data);
    store_->setValue(QStringLiteral("Remembered/TemporaryFolder"), folders.temporary);
    store_->setValue(QStringLiteral("Remembered/LogFolder"), folders.log);
    store_->sync();
}

CRememberedSaveChoice CAppSettings::ReadSaveChoice() const {
    CRememberedSaveChoice choice;
    choice.server = store_->value(QStringLiteral("Remembered/SaveServer")).toString();
    choice.port = store_->value(QStringLiteral("Remembered/SavePort")).toString();
    choice.user = store_->value(QStringLiteral("Remembered/SaveUser")).toString();
    choice.folder = store_->value(QStringLiteral("Remembered/SaveFolder")).toString();
    return choice;
}

void CAppSettings::WriteSaveChoice(const CRememberedSaveChoice& choice) {
    store_->setValue(QStringLiteral("Remembered/SaveServer"), choice.server);
    store_->setValue(QStringLiteral("Remembered/SavePort"), choice.port);
    store_->setValue(QStringLiteral("Remembered/SaveUser"), choice.user);
    store_->setValue(QStringLiteral("Remembered/SaveFolder"), choice.folder);
    store_->sync();
}

CAppLookStyle AppLookStyle(int appLook) {
    using Colours = CAppLookStyle::Colours;
    switch (appLook) {
        case 210:
            return {QStringLiteral("Windows"), Colours::kStyle};
        case 211:
        case 212:
        case 213:
        case 214:
            return {QStringLiteral("Fusion"), Colours::kStyle};
        case 215:
            return {QString(), Colours::kBlue};
        case 216:
            return {QStringLiteral("Fusion"), Colours::kBlack};
        case 217:
            return {QString(), Colours::kSilver};
        case 218:
            return {QString(), Colours::kAqua};
        default:
            return {QString(), Colours::kStyle};
    }
}

QPalette AppLookPalette(CAppLookStyle::Colours colours, const QPalette& standard) {
    using Colours = CAppLookStyle::Colours;
    QPalette palette = standard;
    auto setAll = [&palette](QPalette::ColorRole role, const QColor& colour) {
        palette.setColor(QPalette::Active, role, colour);
        palette.setColor(QPalette::Inactive, role, colour);
    };
    switch (colours) {
        case Colours::kStyle:
            break;
        case Colours::kBlue:
            setAll(QPalette::Highlight, QColor(0x33, 0x73, 0xc4));
            setAll(QPalette::HighlightedText, Qt::white);
            setAll(QPalette::Link, QColor(0x1d, 0x5c, 0xa8));
            setAll(QPalette::ToolTipBase, QColor(0xfd, 0xf6, 0xdc));
            setAll(QPalette::ToolTipText, QColor(0x26, 0x2b, 0x33));
            break;
        case Colours::kSilver:
            setAll(QPalette::Window, QColor(0xe4, 0xe7, 0xeb));
            setAll(QPalette::Button, QColor(0xec, 0xee, 0xf1));
            setAll(QPalette::AlternateBase, QColor(0xf2, 0xf4, 0xf6));
            setAll(QPalette::Highlight, QColor(0x6b, 0x7d, 0x93));
            setAll(QPalette::HighlightedText, Qt::white);
            break;
        case Colours::kAqua:
            setAll(QPalette::Window, QColor(0xe2, 0xf0, 0xf2));
            setAll(QPalette::Button, QColor(0xea, 0xf5, 0xf7));
            setAll(QPalette::AlternateBase, QColor(0xf0, 0xf8, 0xf9));
            setAll(QPalette::Highlight, QColor(0x1f, 0x8a, 0x9c));
            setAll(QPalette::HighlightedText, Qt::white);
            break;
        case Colours::kBlack: {
            const QColor window(0x35, 0x37, 0x3b);
            const QColor base(0x25, 0x27, 0x2a);
            const QColor text(0xe8, 0xe8, 0xe8);
            setAll(QPalette::Window, window);
            setAll(QPalette::WindowText, text);
            setAll(QPalette::Base, base);
            setAll(QPalette::AlternateBase, QColor(0x2d, 0x2f, 0x33));
            setAll(QPalette::Text, text);
            setAll(QPalette::Button, window);
            setAll(QPalette::ButtonText, text);
            setAll(QPalette::ToolTipBase, QColor(0x45, 0x48, 0x4d));
            setAll(QPalette::ToolTipText, text);
            setAll(QPalette::PlaceholderText, QColor(0xa0, 0xa0, 0xa0));
            setAll(QPalette::Highlight, QColor(0x3d, 0x7e, 0xd0));
            setAll(QPalette::HighlightedText, Qt::white);
            setAll(QPalette::Link, QColor(0x7a, 0xb4, 0xf5));
            setAll(QPalette::Light, QColor(0x50, 0x53, 0x58));
            setAll(QPalette::Midlight, QColor(0x45, 0x48, 0x4d));
            setAll(QPalette::Mid, QColor(0x28, 0x2a, 0x2d));
            setAll(QPalette::Dark, QColor(0x1e, 0x1f, 0x22));
            setAll(QPalette::Shadow, QColor(0x10, 0x10, 0x10));
            palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
            palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
            palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
            palette.setColor(QPalette::Disabled, QPalette::Base, window);
            break;
        }
    }
    return palette;
}

void ApplyAppLook(QApplication& application, int appLook, CAppSettings* settings) {
    if (PlatformStyleName().isEmpty()) PlatformStyleName() = application.style()->name();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const CAppLookStyle look = AppLookStyle(appLook);
    const QString name = look.styleName.isEmpty() ? PlatformStyleName() : look.styleName;
    if (QStyle* style = CreateLookStyle(name, look.colours)) QApplication::setStyle(style);
    QApplication::setPalette(
        AppLookPalette(look.colours, QApplication::style()->standardPalette()));
    for (QWidget* widget : QApplication::topLevelWidgets()) widget->update();
    QApplication::restoreOverrideCursor();
    if (settings) settings->WriteAppLook(appLook);
}

}  // namespace brix
