#include "race/Scoring.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "app/Numbers.h"

namespace zalvik {

namespace {

// Class numbers usable as list indexes: classMemberBib has rows for classes 0..9 only.
int usableClassCount(const Competition& c) { return std::clamp<int>(c.classCount, 0, kMaxClasses); }

}  // namespace

float RacePoints(float runTime, float buoyPoints) {
    if (buoyPoints == 0) return 0;
    // The official works the points out from the time and the total as typed and shown:
    // 70.02 s and 16 buoy points are 437.625, which rounds up to 437.63. The stored float of
    // 70.02 is 70.0199966..., whose quotient would round down; so the arithmetic is done on
    // the decimals, exactly, in whole numbers: hundredths of points = t x 10000 / b.
    const Decimal t = DecimalOf(runTime);
    const Decimal b = DecimalOf(buoyPoints);
    const int e = 4 - t.scale + b.scale;
    // Within these bounds the products fit in 128 bits (digits have at most nine figures).
    if (e >= -27 && e <= 27) {
        __int128 num = t.digits;
        __int128 den = b.digits;
        for (int i = 0; i < e; ++i) num *= 10;
        for (int i = 0; i < -e; ++i) den *= 10;
        if (den < 0) {
            num = -num;
            den = -den;
        }
        // floor(num / den + 1/2) = floor((2 num + den) / (2 den)), with a floor division.
        const __int128 n = 2 * num + den;
        const __int128 d = 2 * den;
        __int128 q = n / d;
        if (n % d != 0 && n < 0) --q;
        return static_cast<float>(static_cast<double>(q) / 100.0);
    }
    // Values no typed time or total comes near: the same rule in double precision.
    const double td = runTime;
    const double bd = buoyPoints;
    return static_cast<float>(std::floor(td * 10000.0 / bd + 0.5) / 100.0);
}

float RoundToHundredths(double v) {
    return static_cast<float>(std::floor(v * 100.0 + 0.5) / 100.0);
}

void BuildStandingsLists(Competition& c) {
    const int classes = usableClassCount(c);
    for (int k = 1; k <= classes; ++k) c.classMemberCount[k] = 0;

    // Every slot up to 999 is walked, not just 1..competitorCount. Slots past the count hold
    // no class: they are empty from start-up, and the reset before a reload zeroes the class
    // of every slot the previous competition used, so they never match a class 1..N.
    // Slot 1000 is never filled by a load and is left out.
    for (int i = 1; i <= kMaxCompetitors; ++i) {
        const Competitor& who = c.competitors[i];
        if (who.status != 0) continue;  // DS, DF and DQ leave the standings
        for (int k = 1; k <= classes; ++k) {
            if (!who.classNo.equals(k)) continue;
            const int n = ++c.classMemberCount[k];
            c.classMemberBib[k][n] = who.bib;
            c.classMemberPoints[k][n] = who.racePoints == 0 ? kNoResultKey : who.racePoints;
            break;
        }
    }

    // Selection sort, taking the earliest of equal smallest keys; the order among equal keys
    // is settled by OrderTiesByBib.
    for (int k = 1; k <= classes; ++k) {
        const int count = c.classMemberCount[k];
        auto& bibs = c.classMemberBib[k];
        auto& keys = c.classMemberPoints[k];
        for (int j = 1; j < count; ++j) {
            int smallest = j;
            for (int m = j + 1; m <= count; ++m) {
                if (keys[m] < keys[smallest]) smallest = m;
            }
            if (smallest != j) {
                std::swap(keys[j], keys[smallest]);
                std::swap(bibs[j], bibs[smallest]);
            }
        }
    }
}

void OrderTiesByBib(Competition& c) {
    const int classes = usableClassCount(c);
    for (int k = 1; k <= classes; ++k) {
        const int count = c.classMemberCount[k];
        auto& bibs = c.classMemberBib[k];
        const auto& keys = c.classMemberPoints[k];
        int runStart = 1;
        while (runStart <= count) {
            int runEnd = runStart;  // inclusive
            while (runEnd + 1 <= count && keys[runEnd + 1] == keys[runStart]) ++runEnd;
            // The keys of a run are equal, so only the bibs need to change places.
            if (runEnd > runStart) {
                std::sort(bibs.begin() + runStart, bibs.begin() + runEnd + 1,
                          std::greater<int16_t>());
            }
            runStart = runEnd + 1;
        }
    }
}

void BuildStandings(Competition& c) {
    BuildStandingsLists(c);
    OrderTiesByBib(c);
}

SlotsByBib::SlotsByBib(const Competition& c) : slots_(1 << 16, 0) {
    const int count = std::clamp<int>(c.competitorCount, 0, kMaxCompetitors);
    // Walked backwards so that the first of competitors sharing a bib is the one kept.
    for (int i = count; i >= 1; --i)
        slots_[static_cast<uint16_t>(c.competitors[i].bib)] = static_cast<int16_t>(i);
}

std::vector<StandingsRow> RankClass(Competition& c, int k) {
    return RankClass(c, k, SlotsByBib(c));
}

std::vector<StandingsRow> RankClass(Competition& c, int k, const SlotsByBib& slotOfBib) {
    std::vector<StandingsRow> rows;
    if (k < 1 || k > kMaxClasses) return rows;
    const int count = std::clamp<int>(c.classMemberCount[k], 0, kMaxSlots);
    rows.reserve(count);

    for (int n = 1; n <= count; ++n) {
        StandingsRow row;
        row.position = n;
        row.bib = c.classMemberBib[k][n];
        // The first slot with this bib: when two competitors share a bib, both list entries
        // show the first of them.
        row.slot = slotOfBib(row.bib);
        // A listed bib always belongs to some slot as the lists are built; should none carry
        // it, the entry is treated as one without a result (slot 0 is never used and is empty).
        row.racePoints = row.slot != 0 ? c.competitors[row.slot].racePoints : 0.0f;
        row.shown = row.racePoints != 0;

        // Ties are detected on the seven-digit text, not on the exact values.
        c.rankPointsText[n] = SingleText(row.racePoints);
        if (n == 1 || c.rankPointsText[n] != c.rankPointsText[n - 1])
            row.rank = n;
        else
            row.rank = rows.back().rank;
        rows.push_back(row);
    }
    return rows;
}

}  // namespace zalvik
