#pragma once
// The results sheet beyond the workbook, for the screens (it needs Qt Widgets for its dialogs):
// Qt's print preview on the printed pages, and the hand-off of the workbook to the desktop's
// spreadsheet program that says so when no program takes it.

#include <QString>

class QWidget;

namespace sheet {
class Workbook;
}

namespace zalvik {

struct Competition;
class ResultsSheetPages;

// The end of a run that wrote the results sheet into the workbook: the PDF of the sheet goes
// beside the workbook (a message names it when it cannot be written); then, with printing
// chosen (c.printResultsSheet), the print preview opens, and otherwise the workbook goes to
// the spreadsheet program when the save succeeded (`saved`); where a spreadsheet program still
// holds the workbook open, a message says so and the PDF is shown instead. Everything said goes
// into one message, after `note` (what the caller has to say about the run; may be empty).
void DeliverResultsSheet(QWidget* parent, const Competition& c, sheet::Workbook& book, bool saved,
                         const QString& note = QString());

// Opens Qt's print preview (modal) on the pages: A4 portrait, the sheet's own margins. From
// it the user prints on any installed printer; where none is installed the dialog says so and
// names the PDF at pdfPath.
void ShowResultsPrintPreview(QWidget* parent, const ResultsSheetPages& pages,
                             const QString& pdfPath);

// Hands the workbook to the desktop's spreadsheet program. Where none takes it, one message
// names the workbook and, when pdfPath names a file that is there, the PDF. Where a spreadsheet
// program holds it open already (its lock file is beside it), only a message says so.
void ShowWorkbookInSpreadsheetProgram(QWidget* parent, const QString& workbookPath,
                                      const QString& pdfPath = QString());

}  // namespace zalvik
