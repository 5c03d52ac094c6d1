#pragma once

#include <QDockWidget>
#include <QListWidget>

namespace brix {

class CXHtmlTree;

// Titles of the two panes.
inline constexpr char kFileViewTitle[] = "MySQL Database Objects";
inline constexpr char kOutputTitle[] = "Output";

// The docking pane with the object tree. The tree fills the pane inside a
// one-pixel frame; focus given to the pane goes to the tree; the pane offers
// no context menu.
class CFileView : public QDockWidget {
    Q_OBJECT

  public:
    explicit CFileView(QWidget* parent = nullptr);
    CXHtmlTree* tree() const { return tree_; }

  private:
    CXHtmlTree* tree_;
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

class COutputWnd : public QDockWidget {
    Q_OBJECT

  public:
    explicit COutputWnd(QWidget* parent = nullptr);
    CBrixListCtrl* list() const { return list_; }

    // Inserts a row at index (at the end when index is past it) and keeps it
    // in sight.
    void InsertRow(int index, const QString& text);
    void DeleteRows();
    QStringList Rows() const;

  private:
    CBrixListCtrl* list_;
};

}  // namespace brix
