#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

#include "catalogue/introprogress.h"
#include "store/xbase/progress.h"
#include "ui/introform.h"
#include "ui/wmessage.h"

namespace {

TEST(IntroGauge, ThreeStepsShareTheBar) {
    struct Case {
        int p, i, value;
    };
    for (const Case& c : std::vector<Case>{{0, 0, 0},
                                           {1, 0, 0},
                                           {3, 0, 1},
                                           {50, 0, 16},
                                           {100, 0, 33},
                                           {0, 1, 33},
                                           {50, 1, 49},
                                           {100, 1, 66},
                                           {0, 2, 66},
                                           {99, 2, 99},
                                           {100, 2, 99}}) {
        EXPECT_EQ(qv::introGaugeValue(c.p, 3, c.i), c.value) << c.p << " " << c.i;
    }
    // Across the whole build the bar never runs backwards and never passes 100.
    int last = 0;
    for (int i = 0; i < 3; ++i) {
        for (int p = 0; p <= 100; ++p) {
            const int v = qv::introGaugeValue(p, 3, i);
            EXPECT_GE(v, last) << p << " " << i;
            EXPECT_LE(v, 100);
            last = v;
        }
    }
}

TEST(IntroGauge, NineStepsAndOneStep) {
    EXPECT_EQ(qv::introGaugeValue(0, 9, 0), 0);
    EXPECT_EQ(qv::introGaugeValue(100, 9, 0), 11);
    EXPECT_EQ(qv::introGaugeValue(45, 9, 4), 49);
    EXPECT_EQ(qv::introGaugeValue(100, 9, 8), 99);
    for (int p = 0; p <= 100; ++p)
        EXPECT_EQ(qv::introGaugeValue(p, 1, 0), p);
}

TEST(IntroGauge, ValuesOutsideTheRangeStayOnTheBar) {
    EXPECT_EQ(qv::introGaugeValue(50, 0, 0), 50) << "no steps announced counts as one";
    EXPECT_EQ(qv::introGaugeValue(-5, 3, 0), 0);
    EXPECT_EQ(qv::introGaugeValue(250, 1, 0), 100);
    EXPECT_EQ(qv::introGaugeValue(100, 3, 7), 100);
}

class IntroWindow : public ::testing::Test {
  protected:
    void TearDown() override { xb::setGaugeHook({}); }

    template <class T>
    T* child(const char* name) {
        return intro.findChild<T*>(QLatin1String(name));
    }
    TIntroForm intro;
};

TEST_F(IntroWindow, StartsWithItsTextsAndAHiddenBar) {
    EXPECT_EQ(intro.objectName(), QStringLiteral("IntroForm"));
    EXPECT_EQ(intro.windowTitle(), QStringLiteral("QV-TESSARIN 32Bit"));
    EXPECT_EQ(child<QLabel>("Label2")->text(), QStringLiteral("Status: "));
    EXPECT_EQ(child<QLabel>("Label1")->text(),
              QStringLiteral("Datenbank öffnen, Index-Daten laden ..."));
    ASSERT_NE(child<QLabel>("Image1"), nullptr);
    EXPECT_FALSE(child<QLabel>("Image1")->pixmap().isNull());
    QProgressBar* gauge = child<QProgressBar>("Gauge1");
    EXPECT_EQ(gauge->minimum(), 0);
    EXPECT_EQ(gauge->maximum(), 100);
    intro.showNow();
    EXPECT_TRUE(intro.isVisible());
    EXPECT_FALSE(gauge->isVisible());
    EXPECT_EQ(intro.palette().color(QPalette::Window), QColor(0, 128, 128));
    EXPECT_FALSE(intro.windowFlags() & Qt::WindowCloseButtonHint);
    intro.closeNow();
    EXPECT_FALSE(intro.isVisible());
}

TEST_F(IntroWindow, TheUserCannotCloseIt) {
    intro.showNow();
    QCloseEvent close;
    QCoreApplication::sendEvent(&intro, &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_TRUE(intro.isVisible());
    intro.closeNow();
}

// An index file with three tags, built as the start-up check does it: the
// engine's progress reports arrive through the gauge hook.
TEST_F(IntroWindow, EngineProgressDrivesTheBar) {
    QProgressBar* gauge = child<QProgressBar>("Gauge1");
    intro.showNow();
    intro.setStepText(QStringLiteral("Indexdatei Dateien ..."));
    intro.announceSteps(3);
    intro.showGauge();
    EXPECT_TRUE(gauge->isVisible());
    xb::setGaugeHook(intro.progressReceiver());

    std::vector<int> afterEachTag;
    for (int tag = 0; tag < 3; ++tag) {
        intro.setStep(tag);
        xb::ProgressCounter counter(1000);
        int lastSeen = gauge->value();
        for (int r = 0; r < 1000; ++r) {
            counter.step();
            EXPECT_GE(gauge->value(), lastSeen);
            lastSeen = gauge->value();
        }
        counter.finish();
        afterEachTag.push_back(gauge->value());
    }
    EXPECT_EQ(afterEachTag, (std::vector<int>{33, 66, 99}));

    // The next file announces its own steps: the bar starts again.
    intro.announceSteps(1);
    xb::reportProgress(0);
    EXPECT_EQ(gauge->value(), 0);
    xb::reportProgress(57);
    EXPECT_EQ(gauge->value(), 57);
    intro.hideGauge();
    EXPECT_FALSE(gauge->isVisible());
    EXPECT_EQ(child<QLabel>("Label1")->text(), QStringLiteral("Indexdatei Dateien ..."));
    intro.closeNow();
}

TEST(ProgressWindow, TwoLinesShownWithoutBlocking) {
    TWmessage w;
    EXPECT_EQ(w.objectName(), QStringLiteral("Wmessage"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("QV-Tessarin"));
    EXPECT_TRUE(w.line1().isEmpty());
    EXPECT_TRUE(w.line2().isEmpty());
    qv::ProgressDisplay& display = w;
    display.setLine1(QStringLiteral("Einlesen Datenträger"));
    display.setLine2(QStringLiteral("Bearbeitet: 1 Datensätze"));
    display.showProgress();
    // Shown without blocking, but application-modal: while an operation
    // runs the other windows take no input.
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowModality(), Qt::ApplicationModal);
    auto* l1 = w.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* l2 = w.findChild<QLabel*>(QStringLiteral("Label2"));
    EXPECT_EQ(l1->text(), QStringLiteral("Einlesen Datenträger"));
    EXPECT_EQ(l1->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(l2->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_GT(l2->width(), w.width() * 3 / 4) << "the detail line takes the full width";
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0, 128, 128));

    QCloseEvent close;
    QCoreApplication::sendEvent(&w, &close);
    EXPECT_TRUE(w.isVisible()) << "the user cannot close it";
    display.closeProgress();
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
