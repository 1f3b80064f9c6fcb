// Input of a bulk build: (key, recno) pairs in any order.
//
// The caller evaluates the key (and decides FOR membership) for every
// record, adds the pairs here and hands the batch to NsxTag::build() or
// NsxFile::buildTag(), which sort it and write the tree bottom-up with full
// leaves. Keys are stored in one flat arena; sorting moves 16-byte
// (prefix, index) items, never the keys themselves.
//
// A build can also be split in two: assembleTree() sorts a batch and lays
// the tree out in memory without touching any file, so several tags can be
// assembled on several threads at once; NsxTag::install() then places one
// assembled tree in its file (one tag at a time).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_page.h"

namespace xb {

class NsxTag;

namespace nsx {

// Growable raw memory for the large arrays of a bulk build. New bytes are
// left uninitialised. Large blocks stay in ordinary pages: where the system
// backs memory on first touch (a virtual machine), a fresh huge page is
// zeroed and backed 2 MiB at a time, which cost a third of a build.
class BulkBuffer {
  public:
    BulkBuffer() = default;
    BulkBuffer(BulkBuffer&& o) noexcept;
    BulkBuffer& operator=(BulkBuffer&& o) noexcept;
    BulkBuffer(const BulkBuffer&) = delete;
    BulkBuffer& operator=(const BulkBuffer&) = delete;
    ~BulkBuffer();

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return cap_; }
    // Makes room for `bytes` in all. Throws std::bad_alloc.
    void reserve(std::size_t bytes);
    // Sets the size; bytes beyond the old size are uninitialised.
    void resize(std::size_t bytes) {
        if (bytes > cap_) reserve(bytes);
        size_ = bytes;
    }
    // Extends the buffer by `bytes` and returns where the new bytes begin.
    std::uint8_t* extend(std::size_t bytes) {
        if (size_ + bytes > cap_) reserve(std::max(size_ + bytes, cap_ * 2));
        std::uint8_t* p = data_ + size_;
        size_ += bytes;
        return p;
    }
    void clear() { size_ = 0; }
    // Gives the memory back.
    void release();

  private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t cap_ = 0;
};

// While one of these is alive, large BulkBuffer blocks given back are kept
// and handed to the next buffer that starts with a size they hold, instead
// of going back to the system: the first touch of a fresh block costs a page
// fault and a zeroed page for every page, which is a good part of a bulk
// build, and the build's arrays come and go tag after tag (the sort's work
// arrays, the order, the tree image, the spent keys). Blocks kept and never
// taken again go back when the last one ends. Safe from several threads.
class BulkRecycler {
  public:
    BulkRecycler();
    ~BulkRecycler();
    BulkRecycler(const BulkRecycler&) = delete;
    BulkRecycler& operator=(const BulkRecycler&) = delete;
};

}  // namespace nsx

class NsxKeyBatch {
  public:
    // `trail` pads short keys: blank for character keys, 0x00 otherwise.
    NsxKeyBatch(int keyLen, std::uint8_t trail);
    // A batch shaped for `tag` (its key length and trail byte).
    explicit NsxKeyBatch(const NsxTag& tag);

    void reserve(std::size_t n);
    // Adds a pair; the key is padded or cut to keyLen().
    void add(std::string_view key, std::uint32_t recno);
    // Adds a pair whose key the caller writes at the returned address
    // (keyLen() bytes, all of them) before the next change of the batch.
    std::uint8_t* addUnfilled(std::uint32_t recno) {
        sorted_ = false;
        std::uint8_t* r = recnos_.extend(sizeof(std::uint32_t));
        std::memcpy(r, &recno, sizeof recno);
        return keys_.extend(static_cast<std::size_t>(keyLen_));
    }
    // For filling pairs in place, from several threads at once: makes room
    // for `n` slots in all; the caller then fills each new slot with
    // setSlot() or leaves it out with omitSlot(), every slot exactly once
    // and each from one thread only. sort() passes over the left-out ones.
    void resizeSlots(std::size_t n) {
        sorted_ = false;
        recnos_.resize(n * sizeof(std::uint32_t));
        keys_.resize(n * static_cast<std::size_t>(keyLen_));
    }
    std::size_t slotCount() const { return recnos_.size() / sizeof(std::uint32_t); }
    // The key of slot i goes to the returned address (keyLen() bytes).
    // REQUIRES: recno > 0.
    std::uint8_t* setSlot(std::size_t i, std::uint32_t recno) {
        std::memcpy(recnos_.data() + i * sizeof(std::uint32_t), &recno, sizeof recno);
        return keys_.data() + i * static_cast<std::size_t>(keyLen_);
    }
    void omitSlot(std::size_t i) {
        std::memset(recnos_.data() + i * sizeof(std::uint32_t), 0, sizeof(std::uint32_t));
    }
    // The pairs: after sort() without the left-out slots.
    std::size_t size() const { return sorted_ ? entries_ : slotCount(); }
    int keyLen() const { return keyLen_; }
    std::uint8_t trail() const { return trail_; }
    // The largest record number added (0 for an empty batch).
    std::uint32_t maxRecno() const;
    void clear();
    // Gives the batch's memory back (the batch becomes empty).
    void release();

    // Sorts by (key bytes, recno). Afterwards key(i)/recno(i) give the i-th
    // pair in that order.
    void sort();
    // Takes the pairs as sorted without sorting them: the caller added them
    // in (key, recno) order and left no slot out.
    void takeAsSorted();
    bool sorted() const { return sorted_; }
    const std::uint8_t* key(std::size_t i) const {
        return keys_.data() +
               static_cast<std::size_t>(order()[i]) * static_cast<std::size_t>(keyLen_);
    }
    std::uint32_t recno(std::size_t i) const { return recnoAt(order()[i]); }

  private:
    const std::uint32_t* order() const {
        return reinterpret_cast<const std::uint32_t*>(order_.data());
    }
    std::uint32_t recnoAt(std::size_t idx) const {
        return reinterpret_cast<const std::uint32_t*>(recnos_.data())[idx];
    }

    int keyLen_;
    std::uint8_t trail_;
    nsx::BulkBuffer keys_;     // size() * keyLen_ bytes, in insertion order
    nsx::BulkBuffer recnos_;   // one u32 per pair
    nsx::BulkBuffer order_;    // one u32 per pair: the insertion index, sorted
    std::size_t entries_ = 0;  // pairs in order_ once sorted
    bool sorted_ = false;
};

// A tree laid out in memory by assembleTree(). Its pages are numbered from 0
// in the order NsxTag::install() takes file addresses for them; until then a
// branch refers to its children by those numbers.
struct NsxTreeImage {
    nsx::KeyFormat format{1, 0x20};     // the key format it was laid out for
    nsx::BulkBuffer pages;              // pageCount() pages of kPageSize bytes
    std::vector<std::uint32_t> counts;  // entries in each page's subtree
    std::uint32_t root = 0;             // number of the root page
    std::size_t pageCount() const { return counts.size(); }
    const std::uint8_t* page(std::size_t i) const { return pages.data() + i * nsx::kPageSize; }
};

// Lays out a tree from pairs handed in sorted order, one at a time, so that
// they need not all be held at once (unique: the first pair of each key is
// kept). Record numbers in leaves get the width `maxRecno` needs; `expected`
// (pairs) sizes the page array up front.
class TreeAssembler {
  public:
    TreeAssembler(const nsx::KeyFormat& fmt, bool unique, std::uint32_t maxRecno,
                  std::size_t expected = 0);
    ~TreeAssembler();
    TreeAssembler(const TreeAssembler&) = delete;
    TreeAssembler& operator=(const TreeAssembler&) = delete;
    // REQUIRES: (key, recno) after every pair added before.
    void add(const std::uint8_t* key, std::uint32_t recno);
    // The tree of every pair added; the assembler is spent afterwards.
    NsxTreeImage finish();

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// Sorts `batch` and lays out the tree of a tag with key format `fmt` (unique:
// the lowest record number of each key is kept). Record numbers in leaves
// get the width the table's record count needs. Touches no file, so that
// several tags can be assembled at once on different threads, each with its
// own batch. `progress`, when set, is told the fraction done (0 to 1).
NsxTreeImage assembleTree(NsxKeyBatch& batch, const nsx::KeyFormat& fmt, bool unique,
                          std::uint32_t recordCount,
                          const std::function<void(double)>& progress = {});

// A bulk build of every tag of a new index file, on as many threads as the
// machine has cores (up to eight; threads and the core count come from the
// Env): the keys of every tag are made for equal shares of each block of
// records at once, then the tags are sorted and their trees laid out, as
// many at a time as there are threads and tags, while the calling thread
// writes the finished ones to the file in the order of the tags. Progress
// is reported on the calling thread only. An error of any thread reaches
// the caller of addRecords() or writeTo() as thrown there, after every
// other thread has stopped; the build is then of no further use.
class NsxBulkBuild {
  public:
    // Makes the key of one record for one tag: writes keyLen bytes to `key`
    // and returns true, or returns false for a record outside the tag (its
    // FOR condition).
    using KeyFn =
        std::function<bool(const std::uint8_t* record, std::uint32_t recno, std::uint8_t* key)>;
    // Makes a tag's key function; each thread of the build asks for its
    // own, so a function need not be safe to call from two threads at once
    // (those of different tags and those made by different calls run
    // concurrently).
    using KeyMaker = std::function<KeyFn()>;
    struct Tag {
        NsxTagDef def;
        KeyMaker makeKeyFn;
    };

    // `expectedRecords` sizes the key arrays up front; `env` starts the
    // threads.
    NsxBulkBuild(std::vector<Tag> tags, std::size_t expectedRecords, Env& env = Env::posix());
    ~NsxBulkBuild();
    NsxBulkBuild(const NsxBulkBuild&) = delete;
    NsxBulkBuild& operator=(const NsxBulkBuild&) = delete;

    // Adds the keys of `n` records of `recordLength` bytes each, stored one
    // after another at `records` and numbered from `first` (> 0). Blocks
    // come in record order; record numbers a block skips are in no tag.
    void addRecords(const std::uint8_t* records, std::size_t recordLength, std::uint32_t first,
                    std::uint32_t n);
    // Adds every tag to `file` (see NsxFile::installTag) with its tree over
    // the keys added, in the order the tags were given. `recordCount` is the
    // table's, for the width of record numbers in leaves. Reports progress
    // from..to. The build's keys are spent afterwards.
    void writeTo(NsxFile& file, std::uint32_t recordCount, const NsxProgress& progress = {});

  private:
    struct Slot;
    // Keys of records [from, to) of a block, on thread `thread`.
    void evalRange(unsigned thread, const std::uint8_t* records, std::size_t recordLength,
                   std::uint32_t first, std::uint32_t from, std::uint32_t to);

    nsx::BulkRecycler recycler_;  // declared first: the slots' arrays go back into it
    std::vector<std::unique_ptr<Slot>> slots_;
    unsigned threads_ = 1;    // that make keys; as many lay out trees, at most one per tag
    std::size_t filled_ = 0;  // slots given so far, in every batch
    Env& env_;
};

}  // namespace xb
