// The status names: lines 1 to 12 of the settings list.
#pragma once

#include <QStringList>

namespace qv {

class SettingsList;

inline constexpr int kStatusNameCount = 12;
// Typing in a status name stops at this many characters; a longer name
// loaded from the settings file is kept as it is.
inline constexpr int kStatusNameTypingLimit = 50;

// The twelve names, lines 1 to 12; a line a hand-shortened file lacks gives
// the default name.
QStringList statusNames(const SettingsList& settings);
// Replaces lines 1 to 12 by `names` (control characters become blanks, so a
// name stays on its line) and saves the list, completed with the default
// lines it lacked. A failed save raises the save's error and leaves the list
// in memory as it was, as the file still is.
void saveStatusNames(SettingsList& settings, const QStringList& names);

}  // namespace qv
