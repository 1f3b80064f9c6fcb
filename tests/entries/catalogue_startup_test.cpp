// The main window with the real catalogue: the first activation on an empty
// directory and on an existing catalogue, a table that cannot be created, a
// second instance on the same directory, and the reorganisation end to end.
#include <QAction>
#include <QApplication>
#include <QTest>

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "app/qv-tessarin/features.h"
#include "catalogue/cataloguecheck.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "entries/ui/mainform.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/progress.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_check.h"
#include "support/testutil.h"
#include "ui/cataloguestartup.h"
#include "ui/dbgrid.h"
#include "ui/errorhandler.h"
#include "ui/introform.h"
#include "ui/program.h"
#include "ui/scripteddialogs.h"

namespace fs = std::filesystem;
using qv::CatalogueTable;

namespace {

// The real intro window, noting what it was told to show.
class RecordingIntroForm : public TIntroForm {
  public:
    void setStepText(const QString& text) override {
        log << text;
        TIntroForm::setStepText(text);
    }
    void setStatusText(const QString& text) override {
        log << QStringLiteral("status ") + text;
        TIntroForm::setStatusText(text);
    }
    void showGauge() override {
        ++gaugeShown;
        TIntroForm::showGauge();
    }
    void reportProgress(int percent) override {
        TIntroForm::reportProgress(percent);
        maxValue = std::max(maxValue, progress().valueFor(percent));
    }
    QStringList log;
    int gaugeShown = 0;
    int maxValue = 0;
};

std::map<std::string, std::vector<std::uint8_t>> catalogueFiles(const fs::path& dir) {
    std::map<std::string, std::vector<std::uint8_t>> out;
    for (CatalogueTable t : qv::kTableOrder) {
        const std::string base = qv::catalogueTable(t).dataFile.chopped(4).toStdString();
        for (const char* ext : {".dbf", ".nsx", ".smt"})
            if (fs::exists(dir / (base + ext)))
                out[base + ext] = qvtest::readFile(dir / (base + ext));
    }
    return out;
}

std::vector<std::string> checkFaults(const fs::path& dir) {
    std::vector<std::string> faults;
    for (CatalogueTable t : qv::kTableOrder)
        for (const std::string& f :
             xb::checkTableFile((dir / qv::catalogueTable(t).dataFile.toStdString()).string()))
            faults.push_back(f);
    return faults;
}

// The data and memo files are untouched and no index file was built anew: an
// index keeps its size and pages (only its header note of the open state and
// the counts may change).
void expectNotRebuilt(const std::map<std::string, std::vector<std::uint8_t>>& before,
                      const std::map<std::string, std::vector<std::uint8_t>>& after) {
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [name, bytes] : before) {
        const auto& now = after.at(name);
        if (name.ends_with(".nsx")) {
            ASSERT_EQ(now.size(), bytes.size()) << name;
            // Everything past the root page is the tags' pages.
            EXPECT_TRUE(std::equal(bytes.begin() + 1024, bytes.end(), now.begin() + 1024)) << name;
        } else {
            EXPECT_EQ(now, bytes) << name;
        }
    }
}

class CatalogueStartupTest : public ::testing::Test {
  protected:
    void TearDown() override {
        program.reset();
        xb::setGaugeHook({});
    }

    void startProgram() {
        program = std::make_unique<qv::Program>(QString::fromStdString(dir.path().string()));
        program->setQuitFunction([this] { ++quits; });
        qv::Program::Factories f = qv::Program::defaultFactories();
        f.mainForm = [](qv::Program& p) {
            return std::make_unique<TMainForm>(p, qv::programFeatures());
        };
        f.introForm = [this] {
            auto intro = std::make_unique<RecordingIntroForm>();
            this->intro = intro.get();
            return intro;
        };
        program->start(f);
        form = static_cast<TMainForm*>(program->mainForm());
        program->setCatalogueStartup(form->makeCatalogueStartup());
        form->show();
    }
    // The first activation as the message loop runs it.
    bool activate() {
        return qv::runGuarded([this] { form->FormActivate(); });
    }
    TDM& dm() { return program->dm(); }
    QAction* reorgAction() { return form->findChild<QAction*>(QStringLiteral("Reorganistation1")); }

    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::unique_ptr<qv::Program> program;
    TMainForm* form = nullptr;
    RecordingIntroForm* intro = nullptr;
    int quits = 0;
    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs boxesGuard{&boxes};
};

TEST_F(CatalogueStartupTest, TheFirstStartInAnEmptyDirectoryCreatesTheCatalogue) {
    startProgram();
    ASSERT_TRUE(activate());
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(intro->log,
              (QStringList{"Datenbank laden", "Indexdatei Dateien ...", "Indexdatei Endungen ...",
                           "Indexdatei Kategorien ...", "Indexdatei Datenträgerarten ...",
                           "Indexdatei Adressen ...", "Indexdatei Datenträger ..."}));
    EXPECT_EQ(intro->gaugeShown, 6);
    EXPECT_GE(intro->maxValue, 99);
    EXPECT_FALSE(intro->findChild<QWidget*>(QStringLiteral("Gauge1"))->isVisibleTo(intro));
    EXPECT_FALSE(intro->isVisible());
    EXPECT_EQ(program->state(), qv::Program::State::Ready);

    for (CatalogueTable t : qv::kTableOrder) {
        EXPECT_TRUE(dm().table(t).Active());
        EXPECT_FALSE(form->session().view(t).ControlsDisabled());
        EXPECT_EQ(form->session().apollo(t).sx_IndexOrd(), t == CatalogueTable::Entries ? 2 : 1);
    }
    EXPECT_EQ(form->Apollo1->table(), &dm().table(qv::CatalogueTable::Entries));
    EXPECT_EQ(form->DataSource6->DataSet(), &dm().table(qv::CatalogueTable::Addresses));
    EXPECT_TRUE(dm().table(qv::CatalogueTable::Entries).Eof());
    EXPECT_EQ(dm().table(qv::CatalogueTable::Addresses).RecordCount(), 2);
    EXPECT_EQ(form->nummernZaehler(), 1);
    EXPECT_EQ(form->focusWidget(), form->DBGrid1);
    program.reset();
    EXPECT_EQ(catalogueFiles(dir.path()).size(), 14u);
    EXPECT_TRUE(checkFaults(dir.path()).empty());
}

TEST_F(CatalogueStartupTest, AnExistingCatalogueOpensWithoutRebuildingOnItsFirstEntryByTitle) {
    qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir.path());
    const auto before = catalogueFiles(dir.path());
    startProgram();
    ASSERT_TRUE(activate());
    EXPECT_EQ(intro->log, QStringList{"Datenbank laden"});
    EXPECT_EQ(intro->gaugeShown, 0);
    expectNotRebuilt(before, catalogueFiles(dir.path()));

    // The first entry in tag bezeich, which neuenummerinit left current.
    EXPECT_EQ(form->Apollo1->sx_IndexOrd(), 2);
    EXPECT_EQ(form->Apollo1->sx_OrderRecNo(), 1);
    const QString first = dm().table(qv::CatalogueTable::Entries).FieldByName("BEZEICH").AsString();
    form->Apollo1->sx_Skip(1);
    EXPECT_LE(first.toUpper(),
              dm().table(qv::CatalogueTable::Entries).FieldByName("BEZEICH").AsString().toUpper());

    // The counter continues after the highest number of an unflagged entry.
    auto entries = xb::Table::open((qvtest::xbaseFixtures() / "catalog" / "_qvdisk.dbf").string(),
                                   xb::OpenMode::ReadOnly);
    int highest = 0;
    for (std::uint32_t r = 1; r <= entries->recCount(); ++r) {
        entries->go(r);
        if (!entries->deleted()) highest = std::max(highest, static_cast<int>(entries->number(0)));
    }
    EXPECT_EQ(form->nummernZaehler(), highest + 1);
    program.reset();
    expectNotRebuilt(before, catalogueFiles(dir.path()));
}

TEST_F(CatalogueStartupTest, ATableThatCannotBeCreatedShowsAbbruchAndEndsTheProgram) {
    // The file table's memo file cannot be written: a directory holds its name.
    fs::create_directories(dir / "_qvdir.smt");
    startProgram();
    ASSERT_TRUE(activate());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.last().text, QStringLiteral("Neue Datenbank konnte nicht angelegt werden"));
    EXPECT_EQ(boxes.last().caption, QStringLiteral("Abbruch"));
    EXPECT_EQ(boxes.last().buttons, qv::MsgButtons::Ok);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(program->state(), qv::Program::State::Ended);
    EXPECT_FALSE(intro->isVisible());
    EXPECT_FALSE(dm().table(qv::CatalogueTable::Entries).Active());
    EXPECT_EQ(form->nummernZaehler(), 0);
    EXPECT_FALSE(fs::exists(dir / "_endung.dbf"));
}

TEST_F(CatalogueStartupTest, ASecondInstanceReportsTheTableInUseAndLeavesTheFirstAlone) {
    // The first instance's tables.
    TDM first(QString::fromStdString(dir.path().string()));
    qv::CatalogueSession firstAccess(first);
    TIntroForm firstIntro;
    ASSERT_TRUE(qv::checkCatalogue(first, firstAccess, firstIntro, {}));
    firstAccess.reattach();
    first.table(qv::CatalogueTable::Entries).Append();
    first.table(qv::CatalogueTable::Entries).FieldByName("BEZEICH").setAsString("vom ersten");
    first.table(qv::CatalogueTable::Entries).Post();
    const auto before = catalogueFiles(dir.path());

    startProgram();
    EXPECT_FALSE(activate());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.last().text,
              QString::fromStdString("Die Datei " + (dir / "_qvdir.dbf").string() +
                                     " wird bereits von einem anderen Programm benutzt."));
    EXPECT_EQ(boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_EQ(boxes.last().icon, qv::MsgIcon::Error);
    EXPECT_NE(program->state(), qv::Program::State::Ready);
    EXPECT_FALSE(intro->isVisible());
    for (CatalogueTable t : qv::kTableOrder)
        EXPECT_FALSE(dm().table(t).Active());
    EXPECT_EQ(quits, 0);
    program.reset();

    EXPECT_EQ(catalogueFiles(dir.path()), before);
    first.table(qv::CatalogueTable::Entries).First();
    EXPECT_EQ(first.table(qv::CatalogueTable::Entries).FieldByName("BEZEICH").AsString().trimmed(),
              "vom ersten");
}

TEST_F(CatalogueStartupTest, TheReorganisationAsksThenPacksRebuildsAndEndsTheProgram) {
    qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir.path());
    startProgram();
    ASSERT_TRUE(activate());
    ASSERT_TRUE(reorgAction()->isEnabled());
    const auto before = catalogueFiles(dir.path());
    qv::ScriptedDialogs::Shown question;
    question.text = QStringLiteral(
        "Hinweis: Die Reorganisation baut den kompletten Datenbestand neu auf.\n"
        "Sie sollten vor der Reorganistion eine Datensicherung durchführen!\n\n"
        "Wollen Sie wirklich reorganisieren ?");
    question.caption = QStringLiteral("Reorganisation");
    question.icon = qv::MsgIcon::Stop;
    question.buttons = qv::MsgButtons::YesNo;
    auto sameBox = [](const qv::ScriptedDialogs::Shown& a, const qv::ScriptedDialogs::Shown& b) {
        return a.text == b.text && a.caption == b.caption && a.icon == b.icon &&
               a.buttons == b.buttons;
    };

    // No changes nothing: no file, no table, no order.
    form->Apollo1->sx_SetOrder(3);
    boxes.queueAnswer(qv::MsgAnswer::No);
    reorgAction()->trigger();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(sameBox(boxes.last(), question)) << boxes.last().text.toStdString();
    EXPECT_EQ(catalogueFiles(dir.path()), before);
    EXPECT_EQ(form->Apollo1->sx_IndexOrd(), 3);
    for (CatalogueTable t : qv::kTableOrder) {
        EXPECT_TRUE(dm().table(t).Active());
        EXPECT_FALSE(form->session().view(t).ControlsDisabled());
    }
    EXPECT_EQ(intro->log, QStringList{"Datenbank laden"});
    EXPECT_EQ(quits, 0);

    boxes.queueAnswer(qv::MsgAnswer::Yes);
    reorgAction()->trigger();
    ASSERT_EQ(boxes.shown().size(), 3u);
    EXPECT_TRUE(sameBox(boxes.shown()[1], question));
    EXPECT_EQ(boxes.last().text,
              QStringLiteral("Die Reorganisation wurde erfolgreich durchgeführt.\n\n"
                             "QV-Tessarin wird nun beendet und kann dann neu gestartet werden."));
    EXPECT_EQ(boxes.last().caption, QStringLiteral("QV-TESSARIN"));
    EXPECT_EQ(boxes.last().icon, qv::MsgIcon::Information);
    EXPECT_EQ(boxes.last().buttons, qv::MsgButtons::Ok);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(program->state(), qv::Program::State::Ended);
    EXPECT_FALSE(intro->isVisible());
    EXPECT_EQ(intro->log.mid(1, 3),
              (QStringList{"status Reorg:", "Datenbank schließen, Index löschen",
                           "1.Grunddaten verdichten"}));
    EXPECT_EQ(intro->log.last(), QStringLiteral("Indexdatei Datenträger ..."));
    program.reset();

    // The flagged records are gone: the five flagged entries among them.
    EXPECT_EQ(xb::Table::open((dir / "_qvdisk.dbf").string(), xb::OpenMode::ReadOnly)->recCount(),
              57u);
    EXPECT_TRUE(checkFaults(dir.path()).empty());
}

}  // namespace
