#pragma once

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QStatusBar>
#include <QTabBar>
#include <vector>

class QProgressBar;
class QHBoxLayout;

namespace brix {

// The one-line message area under the command bar: a picture on the left and
// a left-aligned text.
class CMyCaptionBar : public QFrame {
    Q_OBJECT

  public:
    explicit CMyCaptionBar(QWidget* parent = nullptr);

    // Replaces the text and repaints at once. A trailing line end is not
    // shown: the bar has one line.
    void SetText(const QString& text);
    QString text() const;

  private:
    QLabel* picture_;
    QLabel* text_;
};

// The status bar: a link to the product's page on the left (hidden while no
// address is set), the product's name on the right with the rows the grid
// shows before it ("rows 1001-2000 of 5230"), and the busy indicator,
// a progress bar that stands over the middle of the bar while work runs.
class CRibbonStatusBarCls : public QStatusBar {
    Q_OBJECT

  public:
    explicit CRibbonStatusBarCls(QWidget* parent = nullptr);

    // The link's address, shown as its text; empty hides the link.
    void SetLink(const QString& address);
    QLabel* link() const { return link_; }
    QProgressBar* progress() const { return progress_; }
    void ShowProgress(bool on);
    // Which rows of how many the grid shows; empty hides the text.
    void SetRowsShown(const QString& text);
    QString rowsShown() const { return rows_->text(); }

  signals:
    void linkActivated(const QString& address);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* link_;
    QFrame* separator_;
    QProgressBar* progress_;
    QLabel* rows_;
};

// A group of commands on the command bar, with its title under them.
class CRibbonPanel : public QWidget {
    Q_OBJECT

  public:
    CRibbonPanel(const QString& title, QWidget* parent);
    // Adds a large button for the action: its icon above its text.
    void AddCommand(QAction* action);
    QString title() const { return title_->text(); }

  private:
    QHBoxLayout* buttons_;
    QLabel* title_;
};

// The command bar under the title: the application's badge and one
// category tab, and under it the category's panels of large buttons.
class CRibbonBar : public QWidget {
    Q_OBJECT

  public:
    CRibbonBar(const QString& category, const QIcon& applicationIcon, QWidget* parent = nullptr);
    CRibbonPanel* AddPanel(const QString& title);
    QString category() const { return tabs_->tabText(0); }
    const std::vector<CRibbonPanel*>& panels() const { return panels_; }

  private:
    QTabBar* tabs_;
    QWidget* category_;
    QHBoxLayout* panelRow_;
    std::vector<CRibbonPanel*> panels_;
};

}  // namespace brix
