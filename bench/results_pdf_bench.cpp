// The PDF of the official results sheet of a 999-competitor class (25 pages of ranked rows):
// laying out worksheet 2 as the writer left it, drawing every page with the embedded Japanese
// font and writing the file beside the workbook. Target: under 300 ms and under 150 MB peak.
//
// The peak is the process's high-water mark of resident memory, reported as the counter
// peak_MB; run this benchmark alone for a figure of its own:
//   build/bench/zalvik-bench --benchmark_filter=ResultsPdf

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Competition.h"
#include "bench/BenchSupport.h"
#include "output/ResultsSheet.h"
#include "output/ResultsSheetPdf.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"

namespace {

using namespace zalvik;

void BM_ResultsPdfOf999(benchmark::State& state) {
    benchsupport::EnsureApplication();
    std::string folder = (std::filesystem::temp_directory_path() / "zalvik-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string path = folder + "/results.xlsx";
    sheet::FileFault fault;
    std::unique_ptr<sheet::Workbook> book;
    if (sheet::Workbook::createEmpty(path, {"入力", "成績表"}, &fault))
        book = sheet::Workbook::open(path, &fault);
    auto c = benchsupport::ClassOf999(/*allRanked=*/true);
    if (!book || !WriteResultsSheet(*c, book.get()).written) {
        const std::string error = zalvik::store::FileFaultMessage(fault).toStdString();
        state.SkipWithError(error.empty() ? "the results sheet was not written" : error.c_str());
    } else {
        const QString pdf = ResultsPdfPath(QString::fromStdString(path), *c);
        int pages = 0;
        for (auto _ : state) {
            const ResultsSheetPages laidOut(*book->worksheet(kResultsWorksheet));
            QString why;
            if (!WriteResultsPdf(laidOut, pdf, &why)) {
                state.SkipWithError(qPrintable(why));
                break;
            }
            pages = laidOut.pageCount();
        }
        state.counters["pages"] = pages;
        state.counters["PDF_kB"] = static_cast<double>(QFile(pdf).size()) / 1024.0;
        state.counters["peak_MB"] = benchsupport::PeakResidentMb();
    }
    book.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

BENCHMARK(BM_ResultsPdfOf999)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
