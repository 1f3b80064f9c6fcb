#include "import/ui/importcommands.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>

#include "catalogue/cataloguesession.h"
#include "import/core/importops.h"
#include "import/ui/timport.h"
#include "store/displays.h"
#include "store/guards.h"
#include "ui/command.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"
#include "ui/searchcheck.h"

namespace qv {

void ImportCommands::bind(MainWindowHost& host) {
    m_host = &host;
    host.commands().command(MainCommand::Import).setHandler([this] { ImportQVLindovar1Click(); });
}

TImport& ImportCommands::importDialog() {
    if (!m_import) m_import = new TImport(m_host->session(), m_host->window());
    return *m_import;
}

void ImportCommands::ImportQVLindovar1Click() {
    // New entries while a search result is shown would stay out of sight.
    if (!searchCheck(m_host->session())) return;
    if (message(QStringLiteral("Mit dieser Funktion lesen Sie Daten von QV-Lindovar für DOS "
                               "(Version 2.5) ein. Zuvor müssen diese Daten mit einem mit der "
                               "Vollversion ausgelieferten Konvertierungsprogramm aufbereitet "
                               "werden."),
                QStringLiteral("Import QV-Lindovar 2.5"), MsgIcon::None,
                MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;
    const QString chosen = dialogs().openFile(QStringLiteral("Öffnen"), QDir::homePath(),
                                              QStringLiteral("IMPORT-DATEI (TESSARIN.DBF)"));
    if (chosen.isEmpty()) return;
    const QFileInfo file(chosen);
    if (!file.isFile()) {
        message(QStringLiteral("Datei nicht vorhanden."), QStringLiteral("Fehler"), MsgIcon::None,
                MsgButtons::Ok);
        return;
    }
    // The table keeps its name; only its case follows the file on disk.
    const QString name = file.fileName().compare(kImportTableName, Qt::CaseInsensitive) == 0
                             ? file.fileName()
                             : kImportTableName;
    TImport& dialog = importDialog();
    dialog.setSource(file.absolutePath(), name);

    // Whatever the dialog's result: the first order from its first entry.
    ScopeExit closing([this] {
        runGuarded([this] {
            m_host->selectOrder(0);
            letMessagesRun();
        });
    });
    CatalogueSession& session = m_host->session();
    ScopedSuspend entries(session.view(CatalogueTable::Entries));
    ScopedSuspend files(session.view(CatalogueTable::Files));
    dialog.exec();
}

}  // namespace qv
