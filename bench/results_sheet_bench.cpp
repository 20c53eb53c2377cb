// Writing the official results sheet of a 999-competitor class and saving the workbook: the
// whole run behind the output screen's run button, without the hand-off to the spreadsheet
// program. Target: under 60 ms.
//
// The workbook is a copy of the race-sized benchmark workbook that the bench program's start-up
// writes beside itself (bench.xlsx), so that the save carries a full input sheet as on race day.
//
//   all ranked      999 competitors with race points: 25 pages of ranked rows
//   two thirds      666 with race points, 111 each of DS, DF and DQ

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Competition.h"
#include "bench/BenchSupport.h"
#include "output/ResultsSheet.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"

namespace {

using namespace zalvik;

void BM_ResultsSheetOf999(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "zalvik-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string path = folder + "/results.xlsx";
    std::string error = "the benchmark workbook bench.xlsx is missing";
    std::error_code ec;
    std::unique_ptr<sheet::Workbook> book;
    sheet::FileFault fault;
    if (std::filesystem::copy_file(benchsupport::BenchWorkbook(), path, ec)) {
        book = sheet::Workbook::open(path, &fault);
        error = zalvik::store::FileFaultMessage(fault).toStdString();
    }
    auto c = benchsupport::ClassOf999(state.range(0) == 1);

    if (!book) {
        state.SkipWithError(error.c_str());
    } else {
        // The first save also keeps the loaded file as a backup; measure the saves after it, as
        // an official runs the output again and again on race day.
        WriteResultsSheet(*c, book.get());
        book->save();
        for (auto _ : state) {
            const ResultsSheetRun run = WriteResultsSheet(*c, book.get());
            if (!run.written || !book->save().ok) {
                state.SkipWithError("the results sheet was not written and saved");
                break;
            }
        }
    }
    book.reset();
    std::filesystem::remove_all(folder, ec);
}

BENCHMARK(BM_ResultsSheetOf999)
    ->ArgName("allRanked")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
