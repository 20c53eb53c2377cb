// Files that are not what they claim never crash or hang the layer: each gives one plain message
// that names the file and what is wrong with it.
#include <gtest/gtest.h>

#include <functional>

#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "sheet/Zip.h"
#include "support/FaultText.h"

using namespace sheet;
using sheettest::MiniBook;
using sheettest::SheetXml;

namespace {

sheettest::Entries Replace(sheettest::Entries e, const std::string& name, const std::string& data) {
    for (auto& [n, d] : e)
        if (n == name) d = data;
    return e;
}

sheettest::Entries Without(sheettest::Entries e, const std::string& name) {
    std::erase_if(e, [&](const auto& p) { return p.first == name; });
    return e;
}

std::string ValidBytes(const testsupport::TempDir& dir) {
    sheet::FileFault fault;
    Workbook::createEmpty(dir.file("valid.xlsx"), {"a", "b"}, &fault);
    return sheettest::ReadFile(dir.file("valid.xlsx"));
}

// The same package with a binary workbook part where the XML one was.
sheettest::Entries Binary(sheettest::Entries e) {
    for (auto& [n, d] : e) {
        if (n == "xl/workbook.xml") {
            n = "xl/workbook.bin";
            d = std::string("\x83\x01\x00\x80\x01\x00", 6);
        }
        if (n == "_rels/.rels" || n == "xl/_rels/workbook.xml.rels") {
            if (n != "_rels/.rels") n = "xl/_rels/workbook.bin.rels";
            for (auto p = d.find("workbook.xml"); p != std::string::npos;
                 p = d.find("workbook.xml"))
                d.replace(p, 12, "workbook.bin");
        }
    }
    return e;
}

struct LimitsGuard {
    detail::ZipLimits saved = detail::zipLimits();
    ~LimitsGuard() { detail::zipLimits() = saved; }
};

}  // namespace

TEST(SheetBadFiles, EachGivesAMessageNamingTheFile) {
    struct Case {
        const char* what;
        std::string fileName;
        std::function<void(const testsupport::TempDir&, const std::string&)> make;
        bool failsAtOpen;  // otherwise opening works and worksheet 1 fails
        std::string expected;
    };
    MiniBook good;
    good.sheets.push_back(good.sheets.front());
    auto zip = [](sheettest::Entries e) {
        return
            [e](const testsupport::TempDir&, const std::string& p) { sheettest::WriteZip(p, e); };
    };
    auto bytes = [](std::function<std::string(const testsupport::TempDir&)> f) {
        return [f](const testsupport::TempDir& d, const std::string& p) {
            sheettest::WriteFile(p, f(d));
        };
    };
    auto sheet = [&](const std::string& xml) {
        return zip(Replace(good.entries(), "xl/worksheets/sheet1.xml", xml));
    };
    std::vector<Case> cases = {
        {"plain text", "x.xlsx", bytes([](auto&) { return std::string("Zno,氏名\n1,山田\n"); }),
         true, "ファイル「x.xlsx」はxlsx形式のブックではありません（zipとして読めません）。"},
        {"empty file", "empty.xlsx", bytes([](auto&) { return std::string(); }), true,
         "zipとして読めません"},
        {"truncated", "cut.xlsx", bytes([](auto& d) {
             std::string b = ValidBytes(d);
             return b.substr(0, b.size() / 2);
         }),
         true, "zipとして読めません"},
        {"old binary format", "old.xlsx", bytes([](auto&) {
             return std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0');
         }),
         true, "「.xlsx」形式で保存し直して"},
        {"xls by name", "名簿.xls", bytes([](auto&) { return std::string("anything"); }), true,
         "ファイル「名簿.xls」はxlsx形式のブックではないため、表計算ソフトで開いて「."
         "xlsx」形式で保存し直してから読み込んでください。"},
        {"csv", "list.csv", bytes([](auto&) { return std::string("1,a\n"); }), true,
         "保存し直して"},
        {"ods", "calc.ods", zip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}}),
         true, "保存し直して"},
        // The binary workbook is a zip with the same package files around binary parts.
        {"xlsb", "成績.xlsb", zip(Binary(good.entries())), true,
         "ファイル「成績.xlsb」はxlsx形式のブックではないため、表計算ソフトで開いて「."
         "xlsx」形式で保存し直してから読み込んでください。"},
        {"binary workbook named xlsx", "b.xlsx", zip(Binary(good.entries())), true,
         "「.xlsx」形式で保存し直して"},
        {"no content types", "nc.xlsx", zip(Without(good.entries(), "[Content_Types].xml")), true,
         "ブック本体の部品がありません"},
        {"no workbook part", "nw.xlsx", zip(Without(good.entries(), "xl/workbook.xml")), true,
         "ブック本体の部品がありません"},
        {"malformed workbook", "bad.xlsx",
         zip(Replace(good.entries(), "xl/workbook.xml", "<workbook><sheets>")), true,
         "ファイル「bad.xlsx」は壊れています（xl/workbook.xml：XMLとして読めません"},
        {"doctype", "dt.xlsx",
         zip(Replace(good.entries(), "xl/workbook.xml",
                     R"(<?xml version="1.0"?><!DOCTYPE lol [<!ENTITY a "aaaa">]><workbook/>)")),
         true, "DOCTYPE"},
        {"sheet part missing", "ns.xlsx", zip(Without(good.entries(), "xl/worksheets/sheet1.xml")),
         false, "ワークシート「Sheet1」の部品がありません"},
        {"cells out of order", "order.xlsx",
         sheet(SheetXml(R"(<row r="1"><c r="B1"><v>1</v></c><c r="A1"><v>2</v></c></row>)")), false,
         "ファイル「order."
         "xlsx」のワークシート「Sheet1」は読み込めません（セルA1が正しい並び順にありません）。"},
        {"rows out of order", "rows.xlsx", sheet(SheetXml(R"(<row r="5"/><row r="3"/>)")), false,
         "行3が正しい並び順にありません"},
        {"row beyond the sheet", "far.xlsx",
         sheet(SheetXml(R"(<row r="1048577"><c><v>1</v></c></row>)")), false,
         "行番号「1048577」が範囲（1～1048576）の外にあります"},
        {"cell beyond the sheet", "wide.xlsx",
         sheet(SheetXml(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)")), false,
         "セル番地「XFE1」"},
        {"cell in the wrong row", "wrong.xlsx",
         sheet(SheetXml(R"(<row r="2"><c r="A3"><v>1</v></c></row>)")), false,
         "セルA3が行2の中にあります"},
        {"malformed sheet", "ms.xlsx", sheet("<worksheet><sheetData><row>"), false,
         "XMLとして読めません"},
        {"doctype in sheet", "dts.xlsx",
         sheet(R"(<!DOCTYPE x SYSTEM "file:///etc/passwd"><worksheet/>)"), false, "DOCTYPE"},
        {"zip bomb", "bomb.xlsx", sheet(SheetXml(std::string(20 << 20, ' '))), false,
         "ファイル「bomb.xlsx」は読み込めません（xl/worksheets/sheet1.xmlの圧縮率が異常に高く"},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        const std::string path = dir.file(c.fileName);
        c.make(dir, path);
        sheet::FileFault fault;
        auto wb = Workbook::open(path, &fault);
        if (c.failsAtOpen) {
            const std::string err = testsupport::Message(fault);
            EXPECT_FALSE(wb) << c.what;
            EXPECT_NE(err.find(c.expected), std::string::npos) << c.what << ": " << fault;
            EXPECT_NE(err.find("「" + c.fileName + "」"), std::string::npos)
                << c.what << ": " << fault;
        } else {
            ASSERT_TRUE(wb) << c.what << ": " << fault;
            EXPECT_EQ(wb->worksheet(1), nullptr) << c.what;
            const std::string lastError = testsupport::Message(wb->lastFault());
            EXPECT_NE(lastError.find(c.expected), std::string::npos) << c.what << ": " << lastError;
            EXPECT_NE(lastError.find("「" + c.fileName + "」"), std::string::npos) << c.what;
            EXPECT_NE(wb->worksheet(2), nullptr) << c.what << ": other sheets still readable";
        }
    }
}

TEST(SheetBadFiles, MissingFileAndFolder) {
    testsupport::TempDir dir;
    sheet::FileFault fault;
    EXPECT_FALSE(Workbook::open(dir.file("nothing.xlsx"), &fault));
    EXPECT_EQ(testsupport::Message(fault), "ファイル「nothing.xlsx」が見つかりません。");
    EXPECT_FALSE(Workbook::open(dir.path(), &fault));
    EXPECT_NE(testsupport::Message(fault).find("ファイルではありません"), std::string::npos)
        << fault;
}

TEST(SheetBadFiles, CorruptDataIsReportedNotTrusted) {
    testsupport::TempDir dir;
    MiniBook book;
    std::string rows;
    for (int r = 1; r <= 200; ++r)
        rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
                std::to_string(r * 7919) + "</v></c></row>";
    book.sheets = {SheetXml(rows)};
    sheettest::WriteZip(dir.file("c.xlsx"), book.entries());
    std::string b = sheettest::ReadFile(dir.file("c.xlsx"));
    // Damage the compressed bytes of the sheet, leaving the zip directory intact.
    size_t at = b.find("xl/worksheets/sheet1.xml");
    ASSERT_NE(at, std::string::npos);
    for (size_t i = at + 40; i < at + 80; ++i) b[i] = static_cast<char>(b[i] ^ 0x5A);
    sheettest::WriteFile(dir.file("c.xlsx"), b);
    sheet::FileFault fault;
    auto wb = Workbook::open(dir.file("c.xlsx"), &fault);
    std::string message = testsupport::Message(
        wb ? (wb->worksheet(1) ? sheet::FileFault() : wb->lastFault()) : fault);
    EXPECT_NE(message.find("ファイル「c.xlsx」"), std::string::npos) << message;
}

TEST(SheetBadFiles, SizeLimitsCountWhatIsInflated) {
    LimitsGuard guard;
    testsupport::TempDir dir;
    MiniBook book;
    book.sheets = {SheetXml(std::string(300000, ' ')), SheetXml("")};
    sheettest::WriteZip(dir.file("big.xlsx"), book.entries());
    sheet::FileFault fault;

    detail::zipLimits().maxEntryBytes = 100000;
    auto wb = Workbook::open(dir.file("big.xlsx"), &fault);
    ASSERT_TRUE(wb) << fault;
    EXPECT_EQ(wb->worksheet(1), nullptr);
    EXPECT_NE(testsupport::Message(wb->lastFault()).find("展開後の大きさが上限を超えています"),
              std::string::npos)
        << wb->lastFault();

    detail::zipLimits() = guard.saved;
    detail::zipLimits().maxEntries = 5;
    EXPECT_FALSE(Workbook::open(dir.file("big.xlsx"), &fault));
    EXPECT_EQ(testsupport::Message(fault),
              "ファイル「big.xlsx」は部品の数が多すぎるため読み込めません。");

    detail::zipLimits() = guard.saved;
    detail::zipLimits().maxTotalBytes = 200000;
    wb = Workbook::open(dir.file("big.xlsx"), &fault);
    ASSERT_TRUE(wb) << fault;
    EXPECT_EQ(wb->worksheet(1), nullptr);
}
