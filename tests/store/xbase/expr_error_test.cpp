// Malformed expressions: every fault is reported at compile time with a
// German message that names the expression, says what is wrong and where.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "expr_test_support.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "support/testutil.h"

namespace {

struct BadCase {
    std::string text;    // UTF-8
    std::string reason;  // the message after  Ungültiger Ausdruck "<text>":
};

std::string expectedMessage(const BadCase& c) {
    return "Ungültiger Ausdruck \"" + c.text + "\": " + c.reason;
}

void checkAll(const std::vector<BadCase>& cases, const xb::FieldList& fields) {
    for (const auto& c : cases) {
        try {
            xb::Expr::compile(xb::utf8ToCp1252(c.text), fields);
            ADD_FAILURE() << "compiled: " << c.text;
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Syntax) << c.text;
            EXPECT_EQ(e.text(), expectedMessage(c));
        }
    }
}

TEST(ExprErrors, SyntaxFaults) {
    const std::vector<BadCase> cases = {
        {"upper(bezeich)=\"WIN", "Zeichenkette nicht abgeschlossen (Position 16)"},
        {"'abc", "Zeichenkette nicht abgeschlossen (Position 1)"},
        {"\"abc'", "Zeichenkette nicht abgeschlossen (Position 1)"},
        {"", "der Ausdruck ist leer"},
        {"  \t ", "der Ausdruck ist leer"},
        {"(1+2", "zur öffnenden Klammer fehlt die schließende (Position 1)"},
        {"((eindeutig)", "zur öffnenden Klammer fehlt die schließende (Position 1)"},
        {"1+2)", "schließende Klammer ohne öffnende (Position 4)"},
        {"upper(bezeich", "zur öffnenden Klammer fehlt die schließende (Position 6)"},
        {"upper(bezeich bezeich)", "\",\" oder \")\" erwartet, gefunden \"bezeich\" (Position 15)"},
        {"(eindeutig eindeutig)",
         "schließende Klammer erwartet, gefunden \"eindeutig\" (Position 12)"},
        {"eindeutig eindeutig", "Operator erwartet, gefunden \"eindeutig\" (Position 11)"},
        {"'it''s'", "Operator erwartet, gefunden \"'s'\" (Position 5)"},
        {"1 +", "unerwartetes Ende des Ausdrucks (Position 4)"},
        {"eindeutig=1 and", "unerwartetes Ende des Ausdrucks (Position 16)"},
        {"* 2", "unerwartetes Symbol \"*\" (Position 1)"},
        {"eindeutig = = 1", "unerwartetes Symbol \"=\" (Position 13)"},
        {"upper(,)", "unerwartetes Symbol \",\" (Position 7)"},
        {"bezeich $ \"a\"", "unzulässiges Zeichen \"$\" (Position 9)"},
        {"eindeutig := 1", "unzulässiges Zeichen \":\" (Position 11)"},
        {"bezeich = \"Ä\" .and. größe > 1", "unzulässiges Zeichen \"ö\" (Position 23)"},
        {"eindeutig = 1 .und. .t.", "unbekannter Operator \".und.\" (Position 15)"},
        {". = 1", "unzulässiges Zeichen \".\" (Position 1)"},
        {"(1))", "schließende Klammer ohne öffnende (Position 4)"},
        {std::string(101, '1'), "die Zahl hat zu viele Stellen (Position 1)"},
    };
    checkAll(cases, exprtest::diskLayout());
}

TEST(ExprErrors, NamesAndArguments) {
    const std::vector<BadCase> cases = {
        {"unbekannt = 1", "unbekanntes Feld \"unbekannt\" (Position 1)"},
        {"not", "unbekanntes Feld \"not\" (Position 1)"},
        {"foo(1)", "unbekannte Funktion \"foo()\" (Position 1)"},
        {"date()", "unbekannte Funktion \"date()\" (Position 1)"},
        {"upper()", "upper() erwartet 1 Argument, nicht 0 (Position 1)"},
        {"upper(bezeich, 1)", "upper() erwartet 1 Argument, nicht 2 (Position 1)"},
        {"STR(1,2,3,4)", "str() erwartet 1 bis 3 Argumente, nicht 4 (Position 1)"},
        {"deleted(1)", "deleted() erwartet keine Argumente, nicht 1 (Position 1)"},
        {"substr(\"a\")", "substr() erwartet 2 oder 3 Argumente, nicht 1 (Position 1)"},
        {"upper(eindeutig)",
         "Argument 1 von upper() muss eine Zeichenkette sein, nicht Zahl (Position 7)"},
        {"str(\"1\")", "Argument 1 von str() muss eine Zahl sein, nicht Zeichenkette (Position 5)"},
        {"str(1, bezeich)",
         "Argument 2 von str() muss eine Zahl sein, nicht Zeichenkette (Position 8)"},
        {"dtos(bezeich)",
         "Argument 1 von dtos() muss ein Datum sein, nicht Zeichenkette (Position 6)"},
        {"memo = \"x\"",
         "das Memofeld \"MEMO\" kann in Ausdrücken nicht verwendet werden (Position 1)"},
    };
    checkAll(cases, exprtest::diskLayout());
}

TEST(ExprErrors, TypeMismatches) {
    const std::vector<BadCase> cases = {
        {"\"a\" + 1", "Typen passen nicht zusammen: Zeichenkette + Zahl (Position 5)"},
        {"1 - \"a\"", "Typen passen nicht zusammen: Zahl - Zeichenkette (Position 3)"},
        {"bezeich = 7", "Typen passen nicht zusammen: Zeichenkette = Zahl (Position 9)"},
        {"boxnummer = \"7\"", "Typen passen nicht zusammen: Zahl = Zeichenkette (Position 11)"},
        {"bezeich * 2", "Typen passen nicht zusammen: Zeichenkette * Zahl (Position 9)"},
        {"\"a\" / \"b\"", "Typen passen nicht zusammen: Zeichenkette / Zeichenkette (Position 5)"},
        {".t. + 1", "Typen passen nicht zusammen: logischer Wert + Zahl (Position 5)"},
        {".t. <> 1", "Typen passen nicht zusammen: logischer Wert <> Zahl (Position 5)"},
        {".not. \"x\"",
         "Operator \".not.\" verlangt einen logischen Wert, nicht Zeichenkette (Position 1)"},
        {"!eindeutig", "Operator \"!\" verlangt einen logischen Wert, nicht Zahl (Position 1)"},
        {"not bezeich",
         "Operator \"not\" verlangt einen logischen Wert, nicht Zeichenkette (Position 1)"},
        {"eindeutig .and. .t.",
         "Operator \".and.\" verlangt logische Werte, nicht Zahl (Position 11)"},
        {".t. or bezeich",
         "Operator \"or\" verlangt logische Werte, nicht Zeichenkette (Position 5)"},
        {"-bezeich", "Operator \"-\" verlangt eine Zahl, nicht Zeichenkette (Position 1)"},
        {"+.t.", "Operator \"+\" verlangt eine Zahl, nicht logischer Wert (Position 1)"},
    };
    checkAll(cases, exprtest::diskLayout());
}

TEST(ExprErrors, DateArithmeticRules) {
    const std::vector<BadCase> cases = {
        {"datum + datum", "Typen passen nicht zusammen: Datum + Datum (Position 7)"},
        {"1 - datum", "Typen passen nicht zusammen: Zahl - Datum (Position 3)"},
        {"datum * 2", "Typen passen nicht zusammen: Datum * Zahl (Position 7)"},
        {"-datum", "Operator \"-\" verlangt eine Zahl, nicht Datum (Position 1)"},
        {"datum = 1", "Typen passen nicht zusammen: Datum = Zahl (Position 7)"},
        {"text", "das Memofeld \"TEXT\" kann in Ausdrücken nicht verwendet werden (Position 1)"},
    };
    checkAll(cases, exprtest::mixedLayout());
}

TEST(ExprErrors, UnsupportedFieldShapes) {
    const xb::FieldList odd({{"BIN", 'B', 8, 0}, {"KURZ", 'D', 4, 0}, {"N", 'N', 5, 0}});
    const std::vector<BadCase> cases = {
        {"bin",
         "das Feld \"BIN\" hat den Typ B, der in Ausdrücken nicht verwendet werden kann (Position "
         "1)"},
        {"kurz", "das Datumsfeld \"KURZ\" hat nicht die Breite 8 (Position 1)"},
    };
    checkAll(cases, odd);
}

// Length, nesting and result size are bounded, so no text can make the
// compiler or the evaluator recurse or allocate without limit.
TEST(ExprErrors, Limits) {
    const xb::FieldList disk = exprtest::diskLayout();
    const std::string tooDeep = "(" + std::string(70, '(') + "1" + std::string(71, ')');
    const std::string manyMinus = std::string(100, '-') + "1";
    std::string manyNot;
    for (int i = 0; i < 100; ++i)
        manyNot += ".not. ";
    manyNot += ".t.";
    std::string longChain = "1";
    for (int i = 0; i < 300; ++i)
        longChain += "+1";
    const std::string tooLong = "eindeutig=1" + std::string(4090, ' ');

    EXPECT_EQ(exprtest::compileError(tooDeep, disk),
              "Ungültiger Ausdruck \"" + tooDeep +
                  "\": der Ausdruck ist zu tief verschachtelt (Position 65)");
    EXPECT_NE(exprtest::compileError(manyMinus, disk).find("zu tief verschachtelt (Position 65)"),
              std::string::npos);
    EXPECT_NE(exprtest::compileError(manyNot, disk).find("zu tief verschachtelt"),
              std::string::npos);
    EXPECT_NE(exprtest::compileError(longChain, disk).find("zu tief verschachtelt"),
              std::string::npos);
    EXPECT_NE(exprtest::compileError(tooLong, disk)
                  .find("der Ausdruck ist zu lang (4101 Zeichen, höchstens 4096)"),
              std::string::npos);
    // Very long texts are shortened in the message.
    EXPECT_LT(exprtest::compileError(tooLong, disk).size(), 300u);

    // Just inside the limits everything still works.
    const std::string deepOk = std::string(60, '(') + "1" + std::string(60, ')');
    EXPECT_EQ(exprtest::compileError(deepOk, disk), "");
    std::string chainOk = "1";
    for (int i = 0; i < 200; ++i)
        chainOk += "+1";
    xb::Expr e = xb::Expr::compile(chainOk, disk);
    exprtest::RecordBuilder rec(disk);
    EXPECT_EQ(e.evaluate(rec.ref()).number, 201);
    // Flattened chains of .and. and of string '+' are not deep at all.
    std::string ands = ".t.";
    for (int i = 0; i < 500; ++i)
        ands += ".and..t.";
    EXPECT_TRUE(xb::Expr::compile(ands, disk).evalBool(rec.ref()));
}

TEST(ExprErrors, ResultSizeIsBounded) {
    const xb::FieldList wide({{"W", 'C', 65000, 0}});
    std::string sum = "w";
    for (int i = 0; i < 16; ++i)
        sum += "+w";  // 17 x 65000 bytes, over 1 MiB
    EXPECT_EQ(exprtest::compileError(sum, wide),
              "Ungültiger Ausdruck \"" + sum +
                  "\": das Ergebnis des Ausdrucks wäre zu lang (Position 1)");
    // Each buffer fits, but all of them together would be too much.
    std::string nested = "w";
    for (int i = 0; i < 14; ++i)
        nested += "+w";
    for (int i = 0; i < 20; ++i)
        nested = "upper(" + nested + ")";
    EXPECT_NE(exprtest::compileError(nested, wide).find("das Ergebnis des Ausdrucks wäre zu lang"),
              std::string::npos);
    EXPECT_EQ(exprtest::compileError("upper(w)+w", wide), "");
}

TEST(ExprErrors, ConditionsMustBeLogical) {
    const xb::FieldList disk = exprtest::diskLayout();
    try {
        xb::Expr::compileCondition("eindeutig", disk);
        FAIL() << "compiled";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Syntax);
        EXPECT_EQ(e.text(),
                  "Ungültiger Ausdruck \"eindeutig\": die Bedingung ergibt keinen logischen Wert, "
                  "sondern Zahl");
    }
    EXPECT_NO_THROW(xb::Expr::compileCondition("not deleted()", disk));
}

// Random token soup and random bytes never crash or hang the compiler, and
// whatever compiles evaluates on the blank and on a filled record.
TEST(ExprErrors, RandomTextsNeverCrash) {
    const xb::FieldList disk = exprtest::diskLayout();
    exprtest::RecordBuilder blank(disk);
    exprtest::RecordBuilder filled(disk);
    filled.number("eindeutig", 7).set("bezeich", "Äpfel und Birnen").number("boxnummer", 3);
    static const char* const kPieces[] = {
        "eindeutig", "bezeich",  "boxnummer", "upper(", "str(",   "substr(",   "left(",
        "right(",    "alltrim(", "val(",      "len(",   "empty(", "deleted()", "recno()",
        "(",         ")",        ",",         "+",      "-",      "*",         "/",
        "=",         "==",       "<>",        "<",      ">=",     ".and.",     ".or.",
        ".not.",     "not ",     " and ",     " or ",   "!",      "\"ab \"",   "'x'",
        "\"",        "1",        "0",         "-5",     "2.5",    "99999999",  ".t.",
        ".f.",       " ",        "#",         "$",      "memo",   "dtos(",     "unbekannt"};
    std::mt19937_64 rng(qvtest::testSeed());
    int compiled = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 12) + 1;
        for (int i = 0; i < n; ++i) {
            if (rng() % 16 == 0)
                text += static_cast<char>(rng() % 256);
            else
                text += kPieces[rng() % std::size(kPieces)];
        }
        try {
            xb::Expr e = xb::Expr::compile(text, disk);
            ++compiled;
            e.evaluate(blank.ref());
            e.evaluate(filled.ref(3));
            std::uint8_t key[300];
            e.evalKey(filled.ref(), key, e.keyLength() ? e.keyLength() : 8);
        } catch (const qv::Error& err) {
            ASSERT_EQ(err.code(), qv::ErrorCode::Syntax) << text << ": " << err.text();
            ASSERT_EQ(err.text().rfind("Ungültiger Ausdruck \"", 0), 0u) << err.text();
        }
    }
    // The soup is meant to produce some valid expressions too.
    EXPECT_GT(compiled, 100);
}

}  // namespace
