// The print preview, shared by labels and lists: the pages of the report in
// its slot, paged and zoomed, and printed on request.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace qv {
class PageView;
namespace report {
class Report;
}
}  // namespace qv

// Object `PreviewForm`.
class TPreviewForm : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 780;

    explicit TPreviewForm(QWidget* parent = nullptr);

    // The report slot: the report whose last produced pages are shown and
    // which "&Drucken" prints.
    qv::report::Report* QuickReport2 = nullptr;
    // Puts `report` into the slot and shows the window modally until it is
    // closed (the report's preview handler).
    void showReport(qv::report::Report& report);

    qv::PageView* QRPreview1 = nullptr;
    QLabel* Label2 = nullptr;
    QSpinBox* SpinEdit2 = nullptr;  // page
    QLabel* Label1 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;  // zoom
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QPushButton* BtnClose = nullptr;

  public slots:
    // Once per showing: zoom and page edits from the page view and the report.
    void FormActivate();
    void SpeedButton1Click();  // "&Breite"
    void SpeedButton2Click();  // "&Vollbild"
    void SpeedButton3Click();  // "&Drucken"
    void SpinEdit1Click();     // zoom changed
    void SpinEdit2Change();    // page changed

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QWidget* m_panel = nullptr;
};
