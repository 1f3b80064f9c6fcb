#include "ui/termination.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "catalogue/catalogueschema.h"
#include "catalogue/dm.h"
#include "store/ttable.h"
#include "ui/program.h"

namespace qv {

namespace {

int g_pipe[2] = {-1, -1};
std::atomic<bool> g_requested{false};

void onSignal(int) {
    const int saved = errno;
    const char b = 1;
    // Nothing to do when the pipe is full: a byte is waiting already.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &b, 1);
    errno = saved;
}

void requestEnd(Program& program) {
    if (g_requested.exchange(true)) return;
    program.end();
}

}  // namespace

bool terminationRequested() {
    return g_requested.load();
}

void closeCatalogue(Program& program) {
    TDM& dm = program.dm();
    for (CatalogueTable t : kTableOrder) {
        try {
            dm.table(t).Close();
        } catch (...) {
        }
    }
}

void installTermination(Program& program) {
    auto* app = QCoreApplication::instance();
    if (!app || g_pipe[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [&program] {
        char buf[16];
        while (::read(g_pipe[1], buf, sizeof buf) > 0) {
        }
        requestEnd(program);
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
#if QT_CONFIG(sessionmanager)
    if (auto* gui = qobject_cast<QGuiApplication*>(app)) {
        // The session ends: nothing to save and nothing to ask, since every
        // change is stored when it is posted; the run ends as on SIGTERM.
        QObject::connect(gui, &QGuiApplication::commitDataRequest, app,
                         [&program](QSessionManager&) { requestEnd(program); });
    }
#endif
    QObject::connect(app, &QCoreApplication::aboutToQuit, app,
                     [&program] { closeCatalogue(program); });
}

}  // namespace qv
