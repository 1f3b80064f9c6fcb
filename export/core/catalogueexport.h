// Taking the catalogue out of the program: the entries with their fields and
// the names of their set status flags, and optionally their files, written
// as CSV (for spreadsheets), JSON Lines (for scripts) or one self-contained
// HTML page (for reading anywhere).
//
// The entries are either the ones the main window lists (its order and, while
// an entry query is in force, only its subset) or all entries in title
// order. An entry's files come in path order (the file table's first tag);
// released file records never belong to an entry.
//
// Every output file is written beside its final name and takes that name
// only when everything was written: a cancelled or failed export leaves no
// file under the chosen name (and an older file there as it was).
//
// The entry and file views are suspended while the export runs; the entry
// table goes back to its entry, and the file table is left in its first tag
// without a range (the caller scopes it to the current entry again).
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QIODevice;

namespace qv {

class CatalogueSession;

enum class ExportFormat { Csv, JsonLines, Html };

enum class ExportEntries {
    Listed,  // the main window's list: its order, and the query's subset
    All,     // every entry, in title order, whatever subset is installed
};

struct ExportOptions {
    ExportFormat format = ExportFormat::Csv;
    ExportEntries entries = ExportEntries::Listed;
    bool withFiles = false;
};

// A field's value as read from its record.
struct ExportValue {
    enum class Kind { Null, Text, Number, Date };
    Kind kind = Kind::Null;
    QString text;  // Text: trimmed on the right; Number: the plain number ("12", "0.5")
    QDate date;
};

struct ExportField {
    QString name;  // as stored, upper case
    char type = 'C';
};

struct ExportRecord {
    std::vector<ExportValue> values;  // in the fields' order
};

struct ExportEntry {
    ExportRecord record;
    QStringList statusNames;  // of the set flags, in flag order
    std::vector<ExportRecord> files;
};

// What every writer gets before the first entry.
struct ExportLayout {
    std::vector<ExportField> entryFields;
    std::vector<ExportField> fileFields;
    QStringList statusNames;  // the twelve names
    bool withFiles = false;
    qint64 entryCount = 0;
};

// Receives the entries in order; writes to the devices it was given.
class ExportWriter {
  public:
    virtual ~ExportWriter() = default;
    virtual void begin(const ExportLayout& layout) = 0;
    virtual void entry(const ExportEntry& entry) = 0;
    virtual void end() = 0;
};

// Progress and cancel: `started` once with the number of entries, then
// `advance` after each entry; when it returns false the export stops.
class ExportMonitor {
  public:
    virtual ~ExportMonitor() = default;
    virtual void started(qint64 entries) = 0;
    virtual bool advance(qint64 entriesDone, qint64 filesDone) = 0;
};

struct ExportResult {
    qint64 entries = 0;
    qint64 files = 0;
    bool cancelled = false;
    QStringList written;  // the files now under their final names
};

// The second CSV file of an export with files: "katalog.csv" gives
// "katalog-dateien.csv".
QString filesCsvPath(const QString& entriesPath);

// Exports the catalogue of `session` (entry and file tables open) to `path`
// (and, for CSV with files, to filesCsvPath(path)). `statusNames` are the
// names of flags 1 to 12 (lines 1 to 12 of the settings list; missing ones
// are empty).
// A file that cannot be written raises a qv::Error naming it.
ExportResult exportCatalogue(CatalogueSession& session, const QStringList& statusNames,
                             const QString& path, const ExportOptions& options,
                             ExportMonitor* monitor = nullptr);

// The writers, on devices opened for writing.
std::unique_ptr<ExportWriter> makeCsvWriter(QIODevice& entries, QIODevice* files);
std::unique_ptr<ExportWriter> makeJsonLinesWriter(QIODevice& out);
std::unique_ptr<ExportWriter> makeHtmlWriter(QIODevice& out);

// Number and date as the CSV file writes them: decimal comma, DD.MM.YYYY.
QString csvNumber(const QString& plainNumber);
QString germanDate(const QDate& date);

// Adds `qvdb export` to the store tool.
void addExportToolCommand();

}  // namespace qv
