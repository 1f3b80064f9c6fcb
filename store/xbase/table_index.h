// xb::TableIndex, the index side of an engine table and the public index
// API of a table: the production index with its tags kept up to date, tag
// orders, seek and scope, counts and order positions, the query subset and
// the filter. xb::Table keeps the records, the memos and the current record;
// every table owns one TableIndex for as long as it lives, and callers reach
// it through Table::index() (table.index().seek(...)).
//
// Seams with the table. The two talk along these lines only:
//  * Records: the table reports every committed record to its index
//    (recordCommitted()) after the DBF write and before any other observer,
//    with the old bytes (nullptr for an append) and the new ones; the index
//    updates its tags and its list of flagged records. Before the write the
//    index refuses a change that would take the index file past its limit
//    and puts its crash marker on disk.
//  * Orders: a tag order is a RecordOrder installed with
//    Table::setOrder(std::unique_ptr<RecordOrder>); the table reports every
//    order installed (a foreign one counts as natural order here).
//  * Visibility: the table asks the index whether a record passes the query
//    subset and the filter; the deleted setting is the table's.
//  * Host: beyond Table's public members the index uses only the table's
//    TableIndexHost (table.h), handed over at construction: the table's
//    checks, reads straight from the data file, and the moves that place the
//    current record (stand on a record, on the first visible one from an
//    order position, on the phantom record).
// The members the table calls along these lines are grouped below under
// "the owning table's side"; nothing else calls them.
//
// The implementation is split by concern: attaching, tags and orders in
// table_index.cpp; tag upkeep on commits, batches, building and reindexing
// in table_index_upkeep.cpp; seek, scope, counts and order positions in
// table_index_position.cpp (with unfiltered walks and seek runs in
// table_walk.cpp); the query subset and the filter in table_index_query.cpp.
//
// Production index. When `<table>.nsx` lies beside the table (same base
// name, the extension in the case of the table's), opening the table
// attaches it: read-write on an exclusive open, read-only otherwise. Every
// tag's key and FOR condition are compiled once, and every committed record
// updates every tag (old key and FOR result from the old bytes, new ones from
// the new bytes), after which the index's changed pages are written (no
// fsync). An index left with its crash marker is rebuilt from the records on
// an exclusive open and refused (Corrupt) on a read-only one. A damaged or
// foreign index raises Corrupt naming the file. Tag orders are in
// tag_order.h.
//
// Visibility. Navigation, counts and order positions see a record when it
// passes the deleted setting, the installed query subset and the filter; in
// a tag order also when it lies inside the tag's scope.
//
// Errors name the table or the index file. Not thread-safe; the program has
// one thread (a bulk build uses a second one internally).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/env.h"
#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "store/xbase/table.h"

namespace xb {

class NsxFile;
class NsxBulkBuild;
struct NsxTagDef;
struct TagRuntime;
class TagOrder;
struct RankedRecnos;
struct QuerySource;
struct ViewList;

class TableIndex final : public RecordObserver {
  public:
    // The index side of `table`, which lends it `host` (the table itself),
    // whose files live in `env`; attaches nothing yet (the table does that
    // when it opens).
    TableIndex(Table& table, TableIndexHost& host, Env& env);
    ~TableIndex() override;
    TableIndex(const TableIndex&) = delete;
    TableIndex& operator=(const TableIndex&) = delete;

    // ---- production index ----
    // The attached index, nullptr when the table has none.
    NsxFile* indexFile() { return nsx_.get(); }
    bool hasIndex() const { return nsx_ != nullptr; }
    // What makes the attached index unusable for this table: damaged pages
    // or structures (NsxFile::verify()) and entries for records past the
    // table's end (a data file cut short). German texts naming the file; empty
    // when it is sound or there is no index. Reads every page of the index.
    std::vector<std::string> indexFaults();
    // The index's path for this table (whether or not the file exists).
    std::string indexPath() const;
    int tagCount() const;
    // 1-based, upper case as stored; Range error outside 1 ... tagCount().
    std::string tagName(int position) const;
    // Any case; 0 when there is no such tag.
    int tagPosition(std::string_view name) const;
    // Makes tag `position` the current order (0 = natural record order);
    // Range error outside 0 ... tagCount(). Clears the scope. The current
    // record stays current (a pending change is committed first).
    void setOrder(int position);
    // Current tag position, 0 = natural order.
    int order() const { return orderPos_; }
    // The type of the current tag's keys; Character in natural order.
    ExprType orderKeyType() const;
    // The key bytes of a number or a Julian day number, as numeric and date
    // tags hold them (for seek() and setScope()).
    static std::string numberKey(double value);
    // Creates (or re-creates, keeping its position) a tag in the production
    // index, creating the index file when it is missing and setting header
    // byte 28. The tag is bulk-built over all records (FOR honoured; the
    // deleted setting, query and filter ignored) with progress 0 ... 100
    // through reportProgress(). The key length is the key's width on the
    // blank record (InvalidArgument when that is 0), the key type the
    // result's type. Key and FOR texts are stored through dottedOperators(),
    // the name upper-cased. The new tag becomes the current order and the
    // table goes to its first record. State error on a read-only table,
    // Syntax for a bad expression, InvalidArgument for a bad name or a 51st
    // tag. Crash-safe: the tag is built in a copy of the index beside it
    // (`<index>.rebuild`) that then replaces the index, so a kill at any
    // instant leaves the old index or the new one.
    void indexTag(std::string_view name, std::string_view keyExpr, std::string_view forExpr = {},
                  bool unique = false, bool descending = false);
    // Rebuilds every tag from the records in one pass over the table, with
    // progress 0 ... 100. Key and FOR texts are written in the dotted form.
    // The current order stays selected (its scope is cleared); the table
    // goes to its first record. Does nothing without an index.
    void reindex();
    // Walks the entries of tag `position` (1-based) in key order, backwards
    // from the last when `backward`, past any range, subset or filter, and
    // calls fn(recno) for each until it returns false. Reads that must see
    // every record whatever the view shows (the highest number, a box's
    // numbers) use it; the table's own position and order stay as they are.
    // Range error when there is no such tag.
    void walkTagUnfiltered(int position, bool backward,
                           const std::function<bool(std::uint32_t recno)>& fn);

    // ---- seek and scope (current tag) ----
    // xBase SEEK in the current tag: character tags compare the given bytes
    // with the leading bytes of the keys (a prefix; cut to the key length);
    // numeric and date tags take seekNumber()/seekDate() (or the 8 encoded
    // bytes here). The table goes to the first entry in order whose key is
    // not below the value and then on to the first visible record; found()
    // tells whether that record's key begins with the value. On a miss the
    // table stays there with soft seek on and goes to eof with it off
    // (settings()). SET EXACT has no effect. State error in natural order.
    bool seek(std::string_view keyBytes);
    // The records a seek() for `value` followed by skip(1) visits while the
    // key begins with the value, in order: the visible records of the
    // current tag (inside its scope) whose key begins with `value`. One
    // descent for the whole run instead of one per record, for loops that
    // change every record of a key range. The table is left after the run
    // (eof when it reached the end). State error in natural order.
    std::vector<std::uint32_t> seekRun(std::string_view value);
    // InvalidArgument on a character tag.
    bool seekNumber(double value);
    bool seekDate(std::int32_t julianDay);
    bool found() const { return found_; }
    // Limits the current tag to keys whose leading bytes lie in [top,
    // bottom] (each bound compared over its own length; numeric and date
    // bounds as 8 encoded bytes) and goes to the first visible record in
    // range (eof when none). An empty optional leaves that end open; both
    // empty = clearScope(), which does not move. State error in natural
    // order.
    void setScope(std::optional<std::string> top, std::optional<std::string> bottom);
    // Lifts the scope; the table stays where it is.
    void clearScope();
    bool hasScope() const;

    // ---- counts and positions ----
    // Records the current order shows (order, scope, query, filter, deleted
    // setting). In O(log n) without query and filter once the flagged
    // records are known: from the note the index keeps of them when it was
    // closed cleanly, else by one scan on first use; then kept up to date,
    // and noted again at close. With a query or filter the visible records
    // are listed once and the list is reused until the table, the order or
    // the settings change.
    std::uint64_t count();
    // 1-based position of the current record in the current order; 0 at
    // eof or when the current record is not visible there.
    std::uint64_t orderRecNo();
    // Goes to the record at 1-based position `pos` of the current order;
    // false (and eof) outside 1 ... count().
    bool gotoOrderPosition(std::uint64_t pos);
    // The record number at position `pos` without moving; 0 outside
    // 1 ... count().
    std::uint32_t recnoAtOrderPosition(std::uint64_t pos);
    // The record numbers at the `n` positions from `first` on, as
    // recnoAtOrderPosition() gives them one by one, in about the time of one.
    void recnosAtOrderPositions(std::uint64_t first, std::uint32_t* out, std::size_t n);

    // ---- query and filter ----
    // How far the production index's tags answer `expr` (the query
    // planner's verdict, query.h): 0 no clause, 1 some clauses, 2 every
    // clause. Syntax error for a bad (or non-logical) expression. Commits a
    // pending change first.
    int queryTest(std::string_view expr);
    // Installs the records matching `expr`, found by the query planner from
    // the tags where it can and by evaluating records where it must, as the
    // table's subset, and goes to the first visible record; "" lifts the
    // subset. The set is fixed when installed: with the deleted setting on it
    // holds no flagged record, later changes of records do not move records
    // in or out of it (setQueryBit() does). Commits a pending change first.
    void query(std::string_view expr);
    bool queryActive() const { return queryActive_; }
    // Whether `recno` is in the subset (every record is without a query).
    bool queryBit(std::uint32_t recno) const;
    // Adds `recno` to the subset or takes it out; State error without a query.
    void setQueryBit(std::uint32_t recno, bool on);
    // Navigation shows only records for which `expr` is true, evaluated as
    // the table moves; "" lifts the filter. The table stays where it is.
    void setFilter(std::string_view expr);
    bool filterActive() const { return !filter_.empty(); }

    // ---- the owning table's side (table.cpp, table_pack.cpp) ----
    // Called by the table that owns this index and by nothing else.

    // The table's batch (Table::beginBatch()) begins or ends: the cache is
    // held to Table::kBatchCacheBudget meanwhile, and the pages changed by
    // the batch's commits are written every Table::kBatchCommits commits and
    // at its end.
    void beginBatch();
    void endBatch();
    // A batch that puts the tags' upkeep off to its end (Table::beginBatch):
    // from here on the commits only collect each tag's changes; the end
    // brings them in, sorted, by merging them into the tree when they are
    // many (NsxTag::merge), else one by one. Unique tags are kept up to date
    // on every commit as always. A tag order cannot be chosen meanwhile.
    void beginDeferredUpkeep(std::size_t expectedChanges = 0);
    void endDeferredUpkeep();
    bool upkeepDeferred() const { return deferred_; }
    // Deferred changes are brought in early whenever this many records
    // have changed, so that a long batch does not grow the program without
    // end (kDeferredRecords unless set).
    void setDeferredRecordsLimit(std::size_t records) {
        deferredLimit_ = std::max<std::size_t>(records, 1);
    }
    // Attaches `<table>.nsx` when it lies beside the table (see above).
    void attachIndex();
    // Notes the flagged records in the index, drops the order and every tag
    // and closes the index file; the index is detached afterwards.
    void dropIndexState();
    // Syncs the index file on a writable table.
    void sync();
    // Whether record `recno` with bytes `rec` passes the query subset and
    // the filter.
    bool passes(std::uint32_t recno, const std::uint8_t* rec) const {
        if (queryActive_ && !queryBit(recno)) return false;
        return filter_.empty() || filter_.evalBool({rec, recno});
    }
    // Before a commit writes anything: IoError when an insert into every
    // tag could take the index file past its limit (limits.h).
    void requireRoomForCommit();
    // Just before the record's DBF write: the index's crash marker on disk.
    void beforeRecordWrite();
    // Records the index already names did not reach the table file (a write
    // of a batch failed): the crash marker stays, and the next open builds
    // the index again from the records.
    void recordsLost();
    // The records were put back behind the index's back (Table::takeBack):
    // every tag is built again from them, in the index file itself when
    // there is no room beside it.
    void rebuildFromRecords();
    // Ends a batch without writing its pages (the tags are built again).
    void endBatchUnwritten();
    // Whether recordCommitted() needs the old bytes of a changed record.
    bool wantsOldRecord() const { return indexed() || flaggedKnown_; }
    // Updates the tags and the flagged records (see above).
    void recordCommitted(std::uint32_t recno, const std::uint8_t* oldRecord,
                         const std::uint8_t* newRecord) override;
    // The table installed another order (a tag order of ours or a foreign
    // one): forget the tag order until installOrder() names it again.
    void orderReplaced();
    // Something changed what the view shows: lists and position caches go.
    void invalidateView();
    // The table found record `recno` outside the table while walking the
    // current order: Corrupt naming the index and the tag, when the order is
    // a tag order; nothing otherwise.
    void checkOrderRecord(std::uint32_t recno) const;
    // Pack: the files are about to be replaced (crash marker, synced); the
    // query subset is lifted; the packed table's tags are rebuilt with
    // progress `progressFrom` ... 100 and it has no flagged records.
    bool hasTags() const { return indexed(); }
    void beforeFilesReplaced();
    void dropQuery();
    void afterPack(int progressFrom);

  private:
    // ---- internals ----
    bool indexed() const { return nsx_ && !tags_.empty(); }
    void compileTags();
    void maintainIndex(std::uint32_t recno, const std::uint8_t* oldRec, const std::uint8_t* newRec);
    // The damage of a tag that lacks the pair of `recno` it should hold:
    // marks the index damaged and returns the error to throw.
    qv::Error missingEntry(const TagRuntime& rt, std::uint32_t recno);
    // Ends a deferred upkeep without bringing its changes in; unless the
    // tags are `rebuilt` from the records next, the index is marked damaged
    // when there were any.
    void dropDeferredUpkeep(bool rebuilt = false);
    // Deferred changes of a tag are merged into its tree when that costs
    // less than making them one by one: a single insert costs about as much
    // as carrying kInsertWeight entries through a merge, a single remove
    // kRemoveWeight (measured on a file table of a million records).
    static constexpr std::uint64_t kInsertWeight = 16;
    static constexpr std::uint64_t kRemoveWeight = 8;
    static constexpr std::size_t kDeferredRecords = 1u << 18;
    // Notes a change of `recno` in a deferred upkeep; true for its first.
    bool touch(std::uint32_t recno);
    void forgetTouched();
    // Brings the deferred changes in (the upkeep stays deferred).
    void applyDeferred();
    // Builds every tag again from the records beside the index; with
    // `inPlaceWhenFull` in the index file itself when there is no room for
    // a second one (for an index that is torn anyway).
    void rebuildAllTags(int progressFrom, int progressTo, bool inPlaceWhenFull = false);
    std::unique_ptr<NsxBulkBuild> collectKeys(const std::vector<NsxTagDef>& defs, int from, int to);
    void installOrder(int position);
    TagOrder& requireTagOrder(const char* what) const;
    bool seekBytes(std::string_view value);
    void ensureFlagged();
    // Leaves the record count and the flagged records, when known, in the
    // index's note (NsxFile::setTableNote).
    void noteFlagged();
    ViewList& viewList();
    bool simpleCounts() const { return !queryActive_ && filter_.empty(); }
    std::uint32_t naturalAtPosition(std::uint64_t pos);
    std::uint32_t tagAtPosition(std::uint64_t pos, bool move);
    // Stands `to` on the visible entry at `pos`; returns its record number.
    std::uint32_t standAtPosition(TagOrder& to, std::uint64_t pos);
    // The query planner's view of this table and its index.
    QuerySource plannerSource();

    // The table's facts and moves the code above uses.
    const std::string& path() const { return table_.path(); }
    bool readOnly() const { return table_.readOnly(); }
    const FieldList& fields() const { return table_.fields(); }
    std::uint32_t recCount() const { return table_.recCount(); }
    std::uint16_t recordLength() const { return table_.recordLength(); }
    const DbfHeader& header() const { return table_.header(); }
    void requireOpen() const { host_.requireOpenTable(); }
    void requireWritable() const { host_.requireWritableTable(); }
    void commitRecord() { table_.commitRecord(); }
    void goTop() { table_.goTop(); }
    void readRecordsAt(std::uint32_t first, std::uint32_t n, std::uint8_t* dst) {
        table_.readRecordsAt(first, n, dst);
    }
    const std::uint8_t* recordsViewAt(std::uint32_t first, std::uint32_t n) {
        return table_.recordsViewAt(first, n);
    }
    template <typename Fn>
    void scanRecords(Fn&& fn) {
        table_.scanRecords(std::forward<Fn>(fn));
    }
    void setProductionIndex(bool on) { table_.setProductionIndex(on); }

    static bool isFlagged(const std::uint8_t* rec) { return rec[0] == '*'; }

    Table& table_;
    TableIndexHost& host_;
    Env* env_;
    std::unique_ptr<NsxFile> nsx_;
    std::vector<std::unique_ptr<TagRuntime>> tags_;  // in tag-table order
    int orderPos_ = 0;
    TagOrder* tagOrder_ = nullptr;  // the table's order when it is a tag order
    bool found_ = false;
    bool batch_ = false;           // inside the table's batch
    int batchedCommits_ = 0;       // commits whose index pages are not written yet
    std::size_t cacheBudget_ = 0;  // the cache budget outside the batch
    bool deferred_ = false;        // the tags' upkeep is put off (beginDeferredUpkeep)
    std::size_t deferredLimit_ = kDeferredRecords;
    std::vector<std::uint64_t> touchedBits_;  // records changed meanwhile, by number
    std::vector<std::uint32_t> touched_;      // the same, in the order of their first change
    // Flagged records (known after the first scan, then kept up to date).
    bool flaggedKnown_ = false;
    std::unique_ptr<RankedRecnos> flagged_;
    // Query subset and filter.
    bool queryActive_ = false;
    std::vector<std::uint64_t> queryBits_;
    mutable Expr filter_;  // evaluated by passes()
    std::uint64_t viewGen_ = 1;
    std::unique_ptr<ViewList> view_;
};

}  // namespace xb
