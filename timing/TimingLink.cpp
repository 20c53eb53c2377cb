#include "timing/TimingLink.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTcpSocket>
#include <QTimer>

namespace zalvik::timing {

TimingLink::TimingLink(QObject* parent) : QObject(parent) {}
TimingLink::~TimingLink() = default;
void TimingLink::start(const LinkSettings& settings) { settings_ = settings; }
void TimingLink::stop() {}
TimingLink::State TimingLink::state() const { return state_; }
const LinkSettings& TimingLink::settings() const { return settings_; }
QString TimingLink::statusText() const { return QStringLiteral("接続していません"); }
QStringList TimingLink::serialPorts() {
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    return ports;
}
void TimingLink::connectNow() {}
void TimingLink::fail(State, const QString&) {}
void TimingLink::closeConnection() {}
void TimingLink::setState(State state, const QString& reason) {
    state_ = state;
    reason_ = reason;
}

}  // namespace zalvik::timing
