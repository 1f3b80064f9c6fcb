// The search in all files without windows: orders, prefix search, owners,
// and the store tool's twin.
#include "search/core/filesearch.h"

#include <sstream>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "search/core/filesearchtool.h"
#include "store/dbgridmodel.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"
#include "support/testutil.h"
#include "tests/search/filesearch_catalogue.h"

namespace {

using qv::CatalogueTable;

QString field(TTable& t, const char* name) {
    return t.FieldByName(QLatin1String(name)).AsString().trimmed();
}

class FileSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::createFileSearchCatalogue(dir.path());
        dm = std::make_unique<TDM>(QString::fromStdString(dir.path().string()));
        session = std::make_unique<qv::CatalogueSession>(*dm);
        for (CatalogueTable t : qv::kTableOrder)
            dm->table(t).Open();
        session->apollo(CatalogueTable::Entries).sx_SetOrder(2);
        session->apollo(CatalogueTable::Files).sx_SetOrder(1);
    }
    void TearDown() override {
        search.reset();
        tables.reset();
    }
    void openSearch() {
        tables = std::make_unique<qv::FileSearchTables>(*session);
        search = std::make_unique<qv::FileSearch>(*session);
        search->open();
    }
    TTable& list() { return search->table(); }

    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<qv::CatalogueSession> session;
    std::unique_ptr<qv::FileSearchTables> tables;
    std::unique_ptr<qv::FileSearch> search;
};

TEST_F(FileSearchTest, NameOrderSearchesPrefixesAndKeepsTheCursorOnAMiss) {
    openSearch();
    EXPECT_TRUE(list().Active());
    EXPECT_TRUE(list().ReadOnly());
    EXPECT_FALSE(dm->table(qv::CatalogueTable::Files).Active());
    // First file in name order; the released READ0 is never listed.
    EXPECT_EQ(field(list(), "dirname"), "AUTOEXEC");
    std::vector<qv::FileHit> all = search->rowsFromHere(100);
    ASSERT_EQ(all.size(), 6u);
    for (const qv::FileHit& h : all)
        EXPECT_NE(h.owner, qv::kReleasedEntryNumber) << h.path.toStdString();

    search->setOrder(qv::FileOrder::Name);
    EXPECT_TRUE(search->search(QStringLiteral("read")));
    EXPECT_EQ(field(list(), "dirname"), "README");
    const int readme = list().RecNo();

    // Lower-case input finds the umlaut and the sharp s as stored.
    EXPECT_TRUE(search->search(QStringLiteral("maßband")));
    EXPECT_EQ(field(list(), "dirname"), QStringLiteral("Maßband"));

    ASSERT_TRUE(search->search(QStringLiteral("readme")));
    EXPECT_FALSE(search->search(QStringLiteral("readmf")));
    EXPECT_FALSE(list().Eof());
    EXPECT_EQ(list().RecNo(), readme);
    EXPECT_FALSE(search->search(QStringLiteral("zz")));
    EXPECT_EQ(list().RecNo(), readme);
}

TEST_F(FileSearchTest, CountingAheadNeitherMovesTheListNorChangesWhatSearchesFind) {
    openSearch();
    ASSERT_TRUE(search->search(QStringLiteral("read")));
    const int readme = list().RecNo();
    const std::uint64_t position = search->view().DataSet()->engine()->index().orderRecNo();
    ASSERT_GT(position, 1u);
    int calls = 0;
    while (search->countAhead())
        ASSERT_LT(++calls, qv::FileSearch::kCountSlices) << "counting does not end";
    EXPECT_EQ(calls, qv::FileSearch::kCountSlices - 1);
    EXPECT_FALSE(search->countAhead());  // counted through
    EXPECT_EQ(list().RecNo(), readme);
    EXPECT_EQ(search->view().DataSet()->engine()->index().orderRecNo(), position);
    EXPECT_TRUE(search->search(QStringLiteral("maßband")));
    EXPECT_EQ(field(list(), "dirname"), QStringLiteral("Maßband"));
    // The other order starts its own count; a closed list counts nothing.
    search->setOrder(qv::FileOrder::Extension);
    EXPECT_TRUE(search->countAhead());
    search->close();
    EXPECT_FALSE(search->countAhead());
}

TEST_F(FileSearchTest, AListOpenedAgainIsReadInPlaceByItsGrid) {
    openSearch();
    qv::DbGridModel grid(&search->view());
    const int rows = grid.rowCount();
    ASSERT_GT(rows, 2);
    const QString first = grid.data(grid.index(0, 0)).toString();
    ASSERT_TRUE(search->search(QStringLiteral("read")));
    QSignalSpy resets(&grid, &QAbstractItemModel::modelReset);
    search->close(true);
    EXPECT_EQ(grid.rowCount(), rows);  // left alone while closed
    search->open();
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(grid.rowCount(), rows);
    EXPECT_EQ(grid.currentRow(), 0);  // the first file again
    EXPECT_EQ(grid.data(grid.index(0, 0)).toString(), first);
    EXPECT_TRUE(search->search(QStringLiteral("read")));
    EXPECT_GT(grid.currentRow(), 0);
    EXPECT_EQ(grid.data(grid.index(grid.currentRow(), 0)).toString(), field(list(), "dirname"));
}

TEST_F(FileSearchTest, ExtensionOrderListsEachExtensionByName) {
    openSearch();
    search->setOrder(qv::FileOrder::Extension);
    EXPECT_EQ(field(list(), "direndung"), "BAT");  // first record of the new order
    ASSERT_TRUE(search->search(QStringLiteral("tx")));
    std::vector<qv::FileHit> txt = search->rowsFromHere(3);
    ASSERT_EQ(txt.size(), 3u);
    EXPECT_EQ(txt[0].path, QStringLiteral("/MASSE/ Maßband.txt"));
    EXPECT_EQ(txt[1].path, QStringLiteral("/ README.TXT"));
    EXPECT_EQ(txt[2].path, QStringLiteral("/ ZETA.TXT"));
    EXPECT_EQ(txt[1].owner, 1);
    EXPECT_EQ(txt[1].title, QStringLiteral("Programme CD"));
    EXPECT_EQ(txt[2].title, QStringLiteral("Musik"));
}

TEST_F(FileSearchTest, OwnerIsFoundPastAnEntryQueryButNotWhenItDoesNotExist) {
    TApollo& entries = session->apollo(CatalogueTable::Entries);
    entries.sx_Query(QStringLiteral("eindeutig=10"));
    ASSERT_EQ(entries.sx_Count(), 1);
    openSearch();

    ASSERT_TRUE(search->search(QStringLiteral("readme")));
    qv::FileOwner o = search->owner();
    EXPECT_TRUE(o.found);
    EXPECT_EQ(o.number, 1);
    EXPECT_EQ(o.title, QStringLiteral("Programme CD"));
    EXPECT_EQ(o.category, QStringLiteral("Software"));
    EXPECT_EQ(o.carrierType, QStringLiteral("CD-ROM"));
    EXPECT_EQ(o.carriers, 2);
    EXPECT_EQ(o.boxAndDisk(), QStringLiteral("12 / 3"));

    ASSERT_TRUE(search->search(QStringLiteral("zeta")));
    EXPECT_EQ(search->owner().title, QStringLiteral("Musik"));

    ASSERT_TRUE(search->search(QStringLiteral("orphan")));
    o = search->owner();
    EXPECT_FALSE(o.found);
    EXPECT_TRUE(o.title.isEmpty());
    EXPECT_TRUE(o.boxAndDisk().isEmpty());

    // The subset is still in force.
    search->close();
    EXPECT_EQ(entries.sx_Count(), 1);
}

TEST_F(FileSearchTest, HandingBackReopensTheFileTableInItsFirstTag) {
    session->apollo(CatalogueTable::Files).sx_SetOrder(3);
    openSearch();
    search.reset();
    tables.reset();
    EXPECT_FALSE(dm->tbl_recherche2->Active());
    ASSERT_TRUE(dm->table(qv::CatalogueTable::Files).Active());
    EXPECT_EQ(session->apollo(CatalogueTable::Files).sx_IndexOrd(), 1);
}

TEST(FileSearchEmptyTest, AnEmptyFileTableGivesAnEmptyList) {
    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), qvtest::numberedEntries(2));
    // Only a released file record.
    qvtest::addFiles(dir.path(), {{qv::kReleasedEntryNumber, QStringLiteral("/ A.TXT"),
                                   QStringLiteral("A"), QStringLiteral("TXT"), 1}});
    TDM dm(QString::fromStdString(dir.path().string()));
    qv::CatalogueSession session(dm);
    for (CatalogueTable t : qv::kTableOrder)
        dm.table(t).Open();
    qv::FileSearchTables tables(session);
    qv::FileSearch search(session);
    search.open();
    EXPECT_TRUE(search.table().Eof());
    EXPECT_FALSE(search.search(QStringLiteral("a")));
    EXPECT_TRUE(search.table().Eof());
    EXPECT_FALSE(search.owner().found);
    EXPECT_TRUE(search.rowsFromHere(5).empty());
    search.setOrder(qv::FileOrder::Extension);
    EXPECT_FALSE(search.search(QStringLiteral("TXT")));
}

class FindCommandTest : public ::testing::Test {
  protected:
    void SetUp() override { qvtest::createFileSearchCatalogue(dir.path()); }
    int find(std::vector<std::string> args) {
        args.insert(args.begin(), dir.path().string());
        out.str({});
        err.str({});
        return qv::runFindCommand(args, out, err);
    }
    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::ostringstream out, err;
};

TEST_F(FindCommandTest, PrintsTheRowsFromTheFileFound) {
    EXPECT_EQ(find({"--name", "read"}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "found\n"
              "1\tProgramme CD\t/ README.TXT\n"
              "1\tProgramme CD\t/TOOLS/ SETUP.EXE\n"
              "10\tMusik\t/ ZETA.TXT\n");

    EXPECT_EQ(find({"--ext", "tx", "--limit", "2"}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "found\n"
              "2\tWerkzeug & Maße\t/MASSE/ Maßband.txt\n"
              "1\tProgramme CD\t/ README.TXT\n");

    EXPECT_EQ(find({"--name", "orphan", "--limit", "1"}), 0);
    EXPECT_EQ(out.str(), "found\n777\t\t/ ORPHAN.DAT\n");

    EXPECT_EQ(find({"--name", "read0"}), 0);
    EXPECT_EQ(out.str(), "notfound\n");
}

TEST_F(FindCommandTest, RefusesAWrongCall) {
    EXPECT_EQ(find({"read"}), 1);
    EXPECT_NE(err.str().find("Aufruf"), std::string::npos);
    EXPECT_EQ(find({"--name", "a", "--limit", "x"}), 1);
    EXPECT_TRUE(out.str().empty());
}

}  // namespace
