// Creating, copying and editing entries from the main window, the automatic
// carrier number and the additional text, driven through the real windows
// with the records checked in the store.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "entries/ui/grunddateneingabe.h"
#include "entries/ui/mainform.h"
#include "entries/ui/zusatztexteingabe.h"
#include "masterdata/ui/lookupwindows.h"
#include "store/tapollo.h"
#include "support/catalogue/storedentries.h"
#include "support/mainformparts.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "ui/command.h"
#include "ui/dbgrid.h"

namespace fs = std::filesystem;
using qv::CatalogueTable;
using qv::MainCommand;
using qvtest::EntryRow;
using qvtest::storedEntries;
using qvtest::storedEntry;

namespace {

// Whether `field` (or the editor inside it) is the dialog's focus widget. The
// window's activation offscreen depends on timing; the focus widget does not.
bool holdsFocus(QWidget* dialog, QWidget* field) {
    QWidget* f = dialog->focusWidget();
    return f && (f == field || field->isAncestorOf(f) || f->focusProxy() == field ||
                 field->focusProxy() == f);
}

using DialogAct = std::function<void(TGrunddatenEingabe*)>;

class EntryEditingTest : public ::testing::Test {
  protected:
    void start(const std::vector<EntryRow>& rows = {},
               const std::vector<qvtest::FileRow>& files = {}) {
        qvtest::createCatalogue(dir.path());
        if (!rows.empty()) qvtest::addEntries(dir.path(), rows);
        if (!files.empty()) qvtest::addFiles(dir.path(), files);
        h = std::make_unique<qvtest::MainWindowHarness>(dir.path());
        ASSERT_TRUE(h->started);
    }
    void restart() {
        h.reset();
        h = std::make_unique<qvtest::MainWindowHarness>(dir.path());
        ASSERT_TRUE(h->started);
    }
    TTable& entries() { return h->table(CatalogueTable::Entries); }
    int current() { return entries().FieldByName(QStringLiteral("EINDEUTIG")).AsInteger(); }
    void goTo(int number) {
        TTable& t = entries();
        for (t.First(); !t.Eof(); t.Next())
            if (current() == number) return;
        FAIL() << "no entry " << number;
    }
    // Runs a main-window command that opens the entry dialog and acts on it.
    bool withDialog(MainCommand c, DialogAct act) {
        bool seen = false;
        qvtest::whenModal<TGrunddatenEingabe>([&](TGrunddatenEingabe* d) {
            seen = true;
            act(d);
        });
        h->form->command(c).trigger();
        return seen;
    }
    static void ok(TGrunddatenEingabe* d) { QTest::mouseClick(d->OK, Qt::LeftButton); }
    static void cancel(TGrunddatenEingabe* d) { QTest::mouseClick(d->Abbruch, Qt::LeftButton); }

    qvtest::TempDir dir;
    std::unique_ptr<qvtest::MainWindowHarness> h;
};

TEST_F(EntryEditingTest, NewEntriesAreNumberedFromTheCounterAcrossARestart) {
    start();
    ASSERT_TRUE(withDialog(MainCommand::NewEntry, [](TGrunddatenEingabe* d) {
        // A new entry opens blank, with the number fields' defaults.
        EXPECT_EQ(d->Bezeichnung->text(), QString());
        EXPECT_EQ(d->AnzahlDisk->text(), QStringLiteral("1"));
        EXPECT_EQ(d->BoxNummer->text(), QStringLiteral("0"));
        EXPECT_EQ(d->DiskNummer->text(), QStringLiteral("0"));
        EXPECT_EQ(d->TabbedNotebook1->currentIndex(), 0);
        EXPECT_EQ(d->focusWidget(), d->Bezeichnung);
        d->Bezeichnung->setText(QStringLiteral("Erster Eintrag"));
        d->kategorie->setText(QStringLiteral("Büro"));
        d->BoxNummer->setFieldText(QStringLiteral("3"));
        d->CheckBox[1]->setChecked(true);
        ok(d);
    }));
    std::vector<qvtest::StoredEntry> all = storedEntries(entries());
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].number, 2);
    EXPECT_EQ(all[0].title, QStringLiteral("Erster Eintrag"));
    EXPECT_EQ(all[0].category, QStringLiteral("Büro"));
    EXPECT_EQ(all[0].carriers, 1);
    EXPECT_EQ(all[0].box, 3);
    EXPECT_EQ(all[0].flags, QStringLiteral(" x          "));
    EXPECT_EQ(current(), 2);
    EXPECT_EQ(entries().state(), TTable::dsBrowse);
    EXPECT_EQ(qvtest::mf::labelanzahl(h->form)->text(), QStringLiteral("1 : 1"));

    // Enter in a number field closes with OK, its empty text normalised.
    ASSERT_TRUE(withDialog(MainCommand::NewEntry, [](TGrunddatenEingabe* d) {
        d->Bezeichnung->setText(QStringLiteral("Zweiter"));
        d->AnzahlDisk->setFieldText(QString());
        d->AnzahlDisk->setFocus();
        QTest::keyClick(d->AnzahlDisk, Qt::Key_Return);
    }));
    EXPECT_EQ(storedEntry(entries(), 3).carriers, 1);

    // After a restart: the highest number plus 2.
    restart();
    ASSERT_TRUE(withDialog(MainCommand::NewEntry, [](TGrunddatenEingabe* d) {
        d->Bezeichnung->setText(QStringLiteral("Dritter"));
        ok(d);
    }));
    EXPECT_EQ(storedEntry(entries(), 5).title, QStringLiteral("Dritter"));
}

TEST_F(EntryEditingTest, ACancelledNewEntryLeavesNoRecordButConsumesItsNumber) {
    start(qvtest::numberedEntries(3));
    goTo(2);
    ASSERT_TRUE(withDialog(MainCommand::NewEntry, [](TGrunddatenEingabe* d) {
        d->Bezeichnung->setText(QStringLiteral("Verworfen"));
        cancel(d);
    }));
    EXPECT_EQ(entries().RecordCount(), 3);
    EXPECT_EQ(current(), 2);
    EXPECT_EQ(entries().state(), TTable::dsBrowse);
    EXPECT_FALSE(h->session().view(CatalogueTable::Entries).ControlsDisabled());
    EXPECT_FALSE(h->session().view(CatalogueTable::Files).ControlsDisabled());
    ASSERT_TRUE(withDialog(MainCommand::NewEntry, ok));
    // 3 + 1 at start, 5 consumed by the cancelled one.
    EXPECT_EQ(current(), 6);
    EXPECT_EQ(entries().RecordCount(), 4);
}

TEST_F(EntryEditingTest, ACancelledNewEntryOnAnEmptyListEndsOnNoRecord) {
    start();
    ASSERT_TRUE(withDialog(MainCommand::NewEntry, cancel));
    EXPECT_EQ(entries().RecordCount(), 0);
    EXPECT_TRUE(entries().Eof());
    // The commands on the current entry refuse, naming themselves.
    h->boxes.clear();
    for (MainCommand c :
         {MainCommand::EditEntry, MainCommand::CopyEntry, MainCommand::AdditionalText})
        h->form->command(c).trigger();
    ASSERT_EQ(h->boxes.shown().size(), 3u);
    QStringList captions;
    for (const auto& b : h->boxes.shown()) {
        EXPECT_EQ(b.text, QStringLiteral("Kein Datensatz vorhanden."));
        EXPECT_EQ(b.icon, qv::MsgIcon::Error);
        captions << b.caption;
    }
    EXPECT_EQ(captions,
              (QStringList{QStringLiteral("Eintrag ändern"), QStringLiteral("Neuanlage Kopie"),
                           QStringLiteral("Zusatztext eingeben")}));
    EXPECT_EQ(entries().RecordCount(), 0);
}

TEST_F(EntryEditingTest, ACopyTakesEverythingButTheFilesAndKeepsAnIndependentText) {
    EntryRow src;
    src.number = 7;
    src.title = QStringLiteral("Quelle");
    src.box = 4;
    src.disk = 2;
    src.category = QStringLiteral("Spiele");
    src.carrierType = QStringLiteral("CD-ROM");
    src.carriers = 3;
    src.flags = QStringLiteral("x X");
    src.lentTo = 12;
    src.borrowedFrom = 13;
    src.memo = QStringLiteral("Zeile 1\r\nZeile 2");
    qvtest::FileRow file;
    file.owner = 7;
    file.path = QStringLiteral("/");
    file.name = QStringLiteral("SETUP");
    file.ext = QStringLiteral("EXE");
    start({src}, {file, file});
    goTo(7);
    EXPECT_EQ(qvtest::mf::labelanzahl2(h->form)->text(), QStringLiteral("2"));

    // Cancel keeps the copy with the source's values and a new number.
    ASSERT_TRUE(withDialog(MainCommand::CopyEntry, [](TGrunddatenEingabe* d) {
        EXPECT_EQ(d->Bezeichnung->text(), QStringLiteral("Quelle"));
        EXPECT_TRUE(d->CheckBox[0]->isChecked());
        EXPECT_TRUE(d->CheckBox[2]->isChecked());
        cancel(d);
    }));
    EXPECT_EQ(current(), 9);
    qvtest::StoredEntry copy = storedEntry(entries(), 9);
    EXPECT_EQ(copy.title, QStringLiteral("Quelle"));
    EXPECT_EQ(copy.flags, QStringLiteral("x X         "));
    EXPECT_EQ(copy.lentTo, 12);
    EXPECT_EQ(copy.borrowedFrom, 13);
    EXPECT_EQ(copy.carriers, 3);
    EXPECT_EQ(copy.memo, src.memo);
    EXPECT_EQ(qvtest::mf::labelanzahl2(h->form)->text(), QStringLiteral("0"));

    // The copy's text edited afterwards leaves the source's text alone.
    qvtest::whenModal<TZusatztextEingabe>([](TZusatztextEingabe* z) {
        z->Memo1->selectAll();
        z->Memo1->insertPlainText(QStringLiteral("Neu"));
        QTest::mouseClick(z->BitBtn1, Qt::LeftButton);
    });
    ASSERT_TRUE(h->form->command(MainCommand::AdditionalText).trigger());
    EXPECT_EQ(storedEntry(entries(), 9).memo, QStringLiteral("Neu"));
    EXPECT_EQ(storedEntry(entries(), 7).memo, src.memo);
}

TEST_F(EntryEditingTest, AutomaticCarrierNumberReadsTheWholeBox) {
    std::vector<EntryRow> rows;
    int n = 0;
    for (auto [box, disk] :
         std::vector<std::pair<int, int>>{{7, 1}, {7, 2}, {7, 5}, {6, 40}, {8, 90}, {3, 99999}}) {
        EntryRow r;
        r.number = ++n;
        r.title = QStringLiteral("E%1").arg(n);
        r.box = box;
        r.disk = disk;
        rows.push_back(r);
    }
    EntryRow deleted;
    deleted.number = 20;
    deleted.title = QStringLiteral("Gelöscht");
    deleted.box = 7;
    deleted.disk = 50;
    deleted.deleted = true;
    rows.push_back(deleted);
    start(rows);
    goTo(4);
    auto autoNumber = [](TGrunddatenEingabe* d, const QString& box, const QString& disk) {
        d->BoxNummer->setFieldText(box);
        d->DiskNummer->setFieldText(disk);
        QTest::mouseClick(d->Button3, Qt::LeftButton);
        return d->DiskNummer->text();
    };
    ASSERT_TRUE(withDialog(MainCommand::EditEntry, [&](TGrunddatenEingabe* d) {
        EXPECT_EQ(autoNumber(d, QStringLiteral("7"), QStringLiteral("0")), QStringLiteral("6"));
        EXPECT_TRUE(holdsFocus(d, d->DiskNummer));
        EXPECT_TRUE(d->Button3->isEnabled());
        EXPECT_EQ(autoNumber(d, QStringLiteral("9"), QStringLiteral("")), QStringLiteral("1"));
        EXPECT_EQ(entries().state(), TTable::dsEdit);
        // Box 0 and a number already set are refused.
        h->boxes.clear();
        autoNumber(d, QStringLiteral("0"), QStringLiteral("0"));
        EXPECT_TRUE(holdsFocus(d, d->BoxNummer));
        autoNumber(d, QStringLiteral("7"), QStringLiteral("3"));
        EXPECT_EQ(d->DiskNummer->text(), QStringLiteral("3"));
        EXPECT_TRUE(holdsFocus(d, d->DiskNummer));
        // A full box has no number left.
        autoNumber(d, QStringLiteral("3"), QStringLiteral("0"));
        EXPECT_EQ(d->DiskNummer->text(), QStringLiteral("0"));
        d->BoxNummer->setFieldText(QStringLiteral("7"));
        d->DiskNummer->setFieldText(QStringLiteral("6"));
        ok(d);
    }));
    ASSERT_EQ(h->boxes.shown().size(), 3u);
    EXPECT_EQ(h->boxes.shown()[0].text,
              QStringLiteral("Datenträgernummer kann nur vergeben werden, wenn eine BOX-Nummer "
                             "eingetragen wurde."));
    EXPECT_EQ(
        h->boxes.shown()[1].text,
        QStringLiteral("Datenträgernummer ist bereits eingetragen. Automatische Vergabe ist "
                       "nur dann möglich, wenn die eingetragene Datenträgernummer NULL ist."));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(h->boxes.shown()[i].caption, QStringLiteral("Datenträger-Nummer"));
        EXPECT_EQ(h->boxes.shown()[i].icon, qv::MsgIcon::Error);
    }
    EXPECT_EQ(h->boxes.shown()[2].caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_EQ(storedEntry(entries(), 4).box, 7);
    EXPECT_EQ(storedEntry(entries(), 4).disk, 6);

    // A search result that hides number 6 does not hide it from the count.
    h->session().apollo(CatalogueTable::Entries).sx_Query(QStringLiteral("disknummer < 6"));
    h->session().setSearchActive(true);
    ASSERT_TRUE(withDialog(MainCommand::EditEntry, [&](TGrunddatenEingabe* d) {
        EXPECT_EQ(autoNumber(d, QStringLiteral("7"), QStringLiteral("0")), QStringLiteral("7"));
        cancel(d);
    }));
}

TEST_F(EntryEditingTest, FlagsTheUserDidNotTouchKeepTheirCharacter) {
    EntryRow r;
    r.number = 1;
    r.title = QStringLiteral("Alt");
    r.flags = QStringLiteral("xX  X");
    start({r});
    h->program->settings().replace(2, QStringLiteral("Spiele & Spaß"));
    h->program->settings().save();
    ASSERT_TRUE(withDialog(MainCommand::EditEntry, [](TGrunddatenEingabe* d) {
        EXPECT_TRUE(d->CheckBox[0]->isChecked());
        EXPECT_TRUE(d->CheckBox[1]->isChecked());
        EXPECT_FALSE(d->CheckBox[2]->isChecked());
        EXPECT_EQ(d->CheckBox[1]->text(), QStringLiteral("Spiele && Spaß"));
        d->Bezeichnung->setText(QStringLiteral("Neu"));
        ok(d);
    }));
    EXPECT_EQ(storedEntry(entries(), 1).flags, QStringLiteral("xX  X       "));
    EXPECT_EQ(storedEntry(entries(), 1).title, QStringLiteral("Neu"));
    ASSERT_TRUE(withDialog(MainCommand::EditEntry, [](TGrunddatenEingabe* d) {
        d->CheckBox[1]->setChecked(false);
        d->CheckBox[2]->setChecked(true);
        ok(d);
    }));
    EXPECT_EQ(storedEntry(entries(), 1).flags, QStringLiteral("x x X       "));
}

TEST_F(EntryEditingTest, TheCategoryComesFromTheListInChoosingMode) {
    start(qvtest::numberedEntries(1));
    TTable& categories = h->table(CatalogueTable::Categories);
    categories.Append();
    categories.FieldByName(QStringLiteral("KATEGO")).setAsString(QStringLiteral("Spiele"));
    categories.Post();
    ASSERT_TRUE(withDialog(MainCommand::EditEntry, [](TGrunddatenEingabe* d) {
        ASSERT_TRUE(d->Button2->isEnabled());
        // Closed otherwise: the field stays.
        qvtest::whenModal<qv::Tstd_katego>([](qv::Tstd_katego* w) { w->reject(); });
        QTest::mouseClick(d->Button2, Qt::LeftButton);
        EXPECT_EQ(d->kategorie->text(), QStringLiteral("Kategorie 1"));
        qvtest::whenModal<qv::Tstd_katego>([](qv::Tstd_katego* w) {
            EXPECT_EQ(w->BtnClose->text(), QString::fromUtf8("&Übernahme"));
            w->BtnClose->click();
        });
        QTest::mouseClick(d->Button2, Qt::LeftButton);
        EXPECT_EQ(d->kategorie->text(), QStringLiteral("Spiele"));
        EXPECT_EQ(d->focusWidget(), d->Diskart);
        ok(d);
    }));
    EXPECT_EQ(storedEntry(entries(), 1).category, QStringLiteral("Spiele"));
}

TEST_F(EntryEditingTest, ANumberFieldWithoutANumberKeepsTheDialogOpen) {
    start(qvtest::numberedEntries(1));
    ASSERT_TRUE(withDialog(MainCommand::EditEntry, [this](TGrunddatenEingabe* d) {
        d->Bezeichnung->setText(QStringLiteral("Geändert"));
        d->BoxNummer->editor()->setText(QStringLiteral("1x"));
        ok(d);
        EXPECT_TRUE(d->isVisible());
        EXPECT_TRUE(holdsFocus(d, d->BoxNummer));
        ASSERT_FALSE(h->boxes.shown().empty());
        EXPECT_EQ(h->boxes.last().text, QStringLiteral("'1x' ist kein gültiger Integerwert."));
        EXPECT_EQ(entries().state(), TTable::dsEdit);
        cancel(d);
    }));
    EXPECT_EQ(storedEntry(entries(), 1).title, QStringLiteral("Eintrag 0001"));
    EXPECT_EQ(entries().state(), TTable::dsBrowse);
    EXPECT_FALSE(h->session().view(CatalogueTable::Entries).ControlsDisabled());
}

TEST_F(EntryEditingTest, ANewEntryStartsAtBoxZeroWhateverTheDialogShowedBefore) {
    start({EntryRow(4, QStringLiteral("Im Regal"), 7, 2)});
    auto expectBlank = [](TGrunddatenEingabe* d) {
        EXPECT_EQ(d->Bezeichnung->text(), QString());
        EXPECT_EQ(d->AnzahlDisk->text(), QStringLiteral("1"));
        EXPECT_EQ(d->BoxNummer->text(), QStringLiteral("0"));
        EXPECT_EQ(d->DiskNummer->text(), QStringLiteral("0"));
    };
    // Shown and cancelled, then a new entry.
    ASSERT_TRUE(withDialog(MainCommand::EditEntry, [](TGrunddatenEingabe* d) {
        EXPECT_EQ(d->BoxNummer->text(), QStringLiteral("7"));
        EXPECT_EQ(d->DiskNummer->text(), QStringLiteral("2"));
        cancel(d);
    }));
    ASSERT_TRUE(withDialog(MainCommand::NewEntry, [&](TGrunddatenEingabe* d) {
        expectBlank(d);
        d->Bezeichnung->setText(QStringLiteral("Neu"));
        // Typing the carrier type stops at 10 characters.
        d->Diskart->setFocus();
        QTest::keyClicks(d->Diskart, QStringLiteral("Wechselplatte"));
        EXPECT_EQ(d->Diskart->text(), QStringLiteral("Wechselpla"));
        ok(d);
    }));
    const qvtest::StoredEntry made = storedEntry(entries(), 6);
    EXPECT_EQ(QString("%1 %2/%3/%4")
                  .arg(made.carrierType)
                  .arg(made.box)
                  .arg(made.disk)
                  .arg(made.carriers),
              QStringLiteral("Wechselpla 0/0/1"));
    // Shown and confirmed, then a new entry: blank again.
    goTo(4);
    ASSERT_TRUE(withDialog(MainCommand::EditEntry, ok));
    ASSERT_TRUE(withDialog(MainCommand::NewEntry, [&](TGrunddatenEingabe* d) {
        expectBlank(d);
        cancel(d);
    }));
}

TEST_F(EntryEditingTest, TheSearchCheckGuardsNewAndCopyButNotEdit) {
    start(qvtest::numberedEntries(2));
    h->session().setSearchActive(true);
    h->boxes.clear();
    h->form->command(MainCommand::NewEntry).trigger();
    h->form->command(MainCommand::CopyEntry).trigger();
    ASSERT_EQ(h->boxes.shown().size(), 2u);
    for (const auto& b : h->boxes.shown()) {
        EXPECT_EQ(b.text, QStringLiteral("Neuanlage nur bei NICHT-AKTIVER  SUCHE möglich."));
        EXPECT_EQ(b.caption, QStringLiteral("Achtung"));
        EXPECT_EQ(b.icon, qv::MsgIcon::Information);
    }
    EXPECT_EQ(entries().RecordCount(), 2);
    EXPECT_TRUE(withDialog(MainCommand::EditEntry, ok));
}

TEST_F(EntryEditingTest, TheAdditionalTextKeepsItsBytesAndLineBreaks) {
    EntryRow r;
    r.number = 1;
    r.title = QStringLiteral("Mit Text");
    r.memo = QStringLiteral("Preis:\u00a010\u00a0€\nzweite Zeile\r\n");
    start({r});
    qvtest::mf::TabControl2(h->form)->setCurrentIndex(TMainForm::TabText);
    auto edit = [this](std::function<void(TZusatztextEingabe*)> act) {
        qvtest::whenModal<TZusatztextEingabe>(act);
        h->form->command(MainCommand::AdditionalText).trigger();
    };
    // Saved unchanged: the same text, no-break spaces and the odd breaks kept.
    edit([](TZusatztextEingabe* z) {
        EXPECT_EQ(z->focusWidget(), z->Memo1);
        QTest::mouseClick(z->BitBtn1, Qt::LeftButton);
    });
    EXPECT_EQ(storedEntry(entries(), 1).memo, r.memo);

    // Changed: CR LF between the lines, none after the last, the no-break
    // spaces still there; the main window shows the new text at once.
    edit([](TZusatztextEingabe* z) {
        QTextCursor c = z->Memo1->textCursor();
        c.movePosition(QTextCursor::End);
        z->Memo1->setTextCursor(c);
        QTest::keyClicks(z->Memo1, QStringLiteral("dritte"));
        QTest::mouseClick(z->BitBtn1, Qt::LeftButton);
    });
    const QString expected = QStringLiteral("Preis:\u00a010\u00a0€\r\nzweite Zeile\r\ndritte");
    EXPECT_EQ(storedEntry(entries(), 1).memo, expected);
    EXPECT_TRUE(qvtest::mf::DBMemo1(h->form)->toPlainText().endsWith(QStringLiteral("dritte")));
    EXPECT_EQ(h->form->focusWidget(), static_cast<QWidget*>(qvtest::mf::DBGrid1(h->form)));

    // Ctrl+Del deletes the selection only; cancel discards everything.
    edit([](TZusatztextEingabe* z) {
        EXPECT_EQ(z->Memo1->toPlainText(), QStringLiteral("Preis: 10 €\nzweite Zeile\ndritte"));
        z->Memo1->selectAll();
        QTest::keyClick(z->Memo1, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(z->Memo1->toPlainText(), QString());
        QTest::mouseClick(z->BitBtn2, Qt::LeftButton);
    });
    EXPECT_EQ(storedEntry(entries(), 1).memo, expected);

    // Emptied and saved: an empty text.
    edit([](TZusatztextEingabe* z) {
        z->Memo1->clear();
        QTest::mouseClick(z->BitBtn1, Qt::LeftButton);
    });
    EXPECT_EQ(storedEntry(entries(), 1).memo, QString());
    EXPECT_EQ(qvtest::mf::DBMemo1(h->form)->toPlainText(), QString());
}

}  // namespace
