// The general error handler. The program's commands catch no errors: every
// error that escapes one (engine, table layer, conversion, settings list)
// ends up here, is shown to the user as its text followed by "." in a box
// captioned with the application title and an error icon, and the program
// goes on with the command abandoned.
#pragma once

#include <QString>
#include <exception>

namespace qv {

// The text the handler shows for an error: its German text and a closing ".".
QString errorMessageText(const std::exception& e);

// Shows the error box for `e` through the dialogs interface.
void reportError(const std::exception& e);
// The same for an error of unknown type.
void reportUnknownError();

// Runs `command`; an error escaping it goes to the general handler. Returns
// false when the command was abandoned.
template <class F>
bool runGuarded(F&& command) {
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        reportError(e);
    } catch (...) {
        reportUnknownError();
    }
    return false;
}

}  // namespace qv
