#include "app/Competition.h"

#include <algorithm>

namespace zalvik {

int UsedGates(const Competition& c) { return std::clamp<int>(c.gateCount, 0, kMaxGates); }

int SlotOfBib(const Competition& c, double bib) {
    const int count = std::clamp<int>(c.competitorCount, 0, kMaxCompetitors);
    for (int i = 1; i <= count; ++i)
        if (c.competitors[i].bib == bib) return i;
    return 0;
}

}  // namespace zalvik
