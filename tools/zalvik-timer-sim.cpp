// zalvik-timer-sim: plays a file of timing device lines, at a pace of so many lines a second,
// into a pseudo-terminal, a given serial device or a TCP connection, so that a race day can be
// rehearsed (and the program tested) without the real device.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Officials run it from the README's rehearsal section, so it speaks Japanese like the program.
const char kUsage[] =
    "使い方: zalvik-timer-sim [オプション] 行のファイル\n"
    "\n"
    "行のファイルを1行ずつ、計時器が送るのと同じように送ります。\n"
    "空の行と「#」で始まる行は送りません。\n"
    "\n"
    "送り先（どれか1つ）:\n"
    "  --pty                   仮想のシリアルポートを作り、その名前を表示します。その名前を\n"
    "                          「計時の接続」の画面の「ポート」に入力します\n"
    "  --serial デバイス       シリアルポートのデバイスに送ります（例: 'socat -d -d\n"
    "                          pty,raw,echo=0 pty,raw,echo=0' で作った組の片方や、\n"
    "                          プログラムのパソコンにケーブルでつないだUSBシリアル変換器）\n"
    "  --tcp アドレス:ポート   そのアドレスで待ち、つないだプログラムすべてに送ります。\n"
    "                          だれもつないでいない間、行は送らずに待ちます\n"
    "\n"
    "オプション:\n"
    "  --rate 行数             1秒に送る行の数（既定は 1。0.2 のような小数も使えます）\n"
    "  --baud 速度             --serial の通信速度（既定は 9600）\n"
    "  --ending cr|lf|crlf     行の終わり（既定は cr で、ALGE の計時器と同じです。\n"
    "                          TAG Heuer には crlf を使います）\n"
    "  --exit-when-done        最後の行を送ったら終わります（既定では接続を開いたまま待ちます）\n"
    "  --help                  この説明を表示します\n";

const QString kTcpAddress =
    QStringLiteral("--tcp の後に 127.0.0.1:7000 のようなアドレスとポートを書いてください。");
const QString kEnding = QStringLiteral("--ending の後に cr、lf、crlf のどれかを書いてください。");

int Fail(const QString& text) {
    std::fprintf(stderr, "zalvik-timer-sim: %s\n", text.toLocal8Bit().constData());
    return 2;
}

void Say(const QString& text) { std::printf("%s\n", text.toLocal8Bit().constData()); }

bool MakeRaw(int fd, int baud) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    speed_t speed = B9600;
    switch (baud) {
        case 1200:
            speed = B1200;
            break;
        case 2400:
            speed = B2400;
            break;
        case 4800:
            speed = B4800;
            break;
        case 19200:
            speed = B19200;
            break;
        case 38400:
            speed = B38400;
            break;
        case 57600:
            speed = B57600;
            break;
        case 115200:
            speed = B115200;
            break;
        default:
            break;
    }
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString file, serialPath, tcpAddress;
    bool pty = false, exitWhenDone = false;
    double rate = 1;
    int baud = 9600;
    QByteArray ending = "\r";
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        const auto value = [&](QString* out) {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        QString v;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == QLatin1String("--pty")) {
            pty = true;
        } else if (a == QLatin1String("--exit-when-done")) {
            exitWhenDone = true;
        } else if (a == QLatin1String("--serial")) {
            if (!value(&serialPath))
                return Fail(
                    QStringLiteral("--serial の後にシリアルポートのデバイスを書いてください（例: "
                                   "--serial /dev/ttyUSB0）。"));
        } else if (a == QLatin1String("--tcp")) {
            if (!value(&tcpAddress)) return Fail(kTcpAddress);
        } else if (a == QLatin1String("--rate")) {
            bool ok = false;
            if (!value(&v) || (rate = v.toDouble(&ok), !ok) || rate <= 0 || rate > 100000)
                return Fail(QStringLiteral(
                    "--rate の後に1秒に送る行の数（0より大きい数）を書いてください。"));
        } else if (a == QLatin1String("--baud")) {
            bool ok = false;
            if (!value(&v) || (baud = v.toInt(&ok), !ok) || baud <= 0)
                return Fail(
                    QStringLiteral("--baud の後に 9600 のような通信速度を書いてください。"));
        } else if (a == QLatin1String("--ending")) {
            if (!value(&v)) return Fail(kEnding);
            if (v == QLatin1String("cr"))
                ending = "\r";
            else if (v == QLatin1String("lf"))
                ending = "\n";
            else if (v == QLatin1String("crlf"))
                ending = "\r\n";
            else
                return Fail(kEnding);
        } else if (a.startsWith(QLatin1Char('-'))) {
            std::fputs(kUsage, stderr);
            return Fail(QStringLiteral("「%1」というオプションはありません。").arg(a));
        } else if (file.isEmpty()) {
            file = a;
        } else {
            return Fail(QStringLiteral("行のファイルは1つだけ書いてください。"));
        }
    }
    if (file.isEmpty()) {
        std::fputs(kUsage, stderr);
        return Fail(QStringLiteral("送る行のファイルを書いてください。"));
    }
    if (int(pty) + int(!serialPath.isEmpty()) + int(!tcpAddress.isEmpty()) != 1)
        return Fail(
            QStringLiteral("送り先を --pty、--serial デバイス、--tcp アドレス:ポート "
                           "のどれか1つで書いてください。"));

    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("ファイル「%1」を読めません。").arg(file));
    std::vector<QByteArray> lines;
    for (QByteArray line : in.readAll().split('\n')) {
        while (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty() || line.startsWith('#')) continue;
        lines.push_back(line + ending);
    }

    // Where the lines go: a file descriptor (pseudo-terminal, serial device) or TCP clients.
    int fd = -1;
    QTcpServer server;
    std::vector<QTcpSocket*> clients;
    if (pty) {
        fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0)
            return Fail(QStringLiteral("仮想のシリアルポートを作れません（%1）。")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
        MakeRaw(fd, baud);  // no echo, no line editing on the program's side
        std::printf("%s\n", ::ptsname(fd));
    } else if (!serialPath.isEmpty()) {
        fd = ::open(QFile::encodeName(serialPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return Fail(QStringLiteral("「%1」を開けません（%2）。")
                            .arg(serialPath, QString::fromLocal8Bit(std::strerror(errno))));
        if (::isatty(fd) && !MakeRaw(fd, baud))
            return Fail(
                QStringLiteral("「%1」を %2 bps 8N1 に設定できません。").arg(serialPath).arg(baud));
    } else {
        const qsizetype colon = tcpAddress.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const uint port = colon > 0 ? tcpAddress.sliced(colon + 1).toUInt(&ok) : 0;
        const QHostAddress host(colon > 0 ? tcpAddress.first(colon) : QString());
        if (!ok || port == 0 || port > 65535 || host.isNull()) return Fail(kTcpAddress);
        if (!server.listen(host, static_cast<quint16>(port)))
            return Fail(QStringLiteral("%1 で待つことができません（%2）。")
                            .arg(tcpAddress, server.errorString()));
        Say(QStringLiteral("%1 で、プログラムがつなぐのを待っています。").arg(tcpAddress));
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* c = server.nextPendingConnection()) {
                clients.push_back(c);
                QObject::connect(c, &QTcpSocket::disconnected, [&clients, c] {
                    std::erase(clients, c);
                    c->deleteLater();
                });
            }
        });
    }
    std::fflush(stdout);

    size_t next = 0;
    QByteArray pending;  // the part of the current line the device could not take yet
    QTimer tick;
    tick.setInterval(std::max(1, static_cast<int>(1000.0 / rate)));
    const int perTick = std::max(1, static_cast<int>(rate / 1000.0));
    QObject::connect(&tick, &QTimer::timeout, [&] {
        for (int k = 0; k < perTick; ++k) {
            if (pending.isEmpty()) {
                if (next == lines.size()) break;
                pending = lines[next];
            }
            if (fd >= 0) {
                const ssize_t n = ::write(fd, pending.constData(), pending.size());
                if (n > 0) pending.remove(0, n);
                if (!pending.isEmpty()) return;  // nobody reading yet: the line waits
            } else {
                if (clients.empty()) return;  // nobody connected: the line waits
                for (QTcpSocket* c : clients) c->write(pending);
                pending.clear();
            }
            ++next;
            std::printf("%zu/%zu\n", next, lines.size());
        }
        std::fflush(stdout);
        if (next == lines.size() && pending.isEmpty()) {
            tick.stop();
            Say(QStringLiteral("%1行をすべて送りました。").arg(lines.size()) +
                (exitWhenDone ? QString()
                              : QStringLiteral("止めるときは Ctrl+C を押してください。")));
            std::fflush(stdout);
            if (exitWhenDone) {
                for (QTcpSocket* c : clients) c->flush();
                if (fd >= 0) ::tcdrain(fd);
                QTimer::singleShot(200, &app, &QCoreApplication::quit);
            }
        }
    });
    tick.start();
    return app.exec();
}
