// The main window's commands of one feature: their handlers are bound here.
#include "entries/mainform.h"

#include "masterdata/lookupwindows.h"
#include "masterdata/masterdatawindows.h"
#include "reading/datentraegerauslesen.h"
#include "reading/loescheneintrag.h"
#include "shell/appinfo.h"
#include "shell/command.h"
#include "shell/dialogs.h"
#include "shell/program.h"
#include "shell/wmessage.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"

namespace {

// The dialogs live as children of the main window: created on first use,
// kept until the program ends.
template <class D, class Make>
D& childDialog(QWidget* owner, Make make) {
    if (D* d = owner->findChild<D*>(QString(), Qt::FindDirectChildrenOnly)) return *d;
    return *make();
}

}  // namespace

void TMainForm::bindReadingCommands() {
    command(qv::MainCommand::ReadCarrier).setHandler([this] { SpeedButton5Click(); });
    command(qv::MainCommand::DeleteEntry).setHandler([this] { SpeedButton4Click(); });
    command(qv::MainCommand::RemoveFileAssignment).setHandler([this] {
        Dateizuordnunglschen1Click();
    });
}

void TMainForm::SpeedButton5Click() {
    if (Apollo1->sx_OrderRecNo() <= 0) {
        qv::message(QStringLiteral("Kein Datensatz vorhanden."),
                    QStringLiteral("Datenträger einlesen"), qv::MsgIcon::Error);
        return;
    }
    auto& dialog = childDialog<TDatentraegerAuslesen>(this, [this] {
        auto* d = new TDatentraegerAuslesen(m_session, m_program.wmessage(), this);
        // "definieren": the extension list, as "&Einlese-Endungen" shows it.
        d->setDefineExtensions(
            [this, d] { qv::MasterdataWindows::of(m_session).endung(d).exec(); });
        return d;
    });
    const int recno = Apollo1->sx_RecNo();
    {
        qv::ScopedSuspend files(*DataSource2);
        dialog.exec();
    }
    // Back on the entry: its data change shows the new file list.
    Apollo1->sx_Go(recno);
}

void TMainForm::SpeedButton4Click() {
    if (Apollo1->sx_OrderRecNo() <= 0) {
        qv::message(QStringLiteral("Kein Datensatz vorhanden."), QStringLiteral("Eintrag löschen"),
                    qv::MsgIcon::Error);
        return;
    }
    auto& dialog = childDialog<TLoescheneintrag>(
        this, [this] { return new TLoescheneintrag(m_session, this); });
    TTable& entries = m_session.table(qv::CatalogTable::Entries);
    const int a = Apollo1->sx_RecNo();
    // The entry view resumes last, after the file view.
    qv::ScopedSuspend entryView(*DataSource1);
    qv::ScopedSuspend fileView(*DataSource2);
    if (dialog.exec() != QDialog::Accepted) return;
    Apollo1->sx_Go(a);
    entries.Prior();
    const int b = entries.Bof() ? 0 : entries.RecNo();
    Apollo1->sx_Go(a);
    entries.Delete();
    if (b > 0)
        Apollo1->sx_Go(b);
    else
        entries.First();
}

void TMainForm::Dateizuordnunglschen1Click() {
    // Captioned like the program's other notices, not with the executable's name.
    qv::message(QStringLiteral("Noch nicht integriert"), qv::kAppTitle, qv::MsgIcon::None,
                qv::MsgButtons::Ok);
}
