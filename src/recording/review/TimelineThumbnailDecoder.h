#pragma once

#include "recording/review/VideoFrameDecoder.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>

namespace tarnwick {

// Still frames of a video file, decoded with FFmpeg and scaled down with libswscale.
// One instance per thread; the timeline thumbnails use it on their worker only.
class TimelineThumbnailDecoder {
public:
    explicit TimelineThumbnailDecoder(const QString& path);

    bool isOpen() const { return decoder_.isOpen(); }
    const QString& refusal() const { return decoder_.refusal(); }
    // The first frame at or after `seconds − tolerance` (the last frame when the video ends
    // earlier), scaled to fit inside `maximumSize` with its aspect kept, never enlarged.
    // A null image when the file cannot serve one.
    QImage frameAt(double seconds, double tolerance, QSize maximumSize);
    // Seconds of video frameAt decodes before the frame it returns, from the file's index.
    double decodingRun(double seconds, double tolerance) const;

private:
    std::int64_t seekTarget(double seconds, double tolerance) const;
    QImage scaled(const AVFrame* frame, QSize maximumSize);

    // Frame threads cost a few frames of delay after a seek but speed up the run from the key
    // frame; deblocking is invisible at thumbnail size and a good part of the decoding time.
    review::VideoFrameDecoder decoder_;
};

} // namespace tarnwick
