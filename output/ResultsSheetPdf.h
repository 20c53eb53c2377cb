#pragma once
// Prints the official results sheet without a spreadsheet program: worksheet 2 as the writer
// left it, drawn page for page (49 rows a page, columns A to L on one page) on A4 portrait
// paper with the sheet's margins and its running headers and footers, in a Japanese font that
// the PDF carries inside it. The same pages go to a PDF file beside the workbook and to a
// printer.
//
// Drawing needs fonts, so a QGuiApplication (or QApplication) must exist.

#include <QString>
#include <memory>

class QPainter;

namespace sheet {
class Worksheet;
}

namespace zalvik {

struct Competition;

// The rows of one printed page.
constexpr int kPrintedRowsPerPage = 49;

// The family that every text of the printout is drawn in.
extern const char* const kPrintFontFamily;

// A copy of the worksheet laid out on pages; it does not refer to the worksheet afterwards.
class ResultsSheetPages {
  public:
    explicit ResultsSheetPages(const sheet::Worksheet& ws);
    ~ResultsSheetPages();
    ResultsSheetPages(const ResultsSheetPages&) = delete;
    ResultsSheetPages& operator=(const ResultsSheetPages&) = delete;

    // One page per 49 rows up to the last row holding a value; one page for an empty sheet.
    int pageCount() const;
    // The factor the cells are drawn at so that columns A to L fit the printable width and
    // 49 rows the printable height (1 when they fit as they are).
    double scale() const;

    // Draws page `index` (from 0). The painter's origin is the top-left corner of the paper
    // and `dotsPerPoint` the device's pixels per point (its resolution / 72).
    void drawPage(QPainter& painter, int index, double dotsPerPoint) const;

  private:
    struct Data;
    std::unique_ptr<Data> d_;
};

// The PDF beside the workbook: "<workbook name without extension>_<class name>.pdf", the class
// name made a safe file-name part (path separators and characters file systems refuse become
// "_"). An empty class name gives "<workbook name>.pdf".
QString ResultsPdfPath(const QString& workbookPath, const QString& className);
// The same for the class the output screen last chose (c.outputClass).
QString ResultsPdfPath(const QString& workbookPath, const Competition& c);

// Writes every page to `path` so that the file is the old one or the new one, never a part:
// a temporary file in the same folder, flushed to disk, then renamed over the target. On
// failure *why holds one Japanese sentence naming the file, and no file is left behind.
bool WriteResultsPdf(const ResultsSheetPages& pages, const QString& path, QString* why);

// The PDF as bytes (what WriteResultsPdf stores).
QByteArray RenderResultsPdf(const ResultsSheetPages& pages);

}  // namespace zalvik
