#pragma once
// From impulses to run times: a finish impulse of a bib is paired with the latest start of that
// bib before it (a run across midnight works), and the run time is finish − start cut (never
// rounded) to hundredths. A run time the device sends itself is taken as it is. A cleared reading
// clears the bib's last run that is not registered yet.

#include <optional>
#include <vector>

#include "timing/Protocols.h"

namespace zalvik::timing {

class RunPairing {
  public:
    struct Result {
        enum class What { Nothing, Run, Clear };
        What what = What::Nothing;
        int bib = 0;
        int hundredths = -1;
    };
    // Feeds one reading; says whether it completed a run or cleared one.
    Result add(const Reading& reading);
    void clear();

  private:
    struct Start {
        int bib = 0;
        long long timeOfDay = -1;
        int day = -1;
        long long order = 0;
    };
    std::vector<Start> starts_;
    long long order_ = 0;
};

// Net time in hundredths from two times of day in 1/10,000 s, across midnight when the finish
// reads earlier than the start (or when the days say so). Cut, never rounded.
int RunHundredths(long long startTimeOfDay, int startDay, long long finishTimeOfDay, int finishDay);

}  // namespace zalvik::timing
