// Printing one page wide: the setting reaches other programs, sits where the file format wants
// it, and leaves the user's other print settings alone.
#include <gtest/gtest.h>

#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"

using namespace sheet;

namespace {

// Position of the first "<name" or "<x:name" followed by a space, "/" or ">"; npos when absent.
size_t TagAt(const std::string& xml, const std::string& name) {
    for (size_t at = xml.find(name); at != std::string::npos; at = xml.find(name, at + 1)) {
        const char before = at > 0 ? xml[at - 1] : ' ';
        const char after = at + name.size() < xml.size() ? xml[at + name.size()] : ' ';
        if ((before == '<' || before == ':') && (after == ' ' || after == '/' || after == '>'))
            return at;
    }
    return std::string::npos;
}

}  // namespace

TEST(SheetPageFit, OnePageWideReachesOtherProgramsInFileOrder) {
    if (!testsupport::haveOpenpyxl()) GTEST_SKIP() << "openpyxl is not installed";
    struct Case {
        const char* what;
        const char* setup;  // openpyxl lines that prepare worksheet 2 (`s`)
        const char* kept;   // what openpyxl must still read back
    } cases[] = {
        {"no print settings", "", ""},
        {"the user's own print settings",
         "s.sheet_properties.tabColor = 'FF0000'\n"
         "s.page_setup.paperSize = 9\ns.page_setup.orientation = 'landscape'\n"
         "s.print_options.gridLines = True\ns.oddHeader.center.text = 'x'\n",
         "00FF0000 9 landscape True"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        const std::string path = dir.file("fit.xlsx");
        int rc = 0;
        std::string out =
            sheettest::Python(std::string("import openpyxl\nwb = openpyxl.Workbook()\n"
                                          "wb.active.title = 'a'\n"
                                          "s = wb.create_sheet('b')\ns['A1'] = 1\n") +
                                  c.setup + "wb.save('" + path + "')\n",
                              &rc);
        ASSERT_EQ(rc, 0) << out;

        sheet::FileFault fault;
        auto book = Workbook::open(path, &fault);
        ASSERT_TRUE(book) << fault;
        ASSERT_FALSE(book->worksheet(2)->fitsToPageWidth());
        book->worksheet(2)->setFitToPageWidth();
        book->worksheet(2)->setPageMargins({0.8, 0.3, 1.5, 0.98, 1.2, 0.1});
        ASSERT_TRUE(book->save().ok);

        const std::string xml = sheettest::ZipEntries(path).at("xl/worksheets/sheet2.xml");
        // sheetPr opens the worksheet; pageSetup follows the margins and precedes the
        // running texts; within sheetPr the tab colour comes first.
        const size_t sheetPr = TagAt(xml, "sheetPr"), dimension = TagAt(xml, "dimension");
        const size_t margins = TagAt(xml, "pageMargins"), setup = TagAt(xml, "pageSetup");
        ASSERT_NE(sheetPr, std::string::npos) << xml;
        EXPECT_LT(sheetPr, dimension) << xml;
        EXPECT_LT(margins, setup) << xml;
        if (size_t hf = TagAt(xml, "headerFooter"); hf != std::string::npos) {
            EXPECT_LT(setup, hf);
        }
        if (size_t tab = TagAt(xml, "tabColor"); tab != std::string::npos) {
            EXPECT_LT(tab, TagAt(xml, "pageSetUpPr")) << xml;
        }

        out = sheettest::Python("import openpyxl\ns = openpyxl.load_workbook('" + path +
                                    "').worksheets[1]\n"
                                    "p = s.page_setup\n"
                                    "print(s.sheet_properties.pageSetUpPr.fitToPage, p.fitToWidth, "
                                    "p.fitToHeight)\n"
                                    "if s.sheet_properties.tabColor is not None:\n"
                                    "    print(s.sheet_properties.tabColor.rgb, p.paperSize, "
                                    "p.orientation, s.print_options.gridLines)\n",
                                &rc);
        ASSERT_EQ(rc, 0) << out;
        EXPECT_EQ(out, std::string("True 1 0\n") + (*c.kept ? std::string(c.kept) + "\n" : ""));

        auto again = Workbook::open(path, &fault);
        ASSERT_TRUE(again) << fault;
        EXPECT_TRUE(again->worksheet(2)->fitsToPageWidth());
    }
}

// The sizes a printout takes: a set column width comes back in the pixels the spreadsheet
// program draws it with, an untouched column at the default width, rows at their own height
// or the sheet's default.
TEST(SheetPageFit, SizesAsTheSpreadsheetProgramDrawsThem) {
    testsupport::TempDir dir;
    const std::string path = dir.file("sizes.xlsx");
    sheet::FileFault fault;
    ASSERT_TRUE(Workbook::createEmpty(path, {"a", "b"}, &fault)) << fault;
    auto book = Workbook::open(path, &fault);
    ASSERT_TRUE(book) << fault;
    Worksheet& ws = *book->worksheet(2);
    ws.setColumnWidth(1, 4);
    ws.setColumnWidth(5, 30);
    ws.setRowHeight(6, 15.2);
    ws.setText(60, 2, "x");
    ws.setRowHeight(70, 20);  // a format only, no value
    ASSERT_TRUE(book->save().ok);

    auto again = Workbook::open(path, &fault);
    ASSERT_TRUE(again) << fault;
    const Worksheet& back = *again->worksheet(2);
    // A width of n digits draws n digits and 5 pixels of padding; pixels are 3/4 point.
    const int digit = static_cast<int>(back.columnWidthPoints(1) / 0.75 - 5) / 4;
    ASSERT_TRUE(digit == 7 || digit == 8) << back.columnWidthPoints(1);
    EXPECT_DOUBLE_EQ(back.columnWidthPoints(1), (4 * digit + 5) * 0.75);
    EXPECT_DOUBLE_EQ(back.columnWidthPoints(5), (30 * digit + 5) * 0.75);
    EXPECT_DOUBLE_EQ(back.columnWidthPoints(12), ((8 * digit + 5 + 7) / 8 * 8) * 0.75);
    EXPECT_DOUBLE_EQ(back.rowHeightPoints(6), 15.2);
    EXPECT_DOUBLE_EQ(back.rowHeightPoints(7), 13.5);
    EXPECT_EQ(back.lastRowWithValue(), 60);
}
