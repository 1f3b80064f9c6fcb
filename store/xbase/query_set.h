// RecordSet: a set of record numbers 1 ... size() as a bitmap, one bit per
// record. A query's result is one; so are the partial answers the query
// planner combines (index ranges, complements, evaluated records).
//
// Memory is size() / 8 bytes, so a million records take 125 KiB. Every
// operation works a 64-bit word at a time: union, intersection, difference
// and complement are one pass over the words, count() and countRange() a
// popcount over them, and next()/prev() skip empty words. rank() and
// select() are linear in the words below the position (about 16,000 words
// for a million records), which is fast enough for a grid paging through a
// subset.
//
// Bits past size() are always clear. Record numbers outside 1 ... size()
// are simply not members: test() is false for them and set() refuses them
// with a Range error.
//
// Not thread-safe; copyable and movable like a std::vector.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace xb {

class RecordSet {
  public:
    // The empty set over no records.
    RecordSet() = default;
    // The set over records 1 ... size, with no member (or all when `all`).
    explicit RecordSet(std::uint32_t size, bool all = false);

    // The records the set ranges over: 1 ... size().
    std::uint32_t size() const { return size_; }
    // Grows or shrinks the range. Records beyond the old size are members
    // when `on`; members beyond the new size are dropped.
    void resize(std::uint32_t size, bool on = false);

    // ---- members ------------------------------------------------------------------
    // False outside 1 ... size().
    bool test(std::uint32_t recno) const {
        if (recno == 0 || recno > size_) return false;
        const std::uint32_t i = recno - 1;
        return (words_[i >> 6] >> (i & 63)) & 1u;
    }
    // Adds (`on`) or removes a record. Throws qv::Error(Range) outside 1 ... size().
    void set(std::uint32_t recno, bool on = true);
    void reset(std::uint32_t recno) { set(recno, false); }
    // Adds records first ... last (inclusive). REQUIRES: 1 <= first, last <= size().
    void setRange(std::uint32_t first, std::uint32_t last);
    // Every record a member, or none.
    void setAll();
    void clear();

    // ---- counting -------------------------------------------------------------------
    std::uint64_t count() const;
    bool none() const;
    bool any() const { return !none(); }
    bool all() const { return count() == size_; }
    // Members among records first ... last (inclusive, clipped to the range).
    std::uint64_t countRange(std::uint32_t first, std::uint32_t last) const;
    // Members at or below `recno`: the 1-based position of a member among
    // the members in record order.
    std::uint64_t rank(std::uint32_t recno) const;
    // The member at 1-based position `k` in record order; 0 when there is none.
    std::uint32_t select(std::uint64_t k) const;

    // ---- walking in record order ------------------------------------------------------
    // Each returns a record number, or 0 when there is none.
    std::uint32_t first() const { return next(0); }
    std::uint32_t last() const { return prev(size_ + 1); }
    // The first member above `recno`.
    std::uint32_t next(std::uint32_t recno) const;
    // The last member below `recno`.
    std::uint32_t prev(std::uint32_t recno) const;
    // Calls fn(recno) for every member, in record order.
    template <typename Fn>
    void forEach(Fn&& fn) const {
        for (std::size_t w = 0; w < words_.size(); ++w) {
            std::uint64_t bits = words_[w];
            while (bits) {
                const int b = std::countr_zero(bits);
                bits &= bits - 1;
                fn(static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(b) + 1));
            }
        }
    }
    std::vector<std::uint32_t> toVector() const;

    // ---- combining --------------------------------------------------------------------
    // Sets of different sizes combine as if the smaller one had non-members
    // up to the larger size; a union takes the larger size, an intersection
    // and a difference keep the left one's.
    RecordSet& operator|=(const RecordSet& o);
    RecordSet& operator&=(const RecordSet& o);
    // Removes the members of `o`.
    RecordSet& operator-=(const RecordSet& o);
    // Members become non-members and the other way round, within 1 ... size().
    void complement();

    friend RecordSet operator|(RecordSet a, const RecordSet& b) { return a |= b; }
    friend RecordSet operator&(RecordSet a, const RecordSet& b) { return a &= b; }
    friend RecordSet operator-(RecordSet a, const RecordSet& b) { return a -= b; }
    bool operator==(const RecordSet& o) const = default;

  private:
    static std::size_t wordsFor(std::uint32_t size) { return (std::size_t{size} + 63) / 64; }
    // Clears the bits past size_ in the last word.
    void trim();

    std::uint32_t size_ = 0;
    std::vector<std::uint64_t> words_;
};

}  // namespace xb
