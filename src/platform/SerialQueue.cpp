#include "platform/SerialQueue.h"

#include <future>
#include <pthread.h>

namespace tarnwick::platform {

SerialQueue::SerialQueue(std::string name)
    : name_(std::move(name)), worker_([this] { run(); })
{
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

void SerialQueue::async(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void SerialQueue::sync(const std::function<void()>& job)
{
    if (isCurrent()) {
        job();
        return;
    }
    // The promise travels inside the job: a job the queue drops (it is being
    // destroyed) breaks it, and the wait below ends with std::future_error.
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    async([&job, done = std::move(done)] {
        try {
            job();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    finished.get();
}

void SerialQueue::run()
{
    // Linux limits thread names to 15 characters; keep the distinctive tail.
    std::string shortName = name_.size() > 15 ? name_.substr(name_.size() - 15) : name_;
    pthread_setname_np(pthread_self(), shortName.c_str());
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

} // namespace tarnwick::platform
