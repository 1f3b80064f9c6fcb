// Builds the typed tree of an expression text: recursive descent over the
// tokens, one function per precedence level, with every operand's type
// checked as the node is made.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "store/xbase/expr.h"
#include "store/xbase/expr_lexer.h"
#include "store/xbase/field.h"

namespace xb {

class ExprParser {
  public:
    // Nodes are created in `arena`, which owns them.
    ExprParser(std::string_view text, const FieldList& fields,
               std::vector<std::unique_ptr<ExprNode>>& arena);

    // Parses the whole text; throws qv::Error(Syntax) on any fault.
    ExprNode* parse();

  private:
    using Tok = exprdetail::Tok;
    using Token = exprdetail::Token;

    ExprNode* parseOr();
    ExprNode* parseAnd();
    ExprNode* parseNot();
    ExprNode* parseCompare();
    ExprNode* parseAdd();
    ExprNode* parseMul();
    ExprNode* parseUnary();
    ExprNode* parsePrimary();
    ExprNode* parseNumber(const Token& t);
    ExprNode* parseString(const Token& t);
    ExprNode* parseField(const Token& t);
    ExprNode* parseCall(const Token& name);

    // The node for `left op right` of + or -, checking the operand types.
    ExprNode* makeAdditive(const Token& op, ExprNode* left, ExprNode* right);
    // Appends `n` to a flattened and/or/concat node, splicing in the children
    // of a node of the same kind.
    void addFlattened(ExprNode* parent, ExprNode* n);
    // A computed number shows in str() without a width with ten places
    // before the point, then its decimals.
    static void setComputedDisplay(ExprNode* n, int decimals);

    ExprNode* make(NodeKind kind, ExprType type, std::size_t pos);
    void addChild(ExprNode* parent, ExprNode* child);

    const Token& cur() const { return toks_[at_]; }
    const Token& peek(std::size_t ahead = 1) const;
    Token take();
    bool atWord(std::string_view lowerName) const;
    bool atWordOperatorNot() const;

    void enter(const Token& t);
    void leave() { --depth_; }

    [[noreturn]] void fail(std::string_view reason, std::size_t pos) const;
    // Reports the current token where an operand or operator was expected.
    [[noreturn]] void failUnexpected(const Token& t) const;
    [[noreturn]] void failTypes(const Token& op, ExprType a, ExprType b) const;
    void requireType(const Token& op, const ExprNode* n, ExprType want, const char* what) const;

    std::string_view text_;
    const FieldList& fields_;
    std::vector<std::unique_ptr<ExprNode>>& arena_;
    std::vector<Token> toks_;
    std::size_t at_ = 0;
    int depth_ = 0;
};

}  // namespace xb
