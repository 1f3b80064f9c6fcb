// Engine-wide settings. They are global to the process, as in every xBase
// engine: an operation that changes one restores it before it ends. The
// program has one GUI thread; nothing here is synchronised.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xb {

struct Settings {
    bool century = false;   // four-digit years in date texts
    bool softSeek = false;  // a missed seek stands on the next higher key
    bool exact = false;     // string '=' compares whole values, not prefixes
    bool deleted = false;   // flagged records are skipped by navigation
    bool germanDates = false;  // "dd.mm.yy(yy)" instead of "mm/dd/yy(yy)"
};

// The process-wide settings.
Settings& settings();

// Saves the settings and restores them when it goes out of scope.
class SettingsGuard {
public:
    SettingsGuard() : saved_(settings()) {}
    ~SettingsGuard() { settings() = saved_; }
    SettingsGuard(const SettingsGuard&) = delete;
    SettingsGuard& operator=(const SettingsGuard&) = delete;

private:
    Settings saved_;
};

// A date as text in the current date format ("24.12.2024" with German dates
// and century on); the empty date (jdn 0) gives blanks of the same width.
std::string formatDate(std::int32_t jdn);
// Parses a date text in the current format; blank text gives 0 (empty date).
// Returns false when the text is not a valid date. Two-digit years are taken
// as 19xx.
bool parseDate(std::string_view text, std::int32_t& jdn);

}  // namespace xb
