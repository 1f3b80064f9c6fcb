// The entry query from the main window: the dialog, the search-active state
// and its resolving, the empty result and a run that fails on the way.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <gtest/gtest.h>

#include "queryrows.h"
#include "search/ui/suchabfrage.h"
#include "store/tdatasource.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "support/recordingprogress.h"
#include "ui/dbgrid.h"
#include "ui/wmessage.h"

namespace {

using qv::MainCommand;

const QColor kTeal(0, 128, 128);

class QueryWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::createCatalogue(dir.path());
        qvtest::addEntries(dir.path(), qvtest::queryEntries());
        h = std::make_unique<qvtest::MainWindowHarness>(dir.path());
        ASSERT_TRUE(h->started);
    }

    TMainForm& form() { return *h->form; }
    QAction* action(const char* name) { return form().findChild<QAction*>(QLatin1String(name)); }
    QToolButton* button() {
        return form().findChild<QToolButton*>(QStringLiteral("speedbuttonAbfrage"));
    }
    // Fills the dialog when it shows and leaves it with `leave`.
    void answerDialog(std::function<void(TSuchabfrage*)> fill,
                      QPushButton* TSuchabfrage::*leave = &TSuchabfrage::BitBtnOk) {
        qvtest::whenModal<TSuchabfrage>([fill, leave](TSuchabfrage* d) {
            fill(d);
            (d->*leave)->click();
        });
    }

    // The window in the no-query state.
    void expectNoQuery(bool afterAQuery = true) {
        EXPECT_FALSE(h->session().searchActive());
        EXPECT_TRUE(action("menusuche1")->isEnabled());
        EXPECT_FALSE(action("menusuche2")->isEnabled());
        EXPECT_TRUE(button()->isEnabled());
        EXPECT_FALSE(button()->isChecked());
        // The first hint is the design's; a reset sets the one without the hyphen.
        EXPECT_EQ(button()->toolTip(),
                  afterAQuery ? QStringLiteral("Suchabfrage starten, Teilmenge anzeigen")
                              : QStringLiteral("Such-Abfrage starten, Teilmenge anzeigen"));
        EXPECT_EQ(form().labelanzahl->text(), QStringLiteral("1 : 6"));
        EXPECT_NE(form().labelanzahl->palette().color(QPalette::Window), kTeal);
        EXPECT_EQ(form().labelanzahl->palette().color(QPalette::WindowText), QColor(Qt::black));
        EXPECT_FALSE(form().program().wmessage().isVisible());
        EXPECT_EQ(form().DataSource1->suspendCount(), 0);
        EXPECT_EQ(form().DataSource2->suspendCount(), 0);
    }
    // The window in the search-active state with `hits` entries.
    void expectSearchActive(int hits) {
        EXPECT_TRUE(h->session().searchActive());
        EXPECT_FALSE(action("menusuche1")->isEnabled());
        EXPECT_TRUE(action("menusuche2")->isEnabled());
        EXPECT_TRUE(button()->isEnabled());
        EXPECT_TRUE(button()->isChecked());
        EXPECT_EQ(button()->toolTip(), QStringLiteral("Suchabfrage auflösen, Alle Daten anzeigen"));
        EXPECT_EQ(form().labelanzahl->text(), QString::number(hits));
        EXPECT_EQ(form().labelanzahl->palette().color(QPalette::Window), kTeal);
        EXPECT_EQ(form().labelanzahl->palette().color(QPalette::WindowText), QColor(Qt::white));
        EXPECT_EQ(form().DBGrid1->model()->rowCount(), hits);
        EXPECT_FALSE(form().program().wmessage().isVisible());
        EXPECT_EQ(form().program().wmessage().line2(), QString());
        EXPECT_EQ(form().DataSource2->suspendCount(), 0);
        // The grey flash is over.
        EXPECT_NE(form().palette().color(QPalette::Window), QColor(128, 128, 128));
    }

    qvtest::TempDir dir;
    std::unique_ptr<qvtest::MainWindowHarness> h;
};

TEST_F(QueryWindow, F2NarrowsTheListAndShiftF2ShowsEverythingAgain) {
    expectNoQuery(false);
    answerDialog([](TSuchabfrage* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Such-Abfrage"));
        EXPECT_EQ(d->TabbedNotebook1->currentIndex(), 0);
        EXPECT_EQ(d->focusWidget(), d->Bezeichnung);
        // Typed in lower case, held in upper case as the engine makes it.
        qvtest::typeText(d->Bezeichnung, QStringLiteral("wi"));
        EXPECT_EQ(d->Bezeichnung->text(), QStringLiteral("WI"));
    });
    h->key(Qt::Key_F2);
    expectSearchActive(2);
    // The list stands on the first hit, "Windows 95".
    EXPECT_EQ(h->table(qv::CatalogueTable::Entries).FieldByName("EINDEUTIG").AsInteger(), 1);
    // F2 does nothing while a query is in force.
    h->key(Qt::Key_F2);
    expectSearchActive(2);

    // "&Alle Daten anzeigen" (Shift+F2; the key itself is checked under a real display).
    EXPECT_EQ(action("menusuche2")->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F2));
    action("menusuche2")->trigger();
    expectNoQuery();
    EXPECT_EQ(form().DBGrid1->model()->rowCount(), 6);
}

TEST_F(QueryWindow, ButtonRunsAndReleasesDialogKeepsItsFields) {
    answerDialog([](TSuchabfrage* d) {
        qvtest::typeText(d->Bezeichnung, QStringLiteral("straße"));
        EXPECT_EQ(d->Bezeichnung->text(), QStringLiteral("STRAßE"));
        d->BoxNummer->setValue(7);
    });
    button()->click();
    expectSearchActive(1);
    button()->click();  // released: everything again
    expectNoQuery();

    // The fields are kept; "ODER" on the second page widens the hits.
    answerDialog([](TSuchabfrage* d) {
        EXPECT_EQ(d->Bezeichnung->text(), QStringLiteral("STRAßE"));
        EXPECT_EQ(d->BoxNummer->value(), 7);
        d->verknuepfungOder->setChecked(true);
    });
    button()->click();
    expectSearchActive(3);  // entries 1, 3 and 5 (box 7)
    action("menusuche2")->trigger();
    expectNoQuery();

    // Cancel: no query, the button is up again.
    answerDialog([](TSuchabfrage*) {}, &TSuchabfrage::BitBtnAbbrechen);
    button()->click();
    expectNoQuery();

    // Reset: fields emptied, box 0, result 4, no query.
    TSuchabfrage* dialog = nullptr;
    answerDialog([&dialog](TSuchabfrage* d) { dialog = d; }, &TSuchabfrage::BitBtnReset);
    button()->click();
    expectNoQuery();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->result(), TSuchabfrage::kResetResult);
    EXPECT_TRUE(dialog->Bezeichnung->text().isEmpty());
    EXPECT_EQ(dialog->BoxNummer->text(), QStringLiteral("0"));
}

TEST_F(QueryWindow, EmptyResultSaysSoAndShowsEverything) {
    h->boxes.queueAnswer(qv::MsgAnswer::Ok);
    answerDialog([](TSuchabfrage* d) { d->kategorie->setText(QStringLiteral("NICHTDA")); });
    action("menusuche1")->trigger();
    ASSERT_FALSE(h->boxes.shown().empty());
    EXPECT_EQ(h->boxes.last().text,
              QStringLiteral("Keinen Eintrag gefunden.\nSchalte auf ALLE Einträge zurück."));
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("Hinweis"));
    EXPECT_EQ(h->boxes.last().icon, qv::MsgIcon::Information);
    expectNoQuery();

    // Only box 0: no condition, every entry, and the state is entered all the same.
    answerDialog([](TSuchabfrage* d) {
        d->kategorie->clear();
        d->BoxNummer->setValue(0);
    });
    action("menusuche1")->trigger();
    expectSearchActive(6);
    EXPECT_EQ(h->boxes.shown().size(), 1u);
}

TEST_F(QueryWindow, RefusedTextAndFailedRunLeaveTheWindowAsItWas) {
    answerDialog([](TSuchabfrage* d) { d->Bezeichnung->setText(QStringLiteral("A'B\"C")); });
    action("menusuche1")->trigger();
    ASSERT_EQ(h->boxes.shown().size(), 1u);
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_EQ(h->boxes.last().icon, qv::MsgIcon::Error);
    EXPECT_TRUE(h->boxes.last().text.contains(QStringLiteral("Anführungszeichen")));
    expectNoQuery();

    // The engine fails half-way: menus, button, hint, progress window and
    // views come back, and the state stays off.
    h->table(qv::CatalogueTable::Entries).Close();
    answerDialog([](TSuchabfrage* d) { d->Bezeichnung->setText(QStringLiteral("WIN")); });
    button()->click();
    ASSERT_EQ(h->boxes.shown().size(), 2u);
    EXPECT_EQ(h->boxes.last().icon, qv::MsgIcon::Error);
    EXPECT_FALSE(h->session().searchActive());
    EXPECT_TRUE(action("menusuche1")->isEnabled());
    EXPECT_FALSE(action("menusuche2")->isEnabled());
    EXPECT_FALSE(button()->isChecked());
    EXPECT_EQ(button()->toolTip(), QStringLiteral("Suchabfrage starten, Teilmenge anzeigen"));
    EXPECT_FALSE(form().program().wmessage().isVisible());
    EXPECT_EQ(form().DataSource2->suspendCount(), 0);
    EXPECT_NE(form().palette().color(QPalette::Window), QColor(128, 128, 128));
}

}  // namespace
