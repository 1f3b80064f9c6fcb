// Reading a carrier into the catalogue, and releasing an entry's file
// records. Plain operations on the catalogue session: the reading dialog,
// the deletion dialog and the store tool call the same code.
//
// Releasing. A file record is never deleted: its DIRNUMM becomes 99999999
// (qv::kReleasedEntryNumber), which takes it out of the tags "namealle" and
// "endungalle" and groups it under the leading key "99999999" of the tag
// "dirnumm", where the next reading of any carrier finds it again and reuses
// it before the table grows.
//
// Reading. For the entry with number n: check that the volume root can be
// listed (nothing changes when it cannot), open the extension table when
// only defined extensions are taken, walk the volume (carrierwalk.h) and
// store each taken file in a released record or a new one, written at once;
// then swap the lists. The progress window shows the phases; exact
// comparison is on only while walking with the extension filter and
// restored on every exit, and the extension table is closed at the end.
//
// All or nothing. A reading replaces the entry's file list whole or not at
// all (the journal and the staging number of catalogue/readingjournal.h):
// the new records are stored under the staging number while the previous
// list stays under the entry's number, and only a complete walk swaps them
// (previous records released, staged ones renamed). A walk that fails (a
// full disk, an unreadable carrier) or is cancelled with the progress
// window's "Abbrechen" releases its staged records again and leaves the
// previous list as it was; the error says so. A kill during the walk is put
// back the same way by the next start-up check, a kill during the swap is
// completed by it. The swap itself cannot be cancelled.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

#include "reading/core/carrierwalk.h"

namespace qv {

class CatalogueSession;
class ProgressDisplay;

struct ReadingOptions {
    bool subdirectories = true;         // "mit Unterverzeichnissen"
    bool definedExtensionsOnly = true;  // "nur definierte Endungen"
};

// The values one file record receives (Windows-1252 bytes, cut to the
// fields' widths).
//
// Full names. When the name or the path had to be cut, or a character of
// either became "?", the record's memo DIRMEMO keeps the whole path in UTF-8
// as the file system named it, in the form of DIRPFAD (directory from the
// volume root with its trailing "/", one blank, the name). Records whose
// values fit get no memo. A record that is reused or released loses the
// memo it held, so a memo always belongs to the file its record describes.
struct FileRecordValues {
    std::string path;       // DIRPFAD: directory, one blank, name; 86 at most
    std::string name;       // DIRNAME: 15 at most
    std::string extension;  // DIRENDUNG: after the last dot, 3 at most
    std::int64_t size = 0;  // DIRSIZE: capped at 9999999999
    std::int32_t date = 0;  // DIRDATE: Julian day, 0 for the empty date
    std::string time;       // DIRTIME: "HH:mm", local time
    std::string fullName;   // DIRMEMO: UTF-8, "" when the values above fit
};

inline constexpr int kPathWidth = 86;
inline constexpr int kNameWidth = 15;
inline constexpr int kExtensionWidth = 3;
inline constexpr std::int64_t kLargestFileSize = 9999999999LL;

FileRecordValues fileRecordValues(const WalkedFile& file);

// The three characters the extension table is searched for: the extension
// with its dot, upper-cased with the engine's table, four blanks appended,
// characters 2 to 4 (".exe" EXE, ".c" "C  ", none "   ").
std::string extensionKey(const std::string& name);

// "Bearbeitet: 3 Datensätze".
QString releasedCountText(int count);

// Raises an error with a message unless 1 <= n <= 99999998 (99999999 marks
// released records, so an entry with it could never be released).
void requireEntryNumber(int n);

// Releases every file record of entry `n`, whatever range, order or record
// the file table shows (its first tag is selected, which lifts a range).
// `counted(k)` is called after the k-th record. Returns the count.
int releaseFileRecords(CatalogueSession& session, int n,
                       const std::function<void(int count)>& counted = {});

struct ReadingResult {
    int released = 0;
    int stored = 0;
    int reused = 0;          // of the stored ones, how many went into released records
    int skipped = 0;         // folders and paths the walk could not read
    bool cancelled = false;  // "Abbrechen": nothing changed
};

// "12 Ordner konnten nicht gelesen werden" ("" for none).
QString skippedText(int skipped);

// ---- before a reading -----------------------------------------------------------
// A reading releases the entry's file list before it walks the carrier, so
// a carrier that is gone (ejected: the empty mount-point folder stays) or
// an extension list that takes nothing would leave the entry without files.
// The reading dialog asks first; `qvdb read` refuses.

// How many file records entry `n` holds. Selects the file table's first
// tag (which lifts a range), like the release does.
int fileRecordCount(CatalogueSession& session, int n);
// Whether the walk from `root` with `options` meets at least one file
// (before the extension filter); false for a root that cannot be listed.
bool rootHoldsFiles(const QString& root, const ReadingOptions& options,
                    DirectorySource* source = nullptr);
// Whether the extension table lists no extension, so that the mode "nur
// definierte Endungen" would store nothing.
bool extensionListEmpty(CatalogueSession& session);
// The device of the file system `root` lies on (0 when it cannot be
// reached): a mount point shows another device once its medium is gone.
std::uint64_t rootDevice(const QString& root, DirectorySource* source = nullptr);
// The questions before a reading that would release `files` file records:
// for a carrier without files, and for one no longer mounted.
QString emptyCarrierQuestion(int files);
QString unmountedCarrierQuestion(int files);
// The question before a reading in the mode "nur definierte Endungen" with
// an empty extension list.
QString noExtensionsQuestion();

// Reads the volume mounted at `root` (a directory) as the carrier of entry
// `n`. `source` lists the directories (the file system when null). Raises an
// error, with nothing changed, for an entry number outside the range or a
// root that cannot be listed.
ReadingResult readCarrier(CatalogueSession& session, int n, const QString& root,
                          const ReadingOptions& options, ProgressDisplay& display,
                          DirectorySource* source = nullptr);

}  // namespace qv
