#include "ui/windowutil.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

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
