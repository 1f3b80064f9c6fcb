// The one timing method of the benchmark programs: wall-clock seconds on the
// monotonic clock, as the user waits for an operation (threads and I/O
// included). The machine may be shared: run the programs to be compared side
// by side, and more than once.
#pragma once

#include <cstdlib>

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

// Milliseconds since `t0` on the same clock.
inline double msSince(Stopwatch::Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Stopwatch::Clock::now() - t0).count();
}

// The machine's load over the last minute: wall times swing with it.
inline double loadAverage() {
    double avg[1] = {0};
    return ::getloadavg(avg, 1) == 1 ? avg[0] : -1;
}

}  // namespace bench
