// The dotted spelling of the bare word operators, for the texts index files
// store.
#include "store/xbase/expr.h"
#include "store/xbase/expr_lexer.h"

namespace xb {

std::string dottedOperators(std::string_view text) {
    using exprdetail::Tok;
    const std::vector<exprdetail::Token> toks = exprdetail::tokenize(text);
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t copied = 0;
    // Read as the compiler reads: where an operand is due, "not" before an
    // operand is the operator and any other word is a name; after an
    // operand, "and" and "or" are the operators.
    bool operandDue = true;
    for (std::size_t i = 0; i < toks.size(); ++i) {
        const exprdetail::Token& t = toks[i];
        if (t.kind == Tok::End || t.kind == Tok::Bad) break;
        if (t.kind != Tok::Ident) {
            operandDue = !exprdetail::endsOperand(t.kind);
            continue;
        }
        const std::string_view word = t.in(text);
        bool isOperator;
        if (operandDue) {
            isOperator =
                exprdetail::sameWord(word, "not") && exprdetail::beginsOperand(toks[i + 1].kind);
            operandDue = isOperator;
        } else {
            isOperator = exprdetail::sameWord(word, "and") || exprdetail::sameWord(word, "or");
            operandDue = isOperator;
        }
        if (!isOperator) continue;
        out.append(text.substr(copied, t.pos - copied));
        out += '.';
        out.append(word);
        out += '.';
        copied = t.pos + t.len;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace xb
