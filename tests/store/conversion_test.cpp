// The conversions at the boundary between Unicode texts and the catalogue's
// Windows-1252 bytes, and the 64-bit whole numbers of file sizes.
#include <gtest/gtest.h>

#include "store/conversion.h"
#include "store/xbase/error.h"

namespace {

TEST(Cp1252, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const QString text = qv::fromCp1252(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(qv::toCp1252(text), all);
}

TEST(Cp1252, GermanTextAndPunctuation) {
    const struct {
        const char* utf8;
        std::string bytes;
    } cases[] = {
        {"Größe",
         "Gr\xF6\xDF"
         "e"},
        {"ÄÖÜäöü", "\xC4\xD6\xDC\xE4\xF6\xFC"},
        {"€ „“ – … ‰", "\x80 \x84\x93 \x96 \x85 \x89"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qv::toCp1252(QString::fromUtf8(c.utf8)), c.bytes) << c.utf8;
        EXPECT_EQ(qv::fromCp1252(c.bytes), QString::fromUtf8(c.utf8)) << c.utf8;
    }
}

TEST(Cp1252, CharactersWithoutAFormBecomeOneQuestionMarkEach) {
    EXPECT_EQ(qv::toCp1252(QString::fromUtf8("Ω→\U0001F600x")), "???x");
    // A lone half of a surrogate pair.
    QString broken = QStringLiteral("a");
    broken.append(QChar(0xD800));
    broken.append(QLatin1Char('b'));
    EXPECT_EQ(qv::toCp1252(broken), "a?b");
}

TEST(StrToInt64, TakesNumbersBeyondThirtyTwoBits) {
    EXPECT_EQ(qv::strToInt64(QStringLiteral("4294967295")), 4294967295LL);
    EXPECT_EQ(qv::strToInt64(QStringLiteral(" -9223372036854775808 ")), INT64_MIN);
    EXPECT_EQ(qv::strToInt64(QStringLiteral("+9223372036854775807")), INT64_MAX);
    for (const QString text : {"9223372036854775808", "-9223372036854775809", "", "1e3"}) {
        try {
            qv::strToInt64(text);
            ADD_FAILURE() << "accepted: " << text.toStdString();
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.text(), "'" + text.toStdString() + "' ist kein gültiger Integerwert");
        }
    }
}

}  // namespace
