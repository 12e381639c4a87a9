#include "platform/ScreenGrabber.h"
#include "platform/TarnwickError.h"
#include "support/X11Client.h"
#include "support/Xvfb.h"

#include <gtest/gtest.h>

using namespace tarnwick::platform;
using tarnwick::TarnwickError;
using tarnwick::test::X11Client;
using tarnwick::test::Xvfb;


TEST(ScreenGrabber, SharedMemoryAndGetImageGiveTheSameOpaquePixels)
{
    X11Client x;
    const QRect area(1700, 50, 300, 200); // runs past the right edge of the 1920 pixel screen
    const auto noise = x.paintNoise(x.root(), area.x(), area.y(), area.width(), area.height(), 7);
    const QImage expected =
        QImage(reinterpret_cast<const uchar*>(noise.data()), 300, 200, QImage::Format_RGB32).copy(0, 0, 220, 200);

    for (GrabTransport transport : {GrabTransport::Automatic, GrabTransport::PlainGetImage}) {
        auto grabber = makeScreenGrabber({}, transport);
        EXPECT_EQ(grabber->screenRect(), QRect(0, 0, 1920, 1080));
        const QImage shot = grabber->grab(area);
        EXPECT_EQ(grabber->usedSharedMemory(), transport == GrabTransport::Automatic);
        EXPECT_EQ(shot, expected);
        // The reused segment must not hand back a previous, larger grab.
        EXPECT_EQ(grabber->grab(QRect(1700, 60, 10, 10)), expected.copy(0, 10, 10, 10));
        EXPECT_THROW(grabber->grab(QRect(2000, 0, 10, 10)), TarnwickError);
    }
}

TEST(ScreenGrabber, ALostServerIsAnErrorAndTheNextServerIsGrabbedAgain)
{
    Xvfb other({}, Xvfb::Environment::LeaveDisplay);
    auto grabber = makeScreenGrabber(other.display());
    EXPECT_EQ(grabber->grab(QRect(0, 0, 4, 4)).size(), QSize(4, 4));
    other.restart();
    try {
        grabber->grab(QRect(0, 0, 4, 4));
        FAIL() << "a grab over a broken connection succeeded";
    } catch (const TarnwickError& e) {
        EXPECT_TRUE(e.errorDescription().contains(QStringLiteral("потеряна"))) << e.what();
    }
    EXPECT_EQ(grabber->grab(QRect(0, 0, 4, 4)).size(), QSize(4, 4));
}

TEST(ScreenGrabber, WaylandGetsTheNullBackendThatSaysWhy)
{
    qputenv("XDG_SESSION_TYPE", "wayland");
    auto grabber = makeScreenGrabber();
    qunsetenv("XDG_SESSION_TYPE");
    EXPECT_TRUE(grabber->unavailableReason().contains(QStringLiteral("Wayland")));
    EXPECT_THROW(grabber->grab(QRect(0, 0, 4, 4)), TarnwickError);
}
