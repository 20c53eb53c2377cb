#pragma once
// Formula text as the file stores it (A1 references, no leading "="), for the one edit the layer
// makes to formulas: moving a shared formula to another of its cells.

#include <string>
#include <string_view>

namespace sheet::detail {

// The formula as it reads in a cell `rows` below and `cols` right of its own (either may be
// negative): relative references move, "$" parts stay, texts in quotes, sheet and table names,
// function names and error values are kept as written. References to other sheets move like
// any other. False, with *out unspecified, when the text holds something this reading does not
// know well enough to move safely, or a reference would leave the sheet.
bool ShiftFormula(std::string_view formula, int rows, int cols, std::string* out);

}  // namespace sheet::detail
