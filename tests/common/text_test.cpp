// Number, trimming, case and field rules the node's texts depend on.
#include "common/text.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

using namespace gw;

TEST(Numbers, NumericTestAcceptsWholeNumbersOnly) {
    for (const char* yes : {"1", " 10 ", "-1", "+3", "3.7", ".5", "1e3", "0.3"})
        EXPECT_TRUE(isNumeric(yes)) << yes;
    for (const char* no : {"", " ", "x", "1x", "1 2", "-", ".", "1e", "SMS_123ABC"})
        EXPECT_FALSE(isNumeric(no)) << no;
}

TEST(Numbers, ValueTakesLeadingNumber) {
    EXPECT_EQ(numericValue("12abc"), 12.0);
    EXPECT_EQ(numericValue("x"), 0.0);
    EXPECT_EQ(numericValue("  -3.5 "), -3.5);
    EXPECT_EQ(numericValue("1"), 1.0);
    EXPECT_EQ(numericValue(""), 0.0);
}

TEST(Numbers, RoundingHalvesGoToEven) {
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(3.7), 4);
    EXPECT_EQ(roundHalfEven(0.3), 0);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(-1.5), -2);
    EXPECT_EQ(roundHalfEven(-2.6), -3);
}

TEST(Numbers, OutOfRangeValuesSaturateInsteadOfOverflowing) {
    EXPECT_EQ(roundHalfEven(numericValue("1e300")), std::numeric_limits<long long>::max());
    EXPECT_EQ(roundHalfEven(numericValue("-1e400")), std::numeric_limits<long long>::min());
    EXPECT_EQ(roundHalfEven(std::nan("")), 0);
    EXPECT_EQ(clampedWhole(numericValue("99999999999"), 0, 32767), 32767);
    EXPECT_EQ(clampedWhole(-7.5, 0, 120), 0);
    EXPECT_EQ(clampedWhole(2.5, 0, 120), 2);
}

TEST(Text, TrimRemovesSpacesOnly) {
    EXPECT_EQ(trim("  a b  "), "a b");
    EXPECT_EQ(trim("\tx\r"), "\tx\r");
    EXPECT_EQ(trim("   "), "");
    EXPECT_EQ(trimLeft("  a "), "a ");
    EXPECT_EQ(trimRight("  a "), "  a");
}

TEST(Text, CaseInsensitiveSearch) {
    EXPECT_EQ(findNoCase("*** connected to N0CALL", "CONNECTED TO "), 4u);
    EXPECT_EQ(findNoCase("abcABC", "abc", 1), 3u);
    EXPECT_EQ(findNoCase("abc", "abcd"), std::string::npos);
    EXPECT_EQ(findNoCase("abc", "x", 10), std::string::npos);
    EXPECT_TRUE(containsNoCase("S1A*** disconnected", "DISCONNECTED"));
    EXPECT_EQ(toUpper("k4abc-5\xe9"), "K4ABC-5\xe9");
}

TEST(Text, Formats) {
    EXPECT_EQ(formatDigits(0), "");
    EXPECT_EQ(formatDigits(1234), "1234");
    EXPECT_EQ(formatDigits(123456), "123456");
    EXPECT_EQ(leftField("SMS_12345678", 14), "SMS_12345678  ");
    EXPECT_EQ(leftField("", 3), "   ");
    EXPECT_EQ(leftField("ABCDEFGHIJKLMNOP", 14), "ABCDEFGHIJKLMNOP");
}

TEST(Text, Latin1RoundTripAtWidgetBoundary) {
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        bytes.push_back(static_cast<char>(c));
    EXPECT_EQ(fromQString(toQString(bytes)), bytes);
}
