#pragma once
// A log beside the workbook of what arrives from outside the program (the timing device's lines,
// the gate judges' entries), kept so that a crash or a restart loses nothing and a torn or
// foreign line is never taken.
//
// The file is UTF-8 text, one record a line, fields separated by tabs: the record's sequence
// number, the caller's own fields, the identity of the workbook it belongs to, and the line
// check of store/LineCheck. The first line is a heading for people who open the file; the first
// line each session writes names the workbook (`ブック`, its event name and date), so that a copy
// of the workbook made before it had an identity still finds its records. A later record refers
// to an earlier one by its sequence number, never by its position.
//
// Appending is one write and one flush per call. A write that fails part-way (a full disk) has
// the records that reached the file whole taken as written; the one it tore is closed with the
// cut mark and written again whole with the next append, so no record is ever in the file twice.
// Records appended while no log is attached wait for the next log attached; the records of one
// workbook never go into another's log.

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

#include "store/Journal.h"

namespace zalvik::store {

struct ObservationRecord {
    qint64 seq = 0;  // from 1, increasing through the file; 0 for a line of an older log
    QList<QByteArray> fields;
    bool checked = true;  // false: a line of an older log, written without sequence or check
};

// What reading a log found.
struct ObservationReading {
    bool exists = false;
    // The records of the workbook, in file order, each sequence number once. Lines of an older
    // log (before its first checked line) come first, as they were written.
    std::vector<ObservationRecord> records;
    int damaged = 0;  // lines that fail their check, are cut, or are torn at the end of the file
    int foreign = 0;  // records of another workbook, left where they are
    // The `ブック` line of the other workbook whose records the log holds, when there are any.
    std::optional<JournalOwner> other;
    // The workbook had no identity, and the log's records were recognised by its event name
    // and date: the identity they carry, for the workbook to take on.
    QString adoptedId;
    bool capped = false;  // the file is larger than the cap: only its beginning was read
    int error = 0;        // the errno when the file exists but could not be read
    qint64 lastSeq = 0;   // the highest sequence number in the file, whoever's record
};

class ObservationLog {
  public:
    // `heading`: the first line of a new file, its line end included. `capBytes`: the file
    // never grows beyond it; records that would pass it are refused (full()).
    explicit ObservationLog(QByteArray heading, qint64 capBytes = kDefaultCapBytes);

    // Reads the log at `path` as the records of `owner`, and appends there from now on. Records
    // that the previous log could not take are tried there once more and then dropped (said by
    // droppedRecords()); records appended while no log was attached go into this one, numbered
    // after its last record. An empty path detaches.
    ObservationReading attach(const QString& path, const JournalOwner& owner);
    // The workbook's identity became known (it took on one, or was given one). Until the
    // owner has an identity nothing is written: records wait, and retry() writes them.
    void setOwner(const JournalOwner& owner);

    // Gives `fields` the next sequence number and appends the record, after any record still
    // waiting, with one write and one flush; returns the sequence number. Fields must not hold
    // a tab, CR or LF (those bytes are written as spaces). Whether it reached the disk is
    // written(); a record that did not waits for the next append.
    qint64 append(const QList<QByteArray>& fields);
    // Several records with one write and one flush; the sequence number of the first.
    qint64 appendAll(const std::vector<QList<QByteArray>>& records);
    // Writes the records still waiting; true when none is left waiting.
    bool retry();

    bool written() const { return pending_.empty(); }
    int lastError() const {
        return lastError_;
    }                                    // errno of the last failed write, 0 after a good one
    bool full() const { return full_; }  // the cap was reached
    int droppedRecords() const { return dropped_; }
    qint64 nextSeq() const { return nextSeq_; }
    const QString& path() const { return path_; }

    static constexpr qint64 kDefaultCapBytes = 256LL * 1024 * 1024;

  private:
    struct Pending {
        qint64 seq;
        QList<QByteArray> fields;
    };
    bool write();

    QByteArray heading_;
    qint64 cap_;
    QString path_;
    JournalOwner owner_;
    bool ownerLineWritten_ = false;
    bool checkEnd_ = true;  // the file's end is looked at before the next write
    qint64 size_ = 0;       // the file's size as this log knows it
    qint64 nextSeq_ = 1;
    std::vector<Pending> pending_;
    int lastError_ = 0;
    bool full_ = false;
    int dropped_ = 0;
};

// Reads a log without attaching to it.
ObservationReading ReadObservationLog(const QString& path, const JournalOwner& owner,
                                      qint64 capBytes = ObservationLog::kDefaultCapBytes);

}  // namespace zalvik::store
