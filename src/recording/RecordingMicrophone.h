#pragma once

#include "recording/review/PulseConnection.h"
#include "platform/SerialQueue.h"
#include "platform/TarnwickError.h"
#include "recording/RecordingAudio.h"
#include "recording/RecordingSourceLookup.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace tarnwick {

// Captures one PulseAudio source in its native sample format and channels: the default
// source for the microphone (a monitor does not count as one), the default
// sink's monitor for system audio. When the user makes another sink or source
// the default while it runs, it follows within a moment (the gap stays silent).
// Buffers, stamped on the host clock, reach `onSample` on the sample queue; a
// failure while running (the source removed, the stream moved elsewhere, the
// server gone, a new default that cannot be recorded) reaches `onFailure` there, once.
class RecordingMicrophone {
public:
    RecordingMicrophone(platform::SerialQueue& sampleQueue,
                        RecordingAudioSource source = RecordingAudioSource::microphone);
    ~RecordingMicrophone();
    RecordingMicrophone(const RecordingMicrophone&) = delete;
    RecordingMicrophone& operator=(const RecordingMicrophone&) = delete;

    std::function<void(const RecordingAudioBuffer&, double)> onSample;
    std::function<void(const TarnwickError&)> onFailure;

    // Throws TarnwickError.
    void start();
    void stop();

private:
    struct Clock;
    // On PulseAudio's thread: a stream on `choice.source` in its own format, connecting; null on failure.
    pa_stream* connect(const RecordingSourceChoice& choice);
    void disconnect();
    void follow(const RecordingSourceChoice& choice);
    void read();
    void failed();

    platform::SerialQueue& sampleQueue_;
    RecordingAudioSource source_;
    review::media::PulseConnection pulse_;
    pa_stream* stream_ = nullptr;
    std::unique_ptr<RecordingSourceLookup> lookup_;
    std::string device_; // the default sink or source being recorded
    RecordingAudioFormat format_;
    std::shared_ptr<std::atomic<bool>> alive_;
    bool stopping_ = false;
    bool reported_ = false; // on PulseAudio's thread, like stopping_
    std::unique_ptr<Clock> clock_;
};

} // namespace tarnwick
