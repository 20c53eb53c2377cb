// Times from the timing device as the processing screen shows them, on the race-sized benchmark
// workbook (999 competitors): one line received to the list repainted (target under 1 ms),
// 1,000 lines in one second all logged and listed while the official registers a result, which
// may be delayed by less than 5 ms, and a load with a timing log of 100,000 lines beside the
// workbook (under 1 s more than without).
//
// The lines go through the board as the link hands them over (log append and flush included)
// and through the list's model; the repaint is forced, so that it is inside the time measured.

#include <benchmark/benchmark.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <string>

#include "app/Screens.h"
#include "bench/BenchSupport.h"
#include "race/ProcessingScreen.h"
#include "store/ScreenLoader.h"
#include "support/Controls.h"
#include "timing/TimingBoard.h"
#include "ui/Dialogs.h"

using testsupport::Find;

namespace {

// The benchmark race on the processing screen, its timing device sending "bib,time" lines.
class Race : public benchsupport::LoadedRace {
  public:
    explicit Race(bool inMemory) : LoadedRace(inMemory) {
        if (!loaded()) return;
        program().timingBoard().setDevice(zalvik::timing::Device::Generic);
        program().processingScreen().show();
        QApplication::processEvents();
    }

    QAbstractItemView* list() {
        return Find<QAbstractItemView>(program().processingScreen(), QStringLiteral("計時一覧"));
    }
    int loggedLines() const {
        QFile log(zalvik::timing::TimingLogPath(QString::fromStdString(path())));
        if (!log.open(QIODevice::ReadOnly)) return -1;
        return static_cast<int>(log.readAll().count('\n'));
    }
};

// Line i of a device that sends "bib,time": bibs 1..999 in turn.
QByteArray Line(int i) {
    return QByteArray::number(1 + i % 999) + ',' + QByteArray::number(40 + i % 50) + '.' +
           QByteArray::number(i % 100).rightJustified(2, '0') + "\r\n";
}

// Argument 0: the workbook and its log on disk; 1: in memory.
void BM_DeviceLineToRepaintedList(benchmark::State& state) {
    Race race(state.range(0) == 1);
    if (!race.loaded()) {
        state.SkipWithError("the benchmark workbook did not load");
        return;
    }
    zalvik::timing::TimingBoard& board = race.program().timingBoard();
    // The list is made with the first time received.
    int i = 0;
    board.receive(Line(i++));
    QAbstractItemView* list = race.list();
    for (auto _ : state) {
        board.receive(Line(i++));
        list->viewport()->repaint();
    }
    if (list->model()->rowCount() != i || !list->isVisible())
        state.SkipWithError("a line did not reach the list");
}

// 1,000 lines in one second, one a millisecond as a fast device sends them; half-way through
// the official registers a result. The figure is how much later the registration is done than
// the same registration without any line: the wait for the line being handled when the click
// comes plus what the lines add to the registration itself.
// Argument 0: the workbook and its log on disk; 1: in memory.
void BM_RegistrationDuringThousandLines(benchmark::State& state) {
    Race race(state.range(0) == 1);
    if (!race.loaded()) {
        state.SkipWithError("the benchmark workbook did not load");
        return;
    }
    zalvik::Program& program = race.program();
    zalvik::ProcessingScreen& screen = program.processingScreen();
    auto* registerButton = Find<QPushButton>(screen, QStringLiteral("登録ボタン"));
    int run = 0;
    auto registration = [&] {
        benchsupport::EnterRun(screen, run++);
        QElapsedTimer t;
        t.start();
        registerButton->click();
        return t.nsecsElapsed() / 1e6;
    };
    // The first save of a load also keeps a backup; then a few alone, for the baseline.
    registration();
    double alone = 0;
    for (int k = 0; k < 5; ++k) alone += registration() / 5;

    double worstDelay = -1e9, worstWait = 0, worstDuring = 0;
    int lines = 0;
    for (auto _ : state) {
        int sent = 0;
        QTimer device;
        device.setTimerType(Qt::PreciseTimer);
        device.setInterval(1);
        QElapsedTimer clock;
        QObject::connect(&device, &QTimer::timeout, [&] {
            // Catch up when the event loop was busy: a device does not wait, and the lines it
            // sent meanwhile arrive together, as one read of the port hands them over.
            const qint64 due = std::min<qint64>(1000, clock.elapsed() + 1);
            QByteArray read;
            while (sent < due) read += Line(lines + sent++);
            if (!read.isEmpty()) program.timingBoard().receive(read);
            if (sent >= 1000) device.stop();
        });
        double delay = 0, wait = 0, during = 0;
        bool registered = false;
        QTimer::singleShot(500, [&] {
            const qint64 asked = clock.nsecsElapsed();
            // The click waits for nothing but the line being handled now; it is what the
            // official feels.
            QTimer::singleShot(0, [&, asked] {
                wait = (clock.nsecsElapsed() - asked) / 1e6;
                during = registration();
                delay = wait + during - alone;
                registered = true;
            });
        });
        clock.start();
        device.start();
        while ((sent < 1000 || !registered) && clock.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        lines += sent;
        if (delay > worstDelay) {
            worstDelay = delay;
            worstWait = wait;
            worstDuring = during;
        }
        state.SetIterationTime(clock.elapsed() / 1000.0);
    }
    state.counters["registration_alone_ms"] = alone;
    state.counters["registration_delay_ms"] = worstDelay;
    state.counters["registration_wait_ms"] = worstWait;
    state.counters["registration_during_ms"] = worstDuring;
    state.counters["lines_listed"] = race.list()->model()->rowCount();
    state.counters["lines_logged"] = race.loggedLines();
    if (race.list()->model()->rowCount() != lines)
        state.SkipWithError("not every line reached the list");
}

// The lines of a long morning of a device that sends impulses: the start and the finish of bibs
// 1..999 in turn, half a second apart, every fiftieth pair without a bib.
QByteArray LongMorning(int lines) {
    QByteArray all;
    all.reserve(lines * 28);
    auto impulse = [&](int bib, int channel, long long hundredths) {
        const QByteArray time = QStringLiteral("%1:%2:%3.%4")
                                    .arg(hundredths / 360000, 2, 10, QLatin1Char('0'))
                                    .arg(hundredths / 6000 % 60, 2, 10, QLatin1Char('0'))
                                    .arg(hundredths / 100 % 60, 2, 10, QLatin1Char('0'))
                                    .arg(hundredths % 100, 2, 10, QLatin1Char('0'))
                                    .toLatin1();
        all += (bib ? " " + QByteArray::number(bib).rightJustified(4, '0') : "?0000") + " C" +
               QByteArray::number(channel) + "  " + time + "00 00\r";
    };
    for (int k = 0; 2 * k < lines; ++k) {
        const int bib = k % 50 == 49 ? 0 : 1 + k % 999;
        const long long start = 8 * 360000 + 50LL * k;
        impulse(bib, 0, start);
        impulse(bib, 1, start + 6000 + k % 1000);
    }
    return all;
}

// Loading the benchmark workbook again, without a timing log (argument 0) and with one of
// 100,000 lines beside it: what the log adds to a load (target: under 1 s more).
void BM_LoadWithTimingLog(benchmark::State& state) {
    Race race(false);
    if (!race.loaded()) {
        state.SkipWithError("the benchmark workbook did not load");
        return;
    }
    zalvik::Program& program = race.program();
    const int lines = static_cast<int>(state.range(0));
    if (lines > 0) {
        program.timingBoard().setDevice(zalvik::timing::Device::Alge);
        program.timingBoard().receive(LongMorning(lines));
    }
    const size_t runs = program.timingBoard().runs().size();
    for (auto _ : state) {
        ui::testing::QueueFileAnswer(QString::fromStdString(race.path()));
        zalvik::BeginLoad(program);
        program.processingScreen().BuildCompetitorList();
    }
    state.counters["log_lines"] = race.loggedLines();
    state.counters["runs_listed"] = static_cast<double>(program.timingBoard().runs().size());
    if (program.timingBoard().runs().size() != runs || !ui::testing::Messages().isEmpty())
        state.SkipWithError("the load did not list the log's runs again");
}

BENCHMARK(BM_DeviceLineToRepaintedList)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_LoadWithTimingLog)->Arg(0)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegistrationDuringThousandLines)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace
