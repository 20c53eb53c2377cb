// The committed example workbook holds exactly the cells of the shared example data, so the
// data-load screen and the file never drift apart (run tools/make_example after changing it).
#include <gtest/gtest.h>

#include "app/Numbers.h"
#include "sheet/Workbook.h"
#include "store/ExampleData.h"
#include "support/FaultText.h"

TEST(SheetExample, CommittedWorkbookMatchesTheExampleData) {
    sheet::FileFault fault;
    auto book =
        sheet::Workbook::open(std::string(PROJECT_SOURCE_DIR) + "/examples/example.xlsx", &fault);
    ASSERT_TRUE(book) << fault;
    ASSERT_EQ(book->worksheetCount(), 2);
    sheet::Worksheet* ws = book->worksheet(1);
    ASSERT_TRUE(ws) << book->lastFault();
    using Kind = zalvik::example::Cell::Kind;
    for (const auto& cell : zalvik::example::InputSheetCells()) {
        sheet::Value v = ws->value(cell.row, cell.col);
        const std::string where = sheet::CellName(cell.row, cell.col);
        switch (cell.kind) {
            case Kind::Text:
                EXPECT_EQ(v.type, sheet::ValueType::Text) << where;
                EXPECT_EQ(v.text, cell.text.toStdString()) << where;
                break;
            case Kind::Number:
                EXPECT_EQ(v.type, sheet::ValueType::Number) << where;
                EXPECT_EQ(v.number, cell.number) << where;
                // Numbers are stored as the decimals they were typed as (75.3), never as a
                // widened single-precision value (75.30000305175781).
                EXPECT_EQ(v.number, zalvik::ShortestDecimal(static_cast<float>(v.number))) << where;
                break;
            case Kind::Date:
                EXPECT_EQ(v.type, sheet::ValueType::Date) << where;
                EXPECT_EQ(v.date(), (sheet::Date{cell.year, cell.month, cell.day})) << where;
                break;
        }
        if (!cell.numberFormat.isEmpty()) {
            EXPECT_EQ(ws->numberFormat(cell.row, cell.col), cell.numberFormat.toStdString())
                << where;
        }
    }
}
