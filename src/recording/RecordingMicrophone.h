#pragma once

#include "recording/review/PulseConnection.h"
#include "platform/SerialQueue.h"
#include "platform/TarnwickError.h"
#include "recording/RecordingAudio.h"

#include <atomic>
#include <functional>
#include <memory>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace tarnwick {

// Captures one PulseAudio source in its native sample format: the default
// source for the microphone (a monitor does not count as one), the default
// sink's monitor for system audio. Buffers, stamped on the host clock, reach
// `onSample` on the sample queue; a failure while running (the source removed,
// the stream moved elsewhere, the server gone) reaches `onFailure` there, once.
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
    void read();
    void failed();

    platform::SerialQueue& sampleQueue_;
    RecordingAudioSource source_;
    review::media::PulseConnection pulse_;
    pa_stream* stream_ = nullptr;
    RecordingAudioFormat format_;
    std::shared_ptr<std::atomic<bool>> alive_;
    bool stopping_ = false;
    bool reported_ = false; // on PulseAudio's thread, like stopping_
    std::unique_ptr<Clock> clock_;
};

} // namespace tarnwick
