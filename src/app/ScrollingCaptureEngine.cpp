#include "app/ScrollingCaptureEngine.h"

#include <QMetaObject>
#include <cmath>

namespace tarnwick {

ScrollingCaptureEngine::ScrollingCaptureEngine(Grab grab, QObject* parent) : QObject(parent), grab_(std::move(grab))
{
    timer_.setInterval(idleInterval);
    connect(&timer_, &QTimer::timeout, this, [this] { queueFrame(); });
}

ScrollingCaptureEngine::~ScrollingCaptureEngine()
{
    timer_.stop();
    stopping_ = true;
}

template <typename F>
void ScrollingCaptureEngine::toGui(F&& f)
{
    // Queued on this object, so nothing runs once the engine is gone.
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

ScrollingCaptureEngine::Grab ScrollingCaptureEngine::screenGrab(platform::GrabTransport transport)
{
    std::shared_ptr<platform::ScreenGrabber> grabber = platform::makeScreenGrabber({}, transport);
    return [grabber](const QRect& pixels) {
        if (const QString reason = grabber->unavailableReason(); !reason.isEmpty())
            throw TarnwickError::message(reason);
        return grabber->grab(pixels);
    };
}

QRect ScrollingCaptureEngine::sourcePixels(const QRect& screen, const QRect& selection, qreal scale)
{
    const QRect r = selection.normalized() & screen;
    if (r.width() < 2 || r.height() < 2)
        return {};
    const QPointF local = QPointF(r.topLeft() - screen.topLeft()) * scale;
    return QRect(screen.topLeft() + QPoint(int(local.x()), int(local.y())),
                 QSize(int(std::trunc(r.width() * scale)), int(std::trunc(r.height() * scale))));
}

void ScrollingCaptureEngine::start(const QRect& screen, const QRect& selection, qreal scale)
{
    start(sourcePixels(screen, selection, scale));
}

void ScrollingCaptureEngine::start(const QRect& pixels)
{
    pixels_ = pixels;
    if (pixels_.width() <= 15 || pixels_.height() < 32)
        throw TarnwickError::message(QStringLiteral("Для прокрутки выберите область высотой хотя бы 32 пикселя."));
    if (std::int64_t(pixels_.width()) * pixels_.height() > ScrollingImageAssembler::maximumPixels)
        throw TarnwickError::message(QStringLiteral("Выберите область поменьше."));
    queueFrame();
    timer_.start();
}

// A frame waits on the queue only while fewer than queueDepth do; a slow
// machine drops frames instead of falling behind.
void ScrollingCaptureEngine::queueFrame()
{
    if (finishing_ || queued_ >= queueDepth)
        return;
    ++queued_;
    queue_.async([this] {
        processFrame();
        --queued_;
    });
}

void ScrollingCaptureEngine::processFrame()
{
    if (stopping_ || grabFailed_)
        return;
    QImage frame;
    try {
        frame = grab_(pixels_);
    } catch (const TarnwickError& error) {
        // A lost screen is reported once; the controller decides what happens next.
        grabFailed_ = true;
        toGui([this, error] {
            if (onFailure)
                onFailure(error);
        });
        return;
    }
    if (frame.isNull())
        return;
    // The area was under the selection veil a moment ago: the first frame is
    // taken once two grabs agree, so a window still repainting is not kept.
    if (!settled_) {
        settled_ = frame == unsettled_ || ++settleTries_ >= 20;
        unsettled_ = settled_ ? QImage() : frame;
        if (!settled_)
            return;
    }
    try {
        const ScrollAppendResult result = assembler_.append(frame);
        toGui([this, result, w = assembler_.width(), h = assembler_.height()] {
            pace(result.kind);
            if (onProgress)
                onProgress(w, h, result);
        });
    } catch (const TarnwickError& error) {
        toGui([this, error] {
            if (onFailure)
                onFailure(error);
        });
    }
}

// Fast enough while the page moves that the overlap between two frames stays
// wide; slow while it stands still.
void ScrollingCaptureEngine::pace(ScrollAppendKind kind)
{
    still_ = kind == ScrollAppendKind::unchanged ? still_ + 1 : 0;
    timer_.setInterval(still_ >= stillFrames ? idleInterval : movingInterval);
}

void ScrollingCaptureEngine::finish(bool discard, std::function<void(Result)> done)
{
    finishing_ = true;
    timer_.stop();
    // After every frame already queued, and one more grab so rows scrolled
    // into view since the last frame are kept.
    queue_.async([this, discard, done = std::move(done)] {
        if (!discard)
            processFrame();
        stopping_ = true;
        Result result = QImage();
        if (!discard) {
            try {
                result = assembler_.compose();
            } catch (const TarnwickError& error) {
                result = error;
            }
        }
        toGui([done, result] {
            if (done)
                done(result);
        });
    });
}

} // namespace tarnwick
