// The import from the predecessor's table: the operation on a catalogue
// session, the store tool's command on the same code, and the command from
// the main window with its boxes and the import dialog.
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <sstream>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "entries/ui/mainform.h"
#include "import/core/importops.h"
#include "import/core/importtool.h"
#include "import/ui/timport.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/catalogue/storedentries.h"
#include "support/mainformparts.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "support/testutil.h"
#include "ui/command.h"
#include "ui/dbgrid.h"

namespace fs = std::filesystem;
using qv::CatalogueTable;
using qvtest::StoredEntry;

namespace {

fs::path fixtureSource() {
    return qvtest::xbaseFixtures() / "catalog" / "tessarin.dbf";
}

// A copy of the fixture source in `dir`/src.
fs::path copySource(const fs::path& dir) {
    fs::create_directories(dir / "src");
    const fs::path to = dir / "src" / "tessarin.dbf";
    fs::copy_file(fixtureSource(), to, fs::copy_options::overwrite_existing);
    return to;
}

// The fixture's non-deleted records in record order: title, category,
// box, disk, carriers.
struct Expected {
    QString title;
    int box, disk, carriers;
};

// A source table of the predecessor's layout, its numbers in `numberDefs`.
fs::path makeSource(const fs::path& dir, const std::vector<std::string>& numberDefs,
                    const std::vector<std::string>& jsonLines) {
    const fs::path file = dir / "tessarin.dbf";
    std::vector<std::string> defs = {"BEZEICH:C:60", "KATEGORIE:C:22", "DISKART:C:15"};
    for (int i = 1; i <= 12; ++i)
        defs.push_back(QStringLiteral("PROG%1:C:1").arg(i, 2, 10, QLatin1Char('0')).toStdString());
    defs.insert(defs.end(), numberDefs.begin(), numberDefs.end());
    std::ostringstream err, out;
    EXPECT_EQ(qvdb::create(file.string(), defs, err), 0) << err.str();
    std::string input;
    for (const std::string& l : jsonLines)
        input += l + "\n";
    std::istringstream in(input);
    EXPECT_EQ(qvdb::append(file.string(), in, out, err), 0) << err.str();
    return file;
}

const std::vector<std::string> kNumberDefs = {"BOXNUMMER:N:5", "DISKNUMMER:N:5", "PROGDSKS:N:2"};

// The catalogue in `dir` opened as the store tool opens it.
class OpenCatalogue {
  public:
    explicit OpenCatalogue(const fs::path& dir)
        : dm(QString::fromStdString(dir.string())), session(dm) {
        entries().Open();
        session.neuenummerinit();
    }
    ~OpenCatalogue() { entries().Close(); }
    TTable& entries() { return session.table(CatalogueTable::Entries); }
    qv::ImportResult import(const fs::path& file) {
        TTable source;
        source.setDatabaseName(QString::fromStdString(file.parent_path().string()));
        source.setTableName(QString::fromStdString(file.filename().string()));
        source.setReadOnly(true);
        source.setExclusive(false);
        source.Open();
        return qv::importEntries(session, source);
    }

    xb::SettingsGuard settings;
    TDM dm;
    qv::CatalogueSession session;
};

TEST(ImportOperation, TheFixtureImportsTwiceWithNewNumbersAndTheSourceStaysAsItWas) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    const fs::path source = copySource(dir.path());
    const std::vector<std::uint8_t> before = qvtest::readFile(source);
    OpenCatalogue cat(dir.path());

    const qv::ImportResult first = cat.import(source);
    EXPECT_EQ(first.imported, 9);
    EXPECT_EQ(first.firstNumber, 1);
    EXPECT_EQ(first.lastNumber, 9);
    std::vector<StoredEntry> all = qvtest::storedEntries(cat.entries());
    ASSERT_EQ(all.size(), 9u);
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i].number, int(i) + 1);
    EXPECT_EQ(all[0].title, QStringLiteral("Textverarbeitung Version 2"));
    EXPECT_EQ(all[0].category, QStringLiteral("Büro"));
    EXPECT_EQ(all[0].carrierType, QStringLiteral("Diskette 3,5\""));
    EXPECT_EQ(all[0].flags, QStringLiteral("x x         "));
    EXPECT_EQ(all[0].box, 1);
    EXPECT_EQ(all[0].carriers, 3);
    EXPECT_EQ(all[2].category, QString());
    bool sawLongTitle = false, sawLongCategory = false, sawHighest = false, sawEmptyTitle = false;
    for (const StoredEntry& e : all) {
        EXPECT_LE(e.title.size(), 50);
        if (e.title.size() == 50) sawLongTitle = true;
        if (e.category.size() == 20) sawLongCategory = true;
        if (e.box == 99999 && e.disk == 99999 && e.carriers == 99) sawHighest = true;
        if (e.title.isEmpty()) sawEmptyTitle = true;
        EXPECT_EQ(e.memo, QString());
        EXPECT_EQ(e.lentTo, 0);
    }
    EXPECT_TRUE(sawLongTitle);
    EXPECT_TRUE(sawLongCategory);
    EXPECT_TRUE(sawHighest);
    EXPECT_TRUE(sawEmptyTitle);

    const qv::ImportResult second = cat.import(source);
    EXPECT_EQ(second.firstNumber, 10);
    EXPECT_EQ(second.lastNumber, 18);
    EXPECT_EQ(cat.entries().RecordCount(), 18);
    // The counter stands past every imported number.
    EXPECT_EQ(cat.session.neuenummer(), 20);
    EXPECT_EQ(qvtest::readFile(source), before);
}

TEST(ImportOperation, NumbersFollowTheHighestEntryWhateverSubsetIsInstalled) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    std::vector<qvtest::EntryRow> rows = qvtest::numberedEntries(2);
    rows[1].number = 57;
    qvtest::EntryRow gone;
    gone.number = 80;
    gone.title = QStringLiteral("Gelöscht");
    gone.deleted = true;
    rows.push_back(gone);
    qvtest::addEntries(dir.path(), rows);
    const fs::path source = makeSource(
        dir.path(), kNumberDefs,
        {R"({"f":{"BEZEICH":"Eins","BOXNUMMER":1}})", R"({"deleted":true,"f":{"BEZEICH":"Weg"}})",
         R"({"f":{"BEZEICH":"Zwei","KATEGORIE":""}})"});
    OpenCatalogue cat(dir.path());
    // A search result that hides number 57.
    cat.session.apollo(CatalogueTable::Entries).sx_SetOrder(1);
    cat.session.apollo(CatalogueTable::Entries).sx_Query(QStringLiteral("eindeutig < 10"));
    const qv::ImportResult r = cat.import(source);
    EXPECT_EQ(r.imported, 2);
    EXPECT_EQ(r.firstNumber, 58);
    EXPECT_EQ(qvtest::storedEntry(cat.entries(), 59).title, QStringLiteral("Zwei"));
    EXPECT_EQ(qvtest::storedEntry(cat.entries(), 59).category, QString());
    EXPECT_EQ(qvtest::storedEntry(cat.entries(), 59).carriers, 0);
}

TEST(ImportOperation, ABadSourceWritesNoHalfRecordAndNamesTheRecord) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    fs::create_directories(dir / "c");
    // Without DISKNUMMER: refused before anything is appended.
    const fs::path noField =
        makeSource(dir / "a", {"BOXNUMMER:N:5", "PROGDSKS:N:2"}, {R"({"f":{"BEZEICH":"Eins"}})"});
    // BOXNUMMER as text, the second record's not a number.
    const fs::path notNumber =
        makeSource(dir / "b", {"BOXNUMMER:C:5", "DISKNUMMER:N:5", "PROGDSKS:N:2"},
                   {R"({"f":{"BEZEICH":"Eins","BOXNUMMER":"3"}})",
                    R"({"f":{"BEZEICH":"Zwei","BOXNUMMER":"abc"}})"});
    // PROGDSKS wider than the entry field.
    const fs::path tooLarge =
        makeSource(dir / "c", {"BOXNUMMER:N:5", "DISKNUMMER:N:5", "PROGDSKS:N:3"},
                   {R"({"f":{"BEZEICH":"Eins","PROGDSKS":100}})"});
    OpenCatalogue cat(dir.path());
    try {
        cat.import(noField);
        ADD_FAILURE() << "a source without DISKNUMMER was imported";
    } catch (const qv::Error& e) {
        EXPECT_NE(e.text().find("DISKNUMMER"), std::string::npos) << e.text();
    }
    EXPECT_EQ(cat.entries().RecordCount(), 0);
    try {
        cat.import(notNumber);
        ADD_FAILURE() << "a non-numeric box number was imported";
    } catch (const qv::Error& e) {
        EXPECT_NE(e.text().find("Datensatz 2"), std::string::npos) << e.text();
        EXPECT_NE(e.text().find("ist kein gültiger Integerwert"), std::string::npos) << e.text();
    }
    EXPECT_EQ(cat.entries().state(), TTable::dsBrowse);
    ASSERT_EQ(cat.entries().RecordCount(), 1);
    EXPECT_EQ(qvtest::storedEntry(cat.entries(), 1).box, 3);
    try {
        cat.import(tooLarge);
        ADD_FAILURE() << "101 carriers were imported";
    } catch (const qv::Error& e) {
        EXPECT_NE(e.text().find("PROGDSKS"), std::string::npos) << e.text();
    }
    EXPECT_EQ(cat.entries().RecordCount(), 1);
    // The numbers handed out stay handed out.
    EXPECT_GE(cat.session.neuenummer(), 3);
}

// The entry table may not grow past a few more records (as on a full
// disk): the import is taken back whole, the error says so, and the files
// are as before, checked without a fault before any restart.
TEST(ImportOperation, AFullDiskTakesTheImportBack) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    fs::create_directories(dir / "src");
    std::vector<std::string> lines;
    for (int i = 1; i <= 400; ++i)
        lines.push_back("{\"f\":{\"BEZEICH\":\"Eintrag " + std::to_string(i) + "\"}}");
    const fs::path source = makeSource(dir / "src", kNumberDefs, lines);
    const auto before = qvtest::readFile(dir / "_qvdisk.dbf");
    {
        OpenCatalogue cat(dir.path());
        qvtest::FullDisk full(dir.path(), 2000);
        try {
            cat.import(source);
            ADD_FAILURE() << "the import had room";
        } catch (const qv::Error& e) {
            EXPECT_NE(e.text().find("der Import wurde zurückgenommen"), std::string::npos)
                << e.text();
        }
        EXPECT_EQ(cat.entries().RecordCount(), 0);
    }
    EXPECT_EQ(qvtest::readFile(dir / "_qvdisk.dbf"), before);
    std::ostringstream out, err;
    EXPECT_EQ(qvdb::check(dir.path().string(), out, err), 0) << err.str();
}

TEST(ImportTool, ImportsIntoACatalogueDirectory) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(qv::runImportTool({dir.path().string(), fixtureSource().string()}, in, out, err), 0)
        << err.str();
    EXPECT_EQ(out.str(), "numbers\t1\t9\nimported\t9\n");
}

// ---- the command in the main window ----

class ImportCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::createCatalogue(dir.path());
        qvtest::addEntries(dir.path(), qvtest::numberedEntries(3));
        copySource(dir.path());
        h = std::make_unique<qvtest::MainWindowHarness>(dir.path());
        ASSERT_TRUE(h->started);
    }
    TTable& entries() { return h->table(CatalogueTable::Entries); }
    void trigger() { h->form->command(qv::MainCommand::Import).trigger(); }

    qvtest::TempDir dir;
    std::unique_ptr<qvtest::MainWindowHarness> h;
};

TEST_F(ImportCommandTest, ImportsThroughTheDialogAndEndsOnTheFirstOrder) {
    qvtest::mf::TabControl1(h->form)->setCurrentIndex(1);
    h->boxes.queueAnswer(qv::MsgAnswer::Ok);
    h->boxes.queuePath(QString::fromStdString((dir / "src" / "tessarin.dbf").string()));
    bool seen = false;
    qvtest::whenModal<TImport>([&](TImport* d) {
        seen = true;
        EXPECT_TRUE(d->Table1->Active());
        EXPECT_TRUE(d->Table1->ReadOnly());
        EXPECT_EQ(d->DBGrid1->model()->rowCount(), 9);
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    });
    trigger();
    ASSERT_TRUE(seen);
    ASSERT_EQ(h->boxes.shown().size(), 3u);
    const auto& intro = h->boxes.shown()[0];
    EXPECT_EQ(intro.caption, QStringLiteral("Import QV-Lindovar 2.5"));
    EXPECT_EQ(intro.icon, qv::MsgIcon::None);
    EXPECT_EQ(intro.buttons, qv::MsgButtons::OkCancel);
    EXPECT_EQ(h->boxes.shown()[1].kind, qv::ScriptedDialogs::Shown::OpenFile);
    EXPECT_EQ(h->boxes.shown()[1].value, QDir::homePath());
    EXPECT_EQ(h->boxes.last().text, QStringLiteral("Daten wurden eingelesen."));
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("Fertig"));
    EXPECT_EQ(entries().state(), TTable::dsBrowse);
    ASSERT_NE(h->form->findChild<TImport*>(), nullptr);
    EXPECT_FALSE(h->form->findChild<TImport*>()->Table1->Active());
    EXPECT_EQ(entries().RecordCount(), 12);
    EXPECT_EQ(qvtest::mf::TabControl1(h->form)->currentIndex(), 0);
    EXPECT_EQ(h->session().apollo(CatalogueTable::Entries).sx_IndexOrd(),
              qv::tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
    EXPECT_EQ(h->session().apollo(CatalogueTable::Entries).sx_OrderRecNo(), 1);
    EXPECT_EQ(h->session().nummernZaehler(), 13);
}

TEST_F(ImportCommandTest, RefusalsAndCancelsLeaveTheCatalogueAlone) {
    // Cancelled at the first box, then at the file box.
    h->boxes.queueAnswer(qv::MsgAnswer::Cancel);
    trigger();
    h->boxes.queueAnswer(qv::MsgAnswer::Ok);
    h->boxes.queuePath(QString());
    trigger();
    // A name that does not exist.
    h->boxes.queueAnswer(qv::MsgAnswer::Ok);
    h->boxes.queuePath(QString::fromStdString((dir / "nichtda" / "tessarin.dbf").string()));
    trigger();
    EXPECT_EQ(h->boxes.last().text, QStringLiteral("Datei nicht vorhanden."));
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("Fehler"));
    EXPECT_EQ(h->boxes.shown().size(), 6u);
    // A search result is shown: the search check's message, nothing else.
    h->boxes.clear();
    h->session().setSearchActive(true);
    trigger();
    ASSERT_EQ(h->boxes.shown().size(), 1u);
    EXPECT_EQ(h->boxes.last().text,
              QStringLiteral("Neuanlage nur bei NICHT-AKTIVER  SUCHE möglich."));
    EXPECT_EQ(h->boxes.last().caption, QStringLiteral("Achtung"));
    EXPECT_EQ(entries().RecordCount(), 3);
}

}  // namespace
