#pragma once
// Where the competition lives on the input sheet (worksheet 1 of the results workbook), and the
// reading of it into the competition data. Nothing here knows a screen: the loader on the screen
// side calls these steps in order and puts what they read onto its screens.
//
// Every reading step stops at the first cell it cannot take and reports that cell; whatever was
// read before it stays in the competition data, so a load can stop half-way and still show what
// it got.

#include <QString>
#include <optional>
#include <vector>

#include "app/Competition.h"

namespace sheet {
class Worksheet;
struct Value;
}  // namespace sheet

namespace zalvik::store {

// Columns of the competitor rows.
constexpr int kColBib = 1;
constexpr int kColName = 2;
constexpr int kColAffiliation = 3;
constexpr int kColClass = 4;
constexpr int kColRunTime = 5;
constexpr int kColBuoyPoints = 6;
constexpr int kColRacePoints = 7;
constexpr int kColStatus = 8;
constexpr int kColFirstGate = 9;  // gate g in column 8 + g

// Columns of the settings block.
constexpr int kColBuoyName = 21;    // rows 2..6, buoy k in row k + 1
constexpr int kColBuoyScore = 22;   // rows 2..6
constexpr int kColGateCount = 23;   // row 2
constexpr int kColGateBuoys = 24;   // gate g in row g + 1
constexpr int kColEvent = 26;       // row 1 name, row 2 venue, row 3 date
constexpr int kColClassCount = 27;  // row 2
constexpr int kColClassName = 28;   // class k in row k + 1

constexpr int kFirstCompetitorRow = 2;
// Rows 2..1000 are examined; row 1001 and below are never read.
constexpr int kLastCompetitorRow = 1000;

// A cell the reading could not take.
struct CellFault {
    enum class Reason {
        NotANumber,  // text that does not spell a number where a number belongs
        OutOfRange,  // a number outside what the field can hold
    };
    int row = 0;
    int col = 0;
    QString held;  // the cell's text as the spreadsheet shows it
    Reason reason = Reason::NotANumber;

    QString cellName() const;  // (7, 5) -> "E7"
    // One sentence for the user naming the file and the cell, what the cell held and that the
    // load stopped there.
    QString message(const QString& fileName) const;
};

using Fault = std::optional<CellFault>;

// --- Conversions of one cell, as the layout prescribes --------------------------------------

// The cell's value as text: empty for an empty cell, a number in its usual decimal form, a date
// as yyyy/MM/dd.
QString CellText(const sheet::Value& v);
// A number, for the 16-bit and float fields: an empty cell is 0, a text counts only when it
// spells a number as a whole (blanks around it allowed). Empty when the cell cannot be taken.
std::optional<double> CellNumber(const sheet::Value& v);

// --- The reading steps, in the order a load runs them ----------------------------------------

// Counts the competitor rows: rows 2.. up to 1000, ending at the first whose name, with spaces
// at both ends removed, is empty. 0..999.
int16_t CountCompetitors(const sheet::Worksheet& ws);

// Sets competitorCount to `count`, then reads bib, name, affiliation, class, run time, buoy
// points, race points and status of slots 1..count, field by field in that order.
Fault ReadCompetitors(const sheet::Worksheet& ws, int16_t count, Competition& c);

// Names and scores of buoys 1..5.
Fault ReadBuoyTable(const sheet::Worksheet& ws, Competition& c);

// Competition name, venue and date. Text conversions cannot fail.
void ReadEventDetails(const sheet::Worksheet& ws, Competition& c);

// The gate count cell as text, for the settings screen's ゲート数 box. A count that would make
// more than 12 gates, or a negative one, is refused here: the per-gate tables hold 12 gates.
Fault ReadGateCountText(const sheet::Worksheet& ws, QString* text);

// classCount and the names of classes 1..classCount. A count above 9 is refused at its
// own cell and leaves the class table as it was.
Fault ReadClassTable(const sheet::Worksheet& ws, Competition& c);

// The buoy count of one gate (1..12).
Fault ReadGateBuoyCount(const sheet::Worksheet& ws, int gate, int16_t* count);

// What one competitor row puts into the results grid.
struct ResultRow {
    bool hasResult = false;      // false: the run-time cell is empty; the grid row stays as it is
    QString cells[5];            // bib, name, time, buoy points, race points (or "-", "-", status)
    std::vector<QString> gates;  // gate points of gates 1..gateCount
};

// The results grid row of slot i (sheet row i + 1), built from the sheet's cells and the slot's
// status as already read. A status outside 0..9 has no word and stops here at its cell; the
// row then holds what was built up to that point.
Fault ReadResultRow(const sheet::Worksheet& ws, const Competition& c, int slot, ResultRow* row);

// Steps 2..7 of the loader without the screens in between: competitors, buoy table, details,
// gate count text, class table. Stops at the first failing cell. For tools and benchmarks that
// need the data without a screen.
Fault ReadInputSheet(const sheet::Worksheet& ws, Competition& c, QString* gateCountText);

// Named rows that the load does not read because a blank name ends the list above them: the
// blank row, the first named row below it and how many named rows there are below it (rows up
// to 1000). count 0 when there are none.
struct RowsBelowTheList {
    int blankRow = 0;
    int firstRow = 0;
    int count = 0;
};
RowsBelowTheList NamedRowsBelowTheList(const sheet::Worksheet& ws, int16_t competitorCount);
// One sentence for the user about them; empty when there are none.
QString RowsBelowTheListMessage(const RowsBelowTheList& rows);

// Bibs of the competitors whose class number is above the class count, in slot order: they
// belong to no class and stand in no standings. A class of 0 or an empty cell is no class and
// is not listed.
std::vector<int16_t> BibsBeyondClassCount(const Competition& c);
// One sentence for the user listing them; empty when there are none.
QString BibsBeyondClassCountMessage(const std::vector<int16_t>& bibs);

// Bibs that more than one competitor carries, in order of their first appearance.
std::vector<int16_t> RepeatedBibs(const Competition& c);
// One sentence for the user listing them; empty when there are none.
QString RepeatedBibsMessage(const std::vector<int16_t>& bibs, const QString& fileName);

}  // namespace zalvik::store
