// An open NSX compound index file: root header, tags, free pages, page cache.
//
// NsxFile is the entry point of the index layer. It opens or creates a
// `.nsx` file, lists its tags in tag-table order, adds, re-creates and removes
// tags, and owns the page cache through which every tag reads and writes.
// The layer works on key bytes and record numbers only: the caller evaluates
// key and FOR expressions and decides which records belong in a tag.
//
// Writes: pages changed by an operation stay dirty in memory until flush().
// flush() writes only what changed and does not fsync; sync() does. Before the
// first page of a change reaches the file, an 8-byte marker is written into
// the unused tail of the root page; close() clears it after everything else
// was written. A file found with the marker on open() reports
// wasInterrupted(): the session that changed it was killed, or one of its
// changes failed half-way on a damaged page. Its trees may be torn and the
// caller should rebuild them (clear() and build the tags again); reading it
// is still safe (damage raises errors, never crashes).
//
// Errors are thrown as qv::Error: IoError for failing system calls, Corrupt
// (German text naming the file and, where it applies, the page) for any
// structure the file must not have, State for writes to a read-only file,
// InvalidArgument for unusable tag definitions.
//
// Not thread-safe. The NsxTag objects returned are owned by the file and stay
// valid until the tag is removed or re-created, clear() or the file is
// destroyed.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/env.h"
#include "store/xbase/nsx_cache.h"
#include "store/xbase/progress.h"

namespace xb {

class NsxTag;
class NsxKeyBatch;
struct NsxTreeImage;

// Key types of a tag. The key bytes a caller passes are already encoded:
// character keys as code page bytes, numbers and dates as the 8-byte
// order-preserving form of coding.h (encodeNumKey), logicals as 'T'/'F'.
enum class NsxKeyType : std::uint16_t {
    Character = 0x0400,
    Numeric = 0x0008,
    Date = 0x0020,
    Logical = 0x0080,
};

// Definition of a tag as stored in its header page.
struct NsxTagDef {
    std::string name;     // 1..11 characters, first one above blank; stored upper-cased
    std::string keyExpr;  // 1..255 bytes, stored as given
    std::string forExpr;  // 0..255 bytes, stored as given; empty = no condition
    NsxKeyType keyType = NsxKeyType::Character;
    int keyLen = 0;  // 1..250; 8 for numeric and date keys, 1 for logical keys
    bool unique = false;
    bool descending = false;  // stored ascending; only the caller's navigation reverses
};

// Progress of a bulk build: reports whole percentages from..to through fn
// (for example fn = xb::reportProgress and a slice of 0..100 per tag).
struct NsxProgress {
    ProgressFn fn;
    int from = 0;
    int to = 100;
};

class NsxFile {
  public:
    enum class Mode { ReadWrite, ReadOnly };

    // Opens an existing index and validates the root header and every tag
    // header. Throws qv::Error (IoError, Corrupt).
    // The file takes no lock of its own: its table's lock guards it.
    static std::unique_ptr<NsxFile> open(const std::string& path, Mode mode = Mode::ReadWrite,
                                         Env& env = Env::posix());
    // Creates (or truncates) an index holding only the root header.
    static std::unique_ptr<NsxFile> create(const std::string& path, Env& env = Env::posix());

    // Closes the file; errors are swallowed (call close() to see them).
    ~NsxFile();
    NsxFile(const NsxFile&) = delete;
    NsxFile& operator=(const NsxFile&) = delete;

    // Writes every dirty page and the root header, then clears the crash
    // marker -- unless a change failed half-way (then the marker stays, see
    // markDamaged()) or this session changed nothing. Afterwards only the
    // destructor may be called.
    void close();
    // Forgets every change not yet written and releases nothing until the
    // destructor, which then writes nothing (for a file replaced on disk).
    void abandon() { closed_ = true; }
    // Writes dirty pages (no fsync). Cheap when nothing changed.
    void flush();
    // flush() plus fdatasync.
    void sync();

    const std::string& path() const { return path_; }
    bool readOnly() const { return readOnly_; }
    // True when the crash marker was found on open: a previous session did
    // not close the file cleanly after changing it.
    bool wasInterrupted() const { return interrupted_; }

    int tagCount() const { return static_cast<int>(tags_.size()); }
    // REQUIRES: 0 <= i < tagCount().
    NsxTag& tag(int i) { return *tags_[static_cast<std::size_t>(i)]; }
    // Case-insensitive; null when there is no such tag.
    NsxTag* findTag(std::string_view name);
    int tagIndex(std::string_view name) const;  // -1 when missing

    // Adds an empty tag at the end of the tag table, or re-creates the tag of
    // the same name in place (its tree is freed, its header page reused, its
    // table position kept). Throws InvalidArgument for a bad definition or a
    // 51st tag.
    NsxTag& addTag(const NsxTagDef& def);
    // addTag() followed by a bulk build of `batch` (see NsxTag::build).
    NsxTag& buildTag(const NsxTagDef& def, NsxKeyBatch& batch, std::uint32_t recordCount,
                     const NsxProgress& progress = {});
    // addTag() followed by placing a tree assembled for it (see
    // NsxTag::install).
    NsxTag& installTag(const NsxTagDef& def, NsxTreeImage& image);
    // Frees the tag's pages and header and removes it from the tag table.
    // Throws NotFound when there is no such tag.
    void removeTag(std::string_view name);
    // Drops every tag and truncates the file to its root header (reindex
    // starts here; the definitions are in tagDefs()). A file marked damaged
    // is whole again.
    void clear();
    std::vector<NsxTagDef> tagDefs() const;

    // Checks the whole file, read-only: root header, tag headers, every page
    // of every tree and of the free list. Returns German fault descriptions
    // naming tag and page; empty when the file is sound. Never throws for
    // damaged content (only for I/O errors). With `recordCount` an entry
    // for a record number above it is a fault too.
    std::vector<std::string> verify(std::uint32_t recordCount = 0xFFFFFFFFu);

    // The note of the table kept in the root page's unused tail: the
    // table's record count, the entry count of every tag as far as this
    // session knows it, and the table's flagged records when the writer
    // knows them and they fit (as runs of record numbers). The owner leaves
    // it with setTableNote() before close(), which writes it with the root
    // header. Every change of the owner in a later session goes through
    // beginDirectWrite(), which forgets the note, so a note found by open()
    // in a cleanly closed file describes the table and the index as they
    // were when the file was closed: open() takes the tags' entry counts from
    // it, so that a first count reads no tree.
    //
    // True and the numbers, ascending, in `recnos` when the note names the
    // flagged records of a table of `recordCount` records.
    bool flaggedNote(std::uint32_t recordCount, std::vector<std::uint32_t>& recnos) const;
    // `flagged` ascending, or null when unknown. Returns whether the flagged
    // records are in the note (false when they do not fit).
    bool setTableNote(std::uint32_t recordCount, const std::vector<std::uint32_t>* flagged);

    // Root header facts.
    std::uint16_t version() const;
    std::uint32_t fileSizeField() const;
    std::uint32_t freeHead() const;

    // Memory budget of the page cache (default 48 MiB); clean pages beyond it
    // are evicted.
    void setCacheBudget(std::size_t bytes) { cache_->setBudget(bytes); }
    std::size_t cacheBudget() const { return cache_->budget(); }
    std::size_t cacheResidentBytes() const { return cache_->residentBytes(); }

    // ---- for the tags, the builder and the checker ---------------------------------
    nsx::PageCache& cache() { return *cache_; }
    // Throws Corrupt naming the file (and page when >= 0).
    [[noreturn]] void corrupt(const std::string& what, std::int64_t page = -1) const;
    // Throws State when the file is read-only.
    void requireWritable() const;
    // True for a non-zero multiple of 1024 below the end of the file.
    bool validAddress(std::uint32_t addr) const;
    // A tree or header page by address, validated as an address.
    nsx::Page* page(std::uint32_t addr);
    // A page for new content: the head of the free list, else a new page at
    // the file-size field. The returned page is resident, zeroed and dirty.
    nsx::Page* allocPage();
    // The address allocPage() would use without bringing a page into memory
    // (for bulk writes, which bypass the cache).
    std::uint32_t allocAddress();
    // Whether `pages` new pages still fit below the file's size limit
    // (limits.h), leaving the free list aside.
    bool roomFor(std::uint64_t pages) const;
    // Puts a page on the free list.
    void freePage(std::uint32_t addr);
    // Ensures the crash marker is on disk before a direct write.
    void beginDirectWrite();
    // Drops the counts this process kept of closed files, as a new process
    // starts without them (the count files on disk stay).
    static void forgetKeptCounts();
    // Subtree entry counts by page (kUnknownCount when not computed).
    static constexpr std::uint32_t kUnknownCount = 0xFFFFFFFFu;
    std::uint32_t knownCount(std::uint32_t addr) const {
        const std::size_t i = addr / nsx::kPageSize;
        return i < counts_.size() ? counts_[i] : kUnknownCount;
    }
    void setCount(std::uint32_t addr, std::uint32_t n);
    void forgetCount(std::uint32_t addr) {
        const std::size_t i = addr / nsx::kPageSize;
        if (i < counts_.size() && counts_[i] != kUnknownCount) {
            counts_[i] = kUnknownCount;
            countsChanged_ = true;
        }
    }
    // Upper bound for the entries of one tag, used to reject shared subtrees.
    std::uint64_t entryCap() const;
    void markRootDirty() { rootDirty_ = true; }
    // A change failed half-way: the trees in memory may be torn, so close()
    // keeps the crash marker and the next open reports wasInterrupted().
    void markDamaged() { damaged_ = true; }

    // Marks the file damaged when the scope it guards is left by an
    // exception (put at the top of every change).
    class ChangeGuard {
      public:
        explicit ChangeGuard(NsxFile& f) : f_(f), uncaught_(std::uncaught_exceptions()) {}
        ~ChangeGuard() {
            if (std::uncaught_exceptions() > uncaught_) f_.markDamaged();
        }
        ChangeGuard(const ChangeGuard&) = delete;
        ChangeGuard& operator=(const ChangeGuard&) = delete;

      private:
        NsxFile& f_;
        int uncaught_;
    };

  private:
    NsxFile(std::unique_ptr<RandomFile> file, bool readOnly, Env& env);
    void readRoot();
    void writeRoot(bool withMarker);
    void writeTagTable();
    void loadTags();
    std::unique_ptr<NsxTag> readTag(const std::string& name, std::uint32_t headerAddr);
    void validateDef(const NsxTagDef& def) const;
    void freeTree(std::uint32_t root, int keyLen);
    void flushInternal();
    void forgetFlaggedNote();
    struct NoteParts {
        std::uint32_t recordCount = 0;
        std::size_t tags = 0;
        const std::uint8_t* counts = nullptr;
        std::uint16_t runsLen = 0;
        const std::uint8_t* runs = nullptr;
    };
    static constexpr std::uint16_t kNoRuns = 0xFFFF;
    bool parseNote(NoteParts& parts) const;
    void applyNoteCounts();
    // Subtree counts kept from this file's last close, in this process or on
    // disk, taken over when the file is unchanged since (see nsx_file.cpp).
    void takeKeptCounts();
    void keepCounts();

    std::string path_;
    Env* env_;  // for the count file (count_store.h)
    bool readOnly_;
    bool interrupted_ = false;
    bool markerOnDisk_ = false;
    bool rootDirty_ = false;
    bool closed_ = false;
    bool wrote_ = false;        // this session changed the file
    bool damaged_ = false;      // see markDamaged()
    bool noteChanged_ = false;  // the flagged note differs from the one on disk
    std::unique_ptr<nsx::PageCache> cache_;
    std::uint8_t root_[nsx::kPageSize];
    std::uint32_t fileEnd_ = 0;  // max(file on disk, file-size field)
    std::vector<std::unique_ptr<NsxTag>> tags_;
    std::vector<std::uint32_t> counts_;
    std::string countsTaken_;     // the stamp the counts were taken over with
    bool countsSaved_ = false;    // the count file holds the counts taken over
    bool countsChanged_ = false;  // a count changed since they were taken over

    friend class NsxTag;
};

}  // namespace xb
