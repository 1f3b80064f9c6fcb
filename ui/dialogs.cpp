#include "ui/dialogs.h"

#include "ui/widgetdialogs.h"

namespace qv {

namespace {
Dialogs*& current() {
    static Dialogs* d = nullptr;
    return d;
}
}  // namespace

Dialogs& dialogs() {
    static WidgetDialogs real;
    Dialogs* d = current();
    return d ? *d : real;
}

void setDialogs(Dialogs* d) {
    current() = d;
}

ScopedDialogs::ScopedDialogs(Dialogs* d) : m_previous(current()) {
    current() = d;
}
ScopedDialogs::~ScopedDialogs() {
    current() = m_previous;
}

}  // namespace qv
