#include "ui/windowutil.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

static void initShellResourcesOnce() {
    Q_INIT_RESOURCE(shell_resources);
}

namespace qv {

void initShellResources() {
    static const bool done = (initShellResourcesOnce(), true);
    (void)done;
}

void centerOnScreen(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame = w->frameGeometry();
    frame.moveCenter(area.center());
    w->move(frame.topLeft());
}

void placeOverWindow(QWidget* w, const QWidget* anchor) {
    QScreen* screen = anchor && anchor->screen() ? anchor->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // The frame as the window manager will draw it; before the first showing
    // the window knows no frame yet, so leave room for a title bar.
    const QMargins frameMargins =
        w->isVisible() ? QMargins(w->geometry().left() - w->frameGeometry().left(),
                                  w->geometry().top() - w->frameGeometry().top(),
                                  w->frameGeometry().right() - w->geometry().right(),
                                  w->frameGeometry().bottom() - w->geometry().bottom())
                       : QMargins(4, 30, 4, 4);
    QSize size = w->size();
    size.setWidth(
        std::min(size.width(), area.width() - frameMargins.left() - frameMargins.right()));
    size.setHeight(
        std::min(size.height(), area.height() - frameMargins.top() - frameMargins.bottom()));
    if (size != w->size()) w->resize(size);
    QRect frame(QPoint(0, 0), size.grownBy(frameMargins));
    frame.moveCenter(anchor ? anchor->frameGeometry().center() : area.center());
    if (frame.right() > area.right()) frame.moveRight(area.right());
    if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
    if (frame.left() < area.left()) frame.moveLeft(area.left());
    if (frame.top() < area.top()) frame.moveTop(area.top());
    w->move(frame.topLeft());
}

namespace {
void takeFocus(QWidget* window, QWidget* focus) {
    if (!window->isVisible() || QApplication::activeModalWidget()) return;
    QWidget* active = QApplication::activeWindow();
    // Another window of the program the user turned to (help, information)
    // keeps the keyboard.
    if (active && active != window && active->isVisible()) return;
    window->activateWindow();
    if (QApplication::activeWindow() != window) QApplication::setActiveWindow(window);
    if (focus && focus->isVisible() && focus->isEnabled()) focus->setFocus(Qt::OtherFocusReason);
}
}  // namespace

void giveFocusBack(QWidget* window, QWidget* focus) {
    if (!window) return;
    takeFocus(window, focus);
    // The window manager's answer to the closed window comes later.
    QTimer::singleShot(50, window, [w = QPointer<QWidget>(window), f = QPointer<QWidget>(focus)] {
        if (w) takeFocus(w, f);
    });
}

void setTealBackground(QWidget* w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, tealColor());
    pal.setColor(QPalette::WindowText, Qt::white);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QIcon programIcon() {
    initShellResources();
    return QIcon(QStringLiteral(":/shell/images/qvtessarin.svg"));
}

}  // namespace qv
