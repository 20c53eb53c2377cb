#include "store/Journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>

#include "app/Numbers.h"
#include "sheet/Workbook.h"
#include "store/InputSheet.h"
#include "store/SettingsWriter.h"

namespace zalvik::store {

namespace {

const char kBom[] = "\xEF\xBB\xBF";
constexpr int kFixedFields = 8;  // time, action, bib, name, run time, buoys, race points, status

QByteArray Heading() {
    QString h = QStringLiteral("日時,操作,ゼッケン,氏名,タイム,ブイポイント,レースポイント,状態");
    for (int g = 1; g <= 12; ++g) h += QStringLiteral(",ゲート%1").arg(g);
    return h.toUtf8() + "\r\n";
}

// A field of a line: quoted when it holds a comma or a quote; line breaks become spaces, so
// that an entry is always one line.
QString Field(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

// The shortest text that reads back as the same float.
QString FloatText(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

std::optional<float> ReadFloat(const QString& text) {
    const QByteArray b = text.toLatin1();
    float v = 0;
    const auto r = std::from_chars(b.constData(), b.constData() + b.size(), v);
    if (r.ec != std::errc() || r.ptr != b.constData() + b.size() || b.isEmpty()) return {};
    return v;
}

std::optional<int> ReadInt(const QString& text) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok) return {};
    return v;
}

// Splits one line into its fields; nullopt when a quote is left open.
std::optional<QStringList> SplitFields(const QString& line) {
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar ch = line[i];
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += ch;
            }
        } else if (ch == QLatin1Char('"')) {
            quoted = true;
        } else if (ch == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else {
            field += ch;
        }
    }
    if (quoted) return {};
    fields << field;
    return fields;
}

std::optional<JournalEntry::Action> ActionOf(const QString& word) {
    using A = JournalEntry::Action;
    for (A a : {A::Registration, A::TakeBack, A::Settings, A::ResultsSheet})
        if (ActionWord(a) == word) return a;
    return {};
}

std::optional<JournalEntry> ParseLine(const QString& line) {
    static const QRegularExpression kTime(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    const std::optional<QStringList> fields = SplitFields(line);
    if (!fields || fields->size() < 2) return {};
    const QStringList& f = *fields;
    JournalEntry e;
    if (!kTime.match(f[0]).hasMatch()) return {};
    e.time = f[0];
    const auto action = ActionOf(f[1]);
    if (!action) return {};
    e.action = *action;
    switch (e.action) {
        case JournalEntry::Action::Registration: {
            if (f.size() < kFixedFields || f.size() > kFixedFields + 12) return {};
            const auto bib = ReadInt(f[2]);
            const auto run = ReadFloat(f[4]);
            const auto buoys = ReadFloat(f[5]);
            const auto race = ReadFloat(f[6]);
            const auto status = ReadInt(f[7]);
            if (!bib || !run || !buoys || !race || !status) return {};
            e.bib = *bib;
            e.name = f[3];
            e.runTime = *run;
            e.buoyPoints = *buoys;
            e.racePoints = *race;
            e.status = *status;
            for (int i = kFixedFields; i < f.size(); ++i) e.gates.push_back(f[i]);
            return e;
        }
        case JournalEntry::Action::TakeBack: {
            if (f.size() < 3) return {};
            const auto bib = ReadInt(f[2]);
            if (!bib) return {};
            e.bib = *bib;
            if (f.size() > 3) e.name = f[3];
            return e;
        }
        case JournalEntry::Action::Settings:
        case JournalEntry::Action::ResultsSheet:
            e.details = f.mid(4);
            return e;
    }
    return {};
}

QString ErrnoText(int e) {
    switch (e) {
        case EACCES:
        case EPERM:
        case EROFS:
            return QStringLiteral("書き込みの許可がありません");
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("空き容量がありません");
        case EISDIR:
            return QStringLiteral("同じ名前のフォルダーがあります");
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("フォルダーが見つかりません");
        default:
            return QStringLiteral("エラー番号%1").arg(e);
    }
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// The cell text of a sheet cell, as the journal's gate fields compare with it.
QString CellTextAt(const sheet::Worksheet& ws, int row, int col) {
    return CellText(ws.value(row, col));
}

// Whether the competitor row already holds what the entry wrote.
bool RowHolds(const sheet::Worksheet& ws, int row, const JournalEntry& e) {
    if (e.action == JournalEntry::Action::TakeBack) {
        for (int c = kColRunTime; c <= kColFirstGate + 11; ++c)
            if (!ws.value(row, c).isEmpty()) return false;
        return true;
    }
    if (ws.value(row, kColRunTime).isEmpty()) return false;
    auto same = [&](int col, float v) {
        const std::optional<double> n = CellNumber(ws.value(row, col));
        return n && static_cast<float>(*n) == v;
    };
    if (!same(kColRunTime, e.runTime) || !same(kColBuoyPoints, e.buoyPoints) ||
        !same(kColRacePoints, e.racePoints))
        return false;
    const std::optional<double> status = CellNumber(ws.value(row, kColStatus));
    if (!status || *status != e.status) return false;
    for (size_t g = 0; g < e.gates.size(); ++g)
        if (CellTextAt(ws, row, kColFirstGate + static_cast<int>(g)) != e.gates[g]) return false;
    return true;
}

}  // namespace

JournalEntry SettingsEntry(const std::vector<SettingsCell>& cells) {
    JournalEntry e;
    e.action = JournalEntry::Action::Settings;
    e.settingsCells = cells;
    for (const SettingsCell& c : cells) {
        const QString cell = QString::fromStdString(sheet::CellName(c.row, c.col));
        QString value;
        switch (c.kind) {
            case SettingsCell::Kind::Text:
                value = c.text;
                break;
            case SettingsCell::Kind::Integer:
                value = QString::number(c.integer);
                break;
            case SettingsCell::Kind::Date:
                value = c.date.toString(QStringLiteral("yyyy/MM/dd"));
                break;
        }
        e.details << cell + QLatin1Char('=') + value;
    }
    return e;
}

JournalEntry ResultsSheetEntry(int classNo, const QString& className) {
    JournalEntry e;
    e.action = JournalEntry::Action::ResultsSheet;
    e.classNo = classNo;
    e.details << QStringLiteral("クラス%1").arg(classNo) << className;
    return e;
}

QString JournalPathFor(const QString& workbookPath) {
    const QFileInfo info(workbookPath);
    const QString base = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    return info.dir().filePath(base + QStringLiteral(".journal.csv"));
}

QString ActionWord(JournalEntry::Action action) {
    switch (action) {
        case JournalEntry::Action::Registration:
            return QStringLiteral("登録");
        case JournalEntry::Action::TakeBack:
            return QStringLiteral("取消");
        case JournalEntry::Action::Settings:
            return QStringLiteral("設定");
        case JournalEntry::Action::ResultsSheet:
            return QStringLiteral("成績表");
    }
    return {};
}

QString JournalTimeNow() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QByteArray JournalLine(const JournalEntry& e) {
    QStringList f;
    f << Field(e.time.isEmpty() ? JournalTimeNow() : e.time) << ActionWord(e.action);
    switch (e.action) {
        case JournalEntry::Action::Registration:
            f << QString::number(e.bib) << Field(e.name) << FloatText(e.runTime)
              << FloatText(e.buoyPoints) << FloatText(e.racePoints) << QString::number(e.status);
            for (const QString& g : e.gates) f << Field(g);
            break;
        case JournalEntry::Action::TakeBack:
            f << QString::number(e.bib) << Field(e.name);
            break;
        case JournalEntry::Action::Settings:
        case JournalEntry::Action::ResultsSheet:
            f << QString() << QString();
            for (const QString& d : e.details) f << Field(d);
            break;
    }
    return f.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QString JournalReading::message(const QString& fileName) const {
    if (!problem.isEmpty())
        return QStringLiteral("記録ファイル「%1」%2ため、記録ファイルからの復元は行いません。")
            .arg(fileName, problem);
    if (unreadableLines > 0 && truncatedLastLine)
        return QStringLiteral(
                   "記録ファイル「%1」の読めない行（%2行）と途中で切れた最後の行は"
                   "使わずに、残りの行を使います。")
            .arg(fileName)
            .arg(unreadableLines);
    if (unreadableLines > 0)
        return QStringLiteral(
                   "記録ファイル「%1」の読めない行（%2行）は使わずに、残りの行を"
                   "使います。")
            .arg(fileName)
            .arg(unreadableLines);
    if (truncatedLastLine)
        return QStringLiteral(
                   "記録ファイル「%1」の最後の行は途中で切れているため使わずに、残りの"
                   "行を使います。")
            .arg(fileName);
    return {};
}

JournalReading ParseJournal(const QByteArray& bytes) {
    JournalReading reading;
    reading.exists = true;
    QByteArrayView data(bytes);
    if (data.startsWith(QByteArrayView(kBom))) data = data.sliced(3);
    qsizetype start = 0;
    int lineNumber = 0;
    while (start < data.size()) {
        const qsizetype end = data.indexOf('\n', start);
        ++lineNumber;
        if (end < 0) {
            // The last write was cut short: its workbook change never followed it.
            reading.truncatedLastLine = true;
            break;
        }
        QByteArrayView raw = data.sliced(start, end - start);
        if (raw.endsWith('\r')) raw.chop(1);
        start = end + 1;
        if (raw.trimmed().isEmpty()) continue;
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QStringLiteral("日時,"))) continue;  // a heading
        std::optional<JournalEntry> e = ParseLine(line);
        if (!e) {
            ++reading.unreadableLines;
            continue;
        }
        e->lineNumber = lineNumber;
        reading.entries.push_back(std::move(*e));
    }
    return reading;
}

JournalReading ReadJournal(const QString& path) {
    JournalReading reading;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return reading;
    reading.exists = true;
    if (info.isDir()) {
        reading.problem = QStringLiteral("はファイルではなくフォルダーである");
        return reading;
    }
    QFile file(path);
    if (!info.exists() || !file.open(QIODevice::ReadOnly)) {
        reading.problem = QStringLiteral("を読めない");
        return reading;
    }
    if (!info.isFile()) {
        reading.problem = QStringLiteral("は普通のファイルではない");
        return reading;
    }
    if (file.size() > kMaxJournalBytes) {
        reading.problem = QStringLiteral("は大きすぎる");
        return reading;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reading.problem = QStringLiteral("を読めない");
        return reading;
    }
    return ParseJournal(bytes);
}

std::optional<QString> JournalWriter::append(const QString& workbookPath,
                                             const JournalEntry& entry) {
    session_.push_back(entry);
    const QString path = JournalPathFor(workbookPath);
    const QByteArray name = QFile::encodeName(path);
    QByteArray bytes = JournalLine(entry);
    QString why;
    const int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = ErrnoText(errno);
    } else {
        struct stat st;
        bool ok = ::fstat(fd, &st) == 0;
        if (ok && !S_ISREG(st.st_mode)) {
            ok = false;
            why = QStringLiteral("普通のファイルではありません");
        }
        const bool fresh = ok && st.st_size == 0;
        if (fresh) {
            bytes = QByteArray(kBom) + Heading() + bytes;
        } else if (ok && checkedPath_ != path) {
            // A line cut short by a crash is ended first, so that this line stands on its own.
            char last = '\n';
            if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
                bytes = QByteArray("\r\n") + bytes;
        }
        if (ok) checkedPath_ = path;
        if (ok && !WriteAll(fd, bytes)) {
            ok = false;
            why = ErrnoText(errno);
        }
        if (ok && ::fsync(fd) != 0) {
            ok = false;
            why = ErrnoText(errno);
        }
        ::close(fd);
        // A new file's name reaches the disk with its folder.
        if (ok && fresh) {
            const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
            const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dfd >= 0) {
                ::fsync(dfd);
                ::close(dfd);
            }
        }
        if (ok) return std::nullopt;
    }
    if (failureReported_) return QString();
    failureReported_ = true;
    return QStringLiteral(
               "記録ファイル「%1」に書き込めません（%2）が、ブックへの書き込みと保存は"
               "続けます。")
        .arg(QFileInfo(path).fileName(), why);
}

void JournalWriter::reset() {
    failureReported_ = false;
    checkedPath_.clear();
    session_.clear();
}

JournalPending PendingEntries(const std::vector<JournalEntry>& entries, const sheet::Worksheet& ws,
                              int competitorCount) {
    JournalPending pending;
    const int count = std::clamp(competitorCount, 0, kMaxCompetitors);
    std::map<int, int> rowOfBib;  // the first row carrying each bib, as a registration finds it
    for (int r = kFirstCompetitorRow; r <= count + 1; ++r) {
        const double bib = LeadingValue(CellText(ws.value(r, kColBib)));
        const int whole = static_cast<int>(bib);
        if (whole == bib && !rowOfBib.count(whole)) rowOfBib[whole] = r;
    }
    std::map<int, size_t> lastOfBib;
    for (size_t i = 0; i < entries.size(); ++i) {
        const JournalEntry& e = entries[i];
        if (e.action != JournalEntry::Action::Registration &&
            e.action != JournalEntry::Action::TakeBack)
            continue;
        if (!rowOfBib.count(e.bib)) {
            if (std::find(pending.unknownBibs.begin(), pending.unknownBibs.end(), e.bib) ==
                pending.unknownBibs.end())
                pending.unknownBibs.push_back(e.bib);
            continue;
        }
        lastOfBib[e.bib] = i;
    }
    std::vector<size_t> order;
    for (const auto& [bib, i] : lastOfBib)
        if (!RowHolds(ws, rowOfBib[bib], entries[i])) order.push_back(i);
    std::sort(order.begin(), order.end());
    for (size_t i : order) pending.toApply.push_back(entries[i]);
    return pending;
}

QString RecoveryQuestion(int count, const QString& journalFileName) {
    return QStringLiteral(
               "記録ファイル「%1」には、ブックにない登録・取消が%2件あります。"
               "ブックに反映して保存しますか？")
        .arg(journalFileName)
        .arg(count);
}

QString OtherCompetitionMessage(const std::vector<int>& bibs, const QString& journalFileName) {
    QStringList list;
    for (size_t i = 0; i < bibs.size() && i < 10; ++i) list << QString::number(bibs[i]);
    if (bibs.size() > 10) list << QStringLiteral("…");
    return QStringLiteral(
               "記録ファイル「%1」にはこのブックにないゼッケン（%2）の記録があるため、"
               "別の大会の記録と見なしてブックには反映しません。")
        .arg(journalFileName, list.join(QStringLiteral("、")));
}

}  // namespace zalvik::store
