// The query planner on entry tables: verdicts for the query dialog's clause
// shapes, results of the dialog's cases, which tags answer and how many
// records are read, tags the planner must not use, malformed expressions, and
// the catalogue fixture as one realistic table.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "query_testkit.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/query.h"
#include "store/xbase/settings.h"
#include "support/testutil.h"

namespace {

using querytest::Entry;
using Recnos = std::vector<std::uint32_t>;

// Windows-1252 bytes of a UTF-8 literal.
std::string cp(const std::string& utf8) {
    return xb::utf8ToCp1252(utf8);
}

// Twelve entries: titles beginning with WIN in several cases, one with a
// leading blank, an umlaut, boxes 7, 70 and 700, two flagged records.
std::vector<Entry> sampleEntries() {
    return {
        {"WINDOWS 95", "BETRIEBSSYSTEM", "CD-ROM", 7, 1, 1, ""},        // 1
        {"Winword 6.0", "Textverarbeitung", "Diskette", 7, 2, 2, ""},   // 2
        {"WIN", "SPIELE", "CD-ROM", 70, 1, 3, ""},                      // 3
        {"DOOM", "SPIELE", "Diskette", 12, 1, 4, ""},                   // 4
        {"Der Winzer", "Sonstiges", "DVD", 0, 0, 5, ""},                // 5
        {"WINDOWS NT", "BETRIEBSSYSTEM", "CD-ROM", 7, 3, 6, "", true},  // 6
        {" WINAMP", "Musik", "CD-R", 7, 4, 7, ""},                      // 7
        {cp("Würfelspiel"), "Spiele", "CD-ROM", 3, 1, 8, ""},           // 8
        {"winzip", "Tools", "Diskette", 7, 5, 9, "x"},                  // 9
        {"Textmaker", "TEXTVERARBEITUNG", "CD-ROM", 8, 1, 10, "X"},     // 10
        {"W", "Tools", "DVD", 700, 1, 11, "x"},                         // 11
        {"", "", "", 7, 6, 12, "x", true},                              // 12
    };
}

class QueryTest : public ::testing::Test {
  protected:
    void SetUp() override { t_ = querytest::makeEntryTable(dir_.path(), sampleEntries()); }

    Recnos run(const std::string& text, xb::QueryStats* stats = nullptr) {
        return xb::runQuery(t_.source(), text, stats).toVector();
    }
    int verdict(const std::string& text) { return xb::queryTest(t_.source(), text); }

    void expectBruteForce(const std::string& text) {
        const xb::RecordSet got = xb::runQuery(t_.source(), text);
        EXPECT_EQ(querytest::compareWithBruteForce(*t_.table, got,
                                                   querytest::bruteForce(*t_.table, text)),
                  "")
            << text;
    }

    qvtest::TempDir dir_;
    querytest::IndexedTable t_;
    xb::SettingsGuard guard_;
};

// The dialog joins its clauses with " .and. " or " .or.  " (two blanks).
const std::string kAnd = " .and. ";
const std::string kOr = " .or.  ";

TEST_F(QueryTest, VerdictsOfTheDialogShapes) {
    const std::string title = "upper(bezeich)=\"WIN\"";
    const std::string category = "upper(kategorie)=\"SPIELE\"";
    const std::string carrier = "upper(diskart)=\"CD\"";
    const std::string box = "boxnummer=7";
    struct Case {
        std::string text;
        int deletedOn, deletedOff;
    };
    const std::vector<Case> cases = {
        {title, 2, 2},
        {title + kAnd + category, 2, 2},
        {title + kAnd + category + kAnd + carrier + kAnd + box, 2, 2},
        {title + kOr + category + kOr + carrier + kOr + box, 2, 2},
        {box, 2, 2},
        {"boxnummer=007", 2, 2},
        {"prog01=\"x\"", 0, 0},
        {title + kAnd + "prog01=\"x\"", 1, 1},
        {"prog01=\"x\"" + kOr + title, 1, 1},
        {title + kAnd + category + kAnd + "prog01=\"x\"" + kAnd + box, 1, 1},
        // No tag on the bare field, nor on trimmed values.
        {"bezeich=\"WIN\"", 0, 0},
        {"trim(upper(bezeich))=\"WIN\"", 0, 0},
        // Either side order, any spelling of the key, every comparison.
        {"\"WIN\"=UPPER( Bezeich )", 2, 2},
        {"7<boxnummer .and. boxnummer<=70", 2, 2},
        {"upper(bezeich)<>\"WIN\" .and. upper(bezeich)==\"WIN\"", 2, 2},
        // .not. keeps a clause optimisable; parentheses group.
        {".not. " + title, 2, 2},
        {"!(" + title + kOr + box + ")", 2, 2},
        {title + kAnd + "(" + box + kOr + "prog01=\"x\")", 1, 1},
        // The tags eindeutig and nummer exist only with the condition.
        {"eindeutig=5", 2, 0},
        {"str(boxnummer,5)+str(disknummer,5)=\"    7\"", 2, 0},
        // A constant needs no record.
        {".T.", 2, 2},
        {".F." + kOr + "prog01=\"x\"", 1, 1},
        // A comparison of two fields, deleted() and a constant too long for
        // the key are answered by evaluation or need no index.
        {"boxnummer=disknummer", 0, 0},
        {"deleted()" + kAnd + box, 1, 1},
    };
    for (bool deleted : {true, false}) {
        xb::settings().deleted = deleted;
        for (const Case& c : cases) {
            EXPECT_EQ(verdict(c.text), deleted ? c.deletedOn : c.deletedOff)
                << c.text << (deleted ? " (deleted on)" : " (deleted off)");
            expectBruteForce(c.text);
        }
    }
}

TEST_F(QueryTest, WithoutAnIndexNothingIsOptimised) {
    t_.index.reset();
    xb::QueryStats st;
    xb::settings().deleted = true;
    EXPECT_EQ(verdict("upper(bezeich)=\"WIN\"" + kAnd + "boxnummer=7"), 0);
    EXPECT_EQ(run("upper(bezeich)=\"WIN\"" + kAnd + "boxnummer=7", &st), (Recnos{1, 2, 9}));
    EXPECT_EQ(st.recordsRead, 12u);
    EXPECT_EQ(st.recordsEvaluated, 10u);  // flagged records are skipped unread by the expression
}

TEST_F(QueryTest, TitleWinMatchesEveryCaseThroughUpper) {
    xb::settings().deleted = true;
    EXPECT_EQ(run("upper(bezeich)=\"WIN\""), (Recnos{1, 2, 3, 9}));
    xb::settings().deleted = false;
    EXPECT_EQ(run("upper(bezeich)=\"WIN\""), (Recnos{1, 2, 3, 6, 9}));
    // With exact on only the whole title WIN (trailing blanks ignored).
    xb::settings().exact = true;
    EXPECT_EQ(run("upper(bezeich)=\"WIN\""), (Recnos{3}));
    EXPECT_EQ(run("upper(bezeich)=\"WIN  \""), (Recnos{3}));
    // == compares whole values: the 50-byte key against a 3-byte constant.
    EXPECT_EQ(run("upper(bezeich)==\"WIN\""), (Recnos{}));
    EXPECT_EQ(run("upper(bezeich)==\"WIN" + std::string(47, ' ') + "\""), (Recnos{3}));
}

TEST_F(QueryTest, UmlautsAreUpperCasedLikeTheKeys) {
    xb::settings().deleted = true;
    EXPECT_EQ(run(cp("upper(bezeich)=\"WÜRFEL\"")), (Recnos{8}));
    EXPECT_EQ(run(cp("upper(bezeich)=\"Würfel\"")), (Recnos{}));
}

TEST_F(QueryTest, OrOfTitleAndCategoryListsEitherMatch) {
    xb::settings().deleted = true;
    EXPECT_EQ(run("upper(bezeich)=\"WIN\"" + kOr + "upper(kategorie)=\"SPIELE\""),
              (Recnos{1, 2, 3, 4, 8, 9}));
    EXPECT_EQ(run("upper(bezeich)=\"WIN\"" + kAnd + "upper(kategorie)=\"SPIELE\""), (Recnos{3}));
}

TEST_F(QueryTest, BoxNumbersCompareNumerically) {
    for (bool deleted : {true, false}) {
        xb::settings().deleted = deleted;
        const Recnos seven = deleted ? Recnos{1, 2, 7, 9} : Recnos{1, 2, 6, 7, 9, 12};
        EXPECT_EQ(run("boxnummer=7"), seven);
        EXPECT_EQ(run("boxnummer=007"), seven);
        EXPECT_EQ(run("boxnummer=00070"), (Recnos{3}));
        EXPECT_EQ(run("boxnummer=7.0"), seven);
        EXPECT_EQ(run("boxnummer>=70"), (Recnos{3, 11}));
        EXPECT_EQ(run("8>boxnummer .and. boxnummer>0"),
                  deleted ? (Recnos{1, 2, 7, 8, 9}) : (Recnos{1, 2, 6, 7, 8, 9, 12}));
    }
}

TEST_F(QueryTest, WhichTagsAnswerAndHowManyRecordsAreRead) {
    xb::QueryStats st;
    // Deleted on: the condition tags serve and no record is read.
    xb::settings().deleted = true;
    EXPECT_EQ(run("upper(bezeich)=\"WIN\"" + kAnd + "upper(kategorie)=\"SPIELE\"", &st),
              (Recnos{3}));
    EXPECT_EQ(st.level, 2);
    EXPECT_EQ(st.tagsUsed, (std::vector<std::string>{"BEZEICH", "KATEGORIE"}));
    EXPECT_EQ(st.recordsRead, 0u);
    EXPECT_EQ(st.indexEntries, 4u + 3u);

    // The box tag has no condition: its six hits have their flags read.
    EXPECT_EQ(run("boxnummer=7", &st), (Recnos{1, 2, 7, 9}));
    EXPECT_EQ(st.tagsUsed, (std::vector<std::string>{"BOX2"}));
    EXPECT_EQ(st.recordsExamined, 6u);
    EXPECT_EQ(st.recordsEvaluated, 0u);

    // An .and. evaluates only the records its tags leave.
    EXPECT_EQ(run("upper(bezeich)=\"WIN\"" + kAnd + "prog01=\"x\"", &st), (Recnos{9}));
    EXPECT_EQ(st.level, 1);
    EXPECT_EQ(st.recordsEvaluated, 4u);

    // Deleted off: the tags without condition serve.
    xb::settings().deleted = false;
    EXPECT_EQ(run("upper(bezeich)=\"WIN\"" + kAnd + "upper(kategorie)=\"SPIELE\"", &st),
              (Recnos{3}));
    EXPECT_EQ(st.tagsUsed, (std::vector<std::string>{"BEZEICH2", "KATEGORIE2"}));
    EXPECT_EQ(st.recordsRead, 0u);

    // An .or. with an unoptimisable branch evaluates what the tags did not find.
    EXPECT_EQ(run("upper(bezeich)=\"WIN\"" + kOr + "prog01=\"x\"", &st),
              (Recnos{1, 2, 3, 6, 9, 11, 12}));
    EXPECT_EQ(st.recordsEvaluated, 12u - 5u);

    // Nothing optimisable: one scan over every record.
    EXPECT_EQ(run("prog01=\"x\"", &st), (Recnos{9, 11, 12}));
    EXPECT_EQ(st.level, 0);
    EXPECT_EQ(st.indexEntries, 0u);
    EXPECT_EQ(st.recordsRead, 12u);
    EXPECT_EQ(st.recordsEvaluated, 12u);

    // A complement: the records outside the tag range, without reading.
    EXPECT_EQ(run(".not. upper(bezeich)=\"WIN\"", &st), (Recnos{4, 5, 7, 8, 10, 11, 12}));
    EXPECT_EQ(st.recordsRead, 0u);
}

TEST_F(QueryTest, ComplementsDropFlaggedRecordsWhenDeletedIsOn) {
    xb::settings().deleted = true;
    xb::QueryStats st;
    // The condition tag lacks the flagged records 6 and 12; the complement
    // would bring them in, so the flags of its records are read.
    EXPECT_EQ(run(".not. upper(bezeich)=\"WIN\"", &st), (Recnos{4, 5, 7, 8, 10, 11}));
    EXPECT_EQ(st.recordsExamined, 8u);
    EXPECT_EQ(st.recordsEvaluated, 0u);
    EXPECT_EQ(run(".T.", &st), (Recnos{1, 2, 3, 4, 5, 7, 8, 9, 10, 11}));
}

TEST_F(QueryTest, ConstantsLongerThanTheKey) {
    xb::settings().deleted = false;
    const std::string longCat = "upper(kategorie)=\"TEXTVERARBEITUNG" + std::string(10, 'X') + "\"";
    const std::string blankTail =
        "upper(kategorie)=\"TEXTVERARBEITUNG" + std::string(10, ' ') + "\"";
    EXPECT_EQ(verdict(longCat), 2);
    EXPECT_EQ(run(longCat), (Recnos{}));
    EXPECT_EQ(run(blankTail), (Recnos{}));
    xb::settings().exact = true;
    // Exact on ignores the constant's blank tail beyond the 20-byte key.
    EXPECT_EQ(run(longCat), (Recnos{}));
    EXPECT_EQ(run(blankTail), (Recnos{2, 10}));
    for (const char* op : {"<", "<=", ">", ">=", "<>"})
        for (bool exact : {false, true}) {
            xb::settings().exact = exact;
            expectBruteForce(std::string("upper(kategorie)") + op + "\"TEXTVERARBEITUNG12345\"");
            expectBruteForce(std::string("\"TEXTVERARBEITUNG12345\"") + op + "upper(kategorie)");
            // Equal over the key's 20 bytes, decided by the constant's rest.
            for (const char* rest : {"    X", "     ", "    \x01"}) {
                const std::string c = std::string("\"TEXTVERARBEITUNG") + rest + "\"";
                expectBruteForce(c + op + "upper(kategorie)");
                expectBruteForce("upper(kategorie)" + std::string(op) + c);
            }
        }
}

TEST_F(QueryTest, ConstantOnTheLeftFollowsTheComparisonRules) {
    xb::settings().deleted = false;
    // "WIN" = upper(bezeich) asks whether the 50-byte title is a prefix of
    // "WIN": never with exact off.
    EXPECT_EQ(run("\"WIN\"=upper(bezeich)"), (Recnos{}));
    xb::settings().exact = true;
    EXPECT_EQ(run("\"WIN\"=upper(bezeich)"), (Recnos{3}));
    EXPECT_EQ(run("\"\"=upper(bezeich)"), (Recnos{12}));
}

TEST_F(QueryTest, MalformedExpressionsRaiseSyntaxErrorsNamingThem) {
    const std::vector<std::string> bad = {
        "upper(bezeich)=\"WIN",           // unbalanced quote
        "upper(bezeich)=\"A\"B\"",        // a title with a quote
        "upper(bezeich)=\"WIN\"" + kAnd,  // a dangling joiner
        "boxnummer",                      // not a condition
        "upper(gibtsnicht)=\"X\"",        // no such field
        "",                               // the caller lifts the query instead
    };
    for (const std::string& text : bad) {
        for (int call = 0; call < 2; ++call) {
            try {
                if (call == 0)
                    verdict(text);
                else
                    run(text);
                ADD_FAILURE() << "accepted: " << text;
            } catch (const qv::Error& e) {
                EXPECT_EQ(e.code(), qv::ErrorCode::Syntax) << text;
                EXPECT_NE(e.text().find("\"" + text + "\""), std::string::npos) << e.text();
            }
        }
    }
}

TEST_F(QueryTest, TagPointingPastTheLastRecordIsDamage) {
    xb::settings().deleted = false;
    xb::QuerySource src = t_.source();
    src.recCount = 11;  // record 12 (box 7) is in tag box2
    try {
        xb::runQuery(src, "boxnummer=7");
        ADD_FAILURE() << "no error";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt);
        EXPECT_NE(e.text().find(t_.index->path()), std::string::npos) << e.text();
        EXPECT_NE(e.text().find("BOX2"), std::string::npos) << e.text();
    }
}

TEST_F(QueryTest, EmptyTableGivesAnEmptySet) {
    qvtest::TempDir other;
    querytest::IndexedTable empty = querytest::makeEntryTable(other.path(), {});
    xb::QueryStats st;
    const xb::RecordSet s = xb::runQuery(empty.source(), "upper(bezeich)=\"WIN\"", &st);
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(st.level, 2);
}

// Tags the planner must leave alone, each beside a clause it would answer.
TEST(QueryTags, UnusableTagsAreNotUsed) {
    qvtest::TempDir dir;
    querytest::IndexedTable t = querytest::makeEntryTable(dir.path(), sampleEntries());
    // A fresh index holding only tags that cannot answer.
    t.index.reset();
    std::filesystem::remove(dir / "_qvdisk.nsx");
    querytest::buildTag(t, "uniq", "upper(bezeich)", "", true);
    querytest::buildTag(t, "forbox", "upper(kategorie)", "boxnummer>0");
    querytest::buildTag(t, "trimmed", "upper(trim(diskart)+kategorie)");
    querytest::buildTag(t, "cut", "bezeich+bezeich+bezeich+bezeich+bezeich+bezeich");
    querytest::buildTag(t, "product", "boxnummer*disknummer");
    // 20 bytes on the blank record, up to 60 on others: cut keys.
    querytest::buildTag(t, "lefty", "left(trim(upper(bezeich))+kategorie,60)");
    // A tag of another table: its key does not compile here.
    xb::NsxTagDef other{"fremd", "gibtsnicht", "", xb::NsxKeyType::Character, 10};
    t.index->addTag(other);

    const std::vector<std::string> clauses = {
        "upper(bezeich)=\"WIN\"",
        "upper(kategorie)=\"SPIELE\"",
        "upper(trim(diskart)+kategorie)=\"CD\"",
        "bezeich+bezeich+bezeich+bezeich+bezeich+bezeich=\"WIN\"",
        "boxnummer*disknummer=7",
        "left(trim(upper(bezeich))+kategorie,60)=\"WINDOWS 95BETRIEBSSYSTEM\"",
    };
    xb::SettingsGuard guard;
    for (bool deleted : {true, false}) {
        xb::settings().deleted = deleted;
        for (const std::string& c : clauses) {
            xb::QueryStats st;
            const xb::RecordSet got = xb::runQuery(t.source(), c, &st);
            EXPECT_EQ(st.level, 0) << c;
            EXPECT_TRUE(st.tagsUsed.empty()) << c;
            EXPECT_EQ(
                querytest::compareWithBruteForce(*t.table, got, querytest::bruteForce(*t.table, c)),
                "")
                << c;
        }
    }
    // A FOR spelled in any way still counts as "not deleted".
    for (const char* spelling : {".NOT. DELETED()", "!deleted()", "  not  Deleted( )"}) {
        querytest::buildTag(t, "nd", "upper(bezeich)", spelling);
        xb::settings().deleted = true;
        EXPECT_EQ(xb::queryTest(t.source(), "upper(bezeich)=\"WIN\""), 2) << spelling;
        xb::settings().deleted = false;
        EXPECT_EQ(xb::queryTest(t.source(), "upper(bezeich)=\"WIN\""), 0) << spelling;
    }
}

// The catalogue's entry table as the fixtures have it (bare "not deleted()"
// conditions, five flagged records, one recalled).
class QueryFixtureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir_.path());
        t_ = querytest::openIndexed(dir_.path(), "_qvdisk");
        ASSERT_NE(t_.index, nullptr);
    }
    Recnos run(const std::string& text) { return xb::runQuery(t_.source(), text).toVector(); }

    qvtest::TempDir dir_;
    querytest::IndexedTable t_;
    xb::SettingsGuard guard_;
};

TEST_F(QueryFixtureTest, DialogCasesOnTheCatalogue) {
    xb::settings().deleted = true;
    EXPECT_EQ(run("upper(bezeich)=\"MUSIK\""), (Recnos{8, 9, 52}));
    EXPECT_EQ(run(cp("upper(bezeich)=\"ÜBUNG\"")), (Recnos{11}));
    EXPECT_EQ(run("upper(kategorie)=\"SPIELE\""), (Recnos{4, 10, 26, 41, 42, 57, 62}));
    EXPECT_EQ(run("upper(kategorie)=\"SPIELE\"" + kAnd + "boxnummer=007"), (Recnos{57, 62}));
    EXPECT_EQ(run("upper(bezeich)=\"MUSIK\"" + kOr + "upper(kategorie)=\"MUSIK\""),
              (Recnos{8, 9, 52, 56}));
    EXPECT_EQ(run("upper(diskart)=\"CD-R\"" + kAnd + "boxnummer=5"), (Recnos{36, 37, 41, 42}));
    xb::settings().deleted = false;
    EXPECT_EQ(run("upper(kategorie)=\"SPIELE\"" + kAnd + "boxnummer=7"), (Recnos{57, 58, 62}));
}

TEST_F(QueryFixtureTest, EveryShapeEqualsBruteForceUnderEverySetting) {
    const std::vector<std::string> titles = {
        "MUSIK", "SICHERUNG", "", " LEER", "Z", cp("ÜBUNGSPROGRAMME MATHEMATIK"), "SPIELE"};
    const std::vector<std::string> categories = {"SPIELE", "B", cp("BÜRO"), "INTERNET"};
    const std::vector<std::string> carriers = {"CD", "DISKETTE 3,5", "DVD-R"};
    const std::vector<std::string> boxes = {"1", "007", "0", "99999"};
    for (bool deleted : {true, false})
        for (bool exact : {false, true}) {
            xb::settings().deleted = deleted;
            xb::settings().exact = exact;
            for (std::size_t i = 0; i < titles.size(); ++i)
                for (const std::string& joiner : {kAnd, kOr}) {
                    std::string text = "upper(bezeich)=\"" + titles[i] + "\"";
                    const std::string cat = "upper(kategorie)=\"" + categories[i % 4] + "\"";
                    const std::string car = "upper(diskart)=\"" + carriers[i % 3] + "\"";
                    const std::string box = "boxnummer=" + boxes[i % 4];
                    for (const std::string& expr :
                         {text, text + joiner + cat, text + joiner + cat + joiner + car,
                          text + joiner + cat + joiner + car + joiner + box, box,
                          cat + joiner + "prog01=\"X\"", "prog01=\"X\"" + joiner + box}) {
                        const int level = xb::queryTest(t_.source(), expr);
                        EXPECT_EQ(level, expr.find("prog01") == std::string::npos ? 2 : 1) << expr;
                        const xb::RecordSet got = xb::runQuery(t_.source(), expr);
                        EXPECT_EQ(querytest::compareWithBruteForce(
                                      *t_.table, got, querytest::bruteForce(*t_.table, expr)),
                                  "")
                            << expr << " deleted " << deleted << " exact " << exact;
                    }
                }
        }
}

}  // namespace
