#include "setup/DateText.h"

#include <QRegularExpression>

namespace zalvik {

QDate InitialEventDate() { return QDate(2002, 1, 7); }

QString DateText(const QDate& d) { return d.toString(QStringLiteral("yyyy/MM/dd")); }

std::optional<QDate> DateFromText(const QString& text) {
    const QString t = text.trimmed();
    static const QRegularExpression ymd(QStringLiteral(
        R"(^(\d{4})\s*[/.\-年]\s*(\d{1,2})\s*[/.\-月]\s*(\d{1,2})\s*日?(?:[\sT]+\d{1,2}:\d{2}(?::\d{2}(?:\.\d+)?)?)?$)"));
    if (const QRegularExpressionMatch m = ymd.match(t); m.hasMatch()) {
        const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (d.isValid()) return d;
        return std::nullopt;
    }
    // A day number of the spreadsheet's 1900 date system, possibly with a time fraction. Day 60
    // is the 29 February 1900 that never was; from day 61 on, day 1 counts from 30 December 1899.
    static const QRegularExpression serial(QStringLiteral(R"(^(\d{1,7})(?:\.\d+)?$)"));
    if (const QRegularExpressionMatch m = serial.match(t); m.hasMatch()) {
        const qint64 n = m.captured(1).toLongLong();
        if (n < 1 || n > 2958465) return std::nullopt;  // up to 9999/12/31
        if (n == 60) return std::nullopt;
        const QDate d = n > 60 ? QDate(1899, 12, 30).addDays(n) : QDate(1899, 12, 31).addDays(n);
        return d;
    }
    return std::nullopt;
}

}  // namespace zalvik
