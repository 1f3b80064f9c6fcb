// The engine table over the fixtures' production indexes: every tag walked in
// tag order with deleted records visible, every seek probe soft and hard with
// exact comparison off and on, the key counts and order positions, and the
// index checker finding nothing wrong with what another program wrote.

#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"

namespace fs = std::filesystem;
using nsxtest::ExpectedTable;
using nsxtest::ExpectedTag;

namespace {

struct FixtureCase {
    std::string set;
    std::string table;
};

std::vector<FixtureCase> indexedFixtures() {
    std::vector<FixtureCase> r;
    for (const char* set : {"catalog", "edge"})
        for (const auto& e : fs::directory_iterator(qvtest::xbaseFixtures() / set)) {
            if (e.path().extension() != ".nsx") continue;
            r.push_back({set, e.path().stem().string()});
        }
    std::sort(r.begin(), r.end(), [](const FixtureCase& a, const FixtureCase& b) {
        return a.set + a.table < b.set + b.table;
    });
    return r;
}

class TableIndexFixture : public ::testing::TestWithParam<FixtureCase> {
  protected:
    void SetUp() override {
        const fs::path src = qvtest::xbaseFixtures() / GetParam().set;
        qvtest::copyDirFiles(src, dir_.path());
        expected_ = nsxtest::loadExpected(src / "expected" / (GetParam().table + ".json"));
    }
    std::string tablePath() const { return (dir_ / (GetParam().table + ".dbf")).string(); }

    qvtest::TempDir dir_;
    ExpectedTable expected_;
    xb::SettingsGuard settings_;
};

TEST_P(TableIndexFixture, WalksEveryTagInOrderWithCountsAndPositions) {
    auto t = xb::Table::open(tablePath());
    ASSERT_NE(t->index().indexFile(), nullptr);
    ASSERT_EQ(t->index().tagCount(), static_cast<int>(expected_.tags.size()));
    xb::settings().deleted = false;
    for (int pos = 1; pos <= t->index().tagCount(); ++pos) {
        const ExpectedTag& e = expected_.tags[static_cast<std::size_t>(pos - 1)];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(t->index().tagName(pos), e.name);
        EXPECT_EQ(t->index().tagPosition(e.name), pos);
        t->index().setOrder(pos);
        EXPECT_EQ(t->index().order(), pos);
        EXPECT_EQ(t->index().count(), e.count);
        std::vector<std::uint32_t> walk;
        for (t->goTop(); !t->eof(); t->skip()) {
            walk.push_back(t->recNo());
            ASSERT_EQ(t->index().orderRecNo(), walk.size());
        }
        ASSERT_EQ(walk.size(), e.count);
        for (const auto& [p, entry] : e.keys)
            ASSERT_EQ(walk[p - 1], entry.recno) << "position " << p;
        // Backwards gives the same sequence reversed.
        std::vector<std::uint32_t> back;
        for (t->goBottom(); !t->eof() && !t->bof(); t->skip(-1))
            back.push_back(t->recNo());
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(back, walk);
        // Positions go both ways.
        for (std::uint64_t p = 1; p <= walk.size(); p += 1 + walk.size() / 17) {
            EXPECT_EQ(t->index().recnoAtOrderPosition(p), walk[p - 1]);
            ASSERT_TRUE(t->index().gotoOrderPosition(p));
            EXPECT_EQ(t->recNo(), walk[p - 1]);
        }
        EXPECT_FALSE(t->index().gotoOrderPosition(walk.size() + 1));
        EXPECT_TRUE(t->eof());
    }
    EXPECT_EQ(t->index().tagPosition("no-such-tag"), 0);
}

TEST_P(TableIndexFixture, AnswersEverySeekProbeWithExactOffAndOn) {
    auto t = xb::Table::open(tablePath());
    xb::settings().deleted = false;
    for (int pos = 1; pos <= t->index().tagCount(); ++pos) {
        const ExpectedTag& e = expected_.tags[static_cast<std::size_t>(pos - 1)];
        t->index().setOrder(pos);
        for (const auto& p : e.seeks) {
            for (int soft = 0; soft < 2; ++soft)
                for (int exact = 0; exact < 2; ++exact) {
                    SCOPED_TRACE(e.name + " seek " + p.why + " soft " + std::to_string(soft) +
                                 " exact " + std::to_string(exact));
                    xb::settings().softSeek = soft == 1;
                    xb::settings().exact = exact == 1;
                    const bool found = t->index().seek(p.value);
                    EXPECT_EQ(found, p.found[soft]);
                    EXPECT_EQ(t->index().found(), found);
                    EXPECT_EQ(t->recNo(), p.recno[soft]);
                    EXPECT_EQ(t->eof(), p.eof[soft]);
                }
        }
    }
}

TEST_P(TableIndexFixture, CheckerFindsTheIndexSound) {
    const auto faults = xb::checkTableFile(tablePath());
    EXPECT_TRUE(faults.empty()) << nsxtest::joinFaults(faults);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, TableIndexFixture, ::testing::ValuesIn(indexedFixtures()),
                         [](const auto& info) {
                             std::string n = info.param.set + "_" + info.param.table;
                             std::replace(n.begin(), n.end(), '-', '_');
                             n.erase(std::remove(n.begin(), n.end(), '_'), n.end());
                             return n;
                         });

TEST(TableIndexLarge, WalksSeeksAndCountsTheLargeSet) {
    const fs::path src = qvtest::largeFixture();
    if (src.empty()) GTEST_SKIP() << "large fixture not unpacked";
    qvtest::TempDir dir;
    qvtest::copyDirFiles(src, dir.path());
    const ExpectedTable expected = nsxtest::loadExpected(src / "expected" / "_qvdir.json");
    xb::SettingsGuard guard;
    xb::settings().deleted = false;
    auto t = xb::Table::open((dir / "_qvdir.dbf").string());
    ASSERT_EQ(t->index().tagCount(), 3);
    for (int pos = 1; pos <= 3; ++pos) {
        const ExpectedTag& e = expected.tags[static_cast<std::size_t>(pos - 1)];
        SCOPED_TRACE(e.name);
        t->index().setOrder(pos);
        EXPECT_EQ(t->index().count(), e.count);
        std::uint64_t n = 0;
        auto it = e.keys.begin();
        for (t->goTop(); !t->eof(); t->skip()) {
            ++n;
            if (it != e.keys.end() && it->first == n) {
                ASSERT_EQ(t->recNo(), it->second.recno) << "position " << n;
                ASSERT_EQ(t->index().orderRecNo(), n);
                ++it;
            }
        }
        EXPECT_EQ(n, e.count);
        EXPECT_EQ(it, e.keys.end());
        for (const auto& [p, entry] : e.keys) {
            ASSERT_TRUE(t->index().gotoOrderPosition(p));
            ASSERT_EQ(t->recNo(), entry.recno);
        }
        for (const auto& p : e.seeks)
            for (int soft = 0; soft < 2; ++soft) {
                SCOPED_TRACE(p.why);
                xb::settings().softSeek = soft == 1;
                EXPECT_EQ(t->index().seek(p.value), p.found[soft]);
                EXPECT_EQ(t->recNo(), p.recno[soft]);
                EXPECT_EQ(t->eof(), p.eof[soft]);
            }
    }
    t->close();
    const auto faults = xb::checkTableFile((dir / "_qvdir.dbf").string());
    EXPECT_TRUE(faults.empty()) << nsxtest::joinFaults(faults);
}

}  // namespace
