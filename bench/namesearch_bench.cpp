// The search by any part of a name on a large catalogue.
//
//   namesearch_bench [records [dir]]
//
// records defaults to 1,000,000 file records (one entry per 200 files, the
// names and trees of the search-in-all-files benchmark; every tenth file has
// a long name kept whole in its memo). The catalogue is generated in `dir`
// (default /tmp/qv-namesearch-<records>) when it holds no file table yet,
// with a plain text file of the same full paths beside it (paths.txt), and
// kept for the next run; delete it by hand. The name search reads neither
// index file, so none is built.
//
// Measures, each against its target (10M targets in brackets):
//   build        the name index from the table on two threads, cold
//                (< 3 s at 10M), then saving and loading it
//   window       input to the first rows painted in the window, per pattern,
//                once the index is built (< 15 ms at 1M, < 100 ms at 10M)
//   tool         `qvdb search DIR PATTERN --count` beside
//                `grep -F -i -c PATTERN paths.txt`, in one run, per pattern
//                (the tool at most as slow as grep)
//
// The index goes where the program keeps it (the user's cache folder).
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_catalogue.h"
#include "bench/bench_clock.h"
#include "bench/bench_util.h"
#include "catalogue/cataloguelocation.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "namesearch/core/filetableimage.h"
#include "namesearch/core/nameindex.h"
#include "namesearch/core/namesearch.h"
#include "namesearch/ui/dateinamensuche.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/table.h"

namespace fs = std::filesystem;

namespace {

using Clock = bench::Stopwatch::Clock;
using bench::msSince;

double load() {
    return bench::loadAverage();
}

void report(const std::string& what, double ms, double target) {
    std::printf("%-52s %10.2f ms   target < %g ms  %-6s  (load %.2f)\n", what.c_str(), ms, target,
                ms < target ? "ok" : "MISSED", load());
    std::fflush(stdout);
}

const char* kLongWords[] = {"Urlaubsfoto", "Steuererklärung", "Präsentation", "Straßenfest",
                            "Bewerbung",   "Geburtstag",      "Übersicht",    "Rechnung"};

void generate(const fs::path& dir, std::uint64_t n) {
    std::printf("generating %llu file records in %s ...\n", static_cast<unsigned long long>(n),
                dir.string().c_str());
    std::fflush(stdout);
    const auto t0 = Clock::now();
    fs::create_directories(dir);
    qv::tables::createTable(qv::tables::layoutOf(qv::CatalogueTable::Files),
                            (dir / "_qvdir.dbf").string());
    qv::tables::createTable(qv::tables::layoutOf(qv::CatalogueTable::Entries),
                            (dir / "_qvdisk.dbf").string());
    std::ofstream paths(dir / "paths.txt", std::ios::binary);
    {
        auto t = xb::Table::open((dir / "_qvdir.dbf").string());
        const int num = t->fieldIndex("dirnumm"), name = t->fieldIndex("dirname"),
                  ext = t->fieldIndex("direndung"), path = t->fieldIndex("dirpfad"),
                  date = t->fieldIndex("dirdate"), size = t->fieldIndex("dirsize"),
                  time = t->fieldIndex("dirtime"), memo = t->fieldIndex("dirmemo");
        t->beginBatch();
        bench::Rng rng;
        for (std::uint64_t i = 0; i < n; ++i) {
            bench::GeneratedFile f = bench::generatedFile(rng, i);
            std::string full = f.path;  // UTF-8 (the generated names are ASCII)
            if (i % 10 == 3) {
                // A long name the table cannot hold: cut there, whole in the memo.
                const std::string longName = std::string(kLongWords[(i / 10) % 8]) + " " +
                                             std::to_string(2000 + i % 25) + " " + f.name +
                                             " endgültig" + (f.ext.empty() ? "" : "." + f.ext);
                full = f.path.substr(0, f.path.rfind("/ ") + 2) + longName;
                f.name = xb::utf8ToCp1252(longName);
                f.path = xb::utf8ToCp1252(full);
            }
            t->append();
            t->replaceNumber(num, static_cast<double>(1 + i / bench::kFilesPerEntry));
            t->replaceText(name, f.name);
            t->replaceText(ext, f.ext);
            t->replaceText(path, f.path);
            t->replaceDate(date, 2450000 + static_cast<std::int32_t>(i % 3000));
            t->replaceNumber(size, static_cast<double>(rng.below(5000000)));
            t->replaceText(time, "12:34");
            if (full.size() > 86 || i % 10 == 3) t->replaceMemo(memo, full);
            t->commitRecord();
            paths << full << '\n';
        }
        t->endBatch();
        t->close();
    }
    bench::appendGeneratedEntries((dir / "_qvdisk.dbf").string(),
                                  (n + bench::kFilesPerEntry - 1) / bench::kFilesPerEntry);
    std::printf("  catalogue ready: %.1f s\n", msSince(t0) / 1000);
    std::fflush(stdout);
}

// CPU time of the whole process (all threads), in ms: on a machine shared
// with other work the wall time swings with the load, the CPU time much less.
double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Runs a program, its output into `out`; the wall time, and the child's CPU
// time (user and system) in `cpu`.
double timed(const std::vector<std::string>& argv, std::string* out, double* cpu) {
    int pipefd[2];
    if (::pipe(pipefd) != 0) return -1;
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipefd[1], 1);
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipefd[1]);
    std::string text;
    char buf[4096];
    for (ssize_t r; (r = ::read(pipefd[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(r));
    ::close(pipefd[0]);
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    const double ms = msSince(t0);
    if (cpu)
        *cpu = (static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 +
                static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0);
    if (out) *out = text;
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const fs::path dir =
        argc > 2 ? fs::path(argv[2]) : fs::path("/tmp/qv-namesearch-" + std::to_string(n));
    if (!fs::exists(dir / "_qvdir.dbf")) generate(dir, n);
    qv::keepCountsInUserCache();
    const bool tenMillion = n >= 5000000;
    const std::string file = qv::nameIndexFile(dir.string());
    std::printf("catalogue %s, %llu file records; index file %s\n", dir.string().c_str(),
                static_cast<unsigned long long>(n), file.c_str());

    // ---- building --------------------------------------------------------------------
    {
        double best = 1e18;
        std::unique_ptr<qv::NameIndex> index;
        for (int round = 0; round < 3; ++round) {
            index.reset();  // the last round's memory is given back before the clock runs
            const auto t0 = Clock::now();
            const double c0 = cpuNow();
            qv::FileTableImage image(dir.string());
            image.readMemoFile();
            index = qv::NameIndex::build(image, 2);
            const double ms = msSince(t0);
            best = std::min(best, ms);
            std::printf("  build round %d: %.0f ms (cpu of both threads %.0f ms, load %.2f)\n",
                        round + 1, ms, cpuNow() - c0, load());
        }
        report("build the index (2 threads, best of 3)", best, tenMillion ? 3000 : 300);
        std::printf(
            "  rows %zu, texts %.1f MB, rows %.1f MB\n", index->rows(),
            static_cast<double>(index->textBytes()) / 1e6,
            static_cast<double>(index->rows() * (sizeof(qv::NameKey) + sizeof(qv::NameFacts))) /
                1e6);
        auto t0 = Clock::now();
        const bool saved = index->save(file);
        std::printf("  save: %.0f ms (%s)\n", msSince(t0), saved ? "written" : "NOT written");
        t0 = Clock::now();
        auto loaded = qv::NameIndex::load(file, qv::normalCatalogueFolder(dir.string()));
        std::printf("  load and check: %.0f ms (%s)\n", msSince(t0), loaded ? "ok" : "FAILED");
    }

    // ---- the tool beside grep -----------------------------------------------------------
    const std::string qvdb =
        (fs::path(QCoreApplication::applicationDirPath().toStdString()) / "qvdb").string();
    const std::vector<std::string> patterns = {"setup",       "level2/", "endgültig",
                                               "straßenfest", "99999",   "zzqx"};
    std::printf("\nqvdb search --count beside grep -F -i -c (median of 3, wall time)\n");
    for (const std::string& p : patterns) {
        std::vector<double> tool, grep, toolCpu, grepCpu;
        std::string toolOut, grepOut;
        for (int round = 0; round < 3; ++round) {
            double c = 0;
            tool.push_back(timed({qvdb, "search", dir.string(), p, "--count"}, &toolOut, &c));
            toolCpu.push_back(c);
            grep.push_back(
                timed({"grep", "-F", "-i", "-c", p, (dir / "paths.txt").string()}, &grepOut, &c));
            grepCpu.push_back(c);
        }
        const double t = median(tool), g = median(grep);
        while (!toolOut.empty() && toolOut.back() == '\n')
            toolOut.pop_back();
        while (!grepOut.empty() && grepOut.back() == '\n')
            grepOut.pop_back();
        std::printf(
            "  %-14s qvdb %8.1f ms  grep %8.1f ms  ratio %.2f  %-6s  cpu qvdb %.1f ms, "
            "grep %.1f ms  (%s / grep %s)  load %.2f\n",
            p.c_str(), t, g, t / g, t <= g ? "ok" : "SLOWER", median(toolCpu), median(grepCpu),
            toolOut.c_str(), grepOut.c_str(), load());
    }

    // ---- the window ----------------------------------------------------------------------
    std::printf("\nwindow: input to the first rows painted\n");
    TDM dm(QString::fromStdString(dir.string()));
    qv::CatalogueSession session(dm);
    TDateinamensuche window(session, {});
    window.show();
    QApplication::processEvents();
    const double target = tenMillion ? 100 : 15;
    double worst = 0;
    bool first = true;
    for (const std::string& p : patterns) {
        for (int round = 0; round < (first ? 1 : 3); ++round) {
            bool shown = false, ended = false;
            auto c1 =
                QObject::connect(&window, &TDateinamensuche::firstRows, [&] { shown = true; });
            auto c2 = QObject::connect(&window, &TDateinamensuche::finished,
                                       [&](qulonglong) { ended = true; });
            window.EditMuster->setText(QString::fromStdString(p));
            const auto t0 = Clock::now();
            const double c0 = cpuNow();
            window.BtnSuchenClick();
            while (!shown && !ended)
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            (void)window.Grid->viewport()->grab();
            (void)window.StatusLine->grab();
            const double ms = msSince(t0);
            const double cpu = cpuNow() - c0;
            while (!ended)
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            const double all = msSince(t0);
            QObject::disconnect(c1);
            QObject::disconnect(c2);
            if (first) {
                std::printf("  first search after the start (%s): %.1f ms, all %d rows %.1f ms\n",
                            p.c_str(), ms, window.model()->rowCount(), all);
                first = false;
                continue;
            }
            if (round == 2) {
                report("  \"" + p + "\" (" + std::to_string(window.model()->rowCount()) +
                           " rows, all in " + std::to_string(static_cast<int>(all)) + " ms)",
                       ms, target);
                std::printf("      cpu of all threads to the first rows: %.1f ms\n", cpu);
                worst = std::max(worst, ms);
            }
        }
    }
    report("window, slowest pattern", worst, target);
    return 0;
}
