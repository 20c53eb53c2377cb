// Speed of loading a competition: open the benchmark workbook, read the input sheet, fill the
// competition data, the settings screen's tables, the processing screen's results grid and
// competitor list, and build the standings. Runs on the workbook that workbook_bench.cpp's main
// writes beside the program before any benchmark starts (999 competitors, 12 gates, 9 classes).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>
#include <memory>

#include "app/Screens.h"
#include "bench/BenchSupport.h"
#include "race/ProcessingScreen.h"
#include "store/ScreenLoader.h"
#include "ui/Dialogs.h"

namespace {

QString BenchWorkbookPath() {
    return QString::fromStdString(benchsupport::BenchWorkbook().string());
}

// One load as the load button makes it, up to the competitor list.
bool LoadOnce(zalvik::Program& program, const QString& path) {
    ui::testing::Messages().clear();
    ui::testing::QueueFileAnswer(path);
    zalvik::BeginLoad(program);
    program.processingScreen().BuildCompetitorList();
    return ui::testing::Messages().isEmpty() && program.data().competitorCount == 999;
}

// A load into a program that has loaded before: the reset of the previous competition and the
// whole load, with the screens already created. This is the figure the target is set for.
void BM_LoadCompetition(benchmark::State& state) {
    benchsupport::EnsureApplication();
    ui::testing::EnableDialogHooks(true);
    const QString path = BenchWorkbookPath();
    auto program = std::make_unique<zalvik::Program>();
    program->start();
    if (!LoadOnce(*program, path)) {
        state.SkipWithError("the benchmark workbook did not load cleanly");
        return;
    }
    for (auto _ : state) {
        if (!LoadOnce(*program, path)) {
            state.SkipWithError("the benchmark workbook did not load cleanly");
            break;
        }
    }
    program.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui::testing::EnableDialogHooks(false);
}

// The first load of a run: the processing and settings screens are created on the way.
void BM_FirstLoadWithScreenCreation(benchmark::State& state) {
    benchsupport::EnsureApplication();
    ui::testing::EnableDialogHooks(true);
    const QString path = BenchWorkbookPath();
    for (auto _ : state) {
        auto program = std::make_unique<zalvik::Program>();
        program->start();
        const bool ok = LoadOnce(*program, path);
        state.PauseTiming();
        program.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("the benchmark workbook did not load cleanly");
            break;
        }
    }
    ui::testing::EnableDialogHooks(false);
}

}  // namespace

// Peak memory of the program with the benchmark competition loaded through its screens, in MB
// (the process's high-water mark of resident memory). Run in a fresh process, before any
// benchmark, so that nothing else has raised the mark.
double PeakMemoryAfterLoadMb() {
    benchsupport::EnsureApplication();
    ui::testing::EnableDialogHooks(true);
    auto program = std::make_unique<zalvik::Program>();
    program->start();
    if (!LoadOnce(*program, BenchWorkbookPath())) return -1;
    program->processingScreen().show();
    QCoreApplication::processEvents();
    return benchsupport::PeakResidentMb();
}

namespace {

BENCHMARK(BM_LoadCompetition)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstLoadWithScreenCreation)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
