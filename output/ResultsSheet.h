#pragma once
// The official results sheet ("公 式 成 績 表") of one class, written into worksheet 2 of the
// results workbook and laid out for printing on pages of 49 rows: a title, the class name and
// two rows of column headings, forty ranked competitors a page with a page label in column L,
// then the competitors of the class who did not start, did not finish or were disqualified.
//
// Worksheet 2 belongs wholly to this writer: every run clears its contents and rewrites it.
// Cell formats of an earlier run (row heights, fonts, borders, number formats) stay where the
// new run does not set them again, as they would in the spreadsheet program.

#include <QString>
#include <vector>

#include "app/Competition.h"
#include "sheet/Workbook.h"

namespace zalvik {

// The position of the results sheet in the workbook.
constexpr int kResultsWorksheet = 2;
// One printed page: 49 rows, of which rows 6..45 (counted within the page) hold competitors.
constexpr int kRowsPerPage = 49;
constexpr int kCompetitorRowsPerPage = 40;

// Worksheet 2 of the workbook, or nullptr with one Japanese sentence in *why (when given)
// saying why the results sheet cannot be written there: no workbook is open, the workbook has
// fewer than two worksheets, or the second one cannot be read.
sheet::Worksheet* ResultsWorksheet(sheet::Workbook* book, QString* why = nullptr);

// Empties worksheet 2 and gives it the page layout of the results sheet: contents cleared
// (formats kept), no fill on the competitor area, margins, one page wide, running headers and
// footers with the event name, date and venue, and the widths of columns A to K. Trims the blanks
// around c.eventName and stores the trimmed name back. Returns false, changing nothing, when the
// worksheet is not there (the reason in *why).
bool PrepareResultsSheet(Competition& c, sheet::Workbook* book, QString* why = nullptr);

// Writes the heading block of a continuation page (class name, two rows of column headings)
// at row c.sheetRow and advances c.sheetRow by 5. Returns false, writing nothing, when the
// worksheet is not there.
bool WritePageHeading(Competition& c, sheet::Workbook* book);

// Bibs of the competitors of class `cls` who have neither a run nor a status, in slot order:
// the results sheet lists them nowhere.
std::vector<int16_t> CompetitorsWithoutResult(const Competition& c, int cls);
// One sentence for the official about them; empty when there are none.
QString CompetitorsWithoutResultMessage(const std::vector<int16_t>& bibs);

struct ResultsSheetRun {
    bool written = false;  // false: the workbook was left untouched, see `why`
    QString why;           // one Japanese sentence when nothing could be written
    int pages = 0;         // pages of ranked rows, each labelled "Page N" in column L
    int lastRow = 0;       // the row after the sheet's last section (the writer's final row)
};

// The whole run for class c.outputClass: PrepareResultsSheet, the title and headings, the
// ranked rows taken from the class standings (which must be current), the page labels, the
// DS, DF and DQ sections; then worksheet 2 is selected. Saving is the caller's: the screen saves
// through the program, which may first take in another program's changes to the file. Class 0 (no
// class chosen yet) gives the headings with an empty class name, no ranked rows, and status
// sections of the competitors whose class cell is empty or 0.
ResultsSheetRun WriteResultsSheet(Competition& c, sheet::Workbook* book);

}  // namespace zalvik
