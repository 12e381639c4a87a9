#include "platform/MainThread.h"
#include "platform/SerialQueue.h"
#include "support/X11Client.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <future>
#include <gtest/gtest.h>

using tarnwick::platform::SerialQueue;
using tarnwick::test::waitUntil;

TEST(SerialQueue, RunsJobsOneAtATimeInOrderOffTheCallingThread)
{
    SerialQueue queue("com.tarnwick.test");
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    for (int i = 0; i < 50; ++i) {
        queue.async([&, i] {
            overlapped = overlapped || running.fetch_add(1) != 0;
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    std::thread::id worker;
    queue.sync([&] { worker = std::this_thread::get_id(); });
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 50u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    // sync passes exceptions back, and the queue survives them.
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    int value = 0;
    queue.sync([&] { value = 7; });
    EXPECT_EQ(value, 7);
}

TEST(SerialQueue, SyncFailsInsteadOfWaitingForAJobTheQueueDrops)
{
    auto queue = std::make_unique<SerialQueue>("com.tarnwick.test");
    SerialQueue* raw = queue.get();
    std::promise<void> release, started;
    // Deleted before the busy job started, the queue would drop it and be gone under the calls below.
    raw->async([&started, busy = release.get_future().share()] {
        started.set_value();
        busy.wait();
    });
    started.get_future().wait();
    std::thread destroying([q = queue.release()] { delete q; });
    // The destructor has begun once a job handed in is dropped at once (the worker is busy).
    const auto dropped = [raw] {
        auto token = std::make_shared<int>();
        const std::weak_ptr<int> seen = token;
        raw->async([token] {});
        token.reset();
        return seen.expired();
    };
    while (!dropped())
        std::this_thread::yield();
    std::promise<bool> threw;
    auto outcome = threw.get_future();
    std::thread([raw, &threw] {
        try {
            raw->sync([] {});
            threw.set_value(false);
        } catch (const std::future_error&) {
            threw.set_value(true);
        }
    }).detach();
    const bool answered = outcome.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(answered && outcome.get());
    release.set_value();
    destroying.join();
}

TEST(MainThreadDelivery, ReachesTheReceiversThreadUnlessTheReceiverIsGone)
{
    SerialQueue queue("com.tarnwick.test");
    QObject receiver;
    QThread* deliveredOn = nullptr;
    queue.async([&] { tarnwick::platform::deliver(&receiver, [&] { deliveredOn = QThread::currentThread(); }); });
    ASSERT_TRUE(waitUntil([&] { return deliveredOn != nullptr; }));
    EXPECT_EQ(deliveredOn, QCoreApplication::instance()->thread());

    auto gone = std::make_unique<QObject>();
    bool called = false;
    queue.sync([&, raw = gone.get()] { tarnwick::platform::deliver(raw, [&] { called = true; }); });
    gone.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
}
