// Fuzz target: any bytes, taken as a workbook file, are opened and loaded as a competition the
// way the loader does without its screens. Nothing may crash, hang or read out of bounds; a
// bad file only gives an error.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/Competition.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"
#include "store/InputSheet.h"

namespace {

std::string TempPath() {
    static const std::string path = [] {
        std::string p = "/tmp/zalvik-fuzz-" + std::to_string(getpid()) + ".xlsx";
        return p;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = TempPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    sheet::FileFault fault;
    auto book = sheet::Workbook::open(path, &fault);
    // Whatever the file holds, the sentence about it is built without a fault of its own.
    zalvik::store::FileFaultMessage(fault);
    if (book) {
        for (int n = 1; n <= book->worksheetCount() && n <= 2; ++n)
            if (!book->worksheet(n)) zalvik::store::FileFaultMessage(book->lastFault());
        if (sheet::Worksheet* ws = book->worksheet(1)) {
            // The competition data is large; keep one per process and reset it.
            static zalvik::Competition* c = new zalvik::Competition;
            *c = zalvik::Competition{};
            c->statusWord[1] = "DS";
            c->statusWord[2] = "DF";
            c->statusWord[3] = "DQ";
            QString gateText;
            zalvik::store::ReadInputSheet(*ws, *c, &gateText);
            c->gateCount = 12;
            for (int i = 1; i <= c->competitorCount; ++i) {
                zalvik::store::ResultRow row;
                if (zalvik::store::ReadResultRow(*ws, *c, i, &row)) break;
            }
            for (int g = 1; g <= 12; ++g) {
                int16_t count = 0;
                zalvik::store::ReadGateBuoyCount(*ws, g, &count);
            }
            zalvik::store::RepeatedBibs(*c);
        }
    }
    std::remove(path.c_str());
    return 0;
}
