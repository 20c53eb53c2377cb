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
    // Gives a bibless run (or corrects a run's bib) a bib; written to the log (a line of the
    // program's own, which never reads as a device line) so that a restart keeps it.
    bool assignBib(int runId, int bib);
    const std::vector<ReceivedRun>& runs()
        const;  // in arrival order (the list shows newest on top)
    // The newest run of `bib` not cleared, if any.
    const ReceivedRun* latestRunOf(int bib) const;
    int unreadableLines() const;
    QString logPath() const;
    // Empty when the log is fine; else the Japanese sentence of the last log write failure.
    QString logProblem() const;

    static constexpr qsizetype kMaxLineBytes = 1024 * 1024;

  signals:
    void runsChanged();

  private:
    struct Impl;
    bool handleLine(const QByteArray& line, const QDateTime& received, bool fromLog);
    bool writeLog(const QByteArray& text);
    void reset();

    Device device_ = Device::Alge;
    QString workbookPath_;
    QString logPath_;
    QString logProblem_;
    std::vector<ReceivedRun> runs_;
    RunPairing pairing_;
    QByteArray partial_;
    bool partialCut_ = false;
    bool lastWasCr_ = false;
    int unreadable_ = 0;
    QByteArray pendingLog_;  // log lines received while no workbook is attached
};

// The log file of a workbook: `<folder>/<workbook name>.timing.log`.
QString TimingLogPath(const QString& workbookPath);

}  // namespace zalvik::timing
