// What a line from the timing device costs: one line through the received-runs board (split,
// written to the log and flushed to disk, parsed, paired, listed), and a second's worth of 1,000
// lines arriving one read each, all of which must be logged and listed within that second.

#include <benchmark/benchmark.h>

#include <QFile>
#include <string>

#include "bench/BenchSupport.h"
#include "timing/TimingBoard.h"

namespace {

const zalvik::store::JournalOwner kOwner{QStringLiteral("bench"), {}, {}};

// An ALGE run time line for run i (bibs 1..999 in turn).
QByteArray Line(int i) {
    return QStringLiteral(" %1 RT  00:01:%2.%3 00\r")
        .arg(1 + i % 999, 4, 10, QLatin1Char('0'))
        .arg(10 + i % 40)
        .arg(i % 100, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

void BM_TimingOneLineThroughTheBoard(benchmark::State& state) {
    benchsupport::TempFolder folder;
    zalvik::timing::TimingBoard board;
    board.attach(QString::fromStdString(folder.path() + "/race.xlsx"), zalvik::timing::Device::Alge,
                 kOwner);
    int i = 0;
    for (auto _ : state) board.receive(Line(i++));
    if (board.runs().size() != static_cast<size_t>(i) || !board.logProblem().isEmpty())
        state.SkipWithError("a line was not listed or not logged");
}
BENCHMARK(BM_TimingOneLineThroughTheBoard)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Timing1000LinesOneReadEach(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        benchsupport::TempFolder folder;
        zalvik::timing::TimingBoard board;
        board.attach(QString::fromStdString(folder.path() + "/race.xlsx"),
                     zalvik::timing::Device::Alge, kOwner);
        state.ResumeTiming();
        for (int i = 0; i < 1000; ++i) board.receive(Line(i));
        state.PauseTiming();
        QFile log(board.logPath());  // the heading, the workbook's line, the lines
        const bool logged = log.open(QIODevice::ReadOnly) && log.readAll().count('\n') == 1002;
        if (board.runs().size() != 1000 || !logged)
            state.SkipWithError("not every line was listed and logged");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Timing1000LinesOneReadEach)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
