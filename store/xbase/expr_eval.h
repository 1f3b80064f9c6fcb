// Evaluation of a compiled expression tree. Every node has an evaluation
// code chosen once from its kind and operand types, a result value and, where
// it builds bytes, a buffer sized at compile time; evaluating only writes into
// those.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/expr.h"
#include "store/xbase/field.h"

namespace xb {

// One piece of a key written straight from the record (see
// ExprEval::keyPlan).
struct KeyPiece {
    enum class Kind : std::uint8_t {
        Field,   // a character field as stored
        Number,  // str() of a numeric field
        Text     // the bytes of a constant, in capitals already where asked
    };
    Kind kind = Kind::Field;
    bool upper = false;        // in capitals
    std::uint16_t offset = 0;  // the field's place in the record
    std::uint16_t len = 0;
    std::uint16_t width = 0;  // Number: the width and decimals str() writes
    std::uint8_t decimals = 0;
    std::string text;  // Text: the bytes
};

// A condition that compares a numeric field with a constant, either way
// round, tested on the record without the tree (see ExprEval::numberTest).
struct NumberTest {
    bool active = false;
    CompareOp op = CompareOp::Equal;  // as `field op constant`
    std::uint16_t offset = 0;         // the field's place in the record
    std::uint16_t len = 0;
    double constant = 0;
};

struct ExprEval {
    // Chooses the evaluation codes of the tree below `root`, works out the
    // longest character result of every node and allocates the buffers.
    // Throws qv::Error(Syntax) naming `text` when a result could grow beyond
    // Expr::kMaxResultLength or the buffers together beyond a sane size.
    static void prepare(ExprNode& root, std::string_view text);

    // The value of `n` on the record. Never allocates once prepared.
    static const Value& eval(const ExprNode& n, const RecordRef& r);

    // For a character expression made only of character fields, str() of
    // numeric fields, constants, upper() and '+': its value as pieces written
    // one after another, so that a key is made in place without the values
    // in between. Empty for every other expression.
    static std::vector<KeyPiece> keyPlan(const ExprNode& root);
    // Writes the value `plan` gives on the record to `out`, cut to `room`
    // bytes; returns the bytes written.
    static std::size_t writeKey(const std::vector<KeyPiece>& plan, const RecordRef& r,
                                std::uint8_t* out, std::size_t room);

    // For a comparison of a numeric field with a constant number: the test
    // that gives the same answer on every record. Inactive for every other
    // expression.
    static NumberTest numberTest(const ExprNode& root);
    static bool holds(const NumberTest& t, const RecordRef& r);

  private:
    // Adds the pieces of `n` to `plan` (in capitals under upper()); false
    // when `n` is of a shape no plan covers.
    static bool addPieces(const ExprNode& n, bool upper, std::vector<KeyPiece>& plan);
};

// -1, 0 or 1: how `a` compares with `b` under the string rules: unsigned
// bytes; when one is a prefix of the other, with exact off the left is equal
// when the right is no longer than it, and with exact on trailing blanks of
// the longer one are ignored.
int compareStrings(std::string_view a, std::string_view b, bool exact);

}  // namespace xb
