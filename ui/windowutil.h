// Small helpers shared by the windows of the program.
#pragma once

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QString>

namespace qv {

// Teal (red 0, green 128, blue 128): background of the progress windows and
// the highlight colour of the lists.
inline QColor tealColor() {
    return QColor(0, 128, 128);
}

// Moves a top-level window to the centre of its screen (of the primary
// screen while it has none).
void centerOnScreen(QWidget* w);
// Centres a top-level window over `anchor` (a window of the program, or
// the primary screen without one) and keeps it whole on the anchor's screen,
// shrinking it when the screen is smaller.
void placeOverWindow(QWidget* w, const QWidget* anchor);
// Gives the keyboard back to `window` and its widget `focus` after a modal
// or progress window closed: under a window manager the window can hold
// the system's focus while the toolkit still counts no window active, and
// then no key reaches it. Does nothing while a modal window is open or when
// `window` is hidden. Repeated once the pending window events have run.
void giveFocusBack(QWidget* window, QWidget* focus);
// Teal background with white text.
void setTealBackground(QWidget* w);
// The program's icon picture.
QIcon programIcon();
// A window that lives as a direct child of `owner`: the one there, or the
// one `make` creates (with `owner` as its parent) on first use. It is kept
// until the owner goes.
template <class W, class Make>
W& childWindow(QObject* owner, Make make) {
    if (W* w = owner->findChild<W*>(QString(), Qt::FindDirectChildrenOnly)) return *w;
    return *make();
}
// Registers the pictures and help pages built into the shell library.
void initShellResources();

}  // namespace qv
