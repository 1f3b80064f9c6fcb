// The reading and deletion dialogs driven from the real main window.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "masterdata/ui/lookupwindows.h"
#include "reading/ui/datentraegerauslesen.h"
#include "reading/ui/loescheneintrag.h"
#include "readingtestutil.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "support/mainformparts.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "ui/command.h"
#include "ui/dbgrid.h"
#include "ui/wmessage.h"

using qv::CatalogueTable;
using qv::MainCommand;
using qvtest::MainWindowHarness;
namespace fs = std::filesystem;

namespace {

// One volume: a directory of the test.
class TestVolumes : public qv::VolumeProvider {
  public:
    explicit TestVolumes(const fs::path& dir) : m_dir(QString::fromStdString(dir.string())) {}
    QList<qv::Volume> volumes() const override {
        return {{QStringLiteral("/"), QString(), false, false},
                {m_dir, QStringLiteral("TESTMEDIUM"), true, true}};
    }

  private:
    QString m_dir;
};

// The system root and the mounts the test names, which come and go.
class ChangingVolumes : public qv::VolumeProvider {
  public:
    explicit ChangingVolumes(std::shared_ptr<QStringList> mounts) : m_mounts(std::move(mounts)) {}
    QList<qv::Volume> volumes() const override {
        QList<qv::Volume> out{{QStringLiteral("/"), QString(), false, false}};
        for (const QString& m : *m_mounts)
            out.append({m, QString(), false, false});
        return out;
    }

  private:
    std::shared_ptr<QStringList> m_mounts;
};

// Runs the reading command, acting on its dialog.
void readWith(MainWindowHarness& h, std::function<void(TDatentraegerAuslesen*)> act) {
    qvtest::whenModal<TDatentraegerAuslesen>(std::move(act));
    h.form->command(MainCommand::ReadCarrier).trigger();
}

// Picks item i of the drive box as the user does.
void pick(TDatentraegerAuslesen* d, int i) {
    d->DriveComboBox1->setCurrentIndex(i);
    emit d->DriveComboBox1->activated(i);
}

QString title(MainWindowHarness& h) {
    return h.table(CatalogueTable::Entries).FieldByName("BEZEICH").AsString().trimmed();
}

// Deletes the current entry through the command, answering the dialog.
void deleteCurrent(MainWindowHarness& h, bool confirm) {
    qvtest::whenModal<TLoescheneintrag>([confirm](TLoescheneintrag* d) {
        EXPECT_FALSE(d->Label1->isHidden());
        EXPECT_TRUE(d->Label4->isHidden());
        EXPECT_EQ(d->focusWidget(), d->OKBtn);
        (confirm ? d->OKBtn : d->CancelBtn)->click();
    });
    h.form->command(MainCommand::DeleteEntry).trigger();
}

}  // namespace

TEST(ReadingWindow, F11ReadsTheChosenVolumeForTheCurrentEntryAndKeepsTheChoice) {
    qvtest::TempDir tmp;
    const fs::path volume = tmp / "vol";
    fs::create_directories(volume / "sub");
    rt::makeFile(volume / "a.txt", 1);
    rt::makeFile(volume / "b.exe", 2);
    rt::makeFile(volume / "sub" / "c.txt", 3);
    qvtest::createCatalogue(tmp / "cat");
    qvtest::addEntries(tmp / "cat", qvtest::numberedEntries(3));
    MainWindowHarness h(tmp / "cat");
    TMainForm* f = h.form;
    h.key(Qt::Key_Down);
    ASSERT_EQ(title(h), "Eintrag 0002");
    const QString mount = QString::fromStdString(volume.string());

    qvtest::whenModal<TDatentraegerAuslesen>([&](TDatentraegerAuslesen* d) {
        EXPECT_EQ(d->windowTitle(), "Datenträger auslesen");
        d->setVolumeProvider(std::make_unique<TestVolumes>(volume));
        // The removable medium is preselected; the options start at their defaults.
        EXPECT_EQ(d->chosenVolume(), mount);
        EXPECT_EQ(d->DriveComboBox1->currentText(), "TESTMEDIUM (" + mount + ")");
        EXPECT_EQ(d->radioGroup1Index(), 0);
        EXPECT_EQ(d->radioGroup2Index(), 0);
        d->setRadioGroup2Index(1);  // "alle Endungen"
        d->BitBtn1->click();
    });
    EXPECT_TRUE(f->command(MainCommand::ReadCarrier).trigger());
    auto* dialog = f->findChild<TDatentraegerAuslesen*>();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->lastResult().stored, 3);
    EXPECT_TRUE(dialog->BitBtn1->isEnabled());
    EXPECT_FALSE(h.program->wmessage().isVisible());
    EXPECT_FALSE(qvtest::mf::DataSource2(f)->ControlsDisabled());
    // Back on the entry, with its new file list.
    EXPECT_EQ(title(h), "Eintrag 0002");
    EXPECT_EQ(qvtest::mf::labelanzahl2(f)->text(), "3");
    EXPECT_EQ(qvtest::mf::DBGrid2(f)->model()->rowCount(), 3);
    EXPECT_EQ(rt::recordsOf(h.session(), 2).size(), 3u);

    // The dialog is kept: volume and options as left; "Abbruch" reads nothing.
    qvtest::whenModal<TDatentraegerAuslesen>([&](TDatentraegerAuslesen* d) {
        EXPECT_EQ(d, dialog);
        EXPECT_EQ(d->chosenVolume(), mount);
        EXPECT_EQ(d->radioGroup2Index(), 1);
        d->setRadioGroup1Index(1);
        // "definieren" shows the extension list over the dialog.
        ASSERT_TRUE(d->Button3->isEnabled());
        bool listShown = false;
        qvtest::whenModal<qv::Tstd_endung>([&](qv::Tstd_endung* e) {
            listShown = true;
            e->reject();
        });
        d->Button3->click();
        EXPECT_TRUE(listShown);
        d->BitBtn2->click();
    });
    EXPECT_TRUE(f->command(MainCommand::ReadCarrier).trigger());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(rt::recordsOf(h.session(), 2).size(), 3u);
    EXPECT_EQ(qvtest::mf::labelanzahl2(f)->text(), "3");
    EXPECT_TRUE(h.boxes.shown().empty());
}

TEST(ReadingWindow, ThePickedDriveIsKeptForTheRunAndAGoneOneIsNotGuessed) {
    qvtest::TempDir tmp;
    const fs::path data = tmp / "data", copied = tmp / "kopie" / "cd1";
    fs::create_directories(data / "sub");
    fs::create_directories(copied);
    rt::makeFile(data / "a.txt", 1);
    rt::makeFile(data / "sub" / "b.exe", 2);
    rt::makeFile(copied / "setup.exe", 3);
    qvtest::createCatalogue(tmp / "cat");
    qvtest::addEntries(tmp / "cat", qvtest::numberedEntries(1));
    MainWindowHarness h(tmp / "cat");
    const QString dataRoot = QString::fromStdString(data.string());
    const QString folder = QString::fromStdString(copied.string());
    auto mounts = std::make_shared<QStringList>(QStringList{dataRoot});

    // A fixed disk picked instead of "/"; the empty extension list offers
    // "alle Endungen".
    h.boxes.queueAnswer(qv::MsgAnswer::Yes);
    readWith(h, [&](TDatentraegerAuslesen* d) {
        d->setVolumeProvider(std::make_unique<ChangingVolumes>(mounts));
        EXPECT_EQ(d->chosenVolume(), "/");
        pick(d, d->DriveComboBox1->findData(dataRoot));
        d->BitBtn1->click();
        EXPECT_EQ(d->radioGroup2Index(), 1);
    });
    EXPECT_EQ(h.boxes.last().text, qv::noExtensionsQuestion());
    EXPECT_EQ(rt::recordsOf(h.session(), 1).size(), 2u);
    readWith(h, [&](TDatentraegerAuslesen* d) {
        EXPECT_EQ(d->chosenVolume(), dataRoot);
        d->BitBtn2->click();
    });

    // Unmounted meanwhile: nothing is chosen, "Einlesen" asks for a choice.
    mounts->clear();
    h.boxes.clear();
    readWith(h, [&](TDatentraegerAuslesen* d) {
        EXPECT_EQ(d->DriveComboBox1->currentIndex(), -1);
        d->BitBtn1->click();
        EXPECT_TRUE(d->isVisible());
        // "Ordner wählen…", the last item: a folder read like a root.
        h.boxes.queuePath(folder);
        pick(d, d->DriveComboBox1->count() - 1);
        d->BitBtn1->click();
    });
    EXPECT_EQ(h.boxes.shown().front().text, "Bitte ein Laufwerk oder einen Ordner wählen.");
    const auto records = rt::recordsOf(h.session(), 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path, "/ setup.exe");
}

TEST(ReadingWindow, AnEmptiedCarrierAsksBeforeTheFileListIsReleased) {
    qvtest::TempDir tmp;
    const fs::path volume = tmp / "vol";
    fs::create_directories(volume / "sub");
    rt::makeFile(volume / "a.txt", 1);
    rt::makeFile(volume / "sub" / "c.txt", 3);
    qvtest::createCatalogue(tmp / "cat");
    qvtest::addEntries(tmp / "cat", qvtest::numberedEntries(1));
    MainWindowHarness h(tmp / "cat");
    readWith(h, [&](TDatentraegerAuslesen* d) {
        d->setVolumeProvider(std::make_unique<TestVolumes>(volume));
        d->setRadioGroup2Index(1);
        d->BitBtn1->click();
    });
    ASSERT_EQ(rt::recordsOf(h.session(), 1).size(), 2u);

    // Ejected: the empty mount-point folder stays. "Nein" (the default)
    // keeps the list and the dialog open; "Ja" reads the empty carrier.
    fs::remove_all(volume);
    fs::create_directory(volume);
    readWith(h, [&](TDatentraegerAuslesen* d) {
        d->BitBtn1->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(rt::recordsOf(h.session(), 1).size(), 2u);
        h.boxes.queueAnswer(qv::MsgAnswer::Yes);
        d->BitBtn1->click();
    });
    ASSERT_EQ(h.boxes.shown().size(), 2u);
    EXPECT_EQ(h.boxes.last().text,
              "Der gewählte Datenträger enthält keine Dateien. Trotzdem einlesen und die "
              "bisherige Dateiliste (2 Dateien) freigeben?");
    EXPECT_EQ(h.boxes.last().buttons, qv::MsgButtons::YesNoDefaultNo);
    EXPECT_EQ(rt::recordsOf(h.session(), 1).size(), 0u);
    EXPECT_EQ(qvtest::mf::labelanzahl2(h.form)->text(), "0");
}

TEST(ReadingWindow, DeletionReleasesTheFilesAndLeavesTheCursorOnThePredecessor) {
    qvtest::TempDir tmp;
    const fs::path dir = tmp / "cat";
    qvtest::createCatalogue(dir);
    qvtest::addEntries(dir, qvtest::numberedEntries(5));
    qvtest::addFiles(dir, {{3, "/ A.TXT", "A.TXT", "TXT", 1},
                           {5, "/ E.TXT", "E.TXT", "TXT", 1},
                           {3, "/S/ B.TXT", "B.TXT", "TXT", 1},
                           {3, "/S/ C.TXT", "C.TXT", "TXT", 1}});
    MainWindowHarness h(dir);
    TMainForm* f = h.form;
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Down);
    ASSERT_EQ(title(h), "Eintrag 0003");
    ASSERT_EQ(qvtest::mf::labelanzahl2(f)->text(), "3");

    // Cancelling changes nothing.
    deleteCurrent(h, false);
    EXPECT_EQ(title(h), "Eintrag 0003");
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), "3 : 5");
    EXPECT_EQ(rt::recordsOf(h.session(), 3).size(), 3u);

    // The file list stands on another entry's range: the release still
    // reaches every record of the entry deleted.
    qvtest::mf::Apollo2(f)->sx_SetScope("       5", "       5\xFF");
    deleteCurrent(h, true);
    auto* dialog = f->findChild<TLoescheneintrag*>();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->Label4->text(), "Bearbeitet: 3 Datensätze");
    EXPECT_TRUE(dialog->Label4->isHidden());
    EXPECT_FALSE(dialog->Label1->isHidden());
    EXPECT_TRUE(dialog->OKBtn->isEnabled());
    EXPECT_EQ(title(h), "Eintrag 0002");
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), "2 : 4");
    EXPECT_TRUE(rt::recordsOf(h.session(), 3).empty());
    EXPECT_EQ(rt::recordsOf(h.session(), qv::kReleasedEntryNumber).size(), 3u);
    EXPECT_EQ(rt::recordsOf(h.session(), 5).size(), 1u);
    EXPECT_FALSE(qvtest::mf::DataSource1(f)->ControlsDisabled());
    EXPECT_FALSE(qvtest::mf::DataSource2(f)->ControlsDisabled());

    // The first entry: the cursor goes to the new first one.
    qvtest::mf::Apollo1(f)->sx_GoTop();
    deleteCurrent(h, true);
    EXPECT_EQ(title(h), "Eintrag 0002");
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), "1 : 3");

    // The last entry: the cursor goes to the one before it.
    h.key(Qt::Key_End, Qt::ControlModifier);
    ASSERT_EQ(title(h), "Eintrag 0005");
    deleteCurrent(h, true);
    EXPECT_EQ(title(h), "Eintrag 0004");
    EXPECT_EQ(qvtest::mf::labelanzahl(f)->text(), "2 : 2");
    EXPECT_EQ(qvtest::mf::labelanzahl2(f)->text(), "0");
    EXPECT_EQ(rt::recordsOf(h.session(), qv::kReleasedEntryNumber).size(), 4u);
    EXPECT_TRUE(h.boxes.shown().empty());
}

TEST(ReadingWindow, TheNoticeCommandAndAnEmptyList) {
    qvtest::TempDir tmp;
    MainWindowHarness h(tmp.path());
    TMainForm* f = h.form;
    EXPECT_TRUE(f->command(MainCommand::RemoveFileAssignment).trigger());
    ASSERT_EQ(h.boxes.shown().size(), 1u);
    EXPECT_EQ(h.boxes.last().text, "Noch nicht integriert");
    EXPECT_EQ(h.boxes.last().caption, "QV-TESSARIN 97");
    EXPECT_EQ(h.boxes.last().buttons, qv::MsgButtons::Ok);

    // No current entry: a message, no dialog, nothing written.
    EXPECT_TRUE(f->command(MainCommand::ReadCarrier).trigger());
    EXPECT_EQ(h.boxes.last().text, "Kein Datensatz vorhanden.");
    EXPECT_EQ(h.boxes.last().caption, "Datenträger einlesen");
    EXPECT_EQ(h.boxes.last().icon, qv::MsgIcon::Error);
    EXPECT_TRUE(f->command(MainCommand::DeleteEntry).trigger());
    EXPECT_EQ(h.boxes.last().caption, "Eintrag löschen");
    EXPECT_FALSE(f->findChild<TDatentraegerAuslesen*>());
    EXPECT_FALSE(f->findChild<TLoescheneintrag*>());
    EXPECT_EQ(h.table(CatalogueTable::Files).RecordCount(), 0);
}
