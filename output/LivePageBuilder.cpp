#include "output/LivePageBuilder.h"

#include <utility>

namespace zalvik {

LivePageBuilder::LivePageBuilder(Built built) : built_(std::move(built)) {
    thread_ = std::thread([this] { run(); });
}

LivePageBuilder::~LivePageBuilder() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void LivePageBuilder::build(std::shared_ptr<const Competition> data, const QDateTime& updated,
                            const QString& pagePath) {
    std::shared_ptr<const Competition> replaced;  // let go of outside the lock
    {
        std::lock_guard lock(mutex_);
        replaced = std::exchange(data_, std::move(data));
        updated_ = updated;
        pagePath_ = pagePath;
    }
    changed_.notify_all();
}

void LivePageBuilder::waitUntilBuilt() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !data_ && !building_; });
}

void LivePageBuilder::run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return data_ || stopping_; });
        if (!data_) return;  // stopping, with nothing left to build
        std::shared_ptr<const Competition> data = std::move(data_);
        data_.reset();
        const QDateTime updated = updated_;
        const QString pagePath = pagePath_;
        building_ = true;
        lock.unlock();
        const LiveSnapshot snapshot = MakeLiveSnapshot(*data, updated);
        data.reset();
        if (built_) built_(snapshot, pagePath);
        lock.lock();
        building_ = false;
        changed_.notify_all();
    }
}

}  // namespace zalvik
