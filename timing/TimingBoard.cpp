#include "timing/TimingBoard.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

#include "store/FileMessages.h"

namespace zalvik::timing {

namespace {

// The log holds one record per line received (and per bib the official gives), as fields of
// store/ObservationLog: the local time received (to the millisecond), what the record is, the
// device it came from, and the line as received (escaped; or in base64, marked in a fifth
// field, when escaping would make it more than twice as long, as it would a line of bytes that
// are not text).
// A bib record names the record of its run by its sequence number.
const QByteArray kHeading =
    QStringLiteral("番号\t受信時刻\t種類\t機種\t内容\tブック\t検査\n").toUtf8();
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
const QByteArray kBase64 = QByteArrayLiteral("base64");

// What a log record is. A bib given by the official is a record of the program's own: its kind
// is no device line, so it never reads as one.
enum class Kind { Line, LongStart, LongRest, Bib };
constexpr Kind kKinds[] = {Kind::Line, Kind::LongStart, Kind::LongRest, Kind::Bib};

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

// The words of the kinds and devices as the file holds them, made once: a long log is read
// without turning each line's fields into text first.
const QByteArray& KindBytes(Kind kind) {
    static const std::vector<QByteArray> words = [] {
        std::vector<QByteArray> w;
        for (Kind k : kKinds) w.push_back(KindWord(k).toUtf8());
        return w;
    }();
    return words[static_cast<size_t>(kind)];
}

std::optional<Kind> KindOf(QByteArrayView word) {
    for (Kind k : kKinds)
        if (KindBytes(k) == word) return k;
    return std::nullopt;
}

std::optional<Device> DeviceOf(QByteArrayView word) {
    static const std::vector<std::pair<QByteArray, Device>> names = [] {
        std::vector<std::pair<QByteArray, Device>> n;
        for (Device d : {Device::Alge, Device::TagHeuer, Device::Generic})
            n.emplace_back(DeviceName(d).toUtf8(), d);
        return n;
    }();
    for (const auto& [name, device] : names)
        if (name == word) return device;
    return std::nullopt;
}

// The offset from UTC of the local time of the minute last read: working it out looks the time
// zone up (a file on disk) every time, which a log of 100,000 lines cannot afford at every load.
// The clock changes only on a whole minute.
struct LocalOffset {
    qint64 minute = -1;  // days since the epoch × 1440 + minute of the day
    int seconds = 0;
};

// "yyyy-MM-ddTHH:mm:ss.zzz" local time, read by hand: QDateTime::fromString costs tens of
// microseconds a line.
QDateTime ReceivedTime(QByteArrayView text, LocalOffset& offset) {
    if (text.size() != 23) return {};
    int v[7] = {};
    const int at[7][2] = {{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}, {20, 3}};
    for (int f = 0; f < 7; ++f)
        for (int i = at[f][0]; i < at[f][0] + at[f][1]; ++i) {
            if (text[i] < '0' || text[i] > '9') return {};
            v[f] = v[f] * 10 + (text[i] - '0');
        }
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
        text[19] != '.')
        return {};
    const QDate date(v[0], v[1], v[2]);
    const QTime time(v[3], v[4], v[5], v[6]);
    if (!date.isValid() || !time.isValid()) return {};
    const qint64 minute = date.toJulianDay() * 1440 + v[3] * 60 + v[4];
    if (minute != offset.minute) {
        offset.minute = minute;
        offset.seconds = QDateTime(date, QTime(v[3], v[4])).offsetFromUtc();
    }
    return QDateTime(date, time, Qt::OffsetFromUTC, offset.seconds);
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
    qint64 seq = 0;
    QDateTime received;
    Kind kind = Kind::Line;
    Device device = Device::Alge;
    QByteArray line;    // Line, LongStart, LongRest: the bytes received
    qint64 runRef = 0;  // Bib: the run's record (ReceivedRun::seq); in the previous format,
                        // the run's place
    int bib = 0;        // Bib: 0 takes the bib back

    QList<QByteArray> fields() const {
        QList<QByteArray> out{received.toString(kTimeFormat).toUtf8(), KindBytes(kind),
                              DeviceName(device).toUtf8()};
        if (kind == Kind::Bib) {
            out << QByteArray::number(runRef) + ',' + QByteArray::number(bib);
            return out;
        }
        QByteArray escaped = EscapeLine(line);
        // Bytes that are not text take four bytes each escaped, a third more in base64: a line
        // mostly of them (a wrong speed, a device that never ends its line) goes in base64.
        if (escaped.size() > 2 * ((line.size() + 2) / 3 * 4))
            out << line.toBase64() << kBase64;
        else
            out << std::move(escaped);
        return out;
    }

    // A record read back: the fields as written, or a line of the previous format (received
    // time, kind, device, content, and the content's byte count, so that a line cut short by a
    // crash never read as a shorter one).
    static std::optional<Record> Read(const QList<QByteArray>& f, bool previousFormat,
                                      LocalOffset& offset) {
        if (previousFormat) {
            bool ok = false;
            if (f.size() != 5 || f[4].toLongLong(&ok) != f[3].size() || !ok) return std::nullopt;
        } else if (f.size() < 4) {
            return std::nullopt;
        }
        Record r;
        r.received = ReceivedTime(f[0], offset);
        const auto kind = KindOf(f[1]);
        const auto device = DeviceOf(f[2]);
        if (!r.received.isValid() || !kind || !device) return std::nullopt;
        r.kind = *kind;
        r.device = *device;
        if (r.kind != Kind::Bib) {
            r.line = !previousFormat && f.size() > 4 && f[4] == kBase64
                         ? QByteArray::fromBase64(f[3])
                         : UnescapeLine(f[3]);
            return r;
        }
        const qsizetype comma = f[3].indexOf(',');
        bool okRun = false, okBib = false;
        r.runRef = f[3].first(std::max<qsizetype>(comma, 0)).toLongLong(&okRun);
        r.bib = f[3].sliced(comma + 1).toInt(&okBib);
        if (comma < 0 || !okRun || !okBib) return std::nullopt;
        return r;
    }
};

TimingBoard::TimingBoard(QObject* parent, qint64 logCapBytes)
    : QObject(parent), logCap_(logCapBytes), log_(kHeading, logCapBytes) {}

void TimingBoard::reset() {
    runs_.clear();
    states_.clear();
    runsOfBib_.clear();
    runOfSeq_.clear();
    runOfOrder_.clear();
    pairing_.clear();
    unreadable_ = 0;
    logProblem_.clear();
}

QString TimingBoard::attach(const QString& workbookPath, Device device,
                            const store::JournalOwner& owner) {
    device_ = device;
    reset();
    logPath_ = workbookPath.isEmpty() ? QString() : TimingLogPath(workbookPath);
    // Lines received while no workbook was attached come back in the reading, after what the
    // log already holds; those of a previous workbook never do.
    const store::ObservationReading reading = log_.attach(logPath_, owner);
    LocalOffset offset;
    for (const store::ObservationRecord& stored : reading.records) {
        std::optional<Record> r = Record::Read(stored.fields, !stored.checked, offset);
        if (!r) continue;
        r->seq = stored.seq;
        previousFormat_ = !stored.checked;
        pairing_.setPreviousFormat(previousFormat_);
        apply(*r);
    }
    previousFormat_ = false;
    pairing_.setPreviousFormat(false);
    if (reading.error != 0)
        logProblem_ = store::TimingLogMessage(QFileInfo(logPath_).fileName(), reading.error, true);
    noteLogState(false);
    emit runsChanged();
    return reading.adoptedId;
}

void TimingBoard::setOwner(const store::JournalOwner& owner) {
    log_.setOwner(owner);
    if (!log_.written()) {
        log_.retry();
        noteLogState(true);
    }
}

void TimingBoard::noteLogState(bool wrote) {
    if (logPath_.isEmpty()) return;
    const QString file = QFileInfo(logPath_).fileName();
    if (log_.full())
        logProblem_ = store::TimingLogFullMessage(file, logCap_);
    else if (!log_.written() && log_.lastError() != 0)
        logProblem_ = store::TimingLogMessage(file, log_.lastError(), false);
    else if (log_.written() && wrote)
        logProblem_.clear();
}

void TimingBoard::setDevice(Device device) { device_ = device; }

Device TimingBoard::device() const { return device_; }

void TimingBoard::setLongestRun(int hundredths) {
    if (hundredths == longestRun_) return;
    longestRun_ = hundredths;
    if (!runs_.empty()) emit runsChanged();  // which runs are doubtful changed
}

bool TimingBoard::needsCheck(const ReceivedRun& run) const {
    return run.hundredths == 0 || run.hundredths > longestRun_;
}

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
    std::vector<QList<QByteArray>> fields;
    fields.reserve(records.size());
    for (const Record& r : records) fields.push_back(r.fields());
    qint64 seq = log_.appendAll(fields);
    noteLogState(true);
    bool changed = false;
    for (Record& r : records) {
        r.seq = seq++;
        changed = apply(r) || changed;
    }
    return changed;
}

std::optional<size_t> TimingBoard::indexOfRef(qint64 ref) const {
    // A record of the previous format named its run by its place; a record of today's names
    // the run's record, or minus the place of a run of the previous format.
    const qint64 place = previousFormat_ ? ref : -ref;
    if (place >= 1 && place <= static_cast<qint64>(runs_.size()) &&
        (previousFormat_ || runs_[static_cast<size_t>(place - 1)].seq == ref))
        return static_cast<size_t>(place - 1);
    if (previousFormat_) return std::nullopt;
    const auto at = runOfSeq_.find(ref);
    if (at == runOfSeq_.end()) return std::nullopt;
    return at->second;
}

bool TimingBoard::apply(const Record& record) {
    switch (record.kind) {
        case Kind::Line:
            return applyLine(record);
        case Kind::LongStart:
            ++unreadable_;
            return false;
        case Kind::LongRest:
            return false;
        case Kind::Bib:
            break;
    }
    const std::optional<size_t> index = indexOfRef(record.runRef);
    return index && applyBib(*index, record.bib);
}

bool TimingBoard::applyLine(const Record& record) {
    const Reading reading = ParseLine(record.device, record.line);
    if (reading.kind == Reading::Kind::Unreadable) ++unreadable_;
    const RunPairing::Result result = pairing_.add(reading);
    using What = RunPairing::Result::What;
    switch (result.what) {
        case What::Nothing:
            return false;
        case What::Late:
            completeLate(result);
            return true;
        case What::Clear: {
            const auto of = runsOfBib_.find(result.bib);
            if (result.bib == 0 || of == runsOfBib_.end()) return false;
            // The run that finished at the time cleared; without a time, the newest.
            std::optional<size_t> chosen;
            for (auto it = of->second.rbegin(); it != of->second.rend(); ++it) {
                if (runs_[*it].cleared) continue;
                if (!chosen) chosen = *it;
                if (result.finishTimeOfDay >= 0 &&
                    runs_[*it].finishTimeOfDay == result.finishTimeOfDay) {
                    chosen = *it;
                    break;
                }
            }
            if (!chosen) return false;
            runs_[*chosen].cleared = true;
            // A false finish cleared leaves its start to the real one; the previous format
            // did not, and the runs after it are numbered as it read them.
            if (!previousFormat_) release(*chosen);
            return true;
        }
        case What::Run:
            // A device that sends the run time right after the finish impulse it came from
            // gives one run, with the device's time; so does one whose finish lost its start.
            if (result.fromDevice && result.bib != 0 && !runs_.empty()) {
                ReceivedRun& last = runs_.back();
                RunState& state = states_.back();
                const bool waits = last.hundredths < 0 && !last.arrivedWithoutBib;
                if (last.bib == result.bib && !last.cleared && (state.fromImpulses || waits)) {
                    if (waits) release(runs_.size() - 1);
                    last.hundredths = result.hundredths;
                    state.fromImpulses = false;
                    return true;
                }
            }
            break;
        case What::Unpaired:
            break;
    }
    const size_t index = runs_.size();
    ReceivedRun run;
    run.id = static_cast<int>(index) + 1;
    run.seq = previousFormat_ ? -run.id : record.seq;
    run.received = record.received;
    run.bib = result.bib;
    run.hundredths = result.what == What::Run ? result.hundredths : -1;
    run.finishTimeOfDay = result.fromDevice ? -1 : result.finishTimeOfDay;
    run.arrivedWithoutBib = result.bib == 0;
    RunState state;
    state.fromImpulses = result.what == What::Run && !result.fromDevice;
    state.finishDay = result.finishDay;
    state.order = result.order;
    state.start = result.start;
    if (run.bib != 0) runsOfBib_[run.bib].push_back(index);
    if (result.what == What::Unpaired && run.bib != 0) runOfOrder_[state.order] = index;
    runOfSeq_[run.seq] = index;
    runs_.push_back(std::move(run));
    states_.push_back(state);
    return true;
}

void TimingBoard::completeLate(const RunPairing::Result& late) {
    const auto at = runOfOrder_.find(late.order);
    if (at == runOfOrder_.end()) return;
    runs_[at->second].hundredths = late.hundredths;
    states_[at->second].start = late.start;
    runOfOrder_.erase(at);
}

void TimingBoard::release(size_t index) {
    ReceivedRun& run = runs_[index];
    RunState& state = states_[index];
    if (state.start.bib != 0) {
        const RunPairing::Result late = pairing_.giveBack(std::exchange(state.start, {}));
        if (late.what == RunPairing::Result::What::Late) completeLate(late);
    } else if (run.hundredths < 0 && run.bib != 0 && !run.arrivedWithoutBib) {
        pairing_.stopWaiting(run.bib, state.order);
        runOfOrder_.erase(state.order);
    }
}

void TimingBoard::relabel(size_t index, int bib) {
    ReceivedRun& run = runs_[index];
    if (run.bib != 0) std::erase(runsOfBib_[run.bib], index);
    run.bib = bib;
    if (bib == 0) return;
    std::vector<size_t>& of = runsOfBib_[bib];
    of.insert(std::upper_bound(of.begin(), of.end(), index), index);
}

bool TimingBoard::applyBib(size_t index, int bib) {
    ReceivedRun& run = runs_[index];
    RunState& state = states_[index];
    if (bib < 0 || bib > 99999 || bib == run.bib) return false;
    const bool finish = run.finishTimeOfDay >= 0;
    if (previousFormat_) {
        // As the previous format read it: the bib set, a finish that waited paired once.
        if (bib == 0) return false;
        relabel(index, bib);
        if (run.hundredths < 0 && finish) {
            const RunPairing::Result r =
                pairing_.pairLater(bib, run.finishTimeOfDay, state.finishDay, state.order);
            run.hundredths = r.hundredths;
            state.start = r.start;
        }
        return true;
    }
    if (bibAllowed(index, bib) != BibOutcome::Given) return false;
    // The start the finish held serves again, and the finish takes the new bib's.
    release(index);
    relabel(index, bib);
    if (!finish) return true;
    run.hundredths = -1;
    if (bib == 0) return true;
    const RunPairing::Result r =
        pairing_.pairLater(bib, run.finishTimeOfDay, state.finishDay, state.order);
    run.hundredths = r.hundredths;
    state.start = r.start;
    return true;
}

TimingBoard::BibOutcome TimingBoard::bibAllowed(size_t index, int bib) const {
    const ReceivedRun& run = runs_[index];
    const RunState& state = states_[index];
    if (bib < 0 || bib > 99999 || run.cleared || !run.arrivedWithoutBib) return BibOutcome::Refused;
    if (bib != 0 && bib != run.bib && run.finishTimeOfDay >= 0 &&
        !pairing_.hasStartFor(bib, run.finishTimeOfDay, state.finishDay, state.order))
        return BibOutcome::NoStart;
    return BibOutcome::Given;
}

TimingBoard::BibOutcome TimingBoard::giveBib(int runId, int bib) {
    if (logPath_.isEmpty() || runId < 1 || runId > static_cast<int>(runs_.size()))
        return BibOutcome::Refused;
    const ReceivedRun& run = runs_[static_cast<size_t>(runId - 1)];
    // A refusal is never logged; neither is the bib the run has already.
    const BibOutcome allowed = bibAllowed(static_cast<size_t>(runId - 1), bib);
    if (allowed != BibOutcome::Given || bib == run.bib) return allowed;
    Record r;
    r.received = QDateTime::currentDateTime();
    r.kind = Kind::Bib;
    r.device = device_;
    r.runRef = run.seq;
    r.bib = bib;
    std::vector<Record> records{r};
    commit(records);
    emit runsChanged();
    return BibOutcome::Given;
}

const std::vector<ReceivedRun>& TimingBoard::runs() const { return runs_; }

const ReceivedRun* TimingBoard::run(int runId) const {
    if (runId < 1 || runId > static_cast<int>(runs_.size())) return nullptr;
    return &runs_[static_cast<size_t>(runId - 1)];
}

const ReceivedRun* TimingBoard::latestRunOf(int bib) const {
    const auto of = runsOfBib_.find(bib);
    if (bib == 0 || of == runsOfBib_.end()) return nullptr;
    for (auto it = of->second.rbegin(); it != of->second.rend(); ++it)
        if (!runs_[*it].cleared && runs_[*it].hundredths >= 0) return &runs_[*it];
    return nullptr;
}

int TimingBoard::unreadableLines() const { return unreadable_; }

QString TimingBoard::logPath() const { return logPath_; }

QString TimingBoard::logProblem() const { return logProblem_; }

}  // namespace zalvik::timing
