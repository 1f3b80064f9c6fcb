#include "volumes/core/volumetool.h"

#include <optional>
#include <ostream>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "store/conversion.h"
#include "store/ttable.h"
#include "store/xbase/settings.h"
#include "volumes/core/volumeprovider.h"

namespace qv {

namespace {

std::string utf8(const QString& s) {
    return s.toStdString();
}

QString directory(const std::string& dir) {
    return withTrailingSeparator(QString::fromStdString(dir));
}

}  // namespace

int volumeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << "Aufruf: qvdb volume VERZEICHNIS EINTRAG\n";
        return 1;
    }
    const QString dir = directory(args[0]);
    const int n = strToInt(QString::fromStdString(args[1]));
    const std::optional<VolumeFacts> f = loadVolumeFacts(dir, n);
    if (!f) {
        err << "Zum Eintrag " << n << " sind keine Datenträgerdaten gespeichert\n";
        return 1;
    }
    out << "entry\t" << f->entry << '\n'
        << "label\t" << utf8(f->label) << '\n'
        << "uuid\t" << utf8(f->uuid) << '\n'
        << "filesystem\t" << utf8(f->fileSystem) << '\n'
        << "total\t" << f->totalBytes << '\n'
        << "free\t" << f->freeBytes << '\n'
        << "model\t" << utf8(f->model) << '\n'
        << "read\t" << utf8(f->readAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))) << '\n'
        << "files\t" << f->files << '\n'
        << "bytes\t" << f->fileBytes << '\n';
    return 0;
}

int identifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool changes = false;
    std::vector<std::string> plain;
    for (const std::string& a : args) {
        if (a == "--changes")
            changes = true;
        else
            plain.push_back(a);
    }
    if (plain.size() != 2) {
        err << "Aufruf: qvdb identify VERZEICHNIS EINHÄNGEPUNKT [--changes]\n";
        return 1;
    }
    const QString dir = directory(plain[0]);
    VolumeFactsProvider& provider = volumeFactsProvider();
    const std::optional<VolumeFacts> mounted = provider.factsOf(QString::fromStdString(plain[1]));
    VolumeMatch match;
    if (mounted) match = matchVolume(loadAllVolumeFacts(dir), *mounted);
    EntryHeading h;
    if (match) {
        xb::SettingsGuard settings;
        TDM dm(dir);
        CatalogueSession session(dm);
        dm.table(CatalogueTable::Entries).Open();
        h = entryHeading(session, match.stored.entry);
    }
    if (h.recno == 0) {
        out << "unknown\n";
        return 0;
    }
    out << "entry\t" << h.entry << '\t' << utf8(h.title) << '\t' << h.box << '\t' << h.number
        << '\n';
    if (changes) {
        const CarrierCount now = provider.count(mounted->mountPoint);
        out << "files\t" << match.stored.files << '\t' << now.files << '\n'
            << "bytes\t" << match.stored.fileBytes << '\t' << now.bytes << '\n'
            << (carrierChanged(match.stored, now) ? "changed" : "unchanged") << '\n';
    }
    return 0;
}

void addVolumeCommands() {
    qvdb::addCommand({"volume", "volume VERZEICHNIS EINTRAG",
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream& err) { return volumeCommand(args, out, err); }});
    qvdb::addCommand({"identify", "identify VERZEICHNIS EINHÄNGEPUNKT [--changes]",
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream& err) { return identifyCommand(args, out, err); }});
}

}  // namespace qv
