#pragma once

#include "platform/SerialQueue.h"

#include <QMetaObject>
#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

namespace tarnwick::platform {

// Work whose result comes back late, and the line its results wait in: reads of files the user
// named, and jobs of the program's serial queues. Results reach `receiver`'s thread in the order
// the work was asked, a later one never before an earlier one, while this object lives; after
// that they are dropped.
//
// A `done` that returns false has not taken its result (the session it belongs to would refuse
// it now): the result stays first in line, and the ones behind it wait, until `resume()` offers
// it again. A `done` may so be called more than once with the same result; one returning nothing
// takes it the first time. Made, used and destroyed on the receiver's thread.
class DetachedWork {
public:
    explicit DetachedWork(QObject* receiver);
    DetachedWork(const DetachedWork&) = delete;
    DetachedWork& operator=(const DetachedWork&) = delete;
    ~DetachedWork();

    // Runs `work()` on a new thread that nobody waits for, neither this object nor the program's
    // end (work that may block for good: a file on a network disk that stalls).
    template <class Work, class Done>
    void run(Work work, Done done)
    {
        std::thread([job = job(std::move(work), std::move(done))]() mutable { job(); }).detach();
    }

    // Runs `work()` as a job of `queue`.
    template <class Work, class Done>
    void runOn(SerialQueue& queue, Work work, Done done)
    {
        queue.async(job(std::move(work), std::move(done)));
    }

    // A result known now, delivered in its turn, behind the work asked before it.
    template <class Result, class Done>
    void queue(Result result, Done done)
    {
        job([result = std::move(result)] { return result; }, std::move(done))();
    }

    // Offers the first result in line again; from the receiver's event loop, never inside the
    // caller, so a session that calls it in the middle of its own change sees the change whole.
    void resume();
    // Work asked whose result has not been taken: running, or waiting in line.
    std::size_t waiting() const;

private:
    struct Line;
    using Delivery = std::function<bool()>;

    // The job that runs `work` off this thread and sends its result into the line.
    template <class Work, class Done>
    std::function<void()> job(Work work, Done done)
    {
        const std::uint64_t ticket = ask();
        return [line = line_, ticket, work = std::move(work), done = std::move(done)]() mutable {
            Delivery delivery;
            try {
                auto result = work();
                delivery = [done = std::move(done), result = std::move(result)]() mutable {
                    if constexpr (std::is_same_v<decltype(done(result)), void>) {
                        done(result);
                        return true;
                    } else {
                        return bool(done(result));
                    }
                };
            } catch (...) {
                // Work says its own failures; one that throws anyway must not hold the line.
                delivery = [] { return true; };
            }
            post(line, ticket, std::move(delivery));
        };
    }

    std::uint64_t ask();
    static void post(const std::shared_ptr<Line>& line, std::uint64_t ticket, Delivery delivery);

    std::shared_ptr<Line> line_;
};

} // namespace tarnwick::platform
