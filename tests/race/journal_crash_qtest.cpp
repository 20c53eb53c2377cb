// Nothing registered and journaled is lost when the program is killed: a child process (this
// test binary started again in its child role) loads a race and registers 20 results through
// the processing screen, and is killed with SIGKILL at a random point, or kills itself right
// after a journal line was written and before the workbook was saved. Loading the workbook
// afterwards (or its backup copied over it) and answering Yes brings back every result whose
// journal line was written.

#include <signal.h>

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QThread>
#include <cstdio>
#include <filesystem>
#include <map>

#include "store/Journal.h"
#include "store/LoadTestSupport.h"

using namespace testsupport;
using namespace zalvik::store;

namespace {

constexpr int kResults = 20;

// Result k (1..20) of the child: bib 100 + k, a time that differs per bib.
float SecondsOf(int k) { return 40.0f + static_cast<float>(k) * 0.25f; }

void MakeRace(const std::string& path) {
    TestWorkbook wb(path);
    for (int i = 1; i <= kResults; ++i)
        wb.competitor(i, 100 + i, QStringLiteral("選手%1").arg(i), 1);
    wb.settings(QStringLiteral("1"), {3}, {QStringLiteral("一般")});
    wb.save();
    std::filesystem::remove(path + ".bak");
}

// The child's role: load the race, register the 20 results, say so after each. With
// CRASH_AT=k, the save of result k fails and the child kills itself right after it: the
// journal holds the line, the workbook does not.
int RunChild(const QString& path, int crashAt) {
    ui::testing::EnableDialogHooks(true);
    auto program = StartedProgram();
    Load(*program, path);
    zalvik::ProcessingScreen& s = program->processingScreen();
    auto* bib = s.findChild<QLineEdit*>(QStringLiteral("ゼッケン"));
    auto* seconds = s.findChild<QLineEdit*>(QStringLiteral("秒"));
    auto* gate = s.findChild<QRadioButton*>(ui::ElementName(QStringLiteral("Gop"), 0));
    auto* buoy = s.findChild<QRadioButton*>(ui::ElementName(QStringLiteral("ブイ"), 1));
    auto* registerButton = s.findChild<QPushButton*>(QStringLiteral("登録ボタン"));
    for (int k = 1; k <= kResults; ++k) {
        if (k == crashAt)
            sheet::Workbook::setSaveFaultForTesting(sheet::Workbook::SaveFault::DuringWrite);
        bib->clear();
        bib->setText(QString::number(100 + k));
        seconds->setText(QString::number(SecondsOf(k)));
        gate->click();
        buoy->click();
        registerButton->click();
        if (k == crashAt) ::raise(SIGKILL);
        std::printf("%d\n", k);
        std::fflush(stdout);
    }
    // Waits for the kill, so that a kill planned after the last result always lands.
    std::getchar();
    return 0;
}

}  // namespace

class JournalCrashTest : public QObject {
    Q_OBJECT

    struct Figures {
        int runs = 0;
        int journaled = 0;
        int recovered = 0;
        QStringList killPoints;
    } figures;

    // One run of the child, killed by us after `afterResults` results (or killing itself at
    // result `crashAt`), then the recovery checked on `path`, optionally replaced by its backup.
    void runAndRecover(int afterResults, int crashAt, bool fromBackup) {
        ui::testing::EnableDialogHooks(true);
        TempDir dir;
        const std::string path = dir.file("大会.xlsx");
        MakeRace(path);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZALVIK_CRASH_CHILD"), QString::fromStdString(path));
        env.insert(QStringLiteral("CRASH_AT"), QString::number(crashAt));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted(10000));
        if (afterResults > 0) {
            QByteArray said;
            while (said.count('\n') < afterResults && child.state() == QProcess::Running)
                if (child.waitForReadyRead(20000)) said += child.readAllStandardOutput();
            // A random moment inside the following registrations.
            QThread::usleep(QRandomGenerator::global()->bounded(20000u));
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        }
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QString journal = JournalPathFor(QString::fromStdString(path));
        const JournalReading reading = ReadJournal(journal);
        QCOMPARE(reading.problem, JournalReading::Problem::None);
        std::map<int, float> journaled;
        for (const JournalEntry& e : reading.entries) journaled[e.bib] = e.runTime;
        if (crashAt) QVERIFY(journaled.count(100 + crashAt));
        if (fromBackup && std::filesystem::exists(path + ".bak"))
            std::filesystem::copy_file(path + ".bak", path,
                                       std::filesystem::copy_options::overwrite_existing);

        auto program = StartedProgram();
        ui::testing::QueueYesNoAnswer(true);
        Load(*program, QString::fromStdString(path));
        // A result journaled but never saved is offered back with one question.
        if (crashAt) QCOMPARE(ui::testing::Questions().size(), 1);
        int recovered = 0;
        for (int k = 1; k <= kResults; ++k) {
            const zalvik::Competitor& who = program->data().competitors[k];
            if (journaled.count(who.bib)) {
                QCOMPARE(who.runTime, journaled[who.bib]);
                QCOMPARE(who.runTime, SecondsOf(k));
                ++recovered;
            }
        }
        QVERIFY(!program->workbook()->hasUnsavedChanges());
        // The file itself now holds them: a load without any answer finds them all.
        program.reset();
        ui::testing::EnableDialogHooks(true);
        auto again = StartedProgram();
        Load(*again, QString::fromStdString(path));
        QCOMPARE(ui::testing::Questions(), QStringList{});
        for (int k = 1; k <= kResults; ++k)
            if (journaled.count(100 + k))
                QCOMPARE(again->data().competitors[k].runTime, SecondsOf(k));
        again.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ui::testing::EnableDialogHooks(false);

        ++figures.runs;
        figures.journaled += static_cast<int>(journaled.size());
        figures.recovered += recovered;
        figures.killPoints << (crashAt ? QStringLiteral("after journal line %1").arg(crashAt)
                                       : QStringLiteral("after %1 results").arg(afterResults)) +
                                  (fromBackup ? QStringLiteral(" (.bak)") : QString());
    }

  private slots:
    void initTestCase() { zalvik::SetUpScreenFont(); }

    // Bounded: six children in all, each at most 20 registrations.
    void killedAtRandomPoints() {
        auto* rng = QRandomGenerator::global();
        for (bool fromBackup : {false, true}) {
            runAndRecover(0, 1 + static_cast<int>(rng->bounded(kResults)), fromBackup);
            runAndRecover(1 + static_cast<int>(rng->bounded(kResults - 2)), 0, fromBackup);
            runAndRecover(0, kResults, fromBackup);
        }
        qInfo("crash runs %d, kill points: %s; journaled %d, recovered %d", figures.runs,
              qPrintable(figures.killPoints.join(", ")), figures.journaled, figures.recovered);
        QCOMPARE(figures.recovered, figures.journaled);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString childPath = qEnvironmentVariable("ZALVIK_CRASH_CHILD");
    if (!childPath.isEmpty()) return RunChild(childPath, qEnvironmentVariableIntValue("CRASH_AT"));
    JournalCrashTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "journal_crash_qtest.moc"
