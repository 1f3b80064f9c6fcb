// Conversions at the boundary between the program's Unicode texts and the
// catalogue's bytes, and text-to-number conversion with the program's error
// message. Table objects, dialogs and the settings list share them.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// The decimal whole number in `text`: optional blanks around it, an optional
// sign, digits, within the 32-bit range. Anything else raises the conversion
// error "'<text>' ist kein gültiger Integerwert" (a qv::Error).
int strToInt(const QString& text);

// As strToInt(), within the 64-bit range (file sizes exceed 32 bits).
std::int64_t strToInt64(const QString& text);

// The conversion error for `text`, as strToInt raises it.
[[noreturn]] void throwNotAnInteger(const QString& text);

// A text as Windows-1252 bytes; a character without a Windows-1252 form
// becomes '?'.
std::string toCp1252(const QString& text);

// Windows-1252 bytes as text (every byte has a character, so nothing is lost).
QString fromCp1252(std::string_view bytes);

// Upper-cases a text the way the engine's upper() does for keys: through
// Windows-1252 and the engine's table, so "ß", "ÿ" and "µ" stay as they are
// (QString::toUpper() would turn "weiß" into "WEISS", which no key holds).
// A character without a Windows-1252 form becomes '?', as it would in a field.
QString engineUpper(const QString& text);

// `text` without the blanks at its right end (fields are padded with
// blanks; leading blanks are kept).
QString trimmedRight(QString text);

// A text fit for a one-line field: line breaks, tabs and other control
// characters become a blank each.
QString singleLine(QString text);

}  // namespace qv
