#include "series/Geometry.h"

#include <QDebug>
#include <gtest/gtest.h>
#include <limits>

using namespace tarnwick;

TEST(RectRules, IntersectionUnionIntegralInsetAndContains)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QRectF a(0, 0, 10, 10);
    struct Case { const char* name; QRectF actual, expected; };
    const Case cases[] = {
        {"touching rectangles meet in a zero-width one", geo::intersection(a, QRectF(10, 0, 10, 10)), QRectF(10, 0, 0, 10)},
        {"null is no part of a union", geo::unite(geo::nullRect(), QRectF(1, 2, 3, 4)), QRectF(1, 2, 3, 4)},
        {"integral rounds outward", geo::integral(QRectF(10.4, 20, 100, 50)), QRectF(10, 20, 101, 50)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(geo::same(c.actual, c.expected)) << c.name;
    for (const QRectF& null : {geo::intersection(a, QRectF(10.5, 0, 10, 10)), geo::unite(geo::nullRect(), geo::nullRect()),
                               geo::integral(QRectF(nan, 0, 1, 1)), geo::insetBy(a, 6, 0)})
        EXPECT_TRUE(geo::isNull(null)) << QDebug::toString(null).toStdString();
    EXPECT_TRUE(geo::intersects(a, QRectF(10, 0, 10, 10)));
    EXPECT_TRUE(geo::intersects(a, QRectF(3, 3, 0, 0))); // unlike QRectF::intersects

    // Half-open: the far edges are outside.
    for (const QPointF& p : {QPointF(10, 5), QPointF(5, 10), QPointF(nan, 1)})
        EXPECT_FALSE(geo::contains(a, p)) << p.x() << "," << p.y();
}
