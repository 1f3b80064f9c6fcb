#include "search/core/filesearchtool.h"

#include <charconv>
#include <ostream>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "search/core/filesearch.h"
#include "store/ttable.h"

namespace qv {

namespace {

const char* kFindUsage = "find VERZEICHNIS (--name|--ext) TEXT [--limit N]";

}  // namespace

int runFindCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string dir, text;
    bool haveText = false;
    bool byName = true;
    bool haveOrder = false;
    int limit = 20;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--name" || a == "--ext") && i + 1 < args.size() && !haveOrder) {
            haveOrder = true;
            byName = a == "--name";
            text = args[++i];
            haveText = true;
        } else if (a == "--limit" && i + 1 < args.size()) {
            const std::string& n = args[++i];
            const auto r = std::from_chars(n.data(), n.data() + n.size(), limit);
            if (r.ec != std::errc() || r.ptr != n.data() + n.size() || limit < 0) {
                err << "qvdb: ungültige Anzahl \"" << n << "\"\n";
                return 1;
            }
        } else if (dir.empty() && a.rfind("--", 0) != 0) {
            dir = a;
        } else {
            dir.clear();
            break;
        }
    }
    if (dir.empty() || !haveText) {
        err << "Aufruf: qvdb " << kFindUsage << '\n';
        return 1;
    }

    TDM dm(QString::fromStdString(dir));
    CatalogueSession session(dm);
    TTable& entries = session.table(CatalogueTable::Entries);
    entries.Open();
    FileSearch search(session);
    search.open();
    search.setOrder(byName ? FileOrder::Name : FileOrder::Extension);
    const bool found = search.search(QString::fromStdString(text));
    out << (found ? "found" : "notfound") << '\n';
    if (found) {
        for (const FileHit& h : search.rowsFromHere(limit))
            out << h.owner << '\t' << h.title.toStdString() << '\t' << h.path.toStdString() << '\n';
    }
    out.flush();
    search.close();
    entries.Close();
    return 0;
}

qvdb::FeatureCommand findToolCommand() {
    return {"find", kFindUsage,
            [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
               std::ostream& err) { return runFindCommand(args, out, err); }};
}

}  // namespace qv
