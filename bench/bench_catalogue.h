// The generated file records the benchmarks of large catalogues share: the
// same names, extensions and directory trees for the same record numbers,
// so that catalogues of different benchmarks look alike.
#pragma once

#include <cstdint>
#include <string>

#include "bench/bench_util.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/table.h"

namespace bench {

inline const char* kWords[] = {"PROGRAMME", "SPIELE",  "TREIBER", "DATEN",   "BRIEFE", "OFFICE",
                               "SYSTEM",    "GRAFIK",  "SOUND",   "LEVEL1",  "LEVEL2", "HILFE",
                               "BILDER",    "MUSIK",   "WIN95",   "DOS",     "TOOLS",  "BACKUP",
                               "1997",      "1998",    "SZENEN",  "FLUGSIM", "ARCHIV", "VORLAGEN",
                               "SETUP",     "INSTALL", "TEMP",    "DOKU"};
inline const char* kExts[] = {"EXE", "DLL", "TXT", "HLP", "INI", "BMP",
                              "WAV", "DOC", "",    "HTM", "ZIP", "COM"};
inline constexpr std::uint64_t kFilesPerEntry = 200;

// File record i (from 0): its name, extension and DIRPFAD value; the
// generator is advanced by two numbers.
struct GeneratedFile {
    std::string name;
    std::string ext;
    std::string path;  // directory, one blank, name
};

// The DIRPFAD value of file record i (from 0) named `name`.`ext`: one to
// five folders deep, the records of an entry in a few folders.
inline std::string generatedPath(std::uint64_t i, const std::string& name, const std::string& ext) {
    std::string path = "/";
    const int depth = 1 + static_cast<int>((i / 7) % 5);
    std::uint64_t d = (i / kFilesPerEntry) * 31 + (i % kFilesPerEntry) / 12;
    for (int k = 0; k < depth; ++k) {
        path += kWords[(d + k * 7) % 28];
        path += '/';
        d /= 3;
    }
    return path + " " + name + (ext.empty() ? "" : "." + ext);
}

inline GeneratedFile generatedFile(Rng& rng, std::uint64_t i) {
    GeneratedFile f;
    f.name = std::string(kWords[rng.below(28)]).substr(0, 5) + std::to_string(rng.below(100000));
    f.ext = kExts[rng.below(12)];
    f.path = generatedPath(i, f.name, f.ext);
    return f;
}

// Appends entries 1 ... `entries` to the entry table `file`: title
// "Datenträger N", box N / 50, number N % 50, and the category, carrier
// type and carrier count given.
inline void appendGeneratedEntries(const std::string& file, std::uint64_t entries,
                                   const std::string& category = {},
                                   const std::string& carrierType = {}, int disks = 0) {
    auto t = xb::Table::open(file);
    t->beginBatch();
    for (std::uint64_t e = 1; e <= entries; ++e) {
        t->append();
        t->replaceNumber(t->fieldIndex("eindeutig"), static_cast<double>(e));
        t->replaceText(t->fieldIndex("bezeich"),
                       xb::utf8ToCp1252("Datenträger " + std::to_string(e)));
        t->replaceNumber(t->fieldIndex("boxnummer"), static_cast<double>(e / 50));
        t->replaceNumber(t->fieldIndex("disknummer"), static_cast<double>(e % 50));
        if (!category.empty()) t->replaceText(t->fieldIndex("kategorie"), category);
        if (!carrierType.empty()) t->replaceText(t->fieldIndex("diskart"), carrierType);
        if (disks > 0) t->replaceNumber(t->fieldIndex("progdsks"), disks);
        t->commitRecord();
    }
    t->endBatch();
    t->close();
}

}  // namespace bench
