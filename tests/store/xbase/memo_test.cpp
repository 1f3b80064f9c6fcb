// Memo files: the SMT free space, the reference forms, non-text values,
// large texts, and the read-only DBT and FPT formats.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/smt_file.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_check.h"
#include "support/testutil.h"
#include "xbase_test_util.h"

namespace {

using xb::MemoExtent;
using xb::SmtFile;

// An SMT file in memory whose next free block is `next`, for free-list tests.
std::unique_ptr<SmtFile> smtWithEnd(xb::MemEnv& env, std::uint32_t next) {
    std::vector<std::uint8_t> bytes = SmtFile::newFileBytes();
    xb::putU32LE(bytes.data(), next);
    bytes.resize(std::size_t{next} * 64, 0);
    env.setFile("m.smt", bytes);
    return std::make_unique<SmtFile>(env.open("m.smt", xb::FileAccess::WriteExclusive), true);
}

TEST(SmtFreeSpace, ReleaseMergesNeighboursAndFoldsBackIntoTheEnd) {
    xb::MemEnv env;
    auto smt = smtWithEnd(env, 40);
    smt->release({10, 2});
    smt->release({20, 3});
    smt->release({12, 1});  // touches 10-11 on the left
    EXPECT_EQ(smt->freeList(), (std::vector<MemoExtent>{{10, 3}, {20, 3}}));
    smt->release({9, 1});  // touches 10-12 on the right
    EXPECT_EQ(smt->freeList(), (std::vector<MemoExtent>{{20, 3}, {9, 4}}));
    smt->release({13, 7});  // bridges 9-12 and 20-22 into one extent
    EXPECT_EQ(smt->freeList(), (std::vector<MemoExtent>{{9, 14}}));
    smt->release({30, 10});  // ends at the next free block: moves it back
    EXPECT_EQ(smt->nextFreeBlock(), 30u);
    smt->release({23, 7});  // now 9 ... 29 is free and reaches the end
    EXPECT_TRUE(smt->freeList().empty());
    EXPECT_EQ(smt->nextFreeBlock(), 9u);
}

TEST(SmtFreeSpace, AllocationTakesTheSmallestExtentThatFits) {
    xb::MemEnv env;
    auto smt = smtWithEnd(env, 100);
    smt->release({10, 5});
    smt->release({20, 2});
    smt->release({30, 8});
    EXPECT_EQ(smt->allocate(3), 10u);  // 2 is too small, 5 fits best
    EXPECT_EQ(smt->freeList(), (std::vector<MemoExtent>{{13, 2}, {20, 2}, {30, 8}}));
    EXPECT_EQ(smt->allocate(2), 13u);   // equal sizes: the lower block first
    EXPECT_EQ(smt->allocate(9), 100u);  // nothing fits: taken at the end
    EXPECT_EQ(smt->nextFreeBlock(), 109u);
    EXPECT_EQ(smt->allocate(0), 0u);
    EXPECT_EQ(smt->freeList(), (std::vector<MemoExtent>{{20, 2}, {30, 8}}));
}

TEST(SmtFreeSpace, NeverListsBlocksTwiceOrOutsideTheDataArea) {
    xb::MemEnv env;
    auto smt = smtWithEnd(env, 50);
    smt->release({20, 4});
    const std::vector<MemoExtent> before = smt->freeList();
    smt->release({22, 4});  // overlaps a free extent
    smt->release({20, 4});  // released twice
    smt->release({3, 2});   // inside the header
    smt->release({48, 5});  // beyond the next free block
    smt->release({60, 1});
    EXPECT_EQ(smt->freeList(), before);
    EXPECT_EQ(smt->nextFreeBlock(), 50u);
}

TEST(SmtFreeSpace, KeepsAtMost82EntriesDroppingTheSmallest) {
    xb::MemEnv env;
    auto smt = smtWithEnd(env, 1000);
    // 83 separate extents of growing size with gaps between them.
    std::uint32_t block = 8;
    for (std::uint32_t i = 1; i <= 83; ++i) {
        smt->release({block, i % 5 + 1});
        block += i % 5 + 2;
    }
    ASSERT_EQ(smt->freeList().size(), SmtFile::kMaxFreeEntries);
    for (std::size_t i = 1; i < smt->freeList().size(); ++i)
        EXPECT_LE(smt->freeList()[i - 1].blocks, smt->freeList()[i].blocks);
    // Sizes run 2,3,4,5,1,...: sixteen extents of size 1 existed, one is gone.
    std::size_t ones = 0;
    for (const MemoExtent& e : smt->freeList())
        ones += e.blocks == 1;
    EXPECT_EQ(ones, 15u);

    // The list survives a header write and a new open unchanged.
    smt->writeHeader();
    const std::vector<MemoExtent> list = smt->freeList();
    smt.reset();
    SmtFile again(env.open("m.smt", xb::FileAccess::ReadShared), false);
    EXPECT_EQ(again.freeList(), list);
    EXPECT_EQ(again.nextFreeBlock(), 1000u);
}

TEST(SmtFreeSpace, WritableOpenRepairsADamagedHeader) {
    xb::MemEnv env;
    std::vector<std::uint8_t> bytes = SmtFile::newFileBytes();
    bytes.resize(20 * 64, 0);
    xb::putU32LE(bytes.data(), 900);                  // far beyond the 20 blocks of the file
    const std::uint8_t list[] = {3, 0, 10, 0, 0, 0,   // 10-12
                                 2, 0, 11, 0, 0, 0,   // overlaps 10-12
                                 1, 0, 2,  0, 0, 0,   // inside the header
                                 2, 0, 18, 0, 0, 0};  // reaches the end: folded back
    bytes[18] = 4;
    std::memcpy(bytes.data() + 20, list, sizeof list);
    env.setFile("m.smt", bytes);
    {
        SmtFile ro(env.open("m.smt", xb::FileAccess::ReadShared), false);
        EXPECT_EQ(ro.nextFreeBlock(), 900u);  // a reader leaves the header alone
        EXPECT_EQ(ro.freeList().size(), 4u);
    }
    SmtFile rw(env.open("m.smt", xb::FileAccess::WriteExclusive), true);
    EXPECT_EQ(rw.nextFreeBlock(), 18u);
    EXPECT_EQ(rw.freeList(), (std::vector<MemoExtent>{{10, 3}}));
}

TEST(SmtFile, DamagedHeadersAreCorrupt) {
    xb::MemEnv env;
    std::vector<std::uint8_t> bytes = SmtFile::newFileBytes();
    xb::putU32LE(bytes.data() + 4, 0);
    env.setFile("zero.smt", bytes);
    env.setFile("short.smt", std::vector<std::uint8_t>(100, 0));
    for (const char* name : {"zero.smt", "short.smt"}) {
        try {
            SmtFile f(env.open(name, xb::FileAccess::ReadShared), false);
            ADD_FAILURE() << name;
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt);
            EXPECT_EQ(e.file(), name);
        }
    }
}

TEST(SmtRef, BothEmptyFormsAndATextReference) {
    const std::uint8_t blanks[10] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_TRUE(xb::SmtRef::decode(blanks).blank);
    const std::uint8_t emptied[10] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const xb::SmtRef e = xb::SmtRef::decode(emptied);
    EXPECT_FALSE(e.blank);
    EXPECT_EQ(e.block, 0u);
    const std::uint8_t hello[10] = {1, 0, 5, 0, 0, 0, 8, 0, 0, 0};
    const xb::SmtRef h = xb::SmtRef::decode(hello);
    EXPECT_EQ(h.type, 1);
    EXPECT_EQ(h.length, 5u);
    EXPECT_EQ(h.block, 8u);
    std::uint8_t out[10];
    h.encode(out);
    EXPECT_EQ(std::memcmp(out, hello, 10), 0);
    xb::SmtRef{}.encode(out);
    EXPECT_EQ(std::memcmp(out, blanks, 10), 0);
}

TEST(MemoValue, DecodesNonTextValues) {
    using T = xb::MemoValue::Type;
    auto dec = [](const std::string& hex) { return xb::decodeMemoValue(qvtest::fromHex(hex)); };
    EXPECT_EQ(dec("022a000000").integer, 42);
    EXPECT_EQ(dec("02f9ffffff").integer, -7);
    const xb::MemoValue num = dec("030d020000000000000a40");
    EXPECT_EQ(num.type, T::Number);
    EXPECT_EQ(num.number, 3.25);
    EXPECT_EQ(num.width, 13);
    EXPECT_EQ(num.decimals, 2);
    EXPECT_EQ(dec("0459682500").jdn, 2451545);
    EXPECT_TRUE(dec("0501").logical);
    EXPECT_FALSE(dec("0500").logical);
    EXPECT_EQ(dec("00").type, T::Nil);
    const xb::MemoValue arr =
        dec("060600"
            "0201000000"
            "0102006162"
            "0501"
            "00"
            "04978a2500"
            "030c01"
            "0000000000000440");
    ASSERT_EQ(arr.type, T::Array);
    ASSERT_EQ(arr.items.size(), 6u);
    EXPECT_EQ(arr.items[0].integer, 1);
    EXPECT_EQ(arr.items[1].bytes, "ab");
    EXPECT_TRUE(arr.items[2].logical);
    EXPECT_EQ(arr.items[3].type, T::Nil);
    EXPECT_EQ(arr.items[4].jdn, xb::dateToJdn(2024, 1, 1));
    EXPECT_EQ(arr.items[5].number, 2.5);
    // Cut short, unknown tags, trailing bytes and absurd counts are Binary.
    for (const char* bad : {"022a00", "09", "0501ff", "06ffff", "0102", "030d02"}) {
        const xb::MemoValue v = dec(bad);
        EXPECT_EQ(v.type, T::Binary) << bad;
        EXPECT_EQ(qvtest::toHex(v.bytes), bad);
    }
    // Deeply nested arrays do not exhaust the stack.
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "060100";
    EXPECT_EQ(dec(deep).type, T::Binary);
}

// ---- memo texts through the table ----------------------------------------------

class MemoTable : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = (dir_ / "memo.dbf").string();
        xbtest::createTable(path_, {{"name", 'C', 10, 0}, {"text", 'M', 10, 0}});
        t_ = xb::Table::open(path_);
    }
    std::vector<std::uint8_t> smtBytes() { return qvtest::readFile(dir_ / "memo.smt"); }
    std::string ref() { return qvtest::toHex(std::string(t_->raw(1))); }
    void reopen() {
        t_.reset();
        t_ = xb::Table::open(path_);
    }

    qvtest::TempDir dir_;
    std::string path_;
    std::unique_ptr<xb::Table> t_;
};

TEST_F(MemoTable, UpdatesAllocateBeforeTheyReleaseAndReuseFreedBlocks) {
    t_->append();
    t_->replaceMemo(1, "Hello");
    EXPECT_EQ(ref(), "20202020202020202020");  // pending until the commit
    EXPECT_EQ(t_->getMemo(1), "Hello");
    t_->commitRecord();
    EXPECT_EQ(ref(), "01000500000008000000");
    EXPECT_EQ(smtBytes().size(), 517u);
    EXPECT_EQ(t_->smtFile()->nextFreeBlock(), 9u);

    // The new text goes to a new block; the old one is freed after the record.
    t_->replaceMemo(1, "Hello world!!");
    t_->commitRecord();
    EXPECT_EQ(ref(), "01000d00000009000000");
    EXPECT_EQ(t_->smtFile()->freeList(), (std::vector<MemoExtent>{{8, 1}}));
    EXPECT_EQ(smtBytes().size(), 9 * 64 + 13u);

    // The next text reuses block 8; block 9 folds back into the end and the
    // file is cut there.
    t_->replaceMemo(1, "abc");
    t_->commitRecord();
    EXPECT_EQ(ref(), "01000300000008000000");
    EXPECT_TRUE(t_->smtFile()->freeList().empty());
    EXPECT_EQ(t_->smtFile()->nextFreeBlock(), 9u);
    EXPECT_EQ(smtBytes().size(), 9 * 64u);
    const auto bytes = smtBytes();
    EXPECT_EQ(qvtest::toHex(bytes.data(), 4), "09000000");

    // Emptied, then never written again.
    t_->replaceMemo(1, "");
    t_->commitRecord();
    EXPECT_EQ(ref(), "01000000000000000000");
    EXPECT_TRUE(t_->memoWritten(1));
    EXPECT_EQ(t_->smtFile()->nextFreeBlock(), 8u);
    t_->replaceBlank(1);
    t_->commitRecord();
    EXPECT_EQ(ref(), "20202020202020202020");
    EXPECT_FALSE(t_->memoWritten(1));
    EXPECT_TRUE(t_->isBlank(1));
}

TEST_F(MemoTable, TextsOfAnyLengthSurviveReopen) {
    std::mt19937 rng(static_cast<unsigned>(qvtest::testSeed()));
    auto textOf = [&rng](std::size_t n) {
        std::string s(n, '\0');
        for (char& c : s)
            c = static_cast<char>(rng());  // every byte value, 0x1A and 0 included
        return s;
    };
    const std::vector<std::size_t> sizes = {1, 63, 64, 65, 65535, 65536, 70000, 150000, 1000000};
    std::vector<std::string> texts;
    for (std::size_t n : sizes) {
        texts.push_back(textOf(n));
        t_->append();
        t_->replaceMemo(1, texts.back());
    }
    t_->commitRecord();
    reopen();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        t_->go(static_cast<std::uint32_t>(i + 1));
        ASSERT_EQ(t_->getMemo(1), texts[i]) << sizes[i];
    }
    // Shrink the largest, grow the smallest; the structure stays sound.
    t_->go(static_cast<std::uint32_t>(texts.size()));
    texts.back() = textOf(10);
    t_->replaceMemo(1, texts.back());
    t_->go(1);
    texts.front() = textOf(300000);
    t_->replaceMemo(1, texts.front());
    t_->commitRecord();
    EXPECT_EQ(xbtest::checkMemoStructure(*t_), "");
    reopen();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        t_->go(static_cast<std::uint32_t>(i + 1));
        ASSERT_EQ(t_->getMemo(1), texts[i]) << i;
    }
}

TEST_F(MemoTable, NonTextValuesAreReadAndCopiedAsTheyAre) {
    t_->append();
    t_->replaceText(0, "zahl");
    t_->commitRecord();
    t_->close();
    // Put an integer value (42) behind record 1 by hand, as another program would.
    auto smt = qvtest::readFile(dir_ / "memo.smt");
    const std::string stored = qvtest::fromHex("022a000000");
    smt.insert(smt.end(), stored.begin(), stored.end());
    xb::putU32LE(smt.data(), 9);
    qvtest::writeFile(dir_ / "memo.smt", smt);
    auto dbf = qvtest::readFile(path_);
    const std::string refBytes = qvtest::fromHex("02000500000008000000");
    std::memcpy(dbf.data() + 98 + 1 + 10, refBytes.data(), 10);
    qvtest::writeFile(path_, dbf);

    t_ = xb::Table::open(path_);
    EXPECT_TRUE(t_->memoWritten(1));
    EXPECT_EQ(t_->getMemo(1), "");
    EXPECT_EQ(t_->memoValue(1).type, xb::MemoValue::Type::Integer);
    EXPECT_EQ(t_->memoValue(1).integer, 42);
    const std::string copy = t_->recordBytes();
    t_->append();
    t_->putRecordBytes(copy);
    EXPECT_EQ(t_->memoValue(1).integer, 42);
    t_->commitRecord();
    EXPECT_EQ(ref(), "02000500000009000000");
    EXPECT_EQ(t_->memoValue(1).integer, 42);
}

TEST_F(MemoTable, ReferencePastTheEndIsCorruptNamingMemoFileAndRecord) {
    t_->append();
    t_->replaceMemo(1, "kurz");
    t_->append();
    t_->replaceMemo(1, "auch kurz");
    t_->close();
    auto dbf = qvtest::readFile(path_);
    const std::string bad = qvtest::fromHex("01000400000000100000");  // block 4096
    std::memcpy(dbf.data() + 98 + 21 + 11, bad.data(), 10);
    qvtest::writeFile(path_, dbf);
    t_ = xb::Table::open(path_, xb::OpenMode::ReadOnly);
    EXPECT_EQ(t_->getMemo(1), "kurz");
    t_->go(2);
    try {
        t_->getMemo(1);
        ADD_FAILURE() << "no error";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt);
        EXPECT_EQ(e.file(), (dir_ / "memo.smt").string());
        EXPECT_EQ(e.record(), 2);
        EXPECT_NE(e.text().find("Satz 2"), std::string::npos) << e.text();
    }
}

// ---- DBT and FPT ------------------------------------------------------------------

// A one-field memo table of the given version with hand-made references.
void writeLegacyTable(const std::string& path, std::uint8_t version, int width,
                      const std::vector<std::string>& refs) {
    std::vector<std::uint8_t> h(32 + 32 + 2, 0);
    h[0] = version;
    xb::putU32LE(h.data() + 4, static_cast<std::uint32_t>(refs.size()));
    xb::putU16LE(h.data() + 8, static_cast<std::uint16_t>(h.size()));
    xb::putU16LE(h.data() + 10, static_cast<std::uint16_t>(1 + width));
    std::memcpy(h.data() + 32, "NOTIZ", 5);
    h[43] = 'M';
    h[48] = static_cast<std::uint8_t>(width);
    h[64] = 0x0D;
    for (const std::string& r : refs) {
        h.push_back(' ');
        h.insert(h.end(), r.begin(), r.end());
    }
    h.push_back(0x1A);
    qvtest::writeFile(path, h);
}

TEST(LegacyMemo, DbtTextsEndAtTheFirstEofByte) {
    qvtest::TempDir dir;
    const std::string path = (dir / "alt.dbf").string();
    writeLegacyTable(path, 0x83, 10,
                     {"         1", "0000000002", "          ", "         0", "        99",
                      "        3 ", "        ab"});
    std::vector<std::uint8_t> dbt(512, 0);
    const std::string first = "erster Text\r\nzweite Zeile";
    const std::string second(600, 'z');  // runs over a block boundary
    dbt.insert(dbt.end(), first.begin(), first.end());
    dbt.insert(dbt.end(), {0x1A, 0x1A});
    dbt.resize(1024, 0);
    dbt.insert(dbt.end(), second.begin(), second.end());
    dbt.insert(dbt.end(), {0x1A, 0x1A});
    qvtest::writeFile(dir / "alt.dbt", dbt);

    auto t = xb::Table::open(path, xb::OpenMode::ReadOnly);
    EXPECT_EQ(t->memoKind(), xb::MemoKind::Dbt);
    EXPECT_EQ(t->getMemo(0), first);
    t->go(2);
    EXPECT_EQ(t->getMemo(0), second);  // leading zeros are fine
    t->go(3);
    EXPECT_FALSE(t->memoWritten(0));
    t->go(4);
    EXPECT_EQ(t->getMemo(0), "");
    for (std::uint32_t r : {5u, 6u, 7u}) {  // past the end, trailing blank, letters
        t->go(r);
        try {
            t->getMemo(0);
            ADD_FAILURE() << r;
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt) << r;
            EXPECT_EQ(e.record(), r);
        }
    }
    t.reset();
    // Writable tables with DBT memos keep their memos read only.
    t = xb::Table::open(path);
    try {
        t->replaceMemo(0, "neu");
        ADD_FAILURE();
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::State);
    }
}

TEST(LegacyMemo, FptTextsAreFramedAndBinaryRefsWork) {
    qvtest::TempDir dir;
    std::vector<std::uint8_t> fpt(512, 0);
    xb::putU32BE(fpt.data() + 4, 64);
    auto put = [&fpt](std::uint32_t type, const std::string& data) {
        fpt.resize((fpt.size() + 63) / 64 * 64, 0);
        const std::uint32_t block = static_cast<std::uint32_t>(fpt.size() / 64);
        std::uint8_t h[8];
        xb::putU32BE(h, type);
        xb::putU32BE(h + 4, static_cast<std::uint32_t>(data.size()));
        fpt.insert(fpt.end(), h, h + 8);
        fpt.insert(fpt.end(), data.begin(), data.end());
        return block;
    };
    const std::string text(100, 't');
    const std::uint32_t a = put(1, text);
    const std::uint32_t b = put(0, "\x01\x02");
    qvtest::writeFile(dir / "f.fpt", fpt);
    qvtest::writeFile(dir / "b.fpt", fpt);

    writeLegacyTable(
        (dir / "f.dbf").string(), 0xF5, 10,
        {"         " + std::to_string(a), "        " + std::to_string(b), "      9999"});
    auto t = xb::Table::open((dir / "f.dbf").string(), xb::OpenMode::ReadOnly);
    EXPECT_EQ(t->getMemo(0), text);
    t->go(2);
    EXPECT_EQ(t->memoValue(0).type, xb::MemoValue::Type::Binary);
    EXPECT_EQ(t->getMemo(0), "");
    t->go(3);
    EXPECT_THROW(t->getMemo(0), qv::Error);

    std::string bin(4, '\0');
    xb::putU32LE(reinterpret_cast<std::uint8_t*>(bin.data()), a);
    writeLegacyTable((dir / "b.dbf").string(), 0xF5, 4, {bin});
    t = xb::Table::open((dir / "b.dbf").string(), xb::OpenMode::ReadOnly);
    EXPECT_EQ(t->getMemo(0), text);
}

}  // namespace

// A memo file cut short: every reference that now points past its end is
// found once, naming its record; the references before the cut pass, and
// so does an intact file.
TEST(SmtCheck, AMemoFileCutShortIsFoundRecordByRecord) {
    xb::MemEnv env;
    xb::TableBuilder b("t.dbf", env);
    b.addField("NAME", 'C', 10, 0);
    b.addField("MEMO", 'M', 10, 0);
    b.create();
    {
        auto t = xb::Table::open("t.dbf", xb::OpenMode::Exclusive, env);
        for (int i = 1; i <= 6; ++i) {
            t->append();
            t->replaceText(0, "R" + std::to_string(i));
            if (i != 3) t->replaceMemo(1, std::string(200, static_cast<char>('a' + i)));
        }
        t->close();
        t = xb::Table::open("t.dbf", xb::OpenMode::ReadOnly, env);
        EXPECT_TRUE(xb::checkMemos(*t).empty());
    }
    std::vector<std::uint8_t> memo = env.fileBytes("t.smt");
    ASSERT_GT(memo.size(), 512u + 3 * 256u);
    memo.resize(512 + 3 * 256 + 10);  // records 1, 2 and 4 keep theirs
    env.setFile("t.smt", memo);
    auto t = xb::Table::open("t.dbf", xb::OpenMode::ReadOnly, env);
    std::vector<std::uint32_t> damaged;
    for (const xb::MemoFault& f : xb::checkMemos(*t)) {
        damaged.push_back(f.recno);
        EXPECT_EQ(f.field, 1);
        EXPECT_NE(f.text.find("Satz " + std::to_string(f.recno) + ", Feld MEMO"), std::string::npos)
            << f.text;
    }
    EXPECT_EQ(damaged, (std::vector<std::uint32_t>{5, 6}));
    t->go(5);
    EXPECT_THROW(t->getMemo(1), qv::Error);  // read as damaged, never as ""
}
