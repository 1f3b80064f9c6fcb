// Whole key ranges removed in key order, as releasing the files of an entry
// does: every removal after the first of a leaf meets a branch key whose
// successor has to move up. Checked against an ordered model with the
// index checker, the subtree counts and a reopening.

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/xbase/coding.h"

using nsxtest::Model;

namespace {

constexpr double kReleased = 99999999;

std::string fileKey(double entry, const std::string& path) {
    std::string k = xb::formatNumber(entry, 8, 0) + path;
    k.resize(94, ' ');
    return k;
}

// The entries of the model whose key begins with `prefix`, in key order.
std::vector<std::pair<std::string, std::uint32_t>> rangeOf(const Model& m,
                                                           const std::string& prefix) {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    for (auto it = m.lower_bound({prefix, 0});
         it != m.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        out.push_back(*it);
    return out;
}

// The same range as the cursor walks it.
std::vector<std::pair<std::string, std::uint32_t>> walkRange(xb::NsxTag& tag,
                                                             const std::string& prefix) {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    xb::NsxCursor c(tag);
    for (bool ok = c.seek(prefix); ok && c.valid() && c.key().substr(0, prefix.size()) == prefix;
         ok = c.next())
        out.push_back({std::string(c.key()), c.recno()});
    return out;
}

std::uint64_t below(const Model& m, const std::string& prefix) {
    return static_cast<std::uint64_t>(std::distance(m.begin(), m.lower_bound({prefix, 0})));
}

TEST(NsxRangeRuns, ReleasingAndReusingWholeRangesKeepsTheTreeSound) {
    std::mt19937_64 rng(qvtest::testSeed());
    qvtest::TempDir dir;
    const std::string path = (dir / "runs.nsx").string();
    auto file = xb::NsxFile::create(path);
    xb::NsxTagDef def;
    def.name = "dirnumm";
    def.keyExpr = "str(dirnumm,8)+dirpfad";
    def.keyType = xb::NsxKeyType::Character;
    def.keyLen = 94;
    file->addTag(def);
    Model m;
    std::vector<std::pair<std::string, std::uint32_t>> all;
    std::uint32_t recno = 0;
    for (int e = 1; e <= 40; ++e) {
        const int files = 150 + static_cast<int>(rng() % 250);
        for (int i = 0; i < files; ++i)
            all.push_back({fileKey(e, "/DIR" + std::to_string(rng() % 20) + "/ DATEI" +
                                          std::to_string(i) + ".DAT"),
                           ++recno});
    }
    std::shuffle(all.begin(), all.end(), rng);
    xb::NsxTag& tag = file->tag(0);
    for (const auto& e : all) {
        ASSERT_TRUE(tag.insert(e.first, e.second));
        m.insert(e);
    }
    ASSERT_GE(tag.depth(), 3) << "the tree must have branch levels for the runs to cross";
    // Counting now keeps every page's subtree count, which the removals must
    // keep right from here on.
    ASSERT_EQ(tag.count(), m.size());

    const std::string released = xb::formatNumber(kReleased, 8, 0);
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string prefix = xb::formatNumber(static_cast<double>(1 + rng() % 40), 8, 0);
        const auto range = walkRange(tag, prefix);
        ASSERT_EQ(range, rangeOf(m, prefix));
        // Release: every key of the range leaves it, in key order, and comes
        // back under the released number.
        for (std::size_t i = 0; i < range.size(); ++i) {
            const auto& [k, r] = range[i];
            ASSERT_TRUE(tag.remove(k, r)) << "entry " << i << " of the range";
            m.erase({k, r});
            const std::string rel = fileKey(kReleased, k.substr(8));
            ASSERT_TRUE(tag.insert(rel, r));
            m.insert({rel, r});
            if (i % 37 == 0) {
                ASSERT_EQ(tag.count(), m.size()) << "after " << i + 1 << " releases";
                ASSERT_EQ(tag.countBelowPrefix(released), below(m, released));
            }
        }
        ASSERT_TRUE(walkRange(tag, prefix).empty());
        ASSERT_EQ(nsxtest::joinFaults(file->verify()), "");
        // Reuse: half of the released entries, first in key order, get new
        // keys of a new entry.
        const auto freed = walkRange(tag, released);
        ASSERT_EQ(freed, rangeOf(m, released));
        const std::string fresh = xb::formatNumber(static_cast<double>(41 + round), 8, 0);
        for (std::size_t i = 0; i < freed.size() / 2; ++i) {
            const auto& [k, r] = freed[i];
            ASSERT_TRUE(tag.remove(k, r));
            m.erase({k, r});
            const std::string nk = fileKey(41 + round, "/NEU/ DATEI" + std::to_string(i));
            ASSERT_TRUE(tag.insert(nk, r));
            m.insert({nk, r});
        }
        ASSERT_EQ(tag.countBelowPrefix(fresh), below(m, fresh));
        ASSERT_EQ(nsxtest::joinFaults(file->verify()), "");
    }
    nsxtest::expectTagEquals(tag, m, "after the runs");
    file->close();
    file = xb::NsxFile::open(path);
    EXPECT_FALSE(file->wasInterrupted());
    ASSERT_EQ(nsxtest::joinFaults(file->verify()), "");
    nsxtest::expectTagEquals(file->tag(0), m, "reopened");
}

}  // namespace
