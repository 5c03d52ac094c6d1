#include "ui/value_viewer_dlg.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/desktop_services.h"
#include "ui/qt_text.h"

namespace brix {

namespace {

constexpr int kHexBytesPerLine = 16;

QPlainTextEdit* MakeReadOnlyView(QWidget* parent, bool fixedPitch) {
    auto* view = new QPlainTextEdit(parent);
    view->setReadOnly(true);
    view->setLineWrapMode(fixedPitch ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    if (fixedPitch) view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return view;
}

// A file name made of the column title: characters that file systems refuse
// become underscores.
QString SuggestedName(const QString& column, bool fromFile) {
    QString name = column.isEmpty() ? QStringLiteral("value") : column;
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c)) c = QLatin1Char('_');
    }
    return name + (fromFile ? QStringLiteral(".bin") : QStringLiteral(".txt"));
}

}  // namespace

bool ReadSpilledValue(const CSpilledValue& value, qint64 from, qint64 max, QByteArray& out,
                      qint64& total) {
    out.clear();
    total = 0;
    QFile file(value.file);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const qint64 start = std::max<qint64>(value.offset, 0);
    const qint64 rest = std::max<qint64>(file.size() - start, 0);
    total = value.length < 0 ? rest : std::min(value.length, rest);
    if (from < 0 || max <= 0 || from >= total) return true;
    if (!file.seek(start + from)) return false;
    out = file.read(std::min(max, total - from));
    return file.error() == QFileDevice::NoError;
}

QString HexDump(const QByteArray& bytes, qsizetype limit) {
    const qsizetype shown = std::min(bytes.size(), std::max<qsizetype>(limit, 0));
    QString out;
    out.reserve(shown / kHexBytesPerLine * 78 + 80);
    for (qsizetype line = 0; line < shown; line += kHexBytesPerLine) {
        out += QStringLiteral("%1  ").arg(line, 8, 16, QLatin1Char('0'));
        QString ascii;
        for (qsizetype i = 0; i < kHexBytesPerLine; ++i) {
            if (line + i < shown) {
                const auto b = static_cast<unsigned char>(bytes[line + i]);
                out += QStringLiteral("%1 ").arg(b, 2, 16, QLatin1Char('0'));
                ascii += QLatin1Char(b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.');
            } else {
                out += QStringLiteral("   ");
            }
            if (i == kHexBytesPerLine / 2 - 1) out += QLatin1Char(' ');
        }
        out += QLatin1Char(' ') + ascii + QLatin1Char('\n');
    }
    if (shown < bytes.size())
        out += QStringLiteral("... %1 more bytes not shown\n").arg(bytes.size() - shown);
    return out;
}

CValueViewerDlg::CValueViewerDlg(CDesktopServices& desktop, const Value& value, QWidget* parent)
    : QDialog(parent),
      desktop_(desktop),
      value_(value),
      tabs_(new QTabWidget(this)),
      text_(MakeReadOnlyView(this, false)),
      hex_(MakeReadOnlyView(this, true)),
      length_(new QLabel(this)),
      save_(new QPushButton(QString::fromLatin1(kSaveValueAsText), this)) {
    setWindowTitle(QString::fromLatin1(kValueViewerTitle) + QStringLiteral(" - ") + value.column);
    auto* layout = new QVBoxLayout(this);
    auto* where =
        new QLabel(QStringLiteral("%1, row %2").arg(value.column).arg(value.row + 1), this);
    where->setTextFormat(Qt::PlainText);
    layout->addWidget(where);
    tabs_->addTab(text_, QStringLiteral("Text"));
    tabs_->addTab(hex_, QStringLiteral("Hex"));
    layout->addWidget(tabs_, 1);
    layout->addWidget(length_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(save_, QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(save_, &QPushButton::clicked, this, [this] { SaveValue(); });

    if (value.isNull) {
        text_->setPlainText(QStringLiteral("NULL"));
        length_->setText(QStringLiteral("NULL: no value"));
        save_->setEnabled(false);
    } else if (!value.spillFile.isEmpty()) {
        qint64 total = 0;
        if (!ReadSpilledValue(Spilled(), 0, kSpillReadLimit, bytes_, total)) {
            text_->setPlainText(QString::fromLatin1(kSpillFileUnreadable) + value.spillFile);
            length_->setText(QString::fromLatin1(kSpillFileUnreadable) + value.spillFile);
            save_->setEnabled(false);
        } else {
            text_->setPlainText(QString::fromUtf8(bytes_));
            QString length =
                QStringLiteral("Length: %1 bytes, from %2").arg(total).arg(value.spillFile);
            if (value.spillOffset > 0)
                length += QStringLiteral(" at offset %1").arg(value.spillOffset);
            if (total > bytes_.size())
                length += QStringLiteral(" (the first %1 bytes shown)").arg(bytes_.size());
            length_->setText(length);
        }
    } else {
        bytes_ = value.text.toUtf8();
        text_->setPlainText(value.text);
        length_->setText(QStringLiteral("Length: %1 characters, %2 bytes in UTF-8")
                             .arg(value.text.size())
                             .arg(bytes_.size()));
    }
    hex_->setPlainText(HexDump(bytes_));
    length_->setTextFormat(Qt::PlainText);
    resize(640, 420);
}

bool CValueViewerDlg::SaveValue() {
    if (value_.isNull || !save_->isEnabled()) return false;
    const std::optional<std::filesystem::path> path =
        desktop_.ChooseFileToSave(this, SuggestedName(value_.column, !value_.spillFile.isEmpty()));
    if (!path) return false;
    const QString name = ToQString(path->u16string());
    QFile file(name);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (written && !value_.spillFile.isEmpty()) {
        // The whole value, which may be longer than what was read for the
        // view: copied a piece at a time. Every piece moves on by its bytes,
        // and a piece that brings none ends the copy.
        qint64 total = 0;
        QByteArray piece;
        for (qint64 at = 0; written; at += piece.size()) {
            written = ReadSpilledValue(Spilled(), at, kHexViewLimit, piece, total);
            if (!written || at >= total) break;
            written = !piece.isEmpty() && file.write(piece) == piece.size();
        }
    } else if (written) {
        written = file.write(bytes_) == bytes_.size();
    }
    if (written) written = file.flush();
    file.close();
    if (!written) {
        desktop_.ShowMessage(this, QString::fromLatin1(kValueNotSaved) + name);
        return false;
    }
    return true;
}

}  // namespace brix
