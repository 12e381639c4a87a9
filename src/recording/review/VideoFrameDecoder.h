#pragma once

#include "recording/review/FrameScaler.h"

#include <QString>
#include <cstdint>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace tarnwick::review {

// The first video stream of a file, decoded frame by frame with FFmpeg, and the
// conversion of a decoded frame into packed pixels with libswscale. The review's
// thumbnails and the blur tracker read through this. One thread at a time.
class VideoFrameDecoder {
public:
    struct Options {
        int threads = 1;
        // Skips deblocking: faster, for pictures that end up small.
        bool fast = false;
    };

    VideoFrameDecoder(const QString& path, Options options);
    ~VideoFrameDecoder();
    VideoFrameDecoder(const VideoFrameDecoder&) = delete;
    VideoFrameDecoder& operator=(const VideoFrameDecoder&) = delete;

    enum class State { unreadable, noVideo, noDecoder, open };

    State state() const { return state_; }
    bool isOpen() const { return state_ == State::open; }
    // The file's sentence when it was refused before FFmpeg saw it (a pipe or a folder in its
    // place, a link to one, a missing file); empty otherwise.
    const QString& refusal() const { return refusal_; }
    AVStream* stream() const;
    // Stream time stamp of a time on the file's timeline, rounded down. Times are the file's own,
    // as the sound, the exports and the recorder use them, not counted from the video's first frame.
    std::int64_t stamp(double seconds) const;
    double seconds(std::int64_t stamp) const;

    // Moves to the key frame at or before `stamp` (the file's start when there is none).
    void seekStamp(std::int64_t stamp);
    void seek(double seconds) { seekStamp(stamp(seconds)); }
    // The next decoded frame, valid until the next call; nullptr at the end of the stream
    // or when reading fails (then `failed()`).
    AVFrame* next();
    bool failed() const { return failed_; }
    // The frame's presentation time on the video's timeline; NaN when the file gives none.
    double time(const AVFrame* frame) const;

    // Scales `frame` into `width` × `height` packed pixels of `format` (an AVPixelFormat) at `data`;
    // writes those pixels only, so `data` needs no room past them.
    bool convert(const AVFrame* frame, int format, int width, int height, std::uint8_t* data, int stride);

private:
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    media::FrameScaler scaler_;
    int stream_ = -1;
    State state_ = State::unreadable;
    QString refusal_;
    double timeBase_ = 0;
    bool draining_ = false;
    bool failed_ = false;
};

} // namespace tarnwick::review
