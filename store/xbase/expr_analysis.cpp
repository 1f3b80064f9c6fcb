// What the optimiser reads from a compiled tree: which subtrees are constant
// (and their values, computed once here when they cannot change), and the
// canonical text of any subtree.
#include "store/xbase/expr_analysis.h"

#include "store/xbase/error.h"
#include "store/xbase/expr_eval.h"

namespace xb {

namespace {

const char* const kFunctionNames[] = {
    "upper", "lower", "str",    "alltrim", "trim",  "ltrim", "deleted", "recno",
    "val",   "dtos",  "substr", "left",    "right", "len",   "empty",
};

// Binding strength, loosest first; operands print in parentheses where
// their own strength would not bind them to the operator.
int precedence(const ExprNode& n) {
    switch (n.kind()) {
        case NodeKind::Or:
            return 1;
        case NodeKind::And:
            return 2;
        case NodeKind::Not:
            return 3;
        case NodeKind::Compare:
            return 4;
        case NodeKind::Concat:
            return 5;
        case NodeKind::Arithmetic:
            return n.arithOp() == ArithOp::Multiply || n.arithOp() == ArithOp::Divide ? 6 : 5;
        case NodeKind::Negate:
            return 7;
        default:
            return 8;
    }
}

const char* compareText(CompareOp op) {
    switch (op) {
        case CompareOp::Equal:
            return "=";
        case CompareOp::ExactEqual:
            return "==";
        case CompareOp::NotEqual:
            return "<>";
        case CompareOp::Less:
            return "<";
        case CompareOp::LessEqual:
            return "<=";
        case CompareOp::Greater:
            return ">";
        case CompareOp::GreaterEqual:
            return ">=";
    }
    return "";
}

const char* arithText(ArithOp op) {
    switch (op) {
        case ArithOp::Add:
            return "+";
        case ArithOp::Subtract:
            return "-";
        case ArithOp::Multiply:
            return "*";
        case ArithOp::Divide:
            return "/";
    }
    return "";
}

void appendLower(std::string& out, std::string_view s) {
    for (char c : s)
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

void canonical(const ExprNode& n, std::string& out);

// An operand of an operator of strength `p`. Operators group from the left,
// so an operand after the first needs parentheses already at equal strength.
void operand(const ExprNode& n, int p, bool first, std::string& out) {
    const int q = precedence(n);
    const bool parens = first ? q < p : q <= p;
    if (parens) out += '(';
    canonical(n, out);
    if (parens) out += ')';
}

void joined(const ExprNode& n, const char* op, std::string& out) {
    const int p = precedence(n);
    for (std::size_t i = 0; i < n.childCount(); ++i) {
        if (i) out += op;
        operand(n.child(i), p, i == 0, out);
    }
}

void canonical(const ExprNode& n, std::string& out) {
    switch (n.kind()) {
        case NodeKind::Field:
            appendLower(out, n.fieldName());
            break;
        case NodeKind::Constant:
            out += ExprAnalysis::literal(n);
            break;
        case NodeKind::Function:
            out += n.functionName();
            out += '(';
            for (std::size_t i = 0; i < n.childCount(); ++i) {
                if (i) out += ',';
                canonical(n.child(i), out);
            }
            out += ')';
            break;
        case NodeKind::And:
            joined(n, ".and.", out);
            break;
        case NodeKind::Or:
            joined(n, ".or.", out);
            break;
        case NodeKind::Not:
            out += ".not.";
            operand(n.child(0), precedence(n), true, out);
            break;
        case NodeKind::Compare:
            joined(n, compareText(n.compareOp()), out);
            break;
        case NodeKind::Arithmetic:
        case NodeKind::Concat:
            joined(n, arithText(n.arithOp()), out);
            break;
        case NodeKind::Negate:
            out += '-';
            operand(n.child(0), precedence(n), true, out);
            break;
    }
}

}  // namespace

void ExprAnalysis::markConstants(ExprNode& n) {
    bool constant = true;
    bool settingsFree = true;
    for (ExprNode* k : n.kids_) {
        markConstants(*k);
        constant = constant && k->constant_;
        settingsFree = settingsFree && k->settingsFree_;
    }
    switch (n.kind_) {
        case NodeKind::Field:
            constant = false;
            break;
        case NodeKind::Function:
            if (n.function() == FunctionId::Deleted || n.function() == FunctionId::Recno)
                constant = false;
            break;
        case NodeKind::Compare:
            // String comparisons other than '==' follow settings().exact.
            if (n.kids_[0]->type_ == ExprType::Character && n.compareOp() != CompareOp::ExactEqual)
                settingsFree = false;
            break;
        default:
            break;
    }
    n.constant_ = constant;
    n.settingsFree_ = settingsFree;
    if (constant && settingsFree) {
        ExprEval::eval(n, RecordRef{});
        n.folded_ = true;
    }
}

const std::string& ExprAnalysis::literal(const ExprNode& n) {
    return n.literal_;
}

std::string_view ExprNode::functionName() const {
    if (kind_ != NodeKind::Function) return {};
    return kFunctionNames[op_];
}

const Value& ExprNode::constantValue() const {
    if (!constant_)
        throw qv::Error(
            qv::ErrorCode::InvalidArgument,
            "Der Teilausdruck an Position " + std::to_string(pos_) + " hängt vom Datensatz ab");
    // Record-independent: no field, deleted() or recno() below reads the record.
    return ExprEval::eval(*this, RecordRef{});
}

std::string ExprNode::canonicalText() const {
    std::string out;
    canonical(*this, out);
    return out;
}

}  // namespace xb
