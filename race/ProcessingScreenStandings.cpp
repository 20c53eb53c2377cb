// The class standings as the processing screen shows them: one grid per class page. The order
// and the ranks come from the scoring logic; this file only puts them into the grids.

#include <QString>
#include <algorithm>

#include "app/Screens.h"
#include "race/Formatting.h"
#include "race/ProcessingScreen.h"
#include "race/Scoring.h"
#include "ui/Grid.h"

namespace zalvik {

namespace {

constexpr int kStandingsColumns = 5;
const char* const kStandingsHeaders[kStandingsColumns] = {"順位", " ZNo", " 氏　　名",
                                                          " 　所　　属", " ﾚｰｽﾎﾟｲﾝﾄ"};
constexpr int kStandingsWidths[kStandingsColumns] = {450, 450, 1100, 2000, 1000};
constexpr int kStandingsRowHeight = 210;

int ShownClasses(const Competition& d) { return std::clamp<int>(d.classCount, 0, kMaxClasses); }

}  // namespace

void ProcessingScreen::RebuildStandings() {
    BuildStandings(program_.data());
    showStandings();
}

void ProcessingScreen::SetUpStandingsGrids() {
    const Competition& d = program_.data();
    for (int k = 1; k <= ShownClasses(d); ++k) {
        ui::Grid* g = グリッド順位_[k - 1];
        g->setCols(kStandingsColumns);
        g->setRows(d.classMemberCount[k] + 1);
        // A registration rebuilds every class; widths and heights that are already right are
        // left alone, since each change makes the grid lay out all its rows again.
        for (int c = 0; c < kStandingsColumns; ++c)
            if (g->colWidth(c) != kStandingsWidths[c]) g->setColWidth(c, kStandingsWidths[c]);
        if (g->rowHeightTwips(0) != kStandingsRowHeight ||
            g->rowHeightTwips(g->rows() - 1) != kStandingsRowHeight)
            g->setRowHeight(-1, kStandingsRowHeight);
        if (g->fixedCols() != 0) g->setFixedCols(0);
        for (int c = 0; c < kStandingsColumns; ++c)
            g->setText(0, c, QString::fromUtf8(kStandingsHeaders[c]));
    }
}

void ProcessingScreen::showStandings() {
    SetUpStandingsGrids();
    Competition& d = program_.data();
    const int classes = ShownClasses(d);
    const SlotsByBib slotOfBib(d);
    for (int k = 1; k <= classes; ++k) {
        ui::Grid* g = グリッド順位_[k - 1];
        // Every row gets its final text in one write: an entry without race points is an empty
        // row. Writing each cell once, rather than emptying the rows and filling them again,
        // leaves the cells that did not change untouched, and most do not between two
        // registrations.
        for (const StandingsRow& row : RankClass(d, k, slotOfBib)) {
            const int n = row.position;
            if (row.shown) {
                const Competitor& who = d.competitors[row.slot];
                g->setText(n, 0, QString::number(row.rank));
                g->setText(n, 1, QString::number(row.bib));
                g->setText(n, 2, who.name);
                g->setText(n, 3, who.affiliation);
                g->setText(n, 4, FormatHundredths(row.racePoints));
            } else {
                for (int c = 0; c < kStandingsColumns; ++c) g->setText(n, c, QString());
            }
        }
    }
    // The received times say which of them are registered now.
    ShowTimingList();
}

}  // namespace zalvik
