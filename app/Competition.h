#pragma once
// The competition data: everything the five screens share, held for the whole run.
// Tables are 1-based with fixed bounds, as the workbook layout addresses them: slot i is row i+1
// of the input sheet and row i of the competitor list and results grid. Slot 0 is never used.

#include <QString>
#include <array>
#include <cstdint>

namespace zalvik {

constexpr int kMaxSlots = 1000;  // slots 0..1000; loading fills at most 999
constexpr int kMaxCompetitors = 999;
constexpr int kMaxClasses = 9;
constexpr int kMaxGates = 12;
constexpr int kBuoyKinds = 5;

// The class cell of a competitor, kept exactly as the workbook delivered it.
struct ClassValue {
    enum class Kind { Empty, Number, Text };
    Kind kind = Kind::Empty;
    double number = 0;
    QString text;

    static ClassValue empty() { return {}; }
    static ClassValue ofNumber(double v) { return {Kind::Number, v, {}}; }
    static ClassValue ofText(const QString& t) { return {Kind::Text, 0, t}; }
    // A competitor belongs to class k when the cell's value equals k numerically; an empty
    // cell compares as 0, a text never matches.
    bool equals(int k) const {
        if (kind == Kind::Number) return number == k;
        if (kind == Kind::Empty) return k == 0;
        return false;
    }
};

struct Competitor {
    int16_t bib = 0;
    QString name;
    QString affiliation;
    ClassValue classNo;
    float runTime = 0;
    float buoyPoints = 0;
    float racePoints = 0;
    int16_t status = 0;  // 0 none, 1 DS, 2 DF, 3 DQ
    // The points of the buoy chosen at each gate, as the gate cells of the input sheet hold
    // them (texts); empty for a gate without a result.
    std::array<QString, kMaxGates> gatePoints{};
};

struct Competition {
    // 1. Competitor table.
    std::array<Competitor, kMaxSlots + 1> competitors{};
    int16_t competitorCount = 0;

    // 2. Status words, entries 1..3 set at start-up.
    std::array<QString, 10> statusWord{};

    // 3. Buoy table, entries 1..5 used.
    std::array<QString, 13> buoyName{};
    std::array<int16_t, 13> buoyScore{};

    // 4. Gates.
    int16_t gateCount = 0;
    std::array<int16_t, 13> gateBuoyCount{};
    // The gate count of the last load or set action: the one the processing screen's results
    // grid and gate options follow. Leaving the settings screen without applying restores it.
    int16_t appliedGateCount = 0;

    // 5. Classes.
    int16_t classCount = 0;
    std::array<QString, 10> className{};

    // 6. Competition details.
    QString eventName;
    QString eventVenue;
    QString eventDate;

    // 7. Workbook connection (the workbook object itself is held by the program).
    bool excelStarted = false;
    QString workbookPath;
    int16_t loadAttempted = 0;

    // 8. Entry state of the processing screen.
    int16_t currentGate = 0;
    std::array<int16_t, 12> gateBuoyChoice{};
    float selectedStatus = 0;

    // 9. Ranking and output work areas.
    std::array<int16_t, kMaxSlots + 1> classMemberCount{};
    std::array<std::array<int16_t, kMaxSlots + 1>, 10> classMemberBib{};
    std::array<std::array<float, kMaxSlots + 1>, 11> classMemberPoints{};
    std::array<QString, kMaxSlots + 1> rankPointsText{};
    int16_t sheetRow = 0;
    int16_t outputClass = 0;
    // The output screen's destination: also print the results sheet, not only write it.
    bool printResultsSheet = false;

    // 10. Settings-screen editing state.
    int16_t editRow = 0;
    int16_t editCol = 0;
};

// Whether a run of the competitor is stored: a run time or buoy points. A DS, DF or DQ
// registered before any run stores neither, and such a competitor has no run to show.
inline bool HasRun(const Competitor& who) { return who.runTime != 0 || who.buoyPoints != 0; }
// Whether the competitor has a registered result: a run, or a status (DS, DF, DQ).
inline bool HasRegisteredResult(const Competitor& who) { return who.status != 0 || HasRun(who); }

// The first competitor slot 1..competitorCount whose bib equals `bib`, 0 when none. Everything
// that finds a competitor by bib takes this first one, so a repeated bib always means the same
// competitor.
int SlotOfBib(const Competition& c, double bib);

// The gates the race uses: its gate count, kept within 0..kMaxGates.
int UsedGates(const Competition& c);

}  // namespace zalvik
