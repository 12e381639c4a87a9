#include "recording/review/RecordingTimelineThumbnails.h"

#include "recording/review/TimelineThumbnailDecoder.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarnwick {

RecordingTimelineThumbnails::RecordingTimelineThumbnails(QObject* parent) : QObject(parent)
{
    worker_.setMaxThreadCount(decoders);
}

RecordingTimelineThumbnails::~RecordingTimelineThumbnails()
{
    if (stop_)
        *stop_ = true;
    // The job posts to this object; it must not outlive it. A stopped job ends after one frame.
    worker_.waitForDone();
}

std::vector<double> RecordingTimelineThumbnails::requestTimes(double duration)
{
    double last = std::max(duration - 1.0 / 30, 0.0);
    std::vector<double> times;
    for (int i = 0; i < count; ++i)
        times.push_back(std::min(duration * i / (count - 1), last));
    return times;
}

int RecordingTimelineThumbnails::frameIndex(const std::vector<double>& times, double time)
{
    int best = 0;
    for (int i = 1; i < int(times.size()); ++i)
        if (std::abs(times[i] - time) < std::abs(times[best] - time))
            best = i;
    return best;
}

QString RecordingTimelineThumbnails::cacheKey(const QString& source, double time) const
{
    return QStringLiteral("%1|%2|%3x%4")
        .arg(source)
        .arg(std::llround(time * 1000))
        .arg(maximumSize.width())
        .arg(maximumSize.height());
}

void RecordingTimelineThumbnails::cancel()
{
    request_ = 0;
    if (stop_)
        *stop_ = true;
    stop_.reset();
    source_.reset();
    duration_ = 0;
    times_.clear();
    frames_.clear();
    ++revision_;
    emit changed();
}

void RecordingTimelineThumbnails::load(const std::optional<QString>& source, double duration)
{
    if (source == source_ && duration == duration_)
        return;
    cancel();
    if (!source || !std::isfinite(duration) || duration <= 0)
        return;
    // The cache serves one file: a new recording starts it afresh.
    if (!cache_.isEmpty() && !cache_.contains(cacheKey(*source, 0)))
        cache_.clear();
    source_ = source;
    duration_ = duration;
    request_ = nextRequest_++;
    times_ = requestTimes(duration);
    frames_ = QList<QImage>(count);

    std::vector<double> missing;
    for (double time : times_) {
        QImage cached = cache_.value(cacheKey(*source, time));
        if (!cached.isNull())
            frames_[frameIndex(times_, time)] = cached;
        else if (std::find(missing.begin(), missing.end(), time) == missing.end())
            missing.push_back(time);
    }
    ++revision_;
    emit changed();
    if (missing.empty())
        return;

    stop_ = std::make_shared<std::atomic_bool>(false);
    double tolerance = std::min(duration / 24, 0.5);
    // A few decoders share the times, each taking the next one not yet taken, longest run from a
    // key frame first (every decoder orders them alike from the file's index), so that one long run
    // does not come last and hold up the strip.
    auto next = std::make_shared<std::atomic_int>(0);
    for (int i = 0; i < std::min<int>(decoders, int(missing.size())); ++i)
        worker_.start([this, stop = stop_, next, request = request_, path = *source, missing, tolerance] {
            TimelineThumbnailDecoder decoder(path);
            if (!decoder.refusal().isEmpty()) {
                QMetaObject::invokeMethod(
                    this, [this, request, sentence = decoder.refusal()] { refused(request, sentence); },
                    Qt::QueuedConnection);
                return;
            }
            std::vector<double> order = missing;
            std::stable_sort(order.begin(), order.end(), [&](double a, double b) {
                return decoder.decodingRun(a, tolerance) > decoder.decodingRun(b, tolerance);
            });
            for (int index = (*next)++; index < int(order.size()); index = (*next)++) {
                if (*stop || !decoder.isOpen())
                    return;
                const double time = order[std::size_t(index)];
                QImage image = decoder.frameAt(time, tolerance, maximumSize);
                if (image.isNull())
                    continue;
                QMetaObject::invokeMethod(
                    this, [this, request, path, time, image] { deliver(request, path, time, image); },
                    Qt::QueuedConnection);
            }
        });
}

void RecordingTimelineThumbnails::deliver(quint64 request, const QString& source, double time, const QImage& image)
{
    ++decoded_;
    cache_.insert(cacheKey(source, time), image);
    if (request != request_ || source != source_)
        return;
    frames_[frameIndex(times_, time)] = image;
    ++revision_;
    emit changed();
}

void RecordingTimelineThumbnails::refused(quint64 request, const QString& sentence)
{
    // Every decoder of the load meets the same file.
    if (request == request_ && std::exchange(refusedRequest_, request) != request)
        emit unreadable(sentence);
}

} // namespace tarnwick
