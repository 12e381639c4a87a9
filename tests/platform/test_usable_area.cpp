#include "platform/UsableArea.h"

#include <gtest/gtest.h>

using tarnwick::platform::Strut;
using tarnwick::platform::usableArea;

namespace {

Strut bottom(int height, int fromX, int toX)
{
    Strut s;
    s.bottom = height;
    s.bottomStartX = fromX;
    s.bottomEndX = toX;
    return s;
}

Strut right(int width, int fromY, int toY)
{
    Strut s;
    s.right = width;
    s.rightStartY = fromY;
    s.rightEndY = toY;
    return s;
}

Strut top(int height, int fromX, int toX)
{
    Strut s;
    s.top = height;
    s.topStartX = fromX;
    s.topEndX = toX;
    return s;
}

Strut left(int width, int fromY, int toY)
{
    Strut s;
    s.left = width;
    s.leftStartY = fromY;
    s.leftEndY = toY;
    return s;
}

const QSize wide(3840, 1080);
const QRect a(0, 0, 1920, 1080), b(1920, 0, 1920, 1080);

} // namespace

TEST(UsableArea, OneMonitorIsItsPartOfTheWorkArea)
{
    EXPECT_EQ(usableArea(QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1048), {bottom(32, 0, 1919)}, {1920, 1080}),
              QRect(0, 0, 1920, 1048));
    EXPECT_EQ(usableArea(QRect(0, 0, 1920, 1080), std::nullopt, {}, {1920, 1080}), QRect(0, 0, 1920, 1080));
    // The window manager's margins show only in its work area.
    EXPECT_EQ(usableArea(QRect(0, 0, 1920, 1080), QRect(10, 10, 1900, 1060), {}, {1920, 1080}), QRect(10, 10, 1900, 1060));
}

TEST(UsableArea, EachMonitorOfASplitDeskLosesOnlyWhatLiesOnIt)
{
    // One work area for the whole desk, as openbox writes it, cut by a dock along both bottoms.
    const QRect workArea(0, 0, 3840, 1048);
    EXPECT_EQ(usableArea(a, workArea, {bottom(32, 0, 3839)}, wide), QRect(0, 0, 1920, 1048));
    EXPECT_EQ(usableArea(b, workArea, {bottom(32, 0, 3839)}, wide), QRect(1920, 0, 1920, 1048));

    // No work area (a window manager that writes none): the struts alone, each on its monitor.
    const std::vector<Strut> docks{bottom(32, 0, 1919), right(48, 0, 1079), top(24, 2000, 2999), left(40, 100, 900)};
    EXPECT_EQ(usableArea(a, std::nullopt, docks, wide), QRect(40, 0, 1880, 1048));
    EXPECT_EQ(usableArea(b, std::nullopt, docks, wide), QRect(1920, 24, 1872, 1056));
}

TEST(UsableArea, AStrutFromTheFarEdgeOfTheRootCutsOnlyTheMonitorItEndsOn)
{
    // A dock on the right edge of A, between the monitors: its strut runs across all of B.
    const Strut between = right(1920 + 48, 0, 1079);
    EXPECT_EQ(usableArea(a, std::nullopt, {between}, wide), QRect(0, 0, 1872, 1080));
    EXPECT_EQ(usableArea(b, std::nullopt, {between}, wide), b);
    // Its work area leaves nothing of B: B keeps its whole self rather than nothing.
    EXPECT_EQ(usableArea(b, QRect(0, 0, 1872, 1080), {between}, wide), b);
    EXPECT_EQ(usableArea(a, QRect(0, 0, 1872, 1080), {between}, wide), QRect(0, 0, 1872, 1080));

    // A shorter monitor beside a taller one: a dock at its bottom is measured from the root's.
    const QRect small(1920, 0, 1280, 1024);
    const QSize root(3200, 1080);
    const Strut onSmall = bottom(1080 - 1024 + 30, 1920, 3199);
    EXPECT_EQ(usableArea(small, std::nullopt, {onSmall}, root), QRect(1920, 0, 1280, 994));
    EXPECT_EQ(usableArea(a, std::nullopt, {onSmall}, root), a);
}

TEST(UsableArea, StrutsThatDoNotReachIntoTheMonitorLeaveItWhole)
{
    // Empty struts, a strut the work area already took, a stretch beside the monitor.
    const std::vector<Strut> none{Strut{}, bottom(32, 0, 3839), bottom(50, 100, 200)};
    EXPECT_EQ(usableArea(b, QRect(0, 0, 3840, 1048), none, wide), QRect(1920, 0, 1920, 1048));
    // A strut as deep as the monitor would leave nothing: it is not a dock on it.
    EXPECT_EQ(usableArea(a, std::nullopt, {top(1080, 0, 1919)}, wide), a);
}
