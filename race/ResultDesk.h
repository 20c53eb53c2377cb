#pragma once
// The result desk: the one road a competitor's result takes into the competition, whatever
// its source. The official's keys and clicks on the processing screen reach it today; times
// from the timing device reach it through the same panel, and entries of gate judges on the
// network will too: a source offers values, the official confirms them, and the screen hands
// the desk a ResultRequest. No source registers by itself.
//
// The road, in this order: the request is checked; the change is journaled and flushed beside
// the workbook; it is stored in the competition data (time, buoy points, race points, status
// and the points of the buoy chosen at each gate); the competitor's row of the input sheet is
// written; the standings are rebuilt (order and ranks; the screens show them); the workbook
// is saved; the live page is published. Taking a result back, and putting journaled changes
// back at recovery and at a take-in, go through the same routine that applies one journal
// line, so the data and the workbook cannot come to differ between these roads.
//
// The desk shows nothing. It answers with an outcome that says what happened and why; the
// screens turn it into their messages, the focus and the grids.

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "app/Competition.h"
#include "sheet/Workbook.h"
#include "store/Journal.h"

namespace zalvik {

// One competitor's result as a source hands it over: plain data, no widget.
struct ResultRequest {
    double bib = 0;      // as typed: the first competitor carrying it
    int16_t status = 0;  // 0: a run; otherwise the status alone (DS 1, DF 2, DQ 3, …)
    QString minutes;     // the time as typed, in two boxes …
    QString seconds;
    std::optional<float> runTime;  // … or a time already read (a device's), in seconds
    // The buoy option (0..4) chosen at each gate, -1 where none is.
    std::array<int16_t, kMaxGates> buoyAtGate = NoBuoys();
    // The buoy total the run goes in with; nullopt while no buoy has been chosen. A recalled
    // run keeps its stored total until a buoy is chosen again.
    std::optional<double> buoyTotal;

    static std::array<int16_t, kMaxGates> NoBuoys() {
        std::array<int16_t, kMaxGates> none;
        none.fill(-1);
        return none;
    }
};

// Why the desk did not register or take back.
enum class Refusal {
    None,
    UnknownBib,    // no competitor carries the bib
    NoBuoyPoints,  // a run without any buoy chosen
    NoTime,        // the time, as CheckRunTime finds it
    MinutesUnreadable,
    SecondsUnreadable,
    SecondsNotBelow60,
    GateWithoutBuoy,    // a gate in use has no buoy (DeskOutcome::gate)
    ZeroBuoyPoints,     // race points would divide by a buoy total of 0
    NothingToTakeBack,  // the competitor has neither a run nor a status
};

// The one sentence the official is shown for a refusal; `gate` (1..12) for GateWithoutBuoy.
QString RefusalMessage(Refusal refusal, int gate = 0);

// What a save came to.
struct SaveOutcome {
    enum class Kind {
        Saved,              // in the file (also: there was nothing to save)
        FileChanged,        // not written: another program saved the file since it was read
        SavedUnderNewName,  // the file changed meanwhile: the workbook went beside it
        Failed,             // kept in memory for the next save
    };
    Kind kind = Kind::Saved;
    sheet::SaveResult result;  // the file layer's report of the write, when there was one
    QString journalProblem;    // the journal could not say where the results went on
    bool inFile() const { return kind == Kind::Saved || kind == Kind::SavedUnderNewName; }
};

// What one road of the desk came to.
struct DeskOutcome {
    enum class Action { Registration, TakeBack, PutBack };
    Action action = Action::Registration;
    Refusal refusal = Refusal::None;
    int gate = 0;  // GateWithoutBuoy: the first gate without a buoy, 1..12
    int slot = 0;  // the competitor concerned, 0 when none
    // The journal could not be written; said once per outage, empty otherwise. The change is
    // made all the same.
    QString journalProblem;
    // No workbook is open: the change is in the data only.
    bool outsideWorkbook = false;
    SaveOutcome save;
    bool done() const { return refusal == Refusal::None; }
    // The sentences for the official, in the order they arise: the journal's, then the
    // refusal's or the one saying that no workbook took the change.
    QStringList messages() const;
};

// A competitor whose row in a workbook read again holds another result than the journal.
struct ResultConflict {
    store::JournalEntry journal;  // the journal's last word on the competitor
    QString bibText, name;
    QString fileResult;     // the row's result as the file holds it, in words
    QString journalResult;  // the journal's
};

// What a take-in would put back into a workbook read again.
struct TakeInPlan {
    std::vector<store::JournalEntry> toApply;  // results the file lacks, in journal order
    std::vector<ResultConflict> conflicts;     // results the file holds otherwise
    std::vector<int> unknownBibs;              // journaled bibs the file no longer has
};

class ResultDesk {
  public:
    // What the desk needs of its owner: the open workbook (nullptr while none), the live page,
    // and word that a save had to put the workbook under a new name (`from`: the file it was
    // read from, whose companions go along).
    struct Links {
        std::function<sheet::Workbook*()> workbook;
        std::function<void()> publish;
        std::function<void(const QString& from)> movedToNewName;
    };
    ResultDesk(Competition& data, Links links);

    // The road of one result. A bib nobody carries changes nothing, but the standings are
    // rebuilt and what an earlier failed save left unsaved is saved.
    DeskOutcome registerResult(const ResultRequest& request);
    // The same road for taking back the result of competitor `slot`.
    DeskOutcome takeBack(int slot);
    // Journaled registrations and take-backs the workbook lacks, put back at recovery: each
    // applied as its line says (nothing journaled again), then standings, save and page.
    DeskOutcome putBack(const std::vector<store::JournalEntry>& entries);

    // Reading the workbook again after another program saved it: what of the journal (this
    // workbook's entries, this session's last) the file lacks or holds otherwise.
    TakeInPlan planTakeIn(const std::vector<store::JournalEntry>& entries) const;
    // Applies entries to the workbook read again, as at recovery, and rebuilds the standings;
    // the caller finishes the take-in (its messages, the results sheet), publishes and saves.
    // The count applied.
    int takeIn(const std::vector<store::JournalEntry>& entries);

    // Saves the workbook. Without writing, FileChanged when another program has saved the file
    // since it was read or last saved.
    SaveOutcome save();
    // Saves the workbook whatever the file holds now: beside it, under a new name, when it
    // changed; the journal then says where the results went on.
    SaveOutcome saveUnderNewName();
    // The live page shows the data as it stands now.
    void publish();

    // The journal beside the workbook. Appends one line, flushed, stamped with the workbook's
    // identity (given to a workbook without one at its first journaled change, and stored in
    // it with the next save). The sentence for the official the first time it fails, empty
    // after that and when it is written. Without an open workbook nothing is written.
    QString journal(const store::JournalEntry& entry);
    store::JournalOwner journalOwner() const;
    // journalOwner(), with an identity: an open workbook that has none is given one now (the
    // logs beside the workbook need one before anything is journaled).
    store::JournalOwner identifiedOwner();
    // A workbook without an identity whose journal entries were recognised by its event name
    // and date takes on their identity. Ignored when `id` is empty.
    void adoptJournalIdentity(const QString& id);
    // A new workbook is opened: its journal starts afresh.
    void startJournal();
    const std::vector<store::JournalEntry>& journaledThisSession() const {
        return journal_.sessionEntries();
    }

  private:
    // The one routine that applies a journal line to the data and the input sheet: a
    // registration stores its values, a take-back clears them. False for a line of another
    // kind or of a bib nobody carries.
    bool apply(const store::JournalEntry& entry, DeskOutcome* outcome);
    SaveOutcome write();
    DeskOutcome finish(DeskOutcome outcome);

    Competition& data_;
    Links links_;
    store::JournalWriter journal_;
    QString journalId_;  // the identity the open workbook takes on at its next save
};

}  // namespace zalvik
