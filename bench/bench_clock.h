// The one timing method of the benchmark programs: wall-clock seconds on the
// monotonic clock, as the user waits for an operation (threads and I/O
// included). The machine may be shared: run the programs to be compared side
// by side, and more than once.
#pragma once

#include <chrono>

namespace bench {

class Stopwatch {
  public:
    using Clock = std::chrono::steady_clock;

    Stopwatch() : start_(Clock::now()) {}
    void restart() { start_ = Clock::now(); }
    double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

  private:
    Clock::time_point start_;
};

}  // namespace bench
