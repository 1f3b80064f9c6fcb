// Byte coding shared by the table, memo and index code: little- and big-endian
// integers, the order-preserving 8-byte form of numeric and date index keys,
// Julian day numbers, and the text forms of numbers (N fields and str()).
//
// All functions are pure and allocation-free unless they return a std::string.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace xb {

// ---- fixed-width integers -------------------------------------------------

inline std::uint16_t getU16LE(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t getU32LE(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint32_t getU32BE(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
// Little-endian unsigned of 1 to 4 bytes (record numbers in index leaves).
inline std::uint32_t getUnLE(const std::uint8_t* p, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
inline void putU16LE(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putU32LE(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void putU32BE(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
inline void putUnLE(std::uint8_t* p, int n, std::uint32_t v) {
    for (int i = 0; i < n; ++i) {
        p[i] = static_cast<std::uint8_t>(v);
        v >>= 8;
    }
}

// ---- numeric and date index keys ---------------------------------------------
//
// A number is stored as its IEEE-754 double, most significant byte first, with
// the sign bit flipped for values >= 0 and all bits inverted for negative
// values, so that unsigned byte comparison gives numeric order. -0 is stored
// as +0. Dates use the same form of their Julian day number (empty date = 0).

constexpr int kNumKeyLen = 8;
void encodeNumKey(double v, std::uint8_t out[kNumKeyLen]);
double decodeNumKey(const std::uint8_t in[kNumKeyLen]);

// ---- dates ------------------------------------------------------------------

// Julian day number of a proleptic Gregorian date; 0 when the date is invalid.
// Years 1 to 9999 are accepted.
std::int32_t dateToJdn(int year, int month, int day);
// Inverse of dateToJdn; a jdn <= 0 gives 0/0/0.
void jdnToDate(std::int32_t jdn, int& year, int& month, int& day);
// A D field's 8 bytes "YYYYMMDD" to a Julian day number; anything that is not
// a valid calendar date (blanks, zeros, garbage) gives 0 (the empty date).
std::int32_t parseDbfDate(const char* eightBytes);
// Writes "YYYYMMDD" for a jdn > 0, or eight blanks for the empty date.
void formatDbfDate(std::int32_t jdn, char* eightBytes);

// ---- numbers as text ----------------------------------------------------------

// Reads the text of an N field (or of val()): leading blanks, an optional sign,
// digits with at most one '.', up to the first other character. An all-blank or
// digit-free text gives 0. The result is the correctly rounded double.
double parseNumber(std::string_view text);

// True when every byte is a blank (an N field never written reads as blank).
bool isBlank(std::string_view text);

// The text of str(v, width, decimals): exactly `width` characters (a width
// below 1 means 10), right-aligned, a minus sign before the first digit, a
// leading "0" below 1, rounded half away from zero on the digits the value
// prints with (at most 16 significant ones). When the result does not fit,
// every character is '*'. N fields are written with the same text.
void formatNumber(double v, int width, int decimals, char* out);
std::string formatNumber(double v, int width, int decimals);

}  // namespace xb
