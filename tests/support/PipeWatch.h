#pragma once

#include <QFile>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace tarnwick::test {

// Watches code that must never wait on the named pipes `pipes`: whatever waits in open() on one
// is let go by a writer after a generous while (again, as often as needed, until the watch
// ends), so a fault fails the test instead of hanging it. stop() ends the watch and says
// whether anything had to be let go.
class PipeWatch {
public:
    explicit PipeWatch(QStringList pipes) : pipes_(std::move(pipes)), thread_([this] { watch(); }) {}
    PipeWatch(const PipeWatch&) = delete;
    PipeWatch& operator=(const PipeWatch&) = delete;
    ~PipeWatch() { stop(); }

    // True when something waited on a pipe.
    bool stop()
    {
        {
            const std::lock_guard guard(lock_);
            done_ = true;
        }
        ended_.notify_all();
        if (thread_.joinable())
            thread_.join();
        return letGo_;
    }

private:
    void watch()
    {
        std::unique_lock guard(lock_);
        while (!ended_.wait_for(guard, std::chrono::seconds(60), [this] { return done_; })) {
            letGo_ = true;
            for (const QString& pipe : std::as_const(pipes_))
                if (const int writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK); writer >= 0)
                    ::close(writer);
        }
    }

    QStringList pipes_;
    std::mutex lock_;
    std::condition_variable ended_;
    bool done_ = false;
    bool letGo_ = false;
    std::thread thread_;
};

} // namespace tarnwick::test
