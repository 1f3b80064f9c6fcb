#include "store/xbase/nsx_page.h"

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

// Run-length encodes src[0, n) into out and returns the encoded length, or -1
// as soon as it would reach `limit` bytes (the raw form is used then). Runs of
// four or more equal bytes become FF count byte; a single FF becomes FF 01 and
// longer FF runs FF count FF.
int rleEncode(const std::uint8_t* src, int n, std::uint8_t* out, int limit) {
    int o = 0;
    int i = 0;
    while (i < n) {
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
        } else if (run >= 4) {
            if (o + 3 >= limit) return -1;
            out[o++] = 0xFF;
            out[o++] = static_cast<std::uint8_t>(run);
            out[o++] = b;
        } else {
            if (o + run >= limit) return -1;
            for (int k = 0; k < run; ++k)
                out[o++] = b;
        }
        i += run;
    }
    return o;
}

int commonPrefix(const std::uint8_t* a, const std::uint8_t* b, int n) {
    int d = 0;
    while (d < n && a[d] == b[d])
        ++d;
    return d;
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
    int end = f.keyLen;
    while (end > d && key[end - 1] == f.trail)
        --end;
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
        std::memcpy(buf_[0], pred, static_cast<std::size_t>(f.keyLen));
        hasPrev_ = true;
    }
}

bool LeafDecoder::next() {
    if (error_) return false;
    if (index_ + 1 >= count_) return false;
    const int off = index_ < 0 ? kLeafHeader : offset_ + size_;
    if (off + recLen_ + 1 > used_) return fail("Eintrag reicht über den belegten Bereich hinaus");
    const std::uint8_t* e = page_ + off;
    const std::uint32_t recno = getUnLE(e, recLen_);
    const int sizeByte = e[recLen_];
    const int keyLen = f_.keyLen;
    std::uint8_t* dst = buf_[cur_ ^ 1];
    if (sizeByte == recLen_ + 1) {
        if (!hasPrev_) return fail("erster Eintrag ohne Vorgänger als Wiederholung kodiert");
        std::memcpy(dst, buf_[cur_], static_cast<std::size_t>(keyLen));
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
            if (!hasPrev_)
                return fail("erster Eintrag ohne Vorgänger verweist auf einen Vorgänger");
            std::memcpy(dst, buf_[cur_], static_cast<std::size_t>(d));
        }
        const std::uint8_t* data = e + recLen_ + 2;
        if (d + m == keyLen) {
            std::memcpy(dst + d, data, static_cast<std::size_t>(m));
        } else {
            int pos = d;
            int i = 0;
            while (i < m) {
                const std::uint8_t b = data[i];
                if (b != 0xFF) {
                    if (pos >= keyLen) return fail("RLE-Daten länger als der Schlüssel");
                    dst[pos++] = b;
                    ++i;
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
            std::memset(dst + pos, f_.trail, static_cast<std::size_t>(keyLen - pos));
        }
        size_ = len;
        dup_ = d;
        fullDup_ = false;
    }
    offset_ = off;
    recno_ = recno;
    cur_ ^= 1;
    hasPrev_ = true;
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
