#pragma once

#include <QString>

#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace tarnwick::test {

// Reads of files that the program runs off the GUI thread, each held until the test lets it go,
// so reads end in the order the test says. A reader calls `read(path, how)`; the test holds and
// releases by path. Reads are never waited for: keep it in a shared_ptr the readers hold.
class HeldReads {
public:
    void hold(const QString& path)
    {
        const std::lock_guard lock(mutex_);
        gates_[path] = std::make_shared<std::promise<void>>();
        held_[path] = gates_[path]->get_future().share();
    }
    void release(const QString& path)
    {
        const std::lock_guard lock(mutex_);
        if (const auto gate = gates_.find(path); gate != gates_.end()) {
            gate->second->set_value();
            gates_.erase(gate);
        }
    }
    void releaseAll()
    {
        const std::lock_guard lock(mutex_);
        for (auto& [path, gate] : gates_)
            gate->set_value();
        gates_.clear();
    }
    bool started(const QString& path)
    {
        const std::lock_guard lock(mutex_);
        return started_.contains(path);
    }
    bool done(const QString& path)
    {
        const std::lock_guard lock(mutex_);
        return done_.contains(path);
    }
    // Forgets which reads started and ended, for the next round of the same files.
    void forget()
    {
        const std::lock_guard lock(mutex_);
        started_.clear();
        done_.clear();
    }

    // On the reader's thread: waits while `path` is held, then reads it as `how` does.
    template <class How>
    auto read(const QString& path, How how)
    {
        std::shared_future<void> gate;
        {
            const std::lock_guard lock(mutex_);
            started_.insert(path);
            if (const auto held = held_.find(path); held != held_.end())
                gate = held->second;
        }
        if (gate.valid())
            gate.wait();
        auto result = how();
        const std::lock_guard lock(mutex_);
        done_.insert(path);
        return result;
    }

private:
    std::mutex mutex_;
    std::map<QString, std::shared_ptr<std::promise<void>>> gates_;
    std::map<QString, std::shared_future<void>> held_;
    std::set<QString> started_, done_;
};

} // namespace tarnwick::test
