// Files kept more than once, on a large catalogue, against `sort | uniq -d`
// over a text file of the same keys, run side by side.
//
//   duplicates_bench [records [dir]]
//
// records defaults to 10,000,000 file records, made as the search benchmark
// makes them (the same words, extensions, path shapes; 200 files per entry),
// except that entry 1 holds the first 100,000 files, one record in eight is
// a copy of an earlier one (same name, extension, size, date and time, on
// another entry) and one in 97 is released. The catalogue is generated in
// `dir` (default /tmp/qv-dupes-<records>) when it holds no key file yet,
// and kept; delete it by hand.
//
// Measures, each against its target:
//   all groups    findDuplicates by name, extension and size (< 5 s, and no
//                 slower than the peer below)
//   peer          LC_ALL=C sort | uniq -d over the keys (one line per counted
//                 record), with sort given two threads; its group count must
//                 equal ours
//   comparison    compareCarrier of entry 1 (100,000 files) (< 1 s)
//   memory        the process's peak resident size (< 1 GiB)
//
// QV_BENCH_NO_PEER=1 leaves the peer out (for a profiler).
#include <QCoreApplication>

#include <sys/resource.h>
#include <unistd.h>

#include <ctime>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/bench_catalogue.h"
#include "bench/bench_clock.h"
#include "bench/bench_util.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "duplicates/core/duplicates.h"
#include "store/tables/cataloguetables.h"
#include "store/ttable.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/table.h"

namespace fs = std::filesystem;

namespace {

using bench::kExts;
using bench::kFilesPerEntry;
using bench::kWords;
constexpr std::uint64_t kBigEntryFiles = 100000;

// The file a key number stands for: copies share their key number.
struct FileKey {
    std::string name, ext;
    std::uint64_t size;
    std::int32_t date;
};

FileKey fileOf(std::uint64_t k) {
    bench::Rng r;
    r.x ^= (k + 1) * 0x9E3779B97F4A7C15ull;
    r.next();
    r.next();
    FileKey f;
    f.name = std::string(kWords[r.below(28)]).substr(0, 5) + std::to_string(r.below(100000));
    f.ext = kExts[r.below(12)];
    f.size = r.below(5000000);
    f.date = 2450000 + static_cast<std::int32_t>(r.below(3000));
    return f;
}

std::uint64_t ownerOf(std::uint64_t i) {
    return i < kBigEntryFiles ? 1 : 2 + (i - kBigEntryFiles) / kFilesPerEntry;
}

void generate(const fs::path& dir, std::uint64_t n) {
    std::printf("generating %llu file records in %s ...\n", static_cast<unsigned long long>(n),
                dir.string().c_str());
    std::fflush(stdout);
    bench::Stopwatch clock;
    fs::create_directories(dir);
    const auto& files = qv::tables::layoutOf(qv::CatalogueTable::Files);
    qv::tables::createTable(files, (dir / "_qvdir.dbf").string());
    std::ofstream keys(dir / "keys.txt");
    {
        auto t = xb::Table::open((dir / "_qvdir.dbf").string());
        bench::Rng rng;
        for (std::uint64_t i = 0; i < n; ++i) {
            const bool copy = i > 0 && rng.below(8) == 0;
            const FileKey f = fileOf(copy ? rng.below(i) : i);
            const bool released = i % 97 == 96;
            const std::string path = bench::generatedPath(i, f.name, f.ext);
            t->append();
            t->replaceNumber(0, released ? 99999999.0 : static_cast<double>(ownerOf(i)));
            t->replaceText(1, f.name);
            t->replaceText(2, f.ext);
            t->replaceText(3, path);
            t->replaceDate(4, f.date);
            t->replaceNumber(5, static_cast<double>(f.size));
            t->replaceText(6, "12:34");
            t->commitRecord();
            if (!released) keys << f.name << '\t' << f.ext << '\t' << f.size << '\n';
        }
        t->close();
    }
    keys.close();
    std::printf("  file records written: %.1f s\n", clock.seconds());
    std::fflush(stdout);
    // The program's start-up check creates the other tables and builds the
    // file table's index.
    std::ostringstream out, err;
    if (qvdb::init(dir.string(), out, err) != 0) {
        std::fprintf(stderr, "init: %s\n", err.str().c_str());
        std::exit(1);
    }
    std::printf("  index built: %.1f s\n", clock.seconds());
    bench::appendGeneratedEntries((dir / "_qvdisk.dbf").string(), ownerOf(n - 1));
    std::printf("  catalogue and key file ready: %.1f s\n", clock.seconds());
    std::fflush(stdout);
}

// CPU seconds of this process, all threads: on a shared machine the wall
// time swings with the load, the CPU time much less.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void report(const char* what, double s, double cpu, const char* target, bool ok) {
    std::printf("%-44s %8.3f s wall %8.3f s cpu   %s %s\n", what, s, cpu, target,
                ok ? "ok" : "MISSED");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000;
    const fs::path dir = argc > 2 ? fs::path(argv[2])
                                  : fs::temp_directory_path() / ("qv-dupes-" + std::to_string(n));
    if (!fs::exists(dir / "keys.txt")) {
        generate(dir, n);
        // Measured in a fresh process, so the generator's memory is not counted.
        execv("/proc/self/exe", argv);
        std::perror("execv");
        return 1;
    }

    // The peer first (its own process), then ours; the page cache is warm
    // for both (the key file and the table were read or written before).
    const std::string peer =
        "LC_ALL=C sort -S 1G --parallel=2 '" + (dir / "keys.txt").string() + "' | uniq -d | wc -l";
    std::string peerGroups;
    double peerSeconds = 0, peerCpu = 0;
    if (!qEnvironmentVariableIsSet("QV_BENCH_NO_PEER")) {
        rusage before{};
        getrusage(RUSAGE_CHILDREN, &before);
        bench::Stopwatch clock;
        FILE* p = popen(peer.c_str(), "r");
        char line[64] = {};
        if (p && std::fgets(line, sizeof line, p)) peerGroups = line;
        if (p) pclose(p);
        peerSeconds = clock.seconds();
        rusage after{};
        getrusage(RUSAGE_CHILDREN, &after);
        const auto sec = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
        peerCpu =
            sec(after.ru_utime) + sec(after.ru_stime) - sec(before.ru_utime) - sec(before.ru_stime);
        while (!peerGroups.empty() && (peerGroups.back() == '\n' || peerGroups.back() == ' '))
            peerGroups.pop_back();
    }

    TDM dm(QString::fromStdString(dir.string()));
    qv::CatalogueSession session(dm);
    session.table(qv::CatalogueTable::Entries).Open();
    session.table(qv::CatalogueTable::Files).Open();
    const long rssOpen = bench::statusKb("VmHWM");

    bench::Stopwatch clock;
    double cpu0 = cpuSeconds();
    const qv::DuplicateReport r = *qv::findDuplicates(session, {});
    const double ours = clock.seconds();
    const double oursCpu = cpuSeconds() - cpu0;
    const long rssDupes = bench::statusKb("VmHWM");

    clock.restart();
    cpu0 = cpuSeconds();
    const qv::CarrierComparison c = *qv::compareCarrier(session, 1, qv::DuplicateRule::Name);
    const double compare = clock.seconds();
    const double compareCpu = cpuSeconds() - cpu0;
    const long rssAll = bench::statusKb("VmHWM");

    std::printf("file records: %llu, counted: %lld\n", static_cast<unsigned long long>(n),
                static_cast<long long>(r.filesCounted));
    std::printf("groups: %zu  copies: %lld  bytes of the copies: %lld\n", r.groups.size(),
                static_cast<long long>(r.copyCount), static_cast<long long>(r.wastedBytes));
    std::printf("peer's groups (sort | uniq -d | wc -l): %s  %s\n", peerGroups.c_str(),
                peerGroups == std::to_string(r.groups.size()) ? "agree" : "DISAGREE");
    report("all groups (name, extension, size)", ours, oursCpu, "target < 5 s", ours < 5.0);
    std::printf("%-44s %8.3f s wall (cpu of its processes: %.3f s)\n",
                "peer: LC_ALL=C sort --parallel=2 | uniq -d", peerSeconds, peerCpu);
    std::printf(
        "%-52s %8.2f x   %s\n", "peer time / our time", peerSeconds / ours,
        ours <= peerSeconds ? "ok (no slower than the peer)" : "MISSED (slower than the peer)");
    std::printf("comparison of entry 1: %lld files, %lld elsewhere, %zu only here, %zu entries\n",
                static_cast<long long>(c.files), static_cast<long long>(c.elsewhere),
                c.onlyHere.size(), c.sharedWith.size());
    report("comparison of a 100,000-file entry", compare, compareCpu, "target < 1 s",
           compare < 1.0);
    std::printf("%-52s %8.1f MiB (after opening %.1f, after the groups %.1f)  %s\n",
                "peak resident memory", rssAll / 1024.0, rssOpen / 1024.0, rssDupes / 1024.0,
                rssAll < 1024 * 1024 ? "ok (< 1 GiB)" : "MISSED (< 1 GiB)");
    return 0;
}
