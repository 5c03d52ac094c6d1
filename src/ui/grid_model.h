#pragma once

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <memory>

#include "app/grid_window.h"

namespace brix {

// Characters of a value a cell shows; a longer value is cut there and ends
// with kCellCutMark. The whole value stays available through kFullTextRole.
inline constexpr int kCellTextLimit = 256;
inline constexpr char16_t kCellCutMark = u'\u2026';

// The rows and columns of the record grid: a shared read-only snapshot of the
// window of rows the browse layer handed over, read cell by cell as the view
// paints; the model copies no text. A new window or a cleared grid waits as
// the pending window until Publish shows it, so that the changes of one
// command reach the view as one change.
//
// NULL values show the text "NULL" in grey italics, so that they stand apart
// from a text 'NULL'; numeric columns are right-aligned.
class CGridModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    // Roles beyond Qt's: the whole text of a cell, and whether it is NULL.
    static constexpr int kFullTextRole = Qt::UserRole + 1;
    static constexpr int kNullRole = Qt::UserRole + 2;
    // The whole value's file: a path when the cell's text names a file that
    // holds the value, else an empty text.
    static constexpr int kSpillFileRole = Qt::UserRole + 3;

    explicit CGridModel(QObject* parent = nullptr);

    // --- The pending window ---
    // When n is not 0: no rows and no columns.
    void ClearGrid(int n);
    // The window to show.
    void ShowRows(std::shared_ptr<const CGridWindow> window);

    // Shows the pending window. Rows alone are replaced as a removal and an
    // insertion (column widths stay); changed columns reset the model.
    void Publish();
    bool HasUnpublishedChanges() const { return dirty_; }
    // The window shown; null when the grid is empty.
    const std::shared_ptr<const CGridWindow>& shownWindow() const { return shown_; }
    // The window that Publish will show; null for an empty grid.
    const std::shared_ptr<const CGridWindow>& pendingWindow() const { return work_; }

    // The cells as tab-separated lines, the whole values (a NULL as the text
    // NULL, as the cell shows it): the rows and the
    // columns that hold at least one of the cells, in the grid's order, with
    // an empty field for a cell in that rectangle that is not among them.
    // With header, the column titles come first. A field that holds a tab, a
    // line break or a double quote is quoted, its quotes doubled, as
    // spreadsheets read it. Empty for no cells.
    QString CopyText(const QModelIndexList& cells, bool withHeader) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // The pending window changed and is not shown yet.
    void changesPending();

  private:
    void Touch();

    std::shared_ptr<const CGridWindow> work_;
    std::shared_ptr<const CGridWindow> shown_;
    // The rows of shown_ the views know of.
    int shownRows_ = 0;
    bool dirty_ = false;
};

}  // namespace brix
