// The entry query as an operation on the catalogue session: the expression
// built from the query dialog's four fields, the engine's verdict on it, the
// subset installed on the entry table (the search-active state) and lifted
// again. The main window and the store tool run the same code; nothing here
// knows a widget.
#pragma once

#include <QString>

namespace qv {

class CatalogueSession;
class ScopedProgress;

// The query dialog's fields as typed, and how they are joined.
struct QueryCriteria {
    QString title;        // `Bezeichnung`
    QString category;     // `kategorie`
    QString carrierType;  // `Diskart`
    QString box;          // `BoxNummer`: the text as entered ("" and "0": any box)
    bool orJoin = false;  // `verknuepfung`: false "UND-Verknüpfung", true "ODER-Verknüpfung"
};

// The fields' limits in characters.
inline constexpr int kQueryTitleLength = 50;
inline constexpr int kQueryCategoryLength = 20;
inline constexpr int kQueryCarrierTypeLength = 10;
inline constexpr int kQueryBoxLength = 5;
inline constexpr int kQueryBoxMaximum = 99999;
// The longest expression handed to the engine.
inline constexpr int kQueryExpressionLength = 255;

// The phase text of the progress window while a query runs.
QString queryRunningText();
// The verdict's text for the progress window: level 0, 1 or 2; "" otherwise.
QString queryVerdictText(int level);

// Builds the expression: one clause per filled field, in the order title,
// category, carrier type, box, joined by " .and. " or " .or.  " (both seven
// characters), at most 255 characters. A text clause compares the upper-cased
// field with the field's text upper-cased by the engine's table (so "straße"
// finds "Straßenatlas"); its literal is put in double quotes, or in single
// quotes when the text holds a double quote. The box clause compares
// `boxnummer` with the box text, without quotes, when the text is neither
// empty nor "0". Every field empty (or the box 0) gives "".
//
// Refuses, with a qv::Error naming the field, a text holding both kinds of
// quote, and a box text that is not a number of digits; nothing else is
// checked, so a text is searched for exactly as typed.
QString buildQueryExpression(const QueryCriteria& criteria);

struct QueryOutcome {
    QString expression;
    // The engine's optimisation level (0, 1, 2); -1 when the expression was
    // empty and no check was made.
    int verdict = -1;
    // The entries in the subset.
    qint64 count = 0;
};

// Installs `expression` as the entry table's subset: the verdict of a
// non-empty expression goes to the progress window's detail line (and the
// window repaints), the subset is installed ("" installs none: every entry
// counts), the search-active state goes on and the table goes to the first
// entry of the subset. An error on the way leaves the rest to the caller's
// rollback (liftEntryQuery()).
QueryOutcome installEntryQuery(CatalogueSession& session, const QString& expression,
                               ScopedProgress& progress);

// Lifts the subset: every entry again, the search-active state off, the
// table on its first entry.
void liftEntryQuery(CatalogueSession& session);

// Adds `qvdb query` to the store tool.
void addQueryToolCommand();

}  // namespace qv
