// Files the catalogue holds more than once, and whether a carrier's files
// are all kept elsewhere as well.
//
// Two file records are copies of one file when their keys agree under the
// chosen rule: name and extension (case folded as the engine's upper() does)
// and size; optionally the last-write date and time as well; or, ignoring
// the name, size, date and time. Only file records of live entries count:
// released records (number 99999999), records whose entry is marked deleted
// and records whose number no entry carries are passed over.
//
// Both operations read the file table straight through the engine in large
// blocks, in record order, without moving the table object, its tag, scope
// or record: the main window's file list stays as it is. They only read;
// nothing is written. A progress callback may stop them (then they answer
// nothing).
//
// Grouping: every counted record gets a 64-bit hash of its key; the hashes
// are partitioned and sorted, and the records of each run of equal hashes
// are read again and compared byte by byte, so a group holds exactly the
// records with equal keys.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace xb {
class Table;
}

namespace qv {

class CatalogueSession;

enum class DuplicateRule {
    Name,         // name + extension + size
    NameAndDate,  // name + extension + size + date + time
    SizeAndDate,  // size + date + time, the name ignored
};

struct DuplicateOptions {
    DuplicateRule rule = DuplicateRule::Name;
    std::int64_t minSize = 0;  // files below this size are passed over
    QStringList extensions;    // only these extensions (any case); empty: all
    // Only files of the entries in the installed entry query (all entries
    // when no query is installed).
    bool onlyQueryEntries = false;
};

// A live entry as the windows name it.
struct EntryRef {
    int number = 0;  // eindeutig
    std::uint32_t recno = 0;
    QString title;  // bezeich, trimmed
    int box = 0;
    int disk = 0;
    QString boxAndDisk() const { return QStringLiteral("%1 / %2").arg(box).arg(disk); }
};

// One file record of a group.
struct FileCopy {
    std::uint32_t recno = 0;
    int owner = 0;
};

struct DuplicateGroup {
    std::int64_t size = 0;
    std::uint32_t first = 0;   // index of its first copy in DuplicateReport::copies
    std::uint32_t copies = 0;  // two or more
    // The space the copies beyond the first take.
    std::int64_t wasted() const { return size * (static_cast<std::int64_t>(copies) - 1); }
};

struct DuplicateReport {
    // Largest wasted space first (then larger files, then by key).
    std::vector<DuplicateGroup> groups;
    // The copies of each group together, by entry number, then record.
    std::vector<FileCopy> copies;
    std::int64_t copyCount = 0;    // copies in all groups
    std::int64_t wastedBytes = 0;  // sum of wasted()
    std::int64_t filesCounted = 0;
};

// What a carrier's files have in common with another entry.
struct SharedWith {
    EntryRef entry;
    std::int64_t files = 0;  // files of the compared carrier this entry holds too
    std::int64_t bytes = 0;
};

struct OnlyHereFile {
    std::uint32_t recno = 0;
    QString path;  // the kept whole path, else dirpfad trimmed
    std::int64_t size = 0;
};

struct CarrierComparison {
    EntryRef entry;
    std::int64_t files = 0;  // the carrier's files
    std::int64_t bytes = 0;
    std::int64_t elsewhere = 0;  // of them found on at least one other entry
    // Most files first (then more bytes, then entry number).
    std::vector<SharedWith> sharedWith;
    // In path order.
    std::vector<OnlyHereFile> onlyHere;
    std::int64_t onlyBytes = 0;
    // "Alle 1.234 Dateien sind auch auf anderen Datenträgern vorhanden." or
    // "17 Dateien (2,3 MB) gibt es nur hier."
    QString verdict() const;
};

// Called now and then with the share done (0 ... 1000); false stops the work.
using ScanProgress = std::function<bool(int permille)>;

// The live entries, by number (the entry table must be open).
class EntryDirectory {
  public:
    explicit EntryDirectory(CatalogueSession& session, bool onlyQueryEntries = false);
    // nullptr for a number no counted entry carries.
    const EntryRef* find(int number) const;
    bool counts(int number) const;
    std::size_t size() const { return m_entries.size(); }

  private:
    std::vector<EntryRef> m_entries;  // by number
    std::vector<std::uint64_t> m_bits;
};

// All groups of copies among the counted files; nothing when stopped.
std::optional<DuplicateReport> findDuplicates(CatalogueSession& session,
                                              const DuplicateOptions& options,
                                              const ScanProgress& progress = {});

// The files of entry `number` against those of every other live entry;
// nothing when stopped. The entry must be live (else a qv::Error).
std::optional<CarrierComparison> compareCarrier(CatalogueSession& session, int number,
                                                DuplicateRule rule,
                                                const ScanProgress& progress = {});

// A file record's path (trimmed) and size, read without moving the table.
struct FileFacts {
    QString path;
    QString name;  // dirname, trimmed
    QString extension;
    std::int64_t size = 0;
    QString date;  // "dd.mm.yyyy"
    QString time;
    // The whole path the reading kept in the memo when name or path had to
    // be cut; empty when the fields hold it all.
    QString fullPath;

    // The name and the path as the windows show them: the kept whole ones
    // where there are, else the fields' (the extension added to a name
    // stored without it).
    QString shownName() const;
    QString shownPath() const { return fullPath.isEmpty() ? path : fullPath; }
};
FileFacts readFileFacts(CatalogueSession& session, std::uint32_t recno);

// The paths of the file records `ascending` (record numbers in ascending
// order), read in as few reads as they allow: the whole path where the
// reading kept one, else the field's, trimmed.
std::vector<QString> readPaths(CatalogueSession& session,
                               const std::vector<std::uint32_t>& ascending);

// "1.234" (German thousands separator).
QString groupedNumber(std::int64_t n);
// "512 Bytes", "2,3 KB", "2,3 MB", "1,1 GB" (powers of 1024).
QString byteText(std::int64_t bytes);

}  // namespace qv
