// Randomized inserts and deletes against a std::set model: walks both ways,
// seeks, ranks, counts, the checker and the crash marker, across flushes and
// reopenings.

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_build.h"

using nsxtest::Model;

namespace {

struct KeyGen {
    std::mt19937_64& rng;
    int kind;  // 0: 94-byte file keys, 1: 26-byte name keys, 2: numbers

    std::uint64_t pick(std::uint64_t n) { return rng() % n; }

    std::string make() {
        static const char* dirs[] = {"\\PROGRAMME\\OFFICE\\", "\\PROGRAMME\\OFFICE\\VORLAGEN\\",
                                     "\\DATEN\\PROJEKTE\\2024\\", "\\DATEN\\", "\\"};
        static const char* names[] = {"README", "SETUP", "BRIEF",    "ÜBERSICHT", "A",
                                      "ZZZ",    "DATEI", "BILD\xFF", "INDEX"};
        static const char* exts[] = {"TXT", "EXE", "DOC", "", "JPG"};
        if (kind == 2) {
            std::uint8_t k[8];
            const double v = static_cast<double>(static_cast<int>(pick(400)) - 100) / 2;
            xb::encodeNumKey(v, k);
            return std::string(reinterpret_cast<const char*>(k), 8);
        }
        const std::string name =
            std::string(names[pick(std::size(names))]) + (pick(3) ? std::to_string(pick(30)) : "");
        const std::string ext = exts[pick(std::size(exts))];
        const std::string num = xb::formatNumber(static_cast<double>(1 + pick(25)), 8, 0);
        std::string k;
        if (kind == 0) {
            k = num + dirs[pick(std::size(dirs))] + name + "." + ext;
            k.resize(94, ' ');
        } else {
            k = name;
            k.resize(11, ' ');
            k += ext;
            k.resize(18, ' ');
            k += num;
            k.resize(26, ' ');
        }
        return k;
    }

    std::uint32_t recno() {
        const std::uint64_t r = pick(100);
        if (r < 80) return static_cast<std::uint32_t>(1 + pick(3000));
        if (r < 95) return static_cast<std::uint32_t>(65536 + pick(200000));
        return static_cast<std::uint32_t>(16777216 + pick(1000000));
    }
};

xb::NsxTagDef defFor(int kind) {
    if (kind < 2) {
        // The file table's first two tags.
        return qv::tables::tagDefs(qv::tables::layoutOf(qv::CatalogueTable::Files))[kind];
    }
    xb::NsxTagDef s;
    s.name = "zahl";
    s.keyExpr = "zahl";
    s.keyType = xb::NsxKeyType::Numeric;
    s.keyLen = 8;
    return s;
}

// Seeks, ranks and scope ends for a few probe values derived from the model.
void checkSeeks(xb::NsxTag& tag, const Model& m, std::mt19937_64& rng, KeyGen& gen) {
    xb::NsxCursor c(tag);
    for (int i = 0; i < 12; ++i) {
        std::string v = gen.make();
        if (!m.empty() && i % 2 == 0) {
            auto it = m.begin();
            std::advance(it, static_cast<long>(rng() % m.size()));
            v = it->first;
        }
        v.resize(std::min<std::size_t>(v.size(), 1 + rng() % v.size()));  // a prefix
        SCOPED_TRACE("seek " + qvtest::toHex(v));
        auto lb = m.lower_bound({v, 0});
        const bool found = c.seek(v);
        if (lb == m.end()) {
            EXPECT_FALSE(c.valid());
            EXPECT_FALSE(found);
        } else {
            ASSERT_TRUE(c.valid());
            EXPECT_EQ(std::string(c.key()), lb->first);
            EXPECT_EQ(c.recno(), lb->second);
            EXPECT_EQ(found, lb->first.compare(0, v.size(), v) == 0);
            EXPECT_EQ(c.position(), static_cast<std::uint64_t>(std::distance(m.begin(), lb)) + 1);
            // Backwards from a seek: the entries before the search's start
            // point in the leaf are decoded late.
            auto back = lb;
            for (int k = 0; k < 20 && back != m.begin(); ++k) {
                --back;
                ASSERT_TRUE(c.prev());
                ASSERT_EQ(std::string(c.key()), back->first);
                ASSERT_EQ(c.recno(), back->second);
            }
        }
        EXPECT_EQ(tag.countBelowPrefix(v),
                  static_cast<std::uint64_t>(std::distance(m.begin(), lb)));
        std::uint64_t upTo = 0;
        for (const auto& e : m)
            if (e.first.compare(0, v.size(), v) <= 0) ++upTo;
        EXPECT_EQ(tag.countUpToPrefix(v), upTo);
        const bool any = c.seekLast(v);
        EXPECT_EQ(any, upTo > 0);
        if (any) {
            EXPECT_EQ(c.position(), upTo);
        }
    }
}

void runModel(int kind, bool unique, int steps) {
    std::mt19937_64 rng(qvtest::testSeed() + static_cast<std::uint64_t>(kind) * 7919 + unique);
    KeyGen gen{rng, kind};
    qvtest::TempDir dir;
    const std::string path = (dir / "model.nsx").string();
    auto file = xb::NsxFile::create(path);
    xb::NsxTagDef def = defFor(kind);
    def.unique = unique;
    file->addTag(def);
    Model m;
    std::vector<std::pair<std::string, std::uint32_t>> live;  // for picking deletions
    auto rebuildLive = [&] { live.assign(m.begin(), m.end()); };
    int maxDepth = 0;
    std::uint64_t maxCount = 0;
    for (int step = 1; step <= steps; ++step) {
        xb::NsxTag& tag = file->tag(0);
        // Phases: grow, shrink hard (empties leaves and branches), grow again.
        const int phase = (step * 3 / steps);
        const bool insert = phase == 1 ? rng() % 100 < 15 : rng() % 100 < 75;
        if (insert || m.empty()) {
            const std::string k = gen.make();
            const std::uint32_t r = gen.recno();
            bool expect = !m.count({k, r});
            if (unique && expect)
                expect = m.lower_bound({k, 0}) == m.end() || m.lower_bound({k, 0})->first != k;
            ASSERT_EQ(tag.insert(k, r), expect) << "insert step " << step;
            if (expect) {
                m.insert({k, r});
                live.push_back({k, r});
            }
        } else if (rng() % 10 == 0) {
            // Deleting an absent pair changes nothing.
            const std::string k = gen.make();
            const std::uint32_t r = gen.recno();
            ASSERT_EQ(tag.remove(k, r), m.count({k, r}) == 1) << "remove step " << step;
            m.erase({k, r});
            rebuildLive();
        } else {
            const std::size_t i = rng() % live.size();
            const auto e = live[i];
            live[i] = live.back();
            live.pop_back();
            ASSERT_TRUE(tag.remove(e.first, e.second)) << "remove step " << step;
            m.erase(e);
        }
        if (step % 400 == 0) {
            ASSERT_EQ(tag.count(), m.size());
            maxDepth = std::max(maxDepth, tag.depth());
            maxCount = std::max<std::uint64_t>(maxCount, m.size());
            checkSeeks(tag, m, rng, gen);
            ASSERT_EQ(nsxtest::joinFaults(file->verify()), "") << "step " << step;
        }
        if (step % 2000 == 0 || step == steps) {
            nsxtest::expectTagEquals(tag, m, "before flush, step " + std::to_string(step));
            file->flush();
            {
                // A second reader sees the crash marker while changes are open.
                auto other = xb::NsxFile::open(path, xb::NsxFile::Mode::ReadOnly);
                EXPECT_TRUE(other->wasInterrupted());
            }
            file->close();
            const auto bytes = qvtest::readFile(path);
            EXPECT_EQ(qvtest::toHex(bytes.data() + 1016, 8), "0000000000000000");
            EXPECT_EQ(bytes.size() % 1024, 0u);
            file = xb::NsxFile::open(path);
            EXPECT_FALSE(file->wasInterrupted());
            ASSERT_EQ(nsxtest::joinFaults(file->verify()), "") << "after reopen " << step;
            nsxtest::expectTagEquals(file->tag(0), m, "after reopen, step " + std::to_string(step));
            if (::testing::Test::HasFatalFailure()) return;
        }
        if (::testing::Test::HasFatalFailure()) return;
    }
    // The run must have grown a tree with several branch levels and shrunk it.
    std::printf("[model] kind %d: up to %llu entries, depth %d, %zu at the end\n", kind,
                static_cast<unsigned long long>(maxCount), maxDepth, m.size());
    EXPECT_GE(maxDepth, kind == 2 ? 2 : 3);
    if (unique) {
        std::string lastKey;
        for (const auto& e : m) {
            EXPECT_NE(e.first, lastKey);
            lastKey = e.first;
        }
    }
}

}  // namespace

TEST(NsxModel, LongCharacterKeys) {
    runModel(0, false, 30000);
}
TEST(NsxModel, ShortCharacterKeys) {
    runModel(1, false, 30000);
}
TEST(NsxModel, NumericKeys) {
    runModel(2, false, 30000);
}
TEST(NsxModel, UniqueTagKeepsFirstArrival) {
    runModel(1, true, 20000);
}

// A cursor keeps its place while the tag changes under it.
TEST(NsxModel, CursorSurvivesChanges) {
    qvtest::TempDir dir;
    auto file = xb::NsxFile::create((dir / "c.nsx").string());
    xb::NsxTagDef s = defFor(1);
    xb::NsxTag& tag = file->addTag(s);
    Model m;
    for (std::uint32_t r = 1; r <= 3000; ++r) {
        const std::string k = tag.makeKey("K" + std::to_string(r % 700));
        tag.insert(k, r);
        m.insert({k, r});
    }
    xb::NsxCursor c(tag);
    ASSERT_TRUE(c.gotoPosition(1500));
    auto it = std::next(m.begin(), 1499);
    // Remove the current entry and its neighbours, add entries around it.
    ASSERT_TRUE(tag.remove(it->first, it->second));
    const auto gone = *it;
    it = m.erase(it);
    ASSERT_TRUE(tag.insert(tag.makeKey("A"), 5000));
    m.insert({tag.makeKey("A"), 5000});
    ASSERT_TRUE(c.next());  // lands on the successor of the removed entry
    EXPECT_EQ(std::string(c.key()), it->first);
    EXPECT_EQ(c.recno(), it->second);
    EXPECT_EQ(c.position(), static_cast<std::uint64_t>(std::distance(m.begin(), it)) + 1);
    ASSERT_TRUE(tag.insert(gone.first, gone.second));
    m.insert(gone);
    ASSERT_TRUE(c.prev());
    EXPECT_EQ(std::string(c.key()), gone.first);
    EXPECT_EQ(c.recno(), gone.second);
    // Walk on while every other visited entry is removed.
    std::uint64_t walked = 0;
    while (c.valid()) {
        const auto cur = std::make_pair(std::string(c.key()), c.recno());
        if (walked++ % 2 == 0) {
            ASSERT_TRUE(tag.remove(cur.first, cur.second));
            m.erase(cur);
        }
        c.next();
    }
    nsxtest::expectTagEquals(tag, m, "after walking deletions");
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
}

// Many changes merged into the tree at once end where single inserts and
// removes would: the same entries, a sound file, seeks as the model says.
TEST(NsxModel, MergeBringsManyChangesInAsSingleOnesWould) {
    qvtest::TempDir dir;
    const std::string path = (dir / "m.nsx").string();
    std::mt19937_64 rng(qvtest::testSeed());
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };
    {
        auto file = xb::NsxFile::create(path);
        xb::NsxTag& tag = file->addTag(defFor(1));
        Model m;
        for (std::uint32_t r = 1; r <= 5000; ++r) {
            const std::string k = tag.makeKey("N" + std::to_string(pick(900)));
            tag.insert(k, r);
            m.insert({k, r});
        }
        std::uint32_t next = 5001;
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            xb::NsxKeyBatch out(tag), in(tag);
            // Half of the entries out (a fifth in odd rounds), new keys in,
            // some of them pairs that are there already.
            const int share = round % 2 == 0 ? 2 : 5;
            std::vector<std::pair<std::string, std::uint32_t>> gone;
            for (const auto& e : m)
                if (pick(share) == 0) gone.push_back(e);
            for (const auto& e : gone) {
                out.add(e.first, e.second);
                m.erase(e);
            }
            for (int i = 0; i < 3000; ++i) {
                const std::string k = tag.makeKey("N" + std::to_string(pick(1200)));
                const std::uint32_t r = pick(4) == 0 && !m.empty() ? m.begin()->second : next++;
                in.add(k, r);
                m.insert({k, r});
            }
            ASSERT_EQ(tag.merge(out, in, next), 0u);
            nsxtest::expectTagEquals(tag, m, "after the merge");
            ASSERT_EQ(tag.count(), m.size());
        }
        // A removal of a pair that is not there changes nothing and names it.
        const std::vector<xb::NsxEntry> before = tag.entries();
        xb::NsxKeyBatch out(tag), in(tag);
        out.add(tag.makeKey("gibt es nicht"), 77);
        in.add(tag.makeKey("neu"), 78);
        EXPECT_EQ(tag.merge(out, in, next), 77u);
        EXPECT_EQ(tag.entries(), before);
        file->close();
    }
    auto file = xb::NsxFile::open(path);
    EXPECT_FALSE(file->wasInterrupted());
    const auto faults = file->verify();
    EXPECT_TRUE(faults.empty()) << nsxtest::joinFaults(faults);
}
