#include "store/xbase/dbf_header.h"

#include <cstring>
#include <ctime>

#include "store/xbase/coding.h"
#include "store/xbase/env.h"
#include "store/xbase/error.h"

namespace xb {

bool isKnownVersion(std::uint8_t v) {
    return v == 0x03 || v == 0x07 || v == 0x83 || v == 0x87 || v == 0xE5 || v == 0xF5;
}

MemoKind memoKindOf(std::uint8_t v) {
    switch (v) {
        case 0x83:
        case 0x87:
            return MemoKind::Dbt;
        case 0xE5:
            return MemoKind::Smt;
        case 0xF5:
            return MemoKind::Fpt;
        default:
            return MemoKind::None;
    }
}

std::uint16_t headerLengthOf(const std::uint8_t* fixed) {
    return getU16LE(fixed + 8);
}

namespace {

[[noreturn]] void corrupt(const std::string& path, const std::string& why) {
    throw fileDamaged("Die Datei", path, why);
}

std::string hexByte(std::uint8_t b) {
    static const char* d = "0123456789ABCDEF";
    return std::string("0x") + d[b >> 4] + d[b & 15];
}

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

}  // namespace

DbfHeader parseDbfHeader(const std::uint8_t* data, std::size_t size, const std::string& path) {
    if (size < kFixedHeaderSize) corrupt(path, "der Tabellenkopf ist unvollständig");
    DbfHeader h;
    std::memcpy(h.fixed.data(), data, kFixedHeaderSize);
    h.version = data[0];
    if (!isKnownVersion(h.version))
        throw qv::Error(qv::ErrorCode::Corrupt,
                        "Die Datei " + path + " ist keine gültige DBF-Tabelle (Kennung " +
                            hexByte(h.version) + ")",
                        path);
    h.memo = memoKindOf(h.version);
    h.year = 1900 + data[1];
    h.month = data[2];
    h.day = data[3];
    h.storedCount = getU32LE(data + 4);
    h.headerLength = getU16LE(data + 8);
    h.recordLength = getU16LE(data + 10);
    h.flags = data[28];
    h.language = data[29];
    if (h.headerLength > size) corrupt(path, "der Tabellenkopf ist unvollständig");

    // Descriptors run up to the first slot that starts with 0x0D; the
    // terminator must lie inside the stated header length.
    const std::size_t slots = h.headerLength > kFixedHeaderSize
                                  ? (h.headerLength - kFixedHeaderSize) / kDescriptorSize
                                  : 0;
    std::vector<FieldDesc> fields;
    std::uint32_t widths = 0;
    std::size_t i = 0;
    for (; i < slots; ++i) {
        const std::uint8_t* p = data + kFixedHeaderSize + i * kDescriptorSize;
        if (p[0] == kHeaderTerminator) break;
        FieldDesc f;
        std::size_t n = 0;
        while (n < 11 && p[n] != 0)
            ++n;
        std::string name(reinterpret_cast<const char*>(p), n);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        while (!name.empty() && name.front() == ' ')
            name.erase(0, 1);
        for (char& c : name)
            c = upperAscii(c);
        if (name.empty()) corrupt(path, "Feld " + std::to_string(i + 1) + " hat keinen Namen");
        f.name = name;
        f.type = upperAscii(static_cast<char>(p[11]));
        switch (f.type) {
            case 'C':
                f.len = static_cast<std::uint16_t>(p[16] | (p[17] << 8));
                f.dec = 0;
                break;
            case 'M':
                // SMT references are always 10 bytes, whatever the descriptor says.
                f.len = h.memo == MemoKind::Smt ? 10 : p[16];
                f.dec = 0;
                break;
            default:
                f.len = p[16];
                f.dec = p[17];
                break;
        }
        if (f.len == 0) corrupt(path, "das Feld " + f.name + " hat die Breite 0");
        if (f.type == 'M' && h.memo == MemoKind::None)
            corrupt(path, "die Tabelle hat Memofelder, aber keine Memodatei (Kennung " +
                              hexByte(h.version) + ")");
        widths += f.len;
        fields.push_back(std::move(f));
    }
    const std::size_t term = kFixedHeaderSize + i * kDescriptorSize;
    if (term >= h.headerLength || data[term] != kHeaderTerminator)
        corrupt(path, "die Kopflänge " + std::to_string(h.headerLength) +
                          " passt nicht zu den Feldbeschreibungen");
    if (fields.empty()) corrupt(path, "die Tabelle hat keine Felder");
    h.terminatorLength = h.headerLength - term;
    if (widths + 1 != h.recordLength)
        corrupt(path, "die Satzlänge " + std::to_string(h.recordLength) +
                          " passt nicht zu den Feldern (" + std::to_string(widths + 1) + ")");
    h.fields = FieldList(std::move(fields));
    return h;
}

void encodeFixedHeader(const DbfHeader& h, std::uint32_t count, int year, int month, int day,
                       std::uint8_t* out) {
    std::memcpy(out, h.fixed.data(), kFixedHeaderSize);
    out[0] = h.version;
    out[1] = static_cast<std::uint8_t>(year - 1900);
    out[2] = static_cast<std::uint8_t>(month);
    out[3] = static_cast<std::uint8_t>(day);
    putU32LE(out + 4, count);
    putU16LE(out + 8, h.headerLength);
    putU16LE(out + 10, h.recordLength);
    out[28] = h.flags;
}

std::vector<std::uint8_t> buildNewHeader(const FieldList& fields, std::uint8_t version, int year,
                                         int month, int day) {
    const std::size_t hl = kFixedHeaderSize + kDescriptorSize * fields.size() + 2;
    std::vector<std::uint8_t> out(hl, 0);
    DbfHeader h;
    h.version = version;
    h.headerLength = static_cast<std::uint16_t>(hl);
    h.recordLength = fields.recordLength();
    encodeFixedHeader(h, 0, year, month, day, out.data());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldDesc& f = fields[i];
        std::uint8_t* p = out.data() + kFixedHeaderSize + i * kDescriptorSize;
        for (std::size_t k = 0; k < f.name.size() && k < 10; ++k)
            p[k] = static_cast<std::uint8_t>(upperAscii(f.name[k]));
        p[11] = static_cast<std::uint8_t>(f.type);
        if (f.type == 'C') {
            p[16] = static_cast<std::uint8_t>(f.len & 0xFF);
            p[17] = static_cast<std::uint8_t>(f.len >> 8);
        } else {
            p[16] = static_cast<std::uint8_t>(f.len);
            p[17] = f.dec;
        }
    }
    out[hl - 2] = kHeaderTerminator;
    out[hl - 1] = 0x00;
    return out;
}

std::string tableFilePath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    const bool extension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return extension ? path : path + ".dbf";
}

void today(Env& env, int& year, int& month, int& day) {
    const std::time_t now = env.now();
    std::tm tm{};
    localtime_r(&now, &tm);
    year = tm.tm_year + 1900;
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
}

}  // namespace xb
