// Program entry: the application object with the general error handler,
// Qt's German texts, then the start sequence of the shell and the message
// loop.
#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <memory>

#include "entries/mainform.h"
#include "shell/application.h"
#include "shell/errorhandler.h"
#include "shell/program.h"

namespace {

// Development aid for checking the window under a virtual display: with
// QV_SCREENSHOT=<file.png> set, the program saves a picture of the screen
// once the main window is ready, a second one (<file>-menu.png) with the menu
// "&Bearbeiten" open, and then ends through "&Datei" / "&Beenden". Without
// the variable nothing happens.
void armScreenshot(TMainForm* mainForm) {
    const QString path = qEnvironmentVariable("QV_SCREENSHOT");
    if (path.isEmpty()) return;
    auto grab = [](const QString& file) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) screen->grabWindow(0).save(file);
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
}

}  // namespace

int main(int argc, char** argv) {
    qv::Application app(argc, argv);
    app.installGermanTranslation();

    qv::Program program;
    TMainForm* mainForm = nullptr;
    const bool started = qv::runGuarded([&] {
        program.start([&](qv::Program& p) {
            auto form = std::make_unique<TMainForm>(p);
            mainForm = form.get();
            return form;
        });
    });
    if (!started) return 1;

    mainForm->show();
    mainForm->activateWindow();
    // Without a window manager the window may never be activated: the first
    // activation then runs from the message loop (a later activation does
    // nothing).
    QTimer::singleShot(0, mainForm,
                       [mainForm] { qv::runGuarded([mainForm] { mainForm->FormActivate(); }); });
    armScreenshot(mainForm);
    return app.exec();
}
