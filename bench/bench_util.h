// Small pieces the benchmark programs share: a repeatable generator for the
// data they make, and the process's memory as the kernel counts it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

// A xorshift generator: the same data on every run, cheap enough to make a
// million rows without showing in the timings.
struct Rng {
    std::uint64_t x = 88172645463325252ull;
    std::uint64_t next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
};

// A line of /proc/self/status in kB ("VmRSS", "RssAnon", "RssFile"); -1 when
// it is missing.
inline long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string k = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(k, 0) == 0) return std::strtol(line.c_str() + k.size(), nullptr, 10);
    return -1;
}

}  // namespace bench
