#pragma once
// The live results page: the standings of every class as one self-contained HTML page and as
// JSON, built from the competition data with the same order and ranks as the processing
// screen. The page is written beside the workbook after every change of results or settings,
// and the same bytes are what the venue's network is served.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "app/Competition.h"

namespace zalvik {

// Both forms of one moment's standings.
struct LiveSnapshot {
    QByteArray html;  // UTF-8
    QByteArray json;  // UTF-8
};

// The page and the JSON of the competition at `updated`. The competition is not changed: the
// standings are built on a private copy of the competitor table.
LiveSnapshot MakeLiveSnapshot(const Competition& c, const QDateTime& updated);

// "<folder>/<workbook name without extension>_速報.html" for the workbook at `workbookPath`;
// empty when the path is empty.
QString LivePagePath(const QString& workbookPath);

// Writes the page to `path` through the program's one safe-write routine, so that a crash never
// leaves a half-written page. On failure returns false with one Japanese sentence in *why, and
// the previous file stays as it was.
bool WriteLivePage(const QString& path, const QByteArray& bytes, QString* why = nullptr);

// Writes the page file in a thread of its own, so that the flush to disk never holds up the
// action that changed the results. Writes are done in order; a page queued while an earlier one
// waits replaces it, since only the latest page matters. Pages still queued when the writer is
// destroyed are written first.
class LivePageWriter {
  public:
    // Called in the writer's thread after each write: whether it succeeded, and why not.
    using Done = std::function<void(bool ok, const QString& why)>;

    explicit LivePageWriter(Done done);
    ~LivePageWriter();
    LivePageWriter(const LivePageWriter&) = delete;
    LivePageWriter& operator=(const LivePageWriter&) = delete;

    void write(const QString& path, const QByteArray& bytes);
    // Returns once every queued page has been written (or has failed).
    void waitUntilWritten();

  private:
    void run();

    Done done_;
    std::mutex mutex_;
    std::condition_variable changed_;
    QString path_;
    QByteArray bytes_;
    bool queued_ = false;
    bool writing_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zalvik
