#include "timing/RunPairing.h"

#include <algorithm>
#include <limits>

namespace zalvik::timing {

namespace {
constexpr long long kTicksPerDay = 24LL * 3600 * 10000;
// A start that arrives after its finish belongs to it when it lies at most this long before
// it: half a day, so that the start of a later run of the same bib never does.
constexpr int kLateStartWindow = 12 * 3600 * 100;
}  // namespace

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
    const long long hundredths = ticks / 100;
    if (hundredths > std::numeric_limits<int>::max()) return -1;
    return static_cast<int>(hundredths);
}

const RunPairing::Start* RunPairing::findStart(int bib, long long finishTimeOfDay, int finishDay,
                                               long long order) const {
    // The latest start of the bib that arrived before the finish; with days known, also one
    // that is not later than the finish.
    const auto at = starts_.find(bib);
    if (at == starts_.end()) return nullptr;
    const Start* best = nullptr;
    for (const Start& s : at->second) {
        if (s.order > order) continue;
        if (RunHundredths(s.timeOfDay, s.day, finishTimeOfDay, finishDay) < 0) continue;
        if (!best || s.order > best->order) best = &s;
    }
    return best;
}

bool RunPairing::hasStartFor(int bib, long long finishTimeOfDay, int finishDay,
                             long long order) const {
    return findStart(bib, finishTimeOfDay, finishDay, order) != nullptr;
}

RunPairing::Result RunPairing::pairLater(int bib, long long finishTimeOfDay, int finishDay,
                                         long long order) {
    Result result;
    result.bib = bib;
    const Start* found = findStart(bib, finishTimeOfDay, finishDay, order);
    if (!found) return result;
    result.what = Result::What::Run;
    result.start = *found;
    result.hundredths = RunHundredths(found->timeOfDay, found->day, finishTimeOfDay, finishDay);
    // The start is used, and so are the bib's earlier ones (a restart without a clear).
    const long long used = found->order;
    std::erase_if(starts_[bib], [&](const Start& s) { return s.order <= used; });
    return result;
}

RunPairing::Result RunPairing::late(const Start& start) {
    Result result;
    auto at = waiting_.find(start.bib);
    if (at == waiting_.end()) return result;
    // The nearest finish after the start.
    auto best = at->second.end();
    int bestRun = -1;
    for (auto it = at->second.begin(); it != at->second.end(); ++it) {
        const int run = RunHundredths(start.timeOfDay, start.day, it->timeOfDay, it->day);
        if (run < 0 || run > kLateStartWindow) continue;
        if (bestRun < 0 || run < bestRun) {
            best = it;
            bestRun = run;
        }
    }
    if (best == at->second.end()) return result;
    result.what = Result::What::Late;
    result.bib = start.bib;
    result.hundredths = bestRun;
    result.finishTimeOfDay = best->timeOfDay;
    result.finishDay = best->day;
    result.order = best->order;
    result.start = start;
    at->second.erase(best);
    return result;
}

RunPairing::Result RunPairing::giveBack(const Start& start) {
    if (start.bib == 0) return {};
    Result result = late(start);
    if (result.what == Result::What::Nothing) starts_[start.bib].push_back(start);
    return result;
}

void RunPairing::stopWaiting(int bib, long long order) {
    const auto at = waiting_.find(bib);
    if (at != waiting_.end())
        std::erase_if(at->second, [&](const Start& f) { return f.order == order; });
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
                if (const auto at = starts_.find(reading.bib); at != starts_.end())
                    std::erase_if(at->second, [&](const Start& s) {
                        return reading.timeOfDay < 0 || s.timeOfDay == reading.timeOfDay;
                    });
                return result;
            }
            result.what = Result::What::Clear;
            result.bib = reading.bib;
            result.finishTimeOfDay = reading.timeOfDay;
            return result;
        case Reading::Kind::Impulse:
            break;
    }
    const auto key = std::make_tuple(reading.bib, static_cast<int>(reading.channel),
                                     reading.timeOfDay, reading.day);
    if (!seen_.insert(key).second) return result;  // sent again from the device's memory
    const Start impulse{reading.bib, reading.timeOfDay, reading.day, result.order};
    if (reading.channel == Reading::Channel::Start) {
        // A start without a bib can never be paired: no bib is ever given to a start.
        if (reading.bib == 0) return result;
        if (!previousFormat_) {
            result = late(impulse);
            if (result.what != Result::What::Nothing) return result;
        }
        starts_[reading.bib].push_back(impulse);
        return result;
    }
    if (reading.channel != Reading::Channel::Finish) return result;
    result.bib = reading.bib;
    if (reading.bib != 0) {
        const Result run = pairLater(reading.bib, reading.timeOfDay, reading.day, result.order);
        if (run.what == Result::What::Run) {
            result.what = Result::What::Run;
            result.hundredths = run.hundredths;
            result.start = run.start;
            result.finishTimeOfDay = reading.timeOfDay;
            result.finishDay = reading.day;
            return result;
        }
        if (previousFormat_) return result;  // then a finish without a start gave no run
        waiting_[reading.bib].push_back(impulse);
    }
    result.what = Result::What::Unpaired;
    result.finishTimeOfDay = reading.timeOfDay;
    result.finishDay = reading.day;
    return result;
}

void RunPairing::clear() {
    starts_.clear();
    waiting_.clear();
    seen_.clear();
    order_ = 0;
    previousFormat_ = false;
}

}  // namespace zalvik::timing
