// The rules the settings screen and the loader share: how a gate count text and a typed buoy
// count are taken, and which stored date texts the date picker understands.

#include <gtest/gtest.h>

#include "setup/BuoyScore.h"
#include "setup/DateText.h"
#include "setup/GateCount.h"

using namespace zalvik;
using Kind = GateCountValue::Kind;

TEST(GateCount, TextsAsTheGateGridTakesThem) {
    struct Case {
        const char* text;
        Kind kind;
        int gates = 0;
        int rows = 0;
    };
    const Case cases[] = {
        {"", Kind::None, 0, 0},     {"0", Kind::None, 0, 0},       {"abc", Kind::None, 0, 0},
        {"5", Kind::Count, 5, 6},   {" 1 2", Kind::Count, 12, 13}, {"12", Kind::Count, 12, 13},
        {"2.5", Kind::Count, 2, 3}, {"0.4", Kind::Count, 0, 1},    {"4個", Kind::Count, 4, 5},
        {"4.6", Kind::Count, 5, 6}, {"12.5", Kind::Count, 12, 13}, {"13", Kind::OutOfRange},
        {"12.6", Kind::OutOfRange}, {"-1", Kind::OutOfRange},      {"99999", Kind::OutOfRange},
        {"&HFF", Kind::OutOfRange},
    };
    for (const Case& c : cases) {
        const GateCountValue v = ParseGateCount(QString::fromUtf8(c.text));
        EXPECT_EQ(v.kind, c.kind) << c.text;
        if (c.kind != Kind::Count) continue;
        EXPECT_EQ(v.gates, c.gates) << c.text;
        EXPECT_EQ(v.rows, c.rows) << c.text;
    }
}

TEST(GateCount, TypedBuoyCountsBelowSixAreTaken) {
    struct Case {
        const char* text;
        std::optional<int16_t> expected;
    };
    const Case cases[] = {{"3", 3},
                          {"5", 5},
                          {"5.9", 6},
                          {"0", 0},
                          {"", 0},
                          {"-2", -2},
                          {"6", std::nullopt},
                          {"10", std::nullopt},
                          {"-40000", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseGateBuoyCount(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(BuoyScore, TypedScoresAndTheSixteenBitRange) {
    struct Case {
        const char* text;
        std::optional<int16_t> expected;
    };
    const Case cases[] = {{"15", 15},
                          {"7.5", 8},
                          {"12.5", 12},
                          {"13.5", 14},
                          {"abc", 0},
                          {"", 0},
                          {"5点", 5},
                          {"-3", -3},
                          {"32767", 32767},
                          {"-32768", -32768},
                          {"32767.5", std::nullopt},
                          {"32768", std::nullopt},
                          {"-32769", std::nullopt},
                          {"1e9", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseBuoyScore(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(BuoyScore, RefusalNamesTheBuoy) {
    const QString named = BuoyScoreRefusedMessage(3, QStringLiteral("赤"), QStringLiteral("40000"));
    EXPECT_TRUE(named.contains(QStringLiteral("ﾌﾞｲ 3（赤）"))) << named.toStdString();
    EXPECT_TRUE(named.contains(QStringLiteral("40000")));
    const QString unnamed = BuoyScoreRefusedMessage(5, QString(), QStringLiteral("-99999"));
    EXPECT_TRUE(unnamed.startsWith(QStringLiteral("ﾌﾞｲ 5の得点"))) << unnamed.toStdString();
}

TEST(DateText, StoredFormsAreUnderstood) {
    struct Case {
        const char* text;
        QDate expected;  // invalid: not a date
    };
    const Case cases[] = {
        {"2002/01/07", QDate(2002, 1, 7)},
        {"2026/2/15", QDate(2026, 2, 15)},
        {"2026-02-15", QDate(2026, 2, 15)},
        {"2026.2.15", QDate(2026, 2, 15)},
        {"2026年2月15日", QDate(2026, 2, 15)},
        {" 2026/02/15 9:30 ", QDate(2026, 2, 15)},
        {"2026-02-15T00:00:00", QDate(2026, 2, 15)},
        {"37263", QDate(2002, 1, 7)},
        {"61", QDate(1900, 3, 1)},
        {"59", QDate(1900, 2, 28)},
        {"2026/02/30", QDate()},
        {"明日", QDate()},
        {"", QDate()},
        {"60", QDate()},
    };
    for (const Case& c : cases) {
        const std::optional<QDate> d = DateFromText(QString::fromUtf8(c.text));
        EXPECT_EQ(d.value_or(QDate()), c.expected) << c.text;
    }
    EXPECT_EQ(DateText(InitialEventDate()), QStringLiteral("2002/01/07"));
}
