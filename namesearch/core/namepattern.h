// What the search by any part of a name looks for, and how a file's full
// path is compared with it.
//
// Texts are UTF-8. Case is folded with the engine's upper-case table, carried
// over to the characters Windows-1252 holds: a-z, the Latin-1 lower-case
// letters but ÷ (U+00E0 ... U+00FE), š, œ and ž become capitals; everything
// else stays (ß and ÿ too), so "straße" finds "STRAßE" and "Straße".
//
// Patterns. Without a wildcard the pattern is found anywhere in the full
// path, directories included ("2023" finds "/Steuer/2023/ Beleg.pdf").
// With "*" (any run of characters) or "?" (one character) the pattern
// describes the whole file name: "*.pdf" finds every name ending in ".pdf",
// "IMG_????.JPG" the names of that shape. A pattern that is empty or holds
// nothing but wildcards is refused.
//
// Filters narrow the matches: extensions (the characters after the name's
// last dot, any case, "" for names without one), a size range and a date
// range (both bounds included), and a set of owning entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace qv {

// The engine's case folding on UTF-8 (see above), in place and as a copy.
void upperUtf8InPlace(std::string& s);
void upperUtf8InPlace(char* s, std::size_t n);
std::string upperUtf8(std::string_view s);

// The file name of a full path in the form "/dir/sub/ name.ext": what
// follows the last "/" (or backslash) and the one blank after it.
std::string_view nameOfPath(std::string_view path);
// The extension of a name: after its last dot, "" without one.
std::string_view extensionOfName(std::string_view name);

class NamePattern {
  public:
    // Raises an error with a message for an empty pattern or one of
    // wildcards only.
    explicit NamePattern(std::string_view pattern);

    bool wildcard() const { return m_wildcard; }
    // The longest run of characters without a wildcard, upper-cased: every
    // matching path contains it, so a scan looks for it first.
    const std::string& literal() const { return m_literal; }
    // Whether the upper-cased full path `upperPath` matches.
    bool matches(std::string_view upperPath) const;

  private:
    std::string m_upper;  // the whole pattern, upper-cased
    std::string m_literal;
    bool m_wildcard = false;
};

struct NameFilter {
    std::vector<std::string> extensions;  // upper-cased, without the dot; empty: any
    std::optional<std::int64_t> minSize, maxSize;
    std::optional<std::int32_t> fromDate, toDate;  // Julian days, both included
    std::optional<std::unordered_set<std::uint32_t>> entries;

    // Whether a file of the owner, size, date and upper-cased full path
    // passes.
    bool passes(std::uint32_t entry, std::int64_t size, std::int32_t date,
                std::string_view upperPath) const;
    // "pdf, JPG,.txt" -> PDF, JPG, TXT.
    static std::vector<std::string> parseExtensions(std::string_view list);
};

}  // namespace qv
