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
#include "race/Scoring.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"

namespace {

using namespace zalvik;

std::unique_ptr<Competition> RankedClassOf999() {
    auto c = std::make_unique<Competition>();
    c->classCount = 1;
    c->className[1] = QStringLiteral("一般男子");
    c->eventName = QStringLiteral("ベンチマーク大会");
    c->eventVenue = QStringLiteral("白樺スキー場");
    c->eventDate = QStringLiteral("2024/02/11");
    for (int i = 1; i <= kMaxCompetitors; ++i) {
        Competitor& who = c->competitors[i];
        who.bib = static_cast<int16_t>(i);
        who.name = QStringLiteral("山田 太郎%1").arg(i);
        who.affiliation = QStringLiteral("スキークラブ%1").arg(i % 37);
        who.classNo = ClassValue::ofNumber(1);
        who.runTime = 50.0f + static_cast<float>(i % 400) / 10.0f;
        who.buoyPoints = static_cast<float>(10 + i % 25);
        who.racePoints = RacePoints(who.runTime, who.buoyPoints);
    }
    c->competitorCount = kMaxCompetitors;
    c->outputClass = 1;
    BuildStandings(*c);
    return c;
}

double PeakResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

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
    auto c = RankedClassOf999();
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
        state.counters["peak_MB"] = PeakResidentMb();
    }
    book.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

BENCHMARK(BM_ResultsPdfOf999)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
