#include "store/xbase/table_builder.h"

#include "store/xbase/dbf_header.h"
#include "store/xbase/error.h"
#include "store/xbase/memo_store.h"
#include "store/xbase/smt_file.h"

namespace xb {

namespace {

[[noreturn]] void invalid(const std::string& text) {
    throw qv::Error(qv::ErrorCode::InvalidArgument, text);
}

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

}  // namespace

TableBuilder::TableBuilder(std::string path, Env& env) : path_(tableFilePath(path)), env_(env) {}

void TableBuilder::addField(std::string_view name, char type, int width, int decimals) {
    std::string upper;
    for (char c : name)
        upper.push_back(upperAscii(c));
    const std::string shown = "Das Feld " + std::string(name);
    if (upper.empty()) invalid("Ein Feldname fehlt");
    if (upper.size() > kMaxNameLength)
        invalid("Der Feldname " + std::string(name) + " ist zu lang (höchstens 10 Zeichen)");
    for (std::size_t i = 0; i < upper.size(); ++i) {
        const char c = upper[i];
        const bool letter = c >= 'A' && c <= 'Z';
        const bool digit = c >= '0' && c <= '9';
        if (!(letter || c == '_' || (digit && i > 0)))
            invalid("Der Feldname " + std::string(name) + " enthält unzulässige Zeichen");
    }
    for (const FieldDesc& f : fields_)
        if (f.name == upper) invalid(shown + " ist doppelt angegeben");

    FieldDesc f;
    f.name = upper;
    f.type = upperAscii(type);
    const std::string typeText = type >= 0x20 && type < 0x7F ? std::string(1, type) : "?";
    auto fixed = [&](int w) {
        if (width != 0 && width != w)
            invalid(shown + " vom Typ " + typeText + " muss die Breite " + std::to_string(w) +
                    " haben");
        if (decimals != 0) invalid(shown + " vom Typ " + typeText + " hat keine Nachkommastellen");
        f.len = static_cast<std::uint16_t>(w);
    };
    switch (f.type) {
        case 'C':
            if (width < 1 || width > kMaxCharWidth)
                invalid(shown + " hat die unzulässige Breite " + std::to_string(width));
            if (decimals != 0) invalid(shown + " vom Typ C hat keine Nachkommastellen");
            f.len = static_cast<std::uint16_t>(width);
            break;
        case 'N':
            if (width < 1 || width > kMaxNumericWidth)
                invalid(shown + " hat die unzulässige Breite " + std::to_string(width));
            if (decimals < 0 || (decimals > 0 && decimals > width - 2))
                invalid(shown + " hat unzulässige Nachkommastellen (" + std::to_string(decimals) +
                        ")");
            f.len = static_cast<std::uint16_t>(width);
            f.dec = static_cast<std::uint8_t>(decimals);
            break;
        case 'D':
            fixed(8);
            break;
        case 'L':
            fixed(1);
            break;
        case 'M':
            fixed(10);
            break;
        default:
            invalid(shown + " hat den unbekannten Typ " + typeText);
    }
    fields_.push_back(std::move(f));
}

void TableBuilder::create() {
    if (fields_.empty()) invalid("Die Tabelle " + path_ + " hat keine Felder");
    std::uint32_t rl = 1;
    for (const FieldDesc& f : fields_)
        rl += f.len;
    const std::size_t hl = kFixedHeaderSize + kDescriptorSize * fields_.size() + 2;
    if (rl > 0xFFFF || hl > 0xFFFF)
        invalid("Die Datensätze der Tabelle " + path_ + " sind zu lang");

    const FieldList list(fields_);
    const bool memo = list.hasMemo();
    int y, m, d;
    today(env_, y, m, d);
    std::vector<std::uint8_t> bytes =
        buildNewHeader(list, memo ? kVersionSmt : kVersionPlain, y, m, d);
    bytes.push_back(kEofMarker);

    // The memo file first: a table whose memo file is missing cannot be
    // opened, so a failure in between leaves no half-made table behind.
    if (memo) {
        auto smt = env_.create(memoPathFor(path_, MemoKind::Smt));
        const std::vector<std::uint8_t> header = SmtFile::newFileBytes();
        smt->writeAt(0, header.data(), header.size());
    }
    auto dbf = env_.create(path_);
    dbf->writeAt(0, bytes.data(), bytes.size());
}

}  // namespace xb
