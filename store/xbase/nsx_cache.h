// Page cache of one open index file.
//
// Owns the open file and every 1024-byte page image read from or
// written to the file. A page changed by an operation stays dirty in memory
// until writeDirty() writes it; dirty and pinned pages are never evicted.
// Clean pages are evicted (clock order) when the resident size exceeds the
// budget. Not thread-safe; one cache per NsxFile.
//
// Pointers returned by get()/create() stay valid only while the page is
// pinned (PageRef) or until the next call that may load a page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/xbase/env.h"
#include "store/xbase/nsx_page.h"

namespace xb::nsx {

struct Page {
    std::uint32_t addr = 0;
    bool dirty = false;
    bool referenced = false;  // clock bit
    int pins = 0;
    std::size_t residentSlot = 0;
    LeafIndex index;  // search aid for a leaf, built on demand
    std::uint8_t data[kPageSize];
};

class PageCache {
  public:
    explicit PageCache(std::unique_ptr<RandomFile> file);
    ~PageCache();
    PageCache(const PageCache&) = delete;
    PageCache& operator=(const PageCache&) = delete;

    // The page at byte offset `addr`, read from the file when it is not
    // resident. Throws qv::Error (IoError, or Corrupt for a page past the end
    // of the file). REQUIRES: addr is a non-zero multiple of 1024.
    Page* get(std::uint32_t addr);
    // A resident, zero-filled, dirty page for `addr` without reading it.
    Page* create(std::uint32_t addr);
    // The page if it is resident, else null.
    Page* peek(std::uint32_t addr) const;
    // Marks a changed page for writing; drops its leaf index.
    void markDirty(Page* p);
    // The same for a change that kept the leaf index up to date.
    void markDirtyKeepIndex(Page* p);
    // Drops a page from memory, dirty or not (its file bytes are superseded).
    void discard(std::uint32_t addr);
    // Drops every page (after a truncation).
    void discardAll();

    // Writes every dirty page in address order and marks it clean.
    void writeDirty();
    // From now on writeDirty() copies up to kMappedWriteLimit pages (the
    // pages of one change) into a shared mapping of the file instead of one
    // write call per page (for files opened for writing; the kernel's page
    // cache is the same either way). More pages (a batch of changes) go out
    // with write calls, consecutive pages in one: copying them would touch,
    // and keep resident in this process, every part of the file they reach.
    void useMappedWrites() { mappedWrites_ = true; }
    static constexpr std::size_t kMappedWriteLimit = 16;
    bool hasDirty() const;

    // Direct file access for the root header and bulk writes.
    void readRaw(std::uint64_t off, std::uint8_t* buf, std::size_t len);
    void writeRaw(std::uint64_t off, const std::uint8_t* buf, std::size_t len);
    std::uint64_t fileSize() const;  // size on disk
    void truncate(std::uint64_t size);
    void sync();

    // Memory budget for resident pages in bytes (default 48 MiB). The
    // restart points kept beside cached leaves (LeafIndex) come on top: about
    // half the page memory for the file table's tags.
    void setBudget(std::size_t bytes);
    std::size_t budget() const { return budgetPages_ * sizeof(Page); }
    std::size_t residentBytes() const { return resident_.size() * sizeof(Page); }
    std::size_t residentPages() const { return resident_.size(); }
    const std::string& path() const { return path_; }
    RandomFile& file() { return *file_; }

  private:
    Page* install(std::uint32_t addr);
    void evictIfNeeded();
    Page* slot(std::uint32_t addr) const;

    // Takes the file's size from the file the first time it is needed.
    void knowDiskSize();
    bool ensureMapped(std::uint64_t end);
    // Writes the pages of `todo` (sorted) that lie past the end of the file
    // and drops them from it.
    void writeGrowth(std::vector<Page*>& todo);

    std::unique_ptr<RandomFile> file_;
    std::string path_;
    bool mappedWrites_ = false;
    std::uint8_t* map_ = nullptr;
    std::uint64_t diskSize_ = 0;  // size of the file on disk as far as we changed it
    bool diskSizeKnown_ = false;
    std::size_t budgetPages_;
    std::vector<Page*> slots_;     // by page number
    std::vector<Page*> resident_;  // clock ring
    std::size_t hand_ = 0;
    std::vector<Page*> dirty_;
    // Pages are made in slabs that grow with the cache; a large slab is
    // mapped in at once, so a page read for the first time then costs no
    // fault of its own.
    class Slab;
    std::vector<std::unique_ptr<Slab>> pool_;  // owned memory of every page ever made
    std::size_t slabUsed_ = 0;                 // pages of the last slab handed out
    std::size_t fileReads_ = 0;                // pages read from the file so far
    static constexpr std::size_t kReadsBeforeView = 64;
    std::vector<Page*> spare_;  // evicted pages for reuse
};

// Pins a page for the lifetime of the handle so that it cannot be evicted.
class PageRef {
  public:
    PageRef() = default;
    explicit PageRef(Page* p) : p_(p) {
        if (p_) ++p_->pins;
    }
    ~PageRef() { reset(); }
    PageRef(const PageRef& o) : PageRef(o.p_) {}
    PageRef& operator=(const PageRef& o) {
        if (this != &o) {
            reset();
            p_ = o.p_;
            if (p_) ++p_->pins;
        }
        return *this;
    }
    PageRef(PageRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    PageRef& operator=(PageRef&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }
    void reset() {
        if (p_) --p_->pins;
        p_ = nullptr;
    }
    Page* get() const { return p_; }
    Page* operator->() const { return p_; }
    std::uint8_t* data() const { return p_->data; }
    explicit operator bool() const { return p_ != nullptr; }

  private:
    Page* p_ = nullptr;
};

}  // namespace xb::nsx
