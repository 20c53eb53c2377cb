// What the journal adds to a registration: one registration on the 999-competitor benchmark
// workbook with the journal beside it already holding 10 or 10,000 lines, and without a
// journal (its place taken by a folder, so that opening it fails at once and nothing is
// written); and the append of one line alone. The journal is only appended to and flushed,
// never read, so the cost must not grow with its length.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Screens.h"
#include "bench/BenchSupport.h"
#include "race/ProcessingScreen.h"
#include "sheet/Workbook.h"
#include "store/Journal.h"
#include "store/ScreenLoader.h"
#include "support/Controls.h"
#include "ui/Dialogs.h"

namespace {

// A journal of `lines` lines for the workbook at `book` (results-sheet runs, which a load has
// nothing to recover from); lines < 0 puts a folder where the journal belongs.
void PrepareJournal(const QString& book, int lines) {
    const QString path = zalvik::store::JournalPathFor(book);
    if (lines < 0) {
        QDir().mkpath(path);
        return;
    }
    zalvik::store::JournalWriter writer;
    const zalvik::store::JournalEntry entry =
        zalvik::store::ResultsSheetEntry(1, QStringLiteral("一般男子"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return;
    for (int i = 0; i < lines; ++i) f.write(zalvik::store::JournalLine(entry));
}

void BM_RegisterWithJournal(benchmark::State& state) {
    benchsupport::EnsureApplication();
    benchsupport::TempFolder folder;
    const std::string path = folder.path() + "/race.xlsx";
    std::error_code ec;
    if (folder.path().empty() ||
        !std::filesystem::copy_file(benchsupport::BenchWorkbook(), path, ec)) {
        state.SkipWithError("no benchmark workbook");
        return;
    }
    PrepareJournal(QString::fromStdString(path), static_cast<int>(state.range(0)));
    auto program = benchsupport::LoadedProgram(path);
    zalvik::ProcessingScreen& screen = program->processingScreen();
    int i = 0;
    using testsupport::Find;
    auto prepare = [&] {
        benchsupport::EnterRun(screen, i);
        ++i;
    };
    prepare();
    auto* registerButton = testsupport::Find<QPushButton>(screen, QStringLiteral("登録ボタン"));
    registerButton->click();  // the first save also writes the backup
    ui::testing::Messages().clear();
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        state.ResumeTiming();
        registerButton->click();
    }
    if (!ui::testing::Messages().isEmpty() || program->workbook()->hasUnsavedChanges())
        state.SkipWithError("a registration was not saved");
    program.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui::testing::EnableDialogHooks(false);
}

// The journal's own part: one line appended and flushed.
void BM_JournalAppend(benchmark::State& state) {
    benchsupport::TempFolder folder;
    const QString book = QString::fromStdString(folder.path() + "/race.xlsx");
    PrepareJournal(book, static_cast<int>(state.range(0)));
    zalvik::store::JournalEntry entry;
    entry.bib = 123;
    entry.name = QStringLiteral("山田　太郎");
    entry.runTime = 75.3f;
    entry.buoyPoints = 40;
    entry.racePoints = 188.25f;
    for (int g = 0; g < 12; ++g) entry.gates.push_back(QStringLiteral("5"));
    zalvik::store::JournalWriter writer;
    for (auto _ : state)
        if (writer.append(book, entry)) state.SkipWithError("the journal was not written");
}

// -1: no journal (a folder in its place); 10 and 10,000 lines already in it.
BENCHMARK(BM_RegisterWithJournal)
    ->Arg(-1)
    ->Arg(10)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_JournalAppend)->Arg(10)->Arg(10000)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
