#include "reading/ui/loescheneintrag.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "catalogue/cataloguesession.h"
#include "reading/core/carrierreading.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "ui/command.h"
#include "ui/helpwindow.h"
#include "ui/widgetguards.h"
#include "ui/windowutil.h"

namespace {

// Restores the labels' start state and the buttons on every exit.
class StatusShown {
  public:
    explicit StatusShown(std::function<void(bool)> show) : m_show(std::move(show)) {
        m_show(false);
    }
    ~StatusShown() { m_show(true); }
    StatusShown(const StatusShown&) = delete;
    StatusShown& operator=(const StatusShown&) = delete;

  private:
    std::function<void(bool)> m_show;
};

}  // namespace

TLoescheneintrag::TLoescheneintrag(qv::CatalogueSession& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("Loescheneintrag"));
    setWindowTitle(QStringLiteral("Löschen des Eintrags ?"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    Label1 = label("Label1",
                   QStringLiteral("Durch das Löschen des Eintrages wird der Eintrag selbst, der "
                                  "dazugehörende Zusatztext, sowie alle eingelesenen Zusatzdaten "
                                  "(Dateien) gelöscht."));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label1->setMinimumWidth(300);
    Label2 = label("Label2", QStringLiteral("Status:"));
    Label3 = label("Label3", QStringLiteral("Löschen der Zusatzdaten (Dateien) ...."));
    Label4 = label("Label4", QString());

    OKBtn = new QPushButton(QStringLiteral("Löschen"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    HelpBtn = new QPushButton(QStringLiteral("&Hilfe"), this);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));

    auto* text = new QVBoxLayout;
    text->addWidget(Label1);
    text->addWidget(Label2);
    text->addWidget(Label3);
    text->addWidget(Label4);
    text->addStretch(1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);
    buttons->addStretch(1);
    auto* all = new QHBoxLayout(this);
    all->addLayout(text, 1);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);
    showNotice(true);

    qv::connectCommand(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    qv::connectCommand(HelpBtn, &QPushButton::clicked, this, [this] { HelpBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TLoescheneintrag::showNotice(bool on) {
    Label1->setVisible(on);
    Label2->setVisible(!on);
    Label3->setVisible(!on);
    Label4->setVisible(!on);
}

void TLoescheneintrag::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    OKBtn->setFocus(Qt::OtherFocusReason);
    if (!m_centred) {
        m_centred = true;
        qv::centerOnScreen(this);
    }
}

void TLoescheneintrag::OKBtnClick() {
    {
        qv::ScopedDisable buttons{OKBtn, CancelBtn};
        StatusShown status([this](bool on) { showNotice(on); });
        repaint();
        qv::letMessagesRun();
        const int n = qv::strToInt(m_session.apollo(qv::CatalogueTable::Entries)
                                       .sx_EvalString(QStringLiteral("str(eindeutig,8)")));
        QElapsedTimer clock;
        clock.start();
        m_released = 0;
        m_released = qv::releaseFileRecords(m_session, n, [&](int k) {
            // The first count at once, then at most every 25 ms.
            if (k == 1 || clock.elapsed() >= 25) {
                Label4->setText(qv::releasedCountText(k));
                qv::letMessagesRun();
                clock.restart();
            }
        });
        if (m_released > 0) Label4->setText(qv::releasedCountText(m_released));
    }
    accept();
}

void TLoescheneintrag::HelpBtnClick() {
    qv::showHelp(kHelpTopic);
}
