#pragma once
// Builds the live results page and its JSON away from the action that changed the results. The
// action hands over a copy of the competition data as it stands at its end and goes on at once;
// a thread of the builder makes the page and the JSON from that copy, so that what is served
// and written is always one whole moment of the race, never a mix of two.

#include <QDateTime>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/Competition.h"
#include "output/LivePage.h"

namespace zalvik {

class LivePageBuilder {
  public:
    // Called in the builder's thread with each finished snapshot and the page file it belongs
    // to (empty when no file is written), in the order of the changes.
    using Built = std::function<void(const LiveSnapshot& snapshot, const QString& pagePath)>;

    explicit LivePageBuilder(Built built);
    // Builds what is still queued before it returns.
    ~LivePageBuilder();
    LivePageBuilder(const LivePageBuilder&) = delete;
    LivePageBuilder& operator=(const LivePageBuilder&) = delete;

    // Queues the standings of `data` as of `updated`. A change queued while an earlier one
    // still waits replaces it: only the latest moment matters, and a newer snapshot is never
    // followed by an older one.
    void build(std::shared_ptr<const Competition> data, const QDateTime& updated,
               const QString& pagePath);
    // Returns once every queued change has been built and handed on.
    void waitUntilBuilt();

  private:
    void run();

    Built built_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<const Competition> data_;
    QDateTime updated_;
    QString pagePath_;
    bool building_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zalvik
