// SMT memo files, read and written.
//
// Layout: a 512-byte header, then data in blocks (64 bytes in every file the
// catalogue writes). Block b starts at byte b × block size; the header fills
// blocks 0 ... 512 / block size - 1, so data starts at block 8.
//
// Header:  0 next free block (u32 LE): the first block never used at the end
//          4 block size (u32 LE), 8 signature "SIxMemo" 00 00 00,
//          18 number of free-list entries (u16 LE, at most 82),
//          20 free list: per entry u16 LE size in blocks, u32 LE first block,
//          kept in ascending order of size.
//
// A memo is the raw stored bytes only (no length, type or terminator); the
// 10-byte field reference in the DBF record carries type (u16 LE, 1 = text),
// length (u32 LE) and first block (u32 LE). Ten blanks mean "never written";
// block 0 means empty. The file is not padded after the last memo.
//
// Free space. A released extent that ends at the next free block moves that
// block back; any other goes into the list, merged with a free neighbour it
// touches, and free extents that come to end at the next free block are
// folded back into it. Allocation takes the smallest free extent that is
// large enough (from its start) or else the blocks at the next free block.
// When the list would exceed 82 entries the smallest one is dropped (a leak,
// never an overlap). An extent that overlaps free space or lies outside the
// data area is never put on the list.
//
// Invariants kept by every write: no two free extents overlap; every free
// extent lies in [first data block, next free block); no free extent ends at
// the next free block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/memo_store.h"

namespace xb {

// The 10-byte reference in a DBF record.
struct SmtRef {
    bool blank = true;       // ten blanks: never written
    std::uint16_t type = 0;  // 1 = text; else the stored value's tag
    std::uint32_t length = 0;
    std::uint32_t block = 0;  // 0: empty memo

    static SmtRef decode(const std::uint8_t* p);
    // Writes the reference; a blank one as ten blanks.
    void encode(std::uint8_t* p) const;
};

struct MemoExtent {
    std::uint32_t block = 0;
    std::uint32_t blocks = 0;
    bool operator==(const MemoExtent&) const = default;
};

class SmtFile final : public MemoStore {
  public:
    static constexpr std::size_t kHeaderSize = 512;
    static constexpr std::uint32_t kBlockSize = 64;
    static constexpr std::size_t kMaxFreeEntries = 82;
    static constexpr std::uint32_t kMaxEntryBlocks = 0xFFFF;
    static constexpr std::uint16_t kTextType = 1;

    // The bytes of a new, empty memo file (exactly the header).
    static std::vector<std::uint8_t> newFileBytes(std::uint32_t blockSize = kBlockSize);

    // Reads the header. Corrupt when it is shorter than 512 bytes or the block
    // size is 0. A writable file with a next free block outside the file, or a
    // free list that breaks the invariants, is brought back into shape in
    // memory (dropped entries leak their blocks); the next writeHeader()
    // stores the result.
    SmtFile(std::unique_ptr<RandomFile> file, bool writable);

    MemoKind kind() const override { return MemoKind::Smt; }
    const std::string& path() const override { return file_->path(); }
    bool written(const std::uint8_t* ref, std::size_t width) const override;
    MemoValue read(const std::uint8_t* ref, std::size_t width, std::int64_t recno) override;
    std::uint64_t fileSize() const override { return size_; }

    std::uint32_t blockSize() const { return blockSize_; }
    std::uint32_t nextFreeBlock() const { return nextFree_; }
    std::uint32_t firstDataBlock() const { return firstData_; }
    const std::vector<MemoExtent>& freeList() const { return free_; }
    std::uint32_t blocksFor(std::uint64_t length) const;
    // The blocks a reference occupies ({0, 0} when none).
    MemoExtent extentOf(const SmtRef& ref) const;

    // The stored bytes of a reference ("" for a blank or empty one). Corrupt
    // naming this file and `recno` when the data lies outside the file.
    std::string readStored(const SmtRef& ref, std::int64_t recno);

    // ---- writing (REQUIRES: opened writable) ----
    // Reserves `blocks` blocks and returns the first (0 for 0 blocks). Only
    // the in-memory header changes.
    std::uint32_t allocate(std::uint32_t blocks);
    // The next free block after allocate() had been called for each of
    // `blocks` in turn (nothing is allocated).
    std::uint64_t nextFreeAfter(const std::vector<std::uint32_t>& blocks) const;
    void writeData(std::uint32_t block, std::string_view data);
    // Returns an extent to the free space (in memory).
    void release(MemoExtent e);
    // Writes the header; when the next free block went below the end of the
    // file, the file is cut there afterwards.
    void writeHeader();
    void sync() { file_->sync(); }

    // Where allocation stands: the next free block, the free list and the
    // file's length.
    struct Allocation {
        std::uint32_t nextFree = 0;
        std::vector<MemoExtent> free;
        std::uint64_t size = 0;
    };
    Allocation allocation() const { return {nextFree_, free_, size_}; }
    // Goes back to an earlier allocation: every block allocated since is
    // free again and the file is cut back to it. Writes the header at once;
    // needs no room.
    void restoreAllocation(const Allocation& a);

  private:
    void foldBack();
    void sortFree();
    bool overlapsFree(MemoExtent e) const;

    std::unique_ptr<RandomFile> file_;
    bool writable_;
    std::uint8_t signature_[10];
    std::uint32_t blockSize_ = kBlockSize;
    std::uint32_t firstData_ = 8;
    std::uint32_t nextFree_ = 8;
    std::vector<MemoExtent> free_;
    std::uint64_t size_ = 0;
};

}  // namespace xb
