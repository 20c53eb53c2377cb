#include "setup/GateCount.h"

#include "app/Competition.h"
#include "app/Numbers.h"

namespace zalvik {

GateCountValue ParseGateCount(const QString& text) {
    GateCountValue r;
    r.value = TypedValue(text);
    if (r.value == 0) return r;
    // One conversion for every reader of the text: the nearest whole number, halves to even
    // ("12.5" is 12 gates, "4.6" is 5), and the grid has one row per gate below its header.
    const std::optional<int16_t> gates = ToInt16(r.value);
    if (!gates || *gates < 0 || *gates > kMaxGates) {
        r.kind = GateCountValue::Kind::OutOfRange;
        return r;
    }
    r.kind = GateCountValue::Kind::Count;
    r.gates = *gates;
    r.rows = static_cast<int16_t>(*gates + 1);
    return r;
}

QString GateCountRefusedMessage(const QString& text) {
    return QStringLiteral("ゲート数「%1」は使えません。ゲート数は1から12までの数を選んでください。")
        .arg(text);
}

std::optional<int16_t> ParseGateBuoyCount(const QString& text) {
    const double v = TypedValue(text);
    if (!(v < 6)) return std::nullopt;
    return ToInt16(v);
}

}  // namespace zalvik
