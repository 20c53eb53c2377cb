#include "race/ResultWriter.h"

#include <algorithm>

#include "app/Numbers.h"
#include "sheet/Workbook.h"
#include "store/InputSheet.h"

namespace zalvik {

using namespace store;

int FindResultRow(const sheet::Worksheet& ws, int competitorCount, double typedBib) {
    const int count = std::clamp(competitorCount, 0, kMaxCompetitors);
    for (int r = kFirstCompetitorRow; r <= count + 1; ++r)
        if (LeadingValue(CellText(ws.value(r, kColBib))) == typedBib) return r;
    return 0;
}

void WriteResultCells(sheet::Worksheet& ws, int row, const Competitor& who,
                      const std::vector<QString>& gatePoints) {
    ws.setNumberFormat(row, kColRunTime, "0.00");
    ws.setNumber(row, kColRunTime, ShortestDecimal(who.runTime));
    ws.setNumber(row, kColBuoyPoints, ShortestDecimal(who.buoyPoints));
    ws.setNumberFormat(row, kColRacePoints, "0.00");
    ws.setNumber(row, kColRacePoints, ShortestDecimal(who.racePoints));
    ws.setInteger(row, kColStatus, who.status);
    for (size_t g = 0; g < gatePoints.size(); ++g) {
        const int col = kColFirstGate + static_cast<int>(g);
        const QString& points = gatePoints[g];
        // A gate the grid shows empty (a status registered for a competitor without a run)
        // leaves an empty cell empty: an empty text would make other programs see a text cell
        // where nothing is. A cell that holds something is emptied as the grid says.
        if (points.isEmpty() && ws.value(row, col).isEmpty()) continue;
        const QByteArray utf8 = points.toUtf8();
        ws.setText(row, col, std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    }
}

}  // namespace zalvik
