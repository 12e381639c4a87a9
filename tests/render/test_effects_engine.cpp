// ScreenshotEffects: keys, the effects queue, cancellation and observers.

#include "RenderTestSupport.h"

#include "render/ScreenshotEffects.h"


using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// Counts the observer calls of an engine and those made off the GUI thread.
struct ObserverCount {
    std::atomic<int> calls{0}, offThread{0};
    void attach(ScreenshotEffects& engine)
    {
        engine.setObserver(QUuid::createUuid(), [this] {
            offThread += QThread::currentThread() != QCoreApplication::instance()->thread();
            ++calls;
        });
    }
};

std::shared_ptr<ScreenshotEffects> plainEngine(const QImage& image)
{
    return ScreenshotEffects::create(image, image.size(), QPointF(0, 0), image.size());
}

QString failureText(const std::optional<EffectResult>& result)
{
    return result && !result->ok() ? errorOf([&] { result->get(); }) : QString();
}

const QString processing = QStringLiteral("Обрабатываю выделенную область…");
const QString notFound = QStringLiteral("Объект не найден, удалена вся область");
const QString emptyArea = QStringLiteral("Выделенная область пуста.");

// An engine over a busy 400 × 300 picture whose object erase is held by the test.
class EffectEngine : public ::testing::Test {
protected:
    void SetUp() override { observer.attach(*engine); }

    std::shared_ptr<HeldObjectModes> held = std::make_shared<HeldObjectModes>();
    HookScope hooks{held->hooks()};
    std::shared_ptr<ScreenshotEffects> engine = plainEngine(busyImage(400, 300));
    ObserverCount observer;
};

} // namespace

TEST_F(EffectEngine, JobsRunOnTheQueueOncePerKeyWithObserversOnTheGuiThread)
{
    const Annotation blur = blurElement(BlurMode::objectErase, QRectF(50, 50, 100, 80));
    const Annotation arrow = element(AnnotationTool::arrow, {10, 10}, {300, 200});
    engine->prepare({blur, arrow});
    ASSERT_TRUE(waitUntil([&] { return held->started == 1; }));
    EXPECT_FALSE(engine->cached(blur).has_value());
    EXPECT_EQ(engine->readiness({blur}), (EffectReadiness{true, false, processing}));
    // The same list again while the job runs schedules nothing.
    engine->prepare({blur, arrow});
    held->released = true;
    ASSERT_TRUE(waitUntil([&] { return observer.calls >= 1; }));
    drainEffects();
    EXPECT_EQ(observer.calls, 1);
    EXPECT_EQ(observer.offThread, 0);
    EXPECT_FALSE(held->onGuiThread);
    EXPECT_EQ(engine->readiness({blur}), (EffectReadiness{false, false, notFound}));

    // The arrow moves above the blur: result kept, nothing computed again.
    engine->prepare({blur, arrow.translated(QSizeF(40, 25))});
    EXPECT_TRUE(engine->cached(blur).has_value());
    drainEffects();
    EXPECT_EQ(held->started, 1);
    EXPECT_EQ(observer.calls, 1);

    // The blur's own rectangle changes: a new key and a new job; the old result goes.
    Annotation moved = blur;
    moved.end += QPointF(1, 0);
    engine->prepare({moved, arrow});
    EXPECT_FALSE(engine->cached(blur).has_value());
    ASSERT_TRUE(waitUntil([&] { return observer.calls == 2; }));
}

TEST_F(EffectEngine, ASupersededRunningJobIsCancelledAndStoresNothingAndFailuresAreStoredAndReported)
{
    const Annotation first = blurElement(BlurMode::objectErase, QRectF(20, 20, 60, 60));
    const Annotation second = first.translated(QSizeF(100, 0));
    engine->prepare({first});
    ASSERT_TRUE(waitUntil([&] { return held->started == 1; }));
    engine->prepare({second});
    ASSERT_TRUE(waitUntil([&] { return held->cancelled == 1 && held->started == 2; }));
    held->released = true;
    ASSERT_TRUE(waitUntil([&] { return observer.calls == 2; }));
    EXPECT_FALSE(engine->cached(first).has_value());
    EXPECT_EQ(engine->cached(second)->value().rect, QRectF(120, 20, 60, 60));

    // Failures are stored and reported, but empty areas never escape the worker.
    const Annotation outside = blurElement(BlurMode::pixelate, QRectF(500, 500, 40, 40));
    const Annotation flat = blurElement(BlurMode::erase, QRectF(50, 50, 0, 20));
    const Annotation object = blurElement(BlurMode::objectErase, QRectF(10, 10, 30, 30));
    engine->prepare({outside, flat, object});
    ASSERT_TRUE(waitUntil([&] { return observer.calls == 5; }));
    EXPECT_EQ(failureText(engine->cached(outside)), emptyArea);
    EXPECT_EQ(engine->readiness({outside, object}), (EffectReadiness{false, true, notFound}));
    EXPECT_EQ(engine->readiness({object, outside}), (EffectReadiness{false, true, emptyArea}));
    // Pending and failed together: pending wins the message.
    EXPECT_EQ(engine->readiness({outside, blurElement(BlurMode::text, QRectF(10, 10, 50, 50))}),
              (EffectReadiness{true, true, processing}));

}

TEST_F(EffectEngine, ADestroyedEngineDropsItsJobsAndLateResultsAndAnObserverMayReleaseIt)
{
    engine->prepare({blurElement(BlurMode::objectErase, QRectF(10, 10, 50, 50)),
                     blurElement(BlurMode::pixelate, QRectF(10, 10, 50, 50))});
    ASSERT_TRUE(waitUntil([&] { return held->started == 1; }));
    engine.reset();
    // The running job sees that nothing is wanted any more; the queued one never starts.
    ASSERT_TRUE(waitUntil([&] { return held->cancelled == 1; }));
    drainEffects();
    EXPECT_EQ(observer.calls, 0);

    // An observer may release the engine it observes.
    held->released = true;
    engine = plainEngine(busyImage(400, 300));
    engine->setObserver(QUuid::createUuid(), [&] { engine.reset(); });
    engine->prepare({blurElement(BlurMode::objectErase, QRectF(10, 10, 50, 50))});
    ASSERT_TRUE(waitUntil([&] { return engine == nullptr; }));
    drainEffects();
}

TEST(EffectEngineFrames, FramesAndUnderlaysWorkInTheirOwnPixelsAndReportInShotCoordinates)
{
    // An engine for the frame (100, 50, 200, 100) of a 1300-pixel-wide shot gives the
    // local work on its own picture, with the shot's block size.
    const QImage underlay = busyImage(200, 100, 21);
    auto engine = ScreenshotEffects::create(underlay, QSizeF(200, 100), QPointF(100, 50), QSizeF(1300, 900));
    const BlurEffect effect = engine->effect(blurElement(BlurMode::pixelate, QRectF(120, 60, 60, 40)));
    EXPECT_EQ(effect.image, computeLocal(blurElement(BlurMode::pixelate, QRectF(20, 10, 60, 40)), underlay,
                                         QSizeF(200, 100), QSizeF(1300, 900), never).image);
}
