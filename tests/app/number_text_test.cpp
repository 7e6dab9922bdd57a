#include <gtest/gtest.h>

#include "platform/number_text.h"

namespace halvex {
namespace {

TEST(LeadingNumber, ReadsTheLongestNumericPrefix) {
    EXPECT_DOUBLE_EQ(leadingNumber("0.48\\0.48"), 0.48);
    EXPECT_DOUBLE_EQ(leadingNumber("  -12.5e1mm"), -125.0);
    EXPECT_DOUBLE_EQ(leadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(leadingNumber("+3 "), 3.0);
    EXPECT_DOUBLE_EQ(leadingNumber("1e"), 1.0);   // an exponent needs digits
    EXPECT_DOUBLE_EQ(leadingNumber("7.e2"), 700.0);
    EXPECT_DOUBLE_EQ(leadingNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber("abc"), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber("-"), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber("1e999"), 0.0);  // not a finite number
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(-3.5), -4);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(1e12), INT32_MAX);
    EXPECT_EQ(roundHalfEven16(40000), 32767);
    EXPECT_EQ(roundHalfEven16(-40000), -32768);
    EXPECT_EQ(textToInt("400.5"), 400);
    EXPECT_EQ(textToInt("401.5"), 402);
    EXPECT_EQ(textToInt("x"), 0);
}

TEST(FormatFixed, RoundsHalfAwayFromZeroOnTheDecimalForm) {
    EXPECT_EQ(formatFixed(-24.0, "0.00"), "-24.00");
    EXPECT_EQ(formatFixed(2.675, "0.00"), "2.68");    // binary 2.67499999... still reads 2.675
    EXPECT_EQ(formatFixed(-2.675, "0.00"), "-2.68");
    EXPECT_EQ(formatFixed(0.5, "0"), "1");
    EXPECT_EQ(formatFixed(-0.5, "0"), "-1");
    EXPECT_EQ(formatFixed(1.5, "0"), "2");
    EXPECT_EQ(formatFixed(2.5, "0"), "3");
    EXPECT_EQ(formatFixed(9.995, "0.00"), "10.00");
    EXPECT_EQ(formatFixed(-0.004, "0.00"), "0.00");  // no sign on a zero result
    EXPECT_EQ(formatFixed(2, "0000"), "0002");
    EXPECT_EQ(formatFixed(12345, "0000"), "12345");
    EXPECT_EQ(formatFixed(3.25, " 0.0"), " 3.3");
    EXPECT_EQ(formatFixed(0.125, " 0.00"), " 0.13");
    EXPECT_EQ(formatFixed(240, " 0"), " 240");
    EXPECT_EQ(formatFixed(0.0004, "0.000"), "0.000");
    EXPECT_EQ(formatFixed(1234567.891, "0.0"), "1234567.9");
}

TEST(Str, LeadingBlankForNonNegativeNumbers) {
    EXPECT_EQ(str(500), " 500");
    EXPECT_EQ(str(-3), "-3");
    EXPECT_EQ(str(int16_t{0}), " 0");
    EXPECT_EQ(strSingle(0.5f), " 0.5");
    EXPECT_EQ(strSingle(-12.25f), "-12.25");
    EXPECT_EQ(strSingle(12.3456f), " 12.3456");  // seven significant digits, no float noise
    EXPECT_EQ(strDouble(0.1), " 0.1");
    EXPECT_EQ(trimmedInt(-500), "-500");
}

}  // namespace
}  // namespace halvex
