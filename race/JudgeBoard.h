#pragma once
// The gate judges on the venue's network: who they are (the roster kept beside the workbook),
// how a phone logs in (a PIN gives a token), what an entry from a phone must pass to be taken,
// the log that keeps every entry before the phone hears that it arrived, and what the entries
// propose for a competitor's gates. No widget: the live server's thread calls login() and
// submit(); the screens read proposalsFor() and entries() and follow entriesChanged().
//
// The judges only propose. Nothing here writes the workbook; the official's registration does,
// with the proposals on the panel to check.
//
// Threads: login(), submit() and every reader may be called from any thread.
// attach() and the roster's changes are the program's own. The log's write and flush for an
// entry is done inside submit(), so the answer the server gives afterwards can say the entry
// is on disk; readers never wait for a disk write (the state they read has its own lock).

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "app/Competition.h"
#include "store/ObservationLog.h"

namespace zalvik::judges {

constexpr int kPinDigits = 6;
constexpr int kWrongPinsBeforeWait = 5;
constexpr int kWrongPinWaitSeconds = 60;
constexpr int kMaxBatch = 100;
constexpr int kMaxReasonCharacters = 100;

struct Judge {
    int id = 0;  // from 1, never given twice in a workbook's roster
    QString name;
    QList<int> gates;  // the gates watched, from 1, ascending
    QString pin;       // kPinDigits digits
    bool revoked = false;
};

// What the checks of an entry need of the competition, copied from it in the program's thread
// so that the server's thread never reads the competition itself.
struct JudgeRace {
    QString eventName;
    int gateCount = 0;
    std::array<int, kMaxGates + 1> gateBuoyCount{};  // entry g for gate g
    std::array<QString, kBuoyKinds + 1> buoyName{};  // entry k for buoy k
    std::array<int, kBuoyKinds + 1> buoyScore{};
    std::vector<int> bibs;  // sorted

    bool hasBib(int bib) const { return std::binary_search(bibs.begin(), bibs.end(), bib); }

    static JudgeRace Of(const Competition& c);
    // The buoys offered at gate g (1..its buoy count, at most the five kinds).
    int buoysAt(int gate) const;
};

// One entry a judge sent, as kept in the log.
struct JudgeEntry {
    qint64 seq = 0;   // its record's sequence number in the log
    QByteArray id;    // the phone's own id: 32 hexadecimal digits
    int judgeId = 0;  // 0 when the token named no judge (never logged)
    QString judgeName;
    int bib = 0;
    int gate = 0;  // from 1
    int buoy = 0;  // 1..5; 0 for a DQ
    bool dq = false;
    QString reason;   // the DQ's reason, as the judge typed it (may be empty)
    QString refused;  // why it was not taken; empty when it was
    QDateTime received;
};

// What the judges' entries propose for one gate of a competitor. Of each judge only the
// latest entry for the bib and gate counts.
struct GateProposal {
    enum class Kind { None, Buoy, Disagreement };
    Kind kind = Kind::None;
    int buoy = 0;  // Kind::Buoy: the buoy (1..5) every judge who gave one agrees on
    // Kind::Buoy: the entries saying it, the latest last (its judge and time go on the
    // tooltip); Kind::Disagreement: the latest buoy entry of every judge, oldest first.
    std::vector<JudgeEntry> entries;
};

struct BibProposals {
    std::array<GateProposal, kMaxGates> gates;  // element g for gate g + 1
    // The judges' DQs (a judge's latest entry for its gate), by gate then time. A DQ is never
    // a gate's buoy: the gate keeps what the other judges' entries say.
    std::vector<JudgeEntry> dq;
    bool any() const;
};

// An entry as a phone sends it.
struct SentEntry {
    QByteArray id;
    int bib = 0;
    int gate = 0;
    int buoy = 0;
    bool dq = false;
    QString reason;
};

// The answer to one entry of a batch.
struct EntryAnswer {
    QByteArray id;
    qint64 seq = 0;          // the entry's sequence number, when taken or refused and logged
    QString refused;         // why it was refused; empty when taken
    bool otherGate = false;  // refused because the gate is not the judge's
    bool unlogged = false;   // the log could not be written: nothing was taken, send it again
};

struct LoginAnswer {
    enum class What { Ok, WrongPin, Wait };
    What what = What::WrongPin;
    QByteArray token;
    Judge judge;
    JudgeRace race;
    int waitSeconds = 0;  // What::Wait
};

class JudgeBoard : public QObject {
    Q_OBJECT
  public:
    JudgeBoard();
    ~JudgeBoard() override;

    // Turns to the judges of the workbook at `workbookPath` (empty: none): reads its roster and
    // replays its log as the records of `owner`, and forgets every token given so far. Returns
    // the identity the log recognised the workbook by (see store::ObservationReading), if any.
    // `carryFrom`: the workbook this one was saved from under a new name; its roster and log
    // are copied beside this one first, when this one has none.
    QString attach(const QString& workbookPath, const store::JournalOwner& owner,
                   const QString& carryFrom = {});
    // The workbook's identity became known.
    void setOwner(const store::JournalOwner& owner);
    void setRace(JudgeRace race);
    JudgeRace race() const;

    // The roster. Each change is written to the roster file at once; a change that could not be
    // written stays in memory and problem() says so until a later write succeeds.
    std::vector<Judge> judges() const;
    Judge addJudge();
    void setJudgeName(int id, const QString& name);
    void setJudgeGates(int id, const QList<int>& gates);
    // At once: the judge's tokens and PIN stop working; the entries already taken stay.
    void revokeJudge(int id);

    // Why the roster or the log cannot be read or written; empty while both can.
    QString problem() const;

    // What the judges propose for the competitor with `bib`.
    BibProposals proposalsFor(int bib) const;
    // Every entry received for the workbook, taken and refused, in log order; from `from` on
    // (a list that holds the first `from` already asks only for the rest).
    std::vector<JudgeEntry> entries(size_t from = 0) const;
    size_t entryCount() const;

    // The phone's side (any thread). `from`: the phone's address, for the wrong-PIN wait.
    LoginAnswer login(const QString& pin, const QString& from);
    // Checks and logs a batch (at most kMaxBatch entries); nullopt when the token does not work.
    // Each entry is answered: taken with its sequence number, refused with its reason (also
    // logged), or not logged. An id sent again is answered as it was the first time.
    std::optional<std::vector<EntryAnswer>> submit(const QByteArray& token,
                                                   const std::vector<SentEntry>& batch);

    // Milliseconds of a steady clock, for the wrong-PIN wait; tests move it on.
    void setClockForTesting(std::function<qint64()> now);

  signals:
    // Entries arrived (emitted in the thread that took them) or the workbook changed.
    void entriesChanged();
    void judgesChanged();

  private:
    struct Known {
        qint64 seq;
        QString refused;
        bool otherGate;
        bool logged;
    };
    EntryAnswer check(const Judge& judge, const SentEntry& sent) const;
    void take(JudgeEntry entry);  // with state_ locked
    // Changes a judge (`change` says whether anything changed), writes the roster and says so.
    void changeJudge(int id, const std::function<bool(Judge&)>& change);
    void saveRoster();                                               // with state_ locked
    void readRoster();                                               // with state_ locked
    std::optional<Judge> tokenJudge(const QByteArray& token) const;  // with state_ locked

    // Held across the check, the log's write and the taking of a batch, so that an id sent
    // twice at once is taken once. Taken before state_, never after it.
    QMutex writing_;
    mutable QMutex state_;
    store::ObservationLog log_;
    QString rosterPath_;
    std::vector<Judge> judges_;
    int nextJudgeId_ = 1;
    JudgeRace race_;
    std::vector<JudgeEntry> entries_;
    std::map<int, std::vector<size_t>> byBib_;  // indexes into entries_
    std::map<QByteArray, Known> known_;         // by entry id
    std::vector<JudgeEntry> unlogged_;          // checked, waiting for the log to be written
    std::map<QByteArray, int> tokens_;          // token -> judge id
    struct Wrong {
        int count = 0;
        qint64 waitUntil = 0;
    };
    std::map<QString, Wrong> wrongPins_;  // by address
    QString rosterProblem_;
    QString logProblem_;
    std::function<qint64()> now_;
};

QString JudgesPath(const QString& workbookPath);     // <workbook>.judges
QString JudgesLogPath(const QString& workbookPath);  // <workbook>.judges.log

}  // namespace zalvik::judges
