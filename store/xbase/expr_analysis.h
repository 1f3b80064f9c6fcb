// Constant analysis of a compiled tree. The canonical text and the constant
// values the optimiser reads are members of ExprNode (expr.h).
#pragma once

#include <string>

#include "store/xbase/expr.h"

namespace xb {

struct ExprAnalysis {
    // Marks every record-independent subtree below `n` as constant and
    // computes, once, the value of those that do not depend on settings()
    // either, so evaluation returns it without work. Needs prepared nodes.
    static void markConstants(ExprNode& n);

    // The canonical text of a literal.
    static const std::string& literal(const ExprNode& n);
};

}  // namespace xb
