#pragma once
// The connection to the timing device: a serial port (a USB-serial adapter) or a TCP peer. It
// reconnects by itself every two seconds after a failure or a lost connection, and never shows
// anything: the state and its Japanese wording are for the screen to show.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include "timing/Protocols.h"
#include "timing/TimingBoard.h"

class QSerialPort;
class QTcpSocket;
class QTimer;

namespace zalvik::timing {

struct LinkSettings {
    enum class Method { None, Serial, Tcp };
    Method method = Method::None;
    Device device = Device::Alge;
    QString port;  // serial: "/dev/ttyUSB0" or any path
    int baud = 9600;
    QString address;  // tcp: "host:port"
    // A run of 0 or longer than this is doubtful (要確認): listed, never offered.
    int longestRunMinutes = 30;
};

class TimingLink : public QObject {
    Q_OBJECT
  public:
    enum class State { Off, Connecting, Connected, Lost };

    explicit TimingLink(QObject* parent = nullptr);
    ~TimingLink() override;

    void start(const LinkSettings& settings);  // (re)connects; Method::None stops
    void stop();
    State state() const;
    const LinkSettings& settings() const;
    // Japanese, for the label 計時状態: e.g. "接続しています（/dev/ttyUSB0、9600bps）",
    // "接続していません", "接続できません（ポート /dev/ttyUSB0
    // が見つかりません）。2秒ごとに接続し直します。", "接続が切れました。2秒ごとに接続し直します。"
    QString statusText() const;
    static QStringList serialPorts();  // the system locations of the serial ports found
    static constexpr int kRetryMs = 2000;

  signals:
    void bytesReceived(QByteArray bytes);  // connect to TimingBoard::receive
    void stateChanged();

  private:
    void connectNow();
    void readAll();
    void fail(State state, const QString& reason);
    void closeConnection();
    void setState(State state, const QString& reason = {});

    LinkSettings settings_;
    State state_ = State::Off;
    QString reason_;
    QSerialPort* serial_ = nullptr;
    QTcpSocket* socket_ = nullptr;
    QTimer* retry_ = nullptr;
    QTimer* connectTimeout_ = nullptr;
    bool wasConnected_ = false;  // Lost after a connection, not a failed attempt
};

// Feeds what `link` reads to `board`, and tells the board when a connection ends so that a line
// cut short by the cable is closed before the next connection's lines arrive.
void Wire(TimingLink& link, TimingBoard& board);

// "host:port" to its parts; false when it is not of that form (port 1..65535).
bool SplitAddress(const QString& address, QString* host, quint16* port);

}  // namespace zalvik::timing
