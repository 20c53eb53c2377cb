#pragma once
// The runs received from the timing device for the loaded workbook, and the log beside the
// workbook that keeps every line received, so that a crash or a restart loses nothing.

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <unordered_map>
#include <vector>

#include "store/ObservationLog.h"
#include "timing/Protocols.h"
#include "timing/RunPairing.h"

namespace zalvik::timing {

struct ReceivedRun {
    int id = 0;  // its place in the board's list, from 1, in order of arrival
    // The log record that brought it; a run of a log of the previous format, which had no
    // numbers, has minus its place there.
    qint64 seq = 0;
    QDateTime received;    // local time the line that brought it arrived
    int bib = 0;           // 0: no bib yet (ゼッケンなし) until the official gives one
    int hundredths = -1;   // the run time; -1 while its finish waits for a start (or a bib)
    bool cleared = false;  // the device cleared it (取消)
    // The finish impulse's time of day in 1/10,000 s; -1 for a run time the device sent.
    long long finishTimeOfDay = -1;
    bool arrivedWithoutBib = false;  // `bib` is the one the official gave (0: none yet)
};

class TimingBoard : public QObject {
    Q_OBJECT
  public:
    // `logCapBytes`: the log never grows beyond it (see logProblem()).
    explicit TimingBoard(QObject* parent = nullptr, qint64 logCapBytes = kLogCapBytes);

    // The workbook whose runs are shown: reads `<workbook name>.timing.log` beside it back
    // (crash or restart: the list is as it was, bibs given included), as the records of
    // `owner`. An empty path detaches: lines received without a workbook are held in memory and
    // written to the log of the next workbook attached, never to another's. Returns the
    // identity the log recognised a workbook without one by (its event name and date), else
    // empty. Records wait in memory until the owner has an identity (setOwner()).
    QString attach(const QString& workbookPath, Device device, const store::JournalOwner& owner);
    // The workbook's identity became known; records that waited for it are written.
    void setOwner(const store::JournalOwner& owner);
    void setDevice(Device device);
    Device device() const;
    // Runs of 0 or longer than this (in hundredths) are doubtful (要確認): never offered.
    void setLongestRun(int hundredths);
    bool needsCheck(const ReceivedRun& run) const;
    // Bytes as the link read them: split into lines at CR, LF or CRLF (a partial line waits for
    // its end; a line over 1 MB without an end is cut, logged and counted as unreadable), every
    // line appended to the log with the time received before it is parsed, flushed, then parsed
    // and paired; emits runsChanged() once per call that changed the list.
    void receive(QByteArrayView bytes);
    // The connection ended (cable pulled, device off): a line it cut short is logged as it is and
    // counted as unreadable, so that it does not swallow the first line after the reconnection.
    void endOfStream();

    // What the official's choice of a bib for a run that arrived without one came to.
    enum class BibOutcome {
        Given,    // logged (a record of the program's own, naming the run's record) and shown
        NoStart,  // refused: no start of that bib waits that the finish could pair with
        Refused   // an unknown or cleared run, one that came with its bib, a bib out of
                  // range (1..99999), or no workbook attached
    };
    // Gives a run that arrived without a bib the bib `bib`, or another one, or (bib 0) takes
    // the bib back. The finish gets its run time from the bib's latest start before it; the
    // start it held before serves again.
    BibOutcome giveBib(int runId, int bib);
    // In arrival order (the list shows newest on top).
    const std::vector<ReceivedRun>& runs() const;
    const ReceivedRun* run(int runId) const;
    // The newest run of `bib` not cleared and with a time, if any.
    const ReceivedRun* latestRunOf(int bib) const;
    int unreadableLines() const;
    QString logPath() const;
    // Empty when the log is fine; else the Japanese sentence (from store/FileMessages) of the
    // log's problem: it cannot be read or written (lines that could not be written are kept
    // and written with the next ones), or it reached its size cap.
    QString logProblem() const;

    static constexpr qsizetype kMaxLineBytes = 1024 * 1024;
    static constexpr qint64 kLogCapBytes = 64LL * 1024 * 1024;

  signals:
    void runsChanged();

  private:
    struct Record;
    struct RunState {
        bool fromImpulses = false;  // paired from start and finish, no device run time yet
        int finishDay = -1;
        long long order = 0;      // the finish's place among the readings
        RunPairing::Start start;  // the start it used (bib 0: none)
    };
    bool apply(const Record& record);
    bool applyLine(const Record& record);
    bool applyBib(size_t index, int bib);
    // Whether run `index` may take `bib` (0: the bib taken back), as the official gives it and
    // as the log's record of it is read back.
    BibOutcome bibAllowed(size_t index, int bib) const;
    void completeLate(const RunPairing::Result& late);
    // The run no longer holds its start (which serves again) or waits for one.
    void release(size_t index);
    void relabel(size_t index, int bib);
    bool commit(std::vector<Record>& records);
    // The log's problem after an attach or (`wrote`) an append.
    void noteLogState(bool wrote);
    void takeLines(QByteArrayView bytes, std::vector<Record>& out, const QDateTime& received);
    void reset();
    std::optional<size_t> indexOfRef(qint64 ref) const;

    Device device_ = Device::Alge;
    QString logPath_;
    QString logProblem_;
    qint64 logCap_;
    store::ObservationLog log_;
    std::vector<ReceivedRun> runs_;
    std::vector<RunState> states_;
    std::unordered_map<int, std::vector<size_t>> runsOfBib_;  // bib → runs, in order
    std::unordered_map<qint64, size_t> runOfSeq_;
    std::unordered_map<long long, size_t> runOfOrder_;  // finishes waiting for a start
    RunPairing pairing_;
    bool previousFormat_ = false;  // replaying lines of a log of the previous format
    int longestRun_ = 30 * 60 * 100;
    QByteArray partial_;
    bool partialCut_ = false;
    bool lastWasCr_ = false;
    int unreadable_ = 0;
};

// The log file of a workbook: `<folder>/<workbook name>.timing.log`.
QString TimingLogPath(const QString& workbookPath);

// A received line as the log keeps it: UTF-8 text, one line, with every byte that is not
// printable text, the backslash and the tab written as \xNN, \\ and \t; and back.
QByteArray EscapeLine(QByteArrayView line);
QByteArray UnescapeLine(QByteArrayView text);

}  // namespace zalvik::timing
