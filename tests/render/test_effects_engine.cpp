// ScreenshotEffects: keys, the effects queue, cancellation and observers.

#include "RenderTestSupport.h"

#include "render/ScreenshotEffects.h"

#include <gtest/gtest.h>

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

TEST(EffectKeys, PrintTheModeAndTheIntegralRectangleWithinTheFrame)
{
    auto engine = plainEngine(busyImage(800, 600));
    EXPECT_EQ(engine->key(blurElement(BlurMode::area, QRectF(10.4, 20, 100, 50))), "area:10.0:20.0:101.0:50.0");
    EXPECT_EQ(engine->key(blurElement(BlurMode::objectPixelate, QRectF(700, -30, 200, 100))), "objectPixelate:700.0:0.0:100.0:70.0");
    EXPECT_EQ(engine->key(blurElement(BlurMode::text, QRectF(900, 900, 20, 20))), "text:inf:inf:0.0:0.0");
    EXPECT_EQ(engine->key(blurElement(BlurMode::erase, QRectF(qQNaN(), 0, 5, 5))), "erase:inf:inf:0.0:0.0");
    // A frame elsewhere in the shot: keys stay in shot coordinates.
    auto framed = ScreenshotEffects::create(busyImage(200, 100), QSizeF(200, 100), QPointF(-3, 12.5), QSizeF(800, 600));
    EXPECT_EQ(framed->key(blurElement(BlurMode::pixelate, QRectF(-10, 0, 20, 20))), "pixelate:-3.0:12.5:13.0:7.5");

}

TEST_F(EffectEngine, JobsRunOnTheQueueOncePerKeyWithObserversOnTheGuiThread)
{
    const Annotation blur = blurElement(BlurMode::objectErase, QRectF(50, 50, 100, 80));
    const Annotation arrow = element(AnnotationTool::arrow, {10, 10}, {300, 200});
    EXPECT_EQ(engine->readiness({}), (EffectReadiness{false, false, std::nullopt}));
    engine->prepare({blur, arrow});
    ASSERT_TRUE(waitUntil([&] { return held->started == 1; }));
    EXPECT_FALSE(engine->cached(blur).has_value());
    EXPECT_EQ(engine->readiness({blur}), (EffectReadiness{true, false, processing}));
    // The same list again while the job runs schedules nothing.
    engine->prepare({blur, arrow});
    engine->prepare({blur, blur, arrow});
    held->released = true;
    ASSERT_TRUE(waitUntil([&] { return observer.calls >= 1; }));
    drainEffects();
    EXPECT_EQ(observer.calls, 1);
    EXPECT_EQ(observer.offThread, 0);
    EXPECT_FALSE(held->onGuiThread);
    EXPECT_EQ(engine->readiness({blur}), (EffectReadiness{false, false, notFound}));

    // The arrow moves above the blur: same key, result kept, nothing computed again.
    const QString before = engine->key(blur);
    engine->prepare({blur, arrow.translated(QSizeF(40, 25))});
    EXPECT_EQ(engine->key(blur), before);
    EXPECT_TRUE(engine->cached(blur).has_value());
    drainEffects();
    EXPECT_EQ(held->started, 1);
    EXPECT_EQ(observer.calls, 1);

    // The blur's own rectangle changes: a new key and a new job; the old result goes.
    Annotation moved = blur;
    moved.end += QPointF(1, 0);
    EXPECT_NE(engine->key(moved), before);
    engine->prepare({moved, arrow});
    EXPECT_FALSE(engine->cached(blur).has_value());
    ASSERT_TRUE(waitUntil([&] { return observer.calls == 2; }));
    EXPECT_EQ(held->started, 2);
    EXPECT_EQ(engine->cached(moved)->value().rect, QRectF(50, 50, 101, 80));
}

TEST_F(EffectEngine, ASupersededRunningJobIsCancelledAndStoresNothing)
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
    ASSERT_TRUE(engine->cached(second).has_value());
    EXPECT_EQ(engine->cached(second)->value().rect, QRectF(120, 20, 60, 60));
    EXPECT_EQ(held->finished, 1);

    // The cancelled key was left absent, so wanting it again computes it afresh.
    engine->prepare({first});
    ASSERT_TRUE(waitUntil([&] { return observer.calls == 3; }));
    EXPECT_TRUE(engine->cached(first).has_value());
    EXPECT_EQ(held->started, 3);
}

TEST_F(EffectEngine, QueuedJobsOfPositionsLeftEndUncomputedAndAKeyWantedAgainIsStored)
{
    // Hold the queue with an object removal, then drag a pixelation through ten positions.
    const Annotation holder = blurElement(BlurMode::objectErase, QRectF(0, 0, 30, 30));
    engine->prepare({holder});
    ASSERT_TRUE(waitUntil([&] { return held->started == 1; }));
    held->honourCancel = false;
    const Annotation pixelation = blurElement(BlurMode::pixelate, QRectF(10, 10, 80, 60));
    for (int i = 0; i < 10; ++i)
        engine->prepare({holder, pixelation.translated(QSizeF(10 * i, 5 * i))});
    // The last position is let go and wanted again before its job runs: that job stores it.
    const Annotation last = pixelation.translated(QSizeF(90, 45));
    engine->prepare({holder});
    engine->prepare({holder, last});
    held->released = true;
    ASSERT_TRUE(waitUntil([&] { return observer.calls == 11; }));
    drainEffects();
    EXPECT_EQ(observer.calls, 11);
    EXPECT_TRUE(engine->cached(holder).has_value());
    for (int i = 0; i < 9; ++i)
        EXPECT_FALSE(engine->cached(pixelation.translated(QSizeF(10 * i, 5 * i))).has_value()) << i;
    ASSERT_TRUE(engine->cached(last).has_value());
    EXPECT_EQ(engine->cached(last)->value().rect, QRectF(100, 55, 80, 60));
}

TEST_F(EffectEngine, FailuresAreStoredAndReportedButEmptyAreasNeverEscapeTheWorker)
{
    held->released = true;
    const Annotation outside = blurElement(BlurMode::pixelate, QRectF(500, 500, 40, 40));
    const Annotation flat = blurElement(BlurMode::erase, QRectF(50, 50, 0, 20));
    const Annotation object = blurElement(BlurMode::objectErase, QRectF(10, 10, 30, 30));
    engine->prepare({outside, flat, object});
    ASSERT_TRUE(waitUntil([&] { return observer.calls == 3; }));
    EXPECT_EQ(failureText(engine->cached(outside)), emptyArea);
    EXPECT_EQ(failureText(engine->cached(flat)), emptyArea);
    EXPECT_EQ(engine->readiness({outside, object}), (EffectReadiness{false, true, notFound}));
    EXPECT_EQ(engine->readiness({object, outside}), (EffectReadiness{false, true, emptyArea}));
    EXPECT_EQ(errorOf([&] { engine->effect(outside); }), emptyArea);
    // Pending and failed together: pending wins the message.
    EXPECT_EQ(engine->readiness({outside, blurElement(BlurMode::text, QRectF(10, 10, 50, 50))}),
              (EffectReadiness{true, true, processing}));

    // An engine whose picture has no pixels fails every job with its own sentence.
    auto blank = plainEngine(QImage());
    ObserverCount blankObserver;
    blankObserver.attach(*blank);
    blank->prepare({object});
    ASSERT_TRUE(waitUntil([&] { return blankObserver.calls == 1; }));
    const QString unreadable = QStringLiteral("Не удалось прочитать пиксели снимка.");
    EXPECT_EQ(failureText(blank->cached(object)), unreadable);
    EXPECT_EQ(errorOf([&] { blank->effect(blurElement(BlurMode::area, QRectF(0, 0, 5, 5))); }), unreadable);
}

TEST_F(EffectEngine, AreaBlursAreComputedSynchronouslyAndNeverQueued)
{
    const Annotation area = blurElement(BlurMode::area, QRectF(30, 40, 100, 60));
    engine->prepare({area});
    drainEffects();
    EXPECT_EQ(observer.calls, 0);
    EXPECT_FALSE(engine->cached(area).has_value());
    EXPECT_TRUE(engine->readiness({area}).pending);

    const BlurEffect effect = engine->effect(area);
    EXPECT_EQ(effect.rect, QRectF(30, 40, 100, 60));
    ASSERT_TRUE(engine->cached(area).has_value());
    EXPECT_EQ(engine->cached(area)->value().image, effect.image);
    EXPECT_EQ(engine->readiness({area}), (EffectReadiness{false, false, std::nullopt}));
    // A prepare wants only the queued modes, so it lets the area result go; it is
    // computed again when next asked for.
    engine->prepare({area});
    EXPECT_FALSE(engine->cached(area).has_value());
    EXPECT_EQ(engine->effect(area).image, effect.image);
}

TEST_F(EffectEngine, ADestroyedEngineDropsItsJobsAndLateResults)
{
    engine->prepare({blurElement(BlurMode::objectErase, QRectF(10, 10, 50, 50)),
                     blurElement(BlurMode::pixelate, QRectF(10, 10, 50, 50))});
    ASSERT_TRUE(waitUntil([&] { return held->started == 1; }));
    engine.reset();
    // The running job sees that nothing is wanted any more; the queued one never starts.
    ASSERT_TRUE(waitUntil([&] { return held->cancelled == 1; }));
    drainEffects();
    EXPECT_EQ(observer.calls, 0);
}

TEST_F(EffectEngine, AnObserverMayReleaseTheEngine)
{
    held->released = true;
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
    EXPECT_EQ(effect.rect, QRectF(120, 60, 60, 40));
    EXPECT_EQ(effect.image, computeLocal(blurElement(BlurMode::pixelate, QRectF(20, 10, 60, 40)), underlay,
                                         QSizeF(200, 100), QSizeF(1300, 900), never).image);

    // A picture of another pixel size is drawn to the engine's size first.
    auto scaled = ScreenshotEffects::create(asRgba(canvas(400, 200, QColor(10, 200, 30))), QSizeF(200, 100), QPointF(0, 0),
                                            QSizeF(200, 100));
    const BlurEffect fromScaled = scaled->effect(blurElement(BlurMode::area, QRectF(0, 0, 50, 50)));
    EXPECT_EQ(fromScaled.image.size(), QSize(50, 50));
    EXPECT_EQ(pixel(fromScaled.image, 25, 25)[1], 200);
}
