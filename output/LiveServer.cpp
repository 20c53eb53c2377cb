#include "output/LiveServer.h"

#include <sys/socket.h>

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include "output/JudgeRequests.h"

namespace zalvik {

namespace {

// A connection that has sent no complete request for this long is answered and closed.
constexpr int kIdleMilliseconds = 2000;
// The longest request head accepted; a longer one is refused before it is parsed further.
constexpr qint64 kMaxRequestBytes = 32 * 1024;
// The longest body accepted (a judge's batch of entries); a longer one is refused as soon as its
// length is known, before it is read.
constexpr qint64 kMaxBodyBytes = 64 * 1024;
// Connections beyond this many at once are closed as they arrive, so that a flood of clients
// cannot use up the program's file handles.
constexpr int kMaxConnections = 512;
// A connection whose answers not yet taken by the client pass this is closed: a client that
// keeps asking without reading would otherwise hold every answer in the program's memory.
constexpr qint64 kMaxUnsentBytes = 1024 * 1024;

// The address set for the servers started from now on; null for every address.
QHostAddress& ListenAddress() {
    static QHostAddress address;
    return address;
}

// Closes a connection whose unsent answers have passed the bound; true when it is closed, then
// or earlier (requests that came in one piece with the one that filled it get no answer).
bool CloseIfOverfull(QTcpSocket* socket) {
    if (socket->state() != QAbstractSocket::ConnectedState) return true;
    if (socket->bytesToWrite() <= kMaxUnsentBytes) return false;
    socket->abort();
    return true;
}

const QByteArray kHtmlType = QByteArrayLiteral("text/html; charset=utf-8");
const QByteArray kJsonType = QByteArrayLiteral("application/json; charset=utf-8");
const QByteArray kTextType = QByteArrayLiteral("text/plain; charset=utf-8");

// A refusal written straight to the socket, for the cases that never reach the HTTP layer.
// Only the sending side is closed: what the client still sends is read and dropped, so that it
// gets the answer rather than a reset, until the idle timer ends the connection.
void Refuse(QTcpSocket* socket, const char* statusLine) {
    socket->write(QByteArray("HTTP/1.1 ") + statusLine +
                  "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    socket->flush();
    ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
    socket->readAll();
}

// The Content-Length of a request head; 0 when it has none.
qint64 DeclaredBodyLength(const QByteArray& head) {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 &&
            line.left(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed().toLongLong();
    }
    return 0;
}

// Accepts connections with the guards above; the HTTP layer takes the sockets from here.
class GuardedTcpServer : public QTcpServer {
  public:
    using QTcpServer::QTcpServer;

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (open_ >= kMaxConnections || !IsLocalNetworkClient(socket->peerAddress())) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);

        struct State {
            qint64 unanswered = 0;  // bytes received since the last answer
            bool answered = false;  // some answer went out on this connection
            bool refused = false;
            QByteArray head;  // the request head so far, until its blank line
            bool headDone = false;
        };
        auto state = std::make_shared<State>();
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->setInterval(kIdleMilliseconds);
        // Connected before the HTTP layer connects its own, so this runs first on every read.
        connect(socket, &QTcpSocket::readyRead, socket, [socket, state, idle] {
            if (state->refused) {
                socket->readAll();
                return;
            }
            const qint64 arrived = socket->bytesAvailable();
            state->unanswered += arrived;
            if (!state->headDone) {
                state->head += socket->peek(std::min(arrived, kMaxRequestBytes + 4));
                const qsizetype end = state->head.indexOf("\r\n\r\n");
                if (end >= 0) {
                    state->headDone = true;
                    state->head.truncate(end);
                }
            }
            const char* refusal = nullptr;
            if (!state->headDone && state->unanswered > kMaxRequestBytes)
                refusal = "431 Request Header Fields Too Large";
            else if (state->headDone && (DeclaredBodyLength(state->head) > kMaxBodyBytes ||
                                         state->unanswered > kMaxRequestBytes + kMaxBodyBytes))
                refusal = "413 Content Too Large";
            if (refusal) {
                state->refused = true;
                Refuse(socket, refusal);
                idle->start();
            }
        });
        connect(socket, &QTcpSocket::bytesWritten, socket, [state, idle] {
            if (state->refused) return;
            state->unanswered = 0;
            state->head.clear();
            state->headDone = false;
            state->answered = true;
            idle->start();
        });
        connect(idle, &QTimer::timeout, socket, [socket, state, idle] {
            if (state->refused) {
                socket->abort();
                return;
            }
            state->refused = true;
            // A connection kept open after its answers is simply closed; one that never
            // finished a request is told so.
            if (!state->answered || state->unanswered > 0) {
                Refuse(socket, "408 Request Timeout");
                idle->start();
            } else {
                socket->disconnectFromHost();
            }
        });
        idle->start();
        addPendingConnection(socket);
    }

  private:
    int open_ = 0;
};

}  // namespace

struct LiveServer::Shared {
    QMutex mutex;
    LiveSnapshot snapshot;
    judges::JudgeBoard* judges = nullptr;

    judges::JudgeBoard* judgeBoard() {
        QMutexLocker lock(&mutex);
        return judges;
    }

    LiveSnapshot current() {
        QMutexLocker lock(&mutex);
        return snapshot;  // the byte arrays are shared, not copied
    }
};

// The HTTP side, living in the server's thread.
class LiveServer::Worker : public QAbstractHttpServer {
  public:
    explicit Worker(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    quint16 listenFrom(quint16 firstPort, int portsTried) {
        for (int i = 0; i < portsTried; ++i) {
            const int port = firstPort + i;
            if (port > 65535) break;
            auto* tcp = new GuardedTcpServer(this);
            const QHostAddress set = ListenAddress();
            // Both protocols where the computer has IPv6, IPv4 alone where it has not.
            const bool listening =
                set.isNull() ? tcp->listen(QHostAddress::Any, static_cast<quint16>(port)) ||
                                   (tcp->serverError() != QAbstractSocket::AddressInUseError &&
                                    tcp->listen(QHostAddress::AnyIPv4, static_cast<quint16>(port)))
                             : tcp->listen(set, static_cast<quint16>(port));
            if (listening) {
                bind(tcp);
                return static_cast<quint16>(port);
            }
            delete tcp;
        }
        return 0;
    }

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        if (CloseIfOverfull(socket)) return true;
        answer(request, socket);
        CloseIfOverfull(socket);
        return true;
    }

    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        if (CloseIfOverfull(socket)) return;
        makeResponder(request, socket)
            .write(QByteArrayLiteral("404 Not Found\n"), kTextType,
                   QHttpServerResponder::StatusCode::NotFound);
    }

  private:
    void answer(const QHttpServerRequest& request, QTcpSocket* socket) {
        QHttpServerResponder responder = makeResponder(request, socket);
        const QString path = request.url().path();
        if (path == QLatin1String("/judge") || path.startsWith(QLatin1String("/judge/"))) {
            AnswerJudge(request, socket, responder, shared_->judgeBoard());
            return;
        }
        const bool page = path == QLatin1String("/");
        const bool json = path == QLatin1String("/results.json");
        if (!page && !json) {
            responder.write(QByteArrayLiteral("404 Not Found\n"), kTextType,
                            QHttpServerResponder::StatusCode::NotFound);
            return;
        }
        const QHttpServerRequest::Method method = request.method();
        if (method != QHttpServerRequest::Method::Get &&
            method != QHttpServerRequest::Method::Head) {
            responder.write(QByteArrayLiteral("405 Method Not Allowed\n"),
                            {{"Content-Type", kTextType}, {"Allow", "GET, HEAD"}},
                            QHttpServerResponder::StatusCode::MethodNotAllowed);
            return;
        }
        const LiveSnapshot snapshot = shared_->current();
        const QByteArray& body = page ? snapshot.html : snapshot.json;
        const QByteArray& type = page ? kHtmlType : kJsonType;
        if (method == QHttpServerRequest::Method::Head) {
            // The headers a GET would get, without the body.
            responder.writeStatusLine(QHttpServerResponder::StatusCode::Ok);
            responder.writeHeader("Content-Type", type);
            responder.writeHeader("Content-Length", QByteArray::number(body.size()));
            responder.writeHeader("Cache-Control", "no-store");
            responder.writeBody(QByteArray());
            return;
        }
        responder.write(body, {{"Content-Type", type}, {"Cache-Control", "no-store"}},
                        QHttpServerResponder::StatusCode::Ok);
    }

    std::shared_ptr<Shared> shared_;
};

LiveServer::LiveServer() : shared_(std::make_shared<Shared>()) {}

LiveServer::~LiveServer() { stop(); }

quint16 LiveServer::start(quint16 firstPort, int portsTried) {
    if (port_ != 0) return port_;
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("live results server"));
    auto* worker = new Worker(shared_);
    worker->moveToThread(thread);
    QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    thread->start();
    quint16 port = 0;
    QMetaObject::invokeMethod(
        worker,
        [worker, &port, firstPort, portsTried] {
            port = worker->listenFrom(firstPort, portsTried);
        },
        Qt::BlockingQueuedConnection);
    if (port == 0) {
        thread->quit();
        thread->wait();
        delete thread;
        return 0;
    }
    thread_ = thread;
    port_ = port;
    return port;
}

void LiveServer::stop() {
    if (!thread_) return;
    // The worker, its listening sockets and its clients are deleted as the thread finishes.
    thread_->quit();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    port_ = 0;
}

void LiveServer::publish(const LiveSnapshot& snapshot) {
    QMutexLocker lock(&shared_->mutex);
    shared_->snapshot = snapshot;
}

void LiveServer::setJudgeBoard(judges::JudgeBoard* board) {
    QMutexLocker lock(&shared_->mutex);
    shared_->judges = board;
}

void LiveServer::setListenAddress(const QHostAddress& address) { ListenAddress() = address; }

bool IsLocalNetworkClient(const QHostAddress& address) {
    QHostAddress a = address;
    bool mapped = false;
    const quint32 v4 = a.toIPv4Address(&mapped);
    if (mapped) a = QHostAddress(v4);  // also "::ffff:10.1.2.3"
    static const QList<QPair<QHostAddress, int>> kNetworks = {
        QHostAddress::parseSubnet(QStringLiteral("127.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")),
        QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("169.254.0.0/16")),
        QHostAddress::parseSubnet(QStringLiteral("::1/128")),
        QHostAddress::parseSubnet(QStringLiteral("fe80::/10")),
        QHostAddress::parseSubnet(QStringLiteral("fc00::/7")),
    };
    for (const auto& network : kNetworks)
        if (a.isInSubnet(network)) return true;
    return false;
}

QString LanAddress() {
    QHostAddress best;
    int bestScore = -1;
    for (const QNetworkInterface& nif : QNetworkInterface::allInterfaces()) {
        const auto flags = nif.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : nif.addressEntries()) {
            const QHostAddress a = entry.ip();
            if (a.protocol() != QAbstractSocket::IPv4Protocol || a.isLoopback() || a.isLinkLocal())
                continue;
            // A private address is the venue's own network; a public one comes after it.
            const bool privateUse = a.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8) ||
                                    a.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12) ||
                                    a.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16);
            const int score = privateUse ? 2 : 1;
            if (score > bestScore) {
                best = a;
                bestScore = score;
            }
        }
    }
    return bestScore < 0 ? QStringLiteral("127.0.0.1") : best.toString();
}

QString LiveUrl(const QString& address, quint16 port) {
    return QStringLiteral("http://%1:%2/").arg(address).arg(port);
}

}  // namespace zalvik
