// Developer tool for checking the windows under a virtual display: runs the
// program as usual, saves a picture of the screen once the main window is
// ready (argument 1, a .png file), a second one (<file>-menu.png) with the
// menu "&Bearbeiten" open, and then ends through "&Datei" / "&Beenden".
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/qv-screenshot /tmp/main.png
#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/qv-tessarin/run.h"
#include "entries/ui/mainform.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qv-screenshot FILE.png\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    int qtArgc = 1;
    return qv::runProgram(qtArgc, argv, [path](TMainForm* mainForm) {
        auto grab = [](const QString& file) {
            if (QScreen* screen = QGuiApplication::primaryScreen())
                screen->grabWindow(0).save(file);
        };
        QTimer::singleShot(1500, mainForm, [mainForm, path, grab] {
            grab(path);
            auto* menu = mainForm->findChild<QMenu*>(QStringLiteral("Bearbeiten1"));
            if (menu) mainForm->menuBar()->setActiveAction(menu->menuAction());
            QTimer::singleShot(500, mainForm, [mainForm, path, grab, menu] {
                QString menuShot = path;
                menuShot.replace(QRegularExpression(QStringLiteral("\\.png$")), QString());
                grab(menuShot + QStringLiteral("-menu.png"));
                if (menu) menu->hide();
                if (auto* quit = mainForm->findChild<QAction*>(QStringLiteral("Beenden1")))
                    quit->trigger();
            });
        });
    });
}
