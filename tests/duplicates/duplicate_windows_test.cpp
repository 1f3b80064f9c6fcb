// The duplicates window and the carrier comparison in the real main window:
// the menu entries, the results shown, Enter on a copy or another entry
// making it current, and leaving a query after asking.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "duplicates/ui/dubletten.h"
#include "duplicates/ui/vergleich.h"
#include "search/ui/suchabfrage.h"
#include "store/ttable.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"

namespace {

using qv::CatalogueTable;
using qvtest::FileRow;

FileRow file(int owner, const char* name, qint64 size) {
    const QString n = QString::fromUtf8(name);
    return FileRow(owner, QStringLiteral("/D%1/ %2.EXE").arg(owner).arg(n), n,
                   QStringLiteral("EXE"), size, QDate(1998, 3, 1), QStringLiteral("10:00"));
}

class DuplicateWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::createCatalogue(dir.path());
        qvtest::addEntries(dir.path(), {qvtest::EntryRow(1, QStringLiteral("Eins"), 1, 1),
                                        qvtest::EntryRow(2, QStringLiteral("Zwei"), 1, 2),
                                        qvtest::EntryRow(4, QStringLiteral("Vier"), 2, 1)});
        qvtest::addFiles(dir.path(), {file(1, "A", 2048), file(1, "B", 100), file(2, "a", 2048),
                                      file(2, "B", 100), file(4, "A", 2048), file(4, "C", 7)});
        h = std::make_unique<qvtest::MainWindowHarness>(dir.path());
        ASSERT_TRUE(h->started);
    }
    int currentNumber() {
        return h->table(CatalogueTable::Entries)
            .FieldByName(QStringLiteral("eindeutig"))
            .AsInteger();
    }
    void trigger(const char* action) {
        QAction* a = h->form->findChild<QAction*>(QLatin1String(action));
        ASSERT_TRUE(a);
        ASSERT_TRUE(a->isEnabled());
        a->trigger();
    }

    qvtest::TempDir dir;
    std::unique_ptr<qvtest::MainWindowHarness> h;
};

TEST_F(DuplicateWindows, ComparisonShowsTheVerdictAndEnterShowsTheOtherEntry) {
    ASSERT_EQ(currentNumber(), 1);  // "Eins", first in title order
    QString verdict;
    int rows = 0;
    qvtest::whenModal<qv::TVergleich>([&](qv::TVergleich* w) {
        verdict = w->Urteil->text();
        rows = w->Andere->topLevelItemCount();
        // "Vier" holds one of the two files: second row.
        w->Andere->setCurrentItem(w->Andere->topLevelItem(1));
        QTest::keyClick(w->Andere, Qt::Key_Return);
        w->BtnSchliessen->click();
    });
    trigger("Vergleichen1");
    EXPECT_EQ(verdict, "Alle 2 Dateien sind auch auf anderen Datenträgern vorhanden.");
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(currentNumber(), 4);

    // The context-menu twin compares the entry now current.
    qvtest::whenModal<qv::TVergleich>([&](qv::TVergleich* w) {
        verdict = w->Urteil->text();
        w->BtnSchliessen->click();
    });
    trigger("Vergleichen2");
    EXPECT_EQ(verdict, "1 Datei (7 Bytes) gibt es nur hier.");
}

TEST_F(DuplicateWindows, GroupsWithSummaryAndEnterOnACopyLeavesAQueryAfterAsking) {
    // A query showing only "Eins".
    qvtest::whenModal<TSuchabfrage>([](TSuchabfrage* d) {
        d->Bezeichnung->setText(QStringLiteral("EINS"));
        d->BitBtnOk->click();
    });
    trigger("menusuche1");
    ASSERT_TRUE(h->session().searchActive());

    QString summary;
    int groups = 0, copies = 0;
    h->boxes.queueAnswer(qv::MsgAnswer::No);
    h->boxes.queueAnswer(qv::MsgAnswer::Yes);
    bool declined = false;
    qvtest::whenModal<qv::TDubletten>([&](qv::TDubletten* w) {
        EXPECT_TRUE(w->NurAbfrage->isEnabled());
        EXPECT_TRUE(w->BtnSuchenClick());
        summary = w->Zusammenfassung->text();
        groups = w->model()->rowCount();
        const QModelIndex first = w->model()->index(0, 0);
        copies = w->model()->rowCount(first);
        // Enter on a group opens it and starts no new search.
        const qv::DuplicateReport* report = w->model()->report();
        w->Gruppen->setCurrentIndex(first);
        QTest::keyClick(w->Gruppen, Qt::Key_Return);
        EXPECT_TRUE(w->Gruppen->isExpanded(first));
        EXPECT_EQ(w->model()->report(), report);
        // The copy on "Zwei", hidden by the query: declined, then accepted.
        w->Gruppen->setCurrentIndex(w->model()->index(1, 0, first));
        QTest::keyClick(w->Gruppen, Qt::Key_Return);
        declined = h->session().searchActive() && currentNumber() == 1;
        QTest::keyClick(w->Gruppen, Qt::Key_Return);
        w->BtnSchliessen->click();
    });
    trigger("DoppelteDateien1");
    EXPECT_EQ(summary, "Gruppen: 2   Kopien: 5   Platz der Kopien: 4,1 KB");
    EXPECT_EQ(groups, 2);
    EXPECT_EQ(copies, 3);
    EXPECT_TRUE(declined);
    ASSERT_EQ(h->boxes.shown().size(), 2u);
    EXPECT_EQ(h->boxes.last().caption, "Eintrag anzeigen");
    EXPECT_FALSE(h->session().searchActive());
    EXPECT_EQ(currentNumber(), 2);
}

}  // namespace
