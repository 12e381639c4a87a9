#pragma once

#include "platform/ScreenGrabber.h"
#include "platform/TarnwickError.h"
#include "recording/RecordingFileWriter.h"
#include "recording/RecordingOptions.h"

#include <QRectF>
#include <functional>
#include <memory>

namespace tarnwick {
class ScreenRecorder;
}

namespace tarnwick::recording {

// What the session needs of a capture engine. start() and stop() block and
// run on a worker thread; onInterruption arrives on the GUI thread.
class RecordingEngine {
public:
    virtual ~RecordingEngine() = default;
    std::function<void(const TarnwickError&)> onInterruption;
    virtual void start(const platform::Monitor& display, const QRectF& screenFrame, const QRectF& selection,
                       double scale, const RecordingOptions& options, const QString& url) = 0;
    virtual RecordingResult stop() = 0;
};

// The real engine: ScreenRecorder on the X server of $DISPLAY.
class ScreenRecorderEngine : public RecordingEngine {
public:
    ScreenRecorderEngine();
    ~ScreenRecorderEngine() override;
    void start(const platform::Monitor& display, const QRectF& screenFrame, const QRectF& selection, double scale,
               const RecordingOptions& options, const QString& url) override;
    RecordingResult stop() override;

private:
    std::unique_ptr<ScreenRecorder> recorder_;
};

} // namespace tarnwick::recording
