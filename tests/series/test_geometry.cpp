#include "series/Geometry.h"

#include <gtest/gtest.h>
#include <limits>

using namespace tarnwick;

namespace {
const double notANumber = std::numeric_limits<double>::quiet_NaN();
}

TEST(RectRules, IntersectionUnionAndStandardizing)
{
    const QRectF a(0, 0, 10, 10);
    // Touching rectangles meet in a zero-width rectangle, not the null one.
    const QRectF touch = geo::intersection(a, QRectF(10, 0, 10, 10));
    EXPECT_FALSE(geo::isNull(touch));
    EXPECT_TRUE(geo::isEmpty(touch));
    EXPECT_TRUE(geo::same(touch, QRectF(10, 0, 0, 10)));
    EXPECT_TRUE(geo::intersects(a, QRectF(10, 0, 10, 10)));
    EXPECT_TRUE(geo::isNull(geo::intersection(a, QRectF(10.5, 0, 10, 10))));
    EXPECT_FALSE(geo::intersects(a, QRectF(10.5, 0, 10, 10)));
    EXPECT_TRUE(geo::isNull(geo::intersection(a, geo::nullRect())));
    // An empty rectangle inside another still intersects it (unlike QRectF::intersects).
    EXPECT_TRUE(geo::intersects(a, QRectF(3, 3, 0, 0)));

    const QRectF flipped(10, 10, -10, -10);
    EXPECT_TRUE(geo::same(geo::standardized(flipped), a));
    EXPECT_TRUE(geo::same(geo::intersection(flipped, QRectF(5, 5, 10, 10)), QRectF(5, 5, 5, 5)));

    EXPECT_TRUE(geo::same(geo::unite(geo::nullRect(), QRectF(1, 2, 3, 4)), QRectF(1, 2, 3, 4)));
    EXPECT_TRUE(geo::same(geo::unite(QRectF(0, 0, 1, 1), QRectF(5, 5, 1, 1)), QRectF(0, 0, 6, 6)));
    EXPECT_TRUE(geo::isNull(geo::unite(geo::nullRect(), geo::nullRect())));
}

TEST(RectRules, IntegralRoundsOutwardAndInsetBeyondHalfIsNull)
{
    EXPECT_TRUE(geo::same(geo::integral(QRectF(10.4, 20, 100, 50)), QRectF(10, 20, 101, 50)));
    EXPECT_TRUE(geo::same(geo::integral(QRectF(-0.5, -1.25, 1, 1)), QRectF(-1, -2, 2, 2)));
    EXPECT_TRUE(geo::same(geo::integral(QRectF(-2.0, 3.0, 4.0, 5.0)), QRectF(-2, 3, 4, 5)));
    EXPECT_TRUE(geo::isNull(geo::integral(geo::nullRect())));
    EXPECT_TRUE(geo::isNull(geo::integral(QRectF(notANumber, 0, 1, 1))));

    EXPECT_TRUE(geo::same(geo::insetBy(QRectF(0, 0, 10, 10), 2, 3), QRectF(2, 3, 6, 4)));
    EXPECT_TRUE(geo::same(geo::insetBy(QRectF(0, 0, 10, 10), -1, -1), QRectF(-1, -1, 12, 12)));
    EXPECT_TRUE(geo::isNull(geo::insetBy(QRectF(0, 0, 10, 10), 6, 0)));
}

TEST(RectRules, ContainsIsHalfOpen)
{
    const QRectF r(0, 0, 10, 10);
    EXPECT_TRUE(geo::contains(r, {0, 0}));
    EXPECT_TRUE(geo::contains(r, {9.999, 9.999}));
    EXPECT_FALSE(geo::contains(r, {10, 5}));
    EXPECT_FALSE(geo::contains(r, {5, 10}));
    EXPECT_FALSE(geo::contains(QRectF(0, 0, 0, 10), {0, 5}));
    EXPECT_FALSE(geo::contains(r, {notANumber, 1}));
}
