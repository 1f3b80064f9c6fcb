// Many changes of a tag at once (NsxTag::merge) and the direct walk over a
// tag's entries it reads the old tree with (NsxTag::forEachEntry).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "store/xbase/nsx_cache.h"

#include "store/xbase/error.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_tag.h"

namespace xb {

using namespace nsx;

namespace {

// In-order walk of a tree: each branch's children and keys alternate; a
// leaf is decoded against the last key handed out, the key left of it.
class EntryWalk {
  public:
    using Fn = std::function<void(const std::uint8_t*, std::uint32_t)>;
    EntryWalk(NsxTag& tag, const Fn& fn)
        : tag_(tag), fn_(fn), kl_(static_cast<std::size_t>(tag.keyLen())), last_(kl_) {}

    void page(std::uint32_t addr, int depth) {
        if (depth >= kMaxDepth)
            tag_.file().corrupt("der Baum des Tags " + tag_.name() +
                                " ist tiefer als 64 Ebenen oder zyklisch");
        const std::uint8_t* d = fetch(addr);
        pages_.push_back(addr);
        if (isBranchType(d[0])) {
            // A copy: the pages below replace the window.
            const BranchView b{d, tag_.keyLen()};
            const int n = b.count();
            std::vector<std::uint8_t> copy(
                d, d + kBranchHeader + static_cast<std::size_t>(n) * (kl_ + 8));
            const BranchView c{copy.data(), tag_.keyLen()};
            for (int i = 0; i <= n; ++i) {
                page(c.child(i), depth + 1);
                if (i < n) emit(c.key(i), c.recno(i));
            }
            return;
        }
        tag_.decodeLeaf(d, addr, any_ ? last_.data() : nullptr, keys_, recnos_);
        const std::size_t n = recnos_.size();
        for (std::size_t i = 0; i < n; ++i)
            fn_(keys_.data() + i * kl_, recnos_[i]);
        if (n > 0) {
            std::memcpy(last_.data(), keys_.data() + (n - 1) * kl_, kl_);
            any_ = true;
        }
    }

    // Every page met, in the order met.
    const std::vector<std::uint32_t>& pages() const { return pages_; }

  private:
    // The bytes of page `addr`, checked: the cache's copy when it holds the
    // page (it may be newer than the file), else from a window of pages read
    // from the file in one call. A tree built in one go lies in the file in
    // the order this walk visits it, so the window is mostly what comes next.
    // The cache is left as it was: a walk over every page would push out
    // what the seeks need.
    const std::uint8_t* fetch(std::uint32_t addr) {
        NsxFile& f = tag_.file();
        if (!f.validAddress(addr))
            f.corrupt("Tag " + tag_.name() + " verweist auf die ungültige Seite " +
                      std::to_string(addr));
        const std::uint8_t* d;
        if (const Page* p = f.cache().peek(addr)) {
            std::memcpy(one_, p->data, kPageSize);
            d = one_;
        } else {
            if (window_.empty() || addr < windowStart_ || addr >= windowStart_ + window_.size()) {
                const std::uint64_t end = f.cache().fileSize();
                if (addr + std::uint64_t{kPageSize} > end) {
                    d = PageRef(f.cache().get(addr)).data();  // past the end: as a read does
                    std::memcpy(one_, d, kPageSize);
                    tag_.requireTreePage(one_, addr);
                    return one_;
                }
                const std::uint64_t len =
                    std::min<std::uint64_t>(kWindow, (end - addr) / kPageSize * kPageSize);
                window_.resize(static_cast<std::size_t>(len));
                f.cache().readRaw(addr, window_.data(), window_.size());
                windowStart_ = addr;
            }
            d = window_.data() + (addr - windowStart_);
        }
        tag_.requireTreePage(d, addr);
        return d;
    }

    void emit(const std::uint8_t* key, std::uint32_t recno) {
        fn_(key, recno);
        std::memcpy(last_.data(), key, kl_);
        any_ = true;
    }

    NsxTag& tag_;
    const Fn& fn_;
    std::size_t kl_;
    std::vector<std::uint8_t> last_;
    bool any_ = false;
    std::vector<std::uint8_t> keys_;
    std::vector<std::uint32_t> recnos_;
    static constexpr std::size_t kWindow = 256 * kPageSize;
    std::vector<std::uint8_t> window_;
    std::uint32_t windowStart_ = 0;
    std::uint8_t one_[kPageSize];
    std::vector<std::uint32_t> pages_;
};

}  // namespace

void NsxTag::forEachEntry(
    const std::function<void(const std::uint8_t* key, std::uint32_t recno)>& fn) {
    EntryWalk(*this, fn).page(root_, 0);
}

std::uint32_t NsxTag::merge(NsxKeyBatch& removals, NsxKeyBatch& insertions,
                            std::uint32_t recordCount) {
    file_.requireWritable();
    if (unique_ || removals.keyLen() != fmt_.keyLen || insertions.keyLen() != fmt_.keyLen)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Die Änderungen passen nicht zum Tag " + name_, file_.path());
    removals.sort();
    insertions.sort();
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    const auto order = [kl](const std::uint8_t* ka, std::uint32_t ra, const std::uint8_t* kb,
                            std::uint32_t rb) {
        const int c = std::memcmp(ka, kb, kl);
        if (c != 0) return c;
        return ra < rb ? -1 : ra > rb ? 1 : 0;
    };

    const std::size_t nr = removals.size(), ni = insertions.size();
    std::size_t r = 0, i = 0;
    const std::uint32_t widest = std::max(recordCount, insertions.maxRecno());
    TreeAssembler tree(fmt_, false, widest, static_cast<std::size_t>(count()) + ni);
    bool havePrev = false;
    std::vector<std::uint8_t> prevKey(kl);
    std::uint32_t prevRec = 0;
    // Pairs go out in order; an insertion equal to the pair before it is
    // left out (it was there already, or inserted twice).
    const auto put = [&](const std::uint8_t* key, std::uint32_t recno) {
        if (havePrev && order(key, recno, prevKey.data(), prevRec) == 0) return;
        if (recno > widest)
            file_.corrupt("der Tag " + name_ + " nennt den Datensatz " + std::to_string(recno) +
                          " hinter dem Ende der Tabelle");
        tree.add(key, recno);
        std::memcpy(prevKey.data(), key, kl);
        prevRec = recno;
        havePrev = true;
    };
    std::uint32_t missing = 0;
    const EntryWalk::Fn visit = [&](const std::uint8_t* key, std::uint32_t recno) {
        for (; i < ni && order(insertions.key(i), insertions.recno(i), key, recno) < 0; ++i)
            put(insertions.key(i), insertions.recno(i));
        for (; r < nr; ++r) {
            const int c = order(removals.key(r), removals.recno(r), key, recno);
            if (c > 0) break;
            if (c == 0) {
                ++r;
                return;
            }
            if (missing == 0) missing = removals.recno(r);  // passed without meeting it
        }
        put(key, recno);
    };
    EntryWalk walk(*this, visit);
    walk.page(root_, 0);
    if (missing == 0 && r < nr) missing = removals.recno(r);
    if (missing != 0) return missing;
    for (; i < ni; ++i)
        put(insertions.key(i), insertions.recno(i));
    NsxTreeImage img = tree.finish();
    install(img, &walk.pages());
    return 0;
}

}  // namespace xb
