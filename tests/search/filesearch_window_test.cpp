// The search in all files from the main window: the command hands the file
// table to the window and takes it back, whatever happens meanwhile.
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "catalogue/dm.h"
#include "search/core/filesearch.h"
#include "search/ui/recherche.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "tests/search/filesearch_catalogue.h"
#include "ui/command.h"
#include "ui/dbgrid.h"
#include "ui/dbnavigator.h"

namespace {

using qv::CatalogueTable;
using qv::MainCommand;

QString field(TTable& t, const char* name) {
    return t.FieldByName(QLatin1String(name)).AsString().trimmed();
}

class FileSearchWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::createFileSearchCatalogue(dir.path());
        h = std::make_unique<qvtest::MainWindowHarness>(dir.path());
        ASSERT_TRUE(h->started);
    }

    // Opens the window through the command; `act` runs while it is shown
    // and closes it with its close button.
    void withWindow(const std::function<void(Trecherche*)>& act) {
        bool shown = false;
        qvtest::whenModal<Trecherche>([&](Trecherche* w) {
            shown = true;
            act(w);
            w->BtnClose->click();
        });
        h->form->command(MainCommand::SearchAllFiles).trigger();
        EXPECT_TRUE(shown);
    }

    // The main window after the command: file table open in its first tag,
    // the entry table in `tag` on `recno`, views live, lower panel refreshed.
    void expectMainWindowBack(int tag, int recno) {
        TMainForm* f = h->form;
        EXPECT_FALSE(h->session().dm().tbl_recherche2->Active());
        ASSERT_TRUE(h->table(CatalogueTable::Files).Active());
        EXPECT_EQ(f->Apollo2->sx_IndexOrd(), 1);
        EXPECT_EQ(f->Apollo1->sx_IndexOrd(), tag);
        EXPECT_EQ(h->table(CatalogueTable::Entries).RecNo(), recno);
        EXPECT_EQ(f->DataSource1->suspendCount(), 0);
        EXPECT_EQ(f->DataSource2->suspendCount(), 0);
        // The file list belongs to the current entry again.
        const QString number = field(h->table(CatalogueTable::Entries), "eindeutig");
        EXPECT_EQ(f->DBGrid2->gridModel()->rowCount(), f->labelanzahl2->text().toInt());
        if (!h->table(CatalogueTable::Files).Eof()) {
            EXPECT_EQ(field(h->table(CatalogueTable::Files), "dirnumm"), number);
        }
    }

    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::unique_ptr<qvtest::MainWindowHarness> h;
};

TEST_F(FileSearchWindowTest, SearchesByNameAndExtensionAndShowsTheOwner) {
    TMainForm* f = h->form;
    // The entry list in the order "Box/Nummer" on its second entry.
    f->TabControl1->setCurrentIndex(1);
    f->Apollo1->sx_Skip(1);
    const int tag = f->Apollo1->sx_IndexOrd();
    const int recno = h->table(CatalogueTable::Entries).RecNo();
    const QString files = f->labelanzahl2->text();

    withWindow([&](Trecherche* w) {
        TTable& list = w->search().table();
        EXPECT_EQ(w->TabControl1->currentIndex(), 0);
        EXPECT_EQ(field(list, "dirname"), "AUTOEXEC");
        EXPECT_EQ(w->DBGrid1->gridModel()->rowCount(), 6);  // the released record is not listed
        EXPECT_EQ(w->Label10->text(), QStringLiteral("Werkzeug & Maße"));
        EXPECT_EQ(w->Label12->text(), QStringLiteral("Diskette"));
        EXPECT_EQ(w->Label14->text(), QStringLiteral("1 / 7"));
        EXPECT_TRUE(w->DBGrid1->hasFocus() || !w->isActiveWindow());

        // The menu's hint shows in the window's status bar.
        auto* searchItem = w->findChild<QAction*>(QStringLiteral("Suchen1"));
        ASSERT_NE(searchItem, nullptr);
        searchItem->showStatusText(w->MainMenu1);
        EXPECT_EQ(w->StatusBar1->currentMessage(), QStringLiteral("Suchen nach einer Endung"));

        // F2 in the menu: prefix search, owner shown, grid row current.
        h->boxes.queueInput(true, QStringLiteral("read"));
        w->BtnSearch->click();
        EXPECT_EQ(h->boxes.last().caption, QStringLiteral("Suche"));
        EXPECT_EQ(h->boxes.last().text, QStringLiteral("Suche nach Dateiname:"));
        EXPECT_TRUE(h->boxes.last().value.isEmpty());
        EXPECT_EQ(field(list, "dirname"), "README");
        EXPECT_EQ(w->DBGrid1->currentIndex().row(), 3);
        EXPECT_EQ(w->Label10->text(), QStringLiteral("Programme CD"));
        EXPECT_EQ(w->Label11->text(), QStringLiteral("Software"));
        EXPECT_EQ(w->Label13->text(), QStringLiteral("2"));
        EXPECT_EQ(w->Label14->text(), QStringLiteral("12 / 3"));

        // A miss keeps the cursor and says so.
        const std::size_t boxes = h->boxes.shown().size();
        h->boxes.queueInput(true, QStringLiteral("readmf"));
        h->boxes.queueAnswer(qv::MsgAnswer::Ok);
        w->BtnSearch->click();
        ASSERT_EQ(h->boxes.shown().size(), boxes + 2);
        EXPECT_EQ(h->boxes.last().text, QStringLiteral("Nicht gefunden."));
        EXPECT_EQ(h->boxes.last().caption, QStringLiteral("Meldung"));
        EXPECT_EQ(field(list, "dirname"), "README");
        EXPECT_EQ(w->Label10->text(), QStringLiteral("Programme CD"));

        // A cancelled box changes nothing.
        h->boxes.queueInput(false);
        w->BtnSearch->click();
        EXPECT_EQ(field(list, "dirname"), "README");

        // The tab " Endung ": first record of its order, then an extension.
        w->TabControl1->setCurrentIndex(1);
        EXPECT_EQ(field(list, "direndung"), "BAT");
        EXPECT_EQ(w->DBGrid1->currentIndex().row(), 0);
        h->boxes.queueInput(true, QStringLiteral("txt"));
        w->BtnSearch->click();
        EXPECT_EQ(h->boxes.last().text, QStringLiteral("Suche nach Datei-Endung:"));
        EXPECT_EQ(field(list, "dirname"), QStringLiteral("Maßband"));
        EXPECT_EQ(w->Label10->text(), QStringLiteral("Werkzeug & Maße"));

        // The file whose entry does not exist shows empty labels.
        w->DBNavigator1->lastButton()->click();
        w->DBNavigator1->priorButton()->click();
        w->TabControl1->setCurrentIndex(0);
        h->boxes.queueInput(true, QStringLiteral("orph"));
        w->BtnSearch->click();
        EXPECT_EQ(field(list, "dirnumm"), "777");
        EXPECT_TRUE(w->Label10->text().isEmpty());
        EXPECT_TRUE(w->Label14->text().isEmpty());
    });
    expectMainWindowBack(tag, recno);
    EXPECT_EQ(f->labelanzahl2->text(), files);

    // A second opening starts again on the first tab at the first file.
    withWindow([&](Trecherche* w) {
        EXPECT_EQ(w->TabControl1->currentIndex(), 0);
        EXPECT_EQ(field(w->search().table(), "dirname"), "AUTOEXEC");
        w->TabControl1->setCurrentIndex(1);
    });
    withWindow([&](Trecherche* w) {
        EXPECT_EQ(w->TabControl1->currentIndex(), 0);
        EXPECT_EQ(w->search().order(), qv::FileOrder::Name);
        // Ctrl+End goes to the last row and keeps the key column in view;
        // End goes to the last column, Ctrl+Home back to the first row.
        w->resize(300, 300);
        const int last = w->DBGrid1->gridModel()->rowCount() - 1;
        QTest::keyClick(w->DBGrid1, Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(w->DBGrid1->currentIndex().row(), last);
        EXPECT_EQ(w->DBGrid1->currentIndex().column(), 0);
        EXPECT_EQ(w->DBGrid1->horizontalScrollBar()->value(), 0);
        QTest::keyClick(w->DBGrid1, Qt::Key_End);
        const int lastColumn = w->DBGrid1->currentIndex().column();
        ASSERT_GT(lastColumn, 0);
        ASSERT_GT(w->DBGrid1->horizontalScrollBar()->value(), 0);
        QTest::keyClick(w->DBGrid1, Qt::Key_Home, Qt::ControlModifier);
        EXPECT_EQ(w->DBGrid1->currentIndex().row(), 0);
        EXPECT_EQ(w->DBGrid1->currentIndex().column(), lastColumn);
        QTest::keyClick(w->DBGrid1, Qt::Key_End, Qt::ControlModifier);
    });
    // The next showing starts at the left edge with the name column.
    withWindow([&](Trecherche* w) {
        EXPECT_EQ(w->DBGrid1->gridModel()->currentRow(), 0);
        EXPECT_EQ(w->DBGrid1->currentIndex().row(), 0);
        EXPECT_EQ(w->DBGrid1->currentIndex().column(), 0);
        EXPECT_EQ(w->DBGrid1->horizontalScrollBar()->value(), 0);
        EXPECT_EQ(w->DBGrid1->verticalScrollBar()->value(), 0);
        w->resize(820, 560);
    });
    expectMainWindowBack(tag, recno);
}

TEST_F(FileSearchWindowTest, ShowsOwnersHiddenByAnEntryQuery) {
    TMainForm* f = h->form;
    f->Apollo1->sx_Query(QStringLiteral("eindeutig=10"));
    h->session().setSearchActive(true);
    const int recno = h->table(CatalogueTable::Entries).RecNo();
    withWindow([&](Trecherche* w) {
        h->boxes.queueInput(true, QStringLiteral("setup"));
        w->BtnSearch->click();
        EXPECT_EQ(w->Label10->text(), QStringLiteral("Programme CD"));
        EXPECT_EQ(w->Label14->text(), QStringLiteral("12 / 3"));
    });
    expectMainWindowBack(2, recno);
    EXPECT_EQ(f->Apollo1->sx_Count(), 1);
    EXPECT_EQ(f->labelanzahl->text(), QStringLiteral("1"));
}

TEST_F(FileSearchWindowTest, AnErrorLeavesTheMainWindowWorking) {
    TMainForm* f = h->form;
    f->Apollo1->sx_GoBottom();
    const int recno = h->table(CatalogueTable::Entries).RecNo();
    TTable& list = *h->session().dm().tbl_recherche2;

    // While the window opens: the read-only table cannot be opened.
    const QString name = list.TableName();
    list.setTableName(QStringLiteral("fehlt"));
    EXPECT_FALSE(f->command(MainCommand::SearchAllFiles).trigger());
    list.setTableName(name);
    ASSERT_FALSE(h->boxes.shown().empty());
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_EQ(h->boxes.last().icon, qv::MsgIcon::Error);
    expectMainWindowBack(2, recno);

    // While it runs: the list is gone under the window.
    const std::size_t before = h->boxes.shown().size();
    withWindow([&](Trecherche* w) {
        w->search().close();
        h->boxes.queueInput(true, QStringLiteral("read"));
        w->BtnSearch->click();
        EXPECT_TRUE(w->Label10->text().isEmpty());
    });
    ASSERT_GT(h->boxes.shown().size(), before + 1);
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    expectMainWindowBack(2, recno);

    // And the command works again.
    withWindow(
        [&](Trecherche* w) { EXPECT_EQ(field(w->search().table(), "dirname"), "AUTOEXEC"); });
    expectMainWindowBack(2, recno);
}

}  // namespace
