// ScreenshotRenderer::draw: every kind, blur results, magnifiers, badges and selection,
// measured on rendered pixels.

#include "DrawingTestSupport.h"

#include "panels/Theme.h"
#include "series/TarnwickError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

bool blueInk(QRgb c) { return qBlue(c) > 150 && qRed(c) < 160 && qGray(c) < 200; }
bool accent(QRgb c) { return near(c, Theme::accent(), 40); }

double median(std::vector<int> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Farthest blue pixel from the tip among those off a horizontal shaft at y = 100.
double headReach(const QImage& image, QPointF tip, double width)
{
    double reach = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::abs(y + 0.5 - 100) > width / 2 + 1.5 && blueInk(image.pixel(x, y)))
                reach = std::max(reach, std::hypot(x + 0.5 - tip.x(), y + 0.5 - tip.y()));
    return reach;
}

} // namespace

// ---- lines ----

TEST(DrawScene, ArrowHeadIsAtLeast14PixelsAndOtherwise4Point5Widths)
{
    for (auto [width, length] : {std::pair{2.0, 14.0}, {4.0, 18.0}, {8.0, 36.0}}) {
        SCOPED_TRACE(width);
        Annotation arrow = element(AnnotationTool::arrow, {50, 100}, {250, 100});
        arrow.strokeWidth = width;
        const QImage image = drawn(canvas(300, 200), arguments(canvas(300, 200), {arrow}));
        // Wings reach their length back from the tip, plus the round cap's half width.
        EXPECT_NEAR(headReach(image, {250, 100}, width), length + width / 2, 1.5);
        // The chevron is open: halfway between a wing and the shaft the picture shows.
        const double back = 0.7 * length;
        EXPECT_EQ(qGray(image.pixel(static_cast<int>(250 - back), static_cast<int>(100 - back * std::tan(M_PI / 6) / 2))),
                  255);
    }
    // A 10 px arrow of width 2 still gets the 14 px head.
    Annotation shortArrow = element(AnnotationTool::arrow, {240, 100}, {250, 100});
    shortArrow.strokeWidth = 2;
    EXPECT_NEAR(headReach(drawn(canvas(300, 200), arguments(canvas(300, 200), {shortArrow})), {250, 100}, 2), 15, 1.5);
}

TEST(DrawScene, ArrowBentOntoItsEndStillPointsAlongStartToEnd)
{
    Annotation arrow = element(AnnotationTool::arrow, {50, 100}, {250, 100});
    arrow.strokeWidth = 2;
    arrow.bendOffset = QSizeF(50, 0); // control point = midpoint + 2 × bend = end
    ASSERT_EQ(arrow.curveControlPoint(), arrow.end);
    const QImage image = drawn(canvas(300, 200), arguments(canvas(300, 200), {arrow}));
    const QRect wings = boundsWhere(image, blueInk, QRect(200, 0, 100, 96));
    const QRect lower = boundsWhere(image, blueInk, QRect(200, 104, 100, 96));
    ASSERT_FALSE(wings.isEmpty());
    ASSERT_FALSE(lower.isEmpty());
    EXPECT_NEAR(wings.top(), 100 - 7 - 1, 1.5); // 14 × sin 30° above the line
    EXPECT_NEAR(lower.bottom(), 100 + 7 + 1, 1.5);
    EXPECT_LT(wings.left(), 250 - 11);
}

TEST(DrawScene, BentArrowPassesThroughItsMiddleHandle)
{
    Annotation arrow = element(AnnotationTool::arrow, {50, 150}, {250, 150});
    arrow.strokeWidth = 4;
    arrow.bendOffset = QSizeF(0, -60);
    const QImage image = drawn(canvas(300, 200), arguments(canvas(300, 200), {arrow}));
    EXPECT_TRUE(blueInk(image.pixel(150, 90)));
    EXPECT_FALSE(blueInk(image.pixel(150, 150)));
}

TEST(DrawScene, LengthHasTicksOnlyAndRulerAlsoItsLabel)
{
    Annotation length = element(AnnotationTool::length, {50, 150}, {250, 150});
    length.strokeWidth = 2;
    Annotation ruler = length;
    ruler.kind = AnnotationTool::ruler;
    const QRectF pill = ruler.rulerLabelRect();
    const QPoint inPill(static_cast<int>(pill.left() + 3), static_cast<int>(pill.center().y()));
    const QColor blue = Theme::colors()[0];

    const QImage measured = drawn(canvas(300, 200), arguments(canvas(300, 200), {length}));
    // Ticks of half-length max(3w, 10) across each end.
    EXPECT_NEAR(boundsWhere(measured, blueInk, QRect(40, 100, 20, 100)).height(), 20 + 2, 1.5);
    EXPECT_NEAR(boundsWhere(measured, blueInk, QRect(240, 100, 20, 100)).height(), 20 + 2, 1.5);
    EXPECT_EQ(qGray(measured.pixel(inPill)), 255);

    const QImage labelled = drawn(canvas(300, 200), arguments(canvas(300, 200), {ruler}));
    EXPECT_TRUE(near(labelled.pixel(inPill), blue, 8));
    // White text on the blue pill (luminance below 0.5).
    EXPECT_GT(countWhere(labelled, [](QRgb c) { return qGray(c) > 230; }, pill.toAlignedRect().adjusted(8, 5, -8, -5)), 20);

    ruler.colorIndex = 4; // white pill, black text
    const QImage onWhite = drawn(canvas(300, 200, Qt::darkGray), arguments(canvas(300, 200, Qt::darkGray), {ruler}));
    EXPECT_GT(countWhere(onWhite, dark, pill.toAlignedRect().adjusted(8, 5, -8, -5)), 20);
}

TEST(DrawScene, PencilDotSegmentAndPolyline)
{
    Annotation dot = element(AnnotationTool::pencil);
    dot.points = {{60, 60}};
    dot.strokeWidth = 10;
    QRect bounds = boundsWhere(drawn(canvas(120, 120), arguments(canvas(120, 120), {dot})), notWhite);
    EXPECT_NEAR(bounds.width(), 10, 1.5);
    EXPECT_NEAR(bounds.height(), 10, 1.5);

    Annotation segment = element(AnnotationTool::pencil, {20, 60}, {100, 60});
    segment.strokeWidth = 4;
    bounds = boundsWhere(drawn(canvas(120, 120), arguments(canvas(120, 120), {segment})), notWhite);
    EXPECT_NEAR(bounds.width(), 84, 1.5);
    EXPECT_NEAR(bounds.height(), 4, 1.5);

    Annotation stroke = element(AnnotationTool::pencil, {0, 0}, {0, 0});
    stroke.points = {{10, 10}, {100, 10}, {100, 100}};
    stroke.strokeWidth = 4;
    const QImage image = drawn(canvas(120, 120), arguments(canvas(120, 120), {stroke}));
    EXPECT_TRUE(blueInk(image.pixel(55, 10)));
    EXPECT_TRUE(blueInk(image.pixel(100, 55)));
    EXPECT_FALSE(blueInk(image.pixel(55, 55))); // points are joined in order, not closed
}

TEST(DrawScene, StrokeWidthDefaultsToTheSizeUnit)
{
    // u = max(width / 300, 3): 6 px on a 1800 px wide picture.
    Annotation rect = element(AnnotationTool::rectangle, {100, 100}, {300, 200});
    const QImage picture = canvas(1800, 300);
    const QImage image = drawn(picture, arguments(picture, {rect}));
    EXPECT_NEAR(boundsWhere(image, notWhite, QRect(180, 80, 40, 40)).height(), 6, 1.5);
    const QImage small = drawn(canvas(400, 300), arguments(canvas(400, 300), {rect}));
    EXPECT_NEAR(boundsWhere(small, notWhite, QRect(180, 80, 40, 40)).height(), 3, 1.5);
}

// ---- blur ----

TEST(DrawScene, PendingBlurIsADashedPlaceholderInPixelsNotPenWidths)
{
    Annotation blur = element(AnnotationTool::blur, {40, 40}, {240, 140});
    FakeEffects effects;
    auto args = arguments(canvas(300, 200), {blur});
    args.effects = &effects;
    const QImage image = drawn(canvas(300, 200), args);
    EXPECT_EQ(effects.lookups, 1);
    // The 2 px line is centred on y = 40, so row 39 lies wholly inside it.
    auto [on, off] = runsAlongRow(image, 39, 45, 235, accent);
    ASSERT_GE(on.size(), 10u);
    EXPECT_NEAR(median(on), 6, 1);
    EXPECT_NEAR(median(off), 4, 1);
    EXPECT_EQ(qGray(image.pixel(140, 90)), 255); // inside untouched
}

TEST(DrawScene, StoredBlurResultIsDrawnAtItsRectAndFailuresLookLikePending)
{
    Annotation blur = element(AnnotationTool::blur, {40, 40}, {240, 140});
    auto args = arguments(canvas(300, 200), {blur});

    FakeEffects pending;
    args.effects = &pending;
    const QImage pendingImage = drawn(canvas(300, 200), args);

    FakeEffects failed;
    failed.results.insert_or_assign(
        blur.id, EffectResult::failure(std::make_exception_ptr(TarnwickError::message("Сбой"))));
    args.effects = &failed;
    EXPECT_EQ(drawn(canvas(300, 200), args), pendingImage);

    FakeEffects ready;
    QImage effect(200, 100, QImage::Format_ARGB32_Premultiplied);
    effect.fill(Qt::magenta);
    ready.results.insert_or_assign(blur.id, EffectResult::success({effect, QRectF(40, 40, 200, 100), std::nullopt}));
    args.effects = &ready;
    const QImage image = drawn(canvas(300, 200), args);
    EXPECT_EQ(boundsWhere(image, [](QRgb c) { return near(c, Qt::magenta); }), QRect(40, 40, 200, 100));
    EXPECT_EQ(countWhere(image, accent), 0);
}

TEST(DrawScene, BlurWithoutEngineUsesTheBlurredCopyForAreaOnly)
{
    Annotation area = element(AnnotationTool::blur, {40, 40}, {140, 140});
    auto args = arguments(canvas(300, 200), {area});
    args.blurred = canvas(300, 200, Qt::green);
    QImage image = drawn(canvas(300, 200), args);
    EXPECT_EQ(boundsWhere(image, [](QRgb c) { return near(c, Qt::green); }), QRect(40, 40, 100, 100));

    area.blurMode = BlurMode::pixelate;
    args.annotations = {area};
    image = drawn(canvas(300, 200), args);
    EXPECT_EQ(countWhere(image, [](QRgb c) { return near(c, Qt::green); }), 0);
    EXPECT_GT(countWhere(image, accent), 100);
}

TEST(DrawScene, BlurOutsideTheImageFrameDrawsNothingAndIsClippedToIt)
{
    Annotation outside = element(AnnotationTool::blur, {320, 20}, {380, 80});
    Annotation straddling = element(AnnotationTool::blur, {250, 50}, {350, 150});
    FakeEffects effects;
    auto args = arguments(canvas(300, 200), {outside, straddling});
    args.effects = &effects;
    const QImage image = drawn(canvas(400, 200), args);
    EXPECT_EQ(countWhere(image, accent, QRect(302, 0, 98, 200)), 0);
    EXPECT_GT(countWhere(image, accent, QRect(240, 40, 60, 120)), 50);
}

// ---- magnifier ----

namespace {

// A white picture with a 10 × 10 red square image layer at (95, 95), a magnifier of
// the 40 × 40 area around it with a 2× lens at (200, 60), and a comment in the area.
struct MagnifierScene {
    QImage picture = canvas(320, 220);
    Annotation square = element(AnnotationTool::image, {95, 95}, {105, 105});
    Annotation comment = element(AnnotationTool::comment, {85, 85}, {85, 85});
    Annotation lens = element(AnnotationTool::magnifier, {200, 60}, {280, 140});
    Annotation above = element(AnnotationTool::image, {110, 82}, {118, 90});

    MagnifierScene()
    {
        square.embeddedImage = solidImage(10, 10, Qt::red);
        above.embeddedImage = solidImage(8, 8, Qt::green);
        lens.magnifierSource = QRectF(80, 80, 40, 40);
        lens.strokeWidth = 2;
    }
    ScreenshotRenderer::DrawArguments args()
    {
        auto a = arguments(picture, {square, comment, lens, above});
        a.showMarkers = true;
        a.label = "A";
        return a;
    }
};

} // namespace

TEST(DrawScene, MagnifierShowsTheLayersBelowScaledButNoBadgesNorItselfNorLaterElements)
{
    MagnifierScene scene;
    LayerSampleCache samples;
    auto args = scene.args();
    args.samples = &samples;
    const QImage image = drawn(canvas(320, 220), args);

    const QRect inLens(205, 65, 70, 70);
    // The red square, twice its size, at the lens centre.
    const QRect red = boundsWhere(image, [](QRgb c) { return qGreen(c) < 128; }, inLens);
    EXPECT_NEAR(red.width(), 20, 1);
    EXPECT_NEAR(red.height(), 20, 1);
    EXPECT_NEAR(red.center().x(), 240, 1);
    EXPECT_NEAR(red.center().y(), 100, 1);
    // The comment's badge is drawn on the picture but not inside the lens.
    EXPECT_TRUE(near(image.pixel(85, 85), Theme::marker(), 10));
    EXPECT_EQ(countWhere(image, [](QRgb c) { return near(c, Theme::marker(), 40); }, inLens), 0);
    // The element above the magnifier is not magnified.
    EXPECT_EQ(countWhere(image, [](QRgb c) { return near(c, Qt::green, 60); }, inLens), 0);
    // The sample is the picture with the elements below and nothing else.
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_NE(samples.find({scene.square}), nullptr);

    // Lens ring and source ring in the element colour, joined by the connector.
    EXPECT_TRUE(blueInk(image.pixel(240, 60)));
    EXPECT_TRUE(blueInk(image.pixel(100, 120)));
    EXPECT_TRUE(blueInk(image.pixel(160, 100)));
}

TEST(DrawScene, MagnifierOverlappingItsSourceNeverShowsItself)
{
    // Part of the lens ring lies in the source; were the lens in its own sample, that arc
    // would appear magnified near the lens centre.
    QImage picture = canvas(200, 200);
    Annotation lens = element(AnnotationTool::magnifier, {60, 60}, {140, 140});
    lens.magnifierSource = QRectF(50, 50, 40, 40);
    lens.strokeWidth = 3;
    const QImage image = drawn(picture, arguments(picture, {lens}));
    EXPECT_EQ(countWhere(image, blueInk, QRect(85, 85, 30, 30)), 0);
    EXPECT_TRUE(blueInk(image.pixel(100, 60)));
}

TEST(DrawScene, MagnifierWithoutSourceIsOnlyItsRing)
{
    Annotation lens = element(AnnotationTool::magnifier, {50, 50}, {150, 150});
    lens.strokeWidth = 2;
    const QImage image = drawn(canvas(200, 200), arguments(canvas(200, 200), {lens}));
    EXPECT_TRUE(blueInk(image.pixel(100, 50)));
    EXPECT_EQ(countWhere(image, blueInk, QRect(70, 70, 60, 60)), 0);
    Annotation flat = element(AnnotationTool::magnifier, {50, 50}, {150, 50});
    EXPECT_EQ(drawn(canvas(200, 200), arguments(canvas(200, 200), {flat})), canvas(200, 200));
}

TEST(DrawScene, SampleCacheIsReusedPerPrefixAndBounded)
{
    MagnifierScene scene;
    LayerSampleCache samples;
    auto args = scene.args();
    args.samples = &samples;
    drawn(canvas(320, 220), args);
    drawn(canvas(320, 220), args);
    EXPECT_EQ(samples.size(), 1u);

    // Every drag of the element below makes a new prefix; the cache keeps only the recent ones.
    for (int i = 1; i <= 10; ++i) {
        auto moved = scene.args();
        moved.annotations[0] = scene.square.translated(QSizeF(i, 0));
        moved.samples = &samples;
        drawn(canvas(320, 220), moved);
    }
    EXPECT_EQ(samples.size(), LayerSampleCache::capacity);
    EXPECT_EQ(samples.find({scene.square}), nullptr);
    EXPECT_NE(samples.find({scene.square.translated(QSizeF(10, 0))}), nullptr);
}

TEST(DrawScene, MagnifierOverAPendingBlurShowsTheResultOnceItArrives)
{
    QImage picture = canvas(320, 220);
    Annotation blur = element(AnnotationTool::blur, {85, 85}, {115, 115});
    Annotation lens = element(AnnotationTool::magnifier, {200, 60}, {280, 140});
    lens.magnifierSource = QRectF(80, 80, 40, 40);
    FakeEffects effects;
    LayerSampleCache samples;
    auto args = arguments(picture, {blur, lens});
    args.effects = &effects;
    args.samples = &samples;

    const QImage before = drawn(picture, args);
    EXPECT_GT(countWhere(before, accent, QRect(205, 65, 70, 70)), 20); // the placeholder, magnified
    EXPECT_EQ(samples.size(), 0u); // a sample with a pending blur is not kept

    QImage effect(30, 30, QImage::Format_ARGB32_Premultiplied);
    effect.fill(Qt::magenta);
    effects.results.insert_or_assign(blur.id, EffectResult::success({effect, QRectF(85, 85, 30, 30), std::nullopt}));
    const QImage after = drawn(picture, args);
    const QRect magenta = boundsWhere(after, [](QRgb c) { return qGreen(c) < 128; }, QRect(205, 65, 70, 70));
    EXPECT_NEAR(magenta.width(), 60, 1);
}

TEST(DrawScene, ClearedSampleCacheTakesUpAResultThatReplacedAFailure)
{
    QImage picture = canvas(320, 220);
    Annotation blur = element(AnnotationTool::blur, {85, 85}, {115, 115});
    Annotation lens = element(AnnotationTool::magnifier, {200, 60}, {280, 140});
    lens.magnifierSource = QRectF(80, 80, 40, 40);
    FakeEffects effects;
    effects.results.insert_or_assign(
        blur.id, EffectResult::failure(std::make_exception_ptr(TarnwickError::message("Сбой"))));
    LayerSampleCache samples;
    auto args = arguments(picture, {blur, lens});
    args.effects = &effects;
    args.samples = &samples;
    drawn(picture, args);
    EXPECT_EQ(samples.size(), 1u);

    QImage effect(30, 30, QImage::Format_ARGB32_Premultiplied);
    effect.fill(Qt::magenta);
    effects.results.insert_or_assign(blur.id, EffectResult::success({effect, QRectF(85, 85, 30, 30), std::nullopt}));
    auto magentaInLens = [&] {
        return countWhere(drawn(picture, args), [](QRgb c) { return near(c, Qt::magenta, 30); }, QRect(205, 65, 70, 70));
    };
    EXPECT_EQ(magentaInLens(), 0); // the kept sample still shows the failure
    samples.clear();                // what the canvas does when an effect result arrives
    EXPECT_GT(magentaInLens(), 1000);
}

// ---- comment badges and corner badge ----

TEST(DrawScene, CommentBadgesAreNumberedInOrderWithOneCornerBadge)
{
    QImage picture = canvas(1000, 400);
    Annotation first = element(AnnotationTool::comment, {300, 200}, {300, 200});
    Annotation second = element(AnnotationTool::comment, {600, 200}, {600, 200});
    second.customColor = SampledColor{20, 160, 60, 255};
    Annotation rect = element(AnnotationTool::rectangle, {280, 180}, {320, 220});
    auto args = arguments(picture, {first, rect, second});
    args.label = "B";
    args.showMarkers = true;
    const QImage image = drawn(picture, args);

    // Badges go over the elements, in their colours; diameter 44 for a 1000 px frame.
    EXPECT_TRUE(near(image.pixel(283, 200), Theme::marker(), 10));
    EXPECT_TRUE(near(image.pixel(583, 200), QColor(20, 160, 60), 10));
    // Texts "B1" and "B2", the same as a lone badge draws them.
    for (auto [text, centre, colour] : {std::tuple{QString("B1"), QPointF(300, 200), Theme::marker()},
                                        {QString("B2"), QPointF(600, 200), QColor(20, 160, 60)}}) {
        QImage lone = picture.copy();
        paint(lone, [&](QPainter& p) { ScreenshotRenderer::drawBadge(p, text, centre, {1000, 400}, false, colour); });
        const QRect box(static_cast<int>(centre.x()) - 15, static_cast<int>(centre.y()) - 12, 30, 24);
        EXPECT_EQ(image.copy(box), lone.copy(box)) << text.toStdString();
    }
    // One square corner badge, centred 0.8 D from the frame's corner.
    EXPECT_TRUE(near(image.pixel(17, 17), Theme::marker(), 10)); // rounded square reaches further than a circle
    const QRect corner = boundsWhere(image, [](QRgb c) { return qAlpha(c) == 255 && near(c, Theme::marker(), 10); },
                                     QRect(0, 0, 100, 100));
    EXPECT_NEAR(corner.center().x(), 35.2, 1);
    EXPECT_NEAR(corner.center().y(), 35.2, 1);
}

TEST(DrawScene, NoCornerBadgeWithoutCommentsOrMarkers)
{
    QImage picture = canvas(400, 300);
    Annotation rect = element(AnnotationTool::rectangle, {200, 200}, {300, 250});
    auto args = arguments(picture, {rect});
    args.label = "A";
    args.showMarkers = true;
    EXPECT_EQ(countWhere(drawn(picture, args), [](QRgb c) { return near(c, Theme::marker(), 20); }), 0);

    Annotation comment = element(AnnotationTool::comment, {100, 100}, {100, 100});
    args.annotations = {comment};
    args.showMarkers = false;
    EXPECT_EQ(drawn(picture, args), picture);
}

TEST(DrawScene, CornerBadgeSitsInTheMarkerFrameAndScalesWithIt)
{
    QImage picture = canvas(2400, 600);
    Annotation comment = element(AnnotationTool::comment, {1200, 300}, {1200, 300});
    auto args = arguments(picture, {comment});
    args.label = "C";
    args.showMarkers = true;
    args.markerFrame = QRectF(200, 100, 2000, 400); // D = 55.6
    const QImage image = drawn(picture, args);
    auto opaqueMarker = [](QRgb c) { return near(c, Theme::marker(), 10); };
    const QRect corner = boundsWhere(image, opaqueMarker, QRect(150, 50, 150, 150));
    EXPECT_NEAR(corner.center().x(), 200 + 0.8 * 2000 / 36.0, 1);
    EXPECT_NEAR(corner.center().y(), 100 + 0.8 * 2000 / 36.0, 1);
    const QRect badge = boundsWhere(image, [](QRgb c) { return qBlue(c) < 160; }, QRect(1150, 250, 100, 100));
    EXPECT_NEAR(badge.width(), 2000 / 36.0, 1);
}

// ---- selection ----

TEST(DrawScene, SelectionHandlesKeepTheirScreenSize)
{
    QImage picture = canvas(200, 200);
    Annotation layerElement = element(AnnotationTool::image, {50, 50}, {150, 150});
    layerElement.embeddedImage = solidImage(4, 4, Qt::white);
    auto handleSize = [&](double scale) {
        auto args = arguments(picture, {layerElement});
        args.selectedID = layerElement.id;
        args.selectionScale = scale;
        const QImage image = drawn(picture, args);
        return boundsWhere(image, notWhite, QRect(30, 30, 40, 40)).width();
    };
    EXPECT_NEAR(handleSize(1), 2 * 5 + 1.5, 1.5); // radius 5, ring 1.5
    EXPECT_NEAR(handleSize(4), 2 * 1.25 + 0.375, 1.5);

    // The canvas draws zoomed: at zoom 4 with scale 4 the handles are 5 px on screen.
    QImage zoomed = canvas(800, 800);
    auto args = arguments(picture, {layerElement});
    args.selectedID = layerElement.id;
    args.selectionScale = 4;
    paint(zoomed, [&](QPainter& p) {
        p.scale(4, 4);
        ScreenshotRenderer::draw(p, args);
    });
    EXPECT_NEAR(boundsWhere(zoomed, notWhite, QRect(170, 170, 60, 60)).width(), 11.5, 1.5);

    // Scale 0 is taken as 0.001: huge white discs, nothing breaks.
    args.selectionScale = 0;
    EXPECT_EQ(qGray(drawn(picture, args).pixel(5, 5)), 255);
}

TEST(DrawScene, SelectedBlurOutlineDashesKeepTheirScreenLengthWhenZoomed)
{
    QImage picture = canvas(100, 100);
    Annotation blur = element(AnnotationTool::blur, {10, 10}, {90, 90});
    auto args = arguments(picture, {blur});
    args.selectedID = blur.id;
    args.selectionScale = 4;
    FakeEffects effects;
    QImage effect(80, 80, QImage::Format_ARGB32_Premultiplied);
    effect.fill(Qt::black);
    effects.results.insert_or_assign(blur.id, EffectResult::success({effect, QRectF(10, 10, 80, 80), std::nullopt}));
    args.effects = &effects;
    QImage zoomed = canvas(400, 400);
    paint(zoomed, [&](QPainter& p) {
        p.scale(4, 4);
        ScreenshotRenderer::draw(p, args);
    });
    // On screen: white dashes 5 on, 4 off, 1.5 px wide, over the black effect just inside its edge.
    auto [on, off] = runsAlongRow(zoomed, 40, 70, 330, [](QRgb c) { return qGray(c) > 128; });
    ASSERT_GE(on.size(), 10u);
    EXPECT_NEAR(median(on), 5, 1);
    EXPECT_NEAR(median(off), 4, 1);
}

TEST(DrawScene, ElementsWithoutHandlesGetADashedFrameAndCommentsTheirBadgeSquare)
{
    QImage picture = canvas(300, 300, Qt::black);
    Annotation comment = element(AnnotationTool::comment, {150, 150}, {150, 150});
    comment.strokeWidth = 2;
    auto args = arguments(picture, {comment});
    args.selectedID = comment.id;
    const QImage image = drawn(picture, args);
    // Badge square of side 44 outset by 2w = 4: 52 wide, white dashes of width 1.
    const QRect frame = boundsWhere(image, [](QRgb c) { return qGray(c) > 60; });
    EXPECT_NEAR(frame.width(), 52 + 1, 1.5);
    EXPECT_NEAR(frame.center().x(), 150, 1);
}

TEST(DrawScene, HighlighterSelectionIsOutsetByHalfTheWidth)
{
    QImage picture = canvas(300, 300, Qt::black);
    Annotation marker = element(AnnotationTool::highlighter);
    marker.points = {{100, 150}, {200, 150}};
    marker.strokeWidth = 20;
    marker.colorIndex = 5;
    auto args = arguments(picture, {marker});
    args.selectedID = marker.id;
    const QImage image = drawn(picture, args);
    const QRect frame = boundsWhere(image, [](QRgb c) { return qGray(c) > 128; });
    // 100 + 2 × (10 + 2), plus the 1.5 px line.
    EXPECT_NEAR(frame.width(), 124 + 1.5, 1.5);
}

// ---- picture, order and bad input ----

TEST(DrawScene, PictureIsCopiedIntoTheImageFrame)
{
    QImage picture = canvas(50, 40, QColor(0, 0, 255, 128));
    auto args = arguments(picture, {});
    args.imageFrame = QRectF(10, 20, 50, 40);
    const QImage image = drawn(canvas(100, 100), args);
    // Copied, not blended: the translucent blue replaces the white.
    EXPECT_EQ(image.pixel(10, 20), picture.pixel(0, 0));
    EXPECT_EQ(image.pixel(9, 20), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(59, 59), picture.pixel(49, 39));
    EXPECT_EQ(image.pixel(60, 60), qRgb(255, 255, 255));
}

TEST(DrawScene, FailingImageLayerIsSkippedAndTheRestDraws)
{
    QImage picture = canvas(200, 200);
    Annotation broken = element(AnnotationTool::image, {10, 10}, {60, 60});
    Annotation empty = element(AnnotationTool::image, {10, 10}, {60, 60});
    empty.embeddedImage = solidImage(10, 10, Qt::red);
    empty.imageCrop = QRectF(50, 50, 10, 10);
    Annotation rect = element(AnnotationTool::rectangle, {100, 100}, {150, 150});
    const QImage image = drawn(picture, arguments(picture, {broken, empty, rect}));
    EXPECT_EQ(countWhere(image, notWhite, QRect(0, 0, 80, 80)), 0);
    EXPECT_GT(countWhere(image, blueInk), 100);
}

TEST(DrawScene, NonFiniteAndHugeInputDrawsWhatItCanAndReturns)
{
    QImage picture = canvas(300, 200);
    QVector<Annotation> list;
    for (AnnotationTool kind : {AnnotationTool::arrow, AnnotationTool::rectangle, AnnotationTool::ellipse,
                                AnnotationTool::comment, AnnotationTool::blur, AnnotationTool::length,
                                AnnotationTool::pencil, AnnotationTool::text, AnnotationTool::magnifier,
                                AnnotationTool::image, AnnotationTool::ruler, AnnotationTool::highlighter}) {
        for (double bad : {double(NAN), double(INFINITY), 1e300, -1.7e308, -1e12}) {
            Annotation a = element(kind, {bad, 10}, {20, bad});
            a.text = "x";
            a.points = {{bad, 1}, {2, 2}};
            a.magnifierSource = QRectF(0, 0, bad, 5);
            a.embeddedImage = solidImage(4, 4, Qt::red);
            list.append(a);
            Annotation wide = element(kind, {10, 10}, {200, 150});
            wide.strokeWidth = bad;
            wide.fontSize = bad;
            list.append(wide);
            // Finite ends whose differences overflow.
            Annotation overflowing = element(kind, {-1.7e308, -1.7e308}, {1.7e308, 1.7e308});
            overflowing.bendOffset = QSizeF(1.7e308, 0);
            overflowing.points = {{-1.7e308, 0}, {1.7e308, 0}};
            overflowing.magnifierSource = QRectF(-1.7e308, 0, 1.7e308, 10);
            overflowing.embeddedImage = solidImage(4, 4, Qt::red);
            list.append(overflowing);
        }
    }
    Annotation visible = element(AnnotationTool::rectangle, {100, 100}, {150, 150});
    list.append(visible);
    auto args = arguments(picture, list);
    args.selectedID = list[0].id;
    args.selectionScale = NAN;
    args.showMarkers = true;
    args.markerFrame = QRectF(0, 0, INFINITY, 10);

    const QImage image = drawn(picture, args);
    EXPECT_TRUE(blueInk(image.pixel(125, 100)));

    ScreenshotRenderer::DrawArguments nothing;
    nothing.size = QSizeF(NAN, INFINITY);
    nothing.annotations = {visible};
    nothing.imageFrame = QRectF(0, 0, NAN, 1);
    EXPECT_NO_THROW(drawn(canvas(10, 10), nothing));
}
