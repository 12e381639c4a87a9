#include "app/GlobalCaptureShortcut.h"
#include "support/X11Client.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <gtest/gtest.h>
#include <atomic>
#include <cstdlib>
#include <thread>

using tarnwick::GlobalCaptureShortcut;
using tarnwick::test::runProcess;
using tarnwick::test::waitUntil;
using tarnwick::test::X11Client;

namespace {

// The three capture keys on the real server, typed through XTEST by a second client.
class HotKeyTest : public ::testing::Test {
protected:
    void watch(GlobalCaptureShortcut& shortcut)
    {
        shortcut.action = [this] { fired += 'a'; };
        shortcut.textAction = [this] { fired += 't'; };
        shortcut.windowAction = [this] { fired += 'w'; };
    }

    // Types the three chords and a closing Ctrl+2; what fired before that
    // marker is the answer, since presses are reported in order.
    std::string typeAll(std::size_t expected = 3)
    {
        fired.clear();
        x.chord({control, two});
        x.chord({control, shift, zero});
        x.chord({control, shift, space});
        x.chord({control, two});
        waitUntil([&] { return fired.size() >= expected + 1; });
        return fired.substr(0, fired.size() - 1);
    }

    bool grabbedByClient(std::uint8_t keycode, std::uint16_t modifiers)
    {
        xcb_generic_error_t* error = xcb_request_check(
            x.connection(), xcb_grab_key_checked(x.connection(), 1, x.root(), modifiers, keycode,
                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }

    X11Client x;
    std::string fired;
    const std::uint8_t control = x.keycodeOf(XK_Control_L), shift = x.keycodeOf(XK_Shift_L), two = x.keycodeOf(XK_2),
                       zero = x.keycodeOf(XK_0), space = x.keycodeOf(XK_space);
};

TEST_F(HotKeyTest, FireWithEveryLockKeyAndTheRussianGroup)
{
    GlobalCaptureShortcut shortcut(true);
    watch(shortcut);
    ASSERT_TRUE(shortcut.captureRegistered() && shortcut.textRegistered() && shortcut.windowRegistered())
        << shortcut.failures().join(' ').toStdString();
    EXPECT_EQ(typeAll(), "atw");

    const std::uint8_t capsLock = x.keycodeOf(XK_Caps_Lock), numLock = x.keycodeOf(XK_Num_Lock);
    x.chord({capsLock});
    EXPECT_EQ(typeAll(), "atw") << "CapsLock";
    x.chord({numLock});
    EXPECT_EQ(typeAll(), "atw") << "CapsLock and NumLock";
    x.chord({capsLock});
    EXPECT_EQ(typeAll(), "atw") << "NumLock";
    x.chord({numLock});

    ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ru")}), 0);
    x.lockGroup(1);
    ASSERT_EQ(x.lockedGroup(), 1);
    EXPECT_EQ(typeAll(), "atw") << "Russian group";
}

TEST_F(HotKeyTest, AKeyTakenByAnotherClientFailsAloneAndReleasedKeysCanBeTaken)
{
    const std::uint16_t ctrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
    ASSERT_TRUE(grabbedByClient(zero, ctrlShift));
    x.sync();
    {
        GlobalCaptureShortcut shortcut(true);
        watch(shortcut);
        EXPECT_TRUE(shortcut.captureRegistered());
        EXPECT_FALSE(shortcut.textRegistered());
        EXPECT_TRUE(shortcut.windowRegistered());
        EXPECT_EQ(shortcut.failures(), QStringList{QStringLiteral("Сочетание Ctrl+Shift+0 уже занято другой программой.")});
        EXPECT_EQ(typeAll(2), "aw");
        // Our own grab on Ctrl+2 keeps the other client out while we hold it.
        EXPECT_FALSE(grabbedByClient(two, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK));
    }
    EXPECT_TRUE(grabbedByClient(two, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK));
    EXPECT_TRUE(grabbedByClient(space, ctrlShift | XCB_MOD_MASK_2));
}

TEST_F(HotKeyTest, FollowTheKeyToItsNewKeyCodeAfterAMappingChange)
{
    GlobalCaptureShortcut shortcut(true);
    watch(shortcut);
    ASSERT_TRUE(shortcut.captureRegistered());
    // "2" moves from its key to F12's key.
    const std::uint8_t f12 = x.keycodeOf(XK_F12);
    ASSERT_NE(f12, 0);
    const xcb_keysym_t two_syms[] = {XK_2, XK_at}, f12_syms[] = {XK_F12, XK_F12};
    xcb_change_keyboard_mapping(x.connection(), 1, two, 2, f12_syms);
    xcb_change_keyboard_mapping(x.connection(), 1, f12, 2, two_syms);
    x.sync();
    EXPECT_TRUE(waitUntil([&] {
        x.chord({control, f12});
        return fired.find('a') != std::string::npos;
    }));
    // Presses of the loop above may still be on their way: let them in first.
    x.chord({control, shift, space});
    ASSERT_TRUE(waitUntil([&] { return fired.back() == 'w'; }));
    fired.clear();
    x.chord({control, two});
    x.chord({control, shift, zero});
    EXPECT_TRUE(waitUntil([&] { return !fired.empty(); }));
    EXPECT_EQ(fired, "t") << "the old key code is no longer ours";
}

TEST_F(HotKeyTest, WaylandSessionHasNoHotKeysAndSaysSo)
{
    qputenv("XDG_SESSION_TYPE", "wayland");
    GlobalCaptureShortcut shortcut(true);
    qunsetenv("XDG_SESSION_TYPE");
    EXPECT_FALSE(shortcut.captureRegistered() || shortcut.textRegistered() || shortcut.windowRegistered());
    EXPECT_EQ(shortcut.failures(),
              QStringList{QStringLiteral("В сеансе Wayland глобальные сочетания клавиш не работают: пользуйтесь меню Tarnwick.")});
    EXPECT_TRUE(grabbedByClient(two, XCB_MOD_MASK_CONTROL));
}

} // namespace

// The server tells of a new keyboard also when the user only types on another one with the same
// keys (a second keyboard, a tool typing through XTEST). Our keys must not be let go meanwhile:
// a hot key pressed then was lost, and another program could take it for good.
TEST_F(HotKeyTest, AKeyboardWithTheSameKeysNeverLetsOurKeysGo)
{
    GlobalCaptureShortcut shortcut(true);
    watch(shortcut);
    ASSERT_TRUE(shortcut.textRegistered());
    const std::uint16_t ctrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;

    // Another program asks for Ctrl+Shift+0 as often as it can.
    std::atomic<int> taken = 0;
    std::jthread other([&](std::stop_token stop) {
        X11Client rival;
        while (!stop.stop_requested()) {
            xcb_generic_error_t* error = xcb_request_check(
                rival.connection(), xcb_grab_key_checked(rival.connection(), 1, rival.root(), ctrlShift, zero,
                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            if (!error) {
                ++taken;
                xcb_ungrab_key(rival.connection(), zero, rival.root(), ctrlShift);
                rival.sync();
            }
            std::free(error);
        }
    });

    // The same keys written again: what the server sends when another keyboard types.
    const std::uint8_t f12 = x.keycodeOf(XK_F12);
    ASSERT_NE(f12, 0);
    const xcb_keysym_t f12Syms[] = {XK_F12, XK_F12};
    for (int round = 0; round < 30; ++round) {
        xcb_change_keyboard_mapping(x.connection(), 1, f12, 2, f12Syms);
        x.sync();
        fired.clear();
        x.chord({control, shift, zero});
        ASSERT_TRUE(waitUntil([&] { return !fired.empty(); })) << "round " << round;
        EXPECT_EQ(fired, "t") << "round " << round;
    }
    other.request_stop();
    other.join();
    EXPECT_EQ(taken, 0) << "another program took our key while the keyboard changed";
}
