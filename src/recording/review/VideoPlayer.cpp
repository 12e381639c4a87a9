#include "recording/review/VideoPlayer.h"

#include "recording/review/VideoPlayerSound.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace tarnwick::review {

// One open file and its video decoder; used only on the player's queue.
class VideoDecoder {
public:
    explicit VideoDecoder(const QString& path)
    {
        if (avformat_open_input(&format_, QFile::encodeName(path).constData(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format_, nullptr) < 0)
            return;
        stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream_ < 0)
            return;
        for (unsigned i = 0; i < format_->nb_streams; ++i)
            if (static_cast<int>(i) != stream_)
                format_->streams[i]->discard = AVDISCARD_ALL; // the sound has a reader of its own
        const AVCodecParameters* parameters = format_->streams[stream_]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
        codec_ = avcodec_alloc_context3(codec);
        // Frame threads: a seek decodes up to a key-frame interval of 1080p pictures before the one shown.
        if (codec_) {
            codec_->thread_count = 4;
            codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        }
        if (!codec || avcodec_parameters_to_context(codec_, parameters) < 0 || avcodec_open2(codec_, codec, nullptr) < 0)
            stream_ = -1;
        frame_ = av_frame_alloc();
        shown_ = av_frame_alloc();
        pending_ = av_frame_alloc();
        last_ = av_frame_alloc();
        packet_ = av_packet_alloc();
    }
    ~VideoDecoder()
    {
        sws_freeContext(scaler_);
        av_frame_free(&frame_);
        av_frame_free(&shown_);
        av_frame_free(&pending_);
        av_frame_free(&last_);
        av_packet_free(&packet_);
        avcodec_free_context(&codec_);
        avformat_close_input(&format_);
    }

    // The next picture with its time; nullopt at the end or on a broken file.
    std::optional<std::pair<double, QImage>> next(double notBefore = -1e300)
    {
        while (const std::optional<double> time = decode())
            if (*time + 1e-6 >= notBefore)
                return std::pair{*time, convert(frame_)};
        return std::nullopt;
    }

    // The picture on screen at `seconds`: the newest at or before it (else the first after).
    // Only that one is converted; the frame after it is kept for playback as it came.
    std::optional<std::pair<double, QImage>> seek(double seconds)
    {
        if (stream_ < 0)
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
            av_seek_frame(format_, -1, static_cast<int64_t>(seconds * AV_TIME_BASE), AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(codec_);
            lastTime_.reset();
        }
        while (const std::optional<double> time = decode()) {
            if (shown && *time > seconds + 1e-6) {
                pendingTime_ = time;
                av_frame_move_ref(pending_, frame_);
                break;
            }
            shown = time;
            av_frame_unref(shown_);
            av_frame_move_ref(shown_, frame_);
        }
        if (!shown)
            return std::nullopt;
        return std::pair{*shown, convert(shown_)};
    }

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
    // Decodes the next frame into frame_ and gives its time; nullopt at the end or on a broken file.
    std::optional<double> decode()
    {
        if (stream_ < 0)
            return std::nullopt;
        const double base = av_q2d(format_->streams[stream_]->time_base);
        for (;;) {
            av_frame_unref(frame_);
            const int received = avcodec_receive_frame(codec_, frame_);
            if (received == 0) {
                const int64_t ts = frame_->best_effort_timestamp;
                lastTime_ = ts == AV_NOPTS_VALUE ? 0 : ts * base;
                av_frame_unref(last_);
                av_frame_ref(last_, frame_);
                return lastTime_;
            }
            if (received == AVERROR_EOF)
                return std::nullopt;
            if (av_read_frame(format_, packet_) < 0) {
                avcodec_send_packet(codec_, nullptr);
                continue;
            }
            if (packet_->stream_index == stream_)
                avcodec_send_packet(codec_, packet_);
            av_packet_unref(packet_);
        }
    }

    // The time of the last key frame at or before `seconds`; past anything when there is none.
    double keyFrameBefore(double seconds) const
    {
        AVStream* stream = format_->streams[stream_];
        const double base = av_q2d(stream->time_base);
        const int entry =
            av_index_search_timestamp(stream, static_cast<int64_t>(std::floor(seconds / base)), AVSEEK_FLAG_BACKWARD);
        return entry < 0 ? 1e300 : avformat_index_get_entry(stream, entry)->timestamp * base;
    }

    QImage convert(const AVFrame* frame)
    {
        QImage image(frame->width, frame->height, QImage::Format_RGB32);
        scaler_ = sws_getCachedContext(scaler_, frame->width, frame->height, AVPixelFormat(frame->format),
                                       frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr,
                                       nullptr);
        uint8_t* planes[] = {image.bits()};
        const int strides[] = {static_cast<int>(image.bytesPerLine())};
        sws_scale(scaler_, frame->data, frame->linesize, 0, frame->height, planes, strides);
        return image;
    }

    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* shown_ = nullptr;
    AVFrame* pending_ = nullptr;
    std::optional<double> pendingTime_;
    AVFrame* last_ = nullptr; // the newest frame decoded, at lastTime_
    std::optional<double> lastTime_;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    int stream_ = -1;
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
    if (sound_)
        sound_->start(position_, endTime_);
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
