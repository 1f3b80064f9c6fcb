// The engine words each kind of failure one way: the same failure reads the
// same on disk and in memory, names the file, and carries its context.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "store/xbase/error.h"
#include "store/xbase/limits.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_index.h"
#include "support/testutil.h"

namespace {

template <typename Fn>
qv::Error caught(Fn&& fn) {
    try {
        fn();
    } catch (const qv::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error was raised";
    return qv::Error(qv::ErrorCode::State, "");
}

void makeTable(const std::string& path, xb::Env& env) {
    xb::TableBuilder b(path, env);
    b.addField("NAME", 'C', 10);
    b.addField("MEMO", 'M');
    b.create();
}

// Runs the same failures through one Env; returns the errors in order.
std::vector<qv::Error> failures(xb::Env& env, const std::string& dir) {
    const std::string path = dir + "w.dbf";
    makeTable(path, env);
    std::vector<qv::Error> out;
    out.push_back(
        caught([&] { xb::Table::open(dir + "fehlt.dbf", xb::OpenMode::Exclusive, env); }));
    auto t = xb::Table::open(path, xb::OpenMode::Exclusive, env);
    out.push_back(caught([&] { xb::Table::open(path, xb::OpenMode::ReadOnly, env); }));
    std::uint8_t rec[64];
    out.push_back(caught([&] { t->readRecordAt(3, rec); }));
    out.push_back(caught([&] { t->raw(7); }));
    out.push_back(caught([&] { t->index().tagName(1); }));
    t->close();
    out.push_back(caught([&] { t->goTop(); }));
    auto ro = xb::Table::open(path, xb::OpenMode::ReadOnly, env);
    out.push_back(caught([&] { ro->append(); }));
    return out;
}

TEST(EngineErrorWording, TheSameFailureReadsTheSameOnDiskAndInMemory) {
    qvtest::TempDir tmp;
    const std::string dir = tmp.path().string() + "/";
    xb::MemEnv mem;
    const std::vector<qv::Error> onDisk = failures(xb::Env::posix(), dir);
    const std::vector<qv::Error> inMemory = failures(mem, dir);
    ASSERT_EQ(onDisk.size(), inMemory.size());
    for (std::size_t i = 0; i < onDisk.size(); ++i) {
        SCOPED_TRACE("failure " + std::to_string(i));
        EXPECT_EQ(onDisk[i].text(), inMemory[i].text());
        EXPECT_EQ(onDisk[i].code(), inMemory[i].code());
        EXPECT_EQ(onDisk[i].file(), inMemory[i].file());
        EXPECT_EQ(onDisk[i].record(), inMemory[i].record());
    }

    const std::string table = dir + "w.dbf";
    const auto expect = [&](std::size_t i, qv::ErrorCode code, const std::string& text) {
        SCOPED_TRACE("failure " + std::to_string(i));
        EXPECT_EQ(inMemory[i].code(), code);
        EXPECT_EQ(inMemory[i].text(), text);
        EXPECT_FALSE(inMemory[i].file().empty());
    };
    expect(0, qv::ErrorCode::NotFound, "Die Datei " + dir + "fehlt.dbf wurde nicht gefunden");
    expect(1, qv::ErrorCode::Locked,
           "Die Datei " + table + " wird bereits von einem anderen Programm benutzt");
    expect(2, qv::ErrorCode::Range, "Die Tabelle " + table + " hat keinen Datensatz 3");
    EXPECT_EQ(inMemory[2].record(), 3);
    expect(3, qv::ErrorCode::Range, "Die Tabelle " + table + " hat kein Feld Nummer 8");
    expect(4, qv::ErrorCode::Range, "Die Tabelle " + table + " hat keinen Tag Nummer 1");
    expect(5, qv::ErrorCode::State, "Die Tabelle " + table + " ist nicht geöffnet");
    expect(6, qv::ErrorCode::State, "Die Tabelle " + table + " ist nur zum Lesen geöffnet");
}

TEST(EngineErrorWording, DamageAndLimitsNameTheFileAndWhatIsWrong) {
    xb::MemEnv env;
    makeTable("d.dbf", env);
    // A memo file cut to a few bytes: its header is incomplete.
    env.setFile("d.smt", {1, 2, 3});
    qv::Error e = caught([&] { xb::Table::open("d.dbf", xb::OpenMode::Exclusive, env); });
    EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt);
    EXPECT_EQ(e.file(), "d.smt");
    EXPECT_EQ(e.text().rfind("Die Datei d.smt ist beschädigt: ", 0), 0u) << e.text();

    // A lowered table limit: the append is refused before anything is written.
    makeTable("l.dbf", env);
    xb::FileLimitsGuard guard;
    auto t = xb::Table::open("l.dbf", xb::OpenMode::Exclusive, env);
    xb::fileLimits().tableBytes = env.fileBytes("l.dbf").size();
    const std::vector<std::uint8_t> before = env.fileBytes("l.dbf");
    t->append();
    t->replaceText(0, "X");
    e = caught([&] { t->commitRecord(); });
    EXPECT_EQ(e.code(), qv::ErrorCode::IoError);
    EXPECT_EQ(e.file(), "l.dbf");
    EXPECT_EQ(e.text().rfind("Die Tabelle l.dbf kann nicht weiter wachsen: ", 0), 0u) << e.text();
    EXPECT_EQ(env.fileBytes("l.dbf"), before);
    t->discard();
}

TEST(EngineErrorWording, FileErrorsAddTheReasonOnlyWhenThereIsOne) {
    const qv::Error plain = xb::fileError("Die Datei", "/x/a.dbf", "weiter wachsen");
    EXPECT_EQ(plain.text(), "Die Datei /x/a.dbf kann nicht weiter wachsen");
    EXPECT_EQ(plain.code(), qv::ErrorCode::IoError);
    const qv::Error reason =
        xb::fileError("Das Verzeichnis", "/x", "geöffnet werden", "Zugriff verweigert");
    EXPECT_EQ(reason.text(), "Das Verzeichnis /x kann nicht geöffnet werden: Zugriff verweigert");
    EXPECT_EQ(reason.file(), "/x");
    const qv::Error page = xb::fileDamaged("Die Indexdatei", "a.nsx", "Seite 1024", -1, 1024);
    EXPECT_EQ(page.text(), "Die Indexdatei a.nsx ist beschädigt: Seite 1024");
    EXPECT_EQ(page.page(), 1024);
    EXPECT_EQ(page.record(), -1);
}

}  // namespace
