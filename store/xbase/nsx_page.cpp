#include "store/xbase/nsx_page.h"

#include <algorithm>
#include <bit>

namespace xb::nsx {

bool isKnownKeyType(std::uint16_t code) {
    switch (static_cast<KeyType>(code)) {
        case KeyType::Character:
        case KeyType::Numeric:
        case KeyType::NumericAlt:
        case KeyType::Date:
        case KeyType::Timestamp:
        case KeyType::Logical:
            return true;
    }
    return false;
}

namespace {

// The first position from `i` on where src[0, n) holds an FF byte or a run
// of four equal bytes starts, or n: the bytes before it go out as they are.
// Eight bytes at a time: a window starting every five bytes sees each run
// of four and each FF byte that starts in its first five.
int nextSpecial(const std::uint8_t* src, int i, int n) {
    static_assert(std::endian::native == std::endian::little);
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const auto zeroBytes = [](std::uint64_t v) { return ~(((v & kLow7) + kLow7) | v | kLow7); };
    for (; i + 8 <= n; i += 5) {
        std::uint64_t x;
        std::memcpy(&x, src + i, 8);
        const std::uint64_t ff = zeroBytes(~x) & 0x0000008080808080ull;
        // Byte k (k < 7) marks src[i + k] == src[i + k + 1].
        const std::uint64_t same = zeroBytes(x ^ (x >> 8)) & 0x0080808080808080ull;
        const std::uint64_t found = ff | (same & (same >> 8) & (same >> 16));
        if (found != 0) return i + std::countr_zero(found) / 8;
    }
    for (; i < n; ++i) {
        const std::uint8_t b = src[i];
        if (b == 0xFF) return i;
        if (i + 3 < n && src[i + 1] == b && src[i + 2] == b && src[i + 3] == b) return i;
    }
    return n;
}

// Run-length encodes src[0, n) into out and returns the encoded length, or -1
// as soon as it would reach `limit` bytes (the raw form is used then). Runs of
// four or more equal bytes become FF count byte; a single FF becomes FF 01 and
// longer FF runs FF count FF.
int rleEncode(const std::uint8_t* src, int n, std::uint8_t* out, int limit) {
    int o = 0;
    int i = 0;
    while (i < n) {
        const int plainEnd = nextSpecial(src, i, n);
        if (plainEnd > i) {
            const int len = plainEnd - i;
            if (o + len >= limit) return -1;
            std::memcpy(out + o, src + i, static_cast<std::size_t>(len));
            o += len;
            i = plainEnd;
            if (i == n) break;
        }
        const std::uint8_t b = src[i];
        int run = 1;
        while (i + run < n && src[i + run] == b)
            ++run;
        if (b == 0xFF) {
            if (o + (run == 1 ? 2 : 3) >= limit) return -1;
            out[o++] = 0xFF;
            if (run == 1) {
                out[o++] = 0x01;
            } else {
                out[o++] = static_cast<std::uint8_t>(run);
                out[o++] = 0xFF;
            }
        } else {  // four or more
            if (o + 3 >= limit) return -1;
            out[o++] = 0xFF;
            out[o++] = static_cast<std::uint8_t>(run);
            out[o++] = b;
        }
        i += run;
    }
    return o;
}

// Short copies and fills inline: the libc calls and the string instructions
// a compiler turns such loops into (rep movsb/stosq) cost more than the few
// bytes a key remainder has. The empty asm keeps the loops as they are.
// The last piece of a copy or fill overlaps the one before it instead of
// going byte by byte.
inline void copySmall(std::uint8_t* dst, const std::uint8_t* src, int n) {
    if (n >= 8) {
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, src + i, 8);
            std::memcpy(dst + i, &w, 8);
            __asm__("" : "+r"(i));
        }
        if (i < n) {
            std::uint64_t w;
            std::memcpy(&w, src + n - 8, 8);
            std::memcpy(dst + n - 8, &w, 8);
        }
        return;
    }
    if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, src, 4);
        std::memcpy(&b, src + n - 4, 4);
        std::memcpy(dst, &a, 4);
        std::memcpy(dst + n - 4, &b, 4);
        return;
    }
    if (n >= 2) {
        std::uint16_t a, b;
        std::memcpy(&a, src, 2);
        std::memcpy(&b, src + n - 2, 2);
        std::memcpy(dst, &a, 2);
        std::memcpy(dst + n - 2, &b, 2);
        return;
    }
    if (n == 1) dst[0] = src[0];
}

inline void fillSmall(std::uint8_t* dst, std::uint8_t b, int n) {
    const std::uint64_t w = 0x0101010101010101ull * b;
    if (n >= 8) {
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            std::memcpy(dst + i, &w, 8);
            __asm__("" : "+r"(i));
        }
        if (i < n) std::memcpy(dst + n - 8, &w, 8);
        return;
    }
    for (int i = 0; i < n; ++i) {
        dst[i] = b;
        __asm__("" : "+r"(i));
    }
}

// Index of the first 0xFF byte in data[from, m), or m; `limit` is how many
// bytes from `data` on may be read (at least m).
inline int findFF(const std::uint8_t* data, int from, int m, int limit) {
    int j = from;
    for (; j + 8 <= limit && j < m; j += 8) {
        std::uint64_t w;
        std::memcpy(&w, data + j, 8);
        const std::uint64_t t = ~w;  // 0xFF bytes become zero
        const std::uint64_t z = (t - 0x0101010101010101ull) & ~t & 0x8080808080808080ull;
        if (z) return std::min(m, j + (__builtin_ctzll(z) >> 3));
    }
    while (j < m && data[j] != 0xFF)
        ++j;
    return std::min(j, m);
}

// Keys are compared eight bytes at a time: file-table keys are long (a path
// of up to a few hundred bytes) and neighbours share most of them.
int commonPrefix(const std::uint8_t* a, const std::uint8_t* b, int n) {
    static_assert(std::endian::native == std::endian::little);
    int d = 0;
    for (; d + 8 <= n; d += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + d, 8);
        std::memcpy(&y, b + d, 8);
        if (x != y) return d + std::countr_zero(x ^ y) / 8;  // the first byte is the lowest
    }
    while (d < n && a[d] == b[d])
        ++d;
    return d;
}

// Length of key[0, n) without its trailing run of `trail` bytes, not going
// below `floor`.
int trimmedEnd(const std::uint8_t* key, int n, std::uint8_t trail, int floor) {
    const std::uint64_t t = 0x0101010101010101ull * trail;
    int end = n;
    while (end - 8 >= floor) {
        std::uint64_t w;
        std::memcpy(&w, key + end - 8, 8);
        if (w != t) break;
        end -= 8;
    }
    while (end > floor && key[end - 1] == trail)
        --end;
    return end;
}

}  // namespace

int encodeLeafEntry(std::uint8_t* out, const KeyFormat& f, int recLen, std::uint32_t recno,
                    const std::uint8_t* key, const std::uint8_t* prev) {
    putUnLE(out, recLen, recno);
    const int d = prev ? commonPrefix(key, prev, f.keyLen) : 0;
    if (prev && d == f.keyLen) {
        out[recLen] = static_cast<std::uint8_t>(recLen + 1);
        return recLen + 1;
    }
    const int end = trimmedEnd(key, f.keyLen, f.trail, d);
    std::uint8_t* data = out + recLen + 2;
    const int rawLen = f.keyLen - d;
    int m = 0;
    if (end > d) {
        m = rleEncode(key + d, end - d, data, rawLen);
        if (m < 0) {
            std::memcpy(data, key + d, static_cast<std::size_t>(rawLen));
            m = rawLen;
        }
    }
    const int size = recLen + 2 + m;
    out[recLen] = static_cast<std::uint8_t>(size & 0xFF);  // 256 is stored as 0
    out[recLen + 1] = static_cast<std::uint8_t>(d);
    return size;
}

int leafEntrySize(const KeyFormat& f, int recLen, const std::uint8_t* key,
                  const std::uint8_t* prev) {
    std::uint8_t tmp[kMaxEntrySize + 8];
    return encodeLeafEntry(tmp, f, recLen, 0, key, prev);
}

LeafDecoder::LeafDecoder(const std::uint8_t* page, const KeyFormat& f, const std::uint8_t* pred)
    : page_(page), f_(f) {
    recLen_ = page[1];
    count_ = getU16LE(page + 2);
    used_ = getU16LE(page + 4);
    offset_ = kLeafHeader;
    if (recLen_ < 1 || recLen_ > 4) {
        error_ = "ungültige Breite der Satznummern";
    } else if (used_ < kLeafHeader || used_ > kPageSize) {
        error_ = "unmöglicher belegter Bereich";
    } else if (f.keyLen < 1 || f.keyLen > kMaxKeyLen) {
        error_ = "unmögliche Schlüssellänge";
    }
    if (pred && !error_) {
        std::memcpy(pred_, pred, static_cast<std::size_t>(f.keyLen));
        last_ = pred_;
    }
}

void LeafDecoder::resume(int index, int offset, const std::uint8_t* key, std::uint32_t recno) {
    if (error_) return;
    index_ = index;
    offset_ = offset;
    if (offset + recLen_ + 1 > used_) {
        error_ = "Eintrag reicht über den belegten Bereich hinaus";
        return;
    }
    const int sizeByte = page_[offset + recLen_];
    size_ = sizeByte == recLen_ + 1 ? sizeByte : sizeByte == 0 ? 256 : sizeByte;
    std::memcpy(buf_[cur_], key, static_cast<std::size_t>(f_.keyLen));
    last_ = buf_[cur_];
    before_ = nullptr;
    recno_ = recno;
}

void LeafIndex::shift(int idx, int dir, int delta, int changedOffset) {
    for (int k = 0; k < n; ++k) {
        const int e = entry(k);
        if (e < idx) continue;
        if (dir < 0 && e == idx) {
            // The removed entry was a restart point: drop it.
            const auto at = points.begin() +
                            static_cast<std::ptrdiff_t>(static_cast<std::size_t>(k) * stride());
            points.erase(at, at + static_cast<std::ptrdiff_t>(stride()));
            --n;
            --k;
            continue;
        }
        const bool changed = dir > 0 ? e == idx : e == idx + 1;
        std::uint8_t* d = points.data() + static_cast<std::size_t>(k) * stride();
        putI32(d, e + dir);
        putI32(d + 4, changed ? changedOffset : offset(k) + delta);
    }
}

bool LeafDecoder::decode(std::uint8_t* dst, bool own) {
    if (error_) return false;
    if (index_ + 1 >= count_) return false;
    const int off = index_ < 0 ? kLeafHeader : offset_ + size_;
    if (off + recLen_ + 1 > used_) return fail("Eintrag reicht über den belegten Bereich hinaus");
    const std::uint8_t* e = page_ + off;
    const std::uint32_t recno = getUnLE(e, recLen_);
    const int sizeByte = e[recLen_];
    const int keyLen = f_.keyLen;
    if (sizeByte == recLen_ + 1) {
        if (!last_) return fail("erster Eintrag ohne Vorgänger als Wiederholung kodiert");
        if (dst != last_) copySmall(dst, last_, keyLen);
        size_ = recLen_ + 1;
        dup_ = keyLen;
        fullDup_ = true;
    } else {
        const int len = sizeByte == 0 ? 256 : sizeByte;
        if (len < recLen_ + 2) return fail("unmögliche Eintragslänge");
        if (off + len > used_) return fail("Eintrag reicht über den belegten Bereich hinaus");
        const int d = e[recLen_ + 1];
        const int m = len - recLen_ - 2;
        if (m > kMaxKeyLen) return fail("Datenlänge eines Eintrags über 250");
        if (d > keyLen || d + m > keyLen) return fail("Eintrag länger als der Schlüssel");
        if (d > 0) {
            if (!last_) return fail("erster Eintrag ohne Vorgänger verweist auf einen Vorgänger");
            if (dst != last_) copySmall(dst, last_, d);
        }
        const std::uint8_t* data = e + recLen_ + 2;
        if (d + m == keyLen) {
            copySmall(dst + d, data, m);
        } else {
            int pos = d;
            int i = 0;
            while (i < m) {
                // Literal bytes up to the next FF go in one copy.
                const int j = findFF(data, i, m, static_cast<int>(page_ + kPageSize - data));
                const int lit = j - i;
                if (lit > 0) {
                    if (pos + lit > keyLen) return fail("RLE-Daten länger als der Schlüssel");
                    copySmall(dst + pos, data + i, lit);
                    pos += lit;
                    i += lit;
                    continue;
                }
                if (i + 1 >= m) return fail("abgeschnittene RLE-Folge");
                const int c = data[i + 1];
                if (c == 1) {
                    if (pos >= keyLen) return fail("RLE-Daten länger als der Schlüssel");
                    dst[pos++] = 0xFF;
                    i += 2;
                    continue;
                }
                if (i + 2 >= m) return fail("abgeschnittene RLE-Folge");
                if (pos + c > keyLen) return fail("RLE-Daten länger als der Schlüssel");
                std::memset(dst + pos, data[i + 2], static_cast<std::size_t>(c));
                pos += c;
                i += 3;
            }
            fillSmall(dst + pos, f_.trail, keyLen - pos);
        }
        size_ = len;
        dup_ = d;
        fullDup_ = false;
    }
    offset_ = off;
    recno_ = recno;
    before_ = last_;
    last_ = dst;
    if (own) cur_ ^= 1;
    ++index_;
    return true;
}

bool encodeLeafPage(std::uint8_t* page, std::uint8_t type, const KeyFormat& f, int recLen,
                    const std::uint8_t* keys, const std::uint32_t* recnos, int from, int to) {
    int off = kLeafHeader;
    const std::size_t kl = static_cast<std::size_t>(f.keyLen);
    std::uint8_t tmp[kMaxEntrySize + 8];
    for (int i = from; i < to; ++i) {
        const std::uint8_t* prev = i == from ? nullptr : keys + (i - 1) * kl;
        const int n = encodeLeafEntry(tmp, f, recLen, recnos[i], keys + i * kl, prev);
        if (off + n > kPageSize) return false;
        std::memcpy(page + off, tmp, static_cast<std::size_t>(n));
        off += n;
    }
    std::memset(page + off, 0, static_cast<std::size_t>(kPageSize - off));
    putLeafHeader(page, type, recLen, to - from, off);
    return true;
}

}  // namespace xb::nsx
