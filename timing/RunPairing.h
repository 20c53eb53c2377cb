#pragma once
// From impulses to run times: a finish impulse of a bib is paired with the latest start of that
// bib that arrived before it (a run across midnight works), and the run time is finish − start
// cut (never rounded) to hundredths. A run time the device sends itself is taken as it is. A
// start is used once; an impulse the device sends again (a time from its memory) is not taken
// twice. A cleared start is forgotten; a cleared finish or run time clears the bib's run.

#include <set>
#include <tuple>
#include <vector>

#include "timing/Protocols.h"

namespace zalvik::timing {

class RunPairing {
  public:
    struct Result {
        enum class What {
            Nothing,   // no run completed or cleared
            Run,       // a run of `bib` with `hundredths`
            Unpaired,  // a finish without a bib (or without a start): it waits for a bib
            Clear      // the run of `bib` is cleared
        };
        What what = What::Nothing;
        int bib = 0;
        int hundredths = -1;
        bool fromDevice = false;  // the device sent the run time itself
        // Unpaired: the finish, to be paired once the official gives the bib.
        long long finishTimeOfDay = -1;
        int finishDay = -1;
        long long order = 0;
    };
    // Feeds one reading; says whether it completed a run, left a finish waiting, or cleared one.
    Result add(const Reading& reading);
    // The run time of a waiting finish once its bib is known: the latest start of `bib` that
    // arrived before it (that start is then used). -1 when there is none.
    int pairLater(int bib, long long finishTimeOfDay, int finishDay, long long order);
    void clear();

  private:
    struct Start {
        int bib = 0;
        long long timeOfDay = -1;
        int day = -1;
        long long order = 0;
    };
    int takeStart(int bib, long long finishTimeOfDay, int finishDay, long long order);

    std::vector<Start> starts_;
    std::set<std::tuple<int, int, long long, int>> seen_;  // bib, channel, time, day
    long long order_ = 0;
};

// Net time in hundredths from two times of day in 1/10,000 s, across midnight when the finish
// reads earlier than the start (or when the days say so). Cut, never rounded. -1 when the days
// put the finish before the start.
int RunHundredths(long long startTimeOfDay, int startDay, long long finishTimeOfDay, int finishDay);

}  // namespace zalvik::timing
