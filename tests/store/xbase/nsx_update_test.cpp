// Changing existing index files: fixture copies, tag management, the free
// page list, the root header fields, read-only mode and the crash marker.

#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/xbase/error.h"

namespace fs = std::filesystem;

namespace {

xb::NsxTagDef def(const std::string& name, int keyLen, const std::string& forExpr = "") {
    xb::NsxTagDef s;
    s.name = name;
    s.keyExpr = "upper(" + name + ")";
    s.forExpr = forExpr;
    s.keyLen = keyLen;
    return s;
}

}  // namespace

// Copies of the fixtures take inserts and deletes in every tag and stay in
// the recorded order, readable after reopening.
TEST(NsxUpdate, FixtureCopiesTakeChanges) {
    std::mt19937_64 rng(qvtest::testSeed() + 4);
    for (const char* table : {"_qvdir", "_qvdisk", "_verleih"}) {
        SCOPED_TRACE(table);
        qvtest::TempDir dir;
        const fs::path src = qvtest::xbaseFixtures() / "catalog";
        fs::copy_file(src / (std::string(table) + ".nsx"), dir / (std::string(table) + ".nsx"));
        fs::permissions(dir / (std::string(table) + ".nsx"), fs::perms::owner_write,
                        fs::perm_options::add);
        const nsxtest::ExpectedTable t =
            nsxtest::loadExpected(src / "expected" / (std::string(table) + ".json"));
        const std::string path = (dir / (std::string(table) + ".nsx")).string();
        auto file = xb::NsxFile::open(path);
        std::vector<nsxtest::Model> models(t.tags.size());
        for (std::size_t i = 0; i < t.tags.size(); ++i) {
            xb::NsxTag& tag = file->tag(static_cast<int>(i));
            nsxtest::Model& m = models[i];
            for (const auto& [pos, e] : t.tags[i].keys)
                m.insert({e.key, e.recno});
            // Deletes of recorded entries, inserts of copies with new numbers
            // (some beyond 65,535 to widen leaves).
            std::vector<std::pair<std::string, std::uint32_t>> all(m.begin(), m.end());
            for (int k = 0; k < 400 && !all.empty(); ++k) {
                const std::size_t j = rng() % all.size();
                if (k % 3 == 0) {
                    const auto e = all[j];
                    all[j] = all.back();
                    all.pop_back();
                    if (!m.count(e)) continue;
                    ASSERT_TRUE(tag.remove(e.first, e.second));
                    m.erase(e);
                } else {
                    const std::uint32_t r = 1000 + static_cast<std::uint32_t>(k) * 997;
                    ASSERT_TRUE(tag.insert(all[j].first, r));
                    m.insert({all[j].first, r});
                }
            }
            EXPECT_FALSE(tag.remove(tag.makeKey("GIBT ES NICHT"), 4));
        }
        file->flush();
        EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
        file->close();
        file = xb::NsxFile::open(path);
        EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
        for (std::size_t i = 0; i < models.size(); ++i)
            nsxtest::expectTagEquals(file->tag(static_cast<int>(i)), models[i], t.tags[i].name);
    }
}

TEST(NsxUpdate, TagsAreAddedFoundRecreatedAndRemoved) {
    qvtest::TempDir dir;
    const std::string path = (dir / "t.nsx").string();
    auto file = xb::NsxFile::create(path);
    EXPECT_EQ(file->fileSizeField(), 1024u);
    EXPECT_EQ(file->freeHead(), xb::nsx::kNoPage);
    xb::NsxTag& a = file->addTag(def("kategotag", 20, "not deleted()"));
    EXPECT_EQ(a.name(), "KATEGOTAG");
    EXPECT_EQ(a.forExpr(), "not deleted()");  // stored as handed over
    EXPECT_EQ(a.headerAddr(), 1024u);
    EXPECT_EQ(a.rootAddr(), 2048u);
    file->addTag(def("zwei", 10));
    file->addTag(def("drei", 30));
    EXPECT_EQ(file->findTag("Zwei"), &file->tag(1));
    EXPECT_EQ(file->tagIndex("DREI"), 2);
    EXPECT_EQ(file->findTag("vier"), nullptr);
    for (std::uint32_t r = 1; r <= 500; ++r)
        file->tag(1).insert("W" + std::to_string(r), r);

    // Removing the middle tag frees its pages; the next tag takes them back,
    // last freed first.
    const std::uint32_t header2 = file->tag(1).headerAddr();
    file->removeTag("zwei");
    EXPECT_EQ(file->tagCount(), 2);
    EXPECT_EQ(file->tag(1).name(), "DREI");
    EXPECT_EQ(file->freeHead(), header2);
    const std::uint32_t size = file->fileSizeField();
    xb::NsxTag& v = file->addTag(def("vier", 12));
    EXPECT_EQ(v.headerAddr(), header2);
    EXPECT_EQ(file->fileSizeField(), size);
    EXPECT_EQ(file->tagIndex("vier"), 2);

    // Re-creating keeps header page and position and empties the tag.
    file->tag(0).insert("X", 1);
    const std::uint32_t header0 = file->tag(0).headerAddr();
    xb::NsxTag& again = file->addTag(def("KategoTag", 25));
    EXPECT_EQ(file->tagIndex("kategotag"), 0);
    EXPECT_EQ(again.headerAddr(), header0);
    EXPECT_EQ(again.keyLen(), 25);
    EXPECT_EQ(again.count(), 0u);
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");

    file->close();
    file = xb::NsxFile::open(path);
    ASSERT_EQ(file->tagCount(), 3);
    EXPECT_EQ(file->tag(0).keyLen(), 25);
    EXPECT_EQ(file->tag(2).name(), "VIER");
    EXPECT_EQ(file->tag(0).forExpr(), "");
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
    EXPECT_THROW(file->removeTag("nichtda"), qv::Error);
}

TEST(NsxUpdate, RejectsUnusableDefinitions) {
    qvtest::TempDir dir;
    auto file = xb::NsxFile::create((dir / "d.nsx").string());
    auto bad = [&](xb::NsxTagDef s) {
        try {
            file->addTag(s);
            return false;
        } catch (const qv::Error& e) {
            return e.code() == qv::ErrorCode::InvalidArgument;
        }
    };
    EXPECT_TRUE(bad(def("", 10)));
    EXPECT_TRUE(bad(def("zwoelfzeichen", 10)));
    EXPECT_TRUE(bad(def(" blank", 10)));
    EXPECT_TRUE(bad(def("null", 0)));
    EXPECT_TRUE(bad(def("lang", 251)));
    xb::NsxTagDef n = def("zahl", 10);
    n.keyType = xb::NsxKeyType::Numeric;
    EXPECT_TRUE(bad(n));
    xb::NsxTagDef e = def("leer", 10);
    e.keyExpr.clear();
    EXPECT_TRUE(bad(e));
    xb::NsxTagDef f = def("for", 10, std::string(256, 'x'));
    EXPECT_TRUE(bad(f));
    for (int i = 0; i < 50; ++i)
        file->addTag(def("t" + std::to_string(i), 5));
    EXPECT_TRUE(bad(def("t50", 5)));
    EXPECT_NO_THROW(file->addTag(def("t7", 6)));  // re-creating one is still possible
    EXPECT_EQ(file->tagCount(), 50);
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
}

TEST(NsxUpdate, RootHeaderFollowsTheChanges) {
    qvtest::TempDir dir;
    const std::string path = (dir / "h.nsx").string();
    auto file = xb::NsxFile::create(path);
    xb::NsxTag& t = file->addTag(def("a", 26));
    file->flush();
    const std::uint16_t v1 = file->version();
    for (std::uint32_t r = 1; r <= 2000; ++r)
        t.insert("K" + std::to_string(r), r);
    file->flush();
    EXPECT_NE(file->version(), v1);  // pages were allocated: the header was rewritten
    // Nothing changed: flush writes nothing.
    const auto before = qvtest::readFile(path);
    file->flush();
    EXPECT_EQ(qvtest::readFile(path), before);
    // The file-size field covers every page; the file is exactly that long.
    EXPECT_EQ(before.size(), file->fileSizeField());
    EXPECT_EQ(xb::getU32LE(before.data() + 10), file->fileSizeField());
    // Deleting everything frees all pages but the root leaf.
    for (std::uint32_t r = 1; r <= 2000; ++r)
        ASSERT_TRUE(t.remove("K" + std::to_string(r), r));
    EXPECT_EQ(t.count(), 0u);
    EXPECT_EQ(t.depth(), 1);
    EXPECT_NE(file->freeHead(), xb::nsx::kNoPage);
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
    file->clear();
    EXPECT_EQ(file->tagCount(), 0);
    file->close();
    EXPECT_EQ(fs::file_size(path), 1024u);
    file = xb::NsxFile::open(path);
    EXPECT_EQ(file->tagCount(), 0);
    EXPECT_EQ(nsxtest::joinFaults(file->verify()), "");
}

TEST(NsxUpdate, ReadOnlyFilesRefuseChanges) {
    qvtest::TempDir dir;
    const std::string path = (dir / "r.nsx").string();
    {
        auto file = xb::NsxFile::create(path);
        file->addTag(def("a", 10)).insert("A", 1);
    }
    auto file = xb::NsxFile::open(path, xb::NsxFile::Mode::ReadOnly);
    EXPECT_TRUE(file->readOnly());
    const auto expectState = [](const std::function<void()>& fn) {
        try {
            fn();
            ADD_FAILURE() << "no error";
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::State);
        }
    };
    expectState([&] { file->tag(0).insert("B", 2); });
    expectState([&] { file->tag(0).remove("A", 1); });
    expectState([&] { file->addTag(def("b", 5)); });
    EXPECT_EQ(file->tag(0).count(), 1u);
    try {
        xb::NsxFile::open((dir / "fehlt.nsx").string());
        ADD_FAILURE();
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::NotFound);
        EXPECT_NE(e.text().find("fehlt.nsx"), std::string::npos);
    }
}

// A change that was flushed but never closed leaves the marker: the next
// open reports it, the file is still readable, and a clean close clears it.
TEST(NsxUpdate, CrashMarkerReportsAnInterruptedSession) {
    qvtest::TempDir dir;
    const std::string path = (dir / "m.nsx").string();
    {
        auto file = xb::NsxFile::create(path);
        file->addTag(def("a", 10));
    }
    EXPECT_FALSE(xb::NsxFile::open(path)->wasInterrupted());
    const auto clean = qvtest::readFile(path);
    EXPECT_EQ(qvtest::toHex(clean.data() + 1016, 8), "0000000000000000");
    {
        auto file = xb::NsxFile::open(path);
        for (std::uint32_t r = 1; r <= 100; ++r)
            file->tag(0).insert("K" + std::to_string(r), r);
        file->flush();
        // Simulate the kill: copy the file as it is now.
        fs::copy_file(path, dir / "killed.nsx");
    }
    const auto killed = qvtest::readFile(dir / "killed.nsx");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(killed.data() + 1016), 8), "QVDIRTY!");
    auto file = xb::NsxFile::open((dir / "killed.nsx").string());
    EXPECT_TRUE(file->wasInterrupted());
    EXPECT_EQ(file->tag(0).count(), 100u);
    // The caller rebuilds; the clean close clears the marker.
    file->clear();
    file->addTag(def("a", 10));
    file->close();
    EXPECT_FALSE(xb::NsxFile::open((dir / "killed.nsx").string())->wasInterrupted());
    EXPECT_FALSE(xb::NsxFile::open(path)->wasInterrupted());
}

// A change that fails half-way on a damaged page leaves the marker in place,
// and an open that changes nothing leaves a found marker alone.
TEST(NsxUpdate, FailedChangeKeepsTheCrashMarker) {
    qvtest::TempDir dir;
    const std::string path = (dir / "f.nsx").string();
    std::uint32_t leaf = 0;
    {
        auto file = xb::NsxFile::create(path);
        xb::NsxTag& t = file->addTag(def("a", 26));
        for (std::uint32_t r = 1; r <= 3000; ++r)
            t.insert("K" + std::to_string(r), r);
        leaf = xb::nsx::BranchView{t.treePage(t.rootAddr()).data(), 26}.lower();
    }
    auto bytes = qvtest::readFile(path);
    bytes[leaf] = 9;  // not a page type
    qvtest::writeFile(path, bytes);
    {
        auto file = xb::NsxFile::open(path);
        EXPECT_THROW(file->tag(0).insert("K1", 9999), qv::Error);
        file->close();
    }
    auto again = xb::NsxFile::open(path);
    EXPECT_TRUE(again->wasInterrupted());
    again->close();
    EXPECT_TRUE(xb::NsxFile::open(path)->wasInterrupted());
}
