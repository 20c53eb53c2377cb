#include "sheet/Format.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sheet/Xml.h"

using namespace sheet;
using namespace sheet::detail;

TEST(SheetFormat, NumberTextIsWhatTheSpreadsheetShows) {
    struct Case {
        double v;
        const char* text;
    } cases[] = {
        {307.5, "307.5"},
        {5, "5"},
        {0.30000000000000004, "0.3"},
        {-0.0, "0"},
        {288.87, "288.87"},
        {1e20, "1E+20"},
        {1.5e-7, "1.5E-07"},
        {123456789012345, "123456789012345"},
        {-12.125, "-12.125"},
        {0.1 + 0.7, "0.8"},
        {1234567.1234567891, "1234567.12345679"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberToText(c.v), c.text) << c.v;
}

TEST(SheetFormat, NumbersInTheFileRoundTripExactly) {
    for (double v : {0.1, 1.0 / 3, 288.87, 1e-300, 12345678901234567.0, -5.0}) {
        double back = 0;
        ASSERT_TRUE(ParseNumber(NumberToXml(v), &back));
        EXPECT_EQ(back, v);
    }
    double x = 0;
    EXPECT_TRUE(ParseNumber(" 1E+20 ", &x));
    EXPECT_EQ(x, 1e20);
    EXPECT_FALSE(ParseNumber("12,5", &x));  // a decimal comma is not a number in the file
    EXPECT_FALSE(ParseNumber("", &x));
}

TEST(SheetFormat, SerialDatesOfThe1900System) {
    struct Case {
        double serial;
        Date date;
    } cases[] = {
        {1, {1900, 1, 1}},         {59, {1900, 2, 28}},   {60, {1900, 2, 29}},
        {61, {1900, 3, 1}},        {45292, {2024, 1, 1}}, {45351.75, {2024, 2, 29}},
        {2958465, {9999, 12, 31}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SerialToDate(c.serial), c.date) << c.serial;
        EXPECT_EQ(DateToSerial(c.date), std::floor(c.serial)) << c.serial;
    }
    EXPECT_EQ(DateToText({2024, 3, 9}), "2024/03/09");
}

TEST(SheetFormat, WhichNumberFormatsAreDates) {
    struct Case {
        const char* code;
        bool date;
    } cases[] = {
        {"yyyy/mm/dd", true},
        {"m/d", true},
        {"[$-411]ggge\"年\"m\"月\"d\"日\"", true},
        {"mmm-yy", true},
        {"General", false},
        {"0.00", false},
        {"h:mm", false},
        {"\"day\" 0", false},
        {"[Red]0.00", false},
        {"0.00E+00", false},
        {"#,##0;[Red]-#,##0", false},
        {"\\d0", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsDateFormatCode(c.code), c.date) << c.code;
    EXPECT_TRUE(IsDateFormatId(14));
    EXPECT_TRUE(IsDateFormatId(31));  // Japanese yyyy年m月d日
    EXPECT_FALSE(IsDateFormatId(2));
    EXPECT_EQ(BuiltinFormatId("0.00"), 2);
    EXPECT_EQ(BuiltinFormatId("General"), 0);
    EXPECT_EQ(BuiltinFormatId("yyyy/mm/dd"), -1);
}

TEST(SheetFormat, CellAddresses) {
    EXPECT_EQ(CellName(7, 5), "E7");
    EXPECT_EQ(CellName(1, 26), "Z1");
    EXPECT_EQ(CellName(1, 27), "AA1");
    EXPECT_EQ(CellName(1048576, 16384), "XFD1048576");
    struct Case {
        const char* ref;
        bool ok;
        int row, col;
    } cases[] = {
        {"E7", true, 7, 5},  {"$k$1000", true, 1000, 11}, {"xfd1048576", true, 1048576, 16384},
        {"A0", false, 0, 0}, {"A1048577", false, 0, 0},   {"XFE1", false, 0, 0},
        {"7E", false, 0, 0}, {"", false, 0, 0},           {"ABCD1", false, 0, 0},
    };
    for (const auto& c : cases) {
        int r = 0, col = 0;
        EXPECT_EQ(ParseCellRef(c.ref, &r, &col), c.ok) << c.ref;
        if (c.ok) {
            EXPECT_EQ(std::make_pair(r, col), std::make_pair(c.row, c.col)) << c.ref;
        }
    }
    int r1, c1, r2, c2;
    ASSERT_TRUE(ParseRange("A1:k1000", &r1, &c1, &r2, &c2));
    EXPECT_EQ((std::vector<int>{r1, c1, r2, c2}), (std::vector<int>{1, 1, 1000, 11}));
}

TEST(SheetFormat, TextEscapesRoundTrip) {
    EXPECT_EQ(DecodeEscapes("a_x000D_b"), "a\rb");
    EXPECT_EQ(DecodeEscapes("_x005F_x0041_"), "_x0041_");
    EXPECT_EQ(DecodeEscapes("_xD83D__xDE00_"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(DecodeEscapes("plain_x12_"), "plain_x12_");
    for (std::string s : {std::string("a\x01z"), std::string("_x0041_"), std::string("名前_x")})
        EXPECT_EQ(DecodeEscapes(EncodeEscapes(s)), s);
}
