#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace brix {

struct CAppLinks;

// The About box: a banner, the product's name, links to the product's site
// and the support and sales mail addresses (each only when its address is
// set), and the copyright notice. OK and Enter close it, as do the close box
// and Escape; it can be dragged by any point of its surface.
class CBrixAboutDlg : public QDialog {
    Q_OBJECT

  public:
    CBrixAboutDlg(const CAppLinks& links, QWidget* parent = nullptr);

    QLabel* websiteLink() const { return website_; }
    QLabel* supportLink() const { return support_; }
    QLabel* salesLink() const { return sales_; }
    QPushButton* okButton() const { return ok_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    QLabel* website_;
    QLabel* support_;
    QLabel* sales_;
    QPushButton* ok_;
    QPoint dragOffset_;
    bool dragging_ = false;
};

}  // namespace brix
