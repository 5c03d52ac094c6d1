#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

namespace brix {

// The rows and columns of the record grid. The record browser builds a grid
// a row and a cell at a time; the model takes those changes into a working
// copy and shows them to its views all at once when Publish is called, so
// that a window of a thousand rows reaches the view as one change instead of
// thousands.
class CGridModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit CGridModel(QObject* parent = nullptr);

    // --- The working copy ---
    // When n is not 0: deletes every row, then the first column n times.
    void ClearGrid(int n);
    // Inserts a column at position (clamped to the columns there are); every
    // row gets an empty cell there.
    void InsertColumn(int position, const QString& title);
    // Inserts a row at position (clamped to the rows there are) with its first
    // cell; returns the row's index.
    int InsertRow(int position, const QString& firstCell);
    // Sets a cell; a row or column that does not exist is left alone.
    void SetCell(int row, int column, const QString& text);
    void DeleteRows();
    int WorkingRowCount() const { return static_cast<int>(work_.rows.size()); }
    int WorkingColumnCount() const { return static_cast<int>(work_.columns.size()); }

    // Shows the working copy. Rows alone are replaced as a removal and an
    // insertion (column widths stay); changed columns reset the model.
    void Publish();
    bool HasUnpublishedChanges() const { return dirty_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // The working copy changed and is not shown yet.
    void changesPending();

  private:
    struct Grid {
        QStringList columns;
        std::vector<QStringList> rows;
    };
    void Touch();

    Grid work_;
    Grid shown_;
    bool dirty_ = false;
};

}  // namespace brix
