#include "search/ui/filesearchcommands.h"

#include <QWidget>

#include "catalogue/cataloguesession.h"
#include "search/core/filesearch.h"
#include "search/ui/recherche.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "ui/command.h"
#include "ui/commandregistry.h"

namespace qv {

void FileSearchCommands::bind(MainWindowHost& host) {
    m_host = &host;
    host.commands().command(MainCommand::SearchAllFiles).setHandler([this] {
        SpeedButton6Click();
    });
}

void FileSearchCommands::SpeedButton6Click() {
    showFileSearch(*m_host);
}

void showFileSearch(MainWindowHost& host, int fileRecord) {
    QWidget* owner = host.window();
    CatalogueSession& session = host.session();
    // Created on first use and kept until the program ends.
    auto* window = owner->findChild<Trecherche*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) window = new Trecherche(session, owner);
    // Unwound in reverse: the file table reopened in its first tag, the
    // entry record and tag restored, the file table scoped to the entry, the
    // file view resumed, then the entry view; on every exit, an error
    // included.
    ScopedSuspend entries(session.view(CatalogueTable::Entries));
    ScopedSuspend files(session.view(CatalogueTable::Files));
    // The reopened file table is scoped to the entry before the file view
    // resumes: its list then shows the entry's files at once instead of
    // laying out the whole unscoped table first.
    ScopeExit rescope([&host] { host.scopeFileList(); });
    ScopedPosition entry(session.apollo(CatalogueTable::Entries));
    FileSearchTables tables(session);
    window->run(fileRecord);
}

}  // namespace qv
