// Writing over the first cell of a shared formula: the formula moves to the next cell of its
// range so that its other cells keep calculating, checked against openpyxl's own reading of the
// formula in every cell before and after.
#include <gtest/gtest.h>

#include "sheet/Formula.h"
#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"

using namespace sheet;
using sheettest::MiniBook;
using sheettest::SheetXml;
using sheettest::ZipEntries;

TEST(SheetSharedFormula, ShiftedTextKeepsWhatIsNotAReference) {
    struct Case {
        const char* formula;
        int rows, cols;
        const char* shifted;  // nullptr: cannot be moved safely
    } cases[] = {
        {"A1*2+$A$1+A$1+$A1", 1, 1, "B2*2+$A$1+B$1+$A2"},
        {"SUM(B2:C3)/COUNT(b2:c3)", 2, 0, "SUM(B4:C5)/COUNT(B4:C5)"},
        {"SUM(A:A,$B:$B,1:1,$2:$2)", 3, 1, "SUM(B:B,$B:$B,4:4,$2:$2)"},
        {"Sheet2!B2+'My ''Sheet'''!C3+入力!A1+[1]Ext!A1", 1, 0,
         "Sheet2!B3+'My ''Sheet'''!C4+入力!A2+[1]Ext!A2"},
        {"Sheet1:Sheet3!A1", 0, 2, "Sheet1:Sheet3!C1"},
        {"IF(A1=\"A1\",\"say \"\"B2\"\"\",INDIRECT(\"C3\"))", 1, 0,
         "IF(A2=\"A1\",\"say \"\"B2\"\"\",INDIRECT(\"C3\"))"},
        {"LOG10(A1)+ATAN2(A1,B1)+_xlfn.STDEV.S(A1:A3)", 1, 0,
         "LOG10(A2)+ATAN2(A2,B2)+_xlfn.STDEV.S(A2:A4)"},
        {"Table1[[#This Row],[Time]]*A1+Rate", 1, 0, "Table1[[#This Row],[Time]]*A2+Rate"},
        {"IFERROR(A1,#N/A)+IF(#REF!,1E+5,2.5E-3)+TRUE", 0, 1,
         "IFERROR(B1,#N/A)+IF(#REF!,1E+5,2.5E-3)+TRUE"},
        {"SUM(A1#)+{1,2;3,4}", 1, 0, "SUM(A2#)+{1,2;3,4}"},
        {"B2-1", -1, -1, "A1-1"},
        {"A1048576", 1, 0, nullptr},     // would leave the sheet
        {"XFD1+1", 0, 1, nullptr},       // so would this
        {"A1&\"open", 1, 0, nullptr},    // a text that never ends
        {"'Sheet!A1", 1, 0, nullptr},    // a sheet name that never ends
        {"Table1[Time", 1, 0, nullptr},  // a table reference that never ends
        {"#WHAT+A1", 1, 0, nullptr},     // not an error value this reading knows
    };
    for (const auto& c : cases) {
        std::string out;
        const bool ok = detail::ShiftFormula(c.formula, c.rows, c.cols, &out);
        EXPECT_EQ(ok, c.shifted != nullptr) << c.formula << " -> " << out;
        if (ok && c.shifted) {
            EXPECT_EQ(out, c.shifted) << c.formula;
        }
    }
}

TEST(SheetSharedFormula, OtherCellsKeepTheirFormulasWhenTheFirstIsOverwritten) {
    testsupport::TempDir dir;
    MiniBook book;
    const char* kBlock =
        "$A1+A$1+Sheet2!B2+'My Sheet'!C3+LEN(&quot;A1&quot;)+SUM(A:A)+SUM(1:1)+LOG10(A1)";
    std::string rows;
    for (int r = 1; r <= 4; ++r) {
        const std::string n = std::to_string(r);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c>";
        // B1:B4 filled down from B1; D1:E3 filled down and right from D1; G1:G3 cannot move.
        rows += r == 1 ? R"(<c r="B1"><f t="shared" ref="B1:B4" si="0">A1*2+$A$1</f><v>3</v></c>)"
                       : "<c r=\"B" + n + "\"><f t=\"shared\" si=\"0\"/><v>9</v></c>";
        if (r <= 3) {
            for (const char* col : {"D", "E"}) {
                const bool first = r == 1 && col[0] == 'D';
                rows += std::string("<c r=\"") + col + n + "\"><f t=\"shared\" si=\"1\"" +
                        (first ? std::string(" ref=\"D1:E3\">") + kBlock + "</f>" : "/>") +
                        "<v>7</v></c>";
            }
            rows += r == 1
                        ? R"(<c r="G1"><f t="shared" ref="G1:G3" si="2">A1048576</f><v>0</v></c>)"
                        : "<c r=\"G" + n + "\"><f t=\"shared\" si=\"2\"/><v>4" + n + "</v></c>";
        }
        rows += "</row>";
    }
    book.sheets = {SheetXml(rows), SheetXml("")};
    const std::string path = dir.file("shared.xlsx");
    sheettest::WriteZip(path, book.entries());
    const std::string before = dir.file("before.xlsx");
    sheettest::WriteFile(before, sheettest::ReadFile(path));

    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    ASSERT_TRUE(wb) << fault;
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws) << wb->lastFault();
    ws->setNumber(1, 2, 10);   // B1
    ws->setText(1, 4, "x");    // D1
    ws->setNumber(1, 7, 0.5);  // G1
    ASSERT_TRUE(wb->save().ok);

    const std::string sheet = ZipEntries(path)["xl/worksheets/sheet1.xml"];
    for (
        const char* expected : {
            R"(<c r="B2"><f t="shared" ref="B2:B4" si="0">A2*2+$A$1</f><v>9</v></c>)",
            R"(<c r="B3"><f t="shared" si="0"/>)",
            R"(<c r="E1"><f t="shared" ref="E1" si="1">$A1+B$1+Sheet2!C2+'My Sheet'!D3+LEN("A1")+SUM(B:B)+SUM(1:1)+LOG10(B1)</f>)",
            R"(<c r="D2"><f t="shared" ref="D2:E3" si="3">$A2+A$1+Sheet2!B3+'My Sheet'!C4+LEN("A1")+SUM(A:A)+SUM(2:2)+LOG10(A2)</f>)",
            R"(<c r="E3"><f t="shared" si="3"/>)",
            R"(<c r="G2"><v>42</v></c>)",  // kept as a value: the formula could not move
            R"(<c r="G3"><v>43</v></c>)",
        })
        EXPECT_NE(sheet.find(expected), std::string::npos) << expected << "\n" << sheet;
    auto again = Workbook::open(path, &fault);
    ASSERT_TRUE(again) << fault;
    EXPECT_EQ(again->worksheet(1)->text(1, 2), "10");
    EXPECT_EQ(again->worksheet(1)->text(3, 2), "9");
    EXPECT_EQ(again->worksheet(1)->text(3, 7), "43");

    if (!testsupport::haveOpenpyxl()) GTEST_SKIP() << "openpyxl is not installed";
    // openpyxl works out each cell's formula from the shared one: every cell that was not
    // written reads the same formula as before.
    const std::string script =
        "import openpyxl, sys\n"
        "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
        "for ref in ['B2','B3','B4','E1','D2','E2','D3','E3']:\n"
        "    print(ref, ws[ref].value)\n";
    const std::string scriptFile = dir.file("formulas.py");
    sheettest::WriteFile(scriptFile, script);
    std::string was, now;
    ASSERT_EQ(
        testsupport::runCommand("/usr/bin/python3 -W ignore " + scriptFile + " " + before, &was), 0)
        << was;
    ASSERT_EQ(
        testsupport::runCommand("/usr/bin/python3 -W ignore " + scriptFile + " " + path, &now), 0)
        << now;
    EXPECT_EQ(now, was);
    EXPECT_NE(now.find("E3 =$A3+B$1+Sheet2!C4+'My Sheet'!D5"), std::string::npos) << now;
}

TEST(SheetSharedFormula, OverwritingADynamicArrayEmptiesItsSpill) {
    testsupport::TempDir dir;
    MiniBook book;
    // Cell metadata 1 marks a dynamic array, 2 something else; F1:G3 and I1:I2 are dynamic
    // arrays, K1:K2 an old-style array formula whose other cell keeps its value.
    book.metadata =
        R"(<metadata xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><metadataTypes count="2">)"
        R"(<metadataType name="XLMDX" minSupportedVersion="120000"/><metadataType name="XLDAPR" minSupportedVersion="120000" copy="1" pasteAll="1" pasteValues="1" merge="1" splitFirst="1" rowColShift="1" clearFormats="1" clearComments="1" assign="1" coerce="1" cellMeta="1"/>)"
        R"(</metadataTypes><cellMetadata count="2"><bk><rc t="2" v="0"/></bk><bk><rc t="1" v="0"/></bk></cellMetadata></metadata>)";
    std::string rows;
    for (int r = 1; r <= 3; ++r) {
        const std::string n = std::to_string(r);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c>";
        rows +=
            r == 1
                ? R"(<c r="F1" cm="1"><f t="array" ref="F1:G3">_xlfn.SEQUENCE(3,2)</f><v>1</v></c>)"
                : "<c r=\"F" + n + "\"><v>" + n + "1</v></c>";
        rows += "<c r=\"G" + n + "\"><v>" + n + "2</v></c>";
        if (r == 1) rows += R"(<c r="I1" cm="1"><f t="array" ref="I1:I2">A1:A2</f><v>1</v></c>)";
        if (r == 2) rows += R"(<c r="I2"><v>2</v></c>)";
        if (r == 1) rows += R"(<c r="K1" cm="2"><f t="array" ref="K1:K2">A1:A2*2</f><v>2</v></c>)";
        if (r == 2) rows += R"(<c r="K2"><v>4</v></c>)";
        rows += "</row>";
    }
    book.sheets = {SheetXml(rows)};
    const std::string path = dir.file("spill.xlsx");
    sheettest::WriteZip(path, book.entries());
    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    ASSERT_TRUE(wb) << fault;
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws) << wb->lastFault();
    ws->setText(1, 6, "x");   // F1
    ws->setNumber(1, 9, 5);   // I1
    ws->setNumber(1, 11, 7);  // K1
    ASSERT_TRUE(wb->save().ok);
    auto again = Workbook::open(path, &fault);
    ASSERT_TRUE(again) << fault;
    Worksheet* back = again->worksheet(1);
    EXPECT_EQ(back->text(1, 6), "x");
    EXPECT_EQ(back->text(1, 9), "5");
    // G1, F2, G2, F3, G3 and I2.
    for (auto [row, col] : {std::pair{1, 7}, {2, 6}, {2, 7}, {3, 6}, {3, 7}, {2, 9}})
        EXPECT_TRUE(back->value(row, col).isEmpty())
            << CellName(row, col) << ": " << back->text(row, col);
    EXPECT_EQ(back->text(2, 11), "4");
    EXPECT_EQ(back->text(3, 1), "3");  // outside every array
}
