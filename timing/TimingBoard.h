#pragma once
// The runs received from the timing device for the loaded workbook, and the raw log beside the
// workbook that keeps every line received, so that a crash or a restart loses nothing.

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <vector>

#include "timing/Protocols.h"
#include "timing/RunPairing.h"

namespace zalvik::timing {

struct ReceivedRun {
    int id = 0;            // stable within the log: its order of arrival, from 1
    QDateTime received;    // local time the line that completed it arrived
    int bib = 0;           // 0: no bib yet (ゼッケンなし) until the official gives one
    int hundredths = -1;   // the run time
    bool cleared = false;  // the device cleared it (取消)
};

class TimingBoard : public QObject {
    Q_OBJECT
  public:
    explicit TimingBoard(QObject* parent = nullptr);

    // The workbook whose runs are shown: reads `<workbook name>.timing.log` beside it back (crash
    // or restart: the list is as it was, bibs given included). An empty path detaches: lines
    // received without a workbook are held in memory and written to the log of the next workbook
    // attached.
    void attach(const QString& workbookPath, Device device);
    void setDevice(Device device);
    Device device() const;
    // Bytes as the link read them: split into lines at CR, LF or CRLF (a partial line waits for
    // its end; a line over 1 MB without an end is cut, logged and counted as unreadable), every
    // line appended to the log with the time received before it is parsed, flushed, then parsed
    // and paired; emits runsChanged() once per call that changed the list.
    void receive(QByteArrayView bytes);
    // The connection ended (cable pulled, device off): a line it cut short is logged as it is and
    // counted as unreadable, so that it does not swallow the first line after the reconnection.
    void endOfStream();
    // Gives a bibless run (or corrects a run's bib) a bib; written to the log (a line of the
    // program's own, which never reads as a device line) so that a restart keeps it. A finish
    // that arrived without a bib gets its run time here, from the bib's latest start before it.
    // False for an unknown run or a bib out of range (1..99999).
    bool assignBib(int runId, int bib);
    // In arrival order (the list shows newest on top). A finish that arrived without a bib and
    // has no start to pair with yet has hundredths -1 until it is given a bib.
    const std::vector<ReceivedRun>& runs() const;
    // The newest run of `bib` not cleared and with a time, if any.
    const ReceivedRun* latestRunOf(int bib) const;
    int unreadableLines() const;
    QString logPath() const;
    // Empty when the log is fine; else the Japanese sentence (from store/FileMessages) of the
    // last log failure. Lines that could not be written are kept and written with the next ones.
    QString logProblem() const;

    static constexpr qsizetype kMaxLineBytes = 1024 * 1024;

  signals:
    void runsChanged();

  private:
    struct Record;
    struct RunState {
        bool fromImpulses = false;  // paired from start and finish, no device run time yet
        long long finishTimeOfDay = -1;
        int finishDay = -1;
        long long order = 0;
    };
    bool apply(const Record& record);
    bool applyLine(const QByteArray& line, const QDateTime& received, Device device);
    bool applyBib(int runId, int bib);
    void write(const std::vector<Record>& records);
    void takeLines(QByteArrayView bytes, std::vector<Record>& out, const QDateTime& received);
    bool commit(std::vector<Record>& records);
    void reset();
    void readLog();

    Device device_ = Device::Alge;
    QString logPath_;
    QString logProblem_;
    std::vector<ReceivedRun> runs_;
    std::vector<RunState> states_;
    RunPairing pairing_;
    QByteArray partial_;
    bool partialCut_ = false;
    bool lastWasCr_ = false;
    int unreadable_ = 0;
    QByteArray unwritten_;  // log lines not on disk yet (no workbook, or a write that failed)
};

// The log file of a workbook: `<folder>/<workbook name>.timing.log`.
QString TimingLogPath(const QString& workbookPath);

// A received line as the log keeps it: UTF-8 text, one line, with every byte that is not
// printable text, the backslash and the tab written as \xNN, \\ and \t; and back.
QByteArray EscapeLine(QByteArrayView line);
QByteArray UnescapeLine(QByteArrayView text);

}  // namespace zalvik::timing
