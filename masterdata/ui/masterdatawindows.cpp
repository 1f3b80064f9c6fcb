#include "masterdata/ui/masterdatawindows.h"

#include "catalogue/cataloguesession.h"
#include "masterdata/ui/lookupwindows.h"
#include "masterdata/ui/statusnames.h"

namespace qv {

namespace {

QWidget* ownerOf(QWidget* parent) {
    return parent ? parent->window() : nullptr;
}

}  // namespace

MasterdataWindows& MasterdataWindows::of(CatalogueSession& session) {
    if (auto* w = session.findChild<MasterdataWindows*>(QString(), Qt::FindDirectChildrenOnly))
        return *w;
    return *new MasterdataWindows(session);
}

MasterdataWindows::MasterdataWindows(CatalogueSession& session)
    : QObject(&session), m_session(session) {
    // The windows hold views on the session's tables: they go first.
    connect(&session, &QObject::destroyed, this, [this] { destroyWindows(); });
}

MasterdataWindows::~MasterdataWindows() {
    destroyWindows();
}

void MasterdataWindows::destroyWindows() {
    delete m_endung.data();
    delete m_katego.data();
    delete m_art.data();
    delete m_stat.data();
}

Tstd_endung* MasterdataWindows::endungIfCreated() const {
    return m_endung;
}

Tstd_katego* MasterdataWindows::kategoIfCreated() const {
    return m_katego;
}

Tstd_art* MasterdataWindows::artIfCreated() const {
    return m_art;
}

Tstd_stat* MasterdataWindows::statIfCreated() const {
    return m_stat;
}

Tstd_endung& MasterdataWindows::endung(QWidget* parent) {
    if (!m_endung) m_endung = new Tstd_endung(m_session, ownerOf(parent));
    return *m_endung;
}

Tstd_katego& MasterdataWindows::katego(QWidget* parent) {
    if (!m_katego) m_katego = new Tstd_katego(m_session, ownerOf(parent));
    return *m_katego;
}

Tstd_art& MasterdataWindows::art(QWidget* parent) {
    if (!m_art) m_art = new Tstd_art(m_session, ownerOf(parent));
    return *m_art;
}

Tstd_stat& MasterdataWindows::stat(SettingsList& settings, QWidget* parent) {
    if (!m_stat) m_stat = new Tstd_stat(settings, ownerOf(parent));
    return *m_stat;
}

std::optional<QString> chooseCategory(CatalogueSession& session, QWidget* parent) {
    Tstd_katego& w = MasterdataWindows::of(session).katego(parent);
    if (!w.choose()) return std::nullopt;
    return w.chosenValue();
}

std::optional<QString> chooseCarrierType(CatalogueSession& session, QWidget* parent) {
    Tstd_art& w = MasterdataWindows::of(session).art(parent);
    if (!w.choose()) return std::nullopt;
    return w.chosenValue();
}


}  // namespace qv
