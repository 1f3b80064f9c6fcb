#include "entries/ui/mainform.h"
#include "app/qv-tessarin/features.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <filesystem>

#include <gtest/gtest.h>

#include "store/displays.h"
#include "support/testutil.h"
#include "ui/dbnavigator.h"
#include "ui/helpwindow.h"
#include "ui/infobox.h"
#include "ui/introform.h"
#include "ui/program.h"

namespace fs = std::filesystem;

namespace {

// One line per menu entry: caption | shortcut | enabled; "-" for a separator.
// The entries the features add to the menus (and their separators) are left
// out: the program's own layout is compared.
QStringList describe(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions) {
        if (a->isSeparator()) {
            if (!out.isEmpty() && out.back() != QStringLiteral("-")) out << QStringLiteral("-");
            continue;
        }
        if (!a->objectName().isEmpty() && qv::Program::current() &&
            static_cast<TMainForm*>(qv::Program::current()->mainForm())
                ->commands()
                .added(a->objectName()))
            continue;
        out << QStringLiteral("%1|%2|%3")
                   .arg(a->text(), a->shortcut().toString(QKeySequence::PortableText),
                        a->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"));
    }
    while (!out.isEmpty() && out.back() == QStringLiteral("-"))
        out.removeLast();
    return out;
}

class CountingStartup : public qv::CatalogueStartup {
  public:
    bool checkCatalogue(qv::IntroDisplay&) override {
        ++checks;
        return true;
    }
    void reopenTables() override {}
    void selectStartOrders() override {}
    void reattachControls() override {}
    void gotoFirstEntry() override {}
    void focusEntryList() override {}
    void initEntryNumbers() override { ++numberInits; }
    int checks = 0;
    int numberInits = 0;
};

class MainFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        program = std::make_unique<qv::Program>(QString::fromStdString(dir.path().string()));
        program->setQuitFunction([this] { ++quits; });
        auto c = std::make_unique<CountingStartup>();
        startup = c.get();
        program->setCatalogueStartup(std::move(c));
        program->start(
            [](qv::Program& p) { return std::make_unique<TMainForm>(p, qv::programFeatures()); });
        form = static_cast<TMainForm*>(program->mainForm());
    }
    void TearDown() override {
        if (qv::HelpWindow* h = qv::helpWindowIfCreated()) h->hide();
    }
    void showAndActivate() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }
    QAction* action(const char* name) { return form->findChild<QAction*>(QLatin1String(name)); }
    template <class T = QToolButton>
    T* child(const char* name) {
        return form->findChild<T*>(QLatin1String(name));
    }
    Tinfobox* infobox() { return program->infobox().ifCreated(); }

    qvtest::TempDir dir;
    std::unique_ptr<qv::Program> program;
    TMainForm* form = nullptr;
    CountingStartup* startup = nullptr;
    int quits = 0;
};

TEST_F(MainFormTest, CaptionAndPlaceOnTheScreen) {
    EXPECT_EQ(form->objectName(), QStringLiteral("MainForm"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("QV-TESSARIN 97 (32 Bit)"));
    EXPECT_FALSE(form->searchActive());
    form->show();
    const QPoint screenCentre = form->screen()->availableGeometry().center();
    const QPoint centre = form->frameGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 4)
        << centre.x() << "," << centre.y() << " vs " << screenCentre.x() << "," << screenCentre.y();
}

TEST_F(MainFormTest, MainMenuLayout) {
    const std::vector<std::pair<QString, QStringList>> expected = {
        {"&Datei", {"&Reorganistation||on", "-", "&Import QV-Lindovar||on", "-", "&Beenden||on"}},
        {"&Suche", {"&Suchabfrage starten|F2|on", "-", "&Alle Daten anzeigen|Shift+F2|off"}},
        {"&Bearbeiten",
         {"&Neuanlage leer|Ins|on", "Neuanlage &Kopie|Shift+Ins|on", "-",
          "&Eintrag ändern|Return|on", "&Zusatztext eingeben|Ctrl+Return|on", "-",
          "&Löschen|Del|on"}},
        {"Datenträ&ger",
         {"&Datenträger einlesen|F11|on", "Dateizuordnung &löschen|Ctrl+F11|on", "-",
          "&Recherche in allen Dateien|F12|on"}},
        {"S&tatistik",
         {"&Datenträger-Anzahl||on", "-", "Einträge je &Kategorie||on", "Einträge je &Status||on"}},
        {"&Ausgabe", {"Vorschau - &Etikettendruck||on", "-", "Vorschau - &Listendruck||on"}},
        {"&Parameter",
         {"&Einlese-Endungen|F10|on", "&Kategorien|F7|on", "-", "Programm-&Status|Shift+F10|on",
          "&Datenträger-Arten|Shift+F7|on", "-", "&Adressen (Verleih)||on", "-",
          "Drucker - &Vorgaben||on"}},
        {"?", {"&Hilfe|F1|on", "-", "&über QV-TESSARIN||on"}},
    };
    const QList<QAction*> menus = form->menuBar()->actions();
    ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QAction* m = menus[static_cast<qsizetype>(i)];
        EXPECT_EQ(m->text(), expected[i].first);
        EXPECT_TRUE(m->isEnabled()) << m->text().toStdString();
        ASSERT_NE(m->menu(), nullptr);
        EXPECT_EQ(describe(m->menu()->actions()), expected[i].second) << m->text().toStdString();
    }
}

TEST_F(MainFormTest, MenuItemsCarryTheirNames) {
    for (const char* name : {"Reorganistation1",
                             "ImportQVLindovar1",
                             "Beenden1",
                             "menusuche1",
                             "menusuche2",
                             "Neuanlageleer1",
                             "NeuanlageKopie1",
                             "Eintragaendern1",
                             "Zusatztexteingeben1",
                             "Loeschen1",
                             "Datentraegereinlesen1",
                             "Dateizuordnungloeschen1",
                             "RechercheinallenDateien1",
                             "DatentraegerAnzahl1",
                             "EintraegejeKategorie1",
                             "EintraegejeStatus1",
                             "VorschauEtikettendruck1",
                             "VorschauListendruck1",
                             "EinleseEndungen1",
                             "Kategorien1",
                             "ProgrammStatus1",
                             "DatentraegerArten1",
                             "AdressenVerleih1",
                             "DruckerVorgaben1",
                             "Hilfe1",
                             "ueberQVTESSARIN1"}) {
        EXPECT_NE(action(name), nullptr) << name;
    }
    EXPECT_EQ(action("menusuche2")->text(), QStringLiteral("&Alle Daten anzeigen"));
    // Both Enter keys edit; with Ctrl both open the additional text.
    EXPECT_EQ(action("Eintragaendern1")->shortcuts().size(), 2);
    EXPECT_EQ(action("Zusatztexteingeben1")->shortcuts().size(), 2);
}

TEST_F(MainFormTest, ContextMenuOfTheEntryList) {
    ASSERT_NE(form->popupMenu(), nullptr);
    EXPECT_EQ(form->popupMenu()->objectName(), QStringLiteral("PopupMenu1"));
    EXPECT_EQ(describe(form->popupMenu()->actions()),
              (QStringList{"&Neuanlage leer|Ins|on", "Neuanlage &Kopie|Shift+Ins|on",
                           "&Eintrag ändern|Return|on", "&Zusatztext eingeben|Ctrl+Return|on",
                           "&Löschen|Del|on", "-", "&Datenträger einlesen|F11|on",
                           "Dateizuordnung &löschen|Ctrl+F11|on",
                           "&Recherche in allen Dateien|F12|on", "-", "&über QV-TESSARIN||on"}));
}

TEST_F(MainFormTest, ToolBarButtonsHintsAndStates) {
    struct Expected {
        const char* name;
        const char* hint;
        bool enabled;
    };
    const std::vector<Expected> expected = {
        {"speedbuttonAbfrage", "Such-Abfrage starten, Teilmenge anzeigen", true},
        {"SpeedButton1", "Neuen Eintrag", true},
        {"SpeedButton2", "Eintrag duplizieren", true},
        {"SpeedButton3", "Eintrag bearbeiten", true},
        {"SpeedButton4", "Eintrag löschen", true},
        {"SpeedButton5", "Datenträger einlesen", true},
        {"SpeedButton6", "Recherche in ALLEN Dateien", true},
        {"spbtetikett", "Vorschau: Etiketten-Druck", true},
        {"spbliste", "Vorschau: Listendruck", true},
        {"spdbtnStat_anzahl", "Statistik: Anzahl Datenträger", true},
        {"spdbtn_statistik_kategorie", "Statistik: Anzahl Einträge je Kategorie", true},
        {"spdbtn_statistik_Status", "Statistik: Anzahl Einträge je Status", true},
        {"SpeedButton8", "Stammdaten: Adressen (Verleih)", true},
        {"SpeedButton9", "Stammdaten: Einlese-Endungen", true},
        {"SpeedButton10", "Stammdaten: Kategorien", true},
        {"SpeedButton11", "Stammdaten: Datenträger-Arten", true},
        {"SpeedButton18", "Stammdaten: Programm-Status", true},
        {"spdbtn_druck_einstell", "Einstellungen: Ausdruck, Etiketten", true},
        {"SpeedButton7", "QV-Lindovar beenden", true},
    };
    form->show();
    auto* bar = form->findChild<QToolBar*>(QStringLiteral("ToolBar1"));
    ASSERT_NE(bar, nullptr);
    std::vector<QToolButton*> buttons;
    for (QAction* a : bar->actions())
        if (auto* b = qobject_cast<QToolButton*>(bar->widgetForAction(a))) buttons.push_back(b);
    ASSERT_EQ(buttons.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QToolButton* b = buttons[i];
        EXPECT_EQ(b->objectName(), QLatin1String(expected[i].name)) << i;
        EXPECT_EQ(b->toolTip(), QString::fromUtf8(expected[i].hint)) << expected[i].name;
        EXPECT_EQ(b->isEnabled(), expected[i].enabled) << expected[i].name;
        EXPECT_FALSE(b->icon().isNull()) << expected[i].name;
        EXPECT_TRUE(b->text().isEmpty() || b->toolButtonStyle() == Qt::ToolButtonIconOnly)
            << "no captions: " << expected[i].name;
        if (i > 0) {
            EXPECT_GT(b->x(), buttons[i - 1]->x()) << expected[i].name;
        }
    }
    EXPECT_TRUE(child("speedbuttonAbfrage")->isCheckable());
    EXPECT_FALSE(child("SpeedButton1")->isCheckable());
    // The small buttons are smaller than the others.
    EXPECT_LT(child("SpeedButton8")->iconSize().width(), child("SpeedButton1")->iconSize().width());
    EXPECT_LT(child("spdbtn_druck_einstell")->iconSize().width(),
              child("spdbtnStat_anzahl")->iconSize().width());
    // The exit button stands at the right edge.
    QToolButton* exit = child("SpeedButton7");
    EXPECT_GE(exit->geometry().right(), bar->width() - 16);
    EXPECT_GT(exit->x(), bar->width() / 2);
}

TEST_F(MainFormTest, StatusBarHoldsCountersAndNavigatorsInOrder) {
    form->show();
    QStatusBar* bar = form->statusBar();
    EXPECT_EQ(bar->objectName(), QStringLiteral("StatusBar1"));
    QWidget* parts[] = {child<QLabel>("labelanzahl"), child<QWidget>("DBNavigator1"),
                        child<QLabel>("labelanzahl2"), child<QWidget>("DBNavigator2")};
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(parts[i], nullptr) << i;
        EXPECT_TRUE(bar->isAncestorOf(parts[i])) << i;
        if (i > 0) {
            EXPECT_GT(parts[i]->x(), parts[i - 1]->x()) << i;
        }
    }
    EXPECT_EQ(child<QLabel>("labelanzahl")->font().pointSize(), 10);
    EXPECT_EQ(child<QLabel>("labelanzahl")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    for (const char* nav : {"DBNavigator1", "DBNavigator2"}) {
        QWidget* n = child<QWidget>(nav);
        QStringList names;
        for (auto* b : n->findChildren<QToolButton*>())
            names << b->objectName();
        EXPECT_EQ(names, (QStringList{"nbFirst", "nbPrior", "nbNext", "nbLast"})) << nav;
    }
}

TEST_F(MainFormTest, AClickOnTheFreePartOfTheStatusBarOpensTheInformationWindow) {
    showAndActivate();
    QStatusBar* bar = form->statusBar();
    // A click on a counter is not a click on the bar.
    QTest::mouseClick(child<QLabel>("labelanzahl"), Qt::LeftButton);
    EXPECT_EQ(infobox(), nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 30, bar->height() / 2));
    ASSERT_NE(infobox(), nullptr);
    EXPECT_TRUE(infobox()->isVisible());
    EXPECT_TRUE(form->isVisible()) << "the information window does not block";
}

TEST_F(MainFormTest, TheInformationWindowOpensFromBothMenus) {
    action("ueberQVTESSARIN1")->trigger();
    ASSERT_NE(infobox(), nullptr);
    EXPECT_TRUE(infobox()->isVisible());
    infobox()->hide();
    form->popupMenu()->findChild<QAction*>(QStringLiteral("ueberQVTESSARIN2"))->trigger();
    EXPECT_TRUE(infobox()->isVisible());
    infobox()->hide();
}

TEST_F(MainFormTest, F1OpensHelpTopic100) {
    showAndActivate();
    QTest::keyClick(form, Qt::Key_F1);
    qv::HelpWindow* help = qv::helpWindowIfCreated();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->currentTopic(), 100);
    EXPECT_TRUE(help->pageText().contains(QStringLiteral("Das Hauptfenster")));
}

TEST_F(MainFormTest, OnlyTheFirstActivationOpensTheCatalogue) {
    showAndActivate();
    EXPECT_EQ(startup->checks, 1);
    EXPECT_EQ(startup->numberInits, 1);
    EXPECT_EQ(program->state(), qv::Program::State::Ready);
    EXPECT_FALSE(program->introForm().isVisible());

    // Switching to another window and back.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->FormActivate();
    EXPECT_EQ(startup->checks, 1);
    EXPECT_FALSE(program->introForm().isVisible());
}

// The three ways out end the run at once and leave the settings file as it
// was; the settings list is released without being written.
TEST_F(MainFormTest, EveryExitLeavesTheSettingsFileUntouched) {
    const fs::path file = dir / "_qvdisk.ini";
    const std::vector<std::pair<const char*, std::function<void(TMainForm*)>>> exits = {
        {"tool button",
         [](TMainForm* f) {
             QTest::mouseClick(f->findChild<QToolButton*>(QStringLiteral("SpeedButton7")),
                               Qt::LeftButton);
         }},
        {"menu",
         [](TMainForm* f) { f->findChild<QAction*>(QStringLiteral("Beenden1"))->trigger(); }},
        {"close box", [](TMainForm* f) { f->windowHandle()->close(); }},
    };
    for (const auto& [name, leave] : exits) {
        SCOPED_TRACE(name);
        // A fresh run on the file the previous run left.
        program.reset();
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(24 * 30));
        const auto bytes = qvtest::readFile(file);
        const auto mtime = fs::last_write_time(file);
        quits = 0;
        SetUp();
        showAndActivate();
        program->settings().replace(1, QStringLiteral("nur im Speicher"));

        leave(form);
        EXPECT_EQ(quits, 1);
        EXPECT_TRUE(program->ended());
        EXPECT_FALSE(form->isVisible());
        program.reset();
        EXPECT_EQ(qvtest::readFile(file), bytes);
        EXPECT_EQ(fs::last_write_time(file), mtime);
    }
}

}  // namespace
