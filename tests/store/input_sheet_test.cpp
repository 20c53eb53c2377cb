// Reading the input sheet into the competition data: the counting rule, the conversions of each
// field, the first failing cell of each kind, and the results grid rows.

#include <gtest/gtest.h>

#include <functional>

#include "app/Competition.h"
#include "store/InputSheet.h"
#include "store/TestWorkbook.h"
#include "support/TestFiles.h"

using namespace zalvik;
using namespace zalvik::store;
using testsupport::TempDir;
using testsupport::TestWorkbook;

namespace {

Competition Fresh() {
    Competition c;
    c.statusWord[1] = QStringLiteral("DS");
    c.statusWord[2] = QStringLiteral("DF");
    c.statusWord[3] = QStringLiteral("DQ");
    return c;
}

}  // namespace

TEST(InputSheet, ExampleReadsWhole) {
    TempDir dir;
    TestWorkbook wb(dir.file("example.xlsx"));
    wb.example();
    Competition c = Fresh();
    QString gates;
    ASSERT_FALSE(ReadInputSheet(wb.ws(), c, &gates));
    EXPECT_EQ(c.competitorCount, 12);
    EXPECT_EQ(c.competitors[1].bib, 1);
    EXPECT_EQ(c.competitors[1].name, QStringLiteral("山田　太郎"));
    EXPECT_EQ(c.competitors[2].affiliation, QStringLiteral("ミルネ高校"));
    EXPECT_TRUE(c.competitors[5].classNo.equals(3));
    EXPECT_FLOAT_EQ(c.competitors[1].runTime, 61.5f);
    EXPECT_EQ(c.competitors[7].status, 1);
    EXPECT_EQ(c.buoyName[5], QStringLiteral("お"));
    EXPECT_EQ(c.buoyScore[5], 6);
    EXPECT_EQ(c.eventName, QStringLiteral("第12回ミルネ温泉カップ"));
    EXPECT_EQ(c.eventVenue, QStringLiteral("ミルネ温泉スキー場"));
    EXPECT_EQ(c.eventDate, QStringLiteral("2026/02/15"));
    EXPECT_EQ(gates, QStringLiteral("3"));
    EXPECT_EQ(c.classCount, 3);
    EXPECT_EQ(c.className[3], QStringLiteral("ジュニア"));
    int16_t n = 0;
    ASSERT_FALSE(ReadGateBuoyCount(wb.ws(), 2, &n));
    EXPECT_EQ(n, 5);
}

TEST(InputSheet, CompetitorListEndsAtTheFirstBlankName) {
    struct Case {
        const char* what;
        QString row5Name;
        int expected;
    };
    const Case cases[] = {
        {"empty name", QString(), 3},
        {"spaces only", QStringLiteral("   "), 3},
        {"ideographic spaces are a name", QStringLiteral("　"), 6},
        {"name with spaces around", QStringLiteral("  名 "), 6},
    };
    for (const Case& k : cases) {
        TempDir dir;
        TestWorkbook wb(dir.file("w.xlsx"));
        for (int i = 1; i <= 6; ++i) wb.competitor(i, i, QStringLiteral("選手%1").arg(i));
        if (k.row5Name.isNull())
            wb.text(5, kColName, QString());
        else
            wb.text(5, kColName, k.row5Name);
        EXPECT_EQ(CountCompetitors(wb.ws()), k.expected) << k.what;
    }
}

TEST(InputSheet, NineHundredNinetyNineCompetitorsAndRow1001NeverRead) {
    TempDir dir;
    TestWorkbook wb(dir.file("w.xlsx"));
    for (int i = 1; i <= 1000; ++i) wb.competitor(i, i, QStringLiteral("選手"));
    // Row 1001 would fail if it were read at all.
    wb.text(1001, kColRunTime, QStringLiteral("abc"));
    Competition c = Fresh();
    EXPECT_EQ(CountCompetitors(wb.ws()), 999);
    EXPECT_FALSE(ReadCompetitors(wb.ws(), CountCompetitors(wb.ws()), c));
    EXPECT_EQ(c.competitorCount, 999);
    EXPECT_EQ(c.competitors[999].bib, 999);
    EXPECT_EQ(c.competitors[1000].bib, 0);
}

TEST(InputSheet, CellNumberConversions) {
    struct Case {
        sheet::Value v;
        std::optional<double> expected;
    };
    auto text = [](const char* t) { return sheet::Value{sheet::ValueType::Text, 0, t}; };
    const Case cases[] = {
        {{}, 0.0},
        {{sheet::ValueType::Number, 12.5, {}}, 12.5},
        {text(" 12 "), 12.0},
        {text("-3.25"), -3.25},
        {text("1e3"), 1000.0},
        {text(""), 0.0},
        {text("abc"), std::nullopt},
        {text("12abc"), std::nullopt},
        {text("１２"), std::nullopt},
        {{sheet::ValueType::Error, 0, "#N/A"}, std::nullopt},
        {{sheet::ValueType::Date, 37263, {}}, 37263.0},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(CellNumber(k.v), k.expected)
            << k.v.text << " type " << static_cast<int>(k.v.type);
    }
}

TEST(InputSheet, ClassCellKeptAsRead) {
    TempDir dir;
    TestWorkbook wb(dir.file("w.xlsx"));
    wb.competitor(1, 1, QStringLiteral("数"), 2);
    wb.competitor(2, 2, QStringLiteral("文字"));
    wb.text(3, kColClass, QStringLiteral("2"));
    wb.competitor(3, 3, QStringLiteral("空"));
    wb.text(4, kColClass, QString());
    Competition c = Fresh();
    ASSERT_FALSE(ReadCompetitors(wb.ws(), 3, c));
    EXPECT_TRUE(c.competitors[1].classNo.equals(2));
    // A text class puts the competitor in no class, even when it spells a class number.
    EXPECT_EQ(c.competitors[2].classNo.kind, ClassValue::Kind::Text);
    for (int k = 0; k <= 9; ++k) EXPECT_FALSE(c.competitors[2].classNo.equals(k));
    EXPECT_EQ(c.competitors[3].classNo.kind, ClassValue::Kind::Empty);
}

// Each unreadable cell stops the reading there; what was read before it stays.
TEST(InputSheet, FirstFailingCellIsReportedAndEarlierDataKept) {
    struct Case {
        const char* what;
        std::function<void(TestWorkbook&)> spoil;
        const char* cell;
        CellFault::Reason reason;
        int bibsRead;    // slots whose bib was read
        bool buoysRead;  // buoy 5 read
        bool classesRead;
    };
    const Case cases[] = {
        {"text time", [](TestWorkbook& w) { w.text(7, kColRunTime, QStringLiteral("abc")); }, "E7",
         CellFault::Reason::NotANumber, 6, false, false},
        {"text buoy points",
         [](TestWorkbook& w) { w.text(4, kColBuoyPoints, QStringLiteral("x")); }, "F4",
         CellFault::Reason::NotANumber, 3, false, false},
        {"text race points",
         [](TestWorkbook& w) { w.text(3, kColRacePoints, QStringLiteral("-")); }, "G3",
         CellFault::Reason::NotANumber, 2, false, false},
        {"text status", [](TestWorkbook& w) { w.text(5, kColStatus, QStringLiteral("DF")); }, "H5",
         CellFault::Reason::NotANumber, 4, false, false},
        {"status beyond 16 bits", [](TestWorkbook& w) { w.num(5, kColStatus, 40000); }, "H5",
         CellFault::Reason::OutOfRange, 4, false, false},
        {"bib beyond 16 bits", [](TestWorkbook& w) { w.num(6, kColBib, 32768); }, "A6",
         CellFault::Reason::OutOfRange, 4, false, false},
        {"text buoy score",
         [](TestWorkbook& w) { w.text(4, kColBuoyScore, QStringLiteral("高い")); }, "V4",
         CellFault::Reason::NotANumber, 8, false, false},
        {"gate count 13", [](TestWorkbook& w) { w.text(2, kColGateCount, QStringLiteral("13")); },
         "W2", CellFault::Reason::OutOfRange, 8, true, false},
        {"negative gate count", [](TestWorkbook& w) { w.num(2, kColGateCount, -2); }, "W2",
         CellFault::Reason::OutOfRange, 8, true, false},
        {"class count 10", [](TestWorkbook& w) { w.num(2, kColClassCount, 10); }, "AA2",
         CellFault::Reason::OutOfRange, 8, true, false},
        {"text class count",
         [](TestWorkbook& w) { w.text(2, kColClassCount, QStringLiteral("三")); }, "AA2",
         CellFault::Reason::NotANumber, 8, true, false},
    };
    for (const Case& k : cases) {
        TempDir dir;
        TestWorkbook wb(dir.file("w.xlsx"));
        for (int i = 1; i <= 8; ++i) wb.competitor(i, 10 + i, QStringLiteral("選手%1").arg(i));
        wb.settings(QStringLiteral("4"), {3, 2, 5, 4}, {QStringLiteral("A"), QStringLiteral("B")});
        k.spoil(wb);
        Competition c = Fresh();
        c.classCount = 1;
        c.className[1] = QStringLiteral("前");
        QString gates;
        const Fault f = ReadInputSheet(wb.ws(), c, &gates);
        ASSERT_TRUE(f) << k.what;
        EXPECT_EQ(f->cellName(), QString::fromUtf8(k.cell)) << k.what;
        EXPECT_EQ(f->reason, k.reason) << k.what;
        EXPECT_EQ(c.competitorCount, 8) << k.what;
        for (int i = 1; i <= 8; ++i)
            EXPECT_EQ(c.competitors[i].bib, i <= k.bibsRead ? 10 + i : 0)
                << k.what << " slot " << i;
        EXPECT_EQ(c.buoyScore[5], k.buoysRead ? 6 : 0) << k.what;
        // A refused class count leaves the class table as it was.
        EXPECT_EQ(c.classCount, k.classesRead ? 2 : 1) << k.what;
        EXPECT_TRUE(f->message(QStringLiteral("w.xlsx")).contains(QString::fromUtf8(k.cell)));
        EXPECT_TRUE(f->message(QStringLiteral("w.xlsx")).contains(f->held));
    }
}

TEST(InputSheet, ResultRows) {
    struct Case {
        const char* what;
        std::function<void(TestWorkbook&)> fill;
        bool hasResult;
        std::vector<QString> cells;  // columns 0..4, then the gates
        bool fault = false;
    };
    const Case cases[] = {
        {"ordinary result",
         [](TestWorkbook& w) {
             w.result(1, 61.5, 20, 307.5, 0, {"3", "6", "4"});
         },
         true,
         {"7", "選手", "61.50", "20", "307.50", "3", "6", "4"}},
        {"zero time is a result",
         [](TestWorkbook& w) { w.result(1, 0, 0, 0); },
         true,
         {"7", "選手", " 0.00", "0", " 0.00", "", "", ""}},
        {"empty time is no result", [](TestWorkbook& w) { w.num(2, kColStatus, 0); }, false, {}},
        {"status with time",
         [](TestWorkbook& w) { w.result(1, 70, 15, 466.67, 2); },
         true,
         {"7", "選手", "-", "-", "DF", "", "", ""}},
        {"status without time is not shown",
         [](TestWorkbook& w) { w.num(2, kColStatus, 1); },
         false,
         {}},
        {"points rounded up",
         [](TestWorkbook& w) { w.result(1, 50, 10, 12.346); },
         true,
         {"7", "選手", "50.00", "10", "12.35", "", "", ""}},
        {"points rounded down",
         [](TestWorkbook& w) { w.result(1, 50, 10, 12.344); },
         true,
         {"7", "選手", "50.00", "10", "12.34", "", "", ""}},
        {"status without a word",
         [](TestWorkbook& w) { w.result(1, 50, 10, 5, 10); },
         true,
         {"7", "選手", "-", "-", " 5.00"},
         true},
    };
    for (const Case& k : cases) {
        TempDir dir;
        TestWorkbook wb(dir.file("w.xlsx"));
        wb.competitor(1, 7, QStringLiteral("選手"));
        k.fill(wb);
        Competition c = Fresh();
        c.gateCount = 3;
        ASSERT_FALSE(ReadCompetitors(wb.ws(), 1, c)) << k.what;
        ResultRow row;
        const Fault f = ReadResultRow(wb.ws(), c, 1, &row);
        EXPECT_EQ(static_cast<bool>(f), k.fault) << k.what;
        if (f) {
            EXPECT_EQ(f->cellName(), QStringLiteral("H2"));
        }
        EXPECT_EQ(row.hasResult, k.hasResult) << k.what;
        if (!k.hasResult) continue;
        for (int col = 0; col < 5; ++col)
            EXPECT_EQ(row.cells[col], k.cells[col]) << k.what << " col " << col;
        if (k.fault) continue;
        ASSERT_EQ(row.gates.size(), 3u) << k.what;
        for (int j = 0; j < 3; ++j) EXPECT_EQ(row.gates[j], k.cells[5 + j]) << k.what;
    }
}

TEST(InputSheet, RepeatedBibs) {
    Competition c;
    c.competitorCount = 6;
    const int16_t bibs[] = {0, 5, 7, 5, 9, 7, 5};
    for (int i = 1; i <= 6; ++i) c.competitors[i].bib = bibs[i];
    c.competitors[7].bib = 9;  // beyond the count: not a competitor of this load
    EXPECT_EQ(RepeatedBibs(c), (std::vector<int16_t>{5, 7}));
    const QString m = RepeatedBibsMessage(RepeatedBibs(c), QStringLiteral("大会.xlsx"));
    EXPECT_TRUE(m.contains(QStringLiteral("5, 7")));
    EXPECT_TRUE(m.contains(QStringLiteral("大会.xlsx")));
    c.competitorCount = 2;
    EXPECT_TRUE(RepeatedBibs(c).empty());
    EXPECT_TRUE(RepeatedBibsMessage({}, QStringLiteral("x")).isEmpty());
}
