// The three statistics as operations on a catalogue, and qvdb stats.
#include "statistics/core/statistics.h"

#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/qvdb.h"
#include "catalogue/settingslist.h"
#include "search/core/entryquery.h"
#include "statrows.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/xbase/error.h"
#include "support/recordingprogress.h"
#include "support/testutil.h"

namespace {

using qv::CatalogueTable;

class StatisticsOnCatalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::createStatCatalogue(dir.path());
        dm = std::make_unique<TDM>(QString::fromStdString(dir.path().string()));
        session = std::make_unique<qv::CatalogueSession>(*dm);
        entries().Open();
        session->apollo(CatalogueTable::Entries)
            .sx_SetOrder(qv::tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
        entries().setRecNo(3);  // "C" is the current entry
    }
    TTable& entries() { return session->table(CatalogueTable::Entries); }
    std::map<QString, int> storedCounts() {
        std::map<QString, int> out;
        TTable& c = session->table(CatalogueTable::Categories);
        for (c.First(); !c.Eof(); c.Next())
            out[c.FieldByName("KATEGO").AsString().trimmed()] = c.FieldByName("ANZAHL").AsInteger();
        return out;
    }
    // The list as the statistics found it: same entry, views live.
    void expectListUntouched() {
        EXPECT_EQ(entries().RecNo(), 3);
        EXPECT_EQ(session->view(CatalogueTable::Entries).suspendCount(), 0);
        EXPECT_EQ(session->view(CatalogueTable::Files).suspendCount(), 0);
    }

    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<qv::CatalogueSession> session;
    qvtest::RecordingProgress display;
};

TEST_F(StatisticsOnCatalogue, EveryListedEntryCounts) {
    EXPECT_EQ(qv::countCarriers(*session, display), 15);
    EXPECT_EQ(display.lines1.front(),
              QStringLiteral("Statistik: Anzahl Datenträger wird berechnet ....."));
    EXPECT_EQ(display.shows, 1);
    EXPECT_FALSE(display.visible);
    expectListUntouched();

    // "x", "X" and any other non-blank count; " " does not.
    const qv::StatusCounts s = qv::countStatusFlags(*session, display);
    EXPECT_EQ(s.read, 5);
    EXPECT_EQ(s.perFlag, (std::array<int, 12>{3, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_FALSE(display.visible);
    expectListUntouched();
    EXPECT_EQ(qv::statusCountText(QStringLiteral("Installiert"), 5),
              QStringLiteral("Installiert:        5"));

    // Spiele, SPIELE and spiele are one category; "Unbekannt" is handled but
    // counts nowhere; the stale counts are gone.
    display = qvtest::RecordingProgress();
    EXPECT_EQ(qv::countEntriesPerCategory(*session, display), 5);
    EXPECT_EQ(display.lines2.front(), QStringLiteral("Kategorien zurücksetzen"));
    EXPECT_TRUE(session->table(CatalogueTable::Categories).Active());
    EXPECT_EQ(session->table(CatalogueTable::Categories).RecNo(), 2);  // "Büro" heads the tag
    const std::map<QString, int> expected = {{"Büro", 1}, {"Leer", 0}, {"Spiele", 3}};
    EXPECT_EQ(storedCounts(), expected);
    expectListUntouched();
    EXPECT_EQ(session->view(CatalogueTable::Categories).suspendCount(), 0);
    qv::closeCategoryTable(*session);
    EXPECT_FALSE(session->table(CatalogueTable::Categories).Active());

    // A second run gives the same counts.
    qv::countEntriesPerCategory(*session, display);
    EXPECT_EQ(storedCounts(), expected);
    qv::closeCategoryTable(*session);
}

TEST_F(StatisticsOnCatalogue, OnlyTheSubsetCountsWhileAQueryIsInForce) {
    qv::QueryCriteria c;
    c.category = QStringLiteral("SPIELE");
    {
        qv::ScopedProgress progress(display);
        qv::installEntryQuery(*session, qv::buildQueryExpression(c), progress);
    }
    entries().setRecNo(3);
    EXPECT_EQ(qv::countCarriers(*session, display), 6);
    EXPECT_EQ(qv::countStatusFlags(*session, display).perFlag[0], 2);
    qv::countEntriesPerCategory(*session, display);
    const std::map<QString, int> expected = {{"Büro", 0}, {"Leer", 0}, {"Spiele", 3}};
    EXPECT_EQ(storedCounts(), expected);
    qv::closeCategoryTable(*session);
    expectListUntouched();
    EXPECT_EQ(session->apollo(CatalogueTable::Entries).sx_Count(), 3);  // the subset stays
}

TEST_F(StatisticsOnCatalogue, AnErrorLeavesTheListAndClosesTheCategories) {
    // The category table cannot be opened: the run stops with everything restored.
    std::filesystem::remove(dir.path() / "_katego.dbf");
    EXPECT_THROW(qv::countEntriesPerCategory(*session, display), qv::Error);
    EXPECT_FALSE(display.visible);
    EXPECT_FALSE(session->table(CatalogueTable::Categories).Active());
    expectListUntouched();
}

TEST(StatisticsTool, PrintsTheThreeStatistics) {
    qvtest::TempDir dir;
    qvtest::createStatCatalogue(dir.path());
    qv::addStatisticsToolCommand();
    std::istringstream in;
    std::ostringstream out, err;
    ASSERT_EQ(qvdb::run({"stats", dir.path().string()}, in, out, err), 0) << err.str();
    std::string expected = "carriers\t15\n";
    const std::array<int, 12> flags = {3, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const QStringList& names = qv::SettingsList::defaultLines();
    for (int k = 1; k <= 12; ++k)
        expected += "status\t" + std::to_string(k) + "\t" + names.at(k).toStdString() + "\t" +
                    std::to_string(flags[std::size_t(k - 1)]) + "\n";
    expected += "category\tBüro\t1\ncategory\tLeer\t0\ncategory\tSpiele\t3\n";
    EXPECT_EQ(out.str(), expected);
    // The default names were used, not written.
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "_qvdisk.ini"));

    // A settings file of fewer than 13 lines is refused.
    std::ofstream(dir.path() / "_qvdisk.ini") << "kopf\r\neins\r\nzwei\r\n";
    out.str({});
    err.str({});
    EXPECT_EQ(qvdb::run({"stats", dir.path().string()}, in, out, err), 1);
    EXPECT_NE(err.str().find("Listenindex"), std::string::npos) << err.str();
}

}  // namespace
