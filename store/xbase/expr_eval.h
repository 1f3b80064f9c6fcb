// Evaluation of a compiled expression tree. Every node has an evaluation
// code chosen once from its kind and operand types, a result value and, where
// it builds bytes, a buffer sized at compile time; evaluating only writes into
// those.
#pragma once

#include <cstddef>
#include <string_view>

#include "store/xbase/expr.h"
#include "store/xbase/field.h"

namespace xb {

struct ExprEval {
    // Chooses the evaluation codes of the tree below `root`, works out the
    // longest character result of every node and allocates the buffers.
    // Throws qv::Error(Syntax) naming `text` when a result could grow beyond
    // Expr::kMaxResultLength or the buffers together beyond a sane size.
    static void prepare(ExprNode& root, std::string_view text);

    // The value of `n` on the record. Never allocates once prepared.
    static const Value& eval(const ExprNode& n, const RecordRef& r);
};

// -1, 0 or 1: how `a` compares with `b` under the string rules: unsigned
// bytes; when one is a prefix of the other, with exact off the left is equal
// when the right is no longer than it, and with exact on trailing blanks of
// the longer one are ignored.
int compareStrings(std::string_view a, std::string_view b, bool exact);

}  // namespace xb
