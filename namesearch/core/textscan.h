// The two tools a search over the name index's texts rests on.
//
// LiteralFinder finds a literal in a run of upper-cased text at the speed
// the memory delivers it: it compares the two rarest bytes of the literal
// (rarest in a sample of the texts) at their distances 32 or 16 positions at
// once and compares the whole literal only where both agree.
//
// Fingerprints let a search pass over a block of texts without reading it:
// every run of three bytes in the block sets one bit of its fingerprint. A
// block whose fingerprint lacks a bit of one of the literal's three-byte
// runs cannot hold the literal. Literals shorter than three bytes pass
// every block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// How often each byte occurs in a sample of `n` bytes of text at `text`.
using ByteCounts = std::array<std::uint32_t, 256>;
ByteCounts sampleByteCounts(const char* text, std::size_t n);

class LiteralFinder {
  public:
    LiteralFinder(std::string_view literal, const ByteCounts& counts);
    // Offset of the first occurrence in the `n` bytes at `p`, or npos.
    std::size_t find(const char* p, std::size_t n) const;
    std::size_t size() const { return m_literal.size(); }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  private:
    std::string m_literal;
    std::size_t m_first = 0;   // position of the rarest byte
    std::size_t m_second = 0;  // position of the next rarest
};

constexpr std::size_t kFingerprintBytes = 8192;

// Sets the bits of the three-byte runs of `n` bytes at `text`.
void addToFingerprint(std::uint8_t* fingerprint, const char* text, std::size_t n);
// The bits a block must have to hold `literal`; empty when it is shorter
// than three bytes.
std::vector<std::uint16_t> fingerprintBits(std::string_view literal);
bool fingerprintHas(const std::uint8_t* fingerprint, const std::vector<std::uint16_t>& bits);

}  // namespace qv
