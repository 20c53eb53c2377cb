#pragma once
// The rules for the number of gates and the buoys at a gate, shared by the settings screen and
// the loader so that a count typed on the screen and one read from the workbook are taken the
// same way.

#include <QString>
#include <cstdint>
#include <optional>

namespace zalvik {

struct GateCountValue {
    enum class Kind {
        None,        // 0, or a text without a leading number: the gate grid is hidden
        Count,       // a usable count: gates 0..12
        OutOfRange,  // negative, or more gates than the course can have
    };
    Kind kind = Kind::None;
    double value = 0;   // the leading numeric value of the text
    int16_t gates = 0;  // nearest whole number of value (Count only)
    int16_t rows = 0;   // gate grid rows: one per gate below the header row (Count only)
};

// Takes a ゲート数 text the way the gate grid is shaped from it. The per-gate tables and the
// processing screen hold twelve gates, so anything that would make more (or a negative count,
// which has no grid shape) is OutOfRange.
GateCountValue ParseGateCount(const QString& text);

// The message shown when a typed gate count is refused.
QString GateCountRefusedMessage(const QString& text);

// The buoy count typed for a gate: taken when its leading value is below 6 (negative ones
// included), as the nearest whole number. Empty when it must be refused.
std::optional<int16_t> ParseGateBuoyCount(const QString& text);

}  // namespace zalvik
