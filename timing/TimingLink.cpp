#include "timing/TimingLink.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTcpSocket>
#include <QTimer>

namespace zalvik::timing {

namespace {
// A TCP peer that neither accepts nor refuses (a device switched off on a network that drops
// packets) is given up after this long, and tried again like any other failure.
constexpr int kConnectTimeoutMs = 5000;
}  // namespace

bool SplitAddress(const QString& address, QString* host, quint16* port) {
    const QString text = address.trimmed();
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return false;
    bool ok = false;
    const uint p = text.sliced(colon + 1).toUInt(&ok);
    if (!ok || p == 0 || p > 65535) return false;
    QString h = text.first(colon);
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.sliced(1, h.size() - 2);
    if (h.isEmpty()) return false;
    *host = h;
    *port = static_cast<quint16>(p);
    return true;
}

TimingLink::TimingLink(QObject* parent) : QObject(parent) {
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    retry_->setInterval(kRetryMs);
    connect(retry_, &QTimer::timeout, this, &TimingLink::connectNow);
    connectTimeout_ = new QTimer(this);
    connectTimeout_->setSingleShot(true);
    connectTimeout_->setInterval(kConnectTimeoutMs);
    connect(connectTimeout_, &QTimer::timeout, this, [this] {
        fail(State::Lost, QStringLiteral("%1 から応答がありません").arg(settings_.address));
    });
}

TimingLink::~TimingLink() { closeConnection(); }

void TimingLink::start(const LinkSettings& settings) {
    closeConnection();
    retry_->stop();
    settings_ = settings;
    wasConnected_ = false;
    if (settings.method == LinkSettings::Method::None) {
        setState(State::Off);
        return;
    }
    connectNow();
}

void TimingLink::stop() {
    closeConnection();
    retry_->stop();
    settings_.method = LinkSettings::Method::None;
    wasConnected_ = false;
    setState(State::Off);
}

TimingLink::State TimingLink::state() const { return state_; }

const LinkSettings& TimingLink::settings() const { return settings_; }

QString TimingLink::statusText() const {
    const QString where = settings_.method == LinkSettings::Method::Serial
                              ? QStringLiteral("%1、%2bps").arg(settings_.port).arg(settings_.baud)
                              : settings_.address.trimmed();
    switch (state_) {
        case State::Off:
            return QStringLiteral("接続していません");
        case State::Connecting:
            return QStringLiteral("接続しようとしています（%1）").arg(where);
        case State::Connected:
            return QStringLiteral("接続しています（%1）").arg(where);
        case State::Lost:
            break;
    }
    if (!retry_->isActive() && reason_.isEmpty()) return QStringLiteral("接続していません");
    if (wasConnected_) return QStringLiteral("接続が切れました。2秒ごとに接続し直します。");
    if (!retry_->isActive())  // a setting that no retry can mend
        return QStringLiteral("接続できません（%1）。設定を確かめてください。").arg(reason_);
    return QStringLiteral("接続できません（%1）。2秒ごとに接続し直します。").arg(reason_);
}

QStringList TimingLink::serialPorts() {
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    ports.sort();
    return ports;
}

void TimingLink::setState(State state, const QString& reason) {
    const bool changed = state != state_ || reason != reason_;
    state_ = state;
    reason_ = reason;
    if (changed) emit stateChanged();
}

void TimingLink::closeConnection() {
    connectTimeout_->stop();
    if (serial_) {
        serial_->disconnect(this);
        serial_->close();
        serial_->deleteLater();
        serial_ = nullptr;
    }
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
}

void TimingLink::fail(State state, const QString& reason) {
    // Whatever was read before the failure is passed on first.
    readAll();
    const bool hadConnection = state_ == State::Connected;
    closeConnection();
    if (hadConnection) wasConnected_ = true;
    retry_->start();
    setState(state, reason);
}

void TimingLink::readAll() {
    if (serial_ && serial_->isOpen()) {
        const QByteArray bytes = serial_->readAll();
        if (!bytes.isEmpty()) emit bytesReceived(bytes);
    }
    if (socket_ && socket_->isOpen()) {
        const QByteArray bytes = socket_->readAll();
        if (!bytes.isEmpty()) emit bytesReceived(bytes);
    }
}

namespace {

QString SerialReason(QSerialPort::SerialPortError error, const QString& port) {
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return QStringLiteral("ポート %1 が見つかりません").arg(port);
        case QSerialPort::PermissionError:
            return QStringLiteral(
                       "ポート %1 "
                       "を開けません。ほかのプログラムが使っているか、使う権限がありません"
                       "（dialout グループ）")
                .arg(port);
        case QSerialPort::OpenError:
            return QStringLiteral("ポート %1 はすでに開いています").arg(port);
        case QSerialPort::UnsupportedOperationError:
            return QStringLiteral("ポート %1 はこの設定を受け付けません").arg(port);
        default:
            return QStringLiteral("ポート %1 を開けません").arg(port);
    }
}

QString SocketReason(QAbstractSocket::SocketError error, const QString& address) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return QStringLiteral("%1 が接続を受け付けません").arg(address);
        case QAbstractSocket::HostNotFoundError:
            return QStringLiteral("%1 のホストが見つかりません").arg(address);
        case QAbstractSocket::SocketTimeoutError:
            return QStringLiteral("%1 から応答がありません").arg(address);
        case QAbstractSocket::NetworkError:
            return QStringLiteral("ネットワークにつながっていません");
        default:
            return QStringLiteral("%1 に接続できません").arg(address);
    }
}

}  // namespace

void TimingLink::connectNow() {
    closeConnection();
    if (settings_.method == LinkSettings::Method::Serial) {
        const QString port = settings_.port.trimmed();
        if (port.isEmpty()) {
            setState(State::Lost, QStringLiteral("ポートが選ばれていません"));
            return;
        }
        serial_ = new QSerialPort(this);
        serial_->setPortName(port);
        serial_->setBaudRate(settings_.baud);
        serial_->setDataBits(QSerialPort::Data8);
        serial_->setParity(QSerialPort::NoParity);
        serial_->setStopBits(QSerialPort::OneStop);
        serial_->setFlowControl(QSerialPort::NoFlowControl);
        if (!serial_->open(QIODevice::ReadOnly)) {
            fail(State::Lost, SerialReason(serial_->error(), port));
            return;
        }
        connect(serial_, &QSerialPort::readyRead, this, &TimingLink::readAll);
        connect(serial_, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) {
                    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
                    fail(State::Lost, QStringLiteral("接続が切れました"));
                });
        wasConnected_ = false;
        setState(State::Connected);
        return;
    }
    QString host;
    quint16 port = 0;
    if (!SplitAddress(settings_.address, &host, &port)) {
        setState(State::Lost, QStringLiteral("アドレス「%1」が「ホスト:ポート」の形ではありません")
                                  .arg(settings_.address.trimmed()));
        return;
    }
    socket_ = new QTcpSocket(this);
    connect(socket_, &QTcpSocket::connected, this, [this] {
        connectTimeout_->stop();
        wasConnected_ = false;
        setState(State::Connected);
    });
    connect(socket_, &QTcpSocket::readyRead, this, &TimingLink::readAll);
    connect(socket_, &QTcpSocket::disconnected, this,
            [this] { fail(State::Lost, QStringLiteral("接続が切れました")); });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        fail(State::Lost, SocketReason(error, settings_.address.trimmed()));
    });
    setState(State::Connecting);
    connectTimeout_->start();
    socket_->connectToHost(host, port);
}

void Wire(TimingLink& link, TimingBoard& board) {
    QObject::connect(&link, &TimingLink::bytesReceived, &board,
                     [&board](const QByteArray& bytes) { board.receive(bytes); });
    QObject::connect(&link, &TimingLink::stateChanged, &board, [&link, &board] {
        if (link.state() != TimingLink::State::Connected) board.endOfStream();
    });
}

}  // namespace zalvik::timing
