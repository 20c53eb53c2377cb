#include "app/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zalvik {
namespace {

TEST(LeadingValue, ReadsTheNumberAtTheStartOfATextAsATypedFieldIsRead) {
    struct Case {
        const char16_t* text;
        double expected;
    } const cases[] = {
        {u"", 0},
        {u"abc", 0},
        {u"-", 0},
        {u"+", 0},
        {u".", 0},
        {u"42", 42},
        {u"  42  ", 42},
        {u"+7", 7},
        {u"-12.75", -12.75},
        {u".5", 0.5},
        {u"-.5", -0.5},
        {u"3.", 3},
        {u"007", 7},
        // Blanks, tabs, CR and LF are skipped wherever they stand.
        {u"1 2", 12},
        {u" - 3", -3},
        {u"1\t2\r\n3", 123},
        {u"1 . 5", 1.5},
        // Reading stops at the first character that cannot continue the number.
        {u"12abc", 12},
        {u"1.2.3", 1.2},
        {u"1-2", 1},
        {u"--3", 0},
        {u"12,5", 12},
        // Exponents: only when a digit follows.
        {u"1e3", 1000},
        {u"1E+3", 1000},
        {u"2.5e-2", 0.025},
        {u"1e", 1},
        {u"1e+", 1},
        {u"1e-", 1},
        {u"1 e 2", 100},
        {u"1d2", 1},
        {u".e5", 0},
        // Hexadecimal and octal, 16-bit then 32-bit two's complement.
        {u"&HFF", 255},
        {u"&hff", 255},
        {u"&H 1 0", 16},
        {u"&O17", 15},
        {u"&o17", 15},
        {u"&O178", 15},
        {u"&H7FFF", 32767},
        {u"&H8000", -32768},
        {u"&HFFFF", -1},
        {u"&H10000", 65536},
        {u"&HFFFFFFFF", -1},
        {u"&H80000000", -2147483648.0},
        {u"&H100000000", 4294967296.0},
        {u"&H", 0},
        {u"&HG", 0},
        {u"&5", 0},
        {u"-&H10", 0},
        // Full-width digits are not digits.
        {u"\uFF11\uFF12", 0},
        {u"1\uFF12", 1},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_DOUBLE_EQ(LeadingValue(text), c.expected) << text.toStdString();
    }
}

TEST(LeadingValue, HugeAndTinyDecimalsDoNotWrap) {
    EXPECT_EQ(LeadingValue(QStringLiteral("1e400")), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingValue(QStringLiteral("-1e400")), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingValue(QStringLiteral("1e-400")), 0);
    EXPECT_EQ(LeadingValue(QStringLiteral("0.000001e-399")), 0);
    EXPECT_EQ(LeadingValue(QStringLiteral("1e99999999999")),
              std::numeric_limits<double>::infinity());
    EXPECT_FALSE(std::signbit(LeadingValue(QStringLiteral("-0"))));
}

TEST(ToInt16, RoundsHalvesToEvenAndReportsOverflow) {
    struct Case {
        double v;
        std::optional<int16_t> expected;
    } const cases[] = {
        {0, 0},
        {0.4, 0},
        {0.5, 0},
        {0.6, 1},
        {1.5, 2},
        {2.5, 2},
        {3.5, 4},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {-2.6, -3},
        {12.0, 12},
        {32767, 32767},
        {32767.4, 32767},
        {32767.5, std::nullopt},
        {-32768, -32768},
        {-32768.4, -32768},
        {-32768.5, -32768},
        {-32768.6, std::nullopt},
        {40000, std::nullopt},
        {-40000, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
        {-std::numeric_limits<double>::infinity(), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ToInt16(c.v), c.expected) << c.v;
}

TEST(SingleText, SevenSignificantDigitsFixedOrExponentForm) {
    struct Case {
        float v;
        const char* expected;
    } const cases[] = {
        {0.0f, "0"},
        {-0.0f, "0"},
        {5.0f, "5"},
        {-5.0f, "-5"},
        {0.5f, "0.5"},
        {-0.5f, "-0.5"},
        {307.5f, "307.5"},
        {61.25f, "61.25"},
        {75.3f, "75.3"},
        {123.456f, "123.456"},
        {1.0000001f, "1"},
        {1.234567f, "1.234567"},
        {1.2345678f, "1.234568"},
        {0.1f, "0.1"},
        {888888.0f, "888888"},
        {1234567.0f, "1234567"},
        {9999999.0f, "9999999"},
        // Upper boundary: seven-digit exponent and beyond go to exponent form, also when the
        // rounding to seven digits carries into the eighth.
        {10000000.0f, "1E+07"},
        {12345678.0f, "1.234568E+07"},
        {99999999.0f, "1E+08"},
        {-12345678.0f, "-1.234568E+07"},
        {1e20f, "1E+20"},
        // Lower boundary: exponent -4 is still fixed, -5 is not.
        {0.001f, "0.001"},
        {0.0001f, "0.0001"},
        {0.00012345f, "0.00012345"},
        {0.00001f, "1E-05"},
        {0.000015f, "1.5E-05"},
        {-0.00001f, "-1E-05"},
        {1e-30f, "1E-30"},
    };
    for (const Case& c : cases) EXPECT_EQ(SingleText(c.v).toStdString(), c.expected) << c.v;
}

}  // namespace
}  // namespace zalvik
