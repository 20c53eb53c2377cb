#pragma once
// Race points and the class standings. Pure logic over the competition data: the processing
// screen's standings grids and the official results sheet only display what these functions
// produce, so both show the same order and the same ranks.

#include <cstdint>
#include <vector>

#include "app/Competition.h"

namespace zalvik {

// The key that stands for "no race points yet", so that such entries sort after all others.
constexpr float kNoResultKey = 888888.0f;

// Race points of a run: run time / buoy points x 100, rounded half up to hundredths, worked
// out exactly on the decimals the time and the total were entered as (the shortest decimal of
// each float) and stored as a float (61.5 s and 20 buoy points give 307.5; 70.02 s and 16
// give 437.63).
// Callers never pass zero buoy points; if it happens the run counts as having no result (0)
// rather than producing an infinite value.
float RacePoints(float runTime, float buoyPoints);

// floor(v x 100 + 0.5) / 100: half-up rounding to hundredths (12.125 -> 12.13).
float RoundToHundredths(double v);

// Rebuilds the standings list of every class 1..classCount from the competitor table:
// classMemberCount, classMemberBib and classMemberPoints, sorted by ascending key (race
// points, or kNoResultKey when they are 0). Only competitors with no status are listed. The
// order among equal keys is left to OrderTiesByBib, which must run afterwards.
void BuildStandingsLists(Competition& c);

// Within each class list, reorders every run of equal keys by descending bib.
void OrderTiesByBib(Competition& c);

// Both of the above, in order: the complete standings rebuild.
void BuildStandings(Competition& c);

struct StandingsRow {
    int position = 0;  // 1-based position in the class list
    int rank = 0;      // shared by equal race points: 1, 2, 2, 4
    int slot = 0;      // competitor slot, 0 when no competitor carries the listed bib
    int16_t bib = 0;
    float racePoints = 0;
    bool shown = false;  // false for an entry without race points, which is shown as an empty row
};

// The first slot 1..competitorCount of every bib, as SlotOfBib finds it, looked up in constant
// time. Ranking looks up every listed bib; a scan over all competitors for each would make a
// rebuild quadratic in their number. Built once per rebuild; it does not follow later changes
// of bibs.
class SlotsByBib {
  public:
    explicit SlotsByBib(const Competition& c);
    int operator()(int16_t bib) const { return slots_[static_cast<uint16_t>(bib)]; }

  private:
    std::vector<int16_t> slots_;  // indexed by the bib's 16 bits, 0 when no slot carries it
};

// The rows of class k's standings in list order, with their ranks. Also rewrites
// rankPointsText for positions 1..count, as the rank comparison uses it. Empty for a class
// number outside 1..9. The second form takes an index built for the same competition, so that
// ranking every class builds it once.
std::vector<StandingsRow> RankClass(Competition& c, int k);
std::vector<StandingsRow> RankClass(Competition& c, int k, const SlotsByBib& slotOfBib);

}  // namespace zalvik
