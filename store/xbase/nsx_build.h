// Input of a bulk build: (key, recno) pairs in any order.
//
// The caller evaluates the key (and decides FOR membership) for every
// record, adds the pairs here and hands the batch to NsxTag::build() or
// NsxFile::buildTag(), which sort it and write the tree bottom-up with full
// leaves. Keys are stored in one flat arena; sorting moves 16-byte
// (prefix, index) items, never the keys themselves.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace xb {

class NsxTag;

class NsxKeyBatch {
  public:
    // `trail` pads short keys: blank for character keys, 0x00 otherwise.
    NsxKeyBatch(int keyLen, std::uint8_t trail);
    // A batch shaped for `tag` (its key length and trail byte).
    explicit NsxKeyBatch(const NsxTag& tag);

    void reserve(std::size_t n);
    // Adds a pair; the key is padded or cut to keyLen().
    void add(std::string_view key, std::uint32_t recno);
    std::size_t size() const { return recnos_.size(); }
    int keyLen() const { return keyLen_; }
    std::uint32_t maxRecno() const { return maxRecno_; }
    void clear();

    // Sorts by (key bytes, recno). Afterwards key(i)/recno(i) give the i-th
    // pair in that order.
    void sort();
    bool sorted() const { return sorted_; }
    const std::uint8_t* key(std::size_t i) const {
        return keys_.data() +
               static_cast<std::size_t>(order_[i]) * static_cast<std::size_t>(keyLen_);
    }
    std::uint32_t recno(std::size_t i) const { return recnos_[order_[i]]; }

  private:
    int keyLen_;
    std::uint8_t trail_;
    std::vector<std::uint8_t> keys_;
    std::vector<std::uint32_t> recnos_;
    std::vector<std::uint32_t> order_;
    std::uint32_t maxRecno_ = 0;
    bool sorted_ = false;
};

}  // namespace xb
