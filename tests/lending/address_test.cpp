// Scenarios of the address list and the lending assignment on the real main
// window and catalogue.
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include <gtest/gtest.h>

#include "lending/core/lending.h"
#include "lending/ui/addresswindow.h"
#include "lending/ui/addresswindows.h"
#include "masterdata/ui/masterdatawindows.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "support/listwindows.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "ui/command.h"
#include "ui/dbgrid.h"

namespace {

using qv::CatalogueTable;
using qv::MsgAnswer;
using qvtest::AddressRow;
using qvtest::answerEdit;
using qvtest::column;
using qvtest::currentRow;

qvtest::AddressRow address(int number, const char* name, const char* postcode, const char* town) {
    AddressRow r;
    r.number = number;
    r.name = QString::fromUtf8(name);
    r.postcode = QString::fromUtf8(postcode);
    r.town = QString::fromUtf8(town);
    return r;
}

class AddressTest : public ::testing::Test {
  protected:
    AddressTest() { qvtest::createCatalogue(dir.path()); }
    qvtest::TempDir dir;
};

// The number of the address whose name is `name`, read from the store.
int numberOf(qvtest::MainWindowHarness& h, const QString& name) {
    TTable& t = h.table(CatalogueTable::Addresses);
    TApollo& a = h.session().apollo(CatalogueTable::Addresses);
    qv::ScopedPosition keep(a);
    a.sx_SetOrder(0);
    for (int r = 1; r <= a.sx_RecCount(); ++r) {
        a.sx_Go(r);
        if (qv::trimmedRight(t.FieldByName("vname").AsString()) == name &&
            a.sx_GetRecord().at(0) != '*')
            return t.FieldByName("vnummer").AsInteger();
    }
    return -1;
}

TEST_F(AddressTest, NumbersFollowTheHighestAddressAndSkipReferredOnes) {
    qvtest::MainWindowHarness h(dir.path());
    qv::Tstd_verleih& w = qv::AddressWindows::of(h.session()).verleih(h.form);
    w.show();
    // A new table lists nothing (the placeholders stay hidden); the first number is 1.
    EXPECT_TRUE(column(w, "VNAME").isEmpty());
    for (const char* name : {"Anna", "Bert", "Carla"}) {
        answerEdit<qv::Tstd_verleih_edit>({QString::fromUtf8(name)});
        w.newCommand().trigger();
        EXPECT_EQ(currentRow(w, "VNAME"), QString::fromUtf8(name));
    }
    EXPECT_EQ(numberOf(h, "Anna"), 1);
    EXPECT_EQ(numberOf(h, "Carla"), 3);

    // Delete 3, then new: 3 again.
    h.boxes.queueAnswer(MsgAnswer::Yes);
    w.deleteCommand().trigger();  // Carla is current
    EXPECT_EQ(currentRow(w, "VNAME"), QStringLiteral("Bert"));
    answerEdit<qv::Tstd_verleih_edit>({QStringLiteral("Dora")});
    w.newCommand().trigger();
    EXPECT_EQ(numberOf(h, "Dora"), 3);
    // Delete 2 instead: the new one gets 4.
    h.boxes.queueInput(true, QStringLiteral("be"));
    w.searchCommand().trigger();
    h.boxes.queueAnswer(MsgAnswer::Yes);
    w.deleteCommand().trigger();
    answerEdit<qv::Tstd_verleih_edit>({QStringLiteral("Emil")});
    w.newCommand().trigger();
    EXPECT_EQ(numberOf(h, "Emil"), 4);
    w.close();

    // An entry lent to 4 and hidden by a search result: deleting 4 does not
    // free the number. A reference far above does not block new numbers.
    qv::MasterList entries(h.session().apollo(CatalogueTable::Entries), false);
    entries.append({{"bezeich", "Verliehen"}}, [](TTable& t) {
        t.FieldByName("eindeutig").setAsInteger(1);
        t.FieldByName("leihraus").setAsInteger(4);
    });
    entries.append({{"bezeich", "Dangling"}}, [](TTable& t) {
        t.FieldByName("eindeutig").setAsInteger(2);
        t.FieldByName("leihrein").setAsInteger(99990);
    });
    h.session().apollo(CatalogueTable::Entries).sx_Query(QStringLiteral("eindeutig = 2"));
    w.show();
    h.boxes.queueInput(true, QStringLiteral("emil"));
    w.searchCommand().trigger();
    h.boxes.queueAnswer(MsgAnswer::Yes);
    w.deleteCommand().trigger();
    EXPECT_EQ(qv::nextAddressNumber(h.session()), 5);
    answerEdit<qv::Tstd_verleih_edit>({QStringLiteral("Fritz")});
    w.newCommand().trigger();
    EXPECT_EQ(numberOf(h, "Fritz"), 5);
    // "Ändern" never touches the number.
    QStringList seen;
    answerEdit<qv::Tstd_verleih_edit>({QStringLiteral("Fritz Neu")}, &seen);
    w.editCommand().trigger();
    EXPECT_EQ(seen.size(), 11);
    EXPECT_EQ(seen.first(), QStringLiteral("Fritz"));
    EXPECT_EQ(numberOf(h, "Fritz Neu"), 5);
    w.close();
}

TEST_F(AddressTest, TabsSelectTheOrderAndSearchComparesItsKey) {
    qvtest::addAddresses(dir.path(), {address(1, "Weiß", "80331", "München"),
                                      address(2, "Albers", "20095", "Hamburg"),
                                      address(3, "Zander", "10115", "Berlin")});
    qvtest::MainWindowHarness h(dir.path());
    qv::Tstd_verleih& w = qv::AddressWindows::of(h.session()).verleih(h.form);
    w.show();
    EXPECT_EQ(column(w, "VNAME"), (QStringList{"Albers", QString::fromUtf8("Weiß"), "Zander"}));
    EXPECT_EQ(w.highlightedColumn(), w.DBGrid1->gridModel()->columnOf("VNAME"));
    EXPECT_EQ(w.detailLabel("VORT")->text(), QStringLiteral("Hamburg"));
    h.boxes.queueInput(true, QString::fromUtf8("weiß"));
    w.searchCommand().trigger();
    EXPECT_EQ(currentRow(w, "VNAME"), QString::fromUtf8("Weiß"));
    EXPECT_EQ(w.detailLabel("VPLZ")->text(), QStringLiteral("80331"));

    w.TabControl1->setCurrentIndex(1);  // " Postleitzahl "
    EXPECT_EQ(column(w, "VPLZ"), (QStringList{"10115", "20095", "80331"}));
    EXPECT_EQ(w.highlightedColumn(), w.DBGrid1->gridModel()->columnOf("VPLZ"));
    h.boxes.queueInput(true, QStringLiteral("200"));
    w.searchCommand().trigger();
    EXPECT_EQ(currentRow(w, "VNAME"), QStringLiteral("Albers"));
    h.boxes.queueInput(true, QStringLiteral("Zander"));  // a name is no postcode
    w.searchCommand().trigger();
    EXPECT_EQ(h.boxes.last().text, QStringLiteral("Nicht gefunden."));
    EXPECT_EQ(currentRow(w, "VNAME"), QStringLiteral("Albers"));

    // A new address on the tab " Ort " becomes current in the place order.
    w.TabControl1->setCurrentIndex(2);
    answerEdit<qv::Tstd_verleih_edit>({"Neumann", "", "", "", "50667", "Köln"});
    w.newCommand().trigger();
    EXPECT_EQ(currentRow(w, "VNAME"), QStringLiteral("Neumann"));
    EXPECT_EQ(column(w, "VORT"), (QStringList{"Berlin", "Hamburg", QString::fromUtf8("Köln"),
                                              QString::fromUtf8("München")}));
    EXPECT_EQ(numberOf(h, "Neumann"), 4);
    w.close();
    // The next showing starts on the name tab.
    w.show();
    EXPECT_EQ(w.TabControl1->currentIndex(), 0);
    EXPECT_EQ(column(w, "VNAME").first(), QStringLiteral("Albers"));
    w.close();
}

TEST_F(AddressTest, AssignmentButtonsWriteTheChosenNumberIntoTheTabsField) {
    // The placeholders are records 1 and 2: record and address numbers differ.
    qvtest::addAddresses(dir.path(),
                         {address(7, "Meier", "1", "A"), address(9, "Schulz", "2", "B")});
    auto rows = qvtest::numberedEntries(3);
    rows[1].borrowedFrom = 9;
    qvtest::addEntries(dir.path(), rows);
    qvtest::MainWindowHarness h(dir.path());
    TTable& entries = h.table(CatalogueTable::Entries);
    auto field = [&](const char* name) { return entries.FieldByName(name).AsInteger(); };
    // A search result is shown: the second entry only.
    h.session().apollo(CatalogueTable::Entries).sx_Query(QStringLiteral("eindeutig = 2"));
    h.session().setSearchActive(true);
    ASSERT_EQ(field("eindeutig"), 2);

    h.form->TabControl2->setCurrentIndex(TMainForm::TabLentTo);
    qvtest::whenModal<qv::Tstd_verleih>([](qv::Tstd_verleih* w) {
        EXPECT_EQ(w->BtnClose->text(), QString::fromUtf8("&Übernahme"));
        w->ApolloStd->sx_GoBottom();  // Schulz, number 9
        w->BtnClose->click();
    });
    h.form->panelverleihbtn1->click();
    EXPECT_EQ(field("eindeutig"), 2);
    EXPECT_EQ(field("leihraus"), 9);
    EXPECT_EQ(field("leihrein"), 9);
    EXPECT_EQ(h.form->addressLabel("VNAME")->text(), QStringLiteral("Schulz"));

    // Borrowed from: the close box changes nothing, then Meier (7).
    h.form->TabControl2->setCurrentIndex(TMainForm::TabBorrowedFrom);
    qvtest::whenModal<qv::Tstd_verleih>([](qv::Tstd_verleih* w) { w->close(); });
    h.form->panelverleihbtn1->click();
    EXPECT_EQ(field("leihrein"), 9);
    qvtest::whenModal<qv::Tstd_verleih>([](qv::Tstd_verleih* w) {
        w->ApolloStd->sx_GoTop();
        w->BtnClose->click();
    });
    h.form->panelverleihbtn1->click();
    EXPECT_EQ(field("leihrein"), 7);
    EXPECT_EQ(field("leihraus"), 9);
    EXPECT_EQ(h.form->addressLabel("VNAME")->text(), QStringLiteral("Meier"));

    // Removing: No keeps it, Yes sets only this tab's field to 0.
    h.boxes.queueAnswer(MsgAnswer::No);
    h.form->BitBtn1->click();
    EXPECT_EQ(h.boxes.last().text, QStringLiteral("Zuteilung löschen ?"));
    EXPECT_EQ(h.boxes.last().caption, QStringLiteral("Aufheben Zuteilung"));
    EXPECT_EQ(h.boxes.last().icon, qv::MsgIcon::Question);
    EXPECT_EQ(field("leihrein"), 7);
    h.boxes.queueAnswer(MsgAnswer::Yes);
    h.form->BitBtn1->click();
    EXPECT_EQ(field("leihrein"), 0);
    EXPECT_EQ(field("leihraus"), 9);
    EXPECT_EQ(field("eindeutig"), 2);
    EXPECT_EQ(h.form->addressLabel("VNAME")->text(), qv::kNoAddressName);

    // No current entry: both buttons refuse and write nothing.
    h.session().apollo(CatalogueTable::Entries).sx_Query(QStringLiteral("eindeutig = 99"));
    h.boxes.clear();
    h.form->panelverleihbtn1->click();
    h.form->BitBtn1->click();
    ASSERT_EQ(h.boxes.shown().size(), 2u);
    EXPECT_EQ(h.boxes.shown()[0].text, QStringLiteral("Kein Datensatz vorhanden."));
    EXPECT_EQ(h.boxes.shown()[1].text, QStringLiteral("Kein Datensatz vorhanden."));
    h.session().apollo(CatalogueTable::Entries).sx_Query(QString());
    h.session().setSearchActive(false);
    EXPECT_EQ(entries.RecordCount(), 3);
}

TEST_F(AddressTest, TakingOverFromAnEmptyListChangesNoAssignment) {
    auto rows = qvtest::numberedEntries(1);
    rows[0].lentTo = 5;
    qvtest::addEntries(dir.path(), rows);
    qvtest::MainWindowHarness h(dir.path());
    h.form->TabControl2->setCurrentIndex(TMainForm::TabLentTo);
    qvtest::whenModal<qv::Tstd_verleih>([](qv::Tstd_verleih* w) { w->BtnClose->click(); });
    h.form->panelverleihbtn1->click();
    EXPECT_EQ(qv::AddressWindows::of(h.session()).verleihIfCreated()->chosenNumber(), 0);
    EXPECT_EQ(h.table(CatalogueTable::Entries).FieldByName("leihraus").AsInteger(), 5);
    // The maintenance command leaves the panel on the entry's address.
    qvtest::whenModal<qv::Tstd_verleih>([](qv::Tstd_verleih* w) { w->BtnClose->click(); });
    EXPECT_TRUE(h.form->command(qv::MainCommand::Addresses).trigger());
    EXPECT_EQ(h.session().apollo(CatalogueTable::Addresses).sx_IndexOrd(), 1);
}

TEST_F(AddressTest, NoNewAddressPastTheHighestListedNumber) {
    qvtest::addAddresses(dir.path(), {address(99998, "Letzte", "", "")});
    qvtest::MainWindowHarness h(dir.path());
    qv::Tstd_verleih& w = qv::AddressWindows::of(h.session()).verleih(h.form);
    w.show();
    const int records = h.table(CatalogueTable::Addresses).RecordCount();
    w.newCommand().trigger();  // a notice; no edit dialog comes up
    EXPECT_EQ(h.boxes.last().icon, qv::MsgIcon::Information);
    EXPECT_TRUE(h.boxes.last().text.contains(QStringLiteral("99998")));
    EXPECT_EQ(h.table(CatalogueTable::Addresses).RecordCount(), records);
    EXPECT_EQ(currentRow(w, "VNAME"), QStringLiteral("Letzte"));
    w.close();
}

}  // namespace
