#include "lending/ui/lendingcommands.h"

#include "catalogue/cataloguesession.h"
#include "lending/core/lending.h"
#include "lending/ui/addresswindow.h"
#include "lending/ui/addresswindows.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "ui/command.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"

namespace qv {

namespace {

LendingField lendingFieldOf(int lowerTab) {
    return lowerTab == MainWindowHost::TabLentTo ? LendingField::LentTo
                                                 : LendingField::BorrowedFrom;
}

}  // namespace

void LendingCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandRegistry& commands = host.commands();
    commands.command(MainCommand::Addresses).setHandler([this] { AdressenVerleih1Click(); });
    commands.command(MainCommand::AssignAddress).setHandler([this] { panelverleihbtn1Click(); });
    commands.command(MainCommand::RemoveAddressAssignment).setHandler([this] { BitBtn1Click(); });
}

void LendingCommands::AdressenVerleih1Click() {
    AddressWindows::of(m_host->session()).verleih(m_host->window()).exec();
    // The list moved the address table: the panel shows the entry's address again.
    m_host->refreshLowerPanel();
}

void LendingCommands::panelverleihbtn1Click() {
    if (!hasCurrentEntry(m_host->session())) {
        message(QStringLiteral("Kein Datensatz vorhanden."), QStringLiteral("Adresse zuteilen"),
                MsgIcon::Error);
        return;
    }
    const LendingField field = lendingFieldOf(m_host->lowerTab());
    CatalogueSession& session = m_host->session();
    TApollo& entries = session.apollo(CatalogueTable::Entries);
    const int entry = entries.sx_RecNo();
    {
        ScopedSuspend suspend(session.view(CatalogueTable::Entries));
        const std::optional<int> chosen = chooseAddress(session, m_host->window());
        // An empty address list hands back 0: that removes nothing here, removing
        // has its own command.
        if (chosen && *chosen > 0) setLending(session, field, *chosen);
        entries.sx_Go(entry);
    }
    m_host->focusEntryList();
}

void LendingCommands::BitBtn1Click() {
    if (!hasCurrentEntry(m_host->session())) {
        message(QStringLiteral("Kein Datensatz vorhanden."), QStringLiteral("Zuteilung löschen"),
                MsgIcon::Error);
        return;
    }
    if (message(QStringLiteral("Zuteilung löschen ?"), QStringLiteral("Aufheben Zuteilung"),
                MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes) {
        setLending(m_host->session(), lendingFieldOf(m_host->lowerTab()), 0);
        m_host->refreshLowerPanel();
    }
    m_host->focusEntryList();
}

}  // namespace qv
