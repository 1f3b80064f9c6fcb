// The entry query and the three statistics on a generated catalogue, run as
// the main window runs them (operation, recount, list model reset), without
// windows.
//
//   entryquery_bench [entries]     (default 100,000)
//
// Prints wall and CPU milliseconds for: a query run (verdict, subset, search
// state, first entry, recount and the entry list's model reset) for three
// queries, resolving it, and each statistic (carrier count, entries per
// status, entries per category over 12 categories). Medians of 5 runs.
#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/bench_session.h"
#include "catalogue/cataloguecheck.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "search/core/entryquery.h"
#include "statistics/core/statistics.h"
#include "store/dbgridmodel.h"
#include "store/displays.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"

namespace {

using qv::CatalogueTable;

double cpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* kCategories[] = {"Spiele", "Büro",   "Treiber",  "Musik",  "Fotos",  "Lernen",
                             "Archiv", "Grafik", "internet", "System", "Reisen", "Sonstiges"};

void checkCatalogue(const QString& dir) {
    bench::checkCatalogue(dir.toStdString());
}

// Titles of one to three words, about 1% beginning with WIN in some case;
// a dozen categories in mixed case, a few unknown; about 50 entries a box.
void fillEntries(const std::string& path, std::uint32_t count) {
    static const char* words[] = {"Win",         "Windows", "Office",   "Spiel",    "Treiber",
                                  "Sicherung",   "Musik",   "Lexikon",  "Atlas",    "Grafik",
                                  "Datenbank",   "Kurs",    "Sammlung", "Archiv",   "Fotos",
                                  "Buchhaltung", "Editor",  "Compiler", "Netzwerk", "Tools"};
    static const char* carriers[] = {"CD-ROM", "CD-R",         "cd-rw",        "DVD",
                                     "DVD-R",  "Diskette 3,5", "ZIP-Diskette", "Festplatte"};
    auto t = xb::Table::open(path);
    std::mt19937_64 rng(42);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    for (std::uint32_t i = 0; i < count; ++i) {
        t->append();
        t->replaceNumber(0, i + 1);
        std::string title = words[pick(std::size(words))];
        if (title == "Win" || title == "Windows") title = pick(5) == 0 ? title : "Editor";
        for (std::size_t w = pick(3); w > 0; --w)
            title += std::string(" ") + words[pick(std::size(words))];
        t->replaceText(1, xb::utf8ToCp1252(title));
        t->replaceNumber(2, static_cast<double>(i / 50 % 2000));
        t->replaceNumber(3, static_cast<double>(i % 50 + 1));
        std::string cat = pick(40) == 0 ? "Unbekannt" : kCategories[pick(std::size(kCategories))];
        if (pick(3) == 0) std::transform(cat.begin(), cat.end(), cat.begin(), ::toupper);
        t->replaceText(4, xb::utf8ToCp1252(cat));
        t->replaceNumber(5, static_cast<double>(1 + pick(4)));
        t->replaceText(6, carriers[pick(std::size(carriers))]);
        for (int f = 9; f < 21; ++f)
            t->replaceText(f, pick(3) == 0 ? "x" : " ");
    }
    t->commitRecord();
    t->close();
}

void fillCategories(const QString& dir) {
    TDM dm(dir);
    TTable& t = dm.table(CatalogueTable::Categories);
    t.Open();
    for (const char* c : kCategories) {
        qv::ScopedEdit edit(t);
        t.Append();
        t.FieldByName(QStringLiteral("KATEGO")).setAsString(QString::fromUtf8(c));
        edit.post();
    }
    t.Close();
}

struct Figures {
    double wallMs = 0;
    double cpuMs = 0;
};

Figures median(int runs, const std::function<void()>& before, const std::function<void()>& work) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        before();
        const double w0 = wallNow(), c0 = cpuNow();
        work();
        wall.push_back((wallNow() - w0) * 1e3);
        cpu.push_back((cpuNow() - c0) * 1e3);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::uint32_t count = argc > 1 ? static_cast<std::uint32_t>(std::atol(argv[1])) : 100000;
    char tmpl[] = "/tmp/entryquery-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::filesystem::path dir(tmpl);
    const QString qdir = QString::fromStdString(dir.string());
    xb::SettingsGuard settings;

    // A new catalogue; the entries written straight into the table, then the
    // start-up check builds their index file.
    checkCatalogue(qdir);
    std::filesystem::remove(dir / "_qvdisk.nsx");
    fillEntries((dir / "_qvdisk.dbf").string(), count);
    checkCatalogue(qdir);
    fillCategories(qdir);

    TDM dm(qdir);
    qv::CatalogueSession session(dm);
    for (CatalogueTable t : qv::kTableOrder)
        if (t != CatalogueTable::Categories) dm.table(t).Open();
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    apollo.sx_SetOrder(qv::tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
    apollo.sx_GoTop();
    // The entry list's model follows the entry view, as in the main window.
    qv::DbGridModel list(&session.view(CatalogueTable::Entries));
    qv::SilentProgress display;

    auto recount = [&] {
        // What the counter and the list read after a change of subset.
        volatile qint64 n = apollo.sx_Count();
        volatile qint64 p = apollo.sx_OrderRecNo();
        volatile int rows = list.rowCount();
        (void)n;
        (void)p;
        (void)rows;
    };
    auto resolve = [&] {
        qv::liftEntryQuery(session);
        recount();
    };

    if (std::getenv("QV_BENCH_STEPS")) {
        const QString expr = QStringLiteral("upper(bezeich)=\"WIN\"");
        for (int i = 0; i < 3; ++i) {
            double c0 = cpuNow();
            apollo.sx_QueryTest(expr);
            double c1 = cpuNow();
            apollo.sx_Query(expr);
            double c2 = cpuNow();
            apollo.sx_GoTop();
            double c3 = cpuNow();
            apollo.sx_Count();
            double c4 = cpuNow();
            apollo.sx_OrderRecNo();
            double c5 = cpuNow();
            list.rowCount();
            double c6 = cpuNow();
            apollo.sx_Query(QString());
            double c7 = cpuNow();
            std::printf("test %.2f query %.2f top %.2f count %.2f pos %.2f rows %.2f lift %.2f\n",
                        (c1 - c0) * 1e3, (c2 - c1) * 1e3, (c3 - c2) * 1e3, (c4 - c3) * 1e3,
                        (c5 - c4) * 1e3, (c6 - c5) * 1e3, (c7 - c6) * 1e3);
        }
    }
    std::printf("%u entries; milliseconds, median of 5 runs (wall / CPU)\n", count);
    struct Q {
        const char* label;
        qv::QueryCriteria c;
    };
    std::vector<Q> queries(3);
    queries[0].label = "title WIN";
    queries[0].c.title = QStringLiteral("WIN");
    queries[1].label = "title WIN or category SPIELE";
    queries[1].c.title = QStringLiteral("WIN");
    queries[1].c.category = QStringLiteral("SPIELE");
    queries[1].c.orJoin = true;
    queries[2].label = "category SPIELE and type CD and box 7";
    queries[2].c.category = QStringLiteral("SPIELE");
    queries[2].c.carrierType = QStringLiteral("CD");
    queries[2].c.box = QStringLiteral("7");
    for (const Q& q : queries) {
        const QString expr = qv::buildQueryExpression(q.c);
        qint64 hits = 0;
        const Figures run = median(5, resolve, [&] {
            qv::ScopedProgress progress(display);
            hits = qv::installEntryQuery(session, expr, progress).count;
            recount();
        });
        const Figures lift = median(
            5,
            [&] {
                qv::ScopedProgress progress(display);
                qv::installEntryQuery(session, expr, progress);
                recount();
            },
            resolve);
        std::printf("query %-40s %7lld hits  run %8.2f / %8.2f   resolve %7.2f / %7.2f\n", q.label,
                    static_cast<long long>(hits), run.wallMs, run.cpuMs, lift.wallMs, lift.cpuMs);
    }
    resolve();

    qint64 carriers = 0;
    const Figures fc = median(
        5, [] {}, [&] { carriers = qv::countCarriers(session, display); });
    std::printf("carrier count (%lld)                         %8.2f / %8.2f\n",
                static_cast<long long>(carriers), fc.wallMs, fc.cpuMs);
    const Figures fs = median(
        5, [] {}, [&] { qv::countStatusFlags(session, display); });
    std::printf("entries per status                            %8.2f / %8.2f\n", fs.wallMs,
                fs.cpuMs);
    const Figures fk = median(
        5, [] {},
        [&] {
            qv::countEntriesPerCategory(session, display);
            qv::closeCategoryTable(session);
        });
    std::printf("entries per category                          %8.2f / %8.2f\n", fk.wallMs,
                fk.cpuMs);

    for (CatalogueTable t : qv::kTableOrder)
        dm.table(t).Close();
    std::filesystem::remove_all(dir);
    return 0;
}
