// Constructs that other spreadsheet programs write and that the layer must read, edit and save
// without harm: parts in UTF-16, empty cached values, ISO dates and times, escaped surrogates,
// unsorted column ranges, the used range of deselected sheets, and shared formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <pugixml.hpp>

#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"

using namespace sheet;
using sheettest::MiniBook;
using sheettest::SheetXml;
using sheettest::ZipEntries;

namespace {

const char* kNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

std::unique_ptr<Workbook> WriteAndOpen(const std::string& path, const sheettest::Entries& e) {
    sheettest::WriteZip(path, e);
    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    EXPECT_TRUE(wb) << fault;
    return wb;
}

// UTF-8 text (Basic Multilingual Plane only) as UTF-16LE with a byte order mark.
std::string Utf16(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        unsigned cp = c;
        size_t len = 1;
        if (c >= 0xE0) {
            cp = ((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
            len = 3;
        } else if (c >= 0xC0) {
            cp = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
            len = 2;
        }
        out += static_cast<char>(cp & 0xFF);
        out += static_cast<char>(cp >> 8);
        i += len;
    }
    return out;
}

// Each <col> of a saved sheet as (min, max, style, width).
struct Col {
    int min, max, style;
    double width;
};
std::vector<Col> Cols(const std::string& sheetXml) {
    pugi::xml_document doc;
    doc.load_string(sheetXml.c_str());
    std::vector<Col> out;
    for (pugi::xml_node cols : doc.document_element().children("cols"))
        for (pugi::xml_node c : cols.children("col"))
            out.push_back({c.attribute("min").as_int(), c.attribute("max").as_int(),
                           c.attribute("style").as_int(), c.attribute("width").as_double()});
    return out;
}

}  // namespace

TEST(SheetProducers, Utf16PartsAreSavedAsUtf8ThatEveryProgramReads) {
    testsupport::TempDir dir;
    MiniBook book;
    book.sharedStrings = std::string(R"(<?xml version="1.0" encoding="UTF-16"?><sst xmlns=")") +
                         kNs + R"("><si><t>山田　太郎</t></si></sst>)";
    book.styles =
        std::string(
            R"(<?xml version="1.0" encoding="UTF-16" standalone="yes"?><styleSheet xmlns=")") +
        kNs +
        R"("><fonts count="1"><font><sz val="11"/><name val="游ゴシック"/></font></fonts><fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills><borders count="1"><border/></borders><cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellXfs></styleSheet>)";
    book.sheets = {
        std::string(R"(<?xml version="1.0" encoding="utf-16"?><worksheet xmlns=")") + kNs +
            R"("><sheetViews><sheetView tabSelected="1" workbookViewId="0"/></sheetViews><sheetData><row r="1"><c r="A1" t="s"><v>0</v></c></row></sheetData></worksheet>)",
        SheetXml("")};
    auto entries = book.entries();
    for (auto& [name, data] : entries) {
        if (name == "xl/workbook.xml")
            data.replace(data.find("encoding=\"UTF-8\""), 16, "encoding=\"UTF-16\"");
        if (name != "[Content_Types].xml" && name.find("rels") == std::string::npos &&
            name != "xl/worksheets/sheet2.xml")
            data = Utf16(data);
    }
    const std::string path = dir.file("phone.xlsx");
    auto wb = WriteAndOpen(path, entries);
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws) << wb->lastFault();
    EXPECT_EQ(ws->text(1, 1), "山田　太郎");
    ws->setText(2, 1, "北山 SC");
    ws->setFontSize(2, 1, 14);
    wb->worksheet(2)->select();  // changes the workbook part and deselects sheet 1
    ASSERT_TRUE(wb->save().ok);

    auto saved = ZipEntries(path);
    for (const char* part : {"xl/workbook.xml", "xl/styles.xml", "xl/worksheets/sheet1.xml"}) {
        const std::string& text = saved[part];
        EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u)
            << part << ": " << text.substr(0, 60);
        pugi::xml_document doc;
        EXPECT_TRUE(
            doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8))
            << part;
    }
    // A part that was not changed stays as it was written, in UTF-16.
    for (const auto& [name, data] : entries)
        if (name == "xl/sharedStrings.xml") {
            EXPECT_EQ(saved[name], data);
        }

    sheet::FileFault fault;
    auto again = Workbook::open(path, &fault);
    ASSERT_TRUE(again) << fault;
    EXPECT_EQ(again->worksheet(1)->text(2, 1), "北山 SC");
    EXPECT_DOUBLE_EQ(again->worksheet(1)->fontSize(2, 1), 14);
    if (testsupport::haveOpenpyxl()) {
        std::string got = sheettest::Python(
            "import openpyxl\nwb = openpyxl.load_workbook('" + path +
            "')\nws = wb.worksheets[0]\nprint(ws['A1'].value, ws['A2'].value, ws['A2'].font.sz, "
            "wb.active.title)");
        EXPECT_EQ(got, "山田　太郎 北山 SC 14.0 Sheet2\n");
    }
}

TEST(SheetProducers, EmptyCachedValuesReadAsEmpty) {
    testsupport::TempDir dir;
    MiniBook book;
    book.sheets = {SheetXml(
        R"(<row r="1"><c r="A1"><f>B1*2</f><v></v></c><c r="B1"><f>C1</f><v/></c>)"
        R"(<c r="C1" t="e"><f>1/0</f><v/></c><c r="D1" t="b"><f>TRUE</f><v></v></c>)"
        R"(<c r="E1" t="n"><v> </v></c><c r="F1" t="str"><f>""</f><v/></c><c r="G1"><v>2</v></c></row>)")};
    auto wb = WriteAndOpen(dir.file("empty.xlsx"), book.entries());
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws) << wb->lastFault();
    for (int col = 1; col <= 6; ++col) {
        EXPECT_TRUE(ws->value(1, col).isEmpty()) << CellName(1, col);
        EXPECT_NE(ws->value(1, col).type, ValueType::Error) << CellName(1, col);
        EXPECT_EQ(ws->text(1, col), "") << CellName(1, col);
    }
    EXPECT_EQ(ws->text(1, 7), "2");
}

TEST(SheetProducers, IsoDatesTimesAndDurationsReadAsSerials) {
    struct Case {
        const char* iso;
        ValueType type;
        double serial;
        const char* text;
    } cases[] = {
        {"2024-02-15", ValueType::Date, 45337, "2024/02/15"},
        {"2024-02-15T10:30:00", ValueType::Date, 45337 + 10.5 / 24, "2024/02/15"},
        {"2024-02-15T10:30:00.500Z", ValueType::Date, 45337 + (37800.5 / 86400), "2024/02/15"},
        {"2024-02-15T23:59:59+09:00", ValueType::Date, 45337 + 86399.0 / 86400, "2024/02/15"},
        // Early in 1900 the spreadsheet program counts from 1899-12-31 (its serial 0).
        {"1899-12-31", ValueType::Number, 0, "0"},
        {"1900-01-01", ValueType::Date, 1, "1900/01/01"},
        {"1900-02-28", ValueType::Date, 59, "1900/02/28"},
        {"1900-03-01", ValueType::Date, 61, "1900/03/01"},
        // A time of day and a duration are numbers, as in a number cell with a time format.
        {"10:10:10", ValueType::Number, 36610.0 / 86400, nullptr},
        {"1899-12-30T06:00:00", ValueType::Number, 0.25, "0.25"},
        {"PT0H11M0.000S", ValueType::Number, 11.0 / 1440, nullptr},
        {"PT1M5.25S", ValueType::Number, 65.25 / 86400, nullptr},
        {"P1DT12H", ValueType::Number, 1.5, "1.5"},
        {"-PT6H", ValueType::Number, -0.25, "-0.25"},
        {"P1Y", ValueType::Empty, 0, ""},  // a year has no fixed number of days
        {"2024-13-01", ValueType::Empty, 0, ""},
        {"25:00:00", ValueType::Empty, 0, ""},
        {"heute", ValueType::Empty, 0, ""},
        {"", ValueType::Empty, 0, ""},
    };
    for (bool is1904 : {false, true}) {
        testsupport::TempDir dir;
        MiniBook book;
        if (is1904) book.workbookPr = R"(<workbookPr date1904="1"/>)";
        std::string row = R"(<row r="1">)";
        for (size_t i = 0; i < std::size(cases); ++i)
            row += "<c r=\"" + CellName(1, static_cast<int>(i) + 1) + "\" t=\"d\"><v>" +
                   cases[i].iso + "</v></c>";
        book.sheets = {SheetXml(row + "</row>")};
        auto wb = WriteAndOpen(dir.file("iso.xlsx"), book.entries());
        Worksheet* ws = wb->worksheet(1);
        ASSERT_TRUE(ws) << wb->lastFault();
        for (size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            Value v = ws->value(1, static_cast<int>(i) + 1);
            EXPECT_EQ(v.type, c.type) << c.iso;
            EXPECT_NEAR(v.number, c.serial, 1e-9) << c.iso << (is1904 ? " (1904)" : "");
            if (c.text) {
                EXPECT_EQ(v.toText(), c.text) << c.iso;
            }
        }
    }
}

TEST(SheetProducers, BuiltInAndCustomTimeFormatsReadAlike) {
    testsupport::TempDir dir;
    MiniBook book;
    // Each built-in time format beside the same code written as a custom format, and a date
    // format both ways.
    struct Case {
        int builtin;
        const char* code;
        bool date;
    } cases[] = {
        {18, "h:mm AM/PM", false}, {19, "h:mm:ss AM/PM", false}, {20, "h:mm", false},
        {21, "h:mm:ss", false},    {45, "mm:ss", false},         {46, "[h]:mm:ss", false},
        {47, "mmss.0", false},     {14, "mm-dd-yy", true},       {22, "m/d/yy h:mm", true}};
    std::string numFmts, xfs = R"(<xf numFmtId="0"/>)", row = R"(<row r="1">)";
    int col = 0;
    for (const Case& c : cases) {
        const int custom = 164 + col / 2;
        numFmts +=
            "<numFmt numFmtId=\"" + std::to_string(custom) + "\" formatCode=\"" + c.code + "\"/>";
        xfs += "<xf numFmtId=\"" + std::to_string(c.builtin) + "\"/><xf numFmtId=\"" +
               std::to_string(custom) + "\"/>";
        for (int k = 0; k < 2; ++k, ++col)
            row += "<c r=\"" + CellName(1, col + 1) + "\" s=\"" + std::to_string(col + 1) +
                   "\"><v>45337.25</v></c>";
    }
    book.styles = std::string("<styleSheet xmlns=\"") + kNs + "\"><numFmts>" + numFmts +
                  "</numFmts><cellXfs>" + xfs + "</cellXfs></styleSheet>";
    book.sheets = {SheetXml(row + "</row>")};
    auto wb = WriteAndOpen(dir.file("times.xlsx"), book.entries());
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws) << wb->lastFault();
    for (size_t i = 0; i < std::size(cases); ++i)
        for (int k = 0; k < 2; ++k) {
            const int c = static_cast<int>(i) * 2 + k + 1;
            const char* how = k ? " (custom)" : " (built-in)";
            EXPECT_EQ(ws->numberFormat(1, c), cases[i].code) << cases[i].builtin << how;
            EXPECT_EQ(ws->value(1, c).type, cases[i].date ? ValueType::Date : ValueType::Number)
                << cases[i].code << how;
            EXPECT_EQ(ws->text(1, c), cases[i].date ? "2024/02/15" : "45337.25")
                << cases[i].code << how;
        }
}

TEST(SheetProducers, SerialsOutsideTheDateRangeReadAsNumbers) {
    struct Case {
        const char* v;
        ValueType type;
        const char* text;
    } cases[] = {
        {"1.0E12", ValueType::Number, "1000000000000"},
        {"2958466", ValueType::Number, "2958466"},
        {"-1", ValueType::Number, "-1"},
        {"2958465", ValueType::Date, "9999/12/31"},
        {"1", ValueType::Date, "1900/01/01"},
    };
    testsupport::TempDir dir;
    MiniBook book;
    book.styles = std::string("<styleSheet xmlns=\"") + kNs +
                  "\"><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>";
    std::string row = R"(<row r="1">)";
    for (size_t i = 0; i < std::size(cases); ++i)
        row += "<c r=\"" + CellName(1, static_cast<int>(i) + 1) + "\" s=\"1\"><v>" + cases[i].v +
               "</v></c>";
    book.sheets = {SheetXml(row + "</row>")};
    auto wb = WriteAndOpen(dir.file("far.xlsx"), book.entries());
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws) << wb->lastFault();
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ws->value(1, static_cast<int>(i) + 1).type, cases[i].type) << cases[i].v;
        EXPECT_EQ(ws->text(1, static_cast<int>(i) + 1), cases[i].text) << cases[i].v;
    }
}

TEST(SheetProducers, EscapedSurrogatesBecomeValidText) {
    testsupport::TempDir dir;
    MiniBook book;
    book.sharedStrings = std::string("<sst xmlns=\"") + kNs +
                         "\"><si><t>a_xD801_b</t></si><si><t>_xDC00_</t></si>"
                         "<si><t>_xD83D__xDE00_!</t></si><si><t>_xD83D__x0041_</t></si>"
                         "<si><t>_xDE00__xD83D_</t></si></sst>";
    book.sheets = {SheetXml(
        R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c><c r="D1" t="s"><v>3</v></c><c r="E1" t="s"><v>4</v></c>)"
        R"(<c r="F1" t="inlineStr"><is><t>x_xDBFF_</t></is></c></row>)")};
    auto wb = WriteAndOpen(dir.file("sur.xlsx"), book.entries());
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws) << wb->lastFault();
    const std::string fffd = "\xEF\xBF\xBD";
    const std::string expected[] = {"a" + fffd + "b", fffd,        "\xF0\x9F\x98\x80!",
                                    fffd + "A",       fffd + fffd, "x" + fffd};
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(ws->text(1, c), expected[c - 1]) << CellName(1, c);

    // What was read can be written and read back: it is valid UTF-8.
    for (int c = 1; c <= 6; ++c) ws->setText(2, c, ws->text(1, c));
    ASSERT_TRUE(wb->save().ok);
    sheet::FileFault fault;
    auto again = Workbook::open(dir.file("sur.xlsx"), &fault);
    ASSERT_TRUE(again) << fault;
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(again->worksheet(1)->text(2, c), expected[c - 1]);
}

TEST(SheetProducers, ColumnWidthInUnsortedRangesSplitsTheCoveringRange) {
    struct Case {
        const char* what;
        const char* cols;
    } cases[] = {
        {"unsorted",
         R"(<cols><col min="10" max="12" width="3"/><col min="5" max="8" width="20" style="1" customWidth="1"/><col min="1" max="2" width="4"/></cols>)"},
        {"two cols elements",
         R"(<cols><col min="10" max="12" width="3"/></cols><cols><col min="5" max="8" width="20" style="1" customWidth="1"/></cols>)"},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        MiniBook book;
        book.styles = std::string("<styleSheet xmlns=\"") + kNs +
                      "\"><fonts><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
                      "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"2\"/></cellXfs></styleSheet>";
        book.sheets = {std::string("<worksheet xmlns=\"") + kNs + "\">" + c.cols +
                       "<sheetData/></worksheet>"};
        const std::string path = dir.file("cols.xlsx");
        auto wb = WriteAndOpen(path, book.entries());
        Worksheet* ws = wb->worksheet(1);
        ASSERT_TRUE(ws) << wb->lastFault();
        ws->setColumnWidth(6, 12);
        ws->setColumnWidth(11, 9);
        ws->setColumnWidth(14, 7);  // covered by no range
        ws->setNumber(1, 6, 1.5);   // a new cell takes its column's format
        ASSERT_TRUE(wb->save().ok);

        std::vector<Col> cols = Cols(ZipEntries(path)["xl/worksheets/sheet1.xml"]);
        for (int col = 1; col <= 16; ++col) {
            int covering = 0;
            for (const Col& r : cols) covering += r.min <= col && col <= r.max;
            EXPECT_LE(covering, 1) << c.what << ": column " << col << " in two ranges";
        }
        for (const Col& r : cols)
            if (r.min >= 5 && r.max <= 8) {
                EXPECT_EQ(r.style, 1) << c.what << " " << r.min;
            }
        sheet::FileFault fault;
        auto again = Workbook::open(path, &fault);
        ASSERT_TRUE(again) << fault;
        Worksheet* back = again->worksheet(1);
        EXPECT_DOUBLE_EQ(back->columnWidth(6), 12) << c.what;
        EXPECT_DOUBLE_EQ(back->columnWidth(11), 9) << c.what;
        EXPECT_DOUBLE_EQ(back->columnWidth(14), 7) << c.what;
        EXPECT_DOUBLE_EQ(back->columnWidth(5), back->columnWidth(7)) << c.what;
        EXPECT_GT(back->columnWidth(5), 15) << c.what;
        EXPECT_EQ(back->numberFormat(1, 6), "0.00") << c.what;
        EXPECT_EQ(back->numberFormat(1, 8), "0.00") << c.what;
    }
}

TEST(SheetProducers, SelectingASheetLeavesTheOthersUsedRangeAlone) {
    for (bool readFirst : {false, true}) {
        testsupport::TempDir dir;
        MiniBook book;
        // The first sheet's rows carry no numbers, and its stated range is larger than its
        // cells, as programs write it for formatted but empty cells.
        book.sheets = {
            std::string("<worksheet xmlns=\"") + kNs +
                "\"><dimension ref=\"A1:N34\"/><sheetViews><sheetView tabSelected=\"1\" "
                "workbookViewId=\"0\"/></sheetViews><sheetData><row><c><v>1</v></c></row><row>"
                "<c><v>2</v></c></row></sheetData></worksheet>",
            SheetXml(R"(<row r="1"><c r="A1"><v>3</v></c></row>)")};
        const std::string path = dir.file("sel.xlsx");
        auto wb = WriteAndOpen(path, book.entries());
        if (readFirst) {
            ASSERT_EQ(wb->worksheet(1)->text(2, 1), "2");
        }
        wb->worksheet(2)->select();
        ASSERT_TRUE(wb->save().ok);
        std::string sheet1 = ZipEntries(path)["xl/worksheets/sheet1.xml"];
        EXPECT_NE(sheet1.find(R"(<dimension ref="A1:N34"/>)"), std::string::npos)
            << readFirst << ": " << sheet1;
        EXPECT_EQ(sheet1.find("tabSelected"), std::string::npos) << sheet1;
        if (!readFirst) {
            EXPECT_EQ(sheet1.find("<row r="), std::string::npos) << sheet1;
        }

        // The deselected sheet is still there to read and write, and stays deselected.
        Worksheet* first = wb->worksheet(1);
        ASSERT_TRUE(first) << wb->lastFault();
        EXPECT_EQ(first->text(2, 1), "2");
        first->setNumber(40, 2, 5);
        ASSERT_TRUE(wb->save().ok);
        sheet1 = ZipEntries(path)["xl/worksheets/sheet1.xml"];
        EXPECT_NE(sheet1.find(R"(<dimension ref="A1:B40"/>)"), std::string::npos) << sheet1;
        EXPECT_EQ(sheet1.find("tabSelected"), std::string::npos) << sheet1;
        sheet::FileFault fault;
        auto again = Workbook::open(path, &fault);
        ASSERT_TRUE(again) << fault;
        EXPECT_TRUE(again->worksheet(2)->isSelected());
        EXPECT_EQ(again->worksheet(1)->text(40, 2), "5");
    }
}

TEST(SheetProducers, TwoSheetsNamingOnePartAreNotBothEdited) {
    testsupport::TempDir dir;
    MiniBook book;
    book.sheets = {SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row>)"), SheetXml("")};
    auto entries = book.entries();
    for (auto& [name, data] : entries)
        if (name == "xl/workbook.xml")
            data.replace(data.find("r:id=\"rId2\""), 11, "r:id=\"rId1\"");
    const std::string path = dir.file("twice.xlsx");
    auto wb = WriteAndOpen(path, entries);
    ASSERT_EQ(wb->worksheetCount(), 2);
    Worksheet* first = wb->worksheet(1);
    ASSERT_TRUE(first) << wb->lastFault();
    EXPECT_EQ(wb->worksheet(2), nullptr);
    EXPECT_EQ(testsupport::Message(wb->lastFault()),
              "ファイル「twice.xlsx」は壊れています（ワークシート「Sheet2」の部品がありません）。");
    first->setNumber(2, 1, 2);
    first->select();
    ASSERT_TRUE(wb->save().ok);
    sheet::FileFault fault;
    auto again = Workbook::open(path, &fault);
    ASSERT_TRUE(again) << fault;
    EXPECT_EQ(again->worksheet(1)->text(1, 1) + again->worksheet(1)->text(2, 1), "12");
}
