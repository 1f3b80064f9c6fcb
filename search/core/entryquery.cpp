#include "search/core/entryquery.h"

#include <ostream>

#include "catalogue/cataloguesession.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "store/xbase/error.h"

namespace qv {

namespace {

const QString kAndJoiner = QStringLiteral(" .and. ");
const QString kOrJoiner = QStringLiteral(" .or.  ");

// `prefix` compared with the upper-cased text in a literal whose delimiter
// the text does not contain.
QString textClause(const QString& prefix, const QString& text, const char* fieldLabel) {
    const QString upper = engineUpper(text);
    QChar quote = QLatin1Char('"');
    if (upper.contains(quote)) {
        if (upper.contains(QLatin1Char('\'')))
            throw Error(ErrorCode::InvalidArgument,
                        std::string("Im Feld ") + fieldLabel +
                            " stehen einfache und doppelte Anführungszeichen zugleich; "
                            "danach kann nicht gesucht werden");
        quote = QLatin1Char('\'');
    }
    return prefix + quote + upper + quote;
}

bool isDigits(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

}  // namespace

QString queryRunningText() {
    return QStringLiteral("Suchabfrage läuft, Moment bitte ......");
}

QString queryVerdictText(int level) {
    switch (level) {
        case 0:
            return QStringLiteral("Optimierung NICHT möglich, Datenbankrecherche läuft...");
        case 1:
            return QStringLiteral("Optimierung nur teilweise möglich...");
        case 2:
            return QStringLiteral("* Optimierte Abfrage *");
        default:
            return QString();
    }
}

QString buildQueryExpression(const QueryCriteria& c) {
    const QString& joiner = c.orJoin ? kOrJoiner : kAndJoiner;
    QString expr;
    if (!c.title.isEmpty())
        expr += joiner + textClause(QStringLiteral("upper(bezeich)="), c.title, "Bezeichnung");
    if (!c.category.isEmpty())
        expr += joiner + textClause(QStringLiteral("upper(kategorie)="), c.category, "Kategorie");
    if (!c.carrierType.isEmpty())
        expr += joiner + textClause(QStringLiteral("upper(diskart)="), c.carrierType, "Art");
    if (!c.box.isEmpty() && c.box != QLatin1String("0")) {
        // Inserted without quotes: only digits may go there.
        if (!isDigits(c.box)) throwNotAnInteger(c.box);
        expr += joiner + QStringLiteral("boxnummer=") + c.box;
    }
    return expr.mid(joiner.size()).left(kQueryExpressionLength);
}

QueryOutcome installEntryQuery(CatalogueSession& session, const QString& expression,
                               ScopedProgress& progress) {
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    QueryOutcome out;
    out.expression = expression;
    if (!expression.isEmpty()) {
        out.verdict = apollo.sx_QueryTest(expression);
        progress.phase(queryRunningText(), queryVerdictText(out.verdict));
    }
    // Installing a subset goes to its first entry; on a large table with few
    // hits late in the order that walk is the costly part, so it is not
    // repeated. Without a condition nothing moved.
    apollo.sx_Query(expression);
    session.setSearchActive(true);
    if (expression.isEmpty()) apollo.sx_GoTop();
    out.count = apollo.sx_Count();
    return out;
}

void liftEntryQuery(CatalogueSession& session) {
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    apollo.sx_Query(QString());
    session.setSearchActive(false);
    apollo.sx_GoTop();
}

}  // namespace qv
