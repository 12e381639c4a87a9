#pragma once

#include "recording/review/VideoFrameDecoder.h"

#include <functional>
#include <limits>
#include <memory>
#include <opencv2/core/mat.hpp>
#include <optional>
#include <stop_token>
#include <vector>

namespace tarnwick::review {

// One decoded picture for tracking: BGR, at most 960 pixels on its longer side.
struct VideoBlurFrame {
    double time = 0;
    cv::Mat image;
};

// A decoder over a recording for the tracker; throws TarnwickError when the file has
// no readable video.
std::unique_ptr<VideoFrameDecoder> openTrackingDecoder(const QString& path);

// Reads [start, end) of the video front to back, each frame once.
class VideoBlurForwardFrames {
public:
    VideoBlurForwardFrames(VideoFrameDecoder& decoder, double start, double end, std::stop_token cancel);

    // The next unread frame at or after `time` − 1/600 s; nullopt once the range is read.
    // Throws CancellationError, or TarnwickError when reading fails.
    std::optional<VideoBlurFrame> image(double time);
    // The stream ended before the range did; the latest frame time read, NaN before any.
    bool reachedEnd() const { return reachedEnd_; }
    double lastTime() const { return lastTime_; }

private:
    VideoFrameDecoder& decoder_;
    double start_;
    double end_;
    std::stop_token cancel_;
    bool finished_ = false;
    bool reachedEnd_ = false;
    double lastTime_ = std::numeric_limits<double>::quiet_NaN();
};

// The frames of one tracking run over [start, end]: forward in one pass, or
// backward by reading half a second forward at a time from the end and handing
// out each half second from its end.
class VideoBlurFrames {
public:
    VideoBlurFrames(VideoFrameDecoder& decoder, double start, double end, bool reverse, std::stop_token cancel);

    // Forward: the next frame at or after `wanted` − 1/600 s. Backward: the latest unread
    // frame at or before `wanted` + 1/600 s; later ones are passed over for good.
    std::optional<VideoBlurFrame> frame(double wanted);

    // Told the range of every backward batch before it is read.
    std::function<void(double from, double to)> batchRead;

private:
    VideoFrameDecoder& decoder_;
    double start_;
    double end_;
    bool reverse_;
    std::stop_token cancel_;
    std::optional<VideoBlurForwardFrames> forward_;
    std::vector<VideoBlurFrame> batch_;
    double upper_;
};

// The picture shown at a time, for the first frame of a run.
// Throws TarnwickError when the video has none.
VideoBlurFrame videoBlurStillFrame(VideoFrameDecoder& decoder, double time);

} // namespace tarnwick::review
