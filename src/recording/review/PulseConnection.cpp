#include "recording/review/PulseConnection.h"

namespace tarnwick::review::media {
namespace {

void signalLoop(void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); }

} // namespace

PulseConnection::Result PulseConnection::open()
{
    close();
    loop_ = pa_threaded_mainloop_new();
    if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) {
        close();
        return Result::noLoop;
    }
    pa_threaded_mainloop_lock(loop_);
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Tarnwick");
    bool ready = false;
    if (context_) {
        pa_context_set_state_callback(context_, [](pa_context*, void* loop) { signalLoop(loop); }, loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            for (;;) {
                const pa_context_state_t state = pa_context_get_state(context_);
                ready = state == PA_CONTEXT_READY;
                if (ready || !PA_CONTEXT_IS_GOOD(state))
                    break;
                pa_threaded_mainloop_wait(loop_);
            }
        }
    }
    pa_threaded_mainloop_unlock(loop_);
    if (!ready) {
        close();
        return Result::noServer;
    }
    return Result::ready;
}

void PulseConnection::close()
{
    if (!loop_)
        return;
    pa_threaded_mainloop_lock(loop_);
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

bool PulseConnection::waitForStream(pa_stream* stream) const
{
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY)
            return true;
        if (!PA_STREAM_IS_GOOD(state))
            return false;
        pa_threaded_mainloop_wait(loop_);
    }
}

} // namespace tarnwick::review::media
