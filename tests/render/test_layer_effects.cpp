// Effect stacks: underlay engines, the bottom-up chain on the effects queue,
// recorded errors, activation and the shared underlay cache.

#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

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

// Object pixelation whose jobs wait until the test opens the gate, so a test can
// look at a chain standing still; the pixels are the plain pixelation's.
class GatedObjectPixelation {
public:
    GatedObjectPixelation() : scope_(hooks()) {}
    void open() { open_ = true; }

private:
    LocalEffectHooks hooks()
    {
        LocalEffectHooks h;
        h.objectPixelate = [this](const QImage& image, const QRectF& rect, double block, const CancellationTest&) {
            // Polls without running events: this is the effects queue's thread.
            for (int i = 0; i < 20000 && !open_; ++i)
                QThread::msleep(1);
            return BlurEffect{pixelatedCrop(image.copy(rect.toRect()), block), rect, std::nullopt};
        };
        return h;
    }
    std::atomic<bool> open_{false};
    HookScope scope_;
};

} // namespace

TEST(LayerEffects, TheChainRunsBottomUpOneBlurAtATimeFromTheSceneBackground)
{
    // The lower blur's job waits at a gate, so the test sees the chain stand still.
    GatedObjectPixelation gate;
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
    settle(150);
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

TEST(LayerEffects, ALowerFailureIsRecordedForTheBlursAboveIt)
{
    auto composition = compositionOf(busyImage(200, 100));
    const Annotation erase = blurElement(BlurMode::erase, QRectF(0, 0, 200, 100));
    const Annotation pixelate = blurElement(BlurMode::pixelate, QRectF(20, 20, 40, 40));
    const RenderScene scene = composition->scene({erase, pixelate});
    const auto stack = stackOf(scene);
    scene.effects->prepare({erase, pixelate});
    ASSERT_TRUE(waitUntil([&] { return stack->preparationError(pixelate.id) != nullptr; }));
    const QString failure = errorOf([&] { std::rethrow_exception(stack->preparationError(pixelate.id)); });
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_EQ(scene.effects->readiness({erase, pixelate}), (EffectReadiness{false, true, failure}));
    EXPECT_EQ(errorOf([&] { scene.effects->effect(pixelate); }), failure);
    EXPECT_EQ(errorOf([&] { scene.effects->cached(pixelate)->get(); }), failure);
}

TEST(LayerEffects, OnlyTheActiveStackPreparesAndCarriesItsChainOn)
{
    GatedObjectPixelation gate;
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
    ASSERT_TRUE(waitUntil([&] { return lowerEngine->storedResult(s.lower).has_value(); }));
    settle(150);
    EXPECT_EQ(s.composition->underlays().size(), 1u); // the upper underlay was never rendered
    // An inactive stack ignores prepare.
    layered.effects->prepare(s.list());
    settle(150);
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
