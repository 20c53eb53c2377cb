// One registration as the result desk runs it on race day: checked, journaled, stored in the
// competition data, the input sheet row written, the standings of every class rebuilt, the
// workbook file saved and the live page handed to its builder (BM_RegisterResult). Target:
// under 15 ms, its CPU under 5 ms. The screen's part is measured on its own
// (BM_RegisterOnScreen): the register button's click, through the desk, with the screen hidden
// (argument 0: its grids updated, nothing painted) and shown (argument 1: through to the results
// grid repainted, as the gate-key benchmark measures a key to the repainted total).
//
// The competition is a copy of the race-sized benchmark workbook that the bench program's
// start-up writes beside itself (bench.xlsx: 999 competitors, 12 gates, 9 classes), loaded
// through the load action. Picking the competitor and typing the time, which happen at the
// official's pace, are not timed.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <memory>
#include <string>

#include "app/Screens.h"
#include "bench/BenchSupport.h"
#include "race/ProcessingScreen.h"
#include "race/ResultDesk.h"
#include "sheet/Workbook.h"
#include "support/Controls.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"

using testsupport::Find;

namespace {

void BM_RegisterResult(benchmark::State& state) {
    benchsupport::LoadedRace race;
    if (!race.loaded()) {
        state.SkipWithError("the benchmark workbook did not load");
        return;
    }
    zalvik::Program& program = race.program();
    zalvik::ResultDesk& desk = program.desk();
    // The first save of a load also keeps the file as loaded beside it; registrations after it
    // are the ones an official makes all day.
    int i = 0;
    bool saved = desk.registerResult(benchsupport::RunRequest(program.data(), i++)).done();
    for (auto _ : state) {
        state.PauseTiming();
        const zalvik::ResultRequest request = benchsupport::RunRequest(program.data(), i++);
        state.ResumeTiming();
        const zalvik::DeskOutcome out = desk.registerResult(request);
        saved = saved && out.done() && out.save.kind == zalvik::SaveOutcome::Kind::Saved;
    }
    if (!saved || program.workbook()->hasUnsavedChanges())
        state.SkipWithError("a registration was not saved");
}

void BM_RegisterOnScreen(benchmark::State& state) {
    benchsupport::LoadedRace race;
    if (!race.loaded()) {
        state.SkipWithError("the benchmark workbook did not load");
        return;
    }
    zalvik::Program& program = race.program();
    zalvik::ProcessingScreen& screen = program.processingScreen();
    const bool shown = state.range(0) == 1;
    if (shown) screen.show();
    QApplication::processEvents();
    auto* button = Find<QPushButton>(screen, QStringLiteral("登録ボタン"));
    QWidget* results = Find<ui::Grid>(screen, QStringLiteral("グリッド結果"))->viewport();
    benchsupport::PaintCounter counter;
    results->installEventFilter(&counter);
    int i = 0;
    benchsupport::EnterRun(screen, i++);
    button->click();
    QApplication::processEvents();
    bool painted = true;
    for (auto _ : state) {
        state.PauseTiming();
        benchsupport::EnterRun(screen, i++);
        QApplication::processEvents();
        const int before = counter.paints;
        state.ResumeTiming();
        button->click();
        if (shown) painted = benchsupport::WaitForPaints(counter, before + 1) && painted;
    }
    results->removeEventFilter(&counter);
    if (!painted || !ui::testing::Messages().isEmpty() || program.workbook()->hasUnsavedChanges())
        state.SkipWithError("a registration was not saved and shown");
}

// The standings part of every registration on its own: all nine classes rebuilt and shown.
void BM_RebuildStandings(benchmark::State& state) {
    benchsupport::LoadedRace race;
    if (!race.loaded()) {
        state.SkipWithError("the benchmark workbook did not load");
        return;
    }
    zalvik::ProcessingScreen& screen = race.program().processingScreen();
    for (auto _ : state) screen.RebuildStandings();
}

BENCHMARK(BM_RegisterResult)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegisterOnScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RebuildStandings)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
