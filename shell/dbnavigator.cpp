#include "shell/dbnavigator.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "shell/windowutil.h"

namespace qv {

namespace {
QToolButton* navButton(QWidget* parent, const char* name, const char* icon, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(QIcon(QStringLiteral(":/shell/images/%1.svg").arg(QLatin1String(icon))));
    b->setIconSize(QSize(14, 14));
    b->setToolTip(hint);
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

}  // namespace qv
