// Reading what other producers write: shared strings with phonetic runs, prefixes, cells without
// addresses, the value types, and dates in both date systems.
#include <gtest/gtest.h>

#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"

using namespace sheet;
using sheettest::MiniBook;
using sheettest::SheetXml;

namespace {

const char* kStyles =
    R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts count="1"><numFmt numFmtId="164" formatCode="yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/></numFmts><fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts><fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills><borders count="1"><border/></borders><cellStyleXfs count="1"><xf/></cellStyleXfs><cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/><xf numFmtId="2"/></cellXfs></styleSheet>)";

std::unique_ptr<Workbook> OpenMini(const testsupport::TempDir& dir, const MiniBook& book) {
    sheettest::WriteZip(dir.file("mini.xlsx"), book.entries());
    sheet::FileFault fault;
    auto wb = Workbook::open(dir.file("mini.xlsx"), &fault);
    EXPECT_TRUE(wb) << fault;
    return wb;
}

}  // namespace

TEST(SheetReading, ValueTypesAndSharedStrings) {
    testsupport::TempDir dir;
    MiniBook book;
    book.sharedStrings =
        R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="5" uniqueCount="5">)"
        R"(<si><t>山田　太郎</t><rPh sb="0" eb="2"><t>ヤマダ</t></rPh><rPh sb="3" eb="5"><t>タロウ</t></rPh><phoneticPr fontId="1"/></si>)"
        R"(<si><r><rPr><b/></rPr><t>北山</t></r><r><t xml:space="preserve"> SC</t></r><rPh sb="0" eb="2"><t>キタヤマ</t></rPh></si>)"
        R"(<si><t xml:space="preserve">  </t></si>)"
        R"(<si><t>a_x000D_b_x005F_x0041_</t></si>)"
        R"(<si><t/></si></sst>)";
    book.sheets = {SheetXml(
        R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c><c r="D1" t="s"><v>3</v></c><c r="E1" t="s"><v>4</v></c><c r="F1" t="s"><v>99</v></c></row>)"
        R"(<row r="2"><c r="A2"><v>307.5</v></c><c r="B2" t="b"><v>1</v></c><c r="C2" t="e"><v>#DIV/0!</v></c><c r="D2" t="str"><f>A2&amp;"x"</f><v>307.5x</v></c><c r="E2"><f>A2*2</f></c><c r="F2" t="inlineStr"><is><t>インライン</t><rPh><t>x</t></rPh></is></c><c r="G2"><v>0.30000000000000004</v></c><c r="H2" t="n"><v>5.0</v></c></row>)")};
    auto wb = OpenMini(dir, book);
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws) << wb->lastFault();
    struct Case {
        const char* cell;
        int row, col;
        ValueType type;
        std::string text;
    } cases[] = {
        {"A1", 1, 1, ValueType::Text, "山田　太郎"},   // no reading glued on
        {"B1", 1, 2, ValueType::Text, "北山 SC"},      // rich-text runs joined
        {"C1", 1, 3, ValueType::Text, "  "},           // whitespace kept
        {"D1", 1, 4, ValueType::Text, "a\rb_x0041_"},  // escapes decoded
        {"E1", 1, 5, ValueType::Text, ""},
        {"F1", 1, 6, ValueType::Empty, ""},  // index outside the table
        {"A2", 2, 1, ValueType::Number, "307.5"},
        {"B2", 2, 2, ValueType::Boolean, "TRUE"},
        {"C2", 2, 3, ValueType::Error, "#DIV/0!"},
        {"D2", 2, 4, ValueType::Text, "307.5x"},  // a formula's cached value
        {"E2", 2, 5, ValueType::Empty, ""},       // formula without a cached value
        {"F2", 2, 6, ValueType::Text, "インライン"},
        {"G2", 2, 7, ValueType::Number, "0.3"},
        {"H2", 2, 8, ValueType::Number, "5"},
        {"Z9", 9, 26, ValueType::Empty, ""},
    };
    for (const auto& c : cases) {
        Value v = ws->value(c.row, c.col);
        EXPECT_EQ(v.type, c.type) << c.cell;
        EXPECT_EQ(v.toText(), c.text) << c.cell;
    }
    EXPECT_TRUE(ws->value(1, 5).isEmpty());
    EXPECT_FALSE(ws->value(1, 3).isEmpty());
}

TEST(SheetReading, DatesInBothDateSystems) {
    for (bool is1904 : {false, true}) {
        testsupport::TempDir dir;
        MiniBook book;
        book.styles = kStyles;
        if (is1904) book.workbookPr = R"(<workbookPr date1904="1"/>)";
        // 45337 is 2024-02-15 in the 1900 system; the 1904 system counts 1462 days less.
        const std::string serial = is1904 ? "43875" : "45337";
        book.sheets = {SheetXml(
            R"(<row r="3"><c r="Z3" s="1"><v>)" + serial + R"(</v></c><c r="AA3" s="2"><v>)" +
            serial + R"(.75</v></c><c r="AB3" s="3"><v>)" + serial +
            R"(</v></c><c r="AC3" t="d"><v>2024-02-15T00:00:00</v></c></row>)")};
        auto wb = OpenMini(dir, book);
        Worksheet* ws = wb->worksheet(1);
        ASSERT_TRUE(ws) << wb->lastFault();
        EXPECT_EQ(ws->value(3, 26).type, ValueType::Date) << is1904;
        EXPECT_EQ(ws->text(3, 26), "2024/02/15") << is1904;
        EXPECT_EQ(ws->text(3, 27), "2024/02/15") << is1904;  // custom 年月日 format, time ignored
        EXPECT_EQ(ws->value(3, 28).type, ValueType::Number);  // "0.00" is no date
        EXPECT_EQ(ws->text(3, 29), "2024/02/15");
        EXPECT_EQ(ws->numberFormat(3, 27), "yyyy\"年\"m\"月\"d\"日\"");

        // A date written into a 1904 workbook reads back as the same day elsewhere too.
        ws->setDate(5, 26, {2026, 2, 15});
        ASSERT_TRUE(wb->save().ok);
        sheet::FileFault fault;
        auto again = Workbook::open(dir.file("mini.xlsx"), &fault);
        EXPECT_EQ(again->worksheet(1)->text(5, 26), "2026/02/15") << is1904;
        if (testsupport::haveOpenpyxl()) {
            std::string got =
                sheettest::Python("import openpyxl\nprint(openpyxl.load_workbook('" +
                                  dir.file("mini.xlsx") + "').worksheets[0]['Z5'].value)");
            EXPECT_EQ(got, "2026-02-15 00:00:00\n") << is1904;
        }
    }
}

TEST(SheetReading, PrefixedElementsAndCellsWithoutAddresses) {
    testsupport::TempDir dir;
    MiniBook book;
    book.sheets = {
        SheetXml(
            R"(<x:row r="2"><x:c r="A2"><x:v>1</x:v></x:c><x:c r="C2" t="inlineStr"><x:is><x:t>c</x:t></x:is></x:c></x:row>)",
            "x"),
        // Rows and cells without r: each is one after the previous one.
        SheetXml(
            R"(<row><c><v>11</v></c><c><v>12</v></c></row><row><c t="inlineStr"><is><t>b1</t></is></c><c r="C2"><v>23</v></c><c><v>24</v></c></row><row r="5"><c r="B5"><v>52</v></c><c><v>53</v></c></row>)")};
    auto wb = OpenMini(dir, book);
    Worksheet* x = wb->worksheet(1);
    ASSERT_TRUE(x) << wb->lastFault();
    EXPECT_EQ(x->text(2, 1), "1");
    EXPECT_EQ(x->text(2, 3), "c");
    Worksheet* plain = wb->worksheet(2);
    ASSERT_TRUE(plain) << wb->lastFault();
    struct Case {
        int row, col;
        const char* text;
    } cases[] = {{1, 1, "11"}, {1, 2, "12"}, {2, 1, "b1"}, {2, 3, "23"}, {2, 4, "24"},
                 {5, 2, "52"}, {5, 3, "53"}, {3, 1, ""},   {2, 2, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(plain->text(c.row, c.col), c.text) << CellName(c.row, c.col);

    // Writing between existing cells keeps every cell where it was, in both sheets.
    x->setText(2, 2, "b");
    x->setNumber(1, 1, 7);
    plain->setNumber(2, 2, 22);
    plain->setNumber(1, 3, 13);
    ASSERT_TRUE(wb->save().ok);
    sheet::FileFault fault;
    auto again = Workbook::open(dir.file("mini.xlsx"), &fault);
    ASSERT_TRUE(again) << fault;
    Worksheet* x2 = again->worksheet(1);
    ASSERT_TRUE(x2) << again->lastFault();
    EXPECT_EQ(x2->text(2, 1) + x2->text(2, 2) + x2->text(2, 3) + x2->text(1, 1), "1bc7");
    Worksheet* p2 = again->worksheet(2);
    ASSERT_TRUE(p2) << again->lastFault();
    for (const auto& c : cases) {
        if (c.row == 2 && c.col == 2) continue;
        EXPECT_EQ(p2->text(c.row, c.col), c.text) << CellName(c.row, c.col);
    }
    EXPECT_EQ(p2->text(2, 2), "22");
    EXPECT_EQ(p2->text(1, 3), "13");
    const std::string sheet1 =
        sheettest::ZipEntries(dir.file("mini.xlsx"))["xl/worksheets/sheet1.xml"];
    EXPECT_EQ(sheet1.find("<c "), std::string::npos) << "new cells take the x: prefix: " << sheet1;
    EXPECT_NE(sheet1.find("<x:c r=\"B2\" t=\"inlineStr\"><x:is><x:t>b</x:t></x:is></x:c>"),
              std::string::npos)
        << sheet1;
}

TEST(SheetReading, ChartSheetsDoNotCountAsWorksheets) {
    testsupport::TempDir dir;
    MiniBook book;
    book.sheets = {SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row>)"),
                   SheetXml(R"(<row r="1"><c r="A1"><v>2</v></c></row>)")};
    auto entries = book.entries();
    const std::string chart =
        R"(<chartsheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetViews><sheetView tabSelected="1" workbookViewId="0"/></sheetViews></chartsheet>)";
    for (auto& [name, data] : entries) {
        if (name == "xl/workbook.xml") {
            // The chart sheet stands first among the tabs and is the one shown.
            data.replace(
                data.find("<sheets>"), 8,
                R"(<bookViews><workbookView activeTab="0"/></bookViews><sheets><sheet name="グラフ" sheetId="9" r:id="rIdG"/>)");
        }
        if (name == "xl/_rels/workbook.xml.rels")
            data.insert(
                data.find("</Relationships>"),
                R"(<Relationship Id="rIdG" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/chartsheet" Target="chartsheets/sheet1.xml"/>)");
        if (name == "[Content_Types].xml")
            data.insert(
                data.find("</Types>"),
                R"(<Override PartName="/xl/chartsheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml"/>)");
    }
    entries.push_back({"xl/chartsheets/sheet1.xml", chart});
    const std::string path = dir.file("chart.xlsx");
    sheettest::WriteZip(path, entries);

    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    ASSERT_TRUE(wb) << fault;
    EXPECT_EQ(wb->worksheetCount(), 2);
    EXPECT_EQ(wb->worksheet(1)->text(1, 1), "1");
    EXPECT_EQ(wb->worksheet(2)->text(1, 1), "2");
    EXPECT_EQ(wb->worksheet(3), nullptr);
    EXPECT_EQ(testsupport::Message(wb->lastFault()),
              "ファイル「chart.xlsx」にはワークシート3がありません。");

    wb->worksheet(2)->select();
    ASSERT_TRUE(wb->save().ok);
    auto saved = sheettest::ZipEntries(path);
    EXPECT_NE(saved["xl/workbook.xml"].find(R"(activeTab="2")"), std::string::npos)
        << saved["xl/workbook.xml"];
    EXPECT_EQ(saved["xl/chartsheets/sheet1.xml"].find("tabSelected"), std::string::npos);
    auto again = Workbook::open(path, &fault);
    EXPECT_TRUE(again->worksheet(2)->isSelected());
    EXPECT_FALSE(again->worksheet(1)->isSelected());
}
