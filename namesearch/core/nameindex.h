// The name index: what the search by any part of a name scans instead of
// the file table. It is derived from the file table and nothing else, kept
// in the user's cache folder beside the order counts, and may be deleted at
// any time.
//
// Content. One row per catalogued file record (released and deleted ones
// left out), in record order: record number, owning entry, size, date and
// the offset of its text; the texts are the full paths upper-cased (see
// namepattern.h), each ended by a line feed, one after the other. A search
// looks for the pattern's longest literal in the texts with a fast
// substring search and maps each hit back to its row.
//
// Freshness. The index carries the stamps of the file table and its memo
// file (FileTableImage::stampOf) as they were before it was built; it is
// used only while the table's stamps are the same. A build that sees the
// stamps change while it reads is thrown away.
//
// Blocks. The rows go in blocks of the records of one stretch of the table
// (8192 records); each block has a fingerprint of its texts (textscan.h),
// so that a search passes over the blocks that cannot hold its literal
// without reading them, and its own checksum.
//
// The file. "QVNI", version, the catalogue folder, the stamps, the counts,
// the block table, the fingerprints and a checksum over all of these; then
// the rows and the texts. It is written to a temporary name and renamed
// over the old one. A reader maps it and takes it only when magic, version,
// folder, sizes, block table and that checksum hold; a block's rows and
// texts are checked against the block's checksum when a search first reads
// them, so that a search over a few blocks reads no more than those. A
// damaged block stops the search there: the index counts as damaged from
// then on, its file is deleted (the next search builds it anew), and
// searchNames() goes on by scanning the table. Anything else is a damaged
// cache too: ignored, and rebuilt.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "namesearch/core/namepattern.h"
#include "namesearch/core/textscan.h"

namespace qv {

class FileTableImage;

// A row is kept in two parts: what every search reads (the record and where
// its text is) and what only a search with a filter of size, date or owner
// reads, so that the others leave the second part alone.
struct NameKey {
    std::uint32_t recno;
    std::uint32_t text;  // offset of the row's text in its block's texts
};
struct NameFacts {
    std::uint32_t entry;
    std::int32_t date;
    std::int64_t size;
};
static_assert(sizeof(NameKey) == 8 && sizeof(NameFacts) == 16);

// Receives the matches of one slice of the table, in record order; slices
// arrive in order. Returning false ends the search.
using MatchSink = std::function<bool(const std::vector<std::uint32_t>& recnos)>;

class NameIndex {
  public:
    ~NameIndex();
    NameIndex(const NameIndex&) = delete;
    NameIndex& operator=(const NameIndex&) = delete;

    // Builds the index of the catalogue in image.directory() on `threads`
    // threads. `progress` (when given) gets 0 ... 100 from the calling
    // thread. Returns nullptr when the table's stamps changed during the
    // build or `cancel` was set.
    static std::unique_ptr<NameIndex> build(const FileTableImage& image, int threads = 2,
                                            const std::function<void(int)>& progress = {},
                                            const std::atomic<bool>* cancel = nullptr);
    // The saved index of catalogue `dir` from `file`; nullptr when there is
    // none or it is damaged. Its freshness is not judged here.
    static std::unique_ptr<NameIndex> load(const std::string& file, const std::string& dir);
    // Writes the index to `file` (temporary name, then rename). False when
    // it could not be written.
    bool save(const std::string& file) const;

    const std::string& directory() const { return m_dir; }
    const std::string& stamp() const { return m_stamp; }
    std::size_t rows() const { return m_rowCount; }
    std::uint64_t textBytes() const { return m_textBytes; }

    // Searches on `threads` threads; `sink` is called on the calling thread
    // with the matches slice by slice in record order. Returns the number of
    // matches handed on (at most `limit`, 0 = no limit). `fromSlice` skips
    // the slices a searchHead() did. A damaged block ends the search before
    // it (see damaged()).
    std::uint64_t search(const NamePattern& pattern, const NameFilter& filter,
                         const MatchSink& sink, std::uint64_t limit = 0, int threads = 2,
                         const std::atomic<bool>* cancel = nullptr,
                         std::size_t fromSlice = 0) const;
    // The first slices on the calling thread alone, until `enough` matches
    // were handed to `sink` (counted in `handed`) or `budget` has passed:
    // a window shows its first rows without waiting for another thread.
    // Returns the slice to go on from (slices() when all are done).
    std::size_t searchHead(const NamePattern& pattern, const NameFilter& filter,
                           const MatchSink& sink, std::size_t enough,
                           std::chrono::microseconds budget, std::uint64_t& handed) const;
    // The number of matches alone, on `threads` threads. Without a filter by
    // size, date or owner it reads the texts only: a match's row is told by
    // the line feeds around it. A damaged block ends it early (see
    // damaged()).
    std::uint64_t count(const NamePattern& pattern, const NameFilter& filter,
                        int threads = 2) const;
    std::size_t slices() const { return m_blocks; }
    // Whether a search met a block whose checksum failed.
    bool damaged() const { return m_damaged.load(); }

  private:
    struct Block {
        std::uint64_t text;  // offset of the block's texts in all texts
        std::uint32_t firstRow;
        std::uint32_t unused;
        std::uint64_t sums[3];  // of its texts, keys and facts
    };
    static_assert(sizeof(Block) == 40);
    // Where a block's rows and texts are: in the mapped file, or in the
    // memory a build filled.
    struct Place {
        const NameKey* keys;
        const NameFacts* facts;
        const char* text;
        std::uint32_t rowCount;
        std::uint64_t textBytes;
    };
    enum Part : std::uint8_t { Texts = 0, Keys = 1, Facts = 2 };
    struct Probe;
    class Arena;

    NameIndex();
    // False when the block is damaged (nothing found then).
    bool searchSlice(std::size_t s, const Probe& probe, const NamePattern& pattern,
                     const NameFilter& filter, std::vector<std::uint32_t>& out) const;
    bool countSlice(std::size_t s, const Probe& probe, const NamePattern& pattern,
                    const NameFilter& filter, std::uint64_t& n) const;
    // Whether the part of block b checks (once per block and part).
    bool sound(std::size_t b, Part part) const;
    std::uint64_t partSum(std::size_t b, Part part) const;
    void prepare();

    std::string m_dir;
    std::string m_stamp;
    std::string m_file;  // the file it was loaded from
    std::size_t m_rowCount = 0;
    std::uint64_t m_textBytes = 0;
    const Block* m_table = nullptr;  // m_blocks + 1 entries, the last one the end
    std::size_t m_blocks = 0;
    std::vector<Place> m_places;
    const std::uint8_t* m_prints = nullptr;  // kFingerprintBytes per block
    ByteCounts m_counts{};
    // Per block: a bit per part found sound.
    std::unique_ptr<std::atomic<std::uint8_t>[]> m_checked;
    mutable std::atomic<bool> m_damaged{false};
    mutable std::once_flag m_dropped;
    // Either the memory of a build or a mapped file.
    std::vector<std::unique_ptr<Arena>> m_arenas;
    std::vector<Block> m_ownTable;
    std::vector<std::uint8_t> m_ownPrints;
    void* m_map = nullptr;
    std::size_t m_mapLength = 0;
};

// Searches with `index` (may be null) and, should it turn out damaged, goes
// on by scanning the table where it stopped: the same matches in the same
// order either way. `fromSlice` and `handedBefore` continue a searchHead().
std::uint64_t searchNames(const NameIndex* index, const FileTableImage& image,
                          const NamePattern& pattern, const NameFilter& filter,
                          const MatchSink& sink, std::uint64_t limit = 0, int threads = 2,
                          const std::atomic<bool>* cancel = nullptr, std::size_t fromSlice = 0,
                          std::uint64_t handedBefore = 0);

// The straightforward search: the file table itself, slice by slice, on
// `threads` threads; the same results as NameIndex::search.
std::uint64_t scanFileTable(const FileTableImage& image, const NamePattern& pattern,
                            const NameFilter& filter, const MatchSink& sink,
                            std::uint64_t limit = 0, int threads = 2,
                            const std::atomic<bool>* cancel = nullptr);

// The number of matches, by the index where it can (see searchNames()).
std::uint64_t countNames(const NameIndex* index, const FileTableImage& image,
                         const NamePattern& pattern, const NameFilter& filter, int threads = 2);

// Runs `work(slice, out)` for slices 0 ... slices - 1 on `threads` threads
// and hands each slice's `out` to `sink` on the calling thread in slice
// order. A slice whose work answers false ends the run before it. Returns
// the number handed on (cut at `limit`).
std::uint64_t runSlices(std::size_t slices, int threads,
                        const std::function<bool(std::size_t, std::vector<std::uint32_t>&)>& work,
                        const MatchSink& sink, std::uint64_t limit,
                        const std::atomic<bool>* cancel);

}  // namespace qv
