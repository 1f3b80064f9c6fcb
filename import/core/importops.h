// The import from the predecessor catalogue as plain code on the catalogue
// session: every non-deleted record of the source table (the predecessor's
// converted table "tessarin.dbf") becomes a new entry of the entry table.
//
// Source. Any table with at least the fields BEZEICH, KATEGORIE, DISKART,
// PROG01 ... PROG12 (read as text) and BOXNUMMER, DISKNUMMER, PROGDSKS (read
// as whole numbers); other fields are not read. It is only read.
//
// Mapping. Each text is the source field's text, padded to the source
// field's width, followed by one blank, cut to the entry field's width (so
// an empty source text is written as blanks). The numbers are taken as they
// are: BOXNUMMER and DISKNUMMER 0 ... 99999, PROGDSKS 0 ... 99.
//
// Numbers. The first new entry gets the highest entry number of every
// non-deleted entry plus 1, read past any installed subset; each further one
// the next higher number. Afterwards the session's counter stands past every
// imported number.
//
// Failures. The required fields are checked before anything is appended.
// Each record's values are read and converted before its append, so an
// error (naming the source record) leaves no half-written entry; entries
// imported before it stay. A write that fails (a full disk) takes the whole
// import back: the entry table is as it was before, and the error says so.
#pragma once

#include <QString>

#include <functional>

class TTable;

namespace qv {

class CatalogueSession;

// The name of the source table in the directory the user picks.
inline const QString kImportTableName = QStringLiteral("tessarin.dbf");

struct ImportResult {
    int imported = 0;
    int firstNumber = 0;  // 0 when nothing was imported
    int lastNumber = 0;
};

// Raises a NotFound error naming the first required field `source` lacks.
void checkImportSource(const TTable& source);

// Imports every non-deleted record of the open `source` in record order
// into the session's entry table (which must be open). `step` (when given)
// is called after each imported record with the number imported so far.
// The source table ends past its last record; the entry table stands on the
// last imported entry (or where it stood), in the order it had. An error
// after some entries were imported says how many; after a failed write the
// import is taken back and the entry table closed and opened again.
ImportResult importEntries(CatalogueSession& session, TTable& source,
                           const std::function<void(int imported)>& step = {});

}  // namespace qv
