#include "store/xbase/settings.h"

#include "store/xbase/coding.h"

namespace xb {

Settings& settings() {
    static Settings s;
    return s;
}

std::string formatDate(std::int32_t jdn) {
    const Settings& s = settings();
    const int yw = s.century ? 4 : 2;
    const std::size_t width = static_cast<std::size_t>(6 + yw);
    int y, m, d;
    jdnToDate(jdn, y, m, d);
    if (jdn <= 0 || y <= 0) return std::string(width, ' ');
    char buf[16];
    auto two = [](char* p, int v) {
        p[0] = static_cast<char>('0' + v / 10 % 10);
        p[1] = static_cast<char>('0' + v % 10);
    };
    const char sep = s.germanDates ? '.' : '/';
    if (s.germanDates) {
        two(buf, d);
        buf[2] = sep;
        two(buf + 3, m);
    } else {
        two(buf, m);
        buf[2] = sep;
        two(buf + 3, d);
    }
    buf[5] = sep;
    if (yw == 4) {
        two(buf + 6, y / 100);
        two(buf + 8, y % 100);
    } else {
        two(buf + 6, y % 100);
    }
    return std::string(buf, width);
}

bool parseDate(std::string_view text, std::int32_t& jdn) {
    jdn = 0;
    if (isBlank(text)) return true;
    // Three groups of digits separated by one non-digit each.
    int parts[3] = {0, 0, 0};
    int widths[3] = {0, 0, 0};
    int k = 0;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    for (; i < text.size() && k < 3; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (widths[k] >= 4) return false;
            parts[k] = parts[k] * 10 + (c - '0');
            ++widths[k];
        } else if (c == ' ') {
            break;
        } else {
            if (widths[k] == 0) return false;
            ++k;
        }
    }
    for (; i < text.size(); ++i)
        if (text[i] != ' ') return false;
    if (k != 2 || widths[2] == 0) return false;
    const bool german = settings().germanDates;
    const int d = german ? parts[0] : parts[1];
    const int m = german ? parts[1] : parts[0];
    int y = parts[2];
    if (widths[2] <= 2) y += 1900;
    jdn = dateToJdn(y, m, d);
    return jdn != 0;
}

}  // namespace xb
