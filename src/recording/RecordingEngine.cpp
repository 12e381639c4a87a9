#include "recording/RecordingEngine.h"

#include "recording/ScreenRecorder.h"

namespace tarnwick::recording {

ScreenRecorderEngine::ScreenRecorderEngine() : recorder_(std::make_unique<ScreenRecorder>())
{
    recorder_->onInterruption = [this](const TarnwickError& error) {
        if (onInterruption)
            onInterruption(error);
    };
}

ScreenRecorderEngine::~ScreenRecorderEngine() = default;

void ScreenRecorderEngine::start(const platform::Monitor& display, const QRectF& screenFrame, const QRectF& selection,
                                 double scale, const RecordingOptions& options, const QString& url)
{
    recorder_->start(display, screenFrame, selection, scale, options, url);
}

RecordingResult ScreenRecorderEngine::stop()
{
    return recorder_->stop();
}

} // namespace tarnwick::recording
