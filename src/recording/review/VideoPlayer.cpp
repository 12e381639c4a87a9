#include "recording/review/VideoPlayer.h"

#include "recording/review/VideoFrameDecoder.h"
#include "recording/review/VideoPlayerSound.h"

#include <QCoreApplication>
#include <QPointer>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tarnwick::review {

// The pictures of one file for the player: the shared frame decoder plus the frames a
// seek and playback keep between calls. Used only on the player's queue.
class VideoDecoder {
public:
    // Frame threads: a seek decodes up to a key-frame interval of 1080p pictures before the one shown.
    explicit VideoDecoder(const QString& path) : decoder_(path, {.threads = 4})
    {
        shown_ = av_frame_alloc();
        pending_ = av_frame_alloc();
        last_ = av_frame_alloc();
    }
    ~VideoDecoder()
    {
        av_frame_free(&shown_);
        av_frame_free(&pending_);
        av_frame_free(&last_);
    }

    // The next picture with its time; nullopt at the end or on a broken file.
    std::optional<std::pair<double, QImage>> next(double notBefore = -1e300)
    {
        while (AVFrame* frame = decode())
            if (*lastTime_ + 1e-6 >= notBefore)
                return std::pair{*lastTime_, convert(frame)};
        return std::nullopt;
    }

    // The picture on screen at `seconds`: the newest at or before it (else the first after).
    // Only that one is converted; the frame after it is kept for playback as it came.
    std::optional<std::pair<double, QImage>> seek(double seconds)
    {
        if (!decoder_.isOpen() || !shown_ || !pending_ || !last_)
            return std::nullopt;
        pendingTime_.reset();
        av_frame_unref(pending_);
        std::optional<double> shown;
        // A step forward with no key frame in between goes on decoding from where the decoder stands.
        if (lastTime_ && *lastTime_ <= seconds + 1e-6 && keyFrameBefore(seconds) <= *lastTime_ + 1e-6) {
            shown = lastTime_;
            av_frame_unref(shown_);
            av_frame_ref(shown_, last_);
        } else {
            decoder_.seek(seconds);
            lastTime_.reset();
        }
        while (AVFrame* frame = decode()) {
            if (shown && *lastTime_ > seconds + 1e-6) {
                pendingTime_ = lastTime_;
                av_frame_move_ref(pending_, frame);
                break;
            }
            shown = lastTime_;
            av_frame_unref(shown_);
            av_frame_move_ref(shown_, frame);
        }
        if (!shown)
            return std::nullopt;
        return std::pair{*shown, convert(shown_)};
    }

    const QString& refusal() const { return decoder_.refusal(); }

    std::optional<std::pair<double, QImage>> takePending()
    {
        const std::optional<double> time = std::exchange(pendingTime_, std::nullopt);
        if (!time)
            return std::nullopt;
        QImage picture = convert(pending_);
        av_frame_unref(pending_);
        return std::pair{*time, std::move(picture)};
    }

private:
    // The next frame, also kept as the newest decoded one; nullptr at the end or on a broken file.
    AVFrame* decode()
    {
        if (!last_)
            return nullptr;
        AVFrame* frame = decoder_.next();
        if (!frame)
            return nullptr;
        const double time = decoder_.time(frame);
        lastTime_ = std::isnan(time) ? 0 : time;
        av_frame_unref(last_);
        av_frame_ref(last_, frame);
        return frame;
    }

    // The time of the last key frame at or before `seconds`; past anything when there is none.
    double keyFrameBefore(double seconds) const
    {
        const int entry = av_index_search_timestamp(decoder_.stream(), decoder_.stamp(seconds), AVSEEK_FLAG_BACKWARD);
        return entry < 0 ? 1e300 : decoder_.seconds(avformat_index_get_entry(decoder_.stream(), entry)->timestamp);
    }

    QImage convert(const AVFrame* frame)
    {
        QImage image(frame->width, frame->height, QImage::Format_RGB32);
        if (!decoder_.convert(frame, AV_PIX_FMT_BGRA, frame->width, frame->height, image.bits(),
                              static_cast<int>(image.bytesPerLine())))
            return {};
        return image;
    }

    VideoFrameDecoder decoder_;
    AVFrame* shown_ = nullptr;
    AVFrame* pending_ = nullptr;
    std::optional<double> pendingTime_;
    AVFrame* last_ = nullptr; // the newest frame decoded, at lastTime_
    std::optional<double> lastTime_;
};

VideoPlayer::VideoPlayer(QObject* parent) : QObject(parent)
{
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, &VideoPlayer::tick);
}

VideoPlayer::~VideoPlayer()
{
    // The queue's jobs hold the decoder; wait for them before it goes.
    queue_.sync([] {});
}

void VideoPlayer::setSource(const std::optional<QString>& path)
{
    pause();
    ++generation_;
    next_.reset();
    decoder_ = path ? std::make_shared<VideoDecoder>(*path) : nullptr;
    sound_ = path ? std::make_unique<VideoPlayerSound>(*path) : nullptr;
    picture_ = QImage();
    position_ = 0;
    endTime_ = 1e300;
    emit pictureChanged();
    if (decoder_ && !decoder_->refusal().isEmpty())
        emit unreadable(decoder_->refusal());
}

double VideoPlayer::currentTime() const
{
    return playing_ ? std::min(playFrom_ + clock_.nsecsElapsed() / 1e9, endTime_) : position_;
}

void VideoPlayer::seek(double seconds, std::function<void()> completion)
{
    pause();
    const int generation = ++generation_;
    next_.reset();
    if (!decoder_) {
        position_ = seconds;
        QMetaObject::invokeMethod(this, std::move(completion), Qt::QueuedConnection);
        return;
    }
    QPointer<VideoPlayer> self(this);
    queue_.async([self, decoder = decoder_, seconds, generation, filter = filter_,
                  completion = std::move(completion)]() mutable {
        auto shown = decoder->seek(seconds);
        if (shown && filter)
            shown->second = filter(shown->second, shown->first);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, shown = std::move(shown), seconds, generation, completion = std::move(completion)] {
                if (self && generation == self->generation_) {
                    self->position_ = seconds;
                    if (shown) {
                        self->picture_ = shown->second;
                        emit self->pictureChanged();
                    }
                }
                if (completion)
                    completion();
            },
            Qt::QueuedConnection);
    });
}

void VideoPlayer::play()
{
    if (playing_ || !decoder_ || position_ >= endTime_)
        return;
    playing_ = true;
    playFrom_ = position_;
    soundFrom_ = position_;
    clock_.start();
    if (sound_ && !sound_->start(position_, endTime_) && !sound_->refusal().isEmpty())
        emit unreadable(sound_->refusal());
    timer_.start();
    requestNext();
    emit rateChanged();
}

void VideoPlayer::pause()
{
    if (!playing_)
        return;
    position_ = currentTime();
    playing_ = false;
    if (sound_)
        sound_->stop();
    timer_.stop();
    emit rateChanged();
}

void VideoPlayer::requestNext()
{
    if (decoding_ || next_ || !decoder_)
        return;
    decoding_ = true;
    QPointer<VideoPlayer> self(this);
    queue_.async([self, decoder = decoder_, generation = generation_, filter = filter_] {
        auto picture = decoder->takePending();
        if (!picture)
            picture = decoder->next();
        if (picture && filter)
            picture->second = filter(picture->second, picture->first);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, picture = std::move(picture), generation] {
                if (!self)
                    return;
                self->decoding_ = false;
                if (generation == self->generation_)
                    self->next_ = picture ? picture : std::pair{1e300, QImage()};
            },
            Qt::QueuedConnection);
    });
}

// The picture keeps to what has been heard; without sound (none, ended, or no server) the
// wall clock carries on from there.
void VideoPlayer::followSound()
{
    const std::optional<double> heard = sound_ ? sound_->heard() : std::nullopt;
    if (!heard)
        return;
    const double elapsed = clock_.nsecsElapsed() / 1e9;
    if (*heard == 0 && elapsed > 1.0) {
        sound_->stop(); // a server that never starts playing must not hold the picture
        playFrom_ = soundFrom_ - elapsed;
        return;
    }
    playFrom_ = soundFrom_ + *heard - elapsed;
}

void VideoPlayer::tick()
{
    followSound();
    const double now = currentTime();
    if (next_ && next_->first <= now && next_->first < endTime_) {
        picture_ = next_->second;
        next_.reset();
        emit pictureChanged();
    }
    requestNext();
    if (now >= endTime_) {
        position_ = endTime_;
        pause();
    }
}

} // namespace tarnwick::review
