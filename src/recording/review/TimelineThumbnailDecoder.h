#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace tarnwick {

// Still frames of a video file, decoded with FFmpeg and scaled down with libswscale.
// One instance per thread; the timeline thumbnails use it on their worker only.
class TimelineThumbnailDecoder {
public:
    explicit TimelineThumbnailDecoder(const QString& path);
    ~TimelineThumbnailDecoder();
    TimelineThumbnailDecoder(const TimelineThumbnailDecoder&) = delete;
    TimelineThumbnailDecoder& operator=(const TimelineThumbnailDecoder&) = delete;

    bool isOpen() const { return codec_ != nullptr; }
    // The first frame at or after `seconds − tolerance` (the last frame when the video ends
    // earlier), scaled to fit inside `maximumSize` with its aspect kept, never enlarged.
    // A null image when the file cannot serve one.
    QImage frameAt(double seconds, double tolerance, QSize maximumSize);
    // Seconds of video frameAt decodes before the frame it returns, from the file's index.
    double decodingRun(double seconds, double tolerance) const;

private:
    std::int64_t stamp(double seconds) const;
    std::int64_t seekTarget(double seconds, double tolerance) const;
    QImage scaled(const AVFrame* frame, QSize maximumSize);

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwsContext* scaler_ = nullptr;
    int stream_ = -1;
    double timeBase_ = 0;
    double startTime_ = 0;
};

} // namespace tarnwick
