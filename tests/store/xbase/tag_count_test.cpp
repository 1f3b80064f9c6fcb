// Counts and positions of tags in real files, where the first count of a
// subtree reads the pages that are not cached straight from the file: the
// same answers as a walk, in a fresh session, after changes in the same
// session, and a damaged page still refused; counts kept from one process
// to the next in count files.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/count_store.h"
#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_page.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_index.h"
#include "support/testutil.h"
#include "xbase_test_util.h"

namespace {

// A file table large enough for a tree of three levels: names that repeat
// (so the name tag's leaves hold runs of equal prefixes) and owners spread.
void makeFiles(const std::string& path, xb::Env& env, int n) {
    xb::TableBuilder b(path, env);
    for (const xbtest::FieldDef& f : xbtest::layoutOf("_qvdir"))
        b.addField(f.name, f.type, f.width, f.dec);
    b.create();
    auto t = xb::Table::open(path, xb::OpenMode::Exclusive, env);
    for (int i = 1; i <= n; ++i) {
        t->append();
        t->replaceNumber(0, 1 + (i * 7919) % 997);
        t->replaceText(1, "F" + std::to_string((i * 104729LL) % 5003));
        t->replaceText(2, i % 3 == 0 ? "EXE" : "TXT");
        t->replaceText(3, "/D" + std::to_string(i % 31) + "/F" + std::to_string(i));
        t->replaceNumber(5, i);
    }
    t->index().indexTag("dirnumm", "str(dirnumm,8)+dirpfad");
    t->index().indexTag("namealle", "upper(dirname)+str(dirnumm,8)");
    t->close();
}

// The tag's records by walking it.
std::vector<std::uint32_t> walkOf(xb::Table& t, int tag) {
    t.index().setOrder(tag);
    std::vector<std::uint32_t> walk;
    for (t.goTop(); !t.eof(); t.skip())
        walk.push_back(t.recNo());
    return walk;
}

// Positions first asked for in the middle of a fresh tag, then around it,
// compared with the walk.
void expectPositionsMatch(xb::Table& t, int tag, const std::vector<std::uint32_t>& walk) {
    SCOPED_TRACE("tag " + std::to_string(tag));
    t.index().setOrder(tag);
    ASSERT_EQ(t.index().count(), walk.size());
    const std::size_t n = walk.size();
    for (const std::size_t i : {n / 2, n - 1, std::size_t{0}, n / 3, (2 * n) / 3, n / 2 + 1}) {
        ASSERT_EQ(t.index().recnoAtOrderPosition(i + 1), walk[i]) << "position " << i + 1;
        t.go(walk[i]);
        ASSERT_EQ(t.index().orderRecNo(), i + 1) << "record " << walk[i];
    }
}

// The address of a leaf in the middle of tag `tag`'s tree.
std::uint32_t middleLeaf(xb::Table& t, int tag) {
    xb::NsxTag& nt = t.index().indexFile()->tag(tag - 1);
    std::uint32_t addr = nt.rootAddr();
    for (;;) {
        xb::nsx::PageRef p = nt.treePage(addr);
        if (!xb::nsx::isBranchType(p.data()[0])) return addr;
        const xb::nsx::BranchView b{p.data(), nt.keyLen()};
        addr = b.child(b.count() / 2);
    }
}

constexpr int kRecords = 24000;

class TagCounts : public ::testing::Test {
  protected:
    void SetUp() override { makeFiles(path(), xb::Env::posix(), kRecords); }
    std::string path() const { return (dir / "_qvdir.dbf").string(); }
    qvtest::TempDir dir;
};

TEST_F(TagCounts, AFreshSessionCountsFromTheMiddleAsAWalkDoes) {
    std::vector<std::uint32_t> byOwner, byName;
    {
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        ASSERT_GE(t->index().indexFile()->tag(1).depth(), 3);
        byOwner = walkOf(*t, 1);
        byName = walkOf(*t, 2);
        ASSERT_EQ(byName.size(), std::size_t{kRecords});
    }
    // Each session starts without any subtree count but the roots'.
    for (const xb::OpenMode mode : {xb::OpenMode::ReadOnly, xb::OpenMode::Exclusive}) {
        auto t = xb::Table::open(path(), mode);
        expectPositionsMatch(*t, 2, byName);
        expectPositionsMatch(*t, 1, byOwner);
        t->close();
    }
    // The same files in memory answer alike.
    xb::MemEnv mem;
    for (const char* ext : {".dbf", ".nsx", ".smt"}) {
        const auto bytes = qvtest::readFile(dir / (std::string("_qvdir") + ext));
        auto f = mem.create(std::string("_qvdir") + ext);
        f->writeAt(0, bytes.data(), bytes.size());
    }
    auto m = xb::Table::open("_qvdir.dbf", xb::OpenMode::ReadOnly, mem);
    expectPositionsMatch(*m, 2, byName);
}

TEST_F(TagCounts, ChangesOfTheSessionShowInTheNextCounts) {
    auto t = xb::Table::open(path(), xb::OpenMode::Exclusive);
    t->index().setOrder(2);
    t->go(1);
    ASSERT_GT(t->index().orderRecNo(), 0u);  // counts of the left half known now
    // New names at the front and in the middle of the name order split
    // leaves there and grow the file beyond what was counted.
    for (int i = 0; i < 3000; ++i) {
        t->append();
        t->replaceNumber(0, 5);
        t->replaceText(1, (i % 2 ? "A" : "F2") + std::to_string(i));
        t->replaceText(3, "/NEU/" + std::to_string(i));
    }
    // Some old ones leave the middle.
    for (std::uint32_t r = 100; r < 4000; r += 3) {
        t->go(r);
        t->replaceText(1, "Z" + std::to_string(r));
    }
    t->commitRecord();
    const auto byName = walkOf(*t, 2);
    ASSERT_EQ(byName.size(), std::size_t{kRecords + 3000});
    expectPositionsMatch(*t, 2, byName);
    // A rebuild truncates and rewrites the file under the counts.
    t->index().reindex();
    expectPositionsMatch(*t, 2, walkOf(*t, 2));
    expectPositionsMatch(*t, 1, walkOf(*t, 1));
}

TEST_F(TagCounts, ADamagedLeafIsRefusedWhenCountedFromTheFile) {
    std::uint32_t leaf = 0;
    {
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        leaf = middleLeaf(*t, 2);
    }
    auto bytes = qvtest::readFile(dir / "_qvdir.nsx");
    bytes[leaf] = 0x7F;  // no page type
    qvtest::writeFile(dir / "_qvdir.nsx", bytes);
    auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
    t->index().setOrder(2);
    try {
        t->index().recnoAtOrderPosition(
            t->index().count());  // counts every subtree left of the last
        FAIL() << "a damaged leaf was counted";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt);
        EXPECT_NE(e.text().find("Seite " + std::to_string(leaf)), std::string::npos) << e.text();
    }
}

// Counts every subtree of the tag (the walk to its last position does).
void countAll(xb::Table& t, int tag) {
    t.index().setOrder(tag);
    ASSERT_NE(t.index().recnoAtOrderPosition(t.index().count()), 0u);
}

// The first child of the root of tag `tag` (a subtree whose count is not
// noted at close).
std::uint32_t firstChild(xb::Table& t, int tag) {
    xb::NsxTag& nt = t.index().indexFile()->tag(tag - 1);
    xb::nsx::PageRef p = nt.treePage(nt.rootAddr());
    EXPECT_TRUE(xb::nsx::isBranchType(p.data()[0]));
    return xb::nsx::BranchView{p.data(), nt.keyLen()}.child(0);
}

// A writing session that walks the name tag and counts all of it: the walk
// and the first child of the tag's root.
std::pair<std::vector<std::uint32_t>, std::uint32_t> countedSession(const std::string& path) {
    auto t = xb::Table::open(path, xb::OpenMode::Exclusive);
    std::vector<std::uint32_t> walk = walkOf(*t, 2);
    countAll(*t, 2);
    const std::uint32_t child = firstChild(*t, 2);
    EXPECT_NE(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
    t->close();
    return {walk, child};
}

TEST_F(TagCounts, AnUnchangedFileOpenedAgainKnowsItsCountsFromTheClose) {
    const auto [byName, child] = countedSession(path());
    {
        // A fresh file object; its counts come from the last close.
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        const std::uint32_t known = t->index().indexFile()->knownCount(child);
        ASSERT_NE(known, xb::NsxFile::kUnknownCount);
        std::uint64_t walked = 0;
        for (std::uint32_t r : byName) {
            t->index().setOrder(2);
            t->go(r);
            walked += t->index().orderRecNo() <= known ? 1 : 0;
        }
        EXPECT_EQ(walked, known);
        expectPositionsMatch(*t, 2, byName);
    }
    // Taken over once: the read-only close handed them on again.
    auto t = xb::Table::open(path(), xb::OpenMode::Exclusive);
    EXPECT_NE(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
    expectPositionsMatch(*t, 2, byName);
}

TEST_F(TagCounts, AFileChangedSinceItsCloseIsCountedAfresh) {
    std::uint32_t child = 0;
    {
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        countAll(*t, 2);
        child = firstChild(*t, 2);
    }
    // Another session adds names at the front of the order.
    {
        auto t = xb::Table::open(path(), xb::OpenMode::Exclusive, xb::Env::posix());
        for (int i = 0; i < 50; ++i) {
            t->append();
            t->replaceText(1, "A" + std::to_string(i));
        }
        t->close();
    }
    {
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        // Its own counts at most (the writer knew them), never the stale ones.
        const std::uint32_t known = t->index().indexFile()->knownCount(child);
        if (known != xb::NsxFile::kUnknownCount) {
            t->index().setOrder(2);
            const auto walk = walkOf(*t, 2);
            std::uint32_t left = 0;
            for (std::uint32_t r : walk) {
                t->go(r);
                left += t->index().orderRecNo() <= known ? 1 : 0;
            }
            EXPECT_EQ(left, known);
        }
        expectPositionsMatch(*t, 2, walkOf(*t, 2));
    }
    // Bytes changed behind the engine's back: the stamp differs, nothing is
    // taken over.
    {
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        countAll(*t, 2);
        child = firstChild(*t, 2);
        ASSERT_NE(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
    }
    auto bytes = qvtest::readFile(dir / "_qvdir.nsx");
    bytes.resize(bytes.size() + 1024, 0);
    qvtest::writeFile(dir / "_qvdir.nsx", bytes);
    auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
    EXPECT_EQ(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
}

// Count files on for the test's folder, off again afterwards.
struct CountFiles {
    explicit CountFiles(const std::filesystem::path& folder, std::uint32_t minPages = 1) {
        xb::setCountCache(folder.string(), minPages);
    }
    ~CountFiles() {
        xb::setCountCache({});
        xb::NsxFile::forgetKeptCounts();
    }
};

TEST_F(TagCounts, AnotherProcessTakesTheCountsOverFromTheCountFile) {
    const CountFiles on(dir / "counts");
    const auto [byName, child] = countedSession(path());
    const std::string countFile = xb::countFilePath((dir / "_qvdir.nsx").string());
    ASSERT_TRUE(std::filesystem::exists(countFile));
    const auto intact = qvtest::readFile(countFile);
    const auto openFresh = [&] {
        xb::NsxFile::forgetKeptCounts();  // as a new process starts
        return xb::Table::open(path(), xb::OpenMode::ReadOnly);
    };
    {
        auto t = openFresh();
        EXPECT_NE(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
        expectPositionsMatch(*t, 2, byName);
    }
    // A damaged count file and one cut short are ignored: the counts are
    // computed again, and right.
    auto flipped = intact;
    flipped[flipped.size() / 2] ^= 0x01;
    auto cut = intact;
    cut.resize(cut.size() - 4);
    for (const auto& bytes : {flipped, cut}) {
        qvtest::writeFile(countFile, bytes);
        auto t = openFresh();
        EXPECT_EQ(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
        expectPositionsMatch(*t, 2, byName);
        t->close();
        std::filesystem::remove(countFile);
    }
    std::filesystem::rename(dir / "_qvdir.nsx", dir / "moved.nsx");
    std::filesystem::copy_file(dir / "moved.nsx", dir / "_qvdir.nsx");
    qvtest::writeFile(countFile, intact);  // its index was replaced by a copy
    auto t = openFresh();
    EXPECT_EQ(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
    expectPositionsMatch(*t, 2, byName);
}

TEST(CountStore, CountFilesAreWrittenAndReadThroughTheEnvOfTheIndex) {
    const CountFiles on("counts-in-memory");
    xb::MemEnv mem;
    const xb::CountSnapshot saved{"stamp", std::vector<std::uint8_t>(16, 7), {1, 2, 0xFFFFFFFF}};
    ASSERT_TRUE(xb::saveCounts(mem, "x.nsx", saved));
    const std::string file = xb::countFilePath("x.nsx");
    EXPECT_TRUE(mem.exists(file));
    EXPECT_FALSE(std::filesystem::exists(file));
    xb::CountSnapshot back;
    ASSERT_TRUE(xb::loadCounts(mem, "x.nsx", back));
    EXPECT_EQ(back.stamp, saved.stamp);
    EXPECT_EQ(back.root, saved.root);
    EXPECT_EQ(back.counts, saved.counts);
    xb::MemEnv other;
    EXPECT_FALSE(xb::loadCounts(other, "x.nsx", back));
}

// The last child of the root of tag `tag`.
std::uint32_t lastChild(xb::Table& t, int tag) {
    xb::NsxTag& nt = t.index().indexFile()->tag(tag - 1);
    xb::nsx::PageRef p = nt.treePage(nt.rootAddr());
    const xb::nsx::BranchView b{p.data(), nt.keyLen()};
    return b.child(b.count());
}

TEST_F(TagCounts, ACountFileFollowsChangesAndSmallIndexesGetNone) {
    {
        const CountFiles on(dir / "counts");
        {
            auto t = xb::Table::open(path(), xb::OpenMode::Exclusive);
            countAll(*t, 2);
        }
        const std::string countFile = xb::countFilePath((dir / "_qvdir.nsx").string());
        const auto before = qvtest::readFile(countFile);
        {
            auto t = xb::Table::open(path(), xb::OpenMode::Exclusive);
            for (int i = 0; i < 50; ++i) {  // names at the front of the order
                t->append();
                t->replaceText(1, "A" + std::to_string(i));
            }
            t->close();
        }
        EXPECT_NE(qvtest::readFile(countFile), before);
        xb::NsxFile::forgetKeptCounts();
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        EXPECT_NE(t->index().indexFile()->knownCount(lastChild(*t, 2)), xb::NsxFile::kUnknownCount);
        expectPositionsMatch(*t, 2, walkOf(*t, 2));
    }
    const CountFiles large(dir / "counts2", 1u << 20);
    {
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        countAll(*t, 2);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "counts2"));
}

TEST_F(TagCounts, TheFirstPositionsNeedNoCountOfTheTreeBeyondThem) {
    std::vector<std::uint32_t> byName;
    std::uint32_t child = 0;
    {
        auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
        byName = walkOf(*t, 2);
        child = firstChild(*t, 2);
    }
    auto t = xb::Table::open(path(), xb::OpenMode::ReadOnly);
    t->index().setOrder(2);
    ASSERT_EQ(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
    for (std::uint64_t pos = 1; pos <= 64; ++pos)
        ASSERT_EQ(t->index().recnoAtOrderPosition(pos), byName[pos - 1]) << pos;
    EXPECT_EQ(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
    // Further on the count is made, and the positions stay right.
    expectPositionsMatch(*t, 2, byName);
    EXPECT_NE(t->index().indexFile()->knownCount(child), xb::NsxFile::kUnknownCount);
}

}  // namespace
