// The carrier reading and the release on test catalogues: generated trees
// read through the file system, scripted directories for what cannot be
// made where the tests run (unreadable directories, bind mounts, other file
// systems), the store tool's commands.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "catalogue/qvdb.h"
#include "catalogue/readingjournal.h"
#include "reading/core/carrierreading.h"
#include "reading/core/readingtool.h"
#include "reading/core/volumes.h"
#include "readingtestutil.h"
#include "store/tapollo.h"
#include "store/tapolloenv.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "support/catalogue/cataloguebuilder.h"

using qv::CatalogueTable;
using rt::FileRecord;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

qv::ReadingOptions allFiles(bool subdirectories = true) {
    qv::ReadingOptions o;
    o.subdirectories = subdirectories;
    o.definedExtensionsOnly = false;
    return o;
}

QStringList names(const std::vector<FileRecord>& rs) {
    QStringList out;
    for (const FileRecord& r : rs)
        out << r.name;
    return out;
}

const FileRecord* byName(const std::vector<FileRecord>& rs, const QString& name) {
    for (const FileRecord& r : rs)
        if (r.name == name) return &r;
    return nullptr;
}

class CarrierReadingTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(volume); }
    qv::ReadingResult read(int n, const qv::ReadingOptions& o,
                           qv::DirectorySource* source = nullptr) {
        return qv::readCarrier(cat.session(), n, q(volume), o, progress, source);
    }

    qvtest::TempDir tmp;
    fs::path volume = tmp / "vol";
    rt::Catalogue cat{tmp / "cat"};
    rt::RecordingProgress progress;
};

}  // namespace

// Every kind of name a volume holds, read through the file system: what is
// stored field by field, what is left out, and the order.
TEST_F(CarrierReadingTest, GeneratedTreeIsStoredFieldByFieldInWalkOrder) {
    const std::int64_t t1 = rt::localTime(2023, 3, 14, 15, 9, 26);
    rt::makeFile(volume / "SETUP.EXE", 12345, t1);
    rt::makeFile(volume / ".hidden", 1, t1);
    rt::makeFile(volume / "README", 0, t1);
    rt::makeFile(volume / "archive.tar.gz", 7, t1);
    rt::makeFile(volume / "file.", 3, t1);
    rt::makeFile(volume / "a very long file name.html", 5, t1);
    rt::makeFile(volume / "big.iso", 5LL * 1024 * 1024 * 1024 + 17, t1);  // sparse
    rt::makeFile(volume / "huge.img", 10'000'000'123LL, t1);              // sparse
    rt::makeFile(volume / "Größe.txt", 4, t1);
    rt::makeFile(volume / "\xE6\x97\xA5\xE6\x9C\xAC.txt", 2, t1);  // outside Windows-1252
    rt::makeFile(volume / std::string("bad\xFF\xFE.txt"), 2, t1);  // not UTF-8
    fs::create_symlink("SETUP.EXE", volume / "link.exe");
    fs::create_symlink("missing", volume / "dangling.lnk");
    ASSERT_EQ(::mkfifo((volume / "pipe.fifo").c_str(), 0644), 0);
    fs::create_directories(volume / ".git" / "objects");
    rt::makeFile(volume / ".git" / "config", 1, t1);
    fs::create_directories(volume / "TOOLS" / "deeper");
    rt::makeFile(volume / "TOOLS" / "tool.c", 9, t1);
    fs::create_symlink("..", volume / "TOOLS" / "loop");  // never followed
    const std::string longDir(60, 'd');
    fs::create_directories(volume / "TOOLS" / "deeper" / longDir);
    rt::makeFile(volume / "TOOLS" / "deeper" / "x.txt", 1, t1);
    rt::makeFile(volume / "TOOLS" / "deeper" / longDir / "very-deep-file.txt", 1, t1);

    const qv::ReadingResult r = read(2, allFiles());
    const std::vector<FileRecord> rs = rt::recordsOf(cat.session(), 2);
    EXPECT_EQ(r.stored, 15);
    ASSERT_EQ(rs.size(), 15u) << names(rs).join(", ").toStdString();

    // A directory's files come in listing order, before its subdirectories'.
    const std::map<std::string, QString> converted = {
        {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "??.txt"},
        {"bad\xFF\xFE.txt", "bad??.txt"},
        {"a very long file name.html", "a very long fil"}};
    QStringList expected;
    for (const std::string& n : rt::listingOrder(volume)) {
        if (n == "pipe.fifo" || n == "dangling.lnk" || n == ".git" || n == "TOOLS") continue;
        auto it = converted.find(n);
        expected << (it != converted.end() ? it->second : QString::fromStdString(n));
    }
    expected << "tool.c"
             << "x.txt"
             << "very-deep-file.";
    EXPECT_EQ(names(rs), expected);
    EXPECT_EQ(rs[12].path, "/TOOLS/ tool.c");
    EXPECT_EQ(rs[12].ext, "c  ");
    EXPECT_EQ(rs[13].path, "/TOOLS/deeper/ x.txt");
    // The deep path is cut at 86 characters.
    EXPECT_EQ(rs[14].path,
              QStringLiteral("/TOOLS/deeper/") + QString::fromStdString(longDir) + "/ very-deep-");
    EXPECT_EQ(rs[14].path.size(), 86);

    const FileRecord* setup = byName(rs, "SETUP.EXE");
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->path, "/ SETUP.EXE");
    EXPECT_EQ(setup->ext, "EXE");
    EXPECT_EQ(setup->size, 12345);
    EXPECT_EQ(setup->date, QDate(2023, 3, 14));
    EXPECT_EQ(setup->time, "15:09");
    // A link to a file: its own name, the target's size and time.
    const FileRecord* link = byName(rs, "link.exe");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->path, "/ link.exe");
    EXPECT_EQ(link->size, 12345);
    EXPECT_EQ(link->time, "15:09");
    EXPECT_TRUE(byName(rs, ".hidden"));
    EXPECT_EQ(byName(rs, ".hidden")->ext, "hid");
    EXPECT_EQ(byName(rs, "README")->ext, "   ");
    EXPECT_EQ(byName(rs, "README")->size, 0);
    EXPECT_EQ(byName(rs, "archive.tar.gz")->ext, "gz ");
    EXPECT_EQ(byName(rs, "file.")->ext, "   ");
    const FileRecord* longName = byName(rs, "a very long fil");
    ASSERT_TRUE(longName);
    EXPECT_EQ(longName->path, "/ a very long file name.html");
    EXPECT_EQ(longName->ext, "htm");
    EXPECT_EQ(byName(rs, "big.iso")->size, 5LL * 1024 * 1024 * 1024 + 17);
    EXPECT_EQ(byName(rs, "huge.img")->size, 9'999'999'999LL);
    EXPECT_TRUE(byName(rs, QStringLiteral("Größe.txt")));
    EXPECT_TRUE(byName(rs, "??.txt"));
    EXPECT_TRUE(byName(rs, "bad??.txt"));
    EXPECT_FALSE(byName(rs, "config"));
    EXPECT_FALSE(byName(rs, "pipe.fifo"));
    EXPECT_FALSE(byName(rs, "dangling.lnk"));

    cat.closeAll();
    EXPECT_EQ(rt::indexFaults(cat.dir), std::vector<std::string>{});
}

// A second reading of the same carrier stores the files beside the first
// set (which must survive until the walk is complete) and then releases it;
// the third reuses those released records, so the table keeps its size from
// then on; other entries' records are untouched.
TEST_F(CarrierReadingTest, ReadingTwiceKeepsOneSetInTheSameRecords) {
    for (int i = 0; i < 5; ++i)
        rt::makeFile(volume / ("f" + std::to_string(i) + ".dat"), i);
    fs::create_directories(volume / "sub");
    rt::makeFile(volume / "sub" / "g.dat", 1);
    ASSERT_EQ(read(3, allFiles()).stored, 6);
    const qv::ReadingResult first = read(1, allFiles());
    EXPECT_EQ(first.released, 0);
    EXPECT_EQ(first.stored, 6);
    const int size = cat.session().table(CatalogueTable::Files).RecordCount();
    const std::vector<FileRecord> before = rt::recordsOf(cat.session(), 1);

    const qv::ReadingResult second = read(1, allFiles());
    EXPECT_EQ(second.released, 6);
    EXPECT_EQ(second.stored, 6);
    EXPECT_EQ(second.reused, 0);
    EXPECT_EQ(cat.session().table(CatalogueTable::Files).RecordCount(), size + 6);
    const qv::ReadingResult again = read(1, allFiles());
    EXPECT_EQ(again.released, 6);
    EXPECT_EQ(again.reused, 6);
    EXPECT_EQ(cat.session().table(CatalogueTable::Files).RecordCount(), size + 6);
    const std::vector<FileRecord> after = rt::recordsOf(cat.session(), 1);
    ASSERT_EQ(after.size(), 6u);
    QStringList a, b;
    for (const FileRecord& r : before)
        b << r.path;
    for (const FileRecord& r : after)
        a << r.path;
    a.sort();
    b.sort();
    EXPECT_EQ(a, b);
    EXPECT_EQ(rt::recordsOf(cat.session(), 3).size(), 6u);

    // Another entry's reading takes released records first.
    ASSERT_EQ(qv::releaseFileRecords(cat.session(), 3), 6);
    rt::makeFile(volume / "new.dat", 1);
    const qv::ReadingResult third = read(2, allFiles(false));
    EXPECT_EQ(third.stored, 6);
    EXPECT_EQ(third.reused, 6);
    EXPECT_EQ(cat.session().table(CatalogueTable::Files).RecordCount(), size + 6);
    cat.closeAll();
    EXPECT_EQ(rt::indexFaults(cat.dir), std::vector<std::string>{});
}

// "nur Hauptverzeichnis" and "nur definierte Endungen": the extension key
// with the engine's upper table, the three-blank key for names without an
// extension; the extension table is closed and the switches restored.
TEST_F(CarrierReadingTest, TopOnlyAndTheExtensionFilter) {
    for (const char* n : {"prog.exe", "Prog.EXE", "main.c", "page.html", "README", "file.",
                          "archive.tar.gz", "notes.txt", "\xC3\xA4rger.\xC3\xA4x"})
        rt::makeFile(volume / n, 1);
    fs::create_directories(volume / "sub");
    rt::makeFile(volume / "sub" / "deep.exe", 1);
    cat.addExtensions({"exe", "C", "HTM", QStringLiteral("ÄX")});
    const bool softSeek = TApolloEnv::softSeek();
    const bool exact = TApolloEnv::exact();

    qv::ReadingOptions defined;  // the dialog's defaults: subdirectories, defined only
    read(1, defined);
    QStringList got = names(rt::recordsOf(cat.session(), 1));
    got.sort();
    EXPECT_EQ(got, (QStringList{"Prog.EXE", "deep.exe", "main.c", "page.html", "prog.exe",
                                QStringLiteral("ärger.äx")}));
    EXPECT_FALSE(cat.session().table(CatalogueTable::Extensions).Active());
    EXPECT_EQ(TApolloEnv::softSeek(), softSeek);
    EXPECT_EQ(TApolloEnv::exact(), exact);

    // The three-blank key takes names without an extension and "file.".
    cat.addExtensions({"   ", "GZ"});
    defined.subdirectories = false;
    read(1, defined);
    got = names(rt::recordsOf(cat.session(), 1));
    got.sort();
    EXPECT_EQ(got, (QStringList{"Prog.EXE", "README", "archive.tar.gz", "file.", "main.c",
                                "page.html", "prog.exe", QStringLiteral("ärger.äx")}));

    EXPECT_EQ(qv::extensionKey("x.html"), "HTM");
    EXPECT_EQ(qv::extensionKey("x.c"), "C  ");
    EXPECT_EQ(qv::extensionKey("README"), "   ");
    EXPECT_EQ(qv::extensionKey("wei\xDF.\xDF\xE4"), "\xDF\xC4 ");  // ß keeps its form
}

// The progress texts in order, the count of the release and the window shown
// once and closed.
TEST_F(CarrierReadingTest, ProgressTextsInOrder) {
    rt::makeFile(volume / "a.txt", 1);
    read(1, allFiles());
    EXPECT_EQ(progress.line1,
              (QStringList{"Einlesen Datenträger", "Einlesen von Verzeichnis...",
                           "Löschen der bisherigen Einträge...", "Abspeichern der Daten..."}));
    // No previous records: no count during the release.
    EXPECT_FALSE(progress.line2.join("|").contains("Bearbeitet"));
    EXPECT_TRUE(progress.line2.contains(q(volume)));
    EXPECT_EQ(progress.shows, 1);
    EXPECT_EQ(progress.closes, 1);

    // One previous record shows the count 1.
    progress = {};
    read(1, allFiles());
    EXPECT_EQ(progress.line2.filter("Bearbeitet"), QStringList{"Bearbeitet: 1 Datensätze"});
    EXPECT_FALSE(progress.visible);
}

// The release reaches every record of the entry while the file table shows
// another entry's range, counts 1, 2, 3, and the released records leave the
// name and extension tags.
TEST_F(CarrierReadingTest, ReleaseReachesEveryRecordWhateverRangeIsSet) {
    for (int i = 0; i < 3; ++i)
        rt::makeFile(volume / ("f" + std::to_string(i) + ".dat"), i);
    read(1, allFiles());
    read(2, allFiles());
    TApollo& files = cat.session().apollo(CatalogueTable::Files);
    files.sx_SetOrder(2);
    files.sx_SetOrder(1);
    files.sx_SetScope("       2", "       2\xFF");
    std::vector<int> counts;
    EXPECT_EQ(qv::releaseFileRecords(cat.session(), 1, [&](int k) { counts.push_back(k); }), 3);
    EXPECT_EQ(counts, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(rt::recordsOf(cat.session(), 1).empty());
    EXPECT_EQ(rt::recordsOf(cat.session(), qv::kReleasedEntryNumber).size(), 3u);
    EXPECT_EQ(rt::recordsOf(cat.session(), 2).size(), 3u);
    files.sx_SetOrder(qv::tagPosition(CatalogueTable::Files, "namealle"));
    EXPECT_EQ(files.sx_Count(), 3);
    // An entry without records releases nothing.
    EXPECT_EQ(qv::releaseFileRecords(cat.session(), 3), 0);
}

// Entry numbers the release could not finish with, and a volume that cannot
// be listed, change nothing; an empty volume empties the entry.
TEST_F(CarrierReadingTest, RefusedReadingsChangeNothing) {
    rt::makeFile(volume / "a.txt", 1);
    read(1, allFiles());
    progress = {};
    for (int n : {0, -4, qv::kReleasedEntryNumber})
        EXPECT_THROW(read(n, allFiles()), qv::Error) << n;
    EXPECT_THROW(qv::releaseFileRecords(cat.session(), qv::kReleasedEntryNumber), qv::Error);

    rt::ScriptedSource dead;  // the root cannot be listed
    dead.addDirectory(volume.string(), 1, 1);
    dead.unreadable.insert(volume.string());
    try {
        read(1, allFiles(), &dead);
        ADD_FAILURE() << "no error";
    } catch (const qv::Error& e) {
        EXPECT_NE(e.text().find("kann nicht gelesen werden"), std::string::npos);
    }
    EXPECT_THROW(qv::readCarrier(cat.session(), 1, q(tmp / "missing"), allFiles(), progress),
                 qv::Error);
    EXPECT_EQ(rt::recordsOf(cat.session(), 1).size(), 1u);
    EXPECT_EQ(progress.shows, 0);

    fs::remove(volume / "a.txt");
    const qv::ReadingResult r = read(1, allFiles());
    EXPECT_EQ(r.released, 1);
    EXPECT_EQ(r.stored, 0);
    EXPECT_TRUE(rt::recordsOf(cat.session(), 1).empty());
}

// The walker's rules on directories that cannot be made here: an unreadable
// subdirectory, a bind mount of an ancestor, another file system, a hidden
// directory; a time a date field cannot hold; a size beyond the field.
TEST_F(CarrierReadingTest, WalkerRulesOnScriptedDirectories) {
    const std::string root = volume.string();
    const std::int64_t t = rt::localTime(2001, 2, 3, 4, 5);
    rt::ScriptedSource src;
    src.addDirectory(root, 1, 1);
    src.addFile(root, "a.txt", 1, t);
    src.addSubdirectory(root, "sub", 1, 2);
    src.addFile(root, "b.txt", 20'000'000'000LL, t);
    src.addSubdirectory(root, ".hidden", 1, 3);
    src.addSubdirectory(root, "usb", 2, 1);     // another file system
    src.addSubdirectory(root, "locked", 1, 5);  // cannot be opened
    src.addSubdirectory(root, "again", 1, 1);   // the root, bound again
    src.addDirectory(root + "/sub", 1, 2);
    src.addFile(root + "/sub", "c.txt", 3, 253402300800LL + 86400 * 400);  // year 10001
    src.addSubdirectory(root + "/sub", "loop", 1, 2);
    src.addSubdirectory(root + "/sub", "deeper", 1, 6);
    src.addDirectory(root + "/sub/deeper", 1, 6);
    src.addFile(root + "/sub/deeper", "d.txt", 4, t);
    src.addDirectory(root + "/.hidden", 1, 3);
    src.addFile(root + "/.hidden", "h.txt", 1, t);
    src.addDirectory(root + "/usb", 2, 1);
    src.addFile(root + "/usb", "u.txt", 1, t);
    src.addDirectory(root + "/locked", 1, 5);
    src.unreadable.insert(root + "/locked");
    src.addDirectory(root + "/again", 1, 1);
    src.addFile(root + "/again", "a2.txt", 1, t);

    read(1, allFiles(), &src);
    const std::vector<FileRecord> rs = rt::recordsOf(cat.session(), 1);
    ASSERT_EQ(names(rs), (QStringList{"a.txt", "b.txt", "c.txt", "d.txt"}));
    EXPECT_EQ(rs[1].size, 9'999'999'999LL);
    EXPECT_EQ(rs[2].path, "/sub/ c.txt");
    EXPECT_TRUE(rs[2].date.isNull());
    EXPECT_EQ(rs[3].path, "/sub/deeper/ d.txt");
    EXPECT_EQ(rs[3].date, QDate(2001, 2, 3));
    EXPECT_EQ(rs[3].time, "04:05");
}

// An error in the middle of a reading leaves the switches, the progress
// window, the extension table and the file table as they must be, and the
// entry's previous list as it was: the files stored so far are released
// again, and the error says so.
TEST_F(CarrierReadingTest, ErrorMidReadingRestoresEverything) {
    const std::string root = volume.string();
    rt::ScriptedSource src;
    src.addDirectory(root, 1, 1);
    src.addFile(root, "a.exe", 1, 0);
    src.addSubdirectory(root, "sub", 1, 2);
    src.addDirectory(root + "/sub", 1, 2);
    src.failAt = root + "/sub";
    cat.addExtensions({"EXE"});
    rt::makeFile(volume / "old.exe", 1);
    read(1, qv::ReadingOptions{});
    const std::vector<FileRecord> previous = rt::recordsOf(cat.session(), 1);
    ASSERT_EQ(previous.size(), 1u);
    progress = {};
    const bool softSeek = TApolloEnv::softSeek();
    const bool exact = TApolloEnv::exact();
    qv::ReadingOptions o;
    try {
        read(1, o, &src);
        ADD_FAILURE() << "no error";
    } catch (const qv::Error& e) {
        EXPECT_NE(e.text().find("bisherige Dateiliste des Eintrags ist unverändert"),
                  std::string::npos)
            << e.text();
    }
    EXPECT_EQ(TApolloEnv::softSeek(), softSeek);
    EXPECT_EQ(TApolloEnv::exact(), exact);
    EXPECT_EQ(progress.shows, 1);
    EXPECT_EQ(progress.closes, 1);
    EXPECT_FALSE(cat.session().table(CatalogueTable::Extensions).Active());
    TTable& files = cat.session().table(CatalogueTable::Files);
    EXPECT_EQ(files.state(), TTable::dsBrowse);
    EXPECT_FALSE(files.engine()->isHot());
    const std::vector<FileRecord> now = rt::recordsOf(cat.session(), 1);
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].recno, previous[0].recno);
    EXPECT_EQ(now[0].name, QStringLiteral("old.exe"));
    EXPECT_TRUE(rt::recordsOf(cat.session(), qv::kStagedEntryNumber).empty());
    EXPECT_FALSE(fs::exists(cat.dir / qv::kReadingJournalFile));
    cat.closeAll();
    EXPECT_EQ(rt::indexFaults(cat.dir), std::vector<std::string>{});
}

// The drive choice: the previous one while it is offered, else the first
// removable medium, else "/"; pseudo and system mounts are not offered.
TEST(Volumes, ChoiceAndWhatIsOffered) {
    const QList<qv::Volume> vs = {{"/", "", false, false},
                                  {"/home", "", false, false},
                                  {"/media/cd", "SPIELE", true, true},
                                  {"/media/usb", "", true, false}};
    EXPECT_EQ(qv::defaultVolume(vs), "/media/cd");
    EXPECT_EQ(qv::defaultVolume(vs, "/home"), "/home");
    EXPECT_EQ(qv::defaultVolume(vs, "/media/gone"), "/media/cd");
    EXPECT_EQ(qv::defaultVolume(vs.mid(0, 2)), "/");
    EXPECT_EQ(vs[2].displayText(), "SPIELE (/media/cd)");
    EXPECT_EQ(vs[3].displayText(), "/media/usb");
    EXPECT_TRUE(qv::isPseudoFileSystem("proc"));
    EXPECT_FALSE(qv::isPseudoFileSystem("iso9660"));
    EXPECT_TRUE(qv::isSystemMountPoint("/proc/sys/fs/binfmt_misc"));
    EXPECT_TRUE(qv::isSystemMountPoint("/run/user/1000"));
    EXPECT_FALSE(qv::isSystemMountPoint("/run/media/anna/STICK"));
    EXPECT_FALSE(qv::isSystemMountPoint("/devices"));
    for (const qv::Volume& v : qv::SystemVolumes().volumes()) {
        EXPECT_FALSE(v.mountPoint.startsWith("/proc")) << v.mountPoint.toStdString();
        EXPECT_FALSE(v.mountPoint.startsWith("/sys")) << v.mountPoint.toStdString();
    }
}

// The store tool reads and releases on the same code, and refuses a
// catalogue another program holds open.
TEST(ReadingTool, ReadReleaseAndALockedCatalogue) {
    qvtest::TempDir tmp;
    const fs::path dir = tmp / "cat";
    const fs::path volume = tmp / "vol";
    fs::create_directories(volume / "sub");
    rt::makeFile(volume / "a.txt", 1);
    rt::makeFile(volume / "sub" / "b.exe", 1);
    qvtest::createCatalogue(dir);
    qvtest::addEntries(dir, qvtest::numberedEntries(2));
    qv::addReadingCommands();
    auto run = [](std::vector<std::string> args, std::string& out, std::string& err) {
        std::istringstream in;
        std::ostringstream o, e;
        const int rc = qvdb::run(args, in, o, e);
        out = o.str();
        err = e.str();
        return rc;
    };
    std::string out, err;
    ASSERT_EQ(run({"read", dir.string(), "2", volume.string(), "--all-extensions"}, out, err), 0)
        << err;
    EXPECT_NE(out.find("Einlesen von Verzeichnis...\n"), std::string::npos) << out;
    EXPECT_NE(out.find("0 freigegeben, 2 gespeichert"), std::string::npos) << out;
    ASSERT_EQ(run({"read", dir.string(), "2", volume.string(), "--top-only", "--all-extensions"},
                  out, err),
              0);
    EXPECT_NE(out.find("Bearbeitet: 1 Datensätze\n"), std::string::npos) << out;
    // The new list is stored before the old one is released (a reading is
    // all or nothing), so the released records wait for the next reading.
    EXPECT_NE(out.find("2 freigegeben, 1 gespeichert (0 wiederverwendet)"), std::string::npos)
        << out;
    EXPECT_EQ(run({"read", dir.string(), "7", volume.string()}, out, err), 1);
    EXPECT_NE(err.find("keinen Eintrag mit der Nummer 7"), std::string::npos) << err;

    {
        rt::Catalogue open(dir, 0);  // holds the tables, as the program would
        EXPECT_EQ(run({"release", dir.string(), "2"}, out, err), 1);
        EXPECT_FALSE(err.empty());
        EXPECT_EQ(rt::recordsOf(open.session(), 2).size(), 1u);
    }
    ASSERT_EQ(run({"release", dir.string(), "2"}, out, err), 0) << err;
    EXPECT_EQ(out, "Bearbeitet: 1 Datensätze\n");

    // Readings that would store nothing are refused unless asked for: the
    // default mode with an empty extension list, an empty root for an entry
    // with files.
    EXPECT_EQ(run({"read", dir.string(), "2", volume.string()}, out, err), 1);
    EXPECT_NE(err.find("keine Einlese-Endungen"), std::string::npos) << err;
    ASSERT_EQ(run({"read", dir.string(), "2", volume.string(), "--all-extensions"}, out, err), 0);
    fs::remove_all(volume);
    fs::create_directory(volume);
    EXPECT_EQ(run({"read", dir.string(), "2", volume.string(), "--all-extensions"}, out, err), 1);
    EXPECT_NE(err.find("enthält keine Dateien; die bisherige Dateiliste (2 Dateien)"),
              std::string::npos)
        << err;
    ASSERT_EQ(run({"read", dir.string(), "2", volume.string(), "--all-extensions", "--allow-empty"},
                  out, err),
              0)
        << err;
    EXPECT_NE(out.find("2 freigegeben, 0 gespeichert"), std::string::npos) << out;
    EXPECT_EQ(rt::indexFaults(dir), std::vector<std::string>{});
}
