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
    for (std::size_t i = 0; i < toks.size(); ++i) {
        const exprdetail::Token& t = toks[i];
        if (t.kind == Tok::End || t.kind == Tok::Bad) break;
        if (t.kind != Tok::Ident) continue;
        const std::string_view word = t.in(text);
        // The same reading as the compiler's: and/or after an operand, not
        // where an operand may begin and one follows.
        const bool afterOperand = i > 0 && exprdetail::endsOperand(toks[i - 1].kind);
        bool isOperator = false;
        if (exprdetail::sameWord(word, "and") || exprdetail::sameWord(word, "or")) {
            isOperator = afterOperand;
        } else if (exprdetail::sameWord(word, "not")) {
            isOperator = !afterOperand && exprdetail::beginsOperand(toks[i + 1].kind);
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
