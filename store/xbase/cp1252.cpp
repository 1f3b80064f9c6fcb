#include "store/xbase/cp1252.h"

namespace xb {

namespace {

// 0x80-0x9F; the five undefined positions map to themselves.
const char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct UpperTable {
    std::uint8_t t[256];
    constexpr UpperTable() : t() {
        for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(i);
        for (int i = 'a'; i <= 'z'; ++i) t[i] = static_cast<std::uint8_t>(i - 0x20);
        t[0x9A] = 0x8A;
        t[0x9C] = 0x8C;
        t[0x9E] = 0x8E;
        for (int i = 0xE0; i <= 0xFE; ++i)
            if (i != 0xF7) t[i] = static_cast<std::uint8_t>(i - 0x20);
    }
};
constexpr UpperTable kUpperTable;

}  // namespace

const std::uint8_t kUpper1252[256] = {
#define R(i) kUpperTable.t[i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};

char32_t cp1252ToUnicode(std::uint8_t b) {
    if (b >= 0x80 && b < 0xA0) return kHigh[b - 0x80];
    return b;
}

std::uint8_t unicodeToCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c) return static_cast<std::uint8_t>(0x80 + i);
    return '?';
}

void upper1252InPlace(char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        p[i] = static_cast<char>(kUpper1252[static_cast<std::uint8_t>(p[i])]);
}

std::string utf8ToCp1252(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c0 = static_cast<std::uint8_t>(s[i]);
        char32_t cp;
        int len;
        if (c0 < 0x80) {
            cp = c0;
            len = 1;
        } else if ((c0 & 0xE0) == 0xC0) {
            cp = c0 & 0x1F;
            len = 2;
        } else if ((c0 & 0xF0) == 0xE0) {
            cp = c0 & 0x0F;
            len = 3;
        } else if ((c0 & 0xF8) == 0xF0) {
            cp = c0 & 0x07;
            len = 4;
        } else {
            out.push_back('?');
            ++i;
            continue;
        }
        if (i + static_cast<std::size_t>(len) > s.size()) {
            out.push_back('?');
            break;
        }
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            const auto ck = static_cast<std::uint8_t>(s[i + static_cast<std::size_t>(k)]);
            if ((ck & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (ck & 0x3F);
        }
        if (!ok) {
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(static_cast<char>(unicodeToCp1252(cp)));
        i += static_cast<std::size_t>(len);
    }
    return out;
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        const char32_t cp = cp1252ToUnicode(static_cast<std::uint8_t>(ch));
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace xb
