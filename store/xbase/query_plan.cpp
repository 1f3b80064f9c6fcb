// Planning a query: which tags can answer which comparisons, and over which
// key ranges.
#include "store/xbase/query_plan.h"

#include <cmath>
#include <cstring>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/settings.h"

namespace xb {
namespace query {

namespace {

bool isNotDeleted(const ExprNode& n) {
    return n.kind() == NodeKind::Not && n.child(0).kind() == NodeKind::Function &&
           n.child(0).function() == FunctionId::Deleted;
}

bool hasProductOrQuotient(const ExprNode& n) {
    if (n.kind() == NodeKind::Arithmetic &&
        (n.arithOp() == ArithOp::Multiply || n.arithOp() == ArithOp::Divide))
        return true;
    for (std::size_t i = 0; i < n.childCount(); ++i)
        if (hasProductOrQuotient(n.child(i))) return true;
    return false;
}

bool argsConstant(const ExprNode& n, std::size_t from) {
    for (std::size_t i = from; i < n.childCount(); ++i)
        if (!n.child(i).isConstant()) return false;
    return true;
}

ExprType typeOfKey(NsxKeyType t) {
    switch (t) {
        case NsxKeyType::Numeric:
            return ExprType::Numeric;
        case NsxKeyType::Date:
            return ExprType::Date;
        case NsxKeyType::Logical:
            return ExprType::Logical;
        case NsxKeyType::Character:
            break;
    }
    return ExprType::Character;
}

// Whether the key expression's value always fits its key whole.
bool keyHoldsValue(const Expr& key, const NsxTag& tag) {
    switch (key.type()) {
        case ExprType::Character:
            return fixedLength(key.root()) && key.blankWidth() > 0 &&
                   key.blankWidth() == static_cast<std::size_t>(tag.keyLen());
        case ExprType::Numeric:
        case ExprType::Date:
            return tag.keyLen() == kNumKeyLen && !hasProductOrQuotient(key.root());
        case ExprType::Logical:
            return tag.keyLen() == 1;
    }
    return false;
}

// Three-way results of comparing the left operand with the right one, for a
// key of each class (see KeyRange).
using ClassResults = int[5];

void setResults(ClassResults& r, int below, int prefixLow, int exact, int prefixHigh, int above) {
    r[0] = below;
    r[1] = prefixLow;
    r[2] = exact;
    r[3] = prefixHigh;
    r[4] = above;
}

// The classes for a character key of length K against the constant c, with
// the key's expression on the left (keyLeft) or on the right. The string
// comparison compares the common length bytewise; when those are equal,
// exact off makes the left side equal when the right one is no longer, and
// exact on ignores trailing blanks of the longer side and then compares
// lengths.
void characterRange(std::string_view c, std::size_t K, bool keyLeft, CompareOp op, KeyRange& r) {
    const bool exact = settings().exact;
    const std::size_t L = c.size();
    ClassResults res;
    if (op == CompareOp::ExactEqual) {
        // Whole values: only a constant as long as the key can be equal.
        r.probe.assign(c.substr(0, K));
        r.full = r.probe;
        r.full.resize(K, ' ');
        setResults(res, -1, 1, L == K ? 0 : 1, 1, 1);
    } else if (L <= K) {
        r.probe.assign(c);
        r.full = r.probe;
        r.full.resize(K, ' ');
        // A key of class 1 or 3 begins with c and has a non-blank rest.
        if (keyLeft) {
            setResults(res, -1, exact ? 1 : 0, 0, exact ? 1 : 0, 1);
        } else {
            const int longer = exact ? -1 : (L == K ? 0 : -1);
            setResults(res, 1, longer, exact || L == K ? 0 : -1, longer, -1);
        }
    } else {
        // The constant is longer than the key: the key decides on its K bytes,
        // the constant's rest only when those are equal.
        r.probe.assign(c.substr(0, K));
        r.full = r.probe;
        bool restBlank = true;
        for (std::size_t i = K; i < L; ++i)
            if (c[i] != ' ') restBlank = false;
        const int onEqual = exact && restBlank ? 0 : (keyLeft ? -1 : (exact ? 1 : 0));
        if (keyLeft)
            setResults(res, -1, onEqual, onEqual, onEqual, 1);
        else
            setResults(res, 1, onEqual, onEqual, onEqual, -1);
    }
    for (int i = 0; i < 5; ++i)
        r.take[i] = compareHolds(op, res[i]);
}

}  // namespace

bool fixedLength(const ExprNode& n) {
    if (n.isConstant()) return true;
    switch (n.kind()) {
        case NodeKind::Field:
            return true;
        case NodeKind::Concat:
            for (std::size_t i = 0; i < n.childCount(); ++i)
                if (!fixedLength(n.child(i))) return false;
            return true;
        case NodeKind::Function:
            switch (n.function()) {
                case FunctionId::Upper:
                case FunctionId::Lower:
                    return fixedLength(n.child(0));
                case FunctionId::Str:
                    return argsConstant(n, 1);
                case FunctionId::Dtos:
                    return true;
                case FunctionId::Substr:
                case FunctionId::Left:
                case FunctionId::Right:
                    return fixedLength(n.child(0)) && argsConstant(n, 1);
                default:
                    return false;
            }
        default:
            return false;
    }
}

std::map<std::string, UsableTag> usableTags(const QuerySource& src) {
    std::map<std::string, UsableTag> out;
    if (!src.index || !src.fields) return out;
    const bool deletedOn = settings().deleted;
    for (int i = 0; i < src.index->tagCount(); ++i) {
        NsxTag& tag = src.index->tag(i);
        if (tag.unique()) continue;
        bool hides = false;
        const std::string& forText = tag.forExpr();
        if (!forText.empty() && static_cast<unsigned char>(forText[0]) >= 0x20) {
            if (!deletedOn) continue;
            try {
                if (!isNotDeleted(Expr::compileCondition(forText, *src.fields).root())) continue;
            } catch (const qv::Error&) {
                continue;  // a condition over other fields: not this table's tag
            }
            hides = true;
        }
        Expr key;
        try {
            key = Expr::compile(tag.keyExpr(), *src.fields);
        } catch (const qv::Error&) {
            continue;
        }
        if (key.type() != typeOfKey(tag.keyType()) || !keyHoldsValue(key, tag)) continue;
        UsableTag u{&tag, key.type(), tag.keyLen(), hides};
        auto [it, fresh] = out.emplace(key.canonicalText(), u);
        if (!fresh && hides && !it->second.hidesFlagged) it->second = u;
    }
    return out;
}

int KeyRange::classify(const char* key) const {
    if (!probe.empty()) {
        const int c = std::memcmp(key, probe.data(), probe.size());
        if (c < 0) return 0;
        if (c > 0) return 4;
    }
    const int c = std::memcmp(key, full.data(), full.size());
    return c < 0 ? 1 : (c == 0 ? 2 : 3);
}

bool KeyRange::empty() const {
    for (bool t : take)
        if (t) return false;
    return true;
}

bool keyRangeOf(const ExprNode& cmp, const std::map<std::string, UsableTag>& tags, KeyRange& out) {
    if (cmp.kind() != NodeKind::Compare || tags.empty()) return false;
    const ExprNode& a = cmp.child(0);
    const ExprNode& b = cmp.child(1);
    if (a.isConstant() == b.isConstant()) return false;
    const bool keyLeft = b.isConstant();
    const ExprNode& side = keyLeft ? a : b;
    const ExprNode& constant = keyLeft ? b : a;
    const auto it = tags.find(side.canonicalText());
    if (it == tags.end() || it->second.type != side.type() || constant.type() != side.type())
        return false;
    const UsableTag& tag = it->second;
    const Value& v = constant.constantValue();
    out.tag = tag;
    if (side.type() == ExprType::Character) {
        characterRange(v.chars, static_cast<std::size_t>(tag.keyLen), keyLeft, cmp.compareOp(),
                       out);
        return true;
    }
    if (side.type() == ExprType::Logical) {
        out.probe.assign(1, v.logical ? 'T' : 'F');
    } else {
        if (std::isnan(v.number)) return false;
        std::uint8_t k[kNumKeyLen];
        encodeNumKey(v.number, k);
        out.probe.assign(reinterpret_cast<const char*>(k), kNumKeyLen);
    }
    out.full = out.probe;
    // Keys below, equal to and above the constant; classes 1 and 3 are empty.
    const int sign = keyLeft ? 1 : -1;
    const int res[5] = {-sign, 0, 0, 0, sign};
    for (int i = 0; i < 5; ++i)
        out.take[i] = compareHolds(cmp.compareOp(), res[i]);
    return true;
}

PlanNode plan(const ExprNode& n, const std::map<std::string, UsableTag>& tags, int& optimisable,
              int& clauses) {
    PlanNode p;
    if (n.isConstant()) {
        p.kind = PlanNode::Constant;
        p.value = n.constantValue().logical;
        ++optimisable;
        ++clauses;
        return p;
    }
    switch (n.kind()) {
        case NodeKind::And:
        case NodeKind::Or:
        case NodeKind::Not:
            p.kind = n.kind() == NodeKind::And  ? PlanNode::And
                     : n.kind() == NodeKind::Or ? PlanNode::Or
                                                : PlanNode::Not;
            for (std::size_t i = 0; i < n.childCount(); ++i)
                p.kids.push_back(plan(n.child(i), tags, optimisable, clauses));
            return p;
        default:
            break;
    }
    ++clauses;
    if (keyRangeOf(n, tags, p.range)) {
        p.kind = PlanNode::Range;
        ++optimisable;
    } else {
        p.kind = PlanNode::Evaluate;
    }
    return p;
}

}  // namespace query
}  // namespace xb
