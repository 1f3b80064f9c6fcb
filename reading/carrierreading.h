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
// listed (nothing is released when it cannot), release the entry's file
// records, open the extension table when only defined extensions are taken,
// walk the volume (carrierwalk.h) and store each taken file in a released
// record or a new one, written at once. The progress window shows the
// phases; the engine's soft seek is off only while releasing and exact
// comparison on only while walking with the extension filter; both are
// restored on every exit, and the extension table is closed at the end.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

#include "reading/carrierwalk.h"

namespace qv {

class CatalogueSession;
class ProgressDisplay;

struct ReadingOptions {
    bool subdirectories = true;         // "mit Unterverzeichnissen"
    bool definedExtensionsOnly = true;  // "nur definierte Endungen"
};

// The values one file record receives (Windows-1252 bytes, cut to the
// fields' widths).
struct FileRecordValues {
    std::string path;       // DIRPFAD: directory, one blank, name; 86 at most
    std::string name;       // DIRNAME: 15 at most
    std::string extension;  // DIRENDUNG: after the last dot, 3 at most
    std::int64_t size = 0;  // DIRSIZE: capped at 9999999999
    std::int32_t date = 0;  // DIRDATE: Julian day, 0 for the empty date
    std::string time;       // DIRTIME: "HH:mm", local time
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
    int reused = 0;  // of the stored ones, how many went into released records
};

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
