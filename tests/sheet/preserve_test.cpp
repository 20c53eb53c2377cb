// What the layer was not asked to change comes back unchanged after a save: other sheets,
// charts, comments, defined names, formulas and print settings.
#include <gtest/gtest.h>

#include <set>

#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"

using namespace sheet;
using sheettest::MiniBook;
using sheettest::SheetXml;
using sheettest::ZipEntries;

TEST(SheetPreserve, UntouchedPartsSurviveByteForByte) {
    if (!testsupport::haveOpenpyxl()) GTEST_SKIP() << "openpyxl is not installed";
    testsupport::TempDir dir;
    const std::string path = dir.file("rich.xlsx");
    int rc = 0;
    std::string out = sheettest::Python(R"(
import openpyxl
from openpyxl.chart import BarChart, Reference
from openpyxl.comments import Comment
from openpyxl.workbook.defined_name import DefinedName
wb = openpyxl.Workbook()
a = wb.active; a.title = '入力'
b = wb.create_sheet('成績'); c = wb.create_sheet('集計')
for i in range(1, 6):
    a.cell(i + 1, 1, i); a.cell(i + 1, 5, i * 10.5)
a['A10'] = '=SUM(A2:A6)'
a['B2'].comment = Comment('メモ', 'author')
a.merge_cells('C1:D1')
b['A1'] = 'old'; b['L47'] = 'Page 1'
c['A1'] = 'keep'; c['B1'] = '=入力!A2*2'
chart = BarChart(); chart.add_data(Reference(a, min_col=5, min_row=2, max_row=6)); c.add_chart(chart, 'D2')
wb.defined_names.append(DefinedName(name='Times', attr_text="'入力'!$E$2:$E$6"))
c.page_setup.orientation = 'landscape'; c.print_options.gridLines = True
wb.save(')" + path + "')",
                                        &rc);
    ASSERT_EQ(rc, 0) << out;
    const auto before = ZipEntries(path);

    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    ASSERT_TRUE(wb) << fault;
    ASSERT_EQ(wb->worksheetCount(), 3);
    EXPECT_EQ(wb->worksheetName(2), "成績");
    Worksheet* input = wb->worksheet(1);
    ASSERT_TRUE(input) << wb->lastFault();
    EXPECT_EQ(input->text(4, 5), "31.5");
    input->setNumber(2, 5, 99);
    Worksheet* results = wb->worksheet(2);
    ASSERT_TRUE(results) << wb->lastFault();
    results->clearContents();
    results->setFill("A6:K6", Fill::Tan);
    results->setHeaderFooter({"", "大会", "", "", "", ""});
    results->select();
    SaveResult saved = wb->save();
    ASSERT_TRUE(saved.ok) << saved;

    const auto after = ZipEntries(path);
    const std::set<std::string> mayChange = {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml",
                                             "xl/styles.xml", "xl/workbook.xml"};
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [name, data] : before) {
        ASSERT_TRUE(after.count(name)) << name;
        if (mayChange.count(name)) continue;
        EXPECT_EQ(after.at(name), data) << name << " changed";
    }
    EXPECT_NE(after.at("xl/worksheets/sheet1.xml").find("<f>SUM(A2:A6)</f>"), std::string::npos);

    out = sheettest::Python(R"(
import openpyxl
wb = openpyxl.load_workbook(')" +
                                path + R"(')
a, b, c = wb.worksheets
print(a['A10'].value, a['E2'].value, a['B2'].comment.text, sorted(str(r) for r in a.merged_cells.ranges))
print(b['A1'].value, b['L47'].value, b['A6'].fill.fgColor.rgb, wb.active.title)
print(c['A1'].value, c['B1'].value, len(c._charts), c.page_setup.orientation, c.print_options.gridLines)
print(wb.defined_names['Times'].attr_text)
)",
                            &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(out,
              "=SUM(A2:A6) 99 メモ ['C1:D1']\n"
              "None None FFFFCC99 成績\n"
              "keep =入力!A2*2 1 landscape True\n"
              "'入力'!$E$2:$E$6\n");
}

TEST(SheetPreserve, RemovingAFormulaDropsTheStaleCalculationChain) {
    testsupport::TempDir dir;
    MiniBook book;
    book.sheets = {
        SheetXml(R"(<row r="1"><c r="A1"><v>2</v></c><c r="B1"><f>A1*2</f><v>4</v></c></row>)"),
        SheetXml("")};
    auto entries = book.entries();
    for (auto& [name, data] : entries) {
        if (name == "[Content_Types].xml")
            data.insert(
                data.find("</Types>"),
                R"(<Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/>)");
        if (name == "xl/_rels/workbook.xml.rels")
            data.insert(
                data.find("</Relationships>"),
                R"(<Relationship Id="rIdC" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain" Target="calcChain.xml"/>)");
    }
    entries.push_back(
        {"xl/calcChain.xml",
         R"(<calcChain xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><c r="B1" i="1"/></calcChain>)"});
    const std::string path = dir.file("calc.xlsx");
    sheettest::WriteZip(path, entries);

    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    ASSERT_TRUE(wb) << fault;
    EXPECT_EQ(wb->worksheet(1)->text(1, 2), "4");
    wb->worksheet(1)->setNumber(1, 1, 3);  // no formula touched: the chain stays
    ASSERT_TRUE(wb->save().ok);
    EXPECT_EQ(ZipEntries(path).count("xl/calcChain.xml"), 1u);

    wb->worksheet(1)->setNumber(1, 2, 6);  // the formula goes
    ASSERT_TRUE(wb->save().ok);
    auto after = ZipEntries(path);
    EXPECT_EQ(after.count("xl/calcChain.xml"), 0u);
    EXPECT_EQ(after["[Content_Types].xml"].find("calcChain"), std::string::npos);
    EXPECT_EQ(after["xl/_rels/workbook.xml.rels"].find("calcChain"), std::string::npos);
    EXPECT_EQ(after["xl/worksheets/sheet1.xml"].find("<f>"), std::string::npos);
    auto again = Workbook::open(path, &fault);
    ASSERT_TRUE(again) << fault;
    EXPECT_EQ(again->worksheet(1)->text(1, 2), "6");
}

TEST(SheetPreserve, WorkbookWithoutStylesGetsOne) {
    testsupport::TempDir dir;
    MiniBook book;  // no styles part at all
    book.sheets = {SheetXml(R"(<row r="1"><c r="A1"><v>1.5</v></c></row>)")};
    const std::string path = dir.file("plain.xlsx");
    sheettest::WriteZip(path, book.entries());
    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    ASSERT_TRUE(wb) << fault;
    EXPECT_EQ(wb->worksheet(1)->numberFormat(1, 1), "General");
    wb->worksheet(1)->setNumberFormat(1, 1, "0.00");
    wb->worksheet(1)->setFontSize(1, 1, 12);
    ASSERT_TRUE(wb->save().ok);
    auto again = Workbook::open(path, &fault);
    ASSERT_TRUE(again) << fault;
    EXPECT_EQ(again->worksheet(1)->numberFormat(1, 1), "0.00");
    EXPECT_DOUBLE_EQ(again->worksheet(1)->fontSize(1, 1), 12);
    if (testsupport::haveOpenpyxl()) {
        std::string got =
            sheettest::Python("import openpyxl\nc = openpyxl.load_workbook('" + path +
                              "').worksheets[0]['A1']\nprint(c.value, c.number_format, c.font.sz)");
        EXPECT_EQ(got, "1.5 0.00 12.0\n");
    }
}

TEST(SheetPreserve, OverwritingTheFirstCellOfASharedFormulaLeavesValidCells) {
    testsupport::TempDir dir;
    MiniBook book;
    // The formula cannot move down: its reference would leave the sheet. Its other cells keep
    // their values instead.
    book.sheets = {SheetXml(
        R"(<row r="1"><c r="A1"><v>1</v></c><c r="B1"><f t="shared" ref="B1:B3" si="0">A1048576+A1*2</f><v>2</v></c></row>)"
        R"(<row r="2"><c r="A2"><v>2</v></c><c r="B2"><f t="shared" si="0"/><v>4</v></c></row>)"
        R"(<row r="3"><c r="A3"><v>3</v></c><c r="B3"><f t="shared" si="0"/><v>6</v></c><c r="C3"><f t="shared" ref="C3" si="1">A3</f><v>3</v></c></row>)")};
    const std::string path = dir.file("shared.xlsx");
    sheettest::WriteZip(path, book.entries());
    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    ASSERT_TRUE(wb) << fault;
    wb->worksheet(1)->setText(1, 2, "x");
    ASSERT_TRUE(wb->save().ok);
    std::string sheet = ZipEntries(path)["xl/worksheets/sheet1.xml"];
    EXPECT_EQ(sheet.find(R"(si="0")"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find(R"(si="1")"), std::string::npos) << "other shared formulas stay";
    auto again = Workbook::open(path, &fault);
    EXPECT_EQ(again->worksheet(1)->text(2, 2), "4");
    EXPECT_EQ(again->worksheet(1)->text(3, 2), "6");
}
