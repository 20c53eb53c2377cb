#pragma once
// What one line from a timing device says. Each device family has a small parser of one line
// (without its line ending) that knows nothing of connections, files or screens.

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace zalvik::timing {

enum class Device { Alge, TagHeuer, Generic };

struct Reading {
    enum class Kind { Ignored, Impulse, RunTime, Cleared, Unreadable };
    enum class Channel { None, Start, Finish };
    Kind kind = Kind::Ignored;  // Ignored: a line that carries no time (e.g. ALGE 'n' bib
                                // selected); Unreadable: garbage, bad checksum
    int bib = 0;                // 0: no valid bib (ALGE '?', bib 0)
    Channel channel = Channel::None;
    bool manual = false;       // a hand-made impulse
    long long timeOfDay = -1;  // Impulse: 1/10,000 s since midnight
    int day = -1;         // days since 2000-01-01 when the device sends it (TAG Heuer), else -1
    int hundredths = -1;  // RunTime: the net run time, cut (never rounded) to hundredths
    QString why;          // Unreadable: a short Japanese reason for the count/log (optional)
};

Reading ParseLine(Device device, QByteArrayView line);
QString DeviceName(Device);  // "ALGE", "TAG Heuer", "汎用"
// The device whose DeviceName() is `name`, if any.
std::optional<Device> DeviceNamed(const QString& name);

}  // namespace zalvik::timing
