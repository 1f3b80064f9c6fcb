#include "store/xbase/expr_eval.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/expr_lexer.h"
#include "store/xbase/settings.h"

namespace xb {

namespace {

enum class Code : std::uint8_t {
    FieldC,
    FieldN,
    FieldD,
    FieldL,
    Const,
    And,
    Or,
    Not,
    CmpStr,
    CmpStrExact,
    CmpNum,  // numbers and dates
    CmpLog,
    Add,
    Sub,
    Mul,
    Div,
    DatePlusDays,
    DaysPlusDate,
    DateMinusDays,
    DateMinusDate,
    Neg,
    Concat,
    ConcatMinus,
    Upper,
    Lower,
    Str,
    Alltrim,
    Trim,
    Ltrim,
    Deleted,
    Recno,
    Val,
    Dtos,
    Substr,
    Left,
    Right,
    Len,
    EmptyC,
    EmptyN,  // numbers and dates
    EmptyL,
};

// All buffers of one expression together may not exceed this.
constexpr std::size_t kMaxTotalBuffers = std::size_t{16} << 20;

// lower(): the inverse of the upper-case table (each capital that upper()
// produces from a different byte maps back to that byte).
struct LowerTable {
    std::uint8_t t[256];
    LowerTable() {
        for (int i = 0; i < 256; ++i)
            t[i] = static_cast<std::uint8_t>(i);
        for (int i = 0; i < 256; ++i) {
            const std::uint8_t u = kUpper1252[i];
            if (u != i) t[u] = static_cast<std::uint8_t>(i);
        }
    }
};
const LowerTable kLower;

bool isBlankByte(char c) {
    return c == ' ';
}

// A double cut to a whole number in [lo, hi]; NaN gives `nanValue`.
std::int64_t wholeNumber(double x, std::int64_t lo, std::int64_t hi, std::int64_t nanValue) {
    if (std::isnan(x)) return nanValue;
    x = std::trunc(x);
    if (x <= static_cast<double>(lo)) return lo;
    if (x >= static_cast<double>(hi)) return hi;
    return static_cast<std::int64_t>(x);
}

std::int32_t toJdn(double x) {
    return static_cast<std::int32_t>(wholeNumber(x, 0, INT32_MAX, 0));
}

template <typename T>
int threeWay(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Makes sure the node's buffer holds `n` bytes, keeping the first `keep`.
// Buffers are sized at compile time to the longest possible result, so this
// only grows on results the bounds did not foresee.
char* ensure(std::size_t size, std::size_t keep, std::unique_ptr<char[]>& buf, std::size_t& cap) {
    if (size <= cap) return buf.get();
    std::size_t newCap = cap * 2 > size ? cap * 2 : size;
    std::unique_ptr<char[]> bigger(new char[newCap]);
    if (keep) std::memcpy(bigger.get(), buf.get(), keep);
    buf = std::move(bigger);
    cap = newCap;
    return buf.get();
}

}  // namespace

int compareStrings(std::string_view a, std::string_view b, bool exact) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    if (n) {
        const int c = std::memcmp(a.data(), b.data(), n);
        if (c != 0) return c < 0 ? -1 : 1;
    }
    std::size_t la = a.size(), lb = b.size();
    if (!exact) return lb <= la ? 0 : -1;
    while (la > lb && a[la - 1] == ' ')
        --la;
    while (lb > la && b[lb - 1] == ' ')
        --lb;
    return threeWay(la, lb);
}

// ---- preparation ------------------------------------------------------------------

namespace {

struct PrepareContext {
    std::string_view text;
    std::size_t total = 0;
};

Code codeFor(const ExprNode& n) {
    const ExprType t = n.type();
    switch (n.kind()) {
        case NodeKind::Field:
            switch (t) {
                case ExprType::Character:
                    return Code::FieldC;
                case ExprType::Numeric:
                    return Code::FieldN;
                case ExprType::Date:
                    return Code::FieldD;
                case ExprType::Logical:
                    return Code::FieldL;
            }
            break;
        case NodeKind::Constant:
            return Code::Const;
        case NodeKind::And:
            return Code::And;
        case NodeKind::Or:
            return Code::Or;
        case NodeKind::Not:
            return Code::Not;
        case NodeKind::Compare:
            switch (n.child(0).type()) {
                case ExprType::Character:
                    return n.compareOp() == CompareOp::ExactEqual ? Code::CmpStrExact
                                                                  : Code::CmpStr;
                case ExprType::Logical:
                    return Code::CmpLog;
                default:
                    return Code::CmpNum;
            }
        case NodeKind::Arithmetic: {
            const ExprType a = n.child(0).type(), b = n.child(1).type();
            switch (n.arithOp()) {
                case ArithOp::Add:
                    if (a == ExprType::Date) return Code::DatePlusDays;
                    if (b == ExprType::Date) return Code::DaysPlusDate;
                    return Code::Add;
                case ArithOp::Subtract:
                    if (a == ExprType::Date)
                        return b == ExprType::Date ? Code::DateMinusDate : Code::DateMinusDays;
                    return Code::Sub;
                case ArithOp::Multiply:
                    return Code::Mul;
                case ArithOp::Divide:
                    return Code::Div;
            }
            break;
        }
        case NodeKind::Concat:
            return n.arithOp() == ArithOp::Add ? Code::Concat : Code::ConcatMinus;
        case NodeKind::Negate:
            return Code::Neg;
        case NodeKind::Function:
            switch (n.function()) {
                case FunctionId::Upper:
                    return Code::Upper;
                case FunctionId::Lower:
                    return Code::Lower;
                case FunctionId::Str:
                    return Code::Str;
                case FunctionId::Alltrim:
                    return Code::Alltrim;
                case FunctionId::Trim:
                    return Code::Trim;
                case FunctionId::Ltrim:
                    return Code::Ltrim;
                case FunctionId::Deleted:
                    return Code::Deleted;
                case FunctionId::Recno:
                    return Code::Recno;
                case FunctionId::Val:
                    return Code::Val;
                case FunctionId::Dtos:
                    return Code::Dtos;
                case FunctionId::Substr:
                    return Code::Substr;
                case FunctionId::Left:
                    return Code::Left;
                case FunctionId::Right:
                    return Code::Right;
                case FunctionId::Len:
                    return Code::Len;
                case FunctionId::Empty:
                    switch (n.child(0).type()) {
                        case ExprType::Character:
                            return Code::EmptyC;
                        case ExprType::Logical:
                            return Code::EmptyL;
                        default:
                            return Code::EmptyN;
                    }
            }
            break;
    }
    return Code::Const;
}

// Width of str() when its width argument is a literal: a width below 1 means
// 10, and widths are cut to Expr::kMaxStrWidth.
std::size_t strWidth(double w) {
    const std::int64_t v = wholeNumber(w, 0, Expr::kMaxStrWidth, 10);
    return v < 1 ? 10 : static_cast<std::size_t>(v);
}

}  // namespace

void ExprEval::prepare(ExprNode& root, std::string_view text) {
    // Children first; the recursion is as deep as the tree, which the parser
    // limits.
    PrepareContext ctx{text, 0};
    struct Walker {
        PrepareContext& ctx;
        void operator()(ExprNode& n) {
            for (ExprNode* k : n.kids_)
                (*this)(*k);
            n.code_ = static_cast<std::uint8_t>(codeFor(n));
            n.val_.type = n.type_;
            std::size_t bound = 0;
            bool ownsBuffer = false;
            if (n.type_ == ExprType::Character) {
                switch (static_cast<Code>(n.code_)) {
                    case Code::FieldC:
                        bound = n.len_;
                        break;
                    case Code::Const:
                        bound = n.literal_.size() - 2;
                        ownsBuffer = true;
                        break;
                    case Code::Concat:
                    case Code::ConcatMinus:
                        for (const ExprNode* k : n.kids_)
                            bound += k->bound_;
                        ownsBuffer = true;
                        break;
                    case Code::Upper:
                    case Code::Lower:
                        bound = n.kids_[0]->bound_;
                        ownsBuffer = true;
                        break;
                    case Code::Str:
                        if (n.kids_.size() == 1) {
                            bound = strWidth(n.kids_[0]->dispWidth_);
                        } else if (n.kids_[1]->kind_ == NodeKind::Constant) {
                            bound = strWidth(n.kids_[1]->val_.number);
                        } else {
                            bound = Expr::kMaxStrWidth;
                        }
                        ownsBuffer = true;
                        break;
                    case Code::Dtos:
                        bound = 8;
                        ownsBuffer = true;
                        break;
                    default:  // trims and substrings: views into their operand's bytes
                        bound = n.kids_[0]->bound_;
                        break;
                }
            }
            if (bound > Expr::kMaxResultLength)
                exprdetail::throwSyntax(ctx.text, "das Ergebnis des Ausdrucks wäre zu lang",
                                        n.pos_ - 1);
            n.bound_ = bound;
            if (ownsBuffer) {
                ctx.total += bound;
                if (ctx.total > kMaxTotalBuffers)
                    exprdetail::throwSyntax(ctx.text, "das Ergebnis des Ausdrucks wäre zu lang",
                                            n.pos_ - 1);
                n.cap_ = bound > 0 ? bound : 1;
                n.buf_.reset(new char[n.cap_]);
            }
            if (static_cast<Code>(n.code_) == Code::Const && n.type_ == ExprType::Character) {
                std::memcpy(n.buf_.get(), n.literal_.data() + 1, bound);
                n.val_.chars = std::string_view(n.buf_.get(), bound);
            }
        }
    };
    Walker{ctx}(root);
}

// ---- evaluation ---------------------------------------------------------------------

namespace {

// Whether the `width` bytes at `f` are a whole number as str() with no
// decimals writes it in that width: blanks, an optional minus, digits
// without a leading zero (or a lone 0), nothing after them; at most 15
// digits, which a double holds exactly.
bool isPlainWhole(const char* f, std::size_t width) {
    if (width > 15) return false;
    std::size_t i = 0;
    while (i < width && f[i] == ' ')
        ++i;
    if (i == width) return false;
    if (f[i] == '-') {
        ++i;
        if (i == width || f[i] == '0') return false;
    } else if (f[i] == '0') {
        return i + 1 == width;
    }
    for (; i < width; ++i)
        if (f[i] < '0' || f[i] > '9') return false;
    return true;
}

}  // namespace

const Value& ExprEval::eval(const ExprNode& n, const RecordRef& r) {
    Value& v = n.val_;
    if (n.folded_) return v;
    const char* rec = reinterpret_cast<const char*>(r.data);
    const auto& k = n.kids_;
    switch (static_cast<Code>(n.code_)) {
        case Code::FieldC:
            v.chars = std::string_view(rec + n.offset_, n.len_);
            break;
        case Code::FieldN:
            v.number = parseNumber(std::string_view(rec + n.offset_, n.len_));
            break;
        case Code::FieldD:
            v.number = parseDbfDate(rec + n.offset_);
            break;
        case Code::FieldL: {
            const char c = rec[n.offset_];
            v.logical = c == 'T' || c == 't' || c == 'Y' || c == 'y';
            break;
        }
        case Code::Const:
            break;
        case Code::And:
            v.logical = true;
            for (const ExprNode* c : k) {
                if (!eval(*c, r).logical) {
                    v.logical = false;
                    break;
                }
            }
            break;
        case Code::Or:
            v.logical = false;
            for (const ExprNode* c : k) {
                if (eval(*c, r).logical) {
                    v.logical = true;
                    break;
                }
            }
            break;
        case Code::Not:
            v.logical = !eval(*k[0], r).logical;
            break;
        case Code::CmpStr: {
            const std::string_view a = eval(*k[0], r).chars;
            const std::string_view b = eval(*k[1], r).chars;
            v.logical = compareHolds(n.compareOp(), compareStrings(a, b, settings().exact));
            break;
        }
        case Code::CmpStrExact: {
            const std::string_view a = eval(*k[0], r).chars;
            const std::string_view b = eval(*k[1], r).chars;
            v.logical = a.size() == b.size() &&
                        (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
            break;
        }
        case Code::CmpNum: {
            const double a = eval(*k[0], r).number;
            const double b = eval(*k[1], r).number;
            int c;
            if (a < b) {
                c = -1;
            } else if (a > b) {
                c = 1;
            } else if (a == b) {
                c = 0;
            } else {
                // NaN (only from overflowing arithmetic): unequal to everything.
                v.logical = n.compareOp() == CompareOp::NotEqual;
                break;
            }
            v.logical = compareHolds(n.compareOp(), c);
            break;
        }
        case Code::CmpLog: {
            const int a = eval(*k[0], r).logical ? 1 : 0;
            const int b = eval(*k[1], r).logical ? 1 : 0;
            v.logical = compareHolds(n.compareOp(), threeWay(a, b));
            break;
        }
        case Code::Add:
            v.number = eval(*k[0], r).number + eval(*k[1], r).number;
            break;
        case Code::Sub:
            v.number = eval(*k[0], r).number - eval(*k[1], r).number;
            break;
        case Code::Mul:
            v.number = eval(*k[0], r).number * eval(*k[1], r).number;
            break;
        case Code::Div: {
            const double a = eval(*k[0], r).number;
            const double b = eval(*k[1], r).number;
            v.number = b == 0 ? 0.0 : a / b;
            break;
        }
        case Code::DatePlusDays:
            v.number = eval(*k[0], r).number + std::trunc(eval(*k[1], r).number);
            break;
        case Code::DaysPlusDate:
            v.number = std::trunc(eval(*k[0], r).number) + eval(*k[1], r).number;
            break;
        case Code::DateMinusDays:
            v.number = eval(*k[0], r).number - std::trunc(eval(*k[1], r).number);
            break;
        case Code::DateMinusDate:
            v.number = eval(*k[0], r).number - eval(*k[1], r).number;
            break;
        case Code::Neg:
            v.number = -eval(*k[0], r).number;
            break;
        case Code::Concat: {
            std::size_t len = 0;
            for (const ExprNode* c : k) {
                const std::string_view s = eval(*c, r).chars;
                char* out = ensure(len + s.size(), len, n.buf_, n.cap_);
                if (!s.empty()) std::memcpy(out + len, s.data(), s.size());
                len += s.size();
            }
            v.chars = std::string_view(n.buf_.get(), len);
            break;
        }
        case Code::ConcatMinus: {
            // The left side's trailing blanks move to the end of the result.
            const std::string_view a = eval(*k[0], r).chars;
            const std::string_view b = eval(*k[1], r).chars;
            std::size_t kept = a.size();
            while (kept > 0 && isBlankByte(a[kept - 1]))
                --kept;
            const std::size_t len = a.size() + b.size();
            char* out = ensure(len, 0, n.buf_, n.cap_);
            if (kept) std::memcpy(out, a.data(), kept);
            if (!b.empty()) std::memcpy(out + kept, b.data(), b.size());
            std::memset(out + kept + b.size(), ' ', a.size() - kept);
            v.chars = std::string_view(out, len);
            break;
        }
        case Code::Upper:
        case Code::Lower: {
            const std::string_view s = eval(*k[0], r).chars;
            char* out = ensure(s.size(), 0, n.buf_, n.cap_);
            const std::uint8_t* table =
                static_cast<Code>(n.code_) == Code::Upper ? kUpper1252 : kLower.t;
            for (std::size_t i = 0; i < s.size(); ++i)
                out[i] = static_cast<char>(table[static_cast<std::uint8_t>(s[i])]);
            v.chars = std::string_view(out, s.size());
            break;
        }
        case Code::Str: {
            std::size_t width;
            int decimals = 0;
            if (k.size() == 1) {
                width = strWidth(k[0]->dispWidth_);
                decimals = k[0]->dispDec_;
            } else {
                width = strWidth(eval(*k[1], r).number);
                if (k.size() == 3)
                    decimals = static_cast<int>(wholeNumber(eval(*k[2], r).number, 0, 255, 0));
            }
            // A whole number field as wide as the result, written the way
            // str() writes it, is its own result (the keys of the file
            // table begin with one).
            if (decimals == 0 && static_cast<Code>(k[0]->code_) == Code::FieldN &&
                width == k[0]->len_ && isPlainWhole(rec + k[0]->offset_, width)) {
                v.chars = std::string_view(rec + k[0]->offset_, width);
                break;
            }
            const double x = eval(*k[0], r).number;
            char* out = ensure(width, 0, n.buf_, n.cap_);
            formatNumber(x, static_cast<int>(width), decimals, out);
            v.chars = std::string_view(out, width);
            break;
        }
        case Code::Alltrim:
        case Code::Trim:
        case Code::Ltrim: {
            std::string_view s = eval(*k[0], r).chars;
            const Code c = static_cast<Code>(n.code_);
            if (c != Code::Ltrim)
                while (!s.empty() && isBlankByte(s.back()))
                    s.remove_suffix(1);
            if (c != Code::Trim)
                while (!s.empty() && isBlankByte(s.front()))
                    s.remove_prefix(1);
            v.chars = s;
            break;
        }
        case Code::Deleted:
            v.logical = rec[0] == '*';
            break;
        case Code::Recno:
            v.number = r.recno;
            break;
        case Code::Val:
            v.number = parseNumber(eval(*k[0], r).chars);
            break;
        case Code::Dtos:
            formatDbfDate(toJdn(eval(*k[0], r).number), n.buf_.get());
            v.chars = std::string_view(n.buf_.get(), 8);
            break;
        case Code::Substr: {
            const std::string_view s = eval(*k[0], r).chars;
            const auto len = static_cast<std::int64_t>(s.size());
            const std::int64_t start = wholeNumber(eval(*k[1], r).number, -len - 1, len + 1, 0);
            // From 1 at the left; 0 means 1; negative counts from the right end.
            std::int64_t from = start > 0 ? start - 1 : (start < 0 ? len + start : 0);
            if (from < 0) from = 0;
            std::int64_t count = len - from;
            if (k.size() == 3) {
                const std::int64_t want = wholeNumber(eval(*k[2], r).number, 0, len, 0);
                if (want < count) count = want;
            }
            v.chars = count > 0 ? s.substr(static_cast<std::size_t>(from),
                                           static_cast<std::size_t>(count))
                                : std::string_view();
            break;
        }
        case Code::Left:
        case Code::Right: {
            const std::string_view s = eval(*k[0], r).chars;
            const auto want = static_cast<std::size_t>(
                wholeNumber(eval(*k[1], r).number, 0, static_cast<std::int64_t>(s.size()), 0));
            v.chars = static_cast<Code>(n.code_) == Code::Left ? s.substr(0, want)
                                                               : s.substr(s.size() - want);
            break;
        }
        case Code::Len:
            v.number = static_cast<double>(eval(*k[0], r).chars.size());
            break;
        case Code::EmptyC: {
            const std::string_view s = eval(*k[0], r).chars;
            bool blank = true;
            for (char c : s) {
                if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                    blank = false;
                    break;
                }
            }
            v.logical = blank;
            break;
        }
        case Code::EmptyN:
            v.logical = eval(*k[0], r).number == 0;
            break;
        case Code::EmptyL:
            v.logical = !eval(*k[0], r).logical;
            break;
    }
    return v;
}

bool ExprEval::addPieces(const ExprNode& n, bool upper, std::vector<KeyPiece>& plan) {
    const auto text = [&](std::string_view bytes) {
        KeyPiece p;
        p.kind = KeyPiece::Kind::Text;
        for (const char c : bytes)
            p.text += upper ? static_cast<char>(kUpper1252[static_cast<std::uint8_t>(c)]) : c;
        plan.push_back(std::move(p));
    };
    if (n.folded_) {
        if (n.type_ != ExprType::Character) return false;
        text(n.val_.chars);
        return true;
    }
    const auto& k = n.kids_;
    switch (static_cast<Code>(n.code_)) {
        case Code::FieldC: {
            KeyPiece p;
            p.upper = upper;
            p.offset = n.offset_;
            p.len = n.len_;
            plan.push_back(p);
            return true;
        }
        case Code::Concat:
            for (const ExprNode* c : k)
                if (!addPieces(*c, upper, plan)) return false;
            return true;
        case Code::Upper:
            return addPieces(*k[0], true, plan);
        case Code::Str: {
            if (static_cast<Code>(k[0]->code_) != Code::FieldN || k[0]->folded_) return false;
            KeyPiece p;
            p.kind = KeyPiece::Kind::Number;
            p.upper = upper;
            p.offset = k[0]->offset_;
            p.len = k[0]->len_;
            if (k.size() == 1) {
                p.width = static_cast<std::uint16_t>(strWidth(k[0]->dispWidth_));
                p.decimals = k[0]->dispDec_;
            } else {
                if (!k[1]->folded_ || (k.size() == 3 && !k[2]->folded_)) return false;
                p.width = static_cast<std::uint16_t>(strWidth(k[1]->val_.number));
                if (k.size() == 3)
                    p.decimals =
                        static_cast<std::uint8_t>(wholeNumber(k[2]->val_.number, 0, 255, 0));
            }
            plan.push_back(p);
            return true;
        }
        default:
            return false;
    }
}

std::vector<KeyPiece> ExprEval::keyPlan(const ExprNode& root) {
    std::vector<KeyPiece> plan;
    if (root.type_ != ExprType::Character || !addPieces(root, false, plan)) return {};
    return plan;
}

std::size_t ExprEval::writeKey(const std::vector<KeyPiece>& plan, const RecordRef& r,
                               std::uint8_t* out, std::size_t room) {
    const char* rec = reinterpret_cast<const char*>(r.data);
    std::size_t pos = 0;
    const auto put = [&](const char* src, std::size_t n, bool upper) {
        n = std::min(n, room - pos);
        if (upper) {
            for (std::size_t i = 0; i < n; ++i)
                out[pos + i] = kUpper1252[static_cast<std::uint8_t>(src[i])];
        } else if (n) {
            std::memcpy(out + pos, src, n);
        }
        pos += n;
    };
    for (const KeyPiece& p : plan) {
        if (pos == room) break;
        const char* f = rec + p.offset;
        if (p.kind == KeyPiece::Kind::Text) {
            put(p.text.data(), p.text.size(), false);
        } else if (p.kind == KeyPiece::Kind::Field) {
            put(f, p.len, p.upper);
        } else if (p.decimals == 0 && p.width == p.len && isPlainWhole(f, p.width)) {
            put(f, p.width, p.upper);
        } else {
            char buf[Expr::kMaxStrWidth + 1];
            formatNumber(parseNumber(std::string_view(f, p.len)), p.width, p.decimals, buf);
            put(buf, p.width, p.upper);
        }
    }
    return pos;
}

namespace {

// The value of a numeric field written as blanks, an optional sign and at
// most 15 digits that run to its end, as parseNumber() reads it; false for
// every other form, which parseNumber() then reads.
bool plainInteger(const char* f, std::size_t len, double& out) {
    std::size_t i = 0;
    while (i < len && f[i] == ' ')
        ++i;
    bool neg = false;
    if (i < len && (f[i] == '-' || f[i] == '+')) neg = f[i++] == '-';
    if (i == len || len - i > 15) return false;
    std::uint64_t acc = 0;
    for (; i < len; ++i) {
        const unsigned d = static_cast<unsigned char>(f[i]) - '0';
        if (d > 9) return false;
        acc = acc * 10 + d;
    }
    const double v = static_cast<double>(acc);
    out = neg ? -v : v;
    return true;
}

CompareOp mirrored(CompareOp op) {
    switch (op) {
        case CompareOp::Less:
            return CompareOp::Greater;
        case CompareOp::LessEqual:
            return CompareOp::GreaterEqual;
        case CompareOp::Greater:
            return CompareOp::Less;
        case CompareOp::GreaterEqual:
            return CompareOp::LessEqual;
        default:
            return op;
    }
}

}  // namespace

NumberTest ExprEval::numberTest(const ExprNode& root) {
    NumberTest t;
    if (static_cast<Code>(root.code_) != Code::CmpNum || root.kids_.size() != 2) return t;
    const ExprNode* field = root.kids_[0];
    const ExprNode* constant = root.kids_[1];
    t.op = root.compareOp();
    if (static_cast<Code>(field->code_) != Code::FieldN) {
        std::swap(field, constant);
        t.op = mirrored(t.op);
    }
    if (static_cast<Code>(field->code_) != Code::FieldN || field->folded_ || !constant->folded_)
        return t;
    const double c = eval(*constant, RecordRef{}).number;
    if (c != c) return t;  // NaN: left to the tree
    t.offset = static_cast<std::uint16_t>(field->offset_);
    t.len = static_cast<std::uint16_t>(field->len_);
    t.constant = c;
    t.active = true;
    return t;
}

bool ExprEval::holds(const NumberTest& t, const RecordRef& r) {
    const char* f = reinterpret_cast<const char*>(r.data) + t.offset;
    double a;
    if (!plainInteger(f, t.len, a)) a = parseNumber(std::string_view(f, t.len));
    return compareHolds(t.op, a < t.constant ? -1 : a > t.constant ? 1 : 0);
}

}  // namespace xb
