#pragma once

#include "recording/review/PulseConnection.h"

#include <QString>
#include <optional>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace tarnwick::review {

// The sound of the review's preview: the file's first audio track played through
// PulseAudio from a start to an end time. It is the player's clock while it runs.
// A file without sound or a machine without a sound server simply stays silent.
// Called on the GUI thread; PulseAudio pulls the samples on its own thread,
// under its main loop's lock.
class VideoPlayerSound {
public:
    explicit VideoPlayerSound(QString path);
    ~VideoPlayerSound();
    VideoPlayerSound(const VideoPlayerSound&) = delete;
    VideoPlayerSound& operator=(const VideoPlayerSound&) = delete;

    // Plays [from, end); false when there is nothing to play or no server to play it on.
    bool start(double from, double end);
    // Drops whatever is still buffered, so the sound stops at once.
    void stop();
    // Seconds heard since `start` (0 until the first sample reaches the speakers); nullopt
    // when the sound does not drive the clock: not started, ran out, or the server failed.
    std::optional<double> heard() const;
    // The file's sentence when `start` found it refused by the checked open; empty otherwise.
    const QString& refusal() const { return refusal_; }

private:
    bool openTrack();
    void feed(std::size_t bytes);
    bool decodeMore();
    void append(const float* samples, int count);

    QString path_;
    QString refusal_;
    bool opened_ = false;
    bool serverFailed_ = false;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwrContext* resampler_ = nullptr;
    int track_ = -1;
    int rate_ = 0;
    media::PulseConnection pulse_;
    pa_stream* stream_ = nullptr;
    // Under the main loop's lock while a stream runs:
    double from_ = 0;
    std::size_t framesLeft_ = 0; // stereo sample frames still to play before the end time
    bool first_ = true;
    bool ended_ = false;
    std::size_t written_ = 0; // stereo sample frames handed to the server
    std::vector<float> pending_;
    std::size_t pendingAt_ = 0;
};

} // namespace tarnwick::review
