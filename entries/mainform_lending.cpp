// The main window's commands of one feature: their handlers are bound here.
#include "entries/mainform.h"

#include <QTabBar>
#include <QToolButton>

#include "masterdata/addresswindow.h"
#include "masterdata/lending.h"
#include "masterdata/masterdatawindows.h"
#include "shell/command.h"
#include "shell/dbgrid.h"
#include "shell/dialogs.h"
#include "store/guards.h"
#include "store/tapollo.h"

namespace {

qv::LendingField lendingFieldOf(int lowerTab) {
    return lowerTab == TMainForm::TabLentTo ? qv::LendingField::LentTo
                                            : qv::LendingField::BorrowedFrom;
}

}  // namespace

void TMainForm::bindLendingCommands() {
    command(qv::MainCommand::Addresses).setHandler([this] { AdressenVerleih1Click(); });
    qv::connectCommand(panelverleihbtn1, &QToolButton::clicked, this,
                       [this] { panelverleihbtn1Click(); });
    qv::connectCommand(BitBtn1, &QToolButton::clicked, this, [this] { BitBtn1Click(); });
    panelverleihbtn1->setEnabled(true);
    BitBtn1->setEnabled(true);
}

void TMainForm::AdressenVerleih1Click() {
    qv::MasterdataWindows::of(m_session).verleih(this).exec();
    // The list moved the address table: the panel shows the entry's address again.
    untenrefresh(TabControl2->currentIndex());
}

void TMainForm::panelverleihbtn1Click() {
    if (!qv::hasCurrentEntry(m_session)) {
        qv::message(QStringLiteral("Kein Datensatz vorhanden."), QStringLiteral("Adresse zuteilen"),
                    qv::MsgIcon::Error);
        return;
    }
    const qv::LendingField field = lendingFieldOf(TabControl2->currentIndex());
    const int entry = Apollo1->sx_RecNo();
    {
        qv::ScopedSuspend suspend(*DataSource1);
        const std::optional<int> chosen = qv::chooseAddress(m_session, this);
        // An empty address list hands back 0: that removes nothing here, removing
        // has its own command.
        if (chosen && *chosen > 0) qv::setLending(m_session, field, *chosen);
        Apollo1->sx_Go(entry);
    }
    DBGrid1->setFocus(Qt::OtherFocusReason);
}

void TMainForm::BitBtn1Click() {
    if (!qv::hasCurrentEntry(m_session)) {
        qv::message(QStringLiteral("Kein Datensatz vorhanden."),
                    QStringLiteral("Zuteilung löschen"), qv::MsgIcon::Error);
        return;
    }
    if (qv::message(QStringLiteral("Zuteilung löschen ?"), QStringLiteral("Aufheben Zuteilung"),
                    qv::MsgIcon::Question, qv::MsgButtons::YesNo) == qv::MsgAnswer::Yes) {
        qv::setLending(m_session, lendingFieldOf(TabControl2->currentIndex()), 0);
        untenrefresh(TabControl2->currentIndex());
    }
    DBGrid1->setFocus(Qt::OtherFocusReason);
}
