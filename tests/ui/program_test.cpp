#include "ui/program.h"

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <QWidget>
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "catalogue/dm.h"
#include "store/displays.h"
#include "store/xbase/error.h"
#include "ui/errorhandler.h"
#include "ui/help.h"
#include "ui/helpwindow.h"
#include "ui/infobox.h"
#include "ui/introform.h"
#include "ui/scripteddialogs.h"
#include "ui/termination.h"
#include "ui/wmessage.h"
#include "uitestutil.h"

namespace fs = std::filesystem;

namespace {

QString dirOf(const qvtest::TempDir& t) {
    return QString::fromStdString(t.path().string());
}

// Records the catalogue steps, and what the intro window showed meanwhile.
class RecordingStartup : public qv::CatalogueStartup {
  public:
    explicit RecordingStartup(qv::Program& p) : program(p) {}

    bool checkCatalogue(qv::IntroDisplay&) override {
        log << "check";
        introVisibleDuringCheck = program.introForm().isVisible();
        introText = program.introForm().findChild<QLabel*>(QStringLiteral("Label1"))->text();
        flagClearedBeforeCheck = !program.firstActivation().pending();
        if (reenter) reentered = program.activateMainForm();
        fail("check");
        if (endAtCheck) program.end();
        return !endAtCheck;
    }
    void reopenTables() override { step("reopen"); }
    void selectStartOrders() override { step("orders"); }
    void reattachControls() override { step("reattach"); }
    void gotoFirstEntry() override { step("first"); }
    void focusEntryList() override {
        introVisibleAtFocus = program.introForm().isVisible();
        step("focus");
    }
    void initEntryNumbers() override { step("numbers"); }

    qv::Program& program;
    QStringList log;
    QString failAt;
    bool reenter = false;
    bool reentered = false;
    bool endAtCheck = false;
    bool introVisibleDuringCheck = false;
    bool introVisibleAtFocus = true;
    bool flagClearedBeforeCheck = false;
    QString introText;

  private:
    void step(const char* name) {
        log << QLatin1String(name);
        fail(name);
    }
    void fail(const char* name) {
        if (failAt == QLatin1String(name))
            throw qv::Error(qv::ErrorCode::Locked,
                            "Die Datei _qvdisk.dbf wird von einem anderen Programm benutzt");
    }
};

std::unique_ptr<QWidget> plainMainForm(qv::Program&) {
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("MainForm"));
    return w;
}

class ProgramTest : public ::testing::Test {
  protected:
    void startProgram() {
        program = std::make_unique<qv::Program>(dirOf(dir));
        program->setQuitFunction([this] { ++quits; });
        program->start(plainMainForm);
        auto rec = std::make_unique<RecordingStartup>(*program);
        startup = rec.get();
        program->setCatalogueStartup(std::move(rec));
    }
    void TearDown() override { qv::setHelpFile(QString()); }

    qvtest::TempDir dir;
    std::unique_ptr<qv::Program> program;
    RecordingStartup* startup = nullptr;
    int quits = 0;
};

TEST_F(ProgramTest, StartLoadsTheSettingsFirstThenCreatesTheFourObjectsInOrder) {
    qv::Program p(dirOf(dir));
    QStringList order;
    qv::Program::Factories f = qv::Program::defaultFactories();
    auto note = [&](const char* name) {
        order << QLatin1String(name);
        EXPECT_TRUE(p.settings().isLoaded()) << name << ": settings list not loaded yet";
        EXPECT_FALSE(p.infobox().created()) << name;
    };
    f.mainForm = [&](qv::Program& prog) {
        note("TMainForm");
        return plainMainForm(prog);
    };
    auto wm = f.wmessage;
    f.wmessage = [&, wm] {
        note("TWmessage");
        return wm();
    };
    auto dm = f.dm;
    f.dm = [&, dm](const QString& d) {
        note("TDM");
        return dm(d);
    };
    auto intro = f.introForm;
    f.introForm = [&, intro] {
        note("TIntroForm");
        return intro();
    };
    p.start(f);

    EXPECT_EQ(order, (QStringList{"TMainForm", "TWmessage", "TDM", "TIntroForm"}));
    EXPECT_TRUE(fs::exists(dir / "_qvdisk.ini"));
    EXPECT_EQ(p.dm().programDir(), dirOf(dir) + QLatin1Char('/'));
    EXPECT_EQ(p.dm().objectName(), QStringLiteral("DM"));
    EXPECT_EQ(p.wmessage().objectName(), QStringLiteral("Wmessage"));
    EXPECT_EQ(p.introForm().objectName(), QStringLiteral("IntroForm"));
    EXPECT_EQ(p.mainForm()->objectName(), QStringLiteral("MainForm"));
    EXPECT_EQ(qv::Program::current(), &p);
    EXPECT_EQ(p.state(), qv::Program::State::Starting);
    EXPECT_TRUE(p.firstActivation().pending());
    EXPECT_FALSE(p.wmessage().isVisible());
    EXPECT_FALSE(p.introForm().isVisible());
}

TEST_F(ProgramTest, ASettingsListThatCannotBeCreatedStartsOnTheDefaultsAfterOneMessage) {
    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs guard(&boxes);
    boxes.queueAnswer(qv::MsgAnswer::Ok);
    qv::Program p(dirOf(dir) + QStringLiteral("/fehlt"));
    bool mainFormCreated = false;
    p.start([&](qv::Program& prog) {
        mainFormCreated = true;
        return plainMainForm(prog);
    });
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.last().text.contains(QStringLiteral("nicht gespeichert")));
    EXPECT_TRUE(mainFormCreated);
}

TEST_F(ProgramTest, FirstActivationRunsTheStepsInOrderOnce) {
    startProgram();
    EXPECT_TRUE(program->activateMainForm());
    EXPECT_EQ(startup->log,
              (QStringList{"check", "reopen", "orders", "reattach", "first", "focus", "numbers"}));
    EXPECT_TRUE(startup->introVisibleDuringCheck);
    EXPECT_EQ(startup->introText, QStringLiteral("Datenbank laden"));
    EXPECT_TRUE(startup->flagClearedBeforeCheck);
    EXPECT_FALSE(startup->introVisibleAtFocus) << "the intro window closes before the focus";
    EXPECT_FALSE(program->introForm().isVisible());
    EXPECT_EQ(qv::helpFile(), QStringLiteral("tessarin.hlp"));
    EXPECT_EQ(program->state(), qv::Program::State::Ready);

    // A second activation neither reopens tables nor shows the intro window.
    EXPECT_FALSE(program->activateMainForm());
    EXPECT_FALSE(program->activateMainForm());
    EXPECT_EQ(startup->log.size(), 7);
    EXPECT_FALSE(program->introForm().isVisible());
}

TEST_F(ProgramTest, AnActivationWhileTheIntroIsShownDoesNotStartAgain) {
    startProgram();
    startup->reenter = true;
    EXPECT_TRUE(program->activateMainForm());
    EXPECT_FALSE(startup->reentered);
    EXPECT_EQ(startup->log.count(QStringLiteral("check")), 1);
}

TEST_F(ProgramTest, AFailingStepAbandonsTheRestAndIsNotRepeated) {
    startProgram();
    startup->failAt = QStringLiteral("reopen");
    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs guard(&boxes);
    EXPECT_FALSE(qv::runGuarded([&] { program->activateMainForm(); }));
    EXPECT_EQ(startup->log, (QStringList{"check", "reopen"}));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.last().text,
              QStringLiteral("Die Datei _qvdisk.dbf wird von einem anderen Programm benutzt."));
    EXPECT_EQ(boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_FALSE(program->introForm().isVisible());
    EXPECT_NE(program->state(), qv::Program::State::Ready);

    EXPECT_FALSE(program->activateMainForm());
    EXPECT_EQ(startup->log.size(), 2);
}

TEST_F(ProgramTest, ACheckThatEndedTheProgramRunsNoFurtherStep) {
    startProgram();
    startup->endAtCheck = true;
    EXPECT_TRUE(program->activateMainForm());
    EXPECT_EQ(startup->log, QStringList{"check"});
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(program->state(), qv::Program::State::Ended);
    EXPECT_FALSE(program->introForm().isVisible());
}

TEST_F(ProgramTest, WithoutACatalogueTheActivationDoesNothingElse) {
    qv::Program p(dirOf(dir));
    p.start(plainMainForm);
    EXPECT_TRUE(p.activateMainForm());
    EXPECT_EQ(p.state(), qv::Program::State::Ready);
    EXPECT_FALSE(p.introForm().isVisible());
}

TEST_F(ProgramTest, TheInformationWindowIsCreatedOnFirstUseAndKept) {
    startProgram();
    EXPECT_FALSE(program->infobox().created());
    program->showInfobox();
    ASSERT_TRUE(program->infobox().created());
    Tinfobox* box = program->infobox().ifCreated();
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Info über QV-Tessarin"));

    auto* product = box->findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->text(), QStringLiteral("QV-Tessarin"));
    EXPECT_TRUE(product->font().bold());
    EXPECT_TRUE(product->font().italic());
    EXPECT_GE(product->font().pointSize(), 20);
    EXPECT_EQ(product->palette().color(QPalette::WindowText), QColor(Qt::blue));
    auto* ok = box->findChild<QToolButton*>(QStringLiteral("SpeedButton1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("    &OK"));
    EXPECT_FALSE(ok->icon().isNull());

    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(box->isVisible());
    program->showInfobox();
    EXPECT_EQ(program->infobox().ifCreated(), box) << "kept, not created again";
    EXPECT_TRUE(box->isVisible());
    box->hide();
}

TEST_F(ProgramTest, EndHidesTheWindowsAndLeavesTheMessageLoop) {
    startProgram();
    program->showInfobox();
    program->wmessage().showProgress();
    qv::showHelp(100);
    program->end();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(program->ended());
    EXPECT_EQ(program->state(), qv::Program::State::Ended);
    EXPECT_FALSE(program->infobox().ifCreated()->isVisible());
    EXPECT_FALSE(program->wmessage().isVisible());
    EXPECT_FALSE(qv::helpWindowIfCreated()->isVisible());
}

TEST_F(ProgramTest, TheEndOfTheRunDoesNotWriteTheSettings) {
    const fs::path file = dir / "_qvdisk.ini";
    startProgram();
    qvtest::ageFile(file);
    const auto before = qvtest::FileSnapshot::of(file);
    program->settings().replace(3, QStringLiteral("nur im Speicher"));
    program->end();
    program.reset();
    EXPECT_TRUE(qvtest::FileSnapshot::of(file) == before);
    EXPECT_EQ(qv::Program::current(), nullptr);
}

}  // namespace

// SIGTERM ends the run as "Beenden" does, asking nothing, and a long
// operation's progress window sees it as "Abbrechen".
TEST_F(ProgramTest, ASignalEndsTheRunAndCancelsALongOperation) {
    startProgram();
    qv::installTermination(*program);
    TWmessage& w = program->wmessage();
    w.offerCancel(true);
    EXPECT_FALSE(w.cancelRequested());
    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return qv::terminationRequested(); }, 2000));
    EXPECT_TRUE(program->ended());
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(w.cancelRequested());
    ::raise(SIGHUP);  // a second request changes nothing
    QTest::qWait(50);
    EXPECT_EQ(quits, 1);
    w.offerCancel(false);
}
