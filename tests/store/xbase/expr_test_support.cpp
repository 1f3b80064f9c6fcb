#include "expr_test_support.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"

namespace exprtest {

xb::FieldList diskLayout() {
    std::vector<xb::FieldDesc> f = {
        {"EINDEUTIG", 'N', 8, 0},  {"BEZEICH", 'C', 50, 0},   {"BOXNUMMER", 'N', 5, 0},
        {"DISKNUMMER", 'N', 5, 0}, {"KATEGORIE", 'C', 20, 0}, {"PROGDSKS", 'N', 2, 0},
        {"DISKART", 'C', 15, 0},   {"LEIHREIN", 'N', 5, 0},   {"LEIHRAUS", 'N', 5, 0},
    };
    for (int i = 1; i <= 12; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "PROG%02d", i);
        f.push_back({name, 'C', 1, 0});
    }
    f.push_back({"MEMO", 'M', 10, 0});
    return xb::FieldList(std::move(f));
}

xb::FieldList dirLayout() {
    return xb::FieldList({{"DIRNUMM", 'N', 8, 0},
                          {"DIRNAME", 'C', 15, 0},
                          {"DIRENDUNG", 'C', 3, 0},
                          {"DIRPFAD", 'C', 86, 0},
                          {"DIRDATE", 'D', 8, 0},
                          {"DIRSIZE", 'N', 10, 0},
                          {"DIRTIME", 'C', 5, 0},
                          {"DIRMEMO", 'M', 10, 0}});
}

xb::FieldList addressLayout() {
    return xb::FieldList({{"VNUMMER", 'N', 5, 0},
                          {"VNAME", 'C', 40, 0},
                          {"VVORNAME", 'C', 40, 0},
                          {"VZUSATZ", 'C', 40, 0},
                          {"VSTRASSE", 'C', 40, 0},
                          {"VPLZ", 'C', 6, 0},
                          {"VORT", 'C', 40, 0},
                          {"VTELEFON", 'C', 30, 0},
                          {"VFAX", 'C', 30, 0},
                          {"VEMAIL", 'C', 40, 0},
                          {"VBEMERK1", 'C', 50, 0},
                          {"VBEMERK2", 'C', 50, 0}});
}

xb::FieldList mixedLayout() {
    return xb::FieldList({{"NAME", 'C', 10, 0},
                          {"NOTE", 'C', 5, 0},
                          {"NOT", 'C', 3, 0},
                          {"MENGE", 'N', 6, 2},
                          {"ANZAHL", 'N', 5, 0},
                          {"DATUM", 'D', 8, 0},
                          {"OK", 'L', 1, 0},
                          {"TEXT", 'M', 10, 0}});
}

RecordBuilder::RecordBuilder(const xb::FieldList& fields)
    : fields_(fields), bytes_(fields.recordLength(), ' ') {}

const xb::FieldDesc& RecordBuilder::field(std::string_view name) const {
    const int i = fields_.find(name);
    if (i < 0) throw std::invalid_argument("no field " + std::string(name));
    return fields_[static_cast<std::size_t>(i)];
}

RecordBuilder& RecordBuilder::set(std::string_view name, std::string_view utf8) {
    const xb::FieldDesc& f = field(name);
    const std::string bytes = xb::utf8ToCp1252(utf8);
    std::uint8_t* p = bytes_.data() + f.offset;
    std::memset(p, ' ', f.len);
    const std::size_t n = bytes.size() < f.len ? bytes.size() : f.len;
    if (f.type == 'N')
        std::memcpy(p + (f.len - n), bytes.data(), n);
    else
        std::memcpy(p, bytes.data(), n);
    return *this;
}

RecordBuilder& RecordBuilder::number(std::string_view name, double v) {
    const xb::FieldDesc& f = field(name);
    xb::formatNumber(v, f.len, f.dec, reinterpret_cast<char*>(bytes_.data() + f.offset));
    return *this;
}

RecordBuilder& RecordBuilder::raw(std::string_view name, std::string_view bytes) {
    const xb::FieldDesc& f = field(name);
    const std::size_t n = bytes.size() < f.len ? bytes.size() : f.len;
    std::memcpy(bytes_.data() + f.offset, bytes.data(), n);
    return *this;
}

RecordBuilder& RecordBuilder::deleted(bool on) {
    bytes_[0] = on ? '*' : ' ';
    return *this;
}

std::string describe(const xb::Value& v) {
    switch (v.type) {
        case xb::ExprType::Character:
            return "C:" + xb::cp1252ToUtf8(v.chars);
        case xb::ExprType::Numeric: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "N:%.17g", v.number);
            return buf;
        }
        case xb::ExprType::Date: {
            char buf[9] = {};
            xb::formatDbfDate(v.julianDay(), buf);
            return std::string("D:") + buf;
        }
        case xb::ExprType::Logical:
            return v.logical ? "L:.T." : "L:.F.";
    }
    return "?";
}

std::string compileError(std::string_view text, const xb::FieldList& fields) {
    try {
        xb::Expr::compile(text, fields);
    } catch (const qv::Error& e) {
        return e.text();
    }
    return "";
}

}  // namespace exprtest
