#include "store/Journal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>

#include "app/Numbers.h"
#include "sheet/FileWrite.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"
#include "store/InputSheet.h"
#include "store/LineCheck.h"
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

// Whether a text field begins with what a spreadsheet program would read as a formula.
bool LooksLikeFormula(const QString& text) {
    if (text.isEmpty()) return false;
    const QChar c = text[0];
    return c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-') ||
           c == QLatin1Char('@') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
           c == QLatin1Char('\'');
}

// A text field of a line: line breaks and other control characters become spaces, so that an
// entry is always one line; a text a spreadsheet program would take for a formula gets a leading
// apostrophe (as does one that begins with an apostrophe, so that reading can take exactly one
// off); quoted when it holds a comma or a quote, or was marked.
QString Field(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 0x20 && c != QLatin1Char('\t')) c = QLatin1Char(' ');
    const bool marked = LooksLikeFormula(text);
    if (marked) text.prepend(QLatin1Char('\''));
    if (marked || text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

// A text field as it was typed.
QString Unmarked(const QString& field) {
    return field.startsWith(QLatin1Char('\'')) ? field.mid(1) : field;
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
    for (A a :
         {A::Registration, A::TakeBack, A::Settings, A::ResultsSheet, A::Workbook, A::Continuation})
        if (ActionWord(a) == word) return a;
    return {};
}

// One line, without its line end. A line that ends with a check field must pass it; its last
// field before the check is the workbook's identity, and its text fields lose the apostrophe that
// kept them from being read as formulas.
std::optional<JournalEntry> ParseLine(QByteArrayView raw, bool* checked) {
    static const QRegularExpression kTime(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    *checked = false;
    if (raw.contains(kCutMark)) return {};
    const LineCheckResult check = CheckLine(raw, ',');
    if (check.what != LineCheckResult::What::Unchecked) {
        *checked = true;
        if (check.what == LineCheckResult::What::Damaged) return {};
        raw = check.body;
    }
    std::optional<QStringList> fields = SplitFields(QString::fromUtf8(raw));
    if (!fields || fields->size() < 2) return {};
    JournalEntry e;
    if (*checked) {
        if (fields->size() < 3) return {};
        e.workbookId = fields->takeLast();
        for (int i = 3; i < fields->size(); ++i) (*fields)[i] = Unmarked((*fields)[i]);
    }
    const QStringList& f = *fields;
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
        case JournalEntry::Action::Workbook:
        case JournalEntry::Action::Continuation:
            e.details = f.mid(4);
            return e;
    }
    return {};
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
        case JournalEntry::Action::Workbook:
            return QStringLiteral("ブック");
        case JournalEntry::Action::Continuation:
            return QStringLiteral("続き");
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
        case JournalEntry::Action::Workbook:
        case JournalEntry::Action::Continuation:
            f << QString() << QString();
            for (const QString& d : e.details) f << Field(d);
            break;
    }
    f << Field(e.workbookId);
    const QByteArray body = f.join(QLatin1Char(',')).toUtf8();
    return SealedLine(body, ',') + "\r\n";
}

QString JournalReading::message(const QString& fileName) const {
    return JournalReadingMessage(*this, fileName);
}

JournalReading ParseJournal(const QByteArray& bytes) {
    JournalReading reading;
    reading.exists = true;
    QByteArrayView data(bytes);
    if (data.startsWith(QByteArrayView(kBom))) data = data.sliced(3);
    qsizetype start = 0;
    int lineNumber = 0;
    bool checkedSeen = false;
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
        if (raw.startsWith(QByteArrayView("日時,"))) continue;  // a heading
        bool checked = false;
        std::optional<JournalEntry> e = ParseLine(raw, &checked);
        // Once a line with a check has been written, every later line has one: a line without
        // it there is the remains of a torn write.
        if (e && !checked && checkedSeen) e.reset();
        checkedSeen = checkedSeen || checked;
        if (!e) {
            ++reading.unreadableLines;
            continue;
        }
        e->lineNumber = lineNumber;
        (e->action == JournalEntry::Action::Workbook ? reading.workbooks : reading.entries)
            .push_back(std::move(*e));
    }
    return reading;
}

JournalReading ReadJournal(const QString& path) {
    JournalReading reading;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return reading;
    reading.exists = true;
    using P = JournalReading::Problem;
    if (info.isDir()) {
        reading.problem = P::Folder;
        return reading;
    }
    QFile file(path);
    if (!info.exists() || !file.open(QIODevice::ReadOnly)) {
        reading.problem = P::Unreadable;
        return reading;
    }
    if (!info.isFile()) {
        reading.problem = P::NotAFile;
        return reading;
    }
    if (file.size() > kMaxJournalBytes) {
        reading.problem = P::TooLarge;
        return reading;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reading.problem = P::Unreadable;
        return reading;
    }
    return ParseJournal(bytes);
}

std::optional<QString> JournalWriter::append(const QString& workbookPath, const JournalEntry& entry,
                                             const JournalOwner& owner) {
    JournalEntry stamped = entry;
    stamped.workbookId = owner.id;
    if (stamped.time.isEmpty()) stamped.time = JournalTimeNow();
    session_.push_back(stamped);
    const QString path = JournalPathFor(workbookPath);
    const std::string name = QFile::encodeName(path).toStdString();
    QByteArray bytes;
    const bool first = checkedPath_ != path;
    if (first) {
        // The session's first line names the workbook the lines are for.
        JournalEntry named;
        named.time = stamped.time;
        named.action = JournalEntry::Action::Workbook;
        named.details << owner.eventName << owner.eventDate;
        named.workbookId = owner.id;
        bytes += JournalLine(named);
    }
    bytes += JournalLine(stamped);
    // A new file starts with its heading. At the session's first line, a line cut short by a
    // crash is marked and ended first, so that it is never read as a whole line and this one
    // stands on its own.
    static const QByteArray heading = QByteArray(kBom) + Heading();
    static const char cutLineEnd[] = {kCutMark, '\r', '\n', '\0'};
    int error = 0;
    if (sheet::AppendToFile(name, std::string_view(bytes.constData(), bytes.size()),
                            std::string_view(heading.constData(), heading.size()),
                            first ? cutLineEnd : "", &error)) {
        checkedPath_ = path;
        failureReported_ = false;  // the next failure is a new outage, and is told
        return std::nullopt;
    }
    // The end of a journal that could not be written to is looked at again next time.
    checkedPath_.clear();
    if (failureReported_) return QString();
    failureReported_ = true;
    return JournalWriteMessage(QFileInfo(path).fileName(), error);
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

QString RecoveryQuestion(const std::vector<JournalEntry>& entries, const QString& journalFileName) {
    // The span of the entries offered, so that the official can tell them from another day's.
    QString first, last;
    for (const JournalEntry& e : entries) {
        if (first.isEmpty() || e.time < first) first = e.time;
        if (e.time > last) last = e.time;
    }
    auto shown = [](const QString& t) { return QString(t).replace(QLatin1Char('-'), '/'); };
    QString span;
    if (!first.isEmpty()) {
        span = shown(first) + QStringLiteral("～") +
               (first.left(10) == last.left(10) ? last.mid(11) : shown(last));
        span = QStringLiteral("（") + span + QStringLiteral("）");
    }
    return QStringLiteral(
               "記録ファイル「%1」には、ブックにない登録・取消が%2件あります%3。"
               "ブックに反映して保存しますか？")
        .arg(journalFileName)
        .arg(entries.size())
        .arg(span);
}

JournalShare ShareOf(const JournalReading& reading, const JournalOwner& workbook) {
    JournalShare share;
    share.id = workbook.id;
    if (share.id.isEmpty()) {
        // A copy of the workbook from before its first journaled change has no identity yet:
        // the journal's workbook of the same event and date is this one.
        for (auto it = reading.workbooks.rbegin(); it != reading.workbooks.rend(); ++it)
            if (!it->workbookId.isEmpty() && it->details.value(0) == workbook.eventName &&
                it->details.value(1) == workbook.eventDate) {
                share.id = it->workbookId;
                break;
            }
    }
    for (const JournalEntry& w : reading.workbooks)
        if (!w.workbookId.isEmpty() && w.workbookId != share.id && !share.other) share.other = w;
    for (const JournalEntry& e : reading.entries) {
        if (!e.workbookId.isEmpty() && e.workbookId != share.id) {
            if (!share.other) {
                JournalEntry unnamed;  // its Workbook line was damaged
                unnamed.workbookId = e.workbookId;
                share.other = unnamed;
            }
            continue;
        }
        if (!e.workbookId.isEmpty()) share.hasOwnEntries = true;
        share.continuedIn.clear();
        if (e.action == JournalEntry::Action::Continuation) {
            // What was journaled before went into the file saved under the new name.
            share.continuedIn = e.details.value(0);
            share.entries.clear();
            continue;
        }
        share.entries.push_back(e);
    }
    return share;
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

QString OtherWorkbookMessage(const JournalEntry& other, const QString& journalFileName) {
    QString which = QStringList{other.details.value(0), other.details.value(1)}
                        .filter(QRegularExpression(QStringLiteral("\\S")))
                        .join(QStringLiteral("　"));
    if (!which.isEmpty()) which = QStringLiteral("（") + which + QStringLiteral("）");
    return QStringLiteral(
               "記録ファイル「%1」はほかの大会%2の記録のため、ブックには反映せず、"
               "そのままにしておきます。")
        .arg(journalFileName, which);
}

QString ContinuedElsewhereQuestion(const QString& newFileName) {
    return QStringLiteral(
               "このブックのあとの結果は「%1」に保存されています。"
               "そのブックを読み込みますか？")
        .arg(newFileName);
}

}  // namespace zalvik::store
