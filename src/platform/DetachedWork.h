#pragma once

#include <QMetaObject>
#include <QObject>

#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace tarnwick::platform {

// Work that may block for good (reading a file the user named from a network disk that
// stalls) runs on a thread of its own that nobody waits for, neither this object nor the
// program's end. Its result reaches `receiver`'s thread while this object lives; after
// that it is dropped. Made and destroyed on the receiver's thread.
class DetachedWork {
public:
    explicit DetachedWork(QObject* receiver) : shared_(std::make_shared<Shared>()) { shared_->receiver = receiver; }
    DetachedWork(const DetachedWork&) = delete;
    DetachedWork& operator=(const DetachedWork&) = delete;
    ~DetachedWork()
    {
        const std::lock_guard guard(shared_->mutex);
        shared_->receiver = nullptr;
    }

    // Runs `work()` on a new thread and then `done(result)` on the receiver's thread.
    template<class Work, class Done>
    void run(Work work, Done done)
    {
        std::thread([shared = shared_, work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            // Held while posting, so the receiver cannot go between the check and the post.
            const std::lock_guard guard(shared->mutex);
            if (shared->receiver)
                QMetaObject::invokeMethod(
                    shared->receiver,
                    [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); },
                    Qt::QueuedConnection);
        }).detach();
    }

private:
    struct Shared {
        std::mutex mutex;
        QObject* receiver = nullptr;
    };
    std::shared_ptr<Shared> shared_;
};

} // namespace tarnwick::platform
