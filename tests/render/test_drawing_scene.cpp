// ScreenshotRenderer::draw: every kind, blur results, magnifiers, badges and selection,
// measured on rendered pixels.

#include "RenderTestSupport.h"

#include "panels/Theme.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

bool blueInk(QRgb c) { return qBlue(c) > 150 && qRed(c) < 160 && qGray(c) < 200; }
bool accent(QRgb c) { return near(c, Theme::accent(), 40); }
bool markerColour(QRgb c) { return near(c, Theme::marker(), 10); }

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

// Median lengths of the runs along a row where the predicate holds and where it fails
// (runs cut by the window left out), and the number of runs where it holds.
struct Dashes {
    double on, off;
    size_t count;
};
Dashes dashesAlongRow(const QImage& image, int y, int x0, int x1, const std::function<bool(QRgb)>& on)
{
    std::vector<int> runs[2];
    for (int x = x0 + 1, start = -1; x <= x1; ++x) {
        const bool was = on(image.pixel(x - 1, y));
        if (on(image.pixel(x, y)) == was)
            continue;
        if (start >= 0)
            runs[was].push_back(x - start);
        start = x;
    }
    auto median = [](std::vector<int> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    return {median(runs[1]), median(runs[0]), runs[1].size()};
}

// draw() on a canvas zoomed by `zoom`, as the editor paints.
QImage drawnZoomed(const ScreenshotRenderer::DrawArguments& args, double zoom)
{
    QImage image = canvas(static_cast<int>(args.size.width() * zoom), static_cast<int>(args.size.height() * zoom));
    paint(image, [&](QPainter& p) {
        p.scale(zoom, zoom);
        ScreenshotRenderer::draw(p, args);
    });
    return image;
}

} // namespace

TEST(DrawScene, ArrowHeadIsAtLeast14PixelsAnOpenChevronAndFollowsTheBend)
{
    auto arrowOf = [](QPointF start, QPointF end, double width, QSizeF bend = {}) {
        Annotation a = element(AnnotationTool::arrow, start, end);
        a.strokeWidth = width;
        a.bendOffset = bend;
        return drawn(canvas(300, 200), {a});
    };
    // Head length max(4.5 w, 14); the wings reach it back from the tip, plus the round cap.
    for (auto [width, length] : {std::pair{2.0, 14.0}, {4.0, 18.0}, {8.0, 36.0}}) {
        SCOPED_TRACE(width);
        const QImage image = arrowOf({50, 100}, {250, 100}, width);
        EXPECT_NEAR(headReach(image, {250, 100}, width), length + width / 2, 1.5);
        // Open: halfway between a wing and the shaft the picture shows.
        const double back = 0.7 * length;
        EXPECT_EQ(qGray(image.pixel(static_cast<int>(250 - back), static_cast<int>(100 - back * std::tan(M_PI / 6) / 2))), 255);
    }
    EXPECT_NEAR(headReach(arrowOf({240, 100}, {250, 100}, 2), {250, 100}, 2), 15, 1.5); // a 10 px arrow too

    // Bent so that the control point is the end: the head still points along start → end.
    const QImage ontoEnd = arrowOf({50, 100}, {250, 100}, 2, {50, 0});
    const QRect upper = boundsWhere(ontoEnd, blueInk, QRect(200, 0, 100, 96));
    const QRect lower = boundsWhere(ontoEnd, blueInk, QRect(200, 104, 100, 96));
    ASSERT_FALSE(upper.isEmpty() || lower.isEmpty());
    EXPECT_NEAR(upper.top(), 100 - 7 - 1, 1.5); // 14 × sin 30° either side of the line
    EXPECT_NEAR(lower.bottom(), 100 + 7 + 1, 1.5);
    EXPECT_LT(upper.left(), 250 - 11);
    // A bent arrow passes through its middle handle.
    const QImage bent = arrowOf({50, 150}, {250, 150}, 4, {0, -60});
    EXPECT_TRUE(blueInk(bent.pixel(150, 90)));
    EXPECT_FALSE(blueInk(bent.pixel(150, 150)));
}

TEST(DrawScene, LengthHasTicksOnlyAndRulerAlsoItsLabel)
{
    Annotation length = element(AnnotationTool::length, {50, 150}, {250, 150});
    length.strokeWidth = 2;
    Annotation ruler = length;
    ruler.kind = AnnotationTool::ruler;
    const QRectF pill = ruler.rulerLabelRect();
    const QPoint inPill(static_cast<int>(pill.left() + 3), static_cast<int>(pill.center().y()));
    const QRect text = pill.toAlignedRect().adjusted(8, 5, -8, -5);

    const QImage measured = drawn(canvas(300, 200), {length});
    // Ticks of half-length max(3 w, 10) across each end, no label.
    EXPECT_NEAR(boundsWhere(measured, blueInk, QRect(40, 100, 20, 100)).height(), 20 + 2, 1.5);
    EXPECT_NEAR(boundsWhere(measured, blueInk, QRect(240, 100, 20, 100)).height(), 20 + 2, 1.5);
    EXPECT_EQ(qGray(measured.pixel(inPill)), 255);

    // White text on the blue pill; a white pill gets black text.
    const QImage labelled = drawn(canvas(300, 200), {ruler});
    EXPECT_TRUE(near(labelled.pixel(inPill), Theme::colors()[0], 8));
    EXPECT_GT(countWhere(labelled, [](QRgb c) { return qGray(c) > 230; }, text), 20);
    ruler.colorIndex = 4;
    EXPECT_GT(countWhere(drawn(canvas(300, 200, Qt::darkGray), {ruler}), dark, text), 20);
}

TEST(DrawScene, PencilDotSegmentPolylineAndTheDefaultStrokeWidth)
{
    Annotation dot = element(AnnotationTool::pencil);
    dot.points = {{60, 60}};
    dot.strokeWidth = 10;
    QRect bounds = boundsWhere(drawn(canvas(120, 120), {dot}), notWhite);
    EXPECT_NEAR(bounds.width(), 10, 1.5);
    EXPECT_NEAR(bounds.height(), 10, 1.5);

    Annotation segment = element(AnnotationTool::pencil, {20, 60}, {100, 60});
    segment.strokeWidth = 4;
    bounds = boundsWhere(drawn(canvas(120, 120), {segment}), notWhite);
    EXPECT_NEAR(bounds.width(), 84, 1.5);
    EXPECT_NEAR(bounds.height(), 4, 1.5);

    Annotation stroke = segment;
    stroke.points = {{10, 10}, {100, 10}, {100, 100}};
    const QImage image = drawn(canvas(120, 120), {stroke});
    EXPECT_TRUE(blueInk(image.pixel(55, 10)));
    EXPECT_TRUE(blueInk(image.pixel(100, 55)));
    EXPECT_FALSE(blueInk(image.pixel(55, 55))); // joined in order, not closed

    // Without a width the size unit max(width / 300, 3) is used: 6 px on 1800 px, 3 on 400.
    Annotation rect = element(AnnotationTool::rectangle, {100, 100}, {300, 200});
    EXPECT_NEAR(boundsWhere(drawn(canvas(1800, 300), {rect}), notWhite, QRect(180, 80, 40, 40)).height(), 6, 1.5);
    EXPECT_NEAR(boundsWhere(drawn(canvas(400, 300), {rect}), notWhite, QRect(180, 80, 40, 40)).height(), 3, 1.5);
}

TEST(DrawScene, BlurDrawsItsResultOtherwiseADashedPlaceholderInPixelsWithinTheImageFrame)
{
    const Annotation blur = element(AnnotationTool::blur, {40, 40}, {240, 140});
    auto args = arguments(canvas(300, 200), {blur});
    FakeEffects effects;
    args.effects = &effects;
    const QImage pending = drawn(canvas(300, 200), args);
    EXPECT_EQ(effects.lookups, 1);
    // Qt counts dashes in pen widths; this 2 px line must show 6 px on, 4 px off.
    // It is centred on y = 40, so row 39 lies wholly inside it.
    const Dashes dashes = dashesAlongRow(pending, 39, 45, 235, accent);
    ASSERT_GE(dashes.count, 10u);
    EXPECT_NEAR(dashes.on, 6, 1);
    EXPECT_NEAR(dashes.off, 4, 1);
    EXPECT_EQ(qGray(pending.pixel(140, 90)), 255); // inside untouched

    effects.fail(blur);
    EXPECT_EQ(drawn(canvas(300, 200), args), pending);

    effects.succeed(blur, Qt::magenta);
    const QImage ready = drawn(canvas(300, 200), args);
    EXPECT_EQ(boundsWhere(ready, [](QRgb c) { return near(c, Qt::magenta); }), QRect(40, 40, 200, 100));
    EXPECT_EQ(countWhere(ready, accent), 0);

    // Without an engine an area blur shows the blurred copy; other modes the placeholder.
    Annotation area = element(AnnotationTool::blur, {40, 40}, {140, 140});
    args = arguments(canvas(300, 200), {area});
    args.blurred = canvas(300, 200, Qt::green);
    auto green = [](QRgb c) { return near(c, Qt::green); };
    EXPECT_EQ(boundsWhere(drawn(canvas(300, 200), args), green), QRect(40, 40, 100, 100));
    args.annotations[0].blurMode = BlurMode::pixelate;
    const QImage pixelate = drawn(canvas(300, 200), args);
    EXPECT_EQ(countWhere(pixelate, green), 0);
    EXPECT_GT(countWhere(pixelate, accent), 100);

    // A blur outside the image frame draws nothing; one across its edge is clipped to it.
    args = arguments(canvas(300, 200), {element(AnnotationTool::blur, {320, 20}, {380, 80}),
                                        element(AnnotationTool::blur, {250, 50}, {350, 150})});
    args.effects = &effects;
    const QImage image = drawn(canvas(400, 200), args);
    EXPECT_EQ(countWhere(image, accent, QRect(302, 0, 98, 200)), 0);
    EXPECT_GT(countWhere(image, accent, QRect(240, 40, 60, 120)), 50);
}

namespace {

// A 10 × 10 red image layer at (95, 95), a comment beside it, a 2× magnifier of the
// 40 × 40 area around them with its lens at (200, 60), and a green layer drawn above it.
struct MagnifierScene {
    Annotation square = imageLayer(QRectF(95, 95, 10, 10), Qt::red);
    Annotation comment = commentAt({85, 85});
    Annotation lens = element(AnnotationTool::magnifier, {200, 60}, {280, 140});
    Annotation above = imageLayer(QRectF(110, 82, 8, 8), Qt::green);
    LayerSampleCache samples;
    const QRect inLens{205, 65, 70, 70};

    MagnifierScene()
    {
        lens.magnifierSource = QRectF(80, 80, 40, 40);
        lens.strokeWidth = 2;
    }
    QImage draw(QVector<Annotation> list, EffectLookup* effects = nullptr)
    {
        auto a = arguments(canvas(320, 220), std::move(list));
        a.showMarkers = true;
        a.label = "A";
        a.samples = &samples;
        a.effects = effects;
        return drawn(canvas(320, 220), a);
    }
};

} // namespace

TEST(DrawScene, MagnifierShowsTheLayersBelowScaledButNoBadgesNorItselfNorLaterElements)
{
    MagnifierScene s;
    const QImage image = s.draw({s.square, s.comment, s.lens, s.above});
    // The red square, twice its size, at the lens centre.
    const QRect red = boundsWhere(image, [](QRgb c) { return qGreen(c) < 128; }, s.inLens);
    EXPECT_NEAR(red.width(), 20, 1);
    EXPECT_NEAR(red.height(), 20, 1);
    EXPECT_NEAR(red.center().x(), 240, 1);
    EXPECT_NEAR(red.center().y(), 100, 1);
    // The comment's badge is on the picture but not in the lens, nor is the element above.
    EXPECT_TRUE(markerColour(image.pixel(85, 85)));
    EXPECT_EQ(countWhere(image, [](QRgb c) { return near(c, Theme::marker(), 40); }, s.inLens), 0);
    EXPECT_EQ(countWhere(image, [](QRgb c) { return near(c, Qt::green, 60); }, s.inLens), 0);
    // Lens ring and source ring in the element colour, joined by the connector.
    EXPECT_TRUE(blueInk(image.pixel(240, 60)));
    EXPECT_TRUE(blueInk(image.pixel(100, 120)));
    EXPECT_TRUE(blueInk(image.pixel(160, 100)));
    // The sample is the picture with the elements below, kept for the next repaint.
    s.draw({s.square, s.comment, s.lens, s.above});
    ASSERT_EQ(s.samples.size(), 1u);
    EXPECT_NE(s.samples.find({s.square}), nullptr);
}

TEST(DrawScene, MagnifierOverItsOwnRingAndWithoutSource)
{
    // Part of the lens ring lies in the source; were the lens in its own sample, that arc
    // would appear magnified near the lens centre.
    Annotation lens = element(AnnotationTool::magnifier, {60, 60}, {140, 140});
    lens.magnifierSource = QRectF(50, 50, 40, 40);
    lens.strokeWidth = 3;
    const QImage image = drawn(canvas(200, 200), {lens});
    EXPECT_EQ(countWhere(image, blueInk, QRect(85, 85, 30, 30)), 0);
    EXPECT_TRUE(blueInk(image.pixel(100, 60)));

    // Without a source only the ring; without a height nothing.
    lens.magnifierSource.reset();
    const QImage ring = drawn(canvas(200, 200), {lens});
    EXPECT_TRUE(blueInk(ring.pixel(100, 60)));
    EXPECT_EQ(countWhere(ring, blueInk, QRect(80, 80, 40, 40)), 0);
    const Annotation flat = element(AnnotationTool::magnifier, {50, 50}, {150, 50});
    EXPECT_EQ(drawn(canvas(200, 200), {flat}), canvas(200, 200));
}

TEST(DrawScene, MagnifiedBlurIsSampledOncePerDrawAndShowsItsResultOnceTheCacheIsCleared)
{
    MagnifierScene s;
    const Annotation blur = element(AnnotationTool::blur, {85, 85}, {115, 115});
    FakeEffects effects;
    auto magentaInLens = [&] {
        return boundsWhere(s.draw({blur, s.lens}, &effects), [](QRgb c) { return qRed(c) > 128 && qGreen(c) < 128 && qBlue(c) > 128; }, s.inLens);
    };
    // Twelve stacked magnifiers: each sample is drawn once per draw, whether the
    // blur below is pending (never kept) or final (kept, but more than the cache holds).
    QVector<Annotation> stacked{blur};
    for (int i = 0; i < 12; ++i) {
        stacked.append(s.lens);
        stacked.back().id = QUuid::createUuid();
    }
    for (bool final : {false, true}) {
        FakeEffects counted;
        if (final)
            counted.fail(blur);
        s.draw(stacked, &counted);
        EXPECT_LE(counted.lookups, 13) << final;
        s.samples.clear();
    }
    // Pending: the placeholder is magnified, and such a sample is not kept.
    EXPECT_GT(countWhere(s.draw({blur, s.lens}, &effects), accent, s.inLens), 20);
    EXPECT_EQ(s.samples.size(), 0u);
    // A failure looks the same but is final, so its sample is kept...
    effects.fail(blur);
    s.draw({blur, s.lens}, &effects);
    EXPECT_EQ(s.samples.size(), 1u);
    // ...and still shown when a result replaces it, until the cache is cleared as the
    // canvas does when an effect result arrives.
    effects.succeed(blur, Qt::magenta);
    EXPECT_TRUE(magentaInLens().isEmpty());
    s.samples.clear();
    EXPECT_NEAR(magentaInLens().width(), 60, 1);
}

TEST(LayerSampleCache, MatchesWholePrefixesAndDropsTheLeastRecentlyUsed)
{
    const Annotation a = element(AnnotationTool::arrow), b = element(AnnotationTool::rectangle);
    LayerSampleCache cache;
    EXPECT_EQ(cache.find({}), nullptr);
    cache.insert({a}, canvas(1, 1, Qt::red));
    EXPECT_EQ(cache.find({a, b}), nullptr); // a longer list is another prefix
    EXPECT_EQ(cache.find({b}), nullptr);
    cache.insert({a}, canvas(1, 1, Qt::green)); // replaces, does not add
    EXPECT_EQ(cache.size(), 1u);
    ASSERT_NE(cache.find({a}), nullptr);
    EXPECT_EQ(cache.find({a})->pixel(0, 0), qRgb(0, 255, 0));

    QVector<QVector<Annotation>> others;
    for (int i = 1; i <= 4; ++i)
        others.append(QVector<Annotation>(i, element(AnnotationTool::pencil)));
    for (int i = 0; i < 3; ++i)
        cache.insert(others[i], canvas(1, 1));
    ASSERT_EQ(cache.size(), LayerSampleCache::capacity);
    EXPECT_NE(cache.find({a}), nullptr); // a hit becomes the most recent
    cache.insert(others[3], canvas(1, 1));
    EXPECT_EQ(cache.size(), LayerSampleCache::capacity);
    EXPECT_EQ(cache.find(others[0]), nullptr);
    EXPECT_NE(cache.find({a}), nullptr);
    cache.clear();
    EXPECT_EQ(cache.find({a}), nullptr);
}

TEST(DrawScene, CommentBadgesAreNumberedInOrderWithOneCornerBadgeInTheMarkerFrame)
{
    const QImage picture = canvas(1000, 400);
    const Annotation first = commentAt({300, 200});
    Annotation second = commentAt({600, 200});
    second.customColor = SampledColor{20, 160, 60, 255};
    const Annotation rect = element(AnnotationTool::rectangle, {280, 180}, {320, 220});
    auto args = arguments(picture, {first, rect, second});
    args.label = "B";
    args.showMarkers = true;
    const QImage image = drawn(picture, args);

    // Badges go over the elements, in their colours; diameter 44 for a 1000 px frame.
    EXPECT_TRUE(markerColour(image.pixel(283, 200)));
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
    EXPECT_TRUE(markerColour(image.pixel(17, 17))); // a rounded square reaches further than a circle
    const QRect corner = boundsWhere(image, [](QRgb c) { return qAlpha(c) == 255 && markerColour(c); }, QRect(0, 0, 100, 100));
    EXPECT_NEAR(corner.center().x(), 35.2, 1);
    EXPECT_NEAR(corner.center().y(), 35.2, 1);

    // No corner badge without comments, no badge at all without markers.
    args.annotations = {rect};
    EXPECT_EQ(countWhere(drawn(picture, args), [](QRgb c) { return near(c, Theme::marker(), 20); }), 0);
    args.annotations = {first};
    args.showMarkers = false;
    EXPECT_EQ(drawn(picture, args), picture);

    // The corner badge sits in the marker frame, whose width sets every badge's size: D = 55.6 here.
    const QImage wide = canvas(2400, 600);
    args = arguments(wide, {commentAt({1200, 300})});
    args.showMarkers = true;
    args.markerFrame = QRectF(200, 100, 2000, 400);
    const QImage framed = drawn(wide, args);
    const QRect inFrame = boundsWhere(framed, markerColour, QRect(150, 50, 150, 150));
    EXPECT_NEAR(inFrame.center().x(), 200 + 0.8 * 2000 / 36.0, 1);
    EXPECT_NEAR(inFrame.center().y(), 100 + 0.8 * 2000 / 36.0, 1);
    EXPECT_NEAR(boundsWhere(framed, [](QRgb c) { return qBlue(c) < 160; }, QRect(1150, 250, 100, 100)).width(), 2000 / 36.0, 1);
}

TEST(DrawScene, SelectionHandlesAndDashesKeepTheirScreenSize)
{
    const QImage picture = canvas(200, 200);
    const Annotation layer = imageLayer(QRectF(50, 50, 100, 100), Qt::white);
    auto args = arguments(picture, {layer});
    args.selectedID = layer.id;
    auto handleWidth = [&](double scale) {
        args.selectionScale = scale;
        return boundsWhere(drawn(picture, args), notWhite, QRect(30, 30, 40, 40)).width();
    };
    EXPECT_NEAR(handleWidth(1), 2 * 5 + 1.5, 1.5); // radius 5, ring 1.5
    EXPECT_NEAR(handleWidth(4), 2 * 1.25 + 0.375, 1.5);
    // The canvas draws zoomed: at zoom 4 with scale 4 the handles are 5 px on screen.
    args.selectionScale = 4;
    EXPECT_NEAR(boundsWhere(drawnZoomed(args, 4), notWhite, QRect(170, 170, 60, 60)).width(), 11.5, 1.5);
    // Scale 0 is taken as 0.001: huge white discs, nothing breaks.
    args.selectionScale = 0;
    EXPECT_EQ(qGray(drawn(picture, args).pixel(5, 5)), 255);

    const Annotation blur = element(AnnotationTool::blur, {10, 10}, {90, 90});
    args = arguments(canvas(100, 100), {blur});
    args.selectedID = blur.id;
    args.selectionScale = 4;
    FakeEffects effects;
    effects.succeed(blur, Qt::black);
    args.effects = &effects;
    // A selected blur's outline, zoomed 4×: white dashes 5 on, 4 off, 1.5 px wide on screen,
    // over the black effect just inside its edge.
    const Dashes dashes = dashesAlongRow(drawnZoomed(args, 4), 40, 70, 330, [](QRgb c) { return qGray(c) > 128; });
    ASSERT_GE(dashes.count, 10u);
    EXPECT_NEAR(dashes.on, 5, 1);
    EXPECT_NEAR(dashes.off, 4, 1);
}

TEST(DrawScene, SelectionFramesOfCommentsAndHighlighters)
{
    const QImage black = canvas(300, 300, Qt::black);
    auto frameWidth = [&](const Annotation& a, int level) {
        auto args = arguments(black, {a});
        args.selectedID = a.id;
        return boundsWhere(drawn(black, args), [&](QRgb c) { return qGray(c) > level; }).width();
    };
    // A comment's frame is its badge square of side 44 outset by 2 w = 4, in 1 px white dashes.
    Annotation comment = commentAt({150, 150});
    comment.strokeWidth = 2;
    EXPECT_NEAR(frameWidth(comment, 60), 52 + 1, 1.5);
    // A highlighter's is outset by half its width: 100 + 2 × (10 + 2), plus the 1.5 px line.
    Annotation marker = element(AnnotationTool::highlighter);
    marker.points = {{100, 150}, {200, 150}};
    marker.strokeWidth = 20;
    marker.colorIndex = 5;
    EXPECT_NEAR(frameWidth(marker, 128), 124 + 1.5, 1.5);
}

TEST(DrawScene, PictureIsCopiedIntoTheImageFrameAndFailingLayersAreSkipped)
{
    const QImage picture = canvas(50, 40, QColor(0, 0, 255, 128));
    auto args = arguments(picture, {});
    args.imageFrame = QRectF(10, 20, 50, 40);
    const QImage image = drawn(canvas(100, 100), args);
    // Copied, not blended: the translucent blue replaces the white.
    EXPECT_EQ(image.pixel(10, 20), picture.pixel(0, 0));
    EXPECT_EQ(image.pixel(9, 20), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(59, 59), picture.pixel(49, 39));
    EXPECT_EQ(image.pixel(60, 60), qRgb(255, 255, 255));

    // Image layers that cannot be drawn are skipped; the rest draws.
    Annotation broken = element(AnnotationTool::image, {10, 10}, {60, 60});
    Annotation empty = imageLayer(QRectF(10, 10, 10, 10), Qt::red);
    empty.end = {60, 60};
    empty.imageCrop = QRectF(50, 50, 10, 10);
    const Annotation rect = element(AnnotationTool::rectangle, {100, 100}, {150, 150});
    const QImage skipped = drawn(canvas(200, 200), {broken, empty, rect});
    EXPECT_EQ(countWhere(skipped, notWhite, QRect(0, 0, 80, 80)), 0);
    EXPECT_GT(countWhere(skipped, blueInk), 100);
}

TEST(DrawScene, NonFiniteAndHugeInputDrawsWhatItCanAndReturns)
{
    QVector<Annotation> list;
    for (AnnotationTool kind : {AnnotationTool::arrow, AnnotationTool::rectangle, AnnotationTool::ellipse,
                                AnnotationTool::comment, AnnotationTool::blur, AnnotationTool::length,
                                AnnotationTool::pencil, AnnotationTool::text, AnnotationTool::magnifier,
                                AnnotationTool::image, AnnotationTool::ruler, AnnotationTool::highlighter}) {
        for (double bad : {double(NAN), double(INFINITY), 1e300, -1.7e308, -1e12}) {
            // Bad coordinates, bad sizes, and finite ends whose differences overflow.
            Annotation a = element(kind, {bad, 10}, {20, bad}), sized = element(kind, {10, 10}, {200, 150}),
                       huge = element(kind, {-1.7e308, -1.7e308}, {1.7e308, 1.7e308});
            a.text = huge.text = "x";
            a.points = {{bad, 1}, {2, 2}};
            huge.points = {{-1.7e308, 0}, {1.7e308, 0}};
            a.magnifierSource = QRectF(0, 0, bad, 5);
            huge.magnifierSource = QRectF(-1.7e308, 0, 1.7e308, 10);
            a.embeddedImage = huge.embeddedImage = solidImage(4, 4, Qt::red);
            huge.bendOffset = QSizeF(1.7e308, 0);
            sized.strokeWidth = sized.fontSize = bad;
            list << a << sized << huge;
        }
    }
    const Annotation visible = element(AnnotationTool::rectangle, {100, 100}, {150, 150});
    list.append(visible);
    auto args = arguments(canvas(300, 200), list);
    args.selectedID = list[0].id;
    args.selectionScale = NAN;
    args.showMarkers = true;
    args.markerFrame = QRectF(0, 0, INFINITY, 10);
    EXPECT_TRUE(blueInk(drawn(canvas(300, 200), args).pixel(125, 100)));

    ScreenshotRenderer::DrawArguments nothing;
    nothing.size = QSizeF(NAN, INFINITY);
    nothing.annotations = {visible};
    nothing.imageFrame = QRectF(0, 0, NAN, 1);
    EXPECT_NO_THROW(drawn(canvas(10, 10), nothing));
}
