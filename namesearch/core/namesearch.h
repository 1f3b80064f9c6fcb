// The search by any part of a name over one catalogue: the name index kept
// fresh in the background, and the search that uses it, or the file table
// itself while there is no fresh index.
//
// Where the index lives. One file per catalogue folder in the folder
// "names" beside the order counts' folder (xb::countCacheFolder(), the
// user's cache folder); without a count folder, or when the file cannot be
// written, the index of a run is kept in memory only.
//
// Keeping it fresh. fresh() compares the index with the table's stamps on
// every call (two file status calls). When they differ, or there is no index
// yet, it starts a job on a thread of its own: load the saved file when it
// matches, else build it from the table on two threads and save it (a new
// index serves while it is being saved). Until the job has an index fresh()
// answers nullptr and the caller either waits (waitForBuild) or searches the
// table directly; an index older than the table is never used.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "namesearch/core/nameindex.h"

namespace qv {

// The catalogue folder as the index names it (absolute, no trailing "/").
std::string normalCatalogueFolder(const std::string& dir);
// Overrides the folder of the index files ("" returns to the default
// beside the order counts).
void setNameIndexFolder(std::string folder);
// The index file of catalogue `dir`; "" when there is no folder for it.
std::string nameIndexFile(const std::string& dir);

class NameIndexKeeper {
  public:
    explicit NameIndexKeeper(const std::string& dir);
    // Stops a running job and waits for it.
    ~NameIndexKeeper();
    NameIndexKeeper(const NameIndexKeeper&) = delete;
    NameIndexKeeper& operator=(const NameIndexKeeper&) = delete;

    const std::string& directory() const { return m_dir; }

    // The index when it matches the table as it is now, else nullptr (and
    // the job that brings one is started unless it runs).
    std::shared_ptr<const NameIndex> fresh();
    // Whether the job runs (saving a new index included), and how far it
    // got (0 ... 100).
    bool building() const { return m_running.load(); }
    int progress() const { return m_progress.load(); }
    // Waits for the running job (calling `tick` every few milliseconds
    // with its progress), then answers fresh() without starting another.
    // (fresh() answers a new index already while it is being saved.)
    std::shared_ptr<const NameIndex> waitForBuild(const std::function<void(int)>& tick = {});
    // Whether the last job could save its index file.
    bool saved() const { return m_saved.load(); }

  private:
    void job(std::string stamp);
    std::shared_ptr<const NameIndex> current(const std::string& stamp);

    std::string m_dir;
    std::string m_file;
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    std::shared_ptr<const NameIndex> m_index;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_saved{false};
    std::atomic<int> m_progress{0};
};

}  // namespace qv
