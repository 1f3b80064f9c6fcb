// Tag orders of the engine table: a compiled tag of the production index
// (TagRuntime), the navigation over it (TagOrder, a RecordOrder over an
// NsxCursor with an optional scope), and the ranked sets the table keeps of
// flagged records so that counts and order positions stay logarithmic.
//
// Internal to the table's index side (table_index.cpp, table_pack.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

#include "store/xbase/expr.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/progress.h"
#include "store/xbase/table.h"

namespace xb {

// A set with ranks: rank(x) = elements below x, in O(log n).
template <typename T>
using RankedSet = __gnu_pbds::tree<T, __gnu_pbds::null_type, std::less<T>, __gnu_pbds::rb_tree_tag,
                                   __gnu_pbds::tree_order_statistics_node_update>;

// The flagged records of the table, by record number.
struct RankedRecnos {
    RankedSet<std::uint32_t> set;
};

// Entries (key, recno) of one tag.
using EntrySet = RankedSet<std::pair<std::string, std::uint32_t>>;

// One tag of the production index with its compiled key and condition.
struct TagRuntime {
    NsxTag* tag = nullptr;
    Expr key;
    Expr cond;  // empty when the tag has no FOR condition
    int keyLen = 0;
    bool numeric = false;  // numeric or date keys (8 encoded bytes)
    // Entries of flagged records that are in the tag (valid while the table
    // knows its flagged records).
    EntrySet flagged;
    // Scratch keys of the update path.
    std::string oldKey, newKey;
    // While a batch puts the tags' upkeep off: the entries the records it
    // changed had in the tag before their first change (null outside one).
    // The entries they have now are made when the changes are brought in.
    struct Pending {
        explicit Pending(const NsxTag& t) : removals(t) {}
        NsxKeyBatch removals;
    };
    std::unique_ptr<Pending> pending;

    bool member(const RecordRef& r) { return cond.empty() || cond.evalBool(r); }
    void keyOf(const RecordRef& r, std::string& out) {
        out.resize(static_cast<std::size_t>(keyLen));
        key.evalKey(r, reinterpret_cast<std::uint8_t*>(out.data()), out.size());
    }
};

// Reports whole percentages from..to for a loop over `total` items.
class ProgressSlice {
  public:
    ProgressSlice(int from, int to, std::uint64_t total) : from_(from), to_(to), total_(total) {
        report(0);
    }
    void at(std::uint64_t done) {
        if (done >= next_) report(done);
    }

  private:
    void report(std::uint64_t done) {
        const int pct =
            total_ == 0 ? to_
                        : from_ + static_cast<int>((to_ - from_) * std::min(done, total_) / total_);
        if (pct > last_) {
            last_ = pct;
            reportProgress(pct);
        }
        next_ = done + std::max<std::uint64_t>(1, total_ / 100);
    }
    int from_, to_;
    std::uint64_t total_;
    std::uint64_t next_ = 0;
    int last_ = -1;
};

// The visible records of the current order, listed once while a query or a
// filter is active.
struct ViewList {
    std::uint64_t gen = 0;
    bool deleted = false;
    bool exact = false;
    std::vector<std::uint32_t> recs;   // in order
    std::vector<std::uint32_t> posOf;  // recno -> 1-based position, 0 = not visible
};

// Compares the first min(bound, keyLen) bytes of `key` with the bound.
int comparePrefix(std::string_view key, std::string_view bound);

// Navigation in one tag. Descending tags are stored ascending; this order
// turns first/last and next/prev round for them. A scope limits the entries
// to keys whose leading bytes lie in [top, bottom].
class TagOrder final : public RecordOrder {
  public:
    explicit TagOrder(TagRuntime& rt);

    std::uint32_t first() override;
    std::uint32_t last() override;
    std::uint32_t next() override;
    std::uint32_t prev() override;
    void position(std::uint32_t recno, const std::uint8_t* record) override;

    TagRuntime& runtime() { return rt_; }
    NsxTag& tag() { return *rt_.tag; }
    bool descending() const { return desc_; }

    // ---- scope ----
    void setScope(std::optional<std::string> top, std::optional<std::string> bottom);
    bool hasScope() const { return top_.has_value() || bottom_.has_value(); }
    bool inScope(std::string_view key) const;
    const std::optional<std::string>& top() const { return top_; }
    const std::optional<std::string>& bottom() const { return bottom_; }

    // Goes to the first entry in this order whose key is not below `value`
    // under the prefix rule (descending: not above), inside the scope;
    // returns its record number or 0.
    std::uint32_t seek(std::string_view value);
    // REQUIRES: the order stands on an entry.
    std::string_view key() const { return cur_.key(); }
    bool onEntry() { return !between_ && cur_.valid(); }

    // ---- ranks (ascending storage order, 0-based) ----
    // Entries in scope are the ascending ranks [rangeLo(), rangeHi()).
    std::uint64_t rangeLo();
    std::uint64_t rangeHi();
    // 1-based position of entry (key, recno) in this order within the scope,
    // 0 when it is outside the scope or not in the tag.
    std::uint64_t positionOf(const std::string& key, std::uint32_t recno);
    // True when the order stands on the entry of `recno` (then key() is its
    // key and currentPosition() its position).
    bool standsOn(std::uint32_t recno) {
        return !between_ && cur_.valid() && cur_.recno() == recno;
    }
    // REQUIRES: standsOn(). As positionOf() for the entry stood on.
    std::uint64_t currentPosition();
    // Stands on the entry at 1-based position `pos` of this order within the
    // scope; returns its record number, 0 outside the range.
    std::uint32_t gotoPosition(std::uint64_t pos);
    // Flagged entries of the tag inside the scope; with `before`, only those
    // preceding entry (key, recno) in this order.
    std::uint64_t flaggedInScope(const std::pair<std::string, std::uint32_t>* before = nullptr);

  private:
    std::uint32_t here();
    std::uint32_t stepAsc(bool up);
    std::uint32_t ascFirst();
    std::uint32_t ascLast();
    std::pair<std::string, std::uint32_t> lowBound() const;
    std::pair<std::string, std::uint32_t> highBound() const;

    TagRuntime& rt_;
    NsxCursor cur_;
    bool desc_;
    std::optional<std::string> top_, bottom_;
    // position() met a record that is not in the tag: the cursor stands on
    // the entry that would follow it.
    bool between_ = false;
    std::string scratch_;
    // rangeLo()/rangeHi() as last computed, each valid while the tag's
    // modification count is loMods_/hiMods_ (0 = not computed). Going to the
    // first (last) entry of a scope yields them from the cursor's position.
    std::uint64_t loMods_ = 0, hiMods_ = 0;
    std::uint64_t lo_ = 0, hi_ = 0;
    void computeRange();
};

}  // namespace xb
