// The header of a DBF table: a fixed 32-byte part, one 32-byte descriptor per
// field, and a terminator (0x0D, usually followed by 0x00).
//
// Fixed part:  0 version, 1-3 last update (year - 1900, month, day),
//              4 record count u32 LE, 8 header length u16 LE, 10 record
//              length u16 LE (deletion flag included), 28 table flags (bit 0:
//              a production index exists), 29 code page, all else reserved.
// Descriptor:  0 name (11 bytes, NUL padded), 11 type letter, 16 width,
//              17 decimals (for C fields the high byte of the width), all
//              else zero.
//
// When the header of an existing table is rewritten, only the version, date,
// count, lengths and byte 28 change; every other byte is kept as read.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/xbase/field.h"

namespace xb {

class Env;

// Which memo file belongs to a table; decided by the version byte alone.
enum class MemoKind {
    None,  // 0x03, 0x07
    Dbt,   // 0x83, 0x87: <table>.dbt, ASCII block numbers, 512-byte blocks
    Smt,   // 0xE5: <table>.smt, binary references (the catalogue's own)
    Fpt,   // 0xF5: <table>.fpt, ASCII block numbers, framed data
};

constexpr std::uint8_t kVersionPlain = 0x03;
constexpr std::uint8_t kVersionSmt = 0xE5;
constexpr std::size_t kFixedHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr std::uint8_t kHeaderTerminator = 0x0D;
constexpr std::uint8_t kEofMarker = 0x1A;
constexpr std::uint8_t kActiveFlag = ' ';
constexpr std::uint8_t kDeletedFlag = '*';

struct DbfHeader {
    std::array<std::uint8_t, kFixedHeaderSize> fixed{};  // bytes 0-31 as read
    std::uint8_t version = kVersionPlain;
    int year = 0, month = 0, day = 0;  // last update; year in full (1900 + byte 1)
    std::uint32_t storedCount = 0;     // record count as the header states it
    std::uint16_t headerLength = 0;    // offset of record 1
    std::uint16_t recordLength = 0;    // 1 + sum of the field widths
    std::uint8_t flags = 0;            // byte 28
    std::uint8_t language = 0;         // byte 29
    std::size_t terminatorLength = 2;  // bytes from the 0x0D to the first record
    MemoKind memo = MemoKind::None;
    FieldList fields;
};

// True for the version bytes this engine opens.
bool isKnownVersion(std::uint8_t version);
MemoKind memoKindOf(std::uint8_t version);

// The header length recorded in the fixed part (at least 32 bytes).
std::uint16_t headerLengthOf(const std::uint8_t* fixed);

// Parses a whole header (`size` = header length bytes). Throws Corrupt naming
// `path` when the version is unknown, the header length does not match the
// descriptors, a field has width 0, the record length is not 1 + the sum of
// the widths, or memo fields sit in a table without a memo file.
DbfHeader parseDbfHeader(const std::uint8_t* data, std::size_t size, const std::string& path);

// Writes the fixed part of `h` with the given record count and last-update
// date into `out` (32 bytes): the bytes of h.fixed with version, date, count,
// lengths and byte 28 replaced.
void encodeFixedHeader(const DbfHeader& h, std::uint32_t count, int year, int month, int day,
                       std::uint8_t* out);

// The complete header of a new table: fixed part with count 0, descriptors,
// 0x0D 0x00. Field names are written upper-cased.
std::vector<std::uint8_t> buildNewHeader(const FieldList& fields, std::uint8_t version, int year,
                                         int month, int day);

// The table file for a name: `path` itself, or with ".dbf" added when its
// last component has no extension ("_verleih" -> "_verleih.dbf").
std::string tableFilePath(const std::string& path);

// Today's local date by the clock of `env`.
void today(Env& env, int& year, int& month, int& day);

}  // namespace xb
