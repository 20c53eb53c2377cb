// One registration on the processing screen, as the register button runs it on race day: the
// result stored in the competition data, the results grid row rewritten, the input sheet row
// written, the standings of every class rebuilt and shown, and the workbook file saved.
// Target: under 15 ms, and at least 20 times faster than the peer's change and save
// (bench/peer.py, "change one row and save").
//
// The competition is a copy of the race-sized benchmark workbook that the bench program's
// start-up writes beside itself (bench.xlsx: 999 competitors, 12 gates, 9 classes), loaded
// through the load action. Only the click of the register button is timed; picking the
// competitor and typing the time, which happen at the official's pace, are not.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <memory>
#include <string>

#include "app/Screens.h"
#include "bench/BenchSupport.h"
#include "race/ProcessingScreen.h"
#include "sheet/Workbook.h"
#include "store/ScreenLoader.h"
#include "support/Controls.h"
#include "ui/Dialogs.h"

using testsupport::Find;

namespace {

void BM_RegisterResult(benchmark::State& state) {
    benchsupport::LoadedRace race;
    if (!race.loaded()) {
        state.SkipWithError("the benchmark workbook did not load");
    } else {
        zalvik::Program* program = &race.program();
        zalvik::ProcessingScreen& screen = program->processingScreen();
        // The first save of a load also keeps the file as loaded beside it; registrations
        // after it are the ones an official makes all day.
        int i = 0;
        auto prepare = [&] {
            benchsupport::EnterRun(screen, i);
            ++i;
        };
        prepare();
        Find<QPushButton>(screen, QStringLiteral("登録ボタン"))->click();
        for (auto _ : state) {
            state.PauseTiming();
            prepare();
            state.ResumeTiming();
            Find<QPushButton>(screen, QStringLiteral("登録ボタン"))->click();
        }
        if (!ui::testing::Messages().isEmpty() || program->workbook()->hasUnsavedChanges())
            state.SkipWithError("a registration was not saved");
    }
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
BENCHMARK(BM_RebuildStandings)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
