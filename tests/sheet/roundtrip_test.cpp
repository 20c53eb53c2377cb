// Every operation of the workbook layer survives a save and a re-open.
#include <gtest/gtest.h>

#include <functional>

#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"

using namespace sheet;
using sheettest::ZipEntries;

namespace {

std::unique_ptr<Workbook> Fresh(const testsupport::TempDir& dir,
                                const std::string& name = "book.xlsx") {
    sheet::FileFault fault;
    EXPECT_TRUE(Workbook::createEmpty(dir.file(name), {"入力", "成績"}, &fault)) << fault;
    auto wb = Workbook::open(dir.file(name), &fault);
    EXPECT_TRUE(wb) << fault;
    return wb;
}

std::unique_ptr<Workbook> Reopen(const std::string& path) {
    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    EXPECT_TRUE(wb) << fault;
    return wb;
}

}  // namespace

TEST(SheetRoundTrip, ValuesKeepTheirTypeAndText) {
    testsupport::TempDir dir;
    auto wb = Fresh(dir);
    ASSERT_EQ(wb->worksheetCount(), 2);
    Worksheet* ws = wb->worksheet(1);
    ASSERT_TRUE(ws);
    struct Case {
        int row, col;
        std::function<void(Worksheet*)> write;
        ValueType type;
        std::string text;
    } cases[] = {
        {2, 5, [](Worksheet* w) { w->setNumber(2, 5, 307.5); }, ValueType::Number, "307.5"},
        {2, 6, [](Worksheet* w) { w->setNumber(2, 6, 5); }, ValueType::Number, "5"},
        {2, 7, [](Worksheet* w) { w->setNumber(2, 7, 0.1 + 0.2); }, ValueType::Number, "0.3"},
        {2, 8, [](Worksheet* w) { w->setInteger(2, 8, 3); }, ValueType::Number, "3"},
        {2, 9, [](Worksheet* w) { w->setText(2, 9, "12"); }, ValueType::Text, "12"},
        {2, 2, [](Worksheet* w) { w->setText(2, 2, "山田　太郎"); }, ValueType::Text, "山田　太郎"},
        {3, 2, [](Worksheet* w) { w->setText(3, 2, "   "); }, ValueType::Text, "   "},
        {4, 2, [](Worksheet* w) { w->setText(4, 2, "a & <b>\nline"); }, ValueType::Text,
         "a & <b>\nline"},
        {5, 2, [](Worksheet* w) { w->setText(5, 2, "_x0041_ and \x01"); }, ValueType::Text,
         "_x0041_ and \x01"},
        {3, 26,
         [](Worksheet* w) {
             w->setDate(3, 26, {2024, 2, 29});
         },
         ValueType::Date, "2024/02/29"},
        {6, 1, [](Worksheet* w) { w->setNumber(6, 1, 1e20); }, ValueType::Number, "1E+20"},
        // A cell written twice keeps only the last value.
        {7, 1,
         [](Worksheet* w) {
             w->setText(7, 1, "old");
             w->setNumber(7, 1, -2.5);
         },
         ValueType::Number, "-2.5"},
    };
    for (auto& c : cases) c.write(ws);
    SaveResult r = wb->save();
    ASSERT_TRUE(r.ok) << r;
    EXPECT_EQ(r.savedPath, dir.file("book.xlsx"));

    auto again = Reopen(dir.file("book.xlsx"));
    Worksheet* back = again->worksheet(1);
    ASSERT_TRUE(back);
    for (const auto& c : cases) {
        Value v = back->value(c.row, c.col);
        EXPECT_EQ(v.type, c.type) << CellName(c.row, c.col);
        EXPECT_EQ(v.toText(), c.text) << CellName(c.row, c.col);
    }
    EXPECT_EQ(back->value(3, 26).date(), (Date{2024, 2, 29}));
    EXPECT_TRUE(back->value(100, 100).isEmpty());
    EXPECT_TRUE(back->value(3, 2).type == ValueType::Text && !back->value(3, 2).isEmpty());
}

TEST(SheetRoundTrip, FormatsAndPageSetup) {
    testsupport::TempDir dir;
    auto wb = Fresh(dir);
    Worksheet* ws = wb->worksheet(2);
    ws->setNumberFormat(6, 7, "0.00");
    ws->setNumber(6, 7, 51.2);
    ws->setNumberFormat(6, 8, "#,##0.000");
    ws->setRowHeight(1, 26);
    ws->setRowHeight(6, 15.2);
    ws->setColumnWidth(1, 4);
    ws->setColumnWidth(5, 30);
    ws->setColumnWidth(2, 5.5);
    ws->setFontSize(1, 5, 24);
    ws->setHorizontalCenter(2, 11);
    ws->setBottomDoubleBorder(2, 11);
    ws->setFill("A6:K6", Fill::Tan);
    ws->setPageMargins({0.8, 0.3, 1.5, 0.98, 1.2, 0.1});
    HeaderFooter hf{std::string(20, '-') + "\n" + std::string(22, '-'),
                    "春季大会 & 記録会\n" + std::string(45, '-'),
                    "R",
                    "2024/03/09/会場\nDATA",
                    std::string(45, '-') + "\n\n",
                    "TIMING"};
    ws->setHeaderFooter(hf);
    ws->select();
    ASSERT_TRUE(wb->save().ok);

    auto again = Reopen(dir.file("book.xlsx"));
    Worksheet* b = again->worksheet(2);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->numberFormat(6, 7), "0.00");
    EXPECT_EQ(b->text(6, 7), "51.2");
    EXPECT_EQ(b->numberFormat(6, 8), "#,##0.000");
    EXPECT_EQ(b->numberFormat(6, 9), "General");
    EXPECT_DOUBLE_EQ(b->rowHeight(1), 26);
    EXPECT_DOUBLE_EQ(b->rowHeight(6), 15.2);
    EXPECT_DOUBLE_EQ(b->columnWidth(1), 4);
    EXPECT_DOUBLE_EQ(b->columnWidth(2), 5.5);
    EXPECT_DOUBLE_EQ(b->columnWidth(5), 30);
    EXPECT_DOUBLE_EQ(b->columnWidth(3), 0);
    EXPECT_DOUBLE_EQ(b->fontSize(1, 5), 24);
    EXPECT_DOUBLE_EQ(b->fontSize(1, 4), 11);
    EXPECT_TRUE(b->isHorizontalCenter(2, 11));
    EXPECT_TRUE(b->hasBottomDoubleBorder(2, 11));
    EXPECT_FALSE(b->hasBottomDoubleBorder(3, 11));
    for (int c = 1; c <= 11; ++c) EXPECT_EQ(b->fill(6, c), Fill::Tan) << c;
    EXPECT_EQ(b->fill(6, 12), Fill::None);
    EXPECT_EQ(b->fill(7, 1), Fill::None);
    Margins m = b->pageMargins();
    EXPECT_EQ((std::vector<double>{m.left, m.right, m.top, m.bottom, m.header, m.footer}),
              (std::vector<double>{0.8, 0.3, 1.5, 0.98, 1.2, 0.1}));
    EXPECT_EQ(b->headerFooter(), hf);
    EXPECT_TRUE(b->isSelected());
    EXPECT_FALSE(again->worksheet(1)->isSelected());
}

TEST(SheetRoundTrip, ChangingOneFormatKeepsTheOthersOfTheCell) {
    testsupport::TempDir dir;
    auto wb = Fresh(dir);
    Worksheet* ws = wb->worksheet(2);
    ws->setFontSize(6, 7, 12);
    ws->setFill("G6", Fill::Tan);
    ws->setNumberFormat(6, 7, "0.00");
    ws->setNumber(6, 7, 1.5);  // a value write keeps the format
    ws->setHorizontalCenter(6, 7);
    ASSERT_TRUE(wb->save().ok);
    auto book_b = Reopen(dir.file("book.xlsx"));
    Worksheet* b = book_b->worksheet(2);
    EXPECT_DOUBLE_EQ(b->fontSize(6, 7), 12);
    EXPECT_EQ(b->fill(6, 7), Fill::Tan);
    EXPECT_EQ(b->numberFormat(6, 7), "0.00");
    EXPECT_TRUE(b->isHorizontalCenter(6, 7));
    EXPECT_EQ(b->text(6, 7), "1.5");
}

TEST(SheetRoundTrip, IdenticalFormatsShareOneRecord) {
    testsupport::TempDir dir;
    auto wb = Fresh(dir);
    Worksheet* ws = wb->worksheet(2);
    for (int r = 6; r < 1006; ++r)
        for (int c = 1; c <= 11; ++c) ws->setFontSize(r, c, 12);
    ws->setFill("A6:K1005", Fill::Tan);
    ASSERT_TRUE(wb->save().ok);
    std::string styles = ZipEntries(dir.file("book.xlsx"))["xl/styles.xml"];
    EXPECT_NE(styles.find("<cellXfs count=\"3\">"), std::string::npos) << styles;
}

TEST(SheetRoundTrip, ClearContentsKeepsFormatsAndRemovesFill) {
    testsupport::TempDir dir;
    auto wb = Fresh(dir);
    Worksheet* ws = wb->worksheet(2);
    ws->setText(47, 12, "Page 1");
    ws->setRowHeight(6, 15.2);
    ws->setFontSize(6, 1, 12);
    ws->setInteger(6, 1, 1);
    ws->setNumberFormat(6, 7, "0.00");
    ws->setNumber(6, 7, 51.25);
    ws->setFill("A6:K6", Fill::Tan);
    ws->setFill("A8:K8", Fill::Tan);
    ws->setBottomDoubleBorder(2, 11);
    ASSERT_TRUE(wb->save().ok);

    auto again = Reopen(dir.file("book.xlsx"));
    Worksheet* b = again->worksheet(2);
    b->clearContents();
    ASSERT_TRUE(b->setFill("A1:k1000", Fill::None));
    ASSERT_TRUE(again->save().ok);

    auto book_c = Reopen(dir.file("book.xlsx"));
    Worksheet* c = book_c->worksheet(2);
    EXPECT_TRUE(c->value(47, 12).isEmpty());
    EXPECT_TRUE(c->value(6, 7).isEmpty());
    EXPECT_EQ(c->numberFormat(6, 7), "0.00");
    EXPECT_DOUBLE_EQ(c->fontSize(6, 1), 12);
    EXPECT_DOUBLE_EQ(c->rowHeight(6), 15.2);
    EXPECT_TRUE(c->hasBottomDoubleBorder(2, 11));
    for (int col = 1; col <= 11; ++col) {
        EXPECT_EQ(c->fill(6, col), Fill::None);
        EXPECT_EQ(c->fill(8, col), Fill::None);
    }
}

TEST(SheetRoundTrip, OnlyChangedPartsAreRewritten) {
    testsupport::TempDir dir;
    auto wb = Fresh(dir);
    wb->worksheet(1)->setNumber(2, 5, 1);
    ASSERT_TRUE(wb->save().ok);
    auto before = ZipEntries(dir.file("book.xlsx"));
    auto again = Reopen(dir.file("book.xlsx"));
    again->worksheet(1)->setNumber(2, 5, 2);
    ASSERT_TRUE(again->save().ok);
    auto after = ZipEntries(dir.file("book.xlsx"));
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [name, data] : before) {
        if (name == "xl/worksheets/sheet1.xml") continue;
        EXPECT_EQ(after[name], data) << name;
    }
    EXPECT_EQ(sheettest::ZipNames(dir.file("book.xlsx")).front(), "[Content_Types].xml");
}

TEST(SheetRoundTrip, SecondSaveWritesLaterChangesToo) {
    testsupport::TempDir dir;
    auto wb = Fresh(dir);
    Worksheet* ws = wb->worksheet(1);
    ws->setNumber(2, 5, 1);
    ASSERT_TRUE(wb->save().ok);
    ws->setNumber(3, 5, 2);
    ws->setNumberFormat(3, 5, "0.00");
    EXPECT_TRUE(wb->hasUnsavedChanges());
    ASSERT_TRUE(wb->save().ok);
    EXPECT_FALSE(wb->hasUnsavedChanges());
    auto book_b = Reopen(dir.file("book.xlsx"));
    Worksheet* b = book_b->worksheet(1);
    EXPECT_EQ(b->text(2, 5), "1");
    EXPECT_EQ(b->text(3, 5), "2");
    EXPECT_EQ(b->numberFormat(3, 5), "0.00");
}

TEST(SheetRoundTrip, OverlongHeaderIsCutNotRefused) {
    testsupport::TempDir dir;
    auto wb = Fresh(dir);
    Worksheet* ws = wb->worksheet(2);
    // "&C" and 126 doubled ampersands make 254 characters; the cut must not split the next pair.
    ws->setHeaderFooter({"", std::string(126, '&') + "&&&", "", "", "", ""});
    ASSERT_TRUE(wb->save().ok);
    auto book = Reopen(dir.file("book.xlsx"));
    EXPECT_EQ(book->worksheet(2)->headerFooter().centerHeader, std::string(126, '&'));
    std::string expected = "<oddHeader>&amp;C";
    for (int i = 0; i < 252; ++i) expected += "&amp;";
    std::string sheet = ZipEntries(dir.file("book.xlsx"))["xl/worksheets/sheet2.xml"];
    EXPECT_NE(sheet.find(expected + "</oddHeader>"), std::string::npos) << sheet;
}
