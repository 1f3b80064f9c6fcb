#include "statistics/ui/statisticscommands.h"

#include <QLabel>
#include <QWidget>

#include "catalogue/cataloguesession.h"
#include "catalogue/settingslist.h"
#include "statistics/core/statistics.h"
#include "statistics/ui/barchart.h"
#include "statistics/ui/speicherbelegung.h"
#include "statistics/ui/statistikstatus.h"
#include "statistics/ui/statkategorie.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/guards.h"
#include "store/ttable.h"
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
    CommandItem storage;
    storage.menu = QStringLiteral("Statistik1");
    storage.objectName = QStringLiteral("Speicherbelegung1");
    storage.caption = QStringLiteral("Speicher&belegung");
    storage.after = QStringLiteral("EintraegejeStatus1");
    commands.add(storage, [this] { Speicherbelegung1Click(); });
}

TSpeicherbelegung& StatisticsCommands::speicherbelegung() {
    QWidget* owner = m_host->window();
    return childWindow<TSpeicherbelegung>(owner, [owner] { return new TSpeicherbelegung(owner); });
}

void StatisticsCommands::Speicherbelegung1Click() {
    const StorageUse use = measureStorage(m_host->session(), m_host->program().wmessage());
    TSpeicherbelegung& window = speicherbelegung();
    window.setUse(use);
    window.exec();
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
    std::vector<ChartBar> bars;
    for (int k = 1; k <= kStatusFlagCount; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        window.labels[i]->setText(statusCountText(settings.line(k), counts.perFlag[i]));
        const QString name = settings.line(k).trimmed();
        bars.push_back({name.isEmpty() ? QStringLiteral("Status %1").arg(k) : name,
                        double(counts.perFlag[i]), QString::number(counts.perFlag[i])});
    }
    window.Chart1->chart->setChart(QStringLiteral("Einträge je Status"), std::move(bars));
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
    // The stored counts as bars; the table goes back to its first category.
    TTable& categories = session.table(CatalogueTable::Categories);
    std::vector<ChartBar> bars;
    {
        ScopedSuspend quiet(session.view(CatalogueTable::Categories));
        const TField name = categories.FieldByName(QStringLiteral("katego"));
        const TField count = categories.FieldByName(QStringLiteral("anzahl"));
        for (categories.First(); !categories.Eof(); categories.Next())
            bars.push_back({trimmedRight(name.AsString()), double(count.AsInteger()),
                            QString::number(count.AsInteger())});
        categories.First();
    }
    TStat_kategorie& window = statKategorie();
    window.Chart1->chart->setChart(QStringLiteral("Einträge je Kategorie"), std::move(bars));
    window.showCounts();
}

}  // namespace qv
