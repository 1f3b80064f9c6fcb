#include "ui/command.h"

#include <QAbstractButton>
#include <QAction>

namespace qv {

Command::Command(QObject* parent) : QObject(parent) {}

void Command::addAction(QAction* action) {
    if (!action) return;
    m_actions.append(action);
    action->setEnabled(m_enabled);
    connect(action, &QAction::triggered, this, [this] { trigger(); });
}

void Command::addButton(QAbstractButton* button) {
    if (!button) return;
    m_buttons.append(button);
    button->setEnabled(m_enabled);
    connect(button, &QAbstractButton::clicked, this, [this] { trigger(); });
}

void Command::setHandler(std::function<void()> handler) {
    m_handler = std::move(handler);
    setEnabled(static_cast<bool>(m_handler));
}

void Command::setEnabled(bool on) {
    m_enabled = on && m_handler;
    for (QAction* a : m_actions)
        a->setEnabled(m_enabled);
    for (QAbstractButton* b : m_buttons)
        b->setEnabled(m_enabled);
}

void Command::setChecked(bool on) {
    for (QAbstractButton* b : m_buttons) {
        const bool blocked = b->blockSignals(true);
        b->setChecked(on);
        b->blockSignals(blocked);
    }
}

void Command::setHint(const QString& hint) {
    for (QAbstractButton* b : m_buttons) {
        b->setToolTip(hint);
        if (b->text().isEmpty()) b->setAccessibleName(hint);
    }
}

bool Command::trigger() {
    if (!m_enabled || !m_handler) return false;
    const bool ran = runGuarded(m_handler);
    if (m_after) runGuarded(m_after);
    return ran;
}

}  // namespace qv
