#include "ui/errorhandler.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include <gtest/gtest.h>

#include "catalogue/settingslist.h"
#include "store/xbase/error.h"
#include "support/testutil.h"
#include "ui/application.h"
#include "ui/command.h"
#include "ui/scripteddialogs.h"

namespace {

using qv::MsgButtons;
using qv::MsgIcon;
using Shown = qv::ScriptedDialogs::Shown;

class ErrorHandler : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(qobject_cast<qv::Application*>(qApp), nullptr); }

    // Expects exactly one error box with `text` since the last check.
    void expectErrorBox(const QString& text) {
        ASSERT_EQ(boxes.shown().size(), 1u);
        const Shown& s = boxes.last();
        EXPECT_EQ(s.kind, Shown::Message);
        EXPECT_EQ(s.text, text);
        EXPECT_EQ(s.caption, QStringLiteral("QV-TESSARIN 97"));
        EXPECT_EQ(s.icon, MsgIcon::Error);
        EXPECT_EQ(s.buttons, MsgButtons::Ok);
        boxes.clear();
    }

    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs guard{&boxes};
};

TEST_F(ErrorHandler, TheTextGetsAFullStop) {
    EXPECT_EQ(qv::errorMessageText(
                  qv::Error(qv::ErrorCode::Locked, "Die Datei /x/_qvdisk.dbf ist gesperrt")),
              QStringLiteral("Die Datei /x/_qvdisk.dbf ist gesperrt."));
    EXPECT_EQ(qv::errorMessageText(std::runtime_error("Speicher voll")),
              QStringLiteral("Speicher voll."));
}

TEST_F(ErrorHandler, AnErrorInAButtonCommandReachesTheHandlerAndTheProgramGoesOn) {
    QPushButton failing(QStringLiteral("Fehler"));
    bool before = false, after = false;
    qv::connectCommand(&failing, &QPushButton::clicked, &failing, [&] {
        before = true;
        throw qv::Error(qv::ErrorCode::Locked,
                        "Die Datei /daten/_qvdir.dbf wird von einem anderen Programm benutzt");
        after = true;  // never reached: the command is abandoned
    });
    int okClicks = 0;
    QPushButton fine(QStringLiteral("OK"));
    QObject::connect(&fine, &QPushButton::clicked, [&] { ++okClicks; });
    failing.show();
    fine.show();

    QTest::mouseClick(&failing, Qt::LeftButton);
    EXPECT_TRUE(before);
    EXPECT_FALSE(after);
    expectErrorBox(
        QStringLiteral("Die Datei /daten/_qvdir.dbf wird von einem anderen Programm benutzt."));

    // The program keeps running: other commands and the same one again work.
    QTest::mouseClick(&fine, Qt::LeftButton);
    EXPECT_EQ(okClicks, 1);
    QTest::mouseClick(&failing, Qt::LeftButton);
    expectErrorBox(
        QStringLiteral("Die Datei /daten/_qvdir.dbf wird von einem anderen Programm benutzt."));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(ErrorHandler, AnErrorInAMenuShortcutReachesTheHandler) {
    QWidget window;
    auto* action = new QAction(QStringLiteral("&Test"), &window);
    action->setShortcut(QKeySequence(Qt::Key_F5));
    window.addAction(action);
    qv::connectCommand(action, &QAction::triggered, action,
                       [] { throw std::runtime_error("Unerwarteter Zustand"); });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F5);
    expectErrorBox(QStringLiteral("Unerwarteter Zustand."));
}

// A window whose own event handling fails.
class FailingWidget : public QWidget {
  public:
    int handled = 0;

  protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            ++handled;
            throw qv::Error(qv::ErrorCode::Corrupt,
                            "Die Indexdatei /x/_qvdir.nsx ist beschädigt: Seite 4096 hat eine "
                            "unmögliche Schlüsselanzahl");
        }
        return QWidget::event(e);
    }
};

TEST_F(ErrorHandler, AnErrorEscapingAnEventHandlerIsCaughtByTheApplication) {
    FailingWidget w;
    w.show();
    QCoreApplication::postEvent(&w, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.handled, 1);
    expectErrorBox(
        QStringLiteral("Die Indexdatei /x/_qvdir.nsx ist beschädigt: Seite 4096 hat "
                       "eine unmögliche Schlüsselanzahl."));
    // The program goes on: the window still handles events, later ones too.
    QCoreApplication::postEvent(&w, new QEvent(QEvent::User));
    bool later = false;
    QTimer::singleShot(0, [&] { later = true; });
    QTest::qWait(20);
    EXPECT_EQ(w.handled, 2);
    EXPECT_TRUE(later);
    ASSERT_EQ(boxes.shown().size(), 1u);
    boxes.clear();
    EXPECT_TRUE(w.isVisible());
}

TEST_F(ErrorHandler, AnErrorInATimerAndAnUnknownErrorReachTheHandler) {
    QTimer::singleShot(0, [] { throw qv::Error(qv::ErrorCode::Corrupt, "Kaputt"); });
    QTest::qWait(20);
    expectErrorBox(QStringLiteral("Kaputt."));

    QTimer::singleShot(0, [] { throw 42; });
    QTest::qWait(20);
    expectErrorBox(QStringLiteral("Unbekannter Fehler."));
}

TEST_F(ErrorHandler, SettingsListErrorsEscapingACommandAreShown) {
    qvtest::TempDir dir;
    qv::SettingsList list;
    list.load(QString::fromStdString(dir.path().string()));
    list.replace(15, QStringLiteral("links"));
    QPushButton readMissing, convert;
    qv::connectCommand(&readMissing, &QPushButton::clicked, &readMissing, [&] { list.line(19); });
    qv::connectCommand(&convert, &QPushButton::clicked, &convert, [&] { list.lineAsInt(15); });
    readMissing.show();
    convert.show();

    QTest::mouseClick(&readMissing, Qt::LeftButton);
    expectErrorBox(QStringLiteral("Listenindex außerhalb des zulässigen Bereichs."));
    QTest::mouseClick(&convert, Qt::LeftButton);
    expectErrorBox(QStringLiteral("'links' ist kein gültiger Integerwert."));
}

TEST_F(ErrorHandler, RunGuardedReportsAndTellsTheCallerTheCommandWasAbandoned) {
    EXPECT_TRUE(qv::runGuarded([] {}));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(qv::runGuarded([] { throw qv::Error(qv::ErrorCode::IoError, "Platte voll"); }));
    expectErrorBox(QStringLiteral("Platte voll."));
}

}  // namespace
