#include "namesearch/core/namesearchtool.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <optional>
#include <ostream>

#include "namesearch/core/filetableimage.h"
#include "namesearch/core/namesearch.h"
#include "store/xbase/coding.h"
#include "store/xbase/error.h"

namespace qv {

namespace {

const char* kSearchUsage =
    "search VERZEICHNIS MUSTER [--ext E[,E...]] [--min-size N] [--max-size N]\n"
    "                            [--after JJJJMMTT] [--before JJJJMMTT] [--limit N] [--count]";

bool parseInt(const std::string& s, std::int64_t& v) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && v >= 0;
}

// YYYYMMDD as a Julian day; false for anything else.
bool parseDay(const std::string& s, std::int32_t& jdn) {
    std::int64_t v = 0;
    if (s.size() != 8 || !parseInt(s, v)) return false;
    const int y = static_cast<int>(v / 10000), m = static_cast<int>(v / 100 % 100),
              d = static_cast<int>(v % 100);
    if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1) return false;
    jdn = xb::dateToJdn(y, m, d);
    int y2, m2, d2;
    xb::jdnToDate(jdn, y2, m2, d2);
    return y2 == y && m2 == m && d2 == d;
}

// Whether index files can be written where they go.
bool cacheWritable(const std::string& file) {
    if (file.empty()) return false;
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(file).parent_path();
    std::error_code ec;
    fs::create_directories(folder, ec);
    return !ec && fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK) == 0;
}

}  // namespace

int runNameSearchCommand(const std::vector<std::string>& args, std::ostream& out,
                         std::ostream& err) {
    std::vector<std::string> positional;
    NameFilter filter;
    std::uint64_t limit = 0;
    bool countOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        std::int64_t v = 0;
        std::int32_t day = 0;
        if (a == "--count") {
            countOnly = true;
        } else if (a == "--ext" && hasValue) {
            filter.extensions = NameFilter::parseExtensions(args[++i]);
        } else if ((a == "--min-size" || a == "--max-size" || a == "--limit") && hasValue) {
            const std::string& n = args[++i];
            if (!parseInt(n, v)) {
                err << "qvdb: ungültige Zahl \"" << n << "\"\n";
                return 1;
            }
            if (a == "--min-size")
                filter.minSize = v;
            else if (a == "--max-size")
                filter.maxSize = v;
            else
                limit = static_cast<std::uint64_t>(v);
        } else if ((a == "--after" || a == "--before") && hasValue) {
            const std::string& d = args[++i];
            if (!parseDay(d, day)) {
                err << "qvdb: ungültiges Datum \"" << d << "\" (JJJJMMTT)\n";
                return 1;
            }
            (a == "--after" ? filter.fromDate : filter.toDate) = day;
        } else if (a.rfind("--", 0) == 0) {
            positional.clear();
            break;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        err << "Aufruf: qvdb " << kSearchUsage << '\n';
        return 1;
    }
    const std::string& dir = positional[0];
    const NamePattern pattern(positional[1]);

    FileTableImage image(dir);
    std::shared_ptr<const NameIndex> index;
    if (cacheWritable(nameIndexFile(dir))) {
        NameIndexKeeper keeper(dir);
        index = keeper.fresh();
        if (!index) index = keeper.waitForBuild();
    }
    if (!index) image.readMemoFile();

    std::unordered_map<std::uint32_t, EntryFacts> entries;
    if (!countOnly) entries = readEntryFacts(dir);
    std::string line;
    auto print = [&](const std::vector<std::uint32_t>& recnos) {
        if (countOnly) return true;
        for (const std::uint32_t r : recnos) {
            const FileFacts f = image.factsOf(r);
            line.clear();
            line += std::to_string(f.entry);
            line += '\t';
            const auto e = entries.find(f.entry);
            if (e != entries.end()) line += e->second.title;
            line += '\t';
            line += std::to_string(f.size);
            line += '\t';
            if (f.date > 0) {
                int y, m, d;
                xb::jdnToDate(f.date, y, m, d);
                char buf[16];
                std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
                line += buf;
            }
            line += '\t';
            line += image.fullPathOf(r);
            line += '\n';
            out << line;
        }
        return true;
    };
    // A count without a limit needs no record of its own.
    const std::uint64_t n = countOnly && !limit
                                ? countNames(index.get(), image, pattern, filter)
                                : searchNames(index.get(), image, pattern, filter, print, limit);
    out << "matches\t" << n << '\n';
    out.flush();
    return 0;
}

qvdb::FeatureCommand nameSearchToolCommand() {
    return {"search", kSearchUsage,
            [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
               std::ostream& err) { return runNameSearchCommand(args, out, err); }};
}

}  // namespace qv
