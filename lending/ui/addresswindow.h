// The address list `Tstd_verleih` ("Stammdaten Adressen (Verleih)") and its
// edit dialog `Tstd_verleih_edit`.
//
// The list shows the addresses by name, postcode or place (tags 2 to 4,
// chosen by the tabs above it); the column of the current key is teal. Below
// it a panel shows the current address (a double click changes it). A new
// address receives nextAddressNumber(); "Ändern" never touches the number.
// The close button hands back the current address number (chosenNumber(), 0
// on an empty list) with the result OK. The address table is opened at
// start-up and stays open: the window neither opens nor closes it; a change
// still pending is posted when it closes.
#pragma once

#include <QList>
#include <QPair>

#include "ui/stdeditdialog.h"
#include "ui/stdlistwindow.h"

class QLabel;
class QTabBar;
class QTabWidget;

namespace qv {

class Tstd_verleih_edit : public TStdEditDialog {
    Q_OBJECT
  public:
    explicit Tstd_verleih_edit(QWidget* parent = nullptr);
    QTabWidget* TabbedNotebook1 = nullptr;

  protected:
    void FormActivate() override;
};

class ColumnHighlight;

class Tstd_verleih : public TStdListWindow {
    Q_OBJECT

  public:
    explicit Tstd_verleih(CatalogueSession& session, QWidget* parent = nullptr);

    int chosenNumber() const { return m_chosen; }
    Tstd_verleih_edit& editDialog() const { return *m_edit; }
    // The grid column drawn teal, -1 for none.
    int highlightedColumn() const;
    // The value label of the detail panel for a field (VNAME ...).
    QLabel* detailLabel(const QString& field) const;

    QTabBar* TabControl1 = nullptr;
    QWidget* PanelDetail = nullptr;

  public slots:
    void TabControl1Change(int index);
    void BtnCloseClick() override;

  protected:
    bool runEditDialog(bool isNew, FieldValues& values) override;
    bool mayCreate() override;
    void appendRecord(const FieldValues& values) override;
    void FormActivate() override;
    void FormClose() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildDetailPanel();
    void fillDetailPanel();
    void highlight(const QString& field);

    Tstd_verleih_edit* m_edit;
    ColumnHighlight* m_highlight;
    QList<QPair<QString, QLabel*>> m_details;
    int m_chosen = 0;
};

}  // namespace qv
