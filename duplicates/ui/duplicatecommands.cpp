#include "duplicates/ui/duplicatecommands.h"

#include <QWidget>

#include "catalogue/cataloguesession.h"
#include "duplicates/ui/dubletten.h"
#include "duplicates/ui/vergleich.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"
#include "ui/windowutil.h"

namespace qv {

void DuplicateCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandRegistry& commands = host.commands();
    CommandItem dupes;
    dupes.menu = QStringLiteral("Suche1");
    dupes.objectName = QStringLiteral("DoppelteDateien1");
    dupes.caption = QStringLiteral("&Doppelte Dateien…");
    dupes.after = QStringLiteral("menusuche2");
    dupes.separatorBefore = true;
    commands.add(dupes, [this] { DoppelteDateienClick(); });

    CommandItem compare;
    compare.menu = QStringLiteral("Datentraeger1");
    compare.objectName = QStringLiteral("Vergleichen1");
    compare.caption = QStringLiteral("&Vergleichen…");
    compare.after = QStringLiteral("RechercheinallenDateien1");
    compare.popupObjectName = QStringLiteral("Vergleichen2");
    compare.popupAfter = QStringLiteral("RechercheinallenDateien2");
    commands.add(compare, [this] { VergleichenClick(); });
}

TDubletten& DuplicateCommands::dubletten() {
    QWidget* owner = m_host->window();
    return childWindow<TDubletten>(owner, [this, owner] { return new TDubletten(*m_host, owner); });
}

TVergleich& DuplicateCommands::vergleich() {
    QWidget* owner = m_host->window();
    return childWindow<TVergleich>(owner, [this, owner] { return new TVergleich(*m_host, owner); });
}

void DuplicateCommands::DoppelteDateienClick() {
    dubletten().run();
}

void DuplicateCommands::VergleichenClick() {
    CatalogueSession& session = m_host->session();
    TTable& entries = session.table(CatalogueTable::Entries);
    if (!entries.Active() || entries.Eof() ||
        session.apollo(CatalogueTable::Entries).sx_OrderRecNo() <= 0) {
        message(QStringLiteral("Kein Datensatz vorhanden."), QStringLiteral("Vergleichen"),
                MsgIcon::Error);
        return;
    }
    vergleich().run(entries.FieldByName(QStringLiteral("eindeutig")).AsInteger());
}

}  // namespace qv
