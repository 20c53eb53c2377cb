// The settings block as the set action writes it: which cells, in which order, with which value
// types, and that nothing below the counts is touched.

#include <gtest/gtest.h>

#include <algorithm>

#include "store/InputSheet.h"
#include "store/SettingsWriter.h"
#include "store/TestWorkbook.h"
#include "support/FaultText.h"
#include "support/TestFiles.h"

using namespace zalvik;
using store::SettingsCell;
using Kind = SettingsCell::Kind;

namespace {

Competition TwoClassesFourGates() {
    Competition c;
    const char* names[] = {"赤", "青", "", "黄", "緑"};
    for (int k = 1; k <= 5; ++k) {
        c.buoyName[k] = QString::fromUtf8(names[k - 1]);
        c.buoyScore[k] = static_cast<int16_t>(10 * k - 20);
    }
    c.gateCount = 4;
    c.gateBuoyCount = {0, 3, 2, 5, 4, 9, 9, 9, 9, 9, 9, 9, 9};
    c.eventName = QStringLiteral("春季大会");
    c.eventVenue = QStringLiteral("ミルネ温泉スキー場");
    c.classCount = 2;
    c.className = {QString(), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("旧C")};
    return c;
}

SettingsCell T(int r, int c, const char* text) {
    return {r, c, Kind::Text, QString::fromUtf8(text), 0, {}};
}
SettingsCell I(int r, int c, int v) { return {r, c, Kind::Integer, {}, v, {}}; }

}  // namespace

TEST(SettingsWriter, CellsInTheirOrderWithTheirTypes) {
    const QDate date(2026, 3, 1);
    const std::vector<SettingsCell> expected = {
        T(2, 21, "赤"),
        I(2, 22, -10),
        T(3, 21, "青"),
        I(3, 22, 0),
        T(4, 21, ""),
        I(4, 22, 10),
        T(5, 21, "黄"),
        I(5, 22, 20),
        T(6, 21, "緑"),
        I(6, 22, 30),
        T(2, 23, "4"),
        I(2, 24, 3),
        I(3, 24, 2),
        I(4, 24, 5),
        I(5, 24, 4),
        T(1, 26, "春季大会"),
        T(2, 26, "ミルネ温泉スキー場"),
        {3, 26, Kind::Date, {}, 0, date},
        I(2, 27, 2),
        T(2, 28, "A"),
        T(3, 28, "B"),
    };
    EXPECT_EQ(store::SettingsBlockCells(TwoClassesFourGates(), QStringLiteral("4"), date),
              expected);
}

// The per-gate counts follow the gate count text that is written beside them.
TEST(SettingsWriter, GateCountsFollowTheText) {
    struct Case {
        const char* text;
        int gateCells;
    };
    const Case cases[] = {{"4", 4},     {"2", 2},   {"0", 0},  {"", 0},  {"abc", 0},
                          {" 1 2", 12}, {"12", 12}, {"13", 0}, {"-3", 0}};
    for (const Case& c : cases) {
        const auto cells = store::SettingsBlockCells(TwoClassesFourGates(),
                                                     QString::fromUtf8(c.text), QDate(2026, 3, 1));
        int gateCells = 0;
        for (const SettingsCell& cell : cells) gateCells += cell.col == store::kColGateBuoys;
        EXPECT_EQ(gateCells, c.gateCells) << c.text;
        const auto count = std::find_if(cells.begin(), cells.end(), [](const SettingsCell& cell) {
            return cell.col == store::kColGateCount;
        });
        ASSERT_NE(count, cells.end());
        EXPECT_EQ(count->text, QString::fromUtf8(c.text)) << "written unchanged";
    }
}

TEST(SettingsWriter, WritesValuesAndLeavesOldEntriesBelowTheCounts) {
    testsupport::TempDir dir;
    testsupport::TestWorkbook wb(dir.file("settings.xlsx"));
    wb.settings(QStringLiteral("7"), {1, 1, 1, 1, 1, 1, 1},
                {QStringLiteral("男子"), QStringLiteral("女子"), QStringLiteral("少年")});
    Competition c = TwoClassesFourGates();
    store::WriteCells(wb.ws(),
                      store::SettingsBlockCells(c, QStringLiteral("4"), QDate(2026, 3, 1)));
    wb.save();

    sheet::FileFault fault;
    auto book = sheet::Workbook::open(wb.path(), &fault);
    ASSERT_TRUE(book) << fault;
    const sheet::Worksheet& ws = *book->worksheet(1);
    EXPECT_EQ(ws.value(2, 23).type, sheet::ValueType::Text);
    EXPECT_EQ(ws.value(2, 23).text, "4");
    EXPECT_EQ(ws.value(2, 22).type, sheet::ValueType::Number);
    EXPECT_EQ(ws.value(2, 22).number, -10);
    EXPECT_EQ(ws.value(5, 24).number, 4);
    EXPECT_EQ(ws.value(3, 26).type, sheet::ValueType::Date);
    EXPECT_EQ(ws.value(3, 26).date(), (sheet::Date{2026, 3, 1}));
    EXPECT_EQ(ws.value(2, 27).number, 2);
    EXPECT_EQ(ws.text(3, 28), "B");
    // Gates 5..7 and class 3 of the larger settings stay where they were.
    for (int row = 6; row <= 8; ++row) EXPECT_EQ(ws.value(row, 24).number, 1) << row;
    EXPECT_EQ(ws.text(4, 28), "少年");
}
