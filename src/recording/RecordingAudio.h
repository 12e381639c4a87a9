#pragma once

#include <cstdint>
#include <vector>

namespace tarnwick {

// Where an audio buffer comes from: the default sink's monitor or the default source.
enum class RecordingAudioSource { system, microphone };

// The sample layout of incoming audio: interleaved samples of one FFmpeg sample format.
struct RecordingAudioFormat {
    int sampleFormat = -1; // AVSampleFormat, packed formats only
    int rate = 0;
    int channels = 0;
    // Where each channel plays, as AVChannel values (AV_CHAN_UNKNOWN for a position without a
    // side). Empty: one channel is mono, two are left and right, more have no known side.
    std::vector<int> positions = {};
    friend bool operator==(const RecordingAudioFormat&, const RecordingAudioFormat&) = default;
};

// One incoming buffer as a capture source delivers it.
struct RecordingAudioBuffer {
    RecordingAudioFormat format;
    std::vector<std::uint8_t> data;
    int frames = 0;
};

// Mixed audio handed to the encoder: interleaved float samples, `time` counted at `rate` per second.
struct RecordingPCMBuffer {
    std::vector<float> samples;
    int channels = 2;
    int rate = 48000;
    std::int64_t time = 0;
    int frames() const { return channels > 0 ? static_cast<int>(samples.size()) / channels : 0; }
};

namespace RecordingPCM {
// Throws TarnwickError when the samples hold less than one frame.
RecordingPCMBuffer sampleBuffer(std::vector<float> samples, std::int64_t at, int channels, int rate);
}

// Seconds on the host clock (CLOCK_MONOTONIC), the clock of frames, audio and drains.
double hostTimeNow();

} // namespace tarnwick
