// Results of valid expressions on records of the catalogue's layouts, with
// SET EXACT off and on.
#include <string>

#include <gtest/gtest.h>

#include "expr_test_support.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "store/xbase/settings.h"
#include "support/testutil.h"

namespace {

using exprtest::describe;
using exprtest::RecordBuilder;

enum class Rec { Entry, Blank, Deleted, Mixed, MixedBlank, File };

struct Case {
    Rec rec;
    const char* text;  // UTF-8; compiled as Windows-1252
    const char* off;   // describe() of the result with exact off
    const char* on;    // ... with exact on; nullptr when the same
};

class ExprEval : public ::testing::Test {
  protected:
    ExprEval()
        : disk_(exprtest::diskLayout()),
          dir_(exprtest::dirLayout()),
          mixed_(exprtest::mixedLayout()),
          entry_(disk_),
          blank_(disk_),
          deleted_(disk_),
          mixedRec_(mixed_),
          mixedBlank_(mixed_),
          file_(dir_) {
        // An entry with umlauts, ß and ÿ in the title, never-written lending
        // numbers and one flag set.
        entry_.number("eindeutig", 39)
            .set("bezeich", "Übungen ÿ ß")
            .number("boxnummer", 4)
            .number("disknummer", 7)
            .set("kategorie", "Grafik & Design")
            .number("progdsks", 7)
            .set("diskart", "CD-ROM")
            .set("prog01", "x");
        deleted_.number("eindeutig", 12345678)
            .set("bezeich", " Leerzeichen vorn")
            .number("boxnummer", 0)
            .number("disknummer", 99999)
            .set("kategorie", "internet")
            .number("leihrein", 0)
            .number("leihraus", 12)
            .deleted();
        mixedRec_.set("name", "Otto")
            .set("note", "abc")
            .set("not", "x")
            .number("menge", 1.5)
            .number("anzahl", -3)
            .set("datum", "20240101")
            .set("ok", "T");
        file_.number("dirnumm", 99999999)
            .set("dirname", "readme")
            .set("direndung", "txt")
            .set("dirpfad", "\\docs\\readme.txt")
            .set("dirdate", "20000101")
            .number("dirsize", 4294967295.0)
            .set("dirtime", "12:30");
    }

    std::string run(const Case& c) {
        const xb::FieldList* fields = &disk_;
        const RecordBuilder* rec = &entry_;
        switch (c.rec) {
            case Rec::Entry:
                break;
            case Rec::Blank:
                rec = &blank_;
                break;
            case Rec::Deleted:
                rec = &deleted_;
                break;
            case Rec::Mixed:
                fields = &mixed_;
                rec = &mixedRec_;
                break;
            case Rec::MixedBlank:
                fields = &mixed_;
                rec = &mixedBlank_;
                break;
            case Rec::File:
                fields = &dir_;
                rec = &file_;
                break;
        }
        try {
            xb::Expr e = xb::Expr::compile(xb::utf8ToCp1252(c.text), *fields);
            return describe(e.evaluate(rec->ref(5)));
        } catch (const qv::Error& err) {
            return std::string("error: ") + err.text();
        }
    }

    void check(const Case* cases, std::size_t n) {
        xb::SettingsGuard guard;
        for (std::size_t i = 0; i < n; ++i) {
            const Case& c = cases[i];
            xb::settings().exact = false;
            EXPECT_EQ(run(c), c.off) << c.text << " (exact off)";
            xb::settings().exact = true;
            EXPECT_EQ(run(c), c.on ? c.on : c.off) << c.text << " (exact on)";
        }
    }

    xb::FieldList disk_, dir_, mixed_;
    RecordBuilder entry_, blank_, deleted_, mixedRec_, mixedBlank_, file_;
};

// Every example of the string comparison rules, on literals and fields.
TEST_F(ExprEval, StringComparisonFollowsExactSetting) {
    const Case cases[] = {
        {Rec::Entry, R"("ABC" = "AB")", "L:.T.", "L:.F."},
        {Rec::Entry, R"("AB" = "ABC")", "L:.F.", nullptr},
        {Rec::Entry, R"("ABC" = "")", "L:.T.", "L:.F."},
        {Rec::Entry, R"("" = "ABC")", "L:.F.", nullptr},
        {Rec::Entry, R"("   " = "")", "L:.T.", nullptr},
        {Rec::Entry, R"("AB" = "AB ")", "L:.F.", "L:.T."},
        {Rec::Entry, R"("ABC " = "ABC")", "L:.T.", nullptr},
        {Rec::Entry, R"(" ABC" = "ABC")", "L:.F.", nullptr},
        {Rec::Entry, R"("AB" == "AB ")", "L:.F.", nullptr},
        {Rec::Entry, R"("ABC" == "AB")", "L:.F.", nullptr},
        {Rec::Entry, R"("ABC" == "ABC")", "L:.T.", nullptr},
        {Rec::Entry, R"("ab" >= "AB")", "L:.T.", nullptr},
        {Rec::Entry, R"("ab" = "AB")", "L:.F.", nullptr},
        {Rec::Entry, R"("a" > "B")", "L:.T.", nullptr},
        {Rec::Entry, R"("Z" < "Ü")", "L:.T.", nullptr},
        {Rec::Entry, R"("Ä" > "B")", "L:.T.", nullptr},
        {Rec::Entry, R"("AB" < "ABC")", "L:.T.", nullptr},
        {Rec::Entry, R"("ABC" > "AB")", "L:.F.", "L:.T."},
        {Rec::Entry, R"("ABC" >= "AB")", "L:.T.", nullptr},
        {Rec::Entry, R"("ABC" <= "AB")", "L:.T.", "L:.F."},
        {Rec::Entry, R"("AB " < "AB")", "L:.F.", nullptr},
        {Rec::Entry, R"("ABC" <> "AB")", "L:.F.", "L:.T."},
        {Rec::Entry, R"("ABC" # "AB")", "L:.F.", "L:.T."},
        {Rec::Entry, R"("ABC" != "AB")", "L:.F.", "L:.T."},
        {Rec::Entry, R"("AB" <> "ABC")", "L:.T.", nullptr},
        {Rec::Entry, R"("" < "A")", "L:.T.", nullptr},
        // Fields carry their full width, trailing blanks included.
        {Rec::Entry, R"(bezeich = "Übungen ÿ ß")", "L:.T.", nullptr},
        {Rec::Entry, R"(bezeich == "Übungen ÿ ß")", "L:.F.", nullptr},
        {Rec::Entry, R"(trim(bezeich) == "Übungen ÿ ß")", "L:.T.", nullptr},
        {Rec::Entry, R"("Übungen ÿ ß" = bezeich)", "L:.F.", "L:.T."},
        {Rec::Entry, R"(upper(bezeich) = "ÜBUNG")", "L:.T.", "L:.F."},
        {Rec::Entry, R"(upper(bezeich) = "übung")", "L:.F.", nullptr},
        {Rec::Entry, R"(upper(bezeich) = "ÜBUNGEN ÿ ß")", "L:.T.", nullptr},
        {Rec::Entry, R"(kategorie < "H")", "L:.T.", nullptr},
        {Rec::Blank, R"(bezeich = "")", "L:.T.", nullptr},
        {Rec::Blank, R"(bezeich = " ")", "L:.T.", nullptr},
    };
    check(cases, std::size(cases));
}

// The clauses the entry query builds, on an entry and on the blank record.
TEST_F(ExprEval, QueryClauses) {
    const Case cases[] = {
        {Rec::Entry, R"(upper(bezeich)="ÜBUNGEN" .and. boxnummer=4)", "L:.T.", "L:.F."},
        {Rec::Entry, R"(upper(bezeich)="WIN" .and. boxnummer=4)", "L:.F.", nullptr},
        {Rec::Entry, R"(upper(bezeich)="WIN" .or.  boxnummer=4)", "L:.T.", nullptr},
        {Rec::Entry,
         R"(upper(bezeich)="ÜB" .and. upper(kategorie)="GRAFIK" .and. upper(diskart)="CD" .and. boxnummer=004)",
         "L:.T.", "L:.F."},
        {Rec::Entry, R"(upper(kategorie)="GRAFIK & DESIGN" .and. boxnummer=007)", "L:.F.", nullptr},
        {Rec::Entry, R"(upper(diskart)="CD-ROM")", "L:.T.", nullptr},
        {Rec::Blank, R"(upper(bezeich)="WIN" .or.  boxnummer=0)", "L:.T.", nullptr},
    };
    check(cases, std::size(cases));
}

// The catalogue's keys and the expressions the program evaluates on records.
TEST_F(ExprEval, CatalogueKeysAndRecordExpressions) {
    const Case cases[] = {
        {Rec::Entry, "eindeutig", "N:39", nullptr},
        {Rec::Entry, "upper(bezeich)", "C:ÜBUNGEN ÿ ß                                       ",
         nullptr},
        {Rec::Entry, "str(boxnummer,5)+str(disknummer,5)", "C:    4    7", nullptr},
        {Rec::Entry, "upper(kategorie)", "C:GRAFIK & DESIGN     ", nullptr},
        {Rec::Entry, "upper(diskart)", "C:CD-ROM         ", nullptr},
        {Rec::Entry, "boxnummer", "N:4", nullptr},
        {Rec::Entry, "str(eindeutig,8)", "C:      39", nullptr},
        {Rec::Entry, "alltrim(str(disknummer+1,5))", "C:8", nullptr},
        {Rec::Entry, "str(leihraus,5)", "C:    0", nullptr},
        {Rec::Entry, "str(leihrein,5)", "C:    0", nullptr},
        {Rec::Entry, "leihraus", "N:0", nullptr},
        {Rec::Blank, "str(eindeutig,8)", "C:       0", nullptr},
        {Rec::Blank, "upper(bezeich)",
         "C:                                                  ", nullptr},
        {Rec::Blank, "str(boxnummer,5)+str(disknummer,5)", "C:    0    0", nullptr},
        {Rec::Blank, "alltrim(str(disknummer+1,5))", "C:1", nullptr},
        {Rec::Deleted, "str(eindeutig,8)", "C:12345678", nullptr},
        {Rec::Deleted, "upper(bezeich)", "C: LEERZEICHEN VORN                                 ",
         nullptr},
        {Rec::Deleted, "str(boxnummer,5)+str(disknummer,5)", "C:    099999", nullptr},
        {Rec::Deleted, "alltrim(str(disknummer+1,5))", "C:*****", nullptr},
        {Rec::Deleted, "str(leihraus,5)", "C:   12", nullptr},
        {Rec::Deleted, "not deleted()", "L:.F.", nullptr},
        {Rec::Entry, "not deleted()", "L:.T.", nullptr},
        {Rec::File, "str(dirnumm,8)+dirpfad",
         "C:99999999\\docs\\readme.txt                                                             "
         "         ",
         nullptr},
        {Rec::File, "upper(dirname+direndung)+str(dirnumm,8)", "C:README         TXT99999999",
         nullptr},
        {Rec::File, "upper(direndung)+dirname+str(dirnumm,8)", "C:TXTreadme         99999999",
         nullptr},
        {Rec::File, "str(dirnumm,8)", "C:99999999", nullptr},
        {Rec::File, "dirnumm<99999999", "L:.F.", nullptr},
        {Rec::File, "dirsize", "N:4294967295", nullptr},
        {Rec::File, "dirdate", "D:20000101", nullptr},
    };
    check(cases, std::size(cases));
}

TEST_F(ExprEval, NumbersAndStr) {
    // About 1e300: far more integer digits than any width holds.
    const std::string big(100, '9');
    const std::string huge = "str(" + big + "*" + big + "*" + big;
    const std::string hugeWithDecimals = huge + ", 255, 200)";
    const std::string hugeWide = huge + ", 255)";
    const std::string stars = "C:" + std::string(255, '*');
    const std::string widest = "C:" + std::string(254, ' ') + "7";
    const Case cases[] = {
        {Rec::Entry, "eindeutig + 1", "N:40", nullptr},
        {Rec::Entry, "2 + 3 * 4", "N:14", nullptr},
        {Rec::Entry, "(2 + 3) * 4", "N:20", nullptr},
        {Rec::Entry, "10 - 2 - 3", "N:5", nullptr},
        {Rec::Entry, "-2 * 3", "N:-6", nullptr},
        {Rec::Entry, "- -eindeutig", "N:39", nullptr},
        {Rec::Entry, "+eindeutig", "N:39", nullptr},
        {Rec::Entry, "7 / 2", "N:3.5", nullptr},
        {Rec::Entry, "7 / 0", "N:0", nullptr},
        {Rec::Entry, "0.1 + 0.2", "N:0.30000000000000004", nullptr},
        {Rec::Entry, ".5 + 1.", "N:1.5", nullptr},
        {Rec::Entry, "boxnummer = 004", "L:.T.", nullptr},
        {Rec::Entry, "boxnummer <> 4", "L:.F.", nullptr},
        {Rec::Entry, "boxnummer < 4.5", "L:.T.", nullptr},
        {Rec::Entry, "val(\"  12.5xyz\")", "N:12.5", nullptr},
        {Rec::Entry, "val(\"abc\")", "N:0", nullptr},
        {Rec::Entry, "val(str(eindeutig,8)) = eindeutig", "L:.T.", nullptr},
        {Rec::Entry, "str(eindeutig)", "C:      39", nullptr},
        {Rec::Entry, "str(1234,3)", "C:***", nullptr},
        {Rec::Entry, "str(-12,2)", "C:**", nullptr},
        {Rec::Entry, "str(-0.5,5,2)", "C:-0.50", nullptr},
        {Rec::Entry, "str(2.5,1)", "C:3", nullptr},
        {Rec::Entry, "str(1.005,5,2)", "C: 1.01", nullptr},
        {Rec::Entry, "str(1.5)", "C:         1.5", nullptr},
        {Rec::Entry, "str(123.456,0)", "C:       123", nullptr},
        {Rec::Entry, "str(3.14159,8,3)", "C:   3.142", nullptr},
        {Rec::Entry, "str(1,3,2)", "C:***", nullptr},
        {Rec::Entry, "str(eindeutig, boxnummer)", "C:  39", nullptr},
        {Rec::Entry, "str(7, 300)", widest.c_str(), nullptr},
        {Rec::Entry, hugeWithDecimals.c_str(), stars.c_str(), nullptr},
        {Rec::Entry, hugeWide.c_str(), stars.c_str(), nullptr},
        {Rec::Entry, "recno()", "N:5", nullptr},
        {Rec::Entry, "len(bezeich)", "N:50", nullptr},
        {Rec::Entry, "len(trim(bezeich))", "N:11", nullptr},
        {Rec::Entry, "empty(leihraus)", "L:.T.", nullptr},
        {Rec::Entry, "empty(eindeutig)", "L:.F.", nullptr},
        {Rec::Mixed, "menge", "N:1.5", nullptr},
        {Rec::Mixed, "str(menge)", "C:  1.50", nullptr},
        {Rec::Mixed, "menge * 2", "N:3", nullptr},
        {Rec::Mixed, "anzahl", "N:-3", nullptr},
        // Computed numbers: ten places before the point, then the decimals
        // of the operands (the larger for + -, the sum for *).
        {Rec::Mixed, "str(anzahl + menge)", "C:        -1.50", nullptr},
        {Rec::Mixed, "str(anzahl * menge)", "C:        -4.50", nullptr},
        {Rec::Mixed, "str(anzahl / 2)", "C:        -1.50", nullptr},
        {Rec::Mixed, "str(anzahl)", "C:   -3", nullptr},
    };
    check(cases, std::size(cases));
}

TEST_F(ExprEval, StringFunctions) {
    const Case cases[] = {
        {Rec::Entry, R"(upper("äöü abc ÿ ß šœž µ ÷"))", "C:ÄÖÜ ABC ÿ ß ŠŒŽ µ ÷", nullptr},
        {Rec::Entry, R"(lower("ÄÖÜ ABC Ÿ ß ŠŒŽ"))", "C:äöü abc Ÿ ß šœž", nullptr},
        {Rec::Entry, R"(substr("Hallo", 2, 3))", "C:all", nullptr},
        {Rec::Entry, R"(substr("Hallo", 2))", "C:allo", nullptr},
        {Rec::Entry, R"(substr("Hallo", -2))", "C:lo", nullptr},
        {Rec::Entry, R"(substr("Hallo", 0))", "C:Hallo", nullptr},
        {Rec::Entry, R"(substr("Hallo", 9))", "C:", nullptr},
        {Rec::Entry, R"(substr("Hallo", 2, -1))", "C:", nullptr},
        {Rec::Entry, R"(substr("Hallo", 4, 99))", "C:lo", nullptr},
        {Rec::Entry, R"(left("Hallo", 2))", "C:Ha", nullptr},
        {Rec::Entry, R"(left("Hallo", 9))", "C:Hallo", nullptr},
        {Rec::Entry, R"(left("Hallo", -1))", "C:", nullptr},
        {Rec::Entry, R"(right("Hallo", 3))", "C:llo", nullptr},
        {Rec::Entry, R"(right("Hallo", 0))", "C:", nullptr},
        {Rec::Entry, R"(right("Hallo", 99))", "C:Hallo", nullptr},
        {Rec::Entry, R"(ltrim("  a b  "))", "C:a b  ", nullptr},
        {Rec::Entry, R"(trim("  a b  "))", "C:  a b", nullptr},
        {Rec::Entry, R"(rtrim("  a b  "))", "C:  a b", nullptr},
        {Rec::Entry, R"(alltrim("  a b  "))", "C:a b", nullptr},
        {Rec::Entry, R"(alltrim("   "))", "C:", nullptr},
        {Rec::Entry, R"("a" + "b" + 'c')", "C:abc", nullptr},
        {Rec::Entry, R"("ab  " - "cd")", "C:abcd  ", nullptr},
        {Rec::Entry, R"("ab  " - "cd  " - "e")", "C:abcde    ", nullptr},
        {Rec::Entry, R"('say "hi"')", "C:say \"hi\"", nullptr},
        {Rec::Entry, R"(empty("  "))", "L:.T.", nullptr},
        {Rec::Entry, R"(empty(" x"))", "L:.F.", nullptr},
        {Rec::Entry, R"(empty(""))", "L:.T.", nullptr},
        {Rec::Entry, R"(len(""))", "N:0", nullptr},
        {Rec::Entry, R"(trim(bezeich) + "|")", "C:Übungen ÿ ß|", nullptr},
        {Rec::Entry, R"(substr(bezeich, 9, 3))", "C:ÿ ß", nullptr},
        {Rec::Mixed, R"(name - "x")", "C:Ottox      ", nullptr},
        {Rec::Mixed, R"(name + note)", "C:Otto      abc  ", nullptr},
    };
    check(cases, std::size(cases));
}

TEST_F(ExprEval, DatesLogicalsAndWordOperators) {
    const Case cases[] = {
        {Rec::Mixed, "dtos(datum)", "C:20240101", nullptr},
        {Rec::Mixed, "datum + 31", "D:20240201", nullptr},
        {Rec::Mixed, "31 + datum", "D:20240201", nullptr},
        {Rec::Mixed, "datum - 1", "D:20231231", nullptr},
        {Rec::Mixed, "dtos(datum + 1.9)", "C:20240102", nullptr},
        {Rec::Mixed, "datum - (datum - 366)", "N:366", nullptr},
        {Rec::Mixed, "datum > datum - 1", "L:.T.", nullptr},
        {Rec::Mixed, "datum = datum + 0", "L:.T.", nullptr},
        {Rec::Mixed, "empty(datum)", "L:.F.", nullptr},
        {Rec::MixedBlank, "empty(datum)", "L:.T.", nullptr},
        {Rec::MixedBlank, "dtos(datum)", "C:        ", nullptr},
        {Rec::MixedBlank, "datum < datum + 1", "L:.T.", nullptr},
        {Rec::Mixed, "ok", "L:.T.", nullptr},
        {Rec::MixedBlank, "ok", "L:.F.", nullptr},
        {Rec::MixedBlank, "empty(ok)", "L:.T.", nullptr},
        {Rec::Mixed, ".not. ok", "L:.F.", nullptr},
        {Rec::Mixed, "!ok", "L:.F.", nullptr},
        {Rec::Mixed, "NOT ok", "L:.F.", nullptr},
        {Rec::Mixed, "not(ok)", "L:.F.", nullptr},
        {Rec::Mixed, "ok = .t.", "L:.T.", nullptr},
        {Rec::Mixed, ".f. < .t.", "L:.T.", nullptr},
        {Rec::Mixed, ".Y. == .T. .and. .N. == .F.", "L:.T.", nullptr},
        // Fields called NOTE and NOT next to the word operator.
        {Rec::Mixed, R"(note = "abc")", "L:.T.", nullptr},
        {Rec::Mixed, R"(not = "x")", "L:.T.", nullptr},
        {Rec::Mixed, R"(not note = "abc")", "L:.F.", nullptr},
        {Rec::Mixed, R"(not not = "x")", "L:.F.", nullptr},
        {Rec::Mixed, R"(note="abc" and not="x")", "L:.T.", nullptr},
        // Precedence: .not. over .and. over .or.; comparisons below + -.
        {Rec::Mixed, ".t. .or. .f. .and. .f.", "L:.T.", nullptr},
        {Rec::Mixed, "(.t. .or. .f.) .and. .f.", "L:.F.", nullptr},
        {Rec::Mixed, ".not. .t. .or. .t.", "L:.T.", nullptr},
        {Rec::Mixed, ".not. (.t. .or. .t.)", "L:.F.", nullptr},
        {Rec::Mixed, "NOT ok AND ok OR ok", "L:.T.", nullptr},
        {Rec::Mixed, "anzahl + 3 = 0 .and. anzahl * 2 < -5", "L:.T.", nullptr},
        {Rec::Mixed, "1 < 2 = .t.", "L:.T.", nullptr},
        {Rec::Mixed, "ok = .not. .f.", "L:.T.", nullptr},
    };
    check(cases, std::size(cases));
}

// upper() gives exactly the catalogue's bytes for umlauts, ß and ÿ.
TEST(ExprUpper, BytesOfTitleWithUmlauts) {
    const xb::FieldList disk = exprtest::diskLayout();
    RecordBuilder rec(disk);
    rec.set("bezeich", "Übungen ÿ ß");
    xb::Expr e = xb::Expr::compile("upper(bezeich)", disk);
    const xb::Value& v = e.evaluate(rec.ref());
    ASSERT_EQ(v.chars.size(), 50u);
    EXPECT_EQ(qvtest::toHex(std::string(v.chars.substr(0, 12))), "dc42554e47454e20ff20df20");
}

// Every byte value goes through upper() as the table says, and lower() undoes
// it for every letter upper() changes.
TEST(ExprUpper, AllBytesRoundTripThroughLower) {
    const xb::FieldList layout({{"B", 'C', 1, 0}});
    xb::Expr up = xb::Expr::compile("upper(b)", layout);
    xb::Expr low = xb::Expr::compile("lower(upper(b))", layout);
    int changed = 0;
    for (int b = 0; b < 256; ++b) {
        const std::uint8_t rec[2] = {' ', static_cast<std::uint8_t>(b)};
        const auto u = static_cast<std::uint8_t>(up.evaluate({rec, 1}).chars[0]);
        EXPECT_EQ(u, xb::upper1252(static_cast<std::uint8_t>(b))) << b;
        if (u != b) {
            ++changed;
            EXPECT_EQ(static_cast<std::uint8_t>(low.evaluate({rec, 1}).chars[0]), b) << b;
        }
    }
    EXPECT_EQ(changed, 59);
}

// A character result that lies in the record stays valid when the record
// bytes change afterwards.
TEST(ExprResult, CharacterResultIsCopiedOutOfTheRecord) {
    const xb::FieldList dir = exprtest::dirLayout();
    RecordBuilder rec(dir);
    rec.set("dirname", "alpha");
    xb::Expr e = xb::Expr::compile("trim(dirname)", dir);
    const xb::Value& v = e.evaluate(rec.ref());
    rec.set("dirname", "omega");
    EXPECT_EQ(v.chars, "alpha");
}

// A string comparison of constants is not frozen at compile time: it follows
// the setting in force at each evaluation.
TEST(ExprResult, ConstantComparisonFollowsLaterSettingChanges) {
    xb::SettingsGuard guard;
    const xb::FieldList dir = exprtest::dirLayout();
    RecordBuilder rec(dir);
    xb::settings().exact = false;
    xb::Expr e = xb::Expr::compile(R"("ABC" = "AB" .and. .t.)", dir);
    EXPECT_TRUE(e.evalBool(rec.ref()));
    xb::settings().exact = true;
    EXPECT_FALSE(e.evalBool(rec.ref()));
}

TEST(ExprResult, EvalBoolNeedsALogicalExpression) {
    const xb::FieldList dir = exprtest::dirLayout();
    RecordBuilder rec(dir);
    xb::Expr e = xb::Expr::compile("dirnumm", dir);
    try {
        e.evalBool(rec.ref());
        FAIL() << "no error";
    } catch (const qv::Error& err) {
        EXPECT_EQ(err.code(), qv::ErrorCode::InvalidArgument);
        EXPECT_EQ(err.text(), "Der Ausdruck \"dirnumm\" ergibt keinen logischen Wert");
    }
}

TEST(ExprResult, MovedExpressionKeepsWorking) {
    const xb::FieldList dir = exprtest::dirLayout();
    RecordBuilder rec(dir);
    rec.number("dirnumm", 42);
    xb::Expr a = xb::Expr::compile("str(dirnumm,8)", dir);
    xb::Expr b;
    EXPECT_TRUE(b.empty());
    b = std::move(a);
    EXPECT_FALSE(b.empty());
    EXPECT_EQ(b.evaluate(rec.ref()).chars, "      42");
    EXPECT_EQ(b.text(), "str(dirnumm,8)");
}

}  // namespace
