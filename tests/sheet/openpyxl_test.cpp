// A workbook saved by the layer, read by openpyxl: an independent reader must see what was written.
#include <gtest/gtest.h>

#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"

using namespace sheet;

TEST(SheetOpenpyxl, ReadsWhatTheLayerWrote) {
    if (!testsupport::haveOpenpyxl()) GTEST_SKIP() << "openpyxl is not installed";
    testsupport::TempDir dir;
    const std::string path = dir.file("results.xlsx");
    sheet::FileFault fault;
    ASSERT_TRUE(Workbook::createEmpty(path, {"入力", "成績"}, &fault)) << fault;
    {
        auto wb = Workbook::open(path, &fault);
        ASSERT_TRUE(wb) << fault;
        Worksheet* in = wb->worksheet(1);
        in->setNumberFormat(2, 5, "0.00");
        in->setNumber(2, 5, 51.25);
        in->setInteger(2, 8, 2);
        in->setText(2, 9, "10");
        in->setText(2, 2, " 氏　名 ");
        in->setDate(3, 26, {2024, 3, 9});
        Worksheet* out = wb->worksheet(2);
        out->setRowHeight(1, 26);
        out->setFontSize(1, 5, 24);
        out->setText(1, 5, " 公 式 成 績 表");
        out->setHorizontalCenter(2, 11);
        out->setBottomDoubleBorder(2, 11);
        out->setFill("A6:K6", Fill::Tan);
        out->setColumnWidth(5, 30);
        out->setPageMargins({0.8, 0.3, 1.5, 0.98, 1.2, 0.1});
        out->setHeaderFooter({"L1\nL2", "大会 & 会場", "", "2024/03/09/会場", "", "T"});
        out->select();
        SaveResult r = wb->save();
        ASSERT_TRUE(r.ok) << r;
    }
    int rc = 0;
    std::string got = sheettest::Python(R"(
import openpyxl, datetime
wb = openpyxl.load_workbook(')" + path + R"(')
a, b = wb.worksheets[0], wb.worksheets[1]
def show(c): print(repr(c.value), type(c.value).__name__, c.number_format)
show(a['E2']); show(a['H2']); show(a['I2']); show(a['B2']); show(a['Z3'])
print(b.row_dimensions[1].height, b['E1'].font.sz, b['K2'].alignment.horizontal)
print(b['K2'].border.bottom.style, b['K2'].border.bottom.color.auto if b['K2'].border.bottom.color else None)
print(b['A6'].fill.fill_type, b['A6'].fill.fgColor.rgb, b['K6'].fill.fgColor.rgb, b['A7'].fill.fill_type)
print(round(b.column_dimensions['E'].width, 4))
m = b.page_margins; print(m.left, m.right, m.top, m.bottom, m.header, m.footer)
h = b.oddHeader; f = b.oddFooter
print('|'.join(str(t).replace(chr(10), '/LF/') for t in (h.left.text, h.center.text, f.left.text, f.right.text)))
print(wb.active.title)
)",
                                        &rc);
    ASSERT_EQ(rc, 0) << got;
    const std::string expected =
        "51.25 float 0.00\n"
        "2 int General\n"
        "'10' str General\n"
        "' 氏\\u3000名 ' str General\n"
        "datetime.datetime(2024, 3, 9, 0, 0) datetime yyyy/mm/dd\n"
        "26.0 24.0 center\n"
        "double True\n"
        "solid FFFFCC99 FFFFCC99 None\n"
        "30.625\n"
        "0.8 0.3 1.5 0.98 1.2 0.1\n"
        // openpyxl shows the doubled "&" of the file as it stands.
        "L1/LF/L2|大会 && 会場|2024/03/09/会場|T\n"
        "成績\n";
    EXPECT_EQ(got, expected);
}

// A worksheet large enough to be deflated in pieces, saved once whole and then with a cell
// changed in its middle, so that the second file joins pieces kept from the first save with
// one deflated again: openpyxl reads every cell of it.
TEST(SheetOpenpyxl, ReadsALargeSheetSavedInPieces) {
    if (!testsupport::haveOpenpyxl()) GTEST_SKIP() << "openpyxl is not installed";
    testsupport::TempDir dir;
    const std::string path = dir.file("large.xlsx");
    sheet::FileFault fault;
    ASSERT_TRUE(Workbook::createEmpty(path, {"入力", "成績"}, &fault)) << fault;
    auto wb = Workbook::open(path, &fault);
    ASSERT_TRUE(wb) << fault;
    for (int row = 1; row <= 3000; ++row) wb->worksheet(1)->setText(row, 1, std::to_string(row));
    ASSERT_TRUE(wb->save().ok);
    wb->worksheet(1)->setText(1500, 1, "変更");
    ASSERT_TRUE(wb->save().ok);
    int rc = 0;
    const std::string got = sheettest::Python(R"(
import openpyxl
ws = openpyxl.load_workbook(')" + path + R"(').worksheets[0]
print([r for r in range(1, 3001) if ws.cell(r, 1).value != ('変更' if r == 1500 else str(r))])
)",
                                              &rc);
    ASSERT_EQ(rc, 0) << got;
    EXPECT_EQ(got, "[]\n");
}
