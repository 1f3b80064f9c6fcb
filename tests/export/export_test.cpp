// The export on a catalogue session: which entries, cancel and failure
// leaving no file, and the menu command in the main window.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "export/core/catalogueexport.h"
#include "export/ui/exportieren.h"
#include "search/core/entryquery.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "support/testutil.h"

namespace {

using qv::CatalogueTable;

const std::string kKeptPath = "/SUB/ Straße endgültig – ein langer Name.txt";

void fill(const std::filesystem::path& dir) {
    qvtest::createCatalogue(dir);
    qvtest::EntryRow a(1, "Anton", 1, 1);
    a.flags = "x          x";
    qvtest::EntryRow b(2, "Berta", 1, 2);
    qvtest::EntryRow c(3, "Cäsar", 2, 1);
    qvtest::EntryRow gone(4, "Dora");
    gone.deleted = true;
    qvtest::addEntries(dir, {c, a, gone, b});
    qvtest::addFiles(dir, {{1, "/ A.TXT", "A.TXT", "TXT", 10},
                           {1, "/SUB/ B.TXT", "B.TXT", "TXT", 20},
                           {3, "/ C.TXT", "C.TXT", "TXT", 30},
                           {qv::kReleasedEntryNumber, "/ X.TXT", "X.TXT", "TXT", 40}});
    // A whole name the reading kept, in UTF-8 like every kept path.
    auto t = xb::Table::open((dir / "_qvdir.dbf").string());
    t->go(2);
    t->replaceMemo(t->fieldIndex("dirmemo"), kKeptPath);
    t->commitRecord();
    t->close();
}

// A catalogue opened as the store tool opens it, entries in title order.
struct OpenCatalogue {
    explicit OpenCatalogue(const std::filesystem::path& dir)
        : dm(QString::fromStdString(dir.string())), session(dm) {
        session.table(CatalogueTable::Entries).Open();
        session.table(CatalogueTable::Files).Open();
        session.apollo(CatalogueTable::Entries)
            .sx_SetOrder(qv::tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
        session.apollo(CatalogueTable::Entries).sx_GoTop();
    }
    xb::SettingsGuard settings;
    TDM dm;
    qv::CatalogueSession session;
};

QStringList jsonNumbers(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList numbers;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty()) numbers << QString::fromUtf8(line).section(QLatin1Char(','), 0, 0);
    return numbers;
}

class Canceller : public qv::ExportMonitor {
  public:
    explicit Canceller(qint64 after) : m_after(after) {}
    void started(qint64 entries) override { total = entries; }
    bool advance(qint64 done, qint64) override { return done < m_after; }
    qint64 total = -1;

  private:
    qint64 m_after;
};

TEST(Export, ListedEntriesFollowTheQueryAndAllEntriesIgnoreIt) {
    qvtest::TempDir dir;
    fill(dir.path());
    OpenCatalogue cat(dir.path());
    const QString out = QString::fromStdString((dir / "out.jsonl").string());
    qv::ExportOptions o;
    o.format = qv::ExportFormat::JsonLines;

    qv::ExportResult r = qv::exportCatalogue(cat.session, {}, out, o);
    EXPECT_EQ(jsonNumbers(out),
              QStringList({"{\"EINDEUTIG\":1", "{\"EINDEUTIG\":2", "{\"EINDEUTIG\":3"}));
    EXPECT_EQ(r.entries, 3);
    EXPECT_EQ(r.files, 0);

    qv::SilentProgress display;
    {
        qv::ScopedProgress progress(display);
        qv::installEntryQuery(cat.session, QStringLiteral("boxnummer=1"), progress);
    }
    TTable& entries = cat.session.table(CatalogueTable::Entries);
    entries.Next();
    const int before = entries.RecNo();
    o.withFiles = true;
    r = qv::exportCatalogue(cat.session, {}, out, o);
    EXPECT_EQ(jsonNumbers(out), QStringList({"{\"EINDEUTIG\":1", "{\"EINDEUTIG\":2"}));
    EXPECT_EQ(r.files, 2);  // entry 1's two files
    {
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QJsonObject first = QJsonDocument::fromJson(f.readLine()).object();
        const QJsonArray files = first.value(QStringLiteral("DATEIEN")).toArray();
        ASSERT_EQ(files.size(), 2);
        EXPECT_EQ(files[1].toObject().value(QStringLiteral("DIRMEMO")).toString(),
                  QString::fromStdString(kKeptPath));
    }
    EXPECT_EQ(entries.RecNo(), before) << "the entry table goes back to its entry";

    o.entries = qv::ExportEntries::All;
    r = qv::exportCatalogue(cat.session, {}, out, o);
    EXPECT_EQ(r.entries, 3) << "every entry that is not deleted, past the query";
    EXPECT_EQ(r.files, 3) << "never the released record";
    EXPECT_EQ(entries.RecNo(), before);
}

TEST(Export, CancelledOrFailedExportLeavesNoFileUnderTheName) {
    qvtest::TempDir dir;
    fill(dir.path());
    OpenCatalogue cat(dir.path());
    const QString out = QString::fromStdString((dir / "k.csv").string());
    const QString second = qv::filesCsvPath(out);
    EXPECT_EQ(second, QString::fromStdString((dir / "k-dateien.csv").string()));
    {
        QFile old(out);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("older export");
    }
    qv::ExportOptions o;
    o.withFiles = true;
    for (const qv::ExportFormat f :
         {qv::ExportFormat::Csv, qv::ExportFormat::JsonLines, qv::ExportFormat::Html}) {
        o.format = f;
        Canceller cancel(1);
        const qv::ExportResult r = qv::exportCatalogue(cat.session, {}, out, o, &cancel);
        EXPECT_TRUE(r.cancelled);
        EXPECT_EQ(cancel.total, 3);
        EXPECT_TRUE(r.written.isEmpty());
        QFile old(out);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("older export")) << "the older file stays as it was";
        EXPECT_FALSE(QFile::exists(second));
    }
    // Nothing half-written beside it either.
    EXPECT_EQ(QDir(QString::fromStdString(dir.path().string()))
                  .entryList({QStringLiteral("k*")}, QDir::Files),
              QStringList({QStringLiteral("k.csv")}));

    const QString nowhere = QString::fromStdString((dir / "fehlt" / "k.csv").string());
    try {
        qv::exportCatalogue(cat.session, {}, nowhere, o);
        ADD_FAILURE() << "an unwritable place must fail";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::IoError);
        EXPECT_NE(e.text().find("k.csv"), std::string::npos) << e.text();
    }
    EXPECT_FALSE(QFile::exists(nowhere));

    // Finished: both files under their names, the old one replaced.
    o.format = qv::ExportFormat::Csv;
    const qv::ExportResult r = qv::exportCatalogue(cat.session, {}, out, o);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.written, QStringList({out, second}));
    QFile done(out);
    ASSERT_TRUE(done.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        done.readAll().startsWith("\xEF\xBB\xBF"
                                  "EINDEUTIG;BEZEICH;"));
}

TEST(ExportWindow, MenuCommandWritesTheChosenFormatAndKeepsTheFileList) {
    qvtest::TempDir dir;
    fill(dir.path());
    qvtest::MainWindowHarness h(dir.path());
    ASSERT_TRUE(h.started);
    qv::Command* cmd = h.form->commands().added(QStringLiteral("Exportieren1"));
    ASSERT_NE(cmd, nullptr);
    // In "Ausgabe", right after the list preview.
    auto* menu = h.form->menuBar()->findChild<QMenu*>(QStringLiteral("Ausgabe1"));
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) names << a->objectName();
    EXPECT_EQ(names.indexOf(QStringLiteral("Exportieren1")),
              names.indexOf(QStringLiteral("VorschauListendruck1")) + 1);

    const int filesBefore = h.form->scopeFileList();
    const QString out = QString::fromStdString((dir / "seite.html").string());
    qvtest::whenModal<TExportieren>([&](TExportieren* d) {
        EXPECT_FALSE(d->rbListed->isEnabled()) << "no query is in force";
        d->rbHtml->click();
        d->cbFiles->setChecked(true);
        d->edFile->setText(out);
        d->BtnOK->click();
    });
    h.boxes.queueAnswer(qv::MsgAnswer::Ok);
    cmd->trigger();
    ASSERT_TRUE(QFile::exists(out));
    ASSERT_FALSE(h.boxes.shown().empty());
    EXPECT_EQ(h.boxes.last().text.section(QLatin1Char('\n'), 0, 0),
              QStringLiteral("Exportiert: 3 Einträge, 3 Dateien."));
    QFile page(out);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("<td class=\"t\">Cäsar</td>")));
    EXPECT_TRUE(text.contains(QStringLiteral("<td>/SUB/ B.TXT</td>")));
    EXPECT_EQ(h.form->scopeFileList(), filesBefore)
        << "the file list shows the entry's files again";
}

}  // namespace
