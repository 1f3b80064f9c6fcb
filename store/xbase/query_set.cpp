#include "store/xbase/query_set.h"

#include <algorithm>
#include <string>

#include "store/xbase/error.h"

namespace xb {

namespace {

// Bits first ... last (0-based, inclusive) of one word.
std::uint64_t bitsBetween(unsigned first, unsigned last) {
    const std::uint64_t upTo =
        last == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (last + 1)) - 1;
    return upTo & ~((std::uint64_t{1} << first) - 1);
}

}  // namespace

RecordSet::RecordSet(std::uint32_t size, bool all)
    : size_(size), words_(wordsFor(size), all ? ~std::uint64_t{0} : 0) {
    trim();
}

void RecordSet::resize(std::uint32_t size, bool on) {
    const std::uint32_t old = size_;
    words_.resize(wordsFor(size), 0);
    size_ = size;
    if (on && size > old) setRange(old + 1, size);
    trim();
}

void RecordSet::trim() {
    const unsigned used = size_ % 64;
    if (used && !words_.empty()) words_.back() &= (std::uint64_t{1} << used) - 1;
}

void RecordSet::set(std::uint32_t recno, bool on) {
    if (recno == 0 || recno > size_)
        throw qv::Error(qv::ErrorCode::Range,
                        "Der Datensatz " + std::to_string(recno) +
                            " liegt außerhalb der Datensätze 1 bis " + std::to_string(size_),
                        {}, recno);
    const std::uint32_t i = recno - 1;
    const std::uint64_t bit = std::uint64_t{1} << (i & 63);
    if (on)
        words_[i >> 6] |= bit;
    else
        words_[i >> 6] &= ~bit;
}

void RecordSet::setRange(std::uint32_t first, std::uint32_t last) {
    if (first == 0 || last > size_ || first > last) return;
    const std::uint32_t a = first - 1, b = last - 1;
    const std::size_t wa = a >> 6, wb = b >> 6;
    if (wa == wb) {
        words_[wa] |= bitsBetween(a & 63, b & 63);
        return;
    }
    words_[wa] |= bitsBetween(a & 63, 63);
    for (std::size_t w = wa + 1; w < wb; ++w)
        words_[w] = ~std::uint64_t{0};
    words_[wb] |= bitsBetween(0, b & 63);
}

void RecordSet::setAll() {
    std::fill(words_.begin(), words_.end(), ~std::uint64_t{0});
    trim();
}

void RecordSet::clear() {
    std::fill(words_.begin(), words_.end(), 0);
}

std::uint64_t RecordSet::count() const {
    std::uint64_t n = 0;
    for (std::uint64_t w : words_)
        n += static_cast<std::uint64_t>(std::popcount(w));
    return n;
}

bool RecordSet::none() const {
    for (std::uint64_t w : words_)
        if (w) return false;
    return true;
}

std::uint64_t RecordSet::countRange(std::uint32_t first, std::uint32_t last) const {
    if (first == 0) first = 1;
    if (last > size_) last = size_;
    if (first > last) return 0;
    const std::uint32_t a = first - 1, b = last - 1;
    const std::size_t wa = a >> 6, wb = b >> 6;
    if (wa == wb)
        return static_cast<std::uint64_t>(std::popcount(words_[wa] & bitsBetween(a & 63, b & 63)));
    std::uint64_t n =
        static_cast<std::uint64_t>(std::popcount(words_[wa] & bitsBetween(a & 63, 63)));
    for (std::size_t w = wa + 1; w < wb; ++w)
        n += static_cast<std::uint64_t>(std::popcount(words_[w]));
    return n + static_cast<std::uint64_t>(std::popcount(words_[wb] & bitsBetween(0, b & 63)));
}

std::uint64_t RecordSet::rank(std::uint32_t recno) const {
    return countRange(1, recno);
}

std::uint32_t RecordSet::select(std::uint64_t k) const {
    if (k == 0) return 0;
    for (std::size_t w = 0; w < words_.size(); ++w) {
        std::uint64_t bits = words_[w];
        const auto here = static_cast<std::uint64_t>(std::popcount(bits));
        if (k > here) {
            k -= here;
            continue;
        }
        while (--k)
            bits &= bits - 1;
        return static_cast<std::uint32_t>(w * 64 +
                                          static_cast<std::size_t>(std::countr_zero(bits)) + 1);
    }
    return 0;
}

std::uint32_t RecordSet::next(std::uint32_t recno) const {
    if (recno >= size_) return 0;
    // Bit index of record recno + 1 is recno.
    std::size_t w = recno >> 6;
    std::uint64_t bits = words_[w] & (~std::uint64_t{0} << (recno & 63));
    while (!bits) {
        if (++w == words_.size()) return 0;
        bits = words_[w];
    }
    return static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)) +
                                      1);
}

std::uint32_t RecordSet::prev(std::uint32_t recno) const {
    if (recno <= 1 || size_ == 0) return 0;
    if (recno > size_ + 1) recno = size_ + 1;
    // Members below recno have bit indexes 0 ... recno - 2.
    const std::uint32_t top = recno - 2;
    std::size_t w = top >> 6;
    std::uint64_t bits = words_[w] & bitsBetween(0, top & 63);
    while (!bits) {
        if (w == 0) return 0;
        bits = words_[--w];
    }
    return static_cast<std::uint32_t>(w * 64 + 63 -
                                      static_cast<std::size_t>(std::countl_zero(bits)) + 1);
}

std::vector<std::uint32_t> RecordSet::toVector() const {
    std::vector<std::uint32_t> out;
    out.reserve(count());
    forEach([&](std::uint32_t r) { out.push_back(r); });
    return out;
}

RecordSet& RecordSet::operator|=(const RecordSet& o) {
    if (o.size_ > size_) resize(o.size_);
    for (std::size_t w = 0; w < o.words_.size(); ++w)
        words_[w] |= o.words_[w];
    return *this;
}

RecordSet& RecordSet::operator&=(const RecordSet& o) {
    const std::size_t common = std::min(words_.size(), o.words_.size());
    for (std::size_t w = 0; w < common; ++w)
        words_[w] &= o.words_[w];
    for (std::size_t w = common; w < words_.size(); ++w)
        words_[w] = 0;
    return *this;
}

RecordSet& RecordSet::operator-=(const RecordSet& o) {
    const std::size_t common = std::min(words_.size(), o.words_.size());
    for (std::size_t w = 0; w < common; ++w)
        words_[w] &= ~o.words_[w];
    return *this;
}

void RecordSet::complement() {
    for (std::uint64_t& w : words_)
        w = ~w;
    trim();
}

}  // namespace xb
