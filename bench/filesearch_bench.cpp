// The search in all files on a large catalogue, through the real main window
// and search window (offscreen), from the program's start on.
//
//   filesearch_bench [records [dir]]
//
// records defaults to 1,000,000 file records (one entry per 200 files). The
// catalogue is generated in `dir` (default /tmp/qv-filesearch-<records>) when
// it holds no file table yet, and kept for the next run; delete it by hand.
//
// Measures, each against its target (10M targets in brackets):
//   first open   F12 to the window shown with its first rows painted, the
//                first time after the start (< 100 ms at 1M, < 600 ms at 10M)
//   second open  the same again
//   search       input to row current, scrolled, owner shown, painted (< 20 ms)
//   tab switch   to " Endung " and back, each painted (< 50 ms)
//   last row     jump to the last row, painted (< 20 ms)
//   close        close button to the main window's file list refreshed (< 5 ms)
//   qvdb find    the store tool's search, tables opened and closed
//
// QV_BENCH_SEARCH_ROUNDS=n repeats the searches n - 1 times before the
// measured round (for a profiler).
#include <QApplication>
#include <QElapsedTimer>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "entries/mainform.h"
#include "search/filesearch.h"
#include "search/filesearchtool.h"
#include "search/recherche.h"
#include "shell/command.h"
#include "shell/dbgrid.h"
#include "shell/dbnavigator.h"
#include "shell/dialogs.h"
#include "shell/program.h"
#include "shell/scripteddialogs.h"
#include "store/tables/catalogtables.h"
#include "store/tapollo.h"
#include "store/tool/qvdb.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void report(const char* what, double ms, double target) {
    std::printf("%-46s %10.2f ms   target < %g ms  %s\n", what, ms, target,
                ms < target ? "ok" : "MISSED");
    std::fflush(stdout);
}

using bench::Rng;

const char* kWords[] = {"PROGRAMME", "SPIELE", "TREIBER",  "DATEN",  "BRIEFE",  "OFFICE", "SYSTEM",
                        "GRAFIK",    "SOUND",  "LEVEL1",   "LEVEL2", "HILFE",   "BILDER", "MUSIK",
                        "WIN95",     "DOS",    "TOOLS",    "BACKUP", "1997",    "1998",   "SZENEN",
                        "FLUGSIM",   "ARCHIV", "VORLAGEN", "SETUP",  "INSTALL", "TEMP",   "DOKU"};
const char* kExts[] = {"EXE", "DLL", "TXT", "HLP", "INI", "BMP",
                       "WAV", "DOC", "",    "HTM", "ZIP", "COM"};
constexpr std::uint64_t kFilesPerEntry = 200;

// The file names searched for later: the name of every 9973rd record.
std::vector<std::string> g_names;

void generate(const fs::path& dir, std::uint64_t n) {
    std::printf("generating %llu file records in %s ...\n", static_cast<unsigned long long>(n),
                dir.string().c_str());
    std::fflush(stdout);
    const auto t0 = Clock::now();
    fs::create_directories(dir);
    {
        qv::tables::createTable(qv::tables::layoutOf(qv::CatalogTable::Files),
                                (dir / "_qvdir.dbf").string());
        auto t = xb::Table::open((dir / "_qvdir.dbf").string());
        Rng rng;
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::string name =
                std::string(kWords[rng.below(28)]).substr(0, 5) + std::to_string(rng.below(100000));
            const std::string ext = kExts[rng.below(12)];
            std::string path = "/";
            const int depth = 1 + static_cast<int>((i / 7) % 5);
            std::uint64_t d = (i / kFilesPerEntry) * 31 + (i % kFilesPerEntry) / 12;
            for (int k = 0; k < depth; ++k) {
                path += kWords[(d + k * 7) % 28];
                path += '/';
                d /= 3;
            }
            path += " " + name + (ext.empty() ? "" : "." + ext);
            t->append();
            t->replaceNumber(0, static_cast<double>(1 + i / kFilesPerEntry));
            t->replaceText(1, name);
            t->replaceText(2, ext);
            t->replaceText(3, path);
            t->replaceDate(4, 2450000 + static_cast<std::int32_t>(i % 3000));
            t->replaceNumber(5, static_cast<double>(rng.below(5000000)));
            t->replaceText(6, "12:34");
            t->commitRecord();
        }
        t->close();
    }
    std::printf("  file records written: %.1f s\n", msSince(t0) / 1000);
    std::fflush(stdout);
    // The program's start-up check creates the other tables and builds the
    // file table's index.
    std::ostringstream out, err;
    if (qvdb::init(dir.string(), out, err) != 0) {
        std::fprintf(stderr, "init: %s\n", err.str().c_str());
        std::exit(1);
    }
    std::printf("  index built: %.1f s\n", msSince(t0) / 1000);
    {
        auto t = xb::Table::open((dir / "_qvdisk.dbf").string());
        const std::uint64_t entries = (n + kFilesPerEntry - 1) / kFilesPerEntry;
        for (std::uint64_t e = 1; e <= entries; ++e) {
            t->append();
            t->replaceNumber(t->fieldIndex("eindeutig"), static_cast<double>(e));
            t->replaceText(t->fieldIndex("bezeich"),
                           xb::utf8ToCp1252("Datenträger " + std::to_string(e)));
            t->replaceNumber(t->fieldIndex("boxnummer"), static_cast<double>(e / 50));
            t->replaceNumber(t->fieldIndex("disknummer"), static_cast<double>(e % 50));
            t->replaceText(t->fieldIndex("kategorie"), "Software");
            t->replaceText(t->fieldIndex("diskart"), "CD-ROM");
            t->replaceNumber(t->fieldIndex("progdsks"), 1);
            t->commitRecord();
        }
        t->close();
    }
    std::printf("  catalogue ready: %.1f s\n", msSince(t0) / 1000);
    std::fflush(stdout);
}

void collectNames(const fs::path& dir) {
    auto t = xb::Table::open((dir / "_qvdir.dbf").string(), xb::OpenMode::ReadOnly);
    for (std::uint32_t r = 1; r <= t->recCount() && g_names.size() < 200; r += 9973) {
        t->go(r);
        std::string s(t->raw(t->fieldIndex("dirname")));
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        g_names.push_back(s);
    }
}

// Runs `act` on the search window once it is shown (polled from the modal
// loop), then closes it.
void whenShown(const std::function<void(Trecherche*)>& act) {
    auto* timer = new QTimer;
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* w = qobject_cast<Trecherche*>(QApplication::activeModalWidget());
        if (!w || !w->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(w);
    });
    timer->start();
}

void paint(QWidget* w) {
    (void)w->grab();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const fs::path dir = argc > 2
                             ? fs::path(argv[2])
                             : fs::temp_directory_path() / ("qv-filesearch-" + std::to_string(n));
    if (!fs::exists(dir / "_qvdir.dbf") || !fs::exists(dir / "_qvdisk.dbf")) generate(dir, n);
    collectNames(dir);
    std::printf("file records: %llu, names to search: %zu\n", static_cast<unsigned long long>(n),
                g_names.size());

    {
        // The engine's share: what the list's table costs before any window.
        xb::settings().deleted = true;
        auto e0 = Clock::now();
        auto t = xb::Table::open((dir / "_qvdir.dbf").string(), xb::OpenMode::ReadOnly);
        t->setOrder(2);
        std::printf("%-46s %10.2f ms\n", "engine: read-only open, tag namealle", msSince(e0));
        e0 = Clock::now();
        t->goTop();
        const auto c = t->count();
        std::printf("%-46s %10.2f ms  (%llu)\n", "engine: first count", msSince(e0),
                    static_cast<unsigned long long>(c));
        e0 = Clock::now();
        t->count();
        std::printf("%-46s %10.2f ms\n", "engine: second count", msSince(e0));
        e0 = Clock::now();
        t->setOrder(3);
        t->goTop();
        t->count();
        std::printf("%-46s %10.2f ms\n", "engine: tag endungalle, first record, count",
                    msSince(e0));
        e0 = Clock::now();
        t->goBottom();
        t->orderRecNo();
        std::printf("%-46s %10.2f ms\n", "engine: last record and its position", msSince(e0));
    }

    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs boxesGuard(&boxes);

    auto t0 = Clock::now();
    auto program = std::make_unique<qv::Program>(QString::fromStdString(dir.string()));
    program->setQuitFunction([] {});
    program->start([](qv::Program& p) { return std::make_unique<TMainForm>(p); });
    auto* form = static_cast<TMainForm*>(program->mainForm());
    program->setCatalogueStartup(form->makeCatalogueStartup());
    form->show();
    form->FormActivate();
    paint(form);
    std::printf("%-46s %10.2f ms\n", "program start to main window painted", msSince(t0));

    const bool big = n >= 5000000;
    double openMs = 0, paintMs = 0, searchOpMs = 0, searchMs = 0, searchMax = 0, tabMs = 0,
           tabMax = 0, lastMs = 0;
    int searched = 0, found = 0;
    Clock::time_point closeStart;
    auto session = [&](bool measureAll) {
        t0 = Clock::now();
        whenShown([&](Trecherche* w) {
            paint(w);
            openMs = msSince(t0);
            if (measureAll) {
                const int rounds = qEnvironmentVariableIntValue("QV_BENCH_SEARCH_ROUNDS");
                for (int round = 1; round < rounds; ++round)
                    for (const std::string& name : g_names) {
                        boxes.queueInput(true, QString::fromStdString(name));
                        w->BtnSearchClick();
                        paint(w->DBGrid1->viewport());
                    }
                for (const std::string& name : g_names) {
                    boxes.queueInput(true, QString::fromStdString(name).toLower());
                    const auto s0 = Clock::now();
                    w->BtnSearchClick();
                    searchOpMs += msSince(s0);
                    paint(w->DBGrid1->viewport());
                    const double ms = msSince(s0);
                    searchMs += ms;
                    searchMax = std::max(searchMax, ms);
                    ++searched;
                    if (w->search()
                            .table()
                            .FieldByName(QStringLiteral("dirname"))
                            .AsString()
                            .trimmed() == QString::fromStdString(name))
                        ++found;
                }
                {
                    const auto p0 = Clock::now();
                    for (int i = 0; i < 10; ++i)
                        paint(w->DBGrid1->viewport());
                    paintMs = msSince(p0) / 10;
                }
                for (int i = 0; i < 4; ++i) {
                    const auto s0 = Clock::now();
                    w->TabControl1->setCurrentIndex((i + 1) % 2);
                    paint(w);
                    const double ms = msSince(s0);
                    tabMs += ms;
                    tabMax = std::max(tabMax, ms);
                }
                const auto s0 = Clock::now();
                w->DBNavigator1->lastButton()->click();
                paint(w);
                lastMs = msSince(s0);
            }
            closeStart = Clock::now();
            w->BtnClose->click();
        });
        form->command(qv::MainCommand::SearchAllFiles).trigger();
        return msSince(closeStart);
    };

    session(false);
    report("first open: F12 to first rows painted", openMs, big ? 600 : 100);
    const double closeMs = session(true);
    report("second open: F12 to first rows painted", openMs, big ? 600 : 100);
    std::printf("searches: %d, found the name searched: %d\n", searched, found);
    report("search: input to row and owner painted (mean)", searchMs / std::max(1, searched), 20);
    report("search: slowest", searchMax, 20);
    std::printf("%-46s %10.2f ms\n", "  of it the search without painting (mean)",
                searchOpMs / std::max(1, searched));
    std::printf("%-46s %10.2f ms\n", "  painting the grid again, nothing changed", paintMs);
    report("tab switch, painted (mean)", tabMs / 4, 50);
    report("tab switch, slowest", tabMax, 50);
    report("jump to the last row, painted", lastMs, 20);
    report("close to main window's file list refreshed", closeMs, 5);
    {
        const auto s0 = Clock::now();
        form->untenrefresh(0);
        report("a lower-panel refresh after that", msSince(s0), 5);
    }
    program.reset();

    // The store tool's twin.
    std::ostringstream out, err;
    const auto s0 = Clock::now();
    const std::string key = g_names.empty() ? "A" : g_names.back();
    const int status = qv::runFindCommand({dir.string(), "--name", key, "--limit", "20"}, out, err);
    std::printf("%-46s %10.2f ms   (%s, %s)\n", "qvdb find, tables opened and closed", msSince(s0),
                status == 0 ? "ok" : err.str().c_str(),
                out.str().substr(0, out.str().find('\n')).c_str());
    return 0;
}
