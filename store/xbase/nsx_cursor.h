// A position in one tag, moved in index order (ascending storage order).
//
// The cursor stands on an entry (valid()), or past the last one (eof()), or
// before the first one (bof()); a fresh cursor stands nowhere. It keeps the
// path from the root and a decoded copy of its current leaf, so walking is
// cheap, and it copes with changes of the tag between two calls: when the
// tag's modification count moved, it finds its (key, recno) again before it
// moves. If its own entry was removed meanwhile, next() lands on the entry
// that followed it and prev() on the one that preceded it.
//
// Positions (1-based) are computed from subtree counts in O(log n).
//
// REQUIRES: the tag outlives the cursor (re-creating or removing the tag,
// NsxFile::clear() and closing the file end it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/nsx_tag.h"

namespace xb {

class NsxCursor {
  public:
    explicit NsxCursor(NsxTag& tag);
    NsxCursor(const NsxCursor&) = delete;  // holds a decoder over its own page copy
    NsxCursor& operator=(const NsxCursor&) = delete;

    // Each returns valid().
    bool first();
    bool last();
    bool next();  // from eof stays at eof; from bof or nowhere goes to first()
    bool prev();  // from bof stays at bof; from eof or nowhere goes to last()

    // Positions on the first entry whose first L = min(len, keyLen) key
    // bytes are >= value (an empty value gives the first entry), or at eof.
    // Returns "found": the landed key starts with the (cut) value. Character
    // values are compared as given (not padded); numeric and date values are
    // their 8 encoded bytes.
    bool seek(std::string_view value);
    // Positions on the last entry whose first L key bytes are <= value (the
    // end of a scope), or at bof when there is none. Returns valid().
    bool seekLast(std::string_view value);
    // Positions on (key, recno) when it exists and returns true; otherwise
    // on the first entry after it (or eof) and returns false.
    bool seekEntry(std::string_view key, std::uint32_t recno);
    // Goes to the entry at 1-based position pos; outside 1..count() the
    // cursor goes to eof (or bof for 0) and false is returned.
    bool gotoPosition(std::uint64_t pos);

    bool valid();
    bool eof() const { return state_ == State::Eof; }
    bool bof() const { return state_ == State::Bof; }
    // REQUIRES: valid(). The full stored key (keyLen bytes).
    std::string_view key() const { return key_; }
    std::uint32_t recno() const { return recno_; }
    // 1-based position of the current entry; 0 when not valid().
    std::uint64_t position();

    NsxTag& tag() { return *tag_; }

  private:
    enum class State { Nowhere, OnEntry, Eof, Bof };

    void land(const nsx::Target& t);
    void descendEdge(std::uint32_t addr, bool leftmost, const std::uint8_t* pred);
    void loadLeaf(std::uint32_t addr, const std::uint8_t* pred);
    // Starts the decoder of the current leaf at restart point r of `ix`.
    bool resumeAt(const nsx::LeafIndex& ix, int r);
    // Decodes the current leaf up to entry idx.
    void decodeUpTo(int idx);
    void standOnLeafEntry(int idx);
    void standOnBranchKey(std::uint32_t addr, int i);
    void ascendForward();
    void ascendBackward();
    bool predOfFrames(std::size_t upTo, std::uint8_t* out);
    // Re-finds the entry after a change of the tag; false when the entry is
    // gone (the cursor then stands on its successor, or at eof).
    bool refind();
    bool changed() const { return seenMods_ != tag_->modCount(); }
    // The entries of the subtree at `addr` as far as known without counting
    // it: its count when known, else a lower bound from its page alone.
    std::uint64_t leastEntries(std::uint32_t addr);

    NsxTag* tag_;
    State state_ = State::Nowhere;
    std::vector<nsx::Frame> frames_;  // root first; the last one is the current page
    bool onBranch_ = false;
    // The current leaf: a copy of the page, decoded lazily front to back.
    std::uint32_t leafAddr_ = 0;
    std::uint8_t leafPage_[nsx::kPageSize];
    std::optional<nsx::LeafDecoder> dec_;
    int leafN_ = 0;
    int base_ = 0;  // entries [base_, decoded_) of the leaf are decoded
    int decoded_ = 0;
    bool hasPred_ = false;  // the key left of the leaf, for decoding from its start
    std::uint8_t pred_[nsx::kMaxKeyLen];
    std::vector<std::uint8_t> leafKeys_;
    std::vector<std::uint32_t> leafRecnos_;
    std::string key_;
    std::uint32_t recno_ = 0;
    std::uint64_t seenMods_ = 0;
};

}  // namespace xb
