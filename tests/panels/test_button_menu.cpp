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
        {"taller than the room on either side: on the screen, over the button", {2000, 300, 18, 20}, {200, 534}, {2000, 6}},
        {"taller than the screen: its top on the screen's top", {2000, 300, 18, 20}, {200, 700}, {2000, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(menuOrigin(c.button, c.menu, screen), c.origin) << c.name;
}
