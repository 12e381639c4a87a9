#pragma once

#include "recording/review/RecordingTrim.h"
#include "recording/review/VideoBlurRegion.h"

#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

namespace tarnwick::review {

// Re-encodes the kept fragment of a recording with its blur regions burnt in:
// demux, decode, blur, encode (HEVC stays HEVC, anything else becomes H.264),
// mux, all on one worker thread. Audio packets are copied as they are.
class VideoBlurExport {
public:
    // Null on success; otherwise TarnwickError, CancellationError or a library's error.
    using Completion = std::function<void(std::exception_ptr error)>;

    // Opens the source and sets up the decoder and encoder; throws TarnwickError.
    // Nothing is written until `run`.
    VideoBlurExport(const QString& source, const RecordingTrim& trim, std::vector<VideoBlurRegion> regions,
                    const QString& destination);
    // Cancels a running export and waits for its worker.
    ~VideoBlurExport();
    VideoBlurExport(const VideoBlurExport&) = delete;
    VideoBlurExport& operator=(const VideoBlurExport&) = delete;

    // Starts the worker; `completion` is called on it exactly once. A failed or
    // cancelled export leaves no destination file. Call once.
    void run(Completion completion);
    // Any thread, any time, repeatedly: the export ends with CancellationError
    // unless it has already finished.
    void cancel();

    // The whole export, blocking the caller; throws as the completion reports.
    static void prepare(const QString& source, const RecordingTrim& trim, const std::vector<VideoBlurRegion>& regions,
                        const QString& destination, std::stop_token cancel = {});

private:
    struct Media;

    void work();

    std::unique_ptr<Media> media_;
    std::atomic<bool> cancelled_{false};
    Completion completion_;
    std::thread worker_;
};

} // namespace tarnwick::review
