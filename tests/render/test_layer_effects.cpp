// Effect stacks: underlay engines, the bottom-up chain on the effects queue,
// recorded errors, activation and the shared underlay cache.

#include "CompositionTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

struct Layered {
    Annotation lower = blurOver(BlurMode::pixelate, QRectF(40, 40, 120, 80));
    Annotation arrow = arrowElement({20, 100}, {380, 100});
    Annotation upper = blurOver(BlurMode::pixelate, QRectF(100, 60, 160, 96));
    QVector<Annotation> list() const { return {lower, arrow, upper}; }
};

// Polls without running events (for the effects queue's thread), at most 20 s.
void waitUntilOnThisThread(const std::function<bool()>& condition)
{
    for (int i = 0; i < 20000 && !condition(); ++i)
        QThread::msleep(1);
}

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
            waitUntilOnThisThread([this] { return open_.load(); });
            return BlurEffect{pixelatedCrop(image.copy(rect.toRect()), block), rect, std::nullopt};
        };
        return h;
    }
    std::atomic<bool> open_{false};
    HookScope scope_;
};

std::shared_ptr<ScreenshotComposition> compositionOf(const QImage& image)
{
    return std::make_shared<ScreenshotComposition>(image, QSizeF(image.size()));
}

// Lets queued jobs and their notifications run for a while.
void settle(int milliseconds = 150) { waitUntil([] { return false; }, milliseconds); }

} // namespace

TEST(LayerEffects, TheBottomBlurWorksOnTheSceneBackgroundWithoutDrawing)
{
    auto composition = compositionOf(busyImage(400, 200));
    const Layered s;
    const RenderScene scene = composition->scene(s.list());
    const auto engine = stackOf(scene)->engine(s.lower, false);
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->image().constBits(), scene.background.constBits());
    EXPECT_FALSE(engine->ordered());
    EXPECT_EQ(composition->underlays().size(), 1u);
}

TEST(LayerEffects, TheChainRunsBottomUpOneBlurAtATime)
{
    // The lower blur's job waits at a gate, so the test sees the chain stand still.
    GatedObjectPixelation gate;
    auto composition = compositionOf(busyImage(400, 200));
    Layered s;
    s.lower.blurMode = BlurMode::objectPixelate;
    const RenderScene scene = composition->scene(s.list());
    const auto stack = stackOf(scene);
    int notified = 0;
    scene.effects->setObserver(QUuid::createUuid(), [&] { ++notified; });

    scene.effects->prepare(s.list());
    settle();
    // The upper blur has no underlay until the lower result is stored.
    EXPECT_EQ(stack->engine(s.upper, false), nullptr);
    EXPECT_FALSE(scene.effects->cached(s.upper).has_value());
    EXPECT_TRUE(scene.effects->readiness({s.upper}).pending);
    EXPECT_EQ(composition->underlays().size(), 1u);
    EXPECT_EQ(notified, 0);
    gate.open();

    // Each of the two jobs ends with a notice to the stack's observers.
    ASSERT_TRUE(waitUntil([&] { return notified >= 2; }, 20000));
    EXPECT_FALSE(scene.effects->readiness(s.list()).pending);
    const auto upperEngine = stack->engine(s.upper, false);
    ASSERT_TRUE(upperEngine);
    EXPECT_EQ(upperEngine->origin(), QPointF(0, 0));
    // The underlay shows the lower blur's result and the arrow drawn over it.
    const std::optional<EffectResult> lowerResult = scene.effects->cached(s.lower);
    ASSERT_TRUE(lowerResult && lowerResult->ok());
    const QImage underlay = upperEngine->image().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage lowerPixels = lowerResult->value().image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(underlay.pixel(50, 50), lowerPixels.pixel(10, 10));
    EXPECT_TRUE(dark(underlay.pixel(300, 100)));
    EXPECT_EQ(composition->underlays().size(), 2u);
}

TEST(LayerEffects, AnAreaBlurBelowIsComputedAtOnceSoTheNextOneStartsRightAway)
{
    auto composition = compositionOf(busyImage(400, 200));
    Layered s;
    s.lower.blurMode = BlurMode::area;
    const RenderScene scene = composition->scene(s.list());
    scene.effects->prepare(s.list());
    EXPECT_TRUE(stackOf(scene)->engine(s.lower, false)->storedResult(s.lower).has_value());
    EXPECT_NE(stackOf(scene)->engine(s.upper, false), nullptr);
    ASSERT_TRUE(waitUntil([&] { return !scene.effects->readiness(s.list()).pending; }, 20000));
}

TEST(LayerEffects, UnderlaysAreSharedWhereThePrefixIsUnchanged)
{
    auto composition = compositionOf(busyImage(400, 200));
    const Layered s;
    const RenderScene first = composition->scene(s.list());
    first.effects->prepare(s.list());
    ASSERT_TRUE(waitUntil([&] { return !first.effects->readiness(s.list()).pending; }, 20000));
    const auto upperEngine = stackOf(first)->engine(s.upper, false);

    // Moving only the top blur keeps its prefix, so its underlay engine.
    Annotation moved = s.upper;
    moved.start += QPointF(20, 10);
    moved.end += QPointF(20, 10);
    const RenderScene second = composition->scene({s.lower, s.arrow, moved});
    ASSERT_NE(second.effects, first.effects);
    EXPECT_EQ(stackOf(second)->engine(moved, false), upperEngine);

    // Moving the arrow below it changes the prefix: a new underlay, the bottom one stays.
    Annotation bent = s.arrow;
    bent.end = {380, 180};
    const RenderScene third = composition->scene({s.lower, bent, s.upper});
    const auto newEngine = stackOf(third)->engine(s.upper, false);
    ASSERT_TRUE(newEngine);
    EXPECT_NE(newEngine, upperEngine);
    EXPECT_EQ(stackOf(third)->engine(s.lower, false), stackOf(first)->engine(s.lower, false));
    // Its blur is computed afresh.
    EXPECT_FALSE(third.effects->cached(s.upper).has_value());
}

TEST(LayerEffects, ALowerFailureIsRecordedForTheBlursAboveIt)
{
    auto composition = compositionOf(busyImage(200, 100));
    const Annotation erase = blurOver(BlurMode::erase, QRectF(0, 0, 200, 100));
    const Annotation pixelate = blurOver(BlurMode::pixelate, QRectF(20, 20, 40, 40));
    const RenderScene scene = composition->scene({erase, pixelate});
    const auto stack = stackOf(scene);
    scene.effects->prepare({erase, pixelate});
    ASSERT_TRUE(waitUntil([&] { return stack->preparationError(pixelate.id) != nullptr; }, 20000));
    const QString failure = errorText([&] { std::rethrow_exception(stack->preparationError(pixelate.id)); });
    EXPECT_FALSE(failure.isEmpty());
    const EffectReadiness readiness = scene.effects->readiness({erase, pixelate});
    EXPECT_EQ(readiness, (EffectReadiness{false, true, failure}));
    EXPECT_EQ(errorText([&] { scene.effects->effect(pixelate); }), failure);
    EXPECT_EQ(errorText([&] { scene.effects->cached(pixelate)->get(); }), failure);
}

TEST(LayerEffects, OnlyTheActiveStackPreparesAndCarriesItsChainOn)
{
    GatedObjectPixelation gate;
    auto composition = compositionOf(busyImage(400, 200));
    Layered s;
    s.lower.blurMode = BlurMode::objectPixelate;
    const RenderScene layered = composition->scene(s.list());
    layered.effects->prepare(s.list());
    const auto lowerEngine = stackOf(layered)->engine(s.lower, false);

    // Another scene takes over before the lower job ends: the chain stops there.
    const Annotation alone = blurOver(BlurMode::pixelate, QRectF(300, 20, 60, 60));
    const RenderScene other = composition->scene({arrowElement({0, 0}, {10, 10}), alone});
    EXPECT_FALSE(stackOf(layered)->active());
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return lowerEngine->storedResult(s.lower).has_value(); }, 20000));
    settle();
    EXPECT_EQ(composition->underlays().size(), 1u); // the upper underlay was never rendered

    // An inactive stack ignores prepare.
    layered.effects->prepare(s.list());
    settle();
    EXPECT_EQ(composition->underlays().size(), 1u);

    // Switched on again, it goes on from where it stopped.
    EXPECT_EQ(composition->scene(s.list()).effects, layered.effects);
    EXPECT_FALSE(stackOf(other)->active());
    layered.effects->prepare(s.list());
    ASSERT_TRUE(waitUntil([&] { return !layered.effects->readiness(s.list()).pending; }, 20000));
    EXPECT_TRUE(layered.effects->cached(s.upper)->ok());
}

TEST(UnderlayCache, EightEnginesByRecencyAndNothingKeptFromAFailedRender)
{
    LayerUnderlayCache cache;
    const QRectF frame(0, 0, 100, 100);
    int renders = 0;
    auto make = [&] {
        ++renders;
        return canvas(100, 100);
    };
    QVector<QVector<Annotation>> prefixes;
    for (int i = 0; i < 10; ++i)
        prefixes.push_back({arrowElement({0, 0}, {10.0 + i, 10})});
    std::vector<std::shared_ptr<ScreenshotEffects>> engines;
    for (int i = 0; i < 8; ++i)
        engines.push_back(cache.engine(prefixes[i], frame, make, QSizeF(100, 100)));
    EXPECT_EQ(renders, 8);
    EXPECT_EQ(cache.engine(prefixes[0], frame, make, QSizeF(100, 100)), engines[0]); // moves to the end
    EXPECT_EQ(renders, 8);
    cache.engine(prefixes[8], frame, make, QSizeF(100, 100)); // evicts prefix 1
    EXPECT_EQ(cache.size(), 8u);
    EXPECT_EQ(cache.engine(prefixes[0], frame, make, QSizeF(100, 100)), engines[0]);
    EXPECT_EQ(renders, 9);
    EXPECT_NE(cache.engine(prefixes[1], frame, make, QSizeF(100, 100)), engines[1]);
    EXPECT_EQ(renders, 10);
    // Another frame is another underlay.
    EXPECT_NE(cache.engine(prefixes[0], QRectF(0, 0, 100, 99), make, QSizeF(100, 100)), engines[0]);

    const std::size_t before = cache.size();
    EXPECT_THROW(cache.engine(prefixes[9], frame, [] () -> QImage { throw TarnwickError::message(QStringLiteral("нет")); },
                              QSizeF(100, 100)),
                 TarnwickError);
    EXPECT_EQ(cache.size(), before);
}
