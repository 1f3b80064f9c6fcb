#include "volumes/ui/volumecommands.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "reading/ui/readingcommands.h"
#include "store/conversion.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"
#include "ui/command.h"
#include "ui/commandregistry.h"
#include "ui/dialogs.h"
#include "ui/errorhandler.h"
#include "volumes/core/carriercounter.h"
#include "volumes/core/volumeprovider.h"
#include "volumes/core/volumewatcher.h"
#include "volumes/ui/volumepanel.h"

namespace qv {

namespace {

const QString kCaption = QStringLiteral("Datenträger erkannt");

// The actions' links; their texts are the notice's own words.
const QString kShow = QStringLiteral("anzeigen");
const QString kReadAgain = QStringLiteral("neu einlesen");
const QString kCreate = QStringLiteral("als neuen Eintrag anlegen und einlesen");
const QString kClose = QStringLiteral("close");

int currentEntryNumber(CatalogueSession& session) {
    TApollo& entries = session.apollo(CatalogueTable::Entries);
    if (!session.table(CatalogueTable::Entries).Active() || entries.sx_OrderRecNo() <= 0) return 0;
    return strToInt(entries.sx_EvalString(QStringLiteral("str(eindeutig,8)")));
}

}  // namespace

VolumeCommands::VolumeCommands(ReadingCommands* reading) : m_reading(reading) {}

VolumeCommands::~VolumeCommands() = default;

void VolumeCommands::bind(MainWindowHost& host) {
    m_host = &host;
    m_panel = new VolumePanel;
    host.addLowerTab(QStringLiteral("Datenträgerdaten"), m_panel, [this] { refreshPanel(); });

    m_notice = new QLabel;
    m_notice->setObjectName(QStringLiteral("VolumeNotice"));
    m_notice->setTextFormat(Qt::RichText);
    m_notice->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    // A long notice wraps onto a second line rather than widening the window.
    m_notice->setWordWrap(true);
    m_notice->setMinimumWidth(320);
    m_notice->setMaximumHeight(2 * m_notice->fontMetrics().lineSpacing() + 4);
    m_notice->setVisible(false);
    connect(m_notice, &QLabel::linkActivated, this, [this](const QString& link) {
        runGuarded([&] {
            if (link == kShow)
                showEntry();
            else if (link == kReadAgain)
                readAgain();
            else if (link == kCreate)
                createAndRead();
            else
                closeNotice();
        });
    });
    if (auto* main = qobject_cast<QMainWindow*>(host.window()))
        main->statusBar()->addWidget(m_notice, 1);

    m_counter = new CarrierCounter(volumeFactsProvider(), this);
    connect(m_counter, &CarrierCounter::counted, this, &VolumeCommands::counted);
    // Kept with the window, where tests find it.
    m_watcher = new VolumeWatcher(volumeFactsProvider(), host.window());
    m_watcher->setObjectName(QStringLiteral("VolumeWatcher"));
    connect(m_watcher, &VolumeWatcher::mounted, this,
            [this](const QString& m) { runGuarded([&] { volumeMounted(m); }); });
    connect(m_watcher, &VolumeWatcher::unmounted, this, &VolumeCommands::volumeUnmounted);
    m_watcher->start();
}

void VolumeCommands::refreshPanel() {
    CatalogueSession& session = m_host->session();
    const int n = currentEntryNumber(session);
    m_panel->showFacts(n > 0 ? loadVolumeFacts(session.dm().programDir(), n)
                             : std::optional<VolumeFacts>());
}

void VolumeCommands::setNotice(const QString& text, const QStringList& actions) {
    m_text = text;
    m_actions = actions;
    // The actions are the text's own words, made links.
    QString html = text.toHtmlEscaped();
    for (const QString& a : actions) {
        const QString escaped = a.toHtmlEscaped();
        const qsizetype at = html.lastIndexOf(escaped);
        if (at < 0) continue;
        html.replace(at, escaped.size(), QStringLiteral("<a href=\"%1\">%2</a>").arg(a, escaped));
    }
    html += QStringLiteral(" &nbsp;<a href=\"%1\">×</a>").arg(kClose);
    m_notice->setText(html);
    m_notice->setToolTip(text);
    m_notice->setVisible(true);
}

void VolumeCommands::volumeMounted(const QString& mountPoint) {
    if (!m_host || !m_host->session().bound()) return;
    CatalogueSession& session = m_host->session();
    if (!session.table(CatalogueTable::Entries).Active()) return;
    const std::optional<VolumeFacts> mounted = volumeFactsProvider().factsOf(mountPoint);
    if (!mounted) return;
    const QString dir = session.dm().programDir();
    const VolumeMatch match = matchVolume(loadAllVolumeFacts(dir), *mounted);
    const EntryHeading h = match ? entryHeading(session, match.stored.entry) : EntryHeading{};
    m_mountPoint = mountPoint;
    if (h.recno > 0) {
        m_entry = h.entry;
        m_stored = match.stored;
        QStringList actions{kShow};
        if (m_reading) actions << kReadAgain;
        setNotice(knownNoticeText(*mounted, h), actions);
        m_counter->start(mountPoint);
    } else {
        m_entry = 0;
        m_stored = {};
        setNotice(unknownNoticeText(*mounted), m_reading ? QStringList{kCreate} : QStringList{});
    }
}

void VolumeCommands::counted(const QString& mountPoint, qint64 files, qint64 bytes) {
    if (mountPoint != m_mountPoint || m_entry == 0 || !m_notice->isVisible()) return;
    const QString text =
        m_text + QStringLiteral(" (") + changeText(m_stored, {files, bytes}) + QLatin1Char(')');
    setNotice(text, m_actions);
}

void VolumeCommands::volumeUnmounted(const QString& mountPoint) {
    if (mountPoint == m_mountPoint) closeNotice();
}

void VolumeCommands::closeNotice() {
    m_notice->setVisible(false);
    m_notice->clear();
    m_mountPoint.clear();
    m_entry = 0;
}

// The notice's entry made current in the list; a query that hides it is
// left first, if the user agrees.
bool VolumeCommands::makeCurrent() {
    CatalogueSession& session = m_host->session();
    EntryHeading h = entryHeading(session, m_entry);
    if (h.recno == 0) {
        message(QStringLiteral("Der Eintrag %1 ist nicht mehr vorhanden.").arg(m_entry), kCaption,
                MsgIcon::Information);
        closeNotice();
        return false;
    }
    xb::Table* t = session.table(CatalogueTable::Entries).engine();
    if (session.searchActive() && t && t->index().queryActive() &&
        !t->index().queryBit(static_cast<std::uint32_t>(h.recno))) {
        if (message(QStringLiteral("Der Eintrag %1 gehört nicht zur Such-Abfrage.\nAlle Daten "
                                   "anzeigen und zum Eintrag gehen?")
                        .arg(m_entry),
                    kCaption, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
            return false;
        m_host->commands().command(MainCommand::QueryReset).trigger();
        if (session.searchActive()) return false;
    }
    session.apollo(CatalogueTable::Entries).sx_Go(h.recno);
    m_host->focusEntryList();
    return true;
}

void VolumeCommands::showEntry() {
    if (m_entry > 0) makeCurrent();
}

void VolumeCommands::readAgain() {
    if (m_entry == 0 || !m_reading) return;
    const QString mountPoint = m_mountPoint;
    if (!makeCurrent()) return;
    m_reading->readCarrierFrom(mountPoint);
    refreshPanel();
}

void VolumeCommands::createAndRead() {
    if (!m_reading || m_mountPoint.isEmpty()) return;
    const QString mountPoint = m_mountPoint;
    CatalogueSession& session = m_host->session();
    const int before = session.nummernZaehler();
    m_host->commands().command(MainCommand::NewEntry).trigger();
    // A new entry took the next number and stands current.
    const int now = currentEntryNumber(session);
    if (session.nummernZaehler() == before || now != session.nummernZaehler()) return;
    closeNotice();
    m_reading->readCarrierFrom(mountPoint);
}

}  // namespace qv
