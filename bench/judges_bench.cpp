// The gate judges' entries as the desk meets them, on the race-sized benchmark workbook (999
// competitors, 12 gates) published on 127.0.0.1: one entry from its POST to the repainted panel
// and list (target under 50 ms; the median and the 99th percentile are reported), and 12
// judges each sending 5 entries a second for 60 s, every entry logged and listed and none lost,
// while the official registers a result, which may be delayed by less than 5 ms.
//
// The entries go through the real requests of the live server, over TCP on 127.0.0.1; the
// phones of the second benchmark are threads of their own.

#include <benchmark/benchmark.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/Screens.h"
#include "bench/BenchSupport.h"
#include "output/LiveServer.h"
#include "race/JudgeBoard.h"
#include "race/ProcessingScreen.h"
#include "support/Controls.h"

using testsupport::Find;

namespace {

// One request on a connection of its own, as a phone's page makes it; the answer's JSON, empty
// when there was none.
QJsonObject Post(quint16 port, const QByteArray& path, const QJsonObject& body) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000)) return {};
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    socket.write("POST " + path +
                 " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                 "Content-Length: " +
                 QByteArray::number(json.size()) + "\r\n\r\n" + json);
    QByteArray got;
    for (int round = 0; round < 100; ++round) {
        const qsizetype end = got.indexOf("\r\n\r\n");
        if (end >= 0) {
            const QByteArray head = got.left(end).toLower();
            const qsizetype at = head.indexOf("content-length:");
            if (at >= 0 &&
                got.size() >= end + 4 + head.mid(at + 15).split('\r')[0].trimmed().toLongLong())
                return QJsonDocument::fromJson(got.mid(end + 4)).object();
        }
        if (!socket.waitForReadyRead(100) && socket.state() != QAbstractSocket::ConnectedState)
            break;
        got += socket.readAll();
    }
    return {};
}

QJsonObject Entry(const QString& id, int bib, int gate, int buoy) {
    return {{"id", id.rightJustified(32, u'0')}, {"bib", bib}, {"gate", gate}, {"buoy", buoy}};
}

// The taken entry's sequence number, 0 when it was not taken.
qint64 Send(quint16 port, const QString& token, const QJsonObject& entry) {
    const QJsonObject answer =
        Post(port, "/judge/entries", {{"token", token}, {"entries", QJsonArray{entry}}});
    const QJsonObject result = answer["results"].toArray().first().toObject();
    return result["refused"].toString().isEmpty() ? result["seq"].toInteger() : 0;
}

// The benchmark race published on 127.0.0.1, with `judges` judges: one of every gate, or one
// a gate; each logged in.
class JudgedRace : public benchsupport::LoadedRace {
  public:
    JudgedRace(int judges, bool inMemory) : LoadedRace(inMemory) {
        if (!loaded()) return;
        zalvik::LiveServer::setListenAddress(QHostAddress::LocalHost);
        zalvik::judges::JudgeBoard& board = program().judgeBoard();
        std::vector<QString> pins;
        for (int j = 0; j < judges; ++j) {
            const zalvik::judges::Judge judge = board.addJudge();
            QList<int> gates;
            for (int g = 1; g <= 12; ++g)
                if (judges == 1 || g == j + 1) gates << g;
            board.setJudgeGates(judge.id, gates);
            pins.push_back(judge.pin);
        }
        port_ = program().startPublishing();
        for (const QString& pin : pins)
            tokens_.push_back(Post(port_, "/judge/login", {{"pin", pin}})["token"].toString());
        program().processingScreen().show();
        QApplication::processEvents();
    }
    bool ready() const {
        return loaded() && port_ != 0 &&
               std::none_of(tokens_.begin(), tokens_.end(), [](auto& t) { return t.isEmpty(); });
    }
    quint16 port() const { return port_; }
    const QString& token(int j) const { return tokens_[static_cast<size_t>(j)]; }
    QWidget& screen() { return program().processingScreen(); }
    QAbstractItemView* list() {
        return screen().findChild<QAbstractItemView*>(QStringLiteral("計時一覧"));
    }
    int listed() {
        QAbstractItemView* l = list();
        return l ? l->model()->rowCount() : 0;
    }
    int logged() const {
        QFile log(zalvik::judges::JudgesLogPath(QString::fromStdString(path())));
        if (!log.open(QIODevice::ReadOnly)) return -1;
        int records = 0;
        for (const QByteArray& line : log.readAll().split('\n'))
            records += line.split('\t').value(1) == QStringLiteral("受付").toUtf8();
        return records;
    }

  private:
    quint16 port_ = 0;
    std::vector<QString> tokens_;
};

// Runs the event loop until `done`, for at most `ms`. It sleeps between events (the entries
// arriving wake it), with a beat that wakes it for what the phones' threads count.
template <typename Done>
bool Until(Done done, int ms) {
    QTimer beat;
    beat.start(5);
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One judge of every gate fills the gates of bib 3, who has no result, on the panel: each
// entry flips a gate's buoy, so that the gate's label changes with it. Argument 0: the
// workbook and the judges' log on disk; 1: in memory, where the log's flush costs nothing.
void BM_JudgeEntryToRepaintedPanel(benchmark::State& state) {
    JudgedRace race(1, state.range(0) == 1);
    if (!race.ready()) {
        state.SkipWithError("the benchmark race was not published with its judge");
        return;
    }
    Find<QLineEdit>(race.screen(), QStringLiteral("ゼッケン"))->setText(QStringLiteral("3"));
    const zalvik::Competition& d = race.program().data();
    std::vector<double> samples;
    int i = 0;
    for (auto _ : state) {
        const int gate = 1 + i % 12, buoy = 1 + (i / 12) % 2;
        auto* label = Find<QLabel>(race.screen(), QStringLiteral("色"), gate - 1);
        QElapsedTimer t;
        t.start();
        const bool taken =
            Send(race.port(), race.token(0), Entry(QString::number(i + 1), 3, gate, buoy)) > 0;
        const bool shown = Until(
            [&] { return label->text() == d.buoyName[buoy] && race.listed() == i + 1; }, 5000);
        if (!taken || !shown) {
            state.SkipWithError("an entry did not reach the panel and the list");
            return;
        }
        label->repaint();
        race.list()->viewport()->repaint();
        const double ms = t.nsecsElapsed() / 1e6;
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000);
        ++i;
    }
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = Median(samples);
    state.counters["p99_ms"] = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
}

// 12 judges, one a gate, each sending one entry every 200 ms for 60 s (3,600 in all), the bibs
// in turn; every 5 s the official registers a result. The figure is how much later each
// registration is done than the same one without any entry arriving (as for the timing
// device), made as far apart: the wait for the entry being handled when the click comes, plus what
// the entries add to the registration itself. Argument 0: the workbook and the judges' log on disk;
// 1: in memory, where neither flush waits for the disk.
void BM_TwelveJudgesForAMinute(benchmark::State& state) {
    JudgedRace race(12, state.range(0) == 1);
    if (!race.ready()) {
        state.SkipWithError("the benchmark race was not published with its judges");
        return;
    }
    constexpr int kJudges = 12, kEach = 300, kEveryMs = 200, kRegisterEveryMs = 5000;
    auto* registerButton = Find<QPushButton>(race.screen(), QStringLiteral("登録ボタン"));
    int run = 0;
    auto registration = [&] {
        benchsupport::EnterRun(race.screen(), run++);
        QElapsedTimer t;
        t.start();
        registerButton->click();
        return t.nsecsElapsed() / 1e6;
    };
    registration();  // the first save of a load also keeps a backup
    // The same registration without any entry arriving, as the official makes it: a few
    // seconds apart, the program idle in between (right after one another, with everything
    // still in the caches, a registration is quicker than any the official makes).
    std::vector<double> alone;
    for (int k = 0; k < 6; ++k) {
        QElapsedTimer idle;
        idle.start();
        Until([&] { return idle.elapsed() >= kRegisterEveryMs / 2; }, kRegisterEveryMs);
        alone.push_back(registration());
    }
    const double usual = Median(alone);

    for (auto _ : state) {
        std::atomic<int> taken{0}, lost{0};
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> phones;
        for (int j = 0; j < kJudges; ++j)
            phones.emplace_back([&, j] {
                for (int k = 0; k < kEach; ++k) {
                    std::this_thread::sleep_until(start +
                                                  std::chrono::milliseconds(kEveryMs * k + 16 * j));
                    const QJsonObject e = Entry(QStringLiteral("%1%2")
                                                    .arg(j + 1, 2, 10, QLatin1Char('0'))
                                                    .arg(k + 1, 4, 10, QLatin1Char('0')),
                                                1 + (k * kJudges + j) % 999, j + 1, 1 + k % 5);
                    (Send(race.port(), race.token(j), e) > 0 ? taken : lost)++;
                }
            });
        std::vector<double> delays, waits;
        QElapsedTimer clock;
        clock.start();
        QTimer official;
        QObject::connect(&official, &QTimer::timeout, [&] {
            if (clock.elapsed() > kEveryMs * kEach - kRegisterEveryMs / 2) official.stop();
            const qint64 asked = clock.nsecsElapsed();
            QTimer::singleShot(0, [&, asked] {
                const double wait = (clock.nsecsElapsed() - asked) / 1e6;
                waits.push_back(wait);
                delays.push_back(wait + registration() - usual);
            });
        });
        official.start(kRegisterEveryMs);
        Until([&] { return taken + lost == kJudges * kEach; }, 120000);
        for (std::thread& phone : phones) phone.join();
        Until([&] { return race.listed() == taken; }, 10000);
        state.SetIterationTime(clock.elapsed() / 1000.0);
        state.counters["entries_taken"] = taken.load();
        state.counters["entries_lost"] = lost.load();
        state.counters["entries_logged"] = race.logged();
        state.counters["entries_listed"] = race.listed();
        state.counters["registrations"] = static_cast<double>(delays.size());
        state.counters["registration_alone_ms"] = usual;
        state.counters["delay_median_ms"] = Median(delays);
        state.counters["delay_worst_ms"] = *std::max_element(delays.begin(), delays.end());
        state.counters["wait_worst_ms"] = *std::max_element(waits.begin(), waits.end());
        if (lost > 0 || race.logged() != taken || race.listed() != taken)
            state.SkipWithError("an entry was lost, or not logged or listed");
    }
}

BENCHMARK(BM_JudgeEntryToRepaintedPanel)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(240);
BENCHMARK(BM_TwelveJudgesForAMinute)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

}  // namespace
