#pragma once

#include <QModelIndex>
#include <QPointer>
#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTableView;
class QToolButton;

namespace brix {

class CDesktopServices;
class CGridModel;
class CValueViewerDlg;

// Texts of the record panel.
inline constexpr char kPreviousRecordsText[] = "Previous Records";
inline constexpr char kNextRecordsText[] = "Next Records";
// The grid's context menu.
inline constexpr char kCopyText[] = "Copy";
inline constexpr char kCopyWithHeaderText[] = "Copy with header";
inline constexpr char kViewValueText[] = "View value";

// The record panel: a grid of the selected table's columns or rows, a
// read-only text box for a view's or trigger's definition, and the
// "Previous Records" and "Next Records" buttons. The grid and the text box
// take the same place; the record browser shows one of them at a time. After
// creation only the empty text box is shown.
//
// In the grid, cells are selected as ranges; Ctrl+C copies the selected
// cells as tab-separated text, and the context menu offers Copy, Copy with
// header, View value and Save value as... A double click or Enter on a cell
// opens the value viewer with the whole value.
class CBrixStatic : public QWidget {
    Q_OBJECT

  public:
    explicit CBrixStatic(QWidget* parent = nullptr);

    CGridModel& gridModel() const { return *gridModel_; }
    QTableView* grid() const { return grid_; }
    QPlainTextEdit* textBox() const { return textBox_; }
    QToolButton* previousButton() const { return previous_; }
    QToolButton* nextButton() const { return next_; }

    // Where the value viewer asks for a file to save to; until it is set the
    // value viewer is not offered.
    void SetDesktop(CDesktopServices* desktop) { desktop_ = desktop; }
    // Opens the value viewer on the cell (replacing one open before); null
    // for a cell that is not in the grid or without a desktop.
    CValueViewerDlg* ViewValue(const QModelIndex& cell);
    // The viewer opened last, while it is open.
    CValueViewerDlg* valueViewer() const;
    // Puts the selected cells on the clipboard as tab-separated text.
    void CopySelection(bool withHeader);
    // The grid's context menu for the cell (the current cell when invalid);
    // the caller owns it.
    QMenu* CreateGridMenu(const QModelIndex& cell);

    // When n is not 0: deletes every row of the grid and then its first
    // column n times; in every case empties the text box.
    void ClearGrid(int n);
    void ShowGrid(bool on);
    void ShowTextBox(bool on);
    void SetTextBoxText(const QString& text);
    void ShowPagingButtons(bool on);
    // Empties the label under the grid (which is never shown).
    void ClearLabel();

  signals:
    void previousRecordsClicked();
    void nextRecordsClicked();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Relayout();

    CDesktopServices* desktop_ = nullptr;
    QPointer<CValueViewerDlg> viewer_;
    CGridModel* gridModel_;
    QTableView* grid_;
    QPlainTextEdit* textBox_;
    QToolButton* previous_;
    QToolButton* next_;
    QLabel* label_;
};

// The view in the centre of the main window: the record panel, filling it.
class CBrixTallowView : public QWidget {
    Q_OBJECT

  public:
    explicit CBrixTallowView(QWidget* parent = nullptr);
    CBrixStatic* recordPanel() const { return panel_; }

  private:
    CBrixStatic* panel_;
};

}  // namespace brix
