// Entry queries on the entry table's layout (_qvdisk, 22 fields) with its nine
// tags, answered from the tags (the planner with the index) and by the
// brute-force scan (the planner without an index, which evaluates every
// record once through the same reader).
//
//   query_bench [records]      (default 100,000)
//
// Queries, with the deleted setting on and exact off as the program runs:
//   AND  upper(bezeich)="WIN" .and. upper(kategorie)="SPIELE" .and.
//        upper(diskart)="CD" .and. boxnummer=7
//   OR   upper(bezeich)="WIN" .or.  upper(kategorie)="SPIELE"
//   MIX  upper(bezeich)="WIN" .and. prog01="x"  (partly optimised)
// Each is run once cold (right after opening the index) and then repeated;
// the figures are milliseconds per query (median of the repeats), with
// the hit count and a check that both ways agree.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_clock.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/expr.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/query.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"

namespace {

struct TagDef {
    const char* name;
    const char* key;
    const char* forText;
};

const TagDef kTags[] = {
    {"eindeutig", "eindeutig", "not deleted()"},
    {"bezeich", "upper(bezeich)", "not deleted()"},
    {"nummer", "str(boxnummer,5)+str(disknummer,5)", "not deleted()"},
    {"kategorie", "upper(kategorie)", "not deleted()"},
    {"diskart", "upper(diskart)", "not deleted()"},
    {"diskart2", "upper(diskart)", ""},
    {"kategorie2", "upper(kategorie)", ""},
    {"bezeich2", "upper(bezeich)", ""},
    {"box2", "boxnummer", ""},
};

void createEntryTable(const std::string& path) {
    xb::TableBuilder b(path);
    b.addField("Eindeutig", 'N', 8);
    b.addField("Bezeich", 'C', 50);
    b.addField("Boxnummer", 'N', 5);
    b.addField("Disknummer", 'N', 5);
    b.addField("Kategorie", 'C', 20);
    b.addField("Progdsks", 'N', 2);
    b.addField("Diskart", 'C', 15);
    b.addField("Leihrein", 'N', 5);
    b.addField("Leihraus", 'N', 5);
    for (int i = 1; i <= 12; ++i)
        b.addField(i < 10 ? "Prog0" + std::to_string(i) : "Prog" + std::to_string(i), 'C', 1);
    b.addField("Memo", 'M');
    b.create();
}

// Titles of one to three words, about 1% of them beginning with WIN in some
// case; a dozen categories and carrier types; about 50 entries per box.
void fillEntries(xb::Table& t, std::uint32_t count) {
    static const char* words[] = {"Win",         "Windows", "Office",   "Spiel",    "Treiber",
                                  "Sicherung",   "Musik",   "Lexikon",  "Atlas",    "Grafik",
                                  "Datenbank",   "Kurs",    "Sammlung", "Archiv",   "Fotos",
                                  "Buchhaltung", "Editor",  "Compiler", "Netzwerk", "Tools"};
    static const char* cats[] = {"Spiele",   "Büro",      "Treiber", "Musik",
                                 "Fotos",    "Lernen",    "Archiv",  "Grafik",
                                 "internet", "Shareware", "System",  "Sonstiges"};
    static const char* carriers[] = {"CD-ROM", "CD-R",         "cd-rw",        "DVD",
                                     "DVD-R",  "Diskette 3,5", "ZIP-Diskette", "Festplatte"};
    std::mt19937_64 rng(42);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    for (std::uint32_t i = 0; i < count; ++i) {
        t.append();
        t.replaceNumber(0, i + 1);
        std::string title = words[pick(std::size(words))];
        if (title == "Win" || title == "Windows") title = pick(5) == 0 ? title : "Editor";
        for (std::size_t w = pick(3); w > 0; --w)
            title += std::string(" ") + words[pick(std::size(words))];
        t.replaceText(1, xb::utf8ToCp1252(title));
        t.replaceNumber(2, static_cast<double>(i / 50 % 2000));
        t.replaceNumber(3, static_cast<double>(i % 50 + 1));
        t.replaceText(4, xb::utf8ToCp1252(cats[pick(std::size(cats))]));
        t.replaceNumber(5, static_cast<double>(1 + pick(4)));
        t.replaceText(6, carriers[pick(std::size(carriers))]);
        for (int f = 9; f < 21; ++f)
            t.replaceText(f, pick(3) == 0 ? "x" : " ");
        if (pick(50) == 0) t.deleteRecord();
    }
    t.commitRecord();
}

void buildTags(xb::Table& t, xb::NsxFile& index) {
    const std::uint32_t n = t.recCount();
    std::vector<std::uint8_t> rec(t.recordLength());
    for (const TagDef& d : kTags) {
        xb::Expr key = xb::Expr::compile(d.key, t.fields());
        xb::Expr cond;
        if (*d.forText) cond = xb::Expr::compileCondition(d.forText, t.fields());
        const bool chars = key.type() == xb::ExprType::Character;
        const int keyLen = static_cast<int>(key.keyLength());
        xb::NsxKeyBatch batch(keyLen, chars ? ' ' : 0);
        batch.reserve(n);
        std::vector<std::uint8_t> k(static_cast<std::size_t>(keyLen));
        for (std::uint32_t r = 1; r <= n; ++r) {
            t.readRecordAt(r, rec.data());
            if (!cond.empty() && !cond.evalBool({rec.data(), r})) continue;
            key.evalKey({rec.data(), r}, k.data(), k.size());
            batch.add({reinterpret_cast<const char*>(k.data()), k.size()}, r);
        }
        xb::NsxTagDef def{d.name, d.key, d.forText,
                          chars ? xb::NsxKeyType::Character : xb::NsxKeyType::Numeric, keyLen};
        index.buildTag(def, batch, n);
    }
    index.close();
}

struct Timing {
    double coldMs = 0;
    double medianMs = 0;
    xb::QueryStats stats;
    xb::RecordSet hits;
};

Timing measure(const xb::QuerySource& src, const std::string& text, int repeats) {
    Timing t;
    bench::Stopwatch start;
    t.hits = xb::runQuery(src, text, &t.stats);
    t.coldMs = start.seconds() * 1e3;
    std::vector<double> ms;
    for (int i = 0; i < repeats; ++i) {
        start.restart();
        xb::RecordSet s = xb::runQuery(src, text);
        ms.push_back(start.seconds() * 1e3);
        if (!(s == t.hits)) std::fprintf(stderr, "repeat differs: %s\n", text.c_str());
    }
    std::sort(ms.begin(), ms.end());
    t.medianMs = ms[ms.size() / 2];
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t count = argc > 1 ? static_cast<std::uint32_t>(std::atol(argv[1])) : 100000;
    char tmpl[] = "/tmp/query-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::filesystem::path dir(tmpl);
    const std::string path = (dir / "_qvdisk.dbf").string();
    createEntryTable(path);
    {
        auto t = xb::Table::open(path);
        fillEntries(*t, count);
        auto index = xb::NsxFile::create((dir / "_qvdisk.nsx").string());
        buildTags(*t, *index);
    }
    xb::settings().deleted = true;
    xb::settings().exact = false;

    auto table = xb::Table::open(path);
    auto index = xb::NsxFile::open((dir / "_qvdisk.nsx").string());
    const xb::QuerySource indexed = xb::querySource(*table, index.get());
    const xb::QuerySource plain = xb::querySource(*table, nullptr);

    struct Query {
        const char* label;
        std::string text;
    };
    const Query queries[] = {
        {"AND",
         "upper(bezeich)=\"WIN\" .and. upper(kategorie)=\"SPIELE\" .and. "
         "upper(diskart)=\"CD\" .and. boxnummer=7"},
        {"OR", "upper(bezeich)=\"WIN\" .or.  upper(kategorie)=\"SPIELE\""},
        {"MIX", "upper(bezeich)=\"WIN\" .and. prog01=\"x\""},
    };
    std::printf("%u entries, nine tags, deleted on, exact off; ms per query\n", count);
    std::printf("%-4s %6s %8s %10s %10s %10s %10s %8s %s\n", "", "level", "hits", "idx cold",
                "idx median", "scan cold", "scan median", "speedup", "reads (idx/scan)");
    bool agree = true;
    for (const Query& q : queries) {
        const Timing opt = measure(indexed, q.text, 15);
        const Timing scan = measure(plain, q.text, 5);
        agree = agree && opt.hits == scan.hits;
        std::printf("%-4s %6d %8llu %10.3f %10.3f %10.3f %10.3f %7.0fx %llu/%llu\n", q.label,
                    opt.stats.level, static_cast<unsigned long long>(opt.hits.count()), opt.coldMs,
                    opt.medianMs, scan.coldMs, scan.medianMs,
                    scan.medianMs / std::max(opt.medianMs, 1e-6),
                    static_cast<unsigned long long>(opt.stats.recordsRead),
                    static_cast<unsigned long long>(scan.stats.recordsRead));
    }
    std::printf("results of index and scan %s\n", agree ? "agree" : "DIFFER");
    table.reset();
    index.reset();
    std::filesystem::remove_all(dir);
    return agree ? 0 : 1;
}
