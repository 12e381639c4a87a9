#pragma once

#include <pulse/pulseaudio.h>

#include <functional>
#include <string>

namespace tarnwick {

// What the sound server names now as the place to record from.
struct RecordingSourceChoice {
    std::string device;     // the default sink (system sound) or default source (microphone)
    std::string source;     // the source to record: that source or the sink's monitor; empty when none
    bool isMonitor = false; // the source only repeats a sink
    pa_sample_spec sampleFormat{};
    pa_channel_map channelMap{}; // where each of the source's channels plays
};

// Asks the server for its default source, or for the monitor of its default sink, without
// blocking its loop's thread: the answer comes through server info, sink info and source info
// in turn. One question at a time; asking again or destroying the lookup drops an unanswered one.
class RecordingSourceLookup {
public:
    RecordingSourceLookup(pa_context* context, bool systemSound);
    ~RecordingSourceLookup();
    RecordingSourceLookup(const RecordingSourceLookup&) = delete;
    RecordingSourceLookup& operator=(const RecordingSourceLookup&) = delete;

    // Under the loop's lock; `answer` runs on the loop's thread.
    void ask(std::function<void(const RecordingSourceChoice&)> answer);
    void cancel();

private:
    void serverInfo(const pa_server_info* info);
    void sinkInfo(const pa_sink_info* info, int eol);
    void sourceInfo(const pa_source_info* info, int eol);
    void askSource(std::string name);
    void running(pa_operation* operation);
    void answer();

    pa_context* context_;
    bool systemSound_;
    pa_operation* operation_ = nullptr;
    RecordingSourceChoice choice_;
    std::function<void(const RecordingSourceChoice&)> answer_;
};

} // namespace tarnwick
