// The index layer against the index files of the fixture sets: every tag's
// definition, walk, count, positions and seek probes as another xBase
// program reported them.

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/xbase/error.h"

namespace fs = std::filesystem;
using nsxtest::ExpectedTable;
using nsxtest::ExpectedTag;

namespace {

std::vector<fs::path> fixtureJsons() {
    std::vector<fs::path> r;
    for (const char* set : {"catalog", "edge"})
        for (const auto& e : fs::directory_iterator(qvtest::xbaseFixtures() / set / "expected"))
            r.push_back(e.path());
    std::sort(r.begin(), r.end());
    return r;
}

void checkDefinition(xb::NsxTag& tag, const ExpectedTag& e) {
    EXPECT_EQ(tag.name(), e.name);
    EXPECT_EQ(tag.keyExpr(), e.key);
    EXPECT_EQ(tag.forExpr(), e.forText);
    EXPECT_EQ(tag.keyLen(), e.keyLen);
    EXPECT_EQ(tag.keyType(),
              e.keyType == 'C' ? xb::NsxKeyType::Character : xb::NsxKeyType::Numeric);
    EXPECT_EQ(tag.unique(), e.unique);
    EXPECT_EQ(tag.descending(), e.descend);
}

void checkSeeks(xb::NsxTag& tag, const ExpectedTag& e, std::uint32_t recordCount) {
    xb::NsxCursor c(tag);
    for (const auto& p : e.seeks) {
        SCOPED_TRACE(e.name + " seek " + p.why + " " + qvtest::toHex(p.value));
        const bool found = c.seek(p.value);
        for (int soft = 0; soft < 2; ++soft) {
            EXPECT_EQ(found, p.found[soft]);
            const bool stay = found || (soft == 1 && c.valid());
            EXPECT_EQ(stay ? c.recno() : recordCount + 1, p.recno[soft]);
            EXPECT_EQ(!stay, p.eof[soft]);
        }
        // The rank of the seek position is the position the cursor landed on.
        const std::uint64_t rank = tag.countBelowPrefix(p.value) + 1;
        EXPECT_EQ(c.valid() ? c.position() : tag.count() + 1, rank);
    }
}

}  // namespace

TEST(NsxFixture, EveryTagMatchesTheRecordedResults) {
    int tagsSeen = 0;
    for (const fs::path& json : fixtureJsons()) {
        const ExpectedTable t = nsxtest::loadExpected(json);
        if (t.indexFile.empty()) continue;
        const fs::path nsx = json.parent_path().parent_path() / t.indexFile;
        SCOPED_TRACE(nsx.string());
        auto file = xb::NsxFile::open(nsx.string(), xb::NsxFile::Mode::ReadOnly);
        EXPECT_FALSE(file->wasInterrupted());
        ASSERT_EQ(file->tagCount(), static_cast<int>(t.tags.size()));
        for (int i = 0; i < file->tagCount(); ++i) {
            xb::NsxTag& tag = file->tag(i);
            const ExpectedTag& e = t.tags[static_cast<std::size_t>(i)];
            SCOPED_TRACE(e.name);
            ++tagsSeen;
            checkDefinition(tag, e);
            EXPECT_EQ(file->findTag(e.name), &tag);
            ASSERT_EQ(tag.count(), e.count);
            const std::vector<xb::NsxEntry> walk = tag.entries();
            ASSERT_EQ(walk.size(), e.keys.size());
            xb::NsxCursor back(tag);
            back.last();
            for (std::size_t k = 0; k < walk.size(); ++k) {
                ASSERT_EQ(walk[k], e.keys[k].second) << "entry " << k;
                // Ranks from three directions: of the entry, by position, and
                // the backward walk.
                EXPECT_EQ(tag.countBefore(walk[k].key, walk[k].recno), k);
                xb::NsxCursor at(tag);
                ASSERT_TRUE(at.gotoPosition(k + 1));
                EXPECT_EQ(at.recno(), walk[k].recno);
                const xb::NsxEntry& b = e.keys[walk.size() - 1 - k].second;
                ASSERT_TRUE(back.valid());
                EXPECT_EQ(back.recno(), b.recno);
                EXPECT_EQ(back.position(), walk.size() - k);
                back.prev();
            }
            EXPECT_TRUE(walk.empty() ? back.eof() : back.bof());
            checkSeeks(tag, e, t.recordCount);
        }
        EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
    }
    EXPECT_EQ(tagsSeen, 9 + 3 + 1 + 1 + 1 + 4 + 1 + 1 + 1 + 4);
}

TEST(NsxFixture, LargeSetPositionsCountsAndWidths) {
    const fs::path dir = qvtest::largeFixture();
    if (dir.empty()) GTEST_SKIP() << "large fixture not unpacked";
    const ExpectedTable t = nsxtest::loadExpected(dir / "expected" / "_qvdir.json");
    auto file = xb::NsxFile::open((dir / "_qvdir.nsx").string(), xb::NsxFile::Mode::ReadOnly);
    ASSERT_EQ(file->tagCount(), 3);
    const std::uint64_t counts[] = {70000, 69945, 69945};
    for (int i = 0; i < 3; ++i) {
        xb::NsxTag& tag = file->tag(i);
        const ExpectedTag& e = t.tags[static_cast<std::size_t>(i)];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(tag.count(), counts[i]);
        EXPECT_EQ(e.count, counts[i]);
        // Sampled positions through go-to-position ...
        xb::NsxCursor c(tag);
        for (const auto& [pos, entry] : e.keys) {
            ASSERT_TRUE(c.gotoPosition(pos)) << pos;
            EXPECT_EQ(c.recno(), entry.recno) << pos;
            EXPECT_EQ(std::string(c.key()), entry.key) << pos;
            EXPECT_EQ(c.position(), pos);
        }
        // ... and through a full walk.
        const std::vector<xb::NsxEntry> walk = tag.entries();
        ASSERT_EQ(walk.size(), counts[i]);
        for (const auto& [pos, entry] : e.keys)
            EXPECT_EQ(walk[pos - 1], entry) << pos;
        checkSeeks(tag, e, t.recordCount);
    }
    // Leaves with 2- and 3-byte record numbers side by side.
    std::set<int> widths;
    const auto bytes = qvtest::readFile(dir / "_qvdir.nsx");
    for (std::size_t off = 1024; off + 1024 <= bytes.size(); off += 1024)
        if (bytes[off] == 2 || bytes[off] == 3) widths.insert(bytes[off + 1]);
    EXPECT_EQ(widths, (std::set<int>{2, 3}));
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
}

// The lower panel's question on the file table: the files of one entry as a
// scope on DIRNUMM (8-digit number, then the number followed by 0xFF), counted
// from the order positions of its first and last entry.
TEST(NsxFixture, ScopeCountsOfEveryEntryNumber) {
    const fs::path cat = qvtest::xbaseFixtures() / "catalog";
    const ExpectedTable t = nsxtest::loadExpected(cat / "expected" / "_qvdir.json");
    auto file = xb::NsxFile::open((cat / "_qvdir.nsx").string(), xb::NsxFile::Mode::ReadOnly);
    xb::NsxTag& tag = *file->findTag("dirnumm");
    std::map<std::string, std::uint64_t> perNumber;
    for (const auto& [pos, e] : t.tags[0].keys)
        ++perNumber[e.key.substr(0, 8)];
    perNumber["       0"] = 0;  // below every entry
    perNumber["99999998"] = 0;  // between the last entry and the released files
    xb::NsxCursor first(tag), last(tag);
    for (const auto& [num, expect] : perNumber) {
        SCOPED_TRACE(num);
        first.seek(num);
        const bool inRange = first.valid() && std::string(first.key()).compare(0, 8, num) == 0;
        const std::uint64_t p1 = inRange ? first.position() : 0;
        std::uint64_t n = 0;
        if (p1 != 0) {
            ASSERT_TRUE(last.seekLast(num + "\xFF"));
            n = last.position() - p1 + 1;
            EXPECT_EQ(std::string(last.key()).compare(0, 8, num), 0);
        }
        EXPECT_EQ(n, expect);
        // The same from the ranks alone.
        EXPECT_EQ(tag.countUpToPrefix(num + "\xFF") - tag.countBelowPrefix(num), expect);
    }
}
