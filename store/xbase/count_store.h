// Subtree counts of large index files, kept on disk from one run to the next.
//
// Where an entry stands in a tag of millions of entries is known in
// logarithmic time only once the subtree counts are known, and counting them
// reads every page of the tree once: tens of milliseconds when the file is
// in the page cache, seconds when it is not. An index file keeps them in
// memory from then on and up to date; this store carries them over to the
// next process, so the first position after a start costs no count.
//
// One file per index, named after the index's full path, in a folder the
// program chooses (the user's cache folder). It is a cache and nothing else:
// a file is taken only for the index it was written for and only while that
// index is unchanged (the caller compares the content stamp and the root
// page), and only when its checksum holds. Anything else is ignored and the
// counts are computed again. A file is written to a temporary name and then
// renamed over the old one, so a reader never sees half of it. Failing
// reads and writes are silent: nothing here is ever needed for correctness.
// The files are read and written through the Env of the index (env.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xb {

class Env;

// The counts of one index file with what the file looked like when they
// were taken.
struct CountSnapshot {
    std::string stamp;                  // the file's content stamp (Env)
    std::vector<std::uint8_t> root;     // its root page
    std::vector<std::uint32_t> counts;  // by page number; 0xFFFFFFFF = unknown
};

// The folder for count files and the least index size (in pages) worth one.
// An empty folder (the default) keeps counts in memory only. The folder is
// created on the first write.
void setCountCache(std::string folder, std::uint32_t minPages = 4096);
std::string countCacheFolder();

// Whether an index of `pages` pages gets a count file.
bool worthACountFile(std::uint64_t pages);

// The counts last saved for the index at `indexPath`; false when there are
// none or the file is not intact.
bool loadCounts(Env& env, const std::string& indexPath, CountSnapshot& out);

// Saves the counts of the index at `indexPath`, replacing older ones.
// Returns whether the file was written.
bool saveCounts(Env& env, const std::string& indexPath, const CountSnapshot& s);

// The path of the count file of `indexPath` (empty without a folder).
std::string countFilePath(const std::string& indexPath);

}  // namespace xb
