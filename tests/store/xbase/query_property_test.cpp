// The planner's answer equals brute-force evaluation: random tables, random
// tags (usable and unusable ones), random clause combinations, under both
// exact settings and both deleted settings. Replay a failure with QV_SEED.
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "query_testkit.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/query.h"
#include "store/xbase/settings.h"
#include "support/testutil.h"
#include "xbase_test_util.h"

namespace {

using Rng = std::mt19937_64;

std::size_t pick(Rng& rng, std::size_t n) {
    return static_cast<std::size_t>(rng() % n);
}
bool chance(Rng& rng, int percent) {
    return static_cast<int>(rng() % 100) < percent;
}

// Bytes that make prefixes collide, differ only in case, sort below the
// blank (0x01) or above 'z' (ä, Ä).
const std::string kAlphabet = std::string("aAbB \x01z") + "\xE4\xC4";

std::string randomText(Rng& rng, std::size_t maxLen) {
    std::string s(pick(rng, maxLen + 1), ' ');
    for (char& c : s)
        c = kAlphabet[pick(rng, kAlphabet.size())];
    return s;
}

// The side of a comparison: an expression text, its type and its width (0
// for variable or non-character).
struct Side {
    const char* text;
    char type;  // C N L
    std::size_t width;
};

// name C(6), code C(3), amount N(7,2), num N(4), datum D, flag L.
const std::vector<xbtest::FieldDef> kWideLayout = {{"name", 'C', 6, 0},   {"code", 'C', 3, 0},
                                                   {"amount", 'N', 7, 2}, {"num", 'N', 4, 0},
                                                   {"datum", 'D', 8, 0},  {"flag", 'L', 1, 0}};

// Tags that answer, and tags that must not (unique, other condition,
// variable length).
const std::vector<querytest::TagDef> kWideTags = {
    {"up", "upper(name)", ""},
    {"upnd", "upper(name)", "not deleted()"},
    {"name", "name", ".not. deleted()"},
    {"codename", "code+name", ""},
    {"amount", "amount", ""},
    {"num", "num", "!deleted()"},
    {"flag", "flag", ""},
    {"numcode", "str(num,4)+code", ""},
    {"mid", "substr(name,2,3)", ""},
    {"day", "dtos(datum)", ""},
    {"datum", "datum", ""},
    {"lowcode", "lower(code)", ""},
    {"codefor", "code", "num>0"},
    {"trimmed", "upper(trim(code)+name)", ""},
    {"lefty", "left(trim(name)+code,8)", ""},
};

const std::vector<Side> kWideSides = {
    {"upper(name)", 'C', 6},
    {"UPPER( Name )", 'C', 6},
    {"name", 'C', 6},
    {"code+name", 'C', 9},
    {"str(num,4)+code", 'C', 7},
    {"substr(name,2,3)", 'C', 3},
    {"dtos(datum)", 'C', 8},
    {"lower(code)", 'C', 3},
    {"code", 'C', 3},
    {"upper(trim(code)+name)", 'C', 0},
    {"left(name,2)", 'C', 2},
    {"left(trim(name)+code,8)", 'C', 0},
    {"amount", 'N', 0},
    {"num", 'N', 0},
    {"num+1", 'N', 0},
    {"flag", 'L', 0},
};

const double kNumbers[] = {-5.5, -1, 0, 0.01, 1, 2.5, 7, 10, 99.99, 123, 999, 4444};

struct WideRecord {
    std::string name, code;
    double amount, num;
    std::int32_t day;
    char flag;  // 'T', 'F' or ' '
    bool deleted;
};

WideRecord randomWide(Rng& rng) {
    WideRecord r;
    r.name = randomText(rng, 6);
    r.code = randomText(rng, 3);
    r.amount = kNumbers[pick(rng, std::size(kNumbers))];
    r.num = chance(rng, 70) ? static_cast<double>(pick(rng, 20))
                            : static_cast<double>(pick(rng, 1000)) - 500;
    r.day = chance(rng, 20) ? 0
                            : xb::dateToJdn(1999 + static_cast<int>(pick(rng, 3)),
                                            1 + static_cast<int>(pick(rng, 12)), 1);
    r.flag = "TF "[pick(rng, 3)];
    r.deleted = chance(rng, 20);
    return r;
}

std::string quote(const std::string& s) {
    return "\"" + s + "\"";
}

// A character constant: often a prefix of a value some record has, so that
// ranges are not empty, else random; sometimes longer than the side, with
// or without a blank tail.
std::string charConstant(Rng& rng, const Side& side, const std::vector<std::string>& values) {
    const std::size_t w = side.width ? side.width : 6;
    std::string c;
    if (!values.empty() && chance(rng, 60)) {
        c = values[pick(rng, values.size())];
        c.resize(pick(rng, c.size() + 1));
    } else {
        c = randomText(rng, w + 1);
    }
    if (chance(rng, 30)) {
        // Past the side's width: a whole value plus a tail.
        if (!values.empty() && chance(rng, 50)) c = values[pick(rng, values.size())];
        c += std::string(1 + pick(rng, 3), chance(rng, 50) ? ' ' : 'a');
    }
    return c;
}

std::string numConstant(Rng& rng) {
    const double v = kNumbers[pick(rng, std::size(kNumbers))];
    std::string s = xb::formatNumber(v, 10, 2);
    // Leading zeros and blanks as a user might type them.
    while (!s.empty() && s.front() == ' ')
        s.erase(0, 1);
    if (chance(rng, 20) && v >= 0) s = "00" + s;
    return s;
}

const char* const kOps[] = {"=", "==", "<>", "<", "<=", ">", ">=", "#", "!="};

class ExprGen {
  public:
    ExprGen(Rng& rng, const std::vector<Side>& sides,
            std::function<std::vector<std::string>(const Side&)> valuesOf,
            std::vector<std::string> extraClauses)
        : rng_(rng),
          sides_(sides),
          valuesOf_(std::move(valuesOf)),
          extra_(std::move(extraClauses)) {}

    std::string clause() {
        if (!extra_.empty() && chance(rng_, 12)) return extra_[pick(rng_, extra_.size())];
        const Side& s = sides_[pick(rng_, sides_.size())];
        std::string op = kOps[pick(rng_, std::size(kOps))];
        std::string k;
        switch (s.type) {
            case 'C':
                k = quote(charConstant(rng_, s, valuesOf_(s)));
                break;
            case 'N':
                k = numConstant(rng_);
                break;
            default:
                k = chance(rng_, 50) ? ".T." : ".F.";
                if (op == "==") op = "=";
                break;
        }
        if (s.type != 'C' && op == "==") op = "=";
        return chance(rng_, 75) ? std::string(s.text) + op + k : k + op + s.text;
    }

    std::string expr(int depth) {
        if (depth == 0 || chance(rng_, 35)) return clause();
        if (chance(rng_, 15)) return (chance(rng_, 50) ? ".not. (" : "!(") + expr(depth - 1) + ")";
        const bool isAnd = chance(rng_, 50);
        const char* joiners[] = {isAnd ? " .and. " : " .or.  ", isAnd ? " and " : " or ",
                                 isAnd ? ".AND." : ".OR."};
        const std::size_t n = 2 + pick(rng_, 3);
        std::string out;
        for (std::size_t i = 0; i < n; ++i) {
            if (i) out += joiners[pick(rng_, 3)];
            out += "(" + expr(depth - 1) + ")";
        }
        return out;
    }

  private:
    Rng& rng_;
    const std::vector<Side>& sides_;
    std::function<std::vector<std::string>(const Side&)> valuesOf_;
    std::vector<std::string> extra_;
};

// Runs `text` under all four settings and compares with brute force;
// returns false after reporting a difference.
bool checkAllSettings(querytest::IndexedTable& t, const std::string& text, std::uint64_t seed,
                      int (&levels)[3]) {
    xb::SettingsGuard guard;
    for (bool deleted : {false, true})
        for (bool exact : {false, true}) {
            xb::settings().deleted = deleted;
            xb::settings().exact = exact;
            xb::QueryStats st;
            const xb::RecordSet got = xb::runQuery(t.source(), text, &st);
            const std::string diff = querytest::compareWithBruteForce(
                *t.table, got, querytest::bruteForce(*t.table, text));
            const bool consistent =
                (st.level != 2 || st.recordsEvaluated == 0) &&
                (st.level != 0 || (st.indexEntries == 0 && st.tagsUsed.empty())) &&
                st.level == xb::queryTest(t.source(), text);
            ++levels[st.level];
            if (!diff.empty() || !consistent) {
                ADD_FAILURE() << text << "\n  deleted " << deleted << ", exact " << exact
                              << ", level " << st.level << ", evaluated " << st.recordsEvaluated
                              << ": " << (diff.empty() ? "stats inconsistent" : diff) << "\n  seed "
                              << seed;
                return false;
            }
        }
    return true;
}

TEST(QueryProperty, RandomTablesTagsAndExpressionsEqualBruteForce) {
    const std::uint64_t seed = qvtest::testSeed();
    Rng rng(seed);
    int failures = 0;
    int levels[3] = {};
    for (int table = 0; table < 20 && failures < 3; ++table) {
        qvtest::TempDir dir;
        xbtest::createTable((dir / "t.dbf").string(), kWideLayout);
        querytest::IndexedTable t = querytest::openIndexed(dir.path(), "t");
        const std::size_t n = table == 0 ? 0 : pick(rng, 250);
        std::vector<std::string> names, codes;
        for (std::size_t i = 0; i < n; ++i) {
            const WideRecord r = randomWide(rng);
            xb::Table& tb = *t.table;
            tb.append();
            tb.replaceText(0, r.name);
            tb.replaceText(1, r.code);
            tb.replaceNumber(2, r.amount);
            tb.replaceNumber(3, r.num);
            tb.replaceDate(4, r.day);
            if (r.flag != ' ') tb.replaceLogical(5, r.flag == 'T');
            if (r.deleted) tb.deleteRecord();
            tb.commitRecord();
            names.push_back(r.name);
            codes.push_back(r.code);
        }
        // A random subset of the tags, at least one usable.
        for (std::size_t i = 0; i < kWideTags.size(); ++i)
            if (i == 0 || chance(rng, 75))
                querytest::buildTag(t, kWideTags[i].name, kWideTags[i].key, kWideTags[i].forText,
                                    std::string(kWideTags[i].name) == "lowcode");
        auto valuesOf = [&](const Side& s) {
            std::vector<std::string> v;
            const std::string text = s.text;
            for (std::size_t i = 0; i < names.size(); ++i) {
                std::string x;
                if (text.find("code") != std::string::npos)
                    x = codes[i] + names[i];
                else
                    x = names[i];
                if (text.find("upper") != std::string::npos ||
                    text.find("UPPER") != std::string::npos)
                    for (char& c : x)
                        c = static_cast<char>(xb::upper1252(static_cast<std::uint8_t>(c)));
                v.push_back(x);
            }
            return v;
        };
        ExprGen gen(rng, kWideSides, valuesOf,
                    {"deleted()", "flag", "name=code", "recno()>5", ".T.", ".F.", "amount>num"});
        for (int q = 0; q < 30 && failures < 3; ++q)
            if (!checkAllSettings(t, gen.expr(1 + static_cast<int>(pick(rng, 3))), seed, levels))
                ++failures;
    }
    // The generator must keep producing every verdict.
    for (int level = 0; level < 3; ++level)
        EXPECT_GT(levels[level], 100) << "level " << level;
}

// The query dialog's own shapes on random entry tables: one to four clauses
// in the fixed order, one joiner, upper-cased prefixes, box numbers with
// leading zeros.
TEST(QueryProperty, DialogShapesOnRandomEntryTablesEqualBruteForce) {
    const std::uint64_t seed = qvtest::testSeed();
    Rng rng(seed);
    const char* words[] = {"Win",   "WINDOWS", "winword", "Spiele", "Spiel",     "Büro",
                           "Musik", " Leer",   "Zeichen", "Übung",  "Sicherung", "W"};
    const char* categories[] = {"Spiele", "SPIELE", "Büro", "Treiber", "internet", ""};
    const char* carriers[] = {"CD-ROM", "CD-R", "cd-rw", "Diskette 3,5\"", "DVD", ""};
    int failures = 0;
    int levels[3] = {};
    for (int table = 0; table < 12 && failures < 3; ++table) {
        std::vector<querytest::Entry> entries;
        const std::size_t n = pick(rng, 200);
        for (std::size_t i = 0; i < n; ++i) {
            querytest::Entry e;
            e.title = xb::utf8ToCp1252(words[pick(rng, std::size(words))]);
            if (chance(rng, 50))
                e.title += " " + xb::utf8ToCp1252(words[pick(rng, std::size(words))]);
            e.category = xb::utf8ToCp1252(categories[pick(rng, std::size(categories))]);
            e.carrier = carriers[pick(rng, std::size(carriers))];
            e.box = static_cast<int>(pick(rng, 12));
            e.disk = static_cast<int>(pick(rng, 5));
            e.unique = static_cast<int>(i + 1);
            e.flag01 = std::string(1, "xX "[pick(rng, 3)]);
            e.deleted = chance(rng, 15);
            entries.push_back(e);
        }
        qvtest::TempDir dir;
        querytest::IndexedTable t = querytest::makeEntryTable(dir.path(), entries);
        auto prefix = [&](const std::string& v) {
            std::string s = v;
            for (char& c : s)
                c = static_cast<char>(xb::upper1252(static_cast<std::uint8_t>(c)));
            s.resize(chance(rng, 20) ? s.size() : pick(rng, s.size() + 1));
            // A quote would end the literal (a malformed query, tested elsewhere).
            return s.substr(0, s.find('"'));
        };
        for (int q = 0; q < 40 && failures < 3; ++q) {
            const std::string joiner = chance(rng, 50) ? " .and. " : " .or.  ";
            querytest::Entry none;
            none.title = "WIN";
            const querytest::Entry& e = entries.empty() ? none : entries[pick(rng, entries.size())];
            std::string text;
            if (chance(rng, 60)) text += joiner + "upper(bezeich)=" + quote(prefix(e.title));
            if (chance(rng, 50)) text += joiner + "upper(kategorie)=" + quote(prefix(e.category));
            if (chance(rng, 40)) text += joiner + "upper(diskart)=" + quote(prefix(e.carrier));
            if (chance(rng, 50) || text.empty())
                text +=
                    joiner + "boxnummer=" + (chance(rng, 30) ? "00" : "") + std::to_string(e.box);
            if (chance(rng, 15)) text += joiner + "prog01=\"x\"";
            text = text.substr(7, 255);
            if (!checkAllSettings(t, text, seed, levels)) ++failures;
        }
    }
    EXPECT_GT(levels[2], 100);
    EXPECT_GT(levels[1], 10);
}

}  // namespace
