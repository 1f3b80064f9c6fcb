// The index's note of the flagged records: counts and positions right from
// the first call of a session, and a note that never outlives a change.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_index.h"
#include "xbase_test_util.h"

namespace {

const std::string kPath = "_qvdir.dbf";

// The file table with two tags; records numbered 1 ... n, flagged where
// `flag` says so.
void makeTable(xb::Env& env, int n, bool (*flag)(int)) {
    xb::TableBuilder b(kPath, env);
    for (const xbtest::FieldDef& f : xbtest::layoutOf("_qvdir"))
        b.addField(f.name, f.type, f.width, f.dec);
    b.create();
    auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    for (int i = 1; i <= n; ++i) {
        t->append();
        t->replaceNumber(0, 1 + i % 5);
        t->replaceText(1, "N" + std::to_string((i * 37) % 101));
        t->replaceNumber(5, i);
        if (flag(i)) t->deleteRecord();
    }
    t->index().indexTag("dirnumm", "str(dirnumm,8)+dirpfad");
    t->index().indexTag("namealle", "upper(dirname)+str(dirnumm,8)", "dirnumm<3");
    t->close();
}

std::vector<std::uint32_t> flaggedOf(xb::Table& t) {
    std::vector<std::uint32_t> out;
    for (std::uint32_t r = 1; r <= t.recCount(); ++r) {
        t.go(r);
        if (t.deleted()) out.push_back(r);
    }
    return out;
}

// Counts and positions of every order against a walk of that order.
void expectCountsMatchWalks(xb::Table& t) {
    for (int order = 0; order <= t.index().tagCount(); ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        t.index().setOrder(order);
        const std::uint64_t counted = t.index().count();
        std::vector<std::uint32_t> walk;
        for (t.goTop(); !t.eof(); t.skip())
            walk.push_back(t.recNo());
        ASSERT_EQ(counted, walk.size());
        for (std::size_t i = 0; i < walk.size(); i += 7) {
            ASSERT_EQ(t.index().recnoAtOrderPosition(i + 1), walk[i]);
            t.go(walk[i]);
            ASSERT_EQ(t.index().orderRecNo(), i + 1);
        }
        // Blocks of positions read in one pass, the last running past the end.
        for (std::size_t from = 0; from < walk.size(); from += 40) {
            std::vector<std::uint32_t> block(64, 99);
            t.index().recnosAtOrderPositions(from + 1, block.data(), block.size());
            for (std::size_t i = 0; i < block.size(); ++i)
                ASSERT_EQ(block[i], from + i < walk.size() ? walk[from + i] : 0u)
                    << "position " << from + i + 1;
        }
    }
}

class FlaggedNote : public ::testing::Test {
  protected:
    void SetUp() override { xb::settings().deleted = true; }
    void TearDown() override { xb::settings().deleted = false; }
    // 120 records, every tenth flagged, and a session that counted them, so
    // that the index notes them; returns the flagged records.
    std::vector<std::uint32_t> makeNotedTable() {
        makeTable(env, 120, [](int i) { return i % 10 == 0; });
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
        EXPECT_EQ(t->index().count(), 108u);
        return flaggedOf(*t);
    }
    xb::MemEnv env;
};

TEST_F(FlaggedNote, ACleanCloseLeavesTheFlaggedRecordsForTheNextSession) {
    makeTable(env, 300, [](int i) { return i % 9 == 0 || (i > 200 && i < 230); });
    // The building session did not count: no note yet.
    auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    std::vector<std::uint32_t> noted;
    EXPECT_FALSE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    const std::vector<std::uint32_t> flagged = flaggedOf(*t);
    expectCountsMatchWalks(*t);
    t->close();

    // A reader finds the note and counts from it; the tags' entry counts
    // come with it, so that no tree is read for a count.
    t = xb::Table::open(kPath, xb::OpenMode::ReadOnly, env);
    for (int i = 0; i < t->index().tagCount(); ++i) {
        xb::NsxTag& tag = t->index().indexFile()->tag(i);
        EXPECT_NE(t->index().indexFile()->knownCount(tag.rootAddr()), xb::NsxFile::kUnknownCount);
    }
    ASSERT_TRUE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    EXPECT_EQ(noted, flagged);
    EXPECT_FALSE(t->index().indexFile()->flaggedNote(t->recCount() + 1, noted));  // another table
    expectCountsMatchWalks(*t);
    t->close();

    // A writer changes flags after counting: the note follows at close.
    t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    t->index().setOrder(1);
    EXPECT_EQ(t->index().count(), 300u - flagged.size());
    t->go(9);
    t->recall();
    t->go(10);
    t->deleteRecord();
    t->append();
    t->replaceNumber(5, 301);
    t->deleteRecord();
    t->commitRecord();
    const std::vector<std::uint32_t> now = flaggedOf(*t);
    t->close();
    t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    ASSERT_TRUE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    EXPECT_EQ(noted, now);
    expectCountsMatchWalks(*t);
}

TEST_F(FlaggedNote, ASessionThatChangesNoRecordKeepsTheNote) {
    const std::vector<std::uint32_t> flagged = makeNotedTable();
    // A writable session that only looks, without a count, as the start-up
    // check does; then one that moves about and reads.
    for (int session = 0; session < 2; ++session) {
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
        if (session == 1) {
            t->index().setOrder(1);
            t->goBottom();
            t->flush();
        }
    }
    auto t = xb::Table::open(kPath, xb::OpenMode::ReadOnly, env);
    std::vector<std::uint32_t> noted;
    ASSERT_TRUE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    EXPECT_EQ(noted, flagged);
    expectCountsMatchWalks(*t);
}

TEST_F(FlaggedNote, AChangeNotFollowedByACountDropsTheNote) {
    makeNotedTable();
    // A session flags a record without ever counting, and closes cleanly.
    {
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
        t->go(3);
        t->deleteRecord();
        t->commitRecord();
    }
    auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    std::vector<std::uint32_t> noted;
    EXPECT_FALSE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    expectCountsMatchWalks(*t);
    t->close();

    // A session killed after flagging a record: its note must not count.
    {
        auto t2 = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
        ASSERT_TRUE(t2->index().indexFile()->flaggedNote(t2->recCount(), noted));
        t2->go(4);
        t2->deleteRecord();
        t2->commitRecord();
        env.failWritesAfter(0);  // dies here
    }
    env.failWritesAfter(-1);
    t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    EXPECT_FALSE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    t->go(4);
    EXPECT_TRUE(t->deleted());
    expectCountsMatchWalks(*t);
}

TEST_F(FlaggedNote, ScatteredFlagsBeyondTheNotesRoomAreCountedByAScan) {
    makeTable(env, 1500, [](int i) { return i % 3 == 0; });
    {
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
        EXPECT_EQ(t->index().count(), 1000u);
    }
    auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    std::vector<std::uint32_t> noted;
    EXPECT_FALSE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    expectCountsMatchWalks(*t);

    // A pack leaves no flagged record, and says so; the rebuilt index knows
    // its entry counts from the start.
    t->pack();
    for (int i = 0; i < t->index().tagCount(); ++i) {
        xb::NsxTag& tag = t->index().indexFile()->tag(i);
        EXPECT_NE(t->index().indexFile()->knownCount(tag.rootAddr()), xb::NsxFile::kUnknownCount);
    }
    t->close();
    t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    ASSERT_TRUE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    EXPECT_TRUE(noted.empty());
    EXPECT_EQ(t->index().count(), 1000u);
    expectCountsMatchWalks(*t);
}

TEST_F(FlaggedNote, ADamagedNoteIsIgnored) {
    makeTable(env, 60, [](int i) { return i % 6 == 0; });
    {
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
        EXPECT_EQ(t->index().count(), 50u);
    }
    std::vector<std::uint8_t> nsx = env.fileBytes("_qvdir.nsx");
    nsx[828] ^= 0x04;  // inside the first tag's entry count
    env.setFile("_qvdir.nsx", nsx);
    auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    std::vector<std::uint32_t> noted;
    EXPECT_FALSE(t->index().indexFile()->flaggedNote(t->recCount(), noted));
    for (int i = 0; i < t->index().tagCount(); ++i) {
        xb::NsxTag& tag = t->index().indexFile()->tag(i);
        EXPECT_EQ(t->index().indexFile()->knownCount(tag.rootAddr()), xb::NsxFile::kUnknownCount);
    }
    expectCountsMatchWalks(*t);
}

}  // namespace
