// `qvdb query`: the entry query on a catalogue directory, without windows.
#include <ostream>
#include <string>
#include <vector>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "search/core/entryquery.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"

namespace qv {

namespace {

// A field as the dialog takes it: upper-cased as typed, typing stops at the limit.
QString typed(const std::string& text, int limit) {
    return engineUpper(QString::fromStdString(text)).left(limit);
}

[[noreturn]] void usageError() {
    throw Error(ErrorCode::InvalidArgument,
                "Aufruf: qvdb query VERZEICHNIS [--or] [--title T] [--category K] [--type A] "
                "[--box N]");
}

int runQuery(const std::vector<std::string>& args, std::ostream& out) {
    if (args.empty()) usageError();
    QueryCriteria c;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--or") {
            c.orJoin = true;
            continue;
        }
        if (i + 1 >= args.size()) usageError();
        const std::string& v = args[++i];
        if (a == "--title")
            c.title = typed(v, kQueryTitleLength);
        else if (a == "--category")
            c.category = typed(v, kQueryCategoryLength);
        else if (a == "--type")
            c.carrierType = typed(v, kQueryCarrierTypeLength);
        else if (a == "--box") {
            c.box = QString::fromStdString(v);
            if (c.box.size() > kQueryBoxLength)
                throw Error(ErrorCode::InvalidArgument,
                            "Die Box-Nummer hat höchstens fünf Stellen");
        } else
            usageError();
    }
    // Refused texts stop here, before the catalogue is opened.
    const QString expression = buildQueryExpression(c);

    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(args[0]));
    CatalogueSession session(dm);
    TTable& entries = session.table(CatalogueTable::Entries);
    entries.Open();  // exclusive: a catalogue open in the program is refused here
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    apollo.sx_SetOrder(tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
    apollo.sx_GoTop();

    SilentProgress display;
    QueryOutcome outcome;
    {
        ScopedProgress progress(display);
        progress.phase(queryRunningText());
        outcome = installEntryQuery(session, expression, progress);
    }
    out << "expression\t" << outcome.expression.toStdString() << '\n';
    out << "verdict\t" << outcome.verdict << '\t' << queryVerdictText(outcome.verdict).toStdString()
        << '\n';
    const TField number = entries.FieldByName(QStringLiteral("EINDEUTIG"));
    for (entries.First(); !entries.Eof(); entries.Next())
        out << number.AsInteger() << '\n';
    entries.Close();
    return 0;
}

}  // namespace

void addQueryToolCommand() {
    qvdb::addCommand({"query",
                      "query VERZEICHNIS [--or] [--title T] [--category K] [--type A] [--box N]",
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream&) { return runQuery(args, out); }});
}

}  // namespace qv
