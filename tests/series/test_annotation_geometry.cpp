#include "panels/Theme.h"
#include "render/CanvasLabel.h"
#include "series/Annotation.h"
#include "series/Geometry.h"
#include "series/TextBlock.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

using namespace tarnwick;
using T = AnnotationTool;
using H = AnnotationHandle;

namespace {

Annotation element(T kind, QPointF start, QPointF end)
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = kind;
    a.start = start;
    a.end = end;
    return a;
}

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

TEST(AnnotationRect, CornersInAnyOrderAndFreehandPaths)
{
    expectRect(element(T::rectangle, {50, 40}, {10, 80}).rect(), QRectF(10, 40, 40, 40));
    Annotation path = pencil({{5, 9}, {1, 3}, {8, 4}});
    expectRect(path.rect(), QRectF(1, 3, 7, 6));
    Annotation empty = element(T::highlighter, {2, 2}, {6, 8});
    expectRect(empty.rect(), QRectF(2, 2, 4, 6));
}

TEST(AnnotationRect, TextIsOnePixelLargerThanItsRoundedMeasure)
{
    Annotation text = element(T::text, {10, 20}, {0, 0});
    text.text = QStringLiteral("Привет, мир");
    text.fontSize = 24;
    const TextBlock block(text.text, text.textAttributes().font, 0);
    expectRect(text.rect(), QRectF(10, 20, std::ceil(block.size().width()) + 1, std::ceil(block.size().height()) + 1));

    // Wrapping width breaks the line; 0 never wraps.
    text.text = QStringLiteral("один два три четыре пять");
    const double single = text.rect().height();
    text.textWidth = 60;
    EXPECT_GT(text.rect().height(), 2 * single - 2);
    EXPECT_LE(text.rect().width(), 62);
}

TEST(AnnotationHandles, ByKind)
{
    EXPECT_EQ(element(T::arrow, {}, {}).handles(), (QVector<H>{H::start, H::middle, H::end}));
    EXPECT_EQ(element(T::blur, {}, {}).handles().size(), 8);
    EXPECT_TRUE(element(T::magnifier, {}, {}).handles().isEmpty());
    Annotation lens = element(T::magnifier, {0, 0}, {10, 10});
    lens.magnifierSource = QRectF(20, 20, 5, 5);
    EXPECT_EQ(lens.handles(), (QVector<H>{H::topLeft, H::topRight, H::bottomLeft, H::bottomRight}));

    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    arrow.bendOffset = {0, 30};
    EXPECT_TRUE(geo::same(arrow.position(H::middle), QPointF(50, 30)));
    EXPECT_TRUE(geo::same(element(T::rectangle, {0, 0}, {10, 20}).position(H::left), QPointF(0, 10)));
}

TEST(AnnotationDistance, StraightAndBentArrows)
{
    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    EXPECT_DOUBLE_EQ(arrow.distance({50, 10}), 10);
    EXPECT_DOUBLE_EQ(arrow.distance({-3, 4}), 5); // clamped to the start point

    // Bent: the curve passes through the middle handle, so a point there is on the stroke,
    // while the straight chord's midpoint is far from it.
    arrow.bendOffset = {0, 40};
    EXPECT_LT(arrow.distance({50, 40}), 0.05);
    EXPECT_GT(arrow.distance({50, 0}), 35);

    Annotation dot = pencil({{3, 3}});
    EXPECT_DOUBLE_EQ(dot.distance({6, 7}), 5);
    EXPECT_TRUE(std::isinf(arrow.distance({std::numeric_limits<double>::quiet_NaN(), 0})));
}

TEST(AnnotationBounds, ArrowCurveExtremesAndRulerLabel)
{
    Annotation straight = element(T::arrow, {10, 10}, {50, 30});
    expectRect(straight.geometryBounds(), straight.rect());

    Annotation bent = element(T::arrow, {0, 0}, {100, 0});
    bent.bendOffset = {0, 40};
    const QRectF bounds = bent.geometryBounds();
    EXPECT_DOUBLE_EQ(bounds.top(), 0);
    EXPECT_NEAR(bounds.bottom(), 40, 1e-9); // the curve's deepest point is the middle handle

    Annotation ruler = element(T::ruler, {0, 100}, {200, 100});
    EXPECT_TRUE(ruler.geometryBounds().contains(ruler.rulerLabelRect()));
}

TEST(AnnotationAdjusting, ShapesKeepFourPixelsAndNeverTurnInsideOut)
{
    Annotation box = element(T::rectangle, {10, 10}, {50, 50});
    Annotation dragged = box.adjusting(H::topLeft, {80, 20});
    expectRect(dragged.rect(), QRectF(46, 20, 4, 30)); // the right edge stays at 50

    Annotation clamped = box.adjusting(H::bottomRight, {500, 500}, QRectF(0, 0, 100, 80));
    expectRect(clamped.rect(), QRectF(10, 10, 90, 70));

    // Handles a kind does not have leave it unchanged.
    EXPECT_EQ(box.adjusting(H::middle, {0, 0}), box);
}

TEST(AnnotationAdjusting, ImageCornersResizeInProportion)
{
    Annotation image = element(T::image, {0, 0}, {100, 50});
    // Towards the opposite corner: stops when the smaller side reaches 24 pixels.
    Annotation shrunk = image.adjusting(H::bottomRight, {1, 1});
    expectRect(shrunk.rect(), QRectF(0, 0, 48, 24));
    // Beyond the bounds: stops at their edge.
    Annotation grown = image.adjusting(H::bottomRight, {400, 400}, QRectF(0, 0, 150, 300));
    expectRect(grown.rect(), QRectF(0, 0, 150, 75));
    // Dragging the top-left corner anchors the bottom-right.
    Annotation fromTopLeft = image.adjusting(H::topLeft, {-100, -10});
    expectRect(fromTopLeft.rect(), QRectF(-100, -50, 200, 100));
}

TEST(AnnotationAdjusting, LinesMoveEndsAndBend)
{
    Annotation arrow = element(T::arrow, {0, 0}, {100, 0});
    EXPECT_TRUE(geo::same(arrow.adjusting(H::end, {3, 4}).end, QPointF(3, 4)));
    EXPECT_TRUE(geo::same(arrow.adjusting(H::middle, {50, -20}).bendOffset, QSizeF(0, -20)));
    EXPECT_EQ(arrow.adjusting(H::end, {std::numeric_limits<double>::infinity(), 0}), arrow);
}

TEST(Magnifier, PlacementBesideTheSource)
{
    const QRectF bounds(0, 0, 1000, 600);
    Annotation narrow = element(T::magnifier, {10, 10}, {13, 100});
    EXPECT_EQ(narrow.placedMagnifier(bounds), narrow);
    EXPECT_FALSE(narrow.placedMagnifier(bounds).magnifierSource);

    Annotation left = element(T::magnifier, {100, 100}, {200, 150});
    Annotation placed = left.placedMagnifier(bounds);
    ASSERT_TRUE(placed.magnifierSource);
    expectRect(*placed.magnifierSource, QRectF(100, 100, 100, 50));
    expectRect(placed.rect(), QRectF(224, 75, 200, 100)); // zoom 2, to the right

    Annotation right = element(T::magnifier, {800, 300}, {900, 350});
    Annotation onLeft = right.placedMagnifier(bounds);
    EXPECT_DOUBLE_EQ(onLeft.rect().right(), 800 - 24);
}

TEST(Magnifier, ScalingKeepsTheCentreAndTheLimits)
{
    const QRectF bounds(0, 0, 1000, 600);
    Annotation lens = element(T::magnifier, {100, 100}, {200, 150}).placedMagnifier(bounds);
    const QPointF centre = lens.rect().center();
    Annotation bigger = lens.scaledMagnifier(1.5, bounds);
    EXPECT_NEAR(bigger.rect().width(), 300, 1e-9);
    EXPECT_NEAR(bigger.rect().center().x(), centre.x(), 1e-9);
    // Never smaller than 24 pixels on the source's short side.
    Annotation tiny = lens.scaledMagnifier(0.001, bounds);
    EXPECT_NEAR(tiny.rect().height(), 24, 1e-9);

    Annotation unplaced = element(T::magnifier, {0, 0}, {10, 10});
    EXPECT_EQ(unplaced.scaledMagnifier(2, bounds), unplaced);
}

TEST(PencilSmoothing, CornerCuttingCounts)
{
    Annotation open = pencil({{0, 0}, {10, 0}, {10, 10}});
    Annotation smooth = open.smoothedPencil();
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
    Annotation steep = element(T::ruler, {0, 0}, {0, 12.94});
    expectRect(steep.rulerLabelRect(), QRectF(12, 6.47 - h / 2, w, h));
}

TEST(AnnotationColor, CustomThenClampedPalette)
{
    Annotation a = element(T::arrow, {}, {});
    a.colorIndex = -1;
    EXPECT_EQ(a.color(), Theme::colors().front());
    a.colorIndex = 9;
    EXPECT_EQ(a.color(), Theme::colors().back());
    a.customColor = SampledColor{255, 194, 0, 128};
    EXPECT_EQ(a.color(), QColor(255, 194, 0, 128));
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
