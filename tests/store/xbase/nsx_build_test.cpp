// Bulk builds: order, the checker, the fixtures' key sequences, the
// empty-leaf fix-up at the edges of full leaves and branches, record number
// widths, unique tags, progress and page reuse.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/xbase/nsx_build.h"

namespace fs = std::filesystem;

namespace {

xb::NsxTagDef charSpec(const std::string& name, int keyLen) {
    xb::NsxTagDef s;
    s.name = name;
    s.keyExpr = "k";
    s.keyLen = keyLen;
    return s;
}

xb::NsxTagDef numSpec(const std::string& name) {
    xb::NsxTagDef s = charSpec(name, 8);
    s.keyType = xb::NsxKeyType::Numeric;
    return s;
}

std::string numKey(double v) {
    std::uint8_t k[8];
    xb::encodeNumKey(v, k);
    return std::string(reinterpret_cast<const char*>(k), 8);
}

struct EdgeStats {
    int singleEntryLastLeaf = 0;  // the fix-up after a promoted last key
    int zeroKeyEdgeBranch = 0;
};

// Follows the right edge of the tree down to the last leaf.
void rightEdge(xb::NsxTag& tag, EdgeStats& st) {
    std::uint32_t addr = tag.rootAddr();
    for (;;) {
        xb::nsx::PageRef p = tag.treePage(addr);
        const int n = xb::getU16LE(p.data() + 2);
        if (xb::nsx::isLeafType(p.data()[0])) {
            if (n == 1 && addr != tag.rootAddr()) ++st.singleEntryLastLeaf;
            return;
        }
        if (n == 0) ++st.zeroKeyEdgeBranch;
        addr = xb::nsx::BranchView{p.data(), tag.keyLen()}.child(n);
    }
}

// Builds `entries` (in the order given) into a fresh tag and checks the tree
// against the sorted model, the checker and the positions.
void buildAndCheck(const qvtest::TempDir& dir, const xb::NsxTagDef& def,
                   const std::vector<std::pair<std::string, std::uint32_t>>& entries,
                   std::uint32_t recordCount, const std::string& ctx, EdgeStats& st) {
    SCOPED_TRACE(ctx);
    const std::string path = (dir / "b.nsx").string();
    auto file = xb::NsxFile::create(path);
    xb::NsxKeyBatch batch(def.keyLen, def.keyType == xb::NsxKeyType::Character ? 0x20 : 0);
    nsxtest::Model model;
    for (const auto& [k, r] : entries) {
        batch.add(k, r);
        model.insert(
            {std::string(k).append(static_cast<std::size_t>(def.keyLen) - k.size(), ' '), r});
    }
    xb::NsxTag& tag = file->buildTag(def, batch, recordCount);
    rightEdge(tag, st);
    ASSERT_EQ(nsxtest::joinFaults(file->verify()), "");
    nsxtest::expectTagEquals(tag, model, "built");
    file->close();
    file = xb::NsxFile::open(path);
    ASSERT_EQ(nsxtest::joinFaults(file->verify()), "");
    nsxtest::expectTagEquals(file->tag(0), model, "reopened");
}

}  // namespace

TEST(NsxBuild, ReproducesTheFixtureTags) {
    std::mt19937_64 rng(qvtest::testSeed());
    for (const char* set : {"catalog", "edge"}) {
        for (const auto& e : fs::directory_iterator(qvtest::xbaseFixtures() / set / "expected")) {
            const nsxtest::ExpectedTable t = nsxtest::loadExpected(e.path());
            for (const auto& tag : t.tags) {
                std::vector<std::pair<std::string, std::uint32_t>> entries;
                for (const auto& [pos, en] : tag.keys)
                    entries.push_back({en.key, en.recno});
                std::shuffle(entries.begin(), entries.end(), rng);
                qvtest::TempDir dir;
                auto file = xb::NsxFile::create((dir / "f.nsx").string());
                xb::NsxTagDef def =
                    tag.keyType == 'C' ? charSpec(tag.name, tag.keyLen) : numSpec(tag.name);
                xb::NsxKeyBatch batch(def.keyLen, tag.keyType == 'C' ? 0x20 : 0);
                for (const auto& [k, r] : entries)
                    batch.add(k, r);
                xb::NsxTag& built = file->buildTag(def, batch, t.recordCount);
                std::vector<xb::NsxEntry> expect;
                for (const auto& [pos, en] : tag.keys)
                    expect.push_back(en);
                EXPECT_EQ(built.entries(), expect) << t.name << " " << tag.name;
                EXPECT_EQ(built.count(), tag.count);
                EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
            }
        }
    }
}

TEST(NsxBuild, EmptyInputIsOneEmptyRootLeaf) {
    qvtest::TempDir dir;
    const std::string path = (dir / "e.nsx").string();
    auto file = xb::NsxFile::create(path);
    xb::NsxKeyBatch batch(10, 0x20);
    xb::NsxTag& tag = file->buildTag(charSpec("leer", 10), batch, 0);
    EXPECT_EQ(tag.count(), 0u);
    const std::uint32_t root = tag.rootAddr();
    file->close();
    const auto bytes = qvtest::readFile(path);
    ASSERT_GE(bytes.size(), root + 1024u);
    EXPECT_EQ(qvtest::toHex(bytes.data() + root, 6), "030200000600");
    EXPECT_EQ(bytes.size(), 3u * 1024u);  // root header, tag header, root leaf
}

// Every size up to several full branches of 250-byte keys (three keys per
// branch, about three entries per leaf), so that the last key lands on every
// kind of boundary: the empty last leaf after a promotion, full branches at
// several levels, 0-key pages on the right edge.
TEST(NsxBuild, BoundarySizesOfLongKeys) {
    std::mt19937_64 rng(qvtest::testSeed() + 1);
    qvtest::TempDir dir;
    EdgeStats st;
    for (int n = 0; n <= 160; ++n) {
        std::vector<std::pair<std::string, std::uint32_t>> entries;
        for (int i = 0; i < n; ++i) {
            std::string k(250, ' ');
            for (int j = 0; j < 240; ++j)
                k[static_cast<std::size_t>(j)] = static_cast<char>('A' + rng() % 3);
            entries.push_back({k, static_cast<std::uint32_t>(i + 1)});
        }
        buildAndCheck(dir, charSpec("lang", 250), entries, static_cast<std::uint32_t>(n),
                      "n=" + std::to_string(n), st);
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(st.singleEntryLastLeaf, 0);
    EXPECT_GT(st.zeroKeyEdgeBranch, 0);
}

// Sequential 8-byte numbers around a full leaf, a full branch (63 keys) and a
// full two-level tree.
TEST(NsxBuild, BoundarySizesOfNumbers) {
    qvtest::TempDir dir;
    EdgeStats st;
    std::vector<int> sizes;
    for (int n = 1; n <= 260; ++n)
        sizes.push_back(n);
    for (int base : {6400, 6597, 6650, 6700, 8000}) {
        for (int d = -3; d <= 3; ++d)
            sizes.push_back(base + d);
    }
    for (int n : sizes) {
        std::vector<std::pair<std::string, std::uint32_t>> entries;
        for (int i = n; i >= 1; --i)
            entries.push_back({numKey(i), static_cast<std::uint32_t>(i)});
        buildAndCheck(dir, numSpec("zahl"), entries, static_cast<std::uint32_t>(n),
                      "n=" + std::to_string(n), st);
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(st.singleEntryLastLeaf, 0);
    std::printf("[build] %d sizes: %d with a one-entry last leaf, %d 0-key edge branches\n",
                static_cast<int>(sizes.size()), st.singleEntryLastLeaf, st.zeroKeyEdgeBranch);
}

TEST(NsxBuild, RecordNumberWidthFollowsTheRecordCount) {
    qvtest::TempDir dir;
    const std::string path = (dir / "w.nsx").string();
    for (std::uint32_t count : {65535u, 65536u, 16777216u}) {
        auto file = xb::NsxFile::create(path);
        xb::NsxKeyBatch batch(26, 0x20);
        for (std::uint32_t r = 1; r <= 3000; ++r)
            batch.add("NAME" + std::to_string(r % 97), r);
        xb::NsxTag& tag = file->buildTag(charSpec("namealle", 26), batch, count);
        EXPECT_EQ(tag.count(), 3000u);
        file->close();
        const auto bytes = qvtest::readFile(path);
        std::set<int> widths;
        for (std::size_t off = 1024; off < bytes.size(); off += 1024)
            if (bytes[off] == 2 || bytes[off] == 3) widths.insert(bytes[off + 1]);
        EXPECT_EQ(widths, (std::set<int>{xb::nsx::recNoLenFor(count)})) << count;
    }
}

TEST(NsxBuild, UniqueTagKeepsTheLowestRecordOfEachKey) {
    qvtest::TempDir dir;
    auto file = xb::NsxFile::create((dir / "u.nsx").string());
    xb::NsxTagDef s = charSpec("einzeln", 4);
    s.unique = true;
    xb::NsxKeyBatch batch(4, 0x20);
    const char* vals[] = {"b", "a", "c", "a", "b", "b"};
    for (std::uint32_t r = 6; r >= 1; --r)
        batch.add(vals[r - 1], r);
    xb::NsxTag& tag = file->buildTag(s, batch, 6);
    const std::vector<xb::NsxEntry> expect = {{"a   ", 2}, {"b   ", 1}, {"c   ", 3}};
    EXPECT_EQ(tag.entries(), expect);
    EXPECT_FALSE(tag.insert("a", 7));  // the first arrival keeps the key
    EXPECT_TRUE(tag.insert("d", 7));
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
}

TEST(NsxBuild, ReportsProgressInItsRange) {
    qvtest::TempDir dir;
    auto file = xb::NsxFile::create((dir / "p.nsx").string());
    xb::NsxKeyBatch batch(26, 0x20);
    for (std::uint32_t r = 1; r <= 20000; ++r)
        batch.add(std::to_string(r * 7919 % 20011), r);
    std::vector<int> seen;
    xb::NsxProgress p{[&](int pct) { seen.push_back(pct); }, 40, 80};
    file->buildTag(charSpec("t", 26), batch, 20000, p);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 40);
    EXPECT_EQ(seen.back(), 80);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(NsxBuild, RebuildReusesThePagesOfTheOldTree) {
    qvtest::TempDir dir;
    const std::string path = (dir / "r.nsx").string();
    auto file = xb::NsxFile::create(path);
    auto fill = [](xb::NsxKeyBatch& b, int n) {
        for (std::uint32_t r = 1; r <= static_cast<std::uint32_t>(n); ++r)
            b.add("K" + std::to_string(r * 31 % 5003), r);
    };
    xb::NsxKeyBatch b1(26, 0x20);
    fill(b1, 5000);
    file->buildTag(charSpec("a", 26), b1, 5000);
    file->flush();
    const std::uint32_t size = file->fileSizeField();
    const std::uint16_t version = file->version();
    xb::NsxKeyBatch b2(26, 0x20);
    fill(b2, 4000);
    xb::NsxTag& again = file->buildTag(charSpec("A", 26), b2, 5000);
    EXPECT_EQ(file->tagCount(), 1);
    EXPECT_EQ(again.count(), 4000u);
    EXPECT_EQ(file->fileSizeField(), size);         // no page appended
    EXPECT_NE(file->freeHead(), xb::nsx::kNoPage);  // the surplus went to the free list
    EXPECT_NE(file->version(), version);
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
    // Inserts take the free pages before the file grows.
    for (std::uint32_t r = 1; r <= 300; ++r)
        again.insert("NEU" + std::to_string(r), 5000 + r);
    EXPECT_EQ(file->fileSizeField(), size);
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
}

// Ranks after a build are known without reading the tree again, and stay
// right through updates.
TEST(NsxBuild, UpdatesAfterABuildKeepPositions) {
    std::mt19937_64 rng(qvtest::testSeed() + 2);
    qvtest::TempDir dir;
    auto file = xb::NsxFile::create((dir / "x.nsx").string());
    xb::NsxKeyBatch batch(94, 0x20);
    nsxtest::Model m;
    for (std::uint32_t r = 1; r <= 6000; ++r) {
        std::string k =
            xb::formatNumber(r / 60 + 1, 8, 0) + "\\DATEN\\TEIL" + std::to_string(r % 60);
        k.resize(94, ' ');
        batch.add(k, r);
        m.insert({k, r});
    }
    xb::NsxTagDef s = charSpec("dirnumm", 94);
    xb::NsxTag& tag = file->buildTag(s, batch, 6000);
    for (int i = 0; i < 3000; ++i) {
        auto it = std::next(m.begin(), static_cast<long>(rng() % m.size()));
        if (rng() % 2) {
            ASSERT_TRUE(tag.remove(it->first, it->second));
            m.erase(it);
        } else {
            const std::uint32_t r = 6000 + static_cast<std::uint32_t>(i) + 1;
            ASSERT_TRUE(tag.insert(it->first, r));
            m.insert({it->first, r});
        }
    }
    nsxtest::expectTagEquals(tag, m, "after updates");
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
}

// Large arrays given back while a recycler lives are handed on to the next
// array of a fitting size; two arrays alive at once never share memory, and
// a block too large for a small array is left for a large one.
TEST(NsxBuild, RecycledArraysAreHandedOnAndNeverShared) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    const auto fill = [](xb::nsx::BulkBuffer& b, std::uint8_t v) {
        std::fill(b.data(), b.data() + b.size(), v);
    };
    const auto all = [](const xb::nsx::BulkBuffer& b, std::uint8_t v) {
        return std::all_of(b.data(), b.data() + b.size(), [v](std::uint8_t x) { return x == v; });
    };
    xb::nsx::BulkRecycler recycler;
    xb::nsx::BulkBuffer big, small;
    big.resize(16 * kMiB);
    small.resize(2 * kMiB);
    const std::uint8_t* bigBlock = big.data();
    const std::uint8_t* smallBlock = small.data();
    big.release();
    small.release();

    xb::nsx::BulkBuffer a, b, c;
    a.resize(2 * kMiB);  // the small block fits, the big one is too large for it
    b.resize(12 * kMiB);
    c.resize(12 * kMiB);  // nothing kept is left: a fresh block
    EXPECT_EQ(a.data(), smallBlock);
    EXPECT_EQ(b.data(), bigBlock);
    EXPECT_NE(c.data(), bigBlock);
    EXPECT_NE(c.data(), smallBlock);
    fill(a, 1);
    fill(b, 2);
    fill(c, 3);
    b.resize(20 * kMiB);  // grows beyond the kept block's room
    EXPECT_TRUE(all(a, 1));
    EXPECT_TRUE(all(c, 3));
    EXPECT_TRUE(std::all_of(b.data(), b.data() + 12 * kMiB, [](std::uint8_t x) { return x == 2; }));
}
