#include "render/CanvasLabel.h"
#include "series/Geometry.h"
#include "series/TextBlock.h"

#include "SeriesTestSupport.h"

#include <cmath>
#include <limits>

using namespace tarnwick;
using tarnwick::test::element;
using T = AnnotationTool;
using H = AnnotationHandle;

namespace {

Annotation pencil(QVector<QPointF> points)
{
    Annotation a = element(T::pencil, points.front(), points.back());
    a.points = std::move(points);
    return a;
}

void expectRect(const QRectF& actual, const QRectF& expected)
{
    EXPECT_TRUE(geo::same(actual, expected)) << "got (" << actual.x() << ", " << actual.y() << ", " << actual.width()
                                             << ", " << actual.height() << ")";
}

} // namespace

TEST(AnnotationRect, CornersInAnyOrderFreehandPathsAndText)
{
    expectRect(element(T::rectangle, {50, 40}, {10, 80}).rect(), QRectF(10, 40, 40, 40));
    expectRect(pencil({{5, 9}, {1, 3}, {8, 4}}).rect(), QRectF(1, 3, 7, 6));
    expectRect(element(T::highlighter, {2, 2}, {6, 8}).rect(), QRectF(2, 2, 4, 6)); // no points yet

    // Text: one pixel larger than its rounded measure; a wrapping width breaks the line, 0 never wraps.
    Annotation text = element(T::text, {10, 20}, {0, 0});
    text.text = QStringLiteral("Привет, мир");
    text.fontSize = 24;
    const TextBlock block(text.text, text.textAttributes().font, 0);
    expectRect(text.rect(), QRectF(10, 20, std::ceil(block.size().width()) + 1, std::ceil(block.size().height()) + 1));
    text.text = QStringLiteral("один два три четыре пять");
    const double single = text.rect().height();
    text.textWidth = 60;
    EXPECT_GT(text.rect().height(), 2 * single - 2);
    EXPECT_LE(text.rect().width(), 62);
}

TEST(AnnotationHandles, ByKindAndWhereTheyAre)
{
    EXPECT_EQ(element(T::arrow, {}, {}).handles(), (QVector<H>{H::start, H::middle, H::end}));
    EXPECT_EQ(element(T::blur, {}, {}).handles().size(), 8);
    Annotation lens = element(T::magnifier, {0, 0}, {10, 10});
    EXPECT_TRUE(lens.handles().isEmpty());
    lens.magnifierSource = QRectF(20, 20, 5, 5);
    EXPECT_EQ(lens.handles(), (QVector<H>{H::topLeft, H::topRight, H::bottomLeft, H::bottomRight}));

    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    arrow.bendOffset = {0, 30};
    EXPECT_TRUE(geo::same(arrow.position(H::middle), QPointF(50, 30)));
    EXPECT_TRUE(geo::same(element(T::rectangle, {0, 0}, {10, 20}).position(H::left), QPointF(0, 10)));
}

TEST(AnnotationDistance, StraightAndBentArrowsAndTheirBounds)
{
    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    EXPECT_DOUBLE_EQ(arrow.distance({50, 10}), 10);
    EXPECT_DOUBLE_EQ(arrow.distance({-3, 4}), 5); // clamped to the start point
    expectRect(arrow.geometryBounds(), arrow.rect());

    // Bent: the curve passes through the middle handle, so a point there is on the stroke,
    // while the straight chord's midpoint is far from it; its deepest point bounds it.
    arrow.bendOffset = {0, 40};
    EXPECT_LT(arrow.distance({50, 40}), 0.05);
    EXPECT_GT(arrow.distance({50, 0}), 35);
    EXPECT_DOUBLE_EQ(arrow.geometryBounds().top(), 0);
    EXPECT_NEAR(arrow.geometryBounds().bottom(), 40, 1e-9);

    EXPECT_DOUBLE_EQ(pencil({{3, 3}}).distance({6, 7}), 5);
    EXPECT_TRUE(std::isinf(arrow.distance({std::numeric_limits<double>::quiet_NaN(), 0})));
    Annotation ruler = element(T::ruler, {0, 100}, {200, 100});
    EXPECT_TRUE(ruler.geometryBounds().contains(ruler.rulerLabelRect()));
}

TEST(AnnotationAdjusting, MinimumSizesBoundsAndAnchors)
{
    // Shapes keep four pixels and never turn inside out; bounds clamp the drag.
    Annotation box = element(T::rectangle, {10, 10}, {50, 50});
    expectRect(box.adjusting(H::topLeft, {80, 20}).rect(), QRectF(46, 20, 4, 30)); // the right edge stays at 50
    expectRect(box.adjusting(H::bottomRight, {500, 500}, QRectF(0, 0, 100, 80)).rect(), QRectF(10, 10, 90, 70));
    EXPECT_EQ(box.adjusting(H::middle, {0, 0}), box); // a handle the kind does not have

    // Image corners resize in proportion: down to 24 pixels on the smaller side, up to the
    // bounds, anchored at the opposite corner.
    Annotation image = element(T::image, {0, 0}, {100, 50});
    expectRect(image.adjusting(H::bottomRight, {1, 1}).rect(), QRectF(0, 0, 48, 24));
    expectRect(image.adjusting(H::bottomRight, {400, 400}, QRectF(0, 0, 150, 300)).rect(), QRectF(0, 0, 150, 75));
    expectRect(image.adjusting(H::topLeft, {-100, -10}).rect(), QRectF(-100, -50, 200, 100));

    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    EXPECT_TRUE(geo::same(arrow.adjusting(H::end, {3, 4}).end, QPointF(3, 4)));
    EXPECT_TRUE(geo::same(arrow.adjusting(H::middle, {50, -20}).bendOffset, QSizeF(0, -20)));
    EXPECT_EQ(arrow.adjusting(H::end, {std::numeric_limits<double>::infinity(), 0}), arrow);
}

TEST(Magnifier, PlacementBesideTheSourceAndScaling)
{
    const QRectF bounds(0, 0, 1000, 600);
    Annotation narrow = element(T::magnifier, {10, 10}, {13, 100});
    EXPECT_EQ(narrow.placedMagnifier(bounds), narrow);
    EXPECT_EQ(narrow.scaledMagnifier(2, bounds), narrow);

    Annotation lens = element(T::magnifier, {100, 100}, {200, 150}).placedMagnifier(bounds);
    ASSERT_TRUE(lens.magnifierSource);
    expectRect(*lens.magnifierSource, QRectF(100, 100, 100, 50));
    expectRect(lens.rect(), QRectF(224, 75, 200, 100)); // zoom 2, to the right
    EXPECT_DOUBLE_EQ(element(T::magnifier, {800, 300}, {900, 350}).placedMagnifier(bounds).rect().right(), 800 - 24);

    Annotation bigger = lens.scaledMagnifier(1.5, bounds);
    EXPECT_NEAR(bigger.rect().width(), 300, 1e-9);
    EXPECT_NEAR(bigger.rect().center().x(), lens.rect().center().x(), 1e-9);
    EXPECT_NEAR(lens.scaledMagnifier(0.001, bounds).rect().height(), 24, 1e-9); // the source's short side
}

TEST(PencilSmoothing, CornerCuttingCountsAndEndpoints)
{
    Annotation smooth = pencil({{0, 0}, {10, 0}, {10, 10}}).smoothedPencil();
    ASSERT_EQ(smooth.points.size(), 12);
    EXPECT_TRUE(geo::same(smooth.points.front(), QPointF(0, 0)));
    EXPECT_TRUE(geo::same(smooth.points.back(), QPointF(10, 10)));
    EXPECT_TRUE(geo::same(smooth.start, smooth.points.front()));
    EXPECT_TRUE(geo::same(smooth.end, smooth.points.back()));

    // Three points with equal ends are still an open path.
    EXPECT_EQ(pencil({{0, 0}, {10, 0}, {0, 0}}).smoothedPencil().points.size(), 12);
    // A closed square: 4 corners → 8 → 16 points, plus the closing point.
    Annotation closed = pencil({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}).smoothedPencil();
    ASSERT_EQ(closed.points.size(), 17);
    EXPECT_TRUE(geo::same(closed.points.front(), closed.points.back()));

    EXPECT_EQ(pencil({{0, 0}, {5, 5}}).smoothedPencil().points.size(), 2);
    Annotation marker = pencil({{0, 0}, {5, 5}, {9, 1}});
    marker.kind = T::highlighter;
    EXPECT_EQ(marker.smoothedPencil(), marker);
}

TEST(Ruler, DistanceLabelAndPlacement)
{
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

    const QSizeF label = CanvasLabel::size(ruler.rulerLabel(), 16, true);
    const double w = std::ceil(label.width()) + 16, h = std::ceil(label.height()) + 10;
    // Flat: centred above the middle; steep: to its right.
    expectRect(ruler.rulerLabelRect(), QRectF(6.47 - w / 2, -12 - h, w, h));
    expectRect(element(T::ruler, {0, 0}, {0, 12.94}).rulerLabelRect(), QRectF(12, 6.47 - h / 2, w, h));
}

TEST(AnnotationGeometry, NonFiniteElementsAreRejected)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Annotation broken = element(T::rectangle, {nan, 0}, {10, 10});
    EXPECT_FALSE(broken.isFinite());
    EXPECT_TRUE(geo::isNull(broken.rect()));
    EXPECT_TRUE(geo::isNull(broken.geometryBounds()));
    Annotation fine = element(T::rectangle, {0, 0}, {10, 10});
    EXPECT_EQ(fine.translated({nan, 1}), fine);
    EXPECT_EQ(fine.placedMagnifier(QRectF(0, 0, nan, 10)), fine);
}
