#include "race/ResultEntry.h"

#include <algorithm>
#include <cmath>

#include "app/Numbers.h"

namespace zalvik {

float EnteredRunTime(const QString& minutes, const QString& seconds) {
    // Worked out in double and only then narrowed, so that 1 min 15.3 s is the float nearest
    // to 75.3 and reads back as "75.3".
    return static_cast<float>(LeadingValue(minutes) * 60.0 + LeadingValue(seconds));
}

MinutesAndSeconds SplitRunTime(float runTime) {
    if (runTime < 60) return {QString(), SingleText(runTime)};
    // In single precision throughout, like the stored value: 75.3f - 60 is 15.3000031, whose
    // seven-digit text is "15.3".
    const float minutes = std::floor(runTime / 60.0f);
    return {SingleText(minutes), SingleText(runTime - minutes * 60.0f)};
}

float ChosenBuoyTotal(const Competition& c) {
    const int gates = std::clamp<int>(c.gateCount, 0, kMaxGates);
    float total = 0;
    for (int g = 0; g < gates; ++g) {
        const int choice = c.gateBuoyChoice[g];
        // No choice (-1) reads entry 0 of the score table, which is never loaded and holds 0.
        if (choice >= -1 && choice < kBuoyKinds) total += c.buoyScore[choice + 1];
    }
    return total;
}

QString BuoyTotalText(float total) {
    const QString text = SingleText(total);
    return text.startsWith(QLatin1Char('-')) ? text : QLatin1Char(' ') + text;
}

std::vector<int> RecoveredGateChoices(const std::vector<QString>& gatePoints,
                                      const Competition& c) {
    std::vector<int> choices(gatePoints.size(), -1);
    for (size_t g = 0; g < gatePoints.size(); ++g) {
        const double points = LeadingValue(gatePoints[g]);
        if (points == 0) break;
        for (int k = 1; k <= kBuoyKinds; ++k) {
            if (c.buoyScore[k] == points) {
                choices[g] = k - 1;
                break;
            }
        }
    }
    return choices;
}

}  // namespace zalvik
