#pragma once
// What the benchmark programs share: the benchmark workbook that the bench program writes beside
// itself at start-up (999 competitors, 12 gates, 9 classes), the application object that
// screens and fonts need, the loaded race, a class of 999 for the results sheet and its PDF, and
// the process's peak memory.

#include <stdlib.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "app/Competition.h"
#include "app/Screens.h"
#include "race/ResultDesk.h"
#include "race/ResultEntry.h"
#include "race/Scoring.h"
#include "store/ScreenLoader.h"
#include "support/Controls.h"
#include "ui/Dialogs.h"

namespace benchsupport {

// bench.xlsx beside the running bench program.
inline std::filesystem::path BenchWorkbook() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::current_path() : exe.parent_path()) / "bench.xlsx";
}

// The application object: made once by whichever benchmark needs it first, and destroyed by
// main through DestroyApplication() before it returns. A static QApplication would be destroyed
// among the static destructors, after Qt's own globals (its input devices) that it still
// refers to, and the program would crash on its way out.
inline std::unique_ptr<QApplication>& ApplicationObject() {
    static std::unique_ptr<QApplication> app;
    return app;
}

inline void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "zalvik-bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ApplicationObject() = std::make_unique<QApplication>(argc, argv);
}

inline void DestroyApplication() { ApplicationObject().reset(); }

// A started program that has loaded the workbook at `path` as the load button does, with the
// dialogs answered by the test hooks and no message shown yet.
inline std::unique_ptr<zalvik::Program> LoadedProgram(const std::string& path) {
    ui::testing::EnableDialogHooks(true);
    ui::testing::Messages().clear();
    auto program = std::make_unique<zalvik::Program>();
    program->start();
    ui::testing::QueueFileAnswer(QString::fromStdString(path));
    zalvik::BeginLoad(*program);
    return program;
}

// A fresh folder of the benchmark's own, in the temporary folder or in `base`, removed with
// everything in it when the object goes; path() is empty when it could not be made.
class TempFolder {
  public:
    explicit TempFolder(
        const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        path_ = (base / "zalvik-bench-XXXXXX").string();
        if (!mkdtemp(path_.data())) path_.clear();
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A program with a copy of the benchmark workbook loaded, in a folder of its own: in the
// temporary folder, or, to tell the cost of the program from that of the disk, in memory
// (/dev/shm), where flushing to disk costs nothing.
class LoadedRace {
  public:
    explicit LoadedRace(bool inMemory = false)
        : folder_(inMemory ? std::filesystem::path("/dev/shm")
                           : std::filesystem::temp_directory_path()) {
        EnsureApplication();
        if (folder_.path().empty()) return;
        path_ = folder_.path() + "/race.xlsx";
        std::error_code ec;
        if (!std::filesystem::copy_file(BenchWorkbook(), path_, ec)) return;
        program_ = LoadedProgram(path_);
        loaded_ = ui::testing::Messages().isEmpty() && program_->data().competitorCount == 999;
    }
    ~LoadedRace() {
        program_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::testing::EnableDialogHooks(false);
    }
    LoadedRace(const LoadedRace&) = delete;
    LoadedRace& operator=(const LoadedRace&) = delete;

    bool loaded() const { return loaded_; }
    zalvik::Program& program() { return *program_; }
    // The loaded workbook's path.
    const std::string& path() const { return path_; }

  private:
    TempFolder folder_;  // goes last, after the program that holds files in it
    std::string path_;
    std::unique_ptr<zalvik::Program> program_;
    bool loaded_ = false;
};

// Fills the processing screen's entry panel with run number i of a benchmark race, through its
// controls as an official would: bib 1 + 3i (mod 999), status OK, 1 min and 1..50.25 s, a buoy
// at each of the 12 gates.
inline void EnterRun(QWidget& screen, int i) {
    using testsupport::Find;
    Find<QLineEdit>(screen, QStringLiteral("ゼッケン"))
        ->setText(QString::number(1 + (i * 3) % 999));
    Find<QRadioButton>(screen, QStringLiteral("DSFQ"), 0)->click();
    Find<QLineEdit>(screen, QStringLiteral("分"))->setText(QStringLiteral("1"));
    Find<QLineEdit>(screen, QStringLiteral("秒"))
        ->setText(QString::number(1 + i % 50) + QStringLiteral(".25"));
    for (int g = 0; g < 12; ++g) {
        Find<QRadioButton>(screen, QStringLiteral("Gop"), g)->click();
        Find<QRadioButton>(screen, QStringLiteral("ブイ"), (i + g) % 5)->click();
    }
}

// Counts the paint events of one control, for the benchmarks that time input through to what
// the official sees.
class PaintCounter : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Runs the event loop until the control has painted `count` times, for at most a few rounds.
inline bool WaitForPaints(const PaintCounter& counter, int count) {
    for (int round = 0; round < 100 && counter.paints < count; ++round)
        QCoreApplication::processEvents();
    return counter.paints >= count;
}

// The same run as the desk takes it from the panel, without the screen.
inline zalvik::ResultRequest RunRequest(const zalvik::Competition& d, int i) {
    zalvik::ResultRequest r;
    r.bib = 1 + (i * 3) % 999;
    r.minutes = QStringLiteral("1");
    r.seconds = QString::number(1 + i % 50) + QStringLiteral(".25");
    double total = 0;
    for (int g = 0; g < 12; ++g) {
        r.buoyAtGate[g] = static_cast<int16_t>((i + g) % 5);
        total += zalvik::GateScore(d, r.buoyAtGate[g]);
    }
    r.buoyTotal = total;
    return r;
}

// One class of 999 competitors with their standings built, chosen for output. All ranked, or
// every third one with a status (DS, DF, DQ in turn) instead of a run.
inline std::unique_ptr<zalvik::Competition> ClassOf999(bool allRanked) {
    using namespace zalvik;
    auto c = std::make_unique<Competition>();
    c->classCount = 9;
    for (int k = 1; k <= 9; ++k) c->className[k] = QStringLiteral("クラス%1").arg(k);
    c->eventName = QStringLiteral("ベンチマーク大会");
    c->eventVenue = QStringLiteral("白樺スキー場");
    c->eventDate = QStringLiteral("2024/02/11");
    for (int i = 1; i <= kMaxCompetitors; ++i) {
        Competitor& who = c->competitors[i];
        who.bib = static_cast<int16_t>(i);
        who.name = QStringLiteral("山田 太郎%1").arg(i);
        who.affiliation = QStringLiteral("スキークラブ%1").arg(i % 37);
        who.classNo = ClassValue::ofNumber(1);
        if (!allRanked && i % 3 == 0) {
            who.status = static_cast<int16_t>(1 + (i / 3) % 3);
            continue;
        }
        who.runTime = 50.0f + static_cast<float>(i % 400) / 10.0f;
        who.buoyPoints = static_cast<float>(10 + i % 25);
        who.racePoints = RacePoints(who.runTime, who.buoyPoints);
    }
    c->competitorCount = kMaxCompetitors;
    c->outputClass = 1;
    BuildStandings(*c);
    return c;
}

// The process's high-water mark of resident memory in MB; -1 when it cannot be read.
inline double PeakResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

}  // namespace benchsupport
