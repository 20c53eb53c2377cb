#include "timing/Protocols.h"

namespace zalvik::timing {

Reading ParseLine(Device, QByteArrayView) { return {}; }

QString DeviceName(Device device) {
    switch (device) {
        case Device::Alge:
            return QStringLiteral("ALGE");
        case Device::TagHeuer:
            return QStringLiteral("TAG Heuer");
        case Device::Generic:
            break;
    }
    return QStringLiteral("汎用");
}

}  // namespace zalvik::timing
