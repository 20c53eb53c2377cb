#include "output/ResultsSheetPdf.h"

#include <unistd.h>

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "app/Competition.h"
#include "sheet/Workbook.h"

namespace zalvik {

const char* const kPrintFontFamily = "Noto Sans CJK JP";

namespace {

constexpr int kPrintedColumns = 12;  // A..L
constexpr double kPaperWidth = 210 / 25.4 * 72;
constexpr double kPaperHeight = 297 / 25.4 * 72;
constexpr double kPointsPerInch = 72;
// The space the spreadsheet program leaves between a cell's edge and its text, 2 pixels.
constexpr double kCellPadding = 1.5;
// The running texts are drawn in the standard font size and shrink with the sheet.
constexpr double kRunningTextSize = 11;
// The PDF's resolution: fine enough that glyph positions are not rounded visibly.
constexpr int kPdfDotsPerInch = 1200;
const QColor kTan(255, 204, 153);

enum class Align { Left, Center, Right };

struct Text {
    int row = 0;            // from 1
    double x0 = 0, x1 = 0;  // the cell, in points from the left edge of column A
    double r0 = 0, r1 = 0;  // where the text may run, the empty neighbours included
    double size = 11;
    Align align = Align::Left;
    QString text;
};

struct Band {  // the tan fill of adjacent cells of one row
    int row = 0;
    double x0 = 0, x1 = 0;
};

struct Rule {  // a double bottom border
    int row = 0;
    double x0 = 0, x1 = 0;
};

struct Page {
    std::vector<Text> texts;
    std::vector<Band> bands;
    std::vector<Rule> rules;
};

// A number with a format of zeros and an optional decimal part ("0", "0.00") is shown with that
// many decimals; every other format as the general one.
QString NumberText(const sheet::Value& v, const std::string& code) {
    if (v.type == sheet::ValueType::Number && !code.empty() && code[0] == '0') {
        const size_t dot = code.find('.');
        const std::string head = code.substr(0, dot);
        const std::string tail = dot == std::string::npos ? "" : code.substr(dot + 1);
        const bool zeros = head.find_first_not_of('0') == std::string::npos &&
                           tail.find_first_not_of('0') == std::string::npos;
        if (zeros) return QString::number(v.number, 'f', static_cast<int>(tail.size()));
    }
    return QString::fromStdString(v.toText());
}

// Running texts may carry the page number and page count codes of the spreadsheet program.
QString RunningText(const std::string& utf8, int page, int pages) {
    QString s = QString::fromStdString(utf8);
    s.replace(QStringLiteral("&P"), QString::number(page));
    s.replace(QStringLiteral("&N"), QString::number(pages));
    return s;
}

// The family is installed with the project's packages; a machine whose font configuration
// does not list it still finds it in its Debian place.
void EnsurePrintFont() {
    static const bool done = [] {
        if (!QFontDatabase::families().contains(QString::fromLatin1(kPrintFontFamily)))
            QFontDatabase::addApplicationFont(
                QStringLiteral("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"));
        return true;
    }();
    (void)done;
}

QFont PrintFont(double points) {
    QFont f(QString::fromLatin1(kPrintFontFamily));
    f.setPointSizeF(std::max(1.0, points));
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// Text drawn glyph by glyph straight from the font's character map. Shaping would give some
// characters (the digits after Latin letters, as in "Page 1") glyphs that the character map
// does not reach, and the PDF would then carry no character for them: copying, searching and
// reading the file aloud would lose them.
class GlyphWriter {
  public:
    GlyphWriter() : base_(QRawFont::fromFont(PrintFont(12))) {}

    void setSize(double pixels) {
        font_ = base_;
        font_.setPixelSize(std::max(1.0, pixels));
    }
    double ascent() const { return font_.ascent(); }
    double descent() const { return font_.descent(); }

    // Lays out `text`; returns its width in pixels.
    double layout(const QString& text) {
        glyphs_ = font_.glyphIndexesForString(text);
        const QList<QPointF> advances =
            font_.advancesForGlyphIndexes(glyphs_, QRawFont::UseDesignMetrics);
        positions_.resize(glyphs_.size());
        double x = 0;
        for (qsizetype i = 0; i < glyphs_.size(); ++i) {
            positions_[i] = QPointF(x, 0);
            x += advances[i].x();
        }
        return x;
    }
    // Draws the text laid out last with its baseline starting at `origin`.
    void draw(QPainter& painter, QPointF origin) const {
        if (glyphs_.isEmpty()) return;
        QGlyphRun run;
        run.setRawFont(font_);
        run.setGlyphIndexes(glyphs_);
        run.setPositions(positions_);
        painter.drawGlyphRun(origin, run);
    }

  private:
    QRawFont base_, font_;
    QList<quint32> glyphs_;
    QList<QPointF> positions_;
};

// Qt names each glyph of the embedded font by the lowest character that the font draws with
// it. The font draws the kanji radicals (U+2F00..) with the glyphs of the ordinary kanji, and
// the em space with that of the ideographic space, so copying or searching the PDF would give
// "⼭⽥" for 山田. Each such name is replaced by the character the sheet really holds; the
// replacement has the same length, so no offset in the file moves.
char16_t PreferredCharacter(char16_t c) {
    if (c == 0x2003) return 0x3000;
    if ((c >= 0x2E80 && c <= 0x2EFF) || (c >= 0x2F00 && c <= 0x2FDF)) {
        const QString n = QString(QChar(c)).normalized(QString::NormalizationForm_KC);
        if (n.size() == 1 && n[0].unicode() >= 0x3400) return n[0].unicode();
    }
    return c;
}

void MendHex4(char* p) {
    bool ok = false;
    const uint c = QByteArray(p, 4).toUInt(&ok, 16);
    if (!ok) return;
    const char16_t better = PreferredCharacter(static_cast<char16_t>(c));
    if (better == c) return;
    const QByteArray hex = QByteArray::number(better, 16).toUpper().rightJustified(4, '0');
    std::copy(hex.begin(), hex.end(), p);
}

// Calls f on the start of every 4-digit hex string "<XXXX>" in [from, to).
template <class F>
void EachHex4(char* from, char* to, F f) {
    for (char* p = from; p + 6 <= to; ++p)
        if (p[0] == '<' && p[5] == '>') f(p + 1);
}

void MendToUnicodeMaps(QByteArray& pdf) {
    char* data = pdf.data();
    auto next = [&](qsizetype from, const char* what) { return pdf.indexOf(what, from); };
    for (qsizetype at = next(0, "beginbfrange"); at >= 0; at = next(at, "beginbfrange")) {
        const qsizetype end = next(at, "endbfrange");
        if (end < 0) break;
        // Lines "<first> <last> [<char> <char> …]" or "<first> <last> <char>".
        qsizetype line = at;
        while (line < end) {
            qsizetype eol = next(line, "\n");
            if (eol < 0 || eol > end) eol = end;
            char* b = data + line;
            char* e = data + eol;
            char* bracket = std::find(b, e, '[');
            if (bracket != e) {
                EachHex4(bracket, e, MendHex4);
            } else {
                int n = 0;
                std::array<char*, 3> hex{};
                EachHex4(b, e, [&](char* p) {
                    if (n < 3) hex[n] = p;
                    ++n;
                });
                // A one-glyph range only: a longer one counts on consecutive characters.
                if (n == 3 && std::equal(hex[0], hex[0] + 4, hex[1])) MendHex4(hex[2]);
            }
            line = eol + 1;
        }
        at = end;
    }
    for (qsizetype at = next(0, "beginbfchar"); at >= 0; at = next(at, "beginbfchar")) {
        const qsizetype end = next(at, "endbfchar");
        if (end < 0) break;
        int n = 0;
        EachHex4(data + at, data + end, [&](char* p) {
            if (n++ % 2 == 1) MendHex4(p);
        });
        at = end;
    }
}

// One character that file systems or the shell's tools stumble over, or a control character.
bool UnsafeInFileName(QChar c) {
    return c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('\\') ||
           c == QLatin1Char(':') || c == QLatin1Char('*') || c == QLatin1Char('?') ||
           c == QLatin1Char('"') || c == QLatin1Char('<') || c == QLatin1Char('>') ||
           c == QLatin1Char('|') || c.unicode() == 0x7F;
}

}  // namespace

struct ResultsSheetPages::Data {
    std::array<double, kPrintedColumns + 1> colX{};  // left edges, points, unscaled
    std::vector<double> rowHeight;                   // by row - 1, points, unscaled
    std::vector<Page> pages;
    sheet::Margins margins;  // points
    sheet::HeaderFooter running;
    double scale = 1;
};

ResultsSheetPages::ResultsSheetPages(const sheet::Worksheet& ws) : d_(std::make_unique<Data>()) {
    Data& d = *d_;
    const sheet::Margins inches = ws.pageMargins();
    d.margins = {inches.left * kPointsPerInch,   inches.right * kPointsPerInch,
                 inches.top * kPointsPerInch,    inches.bottom * kPointsPerInch,
                 inches.header * kPointsPerInch, inches.footer * kPointsPerInch};
    d.running = ws.headerFooter();

    for (int c = 1; c <= kPrintedColumns; ++c) d.colX[c] = d.colX[c - 1] + ws.columnWidthPoints(c);

    const int lastRow = ws.lastRowWithValue();
    const int pageCount = std::max(1, (lastRow + kPrintedRowsPerPage - 1) / kPrintedRowsPerPage);
    const int rows = pageCount * kPrintedRowsPerPage;
    d.rowHeight.resize(rows);
    d.pages.resize(pageCount);
    double tallestPage = 0;
    for (int p = 0; p < pageCount; ++p) {
        double height = 0;
        for (int i = 1; i <= kPrintedRowsPerPage; ++i) {
            const int r = p * kPrintedRowsPerPage + i;
            d.rowHeight[r - 1] = ws.rowHeightPoints(r);
            height += d.rowHeight[r - 1];
        }
        tallestPage = std::max(tallestPage, height);
    }

    // Shrink the whole sheet, text included, rather than cut a column or spill a row.
    const double printableWidth = kPaperWidth - d.margins.left - d.margins.right;
    const double printableHeight = kPaperHeight - d.margins.top - d.margins.bottom;
    const double width = d.colX[kPrintedColumns];
    if (width > 0 && printableWidth > 0) d.scale = std::min(d.scale, printableWidth / width);
    if (tallestPage > 0 && printableHeight > 0)
        d.scale = std::min(d.scale, printableHeight / tallestPage);

    std::array<sheet::Value, kPrintedColumns + 2> values;
    for (int r = 1; r <= std::min(lastRow, rows); ++r) {
        Page& page = d.pages[(r - 1) / kPrintedRowsPerPage];
        for (int c = 1; c <= kPrintedColumns; ++c) values[c] = ws.value(r, c);
        values[0] = values[kPrintedColumns + 1] = sheet::Value{};
        for (int c = 1; c <= kPrintedColumns; ++c) {
            if (ws.fill(r, c) == sheet::Fill::Tan) {
                if (!page.bands.empty() && page.bands.back().row == r &&
                    page.bands.back().x1 == d.colX[c - 1])
                    page.bands.back().x1 = d.colX[c];
                else
                    page.bands.push_back({r, d.colX[c - 1], d.colX[c]});
            }
            if (ws.hasBottomDoubleBorder(r, c)) page.rules.push_back({r, d.colX[c - 1], d.colX[c]});

            const sheet::Value& v = values[c];
            if (v.isEmpty()) continue;
            Text t;
            t.row = r;
            t.x0 = t.r0 = d.colX[c - 1];
            t.x1 = t.r1 = d.colX[c];
            t.size = ws.fontSize(r, c);
            const bool number =
                v.type == sheet::ValueType::Number || v.type == sheet::ValueType::Date;
            t.text =
                number ? NumberText(v, ws.numberFormat(r, c)) : QString::fromStdString(v.toText());
            if (ws.isHorizontalCenter(r, c))
                t.align = Align::Center;
            else if (number)
                t.align = Align::Right;
            else if (v.type != sheet::ValueType::Text)
                t.align = Align::Center;
            // Text runs on over empty neighbours, as on screen: rightwards when it starts at
            // the left, both ways when centred.
            if (v.type == sheet::ValueType::Text && t.align != Align::Right) {
                for (int k = c + 1; k <= kPrintedColumns && values[k].isEmpty(); ++k)
                    t.r1 = d.colX[k];
                if (t.align == Align::Center)
                    for (int k = c - 1; k >= 1 && values[k].isEmpty(); --k) t.r0 = d.colX[k - 1];
            }
            page.texts.push_back(std::move(t));
        }
    }
}

ResultsSheetPages::~ResultsSheetPages() = default;

int ResultsSheetPages::pageCount() const { return static_cast<int>(d_->pages.size()); }

double ResultsSheetPages::scale() const { return d_->scale; }

void ResultsSheetPages::drawPage(QPainter& painter, int index, double dpp) const {
    if (index < 0 || index >= pageCount()) return;
    EnsurePrintFont();
    const Data& d = *d_;
    const Page& page = d.pages[index];
    const double s = d.scale;
    const int firstRow = index * kPrintedRowsPerPage + 1;

    // Row tops on this page, in device pixels.
    std::array<double, kPrintedRowsPerPage + 1> top{};
    top[0] = d.margins.top * dpp;
    for (int i = 0; i < kPrintedRowsPerPage; ++i)
        top[i + 1] = top[i] + d.rowHeight[firstRow - 1 + i] * s * dpp;
    auto x = [&](double pt) { return (d.margins.left + pt * s) * dpp; };
    auto rowTop = [&](int row) { return top[row - firstRow]; };
    auto rowBottom = [&](int row) { return top[row - firstRow + 1]; };

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    for (const Band& b : page.bands)
        painter.fillRect(
            QRectF(QPointF(x(b.x0), rowTop(b.row)), QPointF(x(b.x1), rowBottom(b.row))), kTan);

    painter.setPen(Qt::black);
    GlyphWriter writer;
    double fontSize = -1;
    for (const Text& t : page.texts) {
        if (t.size != fontSize) {
            fontSize = t.size;
            writer.setSize(t.size * s * dpp);
        }
        const double pad = kCellPadding * s * dpp;
        double width = writer.layout(t.text);
        // Where the text may run: its cell and the empty neighbours it runs on over; a number
        // keeps to its own cell.
        const double room0 = (t.align == Align::Right ? x(t.x0) : x(t.r0)) + pad;
        const double room1 = x(t.r1) - pad;
        const double centre = (x(t.x0) + x(t.x1)) / 2;
        const double room =
            t.align == Align::Center ? 2 * std::min(centre - room0, room1 - centre) : room1 - room0;
        // A text wider than that is drawn smaller, never over the next cell and never cut:
        // a long name beside its affiliation, race points of 100 and more.
        if (width > room && room > 0) {
            writer.setSize(t.size * s * dpp * room / width);
            width = writer.layout(t.text);
            fontSize = -1;
        }
        double left = 0;
        switch (t.align) {
            case Align::Left:
                left = room0;
                break;
            case Align::Right:
                left = room1 - width;
                break;
            case Align::Center:
                left = centre - width / 2;
                break;
        }
        // Text sits at the bottom of its cell, as the spreadsheet program places it, clear of
        // a double bottom border.
        const double baseline = rowBottom(t.row) - (0.14 * t.size + 2) * s * dpp;
        writer.draw(painter, QPointF(left, baseline));
    }

    QPen rule(Qt::black);
    rule.setWidthF(0.5 * s * dpp);
    painter.setPen(rule);
    for (const Rule& r : page.rules) {
        const double y = rowBottom(r.row);
        for (double offset : {0.25, 1.75}) {
            const double ly = y - offset * s * dpp;
            painter.drawLine(QPointF(x(r.x0), ly), QPointF(x(r.x1), ly));
        }
    }

    // The running texts: headers hang from the header margin, footers stand on the footer
    // margin; left, centre and right sections side by side.
    painter.setPen(Qt::black);
    writer.setSize(kRunningTextSize * s * dpp);
    // The font's own line spacing is generous; the spreadsheet program's is about 1.2 lines.
    const double lineHeight = 1.2 * kRunningTextSize * s * dpp;
    const int pages = pageCount();
    auto section = [&](const std::string& utf8, Align align, bool header) {
        const QStringList lines = RunningText(utf8, index + 1, pages).split(QLatin1Char('\n'));
        double y = header ? d.margins.header * dpp + writer.ascent()
                          : (kPaperHeight - d.margins.footer) * dpp - writer.descent() -
                                (lines.size() - 1) * lineHeight;
        for (const QString& line : lines) {
            const double w = writer.layout(line);
            double left = d.margins.left * dpp;
            if (align == Align::Center) left = (kPaperWidth * dpp - w) / 2;
            if (align == Align::Right) left = (kPaperWidth - d.margins.right) * dpp - w;
            writer.draw(painter, QPointF(left, y));
            y += lineHeight;
        }
    };
    section(d.running.leftHeader, Align::Left, true);
    section(d.running.centerHeader, Align::Center, true);
    section(d.running.rightHeader, Align::Right, true);
    section(d.running.leftFooter, Align::Left, false);
    section(d.running.centerFooter, Align::Center, false);
    section(d.running.rightFooter, Align::Right, false);
    painter.restore();
}

QString ResultsPdfPath(const QString& workbookPath, const QString& className) {
    const QFileInfo book(workbookPath);
    QString part;
    // Forty characters keep the name within what file systems take, however long the class name.
    for (QChar c : className.left(40)) part += UnsafeInFileName(c) ? QLatin1Char('_') : c;
    if (!part.isEmpty() && part.back().isHighSurrogate()) part.chop(1);  // half a character
    // A name of dots alone would read as a folder to the shell's tools.
    if (!part.isEmpty() && part.count(QLatin1Char('.')) == part.size()) part.fill(QLatin1Char('_'));
    const QString name = book.completeBaseName() + (part.isEmpty() ? QString() : "_" + part);
    return book.dir().filePath(name + QStringLiteral(".pdf"));
}

QString ResultsPdfPath(const QString& workbookPath, const Competition& c) {
    const int k = c.outputClass;
    const bool named = k >= 1 && k < static_cast<int>(c.className.size());
    return ResultsPdfPath(workbookPath, named ? c.className[k] : QString());
}

QByteArray RenderResultsPdf(const ResultsSheetPages& pages) {
    EnsurePrintFont();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("zalvik-race"));
        writer.setTitle(QStringLiteral("公式成績表"));
        writer.setResolution(kPdfDotsPerInch);
        // The sheet's own margins are drawn; the page itself has none.
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QPainter painter(&writer);
        for (int i = 0; i < pages.pageCount(); ++i) {
            if (i > 0) writer.newPage();
            pages.drawPage(painter, i, kPdfDotsPerInch / kPointsPerInch);
        }
    }
    QByteArray pdf = buffer.buffer();
    MendToUnicodeMaps(pdf);
    return pdf;
}

bool WriteResultsPdf(const ResultsSheetPages& pages, const QString& path, QString* why) {
    const QByteArray pdf = RenderResultsPdf(pages);
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size() && file.flush() &&
              ::fsync(file.handle()) == 0;
    // commit() renames the finished file over the target; without it the temporary goes.
    ok = ok && file.commit();
    if (!ok) {
        file.cancelWriting();
        if (why)
            *why = QStringLiteral("PDF「%1」を書き込めませんでした（%2）。")
                       .arg(QDir::toNativeSeparators(path), file.errorString());
    }
    return ok;
}

}  // namespace zalvik
