#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tarnwick::platform {

// One worker thread that runs jobs in the order they were queued, named after
// the queue ("com.tarnwick.image-effects" and so on). Jobs still queued when the
// queue is destroyed are dropped; the running one is waited for.
class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& name() const { return name_; }

    void async(std::function<void()> job);
    // Runs the job on the queue and waits for it, passing its exception on.
    // Throws std::future_error when the queue drops the job instead (it is
    // being destroyed).
    void sync(const std::function<void()>& job);
    bool isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

private:
    void run();

    std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace tarnwick::platform
