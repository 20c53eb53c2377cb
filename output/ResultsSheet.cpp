#include "output/ResultsSheet.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "app/Numbers.h"
#include "race/Formatting.h"
#include "race/Scoring.h"

namespace zalvik {

namespace {

// Columns of the sheet.
constexpr int kColRank = 1;        // A: rank; the section headings of the status lists
constexpr int kColBib = 2;         // B
constexpr int kColName = 4;        // D
constexpr int kColTeam = 5;        // E: affiliation; the title on row 1
constexpr int kColTime = 7;        // G
constexpr int kColBuoys = 9;       // I
constexpr int kColPoints = 11;     // K: race points; the class name in each heading block
constexpr int kColPageLabel = 12;  // L

// The fill is removed from the competitor area before every run. The area reaches row 1000 on
// a sheet of up to 25 pages' worth of rows, but the largest class (999 competitors, 25 pages)
// writes filled rows up to row 49 x 24 + 45 = 1221; clearing only to row 1000 would leave the
// tan bands of such a sheet behind under a later, shorter one.
constexpr int kMaxPages = (kMaxSlots + kCompetitorRowsPerPage - 1) / kCompetitorRowsPerPage;
constexpr int kFillClearLastRow = std::max(1000, kMaxPages* kRowsPerPage);

const char* const kDashes20 = "--------------------";
const char* const kDashes22 = "----------------------";
const char* const kDashes13 = "-------------";
const char* const kDashes45 = "---------------------------------------------";

std::string Utf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

// The sheet was cleared at the start of the run, so an empty text needs no cell at all; a
// cell holding "" would read back as a text cell in other programs instead of an empty one.
void PutText(sheet::Worksheet& ws, int row, int col, const QString& text) {
    if (!text.isEmpty()) ws.setText(row, col, Utf8(text));
}

// The spreadsheet program turns a text that reads as a number into that number when it is put
// into a cell; the race points column is meant to hold such numbers (" 5.00" is 5).
bool ReadsAsNumber(const QString& text, double* value) {
    const std::string s = Utf8(text.trimmed());
    if (s.empty()) return false;
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (*first == '+') ++first;  // from_chars takes no plus sign; the spreadsheet does
    const auto res = std::from_chars(first, last, *value, std::chars_format::general);
    return res.ec == std::errc() && res.ptr == last && std::isfinite(*value);
}

QString ClassName(const Competition& c, int cls) {
    if (cls < 0 || cls >= static_cast<int>(c.className.size())) return {};
    return c.className[cls];
}

// Removes blanks (U+0020 only) from both ends, the way the event name is tidied for the header.
QString TrimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == QLatin1Char(' ')) ++b;
    while (e > b && s[e - 1] == QLatin1Char(' ')) --e;
    return s.mid(b, e - b);
}

// The class name and the two rows of column headings at rows r+1..r+3. The first page and the
// continuation pages differ only in two texts under the headings.
void WriteHeadingBlock(const Competition& c, sheet::Worksheet& ws, int r, bool firstPage) {
    ws.setHorizontalCenter(r + 1, kColPoints);
    ws.setBottomDoubleBorder(r + 1, kColPoints);
    PutText(ws, r + 1, kColPoints, ClassName(c, c.outputClass));

    ws.setText(r + 2, kColRank, "順位");
    ws.setText(r + 2, kColBib, "ｾﾞｯｹﾝ");
    ws.setText(r + 3, kColBib, "　NO");
    ws.setText(r + 2, kColName, "競　技　者  -----------------------------");
    ws.setText(r + 3, kColName, firstPage ? "氏    　名" : "氏　名");
    ws.setText(r + 3, kColTeam, "所　　　属");
    ws.setText(r + 2, kColTime, " 滑　走");
    ws.setText(r + 2, kColBuoys, "  ブ　イ");
    ws.setText(r + 2, kColPoints, "  レース");
    ws.setText(r + 3, kColTime, firstPage ? "  ﾀ ｲ ﾑ" : " 時　間");
    ws.setText(r + 3, kColBuoys, "  ﾎﾟｲﾝﾄ");
    ws.setText(r + 3, kColPoints, "  ﾎﾟｲﾝﾄ");
}

void WritePageLabel(sheet::Worksheet& ws, int row, int page) {
    ws.setText(row, kColPageLabel, "Page " + std::to_string(page));
}

void WriteCompetitorRow(sheet::Worksheet& ws, int r, int rank, const Competitor& who, bool banded) {
    if (banded) ws.setFill("A" + std::to_string(r) + ":K" + std::to_string(r), sheet::Fill::Tan);
    ws.setRowHeight(r, 15.2);
    for (int col = kColRank; col <= kColPoints; ++col) ws.setFontSize(r, col, 12);

    ws.setInteger(r, kColRank, rank);
    ws.setInteger(r, kColBib, who.bib);
    PutText(ws, r, kColName, who.name);
    PutText(ws, r, kColTeam, who.affiliation);

    ws.setNumberFormat(r, kColTime, "0.00");
    ws.setNumber(r, kColTime, ShortestDecimal(who.runTime));
    ws.setNumber(r, kColBuoys, ShortestDecimal(who.buoyPoints));

    // Column K shows the two-decimal text of the race points rounded to hundredths; the cell
    // holds the number that text reads as, so that it prints exactly as shown on screen.
    ws.setNumberFormat(r, kColPoints, "0.00");
    const QString shown = FormatHundredths(RoundToHundredths(who.racePoints));
    double number = 0;
    if (ReadsAsNumber(shown, &number))
        ws.setNumber(r, kColPoints, number);
    else
        PutText(ws, r, kColPoints, shown);
}

// One status section: the heading with the count, then one row per competitor.
void WriteStatusSection(const Competition& c, sheet::Worksheet& ws, int& r, const char* heading,
                        const std::vector<int>& listed) {
    r += 2;
    ws.setText(r, kColRank, std::string(heading) + "(" + std::to_string(listed.size()) + ")");
    if (listed.empty()) return;
    r += 1;
    for (int slot : listed) {
        const Competitor& who = c.competitors[slot];
        ws.setInteger(r, kColBib, who.bib);
        PutText(ws, r, kColName, who.name);
        PutText(ws, r, kColTeam, who.affiliation);
        r += 1;
    }
}

void Prepare(Competition& c, sheet::Worksheet& ws) {
    ws.clearContents();
    ws.setFill("A1:K" + std::to_string(kFillClearLastRow), sheet::Fill::None);

    ws.setPageMargins(sheet::Margins{0.8, 0.3, 1.5, 0.98, 1.2, 0.1});
    // A spreadsheet program would otherwise put the last columns on a second sheet of paper.
    ws.setFitToPageWidth();

    c.eventName = TrimBlanks(c.eventName);

    // The running texts carry no page-number or date fields: the page numbers of the sheet
    // are the labels in column L.
    sheet::HeaderFooter hf;
    hf.leftHeader = std::string(kDashes20) + "\n" + kDashes22;
    hf.centerHeader = Utf8(c.eventName) + "\n" + kDashes45;
    hf.rightHeader = std::string(kDashes20) + "\n" + kDashes22;
    hf.leftFooter = Utf8(c.eventDate) + "/" + Utf8(c.eventVenue) + "\n" + kDashes22 +
                    "\nDATA PROCESSING by T O V E L\n" + kDashes13;
    hf.rightFooter = std::string(kDashes22) + "\nTIMING by T O V E L\n" + kDashes13;
    hf.centerFooter = std::string(kDashes45) + "\n\n";
    ws.setHeaderFooter(hf);

    // Columns A..K; column L, which takes the page labels, keeps the width it has.
    static constexpr std::array<double, 11> kWidths{4, 5.5, 1, 13, 30, 1, 6, 1, 6, 1, 6};
    for (int col = 1; col <= static_cast<int>(kWidths.size()); ++col)
        ws.setColumnWidth(col, kWidths[col - 1]);
}

}  // namespace

sheet::Worksheet* ResultsWorksheet(sheet::Workbook* book, QString* why) {
    auto fail = [why](const QString& text) -> sheet::Worksheet* {
        if (why) *why = text;
        return nullptr;
    };
    if (!book)
        return fail(
            QStringLiteral("ブックが開かれていないため、公式成績表は書き出しませんでした。"));
    const QString file = QFileInfo(QString::fromStdString(book->path())).fileName();
    if (book->worksheetCount() < kResultsWorksheet)
        return fail(
            QStringLiteral(
                "「%1」には2枚目のワークシートがないため、公式成績表は書き出しませんでした。")
                .arg(file));
    sheet::Worksheet* ws = book->worksheet(kResultsWorksheet);
    if (!ws)
        return fail(
            QStringLiteral(
                "「%1」の2枚目のワークシートを読み取れないため、公式成績表は書き出しませんでした。")
                .arg(file));
    return ws;
}

bool PrepareResultsSheet(Competition& c, sheet::Workbook* book, QString* why) {
    sheet::Worksheet* ws = ResultsWorksheet(book, why);
    if (!ws) return false;
    Prepare(c, *ws);
    return true;
}

bool WritePageHeading(Competition& c, sheet::Workbook* book) {
    sheet::Worksheet* ws = ResultsWorksheet(book);
    if (!ws) return false;
    WriteHeadingBlock(c, *ws, c.sheetRow, false);
    c.sheetRow = static_cast<int16_t>(c.sheetRow + 5);
    return true;
}

ResultsSheetRun WriteResultsSheet(Competition& c, sheet::Workbook* book) {
    ResultsSheetRun run;
    sheet::Worksheet* found = ResultsWorksheet(book, &run.why);
    if (!found) return run;
    sheet::Worksheet& ws = *found;
    const int cls = c.outputClass;

    Prepare(c, ws);
    int r = 1;

    // Title and the heading block of the first page; row 5 stays empty.
    ws.setRowHeight(r, 26);
    ws.setFontSize(r, kColTeam, 24);
    ws.setText(r, kColTeam, " 公 式 成 績 表");
    WriteHeadingBlock(c, ws, r, true);
    r += 5;

    // Ranked rows, forty a page. An entry without race points is counted and ranked but leaves
    // an empty row; such entries come last in the standings, so they never shift a full page.
    int pageBreaks = 0;
    int rowsOnPage = 0;
    for (const StandingsRow& entry : RankClass(c, cls)) {
        if (rowsOnPage == kCompetitorRowsPerPage) {
            ++pageBreaks;
            WritePageLabel(ws, r + 1, pageBreaks);
            r += 4;
            WriteHeadingBlock(c, ws, r, false);
            r += 5;
            rowsOnPage = 0;
        }
        if (entry.racePoints != 0) {
            WriteCompetitorRow(ws, r, entry.rank, c.competitors[entry.slot], rowsOnPage % 2 == 0);
            ++rowsOnPage;
        }
        ++r;
    }
    // The last page's label sits at its page's row 47, whatever the last written row was.
    WritePageLabel(ws, kRowsPerPage * pageBreaks + 47, pageBreaks + 1);
    run.pages = pageBreaks + 1;

    // Every competitor of the class with a status is listed, in slot order, however many.
    std::array<std::vector<int>, 4> byStatus;
    const int competitors = std::clamp<int>(c.competitorCount, 0, kMaxSlots);
    for (int j = 1; j <= competitors; ++j) {
        const Competitor& who = c.competitors[j];
        if (who.status >= 1 && who.status <= 3 && who.classNo.equals(cls))
            byStatus[who.status].push_back(j);
    }
    WriteStatusSection(c, ws, r, "DID NOT START", byStatus[1]);
    WriteStatusSection(c, ws, r, "DID NOT FINISH", byStatus[2]);
    WriteStatusSection(c, ws, r, "DISQUALFIED", byStatus[3]);

    r += 2;
    c.sheetRow = static_cast<int16_t>(r);
    run.lastRow = r;
    run.written = true;

    ws.select();
    return run;
}

std::vector<int16_t> CompetitorsWithoutResult(const Competition& c, int cls) {
    std::vector<int16_t> bibs;
    const int count = std::clamp<int>(c.competitorCount, 0, kMaxCompetitors);
    for (int i = 1; i <= count; ++i) {
        const Competitor& who = c.competitors[i];
        if (who.classNo.equals(cls) && !HasRegisteredResult(who)) bibs.push_back(who.bib);
    }
    return bibs;
}

QString CompetitorsWithoutResultMessage(const std::vector<int16_t>& bibs) {
    if (bibs.empty()) return {};
    QStringList list;
    for (int16_t b : bibs) list << QString::number(b);
    return QStringLiteral("結果のない選手が%1人います（ゼッケン %2）。")
        .arg(bibs.size())
        .arg(list.join(QStringLiteral("、")));
}

}  // namespace zalvik
