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

class ProgressDisplay {
  public:
    virtual ~ProgressDisplay() = default;

    virtual void setLine1(const QString& text) = 0;  // the phase (`Label1`)
    virtual void setLine2(const QString& text) = 0;  // details, counters (`Label2`)
    // Shown without blocking; the user cannot close it.
    virtual void showProgress() = 0;
    virtual void closeProgress() = 0;
};

}  // namespace qv
