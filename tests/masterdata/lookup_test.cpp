// Scenarios of the lookup lists (extensions, categories, carrier types) on
// the real main window and catalogue.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "masterdata/ui/lookupwindows.h"
#include "masterdata/ui/masterdatawindows.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "support/listwindows.h"
#include "support/mainwindow.h"
#include "ui/command.h"

namespace {

using qv::CatalogueTable;
using qv::MsgAnswer;
using qv::MsgIcon;
using qvtest::answerEdit;
using qvtest::column;
using qvtest::currentRow;

class LookupTest : public ::testing::Test {
  protected:
    LookupTest() { qvtest::createCatalogue(dir.path()); }
    qvtest::TempDir dir;
};

// Every record of a table with its deletion flag, in record order, read from
// the table object (what the store holds).
QStringList stored(TTable& t, const QString& field) {
    QStringList out;
    TApollo a;
    TDataSource view(&t);
    a.setDataSource(&view);
    const int tag = a.sx_IndexOrd();
    a.sx_SetOrder(0);
    for (int r = 1; r <= a.sx_RecCount(); ++r) {
        a.sx_Go(r);
        out << QString(QChar::fromLatin1(a.sx_GetRecord().at(0))) + t.FieldByName(field).AsString();
    }
    a.sx_SetOrder(tag);
    return out;
}

TEST_F(LookupTest, CategoryListNewSearchDeleteAndEmptyListMessages) {
    qvtest::MainWindowHarness h(dir.path());
    ASSERT_TRUE(h.started);
    h.table(CatalogueTable::Categories).Close();  // the window opens it itself
    qv::Tstd_katego& w = qv::MasterdataWindows::of(h.session()).katego(h.form);
    w.show();
    ASSERT_TRUE(h.table(CatalogueTable::Categories).Active());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Stammdaten Kategorien"));

    // An empty list: search, change and delete each refuse with their caption.
    w.searchCommand().trigger();
    w.editCommand().trigger();
    w.deleteCommand().trigger();
    ASSERT_EQ(h.boxes.shown().size(), 3u);
    const char* captions[] = {"Suche nicht möglich", "Ändern nicht möglich",
                              "Löschen nicht möglich"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(h.boxes.shown()[i].text, QStringLiteral("Kein Datensatz vorhanden."));
        EXPECT_EQ(h.boxes.shown()[i].caption, QString::fromUtf8(captions[i]));
        EXPECT_EQ(h.boxes.shown()[i].icon, MsgIcon::Error);
    }
    h.boxes.clear();

    // New records become current and stay current after the dialog closed.
    for (const char* name : {"Spiele", "Anwendungen", "Weiß", "Treiber"}) {
        answerEdit<qv::Tstd_katego_edit>({QString::fromUtf8(name)});
        w.newCommand().trigger();
        EXPECT_EQ(currentRow(w, "KATEGO"), QString::fromUtf8(name));
    }
    EXPECT_EQ(column(w, "KATEGO"),
              (QStringList{"Anwendungen", "Spiele", "Treiber", QString::fromUtf8("Weiß")}));

    // Search: a prefix in lower case; "weiß" finds "Weiß" (no "SS").
    h.boxes.queueInput(true, QStringLiteral("spi"));
    w.searchCommand().trigger();
    EXPECT_EQ(currentRow(w, "KATEGO"), QStringLiteral("Spiele"));
    h.boxes.queueInput(true, QString::fromUtf8("weiß"));
    w.searchCommand().trigger();
    EXPECT_EQ(currentRow(w, "KATEGO"), QString::fromUtf8("Weiß"));
    EXPECT_EQ(h.boxes.shown().back().caption, QStringLiteral("Suche"));
    EXPECT_EQ(h.boxes.shown().back().text, QStringLiteral("Suche nach Kategorie:"));
    EXPECT_EQ(h.boxes.shown().back().maxLength, 255);
    // A miss and a text longer than the key leave the cursor where it was.
    for (const QString& miss : {QStringLiteral("xyz"), QString(255, QLatin1Char('S'))}) {
        h.boxes.clear();
        h.boxes.queueInput(true, miss);
        w.searchCommand().trigger();
        EXPECT_EQ(currentRow(w, "KATEGO"), QString::fromUtf8("Weiß"));
        ASSERT_EQ(h.boxes.shown().size(), 2u);
        EXPECT_EQ(h.boxes.last().text, QStringLiteral("Nicht gefunden."));
        EXPECT_EQ(h.boxes.last().caption, QStringLiteral("Meldung"));
        EXPECT_EQ(h.boxes.last().icon, MsgIcon::None);
    }

    // Change keeps the record current and writes the text as typed.
    QStringList seen;
    answerEdit<qv::Tstd_katego_edit>({QStringLiteral("Weiss")}, &seen);
    w.editCommand().trigger();
    EXPECT_EQ(seen, QStringList{QString::fromUtf8("Weiß")});
    EXPECT_EQ(currentRow(w, "KATEGO"), QStringLiteral("Weiss"));

    // Delete: No keeps it; a middle record leaves its predecessor current,
    // the first one the new first, the only one an empty list.
    h.boxes.queueAnswer(MsgAnswer::No);
    w.deleteCommand().trigger();
    EXPECT_EQ(column(w, "KATEGO").size(), 4);
    EXPECT_EQ(h.boxes.last().text, QStringLiteral("Eintrag wirklich löschen ?"));
    EXPECT_EQ(h.boxes.last().caption, QStringLiteral("Löschen ?"));
    h.boxes.queueInput(true, QStringLiteral("Tr"));
    w.searchCommand().trigger();
    h.boxes.queueAnswer(MsgAnswer::Yes);
    w.deleteCommand().trigger();
    EXPECT_EQ(currentRow(w, "KATEGO"), QStringLiteral("Spiele"));
    w.ApolloStd->sx_GoTop();
    h.boxes.queueAnswer(MsgAnswer::Yes);
    w.deleteCommand().trigger();
    EXPECT_EQ(currentRow(w, "KATEGO"), QStringLiteral("Spiele"));
    w.ApolloStd->sx_GoBottom();  // the last one: its predecessor
    h.boxes.queueAnswer(MsgAnswer::Yes);
    w.deleteCommand().trigger();
    EXPECT_EQ(currentRow(w, "KATEGO"), QStringLiteral("Spiele"));
    h.boxes.queueAnswer(MsgAnswer::Yes);
    w.deleteCommand().trigger();
    EXPECT_TRUE(column(w, "KATEGO").isEmpty());
    EXPECT_FALSE(w.list().hasCurrent());

    // The store keeps every record, flagged.
    EXPECT_EQ(stored(h.table(CatalogueTable::Categories), "katego"),
              (QStringList{"*Spiele              ", "*Anwendungen         ",
                           "*Weiss               ", "*Treiber             "}));
    // Closing the window closes the category table.
    w.close();
    EXPECT_FALSE(h.table(CatalogueTable::Categories).Active());
}

TEST_F(LookupTest, ExtensionDialogRefusesEmptyAndUpperCasesAsTyped) {
    qvtest::MainWindowHarness h(dir.path());
    qv::Tstd_endung& w = qv::MasterdataWindows::of(h.session()).endung(h.form);
    w.show();
    qvtest::whenModal<qv::Tstd_endung_edit>([&](qv::Tstd_endung_edit* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Eingabe Endungs-Daten"));
        d->BitBtn1->click();  // empty: refused, the dialog stays
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(
            h.boxes.last().text,
            QStringLiteral("Leerer Eintrag unzulässig. Es muß eine Endung angegeben werden."));
        EXPECT_EQ(h.boxes.last().caption, QStringLiteral("Endung fehlt"));
        QTest::keyClicks(d->Edit1, QStringLiteral("exeX"));  // the fourth letter does not fit
        QTest::keyClicks(d->Edit2, QStringLiteral("Programme"));
        d->BitBtn1->click();
    });
    w.newCommand().trigger();
    EXPECT_EQ(currentRow(w, "ENDUNG"), QStringLiteral("EXE"));
    EXPECT_EQ(currentRow(w, "BEZEICH"), QStringLiteral("Programme"));
    // Blanks only count as a value.
    answerEdit<qv::Tstd_endung_edit>({QStringLiteral("   "), QString()});
    w.newCommand().trigger();
    EXPECT_EQ(column(w, "ENDUNG").size(), 2);
    // A cancelled dialog writes nothing.
    qvtest::cancelEdit<qv::Tstd_endung_edit>();
    w.newCommand().trigger();
    EXPECT_EQ(stored(h.table(CatalogueTable::Extensions), "endung"), (QStringList{" EXE", "    "}));
    // The extension table stays open after closing; reopened after a
    // reading closed it, the list shows again.
    w.close();
    EXPECT_TRUE(h.table(CatalogueTable::Extensions).Active());
    h.table(CatalogueTable::Extensions).Close();
    w.show();
    EXPECT_EQ(column(w, "ENDUNG").size(), 2);
    w.close();
}

TEST_F(LookupTest, ChoosingModeHandsBackTheTrimmedValueOrNothing) {
    qvtest::MainWindowHarness h(dir.path());
    qv::TStdListWindow* seen = nullptr;
    // An empty list hands back "".
    qvtest::whenModal<qv::Tstd_art>([&](qv::Tstd_art* w) {
        seen = w;
        EXPECT_EQ(w->BtnClose->text(), QString::fromUtf8("&Übernahme"));
        w->BtnClose->click();
    });
    EXPECT_EQ(qv::chooseCarrierType(h.session(), h.form), std::optional<QString>(QString()));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->BtnClose->text(), QString::fromUtf8("&Schließen"));

    qv::MasterList list(h.session().apollo(CatalogueTable::CarrierTypes), true);
    h.table(CatalogueTable::CarrierTypes).Open();
    list.append({{QStringLiteral("cdiskart"), QStringLiteral("CD-ROM")}});
    list.append({{QStringLiteral("cdiskart"), QStringLiteral("Diskette 3,5")}});
    // The record under the cursor, trimmed at the right.
    qvtest::whenModal<qv::Tstd_art>([&](qv::Tstd_art* w) {
        w->ApolloStd->sx_GoBottom();
        w->BtnClose->click();
    });
    EXPECT_EQ(qv::chooseCarrierType(h.session(), h.form),
              std::optional<QString>(QStringLiteral("Diskette 3,5")));
    // The menu item and the close box give Cancel; the button is "&Schließen" again.
    qvtest::whenModal<qv::Tstd_art>([](qv::Tstd_art* w) { w->Schlieen1->trigger(); });
    EXPECT_EQ(qv::chooseCarrierType(h.session(), h.form), std::nullopt);
    qvtest::whenModal<qv::Tstd_art>([](qv::Tstd_art* w) { w->close(); });
    EXPECT_EQ(qv::chooseCarrierType(h.session(), h.form), std::nullopt);
    EXPECT_EQ(seen->BtnClose->text(), QString::fromUtf8("&Schließen"));
    EXPECT_FALSE(h.table(CatalogueTable::CarrierTypes).Active());

    // Shown for maintenance from the main window, the same window closes with
    // "&Schließen".
    qvtest::whenModal<qv::Tstd_art>([&](qv::Tstd_art* w) {
        EXPECT_EQ(w, seen);
        EXPECT_EQ(w->BtnClose->text(), QString::fromUtf8("&Schließen"));
        EXPECT_EQ(column(*w, "CDISKART"), (QStringList{"CD-ROM", "Diskette 3,5"}));
        w->BtnClose->click();
    });
    EXPECT_TRUE(h.form->command(qv::MainCommand::CarrierTypes).trigger());
}

}  // namespace
