// ScreenshotRenderer::draw: every kind, blur results, magnifiers, badges and selection,
// measured on rendered pixels.

#include "RenderTestSupport.h"

#include "panels/Theme.h"


using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

bool blueInk(QRgb c) { return qBlue(c) > 150 && qRed(c) < 160 && qGray(c) < 200; }
bool accent(QRgb c) { return near(c, Theme::accent(), 40); }
bool markerColour(QRgb c) { return near(c, Theme::marker(), 10); }

} // namespace

TEST(DrawScene, ArrowsPencilsAndMeasures)
{
    Annotation arrow = element(AnnotationTool::arrow, {50, 100}, {250, 100});
    arrow.strokeWidth = 4;
    const QImage straight = drawn(canvas(300, 200), {arrow});
    EXPECT_FALSE(boundsWhere(straight, blueInk, QRect(200, 0, 100, 95)).isEmpty());
    // An open chevron: wings above and below the tip, nothing between wing and shaft.
    EXPECT_EQ(qGray(straight.pixel(237, 96)), 255);
    // A bent arrow passes through its middle handle.
    arrow.bendOffset = {0, -60};
    const QImage bent = drawn(canvas(300, 200), {arrow});
    EXPECT_TRUE(blueInk(bent.pixel(150, 40)));

    Annotation stroke = element(AnnotationTool::pencil, {10, 10}, {100, 100});
    stroke.strokeWidth = 4;
    stroke.points = {{10, 10}, {100, 10}, {100, 100}};
    const QImage pencil = drawn(canvas(120, 120), {stroke});
    EXPECT_TRUE(blueInk(pencil.pixel(55, 10)));
    EXPECT_FALSE(blueInk(pencil.pixel(55, 55))); // joined in order, not closed

    // A length has ticks and no label; a ruler also its label on the pill.
    Annotation length = element(AnnotationTool::length, {50, 150}, {250, 150});
    length.strokeWidth = 2;
    Annotation ruler = length;
    ruler.kind = AnnotationTool::ruler;
    const QRect text = ruler.rulerLabelRect().toAlignedRect().adjusted(8, 5, -8, -5);
    auto white = [](QRgb c) { return qGray(c) > 230; };
    const QImage measured = drawn(canvas(300, 200, Qt::darkGray), {length});
    EXPECT_GT(countWhere(measured, blueInk, QRect(40, 130, 20, 15)), 0);
    EXPECT_GT(countWhere(drawn(canvas(300, 200, Qt::darkGray), {ruler}), white, text), 20);
}

TEST(DrawScene, BlurDrawsItsResultOtherwiseAPlaceholderWithinTheImageFrame)
{
    const Annotation blur = element(AnnotationTool::blur, {40, 40}, {240, 140});
    auto args = arguments(canvas(300, 200), {blur});
    FakeEffects effects;
    args.effects = &effects;
    const QImage pending = drawn(canvas(300, 200), args);
    EXPECT_GT(countWhere(pending, accent, QRect(40, 35, 200, 10)), 50);
    effects.succeed(blur, Qt::magenta);
    const QImage ready = drawn(canvas(300, 200), args);
    EXPECT_EQ(boundsWhere(ready, [](QRgb c) { return near(c, Qt::magenta); }), QRect(40, 40, 200, 100));

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

TEST(DrawScene, MagnifierShowsTheLayersBelowScaledButNoBadgesNorLaterElementsAndLooksUpABlurOncePerDraw)
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
    // Lens ring joined to the source by the connector.
    EXPECT_TRUE(blueInk(image.pixel(240, 60)));
    EXPECT_TRUE(blueInk(image.pixel(160, 100)));
    ASSERT_EQ(s.samples.size(), 1u); // kept for the next repaint

    // A magnified blur is looked up once per draw.
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
    // Texts "B1" and "B2" in their colours, the same as a lone badge draws them.
    for (auto [text, centre, colour] : {std::tuple{QString("B1"), QPointF(300, 200), Theme::marker()},
                                        {QString("B2"), QPointF(600, 200), QColor(20, 160, 60)}}) {
        QImage lone = picture.copy();
        paint(lone, [&](QPainter& p) { ScreenshotRenderer::drawBadge(p, text, centre, {1000, 400}, false, colour); });
        const QRect box(static_cast<int>(centre.x()) - 15, static_cast<int>(centre.y()) - 12, 30, 24);
        EXPECT_EQ(image.copy(box), lone.copy(box)) << text.toStdString();
    }
}

TEST(DrawScene, PictureIsCopiedIntoTheImageFrameAndNonFiniteInputDrawsWhatItCan)
{
    const QImage picture = canvas(50, 40, QColor(0, 0, 255, 128));
    auto args = arguments(picture, {});
    args.imageFrame = QRectF(10, 20, 50, 40);
    const QImage image = drawn(canvas(100, 100), args);
    // Copied, not blended: the translucent blue replaces the white.
    EXPECT_EQ(image.pixel(10, 20), picture.pixel(0, 0));

    // Non-finite input draws what it can and returns.
    QVector<Annotation> list;
    for (AnnotationTool kind : allCases<AnnotationTool>()) {
        Annotation a = element(kind, {double(NAN), 10}, {20, 1.7e308});
        a.text = "x";
        a.points = {{-1.7e308, 1}, {1.7e308, 2}};
        a.magnifierSource = QRectF(0, 0, INFINITY, 5);
        a.embeddedImage = solidImage(4, 4, Qt::red);
        a.strokeWidth = a.fontSize = NAN;
        list << a;
    }
    list.append(element(AnnotationTool::rectangle, {100, 100}, {150, 150}));
    args = arguments(canvas(300, 200), list);
    args.selectedID = list[0].id;
    args.selectionScale = NAN;
    args.showMarkers = true;
    EXPECT_TRUE(blueInk(drawn(canvas(300, 200), args).pixel(125, 100)));
}
