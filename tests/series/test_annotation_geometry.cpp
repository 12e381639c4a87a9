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

TEST(AnnotationGeometry, RectsHandlesAndDistances)
{
    EXPECT_RECT(element(T::rectangle, {50, 40}, {10, 80}).rect(), QRectF(10, 40, 40, 40));
    EXPECT_RECT(pencil({{5, 9}, {1, 3}, {8, 4}}).rect(), QRectF(1, 3, 7, 6));
    EXPECT_RECT(element(T::highlighter, {2, 2}, {6, 8}).rect(), QRectF(2, 2, 4, 6)); // no points yet
    // A wrapping width breaks a text's line.
    Annotation text = element(T::text, {10, 20}, {0, 0});
    text.text = QStringLiteral("один два три четыре пять");
    text.fontSize = 24;
    const double single = text.rect().height();
    text.textWidth = 60;
    EXPECT_GT(text.rect().height(), 2 * single - 2);
    EXPECT_LE(text.rect().width(), 62);

    EXPECT_EQ(element(T::arrow, {}, {}).handles(), (QVector<H>{H::start, H::middle, H::end}));
    EXPECT_EQ(element(T::blur, {}, {}).handles().size(), 8);
    Annotation lens = element(T::magnifier, {0, 0}, {10, 10});
    EXPECT_TRUE(lens.handles().isEmpty());
    lens.magnifierSource = QRectF(20, 20, 5, 5);
    EXPECT_EQ(lens.handles(), (QVector<H>{H::topLeft, H::topRight, H::bottomLeft, H::bottomRight}));
    EXPECT_RECT(element(T::rectangle, {0, 0}, {10, 20}).position(H::left), QPointF(0, 10));

    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    EXPECT_DOUBLE_EQ(arrow.distance({50, 10}), 10);
    EXPECT_DOUBLE_EQ(arrow.distance({-3, 4}), 5); // clamped to the start point
    EXPECT_RECT(arrow.geometryBounds(), arrow.rect());
    EXPECT_TRUE(std::isinf(arrow.distance({notANumber, 0})));
    // Bent: the curve passes through the middle handle; its deepest point bounds it.
    arrow.bendOffset = {0, 40};
    EXPECT_RECT(arrow.position(H::middle), QPointF(50, 40));
    EXPECT_LT(arrow.distance({50, 40}), 0.05);
    EXPECT_GT(arrow.distance({50, 0}), 35);
    EXPECT_DOUBLE_EQ(arrow.geometryBounds().top(), 0);
    EXPECT_NEAR(arrow.geometryBounds().bottom(), 40, 1e-9);
    EXPECT_DOUBLE_EQ(pencil({{3, 3}}).distance({6, 7}), 5);
    Annotation ruler = element(T::ruler, {0, 100}, {200, 100});
    EXPECT_TRUE(ruler.geometryBounds().contains(ruler.rulerLabelRect()));
}

TEST(AnnotationGeometry, AdjustingKeepsMinimumSizesBoundsAndAnchors)
{
    // Shapes keep four pixels and never turn inside out; bounds clamp the drag.
    Annotation box = element(T::rectangle, {10, 10}, {50, 50});
    EXPECT_RECT(box.adjusting(H::topLeft, {80, 20}).rect(), QRectF(46, 20, 4, 30));
    EXPECT_RECT(box.adjusting(H::bottomRight, {500, 500}, QRectF(0, 0, 100, 80)).rect(), QRectF(10, 10, 90, 70));
    EXPECT_EQ(box.adjusting(H::middle, {0, 0}), box); // a handle the kind does not have
    // Image corners resize in proportion, down to 24 pixels, up to the bounds, anchored at the opposite corner.
    Annotation image = element(T::image, {0, 0}, {100, 50});
    EXPECT_RECT(image.adjusting(H::bottomRight, {1, 1}).rect(), QRectF(0, 0, 48, 24));
    EXPECT_RECT(image.adjusting(H::bottomRight, {400, 400}, QRectF(0, 0, 150, 300)).rect(), QRectF(0, 0, 150, 75));
    EXPECT_RECT(image.adjusting(H::topLeft, {-100, -10}).rect(), QRectF(-100, -50, 200, 100));
    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    EXPECT_RECT(arrow.adjusting(H::end, {3, 4}).end, QPointF(3, 4));
    EXPECT_TRUE(geo::same(arrow.adjusting(H::middle, {50, -20}).bendOffset, QSizeF(0, -20)));
    EXPECT_EQ(arrow.adjusting(H::end, {std::numeric_limits<double>::infinity(), 0}), arrow);

    // Non-finite elements are refused.
    Annotation broken = element(T::rectangle, {notANumber, 0}, {10, 10});
    EXPECT_FALSE(broken.isFinite());
    EXPECT_TRUE(geo::isNull(broken.rect()));
    EXPECT_TRUE(geo::isNull(broken.geometryBounds()));
    EXPECT_EQ(box.translated({notANumber, 1}), box);
    EXPECT_EQ(box.placedMagnifier(QRectF(0, 0, notANumber, 10)), box);
}

TEST(AnnotationGeometry, MagnifierPlacementAndScaling)
{
    const QRectF bounds(0, 0, 1000, 600);
    Annotation narrow = element(T::magnifier, {10, 10}, {13, 100});
    EXPECT_EQ(narrow.placedMagnifier(bounds), narrow);
    EXPECT_EQ(narrow.scaledMagnifier(2, bounds), narrow);
    Annotation lens = element(T::magnifier, {100, 100}, {200, 150}).placedMagnifier(bounds);
    ASSERT_TRUE(lens.magnifierSource);
    EXPECT_RECT(*lens.magnifierSource, QRectF(100, 100, 100, 50));
    EXPECT_RECT(lens.rect(), QRectF(224, 75, 200, 100)); // zoom 2, to the right
    EXPECT_DOUBLE_EQ(element(T::magnifier, {800, 300}, {900, 350}).placedMagnifier(bounds).rect().right(), 800 - 24);
    Annotation bigger = lens.scaledMagnifier(1.5, bounds);
    EXPECT_NEAR(bigger.rect().width(), 300, 1e-9);
    EXPECT_NEAR(bigger.rect().center().x(), lens.rect().center().x(), 1e-9);
    EXPECT_NEAR(lens.scaledMagnifier(0.001, bounds).rect().height(), 24, 1e-9); // the source's short side
}

TEST(AnnotationGeometry, PencilSmoothingAndRulerLabels)
{
    // Corner cutting: open paths keep their ends; a closed square goes 4 → 8 → 16 corners plus the closing point.
    const std::pair<QVector<QPointF>, int> paths[] = {{{{0, 0}, {10, 0}, {10, 10}}, 12},
                                                      {{{0, 0}, {10, 0}, {0, 0}}, 12},
                                                      {{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, 17},
                                                      {{{0, 0}, {5, 5}}, 2}};
    for (const auto& [points, count] : paths) {
        const Annotation smooth = pencil(points).smoothedPencil();
        ASSERT_EQ(smooth.points.size(), count);
        EXPECT_RECT(smooth.start, smooth.points.front());
        EXPECT_RECT(smooth.end, smooth.points.back());
        const bool closed = count == 17;
        EXPECT_RECT(smooth.points.front(), closed ? smooth.points.back() : points.front());
        EXPECT_RECT(smooth.points.back(), closed ? smooth.points.front() : points.back());
    }
    Annotation marker = pencil({{0, 0}, {5, 5}, {9, 1}});
    marker.kind = T::highlighter;
    EXPECT_EQ(marker.smoothedPencil(), marker);

    Annotation ruler = element(T::ruler, {0, 0}, {100, 0});
    ruler.rulerUnit = RulerUnit::pt;
    ruler.pixelsPerPoint = 2;
    EXPECT_EQ(ruler.rulerLabel(), QStringLiteral("50 pt"));
    ruler.pixelsPerPoint = 0;
    EXPECT_DOUBLE_EQ(ruler.rulerDistance(), 100000);
    ruler.rulerUnit = RulerUnit::px;
    ruler.end = {12.96, 0};
    EXPECT_EQ(ruler.rulerLabel(), QStringLiteral("13 px"));
    ruler.end = {12.94, 0};
    EXPECT_EQ(ruler.rulerLabel(), QStringLiteral("12.9 px"));
    // Flat: the label sits above the middle; steep: to its right.
    EXPECT_LT(ruler.rulerLabelRect().bottom(), 0);
    EXPECT_NEAR(ruler.rulerLabelRect().center().x(), 6.47, 1e-9);
    const QRectF steep = element(T::ruler, {0, 0}, {0, 12.94}).rulerLabelRect();
    EXPECT_GT(steep.left(), 0);
    EXPECT_NEAR(steep.center().y(), 6.47, 1e-9);
}
