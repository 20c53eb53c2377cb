#include "timing/RunPairing.h"

namespace zalvik::timing {

RunPairing::Result RunPairing::add(const Reading&) { return {}; }
void RunPairing::clear() { starts_.clear(); }
int RunHundredths(long long, int, long long, int) { return -1; }

}  // namespace zalvik::timing
