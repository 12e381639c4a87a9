#pragma once

#include "recording/RecordingAudio.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

struct SwrContext;

namespace tarnwick {

// Converts each source to float 48 kHz stereo, its channels mixed down by where they play and
// never louder than the loudest of them; places it on one timeline that starts at the first
// video frame, sums the sources in blocks of 1024 frames and hands whole blocks out in order.
// Not thread-safe: its owner serialises calls.
// Every operation but the constructor may throw TarnwickError.
class RecordingAudioMixer {
public:
    static constexpr int rate = 48000;
    static constexpr int blockFrames = 1024;
    static constexpr std::int64_t maximumAhead = 96000;

    explicit RecordingAudioMixer(std::set<RecordingAudioSource> sources);
    ~RecordingAudioMixer();
    RecordingAudioMixer(const RecordingAudioMixer&) = delete;
    RecordingAudioMixer& operator=(const RecordingAudioMixer&) = delete;

    void setOrigin(double time);
    void ingest(const RecordingAudioBuffer& buffer, RecordingAudioSource source, double time);
    // Hands out mixed audio up to `time`; false only when `ready` said no (call again later).
    bool drain(double time, bool final, const std::function<bool()>& ready,
               const std::function<bool(RecordingPCMBuffer)>& append);

    std::optional<double> origin() const { return origin_; }
    std::int64_t nextFrame() const { return nextFrame_; }

private:
    struct SwrDeleter {
        void operator()(SwrContext* context) const;
    };
    using Converter = std::unique_ptr<SwrContext, SwrDeleter>;
    struct Pending {
        RecordingAudioBuffer buffer;
        RecordingAudioSource source;
        double time;
    };

    void flush(RecordingAudioSource source);
    void commit(const float* left, const float* right, int frames, RecordingAudioSource source);

    std::set<RecordingAudioSource> sources_;
    std::map<RecordingAudioSource, Converter> converters_;
    std::map<RecordingAudioSource, RecordingAudioFormat> converterFormats_;
    std::map<RecordingAudioSource, std::int64_t> outputCursors_;
    std::map<RecordingAudioSource, double> inputEnds_;
    bool convertersFlushed_ = false;
    std::map<std::int64_t, std::vector<float>> blocks_;
    std::int64_t nextFrame_ = 0;
    std::optional<double> origin_;
    std::deque<Pending> pending_;
};

} // namespace tarnwick
