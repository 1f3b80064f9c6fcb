// The generated file records the benchmarks of large catalogues share: the
// same names, extensions and directory trees for the same record numbers,
// so that catalogues of different benchmarks look alike.
#pragma once

#include <cstdint>
#include <string>

#include "bench/bench_util.h"

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

inline GeneratedFile generatedFile(Rng& rng, std::uint64_t i) {
    GeneratedFile f;
    f.name = std::string(kWords[rng.below(28)]).substr(0, 5) + std::to_string(rng.below(100000));
    f.ext = kExts[rng.below(12)];
    std::string path = "/";
    const int depth = 1 + static_cast<int>((i / 7) % 5);
    std::uint64_t d = (i / kFilesPerEntry) * 31 + (i % kFilesPerEntry) / 12;
    for (int k = 0; k < depth; ++k) {
        path += kWords[(d + k * 7) % 28];
        path += '/';
        d /= 3;
    }
    f.path = path + " " + f.name + (f.ext.empty() ? "" : "." + f.ext);
    return f;
}

}  // namespace bench
