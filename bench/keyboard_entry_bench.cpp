// One key press in the gate entry of the processing screen, as an official enters a run from
// the keyboard: the digit goes to the control that has the focus, the buoy is chosen at the
// current gate, the total is worked out, the next gate becomes current, and the window is
// repainted until the new 合計 is on screen. Target: under 2 ms.
//
// The competition is a copy of the race-sized benchmark workbook that the bench program's
// start-up writes beside itself (bench.xlsx: 999 competitors, 12 gates, 9 classes). Between
// two timed presses an untimed Backspace takes the gate entry back to gate 1 and clears it.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Screens.h"
#include "bench/BenchSupport.h"
#include "race/ProcessingScreen.h"
#include "store/ScreenLoader.h"
#include "ui/Dialogs.h"

namespace {

using benchsupport::PaintCounter;
using benchsupport::WaitForPaints;

// A key pressed and released on whatever control has the focus.
void Press(Qt::Key key, const QString& text = {}) {
    QWidget* w = QApplication::focusWidget();
    if (!w) return;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

void Type(const QString& s) {
    for (QChar ch : s) Press(static_cast<Qt::Key>(ch.unicode()), QString(ch));
}

void BM_GateKeyToRepaintedTotal(benchmark::State& state) {
    benchsupport::EnsureApplication();
    std::string folder = (std::filesystem::temp_directory_path() / "zalvik-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string path = folder + "/race.xlsx";
    std::error_code ec;
    std::filesystem::copy_file(benchsupport::BenchWorkbook(), path, ec);
    auto program = benchsupport::LoadedProgram(path);

    zalvik::ProcessingScreen& screen = program->processingScreen();
    auto* total = screen.findChild<QLabel*>(QStringLiteral("合計"));
    screen.show();
    screen.activateWindow();
    for (int round = 0; round < 100 && !screen.isActiveWindow(); ++round)
        QCoreApplication::processEvents();

    // Bib 1, 1 min 5.25 s, through to gate 1.
    Type(QStringLiteral("1"));
    Press(Qt::Key_Return);
    Type(QStringLiteral("1"));
    Press(Qt::Key_Return);
    Type(QStringLiteral("5.25"));
    Press(Qt::Key_Return);
    QWidget* gate1 = screen.findChild<QRadioButton*>(QStringLiteral("Gop(0)"));
    PaintCounter counter;
    if (ec || program->data().competitorCount != 999 || !ui::testing::Messages().isEmpty() ||
        !total || QApplication::focusWidget() != gate1) {
        state.SkipWithError(
            "the benchmark workbook did not load, or the keys did not reach gate 1");
    } else {
        total->installEventFilter(&counter);
        QCoreApplication::processEvents();
        bool painted = true;
        for (auto _ : state) {
            const int before = counter.paints;
            Type(QStringLiteral("1"));
            painted = WaitForPaints(counter, before + 1) && painted;
            state.PauseTiming();
            Press(Qt::Key_Backspace);
            WaitForPaints(counter, counter.paints + 1);
            state.ResumeTiming();
        }
        if (!painted || QApplication::focusWidget() != gate1)
            state.SkipWithError("the total was not repainted after a key");
        total->removeEventFilter(&counter);
    }
    program.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui::testing::EnableDialogHooks(false);
    std::filesystem::remove_all(folder, ec);
}

BENCHMARK(BM_GateKeyToRepaintedTotal)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
