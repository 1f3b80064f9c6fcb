// The entry dialog "Eingabe der Grunddaten": the base data of one entry on
// the first page, its twelve status flags on the second. The main window's
// new, copy and edit commands run it through run(); it writes nothing
// itself; the automatic carrier number only reads the entry table.
#pragma once

#include <QDialog>
#include <QSpinBox>

#include <array>
#include <functional>

#include "entries/core/entryops.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace qv {
class CatalogueSession;
class SettingsList;

// A spin field whose empty text stands for a default value. Qt's spin box
// would fall back to its previous value when left empty; this one puts the
// default in instead when it is left or when Enter is pressed in it. Its
// value is read from text(), never from value().
class NumberSpin : public QSpinBox {
    Q_OBJECT

  public:
    NumberSpin(int minimum, int maximum, int digits, const QString& emptyText,
               QWidget* parent = nullptr);
    // Sets the text as it stands ("" for a blank field), unchecked.
    void setFieldText(const QString& text);
    // An empty (or blank) text becomes the default text.
    void normalise();
    QLineEdit* editor() const { return lineEdit(); }

  protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QString m_emptyText;
};

}  // namespace qv

// Object `GrunddatenEingabe`.
class TGrunddatenEingabe : public QDialog {
    Q_OBJECT

  public:
    // Chooses a value from a lookup list (shown modally); true with the
    // chosen text when the list was left through its take-over button.
    using Chooser = std::function<bool(QString& value)>;

    TGrunddatenEingabe(qv::CatalogueSession& session, qv::SettingsList& settings,
                       QWidget* parent = nullptr);

    // Shows `fields`, runs the dialog modally and, when it ends with OK,
    // returns true with the fields as the user left them.
    bool run(qv::EntryFields& fields);

    void setFields(const qv::EntryFields& fields);
    qv::EntryFields fields() const;

    // The "?" buttons beside the category and the carrier type; a button
    // without a chooser stays disabled.
    void setCategoryChooser(Chooser chooser);
    void setCarrierTypeChooser(Chooser chooser);

    QTabWidget* TabbedNotebook1 = nullptr;
    QLineEdit* Bezeichnung = nullptr;
    QLineEdit* kategorie = nullptr;
    QLineEdit* Diskart = nullptr;
    qv::NumberSpin* AnzahlDisk = nullptr;
    qv::NumberSpin* BoxNummer = nullptr;
    qv::NumberSpin* DiskNummer = nullptr;
    QToolButton* Button1 = nullptr;  // carrier types
    QToolButton* Button2 = nullptr;  // categories
    QToolButton* Button3 = nullptr;  // automatic carrier number
    std::array<QCheckBox*, 12> CheckBox{};
    QPushButton* OK = nullptr;
    QPushButton* Abbruch = nullptr;
    QPushButton* BitBtn1 = nullptr;

  public slots:
    void OKClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void BitBtn1Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // The steps of each showing: first page, focus, empty number fields,
    // the status names when the settings list changed.
    void FormActivate();
    QWidget* buildBasePage();
    QWidget* buildStatusPage();

    qv::CatalogueSession& m_session;
    qv::SettingsList& m_settings;
    qv::EntryFields m_fields;
    Chooser m_chooseCategory;
    Chooser m_chooseCarrierType;
    bool m_centred = false;
};
