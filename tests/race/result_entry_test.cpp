// Result entry without the screen: the run time typed and split back, the buoy total, the
// gate choices recovered from gate points, and the input sheet row found by its bib cell.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "race/ResultEntry.h"
#include "race/ResultWriter.h"
#include "sheet/Workbook.h"
#include "store/InputSheet.h"
#include "support/FaultText.h"
#include "support/TestFiles.h"

namespace zalvik {
namespace {

TEST(ResultEntry, RunTimeTypedCheckedAndShownAgain) {
    using Fault = CheckedRunTime::Fault;
    struct Case {
        const char* minutes;
        const char* seconds;
        Fault fault;
        float runTime = 0;
        const char* shownMinutes = "";  // as 分 and 秒 show the stored time again
        const char* shownSeconds = "";
    } const cases[] = {
        {"1", "15.3", Fault::None, 75.3f, "1", "15.3"},
        {"", "58.2", Fault::None, 58.2f, "", "58.2"},
        {"1", "0", Fault::None, 60, "1", "0"},  // exactly a minute already counts as one
        {"2", "5.25", Fault::None, 125.25f, "2", "5.25"},
        {"", "75.3", Fault::None, 75.3f, "1", "15.3"},    // seconds beyond a minute come back split
        {"1", "2.35", Fault::None, 62.35f, "1", "2.35"},  // not the float remainder 2.349998
        {"2", "0.05", Fault::None, 120.05f, "2", "0.05"},
        {"1 2", "3", Fault::None, 723, "12", "3"},  // blanks inside a typed number are skipped
        {"", "1:05.20", Fault::None, 65.2f, "1", "5.2"},   // as a timer shows it
        {"１", "５．３", Fault::None, 65.3f, "1", "5.3"},  // full width
        {"", "", Fault::NoTime},
        {"0", "0.00", Fault::NoTime},
        {"1分", "5", Fault::MinutesUnreadable},
        {"", "5秒", Fault::SecondsUnreadable},
        {"-1", "5", Fault::MinutesUnreadable},
        {"1", "1:05.20", Fault::SecondsUnreadable},  // a timer's text beside the minutes
        {"", "1:75", Fault::SecondsUnreadable},
        {"", "1e3", Fault::SecondsUnreadable},
        // Beside minutes, seconds stay below a minute; beside 0 or nothing they may not.
        {"1", "75.3", Fault::SecondsNotBelow60},
        {"１", "60", Fault::SecondsNotBelow60},
        {"1", "59.99", Fault::None, 119.99f, "1", "59.99"},
        {"0", "75.3", Fault::None, 75.3f, "1", "15.3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.minutes) + " / " + c.seconds);
        const CheckedRunTime t =
            CheckRunTime(QString::fromUtf8(c.minutes), QString::fromUtf8(c.seconds));
        EXPECT_EQ(t.fault, c.fault);
        if (c.fault != Fault::None) {
            EXPECT_FALSE(t.message().isEmpty());
            continue;
        }
        EXPECT_EQ(t.seconds, c.runTime);
        const MinutesAndSeconds shown = SplitRunTime(t.seconds);
        EXPECT_EQ(shown.minutes, QString::fromUtf8(c.shownMinutes));
        EXPECT_EQ(shown.seconds, QString::fromUtf8(c.shownSeconds));
    }
}

Competition WithBuoys(std::initializer_list<int16_t> scores) {
    Competition c;
    int k = 1;
    for (int16_t s : scores) c.buoyScore[k++] = s;
    return c;
}

TEST(ResultEntry, BuoyTotalOfTheChosenGates) {
    Competition c = WithBuoys({2, 3, 4, 5, 6});
    c.gateCount = 4;
    c.gateBuoyChoice.fill(-1);
    EXPECT_EQ(BuoyTotalText(ChosenBuoyTotal(c)), " 0");
    c.gateBuoyChoice[0] = 4;  // 6
    c.gateBuoyChoice[2] = 1;  // 3, gate 2 left without a choice
    c.gateBuoyChoice[3] = 0;  // 2
    EXPECT_EQ(ChosenBuoyTotal(c), 11.0f);
    EXPECT_EQ(BuoyTotalText(ChosenBuoyTotal(c)), " 11");
    // Gates beyond the gate count keep old choices but do not count.
    c.gateBuoyChoice[4] = 4;
    EXPECT_EQ(ChosenBuoyTotal(c), 11.0f);
    // A negative total carries its sign instead of the blank.
    c.buoyScore[1] = -20;
    EXPECT_EQ(BuoyTotalText(ChosenBuoyTotal(c)), "-11");
}

TEST(ResultEntry, GateChoicesRecoveredFromGatePoints) {
    // Buoys 2 and 3 score alike; no buoy scores 4.
    const Competition c = WithBuoys({2, 3, 3, 5, 6});
    struct Case {
        const char* name;
        std::vector<QString> points;
        std::vector<int> choices;
    } const cases[] = {
        {"every gate", {"6", "5", "2", "3"}, {4, 3, 0, 1}},
        {"a 0 stops the rest", {"6", "0", "5", "3"}, {4, -1, -1, -1}},
        {"an empty cell stops too", {"6", "", "5"}, {4, -1, -1}},
        {"a score no buoy has", {"4", "2", "6"}, {-1, 0, 4}},
        {"text with a leading number", {"5 ", "6点"}, {3, 4}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        EXPECT_EQ(RecoveredGateChoices(t.points, c), t.choices);
    }
}

class ResultWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("大会.xlsx");
        sheet::FileFault fault;
        ASSERT_TRUE(sheet::Workbook::createEmpty(path_, {"入力", "成績"}, &fault)) << fault;
        book_ = sheet::Workbook::open(path_, &fault);
        ASSERT_TRUE(book_) << fault;
        ws_ = book_->worksheet(1);
    }
    sheet::Worksheet& ws() { return *ws_; }

    testsupport::TempDir dir_;
    std::string path_;
    std::unique_ptr<sheet::Workbook> book_;
    sheet::Worksheet* ws_ = nullptr;
};

TEST_F(ResultWriterTest, RowFoundByTheSheetsBibCells) {
    using store::kColBib;
    ws().setNumber(2, kColBib, 7);
    ws().setText(3, kColBib, "12");
    ws().setText(4, kColBib, "12.5");  // the competitor table would hold 12 for this one
    ws().setNumber(5, kColBib, 12);
    ws().setNumber(6, kColBib, 40);  // beyond the competitor count
    EXPECT_EQ(FindResultRow(ws(), 4, 7), 2);
    EXPECT_EQ(FindResultRow(ws(), 4, 12), 3);
    EXPECT_EQ(FindResultRow(ws(), 4, 12.5), 4);
    EXPECT_EQ(FindResultRow(ws(), 4, 40), 0);
    EXPECT_EQ(FindResultRow(ws(), 5, 40), 6);
    // An empty bib cell reads as 0 like any other empty number.
    EXPECT_EQ(FindResultRow(ws(), 5, 0), 0);
    EXPECT_EQ(FindResultRow(ws(), 6, 0), 7);
}

}  // namespace
}  // namespace zalvik
