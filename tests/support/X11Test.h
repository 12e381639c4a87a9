#pragma once

#include "support/X11Client.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace tarnwick::test {

// The fixture of the X11 tests: the test's own client of the program's Xvfb,
// the keys it types, and a window of another program (process 4242) that is
// active and focused, as a window manager leaves the chat the user types in.
class X11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (auto [key, sym] : {std::pair{&control, XK_Control_L}, {&shift, XK_Shift_L}, {&alt, XK_Alt_L},
                                {&super, XK_Super_L}, {&v, XK_v}}) {
            *key = x.keycodeOf(sym);
            ASSERT_NE(*key, 0) << sym;
        }
        chat = x.createWindow(4242, "chat", "Chat");
        activate(chat);
    }

    void activate(std::uint32_t window)
    {
        x.setActiveWindow(window);
        x.focus(window);
    }

    void ctrlV() { x.chord({control, v}); }

    // Turns the Qt event loop until a Ctrl+V (V, or `vKey`, pressed with Control
    // alone) reaches a window of this client; the key events up to it are in `keys`.
    bool waitForCtrlV(std::uint8_t vKey = 0, std::chrono::milliseconds timeout = std::chrono::seconds(30))
    {
        keys.clear();
        return waitUntil(
            [&] {
                for (const X11Client::KeyEvent& e : x.takeKeyEvents()) {
                    keys.push_back(e);
                    if (e.press && e.keycode == (vKey ? vKey : v) && (e.state & 0x4d) == 0x4) // Shift, Control, Mod1, Mod4
                        return true;
                }
                return false;
            },
            timeout);
    }

    X11Client x;
    std::uint32_t chat = 0;
    std::uint8_t control = 0, shift = 0, alt = 0, super = 0, v = 0;
    std::vector<X11Client::KeyEvent> keys;
};

} // namespace tarnwick::test
