#include "platform/ActiveWindow.h"
#include "platform/Capabilities.h"
#include "platform/PasteKeyboard.h"
#include "platform/X11Connection.h"
#include "support/X11Client.h"
#include "support/Xvfb.h"

#include <QCoreApplication>
#include <X11/keysym.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tarnwick::platform;
using tarnwick::test::X11Client;
using tarnwick::test::Xvfb;

namespace {

constexpr std::uint16_t controlMask = 4;

std::vector<X11Client::KeyEvent> pressesOf(const std::vector<X11Client::KeyEvent>& events)
{
    std::vector<X11Client::KeyEvent> presses;
    for (const auto& e : events) {
        if (e.press)
            presses.push_back(e);
    }
    return presses;
}

} // namespace

TEST(ActiveWindow, ReadsTheWindowItsProcessAndClass)
{
    X11Client x;
    X11Connection connection;
    EXPECT_FALSE(ActiveWindow::query(connection)) << "no window manager has set one yet";

    const std::uint32_t chat = x.createWindow(4242, "telegram-desktop", "TelegramDesktop");
    x.setActiveWindow(chat);
    auto active = ActiveWindow::query(connection);
    ASSERT_TRUE(active);
    EXPECT_EQ(active->window, chat);
    EXPECT_EQ(active->pid, 4242);
    EXPECT_EQ(active->wmInstance, QStringLiteral("telegram-desktop"));
    EXPECT_EQ(active->wmClass, QStringLiteral("TelegramDesktop"));
    EXPECT_FALSE(active->belongsToThisProcess());

    const std::uint32_t bare = x.createWindow();
    x.setActiveWindow(bare);
    active = ActiveWindow::query(connection);
    ASSERT_TRUE(active);
    EXPECT_EQ(active->window, bare);
    EXPECT_FALSE(active->pid);
    EXPECT_TRUE(active->wmClass.isEmpty());

    const std::uint32_t own = x.createWindow(QCoreApplication::applicationPid());
    x.setActiveWindow(own);
    active = ActiveWindow::query(connection);
    ASSERT_TRUE(active);
    EXPECT_TRUE(active->belongsToThisProcess());
}

TEST(ActiveWindow, IsNothingForNoneOrAVanishedWindow)
{
    X11Client x;
    X11Connection connection;
    x.setActiveWindow(0);
    EXPECT_FALSE(ActiveWindow::query(connection));

    const std::uint32_t gone = x.createWindow(4242);
    x.setActiveWindow(gone);
    x.destroyWindow(gone);
    EXPECT_FALSE(ActiveWindow::query(connection));
}

TEST(ActiveWindow, ActivationGoesToTheWindowManagerAsAUserRequest)
{
    X11Client x;
    const std::uint32_t chat = x.createWindow(4242);
    const std::uint32_t other = x.createWindow(4343);
    x.setActiveWindow(other);
    x.becomeWindowManager();
    X11Connection connection;
    ASSERT_TRUE(activateWindow(connection, chat));
    auto request = x.activationRequest(2s);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->window, chat);
    EXPECT_EQ(request->source, 2u);
    EXPECT_FALSE(activateWindow(connection, 0));
    EXPECT_FALSE(x.activationRequest(200ms));
}

TEST(PasteKeyboard, TypesCtrlVIntoTheActiveWindow)
{
    X11Client x;
    const std::uint32_t chat = x.createWindow(4242);
    x.setActiveWindow(chat);
    x.focus(chat);
    X11Connection connection;
    PasteKeyboard keyboard(connection);
    ASSERT_EQ(keyboard.paste(chat), PasteOutcome::Posted);

    const auto events = x.keyEvents(300ms);
    const auto presses = pressesOf(events);
    ASSERT_EQ(presses.size(), 2u);
    EXPECT_EQ(presses[0].keycode, x.keycodeOf(XK_Control_L));
    EXPECT_EQ(presses[1].keycode, x.keycodeOf(XK_v));
    EXPECT_TRUE(presses[1].state & controlMask);
    EXPECT_EQ(events.size(), 4u) << "every key is released again";
}

TEST(PasteKeyboard, RefusesWhenTheTargetIsNoLongerActive)
{
    X11Client x;
    const std::uint32_t chat = x.createWindow(4242);
    const std::uint32_t other = x.createWindow(4343);
    x.setActiveWindow(other);
    x.focus(other);
    X11Connection connection;
    PasteKeyboard keyboard(connection);
    EXPECT_EQ(keyboard.paste(chat), PasteOutcome::TargetNotActive);
    x.removeActiveWindow();
    EXPECT_EQ(keyboard.paste(chat), PasteOutcome::TargetNotActive);
    EXPECT_TRUE(x.keyEvents(200ms).empty());
}

TEST(PasteKeyboard, RefusesWhileTheUserHoldsAModifier)
{
    X11Client x;
    const std::uint32_t chat = x.createWindow(4242);
    x.setActiveWindow(chat);
    X11Connection connection;
    PasteKeyboard keyboard(connection);
    for (std::uint32_t sym : {XK_Shift_L, XK_Alt_L, XK_Super_L, XK_Control_R}) {
        const std::uint8_t key = x.keycodeOf(sym);
        ASSERT_NE(key, 0);
        x.press(key);
        EXPECT_EQ(keyboard.paste(chat), PasteOutcome::ModifiersHeld) << sym;
        x.release(key);
    }
    // Caps Lock is no modifier the receiver would combine with Ctrl+V.
    const std::uint8_t caps = x.keycodeOf(XK_Caps_Lock);
    x.press(caps);
    EXPECT_EQ(keyboard.paste(chat), PasteOutcome::Posted);
    x.release(caps);
}

TEST(Capabilities, AllPresentOnAFullServer)
{
    X11Connection connection;
    const Capabilities caps = checkCapabilities(connection);
    EXPECT_TRUE(caps.screen);
    EXPECT_TRUE(caps.inputMonitoring);
    EXPECT_TRUE(caps.accessibility);
    EXPECT_TRUE(caps.all());
}

TEST(Capabilities, ServerWithoutRecordAndXTest)
{
    // The X server switches RECORD and XTEST on and off together: either
    // "-extension" argument removes both.
    for (const char* extension : {"RECORD", "XTEST"}) {
        Xvfb server({QStringLiteral("-extension"), QString::fromLatin1(extension)}, Xvfb::Environment::LeaveDisplay);
        X11Connection connection(server.display());
        const Capabilities caps = checkCapabilities(connection);
        EXPECT_TRUE(caps.screen) << extension;
        EXPECT_FALSE(caps.inputMonitoring) << extension;
        EXPECT_FALSE(caps.accessibility) << extension;

        X11Client x(server.display());
        const std::uint32_t chat = x.createWindow(4242);
        x.setActiveWindow(chat);
        PasteKeyboard keyboard(connection);
        EXPECT_EQ(keyboard.paste(chat), PasteOutcome::NoXTest) << extension;
    }
}

TEST(Capabilities, NoneWithoutAServer)
{
    Xvfb server({}, Xvfb::Environment::LeaveDisplay);
    X11Connection connection(server.display());
    ASSERT_TRUE(connection.connect());
    server.stop();
    EXPECT_FALSE(connection.connect());
    EXPECT_TRUE(connection.errorText().contains(server.display())) << connection.errorText().toStdString();
    EXPECT_FALSE(checkCapabilities(connection).screen);
    EXPECT_FALSE(ActiveWindow::query(connection));
    PasteKeyboard keyboard(connection);
    EXPECT_EQ(keyboard.paste(1), PasteOutcome::NoConnection);
    EXPECT_FALSE(activateWindow(connection, 1));

    // The same connection object finds a server that comes back.
    server.restart();
    EXPECT_TRUE(connection.connect());
    EXPECT_TRUE(checkCapabilities(connection).all());
}
