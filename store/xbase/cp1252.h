// Windows-1252, the code page of every character byte in the catalogue's
// files, and the catalogue's upper-case table for it.
//
// The engine itself works on raw bytes; the table objects convert at the field
// boundary. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character in the code
// page and map to the code points U+0081 ... (and back), so every byte string
// survives a round trip. A character without a Windows-1252 form becomes '?'.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xb {

// Unicode code point of a Windows-1252 byte.
char32_t cp1252ToUnicode(std::uint8_t b);
// Windows-1252 byte of a code point, or '?' when there is none.
std::uint8_t unicodeToCp1252(char32_t c);

// upper(): a-z and the Windows-1252 lower-case letters to their capitals
// (0x9A, 0x9C, 0x9E, 0xE0-0xFE except 0xF7); every other byte unchanged
// (ß and ÿ stay as they are).
extern const std::uint8_t kUpper1252[256];
inline std::uint8_t upper1252(std::uint8_t b) { return kUpper1252[b]; }
void upper1252InPlace(char* p, std::size_t n);

// UTF-8 <-> Windows-1252 byte strings. Invalid UTF-8 sequences become '?'.
std::string utf8ToCp1252(std::string_view utf8);
std::string cp1252ToUtf8(std::string_view bytes);

}  // namespace xb
