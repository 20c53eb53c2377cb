// Nothing the timing device sent is lost when the program is killed: a child process (this test
// binary started again in its child role) loads a race, connects to a timer on 127.0.0.1 and
// receives 50 lines in pieces of random size; once its list shows all 50 it is killed with
// SIGKILL. A program started afresh loads the workbook and its list holds all 50, in order.

#include <signal.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>

#include "store/LoadTestSupport.h"
#include "support/Controls.h"
#include "timing/TimingBoard.h"
#include "timing/TimingLink.h"

using namespace testsupport;

namespace {

constexpr int kLines = 50;

// Line k (1..50): bib 1..20 in turn, a time that differs per line.
QByteArray LineOf(int k) {
    return QByteArray::number(1 + (k - 1) % 20) + ',' + QByteArray::number(40 + k) + '.' +
           QByteArray::number(k % 100).rightJustified(2, '0');
}

void MakeRace(const std::string& path) {
    TestWorkbook wb(path);
    for (int i = 1; i <= 20; ++i) wb.competitor(i, i, QStringLiteral("選手%1").arg(i), 1);
    wb.settings(QStringLiteral("1"), {3}, {QStringLiteral("一般")});
    wb.save();
}

void PrivateSettings(const QString& folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

// The child's role: load the race, connect to the timer, say how many runs the list shows
// each time it changes, and wait for the kill.
int RunChild(const QString& path, const QString& address, const QString& settings) {
    PrivateSettings(settings);
    ui::testing::EnableDialogHooks(true);
    auto program = StartedProgram();
    Load(*program, path);
    zalvik::timing::LinkSettings link;
    link.method = zalvik::timing::LinkSettings::Method::Tcp;
    link.device = zalvik::timing::Device::Generic;
    link.address = address;
    program->connectTimer(link);
    zalvik::ProcessingScreen& screen = program->processingScreen();
    QObject::connect(&program->timingBoard(), &zalvik::timing::TimingBoard::runsChanged, [&screen] {
        auto* list = Find<QAbstractItemView>(screen, QStringLiteral("計時一覧"));
        std::printf("%d\n", list->model()->rowCount());
        std::fflush(stdout);
    });
    return QApplication::exec();
}

}  // namespace

class TimingCrashTest : public QObject, public ProgramFixture {
    Q_OBJECT

  private slots:
    void initTestCase() {
        zalvik::SetUpScreenFont();
        PrivateSettings(QString::fromStdString(settings.path()));
    }

    void killedAfterFiftyLines() {
        startProgram();
        const std::string path = dir->file("大会.xlsx");
        MakeRace(path);
        QTcpServer timer;
        QVERIFY(timer.listen(QHostAddress::LocalHost));

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZALVIK_TIMING_CHILD"), QString::fromStdString(path));
        env.insert(QStringLiteral("TIMER_ADDRESS"),
                   QStringLiteral("127.0.0.1:%1").arg(timer.serverPort()));
        env.insert(QStringLiteral("CHILD_SETTINGS"), QString::fromStdString(settings.path()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(timer.hasPendingConnections(), 30000);
        QTcpSocket* peer = timer.nextPendingConnection();

        // The lines in pieces of random size, so that lines are split and merged across reads.
        QByteArray all;
        for (int k = 1; k <= kLines; ++k) all += LineOf(k) + (k % 3 ? "\r\n" : "\n");
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator rng(seed);
        for (qsizetype at = 0; at < all.size();) {
            const qsizetype piece = 1 + rng.bounded(40);
            peer->write(all.mid(at, piece));
            QVERIFY(peer->waitForBytesWritten(5000));
            at += piece;
        }
        QByteArray said;
        for (int i = 0; i < 200 && !said.split('\n').contains(QByteArray::number(kLines)) &&
                        child.state() == QProcess::Running;
             ++i)
            if (child.waitForReadyRead(1000)) said += child.readAllStandardOutput();
        QVERIFY2(said.split('\n').contains(QByteArray::number(kLines)), said.constData());
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        program.reset();
        program = StartedProgram();
        Load(*program, QString::fromStdString(path));
        auto* list =
            Find<QAbstractItemView>(program->processingScreen(), QStringLiteral("計時一覧"));
        QCOMPARE(list->model()->rowCount(), kLines);
        QVERIFY(list->isVisible());
        for (int k = 1; k <= kLines; ++k) {
            const QList<QByteArray> fields = LineOf(k).split(',');
            const int row = kLines - k;  // newest on top
            QCOMPARE(list->model()->index(row, 1).data().toString(), QString(fields[0]));
            QCOMPARE(list->model()->index(row, 3).data().toString(), QString(fields[1]));
        }
        finishProgram();
    }

  private:
    TempDir settings;
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString childPath = qEnvironmentVariable("ZALVIK_TIMING_CHILD");
    if (!childPath.isEmpty())
        return RunChild(childPath, qEnvironmentVariable("TIMER_ADDRESS"),
                        qEnvironmentVariable("CHILD_SETTINGS"));
    TimingCrashTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "timing_crash_qtest.moc"
