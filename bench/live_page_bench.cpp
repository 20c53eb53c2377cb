// The live results page. Targets: building and writing the page of 999 competitors in 9
// classes under 10 ms; the register button's time with 200 phones polling the served page no
// more than 5 ms above its time with none.
//
// The polling clients are threads of their own with plain blocking sockets to 127.0.0.1, each
// fetching "/" over a kept-open connection once a second at its own phase (200 requests a
// second in all, far more than 200 phones refreshing every 15 seconds). Only the click of the
// register button is timed, as in registration_bench.cpp.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Screens.h"
#include "bench/BenchSupport.h"
#include "output/LivePage.h"
#include "output/LiveServer.h"
#include "race/ProcessingScreen.h"
#include "race/Scoring.h"
#include "sheet/Workbook.h"
#include "store/ScreenLoader.h"
#include "support/Controls.h"
#include "ui/Dialogs.h"

namespace {

using testsupport::Find;

std::string TempFolder() {
    std::string folder = (std::filesystem::temp_directory_path() / "zalvik-live-XXXXXX").string();
    return mkdtemp(folder.data()) ? folder : std::string();
}

// 999 competitors in 9 classes, two thirds with a result, a few with a status.
std::unique_ptr<zalvik::Competition> RaceOf999() {
    auto c = std::make_unique<zalvik::Competition>();
    c->eventName = QStringLiteral("第12回ミルネ温泉カップ");
    c->eventVenue = QStringLiteral("ミルネ温泉スキー場");
    c->eventDate = QStringLiteral("2026/02/15");
    c->classCount = 9;
    for (int k = 1; k <= 9; ++k) c->className[k] = QStringLiteral("クラス%1").arg(k);
    c->competitorCount = 999;
    for (int i = 1; i <= 999; ++i) {
        zalvik::Competitor& who = c->competitors[i];
        who.bib = static_cast<int16_t>(i);
        who.name = QStringLiteral("選手　%1").arg(i);
        who.affiliation = QStringLiteral("ミルネスキークラブ%1").arg(i % 37);
        who.classNo = zalvik::ClassValue::ofNumber(1 + i % 9);
        if (i % 3 != 0) {
            who.runTime = 50.0f + static_cast<float>(i % 400) / 10.0f;
            who.buoyPoints = static_cast<float>(10 + i % 20);
            who.racePoints = zalvik::RacePoints(who.runTime, who.buoyPoints);
        }
        if (i % 50 == 0) who.status = static_cast<int16_t>(1 + i / 50 % 3);
    }
    return c;
}

void BM_LivePageBuild(benchmark::State& state) {
    const auto race = RaceOf999();
    const QDateTime now = QDateTime::currentDateTime();
    size_t bytes = 0;
    for (auto _ : state) bytes = zalvik::MakeLiveSnapshot(*race, now).html.size();
    state.counters["html_kB"] = static_cast<double>(bytes) / 1024.0;
}

// What every change costs: the page built and written beside the workbook, by rename.
void BM_LivePageBuildAndWrite(benchmark::State& state) {
    const auto race = RaceOf999();
    const std::string folder = TempFolder();
    const QString page = QString::fromStdString(folder + "/race_速報.html");
    for (auto _ : state) {
        const zalvik::LiveSnapshot s =
            zalvik::MakeLiveSnapshot(*race, QDateTime::currentDateTime());
        if (!zalvik::WriteLivePage(page, s.html)) state.SkipWithError("cannot write");
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

// Phones polling "/" at 127.0.0.1:port, each once a second over a kept-open connection.
class PollingClients {
  public:
    PollingClients(int count, quint16 port) {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this, i, count, port] { poll(i, count, port); });
    }
    ~PollingClients() {
        stop_ = true;
        for (std::thread& t : threads_) t.join();
    }
    long answered() const { return answered_; }
    long failed() const { return failed_; }

  private:
    static int connectTo(quint16 port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval limit{2, 0};  // every wait of a client is bounded
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    // One GET of "/" on an open connection; false when the connection failed.
    static bool fetch(int fd) {
        static const char request[] = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) != sizeof request - 1)
            return false;
        std::string got;
        char buffer[65536];
        size_t headEnd = std::string::npos, length = 0;
        while (true) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            got.append(buffer, static_cast<size_t>(n));
            if (headEnd == std::string::npos) {
                headEnd = got.find("\r\n\r\n");
                if (headEnd == std::string::npos) continue;
                const size_t at = got.find("Content-Length: ");
                if (at == std::string::npos || got.compare(0, 12, "HTTP/1.1 200") != 0)
                    return false;
                length = std::stoul(got.substr(at + 16));
            }
            if (got.size() >= headEnd + 4 + length) return true;
        }
    }
    void poll(int index, int count, quint16 port) {
        using namespace std::chrono;
        auto next = steady_clock::now() + milliseconds(1000 * index / count);
        int fd = -1;
        while (!stop_) {
            std::this_thread::sleep_until(next);
            next += seconds(1);
            if (stop_) break;
            if (fd < 0) fd = connectTo(port);
            if (fd >= 0 && fetch(fd)) {
                ++answered_;
            } else {
                ++failed_;
                if (fd >= 0) ::close(fd);
                fd = -1;
            }
        }
        if (fd >= 0) ::close(fd);
    }

    std::atomic<bool> stop_{false};
    std::atomic<long> answered_{0}, failed_{0};
    std::vector<std::thread> threads_;
};

// The register button with the page published and state.range(0) phones polling it.
void BM_RegisterWhileServing(benchmark::State& state) {
    benchsupport::EnsureApplication();
    const std::string folder = TempFolder();
    const std::string path = folder + "/race.xlsx";
    std::error_code ec;
    std::filesystem::copy_file(benchsupport::BenchWorkbook(), path, ec);
    ui::testing::EnableDialogHooks(true);
    ui::testing::Messages().clear();
    {
        zalvik::Program program;
        program.start();
        ui::testing::QueueFileAnswer(QString::fromStdString(path));
        zalvik::RunLoadAction(program);
        zalvik::LiveServer::setListenAddress(QHostAddress::LocalHost);  // no other computer
        const quint16 port = program.liveServer().start();
        if (ec || port == 0 || program.data().competitorCount != 999) {
            state.SkipWithError("the benchmark workbook did not load, or no port was free");
        } else {
            zalvik::ProcessingScreen& screen = program.processingScreen();
            int i = 0;
            auto prepare = [&] {
                benchsupport::EnterRun(screen, i);
                ++i;
            };
            QPushButton* registerButton = Find<QPushButton>(screen, QStringLiteral("登録ボタン"));
            prepare();
            registerButton->click();
            PollingClients clients(static_cast<int>(state.range(0)), port);
            // Let every client make its first request before timing starts.
            std::this_thread::sleep_for(std::chrono::milliseconds(1200));
            for (auto _ : state) {
                state.PauseTiming();
                prepare();
                QCoreApplication::processEvents();
                state.ResumeTiming();
                registerButton->click();
            }
            state.counters["requests_answered"] = static_cast<double>(clients.answered());
            state.counters["requests_failed"] = static_cast<double>(clients.failed());
            if (!ui::testing::Messages().isEmpty())
                state.SkipWithError(qPrintable(ui::testing::Messages().first()));
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui::testing::EnableDialogHooks(false);
    std::filesystem::remove_all(folder, ec);
}

BENCHMARK(BM_LivePageBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LivePageBuildAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegisterWhileServing)
    ->Arg(0)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

}  // namespace
