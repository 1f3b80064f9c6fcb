// The main window's commands of one feature: their handlers are bound here.
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QTabBar>

#include "entries/mainform.h"
#include "import/importops.h"
#include "import/timport.h"
#include "shell/command.h"
#include "shell/dialogs.h"
#include "shell/searchcheck.h"
#include "store/displays.h"
#include "store/guards.h"

void TMainForm::bindImportCommands() {
    command(qv::MainCommand::Import).setHandler([this] { ImportQVLindovar1Click(); });
}

TImport& TMainForm::importDialog() {
    if (!m_import) m_import = new TImport(m_session, this);
    return *m_import;
}

void TMainForm::ImportQVLindovar1Click() {
    // New entries while a search result is shown would stay out of sight.
    if (!qv::searchCheck(m_session)) return;
    if (qv::message(QStringLiteral("Mit dieser Funktion lesen Sie Daten von QV-Lindovar für DOS "
                                   "(Version 2.5) ein. Zuvor müssen diese Daten mit einem mit der "
                                   "Vollversion ausgelieferten Konvertierungsprogramm aufbereitet "
                                   "werden."),
                    QStringLiteral("Import QV-Lindovar 2.5"), qv::MsgIcon::None,
                    qv::MsgButtons::OkCancel) != qv::MsgAnswer::Ok)
        return;
    const QString chosen = qv::dialogs().openFile(QStringLiteral("Öffnen"), QDir::homePath(),
                                                  QStringLiteral("IMPORT-DATEI (TESSARIN.DBF)"));
    if (chosen.isEmpty()) return;
    const QFileInfo file(chosen);
    if (!file.isFile()) {
        qv::message(QStringLiteral("Datei nicht vorhanden."), QStringLiteral("Fehler"),
                    qv::MsgIcon::None, qv::MsgButtons::Ok);
        return;
    }
    // The table keeps its name; only its case follows the file on disk.
    const QString name = file.fileName().compare(qv::kImportTableName, Qt::CaseInsensitive) == 0
                             ? file.fileName()
                             : qv::kImportTableName;
    TImport& dialog = importDialog();
    dialog.setSource(file.absolutePath(), name);

    // Whatever the dialog's result: the first order from its first entry.
    struct Closing {
        TMainForm& form;
        ~Closing() {
            qv::runGuarded([this] {
                {
                    const QSignalBlocker quiet(form.TabControl1);
                    form.TabControl1->setCurrentIndex(0);
                }
                form.TabControl1Change(0);
                qv::letMessagesRun();
            });
        }
    } closing{*this};
    qv::ScopedSuspend entries(*DataSource1);
    qv::ScopedSuspend files(*DataSource2);
    dialog.exec();
}
