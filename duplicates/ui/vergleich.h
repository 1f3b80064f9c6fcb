// The window "Datenträger vergleichen": for the current entry, the other
// entries that hold its files (title, box/number, how many, how large), the
// files found nowhere else, and the verdict whether the carrier may go.
// Enter on another entry makes it the main window's current entry.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include <optional>

#include "duplicates/core/duplicates.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace qv {

class MainWindowHost;

// The files found only on the compared carrier.
class OnlyHereModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    using QAbstractTableModel::QAbstractTableModel;
    void setFiles(std::vector<OnlyHereFile> files);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::vector<OnlyHereFile> m_files;
};

// Object `Vergleich`.
class TVergleich : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 855;

    TVergleich(MainWindowHost& host, QWidget* parent = nullptr);

    // Compares the entry numbered `number` (with progress; a cancel leaves
    // the window saying so) and shows the window modally.
    void run(int number);

    QLabel* Kopf = nullptr;
    QComboBox* Regel = nullptr;
    QPushButton* BtnVergleichen = nullptr;
    QPushButton* BtnSchliessen = nullptr;
    QTreeWidget* Andere = nullptr;
    QTreeView* NurHier = nullptr;
    QLabel* Urteil = nullptr;

    const std::optional<CarrierComparison>& result() const { return m_result; }

  public slots:
    // "&Vergleichen": the comparison again with the rule chosen. False when
    // cancelled.
    bool BtnVergleichenClick();
    void AndereActivated(QTreeWidgetItem* item);

  private:
    void showResult(const CarrierComparison& c);

    MainWindowHost& m_host;
    int m_number = 0;
    std::optional<CarrierComparison> m_result;
    OnlyHereModel* m_only = nullptr;
};

}  // namespace qv
