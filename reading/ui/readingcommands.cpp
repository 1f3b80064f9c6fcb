#include "reading/ui/readingcommands.h"

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "masterdata/ui/lookupwindows.h"
#include "masterdata/ui/masterdatawindows.h"
#include "reading/ui/datentraegerauslesen.h"
#include "reading/ui/loescheneintrag.h"
#include "store/conversion.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/appinfo.h"
#include "ui/command.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"
#include "ui/program.h"
#include "ui/windowutil.h"
#include "ui/wmessage.h"
#include "volumes/core/volumefacts.h"

namespace qv {

void ReadingCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandRegistry& commands = host.commands();
    commands.command(MainCommand::ReadCarrier).setHandler([this] { SpeedButton5Click(); });
    commands.command(MainCommand::DeleteEntry).setHandler([this] { SpeedButton4Click(); });
    commands.command(MainCommand::RemoveFileAssignment).setHandler([this] {
        Dateizuordnunglschen1Click();
    });
}

void ReadingCommands::SpeedButton5Click() {
    CatalogueSession& session = m_host->session();
    TApollo* Apollo1 = &session.apollo(CatalogueTable::Entries);
    if (Apollo1->sx_OrderRecNo() <= 0) {
        message(QStringLiteral("Kein Datensatz vorhanden."), QStringLiteral("Datenträger einlesen"),
                MsgIcon::Error);
        return;
    }
    QWidget* owner = m_host->window();
    auto& dialog = childWindow<TDatentraegerAuslesen>(owner, [this, owner, &session] {
        auto* d = new TDatentraegerAuslesen(session, m_host->program().wmessage(), owner);
        // "definieren": the extension list, as "&Einlese-Endungen" shows it.
        d->setDefineExtensions(
            [this, d] { MasterdataWindows::of(m_host->session()).endung(d).exec(); });
        return d;
    });
    if (!m_preferredVolume.isEmpty()) dialog.preferVolume(m_preferredVolume);
    m_preferredVolume.clear();
    const int recno = Apollo1->sx_RecNo();
    int result = QDialog::Rejected;
    {
        ScopedSuspend files(session.view(CatalogueTable::Files));
        result = dialog.exec();
    }
    // Back on the entry: its data change shows the new file list.
    Apollo1->sx_Go(recno);
    if (result != QDialog::Accepted) return;
    const ReadingResult& r = dialog.lastResult();
    if (r.cancelled)
        message(QStringLiteral("Das Einlesen wurde abgebrochen; die bisherige Dateiliste des "
                               "Eintrags ist unverändert."),
                QStringLiteral("Datenträger einlesen"), MsgIcon::Information);
    else if (r.skipped > 0)
        message(skippedText(r.skipped) + QLatin1Char('.'), QStringLiteral("Datenträger einlesen"),
                MsgIcon::Warning);
}

void ReadingCommands::readCarrierFrom(const QString& mountPoint) {
    m_preferredVolume = mountPoint;
    SpeedButton5Click();
    m_preferredVolume.clear();
}

void ReadingCommands::SpeedButton4Click() {
    CatalogueSession& session = m_host->session();
    TApollo* Apollo1 = &session.apollo(CatalogueTable::Entries);
    if (Apollo1->sx_OrderRecNo() <= 0) {
        message(QStringLiteral("Kein Datensatz vorhanden."), QStringLiteral("Eintrag löschen"),
                MsgIcon::Error);
        return;
    }
    QWidget* owner = m_host->window();
    auto& dialog = childWindow<TLoescheneintrag>(
        owner, [owner, &session] { return new TLoescheneintrag(session, owner); });
    TTable& entries = session.table(CatalogueTable::Entries);
    const int a = Apollo1->sx_RecNo();
    const int number = strToInt(Apollo1->sx_EvalString(QStringLiteral("str(eindeutig,8)")));
    // The entry view resumes last, after the file view.
    ScopedSuspend entryView(session.view(CatalogueTable::Entries));
    ScopedSuspend fileView(session.view(CatalogueTable::Files));
    if (dialog.exec() != QDialog::Accepted) return;
    Apollo1->sx_Go(a);
    entries.Prior();
    const int b = entries.Bof() ? 0 : entries.RecNo();
    Apollo1->sx_Go(a);
    entries.Delete();
    // What was known of its carrier goes with it.
    removeVolumeFacts(session.dm().programDir(), number);
    if (b > 0)
        Apollo1->sx_Go(b);
    else
        entries.First();
}

void ReadingCommands::Dateizuordnunglschen1Click() {
    // Captioned like the program's other notices, not with the executable's name.
    message(QStringLiteral("Noch nicht integriert"), kAppTitle, MsgIcon::None, MsgButtons::Ok);
}

}  // namespace qv
