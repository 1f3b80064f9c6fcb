#include "store/xbase/progress.h"

#include <utility>

namespace xb {

namespace {
ProgressFn& hook() {
    static ProgressFn fn;
    return fn;
}
}  // namespace

void setGaugeHook(ProgressFn fn) { hook() = std::move(fn); }

void reportProgress(int percent) {
    if (hook()) hook()(percent);
}

ProgressCounter::ProgressCounter(unsigned long long total) : total_(total) {
    last_ = 0;
    reportProgress(0);
    next_ = total_ == 0 ? 1 : (total_ + 99) / 100;
}

void ProgressCounter::advance() {
    const int pct = total_ == 0 ? 100 : static_cast<int>(done_ * 100 / total_);
    if (pct > last_) {
        last_ = pct > 100 ? 100 : pct;
        reportProgress(last_);
    }
    // Next report when the next whole percent is reached.
    const unsigned long long nextPct = static_cast<unsigned long long>(last_) + 1;
    next_ = total_ == 0 ? done_ + 1 : (nextPct * total_ + 99) / 100;
    if (next_ <= done_) next_ = done_ + 1;
}

void ProgressCounter::finish() {
    if (last_ < 100) {
        last_ = 100;
        reportProgress(100);
    }
}

}  // namespace xb
