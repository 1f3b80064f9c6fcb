// The confirmation dialog of the entry deletion: "Löschen" releases every
// file record of the current entry of the entry table, showing the count in
// the dialog itself, and ends the dialog with OK; "Abbrechen" changes
// nothing. The caller deletes the entry record only after OK.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace qv {
class CatalogueSession;
}

// Object `Loescheneintrag`.
class TLoescheneintrag : public QDialog {
    Q_OBJECT

  public:
    inline static constexpr int kHelpTopic = 820;

    explicit TLoescheneintrag(qv::CatalogueSession& session, QWidget* parent = nullptr);

    // The number of file records the last "Löschen" released.
    int lastReleased() const { return m_released; }

    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* HelpBtn = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;

  public slots:
    void OKBtnClick();
    void HelpBtnClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // The labels' start state: the notice shown, the status lines hidden.
    void showNotice(bool on);

    qv::CatalogueSession& m_session;
    int m_released = 0;
    bool m_centred = false;
};
