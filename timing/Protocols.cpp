#include "timing/Protocols.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <limits>
#include <optional>

#include "app/Numbers.h"

namespace zalvik::timing {

namespace {

constexpr long long kTicksPerSecond = 10000;  // times of day are kept in 1/10,000 s

Reading Unreadable(const QString& why) {
    Reading r;
    r.kind = Reading::Kind::Unreadable;
    r.why = why;
    return r;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits only, at least one: the value; otherwise empty.
std::optional<long long> Digits(QByteArrayView text) {
    if (text.isEmpty() || text.size() > 12) return std::nullopt;
    long long v = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// A bib field: digits, leading blanks allowed (a device may leave out leading zeros).
std::optional<int> BibField(QByteArrayView text) {
    while (!text.isEmpty() && text.front() == ' ') text = text.sliced(1);
    const auto v = Digits(text);
    if (!v || *v > 99999) return std::nullopt;
    return static_cast<int>(*v);
}

// "[[H]H:]MM:SS[.f...]" or "SS.f..." (either '.' or ',' before the fraction, as the devices
// print it either way, or a third ':' as the PC-timer output of the Timy2 prints it), as
// 1/10,000 s. Digits of the fraction past the fourth are cut.
// `hoursMax` bounds the hours: a time of day stays below 24 h, a run time may not.
std::optional<long long> TimeField(QByteArrayView text, long long hoursMax) {
    qsizetype point = -1;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == '.' || text[i] == ',') {
            point = i;
            break;
        }
    if (point < 0 && std::count(text.begin(), text.end(), ':') == 3) point = text.lastIndexOf(':');
    const QByteArrayView whole = point < 0 ? text : text.first(point);
    const QByteArrayView fraction = point < 0 ? QByteArrayView() : text.sliced(point + 1);
    if (point >= 0 && fraction.isEmpty()) return std::nullopt;
    long long ticks = 0;
    if (!fraction.isEmpty()) {
        if (!Digits(fraction)) return std::nullopt;
        long long scale = 1000;
        for (qsizetype i = 0; i < fraction.size() && i < 4; ++i, scale /= 10)
            ticks += (fraction[i] - '0') * scale;
    }
    const QList<QByteArrayView> parts = [&] {
        QList<QByteArrayView> out;
        qsizetype from = 0;
        for (qsizetype i = 0; i <= whole.size(); ++i)
            if (i == whole.size() || whole[i] == ':') {
                out << whole.sliced(from, i - from);
                from = i + 1;
            }
        return out;
    }();
    if (parts.size() > 3) return std::nullopt;
    long long seconds = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const auto v = Digits(parts[i]);
        if (!v) return std::nullopt;
        const bool last = i == parts.size() - 1;
        // Seconds and minutes after the first field stay below 60.
        if (i > 0 && *v > 59) return std::nullopt;
        if (parts.size() == 3 && i == 0 && *v > hoursMax) return std::nullopt;
        if (last && parts.size() > 1 && parts[i].size() != 2) return std::nullopt;
        seconds = seconds * 60 + *v;
    }
    return seconds * kTicksPerSecond + ticks;
}

// The fields of a line separated by blanks, empty fields dropped.
QList<QByteArrayView> Fields(QByteArrayView line) {
    QList<QByteArrayView> out;
    qsizetype from = -1;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        const bool blank = i == line.size() || line[i] == ' ' || line[i] == '\t';
        if (blank && from >= 0) {
            out << line.sliced(from, i - from);
            from = -1;
        } else if (!blank && from < 0) {
            from = i;
        }
    }
    return out;
}

bool PrintableAscii(QByteArrayView line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            if (c != '\t') return false;
    return true;
}

// A run time in hundredths, cut; none when it does not fit (a number too large for any run,
// which must not wrap round into a plausible time).
std::optional<int> CutToHundredths(long long ticks) {
    const long long hundredths = ticks / 100;
    if (hundredths > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(hundredths);
}

// A run time read from `text`, or why it cannot be.
Reading RunTimeReading(int bib, QByteArrayView text, const QString& unreadable) {
    const auto t = TimeField(text, 99);
    if (!t) return Unreadable(unreadable);
    const auto hundredths = CutToHundredths(*t);
    if (!hundredths) return Unreadable(QStringLiteral("時間が大きすぎます"));
    Reading r;
    r.kind = Reading::Kind::RunTime;
    r.bib = bib;
    r.hundredths = *hundredths;
    return r;
}

// ALGE Timy / TdC: "yNNNNxCCCxHH:MM:SS.zhtq GGRRRR". y is the info character, NNNN the bib
// (leading zeros may be left out), x a blank (on a dual timer the course letter), CCC the
// channel (c0..c9, an M after it for a keypad impulse, RT run time, TT total time, SQ lap),
// then the time and, optionally, group and rank. "nNNNN" alone selects a bib.
Reading ParseAlge(QByteArrayView line) {
    if (!PrintableAscii(line)) return Unreadable(QStringLiteral("文字でないバイトがあります"));
    // Some printouts leave out the blank of an ordinary time; the line then starts with the bib.
    if (!line.isEmpty() && IsDigit(line[0]) && line.size() > 4 && line[4] == ' ') {
        QByteArray withBlank = ' ' + line.toByteArray();
        return ParseAlge(withBlank);
    }
    // Printouts of the manuals also show a blank between the info character and the bib.
    if (line.size() > 6 && line[1] == ' ' && line[6] == ' ' && Digits(line.sliced(2, 4))) {
        QByteArray joined = line.toByteArray();
        joined.remove(1, 1);
        return ParseAlge(joined);
    }
    if (line.size() < 5) return Unreadable(QStringLiteral("短すぎます"));
    const char info = line[0];
    const auto bib = BibField(line.sliced(1, 4));
    if (!bib) return Unreadable(QStringLiteral("ゼッケンが数字ではありません"));
    Reading r;
    r.bib = *bib;
    if (info == 'n') return r;  // a bib selected on the keypad: no time in it
    switch (info) {
        case ' ':  // an ordinary time
        case 'm':  // a time sent again from the device's memory
        case 'i':  // a time typed on the keypad
        case '?':  // a time without a valid bib
        case 'c':  // a time cleared with the CLEAR key
        case 'C':  // a memory time cleared
        case 'd':  // a time cleared by a disqualification
            break;
        default:
            return Unreadable(QStringLiteral("先頭の情報文字「%1」が読めません").arg(QChar(info)));
    }
    if (info == '?') r.bib = 0;
    const QList<QByteArrayView> fields = Fields(line.sliced(5));
    if (fields.size() < 2) return Unreadable(QStringLiteral("チャンネルか時刻がありません"));
    QByteArrayView channel = fields[0];
    // A dual timer puts the course letter where a blank stands otherwise ("0016rRT").
    if (line.size() > 5 && line[5] != ' ' && channel.size() > 2) channel = channel.sliced(1);
    const QByteArray upper = channel.toByteArray().toUpper();
    const bool cleared = info == 'c' || info == 'C' || info == 'd';
    if (upper == "RT") {
        Reading run = RunTimeReading(r.bib, fields[1], QStringLiteral("走行時間が読めません"));
        if (cleared && run.kind == Reading::Kind::RunTime) {
            run.kind = Reading::Kind::Cleared;
            run.channel = Reading::Channel::Finish;
        }
        return run;
    }
    if (upper == "TT" || upper == "SQ" || upper == "DTR") return r;  // totals and laps: no run
    if (upper.size() < 2 || upper[0] != 'C' || !IsDigit(upper[1]) ||
        (upper.size() == 3 && upper[2] != 'M') || upper.size() > 3)
        return Unreadable(QStringLiteral("チャンネル「%1」が読めません")
                              .arg(QString::fromLatin1(channel.toByteArray())));
    const auto t = TimeField(fields[1], 23);
    if (!t || fields[1].count(':') < 2) return Unreadable(QStringLiteral("時刻が読めません"));
    if (upper[1] != '0' && upper[1] != '1') return r;  // intermediate channels: no run
    r.channel = upper[1] == '0' ? Reading::Channel::Start : Reading::Channel::Finish;
    r.manual = upper.size() == 3 || info == 'i';
    r.timeOfDay = *t;
    r.kind = cleared ? Reading::Kind::Cleared : Reading::Kind::Impulse;
    return r;
}

// TAG Heuer CP 520/540/545: a record, a tab, and four hexadecimal digits that are the sum of
// the record's bytes. "TN bbbb iiii CC HH:MM:SS.FFFFF DDDDD": a new time (bib, impulse number,
// channel, an M before the channel for a hand-made impulse, the time of day, days since
// 2000-01-01). "RR bbbb ... HH:MM:SS.FFFFF ...": a net result; its time is the first field that
// reads as a time.
Reading ParseTagHeuer(QByteArrayView line) {
    if (!PrintableAscii(line)) return Unreadable(QStringLiteral("文字でないバイトがあります"));
    const qsizetype tab = line.lastIndexOf('\t');
    if (tab < 0) return Unreadable(QStringLiteral("チェックサムがありません"));
    const QByteArrayView record = line.first(tab);
    QByteArrayView sumText = line.sliced(tab + 1);
    while (!sumText.isEmpty() && sumText.back() == ' ') sumText.chop(1);
    bool ok = false;
    const unsigned sent = sumText.toByteArray().toUInt(&ok, 16);
    if (!ok || sumText.size() != 4) return Unreadable(QStringLiteral("チェックサムが読めません"));
    unsigned sum = 0;
    for (char c : record) sum += static_cast<unsigned char>(c);
    if ((sum & 0xffff) != sent) return Unreadable(QStringLiteral("チェックサムが合いません"));
    const QList<QByteArrayView> fields = Fields(record);
    if (fields.isEmpty()) return Unreadable(QStringLiteral("空のレコードです"));
    Reading r;
    if (fields[0] == "TN") {
        if (fields.size() < 5) return Unreadable(QStringLiteral("項目が足りません"));
        const auto bib = BibField(fields[1]);
        if (!bib) return Unreadable(QStringLiteral("ゼッケンが数字ではありません"));
        if (!Digits(fields[2])) return Unreadable(QStringLiteral("インパルス番号が読めません"));
        QByteArrayView channel = fields[3];
        r.bib = *bib;
        if (!channel.isEmpty() && (channel.front() == 'M' || channel.front() == 'm')) {
            r.manual = true;
            channel = channel.sliced(1);
        }
        const auto number = Digits(channel);
        if (!number) return Unreadable(QStringLiteral("チャンネルが読めません"));
        const auto t = TimeField(fields[4], 23);
        if (!t || fields[4].count(':') != 2) return Unreadable(QStringLiteral("時刻が読めません"));
        if (fields.size() > 5) {
            const auto day = Digits(fields[5]);
            if (!day || *day > 99999) return Unreadable(QStringLiteral("日付が読めません"));
            r.day = static_cast<int>(*day);
        }
        if (*number != 1 && *number != 4) return r;  // intermediate channels: no run
        r.channel = *number == 1 ? Reading::Channel::Start : Reading::Channel::Finish;
        r.timeOfDay = *t;
        r.kind = Reading::Kind::Impulse;
        return r;
    }
    if (fields[0] == "RR") {
        if (fields.size() < 3) return Unreadable(QStringLiteral("項目が足りません"));
        const auto bib = BibField(fields[1]);
        if (!bib) return Unreadable(QStringLiteral("ゼッケンが数字ではありません"));
        for (qsizetype i = 2; i < fields.size(); ++i) {
            if (!fields[i].contains(':') && !fields[i].contains('.')) continue;
            return RunTimeReading(*bib, fields[i], QStringLiteral("走行時間が読めません"));
        }
        return Unreadable(QStringLiteral("走行時間がありません"));
    }
    return r;  // other records (acknowledgements, status): nothing to take
}

// Any device that sends text: "bib,time" or "bib;time", the time as seconds ("61.52") or
// minutes and seconds ("1:01.52"); full-width digits and signs count as their ASCII forms.
Reading ParseGeneric(QByteArrayView line) {
    QString text = QString::fromUtf8(line);
    if (text.contains(QChar::ReplacementCharacter) || line.contains('\0'))
        return Unreadable(QStringLiteral("文字でないバイトがあります"));
    text = FoldFullWidth(text);
    text.replace(QChar(0xFF0C), QLatin1Char(',')).replace(QChar(0xFF1B), QLatin1Char(';'));
    text = text.trimmed();
    if (text.isEmpty()) return {};
    const qsizetype split = text.indexOf(QRegularExpression(QStringLiteral("[,;]")));
    if (split < 0) return Unreadable(QStringLiteral("「ゼッケン,時間」の形ではありません"));
    const QByteArray bibText = text.first(split).trimmed().toLatin1();
    const QByteArray timeText = text.sliced(split + 1).trimmed().toLatin1();
    const auto bib = BibField(bibText);
    if (!bib) return Unreadable(QStringLiteral("ゼッケンが数字ではありません"));
    return RunTimeReading(*bib, timeText, QStringLiteral("時間が読めません"));
}

}  // namespace

Reading ParseLine(Device device, QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\r' || line.back() == '\n')) line.chop(1);
    if (line.isEmpty()) return {};
    switch (device) {
        case Device::Alge:
            return ParseAlge(line);
        case Device::TagHeuer:
            return ParseTagHeuer(line);
        case Device::Generic:
            break;
    }
    return ParseGeneric(line);
}

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

std::optional<Device> DeviceNamed(const QString& name) {
    for (Device d : {Device::Alge, Device::TagHeuer, Device::Generic})
        if (DeviceName(d) == name) return d;
    return std::nullopt;
}

}  // namespace zalvik::timing
