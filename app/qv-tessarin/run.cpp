#include "app/qv-tessarin/run.h"

#include <QTimer>
#include <memory>
#include <optional>

#include "app/qv-tessarin/features.h"
#include "catalogue/cataloguelocation.h"
#include "entries/ui/mainform.h"
#include "ui/application.h"
#include "ui/errorhandler.h"
#include "ui/program.h"

namespace qv {

int runProgram(int argc, char** argv, const std::function<void(TMainForm*)>& onShown) {
    qv::Application app(argc, argv);
    app.installGermanTranslation();
    qv::keepCountsInUserCache();

    // Finding the program directory may already fail (an installed program
    // whose data folder cannot be created): the error box says why.
    std::optional<qv::Program> program;
    TMainForm* mainForm = nullptr;
    const bool started = qv::runGuarded([&] {
        program.emplace();
        program->start([&](qv::Program& p) {
            auto form = std::make_unique<TMainForm>(p, qv::programFeatures());
            mainForm = form.get();
            return form;
        });
    });
    if (!started) return 1;
    program->setCatalogueStartup(mainForm->makeCatalogueStartup());

    mainForm->show();
    mainForm->activateWindow();
    // Without a window manager the window may never be activated: the first
    // activation then runs from the message loop (a later activation does
    // nothing).
    QTimer::singleShot(0, mainForm,
                       [mainForm] { qv::runGuarded([mainForm] { mainForm->FormActivate(); }); });
    if (onShown) onShown(mainForm);
    return app.exec();
}

}  // namespace qv
