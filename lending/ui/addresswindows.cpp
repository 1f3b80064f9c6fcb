#include "lending/ui/addresswindows.h"

#include <QWidget>

#include "catalogue/cataloguesession.h"
#include "lending/ui/addresswindow.h"

namespace qv {

AddressWindows& AddressWindows::of(CatalogueSession& session) {
    if (auto* w = session.findChild<AddressWindows*>(QString(), Qt::FindDirectChildrenOnly))
        return *w;
    return *new AddressWindows(session);
}

AddressWindows::AddressWindows(CatalogueSession& session) : QObject(&session), m_session(session) {
    // The window holds views on the session's tables: it goes first.
    connect(&session, &QObject::destroyed, this, [this] { delete m_verleih.data(); });
}

AddressWindows::~AddressWindows() {
    delete m_verleih.data();
}

Tstd_verleih& AddressWindows::verleih(QWidget* parent) {
    if (!m_verleih) m_verleih = new Tstd_verleih(m_session, parent ? parent->window() : nullptr);
    return *m_verleih;
}

std::optional<int> chooseAddress(CatalogueSession& session, QWidget* parent) {
    Tstd_verleih& w = AddressWindows::of(session).verleih(parent);
    if (!w.choose()) return std::nullopt;
    return w.chosenNumber();
}

}  // namespace qv
