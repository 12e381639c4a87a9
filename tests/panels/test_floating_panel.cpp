#include "panels/FloatingPanel.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(FloatingPanelPlacement, ConstrainedOriginTable)
{
    const QRectF laptop(0, 0, 1440, 875);
    const QRectF external(1440, 0, 1920, 1080);
    const QSizeF panel(180, 191);
    struct Case {
        const char* name;
        QPointF origin;
        QSizeF size;
        QList<QRectF> frames;
        QPointF expected;
    };
    const Case cases[] = {
        {"inside stays", {300, 200}, panel, {laptop}, {300, 200}},
        {"past the right edge", {1400, 200}, panel, {laptop}, {1260, 200}},
        {"past the left edge", {-40, 200}, panel, {laptop}, {0, 200}},
        {"past the top edge", {300, -30}, panel, {laptop}, {300, 0}},
        {"past the bottom edge", {300, 800}, panel, {laptop}, {300, 684}},
        {"far away to the corner", {5000, 5000}, panel, {laptop}, {1260, 684}},
        {"wider and taller than the frame", {50, 50}, {300, 400}, {QRectF(10, 20, 200, 100)}, {10, 20}},
        {"nearest screen wins", {1500, -50}, panel, {laptop, external}, {1500, 0}},
        {"offset frame", {0, 0}, panel, {QRectF(100, 30, 500, 400)}, {100, 30}},
        {"tie goes to the earlier screen", {150, 500}, {100, 100},
         {QRectF(0, 0, 150, 1000), QRectF(250, 0, 150, 1000)}, {50, 500}},
        {"tie, other order", {150, 500}, {100, 100},
         {QRectF(250, 0, 150, 1000), QRectF(0, 0, 150, 1000)}, {250, 500}},
        {"no frames", {-7000, 12.5}, panel, {}, {-7000, 12.5}},
    };
    for (const Case& c : cases) {
        const QPointF got = FloatingPanel::constrainedOrigin(c.origin, c.size, c.frames);
        EXPECT_DOUBLE_EQ(got.x(), c.expected.x()) << c.name;
        EXPECT_DOUBLE_EQ(got.y(), c.expected.y()) << c.name;
    }
}
