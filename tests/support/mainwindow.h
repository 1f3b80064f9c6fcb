// The real main window on a catalogue directory, started as the program
// starts it (settings list, data module, first activation with the start-up
// check), for scenario tests of the windows. Header-only: a test program that
// includes it links the entries library.
#pragma once

#include <QApplication>
#include <QTest>

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "app/qv-tessarin/features.h"
#include "entries/ui/mainform.h"
#include "ui/errorhandler.h"
#include "ui/helpwindow.h"
#include "ui/program.h"
#include "ui/scripteddialogs.h"
#include "store/xbase/progress.h"
#include "store/xbase/settings.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/testutil.h"

namespace qvtest {

class MainWindowHarness {
  public:
    // Starts the program on `dir` (a catalogue made by createCatalogue() or
    // an empty directory) and runs the first activation. Boxes are answered
    // by `boxes`; the quit function only counts.
    explicit MainWindowHarness(const std::filesystem::path& dir) : m_guard(&boxes) {
        program = std::make_unique<qv::Program>(QString::fromStdString(dir.string()));
        program->setQuitFunction([this] { ++quits; });
        program->start([](qv::Program& p) { return std::make_unique<TMainForm>(p, qv::programFeatures()); });
        form = static_cast<TMainForm*>(program->mainForm());
        program->setCatalogueStartup(form->makeCatalogueStartup());
        form->show();
        started = qv::runGuarded([this] { form->FormActivate(); });
        QApplication::processEvents();
    }
    ~MainWindowHarness() {
        if (qv::HelpWindow* h = qv::helpWindowIfCreated()) h->hide();
        program.reset();
        xb::setGaugeHook({});
    }
    MainWindowHarness(const MainWindowHarness&) = delete;
    MainWindowHarness& operator=(const MainWindowHarness&) = delete;

    qv::CatalogueSession& session() { return form->session(); }
    TTable& table(qv::CatalogueTable t) { return session().table(t); }
    // Sends a key to the entry list, as the user types it there.
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(form->findChild<QWidget*>(QStringLiteral("DBGrid1")), k, mods);
    }

    xb::SettingsGuard settings;
    qv::ScriptedDialogs boxes;
    std::unique_ptr<qv::Program> program;
    TMainForm* form = nullptr;
    bool started = false;
    int quits = 0;

  private:
    qv::ScopedDialogs m_guard;
};

}  // namespace qvtest
