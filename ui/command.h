// Wiring of the program's commands to buttons, menu items and keys.
//
// A command connected here reports an error that escapes it to the general
// error handler right at its own boundary. The error then never unwinds
// through Qt's event delivery, whose widget code is built without exception
// support and would leak the event objects on its frames; the application's
// notify() remains the net for errors thrown from event handlers.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

#include "ui/errorhandler.h"

namespace qv {

template <class Sender, class Signal, class Command>
QMetaObject::Connection connectCommand(const Sender* sender, Signal signal, const QObject* context,
                                       Command command) {
    return QObject::connect(sender, signal, context, [command]() { runGuarded(command); });
}

}  // namespace qv

class QAbstractButton;
class QAction;

namespace qv {

// One command of a window: its menu entry, its context-menu twin and its
// tool button share one enabled state and one handler. The places are
// joined once when the window is built; triggering any of them runs the
// handler through the general error handler. A command without a handler
// is disabled.
class Command : public QObject {
    Q_OBJECT

  public:
    explicit Command(QObject* parent = nullptr);

    void addAction(QAction* action);
    void addButton(QAbstractButton* button);
    // Sets the handler and enables the command.
    void setHandler(std::function<void()> handler);
    // Runs after the handler on every exit (the window giving the keyboard
    // back to its list after the command's windows closed).
    void setAfterRun(std::function<void()> after) { m_after = std::move(after); }
    bool hasHandler() const { return static_cast<bool>(m_handler); }

    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }
    // Toggle buttons (the query button): the down state of every button.
    void setChecked(bool on);
    void setHint(const QString& hint);

    // Runs the handler when the command is enabled; returns false when it
    // was not run or was abandoned with an error.
    bool trigger();

    const QList<QAction*>& actions() const { return m_actions; }
    const QList<QAbstractButton*>& buttons() const { return m_buttons; }

  private:
    std::function<void()> m_handler;
    std::function<void()> m_after;
    QList<QAction*> m_actions;
    QList<QAbstractButton*> m_buttons;
    bool m_enabled = false;
};

}  // namespace qv
