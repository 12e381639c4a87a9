// Types Ctrl+2 through XTEST on $DISPLAY, where Tarnwick runs, and reports the
// time until the picker maps its first override-redirect veil, less the fixed
// 250 ms the shell waits first; then presses Escape and waits for the veil to go. Prints every run and the median, in milliseconds.
#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

xcb_keycode_t keycodeOf(xcb_connection_t* c, xcb_keysym_t sym)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* map = xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    xcb_keycode_t found = 0;
    for (int i = 0; i < count && !found; ++i)
        if (syms[i * map->keysyms_per_keycode] == sym)
            found = xcb_keycode_t(setup->min_keycode + i);
    std::free(map);
    return found;
}

void chord(xcb_connection_t* c, std::vector<xcb_keycode_t> keys)
{
    for (xcb_keycode_t k : keys)
        xcb_test_fake_input(c, XCB_KEY_PRESS, k, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    std::reverse(keys.begin(), keys.end());
    for (xcb_keycode_t k : keys)
        xcb_test_fake_input(c, XCB_KEY_RELEASE, k, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(c);
}

// Waits for the picker's veil (an override-redirect window below the root) to
// be mapped, and answers its id.
xcb_window_t waitForVeil(xcb_connection_t* c)
{
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
        const xcb_window_t veil = (e->response_type & 0x7f) == XCB_MAP_NOTIFY && map->override_redirect ? map->window : 0;
        std::free(e);
        if (veil)
            return veil;
    }
    std::exit(1);
}

// Presses Escape until the veil goes: a press before the veil holds the
// keyboard goes elsewhere, and probing the grab would race with the picker's own.
void escapeUntilUnmapped(xcb_connection_t* c, xcb_keycode_t escape, xcb_window_t veil)
{
    for (;;) {
        chord(c, {escape});
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        while (std::chrono::steady_clock::now() < until) {
            if (xcb_connection_has_error(c))
                std::exit(1);
            xcb_generic_event_t* e = xcb_poll_for_event(c);
            if (!e) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const bool gone = (e->response_type & 0x7f) == XCB_UNMAP_NOTIFY
                && reinterpret_cast<xcb_unmap_notify_event_t*>(e)->window == veil;
            std::free(e);
            if (gone)
                return;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_keycode_t control = keycodeOf(c, XK_Control_L), two = keycodeOf(c, XK_2), escape = keycodeOf(c, XK_Escape);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        chord(c, {control, two});
        const xcb_window_t veil = waitForVeil(c);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() - 250);
        escapeUntilUnmapped(c, escape, veil);
        // The shell hears of the picker's end a moment later and takes keys again.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::printf("%.1f ", times.back());
        std::fflush(stdout);
    }
    std::sort(times.begin(), times.end());
    std::printf("\nCtrl+2 to picker veil, less 250 ms: median %.1f ms\n", times[times.size() / 2]);
    xcb_disconnect(c);
    return 0;
}
