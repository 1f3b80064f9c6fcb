#include "store/conversion.h"

#include <gtest/gtest.h>

#include "store/xbase/error.h"

namespace {

TEST(StrToInt, AcceptsDecimalWholeNumbers) {
    const std::vector<std::pair<QString, int>> cases = {
        {"0", 0},
        {"42", 42},
        {"-7", -7},
        {"+5", 5},
        {" 3", 3},
        {"3 ", 3},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(qv::strToInt(text), value) << text.toStdString();
}

TEST(StrToInt, RejectsEverythingElseWithTheConversionMessage) {
    for (const QString text : {"", " ", "-", "+", "drei", "4x", "1 2", "1.5", "0x10", "2147483648",
                               "-2147483649", "99999999999999999999"}) {
        try {
            qv::strToInt(text);
            ADD_FAILURE() << "accepted: " << text.toStdString();
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Conversion);
            EXPECT_EQ(e.text(), "'" + text.toStdString() + "' ist kein gültiger Integerwert");
        }
    }
}

}  // namespace
