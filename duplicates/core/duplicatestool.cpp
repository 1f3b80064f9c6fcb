#include "duplicates/core/duplicatestool.h"

#include <algorithm>
#include <charconv>
#include <ostream>
#include <string>
#include <vector>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "duplicates/core/duplicates.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"

namespace qv {

namespace {

const char* kDupesUsage =
    "dupes VERZEICHNIS [--min-size N] [--by name|name-date|size-date] [--ext E[,E...]]";
const char* kCompareUsage = "compare VERZEICHNIS EINTRAG [--by name|name-date|size-date]";

[[noreturn]] void usage(const char* line) {
    throw Error(ErrorCode::InvalidArgument, std::string("Aufruf: qvdb ") + line);
}

std::int64_t wholeNumber(const std::string& text) {
    std::int64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < 0)
        throw Error(ErrorCode::Conversion, "'" + text + "' ist kein gültiger Integerwert");
    return v;
}

bool parseRule(const std::string& text, DuplicateRule* rule) {
    if (text == "name")
        *rule = DuplicateRule::Name;
    else if (text == "name-date")
        *rule = DuplicateRule::NameAndDate;
    else if (text == "size-date")
        *rule = DuplicateRule::SizeAndDate;
    else
        return false;
    return true;
}

// The catalogue in `dir` with its entry and file tables open for reading.
struct OpenCatalogue {
    explicit OpenCatalogue(const std::string& dir) : dm(QString::fromStdString(dir)), session(dm) {
        session.table(CatalogueTable::Entries).Open();
        session.table(CatalogueTable::Files).Open();
    }
    ~OpenCatalogue() {
        try {
            session.table(CatalogueTable::Files).Close();
            session.table(CatalogueTable::Entries).Close();
        } catch (...) {
        }
    }
    xb::SettingsGuard settings;
    TDM dm;
    CatalogueSession session;
};

int runDupes(const std::vector<std::string>& args, std::ostream& out) {
    std::string dir;
    DuplicateOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--min-size" && i + 1 < args.size()) {
            options.minSize = wholeNumber(args[++i]);
        } else if (a == "--by" && i + 1 < args.size()) {
            if (!parseRule(args[++i], &options.rule)) usage(kDupesUsage);
        } else if (a == "--ext" && i + 1 < args.size()) {
            options.extensions =
                QString::fromStdString(args[++i]).split(QLatin1Char(','), Qt::SkipEmptyParts);
        } else if (dir.empty() && a.rfind("--", 0) != 0) {
            dir = a;
        } else {
            usage(kDupesUsage);
        }
    }
    if (dir.empty()) usage(kDupesUsage);

    OpenCatalogue cat(dir);
    const DuplicateReport report = *findDuplicates(cat.session, options);
    std::vector<std::uint32_t> recnos;
    recnos.reserve(report.copies.size());
    for (const FileCopy& c : report.copies)
        recnos.push_back(c.recno);
    std::sort(recnos.begin(), recnos.end());
    const std::vector<QString> paths = readPaths(cat.session, recnos);
    const EntryDirectory entries(cat.session);
    for (const DuplicateGroup& g : report.groups) {
        out << "group\t" << g.size << '\t' << g.copies << '\n';
        for (std::uint32_t k = 0; k < g.copies; ++k) {
            const FileCopy& c = report.copies[g.first + k];
            const EntryRef* e = entries.find(c.owner);
            const std::size_t at = static_cast<std::size_t>(
                std::lower_bound(recnos.begin(), recnos.end(), c.recno) - recnos.begin());
            out << c.owner << '\t' << (e ? e->title.toStdString() : std::string()) << '\t'
                << paths[at].toStdString() << '\n';
        }
    }
    out << "groups\t" << report.groups.size() << "\tcopies\t" << report.copyCount << "\tbytes\t"
        << report.wastedBytes << '\n';
    out.flush();
    return 0;
}

int runCompare(const std::vector<std::string>& args, std::ostream& out) {
    std::vector<std::string> plain;
    DuplicateRule rule = DuplicateRule::Name;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--by" && i + 1 < args.size()) {
            if (!parseRule(args[++i], &rule)) usage(kCompareUsage);
        } else if (args[i].rfind("--", 0) != 0) {
            plain.push_back(args[i]);
        } else {
            usage(kCompareUsage);
        }
    }
    if (plain.size() != 2) usage(kCompareUsage);
    const std::int64_t number = wholeNumber(plain[1]);
    if (number <= 0 || number >= kReleasedEntryNumber)
        throw Error(ErrorCode::Range, "Keine gültige Eintragsnummer: " + plain[1]);

    OpenCatalogue cat(plain[0]);
    const CarrierComparison c = *compareCarrier(cat.session, static_cast<int>(number), rule);
    for (const SharedWith& s : c.sharedWith)
        out << "elsewhere\t" << s.entry.number << '\t' << s.entry.title.toStdString() << '\t'
            << s.files << '\t' << s.bytes << '\n';
    for (const OnlyHereFile& f : c.onlyHere)
        out << "only\t" << f.path.toStdString() << '\n';
    out << "verdict\t" << c.onlyHere.size() << '\t' << c.onlyBytes << '\n';
    out.flush();
    return 0;
}

}  // namespace

void addDuplicateToolCommands() {
    qvdb::addCommand({"dupes", kDupesUsage,
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream&) { return runDupes(args, out); }});
    qvdb::addCommand({"compare", kCompareUsage,
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream&) { return runCompare(args, out); }});
}

}  // namespace qv
