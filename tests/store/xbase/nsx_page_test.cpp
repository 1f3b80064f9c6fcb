// Leaf entry encoding and decoding, byte for byte.

#include <string>

#include <gtest/gtest.h>

#include "store/xbase/nsx_page.h"
#include "support/testutil.h"

using namespace xb::nsx;

namespace {

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string encode(const KeyFormat& f, int recLen, std::uint32_t recno, const std::string& key,
                   const std::string* prev) {
    std::uint8_t out[kMaxEntrySize + 8];
    const int n = encodeLeafEntry(out, f, recLen, recno, u8(key), prev ? u8(*prev) : nullptr);
    EXPECT_EQ(n, leafEntrySize(f, recLen, u8(key), prev ? u8(*prev) : nullptr));
    return qvtest::toHex(out, static_cast<std::size_t>(n));
}

std::string pad(std::string s, std::size_t n, char c = ' ') {
    s.resize(n, c);
    return s;
}

}  // namespace

TEST(NsxEntryCodec, EncodesLikeTheReferenceExamples) {
    const KeyFormat c10{10, 0x20};
    const std::string abc = pad("ABC", 10), abd = pad("ABD", 10);
    EXPECT_EQ(encode(c10, 2, 1, abc, nullptr), "01000700414243");
    EXPECT_EQ(encode(c10, 2, 2, abd, &abc), "0200050244");
    EXPECT_EQ(encode(c10, 2, 3, abd, &abd), "030003");
    EXPECT_EQ(encode(KeyFormat{20, 0x20}, 2, 7, pad("AAAAAB", 20), nullptr), "07000800ff054142");
    // Numbers: trailing zero bytes are trimmed, the run of FF is compressed.
    const KeyFormat n8{8, 0x00};
    const std::string one("\xBF\xF0\0\0\0\0\0\0", 8);
    const std::string minusOne("\x40\x0F\xFF\xFF\xFF\xFF\xFF\xFF", 8);
    EXPECT_EQ(encode(n8, 2, 5, one, nullptr), "05000600bff0");
    EXPECT_EQ(encode(n8, 2, 5, minusOne, nullptr), "05000900400fff06ff");
    // A lone FF takes two bytes.
    EXPECT_EQ(encode(c10, 2, 1, pad("A\xFF", 10), nullptr), "0100070041ff01");
    // All blanks: no data at all.
    EXPECT_EQ(encode(c10, 3, 0x10203, pad("", 10), nullptr), "0302010500");
    // A compressed form exactly as long as the raw rest would read as raw, so
    // the raw form is written: "AAAA" FF compresses to FF 04 41 FF 01.
    const KeyFormat c5{5, 0x20};
    EXPECT_EQ(encode(c5, 2, 1, "AAAA\xFF", nullptr), "0100090041414141ff");
    // 250 raw bytes with 4-byte record numbers: the size byte 256 is stored as 0.
    std::string raw(250, 'x');
    for (int i = 0; i < 250; i += 2)
        raw[static_cast<std::size_t>(i)] = 'y';
    const std::string e = encode(KeyFormat{250, 0x20}, 4, 1, raw, nullptr);
    EXPECT_EQ(e.substr(0, 12), "010000000000");
}

TEST(NsxEntryCodec, RoundTripsThroughALeaf) {
    const KeyFormat f{12, 0x20};
    const std::string keys[] = {pad("", 12),
                                pad("A", 12),
                                pad("AAAAAAAA", 12),
                                pad("AAAAAAAA", 12),
                                pad("AAAAAAAB\xFF\xFF", 12),
                                std::string(12, '\xFF'),
                                pad("\xFF", 12, '\x01')};
    std::string flat;
    std::uint32_t recnos[std::size(keys)];
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        flat += keys[i];
        recnos[i] = static_cast<std::uint32_t>(70000 + i);
    }
    std::uint8_t page[kPageSize];
    ASSERT_TRUE(encodeLeafPage(page, kTypeRootLeaf, f, 3, u8(flat), recnos, 0,
                               static_cast<int>(std::size(keys))));
    LeafDecoder d(page, f, nullptr);
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        ASSERT_TRUE(d.next()) << i << ": " << (d.error() ? d.error() : "");
        EXPECT_EQ(qvtest::toHex(d.key(), 12), qvtest::toHex(keys[i])) << i;
        EXPECT_EQ(d.recno(), recnos[i]);
    }
    EXPECT_FALSE(d.next());
    EXPECT_EQ(d.error(), nullptr);
    EXPECT_EQ(d.end(), d.used());
}

// Shared prefix and trailing blanks at every position of a key whose length
// is not a multiple of the eight bytes compared at once.
TEST(NsxEntryCodec, SharedPrefixAndTrailAtEveryPosition) {
    const int len = 37;
    const KeyFormat f{len, 0x20};
    const std::string base = "ABCDEFGHIJ LMNOPQRSTUVWXYZ0123456789!";
    for (const char mark : {'a', ' '})
        for (int diff = 0; diff <= len; ++diff) {
            for (int body = diff; body <= len; ++body) {
                // prev = base; key has `mark` at `diff` and is blank from `body`
                // on.
                std::string key = base;
                if (diff < len) key[static_cast<std::size_t>(diff)] = mark;
                for (int i = body; i < len; ++i)
                    key[static_cast<std::size_t>(i)] = ' ';
                int shared = 0;
                while (shared < len && key[static_cast<std::size_t>(shared)] ==
                                           base[static_cast<std::size_t>(shared)])
                    ++shared;
                int end = len;
                while (end > shared && key[static_cast<std::size_t>(end - 1)] == ' ')
                    --end;
                std::uint8_t out[kMaxEntrySize + 8];
                const int n = encodeLeafEntry(out, f, 2, 9, u8(key), u8(base));
                SCOPED_TRACE(testing::Message()
                             << "mark '" << mark << "', diff " << diff << ", body " << body);
                if (shared == len) {
                    EXPECT_EQ(n, 3);  // the duplicate form
                    continue;
                }
                EXPECT_EQ(out[3], shared);
                EXPECT_EQ(n, 4 + end - shared);  // letters do not compress
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(out) + 4,
                                      static_cast<std::size_t>(n - 4)),
                          key.substr(static_cast<std::size_t>(shared),
                                     static_cast<std::size_t>(end - shared)));
            }
        }
}

TEST(NsxEntryCodec, DecoderStopsOnDamage) {
    const KeyFormat f{10, 0x20};
    struct Case {
        const char* what;
        std::string hex;  // page bytes from offset 0
    } cases[] = {
        {"record width 0", "03000100090000"},
        {"record width 5", "03050100090000"},
        {"used area 2000", "0302010d07"},
        {"entry past the used area",
         "030201000a00"
         "0100080041424344"},
        {"duplicate form without a predecessor",
         "030201000900"
         "010003"},
        {"DupCount without a predecessor",
         "030201000b00"
         "0100050241"},
        {"DupCount beyond the key",
         "030201000b00"
         "0100050b41"},
        {"RLE run beyond the key",
         "030201000d00"
         "01000700ff0b41"},
        {"cut RLE sequence",
         "030201000b00"
         "01000500ff"},
        {"raw data longer than the key",
         "030201001600"
         "01001000"
         "4142434445464748494a4b4c"},
    };
    for (const Case& c : cases) {
        std::uint8_t page[kPageSize] = {};
        const std::string bytes = qvtest::fromHex(c.hex);
        std::memcpy(page, bytes.data(), bytes.size());
        if (std::string(c.what) == "used area 2000") xb::putU16LE(page + 4, 2000);
        LeafDecoder d(page, f, nullptr);
        while (d.next()) {
        }
        EXPECT_NE(d.error(), nullptr) << c.what;
    }
}

// Inside a long key of letters, runs of four or more equal bytes and FF
// bytes are compressed wherever they start, a run of three never is, and
// every form reads back as the key.
TEST(NsxEntryCodec, RunsAndFFBytesAreFoundAtEveryPositionOfALongKey) {
    const int len = 40;
    const KeyFormat f{len, 0x20};
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";  // then ten blanks
    for (int at = 0; at + 5 <= static_cast<int>(letters.size()); ++at) {
        struct Case {
            std::string insert;
            int grows;  // entry size against the plain key's
        };
        for (const Case& c : {Case{"####", -1}, Case{"###", 0}, Case{"#####", -2}, Case{"\xFF", 1},
                              Case{"\xFF\xFF", 1}}) {
            std::string key = pad(letters, len);
            key.replace(static_cast<std::size_t>(at), c.insert.size(), c.insert);
            SCOPED_TRACE(testing::Message() << "'" << c.insert << "' at " << at);
            std::uint8_t out[kMaxEntrySize + 8];
            const int n = encodeLeafEntry(out, f, 2, 9, u8(key), nullptr);
            EXPECT_EQ(n, 4 + static_cast<int>(letters.size()) + c.grows);
            std::uint8_t page[kPageSize];
            const std::uint32_t recno = 9;
            ASSERT_TRUE(encodeLeafPage(page, kTypeRootLeaf, f, 2, u8(key), &recno, 0, 1));
            LeafDecoder d(page, f, nullptr);
            ASSERT_TRUE(d.next());
            EXPECT_EQ(qvtest::toHex(d.key(), len), qvtest::toHex(key));
        }
    }
}
