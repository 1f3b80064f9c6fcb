// The main window's commands of one feature: the entry query with its
// search-active state, and the three statistics.
#include <QAction>
#include <QLabel>
#include <QPalette>
#include <QTabBar>

#include <optional>

#include "entries/mainform.h"
#include "search/entryquery.h"
#include "search/suchabfrage.h"
#include "shell/command.h"
#include "shell/dialogs.h"
#include "shell/program.h"
#include "shell/settingslist.h"
#include "shell/wmessage.h"
#include "statistics/statistics.h"
#include "statistics/statistikstatus.h"
#include "statistics/statkategorie.h"
#include "store/displays.h"
#include "store/guards.h"

namespace {

using qv::MainCommand;

const QString kStartHint = QStringLiteral("Suchabfrage starten, Teilmenge anzeigen");
const QString kResolveHint = QStringLiteral("Suchabfrage auflösen, Alle Daten anzeigen");

// The "&Suche" menu in one of its two states. The query button shares the
// start command but stays live in the search-active state, so that releasing
// it resolves the query: only the command's menu entries follow.
void swapQueryMenus(TMainForm& form, bool searchActive) {
    for (QAction* a : form.command(MainCommand::QueryStart).actions())
        a->setEnabled(!searchActive);
    form.command(MainCommand::QueryReset).setEnabled(searchActive);
}

void setQueryButton(TMainForm& form, bool down) {
    qv::Command& start = form.command(MainCommand::QueryStart);
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
        qv::letMessagesRun();
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
    explicit QueryRollback(TMainForm& form) : m_form(form) {}
    ~QueryRollback() {
        if (!m_armed) return;
        try {
            if (m_form.session().table(qv::CatalogTable::Entries).Active())
                qv::liftEntryQuery(m_form.session());
        } catch (...) {
        }
        m_form.session().setSearchActive(false);
        swapQueryMenus(m_form, false);
        setQueryButton(m_form, false);
    }
    void dismiss() { m_armed = false; }
    QueryRollback(const QueryRollback&) = delete;
    QueryRollback& operator=(const QueryRollback&) = delete;

  private:
    TMainForm& m_form;
    bool m_armed = true;
};

template <class W, class Make>
W& childWindow(QObject* owner, Make make) {
    if (W* w = owner->findChild<W*>(QString(), Qt::FindDirectChildrenOnly)) return *w;
    return *make();
}

}  // namespace

void TMainForm::bindQueryCommands() {
    command(MainCommand::QueryStart).setHandler([this] { speedbuttonAbfrageClick(); });
    command(MainCommand::QueryReset).setHandler([this] { menusuche2Click(); });
    swapQueryMenus(*this, false);
    command(MainCommand::CarrierCount).setHandler([this] { DatentraegerAnzahl1Click(); });
    command(MainCommand::EntriesPerCategory).setHandler([this] { EintraegejeKategorie1Click(); });
    command(MainCommand::EntriesPerStatus).setHandler([this] { EintraegejeStatus1Click(); });
}

TSuchabfrage& TMainForm::suchabfrage() {
    return childWindow<TSuchabfrage>(this, [this] { return new TSuchabfrage(this); });
}

Tstatistik_status& TMainForm::statistikStatus() {
    return childWindow<Tstatistik_status>(this, [this] { return new Tstatistik_status(this); });
}

TStat_kategorie& TMainForm::statKategorie() {
    return childWindow<TStat_kategorie>(this,
                                        [this] { return new TStat_kategorie(DataSource4, this); });
}

// ---- the entry query ----------------------------------------------------------------------

void TMainForm::speedbuttonAbfrageClick() {
    // The menu entry is off in the search-active state, so only a released
    // button gets here then.
    if (searchActive())
        suchereset();
    else
        suche();
}

void TMainForm::menusuche2Click() {
    suchereset();
}

void TMainForm::suche() {
    TSuchabfrage& dialog = suchabfrage();
    if (dialog.exec() != QDialog::Accepted) {
        setQueryButton(*this, false);
        return;
    }
    QueryRollback rollback(*this);
    // A refused text stops here, before anything changed.
    const QString expression = qv::buildQueryExpression(dialog.criteria());

    swapQueryMenus(*this, true);
    std::optional<qv::ScopedProgress> progress(std::in_place, m_program.wmessage());
    progress->phase(qv::queryRunningText());
    qv::ScopedSuspend files(*DataSource2);
    setQueryButton(*this, true);
    { GreyFlash flash(*this); }

    const qv::QueryOutcome outcome = qv::installEntryQuery(m_session, expression, *progress);

    // The counter took its search colours with the state.
    progress.reset();
    untenrefresh(TabControl2->currentIndex());
    m_program.wmessage().setLine2(QString());
    files.resume();
    rollback.dismiss();

    if (outcome.count == 0) {
        qv::message(QStringLiteral("Keinen Eintrag gefunden.\nSchalte auf ALLE Einträge zurück."),
                    QStringLiteral("Hinweis"), qv::MsgIcon::Information, qv::MsgButtons::Ok);
        suchereset();
    }
}

void TMainForm::suchereset() {
    swapQueryMenus(*this, false);
    setQueryButton(*this, false);
    qv::liftEntryQuery(m_session);
    untenrefresh(TabControl2->currentIndex());
}

// ---- the statistics -----------------------------------------------------------------------

void TMainForm::DatentraegerAnzahl1Click() {
    const qint64 carriers = qv::countCarriers(m_session, m_program.wmessage());
    qv::message(qv::carrierCountMessage(carriers), QStringLiteral("Anzahl Datenträger"),
                qv::MsgIcon::None, qv::MsgButtons::Ok);
}

void TMainForm::EintraegejeStatus1Click() {
    const qv::StatusCounts counts = qv::countStatusFlags(m_session, m_program.wmessage());
    Tstatistik_status& window = statistikStatus();
    qv::SettingsList& settings = m_program.settings();
    for (int k = 1; k <= qv::kStatusFlagCount; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        window.labels[i]->setText(qv::statusCountText(settings.line(k), counts.perFlag[i]));
    }
    window.exec();
}

void TMainForm::EintraegejeKategorie1Click() {
    // The lists stay still until the window is closed; the category table is
    // closed before they follow again.
    qv::ScopedSuspend entries(*DataSource1);
    qv::ScopedSuspend files(*DataSource2);
    struct CloseCategories {
        qv::CatalogueSession& session;
        ~CloseCategories() {
            try {
                qv::closeCategoryTable(session);
            } catch (...) {
            }
        }
    } closeCategories{m_session};
    qv::countEntriesPerCategory(m_session, m_program.wmessage());
    statKategorie().showCounts();
}
