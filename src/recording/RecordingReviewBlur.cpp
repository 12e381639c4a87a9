#include "recording/RecordingReview.h"

#include "platform/TarnwickError.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

// The blur editor's operations of the review.
namespace tarnwick::recording {

namespace {

constexpr double frame = 1.0 / 30;

// A description framed by a sentence that goes on after it, without a doubled full stop.
QString clause(QString text)
{
    if (text.endsWith(u'.') && !text.endsWith(QStringLiteral("..")))
        text.chop(1);
    return text;
}

// Runs `fn` on the GUI thread while the review is still there.
template <typename Fn>
void onReview(const QPointer<RecordingReview>& review, Fn fn)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [review, fn = std::move(fn)]() mutable {
            if (review)
                fn(*review);
        },
        Qt::QueuedConnection);
}

} // namespace

void RecordingReview::setBlurServices(BlurTracker tracker, BlurFrame frame)
{
    tracker_ = std::move(tracker);
    blurFrame_ = std::move(frame);
}

bool RecordingReview::editSelectedBlur(const std::function<void(review::VideoBlurRegion&)>& edit)
{
    if (!model_.canEditBlur() || !model_.selectedBlur())
        return false;
    std::vector<review::VideoBlurRegion> regions = model_.blurRegions();
    for (review::VideoBlurRegion& region : regions)
        if (region.id == *model_.selectedBlurID()) {
            edit(region);
            break;
        }
    model_.setBlurRegions(regions);
    return true;
}

void RecordingReview::beginBlurSelection()
{
    const double target =
        std::min(std::max(model_.trim().start, model_.playhead()), std::max(model_.trim().start, model_.trim().end - frame));
    seekVideo(target, false);
    model_.setAddingBlur(true);
    model_.setMessage(std::nullopt);
}

void RecordingReview::finishBlurSelection(const QRectF& rect)
{
    if (!model_.canEditBlur())
        return;
    review::VideoBlurRegion region;
    region.radius = 20;
    region.start = model_.trim().start;
    region.end = model_.trim().end;
    region.keys = {{std::min(std::max(model_.trim().start, model_.playhead()), model_.trim().end), review::VideoBlurRegion::clamp(rect), true}};
    region.pending = {{model_.trim().start, model_.trim().end}};
    std::vector<review::VideoBlurRegion> regions = model_.blurRegions();
    regions.push_back(region);
    model_.setBlurRegions(regions);
    model_.setSelectedBlurID(region.id);
    model_.setAddingBlur(false);
    refreshBlurPreview();
}

void RecordingReview::correctBlur(const QRectF& rect)
{
    const double at = model_.playhead();
    if (editSelectedBlur([&](review::VideoBlurRegion& r) { r.correct(rect, at); }))
        refreshBlurPreview();
}

void RecordingReview::changeBlurInterval(double time, bool isStart)
{
    const double minLength = std::min(model_.trim().duration, 0.1);
    double s = 0, e = 0;
    const bool edited = editSelectedBlur([&](review::VideoBlurRegion& r) {
        s = isStart ? std::min(std::max(time, 0.0), r.end - minLength) : r.start;
        e = isStart ? r.end : std::min(std::max(time, r.start + minLength), model_.trim().duration);
        r.setInterval(s, e);
    });
    if (!edited)
        return;
    seekVideo(isStart ? s : std::max(s, e - frame), false);
    refreshBlurPreview();
}

void RecordingReview::changeBlurRadius(double radius)
{
    if (editSelectedBlur([&](review::VideoBlurRegion& r) { r.radius = radius; }))
        refreshBlurPreview();
}

void RecordingReview::deleteBlur()
{
    if (!model_.canEditBlur())
        return;
    std::vector<review::VideoBlurRegion> regions = model_.blurRegions();
    std::erase_if(regions, [&](const review::VideoBlurRegion& r) { return r.id == model_.selectedBlurID(); });
    model_.setBlurRegions(regions);
    model_.setSelectedBlurID(regions.empty() ? std::nullopt : std::optional(regions.back().id));
    refreshBlurPreview();
}

void RecordingReview::deleteBlurKey(double time)
{
    if (const review::VideoBlurRegion* selected = model_.selectedBlur(); !selected || selected->manualKeys().size() < 2)
        return;
    const bool edited = editSelectedBlur([&](review::VideoBlurRegion& r) {
        std::vector<review::VideoBlurKey> keys = r.manualKeys();
        std::erase_if(keys, [&](const review::VideoBlurKey& k) { return std::abs(k.time - time) <= 0.0001; });
        r.keys = keys;
        r.gaps.clear();
        r.acceptedGaps = false;
        r.tracked = false;
        r.pending = {{r.start, r.end}};
    });
    if (edited)
        refreshBlurPreview();
}

void RecordingReview::acceptBlurGaps()
{
    editSelectedBlur([](review::VideoBlurRegion& r) { r.acceptedGaps = true; });
}

void RecordingReview::trackBlur()
{
    const review::VideoBlurRegion* selected = model_.selectedBlur();
    if (!model_.canEditBlur() || !selected || !model_.videoSource())
        return;
    const review::VideoBlurRegion region = *selected;
    player_.pause();
    model_.setAddingBlur(false);
    model_.setMessage(std::nullopt);
    const QUuid job = QUuid::createUuid();
    blurJobID = job;
    model_.setTrackingProgress(0.0);
    std::stop_source stop;
    blurTask = stop;

    // The job holds the review only through a guarded pointer, read on the GUI thread.
    const QPointer<RecordingReview> self(this);
    QThreadPool::globalInstance()->start([self, job, region, source = *model_.videoSource(), tracker = tracker_,
                                          token = stop.get_token()] {
        const auto progress = [self, job](double fraction) {
            onReview(self, [job, fraction](RecordingReview& review) {
                if (review.blurJobID == job)
                    review.model().setTrackingProgress(fraction);
            });
        };
        std::optional<review::VideoBlurRegion> result;
        std::exception_ptr error;
        try {
            if (!tracker)
                throw TarnwickError(QStringLiteral("отслеживание недоступно"));
            result = tracker(source, region, {}, progress, token);
        } catch (...) {
            error = std::current_exception();
        }
        onReview(self, [job, region, result = std::move(result), error](RecordingReview& review) {
            review.trackingFinished(job, region, result, error);
        });
    });
}

void RecordingReview::trackingFinished(const QUuid& job, const review::VideoBlurRegion& region,
                                        const std::optional<review::VideoBlurRegion>& result,
                                        const std::exception_ptr& error)
{
    if (blurJobID != job)
        return;
    if (result) {
        std::vector<review::VideoBlurRegion> regions = model_.blurRegions();
        const auto it = std::find_if(regions.begin(), regions.end(), [&](const auto& r) { return r.id == region.id; });
        // A region the user changed or deleted meanwhile keeps the user's version.
        if (it != regions.end() && *it == region) {
            *it = *result;
            model_.setBlurRegions(regions);
            refreshBlurPreview();
        }
    } else if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const CancellationError&) {
        } catch (...) {
            model_.setMessage(QStringLiteral("Не удалось отследить область: ") +
                       clause(errorSentence(std::current_exception(), QStringLiteral("неизвестная ошибка"))) +
                       QStringLiteral(". Ручные положения сохранены."));
        }
    }
    model_.setTrackingProgress(std::nullopt);
    blurTask.reset();
    blurJobID.reset();
}

void RecordingReview::cancelBlurTracking()
{
    blurJobID.reset();
    if (blurTask)
        blurTask->request_stop();
    blurTask.reset();
    model_.setTrackingProgress(std::nullopt);
}

void RecordingReview::refreshBlurPreview()
{
    if (!player_.hasItem())
        return;
    if (model_.blurRegions().empty() || !blurFrame_)
        player_.setFilter(nullptr);
    else
        player_.setFilter([frame = blurFrame_, regions = model_.blurRegions(), review = QPointer<RecordingReview>(this),
                           told = std::make_shared<std::atomic_bool>(false)](const QImage& image, double time) {
            try {
                return frame(image, time, regions);
            } catch (const TarnwickError& error) {
                // A sharp picture must not pass for a blurred one. Said once for these regions,
                // so a failed save's own sentence is not overwritten while the video plays.
                if (!told->exchange(true))
                    onReview(review, [text = error.errorDescription()](RecordingReview& r) {
                        r.model_.setMessage(QStringLiteral("Не удалось показать размытие: ") + clause(text) +
                                            QStringLiteral(". Без него видео не сохранится."));
                    });
                return image;
            }
        });
    if (player_.rate() == 0)
        seekVideo(model_.playhead(), false);
}

} // namespace tarnwick::recording
