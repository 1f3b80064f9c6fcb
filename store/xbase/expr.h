// Compiled xBase expressions: the key expressions and FOR conditions of index
// tags, filters and queries, and the expressions the program evaluates on a
// single record ("str(eindeutig,8)").
//
// An expression is compiled once against a table's field list and then
// evaluated on many records. Compiling checks everything that can be checked
// without a record (syntax, field and function names, argument counts, the
// type of every operand), so an evaluation cannot fail.
//
// The language:
//   operands   field names (any case), numbers (123, 12.5, .5), strings in
//              double or single quotes (no escapes), .T. .F. (also .Y. .N.)
//   operators  by falling precedence: unary - and +;  * /;  + -;
//              = == <> # != < <= > >=;  .not. not !;  .and. and;  .or. or
//              The bare words not/and/or are operators only where an
//              operator can stand, so fields called NOT or NOTE still work.
//   functions  upper(c) lower(c) str(n[,w[,d]]) alltrim(c) trim(c) rtrim(c)
//              ltrim(c) deleted() recno() val(c) dtos(d) substr(c,n[,n])
//              left(c,n) right(c,n) len(c) empty(x)
//   types      character + character = concatenation; character - character
//              moves the left side's trailing blanks to the end of the result;
//              date + number, number + date, date - number give dates (the
//              number is cut to whole days); date - date gives the number of
//              days; a division by zero gives 0.
//
// Fields: C as their raw bytes of full width, N (and F) through parseNumber()
// (blank = 0), D as Julian days (anything but a valid date is the empty date
// 0), L true for T t Y y. Memo and other field types are refused.
//
// Functions in detail: str() formats with formatNumber(); a width below 1
// means 10 and widths above kMaxStrWidth are cut to it. Without a width a
// field prints with its own width and decimals, a literal with ten places
// plus the decimals it was written with (str(1.5) is 12 wide), a computed
// number with ten places plus its decimals (the larger of the operands' for
// + and -, their sum for *, at least two for /). upper() uses the catalogue's
// table (upper1252), lower() its inverse. The trims remove blanks (0x20).
// substr(c, start[, count]) counts from 1; start 0 is 1, a negative start
// counts from the right end. empty() is true for blanks (and tabs, CR, LF),
// 0, the empty date and .F..
//
// Comparisons: numbers as doubles, dates as Julian days, .F. < .T., strings
// by unsigned bytes. String '=' (and '<>', '<', ...) follows
// settings().exact at the time of the evaluation: with exact off the right
// side only has to be a prefix of the left ("ABC" = "AB" and "ABC" = "" are
// true); with exact on trailing blanks of the longer side are ignored.
// '==' always compares whole values, trailing blanks included.
//
// Evaluation does not allocate: every node owns a result buffer sized at
// compile time from the widths of the fields involved. A compiled expression
// is not safe to evaluate from two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/field.h"

namespace xb {

enum class ExprType : std::uint8_t { Character, Numeric, Date, Logical };

// The German name of a type as error messages use it ("Zeichenkette").
const char* exprTypeName(ExprType t);

// The result of an evaluation. Only the member of the value's type is
// meaningful.
struct Value {
    ExprType type = ExprType::Logical;
    std::string_view chars;  // Character: the bytes (Windows-1252)
    double number = 0;       // Numeric: the number; Date: the Julian day (0 = empty date)
    bool logical = false;    // Logical

    // Date: the Julian day as an integer (0 for the empty date or a value
    // outside the calendar).
    std::int32_t julianDay() const;
};

// ---- read-only view of a compiled expression ---------------------------------
//
// The optimiser walks this tree to find clauses an index tag can answer.
// Chains of .and., .or. and of character '+' are flattened into one node with
// all operands as children; unary '+' leaves no node.

enum class NodeKind : std::uint8_t {
    Field,       // a field of the record; fieldIndex(), fieldName()
    Constant,    // a literal number, string or logical
    Function,    // a function call; function(), functionName()
    And,         // two or more children
    Or,          // two or more children
    Not,         // one child
    Compare,     // two children; compareOp()
    Arithmetic,  // two children; arithOp(): numbers, and dates with numbers
    Concat,      // character '+' (two or more children) or '-' (two children); arithOp()
    Negate,      // unary minus, one child
};

enum class CompareOp : std::uint8_t {
    Equal,         // =   (follows settings().exact for strings)
    ExactEqual,    // ==
    NotEqual,      // <> # !=
    Less,          // <
    LessEqual,     // <=
    Greater,       // >
    GreaterEqual,  // >=
};

// Whether a three-way comparison result c (<0, 0, >0) satisfies op. Both
// sides have already been compared the way op asks (prefix or exact).
constexpr bool compareHolds(CompareOp op, int c) {
    switch (op) {
        case CompareOp::Equal:
        case CompareOp::ExactEqual:
            return c == 0;
        case CompareOp::NotEqual:
            return c != 0;
        case CompareOp::Less:
            return c < 0;
        case CompareOp::LessEqual:
            return c <= 0;
        case CompareOp::Greater:
            return c > 0;
        case CompareOp::GreaterEqual:
            return c >= 0;
    }
    return false;
}

enum class ArithOp : std::uint8_t { Add, Subtract, Multiply, Divide };

enum class FunctionId : std::uint8_t {
    Upper,
    Lower,
    Str,
    Alltrim,
    Trim,  // trim() and rtrim()
    Ltrim,
    Deleted,
    Recno,
    Val,
    Dtos,
    Substr,
    Left,
    Right,
    Len,
    Empty,
};

class Expr;

class ExprNode {
  public:
    ExprNode(const ExprNode&) = delete;
    ExprNode& operator=(const ExprNode&) = delete;
    ~ExprNode();

    NodeKind kind() const { return kind_; }
    ExprType type() const { return type_; }
    std::size_t childCount() const { return kids_.size(); }
    const ExprNode& child(std::size_t i) const { return *kids_[i]; }

    // Compare nodes.
    CompareOp compareOp() const { return static_cast<CompareOp>(op_); }
    // Arithmetic and Concat nodes.
    ArithOp arithOp() const { return static_cast<ArithOp>(op_); }
    // Function nodes; the name is the canonical lower-case one ("trim" for rtrim).
    FunctionId function() const { return static_cast<FunctionId>(op_); }
    std::string_view functionName() const;
    // Field nodes: the position in the field list compiled against, and the
    // field's name as the list has it.
    int fieldIndex() const { return fieldIndex_; }
    const std::string& fieldName() const { return fieldName_; }

    // True when the value does not depend on the record (no field, deleted()
    // or recno() below). A constant string comparison still depends on
    // settings().exact.
    bool isConstant() const { return constant_; }
    // The value of a constant subtree under the current settings. Only for
    // nodes where isConstant() is true (throws qv::Error(InvalidArgument)
    // otherwise). Valid until the expression is evaluated again.
    const Value& constantValue() const;

    // A text of the subtree that does not depend on how it was written:
    // lower-case names, no blanks outside strings, dotted operators, "<>" for
    // every inequality, "trim" for "rtrim", numbers without leading zeros,
    // parentheses only where needed. Compiling the canonical text gives the
    // same tree again.
    std::string canonicalText() const;

    // Position of the node's first character in the expression text, from 1.
    std::size_t position() const { return pos_; }

  private:
    friend class Expr;
    friend class ExprParser;
    friend struct ExprEval;
    friend struct ExprAnalysis;

    ExprNode() = default;

    NodeKind kind_ = NodeKind::Constant;
    ExprType type_ = ExprType::Logical;
    std::uint8_t op_ = 0;    // CompareOp, ArithOp or FunctionId
    std::uint8_t code_ = 0;  // what the evaluator runs for the node
    bool constant_ = false;
    bool settingsFree_ = true;  // the value does not depend on settings()
    bool folded_ = false;       // value computed once at compile time
    std::uint16_t height_ = 1;  // longest path to a leaf, counted in nodes
    std::uint32_t pos_ = 0;
    std::vector<ExprNode*> kids_;

    int fieldIndex_ = -1;
    std::uint16_t offset_ = 0;  // field: offset in the record
    std::uint16_t len_ = 0;     // field: width
    std::string fieldName_;
    std::string literal_;  // Constant: canonical literal text

    // Numbers: width and decimals str() uses when no width is given.
    std::uint16_t dispWidth_ = 10;
    std::uint8_t dispDec_ = 0;

    // Character results: the longest result the node can produce.
    std::size_t bound_ = 0;

    mutable Value val_;
    mutable std::unique_ptr<char[]> buf_;
    mutable std::size_t cap_ = 0;
};

// ---- compiled expression ------------------------------------------------------

class Expr {
  public:
    // Longest accepted expression text, deepest nesting of parentheses,
    // function calls and prefix operators, and the deepest tree.
    static constexpr std::size_t kMaxTextLength = 4096;
    static constexpr int kMaxNesting = 64;
    static constexpr int kMaxHeight = 256;
    // Longest character result any node may produce, and the widest str().
    static constexpr std::size_t kMaxResultLength = 1 << 20;
    static constexpr int kMaxStrWidth = 255;
    // Longest character key of an index tag; longer results are cut.
    static constexpr std::size_t kMaxKeyLength = 250;

    // Compiles `text` (Windows-1252 bytes) against the fields of a table.
    // Throws qv::Error(ErrorCode::Syntax) with a German message naming the
    // expression, what is wrong and where:
    //   Ungültiger Ausdruck "upper(bezeich)="WIN": Zeichenkette nicht abgeschlossen (Position 16)
    static Expr compile(std::string_view text, const FieldList& fields);
    // As compile(), and the result must be logical (FOR conditions, filters,
    // queries).
    static Expr compileCondition(std::string_view text, const FieldList& fields);

    Expr();  // empty; only for assigning a compiled expression later
    Expr(Expr&&) noexcept;
    Expr& operator=(Expr&&) noexcept;
    ~Expr();

    bool empty() const { return impl_ == nullptr; }
    // The text as compiled.
    const std::string& text() const;
    ExprType type() const;

    // Character results: the length of the result on the blank record (every
    // field blank), as index keys take it. 0 means an index tag cannot be
    // built on the expression. For other types 0.
    std::size_t blankWidth() const;
    // The key length of an index tag over the expression: 8 for numbers and
    // dates, 1 for logicals, for characters blankWidth() cut to kMaxKeyLength.
    std::size_t keyLength() const;

    // Evaluates on one record. `rec.data` must hold a whole record of the
    // field list compiled against (deletion flag at byte 0). The returned
    // value, including the bytes of a character result, belongs to the
    // expression and stays valid until its next evaluation.
    const Value& evaluate(const RecordRef& rec);
    // For logical expressions: the result. Throws qv::Error(InvalidArgument)
    // when the expression is not logical.
    bool evalBool(const RecordRef& rec);
    // Writes the index key of the record into out[0, keyLen): character
    // results cut or padded with blanks to keyLen; numbers and dates as the
    // 8-byte form of encodeNumKey(); logicals as 'T' or 'F'. Bytes past the
    // fixed-size forms are set to 0. Throws qv::Error(InvalidArgument) when
    // keyLen is too short for a fixed-size form.
    void evalKey(const RecordRef& rec, std::uint8_t* out, std::size_t keyLen);

    // The compiled tree, for analysis.
    const ExprNode& root() const;
    std::string canonicalText() const { return root().canonicalText(); }

  private:
    struct Impl;
    explicit Expr(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Rewrites the bare word operators not, and, or into .not., .and., .or. where
// they stand as operators, keeping each word's case; strings and everything
// else stay byte for byte ("not deleted()" gives ".not. deleted()"). Index
// files store key and FOR texts this way, so other xBase programs can read
// them. A text that cannot be read to its end is rewritten up to that point.
std::string dottedOperators(std::string_view text);

}  // namespace xb
