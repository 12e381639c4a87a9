#include "recording/review/VideoFrameDecoder.h"

#include "recording/review/MediaFormat.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace tarnwick::review {

VideoFrameDecoder::VideoFrameDecoder(const QString& path, Options options)
{
    format_ = media::openInput(path, &refusal_).release();
    if (!format_)
        return;
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream_ < 0) {
        state_ = State::noVideo;
        return;
    }
    state_ = State::noDecoder;
    if (!decoder)
        return;
    // Nothing here reads the sound or other streams: their packets are not even read out.
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != stream_)
            format_->streams[i]->discard = AVDISCARD_ALL;
    AVStream* stream = format_->streams[stream_];
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    if (!codec)
        return;
    codec->thread_count = options.threads;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (options.fast) {
        codec->skip_loop_filter = AVDISCARD_ALL;
        codec->flags2 |= AV_CODEC_FLAG2_FAST;
    }
    if (avcodec_parameters_to_context(codec, stream->codecpar) < 0 || avcodec_open2(codec, decoder, nullptr) < 0) {
        avcodec_free_context(&codec);
        return;
    }
    codec_ = codec;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (packet_ && frame_)
        state_ = State::open;
    timeBase_ = av_q2d(stream->time_base);
}

VideoFrameDecoder::~VideoFrameDecoder()
{
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

AVStream* VideoFrameDecoder::stream() const { return isOpen() ? format_->streams[stream_] : nullptr; }

std::int64_t VideoFrameDecoder::stamp(double seconds) const
{
    return static_cast<std::int64_t>(std::floor(seconds / timeBase_));
}

double VideoFrameDecoder::seconds(std::int64_t stamp) const { return stamp * timeBase_; }

void VideoFrameDecoder::seekStamp(std::int64_t stamp)
{
    if (!isOpen())
        return;
    if (av_seek_frame(format_, stream_, stamp, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(format_, stream_, 0, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec_);
    draining_ = false;
    failed_ = false;
}

AVFrame* VideoFrameDecoder::next()
{
    if (!isOpen())
        return nullptr;
    av_frame_unref(frame_);
    while (true) {
        const int received = avcodec_receive_frame(codec_, frame_);
        if (received == 0)
            return frame_;
        if (received != AVERROR(EAGAIN) || draining_) {
            failed_ = received != AVERROR_EOF;
            return nullptr;
        }
        const int read = av_read_frame(format_, packet_);
        if (read < 0) {
            // A broken file stops here; the end of the file lets the decoder give out what it holds.
            if (read != AVERROR_EOF) {
                failed_ = true;
                return nullptr;
            }
            draining_ = true;
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        // A damaged packet costs a picture or two, not the rest of the video.
        if (packet_->stream_index == stream_)
            avcodec_send_packet(codec_, packet_);
        av_packet_unref(packet_);
    }
}

double VideoFrameDecoder::time(const AVFrame* frame) const
{
    const std::int64_t stamp =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    return stamp == AV_NOPTS_VALUE ? std::nan("") : seconds(stamp);
}

bool VideoFrameDecoder::convert(const AVFrame* frame, int format, int width, int height, std::uint8_t* data,
                                int stride)
{
    if (frame->width <= 0 || frame->height <= 0)
        return false;
    SwsContext* context = scaler_.prepare(QSize(frame->width, frame->height), AVPixelFormat(frame->format),
                                          QSize(width, height), AVPixelFormat(format), SWS_AREA);
    if (!context)
        return false;
    media::matchColours(context, frame->colorspace, frame->color_range, false);
    std::uint8_t* planes[4] = {data, nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    return scaler_.scale(frame->data, frame->linesize, planes, strides);
}

} // namespace tarnwick::review
