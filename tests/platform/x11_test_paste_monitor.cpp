#include "platform/PasteKeyboard.h"
#include "platform/PasteMonitor.h"
#include "platform/X11Connection.h"
#include "support/X11Test.h"
#include "support/Xvfb.h"

#include <QCoreApplication>
#include <QThread>
#include <thread>

using namespace std::chrono_literals;
using namespace tarnwick::platform;
using namespace tarnwick::test;

namespace {

// A monitor on the test's display that counts the Ctrl+V it reports.
class PasteMonitorTest : public X11Test {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        monitor.setOnPaste([this] {
            ++pastes;
            onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        });
        ASSERT_TRUE(monitor.start()) << monitor.errorText().toStdString();
    }

    // Types Ctrl+V as a marker and returns how many reports came before it,
    // `expected` if all is well. Reports come in the order of the keys, and
    // the recording has the marker once it has reached the chat.
    int pastesBeforeMarker(int expected, std::uint8_t vKey = 0)
    {
        x.takeKeyEvents();
        x.chord({control, vKey ? vKey : v});
        EXPECT_TRUE(waitForCtrlV(vKey));
        EXPECT_TRUE(waitUntil([&] { return pastes > expected; }));
        return pastes - 1;
    }

    void setLayout(const QStringList& args) { ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), args), 0); }

    PasteMonitor monitor;
    int pastes = 0;
    bool onGuiThread = false;
};

} // namespace

TEST_F(PasteMonitorTest, ReportsEachCtrlVOnceOnTheGuiThread)
{
    ctrlV();
    ASSERT_TRUE(waitUntil([&] { return pastes == 1; }));
    EXPECT_TRUE(onGuiThread);
    EXPECT_TRUE(monitor.isMonitoring());
    // Other modifiers, V alone, Control released before V: no paste.
    const std::vector<std::uint8_t> chords[] = {{control, shift, v}, {shift, control, v}, {control, alt, v},
                                                {control, super, v}, {v}, {shift, v}, {control}, {v}};
    for (const auto& chord : chords)
        x.chord(chord);
    // A V held down (XTEST presses of a key that is down arrive as repeats) reports its first press only.
    x.press(control);
    x.press(v);
    x.press(v);
    x.press(v);
    x.release(v);
    x.release(control);
    EXPECT_EQ(pastesBeforeMarker(2), 2);
}

TEST_F(PasteMonitorTest, CountsControlHeldBeforeTheStart)
{
    monitor.stop();
    x.press(control);
    ASSERT_TRUE(monitor.start());
    x.chord({v});
    x.release(control);
    EXPECT_TRUE(waitUntil([&] { return pastes == 1; }));
}

TEST_F(PasteMonitorTest, IgnoresTheExpectedSyntheticPasteOnlyWithinItsWindow)
{
    // A second monitor that expects nothing proves the paste was really typed.
    PasteMonitor witness;
    int witnessed = 0;
    witness.setOnPaste([&] { ++witnessed; });
    ASSERT_TRUE(witness.start());
    X11Connection connection;
    PasteKeyboard keyboard(connection, &monitor);
    ASSERT_EQ(keyboard.paste(chat), PasteOutcome::Posted);
    ASSERT_TRUE(waitUntil([&] { return witnessed == 1; }));
    // The expectation is used up by the paste it was made for.
    EXPECT_EQ(pastesBeforeMarker(0), 0);

    monitor.expectSyntheticPaste();
    std::this_thread::sleep_for(PasteMonitor::syntheticPasteWindow + 100ms);
    EXPECT_EQ(pastesBeforeMarker(1), 1) << "the expectation has expired";
}

TEST_F(PasteMonitorTest, IgnoresCtrlVInWindowsOfThisProcess)
{
    const std::uint32_t own = x.createWindow(QCoreApplication::applicationPid(), "tarnwick", "Tarnwick");
    activate(own);
    const int judged = monitor.pastesJudged();
    ctrlV();
    // The active window is read when the key is judged, a moment after the
    // key; a user does not switch windows within it.
    ASSERT_TRUE(waitUntil([&] { return monitor.pastesJudged() > judged; }));
    activate(chat);
    EXPECT_EQ(pastesBeforeMarker(0), 0);

    monitor.setIgnoredProcess(std::nullopt);
    activate(own);
    ctrlV();
    EXPECT_TRUE(waitUntil([&] { return pastes == 2; }));
}

TEST_F(PasteMonitorTest, FollowsTheLayoutTheRussianGroupIncluded)
{
    // In Dvorak "v" sits on the key that types "." in US.
    setLayout({QStringLiteral("-layout"), QStringLiteral("us"), QStringLiteral("-variant"), QStringLiteral("dvorak")});
    const std::uint8_t dvorakV = x.keycodeOf(XK_v);
    ASSERT_NE(dvorakV, v);
    x.chord({control, v}); // "k" now
    x.chord({control, dvorakV});
    EXPECT_EQ(pastesBeforeMarker(1, dvorakV), 1);

    // With the Russian group locked the V key types "м"; it is still the paste key.
    setLayout({QStringLiteral("-layout"), QStringLiteral("us,ru")});
    x.lockGroup(1);
    ASSERT_EQ(x.lockedGroup(), 1);
    ctrlV();
    EXPECT_TRUE(waitUntil([&] { return pastes == 3; }));
    X11Connection connection;
    ASSERT_EQ(PasteKeyboard(connection).paste(chat), PasteOutcome::Posted);
    EXPECT_TRUE(waitUntil([&] { return pastes == 4; }));
}

TEST_F(PasteMonitorTest, AReportStillQueuedDiesWithTheMonitor)
{
    auto late = std::make_unique<PasteMonitor>();
    int reported = 0;
    late->setOnPaste([&] { ++reported; });
    ASSERT_TRUE(late->start());
    ctrlV();
    // Only the fixture's monitor gets its report delivered: once it has, the
    // other's waits in the queue of the GUI thread as well.
    for (const auto deadline = std::chrono::steady_clock::now() + 30s; pastes == 0 && std::chrono::steady_clock::now() < deadline;)
        QCoreApplication::sendPostedEvents(&monitor, QEvent::MetaCall);
    ASSERT_EQ(pastes, 1);
    late.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(reported, 0);
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
    X11Client x(server.display());
    x.chord({x.keycodeOf(XK_Control_L), x.keycodeOf(XK_v)});
    EXPECT_TRUE(waitUntil([&] { return pastes == 1; }));
}

TEST(PasteMonitorConnection, RefusalsSayWhyAndLeaveNothingOnTheServer)
{
    Xvfb bare({QStringLiteral("-extension"), QStringLiteral("RECORD")}, Xvfb::Environment::LeaveDisplay);
    PasteMonitor without(bare.display());
    // Asking again (the owner's timer does) stays a clean refusal.
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(without.start());
        EXPECT_FALSE(without.isMonitoring());
        EXPECT_TRUE(without.errorText().contains(QStringLiteral("RECORD"))) << without.errorText().toStdString();
    }
    bare.stop();
    EXPECT_FALSE(without.start());
    EXPECT_TRUE(without.errorText().contains(bare.display())) << without.errorText().toStdString();

    // A server with one place left: the monitor's first connection makes the
    // RECORD context, its second is refused. The place must come back.
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
    while (connect()) {
    }
    const std::size_t places = clients.size();
    clients.clear();
    server.restart(); // no connection of ours is closing any more
    while (clients.size() + 1 < places)
        ASSERT_TRUE(connect());
    PasteMonitor monitor(server.display());
    EXPECT_FALSE(monitor.start());
    EXPECT_TRUE(waitUntil([&] { return connect(); }));
}
