#include "store/xbase/tag_order.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace xb {

int comparePrefix(std::string_view key, std::string_view bound) {
    const std::size_t n = std::min(key.size(), bound.size());
    const int c = n == 0 ? 0 : std::memcmp(key.data(), bound.data(), n);
    return c;
}

TagOrder::TagOrder(TagRuntime& rt) : rt_(rt), cur_(*rt.tag), desc_(rt.tag->descending()) {}

// ---- scope ----------------------------------------------------------------------------

void TagOrder::setScope(std::optional<std::string> top, std::optional<std::string> bottom) {
    const auto cut = [this](std::optional<std::string>& b) {
        if (b && b->size() > static_cast<std::size_t>(rt_.keyLen))
            b->resize(static_cast<std::size_t>(rt_.keyLen));
    };
    cut(top);
    cut(bottom);
    top_ = std::move(top);
    bottom_ = std::move(bottom);
    loMods_ = hiMods_ = 0;
}

bool TagOrder::inScope(std::string_view key) const {
    if (top_ && comparePrefix(key, *top_) < 0) return false;
    if (bottom_ && comparePrefix(key, *bottom_) > 0) return false;
    return true;
}

std::pair<std::string, std::uint32_t> TagOrder::lowBound() const {
    return {top_ ? *top_ : std::string(), 0};
}

std::pair<std::string, std::uint32_t> TagOrder::highBound() const {
    std::string k = bottom_ ? *bottom_ : std::string();
    k.resize(static_cast<std::size_t>(rt_.keyLen), '\xff');
    return {k, std::numeric_limits<std::uint32_t>::max()};
}

// ---- moving ---------------------------------------------------------------------------

std::uint32_t TagOrder::here() {
    if (!cur_.valid() || !inScope(cur_.key())) return 0;
    return cur_.recno();
}

std::uint32_t TagOrder::ascFirst() {
    between_ = false;
    if (!top_) {
        cur_.first();
        return here();
    }
    cur_.seek(*top_);
    const std::uint64_t mods = rt_.tag->modCount();
    if (loMods_ != mods) {
        // The landing entry is the first one not below the top.
        lo_ = cur_.valid() ? cur_.position() - 1 : rt_.tag->count();
        loMods_ = mods;
    }
    return here();
}

std::uint32_t TagOrder::ascLast() {
    between_ = false;
    if (!bottom_) {
        cur_.last();
        return here();
    }
    cur_.seekLast(*bottom_);
    const std::uint64_t mods = rt_.tag->modCount();
    if (hiMods_ != mods) {
        // The landing entry is the last one not above the bottom.
        hi_ = cur_.valid() ? cur_.position() : 0;
        hiMods_ = mods;
    }
    return here();
}

std::uint32_t TagOrder::stepAsc(bool up) {
    if (between_) {
        between_ = false;
        // The cursor already stands on the entry after the record.
        if (up) return here();
        cur_.prev();
        return here();
    }
    if (up)
        cur_.next();
    else
        cur_.prev();
    return here();
}

std::uint32_t TagOrder::first() {
    return desc_ ? ascLast() : ascFirst();
}

std::uint32_t TagOrder::last() {
    return desc_ ? ascFirst() : ascLast();
}

std::uint32_t TagOrder::next() {
    return stepAsc(!desc_);
}

std::uint32_t TagOrder::prev() {
    return stepAsc(desc_);
}

void TagOrder::position(std::uint32_t recno, const std::uint8_t* record) {
    const RecordRef r{record, recno};
    const bool member = rt_.member(r);
    rt_.keyOf(r, scratch_);
    const bool on = cur_.seekEntry(scratch_, recno);
    between_ = !(member && on);
}

std::uint32_t TagOrder::seek(std::string_view value) {
    between_ = false;
    if (value.size() > static_cast<std::size_t>(rt_.keyLen))
        value = value.substr(0, static_cast<std::size_t>(rt_.keyLen));
    if (!desc_) {
        cur_.seek(value);
        if (!cur_.valid()) return 0;
        if (top_ && comparePrefix(cur_.key(), *top_) < 0) return ascFirst();
        if (bottom_ && comparePrefix(cur_.key(), *bottom_) > 0) return 0;
        return cur_.recno();
    }
    // Descending: the last stored entry whose prefix is not above the value.
    cur_.seekLast(value);
    if (!cur_.valid()) return 0;
    if (bottom_ && comparePrefix(cur_.key(), *bottom_) > 0) return ascLast();
    if (top_ && comparePrefix(cur_.key(), *top_) < 0) return 0;
    return cur_.recno();
}

// ---- ranks ----------------------------------------------------------------------------

void TagOrder::computeRange() {
    const std::uint64_t mods = rt_.tag->modCount();
    if (loMods_ != mods) {
        lo_ = top_ ? rt_.tag->countBelowPrefix(*top_) : 0;
        loMods_ = mods;
    }
    if (hiMods_ != mods) {
        hi_ = bottom_ ? rt_.tag->countUpToPrefix(*bottom_) : rt_.tag->count();
        hiMods_ = mods;
    }
}

std::uint64_t TagOrder::rangeLo() {
    computeRange();
    return lo_;
}

std::uint64_t TagOrder::rangeHi() {
    computeRange();
    return std::max(hi_, lo_);
}

std::uint64_t TagOrder::currentPosition() {
    if (!inScope(cur_.key())) return 0;
    const std::uint64_t rank = cur_.position() - 1;
    const std::uint64_t lo = rangeLo(), hi = rangeHi();
    if (rank < lo || rank >= hi) return 0;
    return desc_ ? hi - rank : rank - lo + 1;
}

std::uint64_t TagOrder::positionOf(const std::string& key, std::uint32_t recno) {
    if (!inScope(key)) return 0;
    const std::uint64_t rank = rt_.tag->countBefore(key, recno);  // 0-based
    const std::uint64_t lo = rangeLo(), hi = rangeHi();
    if (rank < lo || rank >= hi) return 0;
    return desc_ ? hi - rank : rank - lo + 1;
}

std::uint32_t TagOrder::gotoPosition(std::uint64_t pos) {
    between_ = false;
    const std::uint64_t lo = rangeLo();
    const std::uint64_t hi = rangeHi();
    if (pos < 1 || pos > hi - lo) return 0;
    const std::uint64_t rank = desc_ ? hi - pos + 1 : lo + pos;  // 1-based
    if (!cur_.gotoPosition(rank)) return 0;
    return cur_.recno();
}

std::uint64_t TagOrder::flaggedInScope(const std::pair<std::string, std::uint32_t>* before) {
    const EntrySet& f = rt_.flagged;
    if (f.empty()) return 0;
    const std::uint64_t lo = top_ ? f.order_of_key(lowBound()) : 0;
    const std::uint64_t hi = bottom_ ? f.order_of_key(highBound()) : f.size();
    if (hi <= lo) return 0;
    if (!before) return hi - lo;
    if (!desc_) {
        const std::uint64_t b = f.order_of_key(*before);
        return b <= lo ? 0 : std::min(b, hi) - lo;
    }
    // Descending: the entries after `before` in storage order precede it.
    const std::uint64_t b = f.order_of_key({before->first, before->second + 1});
    return b >= hi ? 0 : hi - std::max(b, lo);
}

}  // namespace xb
