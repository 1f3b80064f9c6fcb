// The window of the entries per status: one line per status flag, the
// flag's name and its count.
#pragma once

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;

namespace qv {
class ChartPanel;
}

// Object `statistik_status`.
class Tstatistik_status : public QDialog {
    Q_OBJECT

  public:
    explicit Tstatistik_status(QWidget* parent = nullptr);

    // `Label1` ... `Label12`, one per flag in flag order.
    std::array<QLabel*, 12> labels{};
    QPushButton* BitBtn1 = nullptr;
    // The counts as bars beside the labels.
    qv::ChartPanel* Chart1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    bool m_centred = false;
};
