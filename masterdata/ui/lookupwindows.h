// The three lookup lists: extensions (`Tstd_endung`), categories
// (`Tstd_katego`) and carrier types (`Tstd_art`), each with its edit dialog.
//
// The category and the carrier-type window hand back the text of their
// current record (trimmed at the right) when they are left through their
// close button: chosenValue() holds it and the modal result is OK. Leaving
// them in any other way gives Cancel and leaves chosenValue() as it was.
// Both open their table when they are shown and close it when they close;
// the extension window opens its table only when it is closed and leaves it
// open.
#pragma once

#include "ui/stdeditdialog.h"
#include "ui/stdlistwindow.h"

namespace qv {

class Tstd_endung_edit : public TStdEditDialog {
    Q_OBJECT
  public:
    explicit Tstd_endung_edit(QWidget* parent = nullptr);
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
};

class Tstd_katego_edit : public TStdEditDialog {
    Q_OBJECT
  public:
    explicit Tstd_katego_edit(QWidget* parent = nullptr);
    QLineEdit* Edit1 = nullptr;
};

class Tstd_art_edit : public TStdEditDialog {
    Q_OBJECT
  public:
    explicit Tstd_art_edit(QWidget* parent = nullptr);
    QLineEdit* Edit1 = nullptr;
};

// A lookup list with its edit dialog; the table's first (and only) tag.
class TStdLookupWindow : public TStdListWindow {
    Q_OBJECT
  public:
    TStdEditDialog& editDialog() const { return *m_edit; }

  protected:
    // `keepOpen`: the table is opened only when it is closed and stays open.
    TStdLookupWindow(CatalogueSession& session, Options options, bool keepOpen,
                     TStdEditDialog* edit, QWidget* parent);
    bool runEditDialog(bool isNew, FieldValues& values) override;
    void FormActivate() override;
    void FormClose() override;

  private:
    TStdEditDialog* m_edit;
    bool m_keepOpen;
};

class Tstd_endung : public TStdLookupWindow {
    Q_OBJECT
  public:
    explicit Tstd_endung(CatalogueSession& session, QWidget* parent = nullptr);
};

// The category and carrier-type windows: the close button hands back a text.
class TStdChoosingWindow : public TStdLookupWindow {
    Q_OBJECT
  public:
    const QString& chosenValue() const { return m_chosen; }
    void BtnCloseClick() override;

  protected:
    TStdChoosingWindow(CatalogueSession& session, Options options, TStdEditDialog* edit,
                       QString valueField, QWidget* parent);

  private:
    QString m_valueField;
    QString m_chosen;
};

class Tstd_katego : public TStdChoosingWindow {
    Q_OBJECT
  public:
    explicit Tstd_katego(CatalogueSession& session, QWidget* parent = nullptr);
};

class Tstd_art : public TStdChoosingWindow {
    Q_OBJECT
  public:
    explicit Tstd_art(CatalogueSession& session, QWidget* parent = nullptr);
};

}  // namespace qv
