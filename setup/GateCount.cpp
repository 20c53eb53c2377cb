#include "setup/GateCount.h"

#include "app/Competition.h"
#include "app/Numbers.h"

namespace zalvik {

GateCountValue ParseGateCount(const QString& text) {
    GateCountValue r;
    r.value = LeadingValue(text);
    if (r.value == 0) return r;
    const std::optional<int16_t> gates = ToInt16(r.value);
    const std::optional<int16_t> rows = ToInt16(r.value + 1);
    if (!gates || !rows || *gates < 0 || *gates > kMaxGates || *rows < 1 || *rows > kMaxGates + 1) {
        r.kind = GateCountValue::Kind::OutOfRange;
        return r;
    }
    r.kind = GateCountValue::Kind::Count;
    r.gates = *gates;
    r.rows = *rows;
    return r;
}

QString GateCountRefusedMessage(const QString& text) {
    return QStringLiteral("ゲート数「%1」は使えません。ゲート数は1から12までの数を選んでください。")
        .arg(text);
}

std::optional<int16_t> ParseGateBuoyCount(const QString& text) {
    const double v = LeadingValue(text);
    if (!(v < 6)) return std::nullopt;
    return ToInt16(v);
}

}  // namespace zalvik
