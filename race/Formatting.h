#pragma once
// The one display form of run times (in seconds) and race points: two decimals, padded at the
// front to at least two integer digits. Used by the processing screen, the standings, the
// loader and the official results sheet, so that all of them show the same text.

#include <QString>

namespace zalvik {

// 61.5 -> "61.50", 5.25 -> "05.25", 5 -> " 5.00", 12345 -> "12345", 123.456 -> "123.456".
QString FormatHundredths(double value);

}  // namespace zalvik
