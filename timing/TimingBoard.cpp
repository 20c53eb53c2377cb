#include "timing/TimingBoard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "sheet/FileWrite.h"
#include "store/FileMessages.h"

namespace zalvik::timing {

namespace {

// The log is one line per record: the local time received (to the millisecond), what the
// record is, the device it came from, the line as received (escaped), and the byte count of
// that field, so that a record cut short by a crash never reads as a shorter line.
const QByteArray kHeading = QByteArrayLiteral(
    "\xe5\x8f\x97\xe4\xbf\xa1\xe6\x99\x82\xe5\x88\xbb\t\xe7\xa8\xae\xe9\xa1\x9e\t"
    "\xe6\xa9\x9f\xe7\xa8\xae\t\xe5\x86\x85\xe5\xae\xb9\t\xe3\x83\x90\xe3\x82\xa4\xe3\x83\x88"
    "\xe6\x95\xb0\n");  // 受信時刻 種類 機種 内容 バイト数
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// What a log record is. A bib given by the official is a record of the program's own: its kind
// is no device line, so it never reads as one.
enum class Kind { Line, LongStart, LongRest, Bib };

QString KindWord(Kind kind) {
    switch (kind) {
        case Kind::Line:
            return QStringLiteral("受信");
        case Kind::LongStart:
            return QStringLiteral("受信（1MBを超えたので切断）");
        case Kind::LongRest:
            return QStringLiteral("受信（切断した行の続き）");
        case Kind::Bib:
            break;
    }
    return QStringLiteral("ゼッケン指定");
}

std::optional<Kind> KindOf(const QString& word) {
    for (Kind k : {Kind::Line, Kind::LongStart, Kind::LongRest, Kind::Bib})
        if (KindWord(k) == word) return k;
    return std::nullopt;
}

// The length of a valid UTF-8 sequence of more than one byte at `i`, or 0.
int Utf8Sequence(QByteArrayView s, qsizetype i) {
    const auto b = [&](qsizetype k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    int n = 0;
    unsigned char lo = 0x80, hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0) lo = 0xa0;
        if (c == 0xed) hi = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0) lo = 0x90;
        if (c == 0xf4) hi = 0x8f;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (int k = 2; k < n; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xbf) return 0;
    return n;
}

}  // namespace

QByteArray EscapeLine(QByteArrayView line) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(line.size() + 8);
    for (qsizetype i = 0; i < line.size();) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else if (const int n = c >= 0x80 ? Utf8Sequence(line, i) : 0; n > 0) {
            out += line.sliced(i, n);
            i += n;
            continue;
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        ++i;
    }
    return out;
}

QByteArray UnescapeLine(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[i + 1];
        if (next == '\\') {
            out += '\\';
            ++i;
        } else if (next == 't') {
            out += '\t';
            ++i;
        } else if (next == 'x' && i + 3 < text.size()) {
            bool ok = false;
            const int v = text.sliced(i + 2, 2).toByteArray().toInt(&ok, 16);
            if (ok) {
                out += static_cast<char>(v);
                i += 3;
            } else {
                out += text[i];
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

QString TimingLogPath(const QString& workbookPath) {
    const QFileInfo info(workbookPath);
    const QString base = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    return info.dir().filePath(base + QStringLiteral(".timing.log"));
}

struct TimingBoard::Record {
    QDateTime received;
    Kind kind = Kind::Line;
    Device device = Device::Alge;
    QByteArray line;  // Line, LongStart, LongRest: the bytes received
    int runId = 0;    // Bib
    int bib = 0;      // Bib

    QByteArray logLine() const {
        const QByteArray content = kind == Kind::Bib
                                       ? QByteArray::number(runId) + ',' + QByteArray::number(bib)
                                       : EscapeLine(line);
        QByteArray out = received.toString(kTimeFormat).toUtf8();
        out += '\t';
        out += KindWord(kind).toUtf8();
        out += '\t';
        out += DeviceName(device).toUtf8();
        out += '\t';
        out += content;
        out += '\t';
        out += QByteArray::number(content.size());
        out += '\n';
        return out;
    }

    // A log line read back; empty for a line that is not a whole record.
    static std::optional<Record> FromLog(QByteArrayView text) {
        if (!text.isEmpty() && text.back() == '\r') text.chop(1);
        const QList<QByteArray> fields = text.toByteArray().split('\t');
        if (fields.size() != 5) return std::nullopt;
        bool ok = false;
        if (fields[4].toLongLong(&ok) != fields[3].size() || !ok) return std::nullopt;
        Record r;
        r.received = QDateTime::fromString(QString::fromUtf8(fields[0]), kTimeFormat);
        const auto kind = KindOf(QString::fromUtf8(fields[1]));
        const auto device = DeviceNamed(QString::fromUtf8(fields[2]));
        if (!r.received.isValid() || !kind || !device) return std::nullopt;
        r.kind = *kind;
        r.device = *device;
        if (r.kind != Kind::Bib) {
            r.line = UnescapeLine(fields[3]);
            return r;
        }
        const QList<QByteArray> numbers = fields[3].split(',');
        if (numbers.size() != 2) return std::nullopt;
        bool okId = false, okBib = false;
        r.runId = numbers[0].toInt(&okId);
        r.bib = numbers[1].toInt(&okBib);
        if (!okId || !okBib) return std::nullopt;
        return r;
    }
};

TimingBoard::TimingBoard(QObject* parent) : QObject(parent) {}

void TimingBoard::reset() {
    runs_.clear();
    states_.clear();
    pairing_.clear();
    unreadable_ = 0;
    logProblem_.clear();
}

void TimingBoard::attach(const QString& workbookPath, Device device) {
    device_ = device;
    // Lines received while no workbook was attached (or that could not be written) go to this
    // workbook's log, after what the log already holds.
    const QByteArray held = std::exchange(unwritten_, QByteArray());
    reset();
    logPath_ = workbookPath.isEmpty() ? QString() : TimingLogPath(workbookPath);
    if (!logPath_.isEmpty()) readLog();
    if (!held.isEmpty()) {
        std::vector<Record> records;
        for (QByteArrayView line : QByteArrayView(held).toByteArray().split('\n'))
            if (auto r = Record::FromLog(line)) records.push_back(std::move(*r));
        commit(records);
    }
    emit runsChanged();
}

void TimingBoard::readLog() {
    QFile file(logPath_);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) {
        logProblem_ = store::TimingLogMessage(
            QFileInfo(logPath_).fileName(),
            file.error() == QFileDevice::PermissionsError ? EACCES : EIO, true);
        return;
    }
    const QByteArray text = file.readAll();
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype end = text.indexOf('\n', from);
        // A last line without its end was cut short by a crash while it was being written: the
        // line it held was never taken into the list, and is not now.
        if (end < 0) break;
        if (auto r = Record::FromLog(QByteArrayView(text).sliced(from, end - from))) apply(*r);
        from = end + 1;
    }
}

void TimingBoard::setDevice(Device device) { device_ = device; }

Device TimingBoard::device() const { return device_; }

void TimingBoard::takeLines(QByteArrayView bytes, std::vector<Record>& out,
                            const QDateTime& received) {
    const auto emitRecord = [&](Kind kind, QByteArray line) {
        Record r;
        r.received = received;
        r.kind = kind;
        r.device = device_;
        r.line = std::move(line);
        out.push_back(std::move(r));
    };
    // Adds bytes of the current line, cutting it every kMaxLineBytes so that a device that
    // never ends its line costs memory and time in proportion to what it sent.
    const auto append = [&](QByteArrayView piece) {
        while (!piece.isEmpty()) {
            const qsizetype room = kMaxLineBytes - partial_.size();
            if (piece.size() < room) {
                partial_ += piece;
                return;
            }
            partial_ += piece.first(room);
            piece = piece.sliced(room);
            emitRecord(partialCut_ ? Kind::LongRest : Kind::LongStart, std::exchange(partial_, {}));
            partialCut_ = true;
        }
    };
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    if (lastWasCr_ && n > 0) {
        if (bytes[0] == '\n') i = 1;  // the LF of a CR LF split between two reads
        lastWasCr_ = false;
    }
    while (i < n) {
        qsizetype j = i;
        while (j < n && bytes[j] != '\r' && bytes[j] != '\n') ++j;
        append(bytes.sliced(i, j - i));
        if (j == n) break;
        if (partialCut_) {
            if (!partial_.isEmpty()) emitRecord(Kind::LongRest, std::exchange(partial_, {}));
            partialCut_ = false;
        } else if (!partial_.isEmpty()) {
            emitRecord(Kind::Line, std::exchange(partial_, {}));
        }
        if (bytes[j] == '\r') {
            if (j + 1 < n && bytes[j + 1] == '\n')
                ++j;
            else if (j + 1 == n)
                lastWasCr_ = true;
        }
        i = j + 1;
    }
}

void TimingBoard::receive(QByteArrayView bytes) {
    std::vector<Record> records;
    takeLines(bytes, records, QDateTime::currentDateTime());
    if (!records.empty() && commit(records)) emit runsChanged();
}

void TimingBoard::endOfStream() {
    std::vector<Record> records;
    if (!partial_.isEmpty()) {
        Record r;
        r.received = QDateTime::currentDateTime();
        r.kind = partialCut_ ? Kind::LongRest : Kind::Line;
        r.device = device_;
        r.line = std::exchange(partial_, {});
        records.push_back(std::move(r));
    }
    partialCut_ = false;
    lastWasCr_ = false;
    if (!records.empty() && commit(records)) emit runsChanged();
}

bool TimingBoard::commit(std::vector<Record>& records) {
    write(records);
    bool changed = false;
    for (const Record& r : records) changed = apply(r) || changed;
    return changed;
}

void TimingBoard::write(const std::vector<Record>& records) {
    for (const Record& r : records) unwritten_ += r.logLine();
    if (logPath_.isEmpty() || unwritten_.isEmpty()) return;
    int error = 0;
    const QByteArray path = QFile::encodeName(logPath_);
    if (sheet::AppendToFile(
            path.toStdString(), std::string_view(unwritten_.constData(), unwritten_.size()),
            std::string_view(kHeading.constData(), kHeading.size()), "\r\n", &error)) {
        unwritten_.clear();
        logProblem_.clear();
    } else {
        logProblem_ = store::TimingLogMessage(QFileInfo(logPath_).fileName(), error, false);
    }
}

bool TimingBoard::apply(const Record& record) {
    switch (record.kind) {
        case Kind::Line:
            return applyLine(record.line, record.received, record.device);
        case Kind::LongStart:
            ++unreadable_;
            return false;
        case Kind::LongRest:
            return false;
        case Kind::Bib:
            break;
    }
    return applyBib(record.runId, record.bib);
}

bool TimingBoard::applyLine(const QByteArray& line, const QDateTime& received, Device device) {
    const Reading reading = ParseLine(device, line);
    if (reading.kind == Reading::Kind::Unreadable) ++unreadable_;
    const RunPairing::Result result = pairing_.add(reading);
    using What = RunPairing::Result::What;
    switch (result.what) {
        case What::Nothing:
            return false;
        case What::Clear:
            if (result.bib == 0) return false;
            for (auto it = runs_.rbegin(); it != runs_.rend(); ++it)
                if (it->bib == result.bib && !it->cleared) {
                    it->cleared = true;
                    return true;
                }
            return false;
        case What::Run:
            // A device that sends the run time right after the finish impulse it came from
            // gives one run, with the device's time.
            if (result.fromDevice && result.bib != 0 && !runs_.empty() &&
                runs_.back().bib == result.bib && !runs_.back().cleared &&
                states_.back().fromImpulses) {
                runs_.back().hundredths = result.hundredths;
                states_.back().fromImpulses = false;
                return true;
            }
            [[fallthrough]];
        case What::Unpaired:
            break;
    }
    ReceivedRun run;
    run.id = static_cast<int>(runs_.size()) + 1;
    run.received = received;
    run.bib = result.bib;
    run.hundredths = result.what == What::Run ? result.hundredths : -1;
    RunState state;
    state.fromImpulses = result.what == What::Run && !result.fromDevice;
    state.finishTimeOfDay = result.finishTimeOfDay;
    state.finishDay = result.finishDay;
    state.order = result.order;
    runs_.push_back(run);
    states_.push_back(state);
    return true;
}

bool TimingBoard::applyBib(int runId, int bib) {
    if (runId < 1 || runId > static_cast<int>(runs_.size()) || bib < 1 || bib > 99999) return false;
    ReceivedRun& run = runs_[runId - 1];
    const RunState& state = states_[runId - 1];
    run.bib = bib;
    if (run.hundredths < 0 && state.finishTimeOfDay >= 0)
        run.hundredths =
            pairing_.pairLater(bib, state.finishTimeOfDay, state.finishDay, state.order);
    return true;
}

bool TimingBoard::assignBib(int runId, int bib) {
    if (runId < 1 || runId > static_cast<int>(runs_.size()) || bib < 1 || bib > 99999) return false;
    Record r;
    r.received = QDateTime::currentDateTime();
    r.kind = Kind::Bib;
    r.device = device_;
    r.runId = runId;
    r.bib = bib;
    std::vector<Record> records{r};
    commit(records);
    emit runsChanged();
    return true;
}

const std::vector<ReceivedRun>& TimingBoard::runs() const { return runs_; }

const ReceivedRun* TimingBoard::latestRunOf(int bib) const {
    if (bib == 0) return nullptr;
    for (auto it = runs_.rbegin(); it != runs_.rend(); ++it)
        if (it->bib == bib && !it->cleared && it->hundredths >= 0) return &*it;
    return nullptr;
}

int TimingBoard::unreadableLines() const { return unreadable_; }

QString TimingBoard::logPath() const { return logPath_; }

QString TimingBoard::logProblem() const { return logProblem_; }

}  // namespace zalvik::timing
