// The engine table's index operations on the catalogue's tables: tag
// creation and what it stores, the catalogue's index edge cases, scopes and
// positions as the lower panel uses them, seeks with exact comparison on,
// cursors that live through changes, descending and unique tags, evalString,
// query subsets and filters.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/progress.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"
#include "xbase_test_util.h"

namespace fs = std::filesystem;

namespace {

std::string str8(double v) {
    return xb::formatNumber(v, 8, 0);
}

// prefix + the number's digits.
std::string numbered(std::string prefix, int n) {
    prefix += std::to_string(n);
    return prefix;
}

void expectSound(const std::string& path) {
    const auto faults = xb::checkTableFile(path);
    EXPECT_TRUE(faults.empty()) << nsxtest::joinFaults(faults);
}

// Closes the table and checks its index against its records.
void closeAndCheck(std::unique_ptr<xb::Table>& t) {
    const std::string path = t->path();
    t->close();
    expectSound(path);
}

// The entry table with its nine tags, as the start-up check builds them.
std::unique_ptr<xb::Table> entryTable(const qvtest::TempDir& dir) {
    const std::string path = (dir / "_qvdisk.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_qvdisk"));
    auto t = xb::Table::open(path);
    t->index().indexTag("eindeutig", "eindeutig", "not deleted()");
    t->index().indexTag("bezeich", "upper(bezeich)", "not deleted()");
    t->index().indexTag("nummer", "str(boxnummer,5)+str(disknummer,5)", "not deleted()");
    t->index().indexTag("kategorie", "upper(kategorie)", "not deleted()");
    t->index().indexTag("diskart", "upper(diskart)", "not deleted()");
    t->index().indexTag("diskart2", "upper(diskart)");
    t->index().indexTag("kategorie2", "upper(kategorie)");
    t->index().indexTag("bezeich2", "upper(bezeich)");
    t->index().indexTag("box2", "boxnummer");
    return t;
}

void addEntry(xb::Table& t, double nr, const std::string& title, double box, double disk) {
    t.append();
    t.replaceNumber(t.fieldIndex("eindeutig"), nr);
    t.replaceText(t.fieldIndex("bezeich"), title);
    t.replaceNumber(t.fieldIndex("boxnummer"), box);
    t.replaceNumber(t.fieldIndex("disknummer"), disk);
    t.replaceText(t.fieldIndex("kategorie"), "Spiele");
    t.replaceText(t.fieldIndex("diskart"), "CD-ROM");
    t.commitRecord();
}

// The file table with its three tags.
std::unique_ptr<xb::Table> fileTable(const qvtest::TempDir& dir) {
    const std::string path = (dir / "_qvdir.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_qvdir"));
    auto t = xb::Table::open(path);
    qv::tables::createTags(*t, qv::tables::layoutOf(qv::CatalogueTable::Files));
    return t;
}

void addFile(xb::Table& t, double entry, const std::string& name, const std::string& ext,
             const std::string& dirPath) {
    t.append();
    t.replaceNumber(0, entry);
    t.replaceText(1, name);
    t.replaceText(2, ext);
    t.replaceText(3, dirPath + " " + name + "." + ext);
    t.commitRecord();
}

std::vector<std::uint32_t> walk(xb::Table& t) {
    std::vector<std::uint32_t> r;
    for (t.goTop(); !t.eof(); t.skip())
        r.push_back(t.recNo());
    return r;
}

using Recnos = std::vector<std::uint32_t>;

// ---- creating tags --------------------------------------------------------------------------

TEST(TableIndexTag, StoresDottedTextsUpperCaseNamesAndSetsTheHeaderFlag) {
    qvtest::TempDir dir;
    auto t = entryTable(dir);
    ASSERT_EQ(t->index().tagCount(), 9);
    EXPECT_EQ(t->index().tagName(1), "EINDEUTIG");
    EXPECT_EQ(t->index().tagName(9), "BOX2");
    EXPECT_EQ(t->index().tagPosition("Kategorie2"), 7);
    EXPECT_EQ(t->header().flags & 1, 1);
    xb::NsxFile* f = t->index().indexFile();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->path(), (dir / "_qvdisk.nsx").string());
    EXPECT_EQ(f->tag(0).forExpr(), ".not. deleted()");
    EXPECT_EQ(f->tag(0).keyType(), xb::NsxKeyType::Numeric);
    EXPECT_EQ(f->tag(1).keyLen(), 50);
    EXPECT_EQ(f->tag(2).keyLen(), 10);
    EXPECT_EQ(f->tag(5).forExpr(), "");
    // The newest tag is the current order.
    EXPECT_EQ(t->index().order(), 9);
    EXPECT_THROW(t->index().setOrder(10), qv::Error);
    t->close();
    auto again = xb::Table::open((dir / "_qvdisk.dbf").string());
    EXPECT_EQ(again->index().tagCount(), 9);
    EXPECT_EQ(again->index().order(), 0);
    closeAndCheck(again);
}

TEST(TableIndexTag, RefusesAnEmptyKeyAndBadExpressions) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_katego.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_katego"));
    auto t = xb::Table::open(path);
    try {
        t->index().indexTag("leer", "trim(katego)");
        FAIL() << "an empty key was accepted";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::InvalidArgument);
        EXPECT_NE(e.text().find("leere Zeichenkette"), std::string::npos) << e.text();
    }
    EXPECT_THROW(t->index().indexTag("x", "upper(katego"), qv::Error);
    EXPECT_THROW(t->index().indexTag("x", "katego", "anzahl"), qv::Error);  // FOR must be logical
    EXPECT_EQ(t->index().tagCount(), 0);
}

TEST(TableIndexTag, ReportsProgressAndHonoursTheConditionButNotTheDeletedSetting) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_katego.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_katego"));
    auto t = xb::Table::open(path);
    for (int i = 0; i < 300; ++i) {
        t->append();
        t->replaceText(0, numbered("k", i % 17));
        t->replaceNumber(1, i);
        if (i % 10 == 0) t->deleteRecord();
    }
    t->commitRecord();
    xb::SettingsGuard guard;
    xb::settings().deleted = true;
    std::vector<int> seen;
    xb::setGaugeHook([&](int p) { seen.push_back(p); });
    t->index().indexTag("gerade", "upper(katego)", "anzahl < 150");
    xb::setGaugeHook({});
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    xb::settings().deleted = false;
    EXPECT_EQ(t->index().count(), 150u);  // flagged records are in the tag
    xb::settings().deleted = true;
    EXPECT_EQ(t->index().count(), 135u);
    t->close();
    expectSound(path);
}

TEST(TableIndexTag, RecreatingATagKeepsItsPositionAndFiftyTagsAreTheLimit) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_katego.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_katego"));
    auto t = xb::Table::open(path);
    for (int i = 0; i < 50; ++i)
        t->index().indexTag(numbered("t", i), "katego");
    EXPECT_THROW(t->index().indexTag("t50", "katego"), qv::Error);
    t->index().indexTag("T7", "anzahl");
    EXPECT_EQ(t->index().tagPosition("t7"), 8);
    EXPECT_EQ(t->index().indexFile()->tag(7).keyType(), xb::NsxKeyType::Numeric);
    EXPECT_EQ(t->index().tagCount(), 50);
    closeAndCheck(t);
}

TEST(TableIndexTag, ReadOnlyTablesRefuseTagsAndOpenTheIndexReadOnly) {
    qvtest::TempDir dir;
    entryTable(dir)->close();
    auto t = xb::Table::open((dir / "_qvdisk.dbf").string(), xb::OpenMode::ReadOnly);
    ASSERT_NE(t->index().indexFile(), nullptr);
    EXPECT_TRUE(t->index().indexFile()->readOnly());
    EXPECT_THROW(t->index().indexTag("x", "bezeich"), qv::Error);
    EXPECT_THROW(t->index().reindex(), qv::Error);
    EXPECT_THROW(t->pack(), qv::Error);
}

// ---- the catalogue's index edge cases ---------------------------------------------------------

TEST(TableIndexCatalogue, AFlaggedEntryLeavesTagsOneToFiveAndStaysInSixToNine) {
    qvtest::TempDir dir;
    auto t = entryTable(dir);
    addEntry(*t, 1, "Alpha", 1, 1);
    addEntry(*t, 2, "Beta", 1, 2);
    addEntry(*t, 3, "Gamma", 2, 1);
    xb::SettingsGuard guard;
    xb::settings().deleted = false;
    t->go(2);
    t->deleteRecord();
    // Still hot: the tags are untouched until the record is committed.
    t->index().setOrder(0);
    for (int pos = 1; pos <= 9; ++pos) {
        t->index().setOrder(pos);
        EXPECT_EQ(t->index().count(), pos <= 5 ? 2u : 3u) << "tag " << pos;
        const Recnos w = walk(*t);
        EXPECT_EQ(std::count(w.begin(), w.end(), 2u), pos <= 5 ? 0 : 1) << "tag " << pos;
    }
    t->go(2);
    t->recall();
    t->commitRecord();
    for (int pos = 1; pos <= 9; ++pos) {
        t->index().setOrder(pos);
        EXPECT_EQ(t->index().count(), 3u) << "tag " << pos;
    }
    // Tag 3 compares boxes and carriers as right-aligned numbers.
    t->index().setOrder(3);
    EXPECT_EQ(walk(*t), (Recnos{1, 2, 3}));
    EXPECT_TRUE(t->index().seek("    2"));
    EXPECT_EQ(t->recNo(), 3u);
    t->close();
    expectSound((dir / "_qvdisk.dbf").string());
}

TEST(TableIndexCatalogue, ReleasedFileRecordsAreOnlyInDirnummAndFoundWithExactOn) {
    qvtest::TempDir dir;
    auto t = fileTable(dir);
    addFile(*t, 1, "A", "TXT", "\\");
    addFile(*t, 1, "B", "EXE", "\\");
    addFile(*t, 10, "C", "TXT", "\\");
    t->go(2);
    t->replaceNumber(0, 99999999);
    t->commitRecord();
    xb::SettingsGuard guard;
    xb::settings().exact = true;
    xb::settings().softSeek = false;
    xb::settings().deleted = true;
    t->index().setOrder(1);
    EXPECT_EQ(walk(*t), (Recnos{1, 3, 2}));  // released records after all real keys
    EXPECT_TRUE(t->index().seek("99999999"));
    EXPECT_EQ(t->recNo(), 2u);
    for (int pos = 2; pos <= 3; ++pos) {
        t->index().setOrder(pos);
        const Recnos w = walk(*t);
        EXPECT_EQ(std::count(w.begin(), w.end(), 2u), 0) << "tag " << pos;
        EXPECT_EQ(t->index().count(), 2u);
    }
    // Reusing the released record puts it back into tags 2 and 3.
    t->index().setOrder(1);
    ASSERT_TRUE(t->index().seek("99999999"));
    t->replaceNumber(0, 10);
    t->commitRecord();
    EXPECT_FALSE(t->index().seek("99999999"));
    EXPECT_TRUE(t->eof());
    t->index().setOrder(2);
    EXPECT_EQ(t->index().count(), 3u);
    t->close();
    expectSound((dir / "_qvdir.dbf").string());
}

// A reindex of a file table larger than one block of records, and large
// enough for several threads, makes its keys from the records in the file's
// view: afterwards every tag agrees with the records, the released ones are
// only in dirnumm, and the tags hold the order the records say.
TEST(TableIndexCatalogue, AReindexOverSeveralBlocksAgreesWithTheRecords) {
    qvtest::TempDir dir;
    auto t = fileTable(dir);
    constexpr int kFiles = 45000;  // about 6 MB of records
    for (int i = 1; i <= kFiles; ++i) {
        const double entry = i % 97 == 0 ? 99999999 : 1 + (i * 7919LL) % 500;
        addFile(*t, entry, numbered("F", static_cast<int>((i * 104729LL) % kFiles)),
                i % 3 == 0 ? "TXT" : "EXE", "\\D" + std::to_string(i % 11));
    }
    const int released = kFiles / 97;
    t->index().reindex();
    t->index().setOrder(1);
    EXPECT_EQ(t->index().count(), static_cast<std::uint64_t>(kFiles));
    t->index().setOrder(2);
    EXPECT_EQ(t->index().count(), static_cast<std::uint64_t>(kFiles - released));
    // The walk of namealle gives the names in order.
    std::string last;
    std::uint32_t walked = 0;
    for (t->goTop(); !t->eof(); t->skip(), ++walked) {
        std::string key = std::string(t->raw(1)) + std::string(t->raw(2));
        for (char& c : key)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        EXPECT_LE(last, key) << "record " << t->recNo();
        last = key;
    }
    EXPECT_EQ(walked, static_cast<std::uint32_t>(kFiles - released));
    closeAndCheck(t);
}

TEST(TableIndexCatalogue, AnExtensionIsFoundAsAWholeThreeCharacterKeyWithExactOn) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_endung.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_endung"));
    auto t = xb::Table::open(path);
    for (const char* e : {"TXT", "EXE", "TX", "htm"}) {
        t->append();
        t->replaceText(0, e);
    }
    t->commitRecord();
    t->index().indexTag("endung1", "upper(endung)", "not deleted()");
    xb::SettingsGuard guard;
    xb::settings().exact = true;
    xb::settings().softSeek = true;
    EXPECT_TRUE(t->index().seek("TXT"));
    EXPECT_EQ(t->recNo(), 1u);
    EXPECT_TRUE(t->index().seek("HTM"));
    EXPECT_EQ(t->recNo(), 4u);
    EXPECT_TRUE(t->index().seek("TX "));
    EXPECT_EQ(t->recNo(), 3u);
    EXPECT_FALSE(t->index().seek("DLL"));
    EXPECT_EQ(t->recNo(), 2u);  // soft seek stands on the next higher key, "EXE"
    xb::settings().softSeek = false;
    EXPECT_FALSE(t->index().seek("DLL"));
    EXPECT_TRUE(t->eof());
    closeAndCheck(t);
}

TEST(TableIndexScope, EntryRangesNeverMixAndCountFromOrderPositions) {
    qvtest::TempDir dir;
    auto t = fileTable(dir);
    // Entries 1 and 10 interleaved in record order; entry 1's files sort first.
    for (int i = 0; i < 30; ++i) {
        addFile(*t, i % 2 == 0 ? 1 : 10, numbered("F", i), "TXT", "\\d" + std::to_string(29 - i));
    }
    addFile(*t, 2, "G", "TXT", "\\");
    t->go(5);
    t->deleteRecord();
    t->commitRecord();
    xb::SettingsGuard guard;
    xb::settings().deleted = true;
    t->index().setOrder(1);
    const auto lowerPanel = [&](double entry) -> std::uint64_t {
        const std::string k = str8(entry);
        t->index().setScope(k, k + "\xff");
        const std::uint64_t p1 = t->index().orderRecNo();
        if (p1 == 0) return 0;
        t->goBottom();
        const std::uint64_t p2 = t->index().orderRecNo();
        t->goTop();
        return p2 - p1 + 1;
    };
    EXPECT_EQ(lowerPanel(1), 14u);  // record 5 (entry 1) is flagged
    EXPECT_EQ(t->index().count(), 14u);
    for (t->goTop(); !t->eof(); t->skip())
        EXPECT_EQ(t->number(0), 1);
    EXPECT_EQ(lowerPanel(10), 15u);
    EXPECT_EQ(t->index().count(), 15u);
    for (t->goTop(); !t->eof(); t->skip())
        EXPECT_EQ(t->number(0), 10);
    EXPECT_EQ(lowerPanel(2), 1u);
    // An empty range: eof, position 0, count 0.
    EXPECT_EQ(lowerPanel(3), 0u);
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->index().count(), 0u);
    EXPECT_FALSE(t->index().gotoOrderPosition(1));
    // Positions inside a scope step over the flagged record.
    lowerPanel(1);
    std::uint64_t n = 0;
    for (t->goTop(); !t->eof(); t->skip()) {
        ++n;
        EXPECT_EQ(t->index().orderRecNo(), n);
        EXPECT_EQ(t->index().recnoAtOrderPosition(n), t->recNo());
    }
    EXPECT_EQ(n, 14u);
    // A grid's block of rows: the same records, and 0 past the scope's end.
    Recnos block(16, 99);
    t->index().recnosAtOrderPositions(1, block.data(), block.size());
    Recnos expected = walk(*t);
    expected.resize(16, 0);
    EXPECT_EQ(block, expected);
    ASSERT_TRUE(t->index().gotoOrderPosition(14));
    EXPECT_EQ(t->index().orderRecNo(), 14u);
    EXPECT_FALSE(t->index().gotoOrderPosition(15));
    // Seeks stay inside the scope; clearing it widens the count again.
    lowerPanel(10);
    EXPECT_FALSE(t->index().seek(str8(1)));
    t->index().clearScope();
    EXPECT_FALSE(t->index().hasScope());
    EXPECT_EQ(t->index().count(), 30u);
    // Two open bounds lift the scope as well, without moving.
    lowerPanel(2);
    const std::uint32_t here = t->recNo();
    t->index().setScope(std::nullopt, std::nullopt);
    EXPECT_FALSE(t->index().hasScope());
    EXPECT_EQ(t->recNo(), here);
    EXPECT_EQ(t->index().count(), 30u);
    closeAndCheck(t);
}

TEST(TableIndexScope, NaturalOrderCountsAndPositionsSkipFlaggedRecords) {
    qvtest::TempDir dir;
    auto t = fileTable(dir);
    for (int i = 1; i <= 20; ++i)
        addFile(*t, i, "F", "TXT", "\\");
    for (std::uint32_t r : {3u, 4u, 10u, 20u}) {
        t->go(r);
        t->deleteRecord();
    }
    t->commitRecord();
    xb::SettingsGuard guard;
    t->index().setOrder(0);
    xb::settings().deleted = false;
    EXPECT_EQ(t->index().count(), 20u);
    xb::settings().deleted = true;
    EXPECT_EQ(t->index().count(), 16u);
    const Recnos w = walk(*t);
    ASSERT_EQ(w.size(), 16u);
    for (std::uint64_t p = 1; p <= w.size(); ++p) {
        EXPECT_EQ(t->index().recnoAtOrderPosition(p), w[p - 1]);
        ASSERT_TRUE(t->index().gotoOrderPosition(p));
        EXPECT_EQ(t->index().orderRecNo(), p);
    }
    EXPECT_EQ(t->index().recnoAtOrderPosition(17), 0u);
    t->go(10);
    EXPECT_EQ(t->index().orderRecNo(), 0u);  // a flagged record has no visible position
    t->recall();
    t->commitRecord();
    EXPECT_EQ(t->index().count(), 17u);
    EXPECT_EQ(t->index().orderRecNo(), 8u);
    closeAndCheck(t);
}

TEST(TableIndexScope, ScopeAndSeekNeedATagOrder) {
    qvtest::TempDir dir;
    auto t = fileTable(dir);
    t->index().setOrder(0);
    EXPECT_THROW(t->index().seek("x"), qv::Error);
    EXPECT_THROW(t->index().setScope(std::string("a"), std::nullopt), qv::Error);
    t->index().setOrder(1);
    EXPECT_THROW(t->index().seekNumber(1), qv::Error);  // character tag
}

// ---- navigation through changes ----------------------------------------------------------

TEST(TableIndexOrder, TheTableStaysOnARecordWhoseKeyMoved) {
    qvtest::TempDir dir;
    auto t = fileTable(dir);
    for (int i = 1; i <= 5; ++i)
        addFile(*t, i, "F", "TXT", "\\");
    t->index().setOrder(1);
    t->goTop();
    t->skip();  // record 2
    t->replaceNumber(0, 9);
    t->commitRecord();
    EXPECT_EQ(t->recNo(), 2u);
    EXPECT_EQ(t->index().orderRecNo(), 5u);
    t->skip();
    EXPECT_TRUE(t->eof());
    t->go(4);
    t->replaceNumber(0, 0);
    t->skip(1);  // commits, then moves on from the record's new place
    EXPECT_EQ(t->recNo(), 1u);
    t->skip(-1);
    EXPECT_EQ(t->recNo(), 4u);
    EXPECT_EQ(walk(*t), (Recnos{4, 1, 3, 5, 2}));
    closeAndCheck(t);
}

TEST(TableIndexOrder, ARecordOutsideTheTagStillLeadsToItsNeighbours) {
    qvtest::TempDir dir;
    auto t = fileTable(dir);
    for (int i = 1; i <= 4; ++i)
        addFile(*t, i, std::string(1, static_cast<char>('A' + i)), "TXT", "\\");
    t->go(2);
    t->replaceNumber(0, 99999999);  // leaves tag 2
    t->commitRecord();
    t->index().setOrder(2);
    t->go(2);
    EXPECT_EQ(t->index().orderRecNo(), 0u);
    t->skip();
    EXPECT_FALSE(t->eof());
    EXPECT_NE(t->recNo(), 2u);
    closeAndCheck(t);
}

TEST(TableIndexOrder, DescendingTagsRunBackwardsAndSeekFromTheTop) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_katego.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_katego"));
    auto t = xb::Table::open(path);
    for (const char* k : {"B", "D", "A", "C", "BB"}) {
        t->append();
        t->replaceText(0, k);
    }
    t->commitRecord();
    t->index().indexTag("ab", "katego", {}, false, true);
    EXPECT_TRUE(t->index().indexFile()->tag(0).descending());
    EXPECT_EQ(walk(*t), (Recnos{2, 4, 5, 1, 3}));
    EXPECT_EQ(t->index().count(), 5u);
    t->goTop();
    EXPECT_EQ(t->index().orderRecNo(), 1u);
    ASSERT_TRUE(t->index().gotoOrderPosition(4));
    EXPECT_EQ(t->recNo(), 1u);
    EXPECT_TRUE(t->index().seek("B"));
    EXPECT_EQ(t->recNo(), 5u);  // the first "B..." key coming from the top
    xb::SettingsGuard guard;
    xb::settings().softSeek = true;
    EXPECT_FALSE(t->index().seek("BA"));
    EXPECT_EQ(t->recNo(), 1u);  // the next key downwards
    t->index().setScope(std::string("B"), std::string("C"));
    EXPECT_EQ(walk(*t), (Recnos{4, 5, 1}));
    Recnos block(3, 99);
    t->index().recnosAtOrderPositions(2, block.data(), block.size());
    EXPECT_EQ(block, (Recnos{5, 1, 0}));
    EXPECT_EQ(t->index().count(), 3u);
    closeAndCheck(t);
}

TEST(TableIndexOrder, UniqueTagsKeepTheFirstRecordOfAKey) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_katego.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_katego"));
    auto t = xb::Table::open(path);
    for (const char* k : {"b", "a", "c", "a"}) {
        t->append();
        t->replaceText(0, k);
    }
    t->commitRecord();
    t->index().indexTag("eins", "katego", {}, true);
    EXPECT_EQ(walk(*t), (Recnos{2, 1, 3}));
    t->append();
    t->replaceText(0, "b");
    t->commitRecord();
    EXPECT_EQ(t->index().count(), 3u);
    t->close();
    expectSound(path);
}

// ---- expressions, queries, filters -----------------------------------------------------------

TEST(TableIndexEval, EvalStringGivesTextsAsTheProgramReadsThem) {
    qvtest::TempDir dir;
    auto t = entryTable(dir);
    addEntry(*t, 42, "Titel", 3, 4);
    xb::SettingsGuard guard;
    xb::settings().century = true;
    xb::settings().germanDates = true;
    EXPECT_EQ(t->evalString("str(eindeutig,8)"), "      42");
    EXPECT_EQ(t->evalString("eindeutig"), "      42");  // a field prints with its width
    EXPECT_EQ(t->evalString("boxnummer*2"), "         6");
    EXPECT_EQ(t->evalString("upper(bezeich)").substr(0, 6), "TITEL ");
    EXPECT_EQ(t->evalString("deleted()"), ".F.");
    EXPECT_EQ(t->evalString("eindeutig > 40"), ".T.");
    EXPECT_THROW(t->evalString("str(eindeutig"), qv::Error);
    addEntry(*t, 7, "Zwei", 1, 1);
    EXPECT_EQ(t->evalString("str(eindeutig,8)"), "       7");  // cached, evaluated anew
    closeAndCheck(t);
}

TEST(TableIndexQuery, ASubsetLimitsNavigationCountsAndPositions) {
    qvtest::TempDir dir;
    auto t = entryTable(dir);
    for (int i = 1; i <= 12; ++i)
        addEntry(*t, i, i % 3 == 0 ? "WIN " + std::to_string(i) : "DOS " + std::to_string(i), i, 1);
    t->go(6);
    t->deleteRecord();
    t->commitRecord();
    xb::SettingsGuard guard;
    xb::settings().deleted = true;
    t->index().setOrder(2);  // bezeich
    // The verdicts come from the tags of the production index.
    EXPECT_EQ(t->index().queryTest("upper(bezeich)=\"WIN\""), 2);
    EXPECT_EQ(t->index().queryTest("upper(bezeich)=\"WIN\" .and. prog01=\"x\""), 1);
    EXPECT_EQ(t->index().queryTest("prog01=\"x\""), 0);
    EXPECT_THROW(t->index().queryTest("upper(bezeich"), qv::Error);
    t->index().query("upper(bezeich)=\"WIN\"");
    EXPECT_TRUE(t->index().queryActive());
    EXPECT_EQ(t->index().count(), 3u);  // 3, 9, 12 (6 is flagged)
    EXPECT_EQ(walk(*t), (Recnos{12, 3, 9}));
    t->goTop();
    EXPECT_EQ(t->index().orderRecNo(), 1u);
    EXPECT_EQ(t->index().recnoAtOrderPosition(3), 9u);
    EXPECT_FALSE(t->index().queryBit(6));  // flagged, and the deleted setting is on
    EXPECT_TRUE(t->index().queryBit(9));
    EXPECT_FALSE(t->index().queryBit(5));
    t->index().setQueryBit(5, true);
    EXPECT_EQ(t->index().count(), 4u);
    t->index().setFilter("boxnummer > 5");
    EXPECT_EQ(walk(*t), (Recnos{12, 9}));
    EXPECT_EQ(t->index().count(), 2u);
    t->index().setFilter("");
    t->index().query("");
    EXPECT_FALSE(t->index().queryActive());
    EXPECT_EQ(t->index().count(), 11u);
    // With the deleted setting off the flagged match belongs to the subset.
    xb::settings().deleted = false;
    t->index().query("upper(bezeich)=\"WIN\"");
    EXPECT_TRUE(t->index().queryBit(6));
    EXPECT_EQ(t->index().count(), 3u);  // tag 2 holds no flagged record
    t->index().setOrder(0);
    EXPECT_EQ(t->index().count(), 4u);
    EXPECT_EQ(walk(*t), (Recnos{3, 6, 9, 12}));
    t->index().query("");
    EXPECT_THROW(t->index().setQueryBit(1, true), qv::Error);
    closeAndCheck(t);
}

}  // namespace
