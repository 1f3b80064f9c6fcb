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
// The file. "QVNI", version, the catalogue folder, the stamps, the rows and
// the texts, and a checksum over all of it. It is written to a temporary
// name and renamed over the old one; a reader maps it and takes it only
// when magic, version, folder, sizes and checksum hold. Anything else is a
// damaged cache: ignored, and rebuilt.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "namesearch/core/namepattern.h"

namespace qv {

class FileTableImage;

struct NameRow {
    std::uint32_t recno;
    std::uint32_t entry;
    std::int32_t date;
    std::uint32_t text;  // offset of the row's text
    std::int64_t size;
};
static_assert(sizeof(NameRow) == 24);

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
    const NameRow& row(std::size_t i) const { return m_rows[i]; }
    std::string_view textOf(std::size_t i) const;

    // Searches on `threads` threads; `sink` is called on the calling thread
    // with the matches slice by slice in record order. Returns the number of
    // matches handed on (at most `limit`, 0 = no limit). `fromSlice` skips
    // the slices a searchHead() did.
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
    std::size_t slices() const;

  private:
    NameIndex() = default;
    void searchSlice(std::size_t s, const NamePattern& pattern, const NameFilter& filter,
                     std::vector<std::uint32_t>& out) const;

    std::string m_dir;
    std::string m_stamp;
    const NameRow* m_rows = nullptr;
    std::size_t m_rowCount = 0;
    const char* m_text = nullptr;
    std::uint64_t m_textBytes = 0;
    // Either owned buffers (a fresh build) or a mapped file.
    std::vector<NameRow> m_ownRows;
    std::vector<char> m_ownText;
    void* m_map = nullptr;
    std::size_t m_mapLength = 0;
};

// The straightforward search: the file table itself, slice by slice, on
// `threads` threads; the same results as NameIndex::search.
std::uint64_t scanFileTable(const FileTableImage& image, const NamePattern& pattern,
                            const NameFilter& filter, const MatchSink& sink,
                            std::uint64_t limit = 0, int threads = 2,
                            const std::atomic<bool>* cancel = nullptr);

// Runs `work(slice, out)` for slices 0 ... slices - 1 on `threads` threads
// and hands each slice's `out` to `sink` on the calling thread in slice
// order. Returns the number handed on (cut at `limit`).
std::uint64_t runSlices(std::size_t slices, int threads,
                        const std::function<void(std::size_t, std::vector<std::uint32_t>&)>& work,
                        const MatchSink& sink, std::uint64_t limit,
                        const std::atomic<bool>* cancel);

}  // namespace qv
