#include "ui/dbnavigator.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/errorhandler.h"
#include "ui/windowutil.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {
QToolButton* navButton(QWidget* parent, const char* name, const char* icon, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(QIcon(QStringLiteral(":/shell/images/%1.svg").arg(QLatin1String(icon))));
    b->setIconSize(QSize(14, 14));
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setAutoRaise(false);
    return b;
}
}  // namespace

DbNavigator::DbNavigator(QWidget* parent) : QWidget(parent) {
    initShellResources();
    m_first = navButton(this, "nbFirst", "nav-first", QStringLiteral("Erster Datensatz"));
    m_prior = navButton(this, "nbPrior", "nav-prior", QStringLiteral("Vorheriger Datensatz"));
    m_next = navButton(this, "nbNext", "nav-next", QStringLiteral("Nächster Datensatz"));
    m_last = navButton(this, "nbLast", "nav-last", QStringLiteral("Letzter Datensatz"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {m_first, m_prior, m_next, m_last})
        layout->addWidget(b);
    connect(m_first, &QToolButton::clicked, this, &DbNavigator::first);
    connect(m_prior, &QToolButton::clicked, this, &DbNavigator::prior);
    connect(m_next, &QToolButton::clicked, this, &DbNavigator::next);
    connect(m_last, &QToolButton::clicked, this, &DbNavigator::last);
}

void DbNavigator::setDataSource(TDataSource* source) {
    for (const QMetaObject::Connection& c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_source = source;
    if (source) {
        auto move = [this](void (TTable::*step)()) {
            return [this, step] {
                TTable* t = m_source ? m_source->DataSet() : nullptr;
                if (t && t->Active()) runGuarded([&] { (t->*step)(); });
                updateButtons();
            };
        };
        m_connections << connect(this, &DbNavigator::first, this, move(&TTable::First))
                      << connect(this, &DbNavigator::prior, this, move(&TTable::Prior))
                      << connect(this, &DbNavigator::next, this, move(&TTable::Next))
                      << connect(this, &DbNavigator::last, this, move(&TTable::Last))
                      << connect(source, &TDataSource::dataChange, this,
                                 &DbNavigator::updateButtons)
                      << connect(source, &TDataSource::stateChange, this,
                                 &DbNavigator::updateButtons);
    }
    updateButtons();
}

void DbNavigator::setEndsByOrderPosition(bool on) {
    m_byPosition = on;
    updateButtons();
}

void DbNavigator::updateButtons() {
    TTable* t = m_source ? m_source->DataSet() : nullptr;
    const bool active = t && t->Active();
    const bool empty = !active || (t->Eof() && t->Bof());
    bool atStart = empty || t->Bof();
    bool atEnd = empty || t->Eof();
    if (m_byPosition && !empty && t->state() == TTable::dsBrowse) {
        try {
            xb::Table* e = t->engine();
            const std::uint64_t pos = e->index().orderRecNo();
            if (pos > 0) {
                atStart = atStart || pos == 1;
                atEnd = atEnd || pos >= e->index().count();
            }
        } catch (...) {
            // The buttons stay as Bof and Eof say; the list reports the error.
        }
    }
    m_first->setEnabled(!atStart);
    m_prior->setEnabled(!atStart);
    m_next->setEnabled(!atEnd);
    m_last->setEnabled(!atEnd);
}

}  // namespace qv
