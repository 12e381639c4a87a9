#include "platform/ScreenGrabber.h"
#include "platform/TarnwickError.h"
#include "support/X11Client.h"
#include "support/Xvfb.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tarnwick::platform;
using tarnwick::TarnwickError;
using tarnwick::test::X11Client;
using tarnwick::test::Xvfb;

namespace {

// Noise with a junk top byte, which the server keeps in no defined way.
QImage paintNoise(X11Client& x, const QRect& r)
{
    QImage pattern(r.size(), QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < pattern.height(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(pattern.scanLine(y));
        for (int i = 0; i < pattern.width(); ++i)
            line[i] = random.generate();
    }
    x.putPixels(x.root(), r.x(), r.y(), r.width(), r.height(), reinterpret_cast<const std::uint32_t*>(pattern.bits()));
    for (int y = 0; y < pattern.height(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(pattern.scanLine(y));
        for (int i = 0; i < pattern.width(); ++i)
            line[i] |= 0xff000000u;
    }
    return pattern;
}

} // namespace

TEST(ScreenGrabber, SharedMemoryAndGetImageGiveTheSameOpaquePixels)
{
    X11Client x;
    const QRect area(1700, 50, 300, 200); // runs past the right edge of the 1920 pixel screen
    const QImage expected = paintNoise(x, area).copy(0, 0, 220, 200);

    for (GrabTransport transport : {GrabTransport::Automatic, GrabTransport::PlainGetImage}) {
        auto grabber = makeScreenGrabber({}, transport);
        EXPECT_TRUE(grabber->unavailableReason().isEmpty());
        EXPECT_EQ(grabber->screenRect(), QRect(0, 0, 1920, 1080));
        const QImage shot = grabber->grab(area);
        EXPECT_EQ(grabber->usedSharedMemory(), transport == GrabTransport::Automatic);
        EXPECT_EQ(shot.format(), QImage::Format_RGB32);
        EXPECT_EQ(shot, expected);
        // The reused segment must not hand back a previous, larger grab.
        EXPECT_EQ(grabber->grab(QRect(1700, 60, 10, 10)), expected.copy(0, 10, 10, 10));
        EXPECT_THROW(grabber->grab(QRect(2000, 0, 10, 10)), TarnwickError);

        const auto monitors = grabber->monitors();
        ASSERT_FALSE(monitors.empty());
        EXPECT_EQ(monitors.front().geometry, QRect(0, 0, 1920, 1080));
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
    EXPECT_THROW(grabber->monitors(), TarnwickError);
}
