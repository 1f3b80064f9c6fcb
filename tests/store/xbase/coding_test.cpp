#include "store/xbase/coding.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "support/testutil.h"

namespace {

struct StrCase {
    double v;
    int w;
    int d;
    const char* expect;
};

// Renderings as other xBase programs print them, including the awkward
// half-way cases whose nearest double lies just below the decimal literal.
TEST(FormatNumber, MatchesReferenceRenderings) {
    const StrCase cases[] = {
        {1.005, 5, 2, " 1.01"},
        {2.675, 5, 2, " 2.68"},
        {8.995, 5, 2, " 9.00"},
        {0.125, 5, 2, " 0.13"},
        {1.015, 5, 2, " 1.02"},
        {1.025, 5, 2, " 1.03"},
        {0.285, 5, 2, " 0.29"},
        {1.45, 4, 1, " 1.5"},
        {5.55, 4, 1, " 5.6"},
        {2.345, 6, 2, "  2.35"},
        {0.5, 1, 0, "1"},
        {1.5, 1, 0, "2"},
        {-0.5, 2, 0, "-1"},
        {-0.5, 5, 2, "-0.50"},
        {0.5, 5, 2, " 0.50"},
        {8.5865, 15, 3, "          8.586"},
        {9910.005, 12, 2, "     9910.00"},
        {0.6255, 13, 3, "        0.625"},
        {0.1 + 0.2, 20, 17, " 0.30000000000000000"},
        {1.0 / 3.0, 20, 18, "0.333333333333333300"},
        {4294967295.5, 10, 0, "4294967296"},
        {123.456, 0, 0, "       123"},
        {1234, 3, 0, "***"},
        {-12, 2, 0, "**"},
        {-1, 1, 0, "*"},
        {99999.5, 5, 0, "*****"},
        {2.5, 1, 0, "3"},
        {-2.5, 2, 0, "-3"},
        {0, 8, 0, "       0"},
        {12345678, 8, 0, "12345678"},
        {99999999, 8, 0, "99999999"},
        {0, 10, 2, "      0.00"},
        {-7, 5, 0, "   -7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(xb::formatNumber(c.v, c.w, c.d), c.expect)
            << "str(" << c.v << "," << c.w << "," << c.d << ")";
    }
}

TEST(NumKey, EncodesOrderPreservingBytes) {
    struct {
        double v;
        const char* hex;
    } cases[] = {{0, "8000000000000000"},       {1, "bff0000000000000"},
                 {-1, "400fffffffffffff"},      {123.45, "c05edccccccccccd"},
                 {2451545, "c142b42c80000000"}, {2460311, "c142c54b80000000"},
                 {-0.0, "8000000000000000"}};
    for (const auto& c : cases) {
        std::uint8_t k[8];
        xb::encodeNumKey(c.v, k);
        EXPECT_EQ(qvtest::toHex(k, 8), c.hex) << c.v;
        EXPECT_EQ(xb::decodeNumKey(k), c.v == 0 ? 0.0 : c.v);
    }
    // Byte order equals numeric order over a spread of values.
    const double vals[] = {-1e9, -123.5, -1, -0.25, 0, 0.25, 1, 2, 99999999, 1e12};
    for (std::size_t i = 0; i + 1 < std::size(vals); ++i) {
        std::uint8_t a[8], b[8];
        xb::encodeNumKey(vals[i], a);
        xb::encodeNumKey(vals[i + 1], b);
        EXPECT_LT(std::memcmp(a, b, 8), 0) << vals[i] << " vs " << vals[i + 1];
    }
}

TEST(Dates, JulianDayRoundTripAndValidation) {
    EXPECT_EQ(xb::dateToJdn(2000, 1, 1), 2451545);
    EXPECT_EQ(xb::dateToJdn(2024, 1, 1), 2460311);
    EXPECT_EQ(xb::dateToJdn(2023, 2, 29), 0);
    EXPECT_EQ(xb::dateToJdn(2024, 2, 29), 2460370);
    EXPECT_EQ(xb::dateToJdn(0, 1, 1), 0);
    for (std::int32_t j = xb::dateToJdn(1, 1, 1); j < xb::dateToJdn(9999, 12, 31); j += 997) {
        int y, m, d;
        xb::jdnToDate(j, y, m, d);
        EXPECT_EQ(xb::dateToJdn(y, m, d), j);
    }
    EXPECT_EQ(xb::parseDbfDate("20241224"), xb::dateToJdn(2024, 12, 24));
    EXPECT_EQ(xb::parseDbfDate("        "), 0);
    EXPECT_EQ(xb::parseDbfDate("00000000"), 0);
    EXPECT_EQ(xb::parseDbfDate("2024x224"), 0);
    char buf[8];
    xb::formatDbfDate(0, buf);
    EXPECT_EQ(std::string(buf, 8), "        ");
    xb::formatDbfDate(2451545, buf);
    EXPECT_EQ(std::string(buf, 8), "20000101");
}

TEST(ParseNumber, ReadsFieldTextLikeTheKeyEvaluator) {
    EXPECT_EQ(xb::parseNumber("   "), 0.0);
    EXPECT_EQ(xb::parseNumber("  123.45"), 12345.0 / 100.0);
    EXPECT_EQ(xb::parseNumber(" -0.50"), -0.5);
    EXPECT_EQ(xb::parseNumber("12abc"), 12.0);
    EXPECT_EQ(xb::parseNumber("99999999"), 99999999.0);
    EXPECT_EQ(xb::parseNumber("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(xb::parseNumber("-9007199254740993"), -9007199254740992.0);
    EXPECT_EQ(xb::parseNumber("1234567890.123456789"), 1234567890.123456789);
    EXPECT_EQ(xb::parseNumber("12345678901234567890"), 12345678901234567890.0);
    EXPECT_TRUE(xb::isBlank("    "));
    EXPECT_FALSE(xb::isBlank("  0 "));
}

}  // namespace
