#pragma once

#include <QDockWidget>
#include <QListWidget>

class QLineEdit;

namespace brix {

class CXHtmlTree;

// Titles of the two panes.
inline constexpr char kFileViewTitle[] = "MySQL Database Objects";
inline constexpr char kOutputTitle[] = "Output";
// What the object tree's filter box shows while it is empty.
inline constexpr char kTreeFilterHint[] = "Find table, view or trigger";

// The docking pane with the object tree. A filter box above the tree keeps
// the objects whose name holds its text (CXHtmlTree::SetFilter); the tree
// fills the rest of the pane inside a one-pixel frame; focus given to the
// pane goes to the tree; the pane offers no context menu.
class CFileView : public QDockWidget {
    Q_OBJECT

  public:
    explicit CFileView(QWidget* parent = nullptr);
    CXHtmlTree* tree() const { return tree_; }
    QLineEdit* filterBox() const { return filter_; }

  private:
    CXHtmlTree* tree_;
    QLineEdit* filter_;
};

// The log list: a plain list, one row per line.
class CBrixListCtrl : public QListWidget {
    Q_OBJECT

  public:
    explicit CBrixListCtrl(QWidget* parent = nullptr);
};

// The docking pane "Output" with the log list.
// Whether a line of the log pane tells of an error (a failed save, an
// object left out, a folder or server that could not be used).
bool IsErrorLogLine(const QString& text);

// The role under which a damage row of the log list holds true.
inline constexpr int kDamageRowRole = Qt::UserRole + 1;

class COutputWnd : public QDockWidget {
    Q_OBJECT

  public:
    explicit COutputWnd(QWidget* parent = nullptr);
    CBrixListCtrl* list() const { return list_; }

    // Inserts a row at index (at the end when index is past it) and keeps it
    // in sight.
    void InsertRow(int index, const QString& text);
    // Inserts a damage line: set apart by a warning sign and a colour of its
    // own, with the whole line as its tooltip.
    void InsertDamageRow(int index, const QString& text);
    void DeleteRows();
    QStringList Rows() const;

  private:
    CBrixListCtrl* list_;
};

}  // namespace brix
