// xb::Table, the engine's work area: one open DBF table (with its memo file)
// with a current record and a record buffer.
//
// Opening. Exclusive (the default) holds an OS lock on the table and its memo
// file that keeps out every other opener, in this process or another; read-only
// holds a shared lock and refuses every change with a State error. A missing
// file raises NotFound, a held one Locked, a damaged one Corrupt, each naming
// the file.
//
// Current record and buffer. The buffer holds the current record's bytes
// (deletion flag at 0, fields at their offsets). Beside it the table keeps the
// record's "cold" image: the bytes as last read from or written to the file.
// Past the last record the table stands on the blank "phantom" record
// recCount() + 1 with eof() set.
//
// Hot and cold. replace...(), deleteRecord(), recall() and putRecordBytes()
// change only the buffer and make the record hot; append() starts a new blank
// record (recNo() = recCount() + 1) that exists only in the buffer. A hot
// record reaches the file with commitRecord(), which every navigation and
// close() call first; discard() drops the changes instead. Memo texts
// assigned to a hot record stay pending in memory until the commit.
//
// Durability. When commitRecord() returns, the record is in the file (an
// appended one inside a batch only when the batch writes, see beginBatch()). The
// commit writes in an order that survives a kill at any instant: new memo
// blocks are allocated (never the ones the record still uses) and written,
// then the memo header; then the DBF record; only then are the old memo blocks
// released. A kill therefore loses at most the record being written and a few
// memo blocks (a leak), never another record's data. The header's record
// count and date follow every commit outside a batch and every write of a
// batch (dbf_file.h), so that another reader finds them in step; an open
// derives the count from the file size anyway and repairs the header.
//
// Natural order and deleted records. Navigation walks the table through a
// RecordOrder, natural record order unless another is installed. With
// xb::settings().deleted on, goTop(), goBottom() and skip() pass over records
// flagged as deleted; go() still stands on them.
//
// Extension points, along which the table's index side (TableIndex,
// table_index.h) and other observers work:
//  * coldData() beside recordData(): at commit both the old and the new bytes
//    of a record are at hand.
//  * RecordObserver: every committed record is reported after its DBF write,
//    with the old bytes (nullptr for an append) and the new ones.
//  * RecordOrder: navigation goes only through first/last/next/prev and
//    position; a tag can be installed with setOrder() without touching field
//    access or modification.
//  * TableIndexHost: the few things beyond the public members that the
//    table's own index side may do (checks, raw reads, placing the current
//    record); the table hands it to its TableIndex and to nobody else.
//
// Indexes. Every table owns a TableIndex (index()): the production index
// `<table>.nsx` beside the table, attached at open, with its tags kept up to
// date on every commit (a batch of commits writes them together,
// see beginBatch()); tag orders, seek and scope, counts and order
// positions, the query subset and the filter. Callers reach them through
// index() (table.index().seek(...)); table_index.h states their contracts.
// Pack is in table_pack.cpp.
//
// Visibility. Navigation sees a record when it passes the deleted setting
// and the index side's query subset and filter (and, in a tag order, the
// tag's scope).
//
// Not thread-safe; the program has one thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/xbase/dbf_file.h"
#include "store/xbase/env.h"
#include "store/xbase/expr.h"
#include "store/xbase/field.h"
#include "store/xbase/memo_store.h"
#include "store/xbase/smt_file.h"

namespace xb {

class NsxFile;
class TableIndex;

enum class OpenMode {
    Exclusive,  // read and write, nobody else may open the files
    ReadOnly,   // read only, shared with other read-only openers
};

// Told about every record that reaches the file.
class RecordObserver {
  public:
    virtual ~RecordObserver() = default;
    // Called by commitRecord() after the record's DBF write. `oldRecord` is
    // the record's previous bytes, nullptr for an appended record; both
    // pointers are valid only during the call. An exception thrown here
    // propagates out of commitRecord(); the record stays written.
    virtual void recordCommitted(std::uint32_t recno, const std::uint8_t* oldRecord,
                                 const std::uint8_t* newRecord) = 0;
};

// The order navigation walks. Each move returns the record number the order
// now stands on, or 0 when it ran off that end (its position is then
// undefined until the next first(), last() or position()).
class RecordOrder {
  public:
    virtual ~RecordOrder() = default;
    virtual std::uint32_t first() = 0;
    virtual std::uint32_t last() = 0;
    virtual std::uint32_t next() = 0;
    virtual std::uint32_t prev() = 0;
    // Places the order on record `recno` whose bytes are `record`; called
    // after go() and after every commit of the current record.
    virtual void position(std::uint32_t recno, const std::uint8_t* record) = 0;
};

// What the table's index side (TableIndex) needs of the table beyond
// Table's public members: the table's checks, reads straight from the data
// file, and the moves with which seek and order positions place the current
// record. Table implements it privately and hands it to its own TableIndex
// at construction; nothing else gets one.
class TableIndexHost {
  public:
    // Where the current record stands at an end of the current order.
    enum class OrderEnd : std::uint8_t { None, First, Last };

    // State error naming the table when it is closed (or read-only).
    virtual void requireOpenTable() const = 0;
    virtual void requireWritableTable() const = 0;
    // Reads committed record `recno` from the data file into `dst`
    // (recordLength() bytes) without moving; only the data file's checks.
    virtual void readStoredRecord(std::uint32_t recno, std::uint8_t* dst) = 0;
    // First (Last) when the current record is the first (last) visible one
    // of the current order as goTop() (goBottom()) found it under the
    // present deleted setting, not hot, and nothing moved since; else None.
    virtual OrderEnd currentEnd() const = 0;
    // What navigation shows changed: the current record is at no known end.
    virtual void forgetEnd() = 0;
    // Stands on committed record `recno`, places the order on it when
    // `placeOrder` (a tag order that already stands there needs not) and
    // clears bof and eof.
    virtual void standOn(std::uint32_t recno, bool placeOrder) = 0;
    // Stands on the first visible record of the current order from `recno`
    // (where the order stands) onwards; false when there is none.
    virtual bool standOnVisibleFrom(std::uint32_t recno) = 0;
    // Stands on the phantom record with eof (and bof when `bof`).
    virtual void standOnPhantomRecord(bool bof) = 0;

  protected:
    ~TableIndexHost() = default;
};

class Table final : private TableIndexHost {
  public:
    // Opens `path` (".dbf" is added when the name has no extension) and its
    // memo file when the version byte names one.
    static std::unique_ptr<Table> open(const std::string& path, OpenMode mode = OpenMode::Exclusive,
                                       Env& env = Env::posix());

    // Commits, closes; errors on the way are swallowed (call close() to see
    // them).
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Commits a hot record, writes the header (count, today's date) and the
    // 0x1A after the last record when the table was changed, and releases the
    // files and locks. Further calls do nothing. The files are released even
    // when a write fails; the error is thrown afterwards.
    void close();
    bool isOpen() const { return dbf_ != nullptr; }
    // Commits and brings everything written so far to the files, header
    // included, and syncs them to the device.
    void flush();

    // ---- facts ----
    const std::string& path() const;
    bool readOnly() const { return readOnly_; }
    const DbfHeader& header() const;
    const FieldList& fields() const;
    std::size_t fieldCount() const { return fields().size(); }
    const FieldDesc& field(int idx) const;
    // Index of the field with this name (any case), or -1.
    int fieldIndex(std::string_view name) const { return fields().find(name); }
    std::uint16_t recordLength() const;
    MemoKind memoKind() const;
    MemoStore* memoStore() const { return memo_.get(); }
    // The SMT file when the table has one, else nullptr.
    SmtFile* smtFile() const;
    // Sets or clears header byte 28 bit 0 (a production index exists) and
    // writes the header at once.
    void setProductionIndex(bool on);

    // ---- position ----
    // Committed records in the file (a pending append is not counted).
    std::uint32_t recCount() const;
    // Records the header counted beyond the end of the data file when the
    // table was opened: the file was cut short. The table goes on with the
    // records that are there (an exclusive open corrects the header, so the
    // next open finds nothing missing).
    std::uint32_t missingRecords() const;
    std::uint32_t recNo() const { return recno_; }
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }

    void goTop();
    void goBottom();
    // Moves n records (negative: backwards) in the current order; 0 re-reads
    // the current record. Running off the end stands on the phantom record
    // with eof(); running off the start stays on the first record with bof().
    void skip(std::int64_t n = 1);
    // Stands on `recno` (deleted or not); outside 1 ... recCount() on the
    // phantom record with eof().
    void go(std::uint32_t recno);

    // Installs the order navigation walks; nullptr restores natural order.
    // The current record stays current. Counts, positions, seek and scope
    // need a tag order (index().setOrder(int)); a foreign order counts as
    // natural.
    void setOrder(std::unique_ptr<RecordOrder> order);
    // Tags are chosen with index().setOrder(int); without this a 0 here
    // would quietly install natural order through the pointer overload.
    void setOrder(int) = delete;

    // ---- reading the current record (the buffer) ----
    // Field indexes are checked: Range error when outside 0 ... fieldCount()-1.
    std::string_view raw(int idx) const;
    // The field's bytes, padded to its width (the same bytes as raw()).
    std::string text(int idx) const { return std::string(raw(idx)); }
    // N and F fields (InvalidArgument for others); blank reads 0.
    double number(int idx) const;
    bool isBlank(int idx) const;
    // D fields: Julian day number, 0 for an empty or invalid date.
    std::int32_t date(int idx) const;
    // L fields: T, t, Y, y are true.
    bool logical(int idx) const;
    // M fields: the text ("" when never written, emptied, or not a text).
    std::string getMemo(int idx);
    MemoValue memoValue(int idx);
    // M fields: whether a memo was ever written (an emptied one counts).
    bool memoWritten(int idx) const;
    bool deleted() const { return buf_[0] == kDeletedFlag; }
    const std::uint8_t* recordData() const { return buf_.data(); }
    // The current record as last read or written (see above).
    const std::uint8_t* coldData() const { return cold_.data(); }
    RecordRef recordRef() const { return {buf_.data(), recno_}; }
    // Reads committed record `recno` (1 ... recCount()) into `dst`
    // (recordLength() bytes) without moving; for scans such as index builds.
    void readRecordAt(std::uint32_t recno, std::uint8_t* dst);
    // Reads committed records first ... first + n - 1 into `dst`
    // (n * recordLength() bytes) with one read; Range error outside the table.
    void readRecordsAt(std::uint32_t first, std::uint32_t n, std::uint8_t* dst);
    // Committed records first ... first + n - 1 where the file holds them,
    // in its view (see DbfFile::recordsView), or null where there is none;
    // Range error outside the table.
    const std::uint8_t* recordsViewAt(std::uint32_t first, std::uint32_t n);
    // Reads committed records recnos[0 .. n) into `dst` (n * recordLength()
    // bytes), each with a read of its own: for records scattered over the
    // file, such as a grid's rows in an index order.
    void readScatteredAt(const std::uint32_t* recnos, std::size_t n, std::uint8_t* dst);
    // Calls fn(recno, record) for every committed record in record order,
    // reading in large blocks; the pointer is valid during the call only.
    template <typename Fn>
    void scanRecords(Fn&& fn);

    // ---- changing the current record ----
    // Each raises State on a read-only table or when there is no current
    // record (phantom), InvalidArgument when the field's type does not fit.
    // C fields: bytes cut or padded with blanks to the width.
    void replaceText(int idx, std::string_view bytes);
    // N and F fields, in the field's width and decimals ('*' when too wide).
    void replaceNumber(int idx, double v);
    // D fields; 0 writes the empty date.
    void replaceDate(int idx, std::int32_t jdn);
    void replaceLogical(int idx, bool v);
    // M fields (SMT tables only): the text, stored at commit. "" stores an
    // emptied memo.
    void replaceMemo(int idx, std::string_view text);
    // Any C, N, D, L or M field back to blank (an M field to "never written").
    void replaceBlank(int idx);
    void deleteRecord();
    void recall();

    // Starts a new blank record (recNo() = recCount() + 1) after committing
    // the current one.
    void append();
    // Writes a hot record; does nothing for a cold one.
    void commitRecord();
    // Drops the changes of a hot record: a pending append disappears (the
    // table returns to the record it stood on before), an edited record is
    // read again from the file.
    void discard();
    bool isHot() const { return hot_; }
    bool isAppending() const { return appending_; }

    // The whole current record (deletion flag and all fields). Memo fields
    // hold their references as in the file: a memo text still pending on a
    // hot record is not part of the copy.
    std::string recordBytes() const;
    // Puts a whole record (recordLength() bytes, for instance from
    // recordBytes() of another record of this table) into the buffer. Memo
    // references are resolved now: the record gets its own copy of each memo
    // value, stored at commit, so it never shares blocks with the source.
    void putRecordBytes(std::string_view bytes);

    // ---- observers ----
    // The table does not own observers; remove one before it goes away.
    void addObserver(RecordObserver* o);
    void removeObserver(RecordObserver* o);

    // ---- batches ----
    // Many commits that form one operation can be written together: between
    // beginBatch() and the matching endBatch() the index's changed pages are
    // written after every kBatchCommits-th commit, and appended records
    // whenever 256 KiB of them are held, and both when the batch ends (and
    // by flush(), close() and anything that reads the table file). A record
    // already in the file is written at its commit as always. A kill inside
    // a batch therefore loses at most the records appended since the last
    // write, never a record committed before the batch; the index's crash
    // marker is on disk before its first change, so the next open rebuilds
    // the index from the records. Batches nest; the outermost end writes.
    // A batch reaches pages all over the index, more than any cache holds:
    // meanwhile the index keeps at most kBatchCacheBudget bytes of pages in
    // memory, so that a long batch does not grow the program by the whole
    // cache.
    //
    // With `deferTags` the outermost batch also puts the tags' upkeep off to
    // its end (TableIndex::beginDeferredUpkeep): many changes then reach
    // the trees together, merged into them when they are many. Meanwhile
    // the table stays in natural order (it must be in it when the batch
    // begins) and the tags lag behind the records; the crash marker covers
    // that as it covers any batch.
    static constexpr int kBatchCommits = 256;
    static constexpr std::size_t kBatchCacheBudget = 24u << 20;
    // `expectedChanges` (records to change, when known) sizes the deferred
    // changes up front.
    void beginBatch(bool deferTags = false, std::size_t expectedChanges = 0);
    void endBatch();
    // Writes the appended records a batch holds now; the batch goes on. A
    // failure to write them (a full disk) surfaces here instead of at its
    // end.
    void writeHeldAppends();

    // ---- taking a failed operation back ----
    // An operation that only appends records and changes records whose
    // memos it does not keep can be taken back whole after it failed
    // half-way (a full disk): takeBackPoint() before it, takeBack() after.
    // The records past the point's count go (held appends unwritten; the
    // file is cut back to them and their end mark), each record of
    // `originals` gets back the bytes recordBytes() showed before the
    // operation changed it, the memo file's allocation is as it was at the
    // point (the blocks allocated since free, the file cut back), and the
    // tags are built again from the records. Needs no more room than the
    // files held: the index is built beside the old one when that fits,
    // else in its place. Ends any batch; the table goes to its first record.
    struct TakeBackPoint {
        std::uint32_t count = 0;
        std::optional<SmtFile::Allocation> memo;
    };
    struct RecordImage {
        std::uint32_t recno = 0;
        std::string bytes;
    };
    TakeBackPoint takeBackPoint();
    void takeBack(const TakeBackPoint& point, const std::vector<RecordImage>& originals);
    // ---- index side (table_index.h) ----
    // The table's index side: production index, tag orders, seek and
    // scope, counts and order positions, the query subset and the filter
    // (table.index().seek(...)). Lives as long as the table.
    TableIndex& index() { return *index_; }
    const TableIndex& index() const { return *index_; }

    // ---- expressions ----
    // The value of `expr` on the current record as text: character results
    // as their bytes, numbers as str() prints them without a width, dates in
    // the current date format, logicals ".T."/".F.". Compiled expressions
    // are kept per text, so repeating a call does not compile again. Syntax
    // error for a bad expression.
    std::string evalString(std::string_view expr);

    // ---- pack ----
    // Removes flagged records, keeps the others in order with their values
    // (memo texts are copied into a compacted memo file, so the blocks of
    // removed records are freed), renumbers, rebuilds all tags; progress
    // 0 ... 100. Crash-safe: the new files are written beside the old ones
    // and synced, then a journal is written and the new files are renamed
    // over the old ones; open() finishes such a rename when the journal is
    // there and removes leftovers when it is not, so a kill at any instant
    // leaves the old table or the packed one, complete. Lifts query and
    // scope; the table goes to its first record. State error on a read-only
    // table or one whose memo file cannot be written.
    void pack();
    // Whether a pack of the table at `dbfPath` reached its commit point and
    // is finished by the next open (so its old index no longer fits it).
    static bool packCommitted(Env& env, const std::string& dbfPath);

  private:
    Table(std::unique_ptr<DbfFile> dbf, std::unique_ptr<MemoStore> memo, bool readOnly, Env& env);
    // Range error unless records first ... first + n - 1 are in the table.
    void checkRecordRange(std::uint32_t first, std::uint32_t n) const;

    // ---- what the index side may do (TableIndexHost) ----
    void requireOpenTable() const override { requireOpen(); }
    void requireWritableTable() const override { requireWritable(); }
    void readStoredRecord(std::uint32_t recno, std::uint8_t* dst) override;
    OrderEnd currentEnd() const override;
    void forgetEnd() override { edge_ = Edge::None; }
    void standOn(std::uint32_t recno, bool placeOrder) override;
    bool standOnVisibleFrom(std::uint32_t recno) override { return seekVisibleForward(recno); }
    void standOnPhantomRecord(bool bof) override { standOnPhantom(bof); }

    // ---- pack internals (table_pack.cpp) ----
    // True when a journal says a pack reached its commit point (the caller
    // releases the files and calls finishPack()); removes the temporaries of
    // a pack that did not. State error for a journal on a read-only open.
    static bool checkPackLeftovers(Env& env, const std::string& dbfPath, bool readOnly);
    static void finishPack(Env& env, const std::string& dbfPath);
    void reopenFiles();

    struct PendingMemo {
        int field;
        bool blank;          // back to "never written"
        std::uint16_t type;  // 1 = text
        std::string data;
    };

    void requireOpen() const;
    void requireWritable() const;
    void requireRecord() const;  // writable and on a record (or appending)
    const FieldDesc& checkedField(int idx) const;
    const FieldDesc& fieldOfType(int idx, const char* types, const char* what) const;
    void markHot() { hot_ = true; }

    // Positioning primitives: every move goes through these.
    bool visible() const;
    void load(std::uint32_t recno);
    void standOnPhantom(bool bof);
    bool seekVisibleForward(std::uint32_t recno);   // from recno onwards via order_->next()
    bool seekVisibleBackward(std::uint32_t recno);  // from recno backwards via order_->prev()

    PendingMemo* pendingFor(int idx);
    void setPending(PendingMemo p);
    void commitMemos(std::vector<MemoExtent>& toRelease);
    // Throws IoError when the commit would take a file past its limit
    // (limits.h).
    void requireRoomForCommit();
    void releaseMemos(const std::vector<MemoExtent>& extents);

    std::string path_;
    std::unique_ptr<DbfFile> dbf_;
    std::unique_ptr<MemoStore> memo_;
    SmtFile* smt_ = nullptr;  // memo_ when it is an SMT file
    bool readOnly_;
    std::unique_ptr<RecordOrder> order_;

    std::vector<std::uint8_t> buf_;
    std::vector<std::uint8_t> cold_;
    std::vector<std::uint8_t> blank_;
    std::uint32_t recno_ = 1;
    bool bof_ = false;
    bool eof_ = true;
    bool hot_ = false;
    bool appending_ = false;
    std::uint32_t beforeAppend_ = 0;  // record to return to when an append is discarded
    std::vector<PendingMemo> pending_;
    std::vector<RecordObserver*> observers_;
    std::vector<std::uint8_t> oldScratch_;  // previous bytes handed to observers

    Env* env_;
    int batch_ = 0;  // open beginBatch() calls
    // The current record is the first (last) visible one of the current
    // order, as goTop() (goBottom()) found it under that deleted setting, and
    // nothing moved or changed since: its position is 1 (count()).
    enum class Edge : std::uint8_t {
        None,
        TopDeletedOff,
        TopDeletedOn,
        BottomDeletedOff,
        BottomDeletedOn
    };
    Edge edge_ = Edge::None;
    std::unique_ptr<TableIndex> index_;
    std::unordered_map<std::string, Expr> evalCache_;
};

template <typename Fn>
void Table::scanRecords(Fn&& fn) {
    const std::uint32_t n = recCount();
    const std::size_t rl = recordLength();
    const std::uint32_t chunk =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, (1u << 20) / rl));
    std::vector<std::uint8_t> block(std::size_t{chunk} * rl);
    for (std::uint32_t first = 1; first <= n;) {
        const std::uint32_t k = std::min(chunk, n - first + 1);
        readRecordsAt(first, k, block.data());
        for (std::uint32_t i = 0; i < k; ++i)
            fn(first + i, block.data() + std::size_t{i} * rl);
        first += k;
    }
}

}  // namespace xb
