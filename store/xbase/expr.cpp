#include "store/xbase/expr.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/expr_analysis.h"
#include "store/xbase/expr_eval.h"
#include "store/xbase/expr_lexer.h"
#include "store/xbase/expr_parser.h"

namespace xb {

const char* exprTypeName(ExprType t) {
    switch (t) {
        case ExprType::Character:
            return "Zeichenkette";
        case ExprType::Numeric:
            return "Zahl";
        case ExprType::Date:
            return "Datum";
        case ExprType::Logical:
            return "logischer Wert";
    }
    return "";
}

std::int32_t Value::julianDay() const {
    if (!(number > 0 && number <= 2147483647.0)) return 0;
    return static_cast<std::int32_t>(number);
}

ExprNode::~ExprNode() = default;

struct Expr::Impl {
    std::string text;
    std::vector<std::unique_ptr<ExprNode>> nodes;
    ExprNode* root = nullptr;
    std::size_t recordLength = 1;
    std::size_t blankWidth = 0;
    // A character result that lies in the record is copied here, so that it
    // stays valid when the caller changes the record.
    Value result;
    std::unique_ptr<char[]> resultBuf;
    std::size_t resultCap = 0;
    // Keys of a character expression of fields, made in place.
    std::vector<KeyPiece> keyPlan;
    // Conditions of a numeric field against a constant, tested in place.
    NumberTest numberTest;
};

Expr::Expr() = default;
Expr::Expr(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Expr::Expr(Expr&&) noexcept = default;
Expr& Expr::operator=(Expr&&) noexcept = default;
Expr::~Expr() = default;

Expr Expr::compile(std::string_view text, const FieldList& fields) {
    if (text.size() > kMaxTextLength)
        exprdetail::throwSyntax(text, "der Ausdruck ist zu lang (" + std::to_string(text.size()) +
                                          " Zeichen, höchstens " + std::to_string(kMaxTextLength) +
                                          ")");
    auto impl = std::make_unique<Impl>();
    impl->text = std::string(text);
    ExprParser parser(impl->text, fields, impl->nodes);
    impl->root = parser.parse();
    ExprEval::prepare(*impl->root, impl->text);
    ExprAnalysis::markConstants(*impl->root);

    impl->recordLength = fields.recordLength();
    impl->result.type = impl->root->type();
    if (impl->root->type() == ExprType::Character) {
        impl->resultCap = impl->root->bound_ > 0 ? impl->root->bound_ : 1;
        impl->resultBuf.reset(new char[impl->resultCap]);
        // The width index keys take: the result on the blank record.
        const std::vector<std::uint8_t> blank(impl->recordLength, ' ');
        impl->blankWidth = ExprEval::eval(*impl->root, RecordRef{blank.data(), 0}).chars.size();
        impl->keyPlan = ExprEval::keyPlan(*impl->root);
    }
    impl->numberTest = ExprEval::numberTest(*impl->root);
    return Expr(std::move(impl));
}

Expr Expr::compileCondition(std::string_view text, const FieldList& fields) {
    Expr e = compile(text, fields);
    if (e.type() != ExprType::Logical)
        exprdetail::throwSyntax(text, std::string("die Bedingung ergibt keinen logischen Wert, "
                                                  "sondern ") +
                                          exprTypeName(e.type()));
    return e;
}

const std::string& Expr::text() const {
    return impl_->text;
}
ExprType Expr::type() const {
    return impl_->root->type();
}
std::size_t Expr::blankWidth() const {
    return impl_->blankWidth;
}
const ExprNode& Expr::root() const {
    return *impl_->root;
}

std::size_t Expr::keyLength() const {
    switch (type()) {
        case ExprType::Character:
            return impl_->blankWidth < kMaxKeyLength ? impl_->blankWidth : kMaxKeyLength;
        case ExprType::Numeric:
        case ExprType::Date:
            return kNumKeyLen;
        case ExprType::Logical:
            return 1;
    }
    return 0;
}

const Value& Expr::evaluate(const RecordRef& rec) {
    const Value& v = ExprEval::eval(*impl_->root, rec);
    if (v.type != ExprType::Character || v.chars.empty()) return v;
    const auto p = reinterpret_cast<std::uintptr_t>(v.chars.data());
    const auto begin = reinterpret_cast<std::uintptr_t>(rec.data);
    if (p < begin || p >= begin + impl_->recordLength) return v;
    if (v.chars.size() > impl_->resultCap) {
        impl_->resultBuf.reset(new char[v.chars.size()]);
        impl_->resultCap = v.chars.size();
    }
    std::memcpy(impl_->resultBuf.get(), v.chars.data(), v.chars.size());
    impl_->result.chars = std::string_view(impl_->resultBuf.get(), v.chars.size());
    return impl_->result;
}

bool Expr::evalBool(const RecordRef& rec) {
    if (type() != ExprType::Logical)
        throw qv::Error(
            qv::ErrorCode::InvalidArgument,
            "Der Ausdruck \"" + cp1252ToUtf8(impl_->text) + "\" ergibt keinen logischen Wert");
    if (impl_->numberTest.active) return ExprEval::holds(impl_->numberTest, rec);
    return ExprEval::eval(*impl_->root, rec).logical;
}

void Expr::evalKey(const RecordRef& rec, std::uint8_t* out, std::size_t keyLen) {
    if (!impl_->keyPlan.empty()) {
        const std::size_t used = ExprEval::writeKey(impl_->keyPlan, rec, out, keyLen);
        std::memset(out + used, ' ', keyLen - used);
        return;
    }
    const Value& v = ExprEval::eval(*impl_->root, rec);
    std::size_t used;
    switch (v.type) {
        case ExprType::Character: {
            used = v.chars.size() < keyLen ? v.chars.size() : keyLen;
            if (used) std::memcpy(out, v.chars.data(), used);
            std::memset(out + used, ' ', keyLen - used);
            return;
        }
        case ExprType::Numeric:
        case ExprType::Date:
            used = kNumKeyLen;
            if (keyLen < used) break;
            encodeNumKey(v.number, out);
            std::memset(out + used, 0, keyLen - used);
            return;
        case ExprType::Logical:
            used = 1;
            if (keyLen < used) break;
            out[0] = v.logical ? 'T' : 'F';
            std::memset(out + used, 0, keyLen - used);
            return;
    }
    throw qv::Error(qv::ErrorCode::InvalidArgument,
                    "Der Schlüssel des Ausdrucks \"" + cp1252ToUtf8(impl_->text) +
                        "\" passt nicht in " + std::to_string(keyLen) + " Bytes");
}

}  // namespace xb
