#include "timing/RunPairing.h"

#include <algorithm>

namespace zalvik::timing {

namespace {
constexpr long long kTicksPerDay = 24LL * 3600 * 10000;
}

int RunHundredths(long long startTimeOfDay, int startDay, long long finishTimeOfDay,
                  int finishDay) {
    long long ticks = finishTimeOfDay - startTimeOfDay;
    if (startDay >= 0 && finishDay >= 0) {
        ticks += (finishDay - startDay) * kTicksPerDay;
        if (ticks < 0) return -1;
    } else if (ticks < 0) {
        ticks += kTicksPerDay;  // the run went past midnight
    }
    // Ski timing cuts the thousandths: 1:01.529 is 1:01.52.
    return static_cast<int>(ticks / 100);
}

int RunPairing::takeStart(int bib, long long finishTimeOfDay, int finishDay, long long order) {
    // The latest start of the bib that arrived before the finish; with days known, also one
    // that is not later than the finish.
    auto best = starts_.end();
    for (auto it = starts_.begin(); it != starts_.end(); ++it) {
        if (it->bib != bib || it->order > order) continue;
        if (RunHundredths(it->timeOfDay, it->day, finishTimeOfDay, finishDay) < 0) continue;
        if (best == starts_.end() || it->order > best->order) best = it;
    }
    if (best == starts_.end()) return -1;
    const int run = RunHundredths(best->timeOfDay, best->day, finishTimeOfDay, finishDay);
    // The start is used, and so are the bib's earlier ones (a restart without a clear).
    const long long used = best->order;
    std::erase_if(starts_, [&](const Start& s) { return s.bib == bib && s.order <= used; });
    return run;
}

RunPairing::Result RunPairing::add(const Reading& reading) {
    Result result;
    result.order = ++order_;
    switch (reading.kind) {
        case Reading::Kind::Ignored:
        case Reading::Kind::Unreadable:
            return result;
        case Reading::Kind::RunTime:
            result.what = Result::What::Run;
            result.bib = reading.bib;
            result.hundredths = reading.hundredths;
            result.fromDevice = true;
            return result;
        case Reading::Kind::Cleared:
            if (reading.channel == Reading::Channel::Start) {
                std::erase_if(starts_, [&](const Start& s) {
                    return s.bib == reading.bib &&
                           (reading.timeOfDay < 0 || s.timeOfDay == reading.timeOfDay);
                });
                return result;
            }
            result.what = Result::What::Clear;
            result.bib = reading.bib;
            return result;
        case Reading::Kind::Impulse:
            break;
    }
    const auto key = std::make_tuple(reading.bib, static_cast<int>(reading.channel),
                                     reading.timeOfDay, reading.day);
    if (!seen_.insert(key).second) return result;  // sent again from the device's memory
    if (reading.channel == Reading::Channel::Start) {
        starts_.push_back({reading.bib, reading.timeOfDay, reading.day, result.order});
        return result;
    }
    if (reading.channel != Reading::Channel::Finish) return result;
    result.bib = reading.bib;
    const int run = reading.bib == 0
                        ? -1
                        : takeStart(reading.bib, reading.timeOfDay, reading.day, result.order);
    if (run >= 0) {
        result.what = Result::What::Run;
        result.hundredths = run;
        return result;
    }
    if (reading.bib != 0) return result;  // a finish of a bib that never started: no run
    result.what = Result::What::Unpaired;
    result.finishTimeOfDay = reading.timeOfDay;
    result.finishDay = reading.day;
    return result;
}

int RunPairing::pairLater(int bib, long long finishTimeOfDay, int finishDay, long long order) {
    return takeStart(bib, finishTimeOfDay, finishDay, order);
}

void RunPairing::clear() {
    starts_.clear();
    seen_.clear();
    order_ = 0;
}

}  // namespace zalvik::timing
