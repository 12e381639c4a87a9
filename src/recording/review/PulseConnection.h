#pragma once

#include <pulse/pulseaudio.h>

namespace tarnwick::review::media {

// A PulseAudio context on a threaded main loop of its own. Never spawns a server.
// Owners take the loop's lock around everything they do with the context.
class PulseConnection {
public:
    enum class Result { ready, noLoop, noServer };

    PulseConnection() = default;
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;
    ~PulseConnection() { close(); }

    // Starts the loop and waits until the context is ready or has failed; on
    // failure everything is closed again.
    Result open();
    // Drops the context and stops the loop; the owner's streams must be gone first.
    void close();
    bool isOpen() const { return loop_ != nullptr; }

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }

    // Under the lock: waits until `stream` is ready (true) or has failed.
    bool waitForStream(pa_stream* stream) const;

private:
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

} // namespace tarnwick::review::media
