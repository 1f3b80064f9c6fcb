// Bulk builds in memory: the key batch, its sort, and the bottom-up layout
// of a tree with full leaves. Placing a tree in its file and the build of
// every tag on several threads are in nsx_bulk_build.cpp.
#include "store/xbase/nsx_build.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/nsx_tag.h"

namespace xb {

using namespace nsx;

// ---- memory ----------------------------------------------------------------------------

namespace nsx {

namespace {

// Blocks from this size on are worth keeping.
constexpr std::size_t kRecycleFrom = std::size_t{1} << 20;

struct Recycled {
    std::mutex mu;
    int users = 0;
    std::vector<std::pair<std::uint8_t*, std::size_t>> blocks;  // (data, capacity)
};

Recycled& recycled() {
    static Recycled r;
    return r;
}

// Takes a kept block of at least `bytes` (the smallest that fits), or null.
// On a miss the kept blocks too small for this request go back to the
// system, so that what is kept adds little to the memory a build holds at
// its peak.
std::pair<std::uint8_t*, std::size_t> takeRecycled(std::size_t bytes) {
    if (bytes < kRecycleFrom) return {nullptr, 0};
    Recycled& r = recycled();
    const std::lock_guard lock(r.mu);
    // A block much larger than asked for would be held by a small array
    // while a later large one is made afresh.
    auto best = r.blocks.end();
    for (auto it = r.blocks.begin(); it != r.blocks.end(); ++it) {
        if (it->second >= bytes && it->second / 4 <= bytes &&
            (best == r.blocks.end() || it->second < best->second))
            best = it;
    }
    if (best != r.blocks.end()) {
        const auto got = *best;
        r.blocks.erase(best);
        return got;
    }
    std::erase_if(r.blocks, [&](const std::pair<std::uint8_t*, std::size_t>& b) {
        if (b.second >= bytes) return false;
        std::free(b.first);
        return true;
    });
    return {nullptr, 0};
}

// Keeps a block given back while a recycler is alive; false when it is not
// kept (the caller frees it), among them every block too small to be worth
// it and the empty one.
bool keepRecycled(std::uint8_t* data, std::size_t cap) {
    if (cap < kRecycleFrom) return false;
    Recycled& r = recycled();
    const std::lock_guard lock(r.mu);
    if (r.users == 0) return false;
    r.blocks.emplace_back(data, cap);
    return true;
}

}  // namespace

BulkRecycler::BulkRecycler() {
    Recycled& r = recycled();
    const std::lock_guard lock(r.mu);
    ++r.users;
}

BulkRecycler::~BulkRecycler() {
    Recycled& r = recycled();
    const std::lock_guard lock(r.mu);
    if (--r.users > 0) return;
    for (const auto& b : r.blocks)
        std::free(b.first);
    r.blocks.clear();
}

BulkBuffer::BulkBuffer(BulkBuffer&& o) noexcept
    : data_(std::exchange(o.data_, nullptr)),
      size_(std::exchange(o.size_, 0)),
      cap_(std::exchange(o.cap_, 0)) {}

BulkBuffer& BulkBuffer::operator=(BulkBuffer&& o) noexcept {
    if (this != &o) {
        release();
        data_ = std::exchange(o.data_, nullptr);
        size_ = std::exchange(o.size_, 0);
        cap_ = std::exchange(o.cap_, 0);
    }
    return *this;
}

BulkBuffer::~BulkBuffer() {
    release();
}

void BulkBuffer::reserve(std::size_t bytes) {
    if (bytes <= cap_) return;
    if (!data_) {
        const auto [kept, keptCap] = takeRecycled(bytes);
        if (kept) {
            data_ = kept;
            cap_ = keptCap;
            return;
        }
    }
    void* p = std::realloc(data_, bytes);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(p);
    cap_ = bytes;
}

void BulkBuffer::release() {
    if (!keepRecycled(data_, cap_)) std::free(data_);
    data_ = nullptr;
    size_ = 0;
    cap_ = 0;
}

}  // namespace nsx

// ---- the batch -----------------------------------------------------------------------

NsxKeyBatch::NsxKeyBatch(int keyLen, std::uint8_t trail) : keyLen_(keyLen), trail_(trail) {}

NsxKeyBatch::NsxKeyBatch(const NsxTag& tag) : NsxKeyBatch(tag.keyLen(), tag.trail()) {}

void NsxKeyBatch::reserve(std::size_t n) {
    keys_.reserve(n * static_cast<std::size_t>(keyLen_));
    recnos_.reserve(n * sizeof(std::uint32_t));
}

void NsxKeyBatch::add(std::string_view key, std::uint32_t recno) {
    const std::size_t kl = static_cast<std::size_t>(keyLen_);
    std::uint8_t* k = addUnfilled(recno);
    const std::size_t used = std::min(kl, key.size());
    std::memcpy(k, key.data(), used);
    std::memset(k + used, trail_, kl - used);
}

std::uint32_t NsxKeyBatch::maxRecno() const {
    std::uint32_t m = 0;
    for (std::size_t i = 0, n = slotCount(); i < n; ++i)
        m = std::max(m, recnoAt(i));
    return m;
}

void NsxKeyBatch::clear() {
    entries_ = 0;
    keys_.clear();
    recnos_.clear();
    order_.clear();
    sorted_ = false;
}

void NsxKeyBatch::release() {
    entries_ = 0;
    keys_.release();
    recnos_.release();
    order_.release();
    sorted_ = false;
}

namespace {

struct Item {
    std::uint64_t chunk;  // 8 key bytes from the current depth, big-endian
    std::uint32_t idx;
};

std::uint64_t loadChunk(const std::uint8_t* key, int depth, int keyLen) {
    if (depth + 8 <= keyLen) {
        std::uint64_t w;
        std::memcpy(&w, key + depth, 8);
        static_assert(std::endian::native == std::endian::little);
        return __builtin_bswap64(w);  // the first key byte becomes the most significant
    }
    std::uint64_t v = 0;
    const int n = std::min(8, keyLen - depth);
    for (int i = 0; i < n; ++i)
        v = (v << 8) | key[depth + i];
    return v << (8 * (8 - n));
}

// LSD radix sort on the chunk, skipping byte positions where all items
// agree. Sorts between `a` and `tmp` (n items each) and returns the one that
// holds the result.
Item* radixSort(Item* a, Item* tmp, std::size_t n) {
    std::vector<std::uint32_t> hist(8 * 256, 0);
    for (std::size_t i = 0; i < n; ++i)
        for (int b = 0; b < 8; ++b)
            ++hist[static_cast<std::size_t>(b) * 256 + ((a[i].chunk >> (8 * b)) & 0xFF)];
    for (int b = 0; b < 8; ++b) {
        std::uint32_t* h = hist.data() + b * 256;
        bool trivial = false;
        for (int v = 0; v < 256; ++v) {
            if (h[v] == n) trivial = true;
            if (h[v] != 0) break;
        }
        if (trivial) continue;
        std::uint32_t sum = 0;
        for (int v = 0; v < 256; ++v) {
            const std::uint32_t c = h[v];
            h[v] = sum;
            sum += c;
        }
        for (std::size_t i = 0; i < n; ++i)
            tmp[h[(a[i].chunk >> (8 * b)) & 0xFF]++] = a[i];
        std::swap(a, tmp);
    }
    return a;
}

struct Sorter {
    const std::uint8_t* keys;
    const std::uint32_t* recnos;
    int keyLen;

    const std::uint8_t* key(std::uint32_t i) const {
        return keys + static_cast<std::size_t>(i) * static_cast<std::size_t>(keyLen);
    }

    // Items [lo, hi) agree on every key byte before `depth` and carry the
    // chunk at `depth`. Multi-key sort, eight bytes at a time.
    void sortRange(Item* lo, Item* hi, int depth) {
        if (hi - lo < 2) return;
        std::sort(lo, hi, [](const Item& x, const Item& y) { return x.chunk < y.chunk; });
        for (Item* s = lo; s < hi;) {
            Item* e = s + 1;
            while (e < hi && e->chunk == s->chunk)
                ++e;
            refine(s, e, depth + 8);
            s = e;
        }
    }

    void refine(Item* lo, Item* hi, int depth) {
        if (hi - lo < 2) return;
        if (depth >= keyLen) {
            std::sort(lo, hi,
                      [&](const Item& x, const Item& y) { return recnos[x.idx] < recnos[y.idx]; });
            return;
        }
        constexpr std::ptrdiff_t kAhead = 8;  // the items' keys lie anywhere in the batch
        for (Item* it = lo; it < hi; ++it) {
            if (hi - it > kAhead) __builtin_prefetch(key(it[kAhead].idx) + depth);
            it->chunk = loadChunk(key(it->idx), depth, keyLen);
        }
        sortRange(lo, hi, depth);
    }
};

}  // namespace

void NsxKeyBatch::sort() {
    if (sorted_) return;
    const std::size_t total = slotCount();
    const std::uint32_t* recnos = reinterpret_cast<const std::uint32_t*>(recnos_.data());
    nsx::BulkBuffer itemMem, tmpMem;
    itemMem.resize(total * sizeof(Item));
    Item* items = reinterpret_cast<Item*>(itemMem.data());
    std::size_t n = 0;
    for (std::size_t i = 0; i < total; ++i) {
        if (recnos[i] == 0) continue;  // a slot left out
        items[n].idx = static_cast<std::uint32_t>(i);
        items[n].chunk =
            loadChunk(keys_.data() + i * static_cast<std::size_t>(keyLen_), 0, keyLen_);
        ++n;
    }
    Sorter s{keys_.data(), recnos, keyLen_};
    if (n > 4096) {
        tmpMem.resize(n * sizeof(Item));
        items = radixSort(items, reinterpret_cast<Item*>(tmpMem.data()), n);
        for (std::size_t i = 0; i < n;) {
            std::size_t e = i + 1;
            while (e < n && items[e].chunk == items[i].chunk)
                ++e;
            s.refine(items + i, items + e, 8);
            i = e;
        }
    } else {
        s.sortRange(items, items + n, 0);
    }
    order_.resize(n * sizeof(std::uint32_t));
    std::uint32_t* order = reinterpret_cast<std::uint32_t*>(order_.data());
    for (std::size_t i = 0; i < n; ++i)
        order[i] = items[i].idx;
    entries_ = n;
    sorted_ = true;
}

void NsxKeyBatch::takeAsSorted() {
    const std::size_t n = slotCount();
    order_.resize(n * sizeof(std::uint32_t));
    std::uint32_t* order = reinterpret_cast<std::uint32_t*>(order_.data());
    for (std::size_t i = 0; i < n; ++i)
        order[i] = static_cast<std::uint32_t>(i);
    entries_ = n;
    sorted_ = true;
}

// ---- the bottom-up assembly -------------------------------------------------------------

namespace {

struct LevelPage {
    std::uint8_t data[kPageSize];
    int n = 0;
    bool hasLower = false;
    std::uint64_t count = 0;
};

}  // namespace

// Full leaves, each leaf's last entry going up into the level above, and a
// branch page that fills up going up in turn.
struct TreeAssembler::State {
    KeyFormat fmt;
    bool unique;
    int recLen;
    int maxKeys;
    std::size_t kl;
    NsxTreeImage img;
    std::uint64_t added = 0;

    std::vector<std::unique_ptr<LevelPage>> levels;  // levels[0] is the level above the leaves
    std::vector<std::pair<std::uint32_t, std::uint64_t>> lastFinished;  // per branch level
    std::uint8_t leaf[kPageSize];
    int leafN = 0;
    int leafUsed = kLeafHeader;
    int leafLastOff = kLeafHeader;
    std::uint8_t pending[kPageSize];  // the last finished leaf, stored late
    std::uint32_t pendingNo = 0;
    int pendingN = 0;
    int pendingLastOff = 0;
    bool havePending = false;
    int lastLevel = -1, lastSlot = -1;  // where the last promoted key sits
    bool lastPromoted = false;

    // The last two entries written, in two copies used in turn:
    // emitted[last] is the last one (the encoding of the next entry refers
    // back to it while it lies in the current leaf, that is unless it went
    // up), emitted[last ^ 1] the one before.
    std::uint8_t emitted[2][kMaxKeyLen];
    std::uint32_t emittedRec[2] = {0, 0};
    int last = 0;
    bool hasLastEmitted = false;
    std::uint8_t tmp[kMaxEntrySize + 8];

    // Page numbers go out in the order the finished pages would take file
    // addresses; a page's bytes are stored when it is finished.
    std::uint32_t alloc() {
        img.counts.push_back(0);
        img.pages.resize(img.counts.size() * kPageSize);
        return static_cast<std::uint32_t>(img.counts.size() - 1);
    }
    void finishPage(const std::uint8_t* data, std::uint32_t no, std::uint64_t count) {
        std::memcpy(img.pages.data() + std::size_t{no} * kPageSize, data, kPageSize);
        img.counts[no] = static_cast<std::uint32_t>(count);
    }
    void attach(std::size_t lvl, std::uint32_t child, std::uint64_t childCount) {
        LevelPage& b = *levels[lvl];
        if (b.n == 0 && !b.hasLower) {
            putU32LE(b.data + 4, child);
            b.hasLower = true;
        } else {
            setBranchChild(b.data, fmt.keyLen, b.n, child);
        }
        b.count += childCount;
    }
    void startLevel(std::size_t lvl) {
        if (levels.size() <= lvl) {
            levels.push_back(std::make_unique<LevelPage>());
            lastFinished.push_back({0, 0});
        }
        LevelPage& b = *levels[lvl];
        std::memset(b.data, 0, kPageSize);
        b.data[0] = kTypeBranch;
        b.data[1] = kBranchRecNoLen;
        b.n = 0;
        b.hasLower = false;
        b.count = 0;
    }
    // Moves (key, recno) up to branch level lvl, with `child` finished below.
    void promote(std::size_t lvl, const std::uint8_t* key, std::uint32_t recno, std::uint32_t child,
                 std::uint64_t childCount) {
        for (;;) {
            if (levels.size() <= lvl) startLevel(lvl);
            attach(lvl, child, childCount);
            LevelPage& b = *levels[lvl];
            if (b.n == maxKeys) {
                const std::uint32_t no = alloc();
                putU16LE(b.data + 2, static_cast<std::uint16_t>(b.n));
                const std::uint64_t cnt = b.count;
                finishPage(b.data, no, cnt);
                lastFinished[lvl] = {no, cnt};
                startLevel(lvl);
                ++lvl;
                child = no;
                childCount = cnt;
                continue;
            }
            putBranchEntry(b.data, fmt.keyLen, b.n, 0, recno, key);
            ++b.n;
            b.count += 1;
            lastLevel = static_cast<int>(lvl);
            lastSlot = b.n - 1;
            return;
        }
    }
    std::uint32_t finishLeaf() {
        if (havePending) finishPage(pending, pendingNo, static_cast<std::uint64_t>(pendingN));
        std::memset(leaf + leafUsed, 0, static_cast<std::size_t>(kPageSize - leafUsed));
        putLeafHeader(leaf, kTypeLeaf, recLen, leafN, leafUsed);
        std::memcpy(pending, leaf, kPageSize);
        pendingNo = alloc();
        pendingN = leafN;
        pendingLastOff = leafLastOff;
        havePending = true;
        return pendingNo;
    }
};

TreeAssembler::TreeAssembler(const KeyFormat& fmt, bool unique, std::uint32_t maxRecno,
                             std::size_t expected)
    : s_(std::make_unique<State>()) {
    State& s = *s_;
    s.fmt = fmt;
    s.unique = unique;
    s.recLen = recNoLenFor(std::max<std::uint32_t>(maxRecno, 1));
    s.maxKeys = maxBranchKeys(fmt.keyLen);
    s.kl = static_cast<std::size_t>(fmt.keyLen);
    s.img.format = fmt;
    // Full leaves hold at least this many entries (a raw key each); a rough
    // first size for the page array.
    const std::size_t perLeaf =
        static_cast<std::size_t>(std::max(1, (kPageSize - kLeafHeader) / (fmt.keyLen + 7)));
    s.img.pages.reserve((expected / perLeaf + 4) * kPageSize);
    s.img.counts.reserve(expected / perLeaf + 4);
}

TreeAssembler::~TreeAssembler() = default;

void TreeAssembler::add(const std::uint8_t* k, std::uint32_t r) {
    State& s = *s_;
    if (s.unique && s.hasLastEmitted && std::memcmp(k, s.emitted[s.last], s.kl) == 0) return;
    ++s.added;
    const std::uint8_t* prev = s.hasLastEmitted && !s.lastPromoted ? s.emitted[s.last] : nullptr;
    const int sz = encodeLeafEntry(s.tmp, s.fmt, s.recLen, r, k, prev);
    s.last ^= 1;
    std::memcpy(s.emitted[s.last], k, s.kl);
    s.emittedRec[s.last] = r;
    s.hasLastEmitted = true;
    if (s.leafUsed + sz <= kPageSize) {
        std::memcpy(s.leaf + s.leafUsed, s.tmp, static_cast<std::size_t>(sz));
        s.leafLastOff = s.leafUsed;
        s.leafUsed += sz;
        ++s.leafN;
        s.lastPromoted = false;
        return;
    }
    const std::uint32_t leafNo = s.finishLeaf();
    s.promote(0, k, r, leafNo, static_cast<std::uint64_t>(s.leafN));
    s.leafN = 0;
    s.leafUsed = kLeafHeader;
    s.leafLastOff = kLeafHeader;
    s.lastPromoted = true;  // the next leaf starts without reference
}

NsxTreeImage TreeAssembler::finish() {
    State& s = *s_;
    if (s.lastPromoted) {
        // The last key went up and left an empty leaf behind. The entry
        // before it comes down from the previous leaf into the branch slot,
        // and the last key becomes the only entry of the last leaf.
        std::memset(s.pending + s.pendingLastOff, 0,
                    static_cast<std::size_t>(kPageSize - s.pendingLastOff));
        putLeafHeader(s.pending, kTypeLeaf, s.recLen, s.pendingN - 1, s.pendingLastOff);
        --s.pendingN;
        std::uint8_t* slot = s.levels[static_cast<std::size_t>(s.lastLevel)]->data + kBranchHeader +
                             s.lastSlot * (s.fmt.keyLen + 8);
        putU32LE(slot + 4, s.emittedRec[s.last ^ 1]);
        std::memcpy(slot + 8, s.emitted[s.last ^ 1], s.kl);
        const int sz = encodeLeafEntry(s.tmp, s.fmt, s.recLen, s.emittedRec[s.last],
                                       s.emitted[s.last], nullptr);
        std::memcpy(s.leaf + kLeafHeader, s.tmp, static_cast<std::size_t>(sz));
        s.leafUsed = kLeafHeader + sz;
        s.leafN = 1;
        // The pages between the slot and the previous leaf counted the entry
        // that moved; the new last leaf is counted when it is attached.
        s.levels[static_cast<std::size_t>(s.lastLevel)]->count -= 1;
        for (int l = 0; l < s.lastLevel; ++l) {
            const auto& lf = s.lastFinished[static_cast<std::size_t>(l)];
            s.img.counts[lf.first] = static_cast<std::uint32_t>(lf.second - 1);
        }
    }
    if (s.havePending) s.finishPage(s.pending, s.pendingNo, static_cast<std::uint64_t>(s.pendingN));

    // Finalisation: each level's current page is finished and hangs below
    // the level above; the topmost one is the root.
    std::memset(s.leaf + s.leafUsed, 0, static_cast<std::size_t>(kPageSize - s.leafUsed));
    putLeafHeader(s.leaf, s.levels.empty() ? kTypeRootLeaf : kTypeLeaf, s.added == 0 ? 2 : s.recLen,
                  s.leafN, s.leafUsed);
    std::uint32_t child = s.alloc();
    std::uint64_t childCount = static_cast<std::uint64_t>(s.leafN);
    s.finishPage(s.leaf, child, childCount);
    for (std::size_t l = 0; l < s.levels.size(); ++l) {
        s.attach(l, child, childCount);
        LevelPage& b = *s.levels[l];
        putU16LE(b.data + 2, static_cast<std::uint16_t>(b.n));
        if (l + 1 == s.levels.size()) b.data[0] = kTypeRootBranch;
        child = s.alloc();
        childCount = b.count;
        s.finishPage(b.data, child, childCount);
    }
    s.img.root = child;
    return std::move(s.img);
}

NsxTreeImage assembleTree(NsxKeyBatch& batch, const KeyFormat& fmt, bool unique,
                          std::uint32_t recordCount, const std::function<void(double)>& progress) {
    if (batch.keyLen() != fmt.keyLen)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Die Schlüssellänge " + std::to_string(batch.keyLen()) +
                            " passt nicht zum Tag mit Schlüssellänge " +
                            std::to_string(fmt.keyLen));
    const auto report = [&](double f) {
        if (progress) progress(f);
    };
    report(0);
    batch.sort();
    report(0.5);
    const std::size_t n = batch.size();
    TreeAssembler tree(fmt, unique, std::max(recordCount, batch.maxRecno()), n);
    const std::size_t kl = static_cast<std::size_t>(fmt.keyLen);
    const std::size_t step = std::max<std::size_t>(n / 50, 1);
    // The keys lie in record order, so sorted order jumps around the batch.
    // They are copied a run at a time into a small buffer in a loop that
    // does nothing else, where the processor fetches many of them at once,
    // and encoded from there.
    constexpr std::size_t kRun = 512;
    std::vector<std::uint8_t> runKeys(kRun * kl);
    std::uint32_t runRecnos[kRun];
    std::size_t nextReport = 0;
    for (std::size_t from = 0; from < n; from += kRun) {
        if (from >= nextReport) {
            report(0.5 + 0.5 * static_cast<double>(from) / static_cast<double>(n));
            nextReport = from + step;
        }
        const std::size_t len = std::min(kRun, n - from);
        for (std::size_t j = 0; j < len; ++j) {
            std::memcpy(runKeys.data() + j * kl, batch.key(from + j), kl);
            runRecnos[j] = batch.recno(from + j);
        }
        for (std::size_t j = 0; j < len; ++j)
            tree.add(runKeys.data() + j * kl, runRecnos[j]);
    }
    NsxTreeImage img = tree.finish();
    report(1.0);
    return img;
}

}  // namespace xb
