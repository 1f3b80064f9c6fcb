#include "namesearch/core/namepattern.h"

#include <algorithm>

#include "store/xbase/error.h"

namespace qv {

namespace {

// Length of the UTF-8 sequence starting with `lead` (1 for stray bytes).
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return 4;
}

std::size_t nextChar(std::string_view s, std::size_t i) {
    return std::min(s.size(), i + sequenceLength(static_cast<unsigned char>(s[i])));
}

// "*" and "?" against the whole of `text`; "?" takes one character.
bool globMatch(std::string_view p, std::string_view t) {
    std::size_t pi = 0, ti = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = ++pi;
            starT = ti;
        } else if (pi < p.size() && p[pi] == '?') {
            ++pi;
            ti = nextChar(t, ti);
        } else if (pi < p.size() && p[pi] == t[ti]) {
            ++pi;
            ++ti;
        } else if (starP != std::string_view::npos) {
            pi = starP;
            starT = nextChar(t, starT);
            ti = starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

}  // namespace

void upperUtf8InPlace(std::string& s) {
    upperUtf8InPlace(s.data(), s.size());
}

void upperUtf8InPlace(char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c >= 'a' && c <= 'z') s[i] = static_cast<char>(c - 0x20);
        } else if (i + 1 < n) {
            const auto d = static_cast<unsigned char>(s[i + 1]);
            if (c == 0xC3 && d >= 0xA0 && d <= 0xBE && d != 0xB7) {
                s[i + 1] = static_cast<char>(d - 0x20);  // à ... þ but ÷
                ++i;
            } else if (c == 0xC5 && (d == 0xA1 || d == 0x93 || d == 0xBE)) {
                s[i + 1] = static_cast<char>(d - 1);  // š œ ž
                ++i;
            }
        }
    }
}

std::string upperUtf8(std::string_view s) {
    std::string u(s);
    upperUtf8InPlace(u);
    return u;
}

std::string_view nameOfPath(std::string_view path) {
    // Carriers read elsewhere may use backslashes.
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string_view::npos) return path;
    std::string_view name = path.substr(slash + 1);
    if (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    return name;
}

std::string_view extensionOfName(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

NamePattern::NamePattern(std::string_view pattern) : m_upper(upperUtf8(pattern)) {
    // Texts hold no line feed (the index ends each with one).
    std::replace(m_upper.begin(), m_upper.end(), '\n', ' ');
    m_wildcard = m_upper.find_first_of("*?") != std::string::npos;
    std::size_t start = 0;
    while (start <= m_upper.size()) {
        std::size_t end = m_upper.find_first_of("*?", start);
        if (end == std::string::npos) end = m_upper.size();
        if (end - start > m_literal.size()) m_literal = m_upper.substr(start, end - start);
        start = end + 1;
    }
    if (m_literal.empty())
        throw Error(ErrorCode::InvalidArgument,
                    "Das Suchmuster muss mindestens ein Zeichen außer * und ? enthalten");
}

bool NamePattern::matches(std::string_view upperPath) const {
    if (!m_wildcard) return upperPath.find(m_upper) != std::string_view::npos;
    return globMatch(m_upper, nameOfPath(upperPath));
}

bool NameFilter::passes(std::uint32_t entry, std::int64_t size, std::int32_t date,
                        std::string_view upperPath) const {
    if (minSize && size < *minSize) return false;
    if (maxSize && size > *maxSize) return false;
    if (fromDate && date < *fromDate) return false;
    if (toDate && (date == 0 || date > *toDate)) return false;
    if (entries && !entries->count(entry)) return false;
    if (!extensions.empty()) {
        const std::string_view ext = extensionOfName(nameOfPath(upperPath));
        if (std::find(extensions.begin(), extensions.end(), ext) == extensions.end()) return false;
    }
    return true;
}

std::vector<std::string> NameFilter::parseExtensions(std::string_view list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find_first_of(", ;", start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view e = list.substr(start, end - start);
        while (!e.empty() && e.front() == '.')
            e.remove_prefix(1);
        if (!e.empty()) out.push_back(upperUtf8(e));
        start = end + 1;
    }
    return out;
}

}  // namespace qv
