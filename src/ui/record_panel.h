#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QTableView;
class QToolButton;

namespace brix {

class CGridModel;

// Texts of the record panel.
inline constexpr char kPreviousRecordsText[] = "Previous Records";
inline constexpr char kNextRecordsText[] = "Next Records";

// The record panel: a grid of the selected table's columns or rows, a
// read-only text box for a view's or trigger's definition, and the
// "Previous Records" and "Next Records" buttons. The grid and the text box
// take the same place; the record browser shows one of them at a time. After
// creation only the empty text box is shown.
class CBrixStatic : public QWidget {
    Q_OBJECT

  public:
    explicit CBrixStatic(QWidget* parent = nullptr);

    CGridModel& gridModel() const { return *gridModel_; }
    QTableView* grid() const { return grid_; }
    QPlainTextEdit* textBox() const { return textBox_; }
    QToolButton* previousButton() const { return previous_; }
    QToolButton* nextButton() const { return next_; }

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

  private:
    void Relayout();

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
