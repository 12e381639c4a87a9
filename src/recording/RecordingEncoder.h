#pragma once

#include "platform/TarnwickError.h"
#include "recording/RecordingAudio.h"
#include "recording/RecordingOptions.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

struct AVFrame;

namespace tarnwick {

struct EncoderFailure {
    TarnwickError error;
    bool fileError = false; // the file or the disk failed, not the encoding
};

// The FFmpeg side of the writer: a thread that converts BGRA frames to yuv420p,
// encodes video and AAC, and muxes a fragmented MP4. Jobs wait in short queues.
class RecordingEncoder {
public:
    static constexpr std::int64_t timescale = 60000;

    // Throws TarnwickError when the codec, the audio encoder or the file is not available.
    // Frames come at `source` (the video's size when empty) and are scaled into `fittedArea`.
    RecordingEncoder(const QString& path, QSize size, const RecordingOptions& options, bool audio,
                     QSize source = {});
    ~RecordingEncoder();
    RecordingEncoder(const RecordingEncoder&) = delete;
    RecordingEncoder& operator=(const RecordingEncoder&) = delete;

    // `pts` in 1/60000 s. Converts to yuv420p from the calling thread (one thread only), in
    // bands on a few threads, so conversion keeps up and overlaps the encoding. False when the queue is full (unless waiting) or the encoder stopped.
    bool pushVideo(const QImage& frame, std::int64_t pts, bool waitForRoom);
    // Where a frame of `source` pixels lands in a video of `size`: scaled to fit, centred, on
    // even pixels; the rest of the picture is the recording's dark grey.
    static QRect fittedArea(QSize source, QSize size);
    bool audioReady() const;
    bool videoReady() const;
    bool pushAudio(RecordingPCMBuffer buffer);
    // Waits until audio can be queued; false at the deadline.
    bool waitForAudioRoom(std::chrono::steady_clock::time_point deadline);

    std::optional<EncoderFailure> failure() const;
    // Video packets in complete fragments (or the finished file).
    std::int64_t videoPacketsWritten() const;

    // Encodes what is queued, ends the video at `end` (1/60000 s) and closes the file; blocks.
    void close(std::int64_t end);
    // Stops at once; the file is left as it stands.
    void abort();

private:
    struct FrameDeleter {
        void operator()(AVFrame* frame) const;
    };
    struct Job {
        std::shared_ptr<AVFrame> picture; // yuv420p, converted by the caller's thread
        std::optional<RecordingPCMBuffer> audio;
    };
    struct Media;

    void run();
    void fail(const char* sentence, bool fileError);
    void encodeVideo(const Job& job);
    void encodeAudio(const RecordingPCMBuffer& buffer);
    void drainPackets(bool video);
    void writePacket(bool video, void* packet);
    void finishMedia();

    class BandConverter;

    std::unique_ptr<Media> media_;
    std::unique_ptr<BandConverter> converter_; // the pushing thread's
    QSize size_;
    QSize source_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable room_;
    std::deque<Job> jobs_;
    int queuedVideo_ = 0;
    int queuedAudio_ = 0;
    bool closing_ = false;
    bool aborted_ = false;
    std::int64_t end_ = 0;
    std::optional<EncoderFailure> failure_;
    std::int64_t videoPackets_ = 0;
    std::thread worker_;
};

// Rewrites the fragmented recording at `from` as a plain MP4 at `to` with the index first.
// `upToDamage` ends the copy at a damaged packet (the torn tail a crash leaves) instead
// of failing. Throws TarnwickError.
void rewriteWithIndexFirst(const QString& from, const QString& to, bool upToDamage = false);

} // namespace tarnwick
