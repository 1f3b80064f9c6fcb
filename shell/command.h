// Wiring of the program's commands to buttons, menu items and keys.
//
// A command connected here reports an error that escapes it to the general
// error handler right at its own boundary. The error then never unwinds
// through Qt's event delivery, whose widget code is built without exception
// support and would leak the event objects on its frames; the application's
// notify() remains the net for errors thrown from event handlers.
#pragma once

#include <QObject>

#include "shell/errorhandler.h"

namespace qv {

template <class Sender, class Signal, class Command>
QMetaObject::Connection connectCommand(const Sender* sender, Signal signal, const QObject* context,
                                       Command command) {
    return QObject::connect(sender, signal, context, [command]() { runGuarded(command); });
}

}  // namespace qv
