// The index side of the engine table, positions: seek and scope in the
// current tag, counts of the visible records and order positions, with the
// flagged records and the list of visible records they rest on.
#include <algorithm>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/settings.h"
#include "store/xbase/table_index.h"
#include "store/xbase/tag_order.h"

namespace xb {

// ---- seek and scope ---------------------------------------------------------------------

bool TableIndex::seekBytes(std::string_view value) {
    TagOrder& to = requireTagOrder("Das Suchen");
    commitRecord();
    found_ = false;
    if (value.size() > static_cast<std::size_t>(to.runtime().keyLen))
        value = value.substr(0, static_cast<std::size_t>(to.runtime().keyLen));
    const std::uint32_t r = to.seek(value);
    if (r != 0 && host_.standOnVisibleFrom(r)) {
        found_ = comparePrefix(to.key(), value) == 0;
        if (!found_ && !settings().softSeek) host_.standOnPhantomRecord(false);
    } else {
        host_.standOnPhantomRecord(false);
    }
    return found_;
}

bool TableIndex::seek(std::string_view keyBytes) {
    return seekBytes(keyBytes);
}

bool TableIndex::seekNumber(double value) {
    TagOrder& to = requireTagOrder("Das Suchen");
    if (!to.runtime().numeric)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der Tag " + to.tag().name() + " hat keine numerischen Schlüssel", path());
    std::uint8_t k[kNumKeyLen];
    encodeNumKey(value, k);
    return seekBytes({reinterpret_cast<const char*>(k), kNumKeyLen});
}

bool TableIndex::seekDate(std::int32_t julianDay) {
    return seekNumber(static_cast<double>(julianDay));
}

void TableIndex::setScope(std::optional<std::string> top, std::optional<std::string> bottom) {
    TagOrder& to = requireTagOrder("Ein Bereich");
    if (!top && !bottom) {
        clearScope();
        return;
    }
    commitRecord();
    to.setScope(std::move(top), std::move(bottom));
    invalidateView();
    goTop();
}

void TableIndex::clearScope() {
    if (!tagOrder_) return;
    tagOrder_->setScope(std::nullopt, std::nullopt);
    invalidateView();
}

bool TableIndex::hasScope() const {
    return tagOrder_ && tagOrder_->hasScope();
}

// ---- counts and positions ---------------------------------------------------------------

void TableIndex::ensureFlagged() {
    if (flaggedKnown_) return;
    flagged_ = std::make_unique<RankedRecnos>();
    for (auto& rt : tags_)
        rt->flagged.clear();
    const auto take = [&](std::uint32_t recno, const std::uint8_t* rec) {
        if (!isFlagged(rec)) return;
        flagged_->set.insert(recno);
        const RecordRef r{rec, recno};
        for (auto& p : tags_) {
            TagRuntime& rt = *p;
            if (!rt.member(r)) continue;
            rt.keyOf(r, rt.newKey);
            if (rt.tag->unique() && !rt.tag->contains(rt.newKey, recno)) continue;
            rt.flagged.insert({rt.newKey, recno});
        }
    };
    // The index's note names the flagged records as they were when the
    // index was last closed; only those records need reading.
    std::vector<std::uint32_t> noted;
    if (nsx_ && nsx_->flaggedNote(recCount(), noted)) {
        std::vector<std::uint8_t> rec(recordLength());
        for (std::uint32_t recno : noted) {
            host_.readStoredRecord(recno, rec.data());
            take(recno, rec.data());
        }
    } else {
        scanRecords(take);
    }
    flaggedKnown_ = true;
}

void TableIndex::noteFlagged() {
    if (!nsx_ || readOnly()) return;
    std::vector<std::uint32_t> recnos;
    if (flaggedKnown_) {
        recnos.reserve(flagged_->set.size());
        for (std::uint32_t r : flagged_->set)
            recnos.push_back(r);
    } else if (nsx_->flaggedNote(recCount(), recnos)) {
        // The note this session found still stands, so no record changed
        // (the first change of a session drops it): its flagged records are
        // still the table's. Keeping them spares the next session a scan of
        // the whole table (a session that only looked, such as the start-up
        // check, used to leave them out).
        nsx_->setTableNote(recCount(), &recnos);
        return;
    }
    nsx_->setTableNote(recCount(), flaggedKnown_ ? &recnos : nullptr);
}

ViewList& TableIndex::viewList() {
    const bool del = settings().deleted;
    const bool exact = settings().exact;
    if (view_ && view_->gen == viewGen_ && view_->deleted == del && view_->exact == exact &&
        view_->posOf.size() == std::size_t{recCount()} + 1)
        return *view_;
    if (!view_) view_ = std::make_unique<ViewList>();
    ViewList& v = *view_;
    v.gen = viewGen_;
    v.deleted = del;
    v.exact = exact;
    v.recs.clear();
    v.posOf.assign(std::size_t{recCount()} + 1, 0);
    const auto passes = [&](std::uint32_t recno, const std::uint8_t* rec) {
        if (del && isFlagged(rec)) return false;
        if (queryActive_ && !queryBit(recno)) return false;
        return filter_.empty() || filter_.evalBool({rec, recno});
    };
    const auto take = [&](std::uint32_t recno) {
        v.recs.push_back(recno);
        v.posOf[recno] = static_cast<std::uint32_t>(v.recs.size());
    };
    if (!tagOrder_) {
        scanRecords([&](std::uint32_t recno, const std::uint8_t* rec) {
            if (passes(recno, rec)) take(recno);
        });
        return v;
    }
    TagOrder walk(tagOrder_->runtime());
    walk.setScope(tagOrder_->top(), tagOrder_->bottom());
    std::vector<std::uint8_t> rec(recordLength());
    for (std::uint32_t r = walk.first(); r != 0; r = walk.next()) {
        if (queryActive_ && !queryBit(r)) continue;
        host_.readStoredRecord(r, rec.data());
        if (passes(r, rec.data())) take(r);
    }
    return v;
}

std::uint64_t TableIndex::count() {
    requireOpen();
    if (!simpleCounts()) return viewList().recs.size();
    const bool del = settings().deleted;
    if (del) ensureFlagged();
    if (!tagOrder_) return recCount() - (del ? flagged_->set.size() : 0);
    TagOrder& to = *tagOrder_;
    const std::uint64_t n = to.rangeHi() - to.rangeLo();
    return n - (del ? to.flaggedInScope() : 0);
}

std::uint64_t TableIndex::orderRecNo() {
    requireOpen();
    const Table& t = table_;
    const std::uint32_t recno = t.recNo();
    if (t.eof() || t.isAppending() || recno < 1 || recno > recCount()) return 0;
    switch (host_.currentEnd()) {
        case TableIndexHost::OrderEnd::First:
            return 1;
        case TableIndexHost::OrderEnd::Last:
            return count();
        case TableIndexHost::OrderEnd::None:
            break;
    }
    if (!simpleCounts()) {
        ViewList& v = viewList();
        return v.posOf[recno];
    }
    const bool del = settings().deleted;
    if (del && isFlagged(t.coldData())) return 0;
    if (del) ensureFlagged();
    if (!tagOrder_) return recno - (del ? flagged_->set.order_of_key(recno) : 0);
    TagOrder& to = *tagOrder_;
    std::pair<std::string, std::uint32_t> e;
    std::uint64_t pos = 0;
    if (to.standsOn(recno)) {
        // The usual case: the order stands on the current record's entry.
        pos = to.currentPosition();
        if (pos != 0 && del && to.runtime().flagged.size() != 0) e.first.assign(to.key());
    } else {
        TagRuntime& rt = to.runtime();
        const RecordRef r{t.coldData(), recno};
        if (!rt.member(r)) return 0;
        rt.keyOf(r, e.first);
        pos = to.positionOf(e.first, recno);
    }
    if (pos == 0 || !del || to.runtime().flagged.size() == 0) return pos;
    e.second = recno;
    return pos - to.flaggedInScope(&e);
}

std::uint32_t TableIndex::naturalAtPosition(std::uint64_t pos) {
    const std::uint32_t n = recCount();
    if (pos < 1 || pos > n) return 0;
    if (!settings().deleted) return static_cast<std::uint32_t>(pos);
    ensureFlagged();
    const auto& f = flagged_->set;
    if (pos > n - f.size()) return 0;
    // The smallest r with r - (flagged <= r) >= pos.
    std::uint64_t lo = pos, hi = n;
    while (lo < hi) {
        const std::uint64_t m = lo + (hi - lo) / 2;
        const std::uint64_t vis = m - f.order_of_key(static_cast<std::uint32_t>(m + 1));
        if (vis >= pos)
            hi = m;
        else
            lo = m + 1;
    }
    return static_cast<std::uint32_t>(lo);
}

std::uint32_t TableIndex::tagAtPosition(std::uint64_t pos, bool move) {
    if (move) return standAtPosition(*tagOrder_, pos);
    TagOrder temp(tagOrder_->runtime());
    temp.setScope(tagOrder_->top(), tagOrder_->bottom());
    return standAtPosition(temp, pos);
}

std::uint32_t TableIndex::standAtPosition(TagOrder& to, std::uint64_t pos) {
    if (!settings().deleted) return to.gotoPosition(pos);
    ensureFlagged();
    const EntrySet& f = to.runtime().flagged;
    if (to.flaggedInScope() == 0) return to.gotoPosition(pos);
    // Step over the flagged entries before the wanted position.
    std::uint64_t g = pos;
    for (;;) {
        const std::uint32_t r = to.gotoPosition(g);
        if (r == 0) return 0;
        std::pair<std::string, std::uint32_t> e{std::string(to.key()), r};
        const bool flagged = f.find(e) != f.end();
        const std::uint64_t vis = g - to.flaggedInScope(&e) - (flagged ? 1 : 0);
        if (vis == pos && !flagged) return r;
        g += vis < pos ? pos - vis : 1;
    }
}

void TableIndex::recnosAtOrderPositions(std::uint64_t first, std::uint32_t* out, std::size_t n) {
    requireOpen();
    if (n == 0) return;
    if (!simpleCounts() || !tagOrder_) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = recnoAtOrderPosition(first + i);
        return;
    }
    // One descent to the first position, then steps along the leaves: the
    // rows of a grid block cost one search of the tree, not one each.
    TagOrder to(tagOrder_->runtime());
    to.setScope(tagOrder_->top(), tagOrder_->bottom());
    std::uint32_t r = standAtPosition(to, first);
    const EntrySet* flagged = nullptr;
    if (settings().deleted && to.flaggedInScope() > 0) flagged = &to.runtime().flagged;
    out[0] = r;
    for (std::size_t i = 1; i < n; ++i) {
        while (r != 0) {
            r = to.next();
            if (r == 0 || !flagged ||
                flagged->find(std::pair<std::string, std::uint32_t>{std::string(to.key()), r}) ==
                    flagged->end())
                break;
        }
        out[i] = r;
    }
}

bool TableIndex::gotoOrderPosition(std::uint64_t pos) {
    requireOpen();
    commitRecord();
    std::uint32_t r = 0;
    bool placeOrder = true;
    if (!simpleCounts()) {
        ViewList& v = viewList();
        if (pos >= 1 && pos <= v.recs.size()) r = v.recs[pos - 1];
    } else if (!tagOrder_) {
        r = naturalAtPosition(pos);
    } else {
        r = tagAtPosition(pos, true);
        placeOrder = false;  // the tag order already stands on it
    }
    if (r == 0) {
        host_.standOnPhantomRecord(false);
        return false;
    }
    host_.standOn(r, placeOrder);
    return true;
}

std::uint32_t TableIndex::recnoAtOrderPosition(std::uint64_t pos) {
    requireOpen();
    if (!simpleCounts()) {
        ViewList& v = viewList();
        return pos >= 1 && pos <= v.recs.size() ? v.recs[pos - 1] : 0;
    }
    if (!tagOrder_) return naturalAtPosition(pos);
    return tagAtPosition(pos, false);
}

}  // namespace xb
