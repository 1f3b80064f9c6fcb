#include "catalogue/introprogress.h"

#include <algorithm>

namespace qv {

int introGaugeValue(int percent, int steps, int step) {
    const int n = std::max(steps, 1);
    const int p = std::clamp(percent, 0, 100);
    const int i = std::max(step, 0);
    const long long v = p / n + static_cast<long long>(100 / n) * i;
    return static_cast<int>(std::min<long long>(v, 100));
}

}  // namespace qv
