#include <QAction>
#include <QLabel>
#include <QPalette>
#include <QTabBar>

#include <optional>

#include "search/ui/querycommands.h"

#include "catalogue/cataloguesession.h"
#include "search/core/entryquery.h"
#include "search/ui/suchabfrage.h"
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

namespace {

const QString kStartHint = QStringLiteral("Suchabfrage starten, Teilmenge anzeigen");
const QString kResolveHint = QStringLiteral("Suchabfrage auflösen, Alle Daten anzeigen");

// The "&Suche" menu in one of its two states. The query button shares the
// start command but stays live in the search-active state, so that releasing
// it resolves the query: only the command's menu entries follow.
void swapQueryMenus(CommandRegistry& commands, bool searchActive) {
    for (QAction* a : commands.command(MainCommand::QueryStart).actions())
        a->setEnabled(!searchActive);
    commands.command(MainCommand::QueryReset).setEnabled(searchActive);
}

void setQueryButton(CommandRegistry& commands, bool down) {
    Command& start = commands.command(MainCommand::QueryStart);
    start.setHint(down ? kResolveHint : kStartHint);
    start.setChecked(down);
}

// The short grey flash of the main window when a query starts; the window's
// own colours are back on every exit.
class GreyFlash {
  public:
    explicit GreyFlash(QWidget& w)
        : m_window(w), m_hadPalette(w.testAttribute(Qt::WA_SetPalette)), m_saved(w.palette()) {
        QPalette p = w.palette();
        p.setColor(QPalette::Window, QColor(128, 128, 128));
        w.setPalette(p);
        w.repaint();
        letMessagesRun();
    }
    ~GreyFlash() { m_window.setPalette(m_hadPalette ? m_saved : QPalette()); }
    GreyFlash(const GreyFlash&) = delete;
    GreyFlash& operator=(const GreyFlash&) = delete;

  private:
    QWidget& m_window;
    bool m_hadPalette;
    QPalette m_saved;
};

// Takes a started query back unless dismissed: the subset lifted, the
// search-active state off, the menus, the button and its hint as before.
class QueryRollback {
  public:
    explicit QueryRollback(MainWindowHost& host) : m_host(host) {}
    ~QueryRollback() {
        if (!m_armed) return;
        try {
            if (m_host.session().table(CatalogueTable::Entries).Active())
                liftEntryQuery(m_host.session());
        } catch (...) {
        }
        m_host.session().setSearchActive(false);
        swapQueryMenus(m_host.commands(), false);
        setQueryButton(m_host.commands(), false);
    }
    void dismiss() { m_armed = false; }
    QueryRollback(const QueryRollback&) = delete;
    QueryRollback& operator=(const QueryRollback&) = delete;

  private:
    MainWindowHost& m_host;
    bool m_armed = true;
};

}  // namespace

void QueryCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandRegistry& commands = host.commands();
    commands.command(MainCommand::QueryStart).setHandler([this] { speedbuttonAbfrageClick(); });
    commands.command(MainCommand::QueryReset).setHandler([this] { menusuche2Click(); });
    swapQueryMenus(commands, false);
}

TSuchabfrage& QueryCommands::suchabfrage() {
    QWidget* owner = m_host->window();
    return childWindow<TSuchabfrage>(owner, [owner] { return new TSuchabfrage(owner); });
}

// ---- the entry query ----------------------------------------------------------------------

void QueryCommands::speedbuttonAbfrageClick() {
    // The menu entry is off in the search-active state, so only a released
    // button gets here then.
    if (m_host->session().searchActive())
        suchereset();
    else
        suche();
}

void QueryCommands::menusuche2Click() {
    suchereset();
}

void QueryCommands::suche() {
    TSuchabfrage& dialog = suchabfrage();
    if (dialog.exec() != QDialog::Accepted) {
        setQueryButton(m_host->commands(), false);
        return;
    }
    CatalogueSession& session = m_host->session();
    Program& program = m_host->program();
    QueryRollback rollback(*m_host);
    // A refused text stops here, before anything changed.
    const QString expression = buildQueryExpression(dialog.criteria());

    swapQueryMenus(m_host->commands(), true);
    std::optional<ScopedProgress> progress(std::in_place, program.wmessage());
    progress->phase(queryRunningText());
    ScopedSuspend files(session.view(CatalogueTable::Files));
    setQueryButton(m_host->commands(), true);
    { GreyFlash flash(*m_host->window()); }

    const QueryOutcome outcome = installEntryQuery(session, expression, *progress);

    // The counter took its search colours with the state.
    progress.reset();
    m_host->refreshLowerPanel();
    program.wmessage().setLine2(QString());
    files.resume();
    rollback.dismiss();

    if (outcome.count == 0) {
        message(QStringLiteral("Keinen Eintrag gefunden.\nSchalte auf ALLE Einträge zurück."),
                QStringLiteral("Hinweis"), MsgIcon::Information, MsgButtons::Ok);
        suchereset();
    }
}

void QueryCommands::suchereset() {
    swapQueryMenus(m_host->commands(), false);
    setQueryButton(m_host->commands(), false);
    liftEntryQuery(m_host->session());
    m_host->refreshLowerPanel();
}

}  // namespace qv
