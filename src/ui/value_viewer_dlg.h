#pragma once

#include <QByteArray>
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace brix {

class CDesktopServices;

// Texts of the value viewer.
inline constexpr char kValueViewerTitle[] = "Value";
inline constexpr char kSaveValueAsText[] = "Save value as...";
inline constexpr char kValueNotSaved[] = "The value could not be saved to ";
inline constexpr char kSpillFileUnreadable[] = "The file that holds the value could not be read: ";

// Bytes of a value the hex tab shows at most; the rest is left out with a
// line that says so.
inline constexpr qsizetype kHexViewLimit = 1 << 20;
// Bytes of a spill file the viewer reads at most.
inline constexpr qsizetype kSpillReadLimit = 64 << 20;

// Where export mode keeps a value too long for the record: a file, and the
// part of it that holds the value (offset, and length bytes; -1 runs to the
// file's end).
struct CSpilledValue {
    QString file;
    qint64 offset = 0;
    qint64 length = -1;
};

// Reads at most max bytes of the value, from the byte at from on, into out;
// total is set to the value's whole length. The file is opened read-only and
// only for this call. False (out empty) when it cannot be read. The one place
// the window reads a spilled value: the viewer and its "Save value as..."
// both read through it.
bool ReadSpilledValue(const CSpilledValue& value, qint64 from, qint64 max, QByteArray& out,
                      qint64& total);

// One cell's whole value: as text, as hex, and its length, with "Save value
// as..." writing it to a file chosen through the desktop. The grid holds
// values as rendered text, so the bytes shown and saved are that text in
// UTF-8; a value spilled to a file is read from that file (read-only) and
// its bytes are shown and saved as they are. A NULL value shows "NULL" and
// cannot be saved.
class CValueViewerDlg : public QDialog {
    Q_OBJECT

  public:
    struct Value {
        QString column;  // the column title
        int row = 0;     // 0-based row in the grid
        QString text;    // the whole text of the cell
        bool isNull = false;
        QString spillFile;        // the file that holds the value, when there is one
        qint64 spillOffset = 0;   // where in it the value starts
        qint64 spillLength = -1;  // its bytes there; -1: up to the file's end
    };

    CValueViewerDlg(CDesktopServices& desktop, const Value& value, QWidget* parent = nullptr);

    // The bytes "Save value as..." writes.
    const QByteArray& bytes() const { return bytes_; }
    QPlainTextEdit* textView() const { return text_; }
    QPlainTextEdit* hexView() const { return hex_; }
    QLabel* lengthLabel() const { return length_; }
    QPushButton* saveButton() const { return save_; }
    QTabWidget* tabs() const { return tabs_; }

    // Asks for a file and writes the value's bytes to it; false when
    // cancelled or not written (then a message says so).
    bool SaveValue();

  private:
    CSpilledValue Spilled() const {
        return {value_.spillFile, value_.spillOffset, value_.spillLength};
    }

    CDesktopServices& desktop_;
    Value value_;
    QByteArray bytes_;
    QTabWidget* tabs_;
    QPlainTextEdit* text_;
    QPlainTextEdit* hex_;
    QLabel* length_;
    QPushButton* save_;
};

// Lines of a hex dump of bytes: an offset, sixteen bytes in hex and the same
// bytes as ASCII (a dot for anything else). At most limit bytes are dumped;
// a last line tells how many were left out.
QString HexDump(const QByteArray& bytes, qsizetype limit = kHexViewLimit);

}  // namespace brix
