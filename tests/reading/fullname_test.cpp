// Full names in the file records' memos: which records get one, that they
// follow their records through re-reading, release, reuse, pack and the
// reorganisation, and that the memo file stays readable by a reader that
// knows only the file format (blocks of 64 bytes after a 512-byte header,
// ten binary bytes per reference: type, length, first block).
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "catalogue/qvdb.h"
#include "namesearch/core/filetableimage.h"
#include "reading/core/carrierreading.h"
#include "readingtestutil.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/table.h"

using qv::CatalogueTable;
namespace fs = std::filesystem;

namespace {

struct Memo {
    std::string name;  // DIRNAME, trimmed (Windows-1252)
    bool released = false;
    bool has = false;
    std::string text;
};

// Every file record's memo, read straight from the files: DBF records and
// SMT blocks, as the format describes them. Also checks that no two memos
// share a block and that all lie below the header's next free block.
std::map<std::uint32_t, Memo> memosOnDisk(const fs::path& dir) {
    std::ifstream dbf(dir / "_qvdir.dbf", std::ios::binary);
    std::ifstream smt(dir / "_qvdir.smt", std::ios::binary);
    std::vector<char> head(32);
    dbf.read(head.data(), 32);
    const auto* h = reinterpret_cast<const std::uint8_t*>(head.data());
    const std::uint32_t headerLength = xb::getU16LE(h + 8);
    const std::uint32_t recordLength = xb::getU16LE(h + 10);
    // Field offsets from the descriptors.
    std::map<std::string, std::pair<int, int>> fields;
    int offset = 1;
    for (std::uint32_t at = 32; at + 32 < headerLength; at += 32) {
        char d[32];
        dbf.seekg(at);
        dbf.read(d, 32);
        if (d[0] == 0x0D) break;
        const int width = static_cast<unsigned char>(d[16]);
        fields[std::string(d, strnlen(d, 11))] = {offset, width};
        offset += width;
    }
    char sh[8];
    smt.read(sh, 8);
    const std::uint32_t nextFree = xb::getU32LE(reinterpret_cast<std::uint8_t*>(sh));
    const std::uint32_t blockSize = xb::getU32LE(reinterpret_cast<std::uint8_t*>(sh + 4));
    EXPECT_EQ(blockSize, 64u);
    std::map<std::uint32_t, Memo> out;
    std::vector<bool> used(nextFree, false);
    dbf.seekg(0, std::ios::end);
    const auto count = (static_cast<std::uint64_t>(dbf.tellg()) - headerLength) / recordLength;
    std::vector<char> rec(recordLength);
    for (std::uint32_t r = 1; r <= count; ++r) {
        dbf.seekg(headerLength + std::uint64_t{r - 1} * recordLength);
        dbf.read(rec.data(), recordLength);
        Memo m;
        const auto [no, nw] = fields.at("DIRNAME");
        m.name.assign(rec.data() + no, nw);
        while (!m.name.empty() && m.name.back() == ' ')
            m.name.pop_back();
        const auto [numo, numw] = fields.at("DIRNUMM");
        m.released = std::string(rec.data() + numo, numw) == "99999999";
        const auto* ref =
            reinterpret_cast<const std::uint8_t*>(rec.data() + fields.at("DIRMEMO").first);
        if (!(ref[0] == ' ' && ref[1] == ' ')) {
            const std::uint32_t length = xb::getU32LE(ref + 2);
            const std::uint32_t block = xb::getU32LE(ref + 6);
            if (block != 0 && length > 0) {
                EXPECT_EQ(xb::getU16LE(ref), 1u) << "record " << r;
                const std::uint32_t blocks = (length + 63) / 64;
                EXPECT_LE(block + blocks, nextFree) << "record " << r;
                for (std::uint32_t b = block; b < block + blocks && b < nextFree; ++b) {
                    EXPECT_FALSE(used[b]) << "block " << b << " shared, record " << r;
                    used[b] = true;
                }
                m.has = true;
                m.text.resize(length);
                smt.seekg(std::uint64_t{block} * 64);
                smt.read(m.text.data(), length);
            }
        }
        out[r] = m;
    }
    return out;
}

// The memo text of the file named `name` (Windows-1252 DIRNAME, as cut).
const Memo* memoOf(const std::map<std::uint32_t, Memo>& memos, const std::string& name) {
    for (const auto& [r, m] : memos)
        if (!m.released && m.name == name) return &m;
    return nullptr;
}

class FullNames : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(deep);
        rt::makeFile(volume / "Steuererklärung 2023 endgültig.pdf", 10);
        rt::makeFile(deep / "Urlaub am Meer.jpg", 20);
        rt::makeFile(volume / "Ελλάδα.txt", 30);
        rt::makeFile(volume / "kurz.txt", 40);
    }
    qv::ReadingResult read(int n, const fs::path& root) {
        qv::ReadingOptions o;
        o.definedExtensionsOnly = false;
        return qv::readCarrier(cat.session(), n, QString::fromStdString(root.string()), o,
                               progress);
    }
    std::string deepDirs() const {
        return "/Fotos/2019 Sommer/Italien und Griechenland/Tag 01 bis 07/Strand/Abend/"
               "bearbeitet/Auswahl/fertig/";
    }

    qvtest::TempDir tmp;
    fs::path volume = tmp / "vol";
    fs::path deep = volume / "Fotos" / "2019 Sommer" / "Italien und Griechenland" /
                    "Tag 01 bis 07" / "Strand" / "Abend" / "bearbeitet" / "Auswahl" / "fertig";
    rt::Catalogue cat{tmp / "cat"};
    rt::RecordingProgress progress;
};

}  // namespace

TEST_F(FullNames, CutAndReplacedNamesKeepTheirFullPathThroughReReading) {
    ASSERT_EQ(read(1, volume).stored, 4);
    auto check = [&] {
        const auto memos = memosOnDisk(cat.dir);
        const Memo* tax = memoOf(memos, xb::utf8ToCp1252("Steuererklärung"));
        ASSERT_NE(tax, nullptr);
        ASSERT_TRUE(tax->has);
        EXPECT_EQ(tax->text, "/ Steuererklärung 2023 endgültig.pdf");  // UTF-8
        const Memo* photo = memoOf(memos, "Urlaub am Meer.");
        ASSERT_NE(photo, nullptr);
        EXPECT_EQ(photo->text, deepDirs() + " Urlaub am Meer.jpg");
        const Memo* greek = memoOf(memos, "??????.txt");
        ASSERT_NE(greek, nullptr);
        EXPECT_EQ(greek->text, "/ Ελλάδα.txt");
        const Memo* plain = memoOf(memos, "kurz.txt");
        ASSERT_NE(plain, nullptr);
        EXPECT_FALSE(plain->has);
    };
    check();
    const auto smtSize = fs::file_size(cat.dir / "_qvdir.smt");

    // The same carrier again: the new list is stored beside the old one (a
    // reading is all or nothing), then the old records are released with
    // their memos.
    const qv::ReadingResult again = read(1, volume);
    EXPECT_EQ(again.reused, 0);
    check();
    EXPECT_GE(fs::file_size(cat.dir / "_qvdir.smt"), smtSize);
    const auto smtAfterSecond = fs::file_size(cat.dir / "_qvdir.smt");
    // A third reading reuses those records; the memo file does not grow by
    // another whole list.
    const qv::ReadingResult third = read(1, volume);
    EXPECT_EQ(third.reused, 4);
    check();
    EXPECT_LE(fs::file_size(cat.dir / "_qvdir.smt"), smtAfterSecond + (smtAfterSecond - smtSize));

    // The search's reader gives the same full paths.
    qv::FileTableImage image(cat.dir.string());
    std::vector<std::string> paths;
    for (std::uint32_t r = 1; r <= image.recordCount(); ++r)
        paths.push_back(image.fullPathOf(r));
    EXPECT_NE(std::find(paths.begin(), paths.end(), deepDirs() + " Urlaub am Meer.jpg"),
              paths.end());
    EXPECT_NE(std::find(paths.begin(), paths.end(), "/ kurz.txt"), paths.end());

    cat.closeAll();
    EXPECT_EQ(rt::indexFaults(cat.dir), std::vector<std::string>{});
    std::ostringstream out, err;
    EXPECT_EQ(qvdb::check(cat.dir.string(), out, err), 0) << out.str() << err.str();
}

TEST_F(FullNames, ReleasedAndReusedRecordsCarryNoStaleMemo) {
    ASSERT_EQ(read(1, volume).stored, 4);
    EXPECT_EQ(qv::releaseFileRecords(cat.session(), 1), 4);
    for (const auto& [r, m] : memosOnDisk(cat.dir))
        EXPECT_FALSE(m.has) << "record " << r << " released with its memo";

    // Another carrier of short names takes the released records.
    const fs::path other = tmp / "other";
    fs::create_directories(other);
    for (const char* n : {"a.txt", "b.txt", "c.txt"})
        rt::makeFile(other / n, 1);
    EXPECT_EQ(read(2, other).reused, 3);
    // And a long name into the last released one, then that record again
    // for a short name.
    rt::makeFile(other / "ein sehr langer Dateiname.txt", 1);
    read(3, other);
    ASSERT_EQ(qv::releaseFileRecords(cat.session(), 3), 4);
    read(2, other);
    const auto memos = memosOnDisk(cat.dir);
    int withMemo = 0;
    for (const auto& [r, m] : memos) {
        if (!m.has) continue;
        ++withMemo;
        EXPECT_FALSE(m.released);
        EXPECT_EQ(m.text, "/ ein sehr langer Dateiname.txt");
    }
    EXPECT_EQ(withMemo, 1);
}

TEST_F(FullNames, PackAndReorganisationKeepMemosWithTheirRecords) {
    ASSERT_EQ(read(1, volume).stored, 4);
    // A flagged record ahead of the others makes the pack move them all.
    {
        xb::Table& t = *cat.session().table(CatalogueTable::Files).engine();
        t.go(1);
        t.deleteRecord();
        t.commitRecord();
    }
    std::map<std::string, std::string> before;
    for (const auto& [r, m] : memosOnDisk(cat.dir))
        if (r != 1) before[m.name] = m.text;
    cat.closeAll();
    std::ostringstream out, err;
    ASSERT_EQ(qvdb::reorg(cat.dir.string(), out, err), 0) << err.str();
    const auto after = memosOnDisk(cat.dir);
    ASSERT_EQ(after.size(), 3u);
    for (const auto& [r, m] : after)
        EXPECT_EQ(m.text, before.at(m.name)) << m.name;
    EXPECT_EQ(qvdb::check(cat.dir.string(), out, err), 0) << out.str() << err.str();
}
