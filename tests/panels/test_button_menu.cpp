#include "panels/ButtonMenu.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(ButtonMenu, TheMenuTouchesItsButtonInsideTheScreen)
{
    // A 960×540 screen at x 1920 (a 2× monitor right of a 1920-wide one), an 18×20 button.
    const QRect screen(1920, 0, 960, 540);
    const struct {
        const char* name;
        QRect button;
        QSize menu;
        QPoint origin;
    } cases[] = {
        {"room below: under the button, left edges aligned", {2000, 100, 18, 20}, {200, 300}, {2000, 120}},
        {"no room below: above it", {2000, 400, 18, 20}, {200, 300}, {2000, 100}},
        {"near the right edge: pulled in, still under it", {2870, 100, 10, 20}, {200, 300}, {2680, 120}},
        {"too tall for above and below: to its left, level with it", {2500, 300, 18, 20}, {200, 400}, {2300, 140}},
        {"no room on the left either: to its right", {1930, 300, 18, 20}, {200, 400}, {1948, 140}},
        {"taller than the screen: beside it from the screen's top", {2500, 300, 18, 20}, {200, 700}, {2300, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(menuOrigin(c.button, c.menu, screen), c.origin) << c.name;
}
