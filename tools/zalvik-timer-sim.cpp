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

const char kUsage[] =
    "Usage: zalvik-timer-sim [options] LINES-FILE\n"
    "\n"
    "Plays LINES-FILE, one timing device line per line, as a timing device sends them.\n"
    "Empty lines and lines starting with '#' are skipped.\n"
    "\n"
    "Where to (one of):\n"
    "  --pty                 make a pseudo-terminal and print its name; connect the program's\n"
    "                        serial input (計時ポート) to that name\n"
    "  --serial PATH         write to the serial device PATH (for example one end of a\n"
    "                        'socat -d -d pty,raw,echo=0 pty,raw,echo=0' pair, or a real\n"
    "                        USB-serial adapter cabled to the program's computer)\n"
    "  --tcp HOST:PORT       listen on HOST:PORT and send to every program that connects;\n"
    "                        the lines wait while nobody is connected\n"
    "\n"
    "Options:\n"
    "  --rate N              lines per second (default 1; fractions such as 0.2 allowed)\n"
    "  --baud N              bit rate for --serial (default 9600)\n"
    "  --ending cr|lf|crlf   what ends each line (default: cr, as ALGE devices send;\n"
    "                        use crlf for TAG Heuer)\n"
    "  --exit-when-done      exit after the last line instead of keeping the connection open\n"
    "  --help                show this text\n";

int Fail(const QString& text) {
    std::fprintf(stderr, "zalvik-timer-sim: %s\n", text.toLocal8Bit().constData());
    return 2;
}

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
            if (!value(&serialPath)) return Fail(QStringLiteral("--serial needs a path"));
        } else if (a == QLatin1String("--tcp")) {
            if (!value(&tcpAddress)) return Fail(QStringLiteral("--tcp needs HOST:PORT"));
        } else if (a == QLatin1String("--rate")) {
            bool ok = false;
            if (!value(&v) || (rate = v.toDouble(&ok), !ok) || rate <= 0 || rate > 100000)
                return Fail(QStringLiteral("--rate needs a number of lines per second above 0"));
        } else if (a == QLatin1String("--baud")) {
            bool ok = false;
            if (!value(&v) || (baud = v.toInt(&ok), !ok) || baud <= 0)
                return Fail(QStringLiteral("--baud needs a bit rate such as 9600"));
        } else if (a == QLatin1String("--ending")) {
            if (!value(&v)) return Fail(QStringLiteral("--ending needs cr, lf or crlf"));
            if (v == QLatin1String("cr"))
                ending = "\r";
            else if (v == QLatin1String("lf"))
                ending = "\n";
            else if (v == QLatin1String("crlf"))
                ending = "\r\n";
            else
                return Fail(QStringLiteral("--ending needs cr, lf or crlf"));
        } else if (a.startsWith(QLatin1Char('-'))) {
            std::fputs(kUsage, stderr);
            return Fail(QStringLiteral("unknown option ") + a);
        } else if (file.isEmpty()) {
            file = a;
        } else {
            return Fail(QStringLiteral("only one lines file, please"));
        }
    }
    if (file.isEmpty()) {
        std::fputs(kUsage, stderr);
        return Fail(QStringLiteral("no lines file given"));
    }
    if (int(pty) + int(!serialPath.isEmpty()) + int(!tcpAddress.isEmpty()) != 1)
        return Fail(QStringLiteral("choose one of --pty, --serial PATH, --tcp HOST:PORT"));

    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return Fail(QStringLiteral("cannot read ") + file);
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
            return Fail(QStringLiteral("cannot make a pseudo-terminal: ") + std::strerror(errno));
        MakeRaw(fd, baud);  // no echo, no line editing on the program's side
        std::printf("%s\n", ::ptsname(fd));
    } else if (!serialPath.isEmpty()) {
        fd = ::open(QFile::encodeName(serialPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return Fail(QStringLiteral("cannot open %1: %2").arg(serialPath, std::strerror(errno)));
        if (::isatty(fd) && !MakeRaw(fd, baud))
            return Fail(QStringLiteral("cannot set %1 to %2 8N1").arg(serialPath).arg(baud));
    } else {
        const qsizetype colon = tcpAddress.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const uint port = colon > 0 ? tcpAddress.sliced(colon + 1).toUInt(&ok) : 0;
        const QHostAddress host(colon > 0 ? tcpAddress.first(colon) : QString());
        if (!ok || port == 0 || port > 65535 || host.isNull())
            return Fail(QStringLiteral("--tcp needs an address such as 127.0.0.1:7000"));
        if (!server.listen(host, static_cast<quint16>(port)))
            return Fail(
                QStringLiteral("cannot listen on %1: %2").arg(tcpAddress, server.errorString()));
        std::printf("listening on %s\n", tcpAddress.toLocal8Bit().constData());
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
            std::printf("all %zu lines sent%s\n", lines.size(),
                        exitWhenDone ? "" : "; press Ctrl+C to stop");
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
