#include "statistics/ui/statisticscommands.h"

#include <QLabel>
#include <QWidget>

#include "catalogue/cataloguesession.h"
#include "catalogue/settingslist.h"
#include "statistics/core/statistics.h"
#include "statistics/ui/statistikstatus.h"
#include "statistics/ui/statkategorie.h"
#include "store/displays.h"
#include "store/guards.h"
#include "ui/command.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"
#include "ui/program.h"
#include "ui/windowutil.h"
#include "ui/wmessage.h"

namespace qv {

void StatisticsCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandRegistry& commands = host.commands();
    commands.command(MainCommand::CarrierCount).setHandler([this] { DatentraegerAnzahl1Click(); });
    commands.command(MainCommand::EntriesPerCategory).setHandler([this] {
        EintraegejeKategorie1Click();
    });
    commands.command(MainCommand::EntriesPerStatus).setHandler([this] {
        EintraegejeStatus1Click();
    });
}

Tstatistik_status& StatisticsCommands::statistikStatus() {
    QWidget* owner = m_host->window();
    return childWindow<Tstatistik_status>(owner, [owner] { return new Tstatistik_status(owner); });
}

TStat_kategorie& StatisticsCommands::statKategorie() {
    QWidget* owner = m_host->window();
    TDataSource* categories = &m_host->session().view(CatalogueTable::Categories);
    return childWindow<TStat_kategorie>(
        owner, [owner, categories] { return new TStat_kategorie(categories, owner); });
}

void StatisticsCommands::DatentraegerAnzahl1Click() {
    const qint64 carriers = countCarriers(m_host->session(), m_host->program().wmessage());
    message(carrierCountMessage(carriers), QStringLiteral("Anzahl Datenträger"), MsgIcon::None,
            MsgButtons::Ok);
}

void StatisticsCommands::EintraegejeStatus1Click() {
    const StatusCounts counts = countStatusFlags(m_host->session(), m_host->program().wmessage());
    Tstatistik_status& window = statistikStatus();
    SettingsList& settings = m_host->program().settings();
    for (int k = 1; k <= kStatusFlagCount; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        window.labels[i]->setText(statusCountText(settings.line(k), counts.perFlag[i]));
    }
    window.exec();
}

void StatisticsCommands::EintraegejeKategorie1Click() {
    // The lists stay still until the window is closed; the category table is
    // closed before they follow again.
    CatalogueSession& session = m_host->session();
    ScopedSuspend entries(session.view(CatalogueTable::Entries));
    ScopedSuspend files(session.view(CatalogueTable::Files));
    ScopeExit closeCategories([&session] { closeCategoryTable(session); });
    countEntriesPerCategory(session, m_host->program().wmessage());
    statKategorie().showCounts();
}

}  // namespace qv
