#pragma once
// Writes a registered result into the competitor's row of the input sheet (worksheet 1), cell
// by cell in the order of the workbook layout. The row is found by the bib as the sheet holds
// it, not through the competitor table, so a sheet whose bib cells no longer agree with the
// table is written where the sheet says.

#include <QString>
#include <vector>

#include "app/Competition.h"

namespace sheet {
class Worksheet;
}

namespace zalvik {

// The sheet row (2..competitorCount + 1) of the first competitor row whose bib cell, read as
// the number it starts with, equals the typed bib; 0 when no row does.
int FindResultRow(const sheet::Worksheet& ws, int competitorCount, double typedBib);

// Writes row `row`: run time (format "0.00"), buoy points, race points (format "0.00"),
// status as a whole number, then the gate points of gates 1.. as text.
void WriteResultCells(sheet::Worksheet& ws, int row, const Competitor& who,
                      const std::vector<QString>& gatePoints);

}  // namespace zalvik
