#pragma once
// The filled-in example of the input sheet: the data-load screen shows it as the documented
// input format, and tools/make_example writes it into examples/example.xlsx, so both always
// agree.

#include <QString>
#include <vector>

namespace zalvik::example {

struct Cell {
    enum class Kind { Text, Number, Date };
    int row = 0;  // 1-based, as in the worksheet
    int col = 0;
    Kind kind = Kind::Text;
    QString text;                      // Text
    double number = 0;                 // Number
    int year = 0, month = 0, day = 0;  // Date
    QString numberFormat;              // empty: leave the cell's format alone
};

// Every non-empty cell of the example input sheet, row by row.
const std::vector<Cell>& InputSheetCells();

// The example as a table of display texts, rows 1..rowCount() and columns 1..columnCount(),
// for the read-only view on the data-load screen.
int RowCount();
int ColumnCount();
QString DisplayText(int row, int col);

}  // namespace zalvik::example
