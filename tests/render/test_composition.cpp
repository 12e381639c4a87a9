// ScreenshotComposition and its effect stacks: composed scenes, the one active stack,
// underlays and the bottom-up chain of blurs on the effects queue, rounded corners.

#include "RenderTestSupport.h"

#include "panels/Theme.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// Two pixelations over a busy picture with an arrow between them.
struct Layered {
    std::shared_ptr<ScreenshotComposition> composition = compositionOf(busyImage(400, 200));
    Annotation lower = blurElement(BlurMode::pixelate, QRectF(40, 40, 120, 80));
    Annotation arrow = arrowElement({20, 100}, {380, 100});
    Annotation upper = blurElement(BlurMode::pixelate, QRectF(100, 60, 160, 96));
    QVector<Annotation> list() const { return {lower, arrow, upper}; }
    bool settled(const RenderScene& scene) const
    {
        return waitUntil([&] { return !scene.effects->readiness(list()).pending; });
    }
};

// Object pixelation held until the test opens the gate; cancellation is not heeded.
struct Gate {
    std::shared_ptr<HeldObjectModes> held = std::make_shared<HeldObjectModes>();
    HookScope scope{held->hooks()};
    Gate() { held->honourCancel = false; }
    void open() { held->released = true; }
};

// Composes counted across one call.
template <typename Fn>
long composesDuring(Fn&& fn)
{
    const long before = ScreenshotComposition::composeCount();
    fn();
    return ScreenshotComposition::composeCount() - before;
}

} // namespace

TEST(Composition, WithoutLayersOverTheWholeImageTheSceneIsTheBaseImageAndLayersAreFlattenedInOrder)
{
    const QImage image = canvas(300, 200, Qt::darkCyan);
    auto composition = compositionOf(image);
    RenderScene scene;
    EXPECT_EQ(composesDuring([&] { scene = composition->scene({arrowElement({10, 10}, {200, 150})}); }), 0);
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

    // Image layers are flattened in order; the background has none and stays the base buffer.
    const Annotation red = imageLayer(QRectF(20, 20, 100, 80), Qt::red);
    const Annotation blue = imageLayer(QRectF(60, 40, 100, 80), Qt::blue);
    EXPECT_EQ(composesDuring([&] { scene = composition->scene({red, arrowElement({0, 0}, {5, 5}), blue}); }), 1);
    EXPECT_EQ(scene.image.pixel(30, 30), qRgb(255, 0, 0));
    EXPECT_EQ(scene.image.pixel(100, 60), qRgb(0, 0, 255)); // the later layer lies on top
    EXPECT_EQ(scene.image.pixel(250, 150), image.pixel(250, 150));
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
    const RenderScene scene = compositionOf(image)->scene({}, QRectF(-50, -30, 400, 260));
    ASSERT_EQ(scene.image.size(), QSize(400, 260));
    EXPECT_TRUE(near(scene.image.pixel(10, 10), Theme::canvasBackground(), 1));
    EXPECT_TRUE(near(scene.image.pixel(399, 259), Theme::canvasBackground(), 1));
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
        EXPECT_EQ(errorOf([&] { std::rethrow_exception(scene.error); }), QStringLiteral("Не удалось объединить изображения."));
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
    const Annotation lowArrow = arrowElement({10, 100}, {290, 100});
    const Annotation blur = blurElement(BlurMode::pixelate, QRectF(40, 40, 120, 80));
    const Annotation highArrow = arrowElement({10, 20}, {290, 20});
    const Annotation note = commentAt({100, 100});
    const Screenshot shot = shotOf(busyImage(300, 200), {note, lowArrow, blur, highArrow});
    drawnOnCanvas(shot);
    const auto composition = shot.composition;
    const auto effects = composition->scene(shot.annotations).effects;

    // Moving the arrow above the topmost blur, or editing and adding comments, keeps the
    // stack and its result: nothing has to be computed again.
    Annotation movedHigh = highArrow;
    movedHigh.end = {200, 190};
    Annotation edited = note;
    edited.text = QStringLiteral("исправлено");
    const RenderScene same = composition->scene({edited, lowArrow, blur, movedHigh, commentAt({5, 5})});
    EXPECT_EQ(same.effects, effects);
    EXPECT_EQ(composition->cachedStacks(), 1u);
    ASSERT_TRUE(same.effects->cached(blur).has_value());
    EXPECT_TRUE(same.effects->cached(blur)->ok());

    // Moving the arrow below the blur makes a new stack, which becomes the active one.
    Annotation movedLow = lowArrow;
    movedLow.end = {200, 150};
    const RenderScene other = composition->scene({note, movedLow, blur, highArrow});
    EXPECT_NE(other.effects, effects);
    EXPECT_FALSE(other.effects->cached(blur).has_value());
    EXPECT_TRUE(stackOf(other)->active());
    EXPECT_FALSE(stackOf(same)->active());
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
        lists.push_back({blurElement(BlurMode::pixelate, QRectF(10 + i, 10, 50, 50))});
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

TEST(RoundedImage, OnlyTheFourCornersOfTheFrameBecomeTransparent)
{
    const QSizeF size(300, 200);
    const QImage image = canvas(300, 200, QColor(200, 40, 40));
    const QImage rounded = ScreenshotComposition::roundedImage(image, size, 30, QRectF(50, 40, 200, 120));
    ASSERT_EQ(rounded.size(), QSize(300, 200));
    auto clear = [](QRgb c) { return qAlpha(c) < 128; };
    // Each corner of the frame loses a quarter-circle's outside: r² (1 − π/4) ≈ 193 pixels.
    EXPECT_NEAR(countWhere(rounded, clear), 4 * 193, 40);
    for (const QPoint& p : {QPoint(51, 41), QPoint(248, 41), QPoint(51, 158), QPoint(248, 158)})
        EXPECT_TRUE(clear(rounded.pixel(p)));
    EXPECT_EQ(countWhere(rounded, clear, QRect(80, 50, 140, 100)), 0);
    // Everything outside the frame stays as it was, right up to its corners.
    for (const QPoint& p : {QPoint(49, 39), QPoint(0, 0), QPoint(250, 160), QPoint(299, 199), QPoint(51, 39)})
        EXPECT_EQ(rounded.pixel(p), image.pixel(p));
    EXPECT_EQ(countWhere(rounded, [](QRgb c) { return qAlpha(c) < 255; }, QRect(0, 0, 300, 40)), 0);

    // Radius zero keeps the picture; a radius beyond half the side makes a circle.
    const QImage busy = busyImage(300, 200).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(ScreenshotComposition::roundedImage(busy, size, 0, std::nullopt), busy);
    EXPECT_EQ(ScreenshotComposition::roundedImage(busy, size, qQNaN(), std::nullopt), busy);
    const QImage circle = ScreenshotComposition::roundedImage(busy, size, 1000, QRectF(100, 50, 100, 100));
    EXPECT_TRUE(clear(circle.pixel(110, 60))); // 56 px from the centre along the diagonal
    EXPECT_FALSE(clear(circle.pixel(150, 52))); // the top of the circle
    EXPECT_FALSE(clear(circle.pixel(102, 100))); // its left
    EXPECT_NEAR(countWhere(circle, clear), 10000 - 7854, 60);

    const QString failure = QStringLiteral("Не удалось скруглить углы снимка.");
    EXPECT_EQ(errorOf([&] { ScreenshotComposition::roundedImage(busy, QSizeF(0, 200), 10, std::nullopt); }), failure);
    EXPECT_EQ(errorOf([&] { ScreenshotComposition::roundedImage(QImage(), size, 10, std::nullopt); }), failure);
}

TEST(LayerEffects, TheChainRunsBottomUpOneBlurAtATimeFromTheSceneBackground)
{
    // The lower blur's job waits at a gate, so the test sees the chain stand still.
    Gate gate;
    Layered s;
    s.lower.blurMode = BlurMode::objectPixelate;
    const RenderScene scene = s.composition->scene(s.list());
    const auto stack = stackOf(scene);
    // The bottom blur works on the scene background itself, without drawing.
    const auto lowerEngine = stack->engine(s.lower, false);
    ASSERT_TRUE(lowerEngine);
    EXPECT_EQ(lowerEngine->image().constBits(), scene.background.constBits());
    EXPECT_FALSE(lowerEngine->ordered());
    int notified = 0;
    scene.effects->setObserver(QUuid::createUuid(), [&] { ++notified; });

    scene.effects->prepare(s.list());
    // The lower job waits at the gate, so nothing else can happen meanwhile.
    ASSERT_TRUE(waitUntil([&] { return gate.held->started == 1; }));
    // The upper blur has no underlay until the lower result is stored.
    EXPECT_EQ(stack->engine(s.upper, false), nullptr);
    EXPECT_FALSE(scene.effects->cached(s.upper).has_value());
    EXPECT_TRUE(scene.effects->readiness({s.upper}).pending);
    EXPECT_EQ(s.composition->underlays().size(), 1u);
    EXPECT_EQ(notified, 0);
    gate.open();

    // Each of the two jobs ends with a notice to the stack's observers.
    ASSERT_TRUE(waitUntil([&] { return notified >= 2; }));
    EXPECT_FALSE(scene.effects->readiness(s.list()).pending);
    const auto upperEngine = stack->engine(s.upper, false);
    ASSERT_TRUE(upperEngine);
    EXPECT_EQ(upperEngine->origin(), QPointF(0, 0));
    // The underlay shows the lower blur's result and the arrow drawn over it.
    const std::optional<EffectResult> lowerResult = scene.effects->cached(s.lower);
    ASSERT_TRUE(lowerResult && lowerResult->ok());
    const QImage underlay = upperEngine->image().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(underlay.pixel(50, 50), lowerResult->value().image.convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(10, 10));
    EXPECT_TRUE(dark(underlay.pixel(300, 100)));
    EXPECT_EQ(s.composition->underlays().size(), 2u);
}

TEST(LayerEffects, AnAreaBlurBelowIsComputedAtOnceSoTheNextOneStartsRightAway)
{
    Layered s;
    s.lower.blurMode = BlurMode::area;
    const RenderScene scene = s.composition->scene(s.list());
    scene.effects->prepare(s.list());
    EXPECT_TRUE(stackOf(scene)->engine(s.lower, false)->storedResult(s.lower).has_value());
    EXPECT_NE(stackOf(scene)->engine(s.upper, false), nullptr);
    ASSERT_TRUE(s.settled(scene));
}

TEST(LayerEffects, UnderlaysAreSharedWhereThePrefixIsUnchanged)
{
    const Layered s;
    const RenderScene first = s.composition->scene(s.list());
    first.effects->prepare(s.list());
    ASSERT_TRUE(s.settled(first));
    const auto upperEngine = stackOf(first)->engine(s.upper, false);

    // Moving only the top blur keeps its prefix, so its underlay engine.
    const Annotation moved = s.upper.translated(QSizeF(20, 10));
    const RenderScene second = s.composition->scene({s.lower, s.arrow, moved});
    ASSERT_NE(second.effects, first.effects);
    EXPECT_EQ(stackOf(second)->engine(moved, false), upperEngine);

    // Moving the arrow below it changes the prefix: a new underlay, the bottom one stays,
    // and the blur is computed afresh.
    Annotation bent = s.arrow;
    bent.end = {380, 180};
    const RenderScene third = s.composition->scene({s.lower, bent, s.upper});
    const auto newEngine = stackOf(third)->engine(s.upper, false);
    ASSERT_TRUE(newEngine);
    EXPECT_NE(newEngine, upperEngine);
    EXPECT_EQ(stackOf(third)->engine(s.lower, false), stackOf(first)->engine(s.lower, false));
    EXPECT_FALSE(third.effects->cached(s.upper).has_value());
}

TEST(LayerEffects, OnlyTheActiveStackPreparesAndCarriesItsChainOn)
{
    Gate gate;
    Layered s;
    s.lower.blurMode = BlurMode::objectPixelate;
    const RenderScene layered = s.composition->scene(s.list());
    layered.effects->prepare(s.list());
    const auto lowerEngine = stackOf(layered)->engine(s.lower, false);

    // Another scene takes over before the lower job ends: the chain stops there.
    const RenderScene other = s.composition->scene({arrowElement({0, 0}, {10, 10}),
                                                    blurElement(BlurMode::pixelate, QRectF(300, 20, 60, 60))});
    EXPECT_FALSE(stackOf(layered)->active());
    gate.open();
    drainEffects();
    ASSERT_TRUE(lowerEngine->storedResult(s.lower).has_value());
    EXPECT_EQ(s.composition->underlays().size(), 1u); // the upper underlay was never rendered
    // An inactive stack ignores prepare.
    layered.effects->prepare(s.list());
    drainEffects();
    EXPECT_EQ(s.composition->underlays().size(), 1u);

    // Switched on again, it goes on from where it stopped.
    EXPECT_EQ(s.composition->scene(s.list()).effects, layered.effects);
    EXPECT_FALSE(stackOf(other)->active());
    layered.effects->prepare(s.list());
    ASSERT_TRUE(s.settled(layered));
    EXPECT_TRUE(layered.effects->cached(s.upper)->ok());
}

TEST(UnderlayCache, EightEnginesByRecencyAndNothingKeptFromAFailedRender)
{
    LayerUnderlayCache cache;
    const QRectF frame(0, 0, 100, 100);
    int renders = 0;
    auto engineOf = [&](const QVector<Annotation>& prefix, const QRectF& at = QRectF(0, 0, 100, 100)) {
        return cache.engine(prefix, at, [&] { ++renders; return canvas(100, 100); }, QSizeF(100, 100));
    };
    QVector<QVector<Annotation>> prefixes;
    for (int i = 0; i < 10; ++i)
        prefixes.push_back({arrowElement({0, 0}, {10.0 + i, 10})});
    std::vector<std::shared_ptr<ScreenshotEffects>> engines;
    for (int i = 0; i < 8; ++i)
        engines.push_back(engineOf(prefixes[i]));
    EXPECT_EQ(engineOf(prefixes[0]), engines[0]); // moves to the end
    EXPECT_EQ(renders, 8);
    engineOf(prefixes[8]); // evicts prefix 1
    EXPECT_EQ(cache.size(), 8u);
    EXPECT_EQ(engineOf(prefixes[0]), engines[0]);
    EXPECT_EQ(renders, 9);
    EXPECT_NE(engineOf(prefixes[1]), engines[1]);
    EXPECT_EQ(renders, 10);
    EXPECT_NE(engineOf(prefixes[0], QRectF(0, 0, 100, 99)), engines[0]); // another frame, another underlay

    const std::size_t before = cache.size();
    EXPECT_THROW(cache.engine(prefixes[9], frame, []() -> QImage { throw TarnwickError::message(QStringLiteral("нет")); },
                              QSizeF(100, 100)),
                 TarnwickError);
    EXPECT_EQ(cache.size(), before);
}
