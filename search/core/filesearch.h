// The search in all files, without windows: the file records of every entry
// in one list, ordered by file name or by extension, a prefix search in that
// order, and the entry that holds the file under the cursor.
//
// The list reads the file table through the data module's second, read-only
// table object (`tbl_recherche2`). The file table's own table object opens
// the same file exclusively, so it has to be closed while the list is open:
// FileSearchTables does that for a command and undoes it on every exit.
//
// Both orders are tags whose condition leaves released file records out, so
// they are never listed.
//
// The owning entry is found through the entry table's first tag by the file
// record's number. That moves the entry table: callers keep its controls
// suspended and put it back afterwards (the command does both). An entry
// hidden by an installed entry query is still found (looked up past the
// subset); a number no entry carries gives an empty owner.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TApollo;
class TDataSource;
class TTable;

namespace qv {

class CatalogueSession;

// The two orders of the list, as the window's tabs number them.
enum class FileOrder { Name = 0, Extension = 1 };

// The entry that holds a file record, as the window's value labels show it.
struct FileOwner {
    bool found = false;
    int number = 0;
    QString title;        // bezeich, trimmed
    QString category;     // kategorie, trimmed
    QString carrierType;  // diskart, trimmed
    int carriers = 0;     // progdsks
    int box = 0;          // boxnummer
    int disk = 0;         // disknummer
    // "12 / 3"; "" without an owner.
    QString boxAndDisk() const;
};

// One row of the list, as the store tool prints it.
struct FileHit {
    int owner = 0;
    QString title;  // the owner's title, "" without one
    QString path;   // dirpfad, trimmed
};

class FileSearch {
  public:
    explicit FileSearch(CatalogueSession& session);
    ~FileSearch();
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    CatalogueSession& session() const { return m_session; }
    // The read-only view on `tbl_recherche2` and its engine access object.
    TDataSource& view() const { return *m_view; }
    TApollo& apollo() const { return *m_apollo; }
    TTable& table() const;

    // Opens the read-only table object, selects the name order, goes to the
    // first file and selects the entry table's first tag. The file table's
    // own table object must be closed.
    void open();
    // Closes the read-only table object (nothing when it is closed). With
    // `parkView` the view stays suspended until the next open() (for a
    // window that hides its grid meanwhile).
    void close(bool parkView = false);
    bool isOpen() const;

    FileOrder order() const { return m_order; }
    // Selects the order's tag and goes to its first file.
    void setOrder(FileOrder order);

    // Seeks `text` (upper-cased with the engine's table) as the leading
    // characters of the keys of the current order. Found: the first such
    // file is current. Not found: the file that was current stays current.
    bool search(const QString& text);

    // The entry that holds the current file record (none past the end).
    FileOwner owner();

    // Counts a slice of the current order's tree ahead of the searches (a
    // search finds the row of its file only after counting the part of the
    // tree before it, which at millions of files takes long the first
    // time); for idle time, a few milliseconds a call. Does not move the
    // list. False when the order is counted through.
    bool countAhead();
    static constexpr int kCountSlices = 64;

    // Up to `limit` rows from the current file on, in the current order;
    // the list moves to the last of them.
    std::vector<FileHit> rowsFromHere(int limit);

  private:
    // The record of entry `number` past any subset or filter, 0 when there
    // is none.
    std::uint32_t entryRecordPastSubset(int number);

    CatalogueSession& m_session;
    std::unique_ptr<TDataSource> m_view;
    std::unique_ptr<TApollo> m_apollo;
    FileOrder m_order = FileOrder::Name;
    // Entry numbers and their records in number order, read once per opening
    // when an entry was hidden by a subset.
    std::vector<std::pair<int, std::uint32_t>> m_allEntries;
    bool m_allEntriesRead = false;
    std::array<int, 2> m_countedSlices{};  // per order, see countAhead()
    bool m_parked = false;                 // the view suspended by close()
};

// Hands the file table over to the search for its lifetime: closes the file
// table's own table object; when it goes away (an error included) it closes
// the read-only one, reopens the file table and selects its first tag.
class FileSearchTables {
  public:
    explicit FileSearchTables(CatalogueSession& session);
    ~FileSearchTables();
    FileSearchTables(const FileSearchTables&) = delete;
    FileSearchTables& operator=(const FileSearchTables&) = delete;

  private:
    CatalogueSession& m_session;
};

}  // namespace qv
