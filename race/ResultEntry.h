#pragma once
// The arithmetic of result entry, apart from the widgets that show it: the run time typed as
// minutes and seconds and split back for display, the buoy total of the gates chosen, the
// gate choices recovered from the gate points the results grid shows, and the search of a
// competitor by the typed bib. The processing screen's entry handlers use these.

#include <QString>
#include <vector>

#include "app/Competition.h"

namespace zalvik {

// The run time an OK registration takes from the 分 and 秒 boxes (minutes x 60 + seconds,
// held as a single-precision value), checked: each box must be
// empty or read completely as a number that is not negative (full-width digits count as
// digits), and the time must be above 0. With 分 empty, 秒 may hold the time as a timer shows
// it, "m:ss.xx" (seconds below 60). Nothing is guessed from a text that only starts with a
// number: "1:05.20" in 秒 beside a filled 分 is refused, not read as 1. Beside minutes other
// than 0, seconds must stay below 60: "1" and "75.3" is a total typed into a recalled run, not
// 135.3 s. With 分 empty or 0, 秒 may hold the whole time in seconds.
struct CheckedRunTime {
    enum class Fault { None, NoTime, MinutesUnreadable, SecondsUnreadable, SecondsNotBelow60 };
    Fault fault = Fault::None;
    float seconds = 0;
    // The one sentence the official is shown for a fault; empty for None.
    QString message() const;
};
CheckedRunTime CheckRunTime(const QString& minutes, const QString& seconds);

// A stored run time as the 分 and 秒 boxes show it again: whole minutes and the seconds left
// over from 60 s on, only seconds below that (分 stays empty). 75.3 gives "1" and "15.3". The
// remainder is worked out on the decimal the time was entered as, so 62.35 gives "2.35", not
// the float remainder 2.349998.
struct MinutesAndSeconds {
    QString minutes;
    QString seconds;
};
MinutesAndSeconds SplitRunTime(float runTime);

// The first gate (1..gateCount) that has no buoy among `choices` (buoy option 0..4 per gate,
// -1 for none); 0 when every gate has one.
int FirstGateWithoutBuoy(const Competition& c, const std::array<int16_t, kMaxGates>& choices);

// The score of buoy option `choice` (0..4); no choice (-1) scores 0.
int GateScore(const Competition& c, int choice);

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
