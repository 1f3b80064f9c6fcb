// Index layer timings with the file table's three tags:
//   dirnumm    str(dirnumm,8)+dirpfad                  94 bytes
//   namealle   upper(dirname+direndung)+str(dirnumm,8) 26 bytes
//   endungalle upper(direndung)+dirname+str(dirnumm,8) 26 bytes
// about 60 files per entry number, paths with long shared prefixes.
//
// Usage: nsx_bench [records] (default 1,000,000). Run a release build.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/bench_util.h"
#include "bench_clock.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"

namespace fs = std::filesystem;

namespace {

using bench::Stopwatch;

double secondsSince(const Stopwatch& t) {
    return t.seconds();
}

long rssKb() {
    return bench::statusKb("VmRSS");
}

struct FileRec {
    std::uint32_t dirnumm;
    std::string name;  // 15
    std::string ext;   // 3
    std::string path;  // 86
};

// Deterministic file records: entries of about 60 files spread over a few
// directories below shared roots.
std::vector<FileRec> makeRecords(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    static const char* roots[] = {"\\PROGRAMME\\", "\\DATEN\\PROJEKTE\\", "\\SPIELE\\",
                                  "\\DOKUMENTE\\ARCHIV\\", "\\"};
    static const char* syl[] = {"AB",  "BER", "CO", "DAT", "EN",  "FI", "GRA", "HAL",
                                "IN",  "KO",  "LE", "MO",  "NET", "OR", "PRO", "RE",
                                "SYS", "TA",  "UM", "VER", "WIN", "X",  "ZU"};
    static const char* exts[] = {"EXE", "DLL", "TXT", "DOC", "JPG",
                                 "HLP", "INI", "DAT", "BMP", "   "};
    auto word = [&](int parts) {
        std::string w;
        for (int i = 0; i < parts; ++i)
            w += syl[rng() % std::size(syl)];
        return w;
    };
    std::vector<FileRec> r;
    r.reserve(n);
    std::uint32_t entry = 0;
    while (r.size() < n) {
        ++entry;
        const std::string base = std::string(roots[rng() % std::size(roots)]) + word(2) + "\\";
        const int files = 40 + static_cast<int>(rng() % 41);
        std::vector<std::string> dirs = {base, base + word(2) + "\\", base + "DATEN\\",
                                         base + word(3) + "\\" + word(1) + "\\"};
        for (int f = 0; f < files && r.size() < n; ++f) {
            FileRec fr;
            fr.dirnumm = entry;
            fr.name = word(1 + static_cast<int>(rng() % 3)) + std::to_string(rng() % 100);
            fr.name.resize(std::min<std::size_t>(fr.name.size(), 15));
            fr.ext = exts[rng() % std::size(exts)];
            fr.path = dirs[rng() % dirs.size()] + fr.name + "." + fr.ext;
            r.push_back(std::move(fr));
        }
    }
    return r;
}

std::string pad(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

std::string keyDirnumm(const FileRec& f) {
    return xb::formatNumber(f.dirnumm, 8, 0) + pad(f.path, 86);
}
std::string keyNamealle(const FileRec& f) {
    std::string k = pad(f.name, 15) + pad(f.ext, 3);
    xb::upper1252InPlace(k.data(), k.size());
    return k + xb::formatNumber(f.dirnumm, 8, 0);
}
std::string keyEndungalle(const FileRec& f) {
    std::string e = pad(f.ext, 3);
    xb::upper1252InPlace(e.data(), e.size());
    return e + pad(f.name, 15) + xb::formatNumber(f.dirnumm, 8, 0);
}

const std::vector<xb::NsxTagDef> kSpecs =
    qv::tables::tagDefs(qv::tables::layoutOf(qv::CatalogueTable::Files));

std::string keyFor(int tag, const FileRec& f) {
    return tag == 0 ? keyDirnumm(f) : tag == 1 ? keyNamealle(f) : keyEndungalle(f);
}

// Builds the three tags from `recs` into a new file; prints the timings.
void bulkBuild(const std::string& path, const std::vector<FileRec>& recs, bool print) {
    auto file = xb::NsxFile::create(path);
    double total = 0;
    for (int t = 0; t < 3; ++t) {
        xb::NsxKeyBatch batch(kSpecs[t].keyLen, 0x20);
        batch.reserve(recs.size());
        for (std::size_t i = 0; i < recs.size(); ++i)
            batch.add(keyFor(t, recs[i]), static_cast<std::uint32_t>(i + 1));
        const Stopwatch t0;
        file->buildTag(kSpecs[t], batch, static_cast<std::uint32_t>(recs.size()));
        const double s = secondsSince(t0);
        total += s;
        if (print)
            std::printf("  bulk build %-10s %zu keys of %3d bytes: %.3f s (sort + write)\n",
                        kSpecs[t].name.c_str(), recs.size(), kSpecs[t].keyLen, s);
    }
    file->close();
    if (print) {
        std::printf("  bulk build, three tags: %.3f s; file %.1f MB\n", total,
                    static_cast<double>(fs::file_size(path)) / 1e6);
    }
}

// Seek first >= prefix, seek last <= prefix + FF, positions of both.
double scopeMicros(xb::NsxTag& tag, const std::vector<FileRec>& recs, int rounds,
                   std::uint64_t seed, std::uint64_t* checksum) {
    std::mt19937_64 rng(seed);
    xb::NsxCursor lo(tag), hi(tag);
    std::vector<std::string> probes;
    for (int i = 0; i < rounds; ++i)
        probes.push_back(xb::formatNumber(recs[rng() % recs.size()].dirnumm, 8, 0));
    const Stopwatch t0;
    std::uint64_t sum = 0;
    for (const std::string& p : probes) {
        lo.seek(p);
        const std::uint64_t p1 = lo.position();
        hi.seekLast(p + "\xFF");
        const std::uint64_t p2 = hi.position();
        sum += p2 - p1 + 1;
    }
    *checksum = sum;
    return secondsSince(t0) * 1e6 / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const fs::path dir = fs::temp_directory_path() / ("nsx_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "_qvdir.nsx").string();
    std::printf("nsx_bench: %zu records, files in %s\n", n, dir.c_str());

    const auto recs = makeRecords(n, 42);
    const long baseRss = rssKb();
    std::printf("  generated records (bench data), RSS %ld kB\n", baseRss);

    // 1. Bulk build.
    bulkBuild(path, recs, true);

    // 2. Prefix seeks over random keys (page cache warm after the first pass).
    {
        auto file = xb::NsxFile::open(path);
        std::printf("  opened, RSS %ld kB\n", rssKb());
        const int rounds = 100000;
        std::mt19937_64 rng(7);
        std::vector<std::string> byNum, byName;
        for (int i = 0; i < rounds; ++i) {
            const FileRec& f = recs[rng() % recs.size()];
            byNum.push_back(xb::formatNumber(f.dirnumm, 8, 0));
            std::string name = f.name.substr(0, 5);
            xb::upper1252InPlace(name.data(), name.size());
            byName.push_back(name);
        }
        for (int pass = 0; pass < 3; ++pass) {
            xb::NsxCursor c0(file->tag(0)), c1(file->tag(1));
            int found = 0;
            Stopwatch t0;
            for (const auto& p : byNum)
                found += c0.seek(p);
            const double a = secondsSince(t0) * 1e6 / rounds;
            t0.restart();
            for (const auto& p : byName)
                found += c1.seek(p);
            const double b = secondsSince(t0) * 1e6 / rounds;
            std::printf(
                "  seek (%s cache): 8-byte prefix on dirnumm %.2f us, name prefix on "
                "namealle %.2f us (%d found)\n",
                pass == 0 ? "cold" : "warm", a, b, found);
        }
        // 3. Scope plus two order positions at full size.
        std::uint64_t sum = 0;
        file->tag(0).count();  // first use reads the page headers once
        double us = 1e9;
        for (int pass = 0; pass < 3; ++pass)
            us = std::min(us, scopeMicros(file->tag(0), recs, 100000, 9 + pass, &sum));
        std::printf(
            "  scope + two positions on dirnumm, %zu entries: %.2f us, best of 3 (avg "
            "range %.1f)\n",
            n, us, static_cast<double>(sum) / 100000);
        // 4. Full walk of one tag.
        xb::NsxCursor c(file->tag(0));
        Stopwatch t0;
        std::size_t walked = 0;
        for (bool ok = c.first(); ok; ok = c.next())
            ++walked;
        std::printf("  full walk of dirnumm: %zu entries in %.3f s\n", walked, secondsSince(t0));
        xb::NsxCursor c2(file->tag(1));
        t0.restart();
        walked = 0;
        for (bool ok = c2.last(); ok; ok = c2.prev())
            ++walked;
        std::printf("  backward walk of namealle: %zu entries in %.3f s\n", walked,
                    secondsSince(t0));
        const long rss = rssKb();
        std::printf(
            "  three tags open after seeks and walks: RSS %ld kB, of it %ld kB above the "
            "bench data; page cache %.1f MB\n",
            rss, rss - baseRss, static_cast<double>(file->cacheResidentBytes()) / 1e6);
    }

    // 5. The same scope query at 10,000 entries.
    {
        const std::vector<FileRec> small(recs.begin(),
                                         recs.begin() + std::min<std::size_t>(10000, n));
        const std::string p2 = (dir / "small.nsx").string();
        bulkBuild(p2, small, false);
        auto file = xb::NsxFile::open(p2);
        std::uint64_t sum = 0;
        file->tag(0).count();
        double us = 1e9;
        for (int pass = 0; pass < 3; ++pass)
            us = std::min(us, scopeMicros(file->tag(0), small, 100000, 9 + pass, &sum));
        std::printf("  scope + two positions on dirnumm, %zu entries: %.2f us, best of 3\n",
                    small.size(), us);
    }

    // 6. The append path: records added one at a time to all three tags of
    // the full index, with a flush after each record. The first round meets
    // the nearly full leaves of the bulk build (many splits), the second one
    // a tree that has settled.
    {
        auto file = xb::NsxFile::open(path);
        const std::size_t roundSize = std::min<std::size_t>(100000, n);
        const auto more = makeRecords(3 * roundSize, 43);
        const std::uint32_t base = static_cast<std::uint32_t>(n);
        const std::uint32_t maxNum = recs.back().dirnumm;
        // Keys are made before the clock starts: key evaluation is the
        // table layer's part.
        std::vector<std::string> keys[3];
        for (std::size_t i = 0; i < more.size(); ++i) {
            FileRec f = more[i];
            f.dirnumm += maxNum;  // new entries at the end, as appends bring them
            for (int t = 0; t < 3; ++t)
                keys[t].push_back(keyFor(t, f));
        }
        // Rounds 1 and 2 are timed as a whole; round 3 is timed per call to
        // show where the time goes (the timer calls themselves are system
        // calls and add to it).
        for (int round = 0; round < 3; ++round) {
            const bool detail = round == 2;
            const std::size_t count = detail ? roundSize / 2 : roundSize;
            double flushCpu = 0;
            double tagCpu[3] = {0, 0, 0};
            const Stopwatch t0;
            for (std::size_t j = 0; j < count; ++j) {
                const std::size_t i = static_cast<std::size_t>(round) * roundSize + j;
                const std::uint32_t recno = base + static_cast<std::uint32_t>(i) + 1;
                if (!detail) {
                    for (int t = 0; t < 3; ++t)
                        file->tag(t).insert(keys[t][i], recno);
                    file->flush();
                    continue;
                }
                for (int t = 0; t < 3; ++t) {
                    const Stopwatch c0;
                    file->tag(t).insert(keys[t][i], recno);
                    tagCpu[t] += c0.seconds();
                }
                const Stopwatch c;
                file->flush();
                flushCpu += c.seconds();
            }
            const double per = 1e6 / static_cast<double>(count);
            std::printf(
                "  append path, round %d: %zu records x 3 tags, flush each: %.2f us per "
                "record%s\n",
                round + 1, count, secondsSince(t0) * per, detail ? ", timed per call" : "");
            if (detail) {
                std::printf(
                    "    insert dirnumm %.2f us, namealle %.2f us, endungalle %.2f us; "
                    "flush %.2f us\n",
                    tagCpu[0] * per, tagCpu[1] * per, tagCpu[2] * per, flushCpu * per);
            }
        }
        const Stopwatch t1;
        file->close();
        std::printf("  close (fsync, marker cleared): %.3f s\n", secondsSince(t1));
        auto again = xb::NsxFile::open(path);
        const Stopwatch t2;
        const auto faults = again->verify();
        std::printf("  verify after appends: %zu faults in %.2f s; RSS %ld kB\n", faults.size(),
                    secondsSince(t2), rssKb());
        for (std::size_t i = 0; i < std::min<std::size_t>(faults.size(), 5); ++i)
            std::printf("    %s\n", faults[i].c_str());
    }
    fs::remove_all(dir);
    return 0;
}
