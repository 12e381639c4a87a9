#include "platform/ScreenGrabber.h"
#include "support/Xvfb.h"

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using tarnwick::test::Xvfb;

namespace {

// One private 1920×1080 server for the whole program; $DISPLAY points at it.
Xvfb& server()
{
    static Xvfb xvfb;
    return xvfb;
}

// From the picker's start to the MapNotify of its first veil, as a client
// watching the root sees it: the part of "hot key → overlay" the picker owns.
void BM_PickerStartToOverlayMapped(benchmark::State& state)
{
    server();
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &events);
    xcb_flush(c);
    char program[] = TARNWICK_CAPTURE;
    char i[] = "-i", x[] = "-x", t[] = "-t", png[] = "png", file[] = "/dev/null/never";
    char* argv[] = {program, i, x, t, png, file, nullptr};

    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("the picker does not start");
            break;
        }
        bool mapped = false;
        while (!mapped) {
            xcb_generic_event_t* event = xcb_wait_for_event(c);
            if (!event)
                break;
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
                mapped = reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
            std::free(event);
        }
        const auto shown = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(shown - start).count());
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (!mapped) {
            state.SkipWithError("no veil was mapped");
            break;
        }
    }
    xcb_disconnect(c);
}
BENCHMARK(BM_PickerStartToOverlayMapped)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(21)->ReportAggregatesOnly(true);

// The freeze: one grab of the whole 1920×1080 root.
void BM_GrabWholeScreen(benchmark::State& state)
{
    server();
    auto grabber = tarnwick::platform::makeScreenGrabber(
        {}, state.range(0) ? tarnwick::platform::GrabTransport::Automatic
                           : tarnwick::platform::GrabTransport::PlainGetImage);
    const QRect screen = grabber->screenRect();
    for (auto _ : state)
        benchmark::DoNotOptimize(grabber->grab(screen));
    state.SetLabel(grabber->usedSharedMemory() ? "MIT-SHM" : "GetImage");
}
BENCHMARK(BM_GrabWholeScreen)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
