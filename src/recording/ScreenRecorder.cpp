#include "recording/ScreenRecorder.h"

#include "capture/FrozenOverlay.h"
#include "recording/RecordingEncoder.h"
#include "recording/RecordingMicrophone.h"

#include <QPainter>
#include <QRadialGradient>
#include <QScopeGuard>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <pthread.h>

namespace tarnwick {

namespace {

constexpr auto frameInterval = std::chrono::microseconds(33333);
constexpr double clickLifetime = 0.45;

// Runs `tick` every `interval` by a steady-clock deadline until `running` turns false;
// returns how many ticks were skipped because a tick ran late.
template <typename Tick>
long everyInterval(const std::atomic<bool>& running, std::chrono::microseconds interval, Tick tick)
{
    long skipped = 0;
    auto deadline = std::chrono::steady_clock::now();
    while (running) {
        tick();
        deadline += interval;
        const auto now = std::chrono::steady_clock::now();
        if (now > deadline + interval) { // fell behind: skip the missed ticks rather than rush them
            skipped += static_cast<long>((now - deadline) / interval);
            deadline = now;
        }
        std::this_thread::sleep_until(deadline);
    }
    return skipped;
}

bool samePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    if (a.constBits() == b.constBits())
        return true;
    const auto bytes = static_cast<std::size_t>(a.width()) * 4;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), bytes) != 0)
            return false;
    return true;
}

} // namespace

ScreenRecorder::ScreenRecorder(QString display, QObject* parent) : QObject(parent), display_(std::move(display)) {}

ScreenRecorder::~ScreenRecorder()
{
    stopThreads();
    queue_.sync([this] {
        stopping_ = true;
        writer_.reset(); // never stopped: the fragmented file stays as a crash would leave it
    });
}

QRect ScreenRecorder::sourcePixels(const platform::Monitor& display, const QRectF& screenFrame,
                                   const QRectF& selection, double scale)
{
    const QRectF r = selection.normalized().intersected(screenFrame);
    if (r.isEmpty() || r.width() < 2 || r.height() < 2)
        return display.geometry;
    // Each edge on its nearest pixel, as the selection overlay shows it: widening .5 edges
    // outward would record a pixel more than was dragged at 1.25 or 1.5.
    return capture::bandPixels(r.translated(-screenFrame.topLeft()), scale, display.geometry.topLeft())
        .intersected(display.geometry);
}

void ScreenRecorder::start(const platform::Monitor& display, const QRectF& screenFrame, const QRectF& selection,
                           double scale, const RecordingOptions& options, const QString& url)
{
    options_ = options;
    monitor_ = display;
    const QSizeF size = options.outputSize(selection.size(), scale);
    outputSize_ = QSize(static_cast<int>(size.width()), static_cast<int>(size.height()));
    captureRect_ = sourcePixels(display, screenFrame, selection, scale);
    fitRect_ = RecordingEncoder::fittedArea(captureRect_.size(), outputSize_);

    grabber_ = platform::makeScreenGrabber(display_);
    const QString unavailable = grabber_->unavailableReason();
    if (!unavailable.isEmpty())
        throw TarnwickError(unavailable);
    writer_ = std::make_unique<RecordingFileWriter>(url, outputSize_, options, captureRect_.size());
    try {
        pointer_ = std::make_unique<platform::PointerCapture>(display_);
        const auto feed = [this](RecordingAudioSource source) {
            return [this, source](const RecordingAudioBuffer& buffer, double time) {
                if (stopping_ || !writer_)
                    return;
                writer_->appendAudio(buffer, source, time);
                checkFailure();
            };
        };
        const auto failure = [this](const TarnwickError& error) { report(error); };
        if (options.microphone) {
            microphone_ = std::make_unique<RecordingMicrophone>(queue_, RecordingAudioSource::microphone);
            microphone_->onSample = feed(RecordingAudioSource::microphone);
            microphone_->onFailure = failure;
            microphone_->start();
        }
        if (options.systemAudio) {
            systemAudio_ = std::make_unique<RecordingMicrophone>(queue_, RecordingAudioSource::system);
            systemAudio_->onSample = feed(RecordingAudioSource::system);
            systemAudio_->onFailure = failure;
            systemAudio_->start();
        }
        grabber_->grab(captureRect_); // fails here, not later, when the server refuses
        if (options.showsCursor && !pointer_->hasCursorImages())
            throw TarnwickError(QStringLiteral(
                "X-сервер не поддерживает XFixes, и курсор не попадёт в запись. Отключите показ курсора."));
        if (options.highlightsClicks && !pointer_->watchClicks([this](QPoint point) {
                const double time = hostTimeNow();
                queue_.async([this, point, time] {
                    if (stopping_ || !captureRect_.contains(point))
                        return;
                    clicks_.push_back({point, time});
                    if (clicks_.size() > 8)
                        clicks_.pop_front();
                });
            }))
            throw TarnwickError(QStringLiteral(
                "X-сервер не поддерживает XInput 2.2, и щелчки не попадут в запись. Отключите отметку щелчков."));
    } catch (...) {
        pointer_.reset();
        microphone_.reset();
        systemAudio_.reset();
        queue_.sync([this] {
            writer_->cancel();
            writer_.reset();
        });
        throw;
    }
    running_ = true;
    firstTickDone_ = false; // a recorder may record again
    grabThread_ = std::thread([this] { grabLoop(); });
    // The video begins with the first grab: returning before it would let a late grab thread
    // start the video after the caller's start, and the stop control's clock run ahead of it.
    firstTickDone_.wait(false);
    if (options.systemAudio || options.microphone)
        audioTimer_ = std::thread([this] {
            pthread_setname_np(pthread_self(), "tarnwick-audio");
            everyInterval(running_, std::chrono::milliseconds(20), [this] {
                queue_.async([this] {
                    if (stopping_ || !writer_)
                        return;
                    writer_->drainAudio(hostTimeNow());
                    checkFailure();
                });
            });
        });
}

void ScreenRecorder::grabLoop()
{
    pthread_setname_np(pthread_self(), "tarnwick-grab");
    int tick = 0;
    const auto firstTickDone = [this] {
        if (!firstTickDone_.exchange(true))
            firstTickDone_.notify_all();
    };
    // Ticks missed while the grab thread waited for a core are frames lost too.
    dropped_ += int(everyInterval(running_, frameInterval, [&] {
        const auto done = qScopeGuard(firstTickDone);
        try {
            // A new mode of the recorded monitor would be scaled silently: refuse it as a size change.
            if (monitor_.id != 0 && tick++ % 15 == 0) {
                bool same = false;
                for (const platform::Monitor& m : grabber_->monitors())
                    same = same || (m.id == monitor_.id && m.geometry == monitor_.geometry);
                if (!same) {
                    queue_.async([this] {
                        if (!stopping_ && writer_) {
                            writer_->refuseFrameSize();
                            checkFailure();
                        }
                    });
                    running_ = false;
                    return;
                }
            }
            // The stream keeps at most three frames waiting; a frame the encoder
            // cannot take now would be dropped anyway, so it is not even grabbed.
            if (pendingFrames_ >= 3 || !writer_->readyForFrame()) {
                ++dropped_;
                // An encoder that takes no more frames may have failed on its own thread (a full
                // disk): no frame goes through now to find that out, so ask at once.
                if (!failureCheckPending_.exchange(true))
                    queue_.async([this] {
                        failureCheckPending_ = false;
                        checkFailure();
                    });
                return;
            }
            const double time = hostTimeNow();
            QImage image = grabber_->grab(captureRect_);
            std::optional<platform::PointerCapture::Cursor> cursor;
            if (options_.showsCursor)
                cursor = pointer_->cursor();
            ++pendingFrames_;
            queue_.async([this, image = std::move(image), cursor = std::move(cursor), time]() mutable {
                --pendingFrames_;
                handleFrame(std::move(image), std::move(cursor), time);
            });
        } catch (const TarnwickError& error) {
            report(error); // the capture stopped by itself
            running_ = false;
        }
    }));
    firstTickDone();
}

void ScreenRecorder::handleFrame(QImage image, std::optional<platform::PointerCapture::Cursor> cursor, double time)
{
    if (stopping_ || !writer_)
        return;
    // Rings are aged by the frame's grab, not by when this queue reaches it: a busy encoder
    // delays the queue, and a ring must look in the video as it did on the screen.
    while (!clicks_.empty() && time - clicks_.front().time > clickLifetime)
        clicks_.pop_front();
    const auto clicked = [time](const Click& click) { return click.time <= time; };
    const bool ringsShown = std::any_of(clicks_.begin(), clicks_.end(), clicked);
    // The cursor goes onto the grab before the comparison: the grab is this frame's alone, so
    // nothing is copied (drawn after keeping the grab, it cost a copy of every frame), and
    // what the cursor hides is not in the video either.
    QImage frame = std::move(image);
    if (cursor && !cursor->image.isNull()) {
        QPainter painter(&frame);
        painter.drawImage(cursor->topLeft - captureRect_.topLeft(), cursor->image);
    }
    // Like a capture stream, pass on only frames that show something new; the
    // writer repeats the last one now and then, and up to the stop time.
    const QPoint cursorAt = cursor ? cursor->topLeft : QPoint();
    const std::uint32_t serial = cursor ? cursor->serial : 0;
    const bool changed = ringsShown || marksShown_ || cursorAt != previousCursor_
                         || serial != previousCursorSerial_ || !samePixels(frame, previousGrab_);
    previousGrab_ = frame;
    previousCursor_ = cursorAt;
    previousCursorSerial_ = serial;
    if (!changed) {
        writer_->repeatLastFrame(time);
        checkFailure();
        return;
    }

    marksShown_ = ringsShown;
    // Drawn at the grab's size, which the encoder scales into the video: rings as large as
    // they are meant to be in the video's pixels.
    const double ringScale = double(captureRect_.width()) / fitRect_.width();
    for (const Click& click : clicks_)
        if (clicked(click)) // a click after the grab is not in its picture yet
            drawClickRing(frame, QPointF(click.point - captureRect_.topLeft()), time - click.time, ringScale);
    if (!writer_->append(frame, time) && !writer_->failure())
        ++dropped_;
    checkFailure();
}

void ScreenRecorder::drawClickRing(QImage& frame, QPointF center, double age, double scale)
{
    const double t = age / clickLifetime;
    const double radius = (t >= 0 ? 12 + 12 * std::min(t, 1.0) : 12) * scale;
    const double alpha = std::max((1 - t) * 0.6, 0.0);
    if (alpha <= 0)
        return;
    QRadialGradient gradient(center, radius);
    const QColor color = QColor::fromRgbF(1.0f, 0.7f, 0.1f, static_cast<float>(alpha));
    gradient.setColorAt(0, color);
    gradient.setColorAt((radius - 3 * scale) / radius, color);
    gradient.setColorAt(1, QColor::fromRgbF(1.0f, 0.7f, 0.1f, 0.0f));
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(center, radius, radius);
}

void ScreenRecorder::checkFailure()
{
    if (stopping_ || !writer_)
        return;
    const std::optional<TarnwickError> failure = writer_->failure();
    if (!failure)
        return;
    stopping_ = true;
    report(*failure);
}

void ScreenRecorder::report(const TarnwickError& error)
{
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            if (onInterruption)
                onInterruption(error);
        },
        Qt::QueuedConnection);
}

void ScreenRecorder::stopThreads()
{
    running_ = false;
    if (grabThread_.joinable())
        grabThread_.join();
    if (audioTimer_.joinable())
        audioTimer_.join();
    if (pointer_)
        pointer_->stopWatchingClicks();
    microphone_.reset();
    systemAudio_.reset();
}

RecordingResult ScreenRecorder::stop()
{
    const double endTime = hostTimeNow();
    queue_.sync([this] { stopping_ = true; });
    stopThreads();
    std::promise<RecordingResult> result;
    queue_.sync([&] {
        clicks_.clear();
        previousGrab_ = QImage();
        if (!writer_)
            result.set_value({QString(), TarnwickError(QStringLiteral("Запись не была запущена."))});
        else
            writer_->finish(endTime, [&](RecordingResult r) { result.set_value(std::move(r)); });
    });
    RecordingResult outcome = result.get_future().get();
    queue_.sync([this] { writer_.reset(); });
    return outcome;
}

} // namespace tarnwick
