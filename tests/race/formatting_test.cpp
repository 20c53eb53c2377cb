#include "race/Formatting.h"

#include <gtest/gtest.h>

namespace zalvik {
namespace {

TEST(FormatHundredths, ShowsTwoDecimalsPaddedToTwoIntegerDigits) {
    struct Case {
        double v;
        const char* expected;
    } const cases[] = {
        // Fractions: padded to two digits, one integer digit gets a leading zero.
        {61.5, "61.50"},
        {75.3, "75.30"},
        {61.25, "61.25"},
        {5.25, "05.25"},
        {5.2, "05.20"},
        {0.5, "00.50"},
        {307.5, "307.50"},
        {288.87, "288.87"},
        {123.456, "123.456"},  // a third decimal is kept, not rounded
        {-0.5, "-0.50"},
        {-5.25, "-5.25"},  // the sign takes the place of the padding zero
        // Whole numbers: a single character gets a leading blank, five or more no decimals.
        {5, " 5.00"},
        {0, " 0.00"},
        {45, "45.00"},
        {123, "123.00"},
        {1234, "1234.00"},
        {12345, "12345"},
        {888888, "888888"},
        {-5, "-5.00"},
        {-1234, "-1234"},
        // The fraction test is made on the seven-digit text, not the exact value.
        {1.0000001, " 1.00"},
        {1234567.4, "1234567"},
        // Values in exponent form pass through the same steps.
        {12345678, "1.234568E+07"},
        {1e7, "1E+07"},
        {0.00001, "1E-05"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatHundredths(c.v).toStdString(), c.expected) << c.v;
}

TEST(FormatHundredths, SinglePrecisionInputsGiveTheSameTextAsTheirDecimalValue) {
    // Callers pass floats: 75.3f widened to double is 75.30000305..., still "75.30".
    EXPECT_EQ(FormatHundredths(75.3f), QStringLiteral("75.30"));
    EXPECT_EQ(FormatHundredths(627.5f), QStringLiteral("627.50"));
    EXPECT_EQ(FormatHundredths(12.13f), QStringLiteral("12.13"));
}

}  // namespace
}  // namespace zalvik
