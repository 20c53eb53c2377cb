#pragma once
// The arithmetic of result entry, apart from the widgets that show it: the run time typed as
// minutes and seconds and split back for display, the buoy total of the gates chosen, the
// gate choices recovered from the gate points the results grid shows, and the search of a
// competitor by the typed bib. The processing screen's entry handlers use these.

#include <QString>
#include <vector>

#include "app/Competition.h"

namespace zalvik {

// The run time in seconds from the 分 and 秒 boxes: each read as the number it starts with
// (an empty box is 0), minutes x 60 + seconds, held as a single-precision value.
float EnteredRunTime(const QString& minutes, const QString& seconds);

// A stored run time as the 分 and 秒 boxes show it again: whole minutes and the seconds left
// over from 60 s on, only seconds below that (分 stays empty). 75.3 gives "1" and "15.3".
struct MinutesAndSeconds {
    QString minutes;
    QString seconds;
};
MinutesAndSeconds SplitRunTime(float runTime);

// The buoy total of the gates 1..gateCount as chosen in gateBuoyChoice: the score of the buoy
// chosen at each gate, a gate without a choice adding nothing.
float ChosenBuoyTotal(const Competition& c);

// How 合計 shows a buoy total: a blank before a number that is not negative (" 12", " 0"),
// the minus sign in its place otherwise ("-3").
QString BuoyTotalText(float total);

// The buoy option index (0..4) chosen at each gate, recovered from the gate points of a
// results grid row (one text per gate, gates 1..n in order): the first buoy whose score equals
// the points. -1 where no buoy has that score. A gate with 0 points (or an empty cell) ends the
// recovery: it and every later gate are left at -1, whatever their cells hold.
std::vector<int> RecoveredGateChoices(const std::vector<QString>& gatePoints, const Competition& c);

}  // namespace zalvik
