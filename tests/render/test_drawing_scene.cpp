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

TEST(DrawScene, ArrowsPencilsAndMeasures)
{
    Annotation arrow = element(AnnotationTool::arrow, {50, 100}, {250, 100});
    arrow.strokeWidth = 4;
    const QImage straight = drawn(canvas(300, 200), {arrow});
    // An open chevron: wings above and below the tip, nothing between wing and shaft.
    EXPECT_FALSE(boundsWhere(straight, blueInk, QRect(200, 0, 100, 95)).isEmpty());
    EXPECT_FALSE(boundsWhere(straight, blueInk, QRect(200, 105, 100, 95)).isEmpty());
    EXPECT_EQ(qGray(straight.pixel(237, 96)), 255);
    // A bent arrow passes through its middle handle.
    arrow.bendOffset = {0, -60};
    const QImage bent = drawn(canvas(300, 200), {arrow});
    EXPECT_TRUE(blueInk(bent.pixel(150, 40)));
    EXPECT_FALSE(blueInk(bent.pixel(150, 100)));

    Annotation stroke = element(AnnotationTool::pencil, {10, 10}, {100, 100});
    stroke.strokeWidth = 4;
    stroke.points = {{10, 10}, {100, 10}, {100, 100}};
    const QImage pencil = drawn(canvas(120, 120), {stroke});
    EXPECT_TRUE(blueInk(pencil.pixel(55, 10)));
    EXPECT_TRUE(blueInk(pencil.pixel(100, 55)));
    EXPECT_FALSE(blueInk(pencil.pixel(55, 55))); // joined in order, not closed

    // A length has ticks and no label; a ruler also its label, white on the blue pill.
    Annotation length = element(AnnotationTool::length, {50, 150}, {250, 150});
    length.strokeWidth = 2;
    Annotation ruler = length;
    ruler.kind = AnnotationTool::ruler;
    const QRect text = ruler.rulerLabelRect().toAlignedRect().adjusted(8, 5, -8, -5);
    auto white = [](QRgb c) { return qGray(c) > 230; };
    const QImage measured = drawn(canvas(300, 200, Qt::darkGray), {length});
    EXPECT_GT(countWhere(measured, blueInk, QRect(40, 130, 20, 15)), 0);
    EXPECT_EQ(countWhere(measured, [](QRgb c) { return qGray(c) != qGray(QColor(Qt::darkGray).rgb()); }, text), 0);
    EXPECT_GT(countWhere(drawn(canvas(300, 200, Qt::darkGray), {ruler}), white, text), 20);
    ruler.colorIndex = 4; // a white pill gets black text
    EXPECT_GT(countWhere(drawn(canvas(300, 200, Qt::darkGray), {ruler}), dark, text), 20);
}

TEST(DrawScene, BlurDrawsItsResultOtherwiseAPlaceholderWithinTheImageFrame)
{
    const Annotation blur = element(AnnotationTool::blur, {40, 40}, {240, 140});
    auto args = arguments(canvas(300, 200), {blur});
    FakeEffects effects;
    args.effects = &effects;
    const QImage pending = drawn(canvas(300, 200), args);
    EXPECT_GT(countWhere(pending, accent, QRect(40, 35, 200, 10)), 50);
    EXPECT_EQ(qGray(pending.pixel(140, 90)), 255); // inside untouched
    effects.fail(blur);
    EXPECT_EQ(drawn(canvas(300, 200), args), pending);
    effects.succeed(blur, Qt::magenta);
    const QImage ready = drawn(canvas(300, 200), args);
    EXPECT_EQ(boundsWhere(ready, [](QRgb c) { return near(c, Qt::magenta); }), QRect(40, 40, 200, 100));
    EXPECT_EQ(countWhere(ready, accent), 0);

    // Without an engine an area blur shows the blurred copy; other modes the placeholder.
    args = arguments(canvas(300, 200), {element(AnnotationTool::blur, {40, 40}, {140, 140})});
    args.blurred = canvas(300, 200, Qt::green);
    auto green = [](QRgb c) { return near(c, Qt::green); };
    EXPECT_EQ(boundsWhere(drawn(canvas(300, 200), args), green), QRect(40, 40, 100, 100));
    args.annotations[0].blurMode = BlurMode::pixelate;
    EXPECT_EQ(countWhere(drawn(canvas(300, 200), args), green), 0);

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

TEST(DrawScene, MagnifierShowsTheLayersBelowScaledButNoBadgesNorLaterElements)
{
    MagnifierScene s;
    const QImage image = s.draw({s.square, s.comment, s.lens, s.above});
    // The red square, twice its size, at the lens centre.
    const QRect red = boundsWhere(image, [](QRgb c) { return qGreen(c) < 128; }, s.inLens);
    EXPECT_NEAR(red.width(), 20, 1);
    EXPECT_NEAR(red.center().x(), 240, 1);
    EXPECT_NEAR(red.center().y(), 100, 1);
    // The comment's badge is on the picture but not in the lens, nor is the element above.
    EXPECT_TRUE(markerColour(image.pixel(85, 85)));
    EXPECT_EQ(countWhere(image, [](QRgb c) { return near(c, Theme::marker(), 40); }, s.inLens), 0);
    EXPECT_EQ(countWhere(image, [](QRgb c) { return near(c, Qt::green, 60); }, s.inLens), 0);
    // Lens ring and source ring joined by the connector.
    EXPECT_TRUE(blueInk(image.pixel(240, 60)));
    EXPECT_TRUE(blueInk(image.pixel(100, 120)));
    EXPECT_TRUE(blueInk(image.pixel(160, 100)));
    ASSERT_EQ(s.samples.size(), 1u); // kept for the next repaint
    EXPECT_NE(s.samples.find({s.square}), nullptr);
}

TEST(DrawScene, MagnifiedBlurIsSampledOncePerDrawAndShowsItsResultOnceTheCacheIsCleared)
{
    MagnifierScene s;
    const Annotation blur = element(AnnotationTool::blur, {85, 85}, {115, 115});
    // Twelve stacked magnifiers: each sample is drawn once per draw, more than the cache holds.
    QVector<Annotation> stacked{blur};
    for (int i = 0; i < 12; ++i) {
        stacked.append(s.lens);
        stacked.back().id = QUuid::createUuid();
    }
    FakeEffects counted;
    counted.fail(blur);
    s.draw(stacked, &counted);
    EXPECT_LE(counted.lookups, 13);
    s.samples.clear();

    // Pending: the placeholder is magnified, and such a sample is not kept; a failure is final and kept...
    FakeEffects effects;
    EXPECT_GT(countWhere(s.draw({blur, s.lens}, &effects), accent, s.inLens), 20);
    EXPECT_EQ(s.samples.size(), 0u);
    effects.fail(blur);
    s.draw({blur, s.lens}, &effects);
    EXPECT_EQ(s.samples.size(), 1u);
    // ...until the cache is cleared, as the canvas does when an effect result arrives.
    effects.succeed(blur, Qt::magenta);
    auto magenta = [](QRgb c) { return qRed(c) > 128 && qGreen(c) < 128 && qBlue(c) > 128; };
    EXPECT_EQ(countWhere(s.draw({blur, s.lens}, &effects), magenta, s.inLens), 0);
    s.samples.clear();
    EXPECT_GT(countWhere(s.draw({blur, s.lens}, &effects), magenta, s.inLens), 1000);
}

TEST(LayerSampleCache, MatchesWholePrefixesOnly)
{
    const Annotation a = element(AnnotationTool::arrow), b = element(AnnotationTool::rectangle);
    LayerSampleCache cache;
    cache.insert({a}, canvas(1, 1, Qt::red));
    EXPECT_EQ(cache.find({a, b}), nullptr); // a longer list is another prefix
    cache.insert({a}, canvas(1, 1, Qt::green)); // replaces, does not add
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.find({a})->pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(cache.find({b}), nullptr);
}

TEST(DrawScene, CommentBadgesAreNumberedInOrderOverTheElementsOnlyWithMarkers)
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
    EXPECT_TRUE(markerColour(image.pixel(283, 200))); // over the rectangle
    // Texts "B1" and "B2" in their colours, the same as a lone badge draws them.
    for (auto [text, centre, colour] : {std::tuple{QString("B1"), QPointF(300, 200), Theme::marker()},
                                        {QString("B2"), QPointF(600, 200), QColor(20, 160, 60)}}) {
        QImage lone = picture.copy();
        paint(lone, [&](QPainter& p) { ScreenshotRenderer::drawBadge(p, text, centre, {1000, 400}, false, colour); });
        const QRect box(static_cast<int>(centre.x()) - 15, static_cast<int>(centre.y()) - 12, 30, 24);
        EXPECT_EQ(image.copy(box), lone.copy(box)) << text.toStdString();
    }
    EXPECT_GT(countWhere(image, markerColour, QRect(0, 0, 100, 100)), 500); // the corner badge

    // No corner badge without comments, no badge at all without markers.
    args.annotations = {rect};
    EXPECT_EQ(countWhere(drawn(picture, args), [](QRgb c) { return near(c, Theme::marker(), 20); }), 0);
    args.annotations = {first};
    args.showMarkers = false;
    EXPECT_EQ(drawn(picture, args), picture);
}

TEST(DrawScene, SelectionHandlesKeepTheirScreenSize)
{
    const QImage picture = canvas(200, 200);
    const Annotation layer = imageLayer(QRectF(50, 50, 100, 100), Qt::white);
    auto args = arguments(picture, {layer});
    args.selectedID = layer.id;
    args.selectionScale = 1;
    const int atOne = boundsWhere(drawn(picture, args), notWhite, QRect(30, 30, 40, 40)).width();
    EXPECT_GT(atOne, 4);
    // The canvas draws zoomed: at zoom 4 with scale 4 the handles are as large on screen.
    args.selectionScale = 4;
    EXPECT_NEAR(boundsWhere(drawnZoomed(args, 4), notWhite, QRect(170, 170, 60, 60)).width(), atOne, 1.5);
    args.selectionScale = 0; // taken as tiny, nothing breaks
    EXPECT_EQ(qGray(drawn(picture, args).pixel(5, 5)), 255);
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
    EXPECT_EQ(image.pixel(60, 60), qRgb(255, 255, 255));

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
    for (AnnotationTool kind : allCases<AnnotationTool>()) {
        for (double bad : {double(NAN), double(INFINITY), 1e300, -1.7e308}) {
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
