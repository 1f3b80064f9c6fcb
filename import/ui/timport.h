// The import dialog "Daten einlesen (QV-Lindovar 2.5)": shows the source
// table in a grid and imports it on "&Einlesen". The source table is open
// (read-only, shared) only while the dialog is shown.
#pragma once

#include <QDialog>

class QPushButton;
class TApollo;
class TDataSource;
class TTable;

namespace qv {
class CatalogueSession;
class DbGrid;
}  // namespace qv

// Object `Import`.
class TImport : public QDialog {
    Q_OBJECT

  public:
    explicit TImport(qv::CatalogueSession& session, QWidget* parent = nullptr);
    ~TImport() override;

    // The source table: `fileName` in `directory`.
    void setSource(const QString& directory, const QString& fileName);

    TTable* Table1 = nullptr;
    TDataSource* DataSource1 = nullptr;
    TApollo* Apollo1 = nullptr;
    qv::DbGrid* DBGrid1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* HelpBtn = nullptr;

  public slots:
    void OKBtnClick();
    void HelpBtnClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void FormActivate();
    void FormClose();

    qv::CatalogueSession& m_session;
    bool m_centred = false;
};
