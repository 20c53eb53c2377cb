#include "store/SettingsWriter.h"

#include <algorithm>

#include "setup/GateCount.h"
#include "sheet/Workbook.h"
#include "store/InputSheet.h"

namespace zalvik::store {
namespace {

SettingsCell Text(int row, int col, const QString& text) {
    return {row, col, SettingsCell::Kind::Text, text, 0, {}};
}

SettingsCell Integer(int row, int col, int v) {
    return {row, col, SettingsCell::Kind::Integer, {}, v, {}};
}

}  // namespace

std::vector<SettingsCell> SettingsBlockCells(const Competition& c, const QString& gateCountText,
                                             const QDate& eventDate) {
    std::vector<SettingsCell> cells;
    for (int k = 1; k <= kBuoyKinds; ++k) {
        cells.push_back(Text(k + 1, kColBuoyName, c.buoyName[k]));
        cells.push_back(Integer(k + 1, kColBuoyScore, c.buoyScore[k]));
    }

    cells.push_back(Text(2, kColGateCount, gateCountText));
    // The per-gate counts follow the text just written, so that the next load reads as many
    // counts as the sheet's gate count says.
    const GateCountValue gates = ParseGateCount(gateCountText);
    const int n = gates.kind == GateCountValue::Kind::Count ? gates.gates : 0;
    for (int g = 1; g <= n; ++g) cells.push_back(Integer(g + 1, kColGateBuoys, c.gateBuoyCount[g]));

    cells.push_back(Text(1, kColEvent, c.eventName));
    cells.push_back(Text(2, kColEvent, c.eventVenue));
    cells.push_back({3, kColEvent, SettingsCell::Kind::Date, {}, 0, eventDate});

    cells.push_back(Integer(2, kColClassCount, c.classCount));
    const int classes = std::clamp<int>(c.classCount, 0, kMaxClasses);
    for (int k = 1; k <= classes; ++k) cells.push_back(Text(k + 1, kColClassName, c.className[k]));
    return cells;
}

void WriteCells(sheet::Worksheet& ws, const std::vector<SettingsCell>& cells) {
    for (const SettingsCell& cell : cells) {
        switch (cell.kind) {
            case SettingsCell::Kind::Text:
                ws.setText(cell.row, cell.col, cell.text.toStdString());
                break;
            case SettingsCell::Kind::Integer:
                ws.setInteger(cell.row, cell.col, cell.integer);
                break;
            case SettingsCell::Kind::Date:
                ws.setDate(cell.row, cell.col,
                           sheet::Date{cell.date.year(), cell.date.month(), cell.date.day()});
                break;
        }
    }
}

}  // namespace zalvik::store
