#include "store/xbase/nsx_cursor.h"

#include <algorithm>

namespace xb {

using namespace nsx;

NsxCursor::NsxCursor(NsxTag& tag) : tag_(&tag), seenMods_(tag.modCount()) {}

bool NsxCursor::valid() {
    if (state_ == State::OnEntry && changed()) refind();
    return state_ == State::OnEntry;
}

void NsxCursor::loadLeaf(std::uint32_t addr, const std::uint8_t* pred) {
    {
        PageRef p = tag_->treePage(addr);
        std::memcpy(leafPage_, p.data(), kPageSize);
    }
    leafAddr_ = addr;
    dec_.emplace(leafPage_, tag_->format(), pred);
    if (dec_->error())
        tag_->file().corrupt(
            "Seite " + std::to_string(addr) + " (Tag " + tag_->name() + "): " + dec_->error(),
            addr);
    leafN_ = dec_->count();
    base_ = 0;
    decoded_ = 0;
    hasPred_ = pred != nullptr;
    if (pred) std::memcpy(pred_, pred, static_cast<std::size_t>(tag_->keyLen()));
    const std::size_t kl = static_cast<std::size_t>(tag_->keyLen());
    leafKeys_.resize(static_cast<std::size_t>(leafN_) * kl);
    leafRecnos_.resize(static_cast<std::size_t>(leafN_));
    if (leafN_ == 0 && !frames_.empty()) {
        tag_->file().corrupt(
            "Seite " + std::to_string(addr) + " (Tag " + tag_->name() + ") ist ein leeres Blatt",
            addr);
    }
}

bool NsxCursor::resumeAt(const LeafIndex& ix, int r) {
    const std::size_t kl = static_cast<std::size_t>(tag_->keyLen());
    const int e = ix.entry(r);
    if (e < 0 || e >= leafN_) return false;  // not this page's index; decode from the start
    std::memcpy(leafKeys_.data() + static_cast<std::size_t>(e) * kl, ix.key(r), kl);
    leafRecnos_[static_cast<std::size_t>(e)] = ix.recno(r);
    dec_->resume(e, ix.offset(r), ix.key(r), ix.recno(r));
    base_ = e;
    decoded_ = e + 1;
    return true;
}

void NsxCursor::decodeUpTo(int idx) {
    const std::size_t kl = static_cast<std::size_t>(tag_->keyLen());
    auto fail = [&](const LeafDecoder& d) {
        tag_->file().corrupt("Seite " + std::to_string(leafAddr_) + " (Tag " + tag_->name() +
                                 "): " + (d.error() ? d.error() : "weniger Einträge als angegeben"),
                             leafAddr_);
    };
    if (idx < base_) {
        // Entries before the restart point the search started from.
        LeafDecoder from0(leafPage_, tag_->format(), hasPred_ ? pred_ : nullptr);
        for (int i = 0; i < base_; ++i) {
            if (!from0.nextInto(leafKeys_.data() + static_cast<std::size_t>(i) * kl)) fail(from0);
            leafRecnos_[static_cast<std::size_t>(i)] = from0.recno();
        }
        base_ = 0;
    }
    while (decoded_ <= idx) {
        if (!dec_->nextInto(leafKeys_.data() + static_cast<std::size_t>(decoded_) * kl))
            fail(*dec_);
        leafRecnos_[static_cast<std::size_t>(decoded_)] = dec_->recno();
        ++decoded_;
    }
}

void NsxCursor::standOnLeafEntry(int idx) {
    decodeUpTo(idx);
    const std::size_t kl = static_cast<std::size_t>(tag_->keyLen());
    frames_.back().idx = idx;
    onBranch_ = false;
    key_.assign(
        reinterpret_cast<const char*>(leafKeys_.data()) + static_cast<std::size_t>(idx) * kl, kl);
    recno_ = leafRecnos_[static_cast<std::size_t>(idx)];
    state_ = State::OnEntry;
}

void NsxCursor::standOnBranchKey(std::uint32_t addr, int i) {
    PageRef p = tag_->treePage(addr);
    const BranchView b{p.data(), tag_->keyLen()};
    frames_.back().idx = i;
    onBranch_ = true;
    key_.assign(reinterpret_cast<const char*>(b.key(i)), static_cast<std::size_t>(tag_->keyLen()));
    recno_ = b.recno(i);
    state_ = State::OnEntry;
}

void NsxCursor::descendEdge(std::uint32_t addr, bool leftmost, const std::uint8_t* pred) {
    const std::size_t kl = static_cast<std::size_t>(tag_->keyLen());
    std::uint8_t buf[kMaxKeyLen];
    if (pred) {
        std::memcpy(buf, pred, kl);
        pred = buf;
    }
    for (;;) {
        if (frames_.size() >= static_cast<std::size_t>(kMaxDepth))
            tag_->file().corrupt("der Baum des Tags " + tag_->name() +
                                 " ist tiefer als 64 Ebenen oder zyklisch");
        PageRef p = tag_->treePage(addr);
        if (isBranchType(p.data()[0])) {
            const BranchView b{p.data(), tag_->keyLen()};
            const int c = leftmost ? 0 : b.count();
            if (!leftmost && c > 0) {
                std::memcpy(buf, b.key(c - 1), kl);
                pred = buf;
            }
            frames_.push_back({addr, c});
            addr = b.child(c);
            continue;
        }
        p.reset();
        loadLeaf(addr, pred);
        frames_.push_back({addr, 0});
        if (leafN_ == 0) {  // the empty root leaf of an empty tag
            frames_.clear();
            state_ = leftmost ? State::Eof : State::Bof;
            return;
        }
        standOnLeafEntry(leftmost ? 0 : leafN_ - 1);
        return;
    }
}

bool NsxCursor::first() {
    seenMods_ = tag_->modCount();
    frames_.clear();
    descendEdge(tag_->rootAddr(), true, nullptr);
    if (state_ != State::OnEntry) state_ = State::Eof;
    return state_ == State::OnEntry;
}

bool NsxCursor::last() {
    seenMods_ = tag_->modCount();
    frames_.clear();
    descendEdge(tag_->rootAddr(), false, nullptr);
    if (state_ != State::OnEntry) state_ = State::Eof;
    return state_ == State::OnEntry;
}

void NsxCursor::ascendForward() {
    // Past the end of the current leaf: the next entry is the first branch
    // key above with a key right of the path.
    frames_.pop_back();
    while (!frames_.empty()) {
        const Frame f = frames_.back();
        PageRef p = tag_->treePage(f.addr);
        if (f.idx < BranchView{p.data(), tag_->keyLen()}.count()) {
            p.reset();
            standOnBranchKey(f.addr, f.idx);
            return;
        }
        frames_.pop_back();
    }
    state_ = State::Eof;
}

void NsxCursor::ascendBackward() {
    frames_.pop_back();
    while (!frames_.empty()) {
        const Frame f = frames_.back();
        if (f.idx > 0) {
            standOnBranchKey(f.addr, f.idx - 1);
            return;
        }
        frames_.pop_back();
    }
    state_ = State::Bof;
}

bool NsxCursor::predOfFrames(std::size_t upTo, std::uint8_t* out) {
    for (std::size_t l = upTo; l-- > 0;) {
        if (frames_[l].idx > 0) {
            PageRef p = tag_->treePage(frames_[l].addr);
            const BranchView b{p.data(), tag_->keyLen()};
            if (frames_[l].idx - 1 >= b.count())
                tag_->file().corrupt("der Baum des Tags " + tag_->name() + " hat sich verändert");
            std::memcpy(out, b.key(frames_[l].idx - 1), static_cast<std::size_t>(tag_->keyLen()));
            return true;
        }
    }
    return false;
}

void NsxCursor::land(const Target& t) {
    seenMods_ = tag_->modCount();
    frames_.clear();
    const std::size_t kl = static_cast<std::size_t>(tag_->keyLen());
    std::uint8_t pred[kMaxKeyLen];
    bool hasPred = false;
    std::uint32_t addr = tag_->rootAddr();
    for (;;) {
        if (frames_.size() >= static_cast<std::size_t>(kMaxDepth))
            tag_->file().corrupt("der Baum des Tags " + tag_->name() +
                                 " ist tiefer als 64 Ebenen oder zyklisch");
        PageRef p = tag_->treePage(addr);
        if (isBranchType(p.data()[0])) {
            const BranchView b{p.data(), tag_->keyLen()};
            const int lo = t.childIn(b);
            if (lo > 0) {
                std::memcpy(pred, b.key(lo - 1), kl);
                hasPred = true;
            }
            frames_.push_back({addr, lo});
            addr = b.child(lo);
            continue;
        }
        const LeafIndex& ix = tag_->leafIndex(p.get(), hasPred ? pred : nullptr);
        const int r = tag_->restartBefore(ix, t);
        loadLeaf(addr, hasPred ? pred : nullptr);
        int lo = 0;
        if (r >= 0 && resumeAt(ix, r)) lo = base_ + 1;
        p.reset();
        frames_.push_back({addr, 0});
        for (; lo < leafN_; ++lo) {
            decodeUpTo(lo);
            if (!t.before(leafKeys_.data() + static_cast<std::size_t>(lo) * kl,
                          leafRecnos_[static_cast<std::size_t>(lo)], tag_->keyLen()))
                break;
        }
        if (lo < leafN_) {
            standOnLeafEntry(lo);
        } else {
            ascendForward();
        }
        return;
    }
}

bool NsxCursor::seek(std::string_view value) {
    const int len = static_cast<int>(std::min<std::size_t>(value.size(), tag_->keyLen()));
    const Target t{Target::PrefixBelow, reinterpret_cast<const std::uint8_t*>(value.data()), len,
                   0};
    land(t);
    return state_ == State::OnEntry &&
           std::memcmp(key_.data(), value.data(), static_cast<std::size_t>(len)) == 0;
}

bool NsxCursor::seekLast(std::string_view value) {
    const int len = static_cast<int>(std::min<std::size_t>(value.size(), tag_->keyLen()));
    const Target t{Target::PrefixUpTo, reinterpret_cast<const std::uint8_t*>(value.data()), len, 0};
    land(t);
    if (state_ == State::Eof) return last();
    return prev();
}

bool NsxCursor::seekEntry(std::string_view key, std::uint32_t recno) {
    const std::string k = tag_->makeKey(key);
    const Target t{Target::Entry, reinterpret_cast<const std::uint8_t*>(k.data()), tag_->keyLen(),
                   recno};
    land(t);
    return state_ == State::OnEntry && recno_ == recno && key_ == k;
}

bool NsxCursor::refind() {
    const std::string k = key_;
    const std::uint32_t r = recno_;
    return seekEntry(k, r);
}

bool NsxCursor::next() {
    if (state_ == State::OnEntry && changed()) {
        if (!refind()) return state_ == State::OnEntry;  // already on the successor
    }
    switch (state_) {
        case State::Eof:
            return false;
        case State::Bof:
        case State::Nowhere:
            return first();
        case State::OnEntry:
            break;
    }
    if (onBranch_) {
        Frame& top = frames_.back();
        std::uint8_t pred[kMaxKeyLen];
        std::uint32_t child;
        {
            PageRef p = tag_->treePage(top.addr);
            const BranchView b{p.data(), tag_->keyLen()};
            std::memcpy(pred, b.key(top.idx), static_cast<std::size_t>(tag_->keyLen()));
            child = b.child(top.idx + 1);
        }
        top.idx += 1;
        descendEdge(child, true, pred);
        if (state_ != State::OnEntry)
            tag_->file().corrupt("der Baum des Tags " + tag_->name() + " enthält ein leeres Blatt");
        return true;
    }
    const int idx = frames_.back().idx;
    if (idx + 1 < leafN_) {
        standOnLeafEntry(idx + 1);
    } else {
        ascendForward();
    }
    return state_ == State::OnEntry;
}

bool NsxCursor::prev() {
    if (state_ == State::OnEntry && changed()) {
        refind();
        if (state_ == State::Eof) return last();
    }
    switch (state_) {
        case State::Bof:
            return false;
        case State::Eof:
        case State::Nowhere:
            return last();
        case State::OnEntry:
            break;
    }
    if (onBranch_) {
        Frame& top = frames_.back();
        std::uint32_t child;
        {
            PageRef p = tag_->treePage(top.addr);
            child = BranchView{p.data(), tag_->keyLen()}.child(top.idx);
        }
        // top.idx is now the child number of the subtree left of the key.
        std::uint8_t pred[kMaxKeyLen];
        const bool hasPred = predOfFrames(frames_.size(), pred);
        descendEdge(child, false, hasPred ? pred : nullptr);
        if (state_ != State::OnEntry)
            tag_->file().corrupt("der Baum des Tags " + tag_->name() + " enthält ein leeres Blatt");
        return true;
    }
    const int idx = frames_.back().idx;
    if (idx > 0) {
        standOnLeafEntry(idx - 1);
    } else {
        ascendBackward();
    }
    return state_ == State::OnEntry;
}

std::uint64_t NsxCursor::position() {
    if (!valid()) return 0;
    std::uint64_t total = 0;
    const int kl = tag_->keyLen();
    for (std::size_t l = 0; l + 1 < frames_.size(); ++l) {
        PageRef p = tag_->treePage(frames_[l].addr);
        const BranchView b{p.data(), kl};
        const int c = frames_[l].idx;
        for (int j = 0; j < c; ++j)
            total += tag_->subtreeCount(b.child(j));
        total += static_cast<std::uint64_t>(c);
    }
    const Frame& top = frames_.back();
    if (onBranch_) {
        PageRef p = tag_->treePage(top.addr);
        const BranchView b{p.data(), kl};
        for (int j = 0; j <= top.idx; ++j)
            total += tag_->subtreeCount(b.child(j));
        total += static_cast<std::uint64_t>(top.idx);
    } else {
        total += static_cast<std::uint64_t>(top.idx);
    }
    return total + 1;
}

std::uint64_t NsxCursor::leastEntries(std::uint32_t addr) {
    const std::uint32_t known = tag_->file().knownCount(addr);
    if (known != NsxFile::kUnknownCount) return known;
    PageRef p = tag_->treePage(addr);
    const std::uint64_t n = getU16LE(p.data() + 2);
    return isBranchType(p.data()[0]) ? 2 * n + 1 : n;
}

bool NsxCursor::gotoPosition(std::uint64_t pos) {
    seenMods_ = tag_->modCount();
    frames_.clear();
    if (pos == 0) {
        state_ = State::Bof;
        return false;
    }
    if (pos > tag_->count()) {
        state_ = State::Eof;
        return false;
    }
    std::uint64_t k = pos - 1;
    const std::size_t kl = static_cast<std::size_t>(tag_->keyLen());
    std::uint8_t pred[kMaxKeyLen];
    bool hasPred = false;
    std::uint32_t addr = tag_->rootAddr();
    for (;;) {
        if (frames_.size() >= static_cast<std::size_t>(kMaxDepth))
            tag_->file().corrupt("der Baum des Tags " + tag_->name() +
                                 " ist tiefer als 64 Ebenen oder zyklisch");
        PageRef p = tag_->treePage(addr);
        if (isLeafType(p.data()[0])) {
            p.reset();
            loadLeaf(addr, hasPred ? pred : nullptr);
            frames_.push_back({addr, 0});
            if (k >= static_cast<std::uint64_t>(leafN_))
                tag_->file().corrupt("Seite " + std::to_string(addr) + " (Tag " + tag_->name() +
                                         ") passt nicht zu den Zählern",
                                     addr);
            standOnLeafEntry(static_cast<int>(k));
            return true;
        }
        const BranchView b{p.data(), tag_->keyLen()};
        const int n = b.count();
        bool descended = false;
        for (int c = 0; c <= n; ++c) {
            // A position short of what the child's subtree holds at the
            // least needs no count of it (a branch of m keys holds those and
            // m + 1 subtrees of at least one entry): the first rows of a
            // large tag are found without counting the tree to their right.
            const bool surelyInside = k < leastEntries(b.child(c));
            const std::uint64_t cc = surelyInside ? 0 : tag_->subtreeCount(b.child(c));
            if (surelyInside || k < cc) {
                frames_.push_back({addr, c});
                if (c > 0) {
                    std::memcpy(pred, b.key(c - 1), kl);
                    hasPred = true;
                }
                addr = b.child(c);
                descended = true;
                break;
            }
            k -= cc;
            if (c < n) {
                if (k == 0) {
                    frames_.push_back({addr, c});
                    p.reset();
                    standOnBranchKey(addr, c);
                    return true;
                }
                --k;
            }
        }
        if (!descended)
            tag_->file().corrupt("die Zähler des Tags " + tag_->name() + " stimmen nicht", addr);
    }
}

}  // namespace xb
