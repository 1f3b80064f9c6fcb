// One tag of an NSX index: its definition and its B-tree of (key, recno)
// entries.
//
// Entries are ordered by key bytes (unsigned, memcmp over the key length),
// then by record number; each pair occurs at most once, and on a unique tag
// each key at most once (the first arrival wins). Keys live in branch and
// leaf pages alike; all leaves are at the same depth and no leaf but the
// root is ever empty. Descending tags are stored ascending like every other
// tag: reversing the direction is left to the caller's navigation.
//
// Every key argument is the key's bytes; a shorter one is padded with the
// trail byte (blank for character keys, 0x00 otherwise) and a longer one is
// cut to keyLen(), as the key evaluation of other xBase programs does.
//
// Order positions: count(), the count...() ranks and the cursor positions
// take time logarithmic in the number of entries once the subtree counts are
// known. The counts are not stored in the file; they are computed from the
// page headers on first use (which reads the tree once) and then kept up to
// date by every insert, delete and build. Those of a large file also outlive
// the process (count_store.h).
//
// A modification that throws (damaged page met on the way, I/O error) can
// leave the tag half-updated in memory; the caller must then rebuild it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_page.h"

namespace xb {

class NsxKeyBatch;

struct NsxEntry {
    std::string key;
    std::uint32_t recno = 0;
    bool operator==(const NsxEntry&) const = default;
};

namespace nsx {

// A step on the path from the root: the page and, for a branch, the child
// number taken (0 = LowerPage); for the last step the position in the page.
struct Frame {
    std::uint32_t addr;
    int idx;
};

// "Is the entry (key, recno) before the target?" -- monotone over the
// in-order sequence, so a descent finds the first entry where it is false.
struct Target {
    enum Kind { Entry, PrefixBelow, PrefixUpTo };
    Kind kind;
    const std::uint8_t* key;  // Entry: keyLen bytes; prefix kinds: len bytes
    int len;
    std::uint32_t recno;
    // The first min(len, 8) bytes of the key as a big-endian number (zeros
    // after them), compared in one step before the rest of the bytes.
    std::uint64_t head = 0;
    std::uint64_t headMask = 0;

    Target(Kind k, const std::uint8_t* bytes, int length, std::uint32_t r)
        : kind(k), key(bytes), len(length), recno(r) {
        const int h = std::min(len, 8);
        if (h <= 0) return;
        std::uint8_t b[8] = {};
        std::memcpy(b, key, static_cast<std::size_t>(h));
        head = loadHead(b);
        headMask = ~std::uint64_t{0} << (8 * (8 - h));
    }
    static std::uint64_t loadHead(const std::uint8_t* p) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        return __builtin_bswap64(w);
    }
    // Compares the first n bytes of k (keyLen bytes) with the key.
    int compare(const std::uint8_t* k, int n, int keyLen) const {
        if (n <= 0) return 0;
        if (keyLen >= 8) {
            const std::uint64_t w = loadHead(k) & headMask;
            if (w != head) return w < head ? -1 : 1;
            return n <= 8 ? 0 : std::memcmp(k + 8, key + 8, static_cast<std::size_t>(n - 8));
        }
        return std::memcmp(k, key, static_cast<std::size_t>(n));
    }
    bool before(const std::uint8_t* k, std::uint32_t r, int keyLen) const {
        if (kind == Entry) {
            const int c = compare(k, keyLen, keyLen);
            return c < 0 || (c == 0 && r < recno);
        }
        const int c = compare(k, len, keyLen);
        return kind == PrefixBelow ? c < 0 : c <= 0;
    }
    // The child number of a branch to descend into: the number of its keys
    // before the target.
    int childIn(const BranchView& b) const {
        int lo = 0, hi = b.count();
        // The search jumps across the page: ask for all of its keys at once
        // rather than wait for each probe in turn.
        const int used = std::min(kBranchHeader + hi * (b.keyLen + 8), kPageSize);
        for (int off = 0; off < used; off += 64)
            __builtin_prefetch(b.p + off);
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (before(b.key(mid), b.recno(mid), b.keyLen)) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        return lo;
    }
};

}  // namespace nsx

class NsxTag {
  public:
    // ---- definition ------------------------------------------------------------------
    const std::string& name() const { return name_; }
    const std::string& keyExpr() const { return keyExpr_; }
    const std::string& forExpr() const { return forExpr_; }
    NsxKeyType keyType() const;
    std::uint16_t keyTypeCode() const { return keyType_; }
    int keyLen() const { return fmt_.keyLen; }
    bool unique() const { return unique_; }
    bool descending() const { return descending_; }
    std::uint8_t flags() const { return flags_; }
    std::uint8_t trail() const { return fmt_.trail; }
    NsxTagDef definition() const;
    NsxFile& file() { return file_; }
    std::uint32_t headerAddr() const { return header_; }
    std::uint32_t rootAddr() const { return root_; }

    // The key padded or cut to keyLen().
    std::string makeKey(std::string_view bytes) const;

    // ---- updates ---------------------------------------------------------------------
    // Adds (key, recno). Returns false and changes nothing when the pair is
    // already there, or on a unique tag when the key is. REQUIRES: recno > 0.
    bool insert(std::string_view key, std::uint32_t recno);
    // Removes (key, recno). Returns false when the pair is not there (the
    // caller decides whether that means damage).
    bool remove(std::string_view key, std::uint32_t recno);
    bool contains(std::string_view key, std::uint32_t recno);
    // Replaces the whole tree by one built from `batch` (sorted here). Record
    // numbers in leaves get the width the table's record count needs. Unique
    // tags keep the lowest record number of each key. Reports progress.
    void build(NsxKeyBatch& batch, std::uint32_t recordCount, const NsxProgress& progress = {},
               const std::vector<std::uint32_t>* oldPages = nullptr);
    // Replaces the whole tree by one laid out by assembleTree() for this
    // tag's key format: takes addresses for its pages (the old tree's first),
    // writes them and frees what is left of the old tree.
    // `oldPages`, when given, are the old tree's pages (a walk over it just
    // met them), so that they need not be looked up again.
    void install(NsxTreeImage& image, const std::vector<std::uint32_t>* oldPages = nullptr);
    // Removes every entry (the tree becomes one empty root leaf).
    void clearEntries();
    // Brings many changes in at once: takes out the pairs of `removals` and
    // adds those of `insertions` (both sorted here; a pair added that is
    // already there stays once) by building the tree again from its own
    // entries merged with them, in one pass over the old tree without
    // evaluating a key. Cheaper than single inserts and removes once the
    // changes are more than a small share of the entries. Returns 0, or
    // changes nothing and returns the record number of the first removal
    // whose pair is not in the tag. REQUIRES: !unique().
    std::uint32_t merge(NsxKeyBatch& removals, NsxKeyBatch& insertions, std::uint32_t recordCount);

    // ---- counts and ranks ------------------------------------------------------------
    std::uint64_t count();
    // Entries before (key, recno) in index order.
    std::uint64_t countBefore(std::string_view key, std::uint32_t recno);
    // Entries whose first L = min(len, keyLen) key bytes are below `value`;
    // +1 is the position a seek for `value` lands on.
    std::uint64_t countBelowPrefix(std::string_view value);
    // Entries whose first L key bytes are <= `value`: the position of the
    // last entry of a scope ending at `value`.
    std::uint64_t countUpToPrefix(std::string_view value);

    // Changes with every successful insert, remove, build and clear; cursors
    // use it to notice that they must find their place again.
    std::uint64_t modCount() const { return mods_; }

    // ---- walking (tests, checks, tools) ----------------------------------------------
    std::vector<NsxEntry> entries();
    // Calls fn(key, recno) for every entry in index order (keyLen() key
    // bytes, valid for the call only), walking the pages directly; throws
    // Corrupt for a damaged page met on the way.
    void forEachEntry(const std::function<void(const std::uint8_t* key, std::uint32_t recno)>& fn);
    // Levels from the root to the leaves (1 for a single root leaf).
    int depth();

    // ---- internal: shared with the cursor and the builder ------------------------------
    const nsx::KeyFormat& format() const { return fmt_; }
    // A tree page, checked as the readers of other programs check it: type,
    // used area, branch key count, child addresses. Throws Corrupt.
    nsx::PageRef treePage(std::uint32_t addr);
    // The same checks for the bytes `d` of page `addr` read some other way.
    void requireTreePage(const std::uint8_t* d, std::uint32_t addr) const;
    // Decodes a whole leaf into flat keys and record numbers; throws Corrupt.
    void decodeLeaf(const std::uint8_t* page, std::uint32_t addr, const std::uint8_t* pred,
                    std::vector<std::uint8_t>& keys, std::vector<std::uint32_t>& recnos);
    // The restart points of a cached leaf page, built on first use by
    // decoding the page once (against `pred`, the key left of the leaf).
    const nsx::LeafIndex& leafIndex(nsx::Page* page, const std::uint8_t* pred);
    // The last restart point whose entry is before `t`, or -1.
    int restartBefore(const nsx::LeafIndex& ix, const nsx::Target& t) const;
    // Resumes `dec` at the last restart point before the first entry not
    // before `t`; returns the number of entries skipped.
    int skipTo(nsx::LeafDecoder& dec, const nsx::LeafIndex& ix, const nsx::Target& t) const;
    // Entries in the subtree of `addr`.
    std::uint64_t subtreeCount(std::uint32_t addr, int depth = 0);
    // Entries before the target.
    std::uint64_t countBeforeTarget(const nsx::Target& t);
    void setRoot(std::uint32_t addr);
    void bumpMods() { ++mods_; }

  private:
    friend class NsxFile;
    NsxTag(NsxFile& file, std::uint32_t header);

    struct Node;  // a decoded page under modification
    void checkDepth(std::size_t depth) const;
    void fillKey(std::string_view bytes);  // key_ = the key padded or cut
    void requireEntries(const std::uint8_t* key) const;
    // Descends to the leaf slot of the first entry not before `t`; fills
    // `path` (root first) and returns through the optional outputs the
    // decoded neighbours of the slot.
    // The leaf slot a descent ends in, with the decoded neighbours an
    // in-place edit needs.
    struct Slot {
        int idx = 0;  // 0..n
        int n = 0;
        int recLen = 2;
        int used = nsx::kLeafHeader;
        int off = nsx::kLeafHeader;  // offset of entry idx (end of entries when idx == n)
        int size = 0;                // its length (0 when idx == n)
        bool hasPred = false;        // key left of the leaf
        std::uint8_t pred[nsx::kMaxKeyLen];
        bool hasPrev = false;  // entry idx-1 (inside the leaf)
        std::uint8_t prev[nsx::kMaxKeyLen];
        bool hasCur = false;  // entry idx
        std::uint8_t cur[nsx::kMaxKeyLen];
        std::uint32_t curRec = 0;
        bool hasNext = false;  // entry idx+1
        std::uint8_t next[nsx::kMaxKeyLen];
        std::uint32_t nextRec = 0;
        int nextOff = 0;
        int nextSize = 0;
        // Back to the state above; the key buffers count only with their flags.
        void reset() {
            idx = n = size = 0;
            recLen = 2;
            used = off = nsx::kLeafHeader;
            hasPred = hasPrev = hasCur = hasNext = false;
            curRec = nextRec = 0;
            nextOff = nextSize = 0;
        }
    };
    void descend(const nsx::Target& t, std::vector<nsx::Frame>& path, Slot& slot);
    void predecessorOf(const std::vector<nsx::Frame>& path, std::size_t level, std::uint8_t* out,
                       bool& has);
    bool insertAtSlot(std::vector<nsx::Frame>& path, Slot& slot, const std::uint8_t* key,
                      std::uint32_t recno);
    void removeBranchKey(std::vector<nsx::Frame>& path, std::size_t level, int keyIdx);
    // The part of removeBranchKey() after the descent (`path` ends in the
    // leaf holding the successor of `oldKey`, branch key keyIdx at `level`)
    // when the successor's leaf keeps entries and can be edited in place;
    // false when nothing was changed.
    bool takeFirstInPlace(std::vector<nsx::Frame>& path, std::size_t level, int keyIdx,
                          const std::uint8_t* oldKey);
    void emptyLeaf(std::vector<nsx::Frame>& path);
    void storeLeaf(std::vector<nsx::Frame>& path, std::size_t level,
                   std::vector<std::uint8_t>& keys, std::vector<std::uint32_t>& recnos, int recLen);
    void storeBranch(std::vector<nsx::Frame>& path, std::size_t level,
                     std::vector<std::uint8_t>& keys, std::vector<std::uint32_t>& recnos,
                     std::vector<std::uint32_t>& children);
    // After a split of the page `addr` at `level` of `path`: its right-hand
    // pieces go into the parent after their separators; a split root gets a
    // new root branch above it.
    void hangPieces(std::vector<nsx::Frame>& path, std::size_t level, std::uint32_t addr,
                    bool isRoot, const std::vector<std::uint8_t>& sepKeys,
                    const std::vector<std::uint32_t>& sepRecnos,
                    const std::vector<std::uint32_t>& rightPages);
    void insertSeparators(std::vector<nsx::Frame>& path, std::size_t level,
                          const std::vector<std::uint8_t>& sepKeys,
                          const std::vector<std::uint32_t>& sepRecnos,
                          const std::vector<std::uint32_t>& rightPages);
    void readBranch(const std::uint8_t* page, std::vector<std::uint8_t>& keys,
                    std::vector<std::uint32_t>& recnos, std::vector<std::uint32_t>& children);
    void collapseRoot();
    // After an in-place edit of a leaf (an entry inserted at `idx`, dir +1,
    // or removed there, dir -1): moves the page's restart points along when
    // this tag built them, else drops them; marks the page dirty.
    void keepLeafIndex(nsx::Page* p, int idx, int dir, int delta, int changedOffset);
    void forgetPathCounts(const std::vector<nsx::Frame>& path);
    void writeHeaderRoot();
    void freeSubtree(std::uint32_t addr, int depth);

    NsxFile& file_;
    std::uint32_t header_;
    std::uint32_t root_ = 0;
    std::string name_;
    std::string keyExpr_;
    std::string forExpr_;
    std::uint16_t keyType_ = 0;
    nsx::KeyFormat fmt_{1, 0x20};
    bool unique_ = false;
    bool descending_ = false;
    std::uint8_t flags_ = 0;
    std::uint64_t mods_ = 1;
    // depth() as last found; 0 when unknown. Only a new root or a root
    // branch that becomes a leaf changes it.
    int depth_ = 0;
    // Scratch space of insert() and remove(), kept to spare allocations.
    std::vector<nsx::Frame> path_;
    std::string key_;
};

}  // namespace xb
