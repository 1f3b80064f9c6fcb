// The carrier identity: the volume table, matching, the store tool's
// commands, and the recognition notice in the main window.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "app/qv-tessarin/features.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "catalogue/volumetable.h"
#include "entries/ui/mainform.h"
#include "reading/core/readingtool.h"
#include "reading/ui/loescheneintrag.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/progress.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/qtsupport.h"
#include "support/testutil.h"
#include "ui/command.h"
#include "ui/errorhandler.h"
#include "ui/program.h"
#include "ui/scripteddialogs.h"
#include "volumes/core/volumeprovider.h"
#include "volumes/core/volumetool.h"
#include "volumes/core/volumewatcher.h"
#include "volumes/ui/volumepanel.h"

namespace fs = std::filesystem;
using qv::CarrierCount;
using qv::VolumeFacts;

namespace {

// Volumes the test mounts and unmounts by hand; installed for its lifetime.
class FakeVolumes : public qv::VolumeFactsProvider {
  public:
    FakeVolumes() { qv::setVolumeFactsProvider(this); }
    ~FakeVolumes() override { qv::setVolumeFactsProvider(nullptr); }
    QStringList mountPoints() const override {
        QStringList out;
        for (const VolumeFacts& v : mounted)
            out << v.mountPoint;
        return out;
    }
    std::optional<VolumeFacts> factsOf(const QString& mountPoint) const override {
        for (const VolumeFacts& v : mounted)
            if (v.mountPoint == mountPoint) return v;
        return std::nullopt;
    }
    CarrierCount count(const QString&) const override { return counted; }

    QList<VolumeFacts> mounted;
    CarrierCount counted{12, 3456};
};

VolumeFacts volume(const QString& mountPoint, const QString& label, const QString& uuid,
                   qint64 total = 16'000'000) {
    VolumeFacts v;
    v.mountPoint = mountPoint;
    v.label = label;
    v.uuid = uuid;
    v.fileSystem = QStringLiteral("ext4");
    v.totalBytes = total;
    v.freeBytes = total / 2;
    v.model = QStringLiteral("Stick 3000");
    return v;
}

VolumeFacts stored(int entry, const QString& label, const QString& uuid, qint64 total,
                   const QDateTime& at) {
    VolumeFacts v = volume(QString(), label, uuid, total);
    v.entry = entry;
    v.readAt = at;
    return v;
}

QString dirOf(const fs::path& p) {
    return qv::withTrailingSeparator(QString::fromStdString(p.string()));
}

// The catalogue files of a directory, name to bytes.
std::map<std::string, std::string> filesOf(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        out[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return out;
}

int tool(const std::vector<std::string>& args, std::string& out) {
    std::istringstream in;
    std::ostringstream o, err;
    const int rc = qvdb::run(args, in, o, err);
    out = o.str() + err.str();
    return rc;
}

// The program on a catalogue directory, through its first activation.
struct Window {
    explicit Window(const fs::path& dir) : guard(&boxes) {
        program = std::make_unique<qv::Program>(QString::fromStdString(dir.string()));
        program->setQuitFunction([] {});
        program->start(
            [](qv::Program& p) { return std::make_unique<TMainForm>(p, qv::programFeatures()); });
        form = static_cast<TMainForm*>(program->mainForm());
        program->setCatalogueStartup(form->makeCatalogueStartup());
        form->show();
        started = qv::runGuarded([this] { form->FormActivate(); });
        QApplication::processEvents();
    }
    ~Window() {
        program.reset();
        xb::setGaugeHook({});
    }
    TTable& table(qv::CatalogueTable t) { return form->session().table(t); }

    xb::SettingsGuard settings;
    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs guard;
    std::unique_ptr<qv::Program> program;
    TMainForm* form = nullptr;
    bool started = false;
};

}  // namespace

TEST(VolumeMatching, ByUuidElseLabelAndSizeAndNeverByGuess) {
    const QDateTime early(QDate(2024, 1, 2), QTime(10, 0));
    const QDateTime late(QDate(2025, 3, 4), QTime(11, 0));
    const QList<VolumeFacts> rows = {
        stored(5, "BACKUP_2019", "aaaa-1111", 1000, early),
        stored(6, "FOTOS", "", 2000, early),
        stored(7, "FOTOS", "", 2000, late),
        stored(8, "FOTOS", "bbbb-2222", 3000, late),
    };
    // The UUID decides, whatever the label says.
    qv::VolumeMatch m = qv::matchVolume(rows, volume("/m", "OTHER", "AAAA-1111", 1));
    EXPECT_EQ(m.kind, qv::MatchKind::Uuid);
    EXPECT_EQ(m.stored.entry, 5);
    // No UUID on record: label and total size, the entry read last.
    m = qv::matchVolume(rows, volume("/m", "FOTOS", "", 2000));
    EXPECT_EQ(m.kind, qv::MatchKind::LabelAndSize);
    EXPECT_EQ(m.stored.entry, 7);
    // Same label, other size; a UUID that contradicts the record; nothing to go by.
    EXPECT_FALSE(qv::matchVolume(rows, volume("/m", "FOTOS", "", 2001)));
    EXPECT_FALSE(qv::matchVolume(rows, volume("/m", "FOTOS", "cccc-3333", 3000)));
    EXPECT_FALSE(qv::matchVolume(rows, volume("/m", "", "", 2000)));
    EXPECT_FALSE(qv::matchVolume({stored(9, "", "", 2000, late)}, volume("/m", "", "", 2000)));

    // File-system headers: ext4 UUID, FAT32 and FAT16 serials, anything else none.
    QByteArray ext(64 * 1024, '\0');
    ext[1024 + 56] = '\x53';
    ext[1024 + 57] = '\xEF';
    const QByteArray id = QByteArray::fromHex("0123456789abcdef0011223344556677");
    ext.replace(1024 + 104, 16, id);
    ext.replace(1024 + 120, 11, "BACKUP_2019");
    EXPECT_EQ(qv::uuidFromHeader(ext), "01234567-89ab-cdef-0011-223344556677");
    EXPECT_EQ(qv::labelFromHeader(ext), "BACKUP_2019");
    QByteArray fat(512, '\0');
    fat[510] = '\x55';
    fat[511] = '\xAA';
    QByteArray fat32 = fat;
    fat32.replace(82, 5, "FAT32");
    fat32.replace(67, 4, QByteArray::fromHex("78563412"));
    fat32.replace(71, 11, "FOTOS      ");
    EXPECT_EQ(qv::uuidFromHeader(fat32), "1234-5678");
    EXPECT_EQ(qv::labelFromHeader(fat32), "FOTOS");
    QByteArray fat16 = fat;
    fat16.replace(54, 5, "FAT16");
    fat16.replace(39, 4, QByteArray::fromHex("efbeadde"));
    EXPECT_EQ(qv::uuidFromHeader(fat16), "DEAD-BEEF");
    EXPECT_EQ(qv::uuidFromHeader(fat), "");
    EXPECT_EQ(qv::uuidFromHeader(QByteArray(64 * 1024, '\0')), "");
}

TEST(VolumeFactsStore, AReadingStoresTheFactsTheToolsPrintAndIdentify) {
    qvtest::TempDir tmp;
    const fs::path cat = tmp / "cat";
    qvtest::createCatalogue(cat);
    qvtest::addEntries(cat, {{1, "Eins", 1, 1}, {2, "Backup 2019", 3, 7}});
    fs::create_directories(tmp / "stick");
    const QString mount = QString::fromStdString((tmp / "stick").string());
    FakeVolumes fake;
    fake.mounted = {volume(mount, "BACKUP_2019", "1234-abcd")};

    std::ostringstream out, err;
    ASSERT_EQ(
        qv::readCommand({cat.string(), "2", mount.toStdString(), "--all-extensions"}, out, err), 0)
        << err.str();
    std::optional<VolumeFacts> f = qv::loadVolumeFacts(dirOf(cat), 2);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->label, "BACKUP_2019");
    EXPECT_EQ(f->uuid, "1234-abcd");
    EXPECT_EQ(f->totalBytes, 16'000'000);
    EXPECT_EQ(f->freeBytes, 8'000'000);
    EXPECT_EQ(f->model, "Stick 3000");
    EXPECT_EQ(f->files, 12);
    EXPECT_EQ(f->fileBytes, 3456);
    EXPECT_EQ(f->readAt.date(), QDate::currentDate());

    std::ostringstream v, verr;
    ASSERT_EQ(qv::volumeCommand({cat.string(), "2"}, v, verr), 0);
    EXPECT_NE(v.str().find("label\tBACKUP_2019\n"), std::string::npos) << v.str();
    EXPECT_NE(v.str().find("files\t12\nbytes\t3456\n"), std::string::npos) << v.str();
    std::ostringstream none, noneErr;
    EXPECT_EQ(qv::volumeCommand({cat.string(), "1"}, none, noneErr), 1);

    auto identify = [&](std::vector<std::string> args) {
        std::ostringstream o, e;
        EXPECT_EQ(qv::identifyCommand(args, o, e), 0);
        return o.str();
    };
    EXPECT_EQ(identify({cat.string(), mount.toStdString()}), "entry\t2\tBackup 2019\t3\t7\n");
    EXPECT_EQ(identify({cat.string(), mount.toStdString(), "--changes"}),
              "entry\t2\tBackup 2019\t3\t7\nfiles\t12\t12\nbytes\t3456\t3456\nunchanged\n");
    fake.counted = {13, 3456};
    EXPECT_EQ(identify({cat.string(), mount.toStdString(), "--changes"}),
              "entry\t2\tBackup 2019\t3\t7\nfiles\t12\t13\nbytes\t3456\t3456\nchanged\n");
    fake.mounted = {volume(mount, "BACKUP_2019", "9999-0000")};
    EXPECT_EQ(identify({cat.string(), mount.toStdString()}), "unknown\n");

    // Reading again replaces the record; a directory that is no volume's
    // root leaves the entry without facts rather than with another's.
    ASSERT_EQ(
        qv::readCommand({cat.string(), "2", mount.toStdString(), "--all-extensions"}, out, err), 0);
    EXPECT_EQ(qv::loadAllVolumeFacts(dirOf(cat)).size(), 1);
    EXPECT_EQ(qv::loadVolumeFacts(dirOf(cat), 2)->uuid, "9999-0000");
    fake.mounted.clear();
    ASSERT_EQ(
        qv::readCommand({cat.string(), "2", mount.toStdString(), "--all-extensions"}, out, err), 0);
    EXPECT_FALSE(qv::loadVolumeFacts(dirOf(cat), 2));
}

TEST(VolumeTable, OldCataloguesGetItReorganisationPacksItChecksAcceptIt) {
    qvtest::TempDir tmp;
    const fs::path cat = tmp / "cat";
    qvtest::createCatalogue(cat);
    qvtest::addEntries(cat, qvtest::numberedEntries(4));
    // A catalogue from before the volume table.
    fs::remove(cat / "_qvvol.dbf");
    fs::remove(cat / "_qvvol.nsx");
    const auto before = filesOf(cat);
    std::string out;
    ASSERT_EQ(tool({"init", cat.string()}, out), 0) << out;
    auto after = filesOf(cat);
    ASSERT_TRUE(after.count("_qvvol.dbf"));
    ASSERT_TRUE(after.count("_qvvol.nsx"));
    after.erase("_qvvol.dbf");
    after.erase("_qvvol.nsx");
    EXPECT_TRUE(after == before) << "the six tables changed";

    const QString dir = dirOf(cat);
    for (int n : {1, 2, 3})
        qv::storeVolumeFacts(dir, stored(n, QStringLiteral("V%1").arg(n), {}, 100 * n,
                                         QDateTime::currentDateTime()));
    EXPECT_TRUE(qv::removeVolumeFacts(dir, 2));
    EXPECT_FALSE(qv::removeVolumeFacts(dir, 2));
    ASSERT_EQ(tool({"reorg", cat.string()}, out), 0) << out;
    {
        auto t = qv::openVolumeTable(dir);
        EXPECT_EQ(t->recCount(), 2u);
    }
    QList<int> entries;
    for (const VolumeFacts& f : qv::loadAllVolumeFacts(dir))
        entries << f.entry;
    EXPECT_EQ(entries, (QList<int>{1, 3}));
    EXPECT_EQ(tool({"check", cat.string()}, out), 0) << out;
    // A damaged index of the volume table is built again at the next start.
    {
        std::ofstream damage(cat / "_qvvol.nsx", std::ios::binary | std::ios::trunc);
        damage << "not an index";
    }
    ASSERT_EQ(tool({"init", cat.string()}, out), 0) << out;
    EXPECT_EQ(tool({"check", cat.string()}, out), 0) << out;
    EXPECT_EQ(qv::loadVolumeFacts(dir, 3)->label, "V3");
}

TEST(VolumeWindow, AMountedCarrierIsNamedShownAndItsFactsGoWithItsEntry) {
    qvtest::TempDir tmp;
    const fs::path cat = tmp / "cat";
    qvtest::createCatalogue(cat);
    qvtest::addEntries(cat, {{1, "Alpha", 1, 1}, {57, "Backup 2019", 3, 7}, {9, "Zulu", 9, 9}});
    qv::storeVolumeFacts(dirOf(cat), stored(57, "BACKUP_2019", "1234-abcd", 16'000'000,
                                            QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9))));
    FakeVolumes fake;
    fake.counted = {12, 3456};
    Window h(cat);
    ASSERT_TRUE(h.started);
    auto* notice = h.form->findChild<QLabel*>("VolumeNotice");
    auto* watcher = h.form->findChild<qv::VolumeWatcher*>("VolumeWatcher");
    ASSERT_TRUE(notice && watcher);
    EXPECT_FALSE(notice->isVisible());

    // Mounted by label and size only (no UUID seen): still entry 57.
    fake.mounted = {volume("/media/stick", "BACKUP_2019", "")};
    watcher->rescan();
    ASSERT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->toolTip(),
              "Datenträger „BACKUP_2019“ = Eintrag 57 (Box 3 / Nr. 7) – anzeigen / neu einlesen");
    // Counted meanwhile (the stored record says 0 files): the notice says it changed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return notice->toolTip().contains("geändert"); }, 5000));
    TTable& entries = h.table(qv::CatalogueTable::Entries);
    EXPECT_EQ(entries.FieldByName("BEZEICH").AsString().trimmed(), "Alpha");
    emit notice->linkActivated("anzeigen");
    EXPECT_EQ(entries.FieldByName("EINDEUTIG").AsInteger(), 57);

    // The tab behind the five shows the facts.
    auto* tabs = h.form->findChild<QTabBar*>("TabControl2");
    ASSERT_EQ(tabs->count(), 6);
    EXPECT_EQ(tabs->tabText(5), "Datenträgerdaten");
    tabs->setCurrentIndex(5);
    auto* panel = h.form->findChild<qv::VolumePanel*>();
    ASSERT_TRUE(panel && panel->isVisible());
    EXPECT_EQ(panel->lastRead()->text(), "zuletzt eingelesen am 06.05.2024 um 07:08");
    EXPECT_EQ(panel->value("uuid")->text(), "1234-abcd");

    // Unmounted: the notice goes. An unknown carrier offers a new entry.
    fake.mounted.clear();
    watcher->rescan();
    EXPECT_FALSE(notice->isVisible());
    fake.mounted = {volume("/media/other", "URLAUB", "5555-6666")};
    watcher->rescan();
    EXPECT_EQ(notice->toolTip(), "Datenträger „URLAUB“ – als neuen Eintrag anlegen und einlesen");

    // Deleting the entry removes its facts; nothing else was stored.
    qvtest::whenModal<TLoescheneintrag>([](TLoescheneintrag* d) { d->OKBtn->click(); });
    h.form->command(qv::MainCommand::DeleteEntry).trigger();
    EXPECT_FALSE(qv::loadVolumeFacts(dirOf(cat), 57));
    EXPECT_TRUE(qv::loadAllVolumeFacts(dirOf(cat)).isEmpty());
}
