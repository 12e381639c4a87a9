#pragma once

#include "recording/RecordingEngine.h"
#include "support/X11Client.h"

#include <QFile>
#include <QString>

namespace tarnwick::test {

// A one-second H.264 clip of ffmpeg's test picture at `path`: the recording a ClipEngine hands
// over. ffmpeg's exit code.
inline int makeClip(const QString& path)
{
    return runProcess("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=640x360:rate=30", "-t", "1", "-c:v",
                                 "libx264", "-pix_fmt", "yuv420p", path},
                      nullptr, {}, std::chrono::seconds(60));
}

// The capture engine's stand-in for tests of the windows: the recording is a real clip made
// beforehand (by ffmpeg), handed over when the session stops.
class ClipEngine : public recording::RecordingEngine {
public:
    explicit ClipEngine(QString clip) : clip_(std::move(clip)) {}
    void start(const platform::Monitor&, const QRectF&, const QRectF&, double, const RecordingOptions&,
               const QString& url) override
    {
        url_ = url;
    }
    RecordingResult stop() override
    {
        QFile::copy(clip_, url_);
        return {url_, std::nullopt};
    }

private:
    QString clip_, url_;
};

} // namespace tarnwick::test
