// The window "Speicherbelegung": the total size of the listed entries' files
// per carrier type and per box, as two bar charts.
#pragma once

#include <QDialog>

#include "statistics/core/statistics.h"

class QLabel;
class QPushButton;

namespace qv {
class ChartPanel;
}

// Object `Speicherbelegung`.
class TSpeicherbelegung : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 870;

    explicit TSpeicherbelegung(QWidget* parent = nullptr);

    void setUse(const qv::StorageUse& use);

    qv::ChartPanel* ChartArt = nullptr;
    qv::ChartPanel* ChartBox = nullptr;
    QLabel* LabelSumme = nullptr;
    QPushButton* BitBtn1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
};
