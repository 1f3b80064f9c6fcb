// The main window on a large catalogue: 100,000 entries with about ten file
// records each (1,000,000), generated on the first run.
//
//   mainwindow_bench [dir [moves]]
//
// dir defaults to /tmp/qv-mainwindow-bench (kept for later runs; delete it
// to generate anew); moves defaults to 10,000. Runs offscreen.
//
// Measures, each against its target:
//   start     program start to the first painted entry list (< 0.5 s)
//   move      cursor moves through the entry list (Down key), each with the
//             lower panel's refresh on "Dateien" and the model updates:
//             median (< 1 ms) and 99th percentile (< 5 ms); the repaint
//             that follows is reported beside it
//   end       Ctrl+End (< 5 ms)
//   order     an order switch (< 5 ms)
//   rss       resident memory with the catalogue open (< 300 MB)
#include <QApplication>
#include <QLabel>
#include <QTabBar>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/qv-tessarin/features.h"
#include "bench/bench_session.h"
#include "bench/bench_util.h"
#include "catalogue/cataloguecheck.h"
#include "catalogue/cataloguelocation.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "entries/ui/mainform.h"
#include "store/displays.h"
#include "store/ttable.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "ui/dbgrid.h"
#include "ui/program.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void report(const char* what, double value, const char* unit, double target) {
    std::printf("%-44s %10.3f %-4s target <= %-8g %s\n", what, value, unit, target,
                value <= target ? "ok" : "MISSED");
}

long rssKb() {
    return bench::statusKb("VmRSS");
}

using bench::Rng;

const char* kWords[] = {"Programme", "Spiele", "Treiber", "Daten",    "Briefe", "Office", "System",
                        "Grafik",    "Sound",  "Level",   "Hilfe",    "Bilder", "Musik",  "Tools",
                        "Backup",    "Archiv", "Setup",   "Vorlagen", "Atlas",  "Lexikon"};
const char* kExts[] = {"EXE", "DLL", "TXT", "HLP", "INI", "BMP", "WAV", "DOC", "", "ZIP"};

using bench::checkCatalogue;

void generate(const fs::path& dir, int entries, int filesPerEntry) {
    fs::create_directories(dir);
    checkCatalogue(dir);
    fs::remove(dir / "_qvdisk.nsx");
    fs::remove(dir / "_qvdir.nsx");
    Rng rng;
    {
        auto t = xb::Table::open((dir / "_qvdisk.dbf").string());
        const int fNum = t->fieldIndex("EINDEUTIG"), fTitle = t->fieldIndex("BEZEICH"),
                  fBox = t->fieldIndex("BOXNUMMER"), fDisk = t->fieldIndex("DISKNUMMER"),
                  fCat = t->fieldIndex("KATEGORIE"), fType = t->fieldIndex("DISKART"),
                  fCount = t->fieldIndex("PROGDSKS");
        for (int i = 1; i <= entries; ++i) {
            t->append();
            t->replaceNumber(fNum, i);
            t->replaceText(fTitle, std::string(kWords[rng.below(20)]) + " " +
                                       kWords[rng.below(20)] + " " + std::to_string(i));
            t->replaceNumber(fBox, 1 + i / 40);
            t->replaceNumber(fDisk, i % 40 + 1);
            t->replaceText(fCat, kWords[rng.below(20)]);
            t->replaceText(fType, i % 3 ? "CD-ROM" : "Diskette");
            t->replaceNumber(fCount, 1);
            for (int k = 1; k <= 12; ++k)
                t->replaceText(
                    t->fieldIndex("PROG" + std::string(k < 10 ? "0" : "") + std::to_string(k)),
                    k % 4 == (i % 4) ? "x" : " ");
            t->commitRecord();
        }
        t->close();
    }
    {
        auto t = xb::Table::open((dir / "_qvdir.dbf").string());
        const int fNum = t->fieldIndex("DIRNUMM"), fName = t->fieldIndex("DIRNAME"),
                  fExt = t->fieldIndex("DIRENDUNG"), fPath = t->fieldIndex("DIRPFAD"),
                  fSize = t->fieldIndex("DIRSIZE"), fTime = t->fieldIndex("DIRTIME");
        for (int e = 1; e <= entries; ++e)
            for (int k = 0; k < filesPerEntry; ++k) {
                const std::string name =
                    std::string(kWords[rng.below(20)]).substr(0, 5) + std::to_string(k);
                const std::string ext = kExts[rng.below(10)];
                t->append();
                t->replaceNumber(fNum, e);
                t->replaceText(fName, name);
                t->replaceText(fExt, ext);
                t->replaceText(fPath, "/" + std::string(kWords[k % 20]) + "/ " + name +
                                          (ext.empty() ? "" : "." + ext));
                t->replaceNumber(fSize, static_cast<double>(rng.below(5000000)));
                t->replaceText(fTime, "12:34");
                t->commitRecord();
            }
        t->close();
    }
    // The start-up check builds the two missing index files.
    checkCatalogue(dir);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path("/tmp/qv-mainwindow-bench");
    const int moves = argc > 2 ? std::atoi(argv[2]) : 10000;
    {
        xb::SettingsGuard settings;
        if (!fs::exists(dir / "_qvdir.nsx")) {
            std::printf("generating 100,000 entries and 1,000,000 file records in %s ...\n",
                        dir.string().c_str());
            const auto g0 = Clock::now();
            generate(dir, 100000, 10);
            std::printf("generated in %.1f s\n", ms(g0, Clock::now()) / 1000);
        }
    }
    QApplication app(argc, argv);
    qv::keepCountsInUserCache();  // as the program does

    const auto t0 = Clock::now();
    qv::Program program(QString::fromStdString(dir.string()));
    program.setQuitFunction([] {});
    program.start(
        [](qv::Program& p) { return std::make_unique<TMainForm>(p, qv::programFeatures()); });
    auto* form = static_cast<TMainForm*>(program.mainForm());
    program.setCatalogueStartup(form->makeCatalogueStartup());
    form->show();
    form->FormActivate();
    QApplication::processEvents();
    form->findChild<qv::DbGrid*>("DBGrid1")->viewport()->repaint();
    const auto t1 = Clock::now();
    report("start to the first painted entry list", ms(t0, t1), "ms", 500);
    std::printf(
        "  (%lld entries, %lld file records)\n",
        static_cast<long long>(form->session().table(qv::CatalogueTable::Entries).RecordCount()),
        static_cast<long long>(form->session().table(qv::CatalogueTable::Files).RecordCount()));

    // A move is the key stroke's whole synchronous work: the grid's cursor,
    // the table move, the lower panel's refresh and the models' updates.
    // The repaint they ask for runs afterwards, once per frame, outside the
    // measured time (every 20th move; the screen refreshes at most every
    // 16 ms whatever the key repeat rate); it is reported on its own.
    std::vector<double> times, paints;
    times.reserve(static_cast<std::size_t>(moves));
    for (int i = 0; i < moves; ++i) {
        const auto a = Clock::now();
        QTest::keyClick(form->findChild<qv::DbGrid*>("DBGrid1"), Qt::Key_Down);
        times.push_back(ms(a, Clock::now()));
        if (i % 20 == 19) {
            const auto p = Clock::now();
            QApplication::processEvents();
            paints.push_back(ms(p, Clock::now()));
        }
    }
    if (times.empty()) return 0;
    std::sort(times.begin(), times.end());
    std::sort(paints.begin(), paints.end());
    report("cursor move with refresh, median", times[times.size() / 2], "ms", 1);
    report("cursor move with refresh, 99th percentile", times[times.size() * 99 / 100], "ms", 5);
    if (!paints.empty())
        std::printf("  (one repaint of the window: median %.3f ms)\n", paints[paints.size() / 2]);
    std::printf("  (position now %s, files %s)\n",
                form->findChild<QLabel*>("labelanzahl")->text().toUtf8().constData(),
                form->findChild<QLabel*>("labelanzahl2")->text().toUtf8().constData());

    auto a = Clock::now();
    QTest::keyClick(form->findChild<qv::DbGrid*>("DBGrid1"), Qt::Key_End, Qt::ControlModifier);
    report("Ctrl+End", ms(a, Clock::now()), "ms", 5);
    std::printf("  (position now %s)\n",
                form->findChild<QLabel*>("labelanzahl")->text().toUtf8().constData());

    double worstOrder = 0;
    for (int tab : {1, 2, 3, 0}) {
        a = Clock::now();
        form->findChild<QTabBar*>("TabControl1")->setCurrentIndex(tab);
        worstOrder = std::max(worstOrder, ms(a, Clock::now()));
    }
    report("order switch (worst of four)", worstOrder, "ms", 5);
    report("resident memory with the catalogue open", rssKb() / 1024.0, "MB", 300);
    return 0;
}
