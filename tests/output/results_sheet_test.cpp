#include <gtest/gtest.h>

#include <QString>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "output/ResultsSheet.h"
#include "race/Scoring.h"
#include "support/FaultText.h"
#include "support/TestFiles.h"

namespace zalvik {
namespace {

using sheet::Fill;
using sheet::ValueType;
using testsupport::TempDir;

struct Entry {
    int16_t bib;
    double classNo;  // a number cell
    float racePoints;
    int16_t status = 0;
    float runTime = 61.5f;
    float buoyPoints = 20;
};

// One competitor per entry, in slot order; names and affiliations follow the bib.
std::unique_ptr<Competition> makeCompetition(const std::vector<Entry>& entries,
                                             int outputClass = 1) {
    auto c = std::make_unique<Competition>();
    c->classCount = 3;
    c->className[1] = QStringLiteral("一般男子");
    c->className[2] = QStringLiteral("一般女子");
    c->className[3] = QStringLiteral("ジュニア");
    c->eventName = QStringLiteral("第5回 ザルヴィク カップ");
    c->eventVenue = QStringLiteral("白樺スキー場");
    c->eventDate = QStringLiteral("2024/02/11");
    int slot = 0;
    for (const Entry& e : entries) {
        Competitor& who = c->competitors[++slot];
        who.bib = e.bib;
        who.name = QStringLiteral("選手%1").arg(e.bib);
        who.affiliation = QStringLiteral("所属%1").arg(e.bib);
        who.classNo = ClassValue::ofNumber(e.classNo);
        who.racePoints = e.racePoints;
        who.status = e.status;
        who.runTime = e.runTime;
        who.buoyPoints = e.buoyPoints;
    }
    c->competitorCount = static_cast<int16_t>(slot);
    c->outputClass = static_cast<int16_t>(outputClass);
    BuildStandings(*c);
    return c;
}

// n ranked competitors of class 1 with bibs 1..n and race points 100 + bib (so bib order is
// rank order), followed by `unranked` competitors of class 1 without race points.
std::vector<Entry> ranked(int n, int unranked = 0) {
    std::vector<Entry> out;
    for (int i = 1; i <= n; ++i) out.push_back({static_cast<int16_t>(i), 1, 100.0f + i});
    for (int i = 1; i <= unranked; ++i) out.push_back({static_cast<int16_t>(500 + i), 1, 0});
    return out;
}

class ResultsSheetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("results.xlsx");
        sheet::FileFault fault;
        ASSERT_TRUE(sheet::Workbook::createEmpty(path_, {"入力", "成績表"}, &fault)) << fault;
        book_ = sheet::Workbook::open(path_, &fault);
        ASSERT_TRUE(book_) << fault;
    }

    sheet::Worksheet& ws() { return *book_->worksheet(2); }
    std::string text(const std::string& cell) {
        auto [row, col] = address(cell);
        return ws().text(row, col);
    }
    static std::pair<int, int> address(const std::string& cell) {
        size_t i = 0;
        int col = 0;
        while (i < cell.size() && std::isalpha(static_cast<unsigned char>(cell[i])))
            col = col * 26 + (std::toupper(static_cast<unsigned char>(cell[i++])) - 'A' + 1);
        return {std::stoi(cell.substr(i)), col};
    }
    ResultsSheetRun write(Competition& c) {
        ResultsSheetRun run = WriteResultsSheet(c, book_.get());
        EXPECT_TRUE(run.written) << run.why.toStdString();
        const sheet::SaveResult saved = book_->save();
        EXPECT_TRUE(saved.ok) << saved;
        return run;
    }
    // The rows 1..last that carry the tan fill anywhere in A..K.
    std::vector<int> filledRows(int last) {
        std::vector<int> rows;
        for (int r = 1; r <= last; ++r)
            for (int col = 1; col <= 11; ++col)
                if (ws().fill(r, col) == Fill::Tan) {
                    rows.push_back(r);
                    break;
                }
        return rows;
    }

    TempDir dir_;
    std::string path_;
    std::unique_ptr<sheet::Workbook> book_;
};

TEST_F(ResultsSheetTest, ThreeRankedCompetitorsWithoutStatus) {
    auto c = makeCompetition(ranked(3));
    const ResultsSheetRun run = write(*c);
    EXPECT_EQ(run.pages, 1);

    const std::pair<const char*, const char*> cells[] = {
        {"E1", " 公 式 成 績 表"},
        {"K2", "一般男子"},
        {"A3", "順位"},
        {"B3", "ｾﾞｯｹﾝ"},
        {"B4", "　NO"},
        {"D3", "競　技　者  -----------------------------"},
        {"D4", "氏    　名"},
        {"E4", "所　　　属"},
        {"G3", " 滑　走"},
        {"I3", "  ブ　イ"},
        {"K3", "  レース"},
        {"G4", "  ﾀ ｲ ﾑ"},
        {"I4", "  ﾎﾟｲﾝﾄ"},
        {"K4", "  ﾎﾟｲﾝﾄ"},
        {"A5", ""},
        {"A6", "1"},
        {"B6", "1"},
        {"C6", ""},
        {"D6", "選手1"},
        {"E6", "所属1"},
        {"G6", "61.5"},
        {"I6", "20"},
        {"K6", "101"},
        {"A8", "3"},
        {"K8", "103"},
        {"A9", ""},
        {"L47", "Page 1"},
        {"A11", "DID NOT START(0)"},
        {"A13", "DID NOT FINISH(0)"},
        {"A15", "DISQUALFIED(0)"},
        {"A16", ""},
    };
    for (const auto& [cell, expected] : cells) EXPECT_EQ(text(cell), expected) << cell;

    EXPECT_EQ(filledRows(1000), (std::vector<int>{6, 8}));
    for (int col = 1; col <= 11; ++col) EXPECT_EQ(ws().fill(6, col), Fill::Tan) << col;
    EXPECT_EQ(ws().fill(6, 12), Fill::None);

    // Formats of the title, the class name cell and a competitor row.
    EXPECT_DOUBLE_EQ(ws().rowHeight(1), 26);
    EXPECT_DOUBLE_EQ(ws().fontSize(1, 5), 24);
    EXPECT_TRUE(ws().isHorizontalCenter(2, 11));
    EXPECT_TRUE(ws().hasBottomDoubleBorder(2, 11));
    for (int r = 6; r <= 8; ++r) {
        EXPECT_DOUBLE_EQ(ws().rowHeight(r), 15.2) << r;
        for (int col = 1; col <= 11; ++col)
            EXPECT_DOUBLE_EQ(ws().fontSize(r, col), 12) << r << "," << col;
    }
    EXPECT_EQ(ws().value(6, 1).type, ValueType::Number);
    EXPECT_EQ(ws().value(6, 2).type, ValueType::Number);
    EXPECT_EQ(ws().value(6, 7).type, ValueType::Number);
    EXPECT_EQ(ws().value(6, 9).type, ValueType::Number);
    EXPECT_EQ(ws().value(6, 11).type, ValueType::Number);
    EXPECT_EQ(ws().value(6, 4).type, ValueType::Text);
    EXPECT_EQ(ws().numberFormat(6, 7), "0.00");
    EXPECT_EQ(ws().numberFormat(6, 11), "0.00");
    EXPECT_TRUE(ws().isSelected());
    EXPECT_EQ(c->sheetRow, 17);
    EXPECT_EQ(run.lastRow, 17);
}

TEST_F(ResultsSheetTest, PageGeometry) {
    struct Case {
        const char* name;
        int ranked;
        int unranked;
        int pages;
        std::vector<std::pair<const char*, const char*>> cells;
        std::vector<int> filledFrom50;  // filled rows from row 50 on
    } const cases[] = {
        {"exactly 40 ranked: one page",
         40,
         0,
         1,
         {{"A45", "40"}, {"L47", "Page 1"}, {"A48", "DID NOT START(0)"}, {"K51", ""}, {"L96", ""}},
         {}},
        {"41 ranked: the 41st opens page 2",
         41,
         0,
         2,
         {{"A45", "40"},
          {"L47", "Page 1"},
          {"A50", ""},
          {"K51", "一般男子"},
          {"A52", "順位"},
          {"K52", "  レース"},
          {"D53", "氏　名"},
          {"G53", " 時　間"},
          {"K53", "  ﾎﾟｲﾝﾄ"},
          {"E50", ""},
          {"A55", "41"},
          {"B55", "41"},
          {"L96", "Page 2"},
          {"A58", "DID NOT START(0)"}},
         {55}},
        {"40 ranked and 2 without race points: page 2 has only its heading",
         40,
         2,
         2,
         {{"L47", "Page 1"},
          {"K51", "一般男子"},
          {"D53", "氏　名"},
          {"A55", ""},
          {"B55", ""},
          {"A56", ""},
          {"L96", "Page 2"},
          {"A59", "DID NOT START(0)"}},
         {}},
        {"5 ranked and 2 without race points leave two empty rows",
         5,
         2,
         1,
         {{"A10", "5"},
          {"A11", ""},
          {"B11", ""},
          {"A12", ""},
          {"A15", "DID NOT START(0)"},
          {"L47", "Page 1"}},
         {}},
        {"81 ranked: three pages",
         81,
         0,
         3,
         {{"L47", "Page 1"},
          {"L96", "Page 2"},
          {"K100", "一般男子"},
          {"A104", "81"},
          {"L145", "Page 3"},
          {"A107", "DID NOT START(0)"}},
         {55, 57, 59, 61, 63, 65, 67, 69, 71, 73, 75, 77, 79, 81, 83, 85, 87, 89, 91, 93, 104}},
        {"nobody in the class",
         0,
         0,
         1,
         {{"K2", "一般男子"}, {"A6", ""}, {"L47", "Page 1"}, {"A8", "DID NOT START(0)"}},
         {}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        auto c = makeCompetition(ranked(tc.ranked, tc.unranked));
        EXPECT_EQ(write(*c).pages, tc.pages);
        for (const auto& [cell, expected] : tc.cells) EXPECT_EQ(text(cell), expected) << cell;
        std::vector<int> from50;
        for (int r : filledRows(200))
            if (r >= 50) from50.push_back(r);
        EXPECT_EQ(from50, tc.filledFrom50);
    }
}

TEST_F(ResultsSheetTest, RanksAndRacePointsColumn) {
    // Ranks follow the points text: equal race points share a rank and the next different value
    // takes its position. Column K holds the number that the two-decimal text of the race
    // points rounded to hundredths reads as.
    struct Row {
        double rank;
        double bib;
        double points;
    };
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        std::vector<Row> rows;  // from row 6 on
    } const cases[] = {
        {"1, 2, 2, 4",
         {{10, 1, 14.2f}, {11, 1, 13.0f}, {12, 1, 12.5f}, {13, 1, 13.0f}},
         {{1, 12, 12.5}, {2, 13, 13.0}, {2, 11, 13.0}, {4, 10, 14.2}}},
        {"rounded to hundredths before formatting",
         {{14, 1, 12.125f}, {15, 1, 12.0625f}, {16, 1, 5.0f}, {17, 1, 288.87f}},
         {{1, 16, 5.0}, {2, 15, 12.06}, {3, 14, 12.13}, {4, 17, 288.87}}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        auto c = makeCompetition(tc.entries);
        write(*c);
        int row = 6;
        for (const Row& r : tc.rows) {
            SCOPED_TRACE(row);
            EXPECT_EQ(ws().value(row, 1).number, r.rank);
            EXPECT_EQ(ws().value(row, 2).number, r.bib);
            EXPECT_EQ(ws().value(row, 11).type, ValueType::Number);
            EXPECT_EQ(ws().value(row, 11).number, r.points);
            EXPECT_EQ(ws().numberFormat(row, 11), "0.00");
            ++row;
        }
    }

    // The run time is written as the value entered, not the widened single-precision value.
    auto d = makeCompetition({{1, 1, 627.5f, 0, 75.3f, 12}});
    write(*d);
    EXPECT_EQ(ws().value(6, 7).number, 75.3);
    EXPECT_EQ(ws().value(6, 9).number, 12);
}

TEST_F(ResultsSheetTest, StatusSections) {
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        int outputClass;
        std::vector<std::pair<const char*, const char*>> cells;
    };
    // Two DS and one DQ of class 1 between ranked competitors; status competitors of other
    // classes and an unknown status code are not listed.
    const std::vector<Entry> mixed = {
        {1, 1, 50},    {21, 1, 0, 1}, {2, 1, 60},    {31, 1, 0, 3}, {22, 1, 0, 1},
        {41, 2, 0, 1}, {42, 2, 0, 2}, {43, 3, 0, 3}, {44, 1, 0, 4}, {45, 1, 70, 2},
    };
    std::vector<Entry> manyDq = ranked(2);
    for (int i = 1; i <= 60; ++i) manyDq.push_back({static_cast<int16_t>(100 + i), 1, 0, 3});
    std::vector<Case> cases = {
        {"2 DS, 1 DF, 1 DQ",
         mixed,
         1,
         {{"A10", "DID NOT START(2)"},
          {"B11", "21"},
          {"D11", "選手21"},
          {"E11", "所属21"},
          {"B12", "22"},
          {"A13", ""},
          {"B13", ""},
          {"A15", "DID NOT FINISH(1)"},
          {"B16", "45"},
          {"A19", "DISQUALFIED(1)"},
          {"B20", "31"},
          {"D20", "選手31"},
          {"B21", ""}}},
        {"other class",
         mixed,
         2,
         {{"K2", "一般女子"},
          {"A6", ""},
          {"A8", "DID NOT START(1)"},
          {"B9", "41"},
          {"A12", "DID NOT FINISH(1)"},
          {"B13", "42"},
          {"A16", "DISQUALFIED(0)"},
          {"B17", ""}}},
        {"60 DQ all listed",
         manyDq,
         1,
         {{"A10", "DID NOT START(0)"},
          {"A12", "DID NOT FINISH(0)"},
          {"A14", "DISQUALFIED(60)"},
          {"B15", "101"},
          {"B64", "150"},
          {"B65", "151"},
          {"B74", "160"},
          {"D74", "選手160"},
          {"B75", ""}}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        auto c = makeCompetition(tc.entries, tc.outputClass);
        write(*c);
        for (const auto& [cell, expected] : tc.cells) EXPECT_EQ(text(cell), expected) << cell;
        // Status rows carry no format of the ranked rows.
        EXPECT_EQ(ws().fill(15, 1), Fill::None);
    }
}

TEST_F(ResultsSheetTest, ClassZeroListsCompetitorsWithoutClass) {
    // Before any class is chosen the writer runs for class 0: an empty class name, no ranked
    // rows, and status sections of the competitors whose class cell is empty or 0.
    auto c = makeCompetition({{1, 1, 50}, {2, 0, 40}, {3, 0, 0, 1}, {4, 1, 0, 1}, {6, 0, 0, 3}}, 0);
    c->competitors[6].bib = 5;
    c->competitors[6].name = QStringLiteral("空欄");
    c->competitors[6].status = 2;  // class cell empty
    c->competitors[7].bib = 7;
    c->competitors[7].classNo = ClassValue::ofText(QStringLiteral("0"));
    c->competitors[7].status = 2;  // a text class never matches
    c->competitorCount = 7;
    write(*c);
    const std::pair<const char*, const char*> cells[] = {
        {"K2", ""},
        {"A3", "順位"},
        {"A6", ""},
        {"B6", ""},
        {"L47", "Page 1"},
        {"A8", "DID NOT START(1)"},
        {"B9", "3"},
        {"A12", "DID NOT FINISH(1)"},
        {"B13", "5"},
        {"D13", "空欄"},
        {"A16", "DISQUALFIED(1)"},
        {"B17", "6"},
        {"B18", ""},
    };
    for (const auto& [cell, expected] : cells) EXPECT_EQ(text(cell), expected) << cell;
    EXPECT_EQ(ws().value(2, 11).type, ValueType::Empty);
    EXPECT_TRUE(ws().hasBottomDoubleBorder(2, 11));
}

TEST_F(ResultsSheetTest, PageSetup) {
    struct Case {
        const char* name;
        QString eventName, venue, date;
        std::string centerHeader, leftFooter;
        QString storedName;
    } const cases[] = {
        {"trimmed event name", QStringLiteral("  冬季大会 "), QStringLiteral("白樺"),
         QStringLiteral("2024/02/11"), "冬季大会\n---------------------------------------------",
         "2024/02/11/白樺\n----------------------\nDATA PROCESSING by T O V E L\n-------------",
         QStringLiteral("冬季大会")},
        {"empty venue ends the first footer line with the slash", QStringLiteral("大会"), QString(),
         QStringLiteral("2024/02/11"), "大会\n---------------------------------------------",
         "2024/02/11/\n----------------------\nDATA PROCESSING by T O V E L\n-------------",
         QStringLiteral("大会")},
        {"only ASCII blanks are trimmed", QStringLiteral("　大会　"), QStringLiteral("会場"),
         QString(), "　大会　\n---------------------------------------------",
         "/会場\n----------------------\nDATA PROCESSING by T O V E L\n-------------",
         QStringLiteral("　大会　")},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        auto c = makeCompetition(ranked(1));
        c->eventName = tc.eventName;
        c->eventVenue = tc.venue;
        c->eventDate = tc.date;
        ws().setColumnWidth(12, 17.5);
        write(*c);
        EXPECT_EQ(c->eventName, tc.storedName);
        const sheet::HeaderFooter hf = ws().headerFooter();
        EXPECT_EQ(hf.leftHeader, "--------------------\n----------------------");
        EXPECT_EQ(hf.centerHeader, tc.centerHeader);
        EXPECT_EQ(hf.rightHeader, "--------------------\n----------------------");
        EXPECT_EQ(hf.leftFooter, tc.leftFooter);
        EXPECT_EQ(hf.rightFooter, "----------------------\nTIMING by T O V E L\n-------------");
        EXPECT_EQ(hf.centerFooter, "---------------------------------------------\n\n");

        const sheet::Margins m = ws().pageMargins();
        EXPECT_DOUBLE_EQ(m.left, 0.8);
        EXPECT_DOUBLE_EQ(m.right, 0.3);
        EXPECT_DOUBLE_EQ(m.top, 1.5);
        EXPECT_DOUBLE_EQ(m.bottom, 0.98);
        EXPECT_DOUBLE_EQ(m.header, 1.2);
        EXPECT_DOUBLE_EQ(m.footer, 0.1);

        const double widths[] = {4, 5.5, 1, 13, 30, 1, 6, 1, 6, 1, 6, 17.5};
        for (int col = 1; col <= 12; ++col)
            EXPECT_DOUBLE_EQ(ws().columnWidth(col), widths[col - 1]) << col;
    }
}

TEST_F(ResultsSheetTest, ShorterSecondRunLeavesNoValuesOrFillButKeepsFormats) {
    auto big = makeCompetition(ranked(45));
    write(*big);
    ws().setText(1200, 20, "stray");  // any value anywhere goes
    ASSERT_EQ(text("L96"), "Page 2");

    auto small = makeCompetition(ranked(3));
    write(*small);
    EXPECT_EQ(filledRows(1000), (std::vector<int>{6, 8}));
    for (const char* cell : {"A10", "B20", "K45", "L96", "K51", "A58", "A59", "T1200", "A55"})
        EXPECT_EQ(text(cell), "") << cell;
    EXPECT_EQ(text("A11"), "DID NOT START(0)");
    // Row heights, fonts, borders and number formats of the earlier run remain.
    EXPECT_DOUBLE_EQ(ws().rowHeight(20), 15.2);
    EXPECT_DOUBLE_EQ(ws().fontSize(20, 4), 12);
    EXPECT_TRUE(ws().hasBottomDoubleBorder(51, 11));
    EXPECT_EQ(ws().numberFormat(20, 11), "0.00");
}

TEST_F(ResultsSheetTest, FillOfTheLargestClassIsRemovedBelowRow1000) {
    // A class of 999 fills rows up to 1221; a later, shorter sheet must not keep those bands.
    std::vector<Entry> all;
    for (int i = 1; i <= 999; ++i) all.push_back({static_cast<int16_t>(i), 1, 100.0f + i});
    auto big = makeCompetition(all);
    EXPECT_EQ(write(*big).pages, 25);
    EXPECT_EQ(text("L1223"), "Page 25");
    EXPECT_EQ(ws().fill(1220, 1), Fill::Tan);  // competitor 999, the 39th row of its page

    auto small = makeCompetition(ranked(3));
    write(*small);
    for (int r : {1006, 1100, 1182, 1220}) EXPECT_EQ(ws().fill(r, 1), Fill::None) << r;
}

TEST_F(ResultsSheetTest, NothingIsWrittenWithoutASecondWorksheet) {
    auto c = makeCompetition(ranked(3));
    c->eventName = QStringLiteral(" 名 ");

    const ResultsSheetRun none = WriteResultsSheet(*c, nullptr);
    EXPECT_FALSE(none.written);
    EXPECT_FALSE(none.why.isEmpty());

    const std::string single = dir_.file("single.xlsx");
    sheet::FileFault fault;
    ASSERT_TRUE(sheet::Workbook::createEmpty(single, {"入力"}, &fault)) << fault;
    auto book = sheet::Workbook::open(single, &fault);
    ASSERT_TRUE(book) << fault;
    const auto before = std::filesystem::last_write_time(single);
    const ResultsSheetRun run = WriteResultsSheet(*c, book.get());
    EXPECT_FALSE(run.written);
    EXPECT_TRUE(run.why.contains(QStringLiteral("single.xlsx"))) << run.why.toStdString();
    EXPECT_FALSE(book->hasUnsavedChanges());
    EXPECT_EQ(std::filesystem::last_write_time(single), before);
    EXPECT_EQ(c->eventName, QStringLiteral(" 名 "));  // not even the event name is touched
    EXPECT_FALSE(PrepareResultsSheet(*c, book.get()));
    EXPECT_FALSE(WritePageHeading(*c, book.get()));
}

TEST_F(ResultsSheetTest, PageHeadingAdvancesTheRow) {
    auto c = makeCompetition(ranked(1), 3);
    c->sheetRow = 100;
    ASSERT_TRUE(WritePageHeading(*c, book_.get()));
    EXPECT_EQ(c->sheetRow, 105);
    EXPECT_EQ(text("K101"), "ジュニア");
    EXPECT_EQ(text("D103"), "氏　名");
    EXPECT_EQ(text("G103"), " 時　間");
    EXPECT_EQ(text("E100"), "");
}

// The saved file read by openpyxl, an independent reader: values, types, formats, fill colour,
// border, page setup and the selected sheet.
TEST_F(ResultsSheetTest, SavedFileReadsBackInOpenpyxl) {
    if (!testsupport::haveOpenpyxl()) GTEST_SKIP() << "openpyxl is not installed";
    auto c = makeCompetition({{7, 1, 12.125f, 0, 75.3f, 12}, {8, 1, 13.0f}, {9, 1, 0, 1}});
    c->eventName = QStringLiteral("  冬季大会 ");
    c->eventVenue.clear();
    write(*c);

    const std::string script = dir_.file("check.py");
    std::ofstream(script) << R"PY(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[1]
out = []
def put(*a): out.append("|".join(str(x) for x in a))
put("active", wb.active.title)
for ref in ("E1", "K2", "D4", "A6", "B6", "G6", "I6", "K6", "K7", "L47", "A10"):
    c = ws[ref]
    put(ref, type(c.value).__name__, c.value, c.number_format)
f = ws["A6"].fill
rgb = f.fgColor.rgb if f.fgColor.type == "rgb" else openpyxl.styles.colors.COLOR_INDEX[f.fgColor.indexed]
put("fillA6", f.fill_type, rgb[-6:])
put("fillA7", ws["A7"].fill.fill_type)
put("fillK6", ws["K6"].fill.fill_type)
put("border", ws["K2"].border.bottom.style, ws["K2"].alignment.horizontal)
put("height", ws.row_dimensions[1].height, ws.row_dimensions[6].height)
put("font", ws["A6"].font.sz, ws["E1"].font.sz)
m = ws.page_margins
put("margins", m.left, m.right, m.top, m.bottom, m.header, m.footer)
put("center", repr(ws.oddHeader.center.text))
put("leftfooter", repr(ws.oddFooter.left.text))
print("\n".join(out))
)PY";
    std::string out;
    ASSERT_EQ(testsupport::runCommand("/usr/bin/python3 " + script + " " + path_, &out), 0) << out;
    const std::string expected =
        "active|成績表\n"
        "E1|str| 公 式 成 績 表|General\n"
        "K2|str|一般男子|General\n"
        "D4|str|氏    　名|General\n"
        "A6|int|1|General\n"
        "B6|int|7|General\n"
        "G6|float|75.3|0.00\n"
        "I6|int|12|General\n"
        "K6|float|12.13|0.00\n"
        "K7|int|13|0.00\n"
        "L47|str|Page 1|General\n"
        "A10|str|DID NOT START(1)|General\n"
        "fillA6|solid|FFCC99\n"
        "fillA7|None\n"
        "fillK6|solid\n"
        "border|double|center\n"
        "height|26.0|15.2\n"
        "font|12.0|24.0\n"
        "margins|0.8|0.3|1.5|0.98|1.2|0.1\n"
        "center|'冬季大会\\n---------------------------------------------'\n"
        "leftfooter|'2024/02/11/\\n----------------------\\nDATA PROCESSING by T O V E "
        "L\\n-------------'\n";
    EXPECT_EQ(out, expected);
}

// Where LibreOffice is installed, the saved sheet prints on as many pages as it has labels.
// An independent program prints the sheet with every page label and nothing more. How many
// sheets of paper that takes depends on the paper and scaling of the user's own workbook, which
// the writer leaves alone, so the labels are checked in the printed text rather than the count
// of PDF pages.
TEST_F(ResultsSheetTest, PrintedSheetCarriesEveryPageLabel) {
    if (testsupport::runCommand("command -v soffice && command -v pdftotext") != 0)
        GTEST_SKIP() << "LibreOffice or pdftotext is not installed";
    auto c = makeCompetition(ranked(81));
    const ResultsSheetRun run = write(*c);
    ASSERT_EQ(run.pages, 3);
    // Only the results sheet is printed: a copy whose input sheet is hidden. The copy is made
    // with zipfile, since a spreadsheet library would rewrite the header texts.
    const std::string copy = dir_.file("sheet2.xlsx");
    std::string out;
    ASSERT_EQ(
        testsupport::runCommand(
            "/usr/bin/python3 -c 'import re, sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1]) as i, zipfile.ZipFile(sys.argv[2], \"w\") as o:\n"
            "    for e in i.infolist():\n"
            "        d = i.read(e.filename)\n"
            "        if e.filename == \"xl/workbook.xml\":\n"
            "            d = re.sub(rb\"<((?:\\w+:)?sheet) \", rb\"<\\1 state=\" + bytes([34]) + "
            "b\"hidden\" + bytes([34]) + b\" \", d, count=1)\n"
            "        o.writestr(e, d)' " +
                path_ + " " + copy,
            &out),
        0)
        << out;
    ASSERT_EQ(testsupport::runCommand("cd " + dir_.path() + " && HOME=" + dir_.path() +
                                          " soffice --headless --convert-to pdf sheet2.xlsx"
                                          " && pdftotext sheet2.pdf sheet2.txt",
                                      &out),
              0)
        << out;
    std::ifstream text(dir_.file("sheet2.txt"));
    std::stringstream printed;
    printed << text.rdbuf();
    const std::string body = printed.str();
    for (int page = 1; page <= run.pages + 1; ++page) {
        const std::string label = "Page " + std::to_string(page);
        size_t count = 0;
        for (size_t at = body.find(label); at != std::string::npos; at = body.find(label, at + 1))
            if (at + label.size() >= body.size() ||
                !isdigit(static_cast<unsigned char>(body[at + label.size()])))
                ++count;
        EXPECT_EQ(count, page <= run.pages ? 1u : 0u) << label;
    }
    EXPECT_NE(body.find("DID NOT START(0)"), std::string::npos);
}

}  // namespace
}  // namespace zalvik
