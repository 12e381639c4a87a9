// ScreenshotComposition and its effect stacks: composed scenes, the one active stack,
// underlays and the bottom-up chain of blurs on the effects queue.

#include "RenderTestSupport.h"


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
    EXPECT_EQ(scene.background.constBits(), image.constBits());

    // Image layers are flattened in order; the background has none and stays the base buffer.
    const Annotation red = imageLayer(QRectF(20, 20, 100, 80), Qt::red);
    const Annotation blue = imageLayer(QRectF(60, 40, 100, 80), Qt::blue);
    EXPECT_EQ(composesDuring([&] { scene = composition->scene({red, arrowElement({0, 0}, {5, 5}), blue}); }), 1);
    EXPECT_EQ(scene.image.pixel(100, 60), qRgb(0, 0, 255)); // the later layer lies on top
    EXPECT_EQ(scene.background.constBits(), image.constBits());
    // A repaint with the same layers composes nothing, whatever else changed.
    EXPECT_EQ(composesDuring([&] { composition->scene({red, arrowElement({0, 0}, {9, 5}), blue}); }), 0);
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
    int notified = 0;
    scene.effects->setObserver(QUuid::createUuid(), [&] { ++notified; });

    scene.effects->prepare(s.list());
    // The lower job waits at the gate, so nothing else can happen meanwhile.
    ASSERT_TRUE(waitUntil([&] { return gate.held->started == 1; }));
    // The upper blur has no underlay until the lower result is stored.
    EXPECT_EQ(stack->engine(s.upper, false), nullptr);
    EXPECT_EQ(s.composition->underlays().size(), 1u);
    gate.open();

    // Each of the two jobs ends with a notice to the stack's observers.
    ASSERT_TRUE(waitUntil([&] { return notified >= 2; }));
    const auto upperEngine = stack->engine(s.upper, false);
    ASSERT_TRUE(upperEngine);
    // The underlay shows the lower blur's result and the arrow drawn over it.
    const std::optional<EffectResult> lowerResult = scene.effects->cached(s.lower);
    ASSERT_TRUE(lowerResult && lowerResult->ok());
    const QImage underlay = upperEngine->image().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(underlay.pixel(50, 50), lowerResult->value().image.convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(10, 10));
    EXPECT_TRUE(dark(underlay.pixel(300, 100)));
    EXPECT_EQ(s.composition->underlays().size(), 2u);
}

TEST(LayerEffects, AnAreaBlurBelowIsComputedAtOnceAndUnderlaysAreSharedWhereThePrefixIsUnchanged)
{
    Layered s;
    s.lower.blurMode = BlurMode::area;
    const RenderScene first = s.composition->scene(s.list());
    first.effects->prepare(s.list());
    // The area blur is done at once, so the next one starts right away.
    EXPECT_TRUE(stackOf(first)->engine(s.lower, false)->storedResult(s.lower).has_value());
    EXPECT_NE(stackOf(first)->engine(s.upper, false), nullptr);
    ASSERT_TRUE(s.settled(first));
    const auto upperEngine = stackOf(first)->engine(s.upper, false);

    // Moving only the top blur keeps its prefix, so its underlay engine.
    const Annotation moved = s.upper.translated(QSizeF(20, 10));
    const RenderScene second = s.composition->scene({s.lower, s.arrow, moved});
    EXPECT_EQ(stackOf(second)->engine(moved, false), upperEngine);

    // Moving the arrow below it changes the prefix: a new underlay, the bottom one stays,
    // and the blur is computed afresh.
    Annotation bent = s.arrow;
    bent.end = {380, 180};
    const RenderScene third = s.composition->scene({s.lower, bent, s.upper});
    const auto newEngine = stackOf(third)->engine(s.upper, false);
    EXPECT_NE(newEngine, upperEngine);
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

    // Switched on again, it goes on from where it stopped.
    EXPECT_EQ(s.composition->scene(s.list()).effects, layered.effects);
    layered.effects->prepare(s.list());
    ASSERT_TRUE(s.settled(layered));
    EXPECT_TRUE(layered.effects->cached(s.upper)->ok());
}
