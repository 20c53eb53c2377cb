#include "app/Competition.h"

namespace zalvik {

// Version label and caption set by the entry procedure.
const char* const kVersionLabel = "Ver.0.92";

}  // namespace zalvik
