#include "store/xbase/nsx_cache.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "store/xbase/error.h"

namespace xb::nsx {

namespace {

constexpr std::size_t kDefaultBudget = std::size_t{48} << 20;
constexpr std::size_t kFirstSlab = 16;
constexpr std::size_t kLargestSlab = 1024;

}  // namespace

class PageCache::Slab {
  public:
    explicit Slab(std::size_t pages) : n_(pages), bytes_(pages * sizeof(Page)) {
        void* m = MAP_FAILED;
        if (pages >= kMappedSlab)
            m = ::mmap(nullptr, bytes_, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (m == MAP_FAILED) {
            mapped_ = false;
            m = ::operator new (bytes_, std::align_val_t{alignof(Page)});
        }
        mem_ = static_cast<Page*>(m);
        for (std::size_t i = 0; i < n_; ++i)
            new (mem_ + i) Page;
    }
    ~Slab() {
        for (std::size_t i = 0; i < n_; ++i)
            mem_[i].~Page();
        if (mapped_)
            ::munmap(mem_, bytes_);
        else
            ::operator delete (mem_, std::align_val_t{alignof(Page)});
    }
    Slab(const Slab&) = delete;
    Slab& operator=(const Slab&) = delete;
    std::size_t size() const { return n_; }
    Page* page(std::size_t i) { return mem_ + i; }
    // Smaller slabs come from the heap: a small index costs no system call.
    static constexpr std::size_t kMappedSlab = 256;

  private:
    std::size_t n_, bytes_;
    bool mapped_ = true;
    Page* mem_ = nullptr;
};

PageCache::PageCache(std::unique_ptr<RandomFile> file)
    : file_(std::move(file)), path_(file_->path()), budgetPages_(kDefaultBudget / sizeof(Page)) {}

PageCache::~PageCache() = default;

bool PageCache::ensureMapped(std::uint64_t end) {
    knowDiskSize();
    if (end > diskSize_) {
        file_->truncate(end);
        diskSize_ = end;
    }
    map_ = file_->writableView(end);
    if (!map_) {
        mappedWrites_ = false;  // fall back to write calls
        return false;
    }
    return true;
}

void PageCache::knowDiskSize() {
    if (diskSizeKnown_) return;
    diskSize_ = fileSize();
    diskSizeKnown_ = true;
}

void PageCache::setBudget(std::size_t bytes) {
    budgetPages_ = std::max<std::size_t>(bytes / sizeof(Page), 16);
    evictIfNeeded();
}

Page* PageCache::slot(std::uint32_t addr) const {
    const std::size_t n = addr / kPageSize;
    return n < slots_.size() ? slots_[n] : nullptr;
}

Page* PageCache::peek(std::uint32_t addr) const {
    return slot(addr);
}

Page* PageCache::install(std::uint32_t addr) {
    evictIfNeeded();
    Page* p;
    if (!spare_.empty()) {
        p = spare_.back();
        spare_.pop_back();
    } else {
        if (pool_.empty() || slabUsed_ == pool_.back()->size()) {
            // Slabs grow with the cache, so that a small index stays small.
            const std::size_t n =
                pool_.empty() ? kFirstSlab : std::min(pool_.back()->size() * 2, kLargestSlab);
            pool_.push_back(std::make_unique<Slab>(n));
            slabUsed_ = 0;
        }
        p = pool_.back()->page(slabUsed_++);
    }
    p->addr = addr;
    p->index.valid = false;
    p->dirty = false;
    p->referenced = true;
    p->pins = 0;
    const std::size_t n = addr / kPageSize;
    if (n >= slots_.size()) slots_.resize(std::max(n + 1, slots_.size() * 2), nullptr);
    slots_[n] = p;
    p->residentSlot = resident_.size();
    resident_.push_back(p);
    return p;
}

Page* PageCache::get(std::uint32_t addr) {
    if (Page* p = slot(addr)) {
        p->referenced = true;
        return p;
    }
    Page* p = install(addr);
    std::size_t got;
    try {
        knowDiskSize();
        // Through a view of the file when there is one, once more than a
        // few pages were read (opening the file reads a few): a page fault
        // maps several pages at once where a read call brings one. Only
        // pages the file holds (as far as this cache wrote it) are read
        // there.
        if (std::uint64_t{addr} + kPageSize <= diskSize_ && ++fileReads_ > kReadsBeforeView) {
            if (const std::uint8_t* v = file_->view(diskSize_)) {
                std::memcpy(p->data, v + addr, kPageSize);
                return p;
            }
        }
        got = file_->readAt(addr, p->data, kPageSize);
    } catch (...) {
        discard(addr);
        throw;
    }
    if (got != kPageSize) {
        discard(addr);
        throw qv::Error(qv::ErrorCode::Corrupt,
                        "Die Indexdatei " + path_ + " ist beschädigt: Seite " +
                            std::to_string(addr) + " liegt hinter dem Dateiende",
                        path_, -1, addr);
    }
    return p;
}

Page* PageCache::create(std::uint32_t addr) {
    Page* p = slot(addr);
    if (!p) p = install(addr);
    std::memset(p->data, 0, kPageSize);
    markDirty(p);  // also drops a stale leaf index
    return p;
}

void PageCache::markDirty(Page* p) {
    p->index.valid = false;
    markDirtyKeepIndex(p);
}

void PageCache::markDirtyKeepIndex(Page* p) {
    p->referenced = true;
    if (!p->dirty) {
        p->dirty = true;
        dirty_.push_back(p);
    }
}

void PageCache::discard(std::uint32_t addr) {
    Page* p = slot(addr);
    if (!p) return;
    p->dirty = false;  // a stale entry in dirty_ is skipped by writeDirty()
    slots_[addr / kPageSize] = nullptr;
    const std::size_t s = p->residentSlot;
    resident_[s] = resident_.back();
    resident_[s]->residentSlot = s;
    resident_.pop_back();
    if (hand_ >= resident_.size()) hand_ = 0;
    p->pins = 0;
    p->index.valid = false;
    spare_.push_back(p);
}

void PageCache::discardAll() {
    for (Page* p : resident_) {
        slots_[p->addr / kPageSize] = nullptr;
        p->dirty = false;
        p->pins = 0;
        p->index.valid = false;
        spare_.push_back(p);
    }
    resident_.clear();
    dirty_.clear();
    hand_ = 0;
}

void PageCache::evictIfNeeded() {
    // Two sweeps at most: the first clears reference bits.
    std::size_t budget = budgetPages_;
    std::size_t tries = resident_.size() * 2;
    while (resident_.size() >= budget && tries-- > 0) {
        if (hand_ >= resident_.size()) hand_ = 0;
        Page* p = resident_[hand_];
        if (p->dirty || p->pins > 0) {
            ++hand_;
            continue;
        }
        if (p->referenced) {
            p->referenced = false;
            ++hand_;
            continue;
        }
        discard(p->addr);  // moves the last resident page into this slot
    }
}

bool PageCache::hasDirty() const {
    for (const Page* p : dirty_)
        if (p->dirty) return true;
    return false;
}

void PageCache::writeDirty() {
    if (dirty_.empty()) return;
    std::vector<Page*> todo;
    todo.reserve(dirty_.size());
    for (Page* p : dirty_) {
        if (!p->dirty) continue;  // discarded, or listed twice
        p->dirty = false;
        todo.push_back(p);
    }
    dirty_.clear();
    std::sort(todo.begin(), todo.end(),
              [](const Page* a, const Page* b) { return a->addr < b->addr; });
    if (mappedWrites_ && todo.size() <= kMappedWriteLimit) writeGrowth(todo);
    if (todo.empty()) return;
    if (mappedWrites_ && todo.size() <= kMappedWriteLimit &&
        ensureMapped(std::uint64_t{todo.back()->addr} + kPageSize)) {
        for (const Page* p : todo)
            std::memcpy(map_ + p->addr, p->data, kPageSize);
        return;
    }
    // Consecutive pages go out in one write.
    std::vector<std::uint8_t> run;
    std::size_t i = 0;
    while (i < todo.size()) {
        std::size_t j = i + 1;
        while (j < todo.size() && todo[j]->addr == todo[j - 1]->addr + kPageSize)
            ++j;
        if (j == i + 1) {
            writeRaw(todo[i]->addr, todo[i]->data, kPageSize);
        } else {
            run.resize((j - i) * kPageSize);
            for (std::size_t k = i; k < j; ++k)
                std::memcpy(run.data() + (k - i) * kPageSize, todo[k]->data, kPageSize);
            writeRaw(todo[i]->addr, run.data(), run.size());
        }
        i = j;
    }
}

void PageCache::readRaw(std::uint64_t off, std::uint8_t* buf, std::size_t len) {
    if (file_->readAt(off, buf, len) != len)
        throw qv::Error(qv::ErrorCode::Corrupt,
                        "Die Indexdatei " + path_ + " ist beschädigt: sie ist zu kurz", path_);
}

void PageCache::writeGrowth(std::vector<Page*>& todo) {
    // Pages past the end of the file go out as one write call, gaps filled
    // with zeros: a shared mapping past the end has no room reserved for it,
    // and on a full disk the first store into it would kill the process
    // instead of failing the write. A write that fails is cut off again.
    knowDiskSize();
    const std::uint64_t end = std::uint64_t{todo.back()->addr} + kPageSize;
    if (end <= diskSize_) return;
    std::size_t first = todo.size();
    while (first > 0 && std::uint64_t{todo[first - 1]->addr} + kPageSize > diskSize_)
        --first;
    const std::uint64_t base = std::min<std::uint64_t>(diskSize_, todo[first]->addr);
    std::vector<std::uint8_t> grow(static_cast<std::size_t>(end - base), 0);
    for (std::size_t k = first; k < todo.size(); ++k)
        std::memcpy(grow.data() + (todo[k]->addr - base), todo[k]->data, kPageSize);
    const std::uint64_t before = diskSize_;
    try {
        writeRaw(base, grow.data(), grow.size());
    } catch (...) {
        try {
            file_->truncate(before);
        } catch (...) {
        }
        throw;
    }
    todo.resize(first);
}

void PageCache::writeRaw(std::uint64_t off, const std::uint8_t* buf, std::size_t len) {
    file_->writeAt(off, buf, len);
    if (diskSizeKnown_) diskSize_ = std::max<std::uint64_t>(diskSize_, off + len);
}

std::uint64_t PageCache::fileSize() const {
    return file_->size();
}

void PageCache::truncate(std::uint64_t size) {
    file_->truncate(size);
    diskSize_ = size;
    diskSizeKnown_ = true;
}

void PageCache::sync() {
    file_->syncData();
}

}  // namespace xb::nsx
