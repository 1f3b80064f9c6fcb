#include "store/xbase/limits.h"

#include "store/xbase/error.h"

namespace xb {

FileLimits& fileLimits() {
    static FileLimits limits;
    return limits;
}

std::string sizeText(std::uint64_t bytes) {
    constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
    // The format limits sit a byte or a page below a whole number of GiB.
    if (bytes >= kGiB && (bytes + 1024) % kGiB <= 1024)
        return std::to_string((bytes + 1024) / kGiB) + " GiB";
    std::string digits = std::to_string(bytes);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back('.');
        out.push_back(digits[i]);
    }
    return out + " Bytes";
}

void throwLimit(const std::string& what, const std::string& path, const std::string& why) {
    throw limitPassed(what, path, why);
}

}  // namespace xb
