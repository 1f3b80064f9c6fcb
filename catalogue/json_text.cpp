#include "catalogue/json_text.h"

#include <charconv>

#include "store/xbase/coding.h"

namespace qvdb {

void appendJsonString(std::string& out, std::string_view utf8) {
    static const char* hex = "0123456789abcdef";
    out.push_back('"');
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out.push_back(hex[c >> 4]);
                    out.push_back(hex[c & 15]);
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
}

std::string jsonNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    std::string_view s = text;
    bool neg = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    const std::size_t point = s.find('.');
    std::string_view ip = s.substr(0, point);
    std::string_view fp =
        point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
    auto digitsOnly = [](std::string_view d) {
        for (char c : d)
            if (c < '0' || c > '9') return false;
        return true;
    };
    if ((ip.empty() && fp.empty()) || !digitsOnly(ip) || !digitsOnly(fp)) {
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, xb::parseNumber(text));
        return std::string(buf, r.ptr);
    }
    while (ip.size() > 1 && ip.front() == '0')
        ip.remove_prefix(1);
    while (!fp.empty() && fp.back() == '0')
        fp.remove_suffix(1);
    std::string out;
    const bool zero = (ip.empty() || ip == "0") && fp.empty();
    if (neg && !zero) out.push_back('-');
    out += ip.empty() ? "0" : std::string(ip);
    if (!fp.empty()) {
        out.push_back('.');
        out += fp;
    }
    return out;
}

}  // namespace qvdb
