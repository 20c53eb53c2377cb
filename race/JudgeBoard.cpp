#include "race/JudgeBoard.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <utility>

#include "sheet/FileWrite.h"
#include "store/FileMessages.h"

namespace zalvik::judges {

namespace {

// The log's first line, for whoever opens the file.
const QByteArray kLogHeading = QStringLiteral(
                                   "# 審判の入力の記録（zalvik-race）: 番号, 受付/拒否, 送信ID, "
                                   "審判番号, 審判名, ゼッケン, ゲート, ブイ/DQ, DQの理由, "
                                   "拒否の理由, 受信時刻\r\n")
                                   .toUtf8();
const QByteArray kRosterHeading =
    QStringLiteral("# 審判の一覧（zalvik-race）: 番号, PIN, 有効/無効, ゲート, 名前\n").toUtf8();
const QString kTaken = QStringLiteral("受付");
const QString kRefused = QStringLiteral("拒否");
const QString kActive = QStringLiteral("有効");
const QString kRevoked = QStringLiteral("無効");
// Tokens kept per judge: a phone that logs in again and again does not make the table grow.
constexpr int kTokensPerJudge = 16;
// Addresses whose wrong PINs are remembered; beyond this, those with nothing left to wait for
// are forgotten.
constexpr size_t kRememberedAddresses = 1024;

QByteArray RandomHex(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(raw.data()), bytes / 4);
    return raw.toHex();
}

QString NewPin(const std::vector<Judge>& judges) {
    for (;;) {
        const QString pin = QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1000000),
                                                     kPinDigits, 10, QLatin1Char('0'));
        if (std::none_of(judges.begin(), judges.end(),
                         [&](const Judge& j) { return j.pin == pin; }))
            return pin;
    }
}

QString OneLine(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
    return text;
}

QList<QByteArray> FieldsOf(const JudgeEntry& e) {
    return {(e.refused.isEmpty() ? kTaken : kRefused).toUtf8(),
            e.id,
            QByteArray::number(e.judgeId),
            e.judgeName.toUtf8(),
            QByteArray::number(e.bib),
            QByteArray::number(e.gate),
            e.dq ? QByteArrayLiteral("DQ") : QByteArray::number(e.buoy),
            e.reason.toUtf8(),
            e.refused.toUtf8(),
            QByteArray::number(e.received.toMSecsSinceEpoch())};
}

std::optional<JudgeEntry> EntryOf(const store::ObservationRecord& r) {
    if (!r.checked || r.fields.size() < 10) return std::nullopt;
    const QList<QByteArray>& f = r.fields;
    JudgeEntry e;
    e.seq = r.seq;
    e.id = f[1];
    bool ok = true, each = true;
    e.judgeId = f[2].toInt(&each);
    ok &= each;
    e.judgeName = QString::fromUtf8(f[3]);
    e.bib = f[4].toInt(&each);
    ok &= each;
    e.gate = f[5].toInt(&each);
    ok &= each;
    e.dq = f[6] == "DQ";
    if (!e.dq) {
        e.buoy = f[6].toInt(&each);
        ok &= each;
    }
    e.reason = QString::fromUtf8(f[7]);
    e.refused = QString::fromUtf8(f[8]);
    if (f[0] == kRefused.toUtf8() && e.refused.isEmpty()) e.refused = QStringLiteral("拒否");
    e.received = QDateTime::fromMSecsSinceEpoch(f[9].toLongLong(&each));
    ok &= each;
    if (!ok || e.id.isEmpty()) return std::nullopt;
    return e;
}

}  // namespace

JudgeRace JudgeRace::Of(const Competition& c) {
    JudgeRace r;
    r.eventName = c.eventName;
    r.gateCount = UsedGates(c);
    for (int g = 1; g <= kMaxGates; ++g) r.gateBuoyCount[g] = c.gateBuoyCount[g];
    for (int k = 1; k <= kBuoyKinds; ++k) {
        r.buoyName[k] = c.buoyName[k];
        r.buoyScore[k] = c.buoyScore[k];
    }
    const int count = std::clamp<int>(c.competitorCount, 0, kMaxSlots);
    r.bibs.reserve(count);
    for (int i = 1; i <= count; ++i) r.bibs.push_back(c.competitors[i].bib);
    std::sort(r.bibs.begin(), r.bibs.end());
    return r;
}

int JudgeRace::buoysAt(int gate) const {
    if (gate < 1 || gate > gateCount) return 0;
    return std::clamp(gateBuoyCount[gate], 0, kBuoyKinds);
}

bool BibProposals::any() const {
    return !dq.empty() || std::any_of(gates.begin(), gates.end(), [](const GateProposal& g) {
        return g.kind != GateProposal::Kind::None;
    });
}

JudgeBoard::JudgeBoard() : log_(kLogHeading) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    now_ = [clock] { return clock->elapsed(); };
}

JudgeBoard::~JudgeBoard() = default;

QString JudgesPath(const QString& workbookPath) { return workbookPath + QStringLiteral(".judges"); }
QString JudgesLogPath(const QString& workbookPath) {
    return workbookPath + QStringLiteral(".judges.log");
}

QString JudgeBoard::attach(const QString& workbookPath, const store::JournalOwner& owner,
                           const QString& carryFrom) {
    QMutexLocker writing(&writing_);
    if (!carryFrom.isEmpty() && !workbookPath.isEmpty()) {
        for (const auto& pathOf : {JudgesPath, JudgesLogPath}) {
            QFile old(pathOf(carryFrom));
            const QString copy = pathOf(workbookPath);
            if (QFileInfo::exists(copy) || !old.open(QIODevice::ReadOnly)) continue;
            const QByteArray bytes = old.readAll();
            sheet::WriteFileSafely(QFile::encodeName(copy).toStdString(),
                                   std::string_view(bytes.constData(), bytes.size()));
        }
    }
    const store::ObservationReading reading =
        log_.attach(workbookPath.isEmpty() ? QString() : JudgesLogPath(workbookPath), owner);
    {
        QMutexLocker lock(&state_);
        entries_.clear();
        byBib_.clear();
        known_.clear();
        unlogged_.clear();
        tokens_.clear();
        wrongPins_.clear();
        judges_.clear();
        nextJudgeId_ = 1;
        rosterProblem_.clear();
        logProblem_.clear();
        rosterPath_ = workbookPath.isEmpty() ? QString() : JudgesPath(workbookPath);
        if (!rosterPath_.isEmpty()) readRoster();
        if (reading.error != 0)
            logProblem_ = store::JudgesFileMessage(QFileInfo(log_.path()).fileName(), reading.error,
                                                   true, false);
        for (const store::ObservationRecord& record : reading.records) {
            std::optional<JudgeEntry> e = EntryOf(record);
            // An entry is kept once, whatever the log holds.
            if (!e || known_.count(e->id)) continue;
            take(std::move(*e));
        }
    }
    emit judgesChanged();
    emit entriesChanged();
    return reading.adoptedId;
}

void JudgeBoard::setOwner(const store::JournalOwner& owner) {
    QMutexLocker writing(&writing_);
    log_.setOwner(owner);
}

void JudgeBoard::setRace(JudgeRace race) {
    QMutexLocker lock(&state_);
    race_ = std::move(race);
}

JudgeRace JudgeBoard::race() const {
    QMutexLocker lock(&state_);
    return race_;
}

void JudgeBoard::take(JudgeEntry e) {
    known_[e.id] = {e.seq, e.refused, false, true};
    if (e.refused.isEmpty()) byBib_[e.bib].push_back(entries_.size());
    entries_.push_back(std::move(e));
}

void JudgeBoard::readRoster() {
    QFile file(rosterPath_);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) {
        rosterProblem_ = store::JudgesFileMessage(
            QFileInfo(rosterPath_).fileName(),
            file.error() == QFileDevice::PermissionsError ? EACCES : EIO, true, true);
        return;
    }
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 5) continue;
        Judge j;
        j.id = f[0].toInt();
        j.pin = QString::fromUtf8(f[1]);
        j.revoked = f[2] != kActive.toUtf8();
        for (const QByteArray& g : f[3].split(','))
            if (const int gate = g.toInt(); gate >= 1 && gate <= kMaxGates) j.gates.append(gate);
        j.name = QString::fromUtf8(f[4]);
        if (j.id < 1 || j.pin.size() != kPinDigits) continue;
        nextJudgeId_ = std::max(nextJudgeId_, j.id + 1);
        judges_.push_back(std::move(j));
    }
}

void JudgeBoard::saveRoster() {
    if (rosterPath_.isEmpty()) return;
    QByteArray text = kRosterHeading;
    for (const Judge& j : judges_) {
        QStringList gates;
        for (int g : j.gates) gates << QString::number(g);
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                    .arg(j.id)
                    .arg(j.pin, j.revoked ? kRevoked : kActive, gates.join(u','), OneLine(j.name))
                    .toUtf8();
    }
    int error = 0;
    if (sheet::WriteFileSafely(QFile::encodeName(rosterPath_).toStdString(),
                               std::string_view(text.constData(), text.size()), &error))
        rosterProblem_.clear();
    else
        rosterProblem_ =
            store::JudgesFileMessage(QFileInfo(rosterPath_).fileName(), error, false, true);
}

std::vector<Judge> JudgeBoard::judges() const {
    QMutexLocker lock(&state_);
    return judges_;
}

Judge JudgeBoard::addJudge() {
    Judge j;
    {
        QMutexLocker lock(&state_);
        j.id = nextJudgeId_++;
        j.pin = NewPin(judges_);
        judges_.push_back(j);
        saveRoster();
    }
    emit judgesChanged();
    return j;
}

void JudgeBoard::changeJudge(int id, const std::function<bool(Judge&)>& change) {
    {
        QMutexLocker lock(&state_);
        auto it = std::find_if(judges_.begin(), judges_.end(), [&](auto& j) { return j.id == id; });
        if (it == judges_.end() || !change(*it)) return;
        saveRoster();
    }
    emit judgesChanged();
}

void JudgeBoard::setJudgeName(int id, const QString& name) {
    changeJudge(id, [&](Judge& j) { return std::exchange(j.name, name) != name; });
}

void JudgeBoard::setJudgeGates(int id, const QList<int>& gates) {
    QList<int> sorted = gates;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    changeJudge(id, [&](Judge& j) { return std::exchange(j.gates, sorted) != sorted; });
}

void JudgeBoard::revokeJudge(int id) {
    changeJudge(id, [&](Judge& j) {
        if (j.revoked) return false;
        j.revoked = true;
        for (auto t = tokens_.begin(); t != tokens_.end();)
            t = t->second == id ? tokens_.erase(t) : std::next(t);
        return true;
    });
}

QString JudgeBoard::problem() const {
    QMutexLocker lock(&state_);
    if (rosterProblem_.isEmpty()) return logProblem_;
    if (logProblem_.isEmpty()) return rosterProblem_;
    return rosterProblem_ + u'\n' + logProblem_;
}

BibProposals JudgeBoard::proposalsFor(int bib) const {
    BibProposals out;
    QMutexLocker lock(&state_);
    const auto at = byBib_.find(bib);
    if (at == byBib_.end()) return out;
    // The latest entry of each judge for each gate (entries_ is in sequence order).
    std::map<std::pair<int, int>, const JudgeEntry*> latest;  // (gate, judge) -> entry
    for (size_t i : at->second) {
        const JudgeEntry& e = entries_[i];
        if (e.gate >= 1 && e.gate <= kMaxGates) latest[{e.gate, e.judgeId}] = &e;
    }
    for (const auto& [key, e] : latest) {
        if (e->dq) {
            out.dq.push_back(*e);
            continue;
        }
        out.gates[key.first - 1].entries.push_back(*e);
    }
    for (GateProposal& g : out.gates) {
        if (g.entries.empty()) continue;
        std::sort(g.entries.begin(), g.entries.end(),
                  [](const JudgeEntry& a, const JudgeEntry& b) { return a.seq < b.seq; });
        const int first = g.entries.front().buoy;
        const bool agree = std::all_of(g.entries.begin(), g.entries.end(),
                                       [first](const JudgeEntry& e) { return e.buoy == first; });
        g.kind = agree ? GateProposal::Kind::Buoy : GateProposal::Kind::Disagreement;
        g.buoy = agree ? first : 0;
    }
    std::sort(out.dq.begin(), out.dq.end(), [](const JudgeEntry& a, const JudgeEntry& b) {
        return a.gate != b.gate ? a.gate < b.gate : a.seq < b.seq;
    });
    return out;
}

std::vector<JudgeEntry> JudgeBoard::entries(size_t from) const {
    QMutexLocker lock(&state_);
    if (from >= entries_.size()) return {};
    return {entries_.begin() + static_cast<std::ptrdiff_t>(from), entries_.end()};
}

size_t JudgeBoard::entryCount() const {
    QMutexLocker lock(&state_);
    return entries_.size();
}

LoginAnswer JudgeBoard::login(const QString& pin, const QString& from) {
    LoginAnswer answer;
    QMutexLocker lock(&state_);
    const qint64 now = now_();
    if (wrongPins_.size() > kRememberedAddresses)
        for (auto it = wrongPins_.begin(); it != wrongPins_.end();)
            it = it->second.waitUntil <= now ? wrongPins_.erase(it) : std::next(it);
    Wrong& wrong = wrongPins_[from];
    if (wrong.waitUntil > now) {
        answer.what = LoginAnswer::What::Wait;
        answer.waitSeconds = static_cast<int>((wrong.waitUntil - now + 999) / 1000);
        return answer;
    }
    const auto judge = std::find_if(judges_.begin(), judges_.end(), [&](const Judge& j) {
        return !j.revoked && pin.size() == kPinDigits && j.pin == pin;
    });
    if (judge == judges_.end()) {
        if (++wrong.count < kWrongPinsBeforeWait) return answer;
        wrong = {0, now + kWrongPinWaitSeconds * 1000LL};
        answer.what = LoginAnswer::What::Wait;
        answer.waitSeconds = kWrongPinWaitSeconds;
        return answer;
    }
    wrongPins_.erase(from);
    answer.what = LoginAnswer::What::Ok;
    answer.judge = *judge;
    answer.race = race_;
    answer.token = RandomHex(16);
    tokens_[answer.token] = judge->id;
    int count = 0;
    for (const auto& [token, id] : tokens_) count += id == judge->id;
    // Tokens are random, so the map's order is no age; a judge over the bound starts afresh
    // with the token just given.
    if (count > kTokensPerJudge)
        for (auto it = tokens_.begin(); it != tokens_.end();)
            it = it->second == judge->id && it->first != answer.token ? tokens_.erase(it)
                                                                      : std::next(it);
    return answer;
}

std::optional<Judge> JudgeBoard::tokenJudge(const QByteArray& token) const {
    const auto it = tokens_.find(token);
    if (it == tokens_.end()) return std::nullopt;
    for (const Judge& j : judges_)
        if (j.id == it->second && !j.revoked) return j;
    return std::nullopt;
}

EntryAnswer JudgeBoard::check(const Judge& judge, const SentEntry& s) const {
    EntryAnswer a;
    a.id = s.id;
    if (!judge.gates.contains(s.gate)) {
        a.otherGate = true;
        a.refused = QStringLiteral("ゲート%1はこの審判の担当ではありません。").arg(s.gate);
    } else if (s.gate < 1 || s.gate > race_.gateCount) {
        a.refused = QStringLiteral("ゲート%1はこの大会にありません。").arg(s.gate);
    } else if (!race_.hasBib(s.bib)) {
        a.refused = QStringLiteral("ゼッケン%1の選手はいません。").arg(s.bib);
    } else if (!s.dq && (s.buoy < 1 || s.buoy > race_.buoysAt(s.gate))) {
        a.refused = race_.buoysAt(s.gate) == 0
                        ? QStringLiteral("ゲート%1にはブイがありません。").arg(s.gate)
                        : QStringLiteral("ゲート%1で選べるのはブイ1〜%2です。")
                              .arg(s.gate)
                              .arg(race_.buoysAt(s.gate));
    }
    return a;
}

std::optional<std::vector<EntryAnswer>> JudgeBoard::submit(const QByteArray& token,
                                                           const std::vector<SentEntry>& batch) {
    QMutexLocker writing(&writing_);
    Judge judge;
    std::vector<EntryAnswer> answers(batch.size());
    std::vector<JudgeEntry> fresh;
    std::vector<size_t> freshAnswer;  // which answer each fresh entry goes to
    std::map<QByteArray, size_t> inBatch;
    bool retryUnlogged = false;
    {
        QMutexLocker lock(&state_);
        std::optional<Judge> j = tokenJudge(token);
        if (!j) return std::nullopt;
        judge = *j;
        const QDateTime now = QDateTime::currentDateTime();
        for (size_t i = 0; i < batch.size(); ++i) {
            const SentEntry& s = batch[i];
            answers[i].id = s.id;
            if (const auto k = known_.find(s.id); k != known_.end()) {
                if (!k->second.logged) retryUnlogged = true;
                continue;  // answered below, from what is known
            }
            if (inBatch.count(s.id)) continue;
            inBatch[s.id] = i;
            JudgeEntry e;
            e.id = s.id;
            e.judgeId = judge.id;
            e.judgeName = judge.name;
            e.bib = s.bib;
            e.gate = s.gate;
            e.dq = s.dq;
            e.buoy = s.dq ? 0 : s.buoy;
            e.reason = s.dq ? OneLine(s.reason.left(kMaxReasonCharacters)) : QString();
            e.received = now;
            const EntryAnswer checked = check(judge, s);
            e.refused = checked.refused;
            answers[i] = checked;
            fresh.push_back(std::move(e));
            freshAnswer.push_back(i);
        }
    }

    // To the log first, flushed, and only then into the board.
    bool logged = true;
    if (!fresh.empty()) {
        std::vector<QList<QByteArray>> records;
        records.reserve(fresh.size());
        for (const JudgeEntry& e : fresh) records.push_back(FieldsOf(e));
        qint64 seq = log_.appendAll(records);
        for (JudgeEntry& e : fresh) e.seq = seq++;
        logged = log_.written();
    } else if (retryUnlogged) {
        logged = log_.retry();
    }
    const bool anyNew = !fresh.empty() && logged;
    {
        QMutexLocker lock(&state_);
        for (size_t n = 0; n < fresh.size(); ++n)
            known_[fresh[n].id] = {fresh[n].seq, fresh[n].refused,
                                   answers[freshAnswer[n]].otherGate, false};
        unlogged_.insert(unlogged_.end(), fresh.begin(), fresh.end());
        if (log_.written()) {
            // Everything that waited for the disk is on it now.
            for (JudgeEntry& e : unlogged_) {
                const bool otherGate = known_[e.id].otherGate;
                take(std::move(e));
                known_[entries_.back().id].otherGate = otherGate;
            }
            unlogged_.clear();
            logProblem_.clear();
        } else {
            logProblem_ =
                store::JudgesFileMessage(QFileInfo(log_.path()).fileName(),
                                         log_.full() ? EFBIG : log_.lastError(), false, false);
        }
        for (size_t i = 0; i < batch.size(); ++i) {
            const Known& k = known_[batch[i].id];
            EntryAnswer& a = answers[i];
            a.id = batch[i].id;
            a.unlogged = !k.logged;
            a.seq = k.logged ? k.seq : 0;
            a.refused = k.refused;
            a.otherGate = k.otherGate;
        }
    }
    if (anyNew || (retryUnlogged && logged)) emit entriesChanged();
    return answers;
}

void JudgeBoard::setClockForTesting(std::function<qint64()> now) {
    QMutexLocker lock(&state_);
    now_ = std::move(now);
}

}  // namespace zalvik::judges
