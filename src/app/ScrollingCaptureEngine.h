#pragma once

#include "app/ScrollingImageAssembler.h"
#include "platform/ScreenGrabber.h"
#include "platform/SerialQueue.h"
#include "platform/TarnwickError.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <variant>

namespace tarnwick {

// Grabs the selected rectangle of the screen while the user scrolls (every
// idleInterval while the page stands still, back to back while it moves),
// stitches every frame on the "com.tarnwick.scrolling-capture" queue and
// reports each result on the GUI thread; at the end grabs once more and stacks
// the strips into one tall image, or throws them away. One engine per
// capture, owned by the session on the GUI thread.
class ScrollingCaptureEngine : public QObject {
public:
    // Grabs `pixels` (root-window pixels) as an opaque RGB32 image; a null
    // image is a frame to skip; throws TarnwickError when the screen can no
    // longer be read. Called on the engine's queue only.
    using Grab = std::function<QImage(const QRect& pixels)>;
    // The tall image, a null image after a discard, or the reason there is none.
    using Result = std::variant<QImage, TarnwickError>;

    // Grabs through the shared screen grabber, made here on the calling thread.
    // Under Wayland the first grab throws the grabber's own sentence.
    static Grab screenGrab(platform::GrabTransport transport = platform::GrabTransport::Automatic);

    static constexpr std::chrono::milliseconds idleInterval{60};
    static constexpr std::chrono::milliseconds movingInterval{5};
    // Still frames before the pace drops back to idleInterval.
    static constexpr int stillFrames = 12;
    static constexpr int queueDepth = 3;

    explicit ScrollingCaptureEngine(Grab grab, QObject* parent = nullptr);
    ~ScrollingCaptureEngine() override;

    // After every frame the stitcher took: image width and height so far, the frame's result.
    std::function<void(int, int, ScrollAppendResult)> onProgress;
    // A stitching failure or a screen that can no longer be read; the engine goes on until finish().
    std::function<void(const TarnwickError&)> onFailure;

    // Starts grabbing `selection` of `screen` (both in global device-independent
    // pixels) at `scale` pixels per point. Throws TarnwickError, before anything
    // runs, when the area is too small or too large.
    void start(const QRect& screen, const QRect& selection, qreal scale);
    // Starts grabbing `pixels` (root-window pixels) as they are.
    void start(const QRect& pixels);
    // Stops grabbing; frames already queued are still stitched. `done` runs once
    // on the GUI thread with the answer, unless the engine is gone by then.
    void finish(bool discard, std::function<void(Result)> done);

    // The root-window pixels a selection covers: the part inside its screen,
    // scaled about the screen's origin.
    static QRect sourcePixels(const QRect& screen, const QRect& selection, qreal scale);

private:
    void queueFrame();
    void processFrame();
    void pace(ScrollAppendKind kind);
    template <typename F>
    void toGui(F&& f);

    Grab grab_;
    QRect pixels_;
    QTimer timer_;
    std::atomic<int> queued_{0};
    bool finishing_ = false;
    int still_ = 0;
    std::atomic<bool> stopping_{false};
    // Touched on the queue only.
    ScrollingImageAssembler assembler_;
    bool grabFailed_ = false;
    // The last grab while the area has not yet been seen twice alike.
    QImage unsettled_;
    int settleTries_ = 0;
    bool settled_ = false;
    // Last, so it is destroyed first and waits for its running job.
    platform::SerialQueue queue_{"com.tarnwick.scrolling-capture"};
};

} // namespace tarnwick
