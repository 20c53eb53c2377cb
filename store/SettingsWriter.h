#pragma once
// Writing the competition settings back into the settings block of the input sheet (columns
// 21..28), as the settings screen's set action does. The cells are produced as an ordered list
// first and then written one by one, so the order and the value types can be checked without a
// workbook, and a file written by the program always gets them the same way: names as text,
// counts and scores as numbers, the competition date as a date.

#include <QDate>
#include <QString>
#include <vector>

#include "app/Competition.h"

namespace sheet {
class Worksheet;
}

namespace zalvik::store {

// One cell of the settings block with its value as the sheet is to hold it.
struct SettingsCell {
    enum class Kind { Text, Integer, Date };
    int row = 0;
    int col = 0;
    Kind kind = Kind::Text;
    QString text;     // Text
    int integer = 0;  // Integer
    QDate date;       // Date

    bool operator==(const SettingsCell&) const = default;
};

// The cells the set action writes, in this order: name and score of buoys 1..5; the gate count
// text unchanged; the buoys of gates 1..n, n being the number of gates that text stands for;
// competition name, venue and date; the class count; the names of classes 1..classCount.
// Nothing below the counts is touched: entries left from a larger count stay in the sheet and
// later loads ignore them. A gate count text that would make more than twelve gates (which the
// caller refuses before writing) writes no per-gate counts.
std::vector<SettingsCell> SettingsBlockCells(const Competition& c, const QString& gateCountText,
                                             const QDate& eventDate);

// Writes the cells one call each, in the order given.
void WriteCells(sheet::Worksheet& ws, const std::vector<SettingsCell>& cells);

}  // namespace zalvik::store
