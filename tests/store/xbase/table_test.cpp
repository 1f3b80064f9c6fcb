// The work area: navigation, field access, hot and cold records, whole-record
// copies, observers, orders, locking and what close() and flush() leave.
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "support/testutil.h"
#include "xbase_test_util.h"

using namespace std::string_literals;

namespace {

template <typename F>
qv::ErrorCode errorOf(F&& f) {
    try {
        f();
    } catch (const qv::Error& e) {
        return e.code();
    }
    ADD_FAILURE() << "no qv::Error thrown";
    return qv::ErrorCode::IoError;
}

// A small table: name C(10), num N(6,2), day D, flag L, note M.
class TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = (dir_ / "t.dbf").string();
        xbtest::createTable(path_, {{"name", 'C', 10, 0},
                                    {"num", 'N', 6, 2},
                                    {"day", 'D', 8, 0},
                                    {"flag", 'L', 1, 0},
                                    {"note", 'M', 10, 0}});
        t_ = xb::Table::open(path_);
    }

    // Appends records named r1 ... rn; those in `deleted` are flagged.
    void fill(int n, std::vector<int> deleted = {}) {
        for (int i = 1; i <= n; ++i) {
            t_->append();
            t_->replaceText(0, "r" + std::to_string(i));
            t_->replaceNumber(1, i);
            for (int d : deleted)
                if (d == i) t_->deleteRecord();
        }
        t_->commitRecord();
    }
    std::string name() const {
        std::string s(t_->raw(0));
        return s.substr(0, s.find(' '));
    }
    void reopen(xb::OpenMode mode = xb::OpenMode::Exclusive) {
        t_.reset();
        t_ = xb::Table::open(path_, mode);
    }

    xb::SettingsGuard guard_;
    qvtest::TempDir dir_;
    std::string path_;
    std::unique_ptr<xb::Table> t_;
};

TEST_F(TableTest, EmptyTableStandsOnThePhantomWithBothFlags) {
    EXPECT_EQ(t_->recCount(), 0u);
    EXPECT_EQ(t_->recNo(), 1u);
    EXPECT_TRUE(t_->eof());
    EXPECT_TRUE(t_->bof());
    t_->goBottom();
    EXPECT_TRUE(t_->eof() && t_->bof());
    t_->skip(-1);
    EXPECT_TRUE(t_->eof() && t_->bof());
    EXPECT_EQ(errorOf([&] { t_->replaceText(0, "x"); }), qv::ErrorCode::State);
    EXPECT_EQ(errorOf([&] { t_->deleteRecord(); }), qv::ErrorCode::State);
}

TEST_F(TableTest, SkipAndGoFollowXbaseRules) {
    fill(3);
    t_->goTop();
    EXPECT_EQ(t_->recNo(), 1u);
    EXPECT_FALSE(t_->bof());
    t_->skip(-1);  // before the first: bof, still on record 1
    EXPECT_TRUE(t_->bof());
    EXPECT_FALSE(t_->eof());
    EXPECT_EQ(t_->recNo(), 1u);
    EXPECT_EQ(name(), "r1");
    t_->skip(2);
    EXPECT_EQ(t_->recNo(), 3u);
    EXPECT_FALSE(t_->bof());
    t_->skip();  // past the last: the phantom record 4, blank
    EXPECT_TRUE(t_->eof());
    EXPECT_EQ(t_->recNo(), 4u);
    EXPECT_EQ(t_->raw(0), "          ");
    EXPECT_TRUE(t_->isBlank(1));
    t_->skip();  // stays there
    EXPECT_EQ(t_->recNo(), 4u);
    t_->skip(-1);  // back from the phantom to the last record
    EXPECT_EQ(t_->recNo(), 3u);
    EXPECT_FALSE(t_->eof());
    t_->skip(-10);
    EXPECT_EQ(t_->recNo(), 1u);
    EXPECT_TRUE(t_->bof());
    t_->skip(10);
    EXPECT_TRUE(t_->eof());
    EXPECT_EQ(t_->recNo(), 4u);
    t_->go(2);
    EXPECT_EQ(name(), "r2");
    EXPECT_FALSE(t_->eof() || t_->bof());
    t_->go(0);
    EXPECT_TRUE(t_->eof());
    EXPECT_EQ(t_->recNo(), 4u);
    t_->go(99);
    EXPECT_TRUE(t_->eof());
    EXPECT_EQ(t_->recNo(), 4u);
    t_->goBottom();
    EXPECT_EQ(t_->recNo(), 3u);
    t_->skip(0);
    EXPECT_EQ(t_->recNo(), 3u);
    EXPECT_FALSE(t_->eof());
}

TEST_F(TableTest, DeletedSettingHidesFlaggedRecordsFromSkipButNotFromGo) {
    fill(6, {1, 3, 4, 6});
    xb::settings().deleted = true;
    t_->goTop();
    EXPECT_EQ(t_->recNo(), 2u);
    t_->skip();
    EXPECT_EQ(t_->recNo(), 5u);
    t_->skip();
    EXPECT_TRUE(t_->eof());
    EXPECT_EQ(t_->recNo(), 7u);
    t_->goBottom();
    EXPECT_EQ(t_->recNo(), 5u);
    t_->skip(-1);
    EXPECT_EQ(t_->recNo(), 2u);
    t_->skip(-1);  // record 1 is hidden: bof, stays on 2
    EXPECT_TRUE(t_->bof());
    EXPECT_EQ(t_->recNo(), 2u);
    t_->go(3);  // go() stands on a flagged record
    EXPECT_EQ(t_->recNo(), 3u);
    EXPECT_TRUE(t_->deleted());
    t_->skip();
    EXPECT_EQ(t_->recNo(), 5u);
    // Everything hidden: top and bottom are the phantom with both flags.
    t_->go(2);
    t_->deleteRecord();
    t_->go(5);
    t_->deleteRecord();
    t_->goTop();
    EXPECT_TRUE(t_->eof() && t_->bof());
    t_->goBottom();
    EXPECT_TRUE(t_->eof() && t_->bof());
    xb::settings().deleted = false;
    t_->goTop();
    EXPECT_EQ(t_->recNo(), 1u);
}

TEST_F(TableTest, FieldValuesRoundTrip) {
    t_->append();
    EXPECT_TRUE(t_->isBlank(1));
    EXPECT_EQ(t_->number(1), 0);
    t_->replaceText(0, "viel zu langer Text");
    t_->replaceNumber(1, 0.5);
    t_->replaceDate(2, xb::dateToJdn(2024, 12, 24));
    t_->replaceLogical(3, true);
    t_->commitRecord();
    t_->append();
    t_->replaceNumber(1, 0);
    t_->replaceNumber(2 - 1, 1234.5);  // does not fit N(6,2)
    t_->replaceDate(2, 0);
    t_->replaceLogical(3, false);
    t_->commitRecord();
    reopen();
    t_->go(1);
    EXPECT_EQ(t_->raw(0), "viel zu la");
    EXPECT_EQ(t_->text(0), "viel zu la");
    EXPECT_EQ(t_->raw(1), "  0.50");
    EXPECT_EQ(t_->number(1), 0.5);
    EXPECT_EQ(t_->raw(2), "20241224");
    EXPECT_EQ(t_->date(2), xb::dateToJdn(2024, 12, 24));
    EXPECT_TRUE(t_->logical(3));
    t_->go(2);
    EXPECT_EQ(t_->raw(1), "******");
    EXPECT_EQ(t_->raw(2), "        ");
    EXPECT_EQ(t_->date(2), 0);
    EXPECT_FALSE(t_->logical(3));
    t_->replaceNumber(1, 0);
    EXPECT_EQ(t_->raw(1), "  0.00");
    EXPECT_FALSE(t_->isBlank(1));  // 0 is not blank
    t_->replaceBlank(1);
    EXPECT_TRUE(t_->isBlank(1));

    EXPECT_EQ(t_->fieldIndex("NoTe"), 4);
    EXPECT_EQ(t_->fieldIndex("none"), -1);
    EXPECT_EQ(errorOf([&] { t_->raw(5); }), qv::ErrorCode::Range);
    EXPECT_EQ(errorOf([&] { t_->raw(-1); }), qv::ErrorCode::Range);
    EXPECT_EQ(errorOf([&] { t_->number(0); }), qv::ErrorCode::InvalidArgument);
    EXPECT_EQ(errorOf([&] { t_->replaceText(1, "12"); }), qv::ErrorCode::InvalidArgument);
    EXPECT_EQ(errorOf([&] { t_->replaceMemo(0, "x"); }), qv::ErrorCode::InvalidArgument);
    EXPECT_EQ(errorOf([&] { t_->date(3); }), qv::ErrorCode::InvalidArgument);
}

TEST_F(TableTest, HotRecordsReachTheFileOnlyWhenCommitted) {
    fill(2);
    t_->go(1);
    t_->replaceText(0, "neu");
    EXPECT_TRUE(t_->isHot());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t_->coldData()) + 1, 3), "r1 ");
    {  // another reader sees the old bytes
        const auto bytes = qvtest::readFile(path_);
        EXPECT_EQ(bytes[t_->header().headerLength + 1], 'r');
    }
    t_->skip();  // navigation commits
    EXPECT_FALSE(t_->isHot());
    t_->go(1);
    EXPECT_EQ(name(), "neu");

    // discard() re-reads an edited record ...
    t_->replaceText(0, "verworfen");
    t_->replaceMemo(4, "auch verworfen");
    t_->deleteRecord();
    t_->discard();
    EXPECT_EQ(name(), "neu");
    EXPECT_FALSE(t_->deleted());
    EXPECT_FALSE(t_->memoWritten(4));
    // ... and drops a pending append, returning to the record before it.
    t_->append();
    EXPECT_EQ(t_->recNo(), 3u);
    EXPECT_TRUE(t_->isAppending());
    t_->replaceText(0, "weg");
    t_->discard();
    EXPECT_EQ(t_->recCount(), 2u);
    EXPECT_EQ(t_->recNo(), 1u);
    reopen();
    EXPECT_EQ(t_->recCount(), 2u);
}

TEST_F(TableTest, CloseAndFlushLeaveAnExactHeaderAndOneEofMarker) {
    fill(3);
    const std::uint16_t hl = t_->header().headerLength;
    const std::uint16_t rl = t_->recordLength();
    // While appending, the file ends in a 0x1A after each new record.
    auto bytes = qvtest::readFile(path_);
    EXPECT_EQ(bytes.size(), hl + 3u * rl + 1);
    EXPECT_EQ(bytes.back(), 0x1A);
    t_->append();
    t_->replaceText(0, "r4");
    t_->flush();
    bytes = qvtest::readFile(path_);
    EXPECT_EQ(xb::getU32LE(bytes.data() + 4), 4u);
    EXPECT_EQ(bytes.size(), hl + 4u * rl + 1);
    int y, m, d;
    xb::today(xb::Env::posix(), y, m, d);
    EXPECT_EQ(bytes[1], y - 1900);
    EXPECT_EQ(bytes[2], m);
    EXPECT_EQ(bytes[3], d);
    t_->append();
    t_->replaceText(0, "r5");
    t_->close();
    EXPECT_FALSE(t_->isOpen());
    t_->close();  // twice is fine
    bytes = qvtest::readFile(path_);
    EXPECT_EQ(xb::getU32LE(bytes.data() + 4), 5u);
    EXPECT_EQ(bytes.size(), hl + 5u * rl + 1);
    EXPECT_EQ(bytes.back(), 0x1A);
    EXPECT_EQ(errorOf([&] { t_->goTop(); }), qv::ErrorCode::State);

    // A read-only open and close changes nothing at all.
    reopen(xb::OpenMode::ReadOnly);
    t_->close();
    EXPECT_EQ(qvtest::readFile(path_), bytes);
}

TEST(TableClock, TheHeaderDateComesFromTheClockOfTheEnv) {
    const auto noonOn = [](int day) {
        std::tm tm{};
        tm.tm_year = 2031 - 1900;
        tm.tm_mon = 4;
        tm.tm_mday = day;
        tm.tm_hour = 12;
        tm.tm_isdst = -1;
        return std::mktime(&tm);
    };
    xb::MemEnv env;
    env.setNow(noonOn(17));
    xb::TableBuilder b("clock.dbf", env);
    b.addField("name", 'C', 4);
    b.create();
    auto bytes = env.fileBytes("clock.dbf");
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[1], 131);
    EXPECT_EQ(bytes[2], 5);
    EXPECT_EQ(bytes[3], 17);
    // A changed table writes the date of its close.
    env.setNow(noonOn(18));
    auto t = xb::Table::open("clock.dbf", xb::OpenMode::Exclusive, env);
    t->append();
    t->replaceText(0, "a");
    t->close();
    bytes = env.fileBytes("clock.dbf");
    EXPECT_EQ(bytes[3], 18);
}

TEST_F(TableTest, WritableOpenRepairsWhatAKilledWriterLeft) {
    fill(3);
    t_->close();
    auto bytes = qvtest::readFile(path_);
    const std::uint16_t hl = xb::headerLengthOf(bytes.data());
    const std::size_t rl = (bytes.size() - 1 - hl) / 3;
    // Header count left at 1, then half of a fourth record without 0x1A.
    xb::putU32LE(bytes.data() + 4, 1);
    bytes.pop_back();
    bytes.insert(bytes.end(), rl / 2, 'x');
    qvtest::writeFile(path_, bytes);

    reopen(xb::OpenMode::ReadOnly);  // a reader only looks
    EXPECT_EQ(t_->recCount(), 3u);
    t_->close();
    EXPECT_EQ(qvtest::readFile(path_), bytes);

    reopen();
    EXPECT_EQ(t_->recCount(), 3u);
    t_->close();
    bytes = qvtest::readFile(path_);
    EXPECT_EQ(bytes.size(), hl + 3 * rl + 1);
    EXPECT_EQ(bytes.back(), 0x1A);
    EXPECT_EQ(xb::getU32LE(bytes.data() + 4), 3u);

    // A whole fourth record whose 0x1A never came: it counts, and the marker
    // is put back at close even though nothing else was changed.
    bytes.pop_back();
    bytes.insert(bytes.end(), bytes.begin() + hl, bytes.begin() + hl + rl);
    qvtest::writeFile(path_, bytes);
    reopen();
    EXPECT_EQ(t_->recCount(), 4u);
    t_->close();
    bytes = qvtest::readFile(path_);
    EXPECT_EQ(bytes.size(), hl + 4 * rl + 1);
    EXPECT_EQ(bytes.back(), 0x1A);
    EXPECT_EQ(xb::getU32LE(bytes.data() + 4), 4u);
}

TEST_F(TableTest, ReadOnlyTablesRefuseEveryChange) {
    fill(1);
    reopen(xb::OpenMode::ReadOnly);
    EXPECT_TRUE(t_->readOnly());
    EXPECT_EQ(name(), "r1");
    EXPECT_EQ(errorOf([&] { t_->append(); }), qv::ErrorCode::State);
    EXPECT_EQ(errorOf([&] { t_->replaceText(0, "x"); }), qv::ErrorCode::State);
    EXPECT_EQ(errorOf([&] { t_->replaceMemo(4, "x"); }), qv::ErrorCode::State);
    EXPECT_EQ(errorOf([&] { t_->deleteRecord(); }), qv::ErrorCode::State);
    EXPECT_EQ(errorOf([&] { t_->recall(); }), qv::ErrorCode::State);
    EXPECT_EQ(errorOf([&] { t_->putRecordBytes(t_->recordBytes()); }), qv::ErrorCode::State);
    EXPECT_EQ(errorOf([&] { t_->setProductionIndex(true); }), qv::ErrorCode::State);
    // Two readers may share the files.
    auto second = xb::Table::open(path_, xb::OpenMode::ReadOnly);
    EXPECT_EQ(second->recCount(), 1u);
}

TEST_F(TableTest, ExclusiveUseKeepsOutOtherOpenersInAndOutOfTheProcess) {
    try {
        xb::Table::open(path_);
        ADD_FAILURE() << "second open succeeded";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Locked);
        EXPECT_EQ(e.text(),
                  "Die Datei " + path_ + " wird bereits von einem anderen Programm benutzt");
        EXPECT_EQ(e.file(), path_);
    }
    EXPECT_EQ(errorOf([&] { xb::Table::open(path_, xb::OpenMode::ReadOnly); }),
              qv::ErrorCode::Locked);
    // Another process gets the same answer (exit code 3 = Locked seen).
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int code = 1;
        try {
            xb::Table::open(path_);
        } catch (const qv::Error& e) {
            code = e.code() == qv::ErrorCode::Locked ? 3 : 2;
        } catch (...) {
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    // The memo file is held as well.
    EXPECT_EQ(errorOf([&] {
                  auto f = xb::Env::posix().open((dir_ / "t.smt").string(),
                                                 xb::FileAccess::WriteExclusive);
              }),
              qv::ErrorCode::Locked);
    t_->close();
    EXPECT_NO_THROW(xb::Table::open(path_));
}

TEST_F(TableTest, MissingFilesAreNotFoundNamingTheFile) {
    try {
        xb::Table::open((dir_ / "fehlt").string());
        ADD_FAILURE();
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::NotFound);
        EXPECT_EQ(e.file(), (dir_ / "fehlt.dbf").string());
        EXPECT_NE(e.text().find("fehlt.dbf"), std::string::npos);
    }
    t_->close();
    std::filesystem::remove(dir_ / "t.smt");
    try {
        xb::Table::open(path_);
        ADD_FAILURE();
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::NotFound);
        EXPECT_EQ(e.file(), (dir_ / "t.smt").string());
    }
}

TEST_F(TableTest, CopiedRecordsGetTheirOwnMemoText) {
    fill(1);
    t_->go(1);
    t_->replaceMemo(4, "Originaltext");
    t_->replaceDate(2, xb::dateToJdn(2000, 1, 1));
    t_->commitRecord();
    const std::string copy = t_->recordBytes();
    t_->append();
    t_->putRecordBytes(copy);
    EXPECT_EQ(t_->getMemo(4), "Originaltext");
    t_->commitRecord();
    EXPECT_EQ(t_->recNo(), 2u);
    const std::string copied = t_->recordBytes();
    EXPECT_EQ(copied.substr(0, 26), copy.substr(0, 26));  // all but the memo reference
    EXPECT_NE(copied.substr(26), copy.substr(26));

    // Changing one text leaves the other as it was.
    t_->replaceMemo(4, "Kopie geändert");
    t_->go(1);
    EXPECT_EQ(t_->getMemo(4), "Originaltext");
    t_->replaceMemo(4, "");
    t_->go(2);
    EXPECT_EQ(t_->getMemo(4), "Kopie geändert");
    EXPECT_EQ(xbtest::checkMemoStructure(*t_), "");

    // Putting a record's own bytes back changes nothing in its memo.
    t_->putRecordBytes(t_->recordBytes());
    t_->commitRecord();
    EXPECT_EQ(t_->getMemo(4), "Kopie geändert");
    EXPECT_EQ(errorOf([&] { t_->putRecordBytes("kurz"); }), qv::ErrorCode::InvalidArgument);
}

struct Recorder : xb::RecordObserver {
    struct Call {
        std::uint32_t recno;
        bool hadOld;
        std::string oldBytes, newBytes;
    };
    std::vector<Call> calls;
    std::size_t len = 0;
    bool fail = false;
    void recordCommitted(std::uint32_t recno, const std::uint8_t* o,
                         const std::uint8_t* n) override {
        calls.push_back({recno, o != nullptr,
                         o ? std::string(reinterpret_cast<const char*>(o), len) : std::string(),
                         std::string(reinterpret_cast<const char*>(n), len)});
        if (fail) throw qv::Error(qv::ErrorCode::IoError, "Index kaputt");
    }
};

TEST_F(TableTest, ObserversSeeOldAndNewBytesAfterTheWrite) {
    Recorder rec;
    rec.len = t_->recordLength();
    t_->addObserver(&rec);
    t_->append();
    t_->replaceText(0, "eins");
    t_->commitRecord();
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].recno, 1u);
    EXPECT_FALSE(rec.calls[0].hadOld);
    EXPECT_EQ(rec.calls[0].newBytes.substr(1, 4), "eins");
    t_->commitRecord();  // cold: nothing reported
    EXPECT_EQ(rec.calls.size(), 1u);

    t_->replaceText(0, "zwei");
    t_->deleteRecord();
    t_->goTop();
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_TRUE(rec.calls[1].hadOld);
    EXPECT_EQ(rec.calls[1].oldBytes.substr(0, 5), " eins");
    EXPECT_EQ(rec.calls[1].newBytes.substr(0, 5), "*zwei");

    // A failing observer's error reaches the caller; the record is written.
    rec.fail = true;
    t_->replaceText(0, "drei");
    EXPECT_EQ(errorOf([&] { t_->commitRecord(); }), qv::ErrorCode::IoError);
    EXPECT_FALSE(t_->isHot());
    rec.fail = false;
    t_->removeObserver(&rec);
    t_->replaceText(0, "vier");
    t_->commitRecord();
    EXPECT_EQ(rec.calls.size(), 3u);
    reopen();
    EXPECT_EQ(name(), "vier");
}

// Walks natural order backwards, as an index order would walk its own.
class ReverseOrder : public xb::RecordOrder {
  public:
    explicit ReverseOrder(xb::Table& t) : t_(t) {}
    std::uint32_t first() override { return pos_ = t_.recCount(); }
    std::uint32_t last() override { return pos_ = t_.recCount() > 0 ? 1 : 0; }
    std::uint32_t next() override { return pos_ = pos_ <= 1 ? 0 : pos_ - 1; }
    std::uint32_t prev() override {
        return pos_ = (pos_ == 0 || pos_ >= t_.recCount()) ? 0 : pos_ + 1;
    }
    void position(std::uint32_t recno, const std::uint8_t*) override { pos_ = recno; }

  private:
    xb::Table& t_;
    std::uint32_t pos_ = 0;
};

TEST_F(TableTest, AnInstalledOrderDrivesAllNavigation) {
    fill(5, {4});
    xb::settings().deleted = true;
    t_->go(2);
    t_->setOrder(std::make_unique<ReverseOrder>(*t_));
    EXPECT_EQ(t_->recNo(), 2u);  // the current record stays
    t_->skip();
    EXPECT_EQ(t_->recNo(), 1u);
    t_->goTop();
    EXPECT_EQ(t_->recNo(), 5u);
    t_->skip();  // 4 is deleted
    EXPECT_EQ(t_->recNo(), 3u);
    t_->replaceText(0, "geändert");
    t_->skip();  // commits, then moves on in the order
    EXPECT_EQ(t_->recNo(), 2u);
    t_->skip(-1);
    EXPECT_EQ(name(), "geändert");
    t_->goBottom();
    EXPECT_EQ(t_->recNo(), 1u);
    t_->skip();
    EXPECT_TRUE(t_->eof());
    t_->skip(-1);
    EXPECT_EQ(t_->recNo(), 1u);
    t_->goTop();
    t_->skip(-1);
    EXPECT_TRUE(t_->bof());
    EXPECT_EQ(t_->recNo(), 5u);
    t_->setOrder(nullptr);
    t_->skip(-1);
    EXPECT_EQ(t_->recNo(), 3u);
}

TEST_F(TableTest, ProductionIndexFlagIsWrittenAtOnce) {
    t_->setProductionIndex(true);
    EXPECT_EQ(qvtest::readFile(path_)[28], 1);
    EXPECT_EQ(t_->header().flags, 1);
    t_->setProductionIndex(false);
    EXPECT_EQ(qvtest::readFile(path_)[28], 0);
}

TEST_F(TableTest, ReadRecordAtLeavesThePositionAlone) {
    fill(3);
    t_->go(2);
    std::vector<std::uint8_t> rec(t_->recordLength());
    t_->readRecordAt(3, rec.data());
    EXPECT_EQ(rec[1], 'r');
    EXPECT_EQ(rec[2], '3');
    EXPECT_EQ(t_->recNo(), 2u);
    EXPECT_EQ(errorOf([&] { t_->readRecordAt(4, rec.data()); }), qv::ErrorCode::Range);
}

TEST_F(TableTest, ScatteredReadsGiveTheCommittedRecordsInTheOrderAsked) {
    fill(5);
    t_->beginBatch();  // appends held back until the batch writes
    fill(7);
    t_->go(2);
    t_->replaceText(0, "changed");  // hot, not committed: not read
    const std::size_t rl = t_->recordLength();
    const std::uint32_t wanted[] = {12, 3, 3, 1, 7};
    std::vector<std::uint8_t> got(rl * std::size(wanted));
    t_->readScatteredAt(wanted, std::size(wanted), got.data());
    std::vector<std::uint8_t> one(rl);
    for (std::size_t i = 0; i < std::size(wanted); ++i) {
        t_->readRecordAt(wanted[i], one.data());
        EXPECT_EQ(std::vector<std::uint8_t>(got.begin() + i * rl, got.begin() + (i + 1) * rl), one)
            << "record " << wanted[i];
    }
    EXPECT_EQ(got[rl * 2 + 1], 'r');
    EXPECT_EQ(got[rl * 2 + 2], '3');
    t_->commitRecord();
    const std::uint32_t two = 2;
    t_->readScatteredAt(&two, 1, one.data());
    EXPECT_EQ(std::string(one.begin() + 1, one.begin() + 8), "changed");
    const std::uint32_t beyond[] = {1, 13};
    EXPECT_EQ(errorOf([&] { t_->readScatteredAt(beyond, 2, got.data()); }), qv::ErrorCode::Range);
    t_->endBatch();
}

}  // namespace

namespace {

// A table as other writers lay it out: `tail` bytes from the 0x0D terminator
// to the first record (1 = one-byte terminator), fields given as
// {name, type, width, decimals}.
std::vector<std::uint8_t> handMadeTable(std::uint8_t version, std::size_t tail,
                                        const std::vector<xbtest::FieldDef>& fields,
                                        const std::vector<std::string>& records) {
    const std::size_t hl = 32 + 32 * fields.size() + tail;
    std::vector<std::uint8_t> b(hl, 0);
    b[0] = version;
    b[1] = 99;  // 1999
    b[2] = 12;
    b[3] = 31;
    xb::putU32LE(b.data() + 4, static_cast<std::uint32_t>(records.size()));
    xb::putU16LE(b.data() + 8, static_cast<std::uint16_t>(hl));
    std::uint16_t rl = 1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::uint8_t* p = b.data() + 32 + 32 * i;
        std::memcpy(p, fields[i].name, std::strlen(fields[i].name));
        p[11] = static_cast<std::uint8_t>(fields[i].type);
        p[16] = static_cast<std::uint8_t>(fields[i].width);
        p[17] = static_cast<std::uint8_t>(fields[i].dec);
        rl = static_cast<std::uint16_t>(rl + fields[i].width);
    }
    xb::putU16LE(b.data() + 10, rl);
    b[32 + 32 * fields.size()] = 0x0D;
    for (const std::string& r : records)
        b.insert(b.end(), r.begin(), r.end());
    return b;
}

TEST(TableVariants, OtherWritersHeadersAreRead) {
    qvtest::TempDir dir;
    const std::vector<xbtest::FieldDef> fields = {
        {"name", 'C', 4, 0}, {"wert", 'F', 6, 2}, {"zahl", 'I', 4, 0}};
    const std::vector<std::string> records = {" abcd  1.50\x01\x00\x00\x00"s,
                                              "*efgh -2.25\x02\x00\x00\x00"s};
    struct Variant {
        std::uint8_t version;
        std::size_t tail;
    };
    for (const Variant v : {Variant{0x03, 1}, Variant{0x07, 2}, Variant{0x03, 263 + 2}}) {
        SCOPED_TRACE("version " + std::to_string(v.version) + ", tail " + std::to_string(v.tail));
        const auto path = dir / "v.dbf";
        auto bytes = handMadeTable(v.version, v.tail, fields, records);
        qvtest::writeFile(path, bytes);
        auto t = xb::Table::open(path.string(), xb::OpenMode::ReadOnly);
        EXPECT_EQ(t->header().terminatorLength, v.tail);
        EXPECT_EQ(t->header().year, 1999);
        EXPECT_EQ(t->fieldCount(), 3u);
        EXPECT_EQ(t->fields()[0].name, "NAME");  // names are upper-cased on read
        ASSERT_EQ(t->recCount(), 2u);
        EXPECT_EQ(t->raw(0), "abcd");
        EXPECT_EQ(t->number(1), 1.5);
        EXPECT_EQ(t->raw(2), std::string("\x01\x00\x00\x00", 4));
        t->skip();
        EXPECT_TRUE(t->deleted());
        EXPECT_EQ(t->number(1), -2.25);
        t.reset();

        // Writable: F fields take numbers, unknown types stay read only, and
        // the header keeps its layout.
        t = xb::Table::open(path.string());
        t->replaceNumber(1, 3.125);
        EXPECT_EQ(t->raw(1), "  3.13");
        EXPECT_EQ(errorOf([&] { t->replaceBlank(2); }), qv::ErrorCode::InvalidArgument);
        t->close();
        const auto after = qvtest::readFile(path);
        EXPECT_EQ(
            std::vector<std::uint8_t>(after.begin() + 4, after.begin() + 32 + 32 * 3 + v.tail),
            std::vector<std::uint8_t>(bytes.begin() + 4, bytes.begin() + 32 + 32 * 3 + v.tail));
        EXPECT_EQ(after[0], v.version);
    }
}

}  // namespace
