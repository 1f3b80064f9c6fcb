// The window of the entries per category: the category table as a list of
// names and counts (the counts the last run stored).
#pragma once

#include <QDialog>

class QPushButton;
class TDataSource;

namespace qv {
class ChartPanel;
class DbGrid;
}  // namespace qv

// Object `Stat_kategorie`.
class TStat_kategorie : public QDialog {
    Q_OBJECT

  public:
    // `categories`: the view on the category table the grid shows.
    explicit TStat_kategorie(TDataSource* categories, QWidget* parent = nullptr);
    ~TStat_kategorie() override;

    // Shows the window modally with the columns "Kategorie" and "Anzahl";
    // the table's own column definitions are back afterwards.
    int showCounts();

    qv::DbGrid* DBGrid1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    // The counts as bars beside the list.
    qv::ChartPanel* Chart1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TDataSource* m_source;
    bool m_centred = false;
};
