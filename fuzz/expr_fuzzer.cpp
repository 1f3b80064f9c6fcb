// Arbitrary bytes as an expression text against a fixed field layout. A text
// either fails to compile with a syntax error or compiles and then evaluates
// on a few records. Besides crashes the target checks two promises: the
// canonical text compiles back to the same tree with the same results, and
// the dotted spelling of the bare word operators means the same.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "store/xbase/settings.h"

namespace {

const xb::FieldList& layout() {
    static const xb::FieldList fields({{"NAME", 'C', 12, 0},
                                       {"NOTE", 'C', 4, 0},
                                       {"NOT", 'C', 2, 0},
                                       {"AND", 'N', 3, 0},
                                       {"MENGE", 'N', 9, 3},
                                       {"ANZAHL", 'N', 5, 0},
                                       {"DATUM", 'D', 8, 0},
                                       {"OK", 'L', 1, 0},
                                       {"WIDE", 'C', 200, 0},
                                       {"TEXT", 'M', 10, 0}});
    return fields;
}

// The blank record, an ordinary one, a deleted one with odd bytes in every
// field, and one full of bytes above 0x7F.
const std::vector<std::vector<std::uint8_t>>& records() {
    static const std::vector<std::vector<std::uint8_t>> recs = [] {
        const xb::FieldList& f = layout();
        std::vector<std::vector<std::uint8_t>> out(
            4, std::vector<std::uint8_t>(f.recordLength(), ' '));
        auto put = [&](std::size_t r, const char* field, std::string_view bytes) {
            const xb::FieldDesc& d = f[static_cast<std::size_t>(f.find(field))];
            std::memcpy(out[r].data() + d.offset, bytes.data(),
                        bytes.size() < d.len ? bytes.size() : d.len);
        };
        put(1, "NAME", "Übung ÿ ß");
        put(1, "NOTE", "ab  ");
        put(1, "NOT", "x ");
        put(1, "AND", " 12");
        put(1, "MENGE", "   -1.500");
        put(1, "ANZAHL", "99999");
        put(1, "DATUM", "20240229");
        put(1, "OK", "T");
        put(1, "WIDE", "C:\\Programme\\Eigene Dateien\\readme.txt");
        out[2][0] = '*';
        put(2, "AND", "1.2.3");
        put(2, "MENGE", "-");
        put(2, "ANZAHL", "12a45");
        put(2, "DATUM", "20231301");
        put(2, "OK", "?");
        put(2, "NAME", std::string_view("\0\x1a\xff\t\r\n", 6));
        for (std::size_t i = 1; i < out[3].size(); ++i)
            out[3][i] = static_cast<std::uint8_t>(0x80 + i % 128);
        return out;
    }();
    return recs;
}

bool isLimit(const qv::Error& e) {
    return e.text().find("zu lang") != std::string::npos ||
           e.text().find("zu tief") != std::string::npos;
}

// Evaluates on every record under both exact settings; `results` collects
// the character bytes and numbers so two expressions can be compared.
void evaluateAll(xb::Expr& e, std::vector<std::string>& results) {
    std::uint8_t key[256];
    const std::size_t keyLen = e.keyLength() ? e.keyLength() : 8;
    for (int exact = 0; exact < 2; ++exact) {
        xb::settings().exact = exact == 1;
        for (std::size_t r = 0; r < records().size(); ++r) {
            const xb::RecordRef ref{records()[r].data(), static_cast<std::uint32_t>(r + 1)};
            const xb::Value& v = e.evaluate(ref);
            std::string s(1, static_cast<char>(v.type));
            if (v.type == xb::ExprType::Character)
                s.append(v.chars);
            else if (v.type == xb::ExprType::Logical)
                s += v.logical ? 'T' : 'F';
            else if (!std::isnan(v.number))
                s.append(reinterpret_cast<const char*>(&v.number), sizeof v.number);
            else
                s += "nan";
            results.push_back(std::move(s));
            e.evalKey(ref, key, keyLen);
            if (v.type == xb::ExprType::Logical && e.evalBool(ref) != v.logical) std::abort();
        }
    }
    xb::settings().exact = false;
}

// Compiles `text`, which must give the canonical text and the results of the
// original. Returns false when it hits a length or nesting limit (a canonical
// or dotted text can be a little longer than the original); any other
// failure aborts.
bool compileAgain(const std::string& text, const std::string& wantCanonical,
                  const std::vector<std::string>& wantResults) {
    try {
        xb::Expr again = xb::Expr::compile(text, layout());
        if (again.canonicalText() != wantCanonical) std::abort();
        std::vector<std::string> results;
        evaluateAll(again, results);
        if (results != wantResults) std::abort();
    } catch (const qv::Error& e) {
        if (!isLimit(e)) std::abort();
        return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string dotted = xb::dottedOperators(text);
    xb::Expr e;
    try {
        e = xb::Expr::compile(text, layout());
    } catch (const qv::Error& err) {
        if (err.code() != qv::ErrorCode::Syntax) std::abort();
        if (err.text().rfind("Ungültiger Ausdruck \"", 0) != 0) std::abort();
        return 0;
    }
    std::vector<std::string> results;
    evaluateAll(e, results);
    // Subtrees answer the analysis questions without trouble.
    const xb::ExprNode& root = e.root();
    for (std::size_t i = 0; i < root.childCount(); ++i) {
        const xb::ExprNode& c = root.child(i);
        if (c.isConstant()) (void)c.constantValue();
        (void)c.canonicalText();
    }
    const std::string canonical = e.canonicalText();
    compileAgain(canonical, canonical, results);
    compileAgain(dotted, canonical, results);
    return 0;
}
