#pragma once

#include "platform/PointerCapture.h"
#include "platform/ScreenGrabber.h"
#include "platform/SerialQueue.h"
#include "platform/TarnwickError.h"
#include "recording/RecordingFileWriter.h"
#include "recording/RecordingOptions.h"

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

namespace tarnwick {

class RecordingMicrophone;

// Records one monitor, or a rectangle of it, into an MP4 file: grabs the root
// window at 30 frames a second, draws the cursor and rings where the user
// clicks, feeds the writer with frames, system audio and microphone, and
// reports a failure while recording once through `onInterruption` on the
// thread this object lives in (the GUI thread).
class ScreenRecorder : public QObject {
public:
    explicit ScreenRecorder(QString display = {}, QObject* parent = nullptr);
    ~ScreenRecorder() override;

    std::function<void(const TarnwickError&)> onInterruption;

    // `screenFrame` is the monitor's screen in global points (Qt's coordinates,
    // y down), `selection` the area to record in the same points (the screen's
    // frame for a whole display), `scale` its device pixel ratio. Blocks until
    // capture runs and its first frame is grabbed; throws TarnwickError. A recorder is
    // started once.
    void start(const platform::Monitor& display, const QRectF& screenFrame, const QRectF& selection, double scale,
               const RecordingOptions& options, const QString& url);
    // Blocks until the file is finished (or abandoned).
    RecordingResult stop();

    // The root pixels `start` records: the selection on this monitor, the whole
    // monitor when the selection is (nearly) empty.
    static QRect sourcePixels(const platform::Monitor& display, const QRectF& screenFrame, const QRectF& selection,
                              double scale);

    // Frames skipped because the capture queue or the encoder was still busy, or because
    // the grab thread itself woke too late for their tick.
    int droppedFrames() const { return dropped_; }

    // A click ring as the recording draws it: a disc of radius 12 growing to
    // 24 while fading out over 0.45 s, with a soft 3-pixel edge; all `scale` times
    // larger on a grab that the video shows smaller.
    static void drawClickRing(QImage& frame, QPointF center, double age, double scale = 1.0);

private:
    struct Click {
        QPoint point;
        double time;
    };
    void grabLoop();
    void handleFrame(QImage image, std::optional<platform::PointerCapture::Cursor> cursor, double time);
    void checkFailure();
    void report(const TarnwickError& error);
    void stopThreads();

    QString display_;
    platform::SerialQueue queue_{"com.tarnwick.recording"};
    std::unique_ptr<platform::ScreenGrabber> grabber_;
    std::unique_ptr<platform::PointerCapture> pointer_;
    std::unique_ptr<RecordingMicrophone> microphone_;
    std::unique_ptr<RecordingMicrophone> systemAudio_;
    std::unique_ptr<RecordingFileWriter> writer_;
    RecordingOptions options_;
    platform::Monitor monitor_;
    QRect captureRect_;
    QSize outputSize_;
    QRect fitRect_; // where the captured picture lands in the video
    std::atomic<bool> running_{false};
    std::atomic<int> pendingFrames_{0};
    std::atomic<int> dropped_{0};
    std::atomic<bool> failureCheckPending_{false};
    std::atomic<bool> firstTickDone_{false};
    std::thread grabThread_;
    std::thread audioTimer_;
    // On the capture queue:
    bool stopping_ = false;
    std::deque<Click> clicks_;
    bool marksShown_ = false;
    QImage previousGrab_;
    QPoint previousCursor_;
    std::uint32_t previousCursorSerial_ = 0;
};

} // namespace tarnwick
