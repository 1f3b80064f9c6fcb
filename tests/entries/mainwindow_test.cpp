// The main window on real catalogues: the entry list in its orders, the
// lower panel for the entry under the cursor, the counters, and what an error
// in a refresh leaves behind.
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTest>

#include <fstream>

#include <gtest/gtest.h>

#include <QToolButton>
#include "catalogue/cataloguesession.h"
#include "entries/ui/mainform.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "support/mainformparts.h"
#include "support/mainwindow.h"
#include "support/testutil.h"
#include "ui/command.h"
#include "ui/dbgrid.h"
#include "ui/dbnavigator.h"

using qv::CatalogueTable;
using qvtest::EntryRow;
using qvtest::FileRow;
using qvtest::MainWindowHarness;

namespace {

QStringList columns(qv::DbGrid* grid) {
    QStringList out;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        out << grid->model()->headerData(c, Qt::Horizontal).toString();
    return out;
}

QString cell(qv::DbGrid* grid, int row, int col) {
    return grid->model()->index(row, col).data().toString();
}

// Every file name the file list shows, in its order.
QStringList fileNames(TMainForm* f) {
    QStringList out;
    const int col = qvtest::mf::DBGrid2(f)->gridModel()->columnOf(QStringLiteral("DIRNAME"));
    for (int r = 0; r < qvtest::mf::DBGrid2(f)->model()->rowCount(); ++r)
        out << cell(qvtest::mf::DBGrid2(f), r, col);
    return out;
}

bool highlighted(QLabel* l) {
    return l->palette().color(QPalette::Window) == QColor(0, 128, 128);
}

// Moves the entry table to the entry with `number`.
void gotoEntry(TMainForm* f, int number) {
    TTable& t = f->session().table(CatalogueTable::Entries);
    t.First();
    while (!t.Eof() && t.FieldByName(QStringLiteral("EINDEUTIG")).AsInteger() != number)
        t.Next();
    ASSERT_FALSE(t.Eof()) << "no entry " << number;
}

class MainWindowTest : public ::testing::Test {
  protected:
    qvtest::TempDir dir;
};

TEST_F(MainWindowTest, AFirstStartOnAnEmptyCatalogueShowsAnEmptyListWithZeroCounters) {
    MainWindowHarness h(dir.path());
    ASSERT_TRUE(h.started);
    TMainForm* f = h.form;
    EXPECT_EQ(qvtest::mf::DBGrid1(f)->model()->rowCount(), 0);
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), QStringLiteral("0 : 0"));
    EXPECT_EQ(qvtest::mf::labelanzahl2(f)->text(), QStringLiteral("0"));
    EXPECT_FALSE(qvtest::mf::DBNavigator1(f)->nextButton()->isEnabled());
    EXPECT_FALSE(qvtest::mf::DBNavigator1(f)->firstButton()->isEnabled());
    // Columns stand in their start-up order until an order tab is picked.
    EXPECT_EQ(columns(qvtest::mf::DBGrid1(f)),
              (QStringList{"Bezeichnung", "Anzahl", "Box", "Nummer", "Datenträger", "Kategorie"}));
    EXPECT_EQ(f->focusWidget(), qvtest::mf::DBGrid1(f));
    EXPECT_TRUE(h.boxes.shown().empty());
}

TEST_F(MainWindowTest, OrderTabsSelectTheirTagColumnOrderAndTheFirstEntry) {
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), {{3, "Cäsar", 7, 1, "Spiele", "DVD"},
                                    {4, "anton", 2, 5, "Büro", "CD-ROM"},
                                    {5, "Berta", 2, 1, "Audio", "Diskette"}});
    MainWindowHarness h(dir.path());
    TMainForm* f = h.form;
    ASSERT_EQ(qvtest::mf::DBGrid1(f)->model()->rowCount(), 3);
    // Start: tag bezeich (upper-cased titles), first entry.
    EXPECT_EQ(cell(qvtest::mf::DBGrid1(f), 0, 0), QStringLiteral("anton"));
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), QStringLiteral("1 : 3"));
    h.key(Qt::Key_Down);
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), QStringLiteral("2 : 3"));
    EXPECT_EQ(h.table(CatalogueTable::Entries).FieldByName("BEZEICH").AsString().trimmed(),
              QStringLiteral("Berta"));

    qvtest::mf::TabControl1(f)->setCurrentIndex(1);  // Box/Nummer
    EXPECT_EQ(columns(qvtest::mf::DBGrid1(f)),
              (QStringList{"Box", "Nummer", "Bezeichnung", "Kategorie", "Datenträger", "Anzahl"}));
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), QStringLiteral("1 : 3"));
    EXPECT_EQ(h.table(CatalogueTable::Entries).FieldByName("EINDEUTIG").AsInteger(), 5);
    EXPECT_EQ(f->focusWidget(), qvtest::mf::DBGrid1(f));

    qvtest::mf::TabControl1(f)->setCurrentIndex(3);  // Datenträger
    EXPECT_EQ(columns(qvtest::mf::DBGrid1(f)),
              (QStringList{"Datenträger", "Kategorie", "Bezeichnung", "Anzahl", "Box", "Nummer"}));
    EXPECT_EQ(cell(qvtest::mf::DBGrid1(f), 0, 0), QStringLiteral("CD-ROM"));
    qvtest::mf::TabControl1(f)->setCurrentIndex(1);
    EXPECT_EQ(columns(qvtest::mf::DBGrid1(f)).first(), QStringLiteral("Box"));
    qvtest::mf::TabControl1(f)->setCurrentIndex(0);
    EXPECT_EQ(columns(qvtest::mf::DBGrid1(f)),
              (QStringList{"Bezeichnung", "Anzahl", "Box", "Nummer", "Kategorie", "Datenträger"}));

    // The list and the table follow each other both ways.
    h.key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), QStringLiteral("3 : 3"));
    EXPECT_EQ(qvtest::mf::DBGrid1(f)->currentIndex().row(), 2);
    qvtest::mf::Apollo1(f)->sx_GoTop();
    EXPECT_EQ(qvtest::mf::DBGrid1(f)->currentIndex().row(), 0);
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), QStringLiteral("1 : 3"));
}

TEST_F(MainWindowTest, TheEntryNavigatorKnowsTheEndsAndAnEmptyListShowsNoFiles) {
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), {{1, "Eins"}, {2, "Zwei"}, {3, "Drei"}});
    qvtest::addFiles(dir.path(), {{0, "/ NULL.TXT", "NULL", "TXT", 1}});  // under a blank number
    MainWindowHarness h(dir.path());
    qv::DbNavigator* nav = qvtest::mf::DBNavigator1(h.form);
    auto ends = [nav] {  // whether first/prior and next/last are off
        return std::pair(!nav->priorButton()->isEnabled() && !nav->firstButton()->isEnabled(),
                         !nav->nextButton()->isEnabled() && !nav->lastButton()->isEnabled());
    };
    // Moved by the list's keys as by the navigator.
    EXPECT_EQ(ends(), std::pair(true, false));
    h.key(Qt::Key_Down);
    EXPECT_EQ(ends(), std::pair(false, false));
    h.key(Qt::Key_Down);
    EXPECT_EQ(ends(), std::pair(false, true));
    nav->firstButton()->click();
    EXPECT_EQ(ends(), std::pair(true, false));

    // A search without hits: no entry, so no files.
    h.session().apollo(CatalogueTable::Entries).sx_Query(QStringLiteral("eindeutig > 100"));
    h.session().apollo(CatalogueTable::Entries).sx_GoTop();
    EXPECT_EQ(qvtest::mf::DBGrid2(h.form)->model()->rowCount(), 0);
    EXPECT_EQ(qvtest::mf::labelanzahl2(h.form)->text(), QStringLiteral("0"));
}

TEST_F(MainWindowTest, TheFileListShowsOnlyTheCurrentEntrysFilesAndCountsThem) {
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), {{1, "Eins"}, {10, "Zehn"}, {12, "Leer"}});
    qvtest::addFiles(dir.path(), {{10, "/B/ ZEHN.TXT", "ZEHN", "TXT", 10},
                                  {1, "/A/ EINS.TXT", "EINS", "TXT", 1},
                                  {99999999, "/ FREI.TXT", "FREI", "TXT", 0},
                                  {10, "/A/ ZEHN2.TXT", "ZEHN2", "TXT", 20},
                                  {1, "/ WURZEL.EXE", "WURZEL", "EXE", 2},
                                  // Starts with entry 1's key but belongs to entry 100.
                                  {100, "/ FREMD.TXT", "FREMD", "TXT", 3}});
    MainWindowHarness h(dir.path());
    TMainForm* f = h.form;
    // Every file column is as wide as its display width, the path included.
    const qv::DbGridModel* m = qvtest::mf::DBGrid2(f)->gridModel();
    ASSERT_GT(m->columnCount(), 0);
    for (int c = 0; c < m->columnCount(); ++c) {
        const int chars =
            m->headerData(c, Qt::Horizontal, qv::DbGridModel::DisplayWidthRole).toInt();
        EXPECT_GT(chars, 0) << c;
        EXPECT_GE(qvtest::mf::DBGrid2(f)->columnWidth(c),
                  chars * qvtest::mf::DBGrid2(f)->fontMetrics().horizontalAdvance(QLatin1Char('0')))
            << m->fieldNameAt(c).toStdString();
    }
    gotoEntry(f, 1);
    EXPECT_EQ(fileNames(f), (QStringList{"WURZEL", "EINS"}));  // in path order
    EXPECT_EQ(qvtest::mf::labelanzahl2(f)->text(), QStringLiteral("2"));
    gotoEntry(f, 10);
    EXPECT_EQ(fileNames(f), (QStringList{"ZEHN2", "ZEHN"}));
    gotoEntry(f, 12);
    EXPECT_TRUE(fileNames(f).isEmpty());
    EXPECT_EQ(qvtest::mf::labelanzahl2(f)->text(), QStringLiteral("0"));

    // On another lower tab the file counter keeps its value.
    gotoEntry(f, 1);
    qvtest::mf::TabControl2(f)->setCurrentIndex(TMainForm::TabText);
    EXPECT_FALSE(qvtest::mf::DBNavigator2(f)->isVisibleTo(f));
    gotoEntry(f, 10);
    EXPECT_EQ(qvtest::mf::labelanzahl2(f)->text(), QStringLiteral("2"));
    qvtest::mf::TabControl2(f)->setCurrentIndex(TMainForm::TabFiles);
    EXPECT_EQ(fileNames(f), (QStringList{"ZEHN2", "ZEHN"}));

    // A file table reopened elsewhere stands in record order; the refresh
    // scopes its first tag all the same.
    TTable& files = h.table(CatalogueTable::Files);
    {
        qv::ScopedSuspend s(*qvtest::mf::DataSource2(f));
        files.Close();
        files.setIndexName({});
        files.Open();
    }
    EXPECT_EQ(qvtest::mf::Apollo2(f)->sx_IndexOrd(), 0);
    gotoEntry(f, 1);
    EXPECT_EQ(fileNames(f), (QStringList{"WURZEL", "EINS"}));
    EXPECT_EQ(qvtest::mf::labelanzahl2(f)->text(), QStringLiteral("2"));
}

TEST_F(MainWindowTest, StatusAndLendingPanelsFollowTheEntry) {
    qvtest::createCatalogue(dir.path());
    qvtest::addAddresses(dir.path(), {{7, "Weiß", "Anna", "Gasse 1", "12345", "Ort"}});
    EntryRow flagged(2, "A mit Flags");
    flagged.flags = QStringLiteral("x    X     *");
    flagged.lentTo = 7;
    flagged.memo = QStringLiteral("Text\r\nZeile 2");
    EntryRow plain(3, "B ohne");
    plain.borrowedFrom = 42;
    qvtest::addEntries(dir.path(), {flagged, plain});
    MainWindowHarness h(dir.path());
    TMainForm* f = h.form;
    gotoEntry(f, 2);
    qvtest::mf::TabControl2(f)->setCurrentIndex(TMainForm::TabStatus);
    EXPECT_EQ(qvtest::mf::lbstat(f)[5]->text(), QStringLiteral("\"externe Sicherheitskopie\""));
    EXPECT_TRUE(highlighted(qvtest::mf::lbstat(f)[0]));
    EXPECT_FALSE(highlighted(qvtest::mf::lbstat(f)[1]));
    EXPECT_TRUE(highlighted(qvtest::mf::lbstat(f)[5]));   // "X"
    EXPECT_TRUE(highlighted(qvtest::mf::lbstat(f)[11]));  // any non-blank
    gotoEntry(f, 3);
    for (QLabel* l : qvtest::mf::lbstat(f))
        EXPECT_FALSE(highlighted(l)) << l->objectName().toStdString();

    qvtest::mf::TabControl2(f)->setCurrentIndex(TMainForm::TabText);
    EXPECT_TRUE(qvtest::mf::DBMemo1(f)->toPlainText().isEmpty());
    gotoEntry(f, 2);
    EXPECT_EQ(qvtest::mf::DBMemo1(f)->toPlainText(), QStringLiteral("Text\nZeile 2"));

    qvtest::mf::TabControl2(f)->setCurrentIndex(TMainForm::TabLentTo);
    EXPECT_EQ(f->addressLabel("VNAME")->text(), QStringLiteral("Weiß"));
    EXPECT_EQ(f->addressLabel("VPLZ")->text(), QStringLiteral("12345"));
    qvtest::mf::TabControl2(f)->setCurrentIndex(TMainForm::TabBorrowedFrom);
    EXPECT_EQ(f->addressLabel("VNAME")->text(), QStringLiteral("< Kein Eintrag >"));
    // Entry 3 is borrowed from an address that no longer exists: the panel
    // is empty, not the previous entry's address.
    gotoEntry(f, 3);
    EXPECT_EQ(f->addressLabel("VNAME")->text(), QString());
    EXPECT_EQ(f->addressLabel("VVORNAME")->text(), QString());
    qvtest::mf::TabControl2(f)->setCurrentIndex(TMainForm::TabLentTo);
    EXPECT_EQ(f->addressLabel("VNAME")->text(), QStringLiteral("< Kein Eintrag >"));
    EXPECT_TRUE(h.boxes.shown().empty());
}

TEST_F(MainWindowTest, AShortSettingsFileLeavesMissingNamesEmptyAndIsReportedOnce) {
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), qvtest::numberedEntries(3));
    {
        std::ofstream ini(dir / "_qvdisk.ini", std::ios::binary);
        ini << "Kopf\r\nEins\r\nZwei\r\n";
    }
    MainWindowHarness h(dir.path());
    TMainForm* f = h.form;
    qvtest::mf::TabControl2(f)->setCurrentIndex(TMainForm::TabStatus);
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Down);
    EXPECT_EQ(qvtest::mf::lbstat(f)[0]->text(), QStringLiteral("Eins"));
    EXPECT_EQ(qvtest::mf::lbstat(f)[2]->text(), QString());
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    EXPECT_EQ(h.boxes.last().text,
              QStringLiteral("Listenindex außerhalb des zulässigen Bereichs."));
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), QStringLiteral("3 : 3"));
}

TEST_F(MainWindowTest, AnErrorInsideTheFileRefreshLeavesBothGridsFollowingTheCursor) {
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), qvtest::numberedEntries(4));
    qvtest::addFiles(dir.path(), {{2, "/ A.TXT", "A", "TXT"}, {2, "/ B.TXT", "B", "TXT"}});
    MainWindowHarness h(dir.path());
    TMainForm* f = h.form;
    TTable& files = h.table(CatalogueTable::Files);
    // The file table loses its index: selecting its first tag fails while
    // the file view is suspended by the refresh.
    {
        qv::ScopedSuspend s(*qvtest::mf::DataSource2(f));
        files.Close();
        files.setIndexName({});
        std::filesystem::rename(dir / "_qvdir.nsx", dir / "_qvdir.nsx.weg");
        files.Open();
    }
    h.key(Qt::Key_Down);
    ASSERT_FALSE(h.boxes.shown().empty());
    EXPECT_EQ(h.boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_EQ(qvtest::mf::DataSource2(f)->suspendCount(), 0);
    EXPECT_EQ(qvtest::mf::DataSource1(f)->suspendCount(), 0);
    // Both grids still follow their tables.
    h.key(Qt::Key_Down);
    EXPECT_EQ(qvtest::mf::DBGrid1(f)->currentIndex().row(), 2);
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), QStringLiteral("3 : 4"));
    files.Last();
    EXPECT_EQ(qvtest::mf::DBGrid2(f)->gridModel()->currentRow(),
              qvtest::mf::DBGrid2(f)->model()->rowCount() - 1);
    EXPECT_EQ(qvtest::mf::DBGrid2(f)->model()->rowCount(), 2);
}

}  // namespace

namespace {

TEST(MainWindowDamage, ADataFileCutShortIsToldOnceAndTheRestIsShown) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), qvtest::numberedEntries(5));
    // The last two records are lost; the header still counts five.
    const auto dbf = dir / "_qvdisk.dbf";
    auto bytes = qvtest::readFile(dbf);
    const std::size_t recordLength = bytes[10] | (bytes[11] << 8);
    bytes.resize(bytes.size() - 1 - 2 * recordLength);
    qvtest::writeFile(dbf, bytes);

    MainWindowHarness h(dir.path());
    ASSERT_TRUE(h.started);
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    EXPECT_EQ(h.boxes.last().icon, qv::MsgIcon::Warning);
    EXPECT_EQ(h.boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_TRUE(h.boxes.last().text.contains(QStringLiteral("2")))
        << h.boxes.last().text.toStdString();
    EXPECT_EQ(qvtest::mf::DBGrid1(h.form)->model()->rowCount(), 3);
    EXPECT_EQ(qvtest::mf::labelanzahl(h.form)->text(), QStringLiteral("1 : 3"));
}

}  // namespace
