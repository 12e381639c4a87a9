// ScreenshotComposition: composed scenes, effect stacks, the one active stack,
// and rounded corners.

#include "CompositionTestSupport.h"

#include "panels/Theme.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QSizeF shotSize(300, 200);

std::shared_ptr<ScreenshotComposition> compositionOf(const QImage& image)
{
    return std::make_shared<ScreenshotComposition>(image, QSizeF(image.size()));
}

// Composes counted across one call.
template <typename Fn>
long composesDuring(Fn&& fn)
{
    const long before = ScreenshotComposition::composeCount();
    fn();
    return ScreenshotComposition::composeCount() - before;
}

} // namespace

TEST(Composition, WithoutLayersOverTheWholeImageTheSceneIsTheBaseImageItself)
{
    const QImage image = canvas(300, 200, Qt::darkCyan);
    auto composition = compositionOf(image);
    const Annotation arrow = arrowElement({10, 10}, {200, 150});
    RenderScene scene;
    EXPECT_EQ(composesDuring([&] { scene = composition->scene({arrow}); }), 0);
    // One buffer: the shot's image, the scene's image and its background.
    EXPECT_EQ(scene.image.constBits(), image.constBits());
    EXPECT_EQ(scene.background.constBits(), image.constBits());
    EXPECT_FALSE(scene.error);
    EXPECT_EQ(composition->cachedScenes(), 0u);
    // A stack is made and activated even for a list without blurs.
    EXPECT_EQ(composition->cachedStacks(), 1u);
    EXPECT_EQ(composition->activeEffects(), scene.effects);
    EXPECT_TRUE(stackOf(scene)->active());
    EXPECT_NE(scene.effects, composition->base().effects);
}

TEST(Composition, LayersAreFlattenedInOrderAndTheBackgroundHasNone)
{
    const QImage image = canvas(300, 200);
    auto composition = compositionOf(image);
    const Annotation red = imageLayer(QRectF(20, 20, 100, 80), Qt::red);
    const Annotation blue = imageLayer(QRectF(60, 40, 100, 80), Qt::blue);
    RenderScene scene;
    EXPECT_EQ(composesDuring([&] { scene = composition->scene({red, arrowElement({0, 0}, {5, 5}), blue}); }), 1);
    EXPECT_EQ(scene.image.pixel(30, 30), qRgb(255, 0, 0));
    EXPECT_EQ(scene.image.pixel(100, 60), qRgb(0, 0, 255)); // the later layer lies on top
    EXPECT_EQ(scene.image.pixel(250, 150), qRgb(255, 255, 255));
    // Over the whole image the background is the base picture's own buffer.
    EXPECT_EQ(scene.background.constBits(), image.constBits());

    // A repaint with the same layers composes nothing, whatever else changed.
    EXPECT_EQ(composesDuring([&] {
                  for (int i = 0; i < 5; ++i)
                      composition->scene({red, arrowElement({0, 0}, {5.0 + i, 5}), blue});
              }),
              0);
}

TEST(Composition, AFrameBeyondTheImageShowsTheCanvasColourAroundTheUntouchedImage)
{
    QImage image = canvas(300, 200, QColor(10, 200, 30));
    paint(image, [](QPainter& p) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(QRect(0, 0, 20, 20), Qt::transparent);
    });
    auto composition = compositionOf(image);
    const QRectF frame(-50, -30, 400, 260);
    const RenderScene scene = composition->scene({}, frame);
    ASSERT_EQ(scene.image.size(), QSize(400, 260));
    const QColor margin = Theme::canvasBackground();
    EXPECT_TRUE(near(scene.image.pixel(10, 10), margin, 1));
    EXPECT_TRUE(near(scene.image.pixel(399, 259), margin, 1));
    EXPECT_EQ(scene.image.pixel(60, 40), qRgba(0, 0, 0, 0)); // transparent image pixels replace the fill
    EXPECT_EQ(scene.image.pixel(50 + 299, 30 + 199), qRgb(10, 200, 30));
    EXPECT_EQ(scene.image.constBits(), scene.background.constBits());
}

TEST(Composition, AFrameUnderOnePixelGivesTheBaseImageWithTheError)
{
    const QImage image = canvas(300, 200);
    auto composition = compositionOf(image);
    for (const QRectF& frame : {QRectF(0, 0, 0.5, 100), QRectF(0, 0, qQNaN(), 100), QRectF(qInf(), 0, 10, 10)}) {
        const RenderScene scene = composition->scene({}, frame);
        ASSERT_TRUE(scene.error);
        EXPECT_EQ(errorText([&] { std::rethrow_exception(scene.error); }), QStringLiteral("Не удалось объединить изображения."));
        EXPECT_EQ(scene.image.constBits(), image.constBits());
        EXPECT_EQ(scene.background.constBits(), image.constBits());
    }
    // The failure is remembered like any scene.
    composition->scene({}, QRectF(0, 0, 0.5, 100));
    EXPECT_EQ(composesDuring([&] { EXPECT_TRUE(composition->scene({}, QRectF(0, 0, 0.5, 100)).error); }), 0);
}

TEST(Composition, TwoScenesAreRememberedAndTheThirdFrameEvictsTheFirst)
{
    auto composition = compositionOf(canvas(300, 200));
    const QRectF a(0, 0, 100, 100), b(10, 0, 100, 100), c(20, 0, 100, 100);
    EXPECT_EQ(composesDuring([&] { composition->scene({}, a); composition->scene({}, b); }), 2);
    EXPECT_EQ(composesDuring([&] { composition->scene({}, a); }), 0); // a hit moves a to the end
    EXPECT_EQ(composesDuring([&] { composition->scene({}, c); }), 1); // evicts b
    EXPECT_EQ(composesDuring([&] { composition->scene({}, a); }), 0);
    EXPECT_EQ(composesDuring([&] { composition->scene({}, b); }), 1);
    EXPECT_EQ(composition->cachedScenes(), 2u);
}

TEST(Composition, StacksFollowTheElementsThroughTheTopmostBlurWithoutComments)
{
    auto composition = compositionOf(canvas(300, 200));
    const Annotation lowArrow = arrowElement({10, 100}, {290, 100});
    const Annotation blur = blurOver(BlurMode::pixelate, QRectF(50, 50, 100, 100));
    const Annotation highArrow = arrowElement({10, 20}, {290, 20});
    Annotation note = commentAt({20, 20});
    const auto effects = composition->scene({note, lowArrow, blur, highArrow}).effects;

    // Moving the arrow above the topmost blur, or editing and adding comments, keeps the stack.
    Annotation movedHigh = highArrow;
    movedHigh.start = {30, 40};
    EXPECT_EQ(composition->scene({note, lowArrow, blur, movedHigh}).effects, effects);
    note.text = QStringLiteral("другой текст");
    EXPECT_EQ(composition->scene({note, lowArrow, blur, movedHigh, commentAt({5, 5})}).effects, effects);
    EXPECT_EQ(composition->cachedStacks(), 1u);

    // Moving the arrow below the blur makes a new stack, which becomes the active one.
    Annotation movedLow = lowArrow;
    movedLow.end = {200, 150};
    const RenderScene other = composition->scene({note, movedLow, blur, highArrow});
    EXPECT_NE(other.effects, effects);
    EXPECT_TRUE(stackOf(other)->active());
    EXPECT_FALSE(std::dynamic_pointer_cast<LayerEffectStack>(effects->ordered())->active());
    EXPECT_EQ(composition->activeEffects(), other.effects);

    // Asking again for the same list changes nothing.
    EXPECT_EQ(composition->scene({note, movedLow, blur, highArrow}).effects, other.effects);
    EXPECT_TRUE(stackOf(other)->active());
}

TEST(Composition, FourStacksAreRememberedAndTheFifthKeyEvictsTheFirst)
{
    auto composition = compositionOf(canvas(300, 200));
    QVector<QVector<Annotation>> lists;
    for (int i = 0; i < 5; ++i)
        lists.push_back({blurOver(BlurMode::pixelate, QRectF(10 + i, 10, 50, 50))});
    std::vector<std::weak_ptr<ScreenshotEffects>> made;
    for (int i = 0; i < 4; ++i)
        made.push_back(composition->scene(lists[i]).effects);
    EXPECT_EQ(composition->scene(lists[0]).effects, made[0].lock()); // a hit; list 1 is now the oldest
    made.push_back(composition->scene(lists[4]).effects);
    EXPECT_EQ(composition->cachedStacks(), 4u);
    EXPECT_TRUE(made[1].expired()); // evicted and gone
    EXPECT_EQ(composition->scene(lists[0]).effects, made[0].lock());
    // Exactly one stack is active among those remembered.
    int active = 0;
    for (const auto& weak : made)
        if (auto alive = weak.lock())
            active += std::dynamic_pointer_cast<LayerEffectStack>(alive->ordered())->active() ? 1 : 0;
    EXPECT_EQ(active, 1);
}

TEST(Composition, MovingAnArrowAboveTheTopBlurRecomputesNothingWhileEditingComments)
{
    const Annotation blur = blurOver(BlurMode::pixelate, QRectF(40, 40, 120, 80));
    const Annotation arrow = arrowElement({10, 60}, {290, 60});
    Screenshot shot = shotOf(busyImage(300, 200), {blur, arrow, commentAt({100, 100})});
    drawnOnCanvas(shot);

    Annotation moved = arrow;
    moved.end = {200, 190};
    Annotation edited = shot.annotations[2];
    edited.text = QStringLiteral("исправлено");
    const RenderScene scene = shot.composition->scene({edited, blur, moved});
    // The result is there at once: no job had to run again.
    const std::optional<EffectResult> result = scene.effects->cached(blur);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->ok());
}

TEST(RoundedImage, OnlyTheFourCornersOfTheFrameBecomeTransparent)
{
    const QImage image = canvas(300, 200, QColor(200, 40, 40));
    const QRectF frame(50, 40, 200, 120);
    const QImage rounded = ScreenshotComposition::roundedImage(image, shotSize, 30, frame);
    ASSERT_EQ(rounded.size(), QSize(300, 200));
    auto clear = [](QRgb c) { return qAlpha(c) < 128; };
    // Each corner of the frame loses a quarter-circle's outside: r² (1 − π/4) ≈ 193 pixels.
    const int corners = countWhere(rounded, clear);
    EXPECT_NEAR(corners, 4 * 193, 40);
    for (const QPoint& p : {QPoint(51, 41), QPoint(248, 41), QPoint(51, 158), QPoint(248, 158)})
        EXPECT_TRUE(clear(rounded.pixel(p)));
    EXPECT_EQ(countWhere(rounded, clear, QRect(60, 50, 180, 100).adjusted(20, 0, -20, 0)), 0);
    // Everything outside the frame stays as it was, right up to its corners.
    for (const QPoint& p : {QPoint(49, 39), QPoint(0, 0), QPoint(250, 160), QPoint(299, 199), QPoint(51, 39)})
        EXPECT_EQ(rounded.pixel(p), image.pixel(p));
    EXPECT_EQ(countWhere(rounded, [](QRgb c) { return qAlpha(c) < 255; }, QRect(0, 0, 300, 40)), 0);
}

TEST(RoundedImage, RadiusZeroKeepsThePictureAndALargeRadiusMakesACircle)
{
    const QImage image = busyImage(300, 200).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(ScreenshotComposition::roundedImage(image, shotSize, 0, std::nullopt), image);
    EXPECT_EQ(ScreenshotComposition::roundedImage(image, shotSize, qQNaN(), std::nullopt), image);

    const QImage circle = ScreenshotComposition::roundedImage(image, shotSize, 1000, QRectF(100, 50, 100, 100));
    auto clear = [](QRgb c) { return qAlpha(c) < 128; };
    EXPECT_TRUE(clear(circle.pixel(110, 60)));     // 56 px from the centre along the diagonal
    EXPECT_FALSE(clear(circle.pixel(150, 52)));    // the top of the circle
    EXPECT_FALSE(clear(circle.pixel(102, 100)));   // its left
    EXPECT_NEAR(countWhere(circle, clear), 10000 - 7854, 60);

    EXPECT_EQ(errorText([&] { ScreenshotComposition::roundedImage(image, QSizeF(0, 200), 10, std::nullopt); }),
              QStringLiteral("Не удалось скруглить углы снимка."));
    EXPECT_EQ(errorText([&] { ScreenshotComposition::roundedImage(QImage(), shotSize, 10, std::nullopt); }),
              QStringLiteral("Не удалось скруглить углы снимка."));
}
