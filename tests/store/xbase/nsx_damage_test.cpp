// Damaged index files: a clear qv::Error naming the file (and the page),
// findings from the checker, never a crash or a hang.

#include <functional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "nsx_testkit.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_build.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A file with one 26-byte tag deep enough to have branches over leaves.
struct Sample {
    qvtest::TempDir dir;
    std::string path = (dir / "_qvdir.nsx").string();
    std::uint32_t header = 0, root = 0, leaf = 0, branchChild = 0;

    Sample() {
        auto f = xb::NsxFile::create(path);
        xb::NsxTagDef s;
        s.name = "namealle";
        s.keyExpr = "upper(dirname)";
        s.keyLen = 26;
        xb::NsxKeyBatch b(26, 0x20);
        for (std::uint32_t r = 1; r <= 20000; ++r)
            b.add("DATEI" + std::to_string(r * 7 % 20011), r);
        xb::NsxTag& t = f->buildTag(s, b, 20000);
        header = t.headerAddr();
        root = t.rootAddr();
        branchChild = xb::nsx::BranchView{t.treePage(root).data(), 26}.lower();
        std::uint32_t a = root;
        for (;;) {
            xb::nsx::PageRef q = t.treePage(a);
            if (xb::nsx::isLeafType(q.data()[0])) break;
            a = xb::nsx::BranchView{q.data(), 26}.child(xb::getU16LE(q.data() + 2));
        }
        leaf = a;  // the last leaf
        f->close();
    }
    void patch(const std::function<void(Bytes&)>& fn) {
        Bytes b = qvtest::readFile(path);
        fn(b);
        qvtest::writeFile(path, b);
    }
};

// Runs every reader path; returns the error it raised, if any.
std::string readAll(const std::string& path, std::int64_t* page = nullptr) {
    try {
        auto f = xb::NsxFile::open(path, xb::NsxFile::Mode::ReadOnly);
        for (int i = 0; i < f->tagCount(); ++i) {
            xb::NsxTag& t = f->tag(i);
            t.entries();
            xb::NsxCursor c(t);
            for (bool ok = c.last(); ok; ok = c.prev()) {
            }
            c.seek("DATEI5");
            t.count();
            c.gotoPosition(t.count() / 2);
        }
        return "";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt) << e.text();
        EXPECT_NE(e.text().find(path), std::string::npos) << e.text();
        EXPECT_EQ(e.file(), path);
        if (page) *page = e.page();
        return e.text();
    }
}

std::vector<std::string> verifyFile(const std::string& path) {
    try {
        return xb::NsxFile::open(path, xb::NsxFile::Mode::ReadOnly)->verify();
    } catch (const qv::Error& e) {
        return {e.text()};
    }
}

}  // namespace

TEST(NsxDamage, SoundSampleReadsCleanly) {
    Sample s;
    EXPECT_EQ(readAll(s.path), "");
    EXPECT_EQ(nsxtest::joinFaults(verifyFile(s.path)), "");
}

TEST(NsxDamage, HeaderFaultsStopTheOpen) {
    struct Case {
        const char* what;
        std::function<void(Bytes&, const Sample&)> poke;
        const char* text;
    } cases[] = {
        {"signature", [](Bytes& b, const Sample&) { b[0] = 'x'; }, "falsche Kennung"},
        {"root flags", [](Bytes& b, const Sample&) { b[1] = 1; }, "Kennzeichen"},
        {"tag count", [](Bytes& b, const Sample&) { xb::putU16LE(b.data() + 2, 51); }, "Anzahl"},
        {"tag address 0", [](Bytes& b, const Sample&) { xb::putU32LE(b.data() + 14 + 12, 0); },
         "keine Kopfseite"},
        {"tag without name", [](Bytes& b, const Sample&) { b[14] = 0; }, "keinen Namen"},
        {"tag header signature", [](Bytes& b, const Sample& s) { b[s.header] = 0; },
         "falsche Kennung"},
        {"key type",
         [](Bytes& b, const Sample& s) { xb::putU16LE(b.data() + s.header + 6, 0x1234); },
         "Schlüsseltyp"},
        {"key length",
         [](Bytes& b, const Sample& s) { xb::putU16LE(b.data() + s.header + 8, 251); },
         "Schlüssellänge"},
        {"unique flag",
         [](Bytes& b, const Sample& s) { xb::putU16LE(b.data() + s.header + 10, 2); },
         "Kennzeichen"},
        {"root address 0",
         [](Bytes& b, const Sample& s) { xb::putU32LE(b.data() + s.header + 2, 0); },
         "Wurzelseite"},
        {"truncated", [](Bytes& b, const Sample&) { b.resize(500); }, "kürzer"},
    };
    for (const Case& c : cases) {
        Sample s;
        s.patch([&](Bytes& b) { c.poke(b, s); });
        try {
            xb::NsxFile::open(s.path, xb::NsxFile::Mode::ReadOnly);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt) << c.what;
            EXPECT_NE(e.text().find("Die Indexdatei " + s.path + " ist beschädigt"),
                      std::string::npos)
                << e.text();
            EXPECT_NE(e.text().find(c.text), std::string::npos) << c.what << ": " << e.text();
        }
    }
}

TEST(NsxDamage, PageFaultsNamePageAndFile) {
    struct Case {
        const char* what;
        std::function<void(Bytes&, const Sample&)> poke;
        bool pageKnown;  // the error names the damaged page
    } cases[] = {
        {"bad page type", [](Bytes& b, const Sample& s) { b[s.leaf] = 7; }, true},
        {"key count beyond MaxKeys",
         [](Bytes& b, const Sample& s) { xb::putU16LE(b.data() + s.root + 2, 40); }, true},
        {"used area beyond 1024",
         [](Bytes& b, const Sample& s) { xb::putU16LE(b.data() + s.leaf + 4, 1030); }, true},
        {"entries beyond the used area",
         [](Bytes& b, const Sample& s) { xb::putU16LE(b.data() + s.leaf + 4, 12); }, true},
        {"child pointer 0",
         [](Bytes& b, const Sample& s) { xb::putU32LE(b.data() + s.root + 4, 0); }, false},
        {"child past the end",
         [](Bytes& b, const Sample& s) { xb::putU32LE(b.data() + s.root + 4, 0x7FFFFC00); }, false},
        {"child not a multiple of 1024",
         [](Bytes& b, const Sample& s) { xb::putU32LE(b.data() + s.root + 4, 1500); }, false},
        {"cycle to the root",
         [](Bytes& b, const Sample& s) { xb::putU32LE(b.data() + s.branchChild + 4, s.root); },
         false},
        {"empty non-root leaf",
         [](Bytes& b, const Sample& s) {
             xb::putU16LE(b.data() + s.leaf + 2, 0);
             xb::putU16LE(b.data() + s.leaf + 4, 6);
         },
         true},
        {"child pointing at the tag header",
         [](Bytes& b, const Sample& s) { xb::putU32LE(b.data() + s.root + 4, s.header); }, true},
    };
    for (const Case& c : cases) {
        Sample s;
        s.patch([&](Bytes& b) { c.poke(b, s); });
        std::int64_t page = -1;
        const std::string err = readAll(s.path, &page);
        EXPECT_NE(err, "") << c.what;
        if (c.pageKnown) {
            EXPECT_GT(page, 0) << c.what << ": " << err;
            EXPECT_NE(err.find("Seite " + std::to_string(page)), std::string::npos) << err;
        }
        const std::vector<std::string> faults = verifyFile(s.path);
        EXPECT_FALSE(faults.empty()) << c.what;
    }
}

TEST(NsxDamage, CheckerFindsWhatReadersTolerate) {
    struct Case {
        const char* what;
        std::function<void(Bytes&, const Sample&)> poke;
        const char* fault;
    } cases[] = {
        {"file size field too small",
         [](Bytes& b, const Sample&) { xb::putU32LE(b.data() + 10, 2048); }, "Dateigröße"},
        {"order", [](Bytes& b, const Sample& s) { b[s.root + 8 + 8] = 0x01; }, "Sortierfolge"},
        {"root flag inside", [](Bytes& b, const Sample& s) { b[s.leaf] = 3; }, "Wurzelkennzeichen"},
        {"free list into a tree",
         [](Bytes& b, const Sample& s) { xb::putU32LE(b.data() + 6, s.leaf); }, "Seite"},
        {"orphan page",
         [](Bytes& b, const Sample&) {
             b.resize(b.size() + 1024, 0);
             xb::putU32LE(b.data() + 10, static_cast<std::uint32_t>(b.size()));
         },
         "gehört zu keinem Tag"},
        {"record number 0",
         [](Bytes& b, const Sample& s) { xb::putU32LE(b.data() + s.root + 8 + 4, 0); },
         "Satznummer 0"},
    };
    for (const Case& c : cases) {
        Sample s;
        s.patch([&](Bytes& b) { c.poke(b, s); });
        const std::string faults = nsxtest::joinFaults(verifyFile(s.path));
        EXPECT_NE(faults.find(c.fault), std::string::npos) << c.what << ":\n" << faults;
    }
}

// Random byte damage anywhere in the file: errors are fine, crashes are not.
TEST(NsxDamage, RandomDamageNeverCrashes) {
    Sample s;
    const Bytes good = qvtest::readFile(s.path);
    std::mt19937_64 rng(qvtest::testSeed() + 3);
    for (int round = 0; round < 300; ++round) {
        Bytes b = good;
        const int hits = 1 + static_cast<int>(rng() % 8);
        for (int h = 0; h < hits; ++h) {
            // Mostly headers of pages, where damage matters most.
            const std::size_t page = rng() % (b.size() / 1024);
            const std::size_t off = page * 1024 + (rng() % 2 ? rng() % 16 : rng() % 1024);
            b[off] = static_cast<std::uint8_t>(rng());
        }
        qvtest::writeFile(s.path, b);
        readAll(s.path);
        verifyFile(s.path);
    }
}

// Two tags of different key lengths whose trees meet in one page: each tag
// reads the page in its own key format, whichever searched it first.
TEST(NsxDamage, TagsSharingAPageReadItInTheirOwnFormat) {
    qvtest::TempDir dir;
    const std::string path = (dir / "shared.nsx").string();
    std::uint32_t shortRoot = 0, longHeader = 0;
    const int n = 60;  // one root leaf, several restart points
    auto keyOf = [](std::uint32_t r) { return "K" + std::to_string(100 + r * 37 % 900); };
    {
        auto f = xb::NsxFile::create(path);
        xb::NsxTagDef shortDef;
        shortDef.name = "kurz";
        shortDef.keyExpr = "kurz";
        shortDef.keyLen = 4;
        xb::NsxKeyBatch a(4, 0x20);
        for (std::uint32_t r = 1; r <= n; ++r)
            a.add(keyOf(r), r);
        shortRoot = f->buildTag(shortDef, a, n).rootAddr();
        xb::NsxTagDef longDef;
        longDef.name = "lang";
        longDef.keyExpr = "lang";
        longDef.keyLen = 40;
        xb::NsxKeyBatch b(40, 0x20);
        b.add("Z", 1);
        longHeader = f->buildTag(longDef, b, 1).headerAddr();
        f->close();
    }
    Bytes bytes = qvtest::readFile(path);
    xb::putU32LE(bytes.data() + longHeader + 2, shortRoot);
    qvtest::writeFile(path, bytes);

    auto f = xb::NsxFile::open(path, xb::NsxFile::Mode::ReadOnly);
    xb::NsxCursor shortCursor(f->tag(0)), longCursor(f->tag(1));
    for (std::uint32_t r = 1; r <= n; ++r) {
        SCOPED_TRACE(keyOf(r));
        ASSERT_TRUE(shortCursor.seek(keyOf(r)));
        ASSERT_TRUE(longCursor.seek(keyOf(r)));
        EXPECT_EQ(longCursor.recno(), shortCursor.recno());
        EXPECT_EQ(longCursor.key().size(), 40u);
    }
}
