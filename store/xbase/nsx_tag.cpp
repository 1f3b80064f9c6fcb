#include "store/xbase/nsx_tag.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/nsx_cursor.h"

namespace xb {

using namespace nsx;

NsxTag::NsxTag(NsxFile& file, std::uint32_t header) : file_(file), header_(header) {}

NsxKeyType NsxTag::keyType() const {
    return static_cast<NsxKeyType>(keyType_);
}

NsxTagDef NsxTag::definition() const {
    NsxTagDef s;
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

namespace {

// What is wrong with a tree page's header, or nullptr.
const char* treePageFault(const std::uint8_t* d, int keyLen) {
    const std::uint8_t t = d[0];
    if (isBranchType(t)) {
        if (getU16LE(d + 2) > maxBranchKeys(keyLen)) return " hat eine unmögliche Schlüsselanzahl";
    } else if (isLeafType(t)) {
        const int used = getU16LE(d + 4);
        if (used < kLeafHeader || used > kPageSize)
            return " hat einen unmöglichen belegten Bereich";
        if (d[1] < 1 || d[1] > 4) return " hat eine ungültige Breite der Satznummern";
    } else {
        return " hat einen unbekannten Seitentyp";
    }
    return nullptr;
}

// Counting a subtree for the first time touches each of its pages once.
// Pages that are not in the cache are read from the file in runs of
// kCountRun bytes: copying tens of thousands of leaves into the cache only
// to read their entry counts would cost many times the count itself, and
// touching them through a mapping costs a page fault each. The leaves of a
// subtree mostly lie side by side, so one read serves many. A resident page
// may hold changes not yet written, so the cache stays the source for those.
class CountPages {
  public:
    explicit CountPages(NsxTag& tag) : tag_(tag), fileEnd_(tag.file().cache().fileSize()) {}

    std::uint64_t count(std::uint32_t addr, int depth) {
        NsxFile& file = tag_.file();
        const std::uint32_t known = file.knownCount(addr);
        if (known != NsxFile::kUnknownCount) return known;
        if (depth >= kMaxDepth)
            file.corrupt("der Baum des Tags " + tag_.name() +
                         " ist tiefer als 64 Ebenen oder zyklisch");
        PageRef pinned;
        const std::uint8_t* d = fromFile(addr);
        if (!d) {
            pinned = tag_.treePage(addr);
            d = pinned.data();
        }
        std::uint64_t total = getU16LE(d + 2);
        if (isBranchType(d[0])) {
            const int keyLen = tag_.format().keyLen;
            const int n = BranchView{d, keyLen}.count();
            // The children's addresses first: counting them may evict the
            // page under `d` from the cache.
            std::vector<std::uint32_t> children(static_cast<std::size_t>(n) + 1);
            for (int c = 0; c <= n; ++c)
                children[static_cast<std::size_t>(c)] = BranchView{d, keyLen}.child(c);
            pinned.reset();
            for (const std::uint32_t child : children)
                total += count(child, depth + 1);
        } else if (total == 0 && addr != tag_.rootAddr()) {
            file.corrupt(
                "Seite " + std::to_string(addr) + " (Tag " + tag_.name() + ") ist ein leeres Blatt",
                addr);
        }
        if (total >= file.entryCap() || total >= NsxFile::kUnknownCount)
            file.corrupt("Seiten des Tags " + tag_.name() + " werden mehrfach verwendet", addr);
        file.setCount(addr, static_cast<std::uint32_t>(total));
        return total;
    }

  private:
    static constexpr std::uint64_t kCountRun = 32 * 1024;

    // The page's bytes as the file holds them, checked as treePage() checks
    // them; nullptr when the page is to come from the cache.
    const std::uint8_t* fromFile(std::uint32_t addr) {
        NsxFile& file = tag_.file();
        if (!file.validAddress(addr) || std::uint64_t{addr} + kPageSize > fileEnd_ ||
            file.cache().peek(addr))
            return nullptr;
        if (addr < runAt_ || std::uint64_t{addr} + kPageSize > runAt_ + run_.size()) {
            run_.resize(static_cast<std::size_t>(std::min(kCountRun, fileEnd_ - addr)));
            file.cache().file().readExact(addr, run_.data(), run_.size(), "eine Indexseite");
            runAt_ = addr;
        }
        const std::uint8_t* d = run_.data() + (addr - runAt_);
        if (const char* why = treePageFault(d, tag_.format().keyLen))
            file.corrupt("Seite " + std::to_string(addr) + " (Tag " + tag_.name() + ")" + why,
                         addr);
        return d;
    }

    NsxTag& tag_;
    std::uint64_t fileEnd_;
    std::vector<std::uint8_t> run_;  // file bytes from runAt_ on
    std::uint64_t runAt_ = 0;
};

}  // namespace

PageRef NsxTag::treePage(std::uint32_t addr) {
    if (!file_.validAddress(addr)) {
        file_.corrupt("Tag " + name_ + " verweist auf die ungültige Seite " + std::to_string(addr));
    }
    PageRef p(file_.cache().get(addr));
    if (const char* why = treePageFault(p.data(), fmt_.keyLen))
        file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ + ")" + why, addr);
    return p;
}

void NsxTag::requireTreePage(const std::uint8_t* d, std::uint32_t addr) const {
    if (const char* why = treePageFault(d, fmt_.keyLen))
        file_.corrupt("Seite " + std::to_string(addr) + " (Tag " + name_ + ")" + why, addr);
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
    LeafIndex& ix = page->index;
    if (ix.usableBy(this)) return ix;
    ix.valid = false;
    ix.reset(fmt_.keyLen);
    LeafDecoder dec(page->data, fmt_, pred);
    while (dec.next()) {
        if (dec.index() % LeafIndex::kStep != 0) continue;
        ix.add(dec.index(), dec.offset(), dec.recno(), dec.key());
    }
    if (dec.error() || dec.index() + 1 != dec.count()) {
        file_.corrupt("Seite " + std::to_string(page->addr) + " (Tag " + name_ +
                          "): " + (dec.error() ? dec.error() : "weniger Einträge als angegeben"),
                      page->addr);
    }
    ix.owner = this;
    ix.valid = true;
    return ix;
}

int NsxTag::restartBefore(const LeafIndex& ix, const Target& t) const {
    int lo = 0, hi = ix.count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (t.before(ix.key(mid), ix.recno(mid), fmt_.keyLen)) {
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
    dec.resume(ix.entry(r), ix.offset(r), ix.key(r), ix.recno(r));
    return ix.entry(r) + 1;
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
    depth_ = 0;
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
    s.reset();
    std::uint32_t addr = root_;
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    for (std::size_t depth = 0;; ++depth) {
        checkDepth(depth);
        PageRef p = treePage(addr);
        const std::uint8_t* d = p.data();
        if (isBranchType(d[0])) {
            const BranchView b{d, fmt_.keyLen};
            const int lo = t.childIn(b);
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
    return CountPages(*this).count(addr, depth);
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
            const int lo = t.childIn(b);
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
    if (depth_ > 0) return depth_;
    std::uint32_t addr = root_;
    for (int d = 1;; ++d) {
        checkDepth(static_cast<std::size_t>(d));
        PageRef p = treePage(addr);
        if (isLeafType(p.data()[0])) {
            depth_ = d;
            return d;
        }
        addr = BranchView{p.data(), fmt_.keyLen}.lower();
    }
}

}  // namespace xb
