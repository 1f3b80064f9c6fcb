// The start-up check: creating a catalogue, opening an existing one, building
// missing and unusable index files, creation failures, exclusive use.
#include "catalogue/cataloguecheck.h"
#include "store/tables/cataloguetables.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue_test_util.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_index.h"
#include "support/testutil.h"

namespace fs = std::filesystem;
using cattest::Catalogue;
using cattest::RecordingIntro;
using qv::CatalogueTable;

namespace {

const QStringList kIndexTexts = {
    "Indexdatei Dateien ...",          "Indexdatei Endungen ...", "Indexdatei Kategorien ...",
    "Indexdatei Datenträgerarten ...", "Indexdatei Adressen ...", "Indexdatei Datenträger ...",
};

class CatalogueCheckTest : public ::testing::Test {
  protected:
    void TearDown() override { xb::setGaugeHook({}); }

    // Runs the check on the directory with a fresh data module; the module
    // stays open (cat) until the next run.
    bool check(xb::Env& env = xb::Env::posix()) {
        cat.reset();
        cat = std::make_unique<Catalogue>(dir.path());
        fatal.clear();
        intro = RecordingIntro();
        return qv::checkCatalogue(
            *cat->dm, *cat->access, intro, [this](const QString& t) { fatal << t; }, env);
    }
    void closeAll() { cat.reset(); }
    fs::path data(CatalogueTable t) const { return cattest::dataFile(dir.path(), t); }
    fs::path index(CatalogueTable t) const { return cattest::indexFile(dir.path(), t); }

    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::unique_ptr<Catalogue> cat;
    RecordingIntro intro;
    QStringList fatal;
};

// The layout of a table as its files hold it: fields, then tags with key
// type, length and expressions. `dotted`: FOR texts of a program that stores
// the bare word operators are turned into the dotted spelling first.
std::vector<std::string> layoutOf(const fs::path& dbf, bool dotted) {
    std::vector<std::string> out;
    auto t = xb::Table::open(dbf.string(), xb::OpenMode::ReadOnly);
    for (const xb::FieldDesc& f : t->fields().all())
        out.push_back(f.name + " " + f.type + std::to_string(f.len) + "." + std::to_string(f.dec));
    for (int i = 0; t->index().indexFile() && i < t->index().indexFile()->tagCount(); ++i) {
        xb::NsxTag& tag = t->index().indexFile()->tag(i);
        out.push_back(tag.name() + " " + std::to_string(static_cast<int>(tag.keyType())) + "/" +
                      std::to_string(tag.keyLen()) + " " + tag.keyExpr() + " FOR " +
                      (dotted ? xb::dottedOperators(tag.forExpr()) : tag.forExpr()));
    }
    return out;
}

TEST_F(CatalogueCheckTest, FirstStartCreatesTheCatalogueInItsOrder) {
    ASSERT_TRUE(check());
    EXPECT_TRUE(fatal.isEmpty());
    EXPECT_EQ(intro.linesStartingWith("text "), kIndexTexts);
    for (CatalogueTable t : qv::kTableOrder) {
        const qv::CatalogueTableDef& def = qv::catalogueTable(t);
        SCOPED_TRACE(def.dataFile.toStdString());
        EXPECT_TRUE(fs::exists(data(t)));
        EXPECT_TRUE(fs::exists(index(t)));
        EXPECT_TRUE(cat->dm->table(t).Active());
        EXPECT_EQ(cat->dm->table(t).RecordCount(), t == CatalogueTable::Addresses ? 2 : 0);
        // The bar runs once across the tags of the file and never backwards.
        const std::vector<int>& v = intro.values[def.indexText];
        ASSERT_FALSE(v.empty());
        EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
        EXPECT_GE(v.back(), 100 - 100 / def.tags.size() - 1);
        EXPECT_LE(v.back(), 100);
    }
    // Each file announces its tags and steps through them before its text.
    EXPECT_EQ(intro.log.mid(0, 7),
              (QStringList{"steps 3", "gauge on", "text Indexdatei Dateien ...", "step 0", "step 1",
                           "step 2", "steps 1"}));
    EXPECT_EQ(intro.log.back(), QStringLiteral("gauge off"));
    EXPECT_EQ(intro.linesStartingWith("steps "), (QStringList{"3", "1", "1", "1", "4", "9"}));
    EXPECT_EQ(intro.hiddenReports, 0);
    xb::reportProgress(50);
    EXPECT_EQ(intro.hiddenReports, 0) << "the gauge hook is cleared after the builds";
    EXPECT_TRUE(fs::exists(dir / "_qvdisk.smt"));
    EXPECT_TRUE(fs::exists(dir / "_qvdir.smt"));

    // Only the entry and file views were detached; the caller re-attaches.
    EXPECT_TRUE(cat->access->view(CatalogueTable::Entries).ControlsDisabled());
    EXPECT_TRUE(cat->access->view(CatalogueTable::Files).ControlsDisabled());
    EXPECT_FALSE(cat->access->view(CatalogueTable::Addresses).ControlsDisabled());
    cat->access->reattach();
    EXPECT_FALSE(cat->access->view(CatalogueTable::Entries).ControlsDisabled());

    // The placeholders: one key in tag vnummer (number 0, so the first real
    // address gets 1), none in vname, vplz, vort; record 2 numbered 99999.
    TTable& addresses = cat->dm->table(qv::CatalogueTable::Addresses);
    TApollo& a = cat->access->apollo(CatalogueTable::Addresses);
    a.sx_Go(1);
    EXPECT_EQ(addresses.FieldByName("VNAME").AsString().trimmed(), "< Kein Eintrag >");
    EXPECT_TRUE(addresses.FieldByName("VNUMMER").IsNull());
    a.sx_Go(2);
    EXPECT_EQ(addresses.FieldByName("VNAME").AsString().trimmed(), "< Kein Eintrag >");
    EXPECT_EQ(addresses.FieldByName("VNUMMER").AsInteger(), 99999);
    EXPECT_EQ(addresses.FieldByName("VORT").AsString().trimmed(), QString());
    const std::vector<qint64> expectedCounts = {1, 0, 0, 0};
    for (int pos = 1; pos <= 4; ++pos) {
        a.sx_SetOrder(pos);
        EXPECT_EQ(a.sx_Count(), expectedCounts[pos - 1]) << pos;
    }
    a.sx_SetOrder(1);
    a.sx_GoBottom();
    EXPECT_EQ(addresses.RecNo(), 1);
    closeAll();

    // The layout matches the catalogue another xBase program wrote from the
    // same definitions: fields, tag names, key types and lengths, key and
    // FOR expressions, tag positions. Our FOR texts are stored dotted
    // (".not. deleted()"), so that other xBase programs can read them.
    for (CatalogueTable t : qv::kTableOrder) {
        const fs::path fixture = cattest::dataFile(qvtest::xbaseFixtures() / "catalog", t);
        EXPECT_EQ(layoutOf(data(t), false), layoutOf(fixture, true)) << fixture;
    }
    EXPECT_TRUE(cattest::checkFaults(dir.path()).empty());

    // Nothing to do on the next start.
    ASSERT_TRUE(check());
    EXPECT_TRUE(intro.log.filter("text").isEmpty()) << intro.log.join(", ").toStdString();
}

TEST_F(CatalogueCheckTest, ANewCatalogueFilledByTheProgramSortsByTagPositionAndChecksClean) {
    ASSERT_TRUE(check());
    cat->access->reattach();
    TTable& entries = cat->dm->table(qv::CatalogueTable::Entries);
    struct Entry {
        int number, box, disk;
        const char* title;
        bool deleted;
    };
    for (const Entry& e : {Entry{7, 10, 1, "zehn", false}, Entry{3, 2, 5, "Ähre", false},
                           Entry{9, 2, 40, "alt", true}, Entry{5, 2, 40, "vierzig", false}}) {
        entries.Append();
        entries.FieldByName("EINDEUTIG").setAsInteger(e.number);
        entries.FieldByName("BOXNUMMER").setAsInteger(e.box);
        entries.FieldByName("DISKNUMMER").setAsInteger(e.disk);
        entries.FieldByName("BEZEICH").setAsString(e.title);
        entries.Post();
        if (e.deleted) entries.Delete();
    }
    TApollo& a = cat->access->apollo(CatalogueTable::Entries);
    auto numbersInOrder = [&](int position) {
        a.sx_SetOrder(position);
        std::vector<int> out;
        for (a.sx_GoTop(); !a.sx_Eof(); a.sx_Skip(1))
            out.push_back(entries.FieldByName("EINDEUTIG").AsInteger());
        return out;
    };
    // Position 3 is nummer: boxes and carriers as right-aligned numbers.
    EXPECT_EQ(a.sx_TagCount(), 9);
    EXPECT_EQ(a.sx_TagName(3), "NUMMER");
    EXPECT_EQ(numbersInOrder(3), (std::vector<int>{3, 5, 7}));
    EXPECT_EQ(numbersInOrder(1), (std::vector<int>{3, 5, 7}));
    // What the program wrote is what other xBase programs read.
    closeAll();
    EXPECT_TRUE(cattest::checkFaults(dir.path()).empty());
}

TEST_F(CatalogueCheckTest, AnExistingCatalogueIsOpenedWithoutTouchingAFile) {
    cattest::copyFixtureCatalogue(dir.path());
    for (const auto& e : fs::directory_iterator(dir.path()))
        fs::last_write_time(e.path(), fs::last_write_time(e.path()) - std::chrono::hours(24));
    std::map<std::string, fs::file_time_type> times;
    for (const auto& e : fs::directory_iterator(dir.path()))
        times[e.path().filename().string()] = fs::last_write_time(e.path());
    const auto before = cattest::filesOf(dir.path());

    ASSERT_TRUE(check());
    EXPECT_EQ(intro.log, QStringList{"gauge off"});
    for (CatalogueTable t : qv::kTableOrder)
        EXPECT_TRUE(cat->dm->table(t).Active());
    closeAll();
    // The six tables' files stay as they were; only the volume table, which
    // a catalogue of that age lacks, is new.
    auto after = cattest::filesOf(dir.path());
    EXPECT_EQ(after.erase("_qvvol.dbf") + after.erase("_qvvol.nsx"), 2u);
    EXPECT_EQ(after, before);
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (times.count(e.path().filename().string())) {
            EXPECT_EQ(fs::last_write_time(e.path()), times[e.path().filename().string()])
                << e.path();
        }
}

// An index that is missing or cannot be used is built again, tag by tag in
// order, with the table's data untouched.
TEST_F(CatalogueCheckTest, MissingAndUnusableIndexFilesAreBuiltAgain) {
    struct Case {
        const char* what;
        CatalogueTable table;
        std::function<void(const fs::path& nsx)> spoil;
    };
    const std::vector<Case> cases = {
        {"missing", CatalogueTable::Entries, [](const fs::path& p) { fs::remove(p); }},
        {"missing, data kept", CatalogueTable::Categories,
         [](const fs::path& p) { fs::remove(p); }},
        {"not an index file", CatalogueTable::Entries,
         [](const fs::path& p) {
             std::vector<std::uint8_t> garbage(5000);
             for (std::size_t i = 0; i < garbage.size(); ++i)
                 garbage[i] = static_cast<std::uint8_t>(i * 7 + 3);
             qvtest::writeFile(p, garbage);
         }},
        {"truncated", CatalogueTable::Files,
         [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) / 2 / 1024 * 1024); }},
        {"a build cut short after the first tag", CatalogueTable::Files,
         [](const fs::path& p) {
             fs::remove(p);
             auto t = xb::Table::open(fs::path(p).replace_extension(".dbf").string());
             t->index().indexTag(qv::tables::kFileTags[0].name, qv::tables::kFileTags[0].key);
             t->close();
         }},
        {"left interrupted, its tags not evaluable", CatalogueTable::Addresses,
         [](const fs::path& p) {
             // An index of another table with the same tag names, its crash
             // marker set.
             const fs::path other = p.parent_path() / "fremd.dbf";
             xb::TableBuilder b(other.string());
             b.addField("anders", 'C', 5);
             b.create();
             auto t = xb::Table::open(other.string());
             for (const char* tag : {"vnummer", "vname", "vplz", "vort"})
                 t->index().indexTag(tag, "anders");
             t->close();
             std::vector<std::uint8_t> bytes = qvtest::readFile(p.parent_path() / "fremd.nsx");
             std::memcpy(bytes.data() + 1016, "QVDIRTY!", 8);
             qvtest::writeFile(p, bytes);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir.path());
        fs::create_directories(dir.path());
        cattest::copyFixtureCatalogue(dir.path());
        const qv::CatalogueTableDef& def = qv::catalogueTable(c.table);
        c.spoil(index(c.table));
        const auto dataBefore = qvtest::readFile(data(c.table));

        ASSERT_TRUE(check());
        QStringList expected = {QStringLiteral("steps %1").arg(def.tags.size()), "gauge on",
                                "text " + def.indexText};
        for (int i = 0; i < def.tags.size(); ++i)
            expected << QStringLiteral("step %1").arg(i);
        expected << "gauge off";
        EXPECT_EQ(intro.log, expected);
        TApollo& a = cat->access->apollo(c.table);
        ASSERT_EQ(a.sx_TagCount(), def.tags.size());
        for (int i = 0; i < def.tags.size(); ++i)
            EXPECT_EQ(a.sx_TagName(i + 1), def.tags[i].name.toUpper());
        closeAll();
        EXPECT_EQ(qvtest::readFile(data(c.table)), dataBefore);
        EXPECT_EQ(cattest::checkFaults(dir.path()), std::vector<std::string>{});
    }
}

TEST_F(CatalogueCheckTest, AnIndexWithoutItsDataFileMakesWayForANewEmptyTable) {
    cattest::copyFixtureCatalogue(dir.path());
    fs::remove(data(CatalogueTable::Extensions));
    ASSERT_TRUE(check());
    EXPECT_EQ(intro.linesStartingWith("text "), QStringList{"Indexdatei Endungen ..."});
    EXPECT_EQ(cat->dm->table(qv::CatalogueTable::Extensions).RecordCount(), 0);
    EXPECT_EQ(cat->access->apollo(CatalogueTable::Extensions).sx_TagCount(), 1);
    EXPECT_EQ(cat->dm->table(qv::CatalogueTable::Categories).RecordCount(), 14)
        << "the other tables keep their records";
    closeAll();
    EXPECT_TRUE(cattest::checkFaults(dir.path()).empty());
}

// Creating a file through the engine fails for one path at its n-th attempt.
class FailingEnv : public xb::Env {
  public:
    FailingEnv(std::string path, int attempt) : path_(std::move(path)), attempt_(attempt) {}
    std::unique_ptr<xb::RandomFile> open(const std::string& p, xb::FileAccess a) override {
        return posix().open(p, a);
    }
    std::unique_ptr<xb::RandomFile> create(const std::string& p) override {
        if (p == path_ && ++attempts_ == attempt_)
            throw qv::Error(qv::ErrorCode::IoError,
                            "Die Datei " + p + " kann nicht angelegt werden", p);
        return posix().create(p);
    }
    bool exists(const std::string& p) override { return posix().exists(p); }
    void rename(const std::string& from, const std::string& to) override {
        posix().rename(from, to);
    }
    void remove(const std::string& p) override { posix().remove(p); }
    void syncDirectoryOf(const std::string& p) override { posix().syncDirectoryOf(p); }
    bool createFolder(const std::string& p) override { return posix().createFolder(p); }

  private:
    std::string path_;
    int attempt_;
    int attempts_ = 0;
};

TEST_F(CatalogueCheckTest, ATableThatCannotBeCreatedEndsTheStartWithItsMessage) {
    struct Case {
        CatalogueTable table;
        const char* creating;
        const char* completing;
    };
    const std::vector<Case> cases = {
        {CatalogueTable::Files, "Anlegen der Datenbank QVDIRW nicht möglich",
         "Neue Datenbank konnte nicht angelegt werden"},
        {CatalogueTable::Extensions, "Anlegen der Datenbank ENDUNG nicht möglich",
         "Neue Datenbank (Endung) konnte nicht angelegt werden"},
        {CatalogueTable::Categories, "Anlegen der Datenbank KATEGO nicht möglich",
         "Neue Kategorien (Endung) konnte nicht angelegt werden"},
        {CatalogueTable::CarrierTypes, "Anlegen der Datenbank DISKART nicht möglich",
         "Neue Kategorien (Datenträger-Art) konnte nicht angelegt werden"},
        {CatalogueTable::Addresses, "Anlegen der Datenbank VERLEIH nicht möglich",
         "Neue Datenbank (Verleih-Adressen) konnte nicht angelegt werden"},
        {CatalogueTable::Entries, "Anlegen der Datenbank nicht möglich",
         "Neue Datenbank konnte nicht angelegt werden"},
    };
    for (const Case& c : cases) {
        // Attempt 1 is the new work area, attempt 2 the completion.
        for (int attempt : {1, 2}) {
            SCOPED_TRACE(qv::catalogueTable(c.table).dataFile.toStdString() + " attempt " +
                         std::to_string(attempt));
            closeAll();
            fs::remove_all(dir.path());
            fs::create_directories(dir.path());
            FailingEnv env(data(c.table).string(), attempt);
            EXPECT_FALSE(check(env));
            EXPECT_EQ(fatal, QStringList{attempt == 1 ? c.creating : c.completing});
            // The check stopped there: later tables were not made, earlier
            // ones were, and nothing was removed.
            bool reached = false;
            for (CatalogueTable t : qv::kCheckOrder) {
                if (t == c.table) {
                    reached = true;
                    EXPECT_EQ(fs::exists(data(t)), attempt == 2);
                    EXPECT_FALSE(fs::exists(index(t)));
                    continue;
                }
                EXPECT_EQ(fs::exists(data(t)), !reached)
                    << qv::catalogueTable(t).dataFile.toStdString();
            }
            EXPECT_FALSE(
                intro.linesStartingWith("text ").contains(qv::catalogueTable(c.table).indexText));
        }
    }
}

TEST_F(CatalogueCheckTest, ASecondSetOfTableObjectsFindsTheCatalogueInUse) {
    ASSERT_TRUE(check());
    cat->access->reattach();
    cat->dm->table(qv::CatalogueTable::Entries).Append();
    cat->dm->table(qv::CatalogueTable::Entries).FieldByName("BEZEICH").setAsString("erster");
    cat->dm->table(qv::CatalogueTable::Entries).Post();
    const auto filesBefore = cattest::filesOf(dir.path());

    Catalogue second(dir.path());
    RecordingIntro secondIntro;
    QStringList secondFatal;
    try {
        qv::checkCatalogue(*second.dm, *second.access, secondIntro,
                           [&](const QString& t) { secondFatal << t; });
        ADD_FAILURE() << "the second check found nothing in use";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Locked);
        EXPECT_EQ(e.text(), "Die Datei " + data(CatalogueTable::Files).string() +
                                " wird bereits von einem anderen Programm benutzt");
    }
    EXPECT_TRUE(secondFatal.isEmpty());
    EXPECT_FALSE(second.dm->table(qv::CatalogueTable::Files).Active());
    EXPECT_EQ(cattest::filesOf(dir.path()), filesBefore);

    // The first set goes on as before.
    cat->dm->table(qv::CatalogueTable::Entries).First();
    EXPECT_EQ(
        cat->dm->table(qv::CatalogueTable::Entries).FieldByName("BEZEICH").AsString().trimmed(),
        "erster");
    cat->dm->table(qv::CatalogueTable::Entries).Edit();
    cat->dm->table(qv::CatalogueTable::Entries).FieldByName("BEZEICH").setAsString("weiter");
    cat->dm->table(qv::CatalogueTable::Entries).Post();
    closeAll();
    EXPECT_TRUE(cattest::checkFaults(dir.path()).empty());
}

}  // namespace

// A data file cut short: the records that are there are kept, the user is
// told once which table lost how many, and the index, which still refers to
// the lost records, is built again.
TEST_F(CatalogueCheckTest, ADataFileCutShortIsReportedOnceAndItsIndexBuiltAgain) {
    cattest::copyFixtureCatalogue(dir.path());
    const fs::path dbf = data(CatalogueTable::Files);
    std::uint32_t before = 0;
    std::uint32_t headerLength = 0, recordLength = 0;
    {
        auto t = xb::Table::open(dbf.string(), xb::OpenMode::ReadOnly);
        before = t->recCount();
        headerLength = t->header().headerLength;
        recordLength = t->recordLength();
    }
    ASSERT_GT(before, 10u);
    const std::uint32_t kept = before / 3;
    fs::resize_file(dbf, headerLength + std::uint64_t{kept} * recordLength);

    QStringList notices;
    const auto run = [&] {
        cat.reset();
        cat = std::make_unique<Catalogue>(dir.path());
        intro = RecordingIntro();
        return qv::checkCatalogue(
            *cat->dm, *cat->access, intro, [this](const QString& t) { fatal << t; },
            xb::Env::posix(), [&notices](const QString& t) { notices << t; });
    };
    ASSERT_TRUE(run());
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QString::fromStdString(dbf.filename().string())));
    EXPECT_TRUE(notices[0].contains(QStringLiteral(": %1 Datensätze fehlen").arg(before - kept)))
        << notices[0].toStdString();
    EXPECT_TRUE(intro.log.contains("text " + qv::catalogueTable(CatalogueTable::Files).indexText))
        << intro.log.join(" | ").toStdString();
    EXPECT_EQ(cat->dm->table(CatalogueTable::Files).engine()->recCount(), kept);
    closeAll();
    EXPECT_EQ(cattest::checkFaults(dir.path()), std::vector<std::string>{});

    // The header was corrected: the next start finds nothing to report.
    notices.clear();
    ASSERT_TRUE(run());
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_EQ(intro.log, QStringList{"gauge off"});
    closeAll();
}
