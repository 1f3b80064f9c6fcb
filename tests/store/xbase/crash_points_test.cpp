// Every write of the table's multi-file operations, crashed one at a time.
//
// The table, its memo file and its production index live in a MemEnv. An
// operation is run once to count its writes (renames and removals included);
// then, for every k, it runs again on a fresh copy of the files with the
// k-th write refused and everything after it as well -- the process died
// there. The files are then reopened as the next session would: no posted
// record may be lost or torn, and the index must be usable (rebuilt where
// the crash left it behind) and match the records.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/tables/cataloguetables.h"
#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"
#include "xbase_test_util.h"

namespace {

const std::string kPath = "_qvdir.dbf";

using Files = std::map<std::string, std::vector<std::uint8_t>>;

Files filesOf(const xb::MemEnv& env) {
    Files out;
    for (const std::string& name : env.fileNames())
        out[name] = env.fileBytes(name);
    return out;
}

std::unique_ptr<xb::MemEnv> envWith(const Files& files) {
    auto env = std::make_unique<xb::MemEnv>();
    for (const auto& [name, bytes] : files)
        env->setFile(name, bytes);
    return env;
}

// One record as the session sees it: its bytes and its memo text.
struct Rec {
    std::string bytes;
    std::string memo;
    bool operator==(const Rec&) const = default;
};

std::vector<Rec> recordsOf(xb::Table& t) {
    std::vector<Rec> out;
    const int memo = t.fieldIndex("dirmemo");
    for (std::uint32_t r = 1; r <= t.recCount(); ++r) {
        t.go(r);
        out.push_back({t.recordBytes(), t.getMemo(memo)});
    }
    return out;
}

void fill(xb::Table& t, int i) {
    t.replaceNumber(0, 1 + i % 17);
    t.replaceText(1, "N" + std::to_string(i * 7919 % 1000));
    t.replaceText(2, i % 3 == 0 ? "TXT" : "EXE");
    t.replaceText(3, "\\p" + std::to_string(i % 13) + "\\N" + std::to_string(i));
    t.replaceNumber(5, i);
    if (i % 4 == 0) t.replaceMemo(7, "Notiz " + std::to_string(i) + std::string(i % 700, 'x'));
}

// The file table with its three tags, `n` records (every seventh flagged).
Files fileTable(int n) {
    xb::MemEnv env;
    xb::TableBuilder b(kPath, env);
    for (const xbtest::FieldDef& f : xbtest::layoutOf("_qvdir"))
        b.addField(f.name, f.type, f.width, f.dec);
    b.create();
    auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    for (int i = 1; i <= n; ++i) {
        t->append();
        fill(*t, i);
        if (i % 7 == 0) t->deleteRecord();
    }
    qv::tables::createTags(*t, qv::tables::layoutOf(qv::CatalogueTable::Files));
    t->close();
    return filesOf(env);
}

// What an operation promises: the state before, the state after it
// completed, and a test of the records found after a crash.
struct Operation {
    const char* what;
    std::function<void(xb::Table&, int& posted)> run;
    // Checks the records after a crash; `posted` tells how many steps of the
    // operation had returned before it.
    std::function<void(const std::vector<Rec>& before, const std::vector<Rec>& after,
                       const std::vector<Rec>& now, int posted)>
        check;
    int tags = 3;  // tags the index has when the operation completed
};

// Runs the operation with a crash at every one of its writes.
void crashEverywhere(const Files& base, const Operation& op) {
    SCOPED_TRACE(op.what);
    std::vector<Rec> before, after;
    long writes = 0;
    {
        auto env = envWith(base);
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
        before = recordsOf(*t);
        const long opened = env->writesDone();
        int posted = 0;
        op.run(*t, posted);
        t->close();
        writes = env->writesDone() - opened;
        t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
        after = recordsOf(*t);
        ASSERT_EQ(t->index().tagCount(), op.tags);
        ASSERT_TRUE(xb::checkIndex(*t).empty()) << xb::checkIndex(*t).front();
    }
    ASSERT_GT(writes, 0);
    for (long k = 0; k <= writes; ++k) {
        SCOPED_TRACE("crash after " + std::to_string(k) + " of " + std::to_string(writes) +
                     " writes");
        auto env = envWith(base);
        int posted = 0;
        bool completed = false;
        {
            auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
            recordsOf(*t);  // as the measuring run did before the operation
            env->failWritesAfter(k);
            try {
                op.run(*t, posted);
                t->close();
                completed = true;
            } catch (const qv::Error& e) {
                ASSERT_EQ(e.code(), qv::ErrorCode::IoError) << e.text();
            }
            // Leaving the scope drops the table; its writes fail as a dead
            // process's would.
        }
        env->failWritesAfter(-1);
        std::unique_ptr<xb::Table> t;
        ASSERT_NO_THROW(t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env));
        ASSERT_NE(t->index().indexFile(), nullptr);
        const std::vector<std::string> faults = xb::checkIndex(*t);
        ASSERT_TRUE(faults.empty()) << faults.front();
        ASSERT_TRUE(t->index().tagCount() == 3 || t->index().tagCount() == op.tags)
            << t->index().tagCount();
        ASSERT_EQ(xbtest::checkMemoStructure(*t), "");
        const std::vector<Rec> now = recordsOf(*t);
        if (completed) {
            ASSERT_EQ(now, after);
            ASSERT_EQ(t->index().tagCount(), op.tags);
        } else {
            op.check(before, after, now, posted);
        }
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// Records that must be exactly as before the operation.
void expectUntouched(const std::vector<Rec>& before, const std::vector<Rec>& now) {
    ASSERT_EQ(now.size(), before.size());
    for (std::size_t i = 0; i < now.size(); ++i)
        ASSERT_EQ(now[i], before[i]) << "record " << i + 1 << " changed";
}

class CrashPoints : public ::testing::Test {
  protected:
    void SetUp() override { xb::settings().deleted = true; }
    void TearDown() override { xb::settings().deleted = false; }
};

TEST_F(CrashPoints, AppendsUnderThreeTagsLoseNoPostedRecord) {
    const Files base = fileTable(40);
    Operation op;
    op.what = "three appends";
    op.run = [](xb::Table& t, int& posted) {
        for (int i = 41; i <= 43; ++i) {
            t.append();
            fill(t, i);
            t.commitRecord();
            ++posted;
        }
    };
    op.check = [](const std::vector<Rec>& before, const std::vector<Rec>& after,
                  const std::vector<Rec>& now, int posted) {
        // Every posted append is there; the one being written is there
        // complete or not at all.
        ASSERT_GE(now.size(), before.size() + posted);
        ASSERT_LE(now.size(), before.size() + posted + 1);
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (i < before.size()) {
                ASSERT_EQ(now[i], before[i]) << "record " << i + 1;
            } else if (i < before.size() + posted) {
                ASSERT_EQ(now[i], after[i]) << "posted record " << i + 1;
            } else {
                ASSERT_EQ(now[i].bytes, after[i].bytes) << "record " << i + 1 << " is torn";
            }
        }
    };
    crashEverywhere(base, op);
}

TEST_F(CrashPoints, AMemoRewriteKeepsTheOldTextOrTheNewOne) {
    const Files base = fileTable(30);
    Operation op;
    op.what = "memo rewrite with a key change";
    op.run = [](xb::Table& t, int& posted) {
        t.go(8);
        t.replaceMemo(7, std::string(3000, 'M'));
        t.replaceText(1, "UMBENANNT");
        t.commitRecord();
        ++posted;
    };
    op.check = [](const std::vector<Rec>& before, const std::vector<Rec>& after,
                  const std::vector<Rec>& now, int) {
        ASSERT_EQ(now.size(), before.size());
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (i == 7)
                ASSERT_TRUE(now[i] == before[i] || now[i] == after[i]) << "record 8 is torn";
            else
                ASSERT_EQ(now[i], before[i]) << "record " << i + 1;
        }
    };
    crashEverywhere(base, op);
}

TEST_F(CrashPoints, APackLeavesTheOldTableOrThePackedOne) {
    const Files base = fileTable(30);
    Operation op;
    op.what = "pack with rebuild";
    op.run = [](xb::Table& t, int&) { t.pack(); };
    op.check = [](const std::vector<Rec>& before, const std::vector<Rec>& after,
                  const std::vector<Rec>& now, int) {
        // Whichever table the crash left, the unflagged records are all
        // there, in order, with their memo texts.
        ASSERT_TRUE(now == before || now == after)
            << now.size() << " records, before " << before.size() << ", after " << after.size();
    };
    crashEverywhere(base, op);
}

TEST_F(CrashPoints, AReindexNeverLeavesAnUnusableIndex) {
    const Files base = fileTable(30);
    Operation op;
    op.what = "reindex";
    op.run = [](xb::Table& t, int&) { t.index().reindex(); };
    op.check = [](const std::vector<Rec>& before, const std::vector<Rec>&,
                  const std::vector<Rec>& now, int) { expectUntouched(before, now); };
    crashEverywhere(base, op);
}

TEST_F(CrashPoints, AReindexOnTwoThreadsNeverLeavesAnUnusableIndex) {
    // Enough records for the build to share its work between its threads.
    const Files base = fileTable(24000);
    Operation op;
    op.what = "reindex of a large table";
    op.run = [](xb::Table& t, int&) { t.index().reindex(); };
    op.check = [](const std::vector<Rec>& before, const std::vector<Rec>&,
                  const std::vector<Rec>& now, int) { expectUntouched(before, now); };
    crashEverywhere(base, op);
}

TEST_F(CrashPoints, BuildingATagInPlaceLeavesTheOldIndexOrTheNewOne) {
    const Files base = fileTable(30);
    Operation recreate;
    recreate.what = "tag re-created in place";
    recreate.run = [](xb::Table& t, int&) {
        t.index().indexTag("namealle", "upper(dirname)+str(dirnumm,8)", "dirnumm<99999999");
    };
    recreate.check = [](const std::vector<Rec>& before, const std::vector<Rec>&,
                        const std::vector<Rec>& now, int) { expectUntouched(before, now); };
    crashEverywhere(base, recreate);

    Operation added = recreate;
    added.what = "fourth tag added";
    added.run = [](xb::Table& t, int&) { t.index().indexTag("pfad", "upper(dirpfad)"); };
    added.tags = 4;
    crashEverywhere(base, added);
}

TEST_F(CrashPoints, TheFirstTagOfANewIndexIsBuiltAside) {
    // A table without an index: a crash leaves no index or a complete one.
    xb::MemEnv env;
    xb::TableBuilder b(kPath, env);
    for (const xbtest::FieldDef& f : xbtest::layoutOf("_qvdir"))
        b.addField(f.name, f.type, f.width, f.dec);
    b.create();
    {
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
        for (int i = 1; i <= 20; ++i) {
            t->append();
            fill(*t, i);
        }
    }
    const Files base = filesOf(env);
    long writes = 0;
    {
        auto e = envWith(base);
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *e);
        const long opened = e->writesDone();
        t->index().indexTag(qv::tables::kFileTags[0].name, qv::tables::kFileTags[0].key);
        t->close();
        writes = e->writesDone() - opened;
    }
    for (long k = 0; k <= writes; ++k) {
        SCOPED_TRACE("crash after " + std::to_string(k) + " writes");
        auto e = envWith(base);
        {
            auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *e);
            e->failWritesAfter(k);
            try {
                t->index().indexTag(qv::tables::kFileTags[0].name, qv::tables::kFileTags[0].key);
                t->close();
            } catch (const qv::Error& err) {
                ASSERT_EQ(err.code(), qv::ErrorCode::IoError) << err.text();
            }
        }
        e->failWritesAfter(-1);
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *e);
        ASSERT_EQ(t->recCount(), 20u);
        ASSERT_TRUE(xb::checkIndex(*t).empty());
        if (t->index().indexFile()) {
            ASSERT_EQ(t->index().tagCount(), 1);
        }
    }
}

// ---- the seam ---------------------------------------------------------------------------------

TEST(FileSeam, AnInMemoryTableKeepsItsIndexAcrossSessions) {
    const Files base = fileTable(50);
    auto env = envWith(base);
    ASSERT_TRUE(env->exists("_qvdir.nsx"));
    auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
    ASSERT_EQ(t->index().tagCount(), 3);
    t->index().setOrder(t->index().tagPosition("endungalle"));
    ASSERT_TRUE(t->index().seek("TXT"));
    ASSERT_EQ(t->raw(2), "TXT");
    t->go(10);
    t->replaceText(2, "ZZZ");
    t->close();
    t = xb::Table::open(kPath, xb::OpenMode::ReadOnly, *env);
    ASSERT_TRUE(xb::checkIndex(*t).empty());
    t->index().setOrder(t->index().tagPosition("endungalle"));
    t->goBottom();
    ASSERT_EQ(t->recNo(), 10u);
}

TEST(FileSeam, RenamesAndRemovalsCountAsWrites) {
    xb::MemEnv env;
    env.setFile("a", {1, 2, 3});
    env.rename("a", "b");
    env.remove("b");
    env.remove("b");  // gone already: nothing to do
    EXPECT_EQ(env.writesDone(), 2);
    env.setFile("c", {4});
    env.failWritesAfter(0);
    EXPECT_THROW(env.rename("c", "d"), qv::Error);
    EXPECT_THROW(env.remove("c"), qv::Error);
    EXPECT_TRUE(env.exists("c"));
    EXPECT_FALSE(env.exists("d"));
}

}  // namespace

// ---- a full disk ----------------------------------------------------------------------------

namespace {

// The table file as another reader finds it: the header counts the whole
// records, and only the end mark follows the last one.
void expectHeaderInStep(const std::vector<std::uint8_t>& f) {
    ASSERT_GE(f.size(), 32u);
    const std::uint32_t count =
        f[4] | f[5] << 8 | f[6] << 16 | static_cast<std::uint32_t>(f[7]) << 24;
    const std::size_t headerLength = f[8] | f[9] << 8;
    const std::size_t recordLength = f[10] | f[11] << 8;
    const std::size_t body = f.size() - headerLength;
    ASSERT_EQ(count, body / recordLength);
    ASSERT_EQ(body % recordLength, 1u);
    ASSERT_EQ(f.back(), 0x1A);
}

// Runs the operation with every amount of free room from none to enough,
// `step` bytes apart. It completes or fails with "kein Platz"; the table is
// then closed on the disk that is still full, and the table file must be as
// its header says before anything repairs it. With room again, the next
// open finds the index matching the records and the operation's promise
// kept.
// `upTo` bounds the room tried when the operation's files end smaller than
// they began (a pack).
void fullEverywhere(const Files& base, const Operation& op, std::uint64_t step,
                    std::uint64_t upTo = 0) {
    SCOPED_TRACE(op.what);
    std::vector<Rec> before, after;
    std::uint64_t needed = 0;
    {
        auto env = envWith(base);
        const std::uint64_t start = env->bytesUsed();
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
        before = recordsOf(*t);
        int posted = 0;
        op.run(*t, posted);
        t->close();
        needed = std::max(upTo, env->bytesUsed() > start ? env->bytesUsed() - start : 0);
        t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
        after = recordsOf(*t);
    }
    int failures = 0;
    for (std::uint64_t room = 0; room <= needed + step; room += step) {
        SCOPED_TRACE("room for " + std::to_string(room) + " of " + std::to_string(needed) +
                     " bytes");
        auto env = envWith(base);
        int posted = 0;
        bool completed = false;
        {
            auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
            recordsOf(*t);
            env->setCapacity(env->bytesUsed() + room);
            try {
                op.run(*t, posted);
                t->close();
                completed = true;
            } catch (const qv::Error& e) {
                ASSERT_NE(e.text().find("kein Platz"), std::string::npos) << e.text();
                ++failures;
            }
            try {
                t->close();
            } catch (const qv::Error&) {
            }
        }
        expectHeaderInStep(env->fileBytes(kPath));
        for (const std::string& name : env->fileNames())  // a failed pack's
            ASSERT_EQ(name.find(".pack"), std::string::npos) << name;
        env->setCapacity(0);
        auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
        const std::vector<std::string> faults = xb::checkIndex(*t);
        ASSERT_TRUE(faults.empty()) << faults.front();
        ASSERT_EQ(xbtest::checkMemoStructure(*t), "");
        const std::vector<Rec> now = recordsOf(*t);
        if (completed)
            ASSERT_EQ(now, after);
        else
            op.check(before, after, now, posted);
        if (::testing::Test::HasFatalFailure()) return;
    }
    ASSERT_GT(failures, 0);
}

// Appends and their keys: every posted record stays, the failing one is
// there whole or not at all, nothing else changes.
void checkAppends(const std::vector<Rec>& before, const std::vector<Rec>& after,
                  const std::vector<Rec>& now, int posted) {
    ASSERT_GE(now.size(), before.size() + posted);
    ASSERT_LE(now.size(), before.size() + posted + 1);
    for (std::size_t i = 0; i < now.size(); ++i)
        ASSERT_EQ(now[i], i < before.size() ? before[i] : after[i]) << "record " << i + 1;
}

}  // namespace

TEST_F(CrashPoints, AFullDiskLeavesTheHeaderInStepOutsideABatch) {
    Operation op;
    op.what = "appends with memos, one at a time";
    op.run = [](xb::Table& t, int& posted) {
        for (int i = 41; i <= 46; ++i) {
            t.append();
            fill(t, i);
            t.commitRecord();
            ++posted;
        }
    };
    op.check = checkAppends;
    fullEverywhere(fileTable(40), op, 97);
}

TEST_F(CrashPoints, AFullDiskLeavesTheHeaderInStepAfterABatch) {
    Operation op;
    op.what = "a batch of appends past its first write";
    op.run = [](xb::Table& t, int& posted) {
        t.beginBatch();
        for (int i = 41; i <= 2400; ++i) {
            t.append();
            fill(t, i);
            t.commitRecord();
        }
        t.endBatch();
        posted = 2360;
    };
    // A batch promises the records of its writes, not each commit: what is
    // there is a prefix of the appends, whole.
    op.check = [](const std::vector<Rec>& before, const std::vector<Rec>& after,
                  const std::vector<Rec>& now, int) {
        ASSERT_GE(now.size(), before.size());
        ASSERT_LE(now.size(), after.size());
        for (std::size_t i = 0; i < now.size(); ++i)
            ASSERT_EQ(now[i], i < before.size() ? before[i] : after[i]) << "record " << i + 1;
    };
    fullEverywhere(fileTable(40), op, 24 * 1024);
}

TEST_F(CrashPoints, AFullDiskStopsAPackWithTheOldTableAndNoTemporaries) {
    Operation op;
    op.what = "pack";
    op.run = [](xb::Table& t, int&) { t.pack(); };
    op.check = [](const std::vector<Rec>& before, const std::vector<Rec>&,
                  const std::vector<Rec>& now, int) { ASSERT_EQ(now, before); };
    const Files base = fileTable(200);
    std::uint64_t size = 0;
    for (const auto& [name, bytes] : base)
        size += bytes.size();
    fullEverywhere(base, op, 4096, size);
}

// Taken back on the disk that is still full: records reused and appended in
// a batch (as a reading stores them), and appended one at a time (as an
// import does). Whatever write ran out of room, the files are then as they
// were: the header in step, the index usable as it is (a read-only open
// rebuilds nothing) and matching the records, the memos sound, every record
// as before.
TEST_F(CrashPoints, TakenBackOnAFullDiskTheFilesAreAsBefore) {
    for (const bool batch : {true, false}) {
        SCOPED_TRACE(batch ? "reused and appended in a batch" : "appended one at a time");
        const Files base = fileTable(60);
        int failures = 0;
        for (std::uint64_t room = 0;; room += batch ? 6 * 1024 : 97) {
            SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
            auto env = envWith(base);
            auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, *env);
            const std::vector<Rec> before = recordsOf(*t);
            env->setCapacity(env->bytesUsed() + room);
            const xb::Table::TakeBackPoint point = t->takeBackPoint();
            std::vector<xb::Table::RecordImage> originals;
            try {
                if (batch) t->beginBatch();
                // Records without a memo are reused, as released ones are.
                for (int i = 1; batch && i <= 40; ++i) {
                    if (i % 4 == 0) continue;
                    t->go(static_cast<std::uint32_t>(i));
                    originals.push_back({t->recNo(), t->recordBytes()});
                    fill(*t, 1000 + i);
                    t->commitRecord();
                }
                for (int i = 1; i <= (batch ? 1500 : 12); ++i) {
                    t->append();
                    fill(*t, 2000 + i);
                    t->commitRecord();
                }
                if (batch) t->endBatch();
                break;  // room enough
            } catch (const qv::Error& e) {
                ASSERT_NE(e.text().find("kein Platz"), std::string::npos) << e.text();
            }
            ++failures;
            t->takeBack(point, originals);
            t->close();
            expectHeaderInStep(env->fileBytes(kPath));
            auto check = xb::Table::open(kPath, xb::OpenMode::ReadOnly, *env);
            ASSERT_EQ(xb::checkIndex(*check), std::vector<std::string>{});
            ASSERT_EQ(xbtest::checkMemoStructure(*check), "");
            ASSERT_EQ(recordsOf(*check), before);
        }
        EXPECT_GT(failures, 3);
    }
}
