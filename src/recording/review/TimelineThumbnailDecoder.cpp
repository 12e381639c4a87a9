#include "recording/review/TimelineThumbnailDecoder.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace tarnwick {

TimelineThumbnailDecoder::TimelineThumbnailDecoder(const QString& path)
{
    if (avformat_open_input(&format_, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return;
    if (avformat_find_stream_info(format_, nullptr) < 0)
        return;
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream_ < 0 || !decoder)
        return;
    AVStream* stream = format_->streams[stream_];
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    if (!codec)
        return;
    // Two frame threads: a frame of delay after a seek, but a long run from the key frame goes faster;
    // the strip runs several decoders side by side.
    codec->thread_count = 2;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    // Deblocking is invisible at thumbnail size and a good part of the decoding time.
    codec->skip_loop_filter = AVDISCARD_ALL;
    codec->flags2 |= AV_CODEC_FLAG2_FAST;
    if (avcodec_parameters_to_context(codec, stream->codecpar) < 0 || avcodec_open2(codec, decoder, nullptr) < 0) {
        avcodec_free_context(&codec);
        return;
    }
    codec_ = codec;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    timeBase_ = av_q2d(stream->time_base);
    startTime_ = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time * timeBase_;
}

TimelineThumbnailDecoder::~TimelineThumbnailDecoder()
{
    sws_freeContext(scaler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

std::int64_t TimelineThumbnailDecoder::stamp(double seconds) const
{
    return static_cast<std::int64_t>(std::floor((seconds + startTime_) / timeBase_));
}

std::int64_t TimelineThumbnailDecoder::seekTarget(double seconds, double tolerance) const
{
    AVStream* stream = format_->streams[stream_];
    // A key frame within the tolerance needs no run of decoding: the one before the time if it is
    // late enough, else the one after it if it is early enough.
    int before = av_index_search_timestamp(stream, stamp(seconds), AVSEEK_FLAG_BACKWARD);
    int after = av_index_search_timestamp(stream, stamp(seconds - tolerance), 0);
    const AVIndexEntry* late = before >= 0 ? avformat_index_get_entry(stream, before) : nullptr;
    const AVIndexEntry* early = after >= 0 ? avformat_index_get_entry(stream, after) : nullptr;
    if ((!late || late->timestamp < stamp(seconds - tolerance)) && early && early->timestamp <= stamp(seconds + tolerance))
        return early->timestamp;
    return stamp(seconds);
}

double TimelineThumbnailDecoder::decodingRun(double seconds, double tolerance) const
{
    if (!isOpen())
        return 0;
    AVStream* stream = format_->streams[stream_];
    const int key = av_index_search_timestamp(stream, seekTarget(seconds, tolerance), AVSEEK_FLAG_BACKWARD);
    if (key < 0)
        return std::max(seconds - tolerance, 0.0);
    const double keyTime = avformat_index_get_entry(stream, key)->timestamp * timeBase_ - startTime_;
    return std::max(seconds - tolerance - keyTime, 0.0);
}

QImage TimelineThumbnailDecoder::frameAt(double seconds, double tolerance, QSize maximumSize)
{
    if (!isOpen() || !packet_ || !frame_)
        return {};
    if (av_seek_frame(format_, stream_, seekTarget(seconds, tolerance), AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(format_, stream_, 0, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec_);

    AVFrame* held = av_frame_alloc();
    auto lastFrame = [&] {
        QImage image = held && held->data[0] ? scaled(held, maximumSize) : QImage();
        av_frame_free(&held);
        return image;
    };
    bool draining = false;
    while (true) {
        int received = avcodec_receive_frame(codec_, frame_);
        if (received == 0) {
            double time = frame_->best_effort_timestamp == AV_NOPTS_VALUE
                              ? seconds
                              : frame_->best_effort_timestamp * timeBase_ - startTime_;
            if (time >= seconds - tolerance) {
                QImage image = scaled(frame_, maximumSize);
                av_frame_unref(frame_);
                av_frame_free(&held);
                return image;
            }
            // Kept only in case the video ends before the requested time.
            if (held) {
                av_frame_unref(held);
                av_frame_move_ref(held, frame_);
            }
            av_frame_unref(frame_);
            continue;
        }
        if (received != AVERROR(EAGAIN) || draining)
            return lastFrame();
        int read = av_read_frame(format_, packet_);
        if (read < 0) {
            draining = true;
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        if (packet_->stream_index == stream_)
            avcodec_send_packet(codec_, packet_);
        av_packet_unref(packet_);
    }
}

QImage TimelineThumbnailDecoder::scaled(const AVFrame* frame, QSize maximumSize)
{
    if (frame->width <= 0 || frame->height <= 0)
        return {};
    double scale = std::min({1.0, double(maximumSize.width()) / frame->width,
                             double(maximumSize.height()) / frame->height});
    int width = std::max(1, int(std::lround(frame->width * scale)));
    int height = std::max(1, int(std::lround(frame->height * scale)));
    scaler_ = sws_getCachedContext(scaler_, frame->width, frame->height, AVPixelFormat(frame->format), width, height,
                                   AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr, nullptr);
    if (!scaler_)
        return {};
    QImage image(width, height, QImage::Format_ARGB32);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler_, frame->data, frame->linesize, 0, frame->height, planes, strides);
    return image;
}

} // namespace tarnwick
