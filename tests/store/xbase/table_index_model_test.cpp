// The file table with its three tags under many thousands of random appends,
// replaces, deletes, recalls and releases, checked against an in-memory
// ordered model: tag walks, counts with the deleted setting off and on, order
// positions, seeks; after every reopen also the index checker.

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"
#include "xbase_test_util.h"

namespace {

constexpr double kReleased = 99999999;

struct FileRec {
    double dirnumm = 0;
    std::string name, ext, path;
    bool deleted = false;
};

std::string pad(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

std::string upper(std::string s) {
    xb::upper1252InPlace(s.data(), s.size());
    return s;
}

std::string str8(double v) {
    return xb::formatNumber(v, 8, 0);
}

// The three keys as the catalogue defines them, computed without the engine's
// expression code.
std::string keyDirnumm(const FileRec& r) {
    return str8(r.dirnumm) + pad(r.path, 86);
}
std::string keyName(const FileRec& r) {
    return upper(pad(r.name, 15) + pad(r.ext, 3)) + str8(r.dirnumm);
}
std::string keyExt(const FileRec& r) {
    return upper(pad(r.ext, 3)) + pad(r.name, 15) + str8(r.dirnumm);
}

class FileTableModel {
  public:
    std::vector<FileRec> recs;  // recno - 1

    std::size_t tagSize(int pos, bool visibleOnly) const {
        std::size_t n = 0;
        for (const FileRec& r : recs)
            n += (visibleOnly && r.deleted) || (pos > 1 && r.dirnumm >= kReleased) ? 0 : 1;
        return n;
    }
    // (key, recno) of tag 1..3; `visibleOnly` drops flagged records.
    nsxtest::Model tag(int pos, bool visibleOnly) const {
        nsxtest::Model m;
        for (std::size_t i = 0; i < recs.size(); ++i) {
            const FileRec& r = recs[i];
            if (visibleOnly && r.deleted) continue;
            const auto recno = static_cast<std::uint32_t>(i + 1);
            if (pos == 1) m.insert({keyDirnumm(r), recno});
            if (pos > 1 && r.dirnumm < kReleased)
                m.insert({pos == 2 ? keyName(r) : keyExt(r), recno});
        }
        return m;
    }
};

void createFileTable(const std::string& path) {
    xbtest::createTable(path, xbtest::layoutOf("_qvdir"));
    auto t = xb::Table::open(path);
    qv::tables::createTags(*t, qv::tables::layoutOf(qv::CatalogueTable::Files));
    t->close();
}

// Walks every tag with deleted off and on and compares with the model.
void expectMatches(xb::Table& t, const FileTableModel& m, const std::string& ctx) {
    SCOPED_TRACE(ctx);
    xb::SettingsGuard guard;
    for (int del = 0; del < 2; ++del) {
        xb::settings().deleted = del == 1;
        for (int pos = 1; pos <= 3; ++pos) {
            SCOPED_TRACE("tag " + std::to_string(pos) + " deleted " + std::to_string(del));
            const nsxtest::Model model = m.tag(pos, del == 1);
            t.index().setOrder(pos);
            ASSERT_EQ(t.index().count(), model.size());
            auto it = model.begin();
            std::uint64_t n = 0;
            for (t.goTop(); !t.eof(); t.skip(), ++it) {
                ++n;
                ASSERT_NE(it, model.end());
                ASSERT_EQ(t.recNo(), it->second) << "position " << n;
                ASSERT_EQ(t.index().orderRecNo(), n);
            }
            ASSERT_EQ(it, model.end());
        }
        t.index().setOrder(0);
        std::uint64_t visible = 0;
        for (const FileRec& r : m.recs)
            visible += del == 1 && r.deleted ? 0 : 1;
        ASSERT_EQ(t.index().count(), visible);
    }
}

class Randomizer {
  public:
    explicit Randomizer(std::uint64_t seed) : rng_(seed) {}
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    FileRec record() {
        static const char* names[] = {"README", "setup", "Ärger", "zeta", "a", "INSTALL", "daten"};
        static const char* exts[] = {"TXT", "exe", "", "DLL", "ä"};
        FileRec r;
        r.dirnumm = below(10) == 0 ? kReleased : 1 + below(40);
        r.name = names[below(7)];
        r.ext = exts[below(5)];
        r.path = "\\dir" + std::to_string(below(30)) + "\\" + r.name;
        return r;
    }

  private:
    std::mt19937_64 rng_;
};

void write(xb::Table& t, const FileRec& r) {
    t.replaceNumber(0, r.dirnumm);
    t.replaceText(1, r.name);
    t.replaceText(2, r.ext);
    t.replaceText(3, r.path);
}

TEST(TableIndexModel, RandomChangesKeepEveryTagEqualToTheModel) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    createFileTable(path);
    const std::uint64_t seed = qvtest::testSeed();
    Randomizer rnd(seed);
    FileTableModel m;
    xb::SettingsGuard guard;
    auto t = xb::Table::open(path);
    constexpr int kSteps = 6000;
    for (int step = 1; step <= kSteps; ++step) {
        const int op = m.recs.empty() ? 0 : rnd.below(10);
        // Half of the steps run in a tag order, so cursors live through changes.
        t->index().setOrder(rnd.below(4));
        if (op <= 3) {
            FileRec r = rnd.record();
            t->append();
            write(*t, r);
            t->commitRecord();
            m.recs.push_back(r);
        } else {
            const auto recno =
                static_cast<std::uint32_t>(1 + rnd.below(static_cast<int>(m.recs.size())));
            FileRec& r = m.recs[recno - 1];
            t->go(recno);
            if (op <= 6) {
                FileRec n = rnd.record();
                n.deleted = r.deleted;
                write(*t, n);
                r = n;
            } else if (op == 7) {
                t->deleteRecord();
                r.deleted = true;
            } else if (op == 8) {
                t->recall();
                r.deleted = false;
            } else {
                t->replaceNumber(0, kReleased);
                r.dirnumm = kReleased;
            }
            t->commitRecord();
            ASSERT_EQ(t->recNo(), recno) << "the table stays on the changed record";
        }
        // Cheap checks after every step: counts of every tag with deleted on.
        xb::settings().deleted = true;
        for (int pos = 1; pos <= 3; ++pos) {
            t->index().setOrder(pos);
            ASSERT_EQ(t->index().count(), m.tagSize(pos, true))
                << "step " << step << " seed " << seed;
        }
        xb::settings().deleted = false;
        if (step % 500 == 0) expectMatches(*t, m, "step " + std::to_string(step));
        if (step % 2000 == 0) {
            t->close();
            const auto faults = xb::checkTableFile(path);
            ASSERT_TRUE(faults.empty()) << nsxtest::joinFaults(faults);
            t = xb::Table::open(path);
            expectMatches(*t, m, "reopened at step " + std::to_string(step));
        }
    }
}

// Appends `n` random records to the table and the model, one in
// `deletedOneIn` flagged as deleted (none when 0), and commits the last.
void appendRandom(xb::Table& t, FileTableModel& m, Randomizer& rnd, int n, int deletedOneIn) {
    for (int i = 0; i < n; ++i) {
        FileRec r = rnd.record();
        r.deleted = deletedOneIn > 0 && rnd.below(deletedOneIn) == 0;
        t.append();
        write(t, r);
        if (r.deleted) t.deleteRecord();
        m.recs.push_back(r);
    }
    t.commitRecord();
}

TEST(TableIndexModel, SeekFindsTheFirstVisibleKeyWithThePrefix) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    createFileTable(path);
    FileTableModel m;
    Randomizer rnd(7);
    auto t = xb::Table::open(path);
    appendRandom(*t, m, rnd, 400, 5);
    xb::SettingsGuard guard;
    t->index().setOrder(1);
    for (int del = 0; del < 2; ++del)
        for (int soft = 0; soft < 2; ++soft)
            for (int entry = 0; entry <= 41; ++entry) {
                xb::settings().deleted = del == 1;
                xb::settings().softSeek = soft == 1;
                xb::settings().exact = entry % 2 == 0;
                const std::string key = entry == 41 ? str8(kReleased) : str8(entry);
                const nsxtest::Model model = m.tag(1, del == 1);
                auto it = model.lower_bound({key, 0});
                const bool want = it != model.end() && it->first.compare(0, 8, key) == 0;
                SCOPED_TRACE(key + " deleted " + std::to_string(del) + " soft " +
                             std::to_string(soft));
                EXPECT_EQ(t->index().seek(key), want);
                if (want || (soft == 1 && it != model.end())) {
                    EXPECT_FALSE(t->eof());
                    EXPECT_EQ(t->recNo(), it->second);
                } else {
                    EXPECT_TRUE(t->eof());
                    EXPECT_EQ(t->recNo(), m.recs.size() + 1);
                }
            }
}

// The visible records of entry `n` in the order of the first tag.
std::vector<std::uint32_t> entryRun(const FileTableModel& m, double n, bool visibleOnly) {
    std::vector<std::uint32_t> out;
    for (const auto& [key, recno] : m.tag(1, visibleOnly))
        if (m.recs[recno - 1].dirnumm == n) out.push_back(recno);
    return out;
}

// Releasing an entry and storing new files over the released records, the
// way the reading does it: the runs found with seekRun(), the records
// changed in natural order, the index written in batches.
TEST(TableIndexModel, ReleaseAndReuseRunsKeepEveryTagEqualToTheModel) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    createFileTable(path);
    Randomizer rnd(qvtest::testSeed());
    FileTableModel m;
    auto t = xb::Table::open(path);
    appendRandom(*t, m, rnd, 3000, 20);
    xb::SettingsGuard guard;
    for (int round = 1; round <= 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // With the deleted setting on, flagged records are not part of a run.
        const bool hideDeleted = round % 3 == 0;
        xb::settings().deleted = hideDeleted;
        const double entry = 1 + rnd.below(40);
        t->index().setOrder(1);
        const std::vector<std::uint32_t> run = t->index().seekRun(str8(entry));
        ASSERT_EQ(run, entryRun(m, entry, hideDeleted));
        EXPECT_TRUE(t->eof() || t->number(0) != entry) << "the table stands past the run";

        t->index().setOrder(0);
        const std::size_t budget = t->index().indexFile()->cacheBudget();
        t->beginBatch();
        // A long batch keeps the index's cache small, and gives it back.
        EXPECT_LE(t->index().indexFile()->cacheBudget(), xb::Table::kBatchCacheBudget);
        for (const std::uint32_t recno : run) {
            t->go(recno);
            t->replaceNumber(0, kReleased);
            t->commitRecord();
            m.recs[recno - 1].dirnumm = kReleased;
        }
        t->endBatch();
        EXPECT_EQ(t->index().indexFile()->cacheBudget(), budget);

        t->index().setOrder(1);
        const std::vector<std::uint32_t> freed = t->index().seekRun(str8(kReleased));
        ASSERT_EQ(freed, entryRun(m, kReleased, hideDeleted));
        // New files: fewer or more than were released.
        const std::size_t files = run.size() + static_cast<std::size_t>(rnd.below(60));
        const double fresh = 100 + round;
        t->index().setOrder(0);
        t->beginBatch();
        for (std::size_t i = 0; i < files; ++i) {
            FileRec r = rnd.record();
            r.dirnumm = fresh;
            if (i < freed.size()) {
                t->go(freed[i]);
                r.deleted = m.recs[freed[i] - 1].deleted;
                m.recs[freed[i] - 1] = r;
            } else {
                t->append();
                m.recs.push_back(r);
            }
            write(*t, r);
            t->commitRecord();
        }
        t->endBatch();
        xb::settings().deleted = false;
        for (int pos = 1; pos <= 3; ++pos) {
            t->index().setOrder(pos);
            ASSERT_EQ(t->index().count(), m.tagSize(pos, false)) << "tag " << pos;
        }
        const std::vector<std::string> faults = t->index().indexFaults();
        ASSERT_TRUE(faults.empty()) << nsxtest::joinFaults(faults);
        if (round % 4 == 0) expectMatches(*t, m, "round " + std::to_string(round));
    }
    t->close();
    const auto faults = xb::checkTableFile(path);
    ASSERT_TRUE(faults.empty()) << nsxtest::joinFaults(faults);
    t = xb::Table::open(path);
    expectMatches(*t, m, "reopened");
}

// A process killed inside a batch: every record committed before the batch
// and every change of a record already in the file is in the table file;
// appended records may still be held. The index, whose pages may be stale,
// carries the crash marker, so the next open rebuilds it. The end of the
// batch writes the held records and the pages. A batch that puts the tags'
// upkeep off writes no page before its end: its marker is on disk all the
// same.
void killInsideABatch(bool deferTags) {
    namespace fs = std::filesystem;
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    createFileTable(path);
    Randomizer rnd(qvtest::testSeed() + 1);
    FileTableModel m;
    {
        auto t = xb::Table::open(path);
        appendRandom(*t, m, rnd, 600, 0);
        t->close();
    }
    auto t = xb::Table::open(path);
    t->index().setOrder(0);
    t->beginBatch(deferTags);
    for (int i = 0; i < 300; ++i) {
        const auto recno = static_cast<std::uint32_t>(1 + rnd.below(600));
        FileRec r = rnd.record();
        t->go(recno);
        write(*t, r);
        t->commitRecord();
        m.recs[recno - 1] = r;
    }
    FileTableModel before = m;  // what a kill may leave: no appended record
    for (int i = 0; i < 40; ++i) {
        FileRec r = rnd.record();
        t->append();
        write(*t, r);
        t->commitRecord();
        m.recs.push_back(r);
    }
    EXPECT_EQ(t->recCount(), 640u);
    // The files as a kill now would leave them.
    auto snapshot = [&](const std::string& name) {
        const fs::path to = dir / name;
        fs::create_directories(to);
        for (const char* f : {"_qvdir.dbf", "_qvdir.nsx", "_qvdir.smt"})
            if (fs::exists(dir / f)) fs::copy_file(dir / f, to / f);
        return (to / "_qvdir.dbf").string();
    };
    const std::string killed = snapshot("killed");
    {
        auto idx = xb::NsxFile::open((dir / "killed" / "_qvdir.nsx").string(),
                                     xb::NsxFile::Mode::ReadOnly);
        EXPECT_TRUE(idx->wasInterrupted());
    }
    {
        auto k = xb::Table::open(killed);
        ASSERT_GE(k->recCount(), 600u);
        ASSERT_LE(k->recCount(), 640u);
        before.recs.assign(m.recs.begin(), m.recs.begin() + k->recCount());
        expectMatches(*k, before, "opened after the kill");
    }
    ASSERT_TRUE(xb::checkTableFile(killed).empty());

    t->endBatch();
    const std::string ended = snapshot("ended");
    {
        auto idx =
            xb::NsxFile::open((dir / "ended" / "_qvdir.nsx").string(), xb::NsxFile::Mode::ReadOnly);
        for (int pos = 1; pos <= 3; ++pos)
            nsxtest::expectTagEquals(idx->tag(pos - 1), m.tag(pos, false),
                                     "tag " + std::to_string(pos) + " after the batch");
    }
    {
        auto k = xb::Table::open(ended);
        ASSERT_EQ(k->recCount(), 640u);
        expectMatches(*k, m, "opened after the batch");
    }
    t->close();
}

TEST(TableIndexModel, KillInsideABatchKeepsRecordsAndRebuildsTheIndex) {
    for (const bool deferTags : {false, true}) {
        SCOPED_TRACE(deferTags ? "tags put off" : "tags kept");
        killInsideABatch(deferTags);
    }
}

}  // namespace

// Batches that put the tags' upkeep off to their end leave every tag as
// single commits would: small ones bring their changes in one by one, large
// ones merge them into the trees; a record changed twice, flagged or
// released within the batch included; the last rounds bring their changes
// in early, every 50 records. Meanwhile no tag order can be chosen.
TEST(TableIndexModel, DeferredBatchesKeepEveryTagEqualToTheModel) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    createFileTable(path);
    const std::uint64_t seed = qvtest::testSeed();
    Randomizer rnd(seed);
    FileTableModel m;
    xb::SettingsGuard guard;
    auto t = xb::Table::open(path);
    appendRandom(*t, m, rnd, 3000, 9);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + " seed " + std::to_string(seed));
        t->index().setOrder(0);
        // Even rounds change a few records, odd ones a third of them.
        const int changes = round % 2 == 0 ? 40 : static_cast<int>(m.recs.size() / 3);
        if (round == 6) t->index().setDeferredRecordsLimit(50);
        t->beginBatch(true);
        EXPECT_THROW(t->index().setOrder(1), qv::Error);
        for (int i = 0; i < changes; ++i) {
            const int op = rnd.below(10);
            if (op <= 2) {
                FileRec r = rnd.record();
                t->append();
                write(*t, r);
                m.recs.push_back(r);
            } else {
                const auto recno =
                    static_cast<std::uint32_t>(1 + rnd.below(static_cast<int>(m.recs.size())));
                FileRec& r = m.recs[recno - 1];
                t->go(recno);
                if (op <= 6) {
                    FileRec n = rnd.record();
                    n.deleted = r.deleted;
                    write(*t, n);
                    r = n;
                } else if (op == 7) {
                    t->deleteRecord();
                    r.deleted = true;
                } else if (op == 8) {
                    t->recall();
                    r.deleted = false;
                } else {
                    t->replaceNumber(0, kReleased);
                    r.dirnumm = kReleased;
                }
            }
            t->commitRecord();
        }
        t->endBatch();
        expectMatches(*t, m, "after the batch");
    }
    t->close();
    const auto faults = xb::checkTableFile(path);
    ASSERT_TRUE(faults.empty()) << nsxtest::joinFaults(faults);
    t = xb::Table::open(path);
    expectMatches(*t, m, "reopened");
}
