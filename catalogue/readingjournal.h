// The journal that makes a carrier reading all or nothing.
//
// A reading replaces an entry's file list with a new one. It never leaves
// half of either behind: while it walks the carrier, the new file records
// are stored under the staging number kStagedEntryNumber (released records
// are reused as usual, new ones appended), and the entry's previous list
// stays under the entry's number, untouched. Only when the walk is complete
// is the list swapped: the previous records are released, then the staged
// ones get the entry's number.
//
// The journal `_qvdir.jrn` beside the catalogue names the entry and the
// stage reached. It is on disk (written, synced, renamed into place) before
// the first staged record, and before each stage of the swap; it goes when
// the swap is done. Whoever finds it settles the file table:
//  * Storing: the walk did not finish. The staged records are released, the
//    previous list is back as it was.
//  * Releasing: the walk had finished and the swap had begun. The previous
//    records still under the entry's number are released, then the staged
//    ones renamed: the reading is completed.
//  * Renaming: every previous record was released; the staged ones left are
//    renamed.
//  * Adding: the entry had no files, so the new records were stored under
//    its number straight away (there is nothing to swap). They are
//    released: the entry is without files again, as it was.
// Settling again after being killed while settling gives the same result.
//
// The start-up check settles a journal it finds once the tables are open
// and tells the user which entry it was. A reading that fails or is
// cancelled settles its own journal at once.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class TDM;
class TTable;

namespace qv {

class CatalogueSession;

// DIRNUMM of a file record stored by a reading that has not finished: no
// entry number (those are positive) and not a released record.
inline constexpr int kStagedEntryNumber = -9999999;

enum class ReadingStage { Storing, Releasing, Renaming, Adding };
// Whether settling the stage puts the previous list back (the reading is
// undone) rather than completing the reading.
bool undoesReading(ReadingStage stage);

struct ReadingJournal {
    int entry = 0;
    ReadingStage stage = ReadingStage::Storing;
};

// The journal's name in the catalogue folder, and its path.
inline constexpr char kReadingJournalFile[] = "_qvdir.jrn";
QString readingJournalPath(const TDM& dm);

// Puts the journal in place durably (an IoError naming the file when it
// cannot be written: nothing was changed then).
void writeReadingJournal(const QString& path, const ReadingJournal& journal);
// The journal at `path`, none when there is no such file. A file that is
// not a journal is an error naming it.
std::optional<ReadingJournal> readReadingJournal(const QString& path);
void removeReadingJournal(const QString& path);

// Gives every file record numbered `from` the number `to` (the file table's
// first tag is selected, which lifts any range); `counted(k)` after the k-th.
// Returns the count.
int renumberFileRecords(TTable& files, int from, int to,
                        const std::function<void(int count)>& counted = {});

// Finishes what the journal says on the open file table (see above) and
// removes the journal. Returns true when the previous list is back, false
// when the reading was completed.
bool settleReading(TTable& files, const QString& path, const ReadingJournal& journal);

// The start-up's part: settles a journal left behind, with the tables
// open, and returns the message naming the entry ("" when there was none).
QString settleInterruptedReading(TDM& dm);

}  // namespace qv
