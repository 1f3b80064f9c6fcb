// `qvdb export`: the export on a catalogue directory, without windows.
#include <QFileInfo>

#include <ostream>
#include <string>
#include <vector>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "catalogue/settingslist.h"
#include "export/core/catalogueexport.h"
#include "search/core/entryquery.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"

namespace qv {

namespace {

const char* const kUsage =
    "export VERZEICHNIS (csv|jsonl|html) AUSGABE [--files] [--query-title T] "
    "[--query-category K] [--query-type A] [--query-box N] [--query-or]";

[[noreturn]] void usageError() {
    throw Error(ErrorCode::InvalidArgument, std::string("Aufruf: qvdb ") + kUsage);
}

QString typed(const std::string& text, int limit) {
    return engineUpper(QString::fromStdString(text)).left(limit);
}

int runExport(const std::vector<std::string>& args, std::ostream& out) {
    if (args.size() < 3) usageError();
    ExportOptions options;
    if (args[1] == "csv")
        options.format = ExportFormat::Csv;
    else if (args[1] == "jsonl")
        options.format = ExportFormat::JsonLines;
    else if (args[1] == "html")
        options.format = ExportFormat::Html;
    else
        usageError();
    QueryCriteria query;
    for (std::size_t i = 3; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--files") {
            options.withFiles = true;
            continue;
        }
        if (a == "--query-or") {
            query.orJoin = true;
            continue;
        }
        if (i + 1 >= args.size()) usageError();
        const std::string& v = args[++i];
        if (a == "--query-title")
            query.title = typed(v, kQueryTitleLength);
        else if (a == "--query-category")
            query.category = typed(v, kQueryCategoryLength);
        else if (a == "--query-type")
            query.carrierType = typed(v, kQueryCarrierTypeLength);
        else if (a == "--query-box")
            query.box = QString::fromStdString(v).left(kQueryBoxLength);
        else
            usageError();
    }
    const QString expression = buildQueryExpression(query);

    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(args[0]));
    QStringList names = SettingsList::defaultLines();
    if (QFileInfo::exists(dm.filePath(SettingsList::fileName()))) {
        SettingsList list;
        list.load(dm.programDir());
        names = list.lines();
    }
    const QStringList statusNames =
        names.mid(SettingsList::kFirstStatusLine,
                  SettingsList::kLastStatusLine - SettingsList::kFirstStatusLine + 1);

    CatalogueSession session(dm);
    TTable& entries = session.table(CatalogueTable::Entries);
    TTable& files = session.table(CatalogueTable::Files);
    entries.Open();  // exclusive: a catalogue open in the program is refused here
    if (options.withFiles) files.Open();
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    apollo.sx_SetOrder(tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
    apollo.sx_GoTop();
    if (!expression.isEmpty()) {
        SilentProgress display;
        ScopedProgress progress(display);
        installEntryQuery(session, expression, progress);
    }
    const ExportResult result =
        exportCatalogue(session, statusNames, QString::fromStdString(args[2]), options);
    if (options.withFiles) files.Close();
    entries.Close();
    for (const QString& file : result.written)
        out << "written\t" << file.toStdString() << '\n';
    out << "exported\t" << result.entries << '\t' << result.files << '\n';
    return 0;
}

}  // namespace

void addExportToolCommand() {
    qvdb::addCommand({"export", kUsage,
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream&) { return runExport(args, out); }});
}

}  // namespace qv
