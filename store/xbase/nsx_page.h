// Page layouts of the NSX compound index and the codec for leaf entries.
//
// An index file is an array of 1024-byte pages addressed by byte offset. Page
// 0 is the root header (tag table), every tag has a header page and a tree of
// branch and leaf pages; freed pages form a singly linked list. All integers
// are little-endian. The byte layouts are described in nsx_format.md; this
// header gives the offsets as constants and the pure functions that read and
// write page contents. Nothing here does I/O or throws.
//
// Invariants of a branch page (type 0, or 1 for the root):
//   n <= maxBranchKeys(keyLen); LowerPage and every child address are non-zero
//   page addresses; the entries are (child, recno, key) with uncompressed keys
//   of exactly keyLen bytes, ordered by (key, recno). In-order sequence:
//   subtree(LowerPage), K0, subtree(child 0), K1, ..., K(n-1), subtree(child n-1).
// Invariants of a leaf page (type 2, or 3 for the root):
//   RecNoLen 1..4, entries packed from offset 6 up to the used area, each
//   entry decodable against the entry before it in index order (for the
//   first entry of a leaf, the branch key left of it; none for the first entry
//   of the whole tag). A non-root leaf is never empty.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "store/xbase/coding.h"

namespace xb::nsx {

constexpr int kPageSize = 1024;
constexpr std::uint8_t kSignature = 0x69;  // 'i': addresses are byte offsets
constexpr std::uint32_t kNoPage = 0xFFFFFFFFu;
constexpr int kMaxTags = 50;
constexpr int kMaxKeyLen = 250;
constexpr int kMaxExprLen = 255;  // 256 bytes in the header, keep a NUL
constexpr int kMaxTagNameLen = 11;
constexpr int kMaxDepth = 64;      // deeper trees are treated as damaged
constexpr int kSplitOffset = 592;  // a splitting leaf keeps entries starting below this

// ---- root header (page 0) ---------------------------------------------------
constexpr int kRootSig = 0;
constexpr int kRootFlags = 1;
constexpr int kRootTagCount = 2;
constexpr int kRootVersion = 4;
constexpr int kRootFreeHead = 6;
constexpr int kRootFileSize = 10;
constexpr int kRootTagTable = 14;  // 50 entries of 16 bytes
constexpr int kTagEntrySize = 16;  // name[12] NUL-terminated, u32 header address
// Unused tail of the root page; the engine keeps its crash marker here.
constexpr int kMarkerOffset = 1016;
constexpr char kDirtyMarker[8] = {'Q', 'V', 'D', 'I', 'R', 'T', 'Y', '!'};
// Also in the unused tail: the note of the table's flagged records (see
// NsxFile::flaggedNote), from here up to the marker.
constexpr int kNoteOffset = 816;
constexpr int kNoteEnd = kMarkerOffset;

// ---- tag header page -----------------------------------------------------------
constexpr int kTagSig = 0;
constexpr int kTagFlags = 1;
constexpr int kTagRoot = 2;
constexpr int kTagKeyType = 6;
constexpr int kTagKeyLen = 8;
constexpr int kTagUnique = 10;
constexpr int kTagDescend = 12;
constexpr int kTagKeyExpr = 14;   // 256 bytes
constexpr int kTagForExpr = 270;  // 256 bytes
constexpr std::uint8_t kKnownTagFlags = 0x3F;

// ---- tree pages ------------------------------------------------------------------
constexpr std::uint8_t kTypeBranch = 0x00;
constexpr std::uint8_t kTypeRootBranch = 0x01;
constexpr std::uint8_t kTypeLeaf = 0x02;
constexpr std::uint8_t kTypeRootLeaf = 0x03;
constexpr std::uint8_t kTypeFree = 0x66;  // 'f'; next free page at offset 6
constexpr int kFreeNext = 6;

constexpr int kBranchHeader = 8;  // type, recnolen, u16 n, u32 LowerPage
constexpr int kLeafHeader = 6;    // type, recnolen, u16 n, u16 used area
constexpr std::uint8_t kBranchRecNoLen = 4;

// Key type codes of the tag header.
enum class KeyType : std::uint16_t {
    Character = 0x0400,
    Numeric = 0x0008,
    NumericAlt = 0x0002,  // read as numeric
    Date = 0x0020,
    Timestamp = 0x0040,
    Logical = 0x0080,
};
bool isKnownKeyType(std::uint16_t code);
// Space for character keys, 0x00 for every other type.
inline std::uint8_t trailFor(std::uint16_t keyType) {
    return keyType == static_cast<std::uint16_t>(KeyType::Character) ? 0x20 : 0x00;
}

inline int maxBranchKeys(int keyLen) {
    return (kPageSize - kBranchHeader) / (keyLen + 8);
}

// Bytes a leaf needs for record numbers up to `recno`: 2, 3 or 4 (never 1).
inline int recNoLenFor(std::uint32_t recno) {
    return recno < 0x10000u ? 2 : recno < 0x1000000u ? 3 : 4;
}

inline bool isLeafType(std::uint8_t t) {
    return t == kTypeLeaf || t == kTypeRootLeaf;
}
inline bool isBranchType(std::uint8_t t) {
    return t == kTypeBranch || t == kTypeRootBranch;
}
inline bool isRootType(std::uint8_t t) {
    return t == kTypeRootBranch || t == kTypeRootLeaf;
}

// ---- branch page access ------------------------------------------------------------
//
// Child numbering used throughout the engine: child 0 is LowerPage, child c
// (c >= 1) is the subtree after key c-1. Key i lies between child i and i+1.
struct BranchView {
    const std::uint8_t* p;
    int keyLen;

    int count() const { return getU16LE(p + 2); }
    std::uint32_t lower() const { return getU32LE(p + 4); }
    const std::uint8_t* entry(int i) const { return p + kBranchHeader + i * (keyLen + 8); }
    std::uint32_t childAfter(int i) const { return getU32LE(entry(i)); }
    std::uint32_t recno(int i) const { return getU32LE(entry(i) + 4); }
    const std::uint8_t* key(int i) const { return entry(i) + 8; }
    // Child number c in 0..count().
    std::uint32_t child(int c) const { return c == 0 ? lower() : childAfter(c - 1); }
};

// Writes a branch entry (child after the key, recno, key) at slot i.
inline void putBranchEntry(std::uint8_t* page, int keyLen, int i, std::uint32_t child,
                           std::uint32_t recno, const std::uint8_t* key) {
    std::uint8_t* e = page + kBranchHeader + i * (keyLen + 8);
    putU32LE(e, child);
    putU32LE(e + 4, recno);
    std::memcpy(e + 8, key, static_cast<std::size_t>(keyLen));
}
inline void setBranchChild(std::uint8_t* page, int keyLen, int c, std::uint32_t child) {
    if (c == 0) {
        putU32LE(page + 4, child);
    } else {
        putU32LE(page + kBranchHeader + (c - 1) * (keyLen + 8), child);
    }
}

// ---- leaf entries ------------------------------------------------------------------------

// Parameters every leaf codec call needs.
struct KeyFormat {
    int keyLen;
    std::uint8_t trail;
};

// Largest encoded entry: 4 (recno) + 1 (size) + 1 (dup count) + 250 (data).
constexpr int kMaxEntrySize = 256;

// Encodes one leaf entry into `out` (room for kMaxEntrySize bytes) and returns
// its length. `prev` is the key preceding this one in index order, or null to
// store the key without reference (DupCount 0, as the first entry of a leaf
// is always written by this engine). Uses the fully duplicated form when the
// key equals `prev`, strips trailing trail bytes, and run-length encodes the
// rest when that is strictly shorter than storing it raw.
int encodeLeafEntry(std::uint8_t* out, const KeyFormat& f, int recLen, std::uint32_t recno,
                    const std::uint8_t* key, const std::uint8_t* prev);
// Length encodeLeafEntry would return, without writing.
int leafEntrySize(const KeyFormat& f, int recLen, const std::uint8_t* key,
                  const std::uint8_t* prev);

// Sequential decoder for the entries of one leaf page.
//
// Checks every bound while it decodes: the header (used area 6..1024,
// RecNoLen 1..4), each entry's length against the used area, the data length,
// DupCount against the key length and the RLE output against the key length.
// A damaged entry stops the decoder with error() set; it never reads outside
// the page.
class LeafDecoder {
  public:
    // `pred` is the key left of this leaf in index order, or null for the
    // leftmost leaf of the tree. The page must stay valid while decoding.
    LeafDecoder(const std::uint8_t* page, const KeyFormat& f, const std::uint8_t* pred);

    // Decodes the next entry; false after the last one or on a fault.
    bool next() { return decode(buf_[cur_ ^ 1], true); }
    // Continues after entry `index` at byte `offset`, whose key and record
    // number are known (a restart point of a LeafIndex): the next call
    // decodes entry index + 1.
    void resume(int index, int offset, const std::uint8_t* key, std::uint32_t recno);
    // Decodes the next entry into `dst` (keyLen bytes) instead of the
    // decoder's own buffer. `dst` must stay unchanged until the following
    // call, which reads it as the predecessor.
    bool nextInto(std::uint8_t* dst) { return decode(dst, false); }

    // German description of the fault that stopped the decoder, or null.
    const char* error() const { return error_; }
    int count() const { return count_; }  // key count from the header
    int used() const { return used_; }    // used area from the header
    int recLen() const { return recLen_; }
    int index() const { return index_; }    // of the current entry, -1 before the first
    int offset() const { return offset_; }  // byte offset of the current entry
    int size() const { return size_; }      // its encoded length
    int dupCount() const { return dup_; }   // its DupCount (keyLen for the duplicate form)
    bool fullDuplicate() const { return fullDup_; }
    std::uint32_t recno() const { return recno_; }
    // The current key (the predecessor before the first entry; null when
    // there is none).
    const std::uint8_t* key() const { return last_; }
    // Key of the entry before the current one (pred for the first entry);
    // null when there is none. Only kept by next().
    const std::uint8_t* prevKey() const { return before_; }
    // End of the current entry (offset of the next one).
    int end() const { return offset_ + size_; }

  private:
    bool fail(const char* why) {
        error_ = why;
        return false;
    }
    bool decode(std::uint8_t* dst, bool own);

    const std::uint8_t* page_;
    KeyFormat f_;
    int count_ = 0;
    int used_ = 0;
    int recLen_ = 0;
    int index_ = -1;
    int offset_ = 0;
    int size_ = 0;
    int dup_ = 0;
    bool fullDup_ = false;
    std::uint32_t recno_ = 0;
    const char* error_ = nullptr;
    const std::uint8_t* last_ = nullptr;    // last decoded key (or the predecessor)
    const std::uint8_t* before_ = nullptr;  // the key before last_
    int cur_ = 0;                           // buf_ holding last_ in own mode
    std::uint8_t pred_[kMaxKeyLen];
    std::uint8_t buf_[2][kMaxKeyLen];
};

// Decoded keys of every kStep-th entry of a leaf page, kept in memory beside
// a cached page so that a search decodes only a few entries. Rebuilt when the
// page changes, except for in-place inserts and deletes, which shift it.
// The restart points lie side by side in one block (entry number, byte
// offset, record number, key), so that a search reaches a point's key and
// its place in the page with one memory access.
struct LeafIndex {
    static constexpr int kStep = 8;
    static constexpr std::size_t kHead = 12;  // entry, offset, recno before the key
    bool valid = false;                       // false: rebuild before use (the storage is kept)
    // The tag whose key format built the restart points. In a damaged file
    // two tags can reach the same page; each then needs its own reading.
    const void* owner = nullptr;
    int keyLen = 0;
    int n = 0;
    std::vector<std::uint8_t> points;  // n points of kHead + keyLen bytes

    int count() const { return n; }
    bool usableBy(const void* tag) const { return valid && owner == tag; }
    std::size_t stride() const { return kHead + static_cast<std::size_t>(keyLen); }
    const std::uint8_t* point(int k) const {
        return points.data() + static_cast<std::size_t>(k) * stride();
    }
    int entry(int k) const { return getI32(point(k)); }
    int offset(int k) const { return getI32(point(k) + 4); }
    std::uint32_t recno(int k) const { return getU32LE(point(k) + 8); }
    const std::uint8_t* key(int k) const { return point(k) + kHead; }
    std::size_t bytes() const { return points.capacity(); }
    // Empties the index for keys of `length` bytes (the storage is kept).
    void reset(int length) {
        keyLen = length;
        n = 0;
        points.clear();
    }
    void add(int entryNo, int off, std::uint32_t rec, const std::uint8_t* k) {
        const std::size_t at = points.size();
        points.resize(at + stride());
        std::uint8_t* d = points.data() + at;
        putI32(d, entryNo);
        putI32(d + 4, off);
        putU32LE(d + 8, rec);
        std::memcpy(d + kHead, k, static_cast<std::size_t>(keyLen));
        ++n;
    }
    // Adjusts the restart points to an entry inserted at `idx` (+1) or
    // removed there (-1): the entries from idx on moved by `delta` bytes,
    // and the entry that now follows the change starts at `changedOffset`.
    void shift(int idx, int dir, int delta, int changedOffset);

  private:
    static int getI32(const std::uint8_t* p) {
        int v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void putI32(std::uint8_t* p, int v) { std::memcpy(p, &v, sizeof v); }
};

// Writes the leaf header (type, RecNoLen, count, used area).
inline void putLeafHeader(std::uint8_t* page, std::uint8_t type, int recLen, int count, int used) {
    page[0] = type;
    page[1] = static_cast<std::uint8_t>(recLen);
    putU16LE(page + 2, static_cast<std::uint16_t>(count));
    putU16LE(page + 4, static_cast<std::uint16_t>(used));
}

// Encodes entries [from, to) of the flat arrays `keys` (keyLen bytes each) and
// `recnos` into a fresh leaf page (the first one without reference), zeroing
// the unused tail. Returns false, leaving the page undefined, when they do not
// fit.
bool encodeLeafPage(std::uint8_t* page, std::uint8_t type, const KeyFormat& f, int recLen,
                    const std::uint8_t* keys, const std::uint32_t* recnos, int from, int to);

}  // namespace xb::nsx
