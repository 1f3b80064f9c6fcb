// Progress reports of long engine operations (index builds, pack).
//
// One process-wide receiver, set and cleared by the caller around the
// operation (the gauge hook). Operations report whole percentages from 0 to
// 100, in non-decreasing order, at least at 0 and at 100, and not more often
// than once per percent.
#pragma once

#include <functional>

namespace xb {

using ProgressFn = std::function<void(int percent)>;

// Sets the receiver; an empty function clears it.
void setGaugeHook(ProgressFn fn);
// Reports to the receiver, if any.
void reportProgress(int percent);

// Reports percentages for a loop over `total` items: call step() per item.
class ProgressCounter {
public:
    explicit ProgressCounter(unsigned long long total);
    void step() {
        if (++done_ >= next_) advance();
    }
    // Reports 100 if that has not been reported yet.
    void finish();

private:
    void advance();
    unsigned long long total_;
    unsigned long long done_ = 0;
    unsigned long long next_ = 0;
    int last_ = -1;
};

}  // namespace xb
