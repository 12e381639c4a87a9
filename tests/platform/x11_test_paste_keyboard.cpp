#include "platform/ActiveWindow.h"
#include "platform/Capabilities.h"
#include "platform/PasteKeyboard.h"
#include "platform/X11Connection.h"
#include "support/X11Test.h"
#include "support/Xvfb.h"

#include <QCoreApplication>

using namespace std::chrono_literals;
using namespace tarnwick::platform;
using namespace tarnwick::test;

using ActiveWindowTest = X11Test;
using PasteKeyboardTest = X11Test;

TEST_F(ActiveWindowTest, ReadsTheWindowItsProcessAndClassOrNothing)
{
    X11Connection connection;
    auto active = ActiveWindow::query(connection);
    ASSERT_TRUE(active);
    EXPECT_EQ(active->window, chat);
    EXPECT_EQ(active->pid, 4242);
    EXPECT_EQ(active->wmInstance, QStringLiteral("chat"));
    EXPECT_EQ(active->wmClass, QStringLiteral("Chat"));
    EXPECT_FALSE(active->belongsToThisProcess());

    const std::uint32_t bare = x.createWindow();
    activate(bare);
    active = ActiveWindow::query(connection);
    ASSERT_TRUE(active);
    EXPECT_EQ(active->window, bare);
    EXPECT_FALSE(active->pid);
    EXPECT_TRUE(active->wmClass.isEmpty());

    activate(x.createWindow(QCoreApplication::applicationPid()));
    EXPECT_TRUE(ActiveWindow::query(connection)->belongsToThisProcess());

    x.destroyWindow(bare);
    x.setActiveWindow(bare); // vanished
    EXPECT_FALSE(ActiveWindow::query(connection));
    x.setActiveWindow(0);
    EXPECT_FALSE(ActiveWindow::query(connection));
    x.removeActiveWindow();
    EXPECT_FALSE(ActiveWindow::query(connection));
}

TEST_F(ActiveWindowTest, ActivationGoesToTheWindowManagerAsAUserRequest)
{
    activate(x.createWindow(4343));
    x.becomeWindowManager();
    X11Connection connection;
    ASSERT_TRUE(activateWindow(connection, chat));
    auto request = x.activationRequest(2s);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->window, chat);
    EXPECT_EQ(request->source, 2u);
    EXPECT_FALSE(activateWindow(connection, 0));
}

TEST_F(PasteKeyboardTest, TypesCtrlVOnlyIntoTheStillActiveWindowWithNoModifierHeld)
{
    X11Connection connection;
    PasteKeyboard keyboard(connection);
    // Refusals first: the key events of the paste that follows show they sent nothing.
    for (std::uint32_t sym : {XK_Shift_L, XK_Alt_L, XK_Super_L, XK_Control_R}) {
        x.press(x.keycodeOf(sym));
        EXPECT_EQ(keyboard.paste(chat), PasteOutcome::ModifiersHeld) << sym;
        x.release(x.keycodeOf(sym));
    }
    x.setActiveWindow(x.createWindow(4343));
    EXPECT_EQ(keyboard.paste(chat), PasteOutcome::TargetNotActive);
    x.removeActiveWindow();
    EXPECT_EQ(keyboard.paste(chat), PasteOutcome::TargetNotActive);

    // Caps Lock is no modifier the receiver would combine with Ctrl+V.
    activate(chat);
    const std::uint8_t caps = x.keycodeOf(XK_Caps_Lock), marker = x.keycodeOf(XK_a);
    x.press(caps);
    ASSERT_EQ(keyboard.paste(chat), PasteOutcome::Posted);
    x.release(caps);
    x.chord({marker});
    std::vector<X11Client::KeyEvent> events; // the keys of ours, less the test's own
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& e : x.takeKeyEvents()) {
            if (e.keycode == marker)
                return true;
            if (e.keycode == control || e.keycode == v)
                events.push_back(e);
        }
        return false;
    }));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_TRUE(events[0].press && events[0].keycode == control);
    EXPECT_TRUE(events[1].press && events[1].keycode == v && (events[1].state & 4));
    EXPECT_FALSE(events[2].press || events[3].press) << "every key is released again";
}

TEST(Capabilities, ServerWithoutRecordAndXTest)
{
    // Xvfb switches RECORD and XTEST off together.
    Xvfb server({QStringLiteral("-extension"), QStringLiteral("RECORD")}, Xvfb::Environment::LeaveDisplay);
    X11Connection connection(server.display());
    const Capabilities caps = checkCapabilities(connection);
    EXPECT_TRUE(caps.screen);
    EXPECT_FALSE(caps.record);
    EXPECT_FALSE(caps.xtest);
    X11Client x(server.display());
    const std::uint32_t chat = x.createWindow(4242);
    x.setActiveWindow(chat);
    EXPECT_EQ(PasteKeyboard(connection).paste(chat), PasteOutcome::NoXTest);
}

TEST(Capabilities, NoneWithoutAServerAllOnceItIsBack)
{
    Xvfb server({}, Xvfb::Environment::LeaveDisplay);
    X11Connection connection(server.display());
    ASSERT_TRUE(connection.connect());
    server.stop();
    EXPECT_FALSE(connection.connect());
    EXPECT_TRUE(connection.errorText().contains(server.display())) << connection.errorText().toStdString();
    EXPECT_FALSE(checkCapabilities(connection).screen);
    EXPECT_FALSE(ActiveWindow::query(connection));
    EXPECT_EQ(PasteKeyboard(connection).paste(1), PasteOutcome::NoConnection);
    EXPECT_FALSE(activateWindow(connection, 1));

    // The same connection object finds a server that comes back.
    server.restart();
    EXPECT_TRUE(connection.connect());
    EXPECT_TRUE(checkCapabilities(connection).all());
}
