// The entry operations of the main window as plain code on the catalogue
// session: creating an entry empty or as a copy, editing it, storing its
// additional text, and the automatic carrier number. The entry dialog is
// reached through an EntryEditor callback, so that the operations run (and
// are tested) without a screen.
//
// Numbers. Every new entry takes its number from the session's counter
// (neuenummer(), advanced before each use; a cancelled new entry consumes
// its number). The number is written in the same post as the record itself,
// so no entry is ever stored without one, and a copy never shares its
// source's number and file list.
//
// Every operation leaves the entry table in browse mode on every exit; an
// error leaves no half-written record (the pending edit or insert is
// cancelled) and the suspended views resumed.
#pragma once

#include <QString>

#include <array>
#include <functional>

class TTable;

namespace qv {

class CatalogueSession;

// The values of one entry as the entry dialog shows and returns them.
struct EntryFields {
    QString title;        // BEZEICH
    QString category;     // KATEGORIE
    QString carrierType;  // DISKART
    // The number fields as texts ("" for a blank field).
    QString carriers;  // PROGDSKS
    QString box;       // BOXNUMMER
    QString disk;      // DISKNUMMER
    // PROG01 ... PROG12 as stored (one character, " " for not set).
    std::array<QString, 12> storedFlags;
    // The ticks the dialog shows and returns.
    std::array<bool, 12> ticked{};
};

// A stored status flag counts as set when it holds any non-blank character.
bool flagIsSet(const QString& stored);
// The character written for flag i: a box left as it was shown keeps its
// stored character; a box the user ticked gives "x", one unticked " ".
QString flagToWrite(const EntryFields& f, int i);

// Which number field a conversion failed in.
enum class EntryNumberField { None, Carriers, Box, Disk };

// The converted numbers of the dialog's three number fields.
struct EntryNumbers {
    int carriers = 1;
    int box = 0;
    int disk = 0;
};

// Converts the number fields ("" or " " as carriers gives 1, "" as box and
// disk gives 0). A text that is no whole number raises the conversion error
// "'<text>' ist kein gültiger Integerwert"; a number outside the field's
// range (carriers 0 ... 99, box and disk 0 ... 99999) raises a Range error.
// `failed` (when given) names the field that failed.
EntryNumbers convertEntryNumbers(const EntryFields& f, EntryNumberField* failed = nullptr);

// The current record's values (texts trimmed at the right).
EntryFields readEntryFields(const TTable& entries);
// Writes the values into the current record, which must be in edit or
// insert state, in the order title, carriers, box, disk, carrier type,
// category, flags. Conversion errors are raised before anything is written.
void writeEntryFields(TTable& entries, const EntryFields& f);

// Shows `fields` to the user and returns true when the dialog ended with OK,
// with the fields as the user left them.
using EntryEditor = std::function<bool(EntryFields& fields)>;

// Edits the current entry: the entry and file views are suspended, the
// editor runs on the record in edit mode; OK posts the values, anything else
// cancels. The table ends on the edited record. Returns the editor's result.
// REQUIRES: hasCurrentEntry() (masterdata/lending.h).
bool editEntry(CatalogueSession& session, const EntryEditor& editor);

// A new empty entry: the next number, a new record at the physical end,
// edited in the editor. OK posts it with its number and stands on it; any
// other result leaves no record and returns to the entry that was current
// (to no record on an empty list). Returns the new entry's number, or 0
// when it was cancelled.
int newEntry(CatalogueSession& session, const EntryEditor& editor);

// A copy of the current entry: every field, the additional text as an
// independent text, the status flags and both lending references, with the
// next number and no file records. The copy is stored before the editor
// runs and stays whatever the editor's result; the table ends on it.
// Returns the copy's number. REQUIRES: hasCurrentEntry().
int copyEntry(CatalogueSession& session, const EntryEditor& editor);

// Stores `text` as the current entry's additional text. REQUIRES:
// hasCurrentEntry().
void storeAdditionalText(CatalogueSession& session, const QString& text);

// The next free carrier number in `box`: the highest carrier number of the
// box's non-deleted entries plus 1 (1 for a box without entries), read over
// the whole entry table whatever subset is installed; the table's order,
// range, record and state stay as they are. A box whose highest carrier
// number is 99999 has none left: Range error.
int nextCarrierNumber(CatalogueSession& session, int box);

}  // namespace qv
