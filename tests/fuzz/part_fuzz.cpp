// Fuzz target: the XML of one part of an otherwise valid workbook. The first byte picks the part
// (worksheet 1, shared strings, styles or workbook) and whether the road is a full results run
// or only the selection of another sheet; the rest is the part's text. The workbook is loaded as
// the loader does, written the way the results sheet is written, saved, and opened again.
// Nothing may crash or read out of bounds, and what a successful save wrote must read back.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/Competition.h"
#include "sheet/Workbook.h"
#include "sheet/Zip.h"
#include "store/FileMessages.h"
#include "store/InputSheet.h"

namespace {

const char* const kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string Types() {
    const std::string o = "<Override PartName=\"/xl/";
    const std::string t = "\" ContentType=\"application/vnd.openxmlformats-officedocument.";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default "
           "Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default "
           "Extension=\"xml\" ContentType=\"application/xml\"/>" +
           o + "workbook.xml" + t + "spreadsheetml.sheet.main+xml\"/>" + o +
           "worksheets/sheet1.xml" + t + "spreadsheetml.worksheet+xml\"/>" + o +
           "worksheets/sheet2.xml" + t + "spreadsheetml.worksheet+xml\"/>" + o + "styles.xml" + t +
           "spreadsheetml.styles+xml\"/>" + o + "sharedStrings.xml" + t +
           "spreadsheetml.sharedStrings+xml\"/></Types>";
}

std::string WorkbookRels() {
    auto rel = [](const char* id, const char* type, const char* target) {
        return std::string("<Relationship Id=\"") + id + "\" Type=\"" + kRel + "/" + type +
               "\" Target=\"" + target + "\"/>";
    };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           rel("rId1", "worksheet", "worksheets/sheet1.xml") +
           rel("rId2", "worksheet", "worksheets/sheet2.xml") + rel("rId3", "styles", "styles.xml") +
           rel("rId4", "sharedStrings", "sharedStrings.xml") + "</Relationships>";
}

// The parts a fuzz input does not replace.
std::string DefaultPart(int which) {
    const std::string head = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    switch (which) {
        case 0:
            return head + "<worksheet xmlns=\"" + kMain +
                   "\"><dimension ref=\"A1:C3\"/><cols><col min=\"1\" max=\"3\" width=\"9\" "
                   "style=\"1\"/></cols><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                   "<c r=\"B1\" t=\"s\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>1</v></c>"
                   "<c r=\"B2\" t=\"s\"><v>2</v></c><c r=\"C2\"><v>12.5</v></c></row><row "
                   "r=\"3\"><c r=\"A3\"><f t=\"shared\" ref=\"A3:B4\" si=\"0\">A2+1</f><v>2</v>"
                   "</c></row></sheetData></worksheet>";
        case 1:
            return head + "<sst xmlns=\"" + kMain +
                   "\"><si><t>Zno</t></si><si><t>氏名</t><rPh><t>シメイ</t></rPh></si>"
                   "<si><t>山田_x000D_</t></si></sst>";
        case 2:
            return head + "<styleSheet xmlns=\"" + kMain +
                   "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" "
                   "formatCode=\"yyyy/mm/dd\"/></numFmts><fonts count=\"1\"><font><sz "
                   "val=\"11\"/><name val=\"ＭＳ Ｐゴシック\"/></font></fonts><fills "
                   "count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
                   "patternType=\"gray125\"/></fill></fills><borders count=\"1\"><border/>"
                   "</borders><cellStyleXfs count=\"1\"><xf/></cellStyleXfs><cellXfs "
                   "count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/></cellXfs></styleSheet>";
        default:
            return head + "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
                   "\"><bookViews><workbookView activeTab=\"1\"/></bookViews><sheets><sheet "
                   "name=\"入力\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"成績\" sheetId=\"2\" "
                   "r:id=\"rId2\"/></sheets></workbook>";
    }
}

std::string Sheet2() {
    return std::string("<worksheet xmlns=\"") + kMain +
           "\"><sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>"
           "<sheetData/></worksheet>";
}

// Every run saves twice over (the file and its .bak), each flushed to disk: in memory-backed
// /dev/shm the flush costs nothing and the fuzzer runs many times faster.
std::string Path(const char* tail) {
    static const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return dir + "/zalvik-partfuzz-" + std::to_string(getpid()) + tail;
}

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "part_fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

// The results sheet's road: clear, page setup, widths, a heading, rows with numbers, formats,
// fills and borders.
void WriteLikeTheResultsSheet(sheet::Worksheet& ws) {
    ws.clearContents();
    ws.setFill("A1:K60", sheet::Fill::None);
    ws.setPageMargins(sheet::Margins{0.8, 0.3, 1.5, 0.98, 1.2, 0.1});
    sheet::HeaderFooter hf;
    hf.leftHeader = "----\n--";
    hf.centerHeader = "大会 & 名前\n----";
    hf.rightFooter = "TIMING\n--";
    ws.setHeaderFooter(hf);
    const double widths[] = {4, 5.5, 1, 13, 30, 1, 6, 1, 6, 1, 6};
    for (int col = 1; col <= 11; ++col) ws.setColumnWidth(col, widths[col - 1]);
    ws.setRowHeight(1, 26);
    ws.setFontSize(1, 5, 24);
    ws.setText(1, 5, " 公 式 成 績 表");
    ws.setHorizontalCenter(3, 11);
    ws.setBottomDoubleBorder(3, 11);
    for (int r = 5; r <= 8; ++r) {
        if (r % 2) ws.setFill("A" + std::to_string(r) + ":K" + std::to_string(r), sheet::Fill::Tan);
        ws.setRowHeight(r, 15.2);
        for (int col = 1; col <= 11; ++col) ws.setFontSize(r, col, 12);
        ws.setInteger(r, 1, r - 4);
        ws.setInteger(r, 2, 100 + r);
        ws.setText(r, 4, "選手 " + std::to_string(r));
        ws.setNumberFormat(r, 7, "0.00");
        ws.setNumber(r, 7, 61.25 + r);
        ws.setNumber(r, 9, 0.5);
        ws.setNumberFormat(r, 11, "0.00");
        ws.setNumber(r, 11, 100.0 / r);
    }
    ws.setDate(9, 1, sheet::Date{2026, 2, 15});
    ws.setText(10, 12, "Page 1");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int which = data[0] & 3;
    const bool onlySelect = (data[0] & 4) != 0;
    const std::string fuzzed(reinterpret_cast<const char*>(data) + 1, size - 1);
    auto part = [&](int w) { return w == which ? fuzzed : DefaultPart(w); };

    sheet::detail::ZipWriter zip;
    zip.add("[Content_Types].xml", Types(), 1);
    zip.add("_rels/.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
            "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
            "Id=\"rId1\" Type=\"" +
                std::string(kRel) +
                "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>",
            1);
    zip.add("xl/workbook.xml", part(3), 1);
    zip.add("xl/_rels/workbook.xml.rels", WorkbookRels(), 1);
    zip.add("xl/worksheets/sheet1.xml", part(0), 1);
    zip.add("xl/worksheets/sheet2.xml", Sheet2(), 1);
    zip.add("xl/styles.xml", part(2), 1);
    zip.add("xl/sharedStrings.xml", part(1), 1);
    std::string bytes;
    if (!zip.finish(&bytes)) Fail("building the package", zip.error());
    const std::string path = Path(".xlsx");
    int why = 0;
    if (!sheet::detail::WriteFileAtomically(path, bytes, false, &why)) return 0;

    sheet::FileFault fault;
    auto book = sheet::Workbook::open(path, &fault);
    if (book) {
        sheet::Worksheet* ws = nullptr;
        if (!onlySelect && (ws = book->worksheet(1))) {
            static zalvik::Competition* c = new zalvik::Competition;
            *c = zalvik::Competition{};
            QString gateText;
            zalvik::store::ReadInputSheet(*ws, *c, &gateText);
            for (int r = 1; r <= 12; ++r)
                for (int col = 1; col <= 12; ++col) {
                    ws->numberFormat(r, col);
                    ws->fontSize(r, col);
                    ws->fill(r, col);
                    ws->isHorizontalCenter(r, col);
                    ws->hasBottomDoubleBorder(r, col);
                }
            ws->columnWidth(3);
            ws->pageMargins();
            ws->headerFooter();
            WriteLikeTheResultsSheet(*ws);
        }
        if (book->worksheetCount() >= 2)
            if (sheet::Worksheet* other = book->worksheet(onlySelect ? 2 : 1)) other->select();
        const bool wrote = ws != nullptr;
        const double widthBefore = wrote ? ws->columnWidth(5) : 0;
        sheet::SaveResult saved = book->save();
        if (!saved.ok) Fail("save", zalvik::store::SaveMessage(saved).toStdString());

        // The layer never writes shared strings: the part must come back as it went in.
        sheet::detail::ZipReader savedZip;
        sheet::detail::ZipError ze;
        std::string strings;
        auto savedBytes = std::make_shared<std::string>();
        FILE* in = std::fopen(path.c_str(), "rb");
        if (!in) Fail("reading the saved file", path);
        char buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) savedBytes->append(buf, n);
        std::fclose(in);
        const int64_t si =
            savedZip.open(savedBytes, &ze) ? savedZip.find("xl/sharedStrings.xml") : -1;
        if (si < 0 || !savedZip.read(si, &strings, &ze) || strings != part(1))
            Fail("shared strings changed", strings.substr(0, 80));

        auto again = sheet::Workbook::open(path, &fault);
        if (!again)
            Fail("reopening what was saved", zalvik::store::FileFaultMessage(fault).toStdString());
        if (wrote) {
            sheet::Worksheet* back = again->worksheet(1);
            if (!back)
                Fail("reading the written sheet back",
                     zalvik::store::FileFaultMessage(again->lastFault()).toStdString());
            if (back->text(1, 5) != " 公 式 成 績 表" || back->text(6, 4) != "選手 6" ||
                back->value(6, 7).number != 67.25 || back->columnWidth(5) != widthBefore)
                Fail("written cells", back->text(1, 5) + "|" + back->text(6, 4));
        }
    }
    std::remove(path.c_str());
    std::remove((path + ".bak").c_str());
    return 0;
}
