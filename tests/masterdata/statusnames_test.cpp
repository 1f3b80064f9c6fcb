// Scenarios of the status names dialog on the real main window.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "catalogue/settingslist.h"
#include "masterdata/ui/statusnames.h"
#include "store/conversion.h"
#include "support/mainformparts.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "ui/command.h"
#include "ui/dbgrid.h"

namespace fs = std::filesystem;

namespace {

using qv::SettingsList;

std::string fileText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The default file's bytes with lines 1 to 12 replaced.
std::string expectedFile(const QStringList& names) {
    QStringList lines = SettingsList::defaultLines();
    for (int i = 0; i < 12; ++i)
        lines[i + 1] = names[i];
    std::string out;
    for (const QString& l : lines)
        out += qv::toCp1252(l) + "\r\n";
    return out;
}

class StatusNamesTest : public ::testing::Test {
  protected:
    StatusNamesTest() { qvtest::createCatalogue(dir.path()); }
    fs::path ini() const { return dir.path() / "_qvdisk.ini"; }
    qvtest::TempDir dir;
};

TEST_F(StatusNamesTest, OkWritesLinesOneToTwelveAndRefreshesThePanel) {
    qvtest::MainWindowHarness h(dir.path());
    qvtest::mf::TabControl2(h.form)->setCurrentIndex(TMainForm::TabStatus);
    const std::string before = fileText(ini());

    // Cancel after editing writes nothing; the next showing refills the fields.
    qvtest::whenModal<qv::Tstd_stat>([](qv::Tstd_stat* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Programm-Status"));
        d->edits[0]->setText(QStringLiteral("verworfen"));
        d->CancelBtn->click();
    });
    EXPECT_TRUE(h.form->command(qv::MainCommand::StatusNames).trigger());
    EXPECT_EQ(fileText(ini()), before);

    QStringList names = SettingsList::defaultLines().mid(1, 12);
    qvtest::whenModal<qv::Tstd_stat>([&](qv::Tstd_stat* d) {
        EXPECT_EQ(d->edits[0]->text(), names[0]);
        EXPECT_EQ(d->edits[5]->text(), QStringLiteral("\"externe Sicherheitskopie\""));
        d->edits[0]->clear();  // an empty name
        d->edits[8]->insert(QString::fromUtf8("Geprüft & übergeben"));
        d->edits[2]->selectAll();
        d->edits[2]->insert(QStringLiteral("Zeile\r\nzwei\tdrei"));  // a pasted line break
        d->edits[11]->clear();
        QTest::keyClicks(d->edits[11], QString(55, QLatin1Char('x')));  // typing stops at 50
        d->OKBtn->click();
    });
    EXPECT_TRUE(h.form->command(qv::MainCommand::StatusNames).trigger());
    names[0] = QString();
    names[8] = QString::fromUtf8("Geprüft & übergeben");
    names[2] = QStringLiteral("Zeile  zwei drei");
    names[11] = QString(50, QLatin1Char('x'));
    EXPECT_EQ(fileText(ini()), expectedFile(names));
    EXPECT_EQ(h.program->settings().line(9), names[8]);
    // The status panel shows the new names at once.
    EXPECT_EQ(qvtest::mf::lbstat(h.form)[8]->text(), names[8]);
    EXPECT_EQ(qvtest::mf::lbstat(h.form)[0]->text(), QString());
    EXPECT_TRUE(h.program->settings().entryDialogNotice());
}

TEST_F(StatusNamesTest, LongLoadedNameSurvivesAndFailedSaveKeepsNames) {
    // A hand-edited file with a 60-character name 5.
    QStringList lines = SettingsList::defaultLines();
    const QString longName = QString(60, QLatin1Char('L'));
    lines[5] = longName;
    {
        std::ofstream out(ini(), std::ios::binary);
        out << SettingsList::serialize(lines).toStdString();
    }
    qvtest::MainWindowHarness h(dir.path());
    qvtest::whenModal<qv::Tstd_stat>([&](qv::Tstd_stat* d) {
        EXPECT_EQ(d->edits[4]->text(), longName);
        d->edits[4]->end(false);
        QTest::keyClick(d->edits[4], Qt::Key_A);  // no typing past the limit
        EXPECT_EQ(d->edits[4]->text(), longName);
        d->edits[9]->setText(QStringLiteral("Neu"));
        d->OKBtn->click();
    });
    EXPECT_TRUE(h.form->command(qv::MainCommand::StatusNames).trigger());
    lines[10] = QStringLiteral("Neu");
    EXPECT_EQ(SettingsList::parse(QByteArray::fromStdString(fileText(ini()))), lines);

    // A save that fails: the error reaches the user, the dialog stays open
    // with the typed name, and after Cancel the list in memory holds what
    // the file held.
    fs::remove(ini());
    fs::create_directory(ini());
    qvtest::whenModal<qv::Tstd_stat>([&](qv::Tstd_stat* d) {
        d->edits[10]->setText(QStringLiteral("Nicht gespeichert"));
        d->OKBtn->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->edits[10]->text(), QStringLiteral("Nicht gespeichert"));
        d->CancelBtn->click();
    });
    h.boxes.clear();
    EXPECT_TRUE(h.form->command(qv::MainCommand::StatusNames).trigger());
    ASSERT_FALSE(h.boxes.shown().empty());
    EXPECT_EQ(h.boxes.last().caption, QStringLiteral("QV-TESSARIN 97"));
    EXPECT_EQ(h.boxes.last().icon, qv::MsgIcon::Error);
    EXPECT_EQ(h.program->settings().line(11), lines[11]);
    EXPECT_TRUE(fs::is_directory(ini()));
}

}  // namespace
