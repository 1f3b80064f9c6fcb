#include "catalogue/settingslist.h"

#include <QFile>
#include <filesystem>
#include <functional>
#include <string>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "store/xbase/error.h"
#include "support/testutil.h"
#include "uitestutil.h"

namespace fs = std::filesystem;
using qv::SettingsList;

namespace {

// Lines 1 to 18 of a new settings file, as they must be on disk.
const std::string kDefaultTail =
    "32 Bit Windows-Programm (Win95/NT)\r\n"
    "16 Bit Windows-Programm\r\n"
    "DOS-Programm\r\n"
    "Vollversion-Originaldatentr\xe4ger\r\n"
    "Vollversion-Sicherheitskopie\r\n"
    "\"externe Sicherheitskopie\"\r\n"
    "Shareware\r\n"
    "Freeware\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "[Etikett-Definition]\r\n"
    "3\r\n"
    "0\r\n"
    "0\r\n"
    "42\r\n"
    "0\r\n";

QString dirOf(const qvtest::TempDir& t) {
    return QString::fromStdString(t.path().string());
}

std::string fileText(const fs::path& p) {
    auto b = qvtest::readFile(p);
    return std::string(b.begin(), b.end());
}

// Runs `f`, which must raise a qv::Error, and returns it.
template <class F>
qv::Error errorOf(F&& f) {
    try {
        f();
    } catch (const qv::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no qv::Error was raised";
    return qv::Error(qv::ErrorCode::State, "");
}

TEST(SettingsList, FirstStartWritesTheNineteenDefaultLines) {
    qvtest::TempDir dir;
    SettingsList list;
    list.load(dirOf(dir));

    const std::string text = fileText(dir / "_qvdisk.ini");
    const auto firstBreak = text.find("\r\n");
    ASSERT_NE(firstBreak, std::string::npos);
    const std::string banner = text.substr(0, firstBreak);
    EXPECT_EQ(banner.rfind("3.000", 0), 0u) << banner;
    EXPECT_GT(banner.size(), 6u) << "the banner names the program after 3.000";
    EXPECT_EQ(text.substr(firstBreak + 2), kDefaultTail);

    ASSERT_EQ(list.count(), 19);
    EXPECT_EQ(list.line(4), QStringLiteral("Vollversion-Originaldatenträger"));
    for (int i = 9; i <= 12; ++i)
        EXPECT_TRUE(list.line(i).isEmpty()) << i;
    EXPECT_EQ(list.lineAsInt(17), 42);
    EXPECT_TRUE(list.entryDialogNotice());
    EXPECT_TRUE(list.mainWindowNotice());
}

TEST(SettingsList, LoadingAnExistingFileLeavesItUntouched) {
    qvtest::TempDir dir;
    const fs::path file = dir / "_qvdisk.ini";
    // Written by hand with LF line ends and no final line break.
    qvtest::writeFile(file, qvtest::bytesOf("3.000 alt\nStatus A\n\nStatus C\n[x]\n1\n2\n3\n4\n5"));
    qvtest::ageFile(file);
    const auto before = qvtest::FileSnapshot::of(file);

    SettingsList list;
    list.load(dirOf(dir));

    EXPECT_TRUE(qvtest::FileSnapshot::of(file) == before);
    ASSERT_EQ(list.count(), 10);
    EXPECT_EQ(list.line(1), QStringLiteral("Status A"));
    EXPECT_EQ(list.line(2), QString());
    EXPECT_EQ(list.line(9), QStringLiteral("5"));
    EXPECT_TRUE(list.mainWindowNotice());
}

TEST(SettingsList, LineEndsAndEmptyLines) {
    struct Case {
        const char* name;
        std::string bytes;
        QStringList lines;
    };
    const std::vector<Case> cases = {
        {"empty file", "", {}},
        {"one empty line", "\r\n", {QString()}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"LF", "a\nb\n", {"a", "b"}},
        {"no final break", "a\r\nb", {"a", "b"}},
        {"CR alone", "a\rb\r", {"a", "b"}},
        {"empty lines kept", "a\n\n\nb\n", {"a", "", "", "b"}},
        {"trailing empty line", "a\r\n\r\n", {"a", ""}},
        {"mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"code page", "\xe4\xf6\xfc\xdf \x80", {QStringLiteral("äöüß €")}},
        {"blanks kept", "  x  \r\n", {"  x  "}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SettingsList::parse(QByteArray::fromStdString(c.bytes)), c.lines) << c.name;
    }
}

TEST(SettingsList, WritesWindows1252WithCrLf) {
    EXPECT_EQ(SettingsList::serialize({QStringLiteral("Größe €"), QString(), QStringLiteral("x")}),
              QByteArray("Gr\xf6\xdf"
                         "e \x80\r\n\r\nx\r\n"));
    // A character outside the code page cannot be stored as itself.
    EXPECT_EQ(SettingsList::serialize({QStringLiteral("\u0416")}), QByteArray("?\r\n"));
}

TEST(SettingsList, HandEditedLine13StillWorks) {
    qvtest::TempDir dir;
    std::string text = "3.000\r\n";
    for (int i = 1; i <= 12; ++i)
        text += "Status " + std::to_string(i) + "\r\n";
    text += "Etiketten von Hand\r\n4\r\n5\r\n6\r\n38\r\n7\r\n";
    qvtest::writeFile(dir / "_qvdisk.ini", qvtest::bytesOf(text));

    SettingsList list;
    list.load(dirOf(dir));
    EXPECT_EQ(list.lineAsInt(14), 4);
    EXPECT_EQ(list.lineAsInt(15), 5);
    EXPECT_EQ(list.lineAsInt(16), 6);
    EXPECT_EQ(list.lineAsInt(17), 38);
    EXPECT_EQ(list.lineAsInt(18), 7);

    list.replace(17, QStringLiteral("50"));
    list.save();
    std::string expected = text;
    expected.replace(expected.find("38\r\n"), 4, "50\r\n");
    EXPECT_EQ(fileText(dir / "_qvdisk.ini"), expected);
}

TEST(SettingsList, StatusName6KeepsItsQuotes) {
    qvtest::TempDir dir;
    {
        SettingsList list;
        list.load(dirOf(dir));
        EXPECT_EQ(list.line(6), QStringLiteral("\"externe Sicherheitskopie\""));
        list.replace(7, QStringLiteral("Share\"ware\""));
        list.save();
    }
    SettingsList again;
    again.load(dirOf(dir));
    EXPECT_EQ(again.line(6), QStringLiteral("\"externe Sicherheitskopie\""));
    EXPECT_EQ(again.line(7), QStringLiteral("Share\"ware\""));
}

TEST(SettingsList, AMissingLineRaisesTheListError) {
    qvtest::TempDir dir;
    qvtest::writeFile(dir / "_qvdisk.ini",
                      qvtest::bytesOf("3.000\r\nA\r\nB\r\nC\r\nD\r\nE\r\nF\r\nG\r\nH\r\nI\r\n"));
    SettingsList list;
    list.load(dirOf(dir));
    ASSERT_EQ(list.count(), 10);
    EXPECT_EQ(list.line(9), QStringLiteral("I"));

    for (int i : {10, 12, 14, 18, -1}) {
        qv::Error e = errorOf([&] { list.line(i); });
        EXPECT_EQ(e.code(), qv::ErrorCode::Range) << i;
        EXPECT_EQ(e.text(), "Listenindex außerhalb des zulässigen Bereichs") << i;
    }
    qv::Error e = errorOf([&] { list.replace(12, QStringLiteral("neu")); });
    EXPECT_EQ(e.text(), "Listenindex außerhalb des zulässigen Bereichs");
    EXPECT_EQ(list.count(), 10) << "a failed replace adds no line";
    errorOf([&] { list.lineAsInt(14); });
}

TEST(SettingsList, ANonNumericNumberLineRaisesTheConversionError) {
    qvtest::TempDir dir;
    SettingsList list;
    list.load(dirOf(dir));
    list.replace(14, QStringLiteral("drei"));
    qv::Error e = errorOf([&] { list.lineAsInt(14); });
    EXPECT_EQ(e.code(), qv::ErrorCode::Conversion);
    EXPECT_EQ(e.text(), "'drei' ist kein gültiger Integerwert");

    list.replace(18, QString());
    EXPECT_EQ(errorOf([&] { list.lineAsInt(18); }).text(), "'' ist kein gültiger Integerwert");
}

TEST(SettingsList, SaveRewritesEveryOtherLineUnchanged) {
    qvtest::TempDir dir;
    const fs::path file = dir / "_qvdisk.ini";
    SettingsList list;
    list.load(dirOf(dir));
    std::string expected = fileText(file);

    list.clearEntryDialogNotice();
    list.clearMainWindowNotice();
    list.replace(9, QStringLiteral("Installiert (Zürich)"));
    list.save();

    // Line 9 is the first of the four empty lines after "Freeware".
    const std::string marker = "Freeware\r\n";
    expected.insert(expected.find(marker) + marker.size(), "Installiert (Z\xfcrich)");
    EXPECT_EQ(fileText(file), expected);
    EXPECT_TRUE(list.entryDialogNotice());
    EXPECT_TRUE(list.mainWindowNotice());

    // Only the settings file is left in the directory: no temporary file.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"_qvdisk.ini"});
}

TEST(SettingsList, NoticesAreSetByLoadAndSaveAndClearedSeparately) {
    qvtest::TempDir dir;
    SettingsList list;
    EXPECT_FALSE(list.entryDialogNotice());
    EXPECT_FALSE(list.mainWindowNotice());
    list.load(dirOf(dir));
    EXPECT_TRUE(list.entryDialogNotice());
    list.clearEntryDialogNotice();
    EXPECT_FALSE(list.entryDialogNotice());
    EXPECT_TRUE(list.mainWindowNotice()) << "the two notices are independent";
    list.save();
    EXPECT_TRUE(list.entryDialogNotice());
}

TEST(SettingsList, FailedSaveWhenTheDirectoryIsGone) {
    qvtest::TempDir root;
    const fs::path a = root / "a";
    const fs::path b = root / "b";
    fs::create_directory(a);
    SettingsList list;
    list.load(QString::fromStdString(a.string()));
    fs::rename(a, b);
    const auto before = qvtest::FileSnapshot::of(b / "_qvdisk.ini");
    list.clearEntryDialogNotice();

    list.replace(1, QStringLiteral("Neu"));
    qv::Error e = errorOf([&] { list.save(); });
    EXPECT_EQ(e.code(), qv::ErrorCode::IoError);
    EXPECT_NE(e.text().find("Die Einstellungsdatei " + (a / "_qvdisk.ini").string() +
                            " kann nicht geschrieben werden"),
              std::string::npos)
        << e.text();
    EXPECT_EQ(list.line(1), QStringLiteral("Neu")) << "the new value stays in memory";
    EXPECT_FALSE(list.entryDialogNotice()) << "a failed save sets no notice";
    EXPECT_TRUE(qvtest::FileSnapshot::of(b / "_qvdisk.ini") == before);
    EXPECT_FALSE(fs::exists(a));
}

// A disk that fills up during the save: the file size limit makes the write
// of the new text fail part-way, for every user.
TEST(SettingsList, FailedWriteLeavesTheOldFileIntact) {
    qvtest::TempDir dir;
    const fs::path file = dir / "_qvdisk.ini";
    SettingsList list;
    list.load(dirOf(dir));
    qvtest::ageFile(file);
    const auto before = qvtest::FileSnapshot::of(file);
    const QString longName(400, QLatin1Char('x'));
    list.replace(10, longName);

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    std::string text;
    try {
        list.save();
    } catch (const qv::Error& e) {
        raised = true;
        text = e.text();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(raised);
    EXPECT_NE(text.find("kann nicht geschrieben werden"), std::string::npos) << text;
    EXPECT_TRUE(qvtest::FileSnapshot::of(file) == before);
    EXPECT_EQ(list.line(10), longName);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"_qvdisk.ini"}) << "no temporary file is left";
}

// Runs `check` in a child process as an ordinary user (root ignores write
// protection) and returns its exit code: 0 when every check held.
int runUnprivileged(const fs::path& dir, const std::function<int()>& check) {
    if (geteuid() == 0 && chown(dir.c_str(), 65534, 65534) != 0) return 100;
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(101);
        _exit(check());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 102;
}

// 0 when saving `list` raises a qv::Error containing `reason`, leaves the
// file as it was and keeps the new value in memory.
int expectFailedSave(SettingsList& list, const fs::path& file, const std::string& reason) {
    const auto before = qvtest::FileSnapshot::of(file);
    list.replace(2, QStringLiteral("Neu"));
    try {
        list.save();
        return 1;
    } catch (const qv::Error& e) {
        if (e.text().find("kann nicht geschrieben werden: " + reason) == std::string::npos)
            return 2;
    }
    if (!(qvtest::FileSnapshot::of(file) == before)) return 3;
    if (list.line(2) != QStringLiteral("Neu")) return 4;
    return 0;
}

TEST(SettingsList, FailedSaveOfAWriteProtectedFile) {
    qvtest::TempDir dir;
    EXPECT_EQ(runUnprivileged(dir.path(),
                              [&] {
                                  SettingsList list;
                                  list.load(dirOf(dir));
                                  fs::permissions(dir / "_qvdisk.ini", fs::perms::owner_read);
                                  return expectFailedSave(list, dir / "_qvdisk.ini",
                                                          "die Datei ist schreibgeschützt");
                              }),
              0);
}

TEST(SettingsList, FailedSaveInAWriteProtectedDirectory) {
    qvtest::TempDir dir;
    EXPECT_EQ(runUnprivileged(dir.path(),
                              [&] {
                                  SettingsList list;
                                  list.load(dirOf(dir));
                                  fs::permissions(dir.path(),
                                                  fs::perms::owner_read | fs::perms::owner_exec);
                                  const int r = expectFailedSave(list, dir / "_qvdisk.ini",
                                                                 "keine Berechtigung");
                                  fs::permissions(dir.path(), fs::perms::owner_all);
                                  return r;
                              }),
              0);
}

TEST(SettingsList, AFileThatCannotBeReadRaisesAnError) {
    qvtest::TempDir dir;
    fs::create_directory(dir / "_qvdisk.ini");
    SettingsList list;
    qv::Error e = errorOf([&] { list.load(dirOf(dir)); });
    EXPECT_EQ(e.code(), qv::ErrorCode::IoError);
    EXPECT_NE(e.text().find("kann nicht gelesen werden"), std::string::npos) << e.text();
    EXPECT_FALSE(list.isLoaded());
}

TEST(SettingsList, ReleaseFreesTheListWithoutWriting) {
    qvtest::TempDir dir;
    const fs::path file = dir / "_qvdisk.ini";
    SettingsList list;
    list.load(dirOf(dir));
    qvtest::ageFile(file);
    const auto before = qvtest::FileSnapshot::of(file);
    list.replace(1, QStringLiteral("geändert"));
    list.release();
    EXPECT_TRUE(qvtest::FileSnapshot::of(file) == before);
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(list.isLoaded());
    errorOf([&] { list.line(1); });
}

}  // namespace
