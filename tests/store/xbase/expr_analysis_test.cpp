// The read-only tree the query optimiser walks, canonical texts, and the
// dotted spelling index files store.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expr_test_support.h"
#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "store/xbase/settings.h"

namespace {

std::string canonical(const std::string& text, const xb::FieldList& fields) {
    return xb::Expr::compile(text, fields).canonicalText();
}

// ---- query shapes -----------------------------------------------------------------

struct Clause {
    const char* text;
    const char* tagKey;    // the tag whose key the left side matches
    const char* field;     // field under the left side
    const char* constant;  // character constant, or nullptr for the box number
    const char* canonical;
};

// The entry query joins one to four clauses with " .and. " or " .or.  " in
// the order title, category, carrier type, box.
std::string joinQuery(const std::vector<const Clause*>& clauses, bool useOr) {
    const std::string joiner = useOr ? " .or.  " : " .and. ";
    std::string s;
    for (const Clause* c : clauses)
        s += joiner + c->text;
    return s.substr(joiner.size());
}

TEST(ExprAnalysis, QueryShapesExposeFieldAndConstantOfEveryClause) {
    const xb::FieldList disk = exprtest::diskLayout();
    const Clause title{R"(upper(bezeich)="WIN")", "upper(bezeich)", "BEZEICH", "WIN",
                       R"(upper(bezeich)="WIN")"};
    const Clause category{R"(upper(kategorie)="SPIELE")", "upper(kategorie)", "KATEGORIE", "SPIELE",
                          R"(upper(kategorie)="SPIELE")"};
    const Clause carrier{R"(upper(diskart)="CD")", "upper(diskart)", "DISKART", "CD",
                         R"(upper(diskart)="CD")"};
    const Clause box{"boxnummer=7", "boxnummer", "BOXNUMMER", nullptr, "boxnummer=7"};
    const Clause boxZeros{"boxnummer=007", "boxnummer", "BOXNUMMER", nullptr, "boxnummer=7"};

    for (const Clause* boxClause : {&box, &boxZeros}) {
        const Clause* all[] = {&title, &category, &carrier, boxClause};
        for (int mask = 1; mask < 16; ++mask) {
            std::vector<const Clause*> used;
            for (int i = 0; i < 4; ++i)
                if (mask & (1 << i)) used.push_back(all[i]);
            for (bool useOr : {false, true}) {
                const std::string text = joinQuery(used, useOr);
                SCOPED_TRACE(text);
                xb::Expr e = xb::Expr::compileCondition(text, disk);
                const xb::ExprNode& root = e.root();
                std::vector<const xb::ExprNode*> clauses;
                if (used.size() == 1) {
                    clauses.push_back(&root);
                } else {
                    ASSERT_EQ(root.kind(), useOr ? xb::NodeKind::Or : xb::NodeKind::And);
                    ASSERT_EQ(root.childCount(), used.size());
                    for (std::size_t i = 0; i < root.childCount(); ++i)
                        clauses.push_back(&root.child(i));
                }
                std::string expected;
                for (std::size_t i = 0; i < used.size(); ++i) {
                    const Clause& want = *used[i];
                    const xb::ExprNode& c = *clauses[i];
                    ASSERT_EQ(c.kind(), xb::NodeKind::Compare);
                    EXPECT_EQ(c.compareOp(), xb::CompareOp::Equal);
                    EXPECT_FALSE(c.isConstant());
                    const xb::ExprNode& left = c.child(0);
                    const xb::ExprNode& right = c.child(1);
                    EXPECT_FALSE(left.isConstant());
                    ASSERT_TRUE(right.isConstant());
                    EXPECT_EQ(right.kind(), xb::NodeKind::Constant);
                    // The left side is the very key of a tag.
                    EXPECT_EQ(left.canonicalText(), canonical(want.tagKey, disk));
                    const xb::ExprNode* field = &left;
                    if (want.constant) {
                        ASSERT_EQ(left.kind(), xb::NodeKind::Function);
                        EXPECT_EQ(left.function(), xb::FunctionId::Upper);
                        EXPECT_EQ(left.functionName(), "upper");
                        ASSERT_EQ(left.childCount(), 1u);
                        field = &left.child(0);
                        EXPECT_EQ(right.type(), xb::ExprType::Character);
                        EXPECT_EQ(right.constantValue().chars, want.constant);
                    } else {
                        EXPECT_EQ(right.type(), xb::ExprType::Numeric);
                        EXPECT_EQ(right.constantValue().number, 7);
                    }
                    ASSERT_EQ(field->kind(), xb::NodeKind::Field);
                    EXPECT_EQ(field->fieldName(), want.field);
                    EXPECT_EQ(field->fieldIndex(), disk.find(want.field));
                    if (i) expected += useOr ? ".or." : ".and.";
                    expected += want.canonical;
                }
                EXPECT_EQ(e.canonicalText(), expected);
                EXPECT_EQ(canonical(e.canonicalText(), disk), expected);
            }
        }
    }
}

// ---- the catalogue's key and condition texts ------------------------------------

struct TagText {
    int table;  // 0 entry, 1 file, 2 extension, 3 category, 4 carrier type, 5 address
    const char* key;
    const char* condition;  // "" for none
    std::size_t keyLength;
    const char* canonicalCondition;
};

const TagText kCatalogueTags[] = {
    {0, "eindeutig", "not deleted()", 8, ".not.deleted()"},
    {0, "upper(bezeich)", "not deleted()", 50, ".not.deleted()"},
    {0, "str(boxnummer,5)+str(disknummer,5)", "not deleted()", 10, ".not.deleted()"},
    {0, "upper(kategorie)", "not deleted()", 20, ".not.deleted()"},
    {0, "upper(diskart)", "not deleted()", 15, ".not.deleted()"},
    {0, "upper(diskart)", "", 15, ""},
    {0, "upper(kategorie)", "", 20, ""},
    {0, "upper(bezeich)", "", 50, ""},
    {0, "boxnummer", "", 8, ""},
    {1, "str(dirnumm,8)+dirpfad", "", 94, ""},
    {1, "upper(dirname+direndung)+str(dirnumm,8)", "dirnumm<99999999", 26, "dirnumm<99999999"},
    {1, "upper(direndung)+dirname+str(dirnumm,8)", "dirnumm<99999999", 26, "dirnumm<99999999"},
    {2, "upper(endung)", "not deleted()", 3, ".not.deleted()"},
    {3, "upper(katego)", "not deleted()", 20, ".not.deleted()"},
    {4, "upper(cdiskart)", "not deleted()", 15, ".not.deleted()"},
    {5, "str(vnummer,5)", "not deleted() .and. vnummer<99999", 5,
     ".not.deleted().and.vnummer<99999"},
    {5, "upper(vname)", "not deleted() .and. vnummer>0 .and. vnummer<99999", 40,
     ".not.deleted().and.vnummer>0.and.vnummer<99999"},
    {5, "upper(vplz)", "not deleted() .and. vnummer>0 .and. vnummer<99999", 6,
     ".not.deleted().and.vnummer>0.and.vnummer<99999"},
    {5, "upper(vort)", "not deleted() .and. vnummer>0 .and. vnummer<99999", 40,
     ".not.deleted().and.vnummer>0.and.vnummer<99999"},
};

std::vector<xb::FieldList> catalogueLayouts() {
    return {exprtest::diskLayout(),
            exprtest::dirLayout(),
            xb::FieldList({{"ENDUNG", 'C', 3, 0}, {"BEZEICH", 'C', 40, 0}}),
            xb::FieldList({{"KATEGO", 'C', 20, 0}, {"ANZAHL", 'N', 6, 0}}),
            xb::FieldList({{"CDISKART", 'C', 15, 0}}),
            exprtest::addressLayout()};
}

TEST(ExprAnalysis, CatalogueKeysAndConditionsCompileToStableCanonicalTexts) {
    const std::vector<xb::FieldList> layouts = catalogueLayouts();
    for (const TagText& t : kCatalogueTags) {
        SCOPED_TRACE(t.key);
        const xb::FieldList& fields = layouts[static_cast<std::size_t>(t.table)];
        xb::Expr key = xb::Expr::compile(t.key, fields);
        EXPECT_EQ(key.keyLength(), t.keyLength);
        // Key texts are already canonical; compiling the canonical text again
        // changes nothing.
        EXPECT_EQ(key.canonicalText(), t.key);
        EXPECT_FALSE(key.root().isConstant());
        if (!*t.condition) continue;
        xb::Expr cond = xb::Expr::compileCondition(t.condition, fields);
        EXPECT_EQ(cond.canonicalText(), t.canonicalCondition);
        EXPECT_EQ(canonical(cond.canonicalText(), fields), t.canonicalCondition);
        // The dotted spelling the index stores means the same.
        EXPECT_EQ(canonical(xb::dottedOperators(t.condition), fields), t.canonicalCondition);
        const xb::ExprNode& root = cond.root();
        const xb::ExprNode& first = root.kind() == xb::NodeKind::And ? root.child(0) : root;
        if (std::string(t.condition).rfind("not", 0) == 0) {
            ASSERT_EQ(first.kind(), xb::NodeKind::Not);
            EXPECT_EQ(first.child(0).function(), xb::FunctionId::Deleted);
            EXPECT_FALSE(first.isConstant());
        }
    }
}

// ---- canonical texts ---------------------------------------------------------------------

TEST(ExprAnalysis, CanonicalTextIgnoresSpellingButNotMeaning) {
    const xb::FieldList disk = exprtest::diskLayout();
    const std::pair<const char*, const char*> same[] = {
        {"UPPER( Bezeich )", "upper(bezeich)"},
        {"not deleted()", ".NOT. Deleted()"},
        {"!deleted()", ".not.deleted()"},
        {"eindeutig <> 1", "eindeutig # 1"},
        {"eindeutig != 1", "eindeutig<>1"},
        {"rtrim(bezeich)", "trim(bezeich)"},
        {"boxnummer = 007", "boxnummer=7"},
        {"boxnummer = 7.50", "boxnummer=0007.50"},
        {"boxnummer = .5", "boxnummer=0.5"},
        {"'abc'", "\"abc\""},
        {"deleted() and .t.", "deleted() .AND. .T."},
        {"((eindeutig))", "eindeutig"},
        {"+eindeutig", "eindeutig"},
        {"bezeich + (kategorie + diskart)", "(bezeich + kategorie) + diskart"},
        {".t. .and. (.f. .and. .t.)", "(.t. .and. .f.) .and. .t."},
        {"eindeutig=1 or (eindeutig=2 or eindeutig=3)",
         "eindeutig=1 .or. eindeutig=2 .or. eindeutig=3"},
    };
    for (const auto& [a, b] : same)
        EXPECT_EQ(canonical(a, disk), canonical(b, disk)) << a << " vs " << b;
    const std::pair<const char*, const char*> different[] = {
        {"\"A  B\"", "\"A B\""},
        {"upper(bezeich)=\"WIN\"", "upper(bezeich)==\"WIN\""},
        {"eindeutig - (boxnummer - 1)", "eindeutig - boxnummer - 1"},
        {"bezeich - (kategorie - diskart)", "bezeich - kategorie - diskart"},
        {"bezeich + (kategorie - diskart)", "bezeich + kategorie - diskart"},
        {"eindeutig / 2 * 3", "eindeutig / (2 * 3)"},
        {"boxnummer = 7", "boxnummer = 7.0"},
    };
    for (const auto& [a, b] : different)
        EXPECT_NE(canonical(a, disk), canonical(b, disk)) << a << " vs " << b;
}

TEST(ExprAnalysis, CanonicalTextsCompileBackToTheSameTree) {
    const xb::FieldList disk = exprtest::diskLayout();
    exprtest::RecordBuilder rec(disk);
    rec.number("eindeutig", 12).set("bezeich", "Dies  und das  ").number("boxnummer", 3);
    const std::pair<const char*, const char*> cases[] = {
        {"eindeutig - (boxnummer - 1)", "eindeutig-(boxnummer-1)"},
        {"(eindeutig - boxnummer) - 1", "eindeutig-boxnummer-1"},
        {"-(eindeutig + 1) * 2", "-(eindeutig+1)*2"},
        {"- - eindeutig", "--eindeutig"},
        {".not. (.t. .or. deleted())", ".not.(.t..or.deleted())"},
        {"(.not. deleted()) = .f.", "(.not.deleted())=.f."},
        {"eindeutig = 12 = .t.", "eindeutig=12=.t."},
        {".t. = (eindeutig = 12)", ".t.=(eindeutig=12)"},
        {"bezeich + (kategorie - diskart)", "bezeich+(kategorie-diskart)"},
        {"(bezeich - kategorie) + diskart", "bezeich-kategorie+diskart"},
        {"str(eindeutig / 3, 10, 4) + 'x \"y\"'", "str(eindeutig/3,10,4)+'x \"y\"'"},
        {"eindeutig = 1 .and. (boxnummer = 2 .or. boxnummer = 3)",
         "eindeutig=1.and.(boxnummer=2.or.boxnummer=3)"},
        {"(eindeutig = 1 .and. boxnummer = 2) .or. .not. deleted()",
         "eindeutig=1.and.boxnummer=2.or..not.deleted()"},
        {"eindeutig > 1 .and. .not. boxnummer = 3", "eindeutig>1.and..not.boxnummer=3"},
        {"substr(bezeich, 2) = 'ies' .and. empty(leihraus)",
         "substr(bezeich,2)=\"ies\".and.empty(leihraus)"},
        {"len(alltrim(bezeich)) + val('12') * 2.50", "len(alltrim(bezeich))+val(\"12\")*2.50"},
    };
    for (const auto& [text, want] : cases) {
        xb::Expr a = xb::Expr::compile(text, disk);
        EXPECT_EQ(a.canonicalText(), want) << text;
        xb::Expr b = xb::Expr::compile(a.canonicalText(), disk);
        EXPECT_EQ(b.canonicalText(), a.canonicalText()) << text;
        EXPECT_EQ(exprtest::describe(a.evaluate(rec.ref())),
                  exprtest::describe(b.evaluate(rec.ref())))
            << text;
    }
}

// ---- tree view and constants ----------------------------------------------------------

TEST(ExprAnalysis, TreeOfAFileKey) {
    const xb::FieldList dir = exprtest::dirLayout();
    xb::Expr e = xb::Expr::compile("upper(dirname+direndung)+str(dirnumm,8)", dir);
    const xb::ExprNode& root = e.root();
    EXPECT_EQ(root.kind(), xb::NodeKind::Concat);
    EXPECT_EQ(root.arithOp(), xb::ArithOp::Add);
    EXPECT_EQ(root.type(), xb::ExprType::Character);
    ASSERT_EQ(root.childCount(), 2u);
    const xb::ExprNode& up = root.child(0);
    EXPECT_EQ(up.function(), xb::FunctionId::Upper);
    EXPECT_EQ(up.position(), 1u);
    ASSERT_EQ(up.childCount(), 1u);
    EXPECT_EQ(up.child(0).kind(), xb::NodeKind::Concat);
    EXPECT_EQ(up.child(0).canonicalText(), "dirname+direndung");
    EXPECT_EQ(up.child(0).child(1).fieldName(), "DIRENDUNG");
    EXPECT_EQ(up.child(0).child(1).fieldIndex(), 2);
    const xb::ExprNode& str = root.child(1);
    EXPECT_EQ(str.kind(), xb::NodeKind::Function);
    EXPECT_EQ(str.functionName(), "str");
    EXPECT_EQ(str.position(), 26u);
    ASSERT_EQ(str.childCount(), 2u);
    EXPECT_EQ(str.child(0).type(), xb::ExprType::Numeric);
    EXPECT_TRUE(str.child(1).isConstant());
    EXPECT_EQ(str.child(1).constantValue().number, 8);
    EXPECT_EQ(str.canonicalText(), "str(dirnumm,8)");

    // Date arithmetic and negation are visible as such.
    const xb::FieldList mixed = exprtest::mixedLayout();
    xb::Expr d = xb::Expr::compile("datum - 1 > datum .or. datum - datum <= anzahl", mixed);
    ASSERT_EQ(d.root().kind(), xb::NodeKind::Or);
    const xb::ExprNode& dates = d.root().child(0);
    EXPECT_EQ(dates.compareOp(), xb::CompareOp::Greater);
    EXPECT_EQ(dates.child(0).kind(), xb::NodeKind::Arithmetic);
    EXPECT_EQ(dates.child(0).arithOp(), xb::ArithOp::Subtract);
    EXPECT_EQ(dates.child(0).type(), xb::ExprType::Date);
    const xb::ExprNode& days = d.root().child(1);
    EXPECT_EQ(days.compareOp(), xb::CompareOp::LessEqual);
    EXPECT_EQ(days.child(0).type(), xb::ExprType::Numeric);
    EXPECT_EQ(xb::Expr::compile("-anzahl", mixed).root().kind(), xb::NodeKind::Negate);
}

TEST(ExprAnalysis, ConstantSubtrees) {
    xb::SettingsGuard guard;
    const xb::FieldList disk = exprtest::diskLayout();
    exprtest::RecordBuilder rec(disk);
    xb::Expr sum = xb::Expr::compile("eindeutig + (1 + 2) * 2", disk);
    EXPECT_FALSE(sum.root().isConstant());
    const xb::ExprNode& product = sum.root().child(1);
    ASSERT_TRUE(product.isConstant());
    EXPECT_EQ(product.constantValue().number, 6);
    EXPECT_EQ(product.canonicalText(), "(1+2)*2");

    xb::Expr upper = xb::Expr::compile("upper('abc') + str(12, 4)", disk);
    ASSERT_TRUE(upper.root().isConstant());
    EXPECT_EQ(upper.root().constantValue().chars, "ABC  12");

    // A string comparison of constants is constant, but its value follows
    // the exact setting at the time it is asked for.
    xb::Expr cmp = xb::Expr::compile("'ABC' = 'AB'", disk);
    ASSERT_TRUE(cmp.root().isConstant());
    xb::settings().exact = false;
    EXPECT_TRUE(cmp.root().constantValue().logical);
    xb::settings().exact = true;
    EXPECT_FALSE(cmp.root().constantValue().logical);

    for (const char* text : {"recno() = 1", "deleted()", "str(eindeutig)", "empty(bezeich)"}) {
        xb::Expr e = xb::Expr::compile(text, disk);
        EXPECT_FALSE(e.root().isConstant()) << text;
        EXPECT_THROW(e.root().constantValue(), qv::Error) << text;
    }
}

// ---- dotted spelling -----------------------------------------------------------------------

TEST(ExprAnalysis, DottedOperators) {
    const std::pair<const char*, const char*> cases[] = {
        {"not deleted()", ".not. deleted()"},
        {"not deleted() .and. vnummer<99999", ".not. deleted() .and. vnummer<99999"},
        {"not deleted() and vnummer>0 and vnummer<99999",
         ".not. deleted() .and. vnummer>0 .and. vnummer<99999"},
        {"NOT Deleted()", ".NOT. Deleted()"},
        {"a or b", "a .or. b"},
        {"(a)Or(b)", "(a).Or.(b)"},
        {"not(ok)", ".not.(ok)"},
        {"x=1and y=2", "x=1.and. y=2"},
        {"note = 'not and or' .and. \"or\" = nOtE", "note = 'not and or' .and. \"or\" = nOtE"},
        {"  .NOT. Deleted()  .and. n<5", "  .NOT. Deleted()  .and. n<5"},
        {"android + order + nothing", "android + order + nothing"},
        {"not = 'x'", "not = 'x'"},
        {"not not = 'x'", ".not. not = 'x'"},
        {"upper(bezeich)", "upper(bezeich)"},
        {"\"open not", "\"open not"},
        {"a and b and 'x", "a .and. b .and. 'x"},
        {"", ""},
        // Fields called AND and OR stand where an operand is due.
        {"not deleted() and and>0 and and<99999", ".not. deleted() .and. and>0 .and. and<99999"},
        {"and or or", "and .or. or"},
        {"upper(or) = 'x' or not and", "upper(or) = 'x' .or. .not. and"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(xb::dottedOperators(in), out) << in;

    // Where the text compiles, both spellings compile to the same tree.
    const xb::FieldList mixed = exprtest::mixedLayout();
    for (const char* text : {"not ok", "not ok and ok or not ok", "not not = 'x'",
                             "note = 'not' or not(ok)", "anzahl=1and anzahl=2"}) {
        EXPECT_EQ(canonical(text, mixed), canonical(xb::dottedOperators(text), mixed)) << text;
    }
    const xb::FieldList words({{"AND", 'N', 3, 0}, {"OR", 'L', 1, 0}, {"NOT", 'L', 1, 0}});
    for (const char* text : {"not deleted() and and>0 and and<99999", "or and not",
                             "not or and not and = 1", "not(or) or not and = 1"}) {
        EXPECT_EQ(canonical(text, words), canonical(xb::dottedOperators(text), words)) << text;
    }
}

}  // namespace
