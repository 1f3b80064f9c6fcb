// The address limits of the file formats, checked before a change that
// would pass one, so that the change is refused with nothing written.
//
// A table file stays below 2 GiB (the record offsets other programs use are
// signed 32-bit numbers), a memo file has at most 2^32 - 1 blocks (its block
// numbers are 32 bits), an index file ends below 4 GiB (its page addresses are
// 32-bit byte offsets). Tests lower the limits to reach them.
#pragma once

#include <cstdint>
#include <string>

namespace xb {

struct FileLimits {
    std::uint64_t tableBytes = (std::uint64_t{1} << 31) - 1;
    std::uint64_t memoBlocks = 0xFFFFFFFFu;
    std::uint64_t indexBytes = 0xFFFFFC00u;
};

// The process-wide limits.
FileLimits& fileLimits();

// Saves the limits and restores them when it goes out of scope.
class FileLimitsGuard {
  public:
    FileLimitsGuard() : saved_(fileLimits()) {}
    ~FileLimitsGuard() { fileLimits() = saved_; }
    FileLimitsGuard(const FileLimitsGuard&) = delete;
    FileLimitsGuard& operator=(const FileLimitsGuard&) = delete;

  private:
    FileLimits saved_;
};

// "2 GiB" for whole gibibytes, else the number of bytes ("10.240 Bytes").
std::string sizeText(std::uint64_t bytes);

// Throws IoError: "<what> <path> kann nicht weiter wachsen: <why>".
[[noreturn]] void throwLimit(const std::string& what, const std::string& path,
                             const std::string& why);

}  // namespace xb
