#pragma once
// How the set action takes a buoy score typed into the buoy grid.

#include <QString>
#include <cstdint>
#include <optional>

namespace zalvik {

// The score a typed text stands for: its leading numeric value, to the nearest whole number with
// halves going to the even neighbour ("7.5" is 8, "12.5" is 12, "abc" is 0). Empty when the
// score does not fit the 16-bit table entry (outside -32768..32767): it must be refused rather
// than wrapped into another score.
std::optional<int16_t> ParseBuoyScore(const QString& text);

// The message shown when the score of buoy k (1..5) is refused; nothing is applied then.
QString BuoyScoreRefusedMessage(int k, const QString& name, const QString& text);

}  // namespace zalvik
