// Arithmetic of the intro window's progress bar: one bar runs once from 0
// towards 100 across the n steps of a file, each step taking an equal share.
#pragma once

namespace qv {

// The bar value for progress p (0..100) of step i (from 0) of n steps:
// (p div n) + (100 div n) * i, kept within 0..100. n below 1 counts as 1.
int introGaugeValue(int percent, int steps, int step);

// The announced steps and the current step of the intro window.
class IntroProgress {
  public:
    void announceSteps(int n) {
        m_steps = n;
        m_step = 0;
    }
    void setStep(int i) { m_step = i; }
    int steps() const { return m_steps; }
    int step() const { return m_step; }
    int valueFor(int percent) const { return introGaugeValue(percent, m_steps, m_step); }

  private:
    int m_steps = 1;
    int m_step = 0;
};

}  // namespace qv
