// Expression evaluation speed on the file table's layout: the key and FOR
// expressions an index build evaluates for every record, and the entry
// query's condition. Each benchmark reports items_per_second = evaluations
// per second; the target for "str(dirnumm,8)+dirpfad" is at least 5 million
// per second in a Release build.
//
//   build/bin/expr_bench [--benchmark_filter=...]
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "store/xbase/coding.h"
#include "store/xbase/expr.h"
#include "store/xbase/field.h"

namespace {

const xb::FieldList& fileLayout() {
    static const xb::FieldList f({{"DIRNUMM", 'N', 8, 0},
                                  {"DIRNAME", 'C', 15, 0},
                                  {"DIRENDUNG", 'C', 3, 0},
                                  {"DIRPFAD", 'C', 86, 0},
                                  {"DIRDATE", 'D', 8, 0},
                                  {"DIRSIZE", 'N', 10, 0},
                                  {"DIRTIME", 'C', 5, 0},
                                  {"DIRMEMO", 'M', 10, 0}});
    return f;
}

const xb::FieldList& entryLayout() {
    static const xb::FieldList f({{"EINDEUTIG", 'N', 8, 0},
                                  {"BEZEICH", 'C', 50, 0},
                                  {"BOXNUMMER", 'N', 5, 0},
                                  {"DISKNUMMER", 'N', 5, 0},
                                  {"KATEGORIE", 'C', 20, 0},
                                  {"PROGDSKS", 'N', 2, 0},
                                  {"DISKART", 'C', 15, 0}});
    return f;
}

void put(std::uint8_t* rec, const xb::FieldList& f, int field, const std::string& text) {
    const xb::FieldDesc& d = f[static_cast<std::size_t>(field)];
    std::memcpy(rec + d.offset, text.data(), text.size() < d.len ? text.size() : d.len);
}

void putNumber(std::uint8_t* rec, const xb::FieldList& f, int field, double v) {
    const xb::FieldDesc& d = f[static_cast<std::size_t>(field)];
    xb::formatNumber(v, d.len, d.dec, reinterpret_cast<char*>(rec + d.offset));
}

// Records of the file table as a carrier reading leaves them: files of a few
// thousand entries, some released (99999999), names and paths of varied
// length with umlauts, blank extensions and dates here and there.
struct Records {
    std::size_t length = 0;
    std::size_t count = 0;
    std::vector<std::uint8_t> bytes;
    const std::uint8_t* at(std::size_t i) const { return bytes.data() + (i % count) * length; }
};

const Records& fileRecords() {
    static const Records recs = [] {
        const xb::FieldList& f = fileLayout();
        Records r;
        r.length = f.recordLength();
        r.count = 4096;
        r.bytes.assign(r.length * r.count, ' ');
        std::mt19937 rng(20241224);
        const char* names[] = {"readme", "setup",    "Übersicht", "install",  "brief_an_müller",
                               "x",      "autoexec", "config",    "level268", "präsentation"};
        const char* exts[] = {"txt", "exe", "doc", "bat", "", "dll", "htm", "jpg"};
        const char* dirs[] = {"A:\\", "C:\\Programme\\", "D:\\Eigene Dateien\\Österreich\\",
                              "E:\\Spiele\\Strategie\\Erweiterungen\\Karten\\",
                              "F:\\Archiv\\1999\\Steuer\\Belege\\Quittungen\\Sonstiges\\"};
        for (std::size_t i = 0; i < r.count; ++i) {
            std::uint8_t* rec = r.bytes.data() + i * r.length;
            const bool released = rng() % 40 == 0;
            putNumber(rec, f, 0, released ? 99999999 : 1 + rng() % 5000);
            std::string name = names[rng() % std::size(names)];
            if (rng() % 2) name += std::to_string(rng() % 1000);
            const std::string ext = exts[rng() % std::size(exts)];
            put(rec, f, 1, name);
            put(rec, f, 2, ext);
            put(rec, f, 3, dirs[rng() % std::size(dirs)] + name + (ext.empty() ? "" : "." + ext));
            if (rng() % 10) {
                char date[9];
                xb::formatDbfDate(xb::dateToJdn(1990 + rng() % 35, 1 + rng() % 12, 1 + rng() % 28),
                                  date);
                put(rec, f, 4, std::string(date, 8));
            }
            putNumber(rec, f, 5, rng() % 100000000);
            put(rec, f, 6, "12:34");
        }
        return r;
    }();
    return recs;
}

const Records& entryRecords() {
    static const Records recs = [] {
        const xb::FieldList& f = entryLayout();
        Records r;
        r.length = f.recordLength();
        r.count = 1024;
        r.bytes.assign(r.length * r.count, ' ');
        std::mt19937 rng(4711);
        const char* titles[] = {"Windows 95 Plus", "WinWord 6.0", "Übungen Mathematik",
                                "Corel Draw",      "Siedler II",  "Steuer 1999"};
        for (std::size_t i = 0; i < r.count; ++i) {
            std::uint8_t* rec = r.bytes.data() + i * r.length;
            if (rng() % 20 == 0) rec[0] = '*';
            putNumber(rec, f, 0, static_cast<double>(i + 1));
            put(rec, f, 1, titles[rng() % std::size(titles)]);
            putNumber(rec, f, 2, rng() % 12);
            putNumber(rec, f, 3, rng() % 40);
            put(rec, f, 4, rng() % 2 ? "Spiele" : "Anwendungen");
            put(rec, f, 6, rng() % 3 ? "CD-ROM" : "Diskette");
        }
        return r;
    }();
    return recs;
}

// evalKey(), as the index build calls it for every record.
void keyBench(benchmark::State& state, const char* text) {
    xb::Expr e = xb::Expr::compile(text, fileLayout());
    const Records& recs = fileRecords();
    std::vector<std::uint8_t> key(e.keyLength());
    std::size_t i = 0;
    for (auto _ : state) {
        e.evalKey({recs.at(i), static_cast<std::uint32_t>(i + 1)}, key.data(), key.size());
        benchmark::DoNotOptimize(key.data());
        ++i;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// evaluate(), as sx_EvalString-style callers use it.
void evaluateBench(benchmark::State& state, const char* text) {
    xb::Expr e = xb::Expr::compile(text, fileLayout());
    const Records& recs = fileRecords();
    std::size_t i = 0;
    for (auto _ : state) {
        const xb::Value& v = e.evaluate({recs.at(i), static_cast<std::uint32_t>(i + 1)});
        benchmark::DoNotOptimize(v.chars.data());
        ++i;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void conditionBench(benchmark::State& state, const xb::FieldList& fields, const Records& recs,
                    const char* text) {
    xb::Expr e = xb::Expr::compileCondition(text, fields);
    std::size_t i = 0, hits = 0;
    for (auto _ : state) {
        hits += e.evalBool({recs.at(i), static_cast<std::uint32_t>(i + 1)}) ? 1 : 0;
        ++i;
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_KeyDirnumm(benchmark::State& s) {
    keyBench(s, "str(dirnumm,8)+dirpfad");
}
void BM_EvaluateDirnumm(benchmark::State& s) {
    evaluateBench(s, "str(dirnumm,8)+dirpfad");
}
void BM_KeyNamealle(benchmark::State& s) {
    keyBench(s, "upper(dirname+direndung)+str(dirnumm,8)");
}
void BM_KeyEndungalle(benchmark::State& s) {
    keyBench(s, "upper(direndung)+dirname+str(dirnumm,8)");
}
void BM_EvaluateStrDirnumm(benchmark::State& s) {
    evaluateBench(s, "str(dirnumm,8)");
}
void BM_ForDirnumm(benchmark::State& s) {
    conditionBench(s, fileLayout(), fileRecords(), "dirnumm<99999999");
}
void BM_ForNotDeleted(benchmark::State& s) {
    conditionBench(s, entryLayout(), entryRecords(), "not deleted()");
}
void BM_QueryFourClauses(benchmark::State& s) {
    conditionBench(s, entryLayout(), entryRecords(),
                   "upper(bezeich)=\"WIN\" .and. upper(kategorie)=\"SPIELE\" .and. "
                   "upper(diskart)=\"CD\" .and. boxnummer=7");
}
void BM_CompileQuery(benchmark::State& state) {
    for (auto _ : state) {
        xb::Expr e = xb::Expr::compile(
            "upper(bezeich)=\"WIN\" .or.  upper(kategorie)=\"SPIELE\" .or.  boxnummer=007",
            entryLayout());
        benchmark::DoNotOptimize(e.keyLength());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

BENCHMARK(BM_KeyDirnumm);
BENCHMARK(BM_EvaluateDirnumm);
BENCHMARK(BM_KeyNamealle);
BENCHMARK(BM_KeyEndungalle);
BENCHMARK(BM_EvaluateStrDirnumm);
BENCHMARK(BM_ForDirnumm);
BENCHMARK(BM_ForNotDeleted);
BENCHMARK(BM_QueryFourClauses);
BENCHMARK(BM_CompileQuery);

}  // namespace

BENCHMARK_MAIN();
