#include "race/Scoring.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace zalvik {
namespace {

TEST(RacePoints, TimeOverBuoyPointsRoundedHalfUpToHundredths) {
    struct Case {
        float time;
        float buoys;
        float expected;
    } const cases[] = {
        {61.5f, 20, 307.5f},
        {75.3f, 12, 627.5f},  // 75.3f is slightly above 75.3; widened before
                              // dividing
        {1, 32, 3.13f},       // exactly 3.125: half goes up
        {3, 32, 9.38f},       // exactly 9.375
        {1, 64, 1.56f},       // 1.5625
        {1, 3, 33.33f},
        {2, 3, 66.67f},
        {0, 20, 0},
        {61.5f, 0, 0},  // never called so; treated as no result
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RacePoints(c.time, c.buoys), c.expected) << c.time << " / " << c.buoys;
    }
}

// Every time an official can type at hundredths up to three minutes, against every buoy total
// from 1 to 60: the race points equal the exact decimal quotient rounded half up, as worked out
// by hand, although the time is held as a binary float (70.02 is 70.0199966...).
TEST(RacePoints, EqualTheExactDecimalQuotientRoundedHalfUp) {
    int wrong = 0;
    for (long long hundredths = 1; hundredths <= 18000; ++hundredths) {
        const float time = static_cast<float>(hundredths / 100.0);
        for (long long buoys = 1; buoys <= 60; ++buoys) {
            // time x 100 / buoys in hundredths of a point: hundredths x 100 / buoys.
            const long long exact = (2 * hundredths * 100 + buoys) / (2 * buoys);
            const float expected = static_cast<float>(exact / 100.0);
            if (RacePoints(time, static_cast<float>(buoys)) != expected && ++wrong <= 5)
                ADD_FAILURE() << hundredths / 100.0 << " s over " << buoys;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(RacePoints(70.02f, 16), 437.63f);
    // A negative total (scores may be negative) rounds half up too: -437.625 -> -437.62.
    EXPECT_EQ(RacePoints(70.02f, -16), -437.62f);
}

TEST(RoundToHundredths, HalfUp) {
    EXPECT_EQ(RoundToHundredths(12.125), 12.13f);
    EXPECT_EQ(RoundToHundredths(12.0625), 12.06f);
    EXPECT_EQ(RoundToHundredths(307.5), 307.5f);
    EXPECT_EQ(RoundToHundredths(0), 0.0f);
}

struct Entry {
    int slot;
    int16_t bib;
    double classNo;  // as a number cell
    float racePoints;
    int16_t status = 0;
};

// A competition with the given competitors; the count is the highest slot used unless given.
std::unique_ptr<Competition> makeCompetition(int classCount, const std::vector<Entry>& entries,
                                             int competitorCount = -1) {
    auto c = std::make_unique<Competition>();
    c->classCount = static_cast<int16_t>(classCount);
    int highest = 0;
    for (const Entry& e : entries) {
        Competitor& who = c->competitors[e.slot];
        who.bib = e.bib;
        who.name = QStringLiteral("N%1").arg(e.bib);
        who.classNo = ClassValue::ofNumber(e.classNo);
        who.racePoints = e.racePoints;
        who.status = e.status;
        highest = std::max(highest, e.slot);
    }
    c->competitorCount = static_cast<int16_t>(competitorCount >= 0 ? competitorCount : highest);
    return c;
}

// (rank, bib) of each row of class k after a full rebuild.
std::vector<std::pair<int, int>> standings(Competition& c, int k) {
    std::vector<std::pair<int, int>> out;
    for (const StandingsRow& row : RankClass(c, k)) out.emplace_back(row.rank, row.bib);
    return out;
}

using Standing = std::vector<std::pair<int, int>>;

TEST(Standings, OrderAndRanksOfOneClass) {
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        Standing expected;
    } const cases[] = {
        {"equal points share a rank, higher bib first",
         {{1, 3, 1, 310.25f}, {2, 7, 1, 307.5f}, {3, 12, 1, 307.5f}},
         {{1, 12}, {1, 7}, {3, 3}}},
        {"a tie at the end of the list is ordered too",
         {{1, 2, 1, 310}, {2, 5, 1, 300}, {3, 9, 1, 310}},
         {{1, 5}, {2, 9}, {2, 2}}},
        {"next different value takes its position",
         {{1, 4, 1, 14.2f}, {2, 1, 1, 13.0f}, {3, 2, 1, 12.5f}, {4, 3, 1, 13.0f}},
         {{1, 2}, {2, 3}, {2, 1}, {4, 4}}},
        {"a run of three in the middle",
         {{1, 1, 1, 20}, {2, 8, 1, 10}, {3, 3, 1, 20}, {4, 5, 1, 30}, {5, 6, 1, 20}},
         {{1, 8}, {2, 6}, {2, 3}, {2, 1}, {5, 5}}},
        {"DS, DF and DQ are left out",
         {{1, 1, 1, 50}, {2, 2, 1, 40, 1}, {3, 3, 1, 30, 2}, {4, 4, 1, 20, 3}, {5, 5, 1, 60}},
         {{1, 1}, {2, 5}}},
        {"entries without race points come last, by descending bib",
         {{1, 4, 1, 0}, {2, 10, 1, 55.5f}, {3, 9, 1, 0}, {4, 2, 1, 44.25f}, {5, 11, 1, 0}},
         {{1, 2}, {2, 10}, {3, 11}, {3, 9}, {3, 4}}},
        {"ranks follow the seven-digit text, not the exact value",
         {{1, 1, 1, 100.0f}, {2, 2, 1, 100.00001f}, {3, 3, 1, 101}},
         {{1, 1}, {1, 2}, {3, 3}}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        auto c = makeCompetition(1, tc.entries);
        BuildStandings(*c);
        EXPECT_EQ(standings(*c, 1), tc.expected);
    }
}

TEST(Standings, RowsCarryTheCompetitorAndWhetherTheyAreShown) {
    auto c = makeCompetition(1, {{1, 4, 1, 0}, {2, 10, 1, 55.5f}});
    BuildStandings(*c);
    EXPECT_EQ(c->classMemberPoints[1][2], kNoResultKey);
    const auto rows = RankClass(*c, 1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].position, 1);
    EXPECT_EQ(rows[0].slot, 2);
    EXPECT_EQ(rows[0].racePoints, 55.5f);
    EXPECT_TRUE(rows[0].shown);
    EXPECT_EQ(rows[1].slot, 1);
    EXPECT_FALSE(rows[1].shown);
    EXPECT_EQ(c->rankPointsText[1], QStringLiteral("55.5"));
    EXPECT_EQ(c->rankPointsText[2], QStringLiteral("0"));
}

TEST(Standings, ClassMembership) {
    auto c = makeCompetition(3, {{1, 1, 1, 10},
                                 {2, 2, 3, 20},
                                 {3, 3, 0, 30},
                                 {4, 4, 4, 40},
                                 {5, 5, 1.5, 50},
                                 {6, 6, 3, 60},
                                 {7, 7, 1, 70},
                                 {8, 8, -1, 80}});
    c->competitors[9].bib = 9;
    c->competitors[9].classNo = ClassValue::ofText(QStringLiteral("1"));
    c->competitors[9].racePoints = 5;
    c->competitors[10].bib = 10;  // empty class cell
    c->competitors[10].racePoints = 5;
    c->competitorCount = 10;
    BuildStandings(*c);
    EXPECT_EQ(standings(*c, 1), (Standing{{1, 1}, {2, 7}}));
    EXPECT_EQ(c->classMemberCount[2], 0);  // a class with no entries
    EXPECT_TRUE(RankClass(*c, 2).empty());
    EXPECT_EQ(standings(*c, 3), (Standing{{1, 2}, {2, 6}}));
    EXPECT_TRUE(RankClass(*c, 0).empty());
    EXPECT_TRUE(RankClass(*c, 10).empty());
}

TEST(Standings, SlotsPastTheCountAreWalkedButSlot1000NeverIs) {
    auto c = makeCompetition(1, {{1, 1, 1, 10}, {999, 99, 1, 5}, {1000, 100, 1, 1}}, 1);
    BuildStandings(*c);
    ASSERT_EQ(c->classMemberCount[1], 2);
    EXPECT_EQ(c->classMemberBib[1][1], 99);
    EXPECT_EQ(c->classMemberBib[1][2], 1);
    // Bib 99 belongs to no slot within the count: listed, but shown as an entry without result.
    const auto rows = RankClass(*c, 1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].slot, 0);
    EXPECT_FALSE(rows[0].shown);
    EXPECT_EQ(rows[1].slot, 1);
    EXPECT_TRUE(rows[1].shown);
}

TEST(Standings, RebuildFollowsStatusChangesAndClampsTheClassCount) {
    auto c = makeCompetition(1, {{1, 1, 1, 10}, {2, 2, 1, 20}, {3, 3, 1, 30}});
    c->competitors[2].status = 1;
    BuildStandings(*c);
    EXPECT_EQ(standings(*c, 1), (Standing{{1, 1}, {2, 3}}));
    c->competitors[2].status = 0;
    BuildStandings(*c);
    EXPECT_EQ(standings(*c, 1), (Standing{{1, 1}, {2, 2}, {3, 3}}));

    // A class count beyond the nine classes the lists can hold stays inside their bounds.
    c->classCount = 12;
    c->competitors[3].classNo = ClassValue::ofNumber(10);
    BuildStandings(*c);
    EXPECT_EQ(standings(*c, 1), (Standing{{1, 1}, {2, 2}}));
}

// Competitors sharing a bib are one competitor to everything that looks a bib up: each list
// entry of that bib shows the first slot carrying it, whatever its class or status.
TEST(Standings, EntriesOfASharedBibShowTheFirstCompetitorWithIt) {
    using Row = std::tuple<int, int, float>;  // rank, slot, race points
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        std::vector<Row> expected;
    } const cases[] = {
        {"both entries show the first slot's points",
         {{1, 7, 1, 250}, {2, 5, 1, 300}, {4, 5, 1, 200}},
         {{1, 2, 300}, {2, 1, 250}, {3, 2, 300}}},
        {"the first slot is in another class", {{1, 5, 2, 100}, {3, 5, 1, 50}}, {{1, 1, 100}}},
        {"the first slot did not start", {{1, 5, 1, 0, 1}, {2, 5, 1, 40}}, {{1, 1, 0}}},
        {"a negative bib", {{1, -3, 1, 10}, {2, -3, 1, 20}}, {{1, 1, 10}, {1, 1, 10}}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        auto c = makeCompetition(2, tc.entries);
        BuildStandings(*c);
        std::vector<Row> got;
        for (const StandingsRow& row : RankClass(*c, 1))
            got.push_back({row.rank, row.slot, row.racePoints});
        EXPECT_EQ(got, tc.expected);
    }
}

}  // namespace
}  // namespace zalvik
