#include "namesearch/core/textscan.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

constexpr std::size_t kSampleChunks = 64;
constexpr std::size_t kSampleChunk = 4096;

inline std::uint32_t gram(unsigned x, unsigned y, unsigned z) {
    return ((x * 3001u) ^ (y * 61u) ^ z) & (kFingerprintBytes * 8 - 1);
}

// Checks the candidates of one mask: bit k set means the literal may start
// at `at + k`.
template <typename Mask>
inline std::size_t confirm(Mask mask, const char* p, std::size_t at, const std::string& literal) {
    while (mask) {
        const std::size_t k = static_cast<std::size_t>(__builtin_ctzll(mask));
        if (std::memcmp(p + at + k, literal.data(), literal.size()) == 0) return at + k;
        mask &= mask - 1;
    }
    return LiteralFinder::npos;
}

// The start positions from `s` to `last` one by one, after a kernel's last
// full vector.
inline std::size_t findTail(const char* p, std::size_t s, std::size_t last,
                            const std::string& literal, std::size_t first, std::size_t second) {
    for (; s <= last; ++s)
        if (p[s + first] == literal[first] && p[s + second] == literal[second] &&
            std::memcmp(p + s, literal.data(), literal.size()) == 0)
            return s;
    return LiteralFinder::npos;
}

// Both kernels look at every start position s <= n - literal size in steps
// of the vector width; the loads at s + first and s + second stay inside the
// text because both distances are below the literal's size.
__attribute__((target("avx2"))) std::size_t findWide(const char* p, std::size_t n,
                                                     const std::string& literal, std::size_t first,
                                                     std::size_t second) {
    const std::size_t last = n - literal.size();  // the last start
    const __m256i a = _mm256_set1_epi8(literal[first]);
    const __m256i b = _mm256_set1_epi8(literal[second]);
    std::size_t s = 0;
    for (; s + 64 <= last + 1; s += 64) {
        const char* q = p + s;
        const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + first));
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + second));
        const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32 + first));
        const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32 + second));
        const __m256i m0 = _mm256_and_si256(_mm256_cmpeq_epi8(a0, a), _mm256_cmpeq_epi8(b0, b));
        const __m256i m1 = _mm256_and_si256(_mm256_cmpeq_epi8(a1, a), _mm256_cmpeq_epi8(b1, b));
        if (_mm256_testz_si256(_mm256_or_si256(m0, m1), _mm256_or_si256(m0, m1))) continue;
        const std::uint64_t mask =
            static_cast<std::uint32_t>(_mm256_movemask_epi8(m0)) |
            (static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(m1)))
             << 32);
        const std::size_t hit = confirm(mask, p, s, literal);
        if (hit != LiteralFinder::npos) return hit;
    }
    return findTail(p, s, last, literal, first, second);
}

std::size_t findNarrow(const char* p, std::size_t n, const std::string& literal, std::size_t first,
                       std::size_t second) {
    const std::size_t last = n - literal.size();
    const __m128i a = _mm_set1_epi8(literal[first]);
    const __m128i b = _mm_set1_epi8(literal[second]);
    std::size_t s = 0;
    for (; s + 16 <= last + 1; s += 16) {
        const char* q = p + s;
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + first));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + second));
        const unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, a), _mm_cmpeq_epi8(y, b))));
        if (!mask) continue;
        const std::size_t hit = confirm(mask, p, s, literal);
        if (hit != LiteralFinder::npos) return hit;
    }
    return findTail(p, s, last, literal, first, second);
}

bool wideVectors() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

}  // namespace

ByteCounts sampleByteCounts(const char* text, std::size_t n) {
    ByteCounts counts{};
    const std::size_t step = std::max(kSampleChunk, n / kSampleChunks);
    for (std::size_t at = 0; at < n; at += step) {
        const std::size_t end = std::min(n, at + kSampleChunk);
        for (std::size_t i = at; i < end; ++i)
            ++counts[static_cast<unsigned char>(text[i])];
    }
    return counts;
}

LiteralFinder::LiteralFinder(std::string_view literal, const ByteCounts& counts)
    : m_literal(literal) {
    auto countAt = [&](std::size_t i) { return counts[static_cast<unsigned char>(literal[i])]; };
    for (std::size_t i = 1; i < literal.size(); ++i)
        if (countAt(i) < countAt(m_first)) m_first = i;
    m_second = m_first;
    for (std::size_t i = 0; i < literal.size(); ++i)
        if (i != m_first && (m_second == m_first || countAt(i) < countAt(m_second))) m_second = i;
}

std::size_t LiteralFinder::find(const char* p, std::size_t n) const {
    if (m_literal.empty() || n < m_literal.size()) return npos;
    if (m_literal.size() == 1) {
        const void* hit = std::memchr(p, m_literal[0], n);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - p) : npos;
    }
    return wideVectors() ? findWide(p, n, m_literal, m_first, m_second)
                         : findNarrow(p, n, m_literal, m_first, m_second);
}

void addToFingerprint(std::uint8_t* fingerprint, const char* text, std::size_t n) {
    if (n < 3) return;
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    unsigned x = t[0], y = t[1];
    for (std::size_t i = 2; i < n; ++i) {
        const unsigned z = t[i];
        const std::uint32_t bit = gram(x, y, z);
        fingerprint[bit >> 3] |= static_cast<std::uint8_t>(1u << (bit & 7));
        x = y;
        y = z;
    }
}

std::vector<std::uint16_t> fingerprintBits(std::string_view literal) {
    std::vector<std::uint16_t> bits;
    const auto* t = reinterpret_cast<const unsigned char*>(literal.data());
    for (std::size_t i = 2; i < literal.size(); ++i)
        bits.push_back(static_cast<std::uint16_t>(gram(t[i - 2], t[i - 1], t[i])));
    std::sort(bits.begin(), bits.end());
    bits.erase(std::unique(bits.begin(), bits.end()), bits.end());
    return bits;
}

bool fingerprintHas(const std::uint8_t* fingerprint, const std::vector<std::uint16_t>& bits) {
    for (const std::uint16_t bit : bits)
        if (!(fingerprint[bit >> 3] & (1u << (bit & 7)))) return false;
    return true;
}

}  // namespace qv
