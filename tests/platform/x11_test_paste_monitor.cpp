#include "platform/PasteKeyboard.h"
#include "platform/PasteMonitor.h"
#include "platform/X11Connection.h"
#include "support/X11Client.h"
#include "support/Xvfb.h"

#include <QCoreApplication>
#include <QThread>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using tarnwick::platform::PasteKeyboard;
using tarnwick::platform::PasteMonitor;
using tarnwick::platform::PasteOutcome;
using tarnwick::platform::X11Connection;
using tarnwick::test::runProcess;
using tarnwick::test::waitUntil;
using tarnwick::test::X11Client;
using tarnwick::test::Xvfb;

namespace {

// A monitor on the test's display that counts the Ctrl+V it reports, plus the
// test's own client typing on the real keyboard through XTEST.
class PasteMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        monitor.setOnPaste([this] { ++pastes; });
        ASSERT_TRUE(monitor.start()) << monitor.errorText().toStdString();
        control = x.keycodeOf(XK_Control_L);
        shift = x.keycodeOf(XK_Shift_L);
        alt = x.keycodeOf(XK_Alt_L);
        super = x.keycodeOf(XK_Super_L);
        v = x.keycodeOf(XK_v);
        ASSERT_NE(v, 0);
        ASSERT_NE(control, 0);
    }

    void ctrlV() { x.chord({control, v}); }

    // Sends a plain Ctrl+V as a marker and returns how many reports came
    // before it. Reports arrive in the order of the keys, so once the marker's
    // has come every earlier one has too; the short settling time lets a
    // stray report after the marker show as well.
    int pastesBeforeMarker()
    {
        const int start = pastes;
        ctrlV();
        waitUntil([&] { return pastes > start; });
        waitUntil([] { return false; }, 300ms);
        return pastes - 1;
    }

    X11Client x;
    PasteMonitor monitor;
    int pastes = 0;
    std::uint8_t control = 0, shift = 0, alt = 0, super = 0, v = 0;
};

} // namespace

TEST_F(PasteMonitorTest, ReportsCtrlVOnceOnTheGuiThread)
{
    bool onGuiThread = false;
    monitor.setOnPaste([&] {
        ++pastes;
        onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    });
    ctrlV();
    ASSERT_TRUE(waitUntil([&] { return pastes == 1; }));
    EXPECT_TRUE(onGuiThread);
    EXPECT_TRUE(monitor.isMonitoring());
    ctrlV();
    ASSERT_TRUE(waitUntil([&] { return pastes == 2; }));
}

TEST_F(PasteMonitorTest, IgnoresOtherModifiersAndPlainV)
{
    x.chord({control, shift, v});
    x.chord({shift, control, v});
    x.chord({control, alt, v});
    x.chord({control, super, v});
    x.chord({v});
    x.chord({shift, v});
    // Control released before V is no longer held.
    x.press(control);
    x.release(control);
    x.chord({v});
    EXPECT_EQ(pastesBeforeMarker(), 0);
}

TEST_F(PasteMonitorTest, HeldVReportsOnlyItsFirstPress)
{
    x.press(control);
    x.press(v);
    // XTEST presses of a key that is down already arrive as repeats, and the
    // server's own auto-repeat starts after 660 ms.
    x.press(v);
    x.press(v);
    std::this_thread::sleep_for(900ms);
    x.release(v);
    x.release(control);
    EXPECT_EQ(pastesBeforeMarker(), 1);
}

TEST_F(PasteMonitorTest, CountsControlHeldBeforeTheStart)
{
    monitor.stop();
    x.press(control);
    ASSERT_TRUE(monitor.start());
    x.press(v);
    x.release(v);
    x.release(control);
    EXPECT_TRUE(waitUntil([&] { return pastes == 1; }));
}

TEST_F(PasteMonitorTest, IgnoresTheExpectedSyntheticPasteOnly)
{
    // A second monitor that expects nothing proves the paste was really typed.
    PasteMonitor witness;
    int witnessed = 0;
    witness.setOnPaste([&] { ++witnessed; });
    ASSERT_TRUE(witness.start());

    const std::uint32_t target = x.createWindow(4242, "chat", "Chat");
    x.setActiveWindow(target);
    X11Connection connection;
    PasteKeyboard keyboard(connection, &monitor);
    ASSERT_EQ(keyboard.paste(target), PasteOutcome::Posted);
    ASSERT_TRUE(waitUntil([&] { return witnessed == 1; }));
    EXPECT_EQ(pastesBeforeMarker(), 0);

    // The expectation is used up by the paste it was made for.
    ctrlV();
    EXPECT_TRUE(waitUntil([&] { return pastes == 2; }));
}

TEST_F(PasteMonitorTest, ExpectationExpiresAfterHalfASecond)
{
    monitor.expectSyntheticPaste();
    std::this_thread::sleep_for(PasteMonitor::syntheticPasteWindow + 100ms);
    ctrlV();
    EXPECT_TRUE(waitUntil([&] { return pastes == 1; }));
}

TEST_F(PasteMonitorTest, IgnoresCtrlVInWindowsOfThisProcess)
{
    const std::uint32_t own = x.createWindow(QCoreApplication::applicationPid(), "tarnwick", "Tarnwick");
    const std::uint32_t chat = x.createWindow(4242, "chat", "Chat");
    x.setActiveWindow(own);
    ctrlV();
    // The active window is read when the key event is judged, a moment after
    // the key; a user does not switch windows within it.
    waitUntil([] { return false; }, 200ms);
    x.setActiveWindow(chat);
    EXPECT_EQ(pastesBeforeMarker(), 0);

    monitor.setIgnoredProcess(std::nullopt);
    x.setActiveWindow(own);
    ctrlV();
    EXPECT_TRUE(waitUntil([&] { return pastes == 2; }));
}

TEST_F(PasteMonitorTest, WorksWithTheRussianGroupActive)
{
    ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ru")}), 0);
    x.lockGroup(1);
    ASSERT_EQ(x.lockedGroup(), 1);
    // The V key types Cyrillic "м" now; it is still the paste key.
    ctrlV();
    EXPECT_TRUE(waitUntil([&] { return pastes == 1; }));

    X11Connection connection;
    const std::uint32_t target = x.createWindow(4242, "chat", "Chat");
    x.setActiveWindow(target);
    x.focus(target);
    PasteKeyboard keyboard(connection);
    ASSERT_EQ(keyboard.paste(target), PasteOutcome::Posted);
    EXPECT_TRUE(waitUntil([&] { return pastes == 2; }));
}

TEST_F(PasteMonitorTest, FollowsALayoutChangeAfterTheStart)
{
    // In Dvorak "v" sits on the key that types "." in US.
    ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"),
                         {QStringLiteral("-layout"), QStringLiteral("us"), QStringLiteral("-variant"), QStringLiteral("dvorak")}),
              0);
    const std::uint8_t dvorakV = x.keycodeOf(XK_v);
    ASSERT_NE(dvorakV, 0);
    ASSERT_NE(dvorakV, v);
    x.chord({control, v}); // "k" now
    x.chord({control, dvorakV});
    EXPECT_TRUE(waitUntil([&] { return pastes == 1; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(pastes, 1);
}

TEST(PasteMonitorLifetime, AReportStillQueuedDiesWithTheMonitor)
{
    X11Client x;
    int pastes = 0;
    auto monitor = std::make_unique<PasteMonitor>();
    monitor->setOnPaste([&] { ++pastes; });
    ASSERT_TRUE(monitor->start());
    x.chord({x.keycodeOf(XK_Control_L), x.keycodeOf(XK_v)});
    // The report is queued for the GUI thread, which is busy here.
    std::this_thread::sleep_for(200ms);
    monitor.reset();
    waitUntil([] { return false; }, 200ms);
    EXPECT_EQ(pastes, 0);
}

TEST(PasteMonitorConnection, StartsAgainAfterTheServerWentAway)
{
    Xvfb server({}, Xvfb::Environment::LeaveDisplay);
    PasteMonitor monitor(server.display());
    int pastes = 0;
    monitor.setOnPaste([&] { ++pastes; });
    ASSERT_TRUE(monitor.start());

    server.restart();
    ASSERT_TRUE(waitUntil([&] { return !monitor.isMonitoring(); }));
    ASSERT_TRUE(monitor.start()) << monitor.errorText().toStdString();
    EXPECT_TRUE(monitor.isMonitoring());

    X11Client x(server.display());
    x.chord({x.keycodeOf(XK_Control_L), x.keycodeOf(XK_v)});
    EXPECT_TRUE(waitUntil([&] { return pastes == 1; }));
}

TEST(PasteMonitorConnection, ReportsAServerWithoutRecord)
{
    Xvfb server({QStringLiteral("-extension"), QStringLiteral("RECORD")}, Xvfb::Environment::LeaveDisplay);
    PasteMonitor monitor(server.display());
    EXPECT_FALSE(monitor.start());
    EXPECT_FALSE(monitor.isMonitoring());
    EXPECT_TRUE(monitor.errorText().contains(QStringLiteral("RECORD"))) << monitor.errorText().toStdString();
    // Asking again (the owner's timer does) stays a clean refusal.
    EXPECT_FALSE(monitor.start());
}

TEST(PasteMonitorConnection, ReportsAMissingServer)
{
    Xvfb server({}, Xvfb::Environment::LeaveDisplay);
    const QString display = server.display();
    server.stop();
    PasteMonitor monitor(display);
    EXPECT_FALSE(monitor.start());
    EXPECT_TRUE(monitor.errorText().contains(display)) << monitor.errorText().toStdString();
}

TEST(PasteMonitorConnection, ARefusedStartLeavesNothingOnTheServer)
{
    Xvfb server({QStringLiteral("-maxclients"), QStringLiteral("64")}, Xvfb::Environment::LeaveDisplay);
    std::vector<std::unique_ptr<X11Client>> clients;
    const auto connect = [&] {
        try {
            clients.push_back(std::make_unique<X11Client>(server.display()));
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    };
    // Learn how many clients the server takes, then leave one place free on a
    // fresh server: the monitor's first connection makes the RECORD context,
    // its second is refused.
    while (connect()) {
    }
    const std::size_t places = clients.size();
    clients.clear();
    server.restart();
    while (clients.size() + 1 < places)
        ASSERT_TRUE(connect());
    PasteMonitor monitor(server.display());
    EXPECT_FALSE(monitor.start());
    EXPECT_FALSE(monitor.isMonitoring());
    // The refused start gave its place back (its context goes with it).
    EXPECT_TRUE(waitUntil([&] { return connect(); }));
}
