// The production index when things go wrong: a writer killed during appends,
// a pack killed at random points, damaged and foreign index files, an index
// that does not match its table, and the leftovers of an interrupted pack.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/tables/cataloguetables.h"
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

void createFileTable(const std::string& path) {
    xbtest::createTable(path, xbtest::layoutOf("_qvdir"));
    auto t = xb::Table::open(path);
    qv::tables::createTags(*t, qv::tables::layoutOf(qv::CatalogueTable::Files));
    t->close();
}

void fillFile(xb::Table& t, int i) {
    t.replaceNumber(0, 1 + i % 97);
    t.replaceText(1, "N" + std::to_string(i * 7919 % 1000));
    t.replaceText(2, i % 3 == 0 ? "TXT" : "EXE");
    t.replaceText(3, "\\p" + std::to_string(i % 13) + "\\N" + std::to_string(i));
    t.replaceNumber(5, i);
}

std::string faultsOf(const std::string& path) {
    return nsxtest::joinFaults(xb::checkTableFile(path));
}

// ---- killed writers ---------------------------------------------------------------------------

TEST(TableIndexCrash, AKilledAppenderLosesNothingCommittedAndTheIndexIsRebuilt) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    createFileTable(path);
    std::mt19937_64 rng(qvtest::testSeed());
    for (int round = 0; round < 4; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[0]);
            try {
                auto t = xb::Table::open(path);
                for (int i = static_cast<int>(t->recCount()) + 1;; ++i) {
                    t->append();
                    fillFile(*t, i);
                    t->commitRecord();
                    if (::write(fds[1], &i, sizeof i) != sizeof i) ::_exit(3);
                }
            } catch (...) {
                ::_exit(2);
            }
        }
        ::close(fds[1]);
        // The kill falls at a random point once the appender is under way (on
        // a busy machine its start alone can take longer than the pause).
        int last = 0, v = 0;
        if (::read(fds[0], &v, sizeof v) == sizeof v) last = v;
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + rng() % 120));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the appender stopped by itself";
        while (::read(fds[0], &v, sizeof v) == sizeof v)
            last = v;
        ::close(fds[0]);
        ASSERT_GT(last, 0);
        // A reader is told; the next exclusive open rebuilds the tags.
        try {
            xb::Table::open(path, xb::OpenMode::ReadOnly);
            ADD_FAILURE() << "a read-only open accepted the interrupted index";
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt);
            EXPECT_NE(e.text().find("nicht ordnungsgemäß geschlossen"), std::string::npos);
            EXPECT_NE(e.text().find("_qvdir.nsx"), std::string::npos);
        }
        auto t = xb::Table::open(path);
        ASSERT_GE(t->recCount(), static_cast<std::uint32_t>(last));
        for (std::uint32_t r = 1; r <= t->recCount(); ++r) {
            t->go(r);
            ASSERT_EQ(t->number(5), r) << "record " << r;
        }
        t->index().setOrder(1);
        EXPECT_EQ(t->index().count(), t->recCount());
        t->close();
        EXPECT_EQ(faultsOf(path), "") << "round " << round;
    }
}

// ---- pack ---------------------------------------------------------------------------------------

struct Snapshot {
    std::vector<std::string> records;  // memo references blanked
    std::vector<std::string> memos;
};

Snapshot snapshot(xb::Table& t) {
    Snapshot s;
    const int memo = t.fieldIndex("dirmemo");
    const auto& f = t.field(memo);
    for (std::uint32_t r = 1; r <= t.recCount(); ++r) {
        t.go(r);
        std::string b = t.recordBytes();
        b.replace(f.offset, f.len, f.len, ' ');
        s.records.push_back(b);
        s.memos.push_back(t.getMemo(memo));
    }
    return s;
}

Snapshot packedOf(const Snapshot& s) {
    Snapshot p;
    for (std::size_t i = 0; i < s.records.size(); ++i) {
        if (s.records[i][0] == '*') continue;
        p.records.push_back(s.records[i]);
        p.memos.push_back(s.memos[i]);
    }
    return p;
}

// A file table of `n` records, every tenth flagged, some with memos.
void buildPackSample(const std::string& path, int n) {
    createFileTable(path);
    auto t = xb::Table::open(path);
    const int memo = t->fieldIndex("dirmemo");
    for (int i = 1; i <= n; ++i) {
        t->append();
        fillFile(*t, i);
        if (i % 7 == 0) t->replaceMemo(memo, std::string(static_cast<std::size_t>(i % 200), 'm'));
        if (i % 10 == 3) t->deleteRecord();
    }
    t->close();
}

TEST(TablePack, RemovesFlaggedRecordsKeepsValuesAndMemosAndRebuildsTags) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    buildPackSample(path, 2000);
    auto t = xb::Table::open(path);
    const Snapshot before = snapshot(*t);
    const auto memoSizeBefore = fs::file_size(dir / "_qvdir.smt");
    t->index().setOrder(2);
    t->index().query("dirsize > 5");
    std::vector<int> seen;
    xb::setGaugeHook([&](int p) { seen.push_back(p); });
    t->pack();
    xb::setGaugeHook({});
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_FALSE(t->index().queryActive());
    EXPECT_EQ(t->recCount(), 1800u);
    const Snapshot after = snapshot(*t);
    const Snapshot want = packedOf(before);
    EXPECT_EQ(after.records, want.records);
    EXPECT_EQ(after.memos, want.memos);
    EXPECT_LT(fs::file_size(dir / "_qvdir.smt"), memoSizeBefore);
    t->index().setOrder(1);
    EXPECT_EQ(t->index().count(), 1800u);
    EXPECT_EQ(xbtest::checkMemoStructure(*t), "");
    // The table goes on working after the pack.
    t->append();
    fillFile(*t, 5000);
    t->commitRecord();
    t->close();
    EXPECT_EQ(faultsOf(path), "");
    for (const char* leftover : {".packtmp", ".packmemo", ".packjournal"})
        EXPECT_FALSE(fs::exists(path + leftover)) << leftover;
}

TEST(TablePack, AKilledPackLeavesTheOldTableOrThePackedOne) {
    qvtest::TempDir master;
    const std::string masterPath = (master / "_qvdir.dbf").string();
    buildPackSample(masterPath, 6000);
    Snapshot oldState, newState;
    {
        auto t = xb::Table::open(masterPath, xb::OpenMode::ReadOnly);
        oldState = snapshot(*t);
        newState = packedOf(oldState);
    }
    // How long a pack takes here, to spread the kills over it.
    std::chrono::microseconds span;
    {
        qvtest::TempDir probe;
        qvtest::copyDirFiles(master.path(), probe.path());
        auto t = xb::Table::open((probe / "_qvdir.dbf").string());
        const auto t0 = std::chrono::steady_clock::now();
        t->pack();
        span = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - t0);
    }
    std::mt19937_64 rng(qvtest::testSeed());
    int olds = 0, news = 0;
    for (int round = 0; round < 16; ++round) {
        qvtest::TempDir dir;
        qvtest::copyDirFiles(master.path(), dir.path());
        const std::string path = (dir / "_qvdir.dbf").string();
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                auto t = xb::Table::open(path);
                t->pack();
                t->close();
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        const auto delay = std::chrono::microseconds(rng() % (span.count() * 3 / 2 + 1));
        std::this_thread::sleep_for(delay);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "the pack failed";
        auto t = xb::Table::open(path);
        const Snapshot now = snapshot(*t);
        SCOPED_TRACE("round " + std::to_string(round) + " after " + std::to_string(delay.count()) +
                     " us");
        if (now.records.size() == oldState.records.size()) {
            ++olds;
            EXPECT_EQ(now.records, oldState.records);
            EXPECT_EQ(now.memos, oldState.memos);
        } else {
            ++news;
            EXPECT_EQ(now.records, newState.records);
            EXPECT_EQ(now.memos, newState.memos);
        }
        EXPECT_EQ(xbtest::checkMemoStructure(*t), "");
        t->close();
        EXPECT_EQ(faultsOf(path), "");
        for (const char* leftover : {".packtmp", ".packmemo", ".packjournal"})
            EXPECT_FALSE(fs::exists(path + leftover)) << leftover;
    }
    std::printf("[pack kills] old table %d times, packed table %d times\n", olds, news);
}

TEST(TablePack, AnOpenFinishesAJournalledPackAndDropsUnjournalledLeftovers) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    buildPackSample(path, 50);
    // Leftovers without a journal: the pack never reached its commit point.
    qvtest::writeFile(path + ".packtmp", {1, 2, 3});
    qvtest::writeFile(path + ".packmemo", {4});
    {
        auto t = xb::Table::open(path);
        EXPECT_EQ(t->recCount(), 50u);
    }
    EXPECT_FALSE(fs::exists(path + ".packtmp"));
    EXPECT_FALSE(fs::exists(path + ".packmemo"));
    // A journal whose renames were cut short: the open carries them out.
    qvtest::TempDir other;
    const std::string packedPath = (other / "_qvdir.dbf").string();
    buildPackSample(packedPath, 50);
    xb::Table::open(packedPath)->pack();
    fs::copy_file(packedPath, path + ".packtmp");
    fs::copy_file((other / "_qvdir.smt"), path + ".packmemo");
    const std::string journal = path + ".packtmp\t" + path + "\n" + path + ".packmemo\t" +
                                (dir / "_qvdir.smt").string() + "\n";
    qvtest::writeFile(path + ".packjournal",
                      std::vector<std::uint8_t>(journal.begin(), journal.end()));
    {
        // A reader must not finish it.
        EXPECT_THROW(xb::Table::open(path, xb::OpenMode::ReadOnly), qv::Error);
        auto t = xb::Table::open(path);
        EXPECT_EQ(t->recCount(), 45u);
        t->index().reindex();  // the index of the old table was not marked in this staged case
    }
    EXPECT_FALSE(fs::exists(path + ".packjournal"));
    EXPECT_EQ(faultsOf(path), "");
}

// ---- damaged and mismatched indexes ---------------------------------------------------------

TEST(TableIndexDamage, AForeignOrTruncatedIndexIsACorruptErrorNamingTheFile) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    createFileTable(path);
    const fs::path nsx = dir / "_qvdir.nsx";
    const std::vector<std::uint8_t> good = qvtest::readFile(nsx);
    for (int variant = 0; variant < 3; ++variant) {
        std::vector<std::uint8_t> b = good;
        if (variant == 0) b[0] = 'x';
        if (variant == 1) b.resize(300);
        if (variant == 2) b.assign(4096, 0xEE);
        qvtest::writeFile(nsx, b);
        try {
            xb::Table::open(path);
            ADD_FAILURE() << "variant " << variant << " was accepted";
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt) << e.text();
            EXPECT_NE(e.text().find(nsx.string()), std::string::npos) << e.text();
        }
        EXPECT_NE(faultsOf(path), "");
    }
}

TEST(TableIndexDamage, RandomlyDamagedPagesRaiseErrorsNeverCrashes) {
    qvtest::TempDir master;
    const std::string masterPath = (master / "_qvdir.dbf").string();
    createFileTable(masterPath);
    {
        auto t = xb::Table::open(masterPath);
        for (int i = 1; i <= 3000; ++i) {
            t->append();
            fillFile(*t, i);
        }
    }
    const std::vector<std::uint8_t> good = qvtest::readFile(master / "_qvdir.nsx");
    std::mt19937_64 rng(qvtest::testSeed());
    int errors = 0;
    for (int round = 0; round < 40; ++round) {
        qvtest::TempDir dir;
        qvtest::copyDirFiles(master.path(), dir.path());
        std::vector<std::uint8_t> b = good;
        for (int k = 0; k < 8; ++k)
            b[1024 + rng() % (b.size() - 1024)] = static_cast<std::uint8_t>(rng());
        qvtest::writeFile(dir / "_qvdir.nsx", b);
        const std::string path = (dir / "_qvdir.dbf").string();
        try {
            auto t = xb::Table::open(path, xb::OpenMode::ReadOnly);
            for (int pos = 1; pos <= t->index().tagCount(); ++pos) {
                t->index().setOrder(pos);
                t->index().count();
                for (t->goTop(); !t->eof(); t->skip()) {
                }
                t->index().seek("      5");
                t->index().gotoOrderPosition(1500);
            }
        } catch (const qv::Error& e) {
            ++errors;
            EXPECT_NE(e.text().find("_qvdir"), std::string::npos) << e.text();
        }
        xb::checkTableFile(path);  // must not crash either
    }
    std::printf("[damaged pages] %d of 40 rounds raised an error\n", errors);
}

TEST(TableIndexDamage, AMissingEntryIsReportedAndTheNextOpenRebuilds) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    createFileTable(path);
    auto t = xb::Table::open(path);
    for (int i = 1; i <= 20; ++i) {
        t->append();
        fillFile(*t, i);
    }
    t->commitRecord();
    t->go(7);
    xb::NsxTag& tag = t->index().indexFile()->tag(0);
    const std::string key = t->evalString("str(dirnumm,8)+dirpfad");
    ASSERT_TRUE(tag.remove(key, 7));
    t->replaceNumber(0, 500);
    try {
        t->commitRecord();
        ADD_FAILURE() << "the mismatch went unnoticed";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt);
        EXPECT_EQ(e.record(), 7);
        EXPECT_NE(e.text().find("_qvdir.nsx"), std::string::npos) << e.text();
    }
    t->close();
    EXPECT_THROW(xb::Table::open(path, xb::OpenMode::ReadOnly), qv::Error);
    xb::Table::open(path)->close();  // rebuilds
    EXPECT_EQ(faultsOf(path), "");
}

}  // namespace
