// The start-up check `sys_init`: makes sure that every catalogue table and
// its index file exist, creating what is missing, and leaves the six table
// objects open. Run by the first activation of the main window, by the
// reorganisation and by the store tool's "init".
//
// Table by table, in the order file, extension, category, carrier-type,
// address, entry table:
//  1. A missing data file: its index file is discarded (a stale index without
//     its table), the table is created with its fields (create new, define
//     the fields, complete; the engine closes it again); a new address table
//     gets its two placeholder records "< Kein Eintrag >", the first without
//     number, the second numbered 99999.
//  2. The table object is opened (exclusive).
//  3. A missing index file is built tag by tag in the listed order through
//     the table's engine access object, the intro window showing the table's
//     text and the bar running once across the tags.
// After the six, the volume table (catalogue/volumetable.h) is made when
// missing and its index built when missing or unusable, without a line on
// the intro window; it is not held open.
//
// An index file that cannot be used counts as missing: one the engine
// refuses (damaged, not an index file, left interrupted and not rebuildable),
// one whose pages are damaged, or one without exactly the table's tags (a
// build cut short). It is deleted and built again; the data stays untouched.
//
// A data file shorter than its header says (cut short) is used with the
// records that are there; `notice` is told once, in German, which table lost
// how many records, and the check goes on (its index then refers to records
// past the end and is built again like a damaged one).
//
// A carrier reading that was cut short (readingjournal.h) is settled once
// the tables are open; `notice` names its entry.
//
// A failure to create a table shows its "Abbruch" message through `fatal`,
// which ends the program, and the check stops at once (no partial file is
// removed). Every other error (a table held open by another program, a
// damaged data file) is thrown as the engine raised it.
#pragma once

#include <QString>

#include <functional>

#include "catalogue/catalogueschema.h"
#include "store/displays.h"
#include "store/xbase/env.h"

class TDM;

namespace qv {

class CatalogueSession;

// Shows an "Abbruch" message and ends the program.
using FatalMessage = std::function<void(const QString& text)>;
// Tells the user of damage the check worked around.
using DamageNotice = std::function<void(const QString& text)>;

// Caption of the creation-failure messages.
inline const QString kFatalCaption = QStringLiteral("Abbruch");

// Runs the check. The views of the entry and file tables in `access` (bound
// to the tables of `dm`) are detached first; the caller re-attaches them.
// Returns false when a creation failure ended the program. `env` is the file
// seam the tables are created through.
bool checkCatalogue(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                    const FatalMessage& fatal, xb::Env& env = xb::Env::posix(),
                    const DamageNotice& notice = {});

// When the check cannot write (a full disk, a folder without write
// permission): the six tables opened read-only and shared, each with its
// index and its first tag selectable, so that the catalogue can be looked
// at and searched. True when that worked; false (every table closed again
// and writable as before) when a table or an index cannot be used as it is.
bool openCatalogueReadOnly(TDM& dm);
// The message for a catalogue opened read-only after the check failed with
// `reason` (the error's German text).
QString readOnlyStartText(const QString& reason);

// The notice for a data file cut short by `missing` records.
QString missingRecordsNotice(const QString& dataPath, std::uint32_t missing);

// Registers the intro window as the engine's progress receiver for its
// lifetime.
class IntroGaugeHook {
  public:
    explicit IntroGaugeHook(IntroDisplay& intro);
    ~IntroGaugeHook();
    IntroGaugeHook(const IntroGaugeHook&) = delete;
    IntroGaugeHook& operator=(const IntroGaugeHook&) = delete;
};

// Deletes a catalogue file; a missing one is no error. An IoError naming the
// file when it stays.
void removeCatalogueFile(const QString& path);

}  // namespace qv
