#include "store/xbase/nsx_tag.h"

#include <algorithm>
#include <memory>

#include "store/xbase/error.h"
#include "store/xbase/nsx_cursor.h"

namespace xb {

using namespace nsx;

// The leaf slot a descent ends in, with the decoded neighbours an in-place
// edit needs.
struct NsxTag::Slot {
    int idx = 0;  // 0..n
    int n = 0;
    int recLen = 2;
    int used = kLeafHeader;
    int off = kLeafHeader;  // offset of entry idx (end of entries when idx == n)
    int size = 0;           // its length (0 when idx == n)
    bool hasPred = false;   // key left of the leaf
    std::uint8_t pred[kMaxKeyLen];
    bool hasPrev = false;  // entry idx-1 (inside the leaf)
    std::uint8_t prev[kMaxKeyLen];
    bool hasCur = false;  // entry idx
    std::uint8_t cur[kMaxKeyLen];
    std::uint32_t curRec = 0;
    bool hasNext = false;  // entry idx+1
    std::uint8_t next[kMaxKeyLen];
    std::uint32_t nextRec = 0;
    int nextOff = 0;
    int nextSize = 0;
};

NsxTag::NsxTag(NsxFile& file, std::uint32_t header) : file_(file), header_(header) {}

NsxKeyType NsxTag::keyType() const {
    return static_cast<NsxKeyType>(keyType_);
}

NsxTagSpec NsxTag::spec() const {
    NsxTagSpec s;
    s.name = name_;
    s.keyExpr = keyExpr_;
    s.forExpr = forExpr_;
    s.keyType = keyType();
    s.keyLen = fmt_.keyLen;
    s.unique = unique_;
    s.descending = descending_;
    return s;
}

std::string NsxTag::makeKey(std::string_view bytes) const {
    std::string k(static_cast<std::size_t>(fmt_.keyLen), static_cast<char>(fmt_.trail));
    std::memcpy(k.data(), bytes.data(), std::min(bytes.size(), k.size()));
    return k;
}

void NsxTag::checkDepth(std::size_t depth) const {
    if (depth >= static_cast<std::size_t>(kMaxDepth))
        file_.corrupt("der Baum des Tags " + name_ + " ist tiefer als 64 Ebenen oder zyklisch");
}

PageRef NsxTag::treePage(std::uint32_t addr) {
    if (!file_.validAddress(addr)) {
        file_.corrupt("Tag " + name_ + " verweist auf die ungültige Seite " + std::to_string(addr));
    }
    PageRef p(file_.cache().get(addr));
    const std::uint8_t* d = p.data();
    const std::uint8_t t = d[0];
    const char* why = nullptr;
    if (isBranchType(t)) {
        if (getU16LE(d + 2) > maxBranchKeys(fmt_.keyLen))
            why = " hat eine unmögliche Schlüsselanzahl";
    } else if (isLeafType(t)) {
        const int used = getU16LE(d + 4);
        if (used < kLeafHeader || used > kPageSize) {
            why = " hat einen unmöglichen belegten Bereich";
        } else if (d[1] < 1 || d[1] > 4) {
            why = " hat eine ungültige Breite der Satznummern";
        }
    } else {
        why = " hat einen unbekannten Seitentyp";
    }
    if (why) file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ + ")" + why, addr);
    return p;
}

void NsxTag::decodeLeaf(const std::uint8_t* page, std::uint32_t addr, const std::uint8_t* pred,
                        std::vector<std::uint8_t>& keys, std::vector<std::uint32_t>& recnos) {
    LeafDecoder dec(page, fmt_, pred);
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    keys.resize(static_cast<std::size_t>(dec.count()) * kl);
    recnos.resize(static_cast<std::size_t>(dec.count()));
    while (dec.next()) {
        const std::size_t i = static_cast<std::size_t>(dec.index());
        std::memcpy(keys.data() + i * kl, dec.key(), kl);
        recnos[i] = dec.recno();
    }
    if (dec.error() || dec.index() + 1 != dec.count()) {
        file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ +
                          "): " + (dec.error() ? dec.error() : "weniger Einträge als angegeben"),
                      addr);
    }
}

const LeafIndex& NsxTag::leafIndex(Page* page, const std::uint8_t* pred) {
    if (page->index && page->index->valid) return *page->index;
    if (!page->index) page->index = std::make_unique<LeafIndex>();
    LeafIndex& ix = *page->index;
    ix.entry.clear();
    ix.offset.clear();
    ix.recno.clear();
    ix.keys.clear();
    LeafDecoder dec(page->data, fmt_, pred);
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    while (dec.next()) {
        if (dec.index() % LeafIndex::kStep != 0) continue;
        ix.entry.push_back(dec.index());
        ix.offset.push_back(dec.offset());
        ix.recno.push_back(dec.recno());
        ix.keys.insert(ix.keys.end(), dec.key(), dec.key() + kl);
    }
    if (dec.error() || dec.index() + 1 != dec.count()) {
        file_.corrupt("Seite " + std::to_string(page->addr) + " (Tag " + name_ +
                          "): " + (dec.error() ? dec.error() : "weniger Einträge als angegeben"),
                      page->addr);
    }
    ix.valid = true;
    return ix;
}

int NsxTag::restartBefore(const LeafIndex& ix, const Target& t) const {
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    int lo = 0, hi = ix.count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (t.before(ix.keys.data() + static_cast<std::size_t>(mid) * kl,
                     ix.recno[static_cast<std::size_t>(mid)], fmt_.keyLen)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo - 1;
}

int NsxTag::skipTo(LeafDecoder& dec, const LeafIndex& ix, const Target& t) const {
    const int r = restartBefore(ix, t);
    if (r < 0) return 0;
    const std::size_t k = static_cast<std::size_t>(r);
    dec.resume(ix.entry[k], ix.offset[k],
               ix.keys.data() + k * static_cast<std::size_t>(fmt_.keyLen), ix.recno[k]);
    return ix.entry[k] + 1;
}

void NsxTag::readBranch(const std::uint8_t* page, std::vector<std::uint8_t>& keys,
                        std::vector<std::uint32_t>& recnos, std::vector<std::uint32_t>& children) {
    const BranchView b{page, fmt_.keyLen};
    const int n = b.count();
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    keys.resize(static_cast<std::size_t>(n) * kl);
    recnos.resize(static_cast<std::size_t>(n));
    children.resize(static_cast<std::size_t>(n) + 1);
    children[0] = b.lower();
    for (int i = 0; i < n; ++i) {
        std::memcpy(keys.data() + static_cast<std::size_t>(i) * kl, b.key(i), kl);
        recnos[static_cast<std::size_t>(i)] = b.recno(i);
        children[static_cast<std::size_t>(i) + 1] = b.childAfter(i);
    }
}

void NsxTag::setRoot(std::uint32_t addr) {
    root_ = addr;
    writeHeaderRoot();
}

void NsxTag::writeHeaderRoot() {
    Page* h = file_.page(header_);
    putU32LE(h->data + kTagRoot, root_);
    file_.cache().markDirty(h);
}

// ---- searching ---------------------------------------------------------------------

void NsxTag::descend(const Target& t, std::vector<Frame>& path, Slot& s) {
    path.clear();
    s = Slot{};
    std::uint32_t addr = root_;
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    for (std::size_t depth = 0;; ++depth) {
        checkDepth(depth);
        PageRef p = treePage(addr);
        const std::uint8_t* d = p.data();
        if (isBranchType(d[0])) {
            const BranchView b{d, fmt_.keyLen};
            int lo = 0, hi = b.count();
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (t.before(b.key(mid), b.recno(mid), fmt_.keyLen)) {
                    lo = mid + 1;
                } else {
                    hi = mid;
                }
            }
            path.push_back({addr, lo});
            if (lo > 0) {
                std::memcpy(s.pred, b.key(lo - 1), kl);
                s.hasPred = true;
            }
            addr = b.child(lo);
            continue;
        }
        LeafDecoder dec(d, fmt_, s.hasPred ? s.pred : nullptr);
        s.n = dec.count();
        s.recLen = dec.recLen();
        s.used = dec.used();
        if (s.n == 0 && depth > 0)
            file_.corrupt(
                "Seite " + std::to_string(addr) + " (Tag " + name_ + ") ist ein leeres Blatt",
                addr);
        skipTo(dec, leafIndex(p.get(), s.hasPred ? s.pred : nullptr), t);
        bool found = false;
        while (dec.next()) {
            if (!t.before(dec.key(), dec.recno(), fmt_.keyLen)) {
                found = true;
                break;
            }
        }
        if (found) {
            s.idx = dec.index();
            s.off = dec.offset();
            s.size = dec.size();
            if (const std::uint8_t* pk = dec.prevKey(); pk && s.idx > 0) {
                std::memcpy(s.prev, pk, kl);
                s.hasPrev = true;
            }
            std::memcpy(s.cur, dec.key(), kl);
            s.curRec = dec.recno();
            s.hasCur = true;
            if (dec.next()) {
                std::memcpy(s.next, dec.key(), kl);
                s.nextRec = dec.recno();
                s.nextOff = dec.offset();
                s.nextSize = dec.size();
                s.hasNext = true;
            }
        } else {
            s.idx = s.n;
            s.off = s.n > 0 ? dec.end() : kLeafHeader;
            if (s.n > 0) {
                std::memcpy(s.prev, dec.key(), kl);
                s.hasPrev = true;
            }
        }
        if (dec.error()) {
            file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ + "): " + dec.error(),
                          addr);
        }
        if (found && s.idx + 1 < s.n && !s.hasNext) {
            file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ +
                              "): weniger Einträge als angegeben",
                          addr);
        }
        path.push_back({addr, s.idx});
        return;
    }
}

void NsxTag::predecessorOf(const std::vector<Frame>& path, std::size_t level, std::uint8_t* out,
                           bool& has) {
    has = false;
    for (std::size_t l = level; l-- > 0;) {
        if (path[l].idx > 0) {
            PageRef p = treePage(path[l].addr);
            const BranchView b{p.data(), fmt_.keyLen};
            if (path[l].idx - 1 >= b.count()) file_.corrupt("Pfad passt nicht zum Baum");
            std::memcpy(out, b.key(path[l].idx - 1), static_cast<std::size_t>(fmt_.keyLen));
            has = true;
            return;
        }
    }
}

std::uint64_t NsxTag::subtreeCount(std::uint32_t addr, int depth) {
    const std::uint32_t known = file_.knownCount(addr);
    if (known != NsxFile::kUnknownCount) return known;
    checkDepth(static_cast<std::size_t>(depth));
    PageRef p = treePage(addr);
    const std::uint8_t* d = p.data();
    std::uint64_t total = getU16LE(d + 2);
    if (isBranchType(d[0])) {
        const BranchView b{d, fmt_.keyLen};
        for (int c = 0; c <= b.count(); ++c)
            total += subtreeCount(b.child(c), depth + 1);
    } else if (total == 0 && addr != root_) {
        file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ + ") ist ein leeres Blatt",
                      addr);
    }
    if (total >= file_.entryCap() || total >= NsxFile::kUnknownCount)
        file_.corrupt("Seiten des Tags " + name_ + " werden mehrfach verwendet", addr);
    file_.setCount(addr, static_cast<std::uint32_t>(total));
    return total;
}

std::uint64_t NsxTag::count() {
    return subtreeCount(root_);
}

std::uint64_t NsxTag::countBeforeTarget(const Target& t) {
    std::uint64_t total = 0;
    std::uint32_t addr = root_;
    std::uint8_t pred[kMaxKeyLen];
    bool hasPred = false;
    for (std::size_t depth = 0;; ++depth) {
        checkDepth(depth);
        PageRef p = treePage(addr);
        const std::uint8_t* d = p.data();
        if (isBranchType(d[0])) {
            const BranchView b{d, fmt_.keyLen};
            int lo = 0, hi = b.count();
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (t.before(b.key(mid), b.recno(mid), fmt_.keyLen)) {
                    lo = mid + 1;
                } else {
                    hi = mid;
                }
            }
            for (int c = 0; c < lo; ++c)
                total += subtreeCount(b.child(c), static_cast<int>(depth) + 1);
            total += static_cast<std::uint64_t>(lo);
            if (lo > 0) {
                std::memcpy(pred, b.key(lo - 1), static_cast<std::size_t>(fmt_.keyLen));
                hasPred = true;
            }
            addr = b.child(lo);
            continue;
        }
        LeafDecoder dec(d, fmt_, hasPred ? pred : nullptr);
        int n = skipTo(dec, leafIndex(p.get(), hasPred ? pred : nullptr), t);
        while (dec.next() && t.before(dec.key(), dec.recno(), fmt_.keyLen))
            ++n;
        if (dec.error()) {
            file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ + "): " + dec.error(),
                          addr);
        }
        return total + static_cast<std::uint64_t>(n);
    }
}

std::uint64_t NsxTag::countBefore(std::string_view key, std::uint32_t recno) {
    const std::string k = makeKey(key);
    const Target t{Target::Entry, reinterpret_cast<const std::uint8_t*>(k.data()), fmt_.keyLen,
                   recno};
    return countBeforeTarget(t);
}

std::uint64_t NsxTag::countBelowPrefix(std::string_view value) {
    const int len = static_cast<int>(std::min<std::size_t>(value.size(), fmt_.keyLen));
    const Target t{Target::PrefixBelow, reinterpret_cast<const std::uint8_t*>(value.data()), len,
                   0};
    return countBeforeTarget(t);
}

std::uint64_t NsxTag::countUpToPrefix(std::string_view value) {
    const int len = static_cast<int>(std::min<std::size_t>(value.size(), fmt_.keyLen));
    const Target t{Target::PrefixUpTo, reinterpret_cast<const std::uint8_t*>(value.data()), len, 0};
    return countBeforeTarget(t);
}

bool NsxTag::contains(std::string_view key, std::uint32_t recno) {
    const std::string k = makeKey(key);
    NsxCursor c(*this);
    return c.seekEntry(k, recno);
}

std::vector<NsxEntry> NsxTag::entries() {
    std::vector<NsxEntry> r;
    NsxCursor c(*this);
    for (bool ok = c.first(); ok; ok = c.next())
        r.push_back({std::string(c.key()), c.recno()});
    return r;
}

int NsxTag::depth() {
    std::uint32_t addr = root_;
    for (int d = 1;; ++d) {
        checkDepth(static_cast<std::size_t>(d));
        PageRef p = treePage(addr);
        if (isLeafType(p.data()[0])) return d;
        addr = BranchView{p.data(), fmt_.keyLen}.lower();
    }
}

// ---- updates ------------------------------------------------------------------------

void NsxTag::forgetPathCounts(const std::vector<Frame>& path) {
    for (const Frame& f : path)
        file_.forgetCount(f.addr);
}

void NsxTag::fillKey(std::string_view bytes) {
    key_.assign(static_cast<std::size_t>(fmt_.keyLen), static_cast<char>(fmt_.trail));
    std::memcpy(key_.data(), bytes.data(), std::min(bytes.size(), key_.size()));
}

bool NsxTag::insert(std::string_view key, std::uint32_t recno) {
    file_.requireWritable();
    NsxFile::ChangeGuard guard(file_);
    fillKey(key);
    const std::uint8_t* kb = reinterpret_cast<const std::uint8_t*>(key_.data());
    const Target t{Target::Entry, kb, fmt_.keyLen, unique_ ? 0u : recno};
    std::vector<Frame>& path = path_;
    Slot s;
    descend(t, path, s);
    // The first entry not before the target: in the leaf, or the nearest
    // branch key above it.
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    auto clash = [&](const std::uint8_t* ek, std::uint32_t er) {
        return std::memcmp(ek, kb, kl) == 0 && (unique_ || er == recno);
    };
    if (s.hasCur) {
        if (clash(s.cur, s.curRec)) return false;
    } else {
        for (std::size_t l = path.size() - 1; l-- > 0;) {
            PageRef p = treePage(path[l].addr);
            const BranchView b{p.data(), fmt_.keyLen};
            if (path[l].idx < b.count()) {
                if (clash(b.key(path[l].idx), b.recno(path[l].idx))) return false;
                break;
            }
        }
    }
    insertAtSlot(path, s, kb, recno);
    ++mods_;
    return true;
}

bool NsxTag::insertAtSlot(std::vector<Frame>& path, Slot& s, const std::uint8_t* key,
                          std::uint32_t recno) {
    const std::uint32_t leafAddr = path.back().addr;
    PageRef p = treePage(leafAddr);
    std::uint8_t* d = p.data();
    const int need = recNoLenFor(recno);
    if (need <= s.recLen) {
        std::uint8_t buf[2 * kMaxEntrySize + 16];
        const int a =
            encodeLeafEntry(buf, fmt_, s.recLen, recno, key, s.hasPrev ? s.prev : nullptr);
        int b = 0;
        if (s.hasCur) b = encodeLeafEntry(buf + a, fmt_, s.recLen, s.curRec, s.cur, key);
        const int newUsed = s.used - s.size + a + b;
        if (newUsed <= kPageSize && s.off + s.size <= s.used) {
            const int tail = s.used - (s.off + s.size);
            std::memmove(d + s.off + a + b, d + s.off + s.size, static_cast<std::size_t>(tail));
            std::memcpy(d + s.off, buf, static_cast<std::size_t>(a + b));
            putU16LE(d + 2, static_cast<std::uint16_t>(s.n + 1));
            putU16LE(d + 4, static_cast<std::uint16_t>(newUsed));
            if (p->index && p->index->valid)
                p->index->shift(s.idx, +1, newUsed - s.used, s.off + a, fmt_.keyLen);
            file_.cache().markDirtyKeepIndex(p.get());
            for (const Frame& f : path) {
                const std::uint32_t c = file_.knownCount(f.addr);
                if (c != NsxFile::kUnknownCount) file_.setCount(f.addr, c + 1);
            }
            return true;
        }
    }
    // Structural change: widen the record numbers and/or split.
    std::vector<std::uint8_t> keys;
    std::vector<std::uint32_t> recnos;
    decodeLeaf(d, leafAddr, s.hasPred ? s.pred : nullptr, keys, recnos);
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    const std::size_t at = static_cast<std::size_t>(s.idx);
    keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at * kl), key, key + kl);
    recnos.insert(recnos.begin() + static_cast<std::ptrdiff_t>(at), recno);
    p.reset();
    storeLeaf(path, path.size() - 1, keys, recnos, std::max(s.recLen, need));
    return true;
}

void NsxTag::storeLeaf(std::vector<Frame>& path, std::size_t level, std::vector<std::uint8_t>& keys,
                       std::vector<std::uint32_t>& recnos, int recLen) {
    forgetPathCounts(path);
    const std::uint32_t addr = path[level].addr;
    const bool isRoot = level == 0;
    const int n = static_cast<int>(recnos.size());
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    // Every entry encoded once, each against the one before it. A piece of a
    // split starts with its first entry encoded without reference; the rest
    // of its bytes are the same as in this run.
    thread_local std::vector<std::uint8_t> run;
    thread_local std::vector<int> offs;
    run.resize(static_cast<std::size_t>(n) * kMaxEntrySize + 8);
    offs.resize(static_cast<std::size_t>(n) + 1);
    offs[0] = 0;
    for (int i = 0; i < n; ++i) {
        offs[static_cast<std::size_t>(i) + 1] =
            offs[static_cast<std::size_t>(i)] +
            encodeLeafEntry(run.data() + offs[static_cast<std::size_t>(i)], fmt_, recLen,
                            recnos[static_cast<std::size_t>(i)],
                            keys.data() + static_cast<std::size_t>(i) * kl,
                            i == 0 ? nullptr : keys.data() + static_cast<std::size_t>(i - 1) * kl);
    }
    auto sizeOf = [&](int i) {
        return offs[static_cast<std::size_t>(i) + 1] - offs[static_cast<std::size_t>(i)];
    };
    // Writes entries [from, to) into a page.
    auto writePiece = [&](Page* p, std::uint8_t type, int from, int to) {
        std::uint8_t* d = p->data;
        int off = kLeafHeader;
        if (from < to) {
            const int first =
                from == 0
                    ? sizeOf(0)
                    : encodeLeafEntry(d + off, fmt_, recLen, recnos[static_cast<std::size_t>(from)],
                                      keys.data() + static_cast<std::size_t>(from) * kl, nullptr);
            if (from == 0) std::memcpy(d + off, run.data(), static_cast<std::size_t>(first));
            off += first;
            const int rest =
                offs[static_cast<std::size_t>(to)] - offs[static_cast<std::size_t>(from) + 1];
            if (off + rest > kPageSize)
                file_.corrupt("interner Fehler beim Teilen einer Blattseite", addr);
            std::memcpy(d + off, run.data() + offs[static_cast<std::size_t>(from) + 1],
                        static_cast<std::size_t>(rest));
            off += rest;
        }
        std::memset(d + off, 0, static_cast<std::size_t>(kPageSize - off));
        putLeafHeader(d, type, recLen, to - from, off);
        file_.cache().markDirty(p);
        // The keys are at hand: give the page its restart points now rather
        // than decoding it again on the next search.
        if (!p->index) p->index = std::make_unique<LeafIndex>();
        LeafIndex& ix = *p->index;
        ix.entry.clear();
        ix.offset.clear();
        ix.recno.clear();
        ix.keys.clear();
        for (int i = from; i < to; i += LeafIndex::kStep) {
            ix.entry.push_back(i - from);
            ix.offset.push_back(i == from ? kLeafHeader
                                          : kLeafHeader + (off - kLeafHeader) -
                                                (offs[static_cast<std::size_t>(to)] -
                                                 offs[static_cast<std::size_t>(i)]));
            ix.recno.push_back(recnos[static_cast<std::size_t>(i)]);
            ix.keys.insert(ix.keys.end(), keys.begin() + static_cast<std::ptrdiff_t>(i * kl),
                           keys.begin() + static_cast<std::ptrdiff_t>((i + 1) * kl));
        }
        ix.valid = true;
    };
    if (kLeafHeader + offs[static_cast<std::size_t>(n)] <= kPageSize) {
        writePiece(file_.page(addr), isRoot ? kTypeRootLeaf : kTypeLeaf, 0, n);
        return;
    }
    // Cut into pieces: each piece ends before the first entry starting at or
    // beyond the split offset; that entry moves up as separator.
    std::vector<std::pair<int, int>> pieces;
    std::vector<std::uint8_t> sepKeys;
    std::vector<std::uint32_t> sepRecnos;
    int start = 0;
    for (;;) {
        int off = kLeafHeader;
        int sep = -1;
        bool fits = true;
        for (int i = start; i < n; ++i) {
            if (sep < 0 && i > start && off >= kSplitOffset) sep = i;
            off += i == start && i > 0
                       ? leafEntrySize(fmt_, recLen, keys.data() + static_cast<std::size_t>(i) * kl,
                                       nullptr)
                       : sizeOf(i);
            if (off > kPageSize) {
                fits = false;
                if (sep < 0) sep = i;  // overflow before the split offset
                break;
            }
        }
        if (fits) {
            pieces.push_back({start, n});
            break;
        }
        sep = std::min(sep, n - 2);
        if (sep <= start) sep = start + 1;
        pieces.push_back({start, sep});
        sepKeys.insert(sepKeys.end(), keys.begin() + static_cast<std::ptrdiff_t>(sep * kl),
                       keys.begin() + static_cast<std::ptrdiff_t>((sep + 1) * kl));
        sepRecnos.push_back(recnos[static_cast<std::size_t>(sep)]);
        start = sep + 1;
    }
    std::vector<std::uint32_t> rights;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Page* p = i == 0 ? file_.page(addr) : file_.allocPage();
        writePiece(p, kTypeLeaf, pieces[i].first, pieces[i].second);
        if (i > 0) rights.push_back(p->addr);
    }
    if (isRoot) {
        Page* r = file_.allocPage();
        r->data[0] = kTypeRootBranch;
        r->data[1] = kBranchRecNoLen;
        putU32LE(r->data + 4, addr);
        path.insert(path.begin(), Frame{r->addr, 0});
        setRoot(r->addr);
        insertSeparators(path, 0, sepKeys, sepRecnos, rights);
    } else {
        insertSeparators(path, level - 1, sepKeys, sepRecnos, rights);
    }
}

void NsxTag::insertSeparators(std::vector<Frame>& path, std::size_t level,
                              const std::vector<std::uint8_t>& sepKeys,
                              const std::vector<std::uint32_t>& sepRecnos,
                              const std::vector<std::uint32_t>& rightPages) {
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    const std::size_t c = static_cast<std::size_t>(path[level].idx);
    {
        // Room in the page: shift the entries right of the slot in place.
        PageRef p = treePage(path[level].addr);
        std::uint8_t* d = p.data();
        const int n = getU16LE(d + 2);
        const int add = static_cast<int>(sepRecnos.size());
        if (n + add <= maxBranchKeys(fmt_.keyLen) && c <= static_cast<std::size_t>(n)) {
            forgetPathCounts(path);
            const std::size_t es = kl + 8;
            std::uint8_t* at = d + kBranchHeader + c * es;
            std::memmove(at + add * es, at, (static_cast<std::size_t>(n) - c) * es);
            for (int j = 0; j < add; ++j) {
                putBranchEntry(d, fmt_.keyLen, static_cast<int>(c) + j,
                               rightPages[static_cast<std::size_t>(j)],
                               sepRecnos[static_cast<std::size_t>(j)],
                               sepKeys.data() + static_cast<std::size_t>(j) * kl);
            }
            putU16LE(d + 2, static_cast<std::uint16_t>(n + add));
            file_.cache().markDirty(p.get());
            return;
        }
    }
    std::vector<std::uint8_t> keys;
    std::vector<std::uint32_t> recnos, children;
    {
        PageRef p = treePage(path[level].addr);
        readBranch(p.data(), keys, recnos, children);
    }
    keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(c * kl), sepKeys.begin(), sepKeys.end());
    recnos.insert(recnos.begin() + static_cast<std::ptrdiff_t>(c), sepRecnos.begin(),
                  sepRecnos.end());
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(c + 1), rightPages.begin(),
                    rightPages.end());
    storeBranch(path, level, keys, recnos, children);
}

void NsxTag::storeBranch(std::vector<Frame>& path, std::size_t level,
                         std::vector<std::uint8_t>& keys, std::vector<std::uint32_t>& recnos,
                         std::vector<std::uint32_t>& children) {
    forgetPathCounts(path);
    const std::uint32_t addr = path[level].addr;
    const bool isRoot = level == 0;
    const int n = static_cast<int>(recnos.size());
    const int maxKeys = maxBranchKeys(fmt_.keyLen);
    auto write = [&](Page* p, std::uint8_t type, int from, int to) {
        std::memset(p->data, 0, kPageSize);
        p->data[0] = type;
        p->data[1] = kBranchRecNoLen;
        putU16LE(p->data + 2, static_cast<std::uint16_t>(to - from));
        putU32LE(p->data + 4, children[static_cast<std::size_t>(from)]);
        for (int i = from; i < to; ++i) {
            putBranchEntry(p->data, fmt_.keyLen, i - from,
                           children[static_cast<std::size_t>(i) + 1],
                           recnos[static_cast<std::size_t>(i)],
                           keys.data() + static_cast<std::size_t>(i) * fmt_.keyLen);
        }
        file_.cache().markDirty(p);
    };
    if (n <= maxKeys) {
        write(file_.page(addr), isRoot ? kTypeRootBranch : kTypeBranch, 0, n);
        return;
    }
    // About half of the keys stay, the middle one moves up.
    std::vector<std::pair<int, int>> pieces;
    int start = 0;
    while (n - start > maxKeys) {
        const int left = std::min(maxKeys, (n - start) / 2);
        pieces.push_back({start, start + left});
        start += left + 1;
    }
    pieces.push_back({start, n});
    std::vector<std::uint8_t> sepKeys;
    std::vector<std::uint32_t> sepRecnos, rights;
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Page* p = i == 0 ? file_.page(addr) : file_.allocPage();
        write(p, kTypeBranch, pieces[i].first, pieces[i].second);
        if (i > 0) {
            const int sep = pieces[i].first - 1;
            sepKeys.insert(sepKeys.end(), keys.begin() + static_cast<std::ptrdiff_t>(sep * kl),
                           keys.begin() + static_cast<std::ptrdiff_t>((sep + 1) * kl));
            sepRecnos.push_back(recnos[static_cast<std::size_t>(sep)]);
            rights.push_back(p->addr);
        }
    }
    if (isRoot) {
        Page* r = file_.allocPage();
        r->data[0] = kTypeRootBranch;
        r->data[1] = kBranchRecNoLen;
        putU32LE(r->data + 4, addr);
        path.insert(path.begin(), Frame{r->addr, 0});
        setRoot(r->addr);
        insertSeparators(path, 0, sepKeys, sepRecnos, rights);
    } else {
        insertSeparators(path, level - 1, sepKeys, sepRecnos, rights);
    }
}

bool NsxTag::remove(std::string_view key, std::uint32_t recno) {
    file_.requireWritable();
    NsxFile::ChangeGuard guard(file_);
    fillKey(key);
    const std::uint8_t* kb = reinterpret_cast<const std::uint8_t*>(key_.data());
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    const Target t{Target::Entry, kb, fmt_.keyLen, recno};
    std::vector<Frame>& path = path_;
    Slot s;
    descend(t, path, s);
    if (s.hasCur) {
        if (s.curRec != recno || std::memcmp(s.cur, kb, kl) != 0) return false;
        const std::uint32_t leafAddr = path.back().addr;
        PageRef p = treePage(leafAddr);
        std::uint8_t* d = p.data();
        if (s.n >= 2) {
            // In place: drop the entry and re-encode its successor against
            // its new predecessor.
            int b = 0;
            std::uint8_t buf[kMaxEntrySize + 8];
            int cutEnd = s.off + s.size;
            if (s.hasNext) {
                b = encodeLeafEntry(buf, fmt_, s.recLen, s.nextRec, s.next,
                                    s.hasPrev ? s.prev : nullptr);
                cutEnd = s.nextOff + s.nextSize;
            }
            const int newUsed = s.used - (cutEnd - s.off) + b;
            if (newUsed <= kPageSize && cutEnd <= s.used) {
                std::memmove(d + s.off + b, d + cutEnd, static_cast<std::size_t>(s.used - cutEnd));
                std::memcpy(d + s.off, buf, static_cast<std::size_t>(b));
                putU16LE(d + 2, static_cast<std::uint16_t>(s.n - 1));
                putU16LE(d + 4, static_cast<std::uint16_t>(newUsed));
                if (p->index && p->index->valid)
                    p->index->shift(s.idx, -1, newUsed - s.used, s.off, fmt_.keyLen);
                file_.cache().markDirtyKeepIndex(p.get());
                for (const Frame& f : path) {
                    const std::uint32_t c = file_.knownCount(f.addr);
                    if (c != NsxFile::kUnknownCount) file_.setCount(f.addr, c - 1);
                }
            } else {
                std::vector<std::uint8_t> keys;
                std::vector<std::uint32_t> recnos;
                decodeLeaf(d, leafAddr, s.hasPred ? s.pred : nullptr, keys, recnos);
                keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(s.idx * kl),
                           keys.begin() + static_cast<std::ptrdiff_t>((s.idx + 1) * kl));
                recnos.erase(recnos.begin() + s.idx);
                p.reset();
                storeLeaf(path, path.size() - 1, keys, recnos, s.recLen);
            }
        } else if (path.size() == 1) {
            putLeafHeader(d, kTypeRootLeaf, 2, 0, kLeafHeader);
            file_.cache().markDirty(p.get());
            file_.setCount(leafAddr, 0);
        } else {
            p.reset();
            emptyLeaf(path);
        }
        ++mods_;
        return true;
    }
    // The first entry not before the target is a branch key above the leaf.
    for (std::size_t l = path.size() - 1; l-- > 0;) {
        PageRef p = treePage(path[l].addr);
        const BranchView b{p.data(), fmt_.keyLen};
        const int i = path[l].idx;
        if (i < b.count()) {
            if (b.recno(i) != recno || std::memcmp(b.key(i), kb, kl) != 0) return false;
            p.reset();
            path.resize(l + 1);
            removeBranchKey(path, l, i);
            ++mods_;
            return true;
        }
    }
    return false;
}

void NsxTag::removeBranchKey(std::vector<Frame>& path, std::size_t level, int keyIdx) {
    // The key is replaced by its in-order successor, the first entry of the
    // leftmost leaf right of it, which then leaves that leaf.
    forgetPathCounts(path);
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    std::uint8_t oldKey[kMaxKeyLen];
    std::uint32_t addr;
    {
        PageRef p = treePage(path[level].addr);
        const BranchView b{p.data(), fmt_.keyLen};
        std::memcpy(oldKey, b.key(keyIdx), kl);
        addr = b.child(keyIdx + 1);
    }
    path[level].idx = keyIdx + 1;
    for (;;) {
        checkDepth(path.size());
        PageRef p = treePage(addr);
        path.push_back({addr, 0});
        if (isLeafType(p.data()[0])) break;
        addr = BranchView{p.data(), fmt_.keyLen}.lower();
    }
    std::vector<std::uint8_t> keys;
    std::vector<std::uint32_t> recnos;
    int recLen;
    {
        PageRef leaf = treePage(addr);
        recLen = leaf.data()[1];
        decodeLeaf(leaf.data(), addr, oldKey, keys, recnos);
    }
    if (recnos.empty())
        file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ + ") ist ein leeres Blatt",
                      addr);
    {
        Page* bp = file_.page(path[level].addr);
        std::uint8_t* e = bp->data + kBranchHeader + keyIdx * (fmt_.keyLen + 8);
        putU32LE(e + 4, recnos[0]);
        std::memcpy(e + 8, keys.data(), kl);
        file_.cache().markDirty(bp);
    }
    forgetPathCounts(path);
    if (recnos.size() == 1) {
        emptyLeaf(path);
        return;
    }
    keys.erase(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(kl));
    recnos.erase(recnos.begin());
    storeLeaf(path, path.size() - 1, keys, recnos, std::max(recLen, 2));
}

void NsxTag::emptyLeaf(std::vector<Frame>& path) {
    // The leaf at the end of the path loses its only entry. It is freed with
    // every ancestor left without keys; in the first ancestor that keeps keys
    // one separator moves down into a neighbouring leaf.
    forgetPathCounts(path);
    file_.freePage(path.back().addr);
    path.pop_back();
    for (;;) {
        const std::size_t level = path.size() - 1;
        PageRef p = treePage(path[level].addr);
        if (BranchView{p.data(), fmt_.keyLen}.count() > 0) break;
        if (level == 0) {
            putLeafHeader(p.data(), kTypeRootLeaf, 2, 0, kLeafHeader);
            std::memset(p.data() + kLeafHeader, 0, kPageSize - kLeafHeader);
            file_.cache().markDirty(p.get());
            file_.setCount(path[0].addr, 0);
            return;
        }
        p.reset();
        file_.freePage(path[level].addr);
        path.pop_back();
    }
    const std::size_t level = path.size() - 1;
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    std::vector<std::uint8_t> keys;
    std::vector<std::uint32_t> recnos, children;
    {
        PageRef p = treePage(path[level].addr);
        readBranch(p.data(), keys, recnos, children);
    }
    const int c = path[level].idx;
    std::uint8_t moved[kMaxKeyLen];
    std::uint32_t movedRec;
    const bool toFront = c == 0;
    const std::size_t ki = toFront ? 0 : static_cast<std::size_t>(c - 1);
    std::memcpy(moved, keys.data() + ki * kl, kl);
    movedRec = recnos[ki];
    keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(ki * kl),
               keys.begin() + static_cast<std::ptrdiff_t>((ki + 1) * kl));
    recnos.erase(recnos.begin() + static_cast<std::ptrdiff_t>(ki));
    children.erase(children.begin() + (toFront ? 0 : c));
    storeBranch(path, level, keys, recnos, children);  // fewer keys: never splits

    // Down to the neighbouring leaf, keeping the key left of it for decoding.
    std::uint8_t pred[kMaxKeyLen];
    bool hasPred = false;
    std::uint32_t addr;
    if (toFront) {
        path[level].idx = 0;
        addr = children[0];
        std::memcpy(pred, moved, kl);  // it preceded that leaf until now
        hasPred = true;
    } else {
        path[level].idx = c - 1;
        addr = children[static_cast<std::size_t>(c - 1)];
        if (c - 1 > 0) {
            std::memcpy(pred, keys.data() + static_cast<std::size_t>(c - 2) * kl, kl);
            hasPred = true;
        } else {
            predecessorOf(path, level, pred, hasPred);
        }
    }
    for (;;) {
        checkDepth(path.size());
        PageRef p = treePage(addr);
        if (isLeafType(p.data()[0])) {
            path.push_back({addr, 0});
            break;
        }
        const BranchView b{p.data(), fmt_.keyLen};
        const int n = b.count();
        const int idx = toFront ? 0 : n;
        if (!toFront && n > 0) {
            std::memcpy(pred, b.key(n - 1), kl);
            hasPred = true;
        }
        path.push_back({addr, idx});
        addr = b.child(idx);
    }
    int recLen;
    {
        PageRef leaf = treePage(addr);
        recLen = leaf.data()[1];
        decodeLeaf(leaf.data(), addr, hasPred ? pred : nullptr, keys, recnos);
    }
    if (recnos.empty())
        file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ + ") ist ein leeres Blatt",
                      addr);
    const std::size_t at = toFront ? 0 : recnos.size();
    keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at * kl), moved, moved + kl);
    recnos.insert(recnos.begin() + static_cast<std::ptrdiff_t>(at), movedRec);
    path.back().idx = static_cast<int>(at);
    storeLeaf(path, path.size() - 1, keys, recnos, std::max(recLen, recNoLenFor(movedRec)));
    collapseRoot();
}

void NsxTag::collapseRoot() {
    for (int guard = 0; guard < kMaxDepth; ++guard) {
        PageRef p = treePage(root_);
        const BranchView b{p.data(), fmt_.keyLen};
        if (!isBranchType(p.data()[0]) || b.count() > 0) return;
        const std::uint32_t old = root_;
        const std::uint32_t lower = b.lower();
        p.reset();
        PageRef nr = treePage(lower);
        nr.data()[0] = isLeafType(nr.data()[0]) ? kTypeRootLeaf : kTypeRootBranch;
        file_.cache().markDirty(nr.get());
        nr.reset();
        setRoot(lower);
        file_.freePage(old);
    }
}

void NsxTag::freeSubtree(std::uint32_t addr, int depth) {
    checkDepth(static_cast<std::size_t>(depth));
    std::vector<std::uint32_t> children;
    {
        PageRef p = treePage(addr);
        if (isBranchType(p.data()[0])) {
            const BranchView b{p.data(), fmt_.keyLen};
            for (int c = 0; c <= b.count(); ++c)
                children.push_back(b.child(c));
        }
    }
    for (std::uint32_t c : children)
        freeSubtree(c, depth + 1);
    file_.freePage(addr);
}

void NsxTag::clearEntries() {
    file_.requireWritable();
    NsxFile::ChangeGuard guard(file_);
    freeSubtree(root_, 0);
    Page* r = file_.allocPage();
    putLeafHeader(r->data, kTypeRootLeaf, 2, 0, kLeafHeader);
    file_.setCount(r->addr, 0);
    setRoot(r->addr);
    ++mods_;
}

}  // namespace xb
