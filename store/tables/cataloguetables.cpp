#include "store/tables/cataloguetables.h"

#include <cctype>

#include "store/xbase/cp1252.h"
#include "store/xbase/expr.h"
#include "store/xbase/error.h"
#include "store/xbase/field.h"
#include "store/xbase/memo_store.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_index.h"

namespace qv::tables {

namespace {

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

xb::NsxKeyType keyTypeOf(xb::ExprType t) {
    switch (t) {
        case xb::ExprType::Numeric:
            return xb::NsxKeyType::Numeric;
        case xb::ExprType::Date:
            return xb::NsxKeyType::Date;
        case xb::ExprType::Logical:
            return xb::NsxKeyType::Logical;
        case xb::ExprType::Character:
            break;
    }
    return xb::NsxKeyType::Character;
}

}  // namespace

bool memoHoldsUtf8(std::string_view name) {
    return sameName(name, kFullPathMemo);
}

namespace {

// Whether `s` is well-formed UTF-8 (no overlong forms, no surrogates).
bool wellFormedUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return false;
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return false;
        }
        i += n + 1;
    }
    return true;
}

}  // namespace

std::string memoTextUtf8(std::string_view name, std::string_view bytes) {
    if (memoHoldsUtf8(name) && wellFormedUtf8(bytes)) return std::string(bytes);
    return xb::cp1252ToUtf8(bytes);
}

std::string storedMemoText(xb::Table& t, int idx, const std::uint8_t* rec, std::uint32_t recno) {
    if (idx < 0 || t.field(idx).type != 'M' || !t.memoStore()) return {};
    const xb::FieldDesc& f = t.field(idx);
    if (!t.memoStore()->written(rec + f.offset, f.len)) return {};
    try {
        const xb::MemoValue v = t.memoStore()->read(rec + f.offset, f.len, recno);
        if (v.type == xb::MemoValue::Type::Text) return memoTextUtf8(f.name, v.bytes);
    } catch (const qv::Error&) {
    }
    return {};
}

int fieldPosition(const TableLayout& l, std::string_view name) {
    for (std::size_t i = 0; i < l.fields.size(); ++i)
        if (sameName(l.fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

int tagPosition(const TableLayout& l, std::string_view name) {
    for (std::size_t i = 0; i < l.tags.size(); ++i)
        if (sameName(l.tags[i].name, name)) return static_cast<int>(i);
    return -1;
}

void createTable(const TableLayout& l, const std::string& path, xb::Env& env) {
    xb::TableBuilder b(path, env);
    for (const Field& f : l.fields)
        b.addField(f.name, f.type, f.width, f.decimals);
    b.create();
}

void createTags(xb::Table& t, const TableLayout& l) {
    for (const Tag& g : l.tags)
        t.index().indexTag(g.name, g.key, g.condition);
}

std::unique_ptr<xb::Table> createIndexedTable(const TableLayout& l, const std::string& path,
                                              xb::Env& env) {
    createTable(l, path, env);
    auto t = xb::Table::open(path, xb::OpenMode::Exclusive, env);
    createTags(*t, l);
    return t;
}

std::vector<xb::NsxTagDef> tagDefs(const TableLayout& l) {
    std::vector<xb::FieldDesc> descs;
    for (const Field& f : l.fields) {
        xb::FieldDesc d;
        d.name = upper(f.name);
        d.type = f.type;
        d.len = static_cast<std::uint16_t>(f.width);
        d.dec = static_cast<std::uint8_t>(f.decimals);
        descs.push_back(std::move(d));
    }
    const xb::FieldList fields(std::move(descs));
    std::vector<xb::NsxTagDef> defs;
    for (const Tag& g : l.tags) {
        const xb::Expr key = xb::Expr::compile(g.key, fields);
        xb::NsxTagDef d;
        d.name = upper(g.name);
        d.keyExpr = xb::dottedOperators(g.key);
        d.forExpr = xb::dottedOperators(g.condition);
        d.keyType = keyTypeOf(key.type());
        d.keyLen = static_cast<int>(key.keyLength());
        defs.push_back(std::move(d));
    }
    return defs;
}

}  // namespace qv::tables
