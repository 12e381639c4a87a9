#include "series/Geometry.h"

#include "SeriesTestSupport.h"

#include <cmath>
#include <limits>

using namespace tarnwick;
using tarnwick::test::element;
using T = AnnotationTool;
using H = AnnotationHandle;

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();

Annotation pencil(QVector<QPointF> points)
{
    Annotation a = element(T::pencil, points.front(), points.back());
    a.points = std::move(points);
    return a;
}

#define EXPECT_RECT(actual, expected) EXPECT_TRUE(geo::same(actual, expected)) << QDebug::toString(actual).toStdString()

} // namespace

TEST(AnnotationGeometry, RectsDistancesAndBentArrows)
{
    EXPECT_RECT(element(T::rectangle, {50, 40}, {10, 80}).rect(), QRectF(10, 40, 40, 40));
    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    EXPECT_DOUBLE_EQ(arrow.distance({50, 10}), 10);
    EXPECT_DOUBLE_EQ(arrow.distance({-3, 4}), 5); // clamped to the start point
    // Bent: the curve passes through the middle handle; its deepest point bounds it.
    arrow.bendOffset = {0, 40};
    EXPECT_RECT(arrow.position(H::middle), QPointF(50, 40));
    EXPECT_LT(arrow.distance({50, 40}), 0.05);
    EXPECT_NEAR(arrow.geometryBounds().bottom(), 40, 1e-9);
    Annotation ruler = element(T::ruler, {0, 100}, {200, 100});
    EXPECT_TRUE(ruler.geometryBounds().contains(ruler.rulerLabelRect())); // the label counts as the ruler
}

TEST(AnnotationGeometry, AdjustingKeepsMinimumSizesBoundsAndAnchorsAndRefusesNonFiniteInput)
{
    Annotation box = element(T::rectangle, {10, 10}, {50, 50});
    EXPECT_RECT(box.adjusting(H::topLeft, {80, 20}).rect(), QRectF(46, 20, 4, 30)); // never inside out
    // Image corners resize in proportion, down to 24 pixels.
    Annotation image = element(T::image, {0, 0}, {100, 50});
    EXPECT_RECT(image.adjusting(H::bottomRight, {1, 1}).rect(), QRectF(0, 0, 48, 24));
    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    EXPECT_TRUE(geo::same(arrow.adjusting(H::middle, {50, -20}).bendOffset, QSizeF(0, -20)));
    EXPECT_EQ(arrow.adjusting(H::end, {std::numeric_limits<double>::infinity(), 0}), arrow);

    Annotation broken = element(T::rectangle, {notANumber, 0}, {10, 10});
    EXPECT_FALSE(broken.isFinite());
    EXPECT_EQ(box.translated({notANumber, 1}), box);
}

TEST(AnnotationGeometry, MagnifierLensBesideItsSourceWithinTheBounds)
{
    const QRectF bounds(0, 0, 1000, 600);
    Annotation lens = element(T::magnifier, {100, 100}, {200, 150}).placedMagnifier(bounds);
    ASSERT_TRUE(lens.magnifierSource);
    EXPECT_RECT(*lens.magnifierSource, QRectF(100, 100, 100, 50));
    EXPECT_FALSE(lens.rect().intersects(*lens.magnifierSource));
    const Annotation atEdge = element(T::magnifier, {800, 300}, {900, 350}).placedMagnifier(bounds);
    EXPECT_LT(atEdge.rect().right(), 800); // no room on the right: to the left
    Annotation bigger = lens.scaledMagnifier(1.5, bounds);
    EXPECT_NEAR(bigger.rect().width(), 1.5 * lens.rect().width(), 1e-9);
}

TEST(AnnotationGeometry, PencilSmoothingKeepsEndsAndRulerLabelsRound)
{
    // Open paths keep their ends; a closed one stays closed.
    const std::pair<QVector<QPointF>, bool> paths[] = {{{{0, 0}, {10, 0}, {10, 10}}, false},
                                                       {{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, true},
                                                       {{{0, 0}, {5, 5}}, false}};
    for (const auto& [points, closed] : paths) {
        const Annotation smooth = pencil(points).smoothedPencil();
        EXPECT_GE(smooth.points.size(), points.size());
            EXPECT_RECT(smooth.points.front(), closed ? smooth.points.back() : points.front());
        EXPECT_RECT(smooth.points.back(), closed ? smooth.points.front() : points.back());
    }

    Annotation ruler = element(T::ruler, {0, 0}, {100, 0});
    ruler.rulerUnit = RulerUnit::pt;
    ruler.pixelsPerPoint = 2;
    EXPECT_EQ(ruler.rulerLabel(), QStringLiteral("50 pt"));
    ruler.rulerUnit = RulerUnit::px;
    ruler.end = {12.96, 0};
    EXPECT_EQ(ruler.rulerLabel(), QStringLiteral("13 px"));
}
