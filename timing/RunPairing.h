#pragma once
// From impulses to run times: a finish impulse of a bib is paired with the latest start of that
// bib that arrived before it (a run across midnight works), and the run time is finish − start
// cut (never rounded) to hundredths. A run time the device sends itself is taken as it is. A
// start is used once; an impulse the device sends again (a time from its memory) is not taken
// twice. A cleared start is forgotten; a cleared finish or run time clears the bib's run.
//
// A finish of a bib whose start never arrived waits for it: a start that arrives later (sent
// again from the device's memory after a pulled cable) and lies before the finish completes
// that run. A start given back (its run was cleared, or its bib taken back) serves the next
// finish as if it had never been used.

#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "timing/Protocols.h"

namespace zalvik::timing {

class RunPairing {
  public:
    struct Start {
        int bib = 0;
        long long timeOfDay = -1;
        int day = -1;
        long long order = 0;  // the reading's place among all readings fed
    };
    struct Result {
        enum class What {
            Nothing,   // no run completed or cleared
            Run,       // a run of `bib` with `hundredths`
            Unpaired,  // a finish without a bib, or without a start: it waits
            Late,      // a start completed the finish that waited as `order`
            Clear      // the run of `bib` (finished at `finishTimeOfDay` when known) is cleared
        };
        What what = What::Nothing;
        int bib = 0;
        int hundredths = -1;
        bool fromDevice = false;  // the device sent the run time itself
        // A finish impulse's run (Run, Unpaired, Late): the finish; Clear: the time of the
        // finish cleared, -1 when not said.
        long long finishTimeOfDay = -1;
        int finishDay = -1;
        long long order = 0;
        Start start;  // Run from impulses, Late: the start it used (bib 0 for none)
    };
    // Feeds one reading; says whether it completed a run, left a finish waiting, or cleared one.
    Result add(const Reading& reading);
    // The run of a finish that arrived without a bib, once the official names the bib: the
    // latest unused start of `bib` that arrived before the finish, which is then used.
    // hundredths -1 (and nothing used) when there is none.
    Result pairLater(int bib, long long finishTimeOfDay, int finishDay, long long order);
    // Whether pairLater would find a start, without using it.
    bool hasStartFor(int bib, long long finishTimeOfDay, int finishDay, long long order) const;
    // A start that served a run no longer standing: it completes a finish of its bib that
    // waits for it (Late), or serves the next finish (Nothing).
    Result giveBack(const Start& start);
    // The finish that waited as `order` no longer waits (it was given a bib or cleared).
    void stopWaiting(int bib, long long order);
    // The reading of a log of the previous format: a finish of a bib without a start is
    // dropped, as it was then, so that the runs are numbered as they were.
    void setPreviousFormat(bool on) { previousFormat_ = on; }
    void clear();

  private:
    const Start* findStart(int bib, long long finishTimeOfDay, int finishDay,
                           long long order) const;
    Result late(const Start& start);

    std::unordered_map<int, std::vector<Start>> starts_;   // unused starts by bib, in order
    std::unordered_map<int, std::vector<Start>> waiting_;  // finishes without a start, by bib
    std::set<std::tuple<int, int, long long, int>> seen_;  // bib, channel, time, day
    long long order_ = 0;
    bool previousFormat_ = false;
};

// Net time in hundredths from two times of day in 1/10,000 s, across midnight when the finish
// reads earlier than the start (or when the days say so). Cut, never rounded. -1 when the days
// put the finish before the start, or so far after it that the time does not fit.
int RunHundredths(long long startTimeOfDay, int startDay, long long finishTimeOfDay, int finishDay);

}  // namespace zalvik::timing
