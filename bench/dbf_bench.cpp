// Appends and scans on the file table's layout (_qvdir: dirnumm N8,
// dirname C15, direndung C3, dirpfad C86, dirdate D, dirsize N10,
// dirtime C5, dirmemo M10), without indexes.
//
//   dbf_bench [records]      (default 1,000,000)
//
// Measures (1) appending records one by one, each committed record written
// when commitRecord() returns, and (2) a full scan in natural order reading
// dirnumm as a number and dirpfad as bytes. Targets: at least 500,000
// appended records per second; the scan of 1,000,000 records under 0.3 s.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/coding.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"

namespace {

struct FileRow {
    std::string name, ext, path, time;
    std::int32_t date;
    double size;
};

// A thousand realistic file records, cycled through during the run.
std::vector<FileRow> sampleRows() {
    const char* exts[] = {"EXE", "DLL", "TXT", "HLP", "INI", "BMP", "WAV", "DOC", "", "htm"};
    const char* dirs[] = {"\\PROGRAMME\\OFFICE\\", "\\SPIELE\\FLUGSIM\\SZENEN\\",
                          "\\TREIBER\\GRAFIK\\WIN95\\", "\\", "\\DATEN\\BRIEFE\\1997\\"};
    std::vector<FileRow> rows;
    std::uint64_t x = 88172645463325252ull;
    for (int i = 0; i < 1000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        FileRow r;
        r.name = "DATEI" + std::to_string(x % 100000);
        r.ext = exts[x % 10];
        r.path = std::string(dirs[(x >> 8) % 5]) + r.name + (r.ext.empty() ? "" : "." + r.ext);
        char t[6];
        std::snprintf(t, sizeof t, "%02d:%02d", static_cast<int>(x % 24),
                      static_cast<int>((x >> 5) % 60));
        r.time = t;
        r.date = xb::dateToJdn(1990 + static_cast<int>(x % 30), 1 + static_cast<int>((x >> 3) % 12),
                               1 + static_cast<int>((x >> 7) % 28));
        r.size = static_cast<double>(x % 4294967295ull);
        rows.push_back(r);
    }
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t count = argc > 1 ? static_cast<std::uint32_t>(std::atol(argv[1])) : 1000000;
    char tmpl[] = "/tmp/dbf-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::filesystem::path dir(tmpl);
    const std::string path = (dir / "_qvdir.dbf").string();
    { qv::tables::createTable(qv::tables::layoutOf(qv::CatalogueTable::Files), path); }
    const std::vector<FileRow> rows = sampleRows();

    // 1. Appends.
    auto t = xb::Table::open(path);
    bench::Stopwatch start;
    for (std::uint32_t i = 0; i < count; ++i) {
        const FileRow& r = rows[i % rows.size()];
        t->append();
        t->replaceNumber(0, 1 + i / 200);  // about 200 files per entry
        t->replaceText(1, r.name);
        t->replaceText(2, r.ext);
        t->replaceText(3, r.path);
        t->replaceDate(4, r.date);
        t->replaceNumber(5, r.size);
        t->replaceText(6, r.time);
        t->commitRecord();
    }
    const double appendSec = start.seconds();
    start.restart();
    t->close();
    const double closeSec = start.seconds();
    std::printf("append: %u records in %.3f s = %.0f records/s (close %.4f s)\n", count, appendSec,
                count / appendSec, closeSec);

    // 2. Full scans (the first after the writes, then a second one).
    for (int pass = 1; pass <= 2; ++pass) {
        t = xb::Table::open(path, xb::OpenMode::ReadOnly);
        start.restart();
        double sum = 0;
        std::size_t bytes = 0;
        std::uint32_t n = 0;
        for (t->goTop(); !t->eof(); t->skip()) {
            sum += t->number(0);
            for (const char c : t->raw(3))  // the whole path field
                bytes += static_cast<unsigned char>(c);
            ++n;
        }
        const double scanSec = start.seconds();
        std::printf("scan %d: %u records in %.3f s (%.0f records/s; checksum %.0f %zu)\n", pass, n,
                    scanSec, n / scanSec, sum, bytes);
        t->close();
    }
    std::filesystem::remove_all(dir);
    return 0;
}
