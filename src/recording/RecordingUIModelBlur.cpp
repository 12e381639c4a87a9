#include "recording/RecordingUIModel.h"

#include "platform/TarnwickError.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <algorithm>
#include <cmath>

// The blur editor's operations of the review model.
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

// Runs `fn` on the GUI thread while the model is still there.
template <typename Fn>
void onModel(const QPointer<RecordingUIModel>& model, Fn fn)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [model, fn = std::move(fn)]() mutable {
            if (model)
                fn(*model);
        },
        Qt::QueuedConnection);
}

} // namespace

void RecordingUIModel::setBlurServices(BlurTracker tracker, BlurFrame frame)
{
    tracker_ = std::move(tracker);
    blurFrame_ = std::move(frame);
}

const review::VideoBlurRegion* RecordingUIModel::selectedBlur() const
{
    if (!selectedBlurID_)
        return nullptr;
    const auto it = std::find_if(blurRegions_.begin(), blurRegions_.end(),
                                 [&](const review::VideoBlurRegion& r) { return r.id == *selectedBlurID_; });
    return it == blurRegions_.end() ? nullptr : &*it;
}

bool RecordingUIModel::canEditBlur() const
{
    return phase_ == RecordingPhase::review && canTrim_ && !trackingProgress_;
}

bool RecordingUIModel::editSelectedBlur(const std::function<void(review::VideoBlurRegion&)>& edit)
{
    if (!canEditBlur() || !selectedBlur())
        return false;
    std::vector<review::VideoBlurRegion> regions = blurRegions_;
    for (review::VideoBlurRegion& region : regions)
        if (region.id == *selectedBlurID_) {
            edit(region);
            break;
        }
    setBlurRegions(regions);
    return true;
}

void RecordingUIModel::beginBlurSelection()
{
    const double target =
        std::min(std::max(trim_.start, playhead_), std::max(trim_.start, trim_.end - frame));
    seekVideo(target, false);
    setAddingBlur(true);
    setMessage(std::nullopt);
}

void RecordingUIModel::finishBlurSelection(const QRectF& rect)
{
    if (!canEditBlur())
        return;
    review::VideoBlurRegion region;
    region.radius = 20;
    region.start = trim_.start;
    region.end = trim_.end;
    region.keys = {{std::min(std::max(trim_.start, playhead_), trim_.end), review::VideoBlurRegion::clamp(rect), true}};
    region.pending = {{trim_.start, trim_.end}};
    std::vector<review::VideoBlurRegion> regions = blurRegions_;
    regions.push_back(region);
    setBlurRegions(regions);
    setSelectedBlurID(region.id);
    setAddingBlur(false);
    refreshBlurPreview();
}

void RecordingUIModel::correctBlur(const QRectF& rect)
{
    const double at = playhead_;
    if (editSelectedBlur([&](review::VideoBlurRegion& r) { r.correct(rect, at); }))
        refreshBlurPreview();
}

void RecordingUIModel::changeBlurInterval(double time, bool isStart)
{
    const double minLength = std::min(trim_.duration, 0.1);
    double s = 0, e = 0;
    const bool edited = editSelectedBlur([&](review::VideoBlurRegion& r) {
        s = isStart ? std::min(std::max(time, 0.0), r.end - minLength) : r.start;
        e = isStart ? r.end : std::min(std::max(time, r.start + minLength), trim_.duration);
        r.setInterval(s, e);
    });
    if (!edited)
        return;
    seekVideo(isStart ? s : std::max(s, e - frame), false);
    refreshBlurPreview();
}

void RecordingUIModel::changeBlurRadius(double radius)
{
    if (editSelectedBlur([&](review::VideoBlurRegion& r) { r.radius = radius; }))
        refreshBlurPreview();
}

void RecordingUIModel::deleteBlur()
{
    if (!canEditBlur())
        return;
    std::vector<review::VideoBlurRegion> regions = blurRegions_;
    std::erase_if(regions, [&](const review::VideoBlurRegion& r) { return r.id == selectedBlurID_; });
    setBlurRegions(regions);
    setSelectedBlurID(regions.empty() ? std::nullopt : std::optional(regions.back().id));
    refreshBlurPreview();
}

void RecordingUIModel::deleteBlurKey(double time)
{
    if (const review::VideoBlurRegion* selected = selectedBlur(); !selected || selected->manualKeys().size() < 2)
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

void RecordingUIModel::acceptBlurGaps()
{
    editSelectedBlur([](review::VideoBlurRegion& r) { r.acceptedGaps = true; });
}

void RecordingUIModel::trackBlur()
{
    const review::VideoBlurRegion* selected = selectedBlur();
    if (!canEditBlur() || !selected || !videoSource_)
        return;
    const review::VideoBlurRegion region = *selected;
    player_.pause();
    setAddingBlur(false);
    setMessage(std::nullopt);
    const QUuid job = QUuid::createUuid();
    blurJobID = job;
    setTrackingProgress(0.0);
    std::stop_source stop;
    blurTask = stop;

    // The job holds the model only through a guarded pointer, read on the GUI thread.
    const QPointer<RecordingUIModel> self(this);
    QThreadPool::globalInstance()->start([self, job, region, source = *videoSource_, tracker = tracker_,
                                          token = stop.get_token()] {
        const auto progress = [self, job](double fraction) {
            onModel(self, [job, fraction](RecordingUIModel& model) {
                if (model.blurJobID == job)
                    model.setTrackingProgress(fraction);
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
        onModel(self, [job, region, result = std::move(result), error](RecordingUIModel& model) {
            model.trackingFinished(job, region, result, error);
        });
    });
}

void RecordingUIModel::trackingFinished(const QUuid& job, const review::VideoBlurRegion& region,
                                        const std::optional<review::VideoBlurRegion>& result,
                                        const std::exception_ptr& error)
{
    if (blurJobID != job)
        return;
    if (result) {
        std::vector<review::VideoBlurRegion> regions = blurRegions_;
        const auto it = std::find_if(regions.begin(), regions.end(), [&](const auto& r) { return r.id == region.id; });
        // A region the user changed or deleted meanwhile keeps the user's version.
        if (it != regions.end() && *it == region) {
            *it = *result;
            setBlurRegions(regions);
            refreshBlurPreview();
        }
    } else if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const CancellationError&) {
        } catch (...) {
            setMessage(QStringLiteral("Не удалось отследить область: ") +
                       clause(errorSentence(std::current_exception(), QStringLiteral("неизвестная ошибка"))) +
                       QStringLiteral(". Ручные положения сохранены."));
        }
    }
    setTrackingProgress(std::nullopt);
    blurTask.reset();
    blurJobID.reset();
}

void RecordingUIModel::cancelBlurTracking()
{
    blurJobID.reset();
    if (blurTask)
        blurTask->request_stop();
    blurTask.reset();
    setTrackingProgress(std::nullopt);
}

void RecordingUIModel::refreshBlurPreview()
{
    if (!player_.hasItem())
        return;
    if (blurRegions_.empty() || !blurFrame_)
        player_.setFilter(nullptr);
    else
        player_.setFilter([frame = blurFrame_, regions = blurRegions_](const QImage& image, double time) {
            return frame(image, time, regions);
        });
    if (player_.rate() == 0)
        seekVideo(playhead_, false);
}

} // namespace tarnwick::recording
