#include "store/xbase/coding.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace xb {

// ---- numeric keys --------------------------------------------------------------

void encodeNumKey(double v, std::uint8_t out[kNumKeyLen]) {
    if (v == 0.0) v = 0.0;  // folds -0 into +0
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    if (bits >> 63) {
        bits = ~bits;
    } else {
        bits ^= std::uint64_t{1} << 63;
    }
    for (int i = 7; i >= 0; --i) {
        out[i] = static_cast<std::uint8_t>(bits);
        bits >>= 8;
    }
}

double decodeNumKey(const std::uint8_t in[kNumKeyLen]) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | in[i];
    if (bits >> 63) {
        bits ^= std::uint64_t{1} << 63;
    } else {
        bits = ~bits;
    }
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// ---- dates -------------------------------------------------------------------------

namespace {

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

}  // namespace

std::int32_t dateToJdn(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month))
        return 0;
    // Fliegel and Van Flandern's integer form for the Gregorian calendar.
    const int a = (14 - month) / 12;
    const int y = year + 4800 - a;
    const int m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void jdnToDate(std::int32_t jdn, int& year, int& month, int& day) {
    if (jdn <= 0) {
        year = month = day = 0;
        return;
    }
    const std::int64_t a = jdn + 32044;
    const std::int64_t b = (4 * a + 3) / 146097;
    const std::int64_t c = a - 146097 * b / 4;
    const std::int64_t d = (4 * c + 3) / 1461;
    const std::int64_t e = c - 1461 * d / 4;
    const std::int64_t m = (5 * e + 2) / 153;
    day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    month = static_cast<int>(m + 3 - 12 * (m / 10));
    year = static_cast<int>(100 * b + d - 4800 + m / 10);
}

std::int32_t parseDbfDate(const char* p) {
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9') return 0;
        v[i] = p[i] - '0';
    }
    const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    const int m = v[4] * 10 + v[5];
    const int d = v[6] * 10 + v[7];
    return dateToJdn(y, m, d);
}

void formatDbfDate(std::int32_t jdn, char* p) {
    int y, m, d;
    jdnToDate(jdn, y, m, d);
    if (y <= 0 || y > 9999) {
        std::memset(p, ' ', 8);
        return;
    }
    const int v[8] = {y / 1000, y / 100 % 10, y / 10 % 10, y % 10, m / 10, m % 10, d / 10, d % 10};
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>('0' + v[i]);
}

// ---- numbers as text ---------------------------------------------------------------

bool isBlank(std::string_view text) {
    for (char c : text)
        if (c != ' ') return false;
    return true;
}

double parseNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool neg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        neg = text[i] == '-';
        ++i;
    }
    // Collect the digits (and one point) into a buffer for a correctly rounded
    // conversion; the common short integer case is converted directly.
    char buf[128];
    std::size_t len = 0;
    std::uint64_t acc = 0;
    int digits = 0;
    int fracDigits = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (digits < 19) acc = acc * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
            if (point) ++fracDigits;
            if (len < sizeof buf - 1) buf[len++] = c;
        } else if (c == '.' && !point) {
            point = true;
            if (len < sizeof buf - 1) buf[len++] = c;
        } else {
            break;
        }
    }
    if (digits == 0) return 0.0;
    double v;
    static const double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (digits <= 15) {
        // Both operands are exact, so one division gives the correctly
        // rounded value.
        v = static_cast<double>(acc);
        if (fracDigits > 0) v /= kPow10[fracDigits];
    } else {
        v = 0.0;
        std::from_chars(buf, buf + len, v);
    }
    return neg ? -v : v;
}

namespace {

// Digits of a magnitude as str() prints them. `intDigits` receives the
// integer part's digits (most significant first, "0" below 1) and `fracDigits`
// `want` fraction digits followed by look-ahead digits used for rounding.
struct DigitBuf {
    char d[400];
    int n = 0;
};

void integerDigits(double ipart, DigitBuf& out) {
    char rev[400];
    int k = 0;
    if (ipart < 1.0) {
        rev[k++] = 0;
    } else {
        while (ipart >= 1.0 && k < 340) {
            const double q = ipart / 10.0 + 0.01;
            const double ni = std::floor(q);
            int digit = static_cast<int>((q - ni) * 10.0 + 0.01);
            if (digit > 9) digit = 9;
            if (digit < 0) digit = 0;
            rev[k++] = static_cast<char>(digit);
            ipart = ni;
        }
    }
    for (int i = k - 1; i >= 0; --i) out.d[out.n++] = rev[i];
}

void fractionDigits(double frac, int count, DigitBuf& out) {
    for (int i = 0; i < count && out.n < 399; ++i) {
        // The integer part is exact; the 0.01 only guards its conversion.
        const double x = frac * 10.0;
        const double ip = std::floor(x);
        int digit = static_cast<int>(ip + 0.01);
        if (digit > 9) digit = 9;
        frac = x - ip;
        out.d[out.n++] = static_cast<char>(digit);
    }
}

void fillStars(char* out, int width) { std::memset(out, '*', static_cast<std::size_t>(width)); }

// Writes sign, integer digits, point and decimals right-aligned.
void emit(bool neg, const char* digits, int intCount, int decimals, int width, char* out) {
    // Skip leading zeros of the integer part but keep one.
    int start = 0;
    while (start < intCount - 1 && digits[start] == 0) ++start;
    const int need = (intCount - start) + (decimals > 0 ? decimals + 1 : 0) + (neg ? 1 : 0);
    if (need > width) {
        fillStars(out, width);
        return;
    }
    int pos = width - need;
    std::memset(out, ' ', static_cast<std::size_t>(pos));
    if (neg) out[pos++] = '-';
    for (int i = start; i < intCount; ++i) out[pos++] = static_cast<char>('0' + digits[i]);
    if (decimals > 0) {
        out[pos++] = '.';
        for (int i = 0; i < decimals; ++i) out[pos++] = static_cast<char>('0' + digits[intCount + i]);
    }
}

}  // namespace

void formatNumber(double v, int width, int decimals, char* out) {
    if (width < 1) width = 10;
    if (decimals < 0) decimals = 0;
    if (std::isnan(v) || std::isinf(v)) {
        fillStars(out, width);
        return;
    }
    const bool neg = v < 0;
    const double mag = std::fabs(v);

    // Whole numbers below 2^53 print exactly (the catalogue's keys only ever
    // format such values).
    if (decimals <= 16 && mag < 9007199254740992.0 && mag == std::floor(mag)) {
        char digits[48];
        std::uint64_t u = static_cast<std::uint64_t>(mag);
        char rev[24];
        int k = 0;
        do {
            rev[k++] = static_cast<char>(u % 10);
            u /= 10;
        } while (u);
        for (int i = 0; i < k; ++i) digits[i] = rev[k - 1 - i];
        for (int i = 0; i < decimals; ++i) digits[k + i] = 0;
        emit(neg && mag != 0, digits, k, decimals, width, out);
        return;
    }

    const double ipart = std::floor(mag);
    const double frac = mag - ipart;
    DigitBuf buf;
    integerDigits(ipart, buf);
    const int intCount = buf.n;
    // Stars right away when the integer digits or the decimals cannot fit;
    // this also keeps the digit buffers below within their size.
    const int decimalPart = decimals > 0 ? decimals + 1 : 0;
    if (decimalPart + 1 > width || intCount > width - decimalPart) {
        fillStars(out, width);
        return;
    }
    // Fraction digits: the requested ones plus look-ahead for the rounding
    // rule (up to the 17th significant digit and a little beyond).
    fractionDigits(frac, decimals + 40, buf);

    // Index of the first significant digit.
    int s0 = 0;
    while (s0 < buf.n && buf.d[s0] == 0) ++s0;
    const int kept = intCount + decimals;  // digits that are printed
    int roundPos;                          // index of the rounding digit
    int lastSig;                           // last index that may be non-zero
    if (s0 < buf.n && kept > s0 + 16) {
        lastSig = s0 + 15;
        roundPos = s0 + 16;
    } else {
        lastSig = kept - 1;
        roundPos = kept;
    }
    bool up = false;
    const int rd = roundPos < buf.n ? buf.d[roundPos] : 0;
    if (rd >= 5) {
        up = true;
    } else if (rd == 4 && s0 < buf.n) {
        // A 4 rounds up when the digits after it, up to and including the
        // 17th significant one, are all 9 but the last, which is 2 to 9.
        const int seventeenth = s0 + 16;
        if (roundPos < seventeenth && seventeenth < buf.n) {
            bool nines = true;
            for (int i = roundPos + 1; i < seventeenth; ++i)
                if (buf.d[i] != 9) nines = false;
            const int last = buf.d[seventeenth];
            up = nines && last >= 2;
        }
    }
    char digits[420];
    digits[0] = 0;  // room for a carry
    for (int i = 0; i < kept; ++i) digits[i + 1] = i <= lastSig ? buf.d[i] : 0;
    if (up && lastSig >= 0) {
        int i = lastSig + 1;
        while (i >= 0) {
            if (++digits[i] <= 9) break;
            digits[i] = 0;
            --i;
        }
    }
    bool allZero = true;
    for (int i = 0; i <= kept; ++i)
        if (digits[i]) allZero = false;
    emit(neg && !allZero, digits, intCount + 1, decimals, width, out);
}

std::string formatNumber(double v, int width, int decimals) {
    if (width < 1) width = 10;
    std::string s(static_cast<std::size_t>(width), ' ');
    formatNumber(v, width, decimals, s.data());
    return s;
}

}  // namespace xb
