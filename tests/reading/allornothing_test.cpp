// A reading is all or nothing: killed in any phase, cancelled, or stopped by
// the journal's stages, the entry keeps its previous file list or gets the
// new one whole, and the next start tells which.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "catalogue/readingjournal.h"
#include "reading/core/carrierreading.h"
#include "readingtestutil.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

qv::ReadingOptions allFiles() {
    qv::ReadingOptions o;
    o.definedExtensionsOnly = false;
    return o;
}

QStringList names(const std::vector<rt::FileRecord>& rs) {
    QStringList out;
    for (const rt::FileRecord& r : rs)
        out << r.name;
    out.sort();
    return out;
}

// The file system, with the process killed when directory `at` is listed.
class KillingSource : public qv::PosixDirectorySource {
  public:
    explicit KillingSource(std::string at) : m_at(std::move(at)) {}
    bool list(const std::string& path,
              const std::function<void(const qv::DirEntry&)>& each) override {
        if (path == m_at) ::raise(SIGKILL);
        return PosixDirectorySource::list(path, each);
    }

  private:
    std::string m_at;
};

// Kills the process when the `after`-th text starting with `at` is shown.
class KillingProgress : public rt::RecordingProgress {
  public:
    KillingProgress(QString at, int after) : m_at(std::move(at)), m_after(after) {}
    void setLine1(const QString& t) override {
        RecordingProgress::setLine1(t);
        check(t);
    }
    void setLine2(const QString& t) override {
        RecordingProgress::setLine2(t);
        check(t);
    }

  private:
    void check(const QString& t) {
        if (t.startsWith(m_at) && --m_after == 0) ::raise(SIGKILL);
    }
    QString m_at;
    int m_after;
};

// A progress window whose "Abbrechen" is pressed from outside.
class CancellingProgress : public rt::RecordingProgress {
  public:
    void offerCancel(bool on) override { offered += on ? 1 : 0; }
    bool cancelRequested() const override { return pressed; }
    int offered = 0;
    bool pressed = false;
};

// The file system, with "Abbrechen" pressed when directory `at` is listed.
class PressingSource : public qv::PosixDirectorySource {
  public:
    PressingSource(CancellingProgress& p, std::string at) : m_p(p), m_at(std::move(at)) {}
    bool list(const std::string& path,
              const std::function<void(const qv::DirEntry&)>& each) override {
        if (path == m_at) m_p.pressed = true;
        return PosixDirectorySource::list(path, each);
    }

  private:
    CancellingProgress& m_p;
    std::string m_at;
};

// The independent reader's view of a table file: the header's count is
// the number of whole records, and only the end mark follows them.
void expectHeaderInStep(const fs::path& dbf) {
    std::ifstream in(dbf, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    const std::string bytes = s.str();
    ASSERT_GE(bytes.size(), 32u);
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
    };
    const std::size_t headerLength =
        static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
    const std::size_t recordLength =
        static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
    const std::size_t body = bytes.size() - headerLength;
    EXPECT_EQ(u32(4), body / recordLength) << dbf;
    EXPECT_EQ(body % recordLength, 1u) << dbf;
    EXPECT_EQ(bytes.back(), '\x1A') << dbf;
}

class AllOrNothing : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(oldVolume / "d");
        fs::create_directories(newVolume / "x");
        fs::create_directories(newVolume / "y");
        for (const char* n : {"old1.txt", "d/old2.txt", "d/old3.txt"})
            rt::makeFile(oldVolume / n, 1);
        for (const char* n : {"n1.txt", "x/n2.txt", "x/n3.txt", "y/n4.txt", "y/n5.txt"})
            rt::makeFile(newVolume / n, 2);
        fs::create_directories(thirdVolume);
        for (const char* n : {"t1.txt", "t2.txt"})
            rt::makeFile(thirdVolume / n, 3);
        rt::Catalogue cat(dir, 3);
        rt::RecordingProgress p;
        qv::readCarrier(cat.session(), 2, q(oldVolume), allFiles(), p);
        qv::readCarrier(cat.session(), 3, q(thirdVolume), allFiles(), p);
        qv::releaseFileRecords(cat.session(), 3);  // released records to reuse
        cat.closeAll();
    }

    // The next start as the store tool's "init" runs it; returns its notices.
    std::string nextStart() {
        std::ostringstream out, err;
        EXPECT_EQ(qvdb::init(dir.string(), out, err), 0) << err.str();
        return err.str();
    }
    QStringList filesOf(int entry) {
        rt::Catalogue cat(dir, 0);
        EXPECT_TRUE(rt::recordsOf(cat.session(), qv::kStagedEntryNumber).empty());
        return names(rt::recordsOf(cat.session(), entry));
    }

    qvtest::TempDir tmp;
    fs::path dir = tmp / "cat";
    fs::path oldVolume = tmp / "old";
    fs::path newVolume = tmp / "new";
    fs::path thirdVolume = tmp / "third";
    const QStringList oldList{"old1.txt", "old2.txt", "old3.txt"};
    const QStringList newList{"n1.txt", "n2.txt", "n3.txt", "n4.txt", "n5.txt"};
};

}  // namespace

// Killed in the walk, before and after files were stored: the previous
// list is back; killed in the swap: the new list is complete. Before the
// next start every table file's header is in step; after it the indexes
// match their records and nothing of the journal is left.
TEST_F(AllOrNothing, AKilledReadingIsPutBackOrCompletedAtTheNextStart) {
    struct Case {
        std::string text;       // killed when the progress window shows it
        std::string directory;  // or when the walk lists it
        bool putBack;
    };
    const Case cases[] = {{"Einlesen von Verzeichnis...", "", true},
                          {"", (newVolume / "y").string(), true},
                          {"Bearbeitet: ", "", false},
                          {"Abspeichern der Daten...", "", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + c.directory);
        fs::remove_all(dir);
        SetUp();
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            rt::Catalogue cat(dir, 0);
            KillingProgress p(c.text.empty() ? QStringLiteral("\x01") : q(c.text), 1);
            KillingSource source(c.directory);
            qv::readCarrier(cat.session(), 2, q(newVolume), allFiles(), p, &source);
            ::_exit(3);  // not killed: the case missed its moment
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        ASSERT_TRUE(fs::exists(dir / qv::kReadingJournalFile));
        expectHeaderInStep(dir / "_qvdir.dbf");
        expectHeaderInStep(dir / "_qvdisk.dbf");

        const std::string notice = nextStart();
        EXPECT_NE(notice.find("\"Eintrag 0002\" (Nr. 2)"), std::string::npos) << notice;
        EXPECT_NE(notice.find(c.putBack ? "bisherige Dateiliste des Eintrags ist wiederhergestellt"
                                        : "jetzt abgeschlossen"),
                  std::string::npos)
            << notice;
        EXPECT_FALSE(fs::exists(dir / qv::kReadingJournalFile));
        EXPECT_EQ(filesOf(2), c.putBack ? oldList : newList);
        EXPECT_EQ(rt::indexFaults(dir), std::vector<std::string>{});
        EXPECT_EQ(nextStart(), "");  // told once
    }
}

// The walk stopped because the files may not grow (as on a full disk), at
// several amounts of room: the error says the list is unchanged, and before
// any restart the table and memo files are byte for byte as before (the
// released records it reused too), the store tool's check finds no fault
// and no journal, and the next start has nothing to tell.
TEST_F(AllOrNothing, AFullDiskInTheWalkLeavesTheFilesAsBefore) {
    for (int i = 0; i < 300; ++i)
        rt::makeFile(newVolume / "y" / ("ein_recht_langer_dateiname_" + std::to_string(i) + ".txt"),
                     1);
    const auto dbf = qvtest::readFile(dir / "_qvdir.dbf"),
               smt = qvtest::readFile(dir / "_qvdir.smt");
    for (const std::uintmax_t room : {0, 3000, 20000}) {
        SCOPED_TRACE(room);
        std::string text;
        {
            rt::Catalogue cat(dir, 0);
            rt::RecordingProgress p;
            qvtest::FullDisk full(dir, room);
            try {
                qv::readCarrier(cat.session(), 2, q(newVolume), allFiles(), p);
                ADD_FAILURE() << "the walk had room";
            } catch (const qv::Error& e) {
                text = e.text();
            }
        }
        EXPECT_NE(text.find("die bisherige Dateiliste des Eintrags ist unverändert"),
                  std::string::npos)
            << text;
        EXPECT_EQ(qvtest::readFile(dir / "_qvdir.dbf"), dbf);
        EXPECT_EQ(qvtest::readFile(dir / "_qvdir.smt"), smt);
        std::ostringstream out, err;
        EXPECT_EQ(qvdb::check(dir.string(), out, err), 0) << err.str();
        EXPECT_EQ(nextStart(), "");
    }
}

// "Abbrechen" in the walk: the staged records are released again, the
// previous list stays, the result says so and the button is withdrawn.
TEST_F(AllOrNothing, CancelLeavesThePreviousList) {
    {
        rt::Catalogue cat(dir, 0);
        CancellingProgress p;
        PressingSource source(p, (newVolume / "y").string());
        const qv::ReadingResult r =
            qv::readCarrier(cat.session(), 2, q(newVolume), allFiles(), p, &source);
        EXPECT_TRUE(r.cancelled);
        EXPECT_EQ(p.offered, 1);
        EXPECT_EQ(p.shows, 1);
        EXPECT_EQ(p.closes, 1);
        cat.closeAll();
    }
    EXPECT_FALSE(fs::exists(dir / qv::kReadingJournalFile));
    EXPECT_EQ(filesOf(2), oldList);
    EXPECT_EQ(rt::indexFaults(dir), std::vector<std::string>{});
    expectHeaderInStep(dir / "_qvdir.dbf");
}

// Each stage of the journal settled on the file table as a kill in the
// middle of that stage leaves it: the walk (staged records beside the
// previous list), the release (one previous record released), the renaming
// (one staged record renamed). A file that is not a journal is refused.
TEST_F(AllOrNothing, EachStageSettlesFromTheMiddleOfIt) {
    const auto moveOne = [](TTable& files, const std::vector<rt::FileRecord>& rs, int to) {
        xb::Table& t = *files.engine();
        t.go(static_cast<std::uint32_t>(rs.front().recno));
        t.replaceNumber(t.fieldIndex("dirnumm"), to);
        t.commitRecord();
        files.Refresh();
    };
    for (const qv::ReadingStage stage :
         {qv::ReadingStage::Storing, qv::ReadingStage::Releasing, qv::ReadingStage::Renaming}) {
        SCOPED_TRACE(static_cast<int>(stage));
        fs::remove_all(dir);
        SetUp();
        rt::Catalogue cat(dir, 0);
        TTable& files = cat.session().table(qv::CatalogueTable::Files);
        const QString journal = qv::readingJournalPath(cat.dm());
        // The released records of entry 3 stand for a complete walk.
        ASSERT_EQ(qv::renumberFileRecords(files, 99999999, qv::kStagedEntryNumber), 2);
        if (stage == qv::ReadingStage::Releasing)
            moveOne(files, rt::recordsOf(cat.session(), 2), 99999999);
        if (stage == qv::ReadingStage::Renaming) {
            qv::renumberFileRecords(files, 2, 99999999);
            moveOne(files, rt::recordsOf(cat.session(), qv::kStagedEntryNumber), 2);
        }
        qv::writeReadingJournal(journal, {2, stage});
        const std::optional<qv::ReadingJournal> j = qv::readReadingJournal(journal);
        ASSERT_TRUE(j);
        EXPECT_EQ(j->entry, 2);
        EXPECT_EQ(j->stage, stage);
        EXPECT_EQ(qv::settleReading(files, journal, *j), stage == qv::ReadingStage::Storing);
        EXPECT_FALSE(fs::exists(dir / qv::kReadingJournalFile));
        EXPECT_TRUE(rt::recordsOf(cat.session(), qv::kStagedEntryNumber).empty());
        EXPECT_EQ(names(rt::recordsOf(cat.session(), 2)),
                  (stage == qv::ReadingStage::Storing ? oldList : QStringList{"t1.txt", "t2.txt"}));
        cat.closeAll();
        EXPECT_EQ(rt::indexFaults(dir), std::vector<std::string>{});
    }
    {
        // An entry read for the first time stores straight under its number:
        // a cut-short reading leaves it without files again.
        SCOPED_TRACE("adding");
        fs::remove_all(dir);
        SetUp();
        rt::Catalogue cat(dir, 0);
        TTable& files = cat.session().table(qv::CatalogueTable::Files);
        const QString journal = qv::readingJournalPath(cat.dm());
        ASSERT_FALSE(rt::recordsOf(cat.session(), 2).empty());
        qv::writeReadingJournal(journal, {2, qv::ReadingStage::Adding});
        const std::optional<qv::ReadingJournal> j = qv::readReadingJournal(journal);
        ASSERT_TRUE(j);
        EXPECT_EQ(j->stage, qv::ReadingStage::Adding);
        EXPECT_TRUE(qv::settleReading(files, journal, *j));
        EXPECT_FALSE(fs::exists(dir / qv::kReadingJournalFile));
        EXPECT_TRUE(rt::recordsOf(cat.session(), 2).empty());
        cat.closeAll();
        EXPECT_EQ(rt::indexFaults(dir), std::vector<std::string>{});
    }
    std::ofstream(dir / qv::kReadingJournalFile) << "something else\n";
    EXPECT_THROW(qv::readReadingJournal(q(dir / qv::kReadingJournalFile)), qv::Error);
}
