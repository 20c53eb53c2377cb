#include "race/ResultDesk.h"

#include <QFileInfo>
#include <QUuid>
#include <algorithm>

#include "app/Numbers.h"
#include "race/Formatting.h"
#include "race/ResultEntry.h"
#include "race/ResultWriter.h"
#include "race/Scoring.h"
#include "store/InputSheet.h"

namespace zalvik {

using store::JournalEntry;

namespace {

// The last input-sheet column a result fills: the gate points of gate 12.
constexpr int kLastResultColumn = store::kColFirstGate + kMaxGates - 1;

// The journal line of a registration that gives the competitor `who`: its values, and the
// points of gates 1..gates.
JournalEntry RegistrationOf(const Competitor& who, int gates) {
    JournalEntry e;
    e.action = JournalEntry::Action::Registration;
    e.bib = who.bib;
    e.name = who.name;
    e.runTime = who.runTime;
    e.buoyPoints = who.buoyPoints;
    e.racePoints = who.racePoints;
    e.status = who.status;
    e.gates.assign(who.gatePoints.begin(), who.gatePoints.begin() + gates);
    return e;
}

// A result in words, as the take-in question lists it.
QString ResultWords(const Competition& d, const Competitor& who, int gates) {
    if (!HasRegisteredResult(who)) return QStringLiteral("結果なし");
    if (who.status != 0) {
        const bool named = who.status > 0 && who.status < static_cast<int>(d.statusWord.size());
        return named ? d.statusWord[who.status] : QString::number(who.status);
    }
    QStringList points(who.gatePoints.begin(), who.gatePoints.begin() + gates);
    return QStringLiteral("タイム %1　B.P %2　RP %3　ゲート %4")
        .arg(FormatHundredths(who.runTime), SingleText(who.buoyPoints),
             FormatHundredths(who.racePoints), points.join(QLatin1Char(',')));
}

// What stops a run (status 0) from being registered: a missing or mistyped time, or a gate left
// without its buoy, would be ranked as a plainly wrong result. Otherwise the run time.
Refusal CheckRun(const Competition& d, const ResultRequest& r, float* runTime, int* gate) {
    using Fault = CheckedRunTime::Fault;
    if (!r.buoyTotal) return Refusal::NoBuoyPoints;
    CheckedRunTime time =
        r.runTime ? CheckedRunTime{Fault::None, *r.runTime} : CheckRunTime(r.minutes, r.seconds);
    if (time.fault == Fault::None && !(time.seconds > 0)) time.fault = Fault::NoTime;
    // The refusals of the time's faults, in the order of CheckedRunTime::Fault.
    constexpr Refusal kOfTime[] = {Refusal::None, Refusal::NoTime, Refusal::MinutesUnreadable,
                                   Refusal::SecondsUnreadable, Refusal::SecondsNotBelow60};
    if (time.fault != Fault::None) return kOfTime[static_cast<int>(time.fault)];
    if ((*gate = FirstGateWithoutBuoy(d, r.buoyAtGate))) return Refusal::GateWithoutBuoy;
    // Race points divide by the buoy points: a total of 0 (buoys that score 0) has none.
    if (*r.buoyTotal == 0) return Refusal::ZeroBuoyPoints;
    *runTime = time.seconds;
    return Refusal::None;
}

// The values a journal line leaves the competitor with: a registration's, none after a
// take-back.
void TakeValues(Competitor& who, const JournalEntry& e) {
    const bool registered = e.action == JournalEntry::Action::Registration;
    who.runTime = registered ? e.runTime : 0;
    who.buoyPoints = registered ? e.buoyPoints : 0;
    who.racePoints = registered ? e.racePoints : 0;
    who.status = registered ? static_cast<int16_t>(e.status) : 0;
    if (!registered) who.gatePoints.fill(QString());
    const size_t gates = registered ? std::min<size_t>(e.gates.size(), kMaxGates) : 0;
    std::copy_n(e.gates.begin(), gates, who.gatePoints.begin());
}

}  // namespace

QString RefusalMessage(Refusal refusal, int gate) {
    using Fault = CheckedRunTime::Fault;
    switch (refusal) {
        case Refusal::None:
            return {};
        case Refusal::UnknownBib:
            return QStringLiteral("該当するゼッケン番号はありません。");
        case Refusal::NoBuoyPoints:
            return QStringLiteral("ﾌﾞｲﾎﾟｲﾝﾄが未設定です。");
        case Refusal::NoTime:
            return CheckedRunTime{Fault::NoTime}.message();
        case Refusal::MinutesUnreadable:
            return CheckedRunTime{Fault::MinutesUnreadable}.message();
        case Refusal::SecondsUnreadable:
            return CheckedRunTime{Fault::SecondsUnreadable}.message();
        case Refusal::SecondsNotBelow60:
            return CheckedRunTime{Fault::SecondsNotBelow60}.message();
        case Refusal::GateWithoutBuoy:
            return QStringLiteral("ゲート%1のブイが選択されていません。").arg(gate);
        case Refusal::ZeroBuoyPoints:
            return QStringLiteral("ﾌﾞｲﾎﾟｲﾝﾄが0のため、レースポイントを計算できません。");
        case Refusal::NothingToTakeBack:
            return QStringLiteral("この選手には取り消す結果がありません。");
    }
    return {};
}

QStringList DeskOutcome::messages() const {
    QStringList said;
    if (!journalProblem.isEmpty()) said << journalProblem;
    if (!done()) {
        said << RefusalMessage(refusal, gate);
    } else if (outsideWorkbook && action == Action::TakeBack) {
        said << QStringLiteral(
            "ブックが開かれていないため、取り消しは画面にだけ反映し、ブックには"
            "書き込みませんでした。");
    } else if (outsideWorkbook) {
        said << QStringLiteral(
            "ブックが開かれていないため結果をブックに書き込めませんが、"
            "登録した結果は画面に残ります。");
    }
    return said;
}

ResultDesk::ResultDesk(Competition& data, Links links) : data_(data), links_(std::move(links)) {}

DeskOutcome ResultDesk::registerResult(const ResultRequest& request) {
    Competition& d = data_;
    DeskOutcome out;
    out.slot = SlotOfBib(d, request.bib);
    if (out.slot == 0) {
        // Nothing is recorded or written; the rest of the road still runs, so that what an
        // earlier save left unwritten gets another try.
        out.refusal = Refusal::UnknownBib;
        return finish(out);
    }
    // Every check comes before anything is stored, so that a stopped registration leaves the
    // competitor as it was: a DQ changed to OK and then stopped here must not come back into
    // the standings at the next rebuild while the workbook still says DQ.
    float runTime = 0;
    if (request.status == 0) {
        out.refusal = CheckRun(d, request, &runTime, &out.gate);
        if (!out.done()) return out;
    }

    // The competitor as the registration leaves it. A status keeps the run's values (time,
    // buoy points, race points and gate points stay as they were).
    Competitor who = d.competitors[out.slot];
    who.status = request.status;
    const int gates = UsedGates(d);
    if (request.status == 0) {
        who.runTime = runTime;
        who.buoyPoints = static_cast<float>(*request.buoyTotal);
        who.racePoints = RacePoints(who.runTime, who.buoyPoints);
        for (int g = 0; g < gates; ++g)
            who.gatePoints[g] = QString::number(GateScore(d, request.buoyAtGate[g]));
    }
    const JournalEntry entry = RegistrationOf(who, gates);
    // The journal has the result before the data or the workbook changes.
    out.journalProblem = journal(entry);
    apply(entry, &out);
    return finish(out);
}

DeskOutcome ResultDesk::takeBack(int slot) {
    DeskOutcome out;
    out.action = DeskOutcome::Action::TakeBack;
    if (slot < 1 || slot > std::min<int>(data_.competitorCount, kMaxCompetitors) ||
        !HasRegisteredResult(data_.competitors[slot])) {
        out.refusal = Refusal::NothingToTakeBack;
        return out;
    }
    out.slot = slot;
    const Competitor& who = data_.competitors[slot];
    JournalEntry entry;
    entry.action = JournalEntry::Action::TakeBack;
    entry.bib = who.bib;
    entry.name = who.name;
    out.journalProblem = journal(entry);
    apply(entry, &out);
    return finish(out);
}

DeskOutcome ResultDesk::putBack(const std::vector<JournalEntry>& entries) {
    DeskOutcome out;
    out.action = DeskOutcome::Action::PutBack;
    // Only into a workbook: the lines are there to bring one up to date.
    if (!links_.workbook()) return out;
    for (const JournalEntry& e : entries) apply(e, &out);
    return finish(out);
}

int ResultDesk::takeIn(const std::vector<JournalEntry>& entries) {
    DeskOutcome out;
    int applied = 0;
    if (links_.workbook())
        for (const JournalEntry& e : entries) applied += apply(e, &out) ? 1 : 0;
    BuildStandings(data_);
    return applied;
}

bool ResultDesk::apply(const JournalEntry& e, DeskOutcome* outcome) {
    Competition& d = data_;
    const bool takeBack = e.action == JournalEntry::Action::TakeBack;
    if (!takeBack && e.action != JournalEntry::Action::Registration) return false;
    const int c = SlotOfBib(d, e.bib);
    if (c == 0) return false;
    Competitor& who = d.competitors[c];
    TakeValues(who, e);
    sheet::Workbook* book = links_.workbook();
    sheet::Worksheet* ws = book ? book->worksheet(1) : nullptr;
    if (!ws) {
        outcome->outsideWorkbook = true;
        return true;
    }
    // The row is found by the bib the sheet holds, so a sheet whose bib cells no longer agree
    // with the competitor table is written where the sheet says.
    const int row = FindResultRow(*ws, d.competitorCount, who.bib);
    if (row == 0) return true;
    if (takeBack) {
        for (int col = store::kColRunTime; col <= kLastResultColumn; ++col)
            ws->clearValue(row, col);
    } else {
        WriteResultCells(*ws, row, who, e.gates);
    }
    return true;
}

DeskOutcome ResultDesk::finish(DeskOutcome outcome) {
    BuildStandings(data_);
    outcome.save = save();
    publish();
    return outcome;
}

TakeInPlan ResultDesk::planTakeIn(const std::vector<JournalEntry>& entries) const {
    TakeInPlan plan;
    sheet::Workbook* book = links_.workbook();
    sheet::Worksheet* ws = book ? book->worksheet(1) : nullptr;
    if (!ws) return plan;
    const store::JournalPending pending =
        store::PendingEntries(entries, *ws, data_.competitorCount);
    plan.unknownBibs = pending.unknownBibs;
    const int gates = UsedGates(data_);
    for (const JournalEntry& e : pending.toApply) {
        const int c = SlotOfBib(data_, e.bib);
        const Competitor& inFile = data_.competitors[c];
        // A result the file lacks was lost with an older copy: it goes back. One the file holds
        // otherwise may be a correction made there on purpose: the official decides.
        if (c == 0 || !HasRegisteredResult(inFile)) {
            plan.toApply.push_back(e);
            continue;
        }
        Competitor journaled = inFile;
        TakeValues(journaled, e);
        plan.conflicts.push_back({e, QString::number(inFile.bib), inFile.name.trimmed(),
                                  ResultWords(data_, inFile, gates),
                                  ResultWords(data_, journaled, gates)});
    }
    return plan;
}

SaveOutcome ResultDesk::save() {
    sheet::Workbook* book = links_.workbook();
    if (!book || !book->hasUnsavedChanges()) return {};
    if (book->changedOnDisk()) return {SaveOutcome::Kind::FileChanged, {}, {}};
    return write();
}

SaveOutcome ResultDesk::saveUnderNewName() {
    sheet::Workbook* book = links_.workbook();
    if (!book || !book->hasUnsavedChanges()) return {};
    return write();
}

SaveOutcome ResultDesk::write() {
    sheet::Workbook* book = links_.workbook();
    if (!journalId_.isEmpty() && book->customProperty(store::kWorkbookIdProperty).empty())
        book->setCustomProperty(store::kWorkbookIdProperty, journalId_.toStdString());
    const QString before = QString::fromStdString(book->path());
    SaveOutcome out;
    out.result = book->save();
    if (out.result.savedUnderNewName) {
        out.kind = SaveOutcome::Kind::SavedUnderNewName;
        if (links_.movedToNewName) links_.movedToNewName(before);
        // The original's journal says where its later results are, for a later load of it.
        JournalEntry moved;
        moved.action = JournalEntry::Action::Continuation;
        moved.details << QFileInfo(QString::fromStdString(out.result.savedPath)).fileName();
        out.journalProblem = journal_.append(before, moved, journalOwner()).value_or(QString());
    } else if (!out.result.ok) {
        out.kind = SaveOutcome::Kind::Failed;
    }
    return out;
}

void ResultDesk::publish() {
    if (links_.publish) links_.publish();
}

QString ResultDesk::journal(const JournalEntry& entry) {
    sheet::Workbook* book = links_.workbook();
    if (!book) return {};
    // The first journaled change gives the workbook the identity its lines will carry.
    return journal_.append(QString::fromStdString(book->path()), entry, identifiedOwner())
        .value_or(QString());
}

store::JournalOwner ResultDesk::identifiedOwner() {
    store::JournalOwner owner = journalOwner();
    // The identity goes into the file with the next save, not now: a change that ends up
    // writing nothing leaves the workbook without anything to save.
    if (owner.id.isEmpty() && links_.workbook())
        owner.id = journalId_ = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return owner;
}

store::JournalOwner ResultDesk::journalOwner() const {
    store::JournalOwner owner{{}, data_.eventName, data_.eventDate};
    // (Reading the property may parse the part holding it, which is why the book is not const.)
    sheet::Workbook* book = links_.workbook();
    if (!book) return owner;
    owner.id = QString::fromStdString(book->customProperty(store::kWorkbookIdProperty));
    if (owner.id.isEmpty()) owner.id = journalId_;
    return owner;
}

void ResultDesk::adoptJournalIdentity(const QString& id) {
    if (!id.isEmpty()) journalId_ = id;
}

void ResultDesk::startJournal() {
    journal_.reset();
    journalId_.clear();
}

}  // namespace zalvik
