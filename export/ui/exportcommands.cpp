#include "export/ui/exportcommands.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>

#include <algorithm>
#include <climits>

#include "catalogue/cataloguesession.h"
#include "catalogue/settingslist.h"
#include "export/core/catalogueexport.h"
#include "export/ui/exportieren.h"
#include "store/guards.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"
#include "ui/program.h"
#include "ui/windowutil.h"

namespace qv {

namespace {

// The progress of an export in a modal window with a cancel button.
class ProgressWindow : public ExportMonitor {
  public:
    explicit ProgressWindow(QWidget* parent)
        : m_dialog(QStringLiteral("Exportieren ..."), QStringLiteral("Abbrechen"), 0, 0, parent) {
        m_dialog.setObjectName(QStringLiteral("ExportProgress"));
        m_dialog.setWindowTitle(QStringLiteral("Exportieren"));
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(0);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
    }
    void started(qint64 entries) override {
        m_dialog.setMaximum(static_cast<int>(std::min<qint64>(entries, INT_MAX)));
        m_dialog.setValue(0);
        m_dialog.show();
        QApplication::processEvents();
    }
    bool advance(qint64 entriesDone, qint64 filesDone) override {
        if (m_clock.isValid() && m_clock.elapsed() < 25 && entriesDone < m_dialog.maximum())
            return !m_dialog.wasCanceled();
        m_clock.start();
        m_dialog.setLabelText(
            QStringLiteral("Exportiert: %1 Einträge, %2 Dateien").arg(entriesDone).arg(filesDone));
        m_dialog.setValue(static_cast<int>(std::min<qint64>(entriesDone, INT_MAX)));
        QApplication::processEvents();
        return !m_dialog.wasCanceled();
    }

  private:
    QProgressDialog m_dialog;
    QElapsedTimer m_clock;
};

}  // namespace

void ExportCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandItem item;
    item.menu = QStringLiteral("Ausgabe1");
    item.objectName = QStringLiteral("Exportieren1");
    item.caption = QStringLiteral("E&xportieren…");
    item.after = QStringLiteral("VorschauListendruck1");
    item.separatorBefore = true;
    host.commands().add(item, [this] { Exportieren1Click(); });
}

TExportieren& ExportCommands::dialog() {
    QWidget* owner = m_host->window();
    return childWindow<TExportieren>(owner, [owner] { return new TExportieren(owner); });
}

void ExportCommands::Exportieren1Click() {
    CatalogueSession& session = m_host->session();
    TExportieren& d = dialog();
    d.prepare(session.searchActive());
    if (d.exec() != QDialog::Accepted) return;
    const ExportOptions options = d.options();

    SettingsList& settings = m_host->program().settings();
    QStringList names;
    for (int k = SettingsList::kFirstStatusLine; k <= SettingsList::kLastStatusLine; ++k)
        names << (k < settings.count() ? settings.line(k) : QString());

    ExportResult result;
    {
        // The file list is put back on the current entry's files afterwards.
        ScopeExit rescope([this, files = options.withFiles] {
            if (files) m_host->scopeFileList();
        });
        ProgressWindow progress(m_host->window());
        result = exportCatalogue(session, names, d.fileName(), options, &progress);
    }
    if (result.cancelled) {
        message(QStringLiteral("Der Export wurde abgebrochen, es wurde keine Datei geschrieben."),
                QStringLiteral("Exportieren"), MsgIcon::Information);
        return;
    }
    message(QStringLiteral("Exportiert: %1 Einträge, %2 Dateien.\n\n%3")
                .arg(result.entries)
                .arg(result.files)
                .arg(result.written.join(QLatin1Char('\n'))),
            QStringLiteral("Exportieren"), MsgIcon::Information);
}

}  // namespace qv
