#pragma once

#include "platform/SerialQueue.h"
#include "platform/TarnwickError.h"
#include "recording/RecordingAudio.h"
#include "recording/RecordingOptions.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tarnwick {

class RecordingAudioMixer;
class RecordingEncoder;

// What a finished recording left: the file (empty when none is left) and the
// failure that ended it early, if any. A file with a failure is the part
// recorded up to the last good frame.
struct RecordingResult {
    QString url;
    std::optional<TarnwickError> error;
};

// Writes frames and mixed audio into one MP4 file. Frames are converted and
// encoded on a thread of its own behind a short queue; a full queue drops the
// frame. While recording the file is a fragmented MP4, so a killed process
// leaves what was encoded up to the last half second readable; `finish` rewrites
// it as a plain MP4 with the index at the front when the disk holds a second
// copy, and keeps the fragmented file (which plays as well) when it does not.
// Once a frame is written the file is never removed by a failure: the result
// carries both the file and the failure.
// append/appendAudio/drainAudio/finish are called from one thread (the capture queue).
class RecordingFileWriter {
public:
    // Throws TarnwickError: codec not available, audio refused, file not writable. Frames come
    // at `source` pixels (the video's `size` when empty) and are scaled to fit the video.
    RecordingFileWriter(QString url, QSize size, const RecordingOptions& options, QSize source = {});
    ~RecordingFileWriter();
    RecordingFileWriter(const RecordingFileWriter&) = delete;
    RecordingFileWriter& operator=(const RecordingFileWriter&) = delete;

    // `frame` is 32-bit BGRA in memory (QImage::Format_RGB32 / ARGB32); `time` on the host clock.
    bool append(const QImage& frame, double time);
    // Nothing changed on screen at `time`: the last frame is written again ten times
    // a second, so the encoder passes it on and fragments reach the disk on a still screen.
    void repeatLastFrame(double time);
    void appendAudio(const RecordingAudioBuffer& buffer, RecordingAudioSource source, double time);
    void drainAudio(double time);
    // The completion runs once: at once when nothing was written, else on the finishing thread.
    void finish(double endTime, std::function<void(RecordingResult)> completion);
    // The source changed size under the recording (a new screen mode): the same
    // failure as a frame of another size.
    void refuseFrameSize();
    // Abandons the recording and removes its file (the capture engine's start failed).
    void cancel();

    // Ours, or else the encoding thread's that no append or drain has taken in yet.
    std::optional<TarnwickError> failure() const;
    // Whether the encoder takes another frame now; safe from any thread.
    bool readyForFrame() const;
    const QString& url() const { return url_; }
    QSize size() const { return size_; }

private:
    bool appendFrame(const QImage& frame, double time, bool waitForRoom);
    void setFailure(const TarnwickError& error, bool fileError);
    void syncEncoderFailure();
    void finalDrain(double end);
    void complete(double end, std::optional<TarnwickError> interruption);
    void abandon(TarnwickError error);

    QString url_;
    QSize size_;
    QSize source_;
    std::unique_ptr<RecordingEncoder> encoder_;
    std::unique_ptr<RecordingAudioMixer> audioMixer_;
    std::optional<double> firstTime_;
    double lastTime_ = -1;
    QImage lastBuffer_;
    mutable std::mutex failureMutex_;
    std::optional<TarnwickError> failure_;
    bool fileFailure_ = false;
    double failureTime_ = 0; // host clock
    bool finishing_ = false;
    bool completedFinish_ = false;
    std::function<void(RecordingResult)> completion_;
    platform::SerialQueue finishQueue_{"com.tarnwick.recording-finish"};
};

} // namespace tarnwick
