#include "store/ObservationLog.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "sheet/FileWrite.h"
#include "store/LineCheck.h"

namespace zalvik::store {

namespace {

// The first field of the line that names the workbook of the session's records.
const QByteArray kOwnerWord = QByteArrayLiteral("\xe3\x83\x96\xe3\x83\x83\xe3\x82\xaf");  // ブック

// A field as the file can hold it: the bytes that end a field or a line become spaces.
QByteArray FieldBytes(QByteArray field) {
    for (char& c : field)
        if (c == '\t' || c == '\r' || c == '\n' || c == kCutMark) c = ' ';
    return field;
}

QByteArray FieldBytes(const QString& text) { return FieldBytes(text.toUtf8()); }

QByteArray JoinFields(qint64 seq, const QList<QByteArray>& fields) {
    QByteArray line = QByteArray::number(seq);
    for (const QByteArray& f : fields) {
        line += '\t';
        line += FieldBytes(f);
    }
    return line;
}

// Reads a sequence number: digits only, from 1.
qint64 SeqOf(QByteArrayView field) {
    if (field.isEmpty() || field.size() > 18) return 0;
    qint64 n = 0;
    for (const char c : field) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

ObservationReading ReadObservationLog(const QString& path, const JournalOwner& owner,
                                      qint64 capBytes) {
    ObservationReading reading;
    QFile file(path);
    if (!file.exists()) return reading;
    reading.exists = true;
    if (!file.open(QIODevice::ReadOnly)) {
        reading.error = file.error() == QFileDevice::PermissionsError ? EACCES : EIO;
        return reading;
    }
    if (file.size() > capBytes) reading.capped = true;
    const QByteArray text = file.read(capBytes);
    if (file.error() != QFileDevice::NoError) reading.error = EIO;

    struct Line {
        qint64 seq;
        QList<QByteArray> fields;
        QByteArrayView id;
    };
    std::vector<Line> lines;
    std::vector<JournalOwner> owners;
    bool checkedSeen = false;
    qsizetype from = 0;
    for (int number = 1; from < text.size(); ++number) {
        const qsizetype end = text.indexOf('\n', from);
        // A last line without its end was cut short while it was written: never taken.
        if (end < 0) {
            ++reading.damaged;
            break;
        }
        QByteArrayView raw = QByteArrayView(text).sliced(from, end - from);
        from = end + 1;
        if (raw.endsWith('\r')) raw.chop(1);
        const LineCheckResult check = CheckLine(raw, '\t');
        if (check.what == LineCheckResult::What::Unchecked) {
            if (number == 1 || raw.isEmpty()) continue;  // the heading, or an empty line
            // A line of an older log, written before lines carried their check; after a checked
            // line it can only be a damaged one.
            if (checkedSeen) {
                ++reading.damaged;
            } else {
                ObservationRecord old;
                old.checked = false;
                old.fields = raw.toByteArray().split('\t');
                reading.records.push_back(std::move(old));
            }
            continue;
        }
        if (check.what == LineCheckResult::What::Damaged) {
            ++reading.damaged;
            continue;
        }
        checkedSeen = true;
        QList<QByteArray> fields = check.body.toByteArray().split('\t');
        if (fields.size() < 2) {
            ++reading.damaged;
            continue;
        }
        const QByteArray id = fields.takeLast();
        if (fields.front() == kOwnerWord) {
            JournalOwner named;
            named.id = QString::fromUtf8(id);
            if (fields.size() > 1) named.eventName = QString::fromUtf8(fields[1]);
            if (fields.size() > 2) named.eventDate = QString::fromUtf8(fields[2]);
            owners.push_back(std::move(named));
            continue;
        }
        const qint64 seq = SeqOf(fields.front());
        if (seq == 0) {
            ++reading.damaged;
            continue;
        }
        fields.removeFirst();
        reading.lastSeq = std::max(reading.lastSeq, seq);
        // The id lives in `text`, which outlives `lines`.
        const qsizetype idAt = check.body.size() - id.size();
        lines.push_back({seq, std::move(fields), check.body.sliced(idAt)});
    }

    // Whose records are the workbook's: those of its identity or, for a workbook that has none
    // yet, those of the last session named with its event name and date.
    QString id = owner.id;
    if (id.isEmpty()) {
        for (auto it = owners.rbegin(); it != owners.rend(); ++it)
            if (!it->id.isEmpty() && it->eventName == owner.eventName &&
                it->eventDate == owner.eventDate) {
                id = reading.adoptedId = it->id;
                break;
            }
    }
    const QByteArray ownId = id.toUtf8();
    qint64 lastOwn = 0;
    QByteArray otherId;
    for (Line& line : lines) {
        if (ownId.isEmpty() || line.id != QByteArrayView(ownId)) {
            ++reading.foreign;
            otherId = line.id.toByteArray();
            continue;
        }
        // A record is taken once: a number not above the last one taken is a copy.
        if (line.seq <= lastOwn) continue;
        lastOwn = line.seq;
        reading.records.push_back({line.seq, std::move(line.fields), true});
    }
    if (reading.foreign > 0) {
        for (auto it = owners.rbegin(); it != owners.rend(); ++it)
            if (it->id.toUtf8() == otherId) {
                reading.other = *it;
                break;
            }
        if (!reading.other) reading.other = JournalOwner{QString::fromUtf8(otherId), {}, {}};
    }
    return reading;
}

ObservationLog::ObservationLog(QByteArray heading, qint64 capBytes)
    : heading_(std::move(heading)), cap_(capBytes) {}

ObservationReading ObservationLog::attach(const QString& path, const JournalOwner& owner) {
    std::vector<Pending> held;
    if (!path_.isEmpty()) {
        // What the previous workbook's log could not take is tried there once more; it never
        // goes into another workbook's log.
        write();
        dropped_ += static_cast<int>(pending_.size());
        pending_.clear();
    } else {
        held = std::move(pending_);
        pending_.clear();
    }
    path_ = path;
    owner_ = owner;
    ownerLineWritten_ = false;
    checkEnd_ = true;
    full_ = false;
    lastError_ = 0;
    if (path_.isEmpty()) {
        pending_ = std::move(held);
        return {};
    }
    ObservationReading reading = ReadObservationLog(path_, owner_, cap_);
    if (!reading.adoptedId.isEmpty()) owner_.id = reading.adoptedId;
    size_ = QFileInfo(path_).size();
    full_ = reading.capped;
    nextSeq_ = reading.lastSeq + 1;
    // Records that arrived with no workbook attached belong to this one, after its own.
    for (Pending& p : held) {
        p.seq = nextSeq_++;
        reading.records.push_back({p.seq, p.fields, true});
        pending_.push_back(std::move(p));
    }
    if (!pending_.empty()) write();
    return reading;
}

void ObservationLog::setOwner(const JournalOwner& owner) {
    if (owner.id != owner_.id) ownerLineWritten_ = false;
    owner_ = owner;
}

qint64 ObservationLog::append(const QList<QByteArray>& fields) {
    const qint64 seq = nextSeq_++;
    pending_.push_back({seq, fields});
    write();
    return seq;
}

qint64 ObservationLog::appendAll(const std::vector<QList<QByteArray>>& records) {
    const qint64 first = nextSeq_;
    for (const QList<QByteArray>& fields : records) pending_.push_back({nextSeq_++, fields});
    write();
    return first;
}

bool ObservationLog::retry() { return write(); }

bool ObservationLog::write() {
    if (pending_.empty()) return true;
    // A record without the workbook's identity would be nobody's record when read back: it
    // waits until the identity is known (setOwner).
    if (path_.isEmpty() || full_ || owner_.id.isEmpty()) return false;
    const QByteArray id = FieldBytes(owner_.id);
    const auto sealed = [&](QByteArray body) {
        body += '\t';
        body += id;
        QByteArray line = SealedLine(body, '\t');
        line += '\n';
        return line;
    };
    QByteArray bytes;
    std::vector<qsizetype> ends;  // where each pending record ends in `bytes`
    ends.reserve(pending_.size());
    qsizetype ownerLineEnd = 0;
    if (!ownerLineWritten_) {
        bytes += sealed(kOwnerWord + '\t' + FieldBytes(owner_.eventName) + '\t' +
                        FieldBytes(owner_.eventDate));
        ownerLineEnd = bytes.size();
    }
    for (const Pending& p : pending_) {
        bytes += sealed(JoinFields(p.seq, p.fields));
        ends.push_back(bytes.size());
    }
    // The heading of a new file and the end of a cut line count too: a file read back stops at
    // the cap, and a record past it would be lost.
    const qint64 besides = (size_ == 0 ? heading_.size() : 0) + (checkEnd_ ? 2 : 0);
    if (size_ + besides + bytes.size() > cap_) {
        full_ = true;
        return false;
    }
    static const char cutLineEnd[] = {kCutMark, '\n', '\0'};
    int error = 0;
    size_t written = 0;
    const bool ok = sheet::AppendToFile(QFile::encodeName(path_).toStdString(),
                                        std::string_view(bytes.constData(), bytes.size()),
                                        std::string_view(heading_.constData(), heading_.size()),
                                        checkEnd_ ? cutLineEnd : "", &error, &written);
    size_ = QFileInfo(path_).size();
    // The records that reached the file whole are there, even when the write failed after them;
    // the one it tore is closed with the cut mark next time and written again whole.
    if (written >= static_cast<size_t>(ownerLineEnd)) ownerLineWritten_ = true;
    size_t whole = 0;
    while (whole < ends.size() && static_cast<size_t>(ends[whole]) <= written) ++whole;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<qsizetype>(whole));
    if (ok) {
        checkEnd_ = false;
        lastError_ = 0;
        return true;
    }
    checkEnd_ = true;
    lastError_ = error;
    return false;
}

}  // namespace zalvik::store
