// The query dialog: the four criteria of the entry query and how they are
// joined. Created once and kept, so its fields keep their contents between
// queries. Ends with OK (run the query), Cancel, or kResetResult after
// "&Rücksetzen" has emptied the fields (no query).
#pragma once

#include <QDialog>

#include "search/core/entryquery.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

// Object `Suchabfrage`.
class TSuchabfrage : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kResetResult = 4;
    static constexpr int kHelpTopic = 888;
    static constexpr int kCarrierTypeHelpTopic = 760;

    explicit TSuchabfrage(QWidget* parent = nullptr);

    // The fields as they stand.
    qv::QueryCriteria criteria() const;

    QLabel* banner = nullptr;
    QTabWidget* TabbedNotebook1 = nullptr;
    QLineEdit* Bezeichnung = nullptr;
    QLineEdit* kategorie = nullptr;
    QLineEdit* Diskart = nullptr;
    QSpinBox* BoxNummer = nullptr;
    QRadioButton* verknuepfungUnd = nullptr;   // `verknuepfung` item 0
    QRadioButton* verknuepfungOder = nullptr;  // `verknuepfung` item 1
    QPushButton* BitBtnOk = nullptr;
    QPushButton* BitBtnAbbrechen = nullptr;
    QPushButton* BitBtnReset = nullptr;
    QPushButton* BitBtnHilfe = nullptr;

  public slots:
    void BitBtnResetClick();
    void BitBtnHilfeClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QWidget* buildBasePage();
    QWidget* buildJoinPage();
    bool m_centred = false;
};
