#pragma once
// Serves the live results page on the venue's network. The server runs in a thread of its own
// and answers from the last published snapshot held in memory, so the program's own thread
// never waits for a client and a registration is never held up by the audience's phones.
//
// It answers GET and HEAD of "/" (the page) and "/results.json" (the JSON), and the gate
// judges' page and its two requests (see output/JudgeRequests.h): any other path gets 404, any
// other method 405. A client that sends nothing, or a request whose head
// grows beyond a few tens of kilobytes, is answered with a refusal and disconnected. A client
// that asks for more than it reads is disconnected once its unsent answers pass 1 MB, so that
// no phone can make the program's memory grow. Only clients on the computer itself or on a
// local network are answered (see IsLocalNetworkClient); any other connection is closed at once.

#include <QHostAddress>
#include <QString>
#include <memory>

#include "output/LivePage.h"

class QThread;

namespace zalvik {

namespace judges {
class JudgeBoard;
}

class LiveServer {
  public:
    // The port tried first, and how many ports after it are tried when it is taken.
    static constexpr quint16 kFirstPort = 8080;
    static constexpr int kPortsTried = 20;

    LiveServer();
    ~LiveServer();
    LiveServer(const LiveServer&) = delete;
    LiveServer& operator=(const LiveServer&) = delete;

    // Starts listening on every address of the computer (IPv4 and IPv6; see
    // setListenAddress), at the first free port from firstPort on. Returns the port, or 0 when no
    // port of the range is free (nothing runs). When already running, returns the port in use.
    quint16 start(quint16 firstPort = kFirstPort, int portsTried = kPortsTried);
    // Stops listening and disconnects every client; returns once all of it is closed.
    void stop();
    bool isRunning() const { return port_ != 0; }
    quint16 port() const { return port_; }

    // Makes `snapshot` what every following request is answered with. Safe to call whether or
    // not the server runs; the server started later serves the last one published.
    void publish(const LiveSnapshot& snapshot);

    // The judges whose phones the server answers at /judge (none: the judge page says so). The
    // board must outlive the server or be set back to null first.
    void setJudgeBoard(judges::JudgeBoard* board);

    // The address the servers started afterwards listen on; the tests use 127.0.0.1 so that
    // no other computer can reach the server they start. Every address when null.
    static void setListenAddress(const QHostAddress& address);

  private:
    struct Shared;
    class Worker;
    std::shared_ptr<Shared> shared_;
    QThread* thread_ = nullptr;
    quint16 port_ = 0;
};

// Whether a client at `address` is answered: the computer itself (loopback), a private IPv4
// network (10/8, 172.16/12, 192.168/16), a link-local address (169.254/16, fe80::/10) or an
// IPv6 unique-local one (fc00::/7), also in their IPv4-mapped IPv6 form. A venue's network is
// one of these; an address from the internet is not.
bool IsLocalNetworkClient(const QHostAddress& address);

// The computer's IPv4 address on its local network, the one a phone on the same network types:
// the first address of an interface that is up and not the loopback, private ranges first.
// "127.0.0.1" when the computer has no such address.
QString LanAddress();

// "http://<address>:<port>/".
QString LiveUrl(const QString& address, quint16 port);

}  // namespace zalvik
