// Text-to-number conversion with the program's error message.
#pragma once

#include <QString>

namespace qv {

// The decimal whole number in `text`: optional blanks around it, an optional
// sign, digits, within the 32-bit range. Anything else raises the conversion
// error "'<text>' ist kein gültiger Integerwert" (a qv::Error).
int strToInt(const QString& text);

// The conversion error for `text`, as strToInt raises it.
[[noreturn]] void throwNotAnInteger(const QString& text);

}  // namespace qv
