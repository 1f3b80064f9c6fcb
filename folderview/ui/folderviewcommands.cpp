#include "folderview/ui/folderviewcommands.h"

#include "catalogue/cataloguesession.h"
#include "folderview/core/foldertree.h"
#include "folderview/ui/ordneransicht.h"
#include "search/ui/filesearchcommands.h"
#include "store/conversion.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"
#include "ui/windowutil.h"

namespace qv {

void FolderViewCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandItem item;
    item.menu = QStringLiteral("Datentraeger1");
    item.objectName = QStringLiteral("Ordneransicht1");
    item.caption = QStringLiteral("&Ordneransicht…");
    item.after = QStringLiteral("RechercheinallenDateien1");
    item.popupObjectName = QStringLiteral("Ordneransicht2");
    item.popupAfter = QStringLiteral("RechercheinallenDateien2");
    host.commands().add(item, [this] { Ordneransicht1Click(); });
}

TOrdneransicht& FolderViewCommands::window() {
    QWidget* owner = m_host->window();
    return childWindow<TOrdneransicht>(owner, [owner] { return new TOrdneransicht(owner); });
}

void FolderViewCommands::Ordneransicht1Click() {
    CatalogueSession& session = m_host->session();
    if (session.apollo(CatalogueTable::Entries).sx_OrderRecNo() <= 0) {
        message(QStringLiteral("Kein Datensatz vorhanden."), QStringLiteral("Ordneransicht"),
                MsgIcon::Error);
        return;
    }
    TTable& entries = session.table(CatalogueTable::Entries);
    const int number = entries.FieldByName(QStringLiteral("EINDEUTIG")).AsInteger();
    const QString title = trimmedRight(entries.FieldByName(QStringLiteral("BEZEICH")).AsString());
    int chosen = 0;
    {
        // The file list goes back to the entry's files on every exit.
        ScopeExit rescope([this] { m_host->scopeFileList(); });
        std::vector<FolderFile> files = readEntryFiles(session, number);
        chosen = window().showFiles(title, std::move(files));
    }
    if (chosen > 0) showFileSearch(*m_host, chosen);
}

}  // namespace qv
