#include "platform/TarnwickError.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"

#include <QTest>
#include <QThreadPool>
#include <condition_variable>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;
using review::VideoBlurRegion;

namespace {

// Our tracker's stand-in: reports half way, then waits for the test and answers with `outcome`.
struct FakeTracker {
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
    std::function<VideoBlurRegion(VideoBlurRegion)> outcome;

    RecordingReview::BlurTracker function()
    {
        return [this](const QString&, const VideoBlurRegion& region, const auto&, const auto& progress, std::stop_token) {
            progress(0.5);
            std::unique_lock lock(mutex);
            released.wait(lock, [this] { return open; });
            open = false;
            return outcome(region);
        };
    }
    // Lets the job end and delivers what it posted.
    void finish()
    {
        {
            const std::lock_guard lock(mutex);
            open = true;
        }
        released.notify_all();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }
};

void startReview(RecordingUIModel& model, double duration)
{
    model.setPhase(RecordingPhase::review);
    model.setTrim({duration, 0, duration});
    model.setVideoSource(QStringLiteral("/recording.mp4"));
}

} // namespace

TEST(BlurEditing, TrackingLocksEditsDropsLateResultsAndFramesItsFailure)
{
    RecordingUIModel model(nullptr);
    RecordingReview review(model);
    FakeTracker tracker;
    tracker.outcome = [](VideoBlurRegion r) {
        r.tracked = true;
        r.pending.clear();
        return r;
    };
    review.setBlurServices(tracker.function(), {});
    startReview(model, 4);
    review.finishBlurSelection(QRectF(0.1, 0.1, 0.2, 0.2));
    const std::vector<VideoBlurRegion> drawn = model.blurRegions();

    review.trackBlur();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.trackingProgress() == 0.5; }));
    review.correctBlur(QRectF(0.5, 0.5, 0.1, 0.1));
    review.changeBlurRadius(40);
    review.deleteBlur();
    review.trackBlur();
    EXPECT_EQ(model.blurRegions(), drawn) << "edits wait for the tracking";

    review.cancelBlurTracking();
    tracker.finish();
    EXPECT_EQ(model.blurRegions(), drawn) << "the cancelled job's result is dropped";
    review.changeBlurRadius(40);
    EXPECT_EQ(model.blurRegions()[0].radius, 40);

    review.trackBlur();
    tracker.finish();
    EXPECT_TRUE(model.blurRegions()[0].tracked);
    EXPECT_FALSE(review.blurJobID);
    EXPECT_FALSE(model.message());

    tracker.outcome = [](VideoBlurRegion) -> VideoBlurRegion { throw TarnwickError("Файл записи не читается."); };
    review.trackBlur();
    tracker.finish();
    EXPECT_EQ(model.message(), "Не удалось отследить область: Файл записи не читается. Ручные положения сохранены.");

    // A review closed during a job is not kept alive and not touched by the job's end.
    RecordingUIModel closedModel(nullptr);
    auto* closed = new RecordingReview(closedModel);
    closed->setBlurServices(tracker.function(), {});
    startReview(closedModel, 4);
    closed->finishBlurSelection(QRectF(0.1, 0.1, 0.2, 0.2));
    closed->trackBlur();
    delete closed;
    tracker.finish();
}

TEST(BlurEditing, OperationsKeepRegionsInsideTheRecordingAndTheSelectionOnARegion)
{
    RecordingUIModel model(nullptr);
    RecordingReview review(model);
    startReview(model, 10);
    model.setTrim({10, 2, 6});
    // Drawing starts inside the kept fragment, at least a frame before its end.
    for (auto [playhead, target] : {std::pair{1.0, 2.0}, {5.99, 6 - 1 / 30.0}, {4.0, 4.0}}) {
        model.setPlayhead(playhead);
        review.beginBlurSelection();
        EXPECT_DOUBLE_EQ(model.playhead(), target);
    }
    model.setPlayhead(8);
    review.finishBlurSelection(QRectF(0.9, 0.9, 0.3, 0.3));
    const VideoBlurRegion first = model.blurRegions()[0];
    EXPECT_EQ(first.keys, (std::vector<review::VideoBlurKey>{{6, QRectF(0.7, 0.7, 0.3, 0.3), true}}));
    EXPECT_EQ(first.start, 2);
    EXPECT_FALSE(model.addingBlur());

    review.changeBlurInterval(9, true);
    EXPECT_DOUBLE_EQ(model.selectedBlur()->start, 5.9);
    review.changeBlurInterval(30, false);
    EXPECT_DOUBLE_EQ(model.selectedBlur()->end, 10);
    review.deleteBlurKey(6);
    EXPECT_EQ(model.selectedBlur()->manualKeys().size(), 1u) << "a region keeps its last manual key";

    model.setPlayhead(3);
    review.finishBlurSelection(QRectF(0.1, 0.1, 0.2, 0.2));
    model.setSelectedBlurID(first.id);
    review.deleteBlur();
    EXPECT_EQ(model.selectedBlurID(), model.blurRegions().back().id);
    review.deleteBlur();
    EXPECT_FALSE(model.selectedBlurID());
    EXPECT_TRUE(model.blurRegions().empty());
}
