// The reorganisation: packs, index rebuild, its texts and progress, an error
// on the way, and a reorganisation killed at any moment.
#include "catalogue/reorganisation.h"

#include <QElapsedTimer>
#include <QProcess>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue_test_util.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using cattest::Catalogue;
using cattest::RecordingIntro;
using qv::CatalogueTable;

namespace {

const QStringList kPackTexts = {
    "1.Grunddaten verdichten", "2.Zusatzdateien verdichten",  "3. Dateiendungen verdichten",
    "4.Kategorien verdichten", "5.Datenträgerart verdichten", "6.Adressen verdichten",
};

class ReorganisationTest : public ::testing::Test {
  protected:
    void TearDown() override { xb::setGaugeHook({}); }

    // Opens the catalogue as the start of the program does.
    void start() {
        cat = std::make_unique<Catalogue>(dir.path());
        RecordingIntro startIntro;
        ASSERT_TRUE(qv::checkCatalogue(*cat->dm, *cat->access, startIntro, noFatal()));
        cat->access->reattach();
    }
    bool reorganise() { return qv::reorganiseCatalogue(*cat->dm, *cat->access, intro, noFatal()); }
    qv::FatalMessage noFatal() {
        return [](const QString& t) { ADD_FAILURE() << t.toStdString(); };
    }
    int recordsInFile(CatalogueTable t) {
        return static_cast<int>(
            xb::Table::open(cattest::dataFile(dir.path(), t).string(), xb::OpenMode::ReadOnly)
                ->recCount());
    }

    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::unique_ptr<Catalogue> cat;
    RecordingIntro intro;
};

TEST_F(ReorganisationTest, PacksEveryTableAndBuildsEveryIndexAgain) {
    cattest::copyFixtureCatalogue(dir.path());
    const auto original = cattest::unflaggedCatalogue(dir.path());
    // The fixture has flagged records in every table, released file records
    // and the two address placeholders.
    for (CatalogueTable t : qv::kTableOrder)
        ASSERT_LT(original.at(qv::catalogueTable(t).dataFile.toStdString()).size(),
                  static_cast<std::size_t>(recordsInFile(t)));
    const auto& files = original.at("_qvdir.dbf");
    ASSERT_GT(std::count_if(files.begin(), files.end(),
                            [](const std::string& r) { return r.rfind("99999999|", 0) == 0; }),
              0);
    start();

    ASSERT_TRUE(reorganise());
    QStringList expected = {"status Reorg:", "text Datenbank schließen, Index löschen",
                            "show",          "steps 1",
                            "step 0",        "gauge on"};
    for (const QString& t : kPackTexts)
        expected << "text " + t;
    EXPECT_EQ(intro.log.mid(0, expected.size()), expected);
    EXPECT_EQ(intro.linesStartingWith("text ").mid(expected.size() - 5),
              (QStringList{"Indexdatei Dateien ...", "Indexdatei Endungen ...",
                           "Indexdatei Kategorien ...", "Indexdatei Datenträgerarten ...",
                           "Indexdatei Adressen ...", "Indexdatei Datenträger ..."}));
    EXPECT_EQ(intro.log.back(), QStringLiteral("close"));
    // The bar runs from 0 to 100 for every pack.
    for (const QString& t : kPackTexts) {
        const std::vector<int>& v = intro.values[t];
        ASSERT_FALSE(v.empty()) << t.toStdString();
        EXPECT_EQ(v.front(), 0) << t.toStdString();
        EXPECT_EQ(v.back(), 100) << t.toStdString();
        EXPECT_TRUE(std::is_sorted(v.begin(), v.end())) << t.toStdString();
    }
    for (CatalogueTable t : qv::kTableOrder) {
        EXPECT_TRUE(cat->dm->table(t).Active());
        EXPECT_FALSE(cat->access->view(t).ControlsDisabled());
    }
    // The flagged entries left the unconditioned tags too.
    {
        xb::SettingsGuard all;
        xb::settings().deleted = false;
        TApollo& a = cat->access->apollo(CatalogueTable::Entries);
        for (int position : {6, 7, 8, 9}) {
            a.sx_SetOrder(position);
            EXPECT_EQ(a.sx_Count(), 57) << position;
        }
    }
    cat.reset();
    // Exactly the unflagged records remain, in their order with their values
    // (released file records and both address placeholders among them).
    EXPECT_EQ(cattest::unflaggedCatalogue(dir.path()), original);
    for (CatalogueTable t : qv::kTableOrder)
        EXPECT_EQ(static_cast<std::size_t>(recordsInFile(t)),
                  original.at(qv::catalogueTable(t).dataFile.toStdString()).size());
    EXPECT_NE(original.at("_verleih.dbf")[0].find("< Kein Eintrag >"), std::string::npos);
    EXPECT_EQ(original.at("_verleih.dbf")[1].substr(0, 6), "99999|");
    EXPECT_TRUE(cattest::checkFaults(dir.path()).empty());
}

TEST_F(ReorganisationTest, AnEmptyCatalogueReorganises) {
    start();
    ASSERT_TRUE(reorganise());
    EXPECT_EQ(cat->dm->table(qv::CatalogueTable::Addresses).RecordCount(), 2);
    EXPECT_EQ(cat->dm->table(qv::CatalogueTable::Entries).RecordCount(), 0);
    cat.reset();
    EXPECT_TRUE(cattest::checkFaults(dir.path()).empty());
}

TEST_F(ReorganisationTest, AnErrorStopsTheRemainingStepsAndTheNextStartRepairs) {
    cattest::copyFixtureCatalogue(dir.path());
    start();
    const auto dataBefore = cattest::filesOf(dir.path());
    // An index file that cannot be deleted: a directory took its place.
    const fs::path blocked = cattest::indexFile(dir.path(), CatalogueTable::Categories);
    fs::remove(blocked);
    fs::create_directories(blocked / "inhalt");

    try {
        reorganise();
        ADD_FAILURE() << "the reorganisation went through";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::IoError);
        EXPECT_EQ(e.file(), blocked.string());
    }
    EXPECT_EQ(intro.log.back(), QStringLiteral("close"));
    EXPECT_TRUE(intro.linesStartingWith("text ").filter("verdichten").isEmpty());
    // The index files after the failure stay; the next start repairs the
    // ones the failed steps took away.
    for (CatalogueTable t : {CatalogueTable::CarrierTypes, CatalogueTable::Addresses})
        EXPECT_TRUE(fs::exists(cattest::indexFile(dir.path(), t)));
    cat.reset();

    fs::remove_all(blocked);
    cat = std::make_unique<Catalogue>(dir.path());
    ASSERT_TRUE(qv::checkCatalogue(*cat->dm, *cat->access, intro, noFatal()));
    cat.reset();
    for (CatalogueTable t : qv::kTableOrder) {
        const std::string name = qv::catalogueTable(t).dataFile.toStdString();
        EXPECT_EQ(qvtest::readFile(dir / name), dataBefore.at(name)) << name;
    }
    EXPECT_TRUE(cattest::checkFaults(dir.path()).empty());
}

// A reorganisation stopped by a full disk at different amounts of room: it
// says so, and the files as they are, before any restart, are a sound
// catalogue that lost no record that was not flagged.
TEST_F(ReorganisationTest, AFullDiskStopsItWithTheFilesSoundBeforeAnyRestart) {
    qvtest::TempDir base;
    cattest::copyFixtureCatalogue(base.path());
    const auto original = cattest::unflaggedCatalogue(base.path());
    // Files may grow to `limit` bytes and no further: the packs of the
    // larger tables and their index builds run out of room.
    qvtest::TempDir reference;
    for (const std::uintmax_t limit : {1024u, 8192u, 65536u}) {
        SCOPED_TRACE("files up to " + std::to_string(limit) + " bytes");
        fs::remove_all(dir.path());
        fs::create_directories(dir.path());
        qvtest::copyDirFiles(base.path(), dir.path());
        start();
        bool failed = false;
        {
            qvtest::FullDisk full(reference.path(), limit);
            try {
                reorganise();
            } catch (const qv::Error& e) {
                failed = true;
                EXPECT_NE(e.text().find("der Datenbestand ist wieder geöffnet"), std::string::npos)
                    << e.text();
            }
        }
        EXPECT_TRUE(failed);
        cat.reset();
        EXPECT_EQ(cattest::checkFaults(dir.path()), std::vector<std::string>{});
        EXPECT_EQ(cattest::unflaggedCatalogue(dir.path()), original);
    }
}

// A reorganisation (the store tool's, the same steps as the window's) killed
// at random moments: the next start-up check opens the catalogue, every index
// is sound, and every record that was not flagged is still there.
TEST_F(ReorganisationTest, AReorganisationKilledAtAnyMomentLosesNoUnflaggedRecord) {
    const QString qvdb = QString::fromStdString((qvtest::binDir() / "qvdb").string());
    ASSERT_TRUE(fs::exists(qvdb.toStdString()));
    ASSERT_FALSE(qvtest::largeFixture().empty());
    // The fixture catalogue with the large file table, so that the packs and
    // builds take a while.
    qvtest::TempDir base;
    cattest::copyFixtureCatalogue(base.path());
    for (const char* ext : {".dbf", ".nsx", ".smt"})
        fs::copy_file(qvtest::largeFixture() / (std::string("_qvdir") + ext),
                      base / (std::string("_qvdir") + ext), fs::copy_options::overwrite_existing);
    const auto original = cattest::unflaggedCatalogue(base.path());

    auto fresh = [&] {
        fs::remove_all(dir.path());
        fs::create_directories(dir.path());
        qvtest::copyDirFiles(base.path(), dir.path());
    };
    auto runReorg = [&](QProcess& p) {
        p.start(qvdb, {"reorg", QString::fromStdString(dir.path().string())});
        ASSERT_TRUE(p.waitForStarted());
    };

    fresh();
    QElapsedTimer clock;
    clock.start();
    {
        QProcess p;
        runReorg(p);
        ASSERT_TRUE(p.waitForFinished(120000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
    const qint64 fullUs = clock.nsecsElapsed() / 1000;
    EXPECT_EQ(cattest::unflaggedCatalogue(dir.path()), original);

    std::mt19937_64 rng(qvtest::testSeed());
    const int kRuns = 12;
    for (int i = 0; i < kRuns; ++i) {
        fresh();
        const qint64 delayUs =
            fullUs * i / kRuns +
            static_cast<qint64>(rng() % static_cast<std::uint64_t>(fullUs / kRuns + 1));
        SCOPED_TRACE("killed after " + std::to_string(delayUs) + " us of " +
                     std::to_string(fullUs));
        QProcess p;
        runReorg(p);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        p.kill();
        ASSERT_TRUE(p.waitForFinished(120000));

        cat = std::make_unique<Catalogue>(dir.path());
        RecordingIntro startIntro;
        ASSERT_TRUE(qv::checkCatalogue(*cat->dm, *cat->access, startIntro, noFatal()));
        cat.reset();
        EXPECT_EQ(cattest::checkFaults(dir.path()), std::vector<std::string>{});
        EXPECT_EQ(cattest::unflaggedCatalogue(dir.path()), original);
    }
}

}  // namespace
