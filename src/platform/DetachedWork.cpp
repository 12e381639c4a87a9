#include "platform/DetachedWork.h"

namespace tarnwick::platform {

struct DetachedWork::Line {
    // Read by the work's threads: whether results may still be sent, and where to.
    std::mutex mutex;
    QObject* receiver = nullptr;

    // The receiver's thread only.
    bool alive = true;
    std::uint64_t asked = 0; // tickets handed out
    std::uint64_t next = 0;  // the first ticket whose result is not taken
    std::map<std::uint64_t, Delivery> arrived;
    bool flushQueued = false;
    bool delivering = false;

    // Hands over the results in ticket order until one is missing or not taken.
    static void flush(const std::shared_ptr<Line>& line)
    {
        // A delivery that runs a nested event loop (an alert) comes back to this loop, which
        // then goes on with what arrived meanwhile.
        if (line->delivering)
            return;
        line->delivering = true;
        while (line->alive) {
            const auto first = line->arrived.find(line->next);
            if (first == line->arrived.end())
                break;
            // A copy: the line may go while it runs.
            Delivery delivery = first->second;
            if (!delivery() || !line->alive)
                break;
            line->arrived.erase(line->next);
            ++line->next;
        }
        line->delivering = false;
    }
};

DetachedWork::DetachedWork(QObject* receiver) : line_(std::make_shared<Line>()) { line_->receiver = receiver; }

DetachedWork::~DetachedWork()
{
    {
        // Held while a thread posts, so the receiver cannot go between its check and its post.
        const std::lock_guard guard(line_->mutex);
        line_->receiver = nullptr;
    }
    line_->alive = false;
    line_->arrived.clear();
}

std::uint64_t DetachedWork::ask() { return line_->asked++; }

std::size_t DetachedWork::waiting() const { return std::size_t(line_->asked - line_->next); }

void DetachedWork::resume()
{
    Line& line = *line_;
    if (line.flushQueued || !line.arrived.contains(line.next))
        return;
    line.flushQueued = true;
    QMetaObject::invokeMethod(
        line.receiver,
        [line = line_] {
            line->flushQueued = false;
            Line::flush(line);
        },
        Qt::QueuedConnection);
}

void DetachedWork::post(const std::shared_ptr<Line>& line, std::uint64_t ticket, Delivery delivery)
{
    const std::lock_guard guard(line->mutex);
    if (!line->receiver)
        return;
    QMetaObject::invokeMethod(
        line->receiver,
        [line, ticket, delivery = std::move(delivery)]() mutable {
            if (!line->alive)
                return;
            line->arrived.emplace(ticket, std::move(delivery));
            Line::flush(line);
        },
        Qt::QueuedConnection);
}

} // namespace tarnwick::platform
