#include "store/xbase/nsx_build.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "store/xbase/error.h"
#include "store/xbase/nsx_tag.h"

namespace xb {

using namespace nsx;

// ---- memory ----------------------------------------------------------------------------

namespace nsx {

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
    void* p = std::realloc(data_, bytes);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(p);
    cap_ = bytes;
#ifdef __linux__
    // Huge pages for the whole-page part of a large block (advice only; a
    // refusal leaves ordinary pages).
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (bytes >= 2 * kHuge) {
        const std::uintptr_t from =
            (reinterpret_cast<std::uintptr_t>(data_) + kHuge - 1) & ~(kHuge - 1);
        const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(data_) + bytes) & ~(kHuge - 1);
        if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
#endif
}

void BulkBuffer::release() {
    std::free(data_);
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

// ---- the bottom-up assembly -------------------------------------------------------------

namespace {

struct LevelPage {
    std::uint8_t data[kPageSize];
    int n = 0;
    bool hasLower = false;
    std::uint64_t count = 0;
};

}  // namespace

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

    NsxTreeImage img;
    img.format = fmt;
    const std::size_t n = batch.size();
    {
        // Full leaves hold at least this many entries (a raw key each); a
        // rough first size for the page array.
        const std::size_t perLeaf =
            static_cast<std::size_t>(std::max(1, (kPageSize - kLeafHeader) / (fmt.keyLen + 7)));
        img.pages.reserve((n / perLeaf + 4) * kPageSize);
        img.counts.reserve(n / perLeaf + 4);
    }
    // Page numbers go out in the order the finished pages would take file
    // addresses; a page's bytes are stored when it is finished.
    const auto alloc = [&]() -> std::uint32_t {
        img.counts.push_back(0);
        img.pages.resize(img.counts.size() * kPageSize);
        return static_cast<std::uint32_t>(img.counts.size() - 1);
    };
    const auto finishPage = [&](const std::uint8_t* data, std::uint32_t no, std::uint64_t count) {
        std::memcpy(img.pages.data() + std::size_t{no} * kPageSize, data, kPageSize);
        img.counts[no] = static_cast<std::uint32_t>(count);
    };

    const int recLen = n == 0 ? 2 : recNoLenFor(std::max(recordCount, batch.maxRecno()));
    const int maxKeys = maxBranchKeys(fmt.keyLen);
    const std::size_t kl = static_cast<std::size_t>(fmt.keyLen);

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

    auto attach = [&](std::size_t lvl, std::uint32_t child, std::uint64_t childCount) {
        LevelPage& b = *levels[lvl];
        if (b.n == 0 && !b.hasLower) {
            putU32LE(b.data + 4, child);
            b.hasLower = true;
        } else {
            setBranchChild(b.data, fmt.keyLen, b.n, child);
        }
        b.count += childCount;
    };
    auto startLevel = [&](std::size_t lvl) {
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
    };
    // Moves (key, recno) up to branch level lvl, with `child` finished below.
    std::function<void(std::size_t, const std::uint8_t*, std::uint32_t, std::uint32_t,
                       std::uint64_t)>
        promote = [&](std::size_t lvl, const std::uint8_t* key, std::uint32_t recno,
                      std::uint32_t child, std::uint64_t childCount) {
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
                promote(lvl + 1, key, recno, no, cnt);
                return;
            }
            putBranchEntry(b.data, fmt.keyLen, b.n, 0, recno, key);
            ++b.n;
            b.count += 1;
            lastLevel = static_cast<int>(lvl);
            lastSlot = b.n - 1;
        };
    auto finishLeaf = [&]() -> std::uint32_t {
        if (havePending) finishPage(pending, pendingNo, static_cast<std::uint64_t>(pendingN));
        std::memset(leaf + leafUsed, 0, static_cast<std::size_t>(kPageSize - leafUsed));
        putLeafHeader(leaf, kTypeLeaf, recLen, leafN, leafUsed);
        std::memcpy(pending, leaf, kPageSize);
        pendingNo = alloc();
        pendingN = leafN;
        pendingLastOff = leafLastOff;
        havePending = true;
        return pendingNo;
    };

    const std::uint8_t* prevKey = nullptr;      // previous entry in the current leaf
    const std::uint8_t* lastEmitted = nullptr;  // previous entry written anywhere
    std::uint32_t lastEmittedRec = 0;
    const std::uint8_t* beforeLastEmitted = nullptr;
    std::uint32_t beforeLastEmittedRec = 0;
    std::uint8_t tmp[kMaxEntrySize + 8];
    const std::size_t step = std::max<std::size_t>(n / 50, 1);
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % step == 0) report(0.5 + 0.5 * static_cast<double>(i) / static_cast<double>(n));
        if (i + kAhead < n) {
            // The keys lie in record order, so sorted order jumps around the
            // batch: fetch a few keys ahead while this one is encoded.
            const std::uint8_t* ahead = batch.key(i + kAhead);
            for (std::size_t b = 0; b < kl; b += 64)
                __builtin_prefetch(ahead + b);
            __builtin_prefetch(ahead + kl - 1);
        }
        const std::uint8_t* k = batch.key(i);
        const std::uint32_t r = batch.recno(i);
        if (unique && lastEmitted && std::memcmp(k, lastEmitted, kl) == 0) continue;
        beforeLastEmitted = lastEmitted;
        beforeLastEmittedRec = lastEmittedRec;
        lastEmitted = k;
        lastEmittedRec = r;
        const int sz = encodeLeafEntry(tmp, fmt, recLen, r, k, prevKey);
        if (leafUsed + sz <= kPageSize) {
            std::memcpy(leaf + leafUsed, tmp, static_cast<std::size_t>(sz));
            leafLastOff = leafUsed;
            leafUsed += sz;
            ++leafN;
            prevKey = k;
            lastPromoted = false;
            continue;
        }
        const std::uint32_t leafNo = finishLeaf();
        promote(0, k, r, leafNo, static_cast<std::uint64_t>(leafN));
        leafN = 0;
        leafUsed = kLeafHeader;
        leafLastOff = kLeafHeader;
        prevKey = nullptr;  // the next leaf starts without reference
        lastPromoted = true;
    }

    if (lastPromoted) {
        // The last key went up and left an empty leaf behind. The entry
        // before it comes down from the previous leaf into the branch slot,
        // and the last key becomes the only entry of the last leaf.
        const std::uint8_t* kn = lastEmitted;
        const std::uint32_t knRec = lastEmittedRec;
        std::memset(pending + pendingLastOff, 0,
                    static_cast<std::size_t>(kPageSize - pendingLastOff));
        putLeafHeader(pending, kTypeLeaf, recLen, pendingN - 1, pendingLastOff);
        --pendingN;
        std::uint8_t* slot = levels[static_cast<std::size_t>(lastLevel)]->data + kBranchHeader +
                             lastSlot * (fmt.keyLen + 8);
        putU32LE(slot + 4, beforeLastEmittedRec);
        std::memcpy(slot + 8, beforeLastEmitted, kl);
        const int sz = encodeLeafEntry(tmp, fmt, recLen, knRec, kn, nullptr);
        std::memcpy(leaf + kLeafHeader, tmp, static_cast<std::size_t>(sz));
        leafUsed = kLeafHeader + sz;
        leafN = 1;
        // The pages between the slot and the previous leaf counted the entry
        // that moved; the new last leaf is counted when it is attached.
        levels[static_cast<std::size_t>(lastLevel)]->count -= 1;
        for (int l = 0; l < lastLevel; ++l) {
            const auto& lf = lastFinished[static_cast<std::size_t>(l)];
            img.counts[lf.first] = static_cast<std::uint32_t>(lf.second - 1);
        }
    }
    if (havePending) finishPage(pending, pendingNo, static_cast<std::uint64_t>(pendingN));

    // Finalisation: each level's current page is finished and hangs below
    // the level above; the topmost one is the root.
    std::memset(leaf + leafUsed, 0, static_cast<std::size_t>(kPageSize - leafUsed));
    putLeafHeader(leaf, levels.empty() ? kTypeRootLeaf : kTypeLeaf, n == 0 ? 2 : recLen, leafN,
                  leafUsed);
    std::uint32_t child = alloc();
    std::uint64_t childCount = static_cast<std::uint64_t>(leafN);
    finishPage(leaf, child, childCount);
    for (std::size_t l = 0; l < levels.size(); ++l) {
        attach(l, child, childCount);
        LevelPage& b = *levels[l];
        putU16LE(b.data + 2, static_cast<std::uint16_t>(b.n));
        if (l + 1 == levels.size()) b.data[0] = kTypeRootBranch;
        child = alloc();
        childCount = b.count;
        finishPage(b.data, child, childCount);
    }
    img.root = child;
    report(1.0);
    return img;
}

// ---- placing a tree in the file ------------------------------------------------------------

namespace {

class Progress {
  public:
    explicit Progress(const NsxProgress& p) : p_(p) {}
    void at(double fraction) {
        if (!p_.fn) return;
        int pct = p_.from + static_cast<int>((p_.to - p_.from) * fraction);
        pct = std::clamp(pct, std::min(p_.from, p_.to), std::max(p_.from, p_.to));
        if (pct != last_) {
            last_ = pct;
            p_.fn(pct);
        }
    }

  private:
    const NsxProgress& p_;
    int last_ = -1;
};

// Writes finished pages straight to the file, bypassing the cache, in runs
// of consecutive addresses.
class DirectWriter {
  public:
    explicit DirectWriter(NsxFile& f) : f_(f) {}
    void put(std::uint32_t addr, const std::uint8_t* page) {
        f_.cache().discard(addr);
        if (!run_.empty() && (addr != runStart_ + run_.size() || run_.size() >= (1u << 20)))
            drain();
        if (run_.empty()) runStart_ = addr;
        run_.insert(run_.end(), page, page + kPageSize);
    }
    void drain() {
        if (!run_.empty()) f_.cache().writeRaw(runStart_, run_.data(), run_.size());
        run_.clear();
    }

  private:
    NsxFile& f_;
    std::uint32_t runStart_ = 0;
    std::vector<std::uint8_t> run_;
};

}  // namespace

void NsxTag::build(NsxKeyBatch& batch, std::uint32_t recordCount, const NsxProgress& progress) {
    file_.requireWritable();
    if (batch.keyLen() != fmt_.keyLen) {
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Die Schlüssellänge passt nicht zum Tag " + name_, file_.path());
    }
    Progress prog(progress);
    NsxTreeImage img =
        assembleTree(batch, fmt_, unique_, recordCount, [&](double f) { prog.at(0.95 * f); });
    install(img);
    prog.at(1.0);
}

void NsxTag::install(NsxTreeImage& img) {
    file_.requireWritable();
    if (img.format.keyLen != fmt_.keyLen || img.format.trail != fmt_.trail)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der aufgebaute Baum passt nicht zum Schlüssel des Tags " + name_,
                        file_.path());
    if (img.pageCount() == 0 || img.root >= img.pageCount())
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der aufgebaute Baum für den Tag " + name_ + " ist leer", file_.path());
    NsxFile::ChangeGuard guard(file_);

    // Pages of the old tree are reused first, in address order.
    std::vector<std::uint32_t> reuse;
    {
        std::vector<std::pair<std::uint32_t, int>> todo{{root_, 0}};
        std::unordered_set<std::uint32_t> seen;
        while (!todo.empty()) {
            auto [addr, depth] = todo.back();
            todo.pop_back();
            if (depth > kMaxDepth || !file_.validAddress(addr) || !seen.insert(addr).second)
                continue;
            try {
                PageRef p = treePage(addr);
                if (isBranchType(p.data()[0])) {
                    const BranchView b{p.data(), fmt_.keyLen};
                    for (int c = 0; c <= b.count(); ++c)
                        todo.push_back({b.child(c), depth + 1});
                }
            } catch (const qv::Error&) {
                continue;  // not a page of this tree after all; leave it alone
            }
            reuse.push_back(addr);
            file_.forgetCount(addr);
        }
        std::sort(reuse.begin(), reuse.end(), std::greater<>());
    }
    file_.beginDirectWrite();
    const std::size_t count = img.pageCount();
    std::vector<std::uint32_t> addr(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!reuse.empty()) {
            addr[i] = reuse.back();
            reuse.pop_back();
        } else {
            addr[i] = file_.allocAddress();
        }
    }
    DirectWriter out(file_);
    std::uint8_t page[kPageSize];
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* src = img.page(i);
        if (isBranchType(src[0])) {
            // Children by number become children by address.
            std::memcpy(page, src, kPageSize);
            const BranchView b{src, fmt_.keyLen};
            for (int c = 0; c <= b.count(); ++c)
                setBranchChild(page, fmt_.keyLen, c, addr[b.child(c)]);
            src = page;
        }
        out.put(addr[i], src);
        file_.setCount(addr[i], img.counts[i]);
    }
    out.drain();
    for (std::uint32_t a : reuse)
        file_.freePage(a);
    setRoot(addr[img.root]);
    ++mods_;
    file_.flush();
}

NsxTag& NsxFile::buildTag(const NsxTagDef& def, NsxKeyBatch& batch, std::uint32_t recordCount,
                          const NsxProgress& progress) {
    NsxTag& t = addTag(def);
    t.build(batch, recordCount, progress);
    return t;
}

NsxTag& NsxFile::installTag(const NsxTagDef& def, NsxTreeImage& image) {
    NsxTag& t = addTag(def);
    t.install(image);
    return t;
}

// ---- several tags on two threads ---------------------------------------------------------

namespace {

// Below this many records a second thread costs more than it saves.
constexpr std::size_t kParallelFrom = 20000;

// Thrown inside a worker that was asked to stop.
struct Stopped {};

}  // namespace

struct NsxBulkBuild::Slot {
    explicit Slot(Tag t)
        : def(std::move(t.def)),
          batch(def.keyLen, def.keyType == NsxKeyType::Character ? 0x20 : 0) {
        keyOf[0] = t.makeKeyFn();
        keyOf[1] = t.makeKeyFn();
    }
    NsxTagDef def;
    KeyFn keyOf[2];  // one per thread
    NsxKeyBatch batch;
    NsxTreeImage image;
    std::atomic<int> permille{0};  // of the assembly
    bool ready = false;            // the image is complete (under the build's mutex)
};

NsxBulkBuild::NsxBulkBuild(std::vector<Tag> tags, std::size_t expectedRecords) {
    for (Tag& t : tags) {
        slots_.push_back(std::make_unique<Slot>(std::move(t)));
        slots_.back()->batch.reserve(expectedRecords);
    }
    parallel_ = slots_.size() > 0 && expectedRecords >= kParallelFrom &&
                std::thread::hardware_concurrency() > 1;
}

NsxBulkBuild::~NsxBulkBuild() = default;

void NsxBulkBuild::evalRange(int thread, const std::uint8_t* records, std::size_t recordLength,
                             std::uint32_t first, std::uint32_t from, std::uint32_t to) {
    for (const auto& sp : slots_) {
        Slot& s = *sp;
        const KeyFn& keyOf = s.keyOf[thread];
        const std::uint8_t* rec = records + std::size_t{from} * recordLength;
        for (std::uint32_t i = from; i < to; ++i, rec += recordLength) {
            const std::uint32_t recno = first + i;
            const std::size_t slot = recno - 1;
            if (!keyOf(rec, recno, s.batch.setSlot(slot, recno))) s.batch.omitSlot(slot);
        }
    }
}

void NsxBulkBuild::addRecords(const std::uint8_t* records, std::size_t recordLength,
                              std::uint32_t first, std::uint32_t n) {
    if (n == 0) return;
    if (first == 0 || first - 1 < filled_)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Datensätze für den Indexaufbau außer der Reihe: " + std::to_string(first) +
                            " nach " + std::to_string(filled_));
    const std::size_t end = std::size_t{first} - 1 + n;
    for (const auto& sp : slots_) {
        sp->batch.resizeSlots(end);
        for (std::size_t i = filled_; i + 1 < first; ++i)
            sp->batch.omitSlot(i);
    }
    filled_ = end;
    // The two threads take one half of the block each, with every tag: the
    // work splits evenly whatever the tags cost.
    if (!parallel_ || n < 64) {
        evalRange(0, records, recordLength, first, 0, n);
        return;
    }
    const std::uint32_t half = n / 2;
    std::exception_ptr failure;
    {
        std::jthread helper([&] {
            try {
                evalRange(1, records, recordLength, first, half, n);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        evalRange(0, records, recordLength, first, 0, half);  // the helper is joined on the way out
    }
    if (failure) std::rethrow_exception(failure);
}

void NsxBulkBuild::writeTo(NsxFile& file, std::uint32_t recordCount, const NsxProgress& progress) {
    Progress prog(progress);
    prog.at(0);
    const std::size_t m = slots_.size();
    const auto formatOf = [](const Slot& s) {
        return KeyFormat{s.batch.keyLen(), s.batch.trail()};
    };
    if (!parallel_) {
        for (std::size_t t = 0; t < m; ++t) {
            Slot& s = *slots_[t];
            const double base = static_cast<double>(t) / static_cast<double>(m);
            s.image = assembleTree(s.batch, formatOf(s), s.def.unique, recordCount, [&](double f) {
                prog.at(base + 0.9 * f / static_cast<double>(m));
            });
            s.batch.release();
            file.installTag(s.def, s.image);
            s.image = NsxTreeImage{};
            prog.at(static_cast<double>(t + 1) / static_cast<double>(m));
        }
        prog.at(1.0);
        return;
    }

    // The largest trees are assembled first, so that the other thread takes
    // the smaller ones meanwhile.
    std::vector<std::size_t> order(m);
    for (std::size_t i = 0; i < m; ++i)
        order[i] = i;
    const auto weight = [&](std::size_t i) {
        return slots_[i]->batch.size() * static_cast<std::size_t>(slots_[i]->batch.keyLen());
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return weight(a) > weight(b); });

    std::mutex mu;
    std::condition_variable cv;
    std::exception_ptr failure;  // the first error of a worker, under mu
    std::atomic<std::size_t> next{0};
    std::size_t installed = 0;
    const auto worker = [&](std::stop_token stop) {
        try {
            for (;;) {
                if (stop.stop_requested()) return;
                const std::size_t i = next.fetch_add(1);
                if (i >= m) return;
                Slot& s = *slots_[order[i]];
                s.image =
                    assembleTree(s.batch, formatOf(s), s.def.unique, recordCount, [&](double f) {
                        s.permille.store(static_cast<int>(f * 1000));
                        if (stop.stop_requested()) throw Stopped{};
                    });
                s.batch.release();
                {
                    const std::lock_guard lock(mu);
                    s.ready = true;
                }
                cv.notify_all();
            }
        } catch (const Stopped&) {
        } catch (...) {
            {
                const std::lock_guard lock(mu);
                if (!failure) failure = std::current_exception();
            }
            cv.notify_all();
        }
    };
    const auto done = [&] {
        double sum = static_cast<double>(installed);
        for (std::size_t t = installed; t < m; ++t)
            sum += 0.9 * slots_[t]->permille.load() / 1000.0;
        return sum / static_cast<double>(m);
    };
    {
        // Leaving this block, by the end or by an error of the file, stops
        // both workers (at their next progress point) and waits for them.
        std::jthread a(worker), b(worker);
        for (std::size_t t = 0; t < m; ++t) {
            Slot& s = *slots_[t];
            {
                std::unique_lock lock(mu);
                while (!s.ready && !failure) {
                    cv.wait_for(lock, std::chrono::milliseconds(50));
                    lock.unlock();
                    prog.at(done());
                    lock.lock();
                }
                if (failure) break;
            }
            file.installTag(s.def, s.image);
            s.image = NsxTreeImage{};
            ++installed;
            prog.at(done());
        }
    }
    if (failure) std::rethrow_exception(failure);
    prog.at(1.0);
}

}  // namespace xb
