// The statistics from the main window: the carrier count's message, the
// status window, the category window, and a shortened settings file.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <fstream>

#include <gtest/gtest.h>

#include "search/ui/suchabfrage.h"
#include "statistics/ui/statistikstatus.h"
#include "statistics/ui/statkategorie.h"
#include "statrows.h"
#include "store/tdatasource.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "ui/command.h"
#include "ui/dbgrid.h"
#include "ui/wmessage.h"

namespace {

using qv::CatalogueTable;
using qv::MainCommand;

class StatisticsWindows : public ::testing::Test {
  protected:
    void start() {
        h = std::make_unique<qvtest::MainWindowHarness>(dir.path());
        ASSERT_TRUE(h->started);
        h->table(CatalogueTable::Entries).setRecNo(3);  // "C"
    }
    TMainForm& form() { return *h->form; }
    // The main window as the statistics found it.
    void expectWindowUntouched() {
        EXPECT_EQ(h->table(CatalogueTable::Entries).RecNo(), 3);
        EXPECT_EQ(form().DataSource1->suspendCount(), 0);
        EXPECT_EQ(form().DataSource2->suspendCount(), 0);
        EXPECT_FALSE(form().program().wmessage().isVisible());
    }

    qvtest::TempDir dir;
    std::unique_ptr<qvtest::MainWindowHarness> h;
};

TEST_F(StatisticsWindows, CountsShownForTheWholeListAndForASubset) {
    qvtest::createStatCatalogue(dir.path());
    start();

    form().command(MainCommand::CarrierCount).trigger();
    ASSERT_EQ(h->boxes.shown().size(), 1u);
    EXPECT_EQ(h->boxes.last().text, QStringLiteral("Es sind 15 Datenträger vorhanden."));
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("Anzahl Datenträger"));
    EXPECT_EQ(h->boxes.last().icon, qv::MsgIcon::None);
    expectWindowUntouched();

    QStringList texts;
    qvtest::whenModal<Tstatistik_status>([&texts](Tstatistik_status* w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Statistik - Kategorien"));
        for (QLabel* l : w->labels)
            texts << l->text();
        w->BitBtn1->click();
    });
    form().command(MainCommand::EntriesPerStatus).trigger();
    ASSERT_EQ(texts.size(), 12);
    EXPECT_EQ(texts[0], QStringLiteral("32 Bit Windows-Programm (Win95/NT):        3"));
    EXPECT_EQ(texts[2], QStringLiteral("DOS-Programm:        2"));
    expectWindowUntouched();

    int rows = -1;
    QStringList cells, headers;
    qvtest::whenModal<TStat_kategorie>([&](TStat_kategorie* w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Statistik Kategorien"));
        QAbstractItemModel* m = w->DBGrid1->model();
        rows = m->rowCount();
        for (int c = 0; c < m->columnCount(); ++c)
            headers << m->headerData(c, Qt::Horizontal).toString();
        for (int r = 0; r < rows; ++r)
            cells << m->index(r, 0).data().toString() + "=" + m->index(r, 1).data().toString();
        w->BitBtn1->click();
    });
    form().command(MainCommand::EntriesPerCategory).trigger();
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(headers, (QStringList{"Kategorie", "Anzahl"}));
    EXPECT_EQ(cells, (QStringList{"Büro=1", "Leer=0", "Spiele=3"}));
    // The category table is closed again and keeps its own columns.
    EXPECT_FALSE(h->table(CatalogueTable::Categories).Active());
    EXPECT_TRUE(h->table(CatalogueTable::Categories).fieldDisplayDefs().isEmpty() ||
                h->table(CatalogueTable::Categories).fieldDisplayDefs().front().label !=
                    QStringLiteral("Kategorie"));
    expectWindowUntouched();

    // With a query in force only its entries count.
    qvtest::whenModal<TSuchabfrage>([](TSuchabfrage* d) {
        d->kategorie->setText(QStringLiteral("SPIELE"));
        d->BitBtnOk->click();
    });
    form().command(MainCommand::QueryStart).trigger();
    ASSERT_TRUE(h->session().searchActive());
    h->table(CatalogueTable::Entries).setRecNo(3);
    form().command(MainCommand::CarrierCount).trigger();
    EXPECT_EQ(h->boxes.last().text, QStringLiteral("Es sind 6 Datenträger vorhanden."));
    EXPECT_TRUE(h->session().searchActive());
    EXPECT_EQ(form().labelanzahl->text(), QStringLiteral("3"));
    expectWindowUntouched();
}

TEST_F(StatisticsWindows, ShortSettingsFileStopsTheStatusWindowCleanly) {
    qvtest::createStatCatalogue(dir.path());
    {
        std::ofstream ini(dir.path() / "_qvdisk.ini", std::ios::binary);
        for (int i = 0; i < 10; ++i)
            ini << "Zeile " << i << "\r\n";
    }
    start();
    form().command(MainCommand::EntriesPerStatus).trigger();
    ASSERT_FALSE(h->boxes.shown().empty());
    EXPECT_EQ(h->boxes.last().text,
              QStringLiteral("Listenindex außerhalb des zulässigen Bereichs."));
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_EQ(h->boxes.last().icon, qv::MsgIcon::Error);
    expectWindowUntouched();
    // The other statistics go on working.
    form().command(MainCommand::CarrierCount).trigger();
    EXPECT_EQ(h->boxes.last().text, QStringLiteral("Es sind 15 Datenträger vorhanden."));
}

}  // namespace
