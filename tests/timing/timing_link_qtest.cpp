// The link to the timing device over a real pseudo-terminal pair (socat) and over TCP on
// 127.0.0.1: connect, receive, pull the cable, plug it back, and nothing sent after the replug is
// lost.

#include <fcntl.h>
#include <unistd.h>

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "timing/TimingBoard.h"
#include "timing/TimingLink.h"

using namespace zalvik::timing;

namespace {

// A TAG Heuer record with its tab, checksum and CR LF.
QByteArray Th(const QByteArray& record) {
    unsigned sum = 0;
    for (char c : record) sum += static_cast<unsigned char>(c);
    return record + '\t' + QByteArray::number(sum & 0xffff, 16).toUpper().rightJustified(4, '0') +
           "\r\n";
}

}  // namespace

class TimingLinkTest : public QObject {
    Q_OBJECT

  private:
    // A socat pair whose two ends keep their names from one start to the next, as a USB adapter
    // plugged back in does.
    bool startPair(QProcess& socat, const QString& device, const QString& timer) {
        socat.setProcessChannelMode(QProcess::SeparateChannels);
        socat.start(QStringLiteral("socat"), {QStringLiteral("-d"), QStringLiteral("-d"),
                                              QStringLiteral("pty,raw,echo=0,link=") + device,
                                              QStringLiteral("pty,raw,echo=0,link=") + timer});
        if (!socat.waitForStarted(5000)) return false;
        // socat names the two ends on its error output, then makes the stable names.
        QByteArray said;
        const auto ready = [&] {
            return said.count("PTY is") == 2 && QFile::exists(device) && QFile::exists(timer);
        };
        for (int i = 0; i < 100 && !ready(); ++i) {
            socat.waitForReadyRead(100);
            said += socat.readAllStandardError();
        }
        if (ready()) return true;
        socat.kill();
        socat.waitForFinished();
        return false;
    }

    // What the timing device sends, written into the other end of the pair.
    static bool send(const QString& timer, const QByteArray& bytes) {
        const int fd = ::open(QFile::encodeName(timer).constData(), O_WRONLY | O_NOCTTY);
        if (fd < 0) return false;
        const bool ok = ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
        ::close(fd);
        return ok;
    }

  private slots:
    void serialCablePulledAndPluggedBack() {
        if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
            QSKIP("socat is not installed (make test installs it)");
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyTIMER"));
        const QString timer = dir.filePath(QStringLiteral("timer-end"));
        QProcess socat;
        QVERIFY(startPair(socat, device, timer));

        TimingBoard board;
        board.attach(dir.filePath(QStringLiteral("race.xlsx")), Device::Alge,
                     {QStringLiteral("id-1"), {}, {}});
        TimingLink link;
        Wire(link, board);
        LinkSettings settings;
        settings.method = LinkSettings::Method::Serial;
        settings.port = device;
        settings.baud = 9600;
        link.start(settings);
        QTRY_COMPARE(link.state(), TimingLink::State::Connected);
        QCOMPARE(link.statusText(), QStringLiteral("接続しています（%1、9600bps）").arg(device));

        QVERIFY(send(timer, " 0001 C0  10:00:00.0000 00\r 0001 C1  10:01:01.5299 00\r 0002 C0"));
        QTRY_COMPARE(board.runs().size(), size_t(1));
        QCOMPARE(board.runs()[0].hundredths, 6152);

        // The cable is pulled in the middle of a line.
        socat.kill();
        socat.waitForFinished();
        QTRY_COMPARE(link.state(), TimingLink::State::Lost);
        QCOMPARE(link.statusText(), QStringLiteral("接続が切れました。2秒ごとに接続し直します。"));

        // Plugged back in: the link finds the port again by itself.
        QProcess again;
        QVERIFY(startPair(again, device, timer));
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), TimingLink::State::Connected, 10000);
        QVERIFY(send(timer, " 0002 RT  00:01:02.00 00\r 0003 RT  00:01:03.00 00\r"));
        QTRY_COMPARE(board.runs().size(), size_t(3));
        QCOMPARE(board.runs()[1].bib, 2);
        QCOMPARE(board.runs()[2].bib, 3);
        QCOMPARE(board.unreadableLines(), 1);  // the line the cable cut

        link.stop();
        QCOMPARE(link.statusText(), QStringLiteral("接続していません"));
        again.kill();
        again.waitForFinished();
    }

    void serialPortMissing() {
        TimingLink link;
        LinkSettings settings;
        settings.method = LinkSettings::Method::Serial;
        settings.port = QStringLiteral("/dev/ttyNOSUCHPORT9");
        link.start(settings);
        QCOMPARE(link.state(), TimingLink::State::Lost);
        QCOMPARE(link.statusText(),
                 QStringLiteral("接続できません（ポート /dev/ttyNOSUCHPORT9 "
                                "が見つかりません）。2秒ごとに接続し直します。"));
    }

    void tcpPeerGoneAndBack() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const QString address = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
        TimingBoard board;
        board.attach(QString(), Device::TagHeuer, {});
        TimingLink link;
        Wire(link, board);
        LinkSettings settings;
        settings.method = LinkSettings::Method::Tcp;
        settings.device = Device::TagHeuer;
        settings.address = address;
        link.start(settings);
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket* peer = server.nextPendingConnection();
        QTRY_COMPARE(link.state(), TimingLink::State::Connected);
        QCOMPARE(link.statusText(), QStringLiteral("接続しています（%1）").arg(address));

        peer->write(Th("TN 0035 0001 1 09:15:00.00000 09474") +
                    Th("TN 0035 0002 4 09:16:01.52999 09474"));
        QTRY_COMPARE(board.runs().size(), size_t(1));
        QCOMPARE(board.runs()[0].hundredths, 6152);

        // The device goes away, then comes back on the same address.
        peer->abort();
        QTRY_COMPARE(link.state(), TimingLink::State::Lost);
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 10000);
        peer = server.nextPendingConnection();
        QTRY_COMPARE(link.state(), TimingLink::State::Connected);
        peer->write(Th("TN 0036 0003 1 09:17:00.00000 09474") +
                    Th("TN 0036 0004 4 09:18:02.00000 09474"));
        QTRY_COMPARE(board.runs().size(), size_t(2));
        QCOMPARE(board.runs()[1].bib, 36);
        QCOMPARE(board.runs()[1].hundredths, 6200);

        // Nobody listening: the reason, and the retry.
        server.close();
        peer->abort();
        QTRY_COMPARE(link.state(), TimingLink::State::Lost);
        QCOMPARE(link.statusText(), QStringLiteral("接続が切れました。2秒ごとに接続し直します。"));
        link.start(settings);
        QTRY_COMPARE(
            link.statusText(),
            QStringLiteral("接続できません（%1 が接続を受け付けません）。2秒ごとに接続し直します。")
                .arg(address));
        settings.address = QStringLiteral("127.0.0.1");
        link.start(settings);
        QCOMPARE(link.statusText(),
                 QStringLiteral("接続できません（アドレス「127.0.0.1」が「ホスト:ポート」の形では"
                                "ありません）。設定を確かめてください。"));
    }

    // The rehearsal files of examples/, played by the simulator into a pseudo-terminal (ALGE)
    // and as a TCP server (TAG Heuer): every run of them arrives.
    void simulatorPlaysTheRehearsalFiles_data() {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("ALGE over a pseudo-terminal") << false;
        QTest::newRow("TAG Heuer over TCP") << true;
    }
    void simulatorPlaysTheRehearsalFiles() {
        QFETCH(bool, tcp);
        QTcpServer probe;  // a free port on 127.0.0.1 for the simulator
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString address = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
        probe.close();
        QProcess sim;
        QStringList args{QStringLiteral("--rate"), QStringLiteral("50")};
        if (tcp)
            args << QStringLiteral("--tcp") << address << QStringLiteral("--ending")
                 << QStringLiteral("crlf") << PROJECT_SOURCE_DIR "/examples/timer-tagheuer.txt";
        else
            args << QStringLiteral("--pty") << PROJECT_SOURCE_DIR "/examples/timer-alge.txt";
        sim.start(QStringLiteral(TIMER_SIM), args);
        QVERIFY(sim.waitForStarted(5000));
        QVERIFY(sim.waitForReadyRead(5000));
        const QString first = QString::fromLocal8Bit(sim.readLine()).trimmed();

        TimingBoard board;
        board.attach(QString(), tcp ? Device::TagHeuer : Device::Alge, {});
        TimingLink link;
        Wire(link, board);
        LinkSettings settings;
        settings.method = tcp ? LinkSettings::Method::Tcp : LinkSettings::Method::Serial;
        settings.port = first;
        settings.address = address;
        link.start(settings);
        QTRY_COMPARE(link.state(), TimingLink::State::Connected);
        struct Expected {
            int bib;
            int hundredths;
            bool cleared;
        };
        const std::vector<Expected> expected =
            tcp ? std::vector<Expected>{{4, 6428, false}, {8, 7103, false},  {9, 6555, false},
                                        {0, -1, false},   {11, 7240, false}, {12, 7100, false}}
                : std::vector<Expected>{{4, 6428, false},  {8, 7103, false}, {9, 6555, false},
                                        {0, -1, false},    {11, 7240, true}, {12, 7100, false},
                                        {11, 6312, false}, {1, 6152, false}};
        QTRY_COMPARE_WITH_TIMEOUT(board.runs().size(), expected.size(), 10000);
        QTRY_COMPARE(board.runs().back().hundredths, expected.back().hundredths);
        for (size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(board.runs()[i].bib, expected[i].bib);
            QCOMPARE(board.runs()[i].hundredths, expected[i].hundredths);
            QCOMPARE(board.runs()[i].cleared, expected[i].cleared);
        }
        QCOMPARE(board.unreadableLines(), 0);
        link.stop();
        sim.kill();
        sim.waitForFinished();
    }
};

QTEST_MAIN(TimingLinkTest)
#include "timing_link_qtest.moc"
