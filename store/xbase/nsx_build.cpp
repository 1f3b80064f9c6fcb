#include "store/xbase/nsx_build.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <memory>
#include <unordered_set>

#include "store/xbase/error.h"
#include "store/xbase/nsx_tag.h"

namespace xb {

using namespace nsx;

// ---- the batch -----------------------------------------------------------------------

NsxKeyBatch::NsxKeyBatch(int keyLen, std::uint8_t trail) : keyLen_(keyLen), trail_(trail) {}

NsxKeyBatch::NsxKeyBatch(const NsxTag& tag) : NsxKeyBatch(tag.keyLen(), tag.trail()) {}

void NsxKeyBatch::reserve(std::size_t n) {
    keys_.reserve(n * static_cast<std::size_t>(keyLen_));
    recnos_.reserve(n);
}

void NsxKeyBatch::add(std::string_view key, std::uint32_t recno) {
    const std::size_t kl = static_cast<std::size_t>(keyLen_);
    const std::size_t at = keys_.size();
    keys_.resize(at + kl, trail_);
    std::memcpy(keys_.data() + at, key.data(), std::min(kl, key.size()));
    recnos_.push_back(recno);
    maxRecno_ = std::max(maxRecno_, recno);
    sorted_ = false;
}

void NsxKeyBatch::clear() {
    keys_.clear();
    recnos_.clear();
    order_.clear();
    maxRecno_ = 0;
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

// LSD radix sort on the chunk, skipping byte positions where all items agree.
void radixSort(std::vector<Item>& a, std::vector<Item>& tmp) {
    const std::size_t n = a.size();
    std::vector<std::uint32_t> hist(8 * 256, 0);
    for (const Item& it : a)
        for (int b = 0; b < 8; ++b)
            ++hist[static_cast<std::size_t>(b) * 256 + ((it.chunk >> (8 * b)) & 0xFF)];
    tmp.resize(n);
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
        for (const Item& it : a)
            tmp[h[(it.chunk >> (8 * b)) & 0xFF]++] = it;
        a.swap(tmp);
    }
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
    const std::size_t n = recnos_.size();
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i) {
        items[i].idx = static_cast<std::uint32_t>(i);
        items[i].chunk =
            loadChunk(keys_.data() + i * static_cast<std::size_t>(keyLen_), 0, keyLen_);
    }
    Sorter s{keys_.data(), recnos_.data(), keyLen_};
    if (n > 4096) {
        std::vector<Item> tmp;
        radixSort(items, tmp);
        for (std::size_t i = 0; i < n;) {
            std::size_t e = i + 1;
            while (e < n && items[e].chunk == items[i].chunk)
                ++e;
            s.refine(items.data() + i, items.data() + e, 8);
            i = e;
        }
    } else {
        s.sortRange(items.data(), items.data() + n, 0);
    }
    order_.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        order_[i] = items[i].idx;
    sorted_ = true;
}

// ---- the bottom-up writer --------------------------------------------------------------

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

struct LevelPage {
    std::uint8_t data[kPageSize];
    int n = 0;
    bool hasLower = false;
    std::uint64_t count = 0;
};

}  // namespace

void NsxTag::build(NsxKeyBatch& batch, std::uint32_t recordCount, const NsxProgress& progress) {
    file_.requireWritable();
    if (batch.keyLen() != fmt_.keyLen) {
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Die Schlüssellänge passt nicht zum Tag " + name_, file_.path());
    }
    NsxFile::ChangeGuard guard(file_);
    Progress prog(progress);
    prog.at(0);
    batch.sort();
    prog.at(0.5);

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
    DirectWriter out(file_);
    auto alloc = [&]() -> std::uint32_t {
        if (!reuse.empty()) {
            const std::uint32_t a = reuse.back();
            reuse.pop_back();
            return a;
        }
        const std::uint32_t a = file_.allocAddress();
        file_.cache().discard(a);
        return a;
    };

    const std::size_t n = batch.size();
    const int recLen = n == 0 ? 2 : recNoLenFor(std::max(recordCount, batch.maxRecno()));
    const int maxKeys = maxBranchKeys(fmt_.keyLen);
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);

    std::vector<std::unique_ptr<LevelPage>> levels;  // levels[0] is the level above the leaves
    std::vector<std::pair<std::uint32_t, std::uint64_t>> lastFinished;  // per branch level
    std::uint8_t leaf[kPageSize];
    int leafN = 0;
    int leafUsed = kLeafHeader;
    int leafLastOff = kLeafHeader;
    std::uint8_t pending[kPageSize];  // the last finished leaf, written late
    std::uint32_t pendingAddr = 0;
    int pendingN = 0;
    int pendingLastOff = 0;
    bool havePending = false;
    int lastLevel = -1, lastSlot = -1;  // where the last promoted key sits
    bool lastPromoted = false;

    auto finishPage = [&](std::uint8_t* data, std::uint32_t addr, std::uint64_t count) {
        out.put(addr, data);
        file_.setCount(addr, static_cast<std::uint32_t>(count));
    };
    auto attach = [&](std::size_t lvl, std::uint32_t child, std::uint64_t childCount) {
        LevelPage& b = *levels[lvl];
        if (b.n == 0 && !b.hasLower) {
            putU32LE(b.data + 4, child);
            b.hasLower = true;
        } else {
            setBranchChild(b.data, fmt_.keyLen, b.n, child);
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
                const std::uint32_t addr = alloc();
                putU16LE(b.data + 2, static_cast<std::uint16_t>(b.n));
                const std::uint64_t cnt = b.count;
                finishPage(b.data, addr, cnt);
                lastFinished[lvl] = {addr, cnt};
                startLevel(lvl);
                promote(lvl + 1, key, recno, addr, cnt);
                return;
            }
            putBranchEntry(b.data, fmt_.keyLen, b.n, 0, recno, key);
            ++b.n;
            b.count += 1;
            lastLevel = static_cast<int>(lvl);
            lastSlot = b.n - 1;
        };
    auto finishLeaf = [&]() -> std::uint32_t {
        if (havePending) finishPage(pending, pendingAddr, static_cast<std::uint64_t>(pendingN));
        std::memset(leaf + leafUsed, 0, static_cast<std::size_t>(kPageSize - leafUsed));
        putLeafHeader(leaf, kTypeLeaf, recLen, leafN, leafUsed);
        std::memcpy(pending, leaf, kPageSize);
        pendingAddr = alloc();
        pendingN = leafN;
        pendingLastOff = leafLastOff;
        havePending = true;
        return pendingAddr;
    };

    const bool uniq = unique_;
    const std::uint8_t* prevKey = nullptr;      // previous entry in the current leaf
    const std::uint8_t* lastEmitted = nullptr;  // previous entry written anywhere
    std::uint32_t lastEmittedRec = 0;
    const std::uint8_t* beforeLastEmitted = nullptr;
    std::uint32_t beforeLastEmittedRec = 0;
    std::uint8_t tmp[kMaxEntrySize + 8];
    const std::size_t step = std::max<std::size_t>(n / 50, 1);
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % step == 0) prog.at(0.5 + 0.5 * static_cast<double>(i) / static_cast<double>(n));
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
        if (uniq && lastEmitted && std::memcmp(k, lastEmitted, kl) == 0) continue;
        beforeLastEmitted = lastEmitted;
        beforeLastEmittedRec = lastEmittedRec;
        lastEmitted = k;
        lastEmittedRec = r;
        const int sz = encodeLeafEntry(tmp, fmt_, recLen, r, k, prevKey);
        if (leafUsed + sz <= kPageSize) {
            std::memcpy(leaf + leafUsed, tmp, static_cast<std::size_t>(sz));
            leafLastOff = leafUsed;
            leafUsed += sz;
            ++leafN;
            prevKey = k;
            lastPromoted = false;
            continue;
        }
        const std::uint32_t leafAddr = finishLeaf();
        promote(0, k, r, leafAddr, static_cast<std::uint64_t>(leafN));
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
                             lastSlot * (fmt_.keyLen + 8);
        putU32LE(slot + 4, beforeLastEmittedRec);
        std::memcpy(slot + 8, beforeLastEmitted, kl);
        const int sz = encodeLeafEntry(tmp, fmt_, recLen, knRec, kn, nullptr);
        std::memcpy(leaf + kLeafHeader, tmp, static_cast<std::size_t>(sz));
        leafUsed = kLeafHeader + sz;
        leafN = 1;
        // The pages between the slot and the previous leaf counted the entry
        // that moved; the new last leaf is counted when it is attached.
        levels[static_cast<std::size_t>(lastLevel)]->count -= 1;
        for (int l = 0; l < lastLevel; ++l) {
            auto& lf = lastFinished[static_cast<std::size_t>(l)];
            file_.setCount(lf.first, static_cast<std::uint32_t>(lf.second - 1));
        }
    }
    if (havePending) finishPage(pending, pendingAddr, static_cast<std::uint64_t>(pendingN));

    // Finalisation: each level's current page goes out and hangs below the
    // level above; the topmost one is the root.
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
    out.drain();
    for (std::uint32_t a : reuse)
        file_.freePage(a);
    setRoot(child);
    ++mods_;
    file_.flush();
    prog.at(1.0);
}

NsxTag& NsxFile::buildTag(const NsxTagDef& def, NsxKeyBatch& batch, std::uint32_t recordCount,
                          const NsxProgress& progress) {
    NsxTag& t = addTag(def);
    t.build(batch, recordCount, progress);
    return t;
}

}  // namespace xb
