#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace tarnwick::platform {

// The pointer as a screen recording shows it: the cursor's image (XFixes) and
// the presses of the left and right buttons anywhere on the screen (XInput 2
// raw events, which arrive whichever window has the pointer grabbed).
class PointerCapture {
public:
    struct Cursor {
        QImage image;     // premultiplied ARGB
        QPoint topLeft;   // root pixels
        QPoint position;  // the hot spot, root pixels
        std::uint32_t serial = 0;
    };

    // An empty display means $DISPLAY. Throws TarnwickError when the server does not answer.
    explicit PointerCapture(const QString& display = {});
    ~PointerCapture();
    PointerCapture(const PointerCapture&) = delete;
    PointerCapture& operator=(const PointerCapture&) = delete;

    bool hasCursorImages() const { return xfixes_; }
    // The current cursor; none without XFixes or when the server does not answer. One thread at a time.
    std::optional<Cursor> cursor();

    // Calls `onClick` with the pointer's root position for every left or right
    // press, on a thread of its own, until stopWatchingClicks(). False when the
    // server has no XInput 2.2.
    bool watchClicks(std::function<void(QPoint)> onClick);
    void stopWatchingClicks();

private:
    void watch(std::function<void(QPoint)> onClick);

    struct Connection;
    std::unique_ptr<Connection> queries_;
    std::unique_ptr<Connection> events_;
    bool xfixes_ = false;
    std::atomic<bool> watching_{false};
    std::thread watcher_;
};

} // namespace tarnwick::platform
