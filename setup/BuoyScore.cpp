#include "setup/BuoyScore.h"

#include "app/Numbers.h"

namespace zalvik {

std::optional<int16_t> ParseBuoyScore(const QString& text) { return ToInt16(TypedValue(text)); }

QString BuoyScoreRefusedMessage(int k, const QString& name, const QString& text) {
    const QString buoy = name.isEmpty()
                             ? QStringLiteral("ﾌﾞｲ %1").arg(k)
                             : QStringLiteral("ﾌﾞｲ %1（%2）").arg(QString::number(k), name);
    return QStringLiteral(
               "%1の得点「%2」は-32768から32767までの数ではないため、設定を反映しませんでした。")
        .arg(buoy, text);
}

}  // namespace zalvik
