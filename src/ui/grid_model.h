#pragma once

#include <QAbstractTableModel>
#include <memory>

#include "app/grid_window.h"

namespace brix {

// The rows and columns of the record grid: a shared read-only snapshot of the
// window of rows the browse layer handed over, read cell by cell as the view
// paints; the model copies no text. A new window or a cleared grid waits as
// the pending window until Publish shows it, so that the changes of one
// command reach the view as one change.
class CGridModel : public QAbstractTableModel {
    Q_OBJECT

  public:
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
