#pragma once

#include "recording/RecordingEngine.h"

#include <QFile>
#include <QString>

namespace tarnwick::test {

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
