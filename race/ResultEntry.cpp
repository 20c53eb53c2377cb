#include "race/ResultEntry.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <optional>

#include "app/Numbers.h"

namespace zalvik {

namespace {

// A box's text without blanks, full-width characters folded: blanks are skipped wherever they
// stand, as in every typed number ("1 2" is 12).
QString Compact(const QString& text) {
    QString t = FoldFullWidth(text);
    t.remove(QRegularExpression(QStringLiteral("[ \\t\\r\\n]")));
    return t;
}

// A box's text as a number that is not negative, read as a whole: empty is 0, "65.2", "６５．２"
// and " 7 " are numbers; "1:05", "1e3", "-3", "7秒" are not.
std::optional<double> WholeNumber(const QString& text) {
    const QString t = Compact(text);
    if (t.isEmpty()) return 0.0;
    static const QRegularExpression kNumber(QStringLiteral("^([0-9]+\\.?[0-9]*|\\.[0-9]+)$"));
    if (!kNumber.match(t).hasMatch()) return std::nullopt;
    return LeadingValue(t);
}

}  // namespace

QString CheckedRunTime::message() const {
    switch (fault) {
        case Fault::None:
            return {};
        case Fault::NoTime:
            return QStringLiteral("タイムが入力されていません。");
        case Fault::MinutesUnreadable:
            return QStringLiteral("分の入力が数字として読めません。");
        case Fault::SecondsUnreadable:
            return QStringLiteral("秒の入力が数字として読めません。");
        case Fault::SecondsNotBelow60:
            return QStringLiteral("秒は60未満で入力してください。");
    }
    return {};
}

CheckedRunTime CheckRunTime(const QString& minutes, const QString& seconds) {
    using Fault = CheckedRunTime::Fault;
    CheckedRunTime r;
    const std::optional<double> m = WholeNumber(minutes);
    if (!m) {
        r.fault = Fault::MinutesUnreadable;
        return r;
    }
    std::optional<double> s = WholeNumber(seconds);
    double total = 0;
    if (s) {
        if (*m != 0 && *s >= 60) {
            r.fault = Fault::SecondsNotBelow60;
            return r;
        }
        total = *m * 60.0 + *s;
    } else {
        // A time as timers show it, minutes and seconds in 秒 alone: "1:05.20".
        static const QRegularExpression kTimer(
            QStringLiteral("^([0-9]+):([0-5]?[0-9](\\.[0-9]*)?)$"));
        const QRegularExpressionMatch timer = kTimer.match(Compact(seconds));
        if (!timer.hasMatch() || !Compact(minutes).isEmpty()) {
            r.fault = Fault::SecondsUnreadable;
            return r;
        }
        total = LeadingValue(timer.captured(1)) * 60.0 + LeadingValue(timer.captured(2));
    }
    // Worked out in double and only then narrowed, so that 1 min 15.3 s is the float nearest
    // to 75.3.
    r.seconds = static_cast<float>(total);
    if (!(r.seconds > 0) || !std::isfinite(r.seconds)) r.fault = Fault::NoTime;
    return r;
}

MinutesAndSeconds SplitRunTime(float runTime) {
    if (runTime < 60) return {QString(), SingleText(runTime)};
    const Decimal d = DecimalOf(runTime);
    if (d.scale < 0 || d.scale > 9) {
        // Beyond what a typed time holds: in single precision, like the stored value.
        const float minutes = std::floor(runTime / 60.0f);
        return {SingleText(minutes), SingleText(runTime - minutes * 60.0f)};
    }
    int64_t unit = 60;
    for (int i = 0; i < d.scale; ++i) unit *= 10;
    const int64_t minutes = d.digits / unit;
    return {QString::number(minutes), DecimalText(d.digits - minutes * unit, d.scale)};
}

int FirstGateWithoutBuoy(const Competition& c, const std::array<int16_t, kMaxGates>& choices) {
    const int gates = UsedGates(c);
    for (int g = 0; g < gates; ++g)
        if (choices[g] < 0 || choices[g] >= kBuoyKinds) return g + 1;
    return 0;
}

int GateScore(const Competition& c, int choice) {
    // No choice (-1) reads entry 0 of the score table, which is never loaded and holds 0.
    return choice >= -1 && choice < kBuoyKinds ? c.buoyScore[choice + 1] : 0;
}

float ChosenBuoyTotal(const Competition& c) {
    const int gates = UsedGates(c);
    float total = 0;
    for (int g = 0; g < gates; ++g) total += GateScore(c, c.gateBuoyChoice[g]);
    return total;
}

QString BuoyTotalText(float total) {
    const QString text = SingleText(total);
    return text.startsWith(QLatin1Char('-')) ? text : QLatin1Char(' ') + text;
}

std::vector<int> RecoveredGateChoices(const std::vector<QString>& gatePoints,
                                      const Competition& c) {
    std::vector<int> choices(gatePoints.size(), -1);
    for (size_t g = 0; g < gatePoints.size(); ++g) {
        const double points = LeadingValue(gatePoints[g]);
        if (points == 0) break;
        for (int k = 1; k <= kBuoyKinds; ++k) {
            if (c.buoyScore[k] == points) {
                choices[g] = k - 1;
                break;
            }
        }
    }
    return choices;
}

}  // namespace zalvik
