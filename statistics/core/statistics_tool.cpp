// `qvdb stats`: the three statistics on a catalogue directory, without windows.
#include <QFileInfo>

#include <ostream>
#include <string>
#include <vector>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "catalogue/settingslist.h"
#include "statistics/core/statistics.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"

namespace qv {

namespace {

int runStats(const std::vector<std::string>& args, std::ostream& out) {
    if (args.size() != 1) throw Error(ErrorCode::InvalidArgument, "Aufruf: qvdb stats VERZEICHNIS");
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(args[0]));
    // The status names as the program reads them; a directory without a
    // settings file gets the default names, and no file is written.
    SettingsList list;
    QStringList names = SettingsList::defaultLines();
    if (QFileInfo::exists(dm.filePath(SettingsList::fileName()))) {
        list.load(dm.programDir());
        names = list.lines();
    }
    if (names.size() <= kStatusFlagCount)
        throw Error(ErrorCode::Range, "Listenindex außerhalb des zulässigen Bereichs");

    CatalogueSession session(dm);
    TTable& entries = session.table(CatalogueTable::Entries);
    entries.Open();  // exclusive: a catalogue open in the program is refused here
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    apollo.sx_SetOrder(tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
    apollo.sx_GoTop();

    SilentProgress display;
    out << "carriers\t" << countCarriers(session, display) << '\n';
    const StatusCounts status = countStatusFlags(session, display);
    for (int k = 1; k <= kStatusFlagCount; ++k) {
        out << "status\t" << k << '\t' << names.at(k).toStdString() << '\t'
            << status.perFlag[static_cast<std::size_t>(k - 1)] << '\n';
    }
    countEntriesPerCategory(session, display);
    TTable& categories = session.table(CatalogueTable::Categories);
    const TField name = categories.FieldByName(QStringLiteral("katego"));
    const TField count = categories.FieldByName(QStringLiteral("anzahl"));
    for (categories.First(); !categories.Eof(); categories.Next())
        out << "category\t" << trimmedRight(name.AsString()).toStdString() << '\t'
            << count.AsInteger() << '\n';
    closeCategoryTable(session);
    entries.Close();
    return 0;
}

// `qvdb storage DIR`: "type<TAB>NAME<TAB>BYTES" per carrier type, "box<TAB>N<TAB>BYTES"
// per box, then "total<TAB>BYTES<TAB>FILES".
int runStorage(const std::vector<std::string>& args, std::ostream& out) {
    if (args.size() != 1)
        throw Error(ErrorCode::InvalidArgument, "Aufruf: qvdb storage VERZEICHNIS");
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(args[0]));
    CatalogueSession session(dm);
    TTable& entries = session.table(CatalogueTable::Entries);
    TTable& files = session.table(CatalogueTable::Files);
    entries.Open();  // exclusive: a catalogue open in the program is refused here
    files.Open();
    session.apollo(CatalogueTable::Entries)
        .sx_SetOrder(tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
    session.apollo(CatalogueTable::Entries).sx_GoTop();
    SilentProgress display;
    const StorageUse use = measureStorage(session, display);
    for (const auto& [name, bytes] : use.perCarrierType)
        out << "type\t" << name.toStdString() << '\t' << bytes << '\n';
    for (const auto& [box, bytes] : use.perBox)
        out << "box\t" << box << '\t' << bytes << '\n';
    out << "total\t" << use.total << '\t' << use.files << '\n';
    files.Close();
    entries.Close();
    return 0;
}

}  // namespace

void addStatisticsToolCommand() {
    qvdb::addCommand({"stats", "stats VERZEICHNIS",
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream&) { return runStats(args, out); }});
    qvdb::addCommand({"storage", "storage VERZEICHNIS",
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream&) { return runStorage(args, out); }});
}

}  // namespace qv
