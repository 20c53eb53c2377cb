#include "race/Formatting.h"

#include <cmath>

#include "app/Numbers.h"

namespace zalvik {

QString FormatHundredths(double value) {
    // Everything works on the seven-digit text of the single-precision value, not on the
    // exact number: 1.0000001 reads as "1" and is therefore treated as a whole number.
    QString s = SingleText(static_cast<float>(value));
    const double readBack = LeadingValue(s);

    if (readBack - std::floor(readBack) != 0) {
        // A fraction: pad it to two digits. A fraction that already has two or more digits is
        // kept as it is, neither rounded nor cut ("123.456" stays).
        const qsizetype p = s.trimmed().indexOf(QLatin1Char('.')) + 1;  // 1-based, 0 if none
        for (qsizetype pos = p + 1; pos <= p + 2; ++pos) {
            if (s.mid(pos - 1, 1).trimmed().isEmpty()) s += QLatin1Char('0');
        }
        // One integer digit gets a leading zero here ("05.25"), unlike the whole-number case.
        if (p == 2) s.prepend(QLatin1Char('0'));
        return s;
    }

    // A whole number: a single character gets a leading blank, not a zero (" 5.00"), so that
    // it lines up with two-digit values; five or more characters get no decimals at all.
    const qsizetype n = s.trimmed().size();
    if (n == 0) return QStringLiteral("00.00");
    if (n == 1) return QLatin1Char(' ') + s + QStringLiteral(".00");
    if (n <= 4) return s + QStringLiteral(".00");
    return s;
}

}  // namespace zalvik
