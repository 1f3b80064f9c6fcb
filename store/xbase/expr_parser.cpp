#include "store/xbase/expr_parser.h"

#include <algorithm>
#include <string>

#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"

namespace xb {

using exprdetail::BadToken;
using exprdetail::sameWord;
using exprdetail::throwSyntax;

namespace {

constexpr ExprType C = ExprType::Character;
constexpr ExprType N = ExprType::Numeric;
constexpr ExprType D = ExprType::Date;
constexpr ExprType L = ExprType::Logical;

// Longest number literal, in characters.
constexpr std::size_t kMaxNumberLiteral = 100;

struct FunctionSignature {
    const char* name;
    FunctionId id;
    std::uint8_t minArgs;
    std::uint8_t maxArgs;
    ExprType args[3];
    bool anyArg;  // empty() takes every type
    ExprType result;
};

const FunctionSignature kFunctions[] = {
    {"upper", FunctionId::Upper, 1, 1, {C, C, C}, false, C},
    {"lower", FunctionId::Lower, 1, 1, {C, C, C}, false, C},
    {"str", FunctionId::Str, 1, 3, {N, N, N}, false, C},
    {"alltrim", FunctionId::Alltrim, 1, 1, {C, C, C}, false, C},
    {"trim", FunctionId::Trim, 1, 1, {C, C, C}, false, C},
    {"rtrim", FunctionId::Trim, 1, 1, {C, C, C}, false, C},
    {"ltrim", FunctionId::Ltrim, 1, 1, {C, C, C}, false, C},
    {"deleted", FunctionId::Deleted, 0, 0, {C, C, C}, false, L},
    {"recno", FunctionId::Recno, 0, 0, {C, C, C}, false, N},
    {"val", FunctionId::Val, 1, 1, {C, C, C}, false, N},
    {"dtos", FunctionId::Dtos, 1, 1, {D, D, D}, false, C},
    {"substr", FunctionId::Substr, 2, 3, {C, N, N}, false, C},
    {"left", FunctionId::Left, 2, 2, {C, N, N}, false, C},
    {"right", FunctionId::Right, 2, 2, {C, N, N}, false, C},
    {"len", FunctionId::Len, 1, 1, {C, C, C}, false, N},
    {"empty", FunctionId::Empty, 1, 1, {C, C, C}, true, L},
};

const FunctionSignature* findFunction(std::string_view name) {
    for (const auto& f : kFunctions)
        if (sameWord(name, f.name)) return &f;
    return nullptr;
}

std::string argCountText(const FunctionSignature& f) {
    auto count = [](int n) {
        if (n == 0) return std::string("keine Argumente");
        if (n == 1) return std::string("1 Argument");
        return std::to_string(n) + " Argumente";
    };
    if (f.minArgs == f.maxArgs) return count(f.minArgs);
    if (f.maxArgs == f.minArgs + 1)
        return std::to_string(f.minArgs) + " oder " + std::to_string(f.maxArgs) + " Argumente";
    return std::to_string(f.minArgs) + " bis " + std::to_string(f.maxArgs) + " Argumente";
}

const char* withArticle(ExprType t) {
    switch (t) {
        case C:
            return "eine Zeichenkette";
        case N:
            return "eine Zahl";
        case D:
            return "ein Datum";
        case L:
            return "ein logischer Wert";
    }
    return "";
}

bool isCompareToken(exprdetail::Tok t) {
    using exprdetail::Tok;
    return t == Tok::Eq || t == Tok::EqEq || t == Tok::Ne || t == Tok::Lt || t == Tok::Le ||
           t == Tok::Gt || t == Tok::Ge;
}

CompareOp compareOpOf(exprdetail::Tok t) {
    using exprdetail::Tok;
    switch (t) {
        case Tok::EqEq:
            return CompareOp::ExactEqual;
        case Tok::Ne:
            return CompareOp::NotEqual;
        case Tok::Lt:
            return CompareOp::Less;
        case Tok::Le:
            return CompareOp::LessEqual;
        case Tok::Gt:
            return CompareOp::Greater;
        case Tok::Ge:
            return CompareOp::GreaterEqual;
        default:
            return CompareOp::Equal;
    }
}

}  // namespace

ExprParser::ExprParser(std::string_view text, const FieldList& fields,
                       std::vector<std::unique_ptr<ExprNode>>& arena)
    : text_(text), fields_(fields), arena_(arena), toks_(exprdetail::tokenize(text)) {}

ExprNode* ExprParser::parse() {
    if (cur().kind == Tok::End) throwSyntax(text_, "der Ausdruck ist leer");
    // A character the language does not have, or an open string, is reported
    // before anything that stands in front of it.
    if (toks_.back().kind == Tok::Bad) failUnexpected(toks_.back());
    ExprNode* root = parseOr();
    const Token& t = cur();
    if (t.kind == Tok::End) return root;
    if (t.kind == Tok::Bad) failUnexpected(t);
    if (t.kind == Tok::RParen) fail("schließende Klammer ohne öffnende", t.pos);
    fail("Operator erwartet, gefunden " + exprdetail::describeToken(text_, t), t.pos);
}

// ---- tokens -------------------------------------------------------------------

const exprdetail::Token& ExprParser::peek(std::size_t ahead) const {
    // The list ends with End or Bad; never look past it.
    return toks_[std::min(at_ + ahead, toks_.size() - 1)];
}

exprdetail::Token ExprParser::take() {
    const Token t = toks_[at_];
    if (at_ + 1 < toks_.size()) ++at_;
    return t;
}

bool ExprParser::atWord(std::string_view lowerName) const {
    return cur().kind == Tok::Ident && sameWord(cur().in(text_), lowerName);
}

bool ExprParser::atWordOperatorNot() const {
    // A bare "not" is the operator when an operand follows; otherwise it is a
    // name (a field called NOT).
    return atWord("not") && exprdetail::beginsOperand(peek().kind);
}

void ExprParser::enter(const Token& t) {
    if (++depth_ > Expr::kMaxNesting) fail("der Ausdruck ist zu tief verschachtelt", t.pos);
}

// ---- errors -------------------------------------------------------------------

void ExprParser::fail(std::string_view reason, std::size_t pos) const {
    throwSyntax(text_, reason, pos);
}

void ExprParser::failUnexpected(const Token& t) const {
    switch (t.kind) {
        case Tok::End:
            fail("unerwartetes Ende des Ausdrucks", t.pos);
        case Tok::Bad:
            switch (t.bad) {
                case BadToken::UnterminatedString:
                    fail("Zeichenkette nicht abgeschlossen", t.pos);
                case BadToken::UnknownDotted:
                    fail("unbekannter Operator " + exprdetail::describeToken(text_, t), t.pos);
                default:
                    fail("unzulässiges Zeichen " + exprdetail::describeToken(text_, t), t.pos);
            }
        default:
            fail("unerwartetes Symbol " + exprdetail::describeToken(text_, t), t.pos);
    }
}

void ExprParser::failTypes(const Token& op, ExprType a, ExprType b) const {
    fail(std::string("Typen passen nicht zusammen: ") + exprTypeName(a) + " " +
             std::string(op.in(text_)) + " " + exprTypeName(b),
         op.pos);
}

void ExprParser::requireType(const Token& op, const ExprNode* n, ExprType want,
                             const char* what) const {
    if (n->type() == want) return;
    fail(std::string("Operator \"") + std::string(op.in(text_)) + "\" verlangt " + what +
             ", nicht " + exprTypeName(n->type()),
         op.pos);
}

// ---- nodes --------------------------------------------------------------------

ExprNode* ExprParser::make(NodeKind kind, ExprType type, std::size_t pos) {
    arena_.push_back(std::unique_ptr<ExprNode>(new ExprNode()));
    ExprNode* n = arena_.back().get();
    n->kind_ = kind;
    n->type_ = type;
    n->pos_ = static_cast<std::uint32_t>(pos + 1);
    return n;
}

void ExprParser::addChild(ExprNode* parent, ExprNode* child) {
    parent->kids_.push_back(child);
    if (child->height_ + 1 > parent->height_) {
        if (child->height_ + 1 > Expr::kMaxHeight)
            fail("der Ausdruck ist zu tief verschachtelt", parent->pos_ - 1);
        parent->height_ = static_cast<std::uint16_t>(child->height_ + 1);
    }
}

void ExprParser::addFlattened(ExprNode* parent, ExprNode* n) {
    const bool same =
        n->kind_ == parent->kind_ && (n->kind_ != NodeKind::Concat || n->arithOp() == ArithOp::Add);
    if (!same) {
        addChild(parent, n);
        return;
    }
    for (ExprNode* k : n->kids_)
        addChild(parent, k);
}

// ---- precedence levels ----------------------------------------------------------

ExprNode* ExprParser::parseOr() {
    ExprNode* left = parseAnd();
    if (cur().kind != Tok::Or && !atWord("or")) return left;
    ExprNode* node = make(NodeKind::Or, L, left->pos_ - 1);
    const Token first = cur();
    requireType(first, left, L, "logische Werte");
    addFlattened(node, left);
    while (cur().kind == Tok::Or || atWord("or")) {
        const Token op = take();
        ExprNode* right = parseAnd();
        requireType(op, right, L, "logische Werte");
        addFlattened(node, right);
    }
    return node;
}

ExprNode* ExprParser::parseAnd() {
    ExprNode* left = parseNot();
    if (cur().kind != Tok::And && !atWord("and")) return left;
    ExprNode* node = make(NodeKind::And, L, left->pos_ - 1);
    const Token first = cur();
    requireType(first, left, L, "logische Werte");
    addFlattened(node, left);
    while (cur().kind == Tok::And || atWord("and")) {
        const Token op = take();
        ExprNode* right = parseNot();
        requireType(op, right, L, "logische Werte");
        addFlattened(node, right);
    }
    return node;
}

ExprNode* ExprParser::parseNot() {
    if (cur().kind != Tok::Not && !atWordOperatorNot()) return parseCompare();
    const Token op = take();
    enter(op);
    ExprNode* operand = parseNot();
    leave();
    requireType(op, operand, L, "einen logischen Wert");
    ExprNode* node = make(NodeKind::Not, L, op.pos);
    addChild(node, operand);
    return node;
}

ExprNode* ExprParser::parseCompare() {
    ExprNode* left = parseAdd();
    while (isCompareToken(cur().kind)) {
        const Token op = take();
        ExprNode* right = parseAdd();
        if (left->type() != right->type()) failTypes(op, left->type(), right->type());
        ExprNode* node = make(NodeKind::Compare, L, left->pos_ - 1);
        node->op_ = static_cast<std::uint8_t>(compareOpOf(op.kind));
        addChild(node, left);
        addChild(node, right);
        left = node;
    }
    return left;
}

ExprNode* ExprParser::parseAdd() {
    ExprNode* left = parseMul();
    while (cur().kind == Tok::Plus || cur().kind == Tok::Minus) {
        const Token op = take();
        ExprNode* right = parseMul();
        left = makeAdditive(op, left, right);
    }
    return left;
}

ExprNode* ExprParser::makeAdditive(const Token& op, ExprNode* left, ExprNode* right) {
    const bool plus = op.kind == Tok::Plus;
    const ExprType a = left->type(), b = right->type();
    const std::size_t pos = left->pos_ - 1;
    if (a == C && b == C) {
        if (plus) {
            // Character '+' chains become one node: a+b+c, (a+b)+c and a+(b+c)
            // give the same bytes.
            if (left->kind_ == NodeKind::Concat && left->arithOp() == ArithOp::Add) {
                addFlattened(left, right);
                return left;
            }
            ExprNode* node = make(NodeKind::Concat, C, pos);
            node->op_ = static_cast<std::uint8_t>(ArithOp::Add);
            addFlattened(node, left);
            addFlattened(node, right);
            return node;
        }
        ExprNode* node = make(NodeKind::Concat, C, pos);
        node->op_ = static_cast<std::uint8_t>(ArithOp::Subtract);
        addChild(node, left);
        addChild(node, right);
        return node;
    }
    ExprType result;
    if (a == N && b == N) {
        result = N;
    } else if (a == D && b == N) {
        result = D;
    } else if (plus && a == N && b == D) {
        result = D;
    } else if (!plus && a == D && b == D) {
        result = N;
    } else {
        failTypes(op, a, b);
    }
    ExprNode* node = make(NodeKind::Arithmetic, result, pos);
    node->op_ = static_cast<std::uint8_t>(plus ? ArithOp::Add : ArithOp::Subtract);
    addChild(node, left);
    addChild(node, right);
    if (result == N)
        setComputedDisplay(node, a == D ? 0 : std::max(left->dispDec_, right->dispDec_));
    return node;
}

void ExprParser::setComputedDisplay(ExprNode* n, int decimals) {
    n->dispDec_ = static_cast<std::uint8_t>(decimals);
    n->dispWidth_ = static_cast<std::uint16_t>(10 + (decimals > 0 ? decimals + 1 : 0));
}

ExprNode* ExprParser::parseMul() {
    ExprNode* left = parseUnary();
    while (cur().kind == Tok::Star || cur().kind == Tok::Slash) {
        const Token op = take();
        ExprNode* right = parseUnary();
        if (left->type() != N || right->type() != N) failTypes(op, left->type(), right->type());
        ExprNode* node = make(NodeKind::Arithmetic, N, left->pos_ - 1);
        const bool mul = op.kind == Tok::Star;
        node->op_ = static_cast<std::uint8_t>(mul ? ArithOp::Multiply : ArithOp::Divide);
        // Decimals str() shows without a width: products add them, quotients
        // show at least two, like other xBase programs.
        const int dl = left->dispDec_, dr = right->dispDec_;
        setComputedDisplay(node, mul ? std::min(dl + dr, 15) : std::max({dl, dr, 2}));
        addChild(node, left);
        addChild(node, right);
        left = node;
    }
    return left;
}

ExprNode* ExprParser::parseUnary() {
    const Tok k = cur().kind;
    if (k != Tok::Minus && k != Tok::Plus) return parsePrimary();
    const Token op = take();
    enter(op);
    ExprNode* operand = parseUnary();
    leave();
    requireType(op, operand, N, "eine Zahl");
    if (k == Tok::Plus) return operand;
    ExprNode* node = make(NodeKind::Negate, N, op.pos);
    node->dispWidth_ = operand->dispWidth_;
    node->dispDec_ = operand->dispDec_;
    addChild(node, operand);
    return node;
}

ExprNode* ExprParser::parsePrimary() {
    const Token t = cur();
    switch (t.kind) {
        case Tok::Number:
            take();
            return parseNumber(t);
        case Tok::String:
            take();
            return parseString(t);
        case Tok::True:
        case Tok::False: {
            take();
            ExprNode* n = make(NodeKind::Constant, L, t.pos);
            n->val_.logical = t.kind == Tok::True;
            n->literal_ = n->val_.logical ? ".t." : ".f.";
            return n;
        }
        case Tok::LParen: {
            take();
            enter(t);
            ExprNode* inner = parseOr();
            leave();
            if (cur().kind == Tok::Bad) failUnexpected(cur());
            if (cur().kind != Tok::RParen) {
                if (cur().kind == Tok::End)
                    fail("zur öffnenden Klammer fehlt die schließende", t.pos);
                fail("schließende Klammer erwartet, gefunden " +
                         exprdetail::describeToken(text_, cur()),
                     cur().pos);
            }
            take();
            return inner;
        }
        case Tok::Not: {
            // A negation as an operand, as in  x = .not. y
            enter(t);
            ExprNode* n = parseNot();
            leave();
            return n;
        }
        case Tok::Ident:
            if (atWordOperatorNot()) {
                enter(t);
                ExprNode* n = parseNot();
                leave();
                return n;
            }
            take();
            if (cur().kind == Tok::LParen) return parseCall(t);
            return parseField(t);
        default:
            failUnexpected(t);
    }
}

// ---- operands -------------------------------------------------------------------

ExprNode* ExprParser::parseNumber(const Token& t) {
    const std::string_view s = t.in(text_);
    if (s.size() > kMaxNumberLiteral) fail("die Zahl hat zu viele Stellen", t.pos);
    ExprNode* n = make(NodeKind::Constant, N, t.pos);
    n->val_.number = xb::parseNumber(s);
    const std::size_t point = s.find('.');
    std::string_view whole = s.substr(0, point);
    std::string_view frac =
        point == std::string_view::npos ? std::string_view() : s.substr(point + 1);
    while (whole.size() > 1 && whole[0] == '0')
        whole.remove_prefix(1);
    if (whole.empty()) whole = "0";
    n->literal_ = std::string(whole);
    if (!frac.empty()) {
        n->literal_.push_back('.');
        n->literal_.append(frac);
    }
    // str() without a width shows a literal with at least ten places before
    // the point and the decimals it was written with.
    const std::size_t width =
        std::max<std::size_t>(10, whole.size()) + (frac.empty() ? 0 : frac.size() + 1);
    n->dispWidth_ = static_cast<std::uint16_t>(std::min<std::size_t>(width, Expr::kMaxStrWidth));
    n->dispDec_ = static_cast<std::uint8_t>(std::min<std::size_t>(frac.size(), 15));
    return n;
}

ExprNode* ExprParser::parseString(const Token& t) {
    const std::string_view body = text_.substr(t.pos + 1, t.len - 2);
    ExprNode* n = make(NodeKind::Constant, C, t.pos);
    n->literal_ = std::string(text_.substr(t.pos, t.len));
    // The canonical form uses double quotes unless the string holds one.
    if (body.find('"') == std::string_view::npos) {
        n->literal_.front() = '"';
        n->literal_.back() = '"';
    }
    return n;
}

ExprNode* ExprParser::parseField(const Token& t) {
    const std::string_view name = t.in(text_);
    const int idx = fields_.find(name);
    if (idx < 0) fail("unbekanntes Feld \"" + std::string(name) + "\"", t.pos);
    const FieldDesc& f = fields_[static_cast<std::size_t>(idx)];
    ExprType type;
    switch (f.type) {
        case 'C':
            type = C;
            break;
        case 'N':
        case 'F':
            type = N;
            break;
        case 'D':
            if (f.len != 8) fail("das Datumsfeld \"" + f.name + "\" hat nicht die Breite 8", t.pos);
            type = D;
            break;
        case 'L':
            type = L;
            break;
        case 'M':
            fail("das Memofeld \"" + f.name + "\" kann in Ausdrücken nicht verwendet werden",
                 t.pos);
        default:
            fail("das Feld \"" + f.name + "\" hat den Typ " + std::string(1, f.type) +
                     ", der in Ausdrücken nicht verwendet werden kann",
                 t.pos);
    }
    if (type == L && f.len < 1) fail("das Feld \"" + f.name + "\" hat die Breite 0", t.pos);
    ExprNode* n = make(NodeKind::Field, type, t.pos);
    n->fieldIndex_ = idx;
    n->fieldName_ = f.name;
    n->offset_ = f.offset;
    n->len_ = f.len;
    if (type == N) {
        n->dispWidth_ = std::min<std::uint16_t>(f.len, Expr::kMaxStrWidth);
        n->dispDec_ = f.dec;
    }
    return n;
}

ExprNode* ExprParser::parseCall(const Token& name) {
    const FunctionSignature* sig = findFunction(name.in(text_));
    if (!sig) fail("unbekannte Funktion \"" + cp1252ToUtf8(name.in(text_)) + "()\"", name.pos);
    const Token open = take();
    enter(open);
    std::vector<ExprNode*> args;
    if (cur().kind != Tok::RParen) {
        for (;;) {
            args.push_back(parseOr());
            if (cur().kind != Tok::Comma) break;
            take();
        }
    }
    if (cur().kind == Tok::Bad) failUnexpected(cur());
    if (cur().kind != Tok::RParen) {
        if (cur().kind == Tok::End) fail("zur öffnenden Klammer fehlt die schließende", open.pos);
        fail("\",\" oder \")\" erwartet, gefunden " + exprdetail::describeToken(text_, cur()),
             cur().pos);
    }
    take();
    leave();
    const std::string fname = std::string(sig->name) + "()";
    if (args.size() < sig->minArgs || args.size() > sig->maxArgs)
        fail(fname + " erwartet " + argCountText(*sig) + ", nicht " + std::to_string(args.size()),
             name.pos);
    if (!sig->anyArg) {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i]->type() == sig->args[i]) continue;
            fail("Argument " + std::to_string(i + 1) + " von " + fname + " muss " +
                     withArticle(sig->args[i]) + " sein, nicht " + exprTypeName(args[i]->type()),
                 args[i]->pos_ - 1);
        }
    }
    ExprNode* n = make(NodeKind::Function, sig->result, name.pos);
    n->op_ = static_cast<std::uint8_t>(sig->id);
    for (ExprNode* a : args)
        addChild(n, a);
    return n;
}

}  // namespace xb
