// Changes of a tag's tree: insert, remove, leaf and branch splits, the
// empty-leaf rule and root changes (contracts in nsx_tag.h, the rules in
// nsx_format.md).

#include <algorithm>
#include <memory>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/nsx_tag.h"

namespace xb {

using namespace nsx;

// ---- updates ------------------------------------------------------------------------

void NsxTag::keepLeafIndex(Page* p, int idx, int dir, int delta, int changedOffset) {
    if (p->index.usableBy(this)) {
        p->index.shift(idx, dir, delta, changedOffset);
        file_.cache().markDirtyKeepIndex(p);
    } else {
        file_.cache().markDirty(p);
    }
}

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
            keepLeafIndex(p.get(), s.idx, +1, newUsed - s.used, s.off + a);
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
        LeafIndex& ix = p->index;
        ix.reset(fmt_.keyLen);
        for (int i = from; i < to; i += LeafIndex::kStep) {
            ix.add(i - from,
                   i == from ? kLeafHeader
                             : kLeafHeader + (off - kLeafHeader) -
                                   (offs[static_cast<std::size_t>(to)] -
                                    offs[static_cast<std::size_t>(i)]),
                   recnos[static_cast<std::size_t>(i)],
                   keys.data() + static_cast<std::size_t>(i) * kl);
        }
        ix.owner = this;
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
    hangPieces(path, level, addr, isRoot, sepKeys, sepRecnos, rights);
}

void NsxTag::hangPieces(std::vector<Frame>& path, std::size_t level, std::uint32_t addr,
                        bool isRoot, const std::vector<std::uint8_t>& sepKeys,
                        const std::vector<std::uint32_t>& sepRecnos,
                        const std::vector<std::uint32_t>& rightPages) {
    if (isRoot) {
        Page* r = file_.allocPage();
        r->data[0] = kTypeRootBranch;
        r->data[1] = kBranchRecNoLen;
        putU32LE(r->data + 4, addr);
        path.insert(path.begin(), Frame{r->addr, 0});
        setRoot(r->addr);
        insertSeparators(path, 0, sepKeys, sepRecnos, rightPages);
    } else {
        insertSeparators(path, level - 1, sepKeys, sepRecnos, rightPages);
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
    hangPieces(path, level, addr, isRoot, sepKeys, sepRecnos, rights);
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
                keepLeafIndex(p.get(), s.idx, -1, newUsed - s.used, s.off);
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
    if (takeFirstInPlace(path, level, keyIdx, oldKey)) return;
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

bool NsxTag::takeFirstInPlace(std::vector<Frame>& path, std::size_t level, int keyIdx,
                              const std::uint8_t* oldKey) {
    // Runs of removals in key order (a whole key range released) meet the
    // same branch key again and again; moving the successor up must not cost
    // a rewrite of its leaf each time. Only the leaf's first two entries are
    // decoded: the first goes up, the second is encoded again without
    // reference. Anything unusual is left to the general path.
    const std::uint32_t addr = path.back().addr;
    PageRef leaf = treePage(addr);
    std::uint8_t* d = leaf.data();
    LeafDecoder dec(d, fmt_, oldKey);
    const int n = dec.count();
    if (n < 2 || !dec.next()) return false;
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    std::uint8_t first[kMaxKeyLen];
    std::memcpy(first, dec.key(), kl);
    const std::uint32_t firstRec = dec.recno();
    if (!dec.next()) return false;
    const int recLen = dec.recLen();
    const int used = dec.used();
    const int cutEnd = dec.end();
    std::uint8_t buf[kMaxEntrySize + 8];
    const int b = encodeLeafEntry(buf, fmt_, recLen, dec.recno(), dec.key(), nullptr);
    const int newUsed = used - (cutEnd - kLeafHeader) + b;
    if (newUsed > kPageSize || cutEnd > used) return false;
    std::memmove(d + kLeafHeader + b, d + cutEnd, static_cast<std::size_t>(used - cutEnd));
    std::memcpy(d + kLeafHeader, buf, static_cast<std::size_t>(b));
    putU16LE(d + 2, static_cast<std::uint16_t>(n - 1));
    putU16LE(d + 4, static_cast<std::uint16_t>(newUsed));
    keepLeafIndex(leaf.get(), 0, -1, newUsed - used, kLeafHeader);
    leaf.reset();
    {
        Page* bp = file_.page(path[level].addr);
        std::uint8_t* e = bp->data + kBranchHeader + keyIdx * (fmt_.keyLen + 8);
        putU32LE(e + 4, firstRec);
        std::memcpy(e + 8, first, kl);
        file_.cache().markDirty(bp);
    }
    // Every page on the path held the removed entry in its subtree; the
    // successor only moved up inside the upper part of it.
    for (const Frame& f : path) {
        const std::uint32_t c = file_.knownCount(f.addr);
        if (c != NsxFile::kUnknownCount) file_.setCount(f.addr, c - 1);
    }
    return true;
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
            depth_ = 0;
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
