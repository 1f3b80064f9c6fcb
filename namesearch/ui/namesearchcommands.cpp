#include "namesearch/ui/namesearchcommands.h"

#include <QWidget>

#include "catalogue/cataloguesession.h"
#include "namesearch/ui/dateinamensuche.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"

namespace qv {

void NameSearchCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandItem item;
    item.menu = QStringLiteral("Suche1");
    item.objectName = QStringLiteral("menusuche3");
    item.caption = QStringLiteral("&Dateinamen suchen ...");
    item.after = QStringLiteral("menusuche2");
    item.separatorBefore = true;
    item.shortcut = QKeySequence(Qt::CTRL | Qt::Key_F);
    host.commands().add(item, [this] { DateinamenSuchenClick(); });
}

void NameSearchCommands::DateinamenSuchenClick() {
    QWidget* owner = m_host->window();
    auto* window = owner->findChild<TDateinamensuche*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new TDateinamensuche(
            m_host->session(), [this](int number) { showEntry(number); }, owner);
    window->show();
    window->raise();
    window->activateWindow();
}

void NameSearchCommands::showEntry(int number) {
    CatalogueSession& session = m_host->session();
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    TTable* table = apollo.table();
    if (!table || !table->Active()) return;
    int target = 0;
    {
        ScopedSuspend suspend(session.view(CatalogueTable::Entries));
        ScopedPosition position(apollo);
        apollo.sx_SetOrder(tagPosition(CatalogueTable::Entries, QStringLiteral("eindeutig")));
        if (apollo.sx_Seek(QStringLiteral("%1").arg(number, 8))) target = apollo.sx_RecNo();
    }
    if (target == 0) {
        message(QStringLiteral("Der Eintrag %1 ist in der Liste nicht zu sehen.").arg(number),
                QStringLiteral("Suche nach Dateinamen"), MsgIcon::Information);
        return;
    }
    apollo.sx_Go(target);
    m_host->window()->activateWindow();
    m_host->focusEntryList();
}

}  // namespace qv
