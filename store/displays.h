// The two progress displays of the program, as the operations that drive
// them see them: the intro window (start-up and reorganisation, with a bar
// that follows the engine's progress reports) and the progress window (two
// text lines for long operations). Plain interfaces, so that the operations
// can be run and tested without a screen.
#pragma once

#include <QString>

#include "store/xbase/progress.h"

namespace qv {

// Lets pending window messages run (repaints, the progress windows); does
// nothing without an event loop.
void letMessagesRun();

class IntroDisplay {
  public:
    virtual ~IntroDisplay() = default;

    virtual void setStepText(const QString& text) = 0;    // `Label1`
    virtual void setStatusText(const QString& text) = 0;  // `Label2`
    // Repaints and shows the window without blocking and lets pending window
    // messages run, so that it is drawn.
    virtual void showNow() = 0;
    virtual void closeNow() = 0;

    // The progress bar `Gauge1` (0 to 100), hidden until a build starts.
    virtual void showGauge() = 0;
    virtual void hideGauge() = 0;
    // The number of steps n of the current file (index tags of one index
    // file, or one per packed table) and the current step i, from 0.
    virtual void announceSteps(int n) = 0;
    virtual void setStep(int i) = 0;
    // A progress report p (0 to 100) of the engine operation of step i.
    virtual void reportProgress(int percent) = 0;

    // A receiver for the engine's gauge hook (xb::setGaugeHook) that forwards
    // the reports to reportProgress().
    xb::ProgressFn progressReceiver() {
        return [this](int percent) { reportProgress(percent); };
    }
};

// An intro window that shows nothing: for the tools, the benchmarks and the
// tests that run the start-up check without a screen.
class SilentIntro : public IntroDisplay {
  public:
    void setStepText(const QString&) override {}
    void setStatusText(const QString&) override {}
    void showNow() override {}
    void closeNow() override {}
    void showGauge() override {}
    void hideGauge() override {}
    void announceSteps(int) override {}
    void setStep(int) override {}
    void reportProgress(int) override {}
};

class ProgressDisplay {
  public:
    virtual ~ProgressDisplay() = default;

    virtual void setLine1(const QString& text) = 0;  // the phase (`Label1`)
    virtual void setLine2(const QString& text) = 0;  // details, counters (`Label2`)
    // Shown without blocking; the user cannot close it.
    virtual void showProgress() = 0;
    virtual void closeProgress() = 0;
    // An operation that can stop cleanly offers an "Abbrechen" button while
    // `on`; cancelRequested() tells whether it was pressed since it was
    // offered (pressing it runs while the operation lets messages run).
    virtual void offerCancel(bool on) { (void)on; }
    virtual bool cancelRequested() const { return false; }
};

// A progress window that shows nothing: for the store tool's commands.
class SilentProgress : public ProgressDisplay {
  public:
    void setLine1(const QString&) override {}
    void setLine2(const QString&) override {}
    void showProgress() override {}
    void closeProgress() override {}
};

}  // namespace qv

namespace qv {

// One long operation's use of a progress display: shown at construction,
// closed on every exit. Texts are passed on at once; pending window messages
// run after a new phase, at the end, and otherwise at most every 25 ms, so
// the display costs nothing measurable in a loop.
class ScopedProgress {
  public:
    explicit ScopedProgress(ProgressDisplay& display);
    ~ScopedProgress();
    ScopedProgress(const ScopedProgress&) = delete;
    ScopedProgress& operator=(const ScopedProgress&) = delete;

    // A new phase: both lines, then the messages run.
    void phase(const QString& line1, const QString& line2 = QString());
    // The detail line; the messages run when 25 ms have passed.
    void detail(const QString& line2);
    // The same with the text made only when it will be shown.
    template <class MakeText>
    void detailLazy(MakeText&& make) {
        if (due()) {
            m_display.setLine2(make());
            letMessagesRun();
            restartClock();
        }
    }
    ProgressDisplay& display() { return m_display; }

  private:
    bool due() const;
    void restartClock();

    ProgressDisplay& m_display;
    long long m_last = 0;
};

}  // namespace qv
