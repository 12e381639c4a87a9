#include "recording/review/VideoPlayerSound.h"

#include "recording/review/MediaFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <pulse/pulseaudio.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace tarnwick::review {

namespace {

constexpr int channels = 2;
constexpr std::size_t frameBytes = channels * sizeof(float);

} // namespace

VideoPlayerSound::VideoPlayerSound(QString path) : path_(std::move(path)) {}

VideoPlayerSound::~VideoPlayerSound()
{
    stop();
    pulse_.close();
    swr_free(&resampler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

bool VideoPlayerSound::openTrack()
{
    format_ = media::openInput(path_, &refusal_).release();
    if (!format_)
        return false;
    const AVCodec* decoder = nullptr;
    track_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (track_ < 0 || !decoder)
        return false;
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != track_)
            format_->streams[i]->discard = AVDISCARD_ALL; // the picture has a reader of its own
    codec_ = avcodec_alloc_context3(decoder);
    if (!codec_ || avcodec_parameters_to_context(codec_, format_->streams[track_]->codecpar) < 0 ||
        avcodec_open2(codec_, decoder, nullptr) < 0 || codec_->sample_rate <= 0)
        return false;
    rate_ = codec_->sample_rate;
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    return frame_ && packet_;
}

bool VideoPlayerSound::start(double from, double end)
{
    stop();
    if (!opened_) {
        opened_ = true;
        if (!openTrack())
            track_ = -1;
    }
    if (track_ < 0 || serverFailed_ || !(end > from))
        return false;
    if (!pulse_.isOpen() && pulse_.open() != media::PulseConnection::Result::ready) {
        // Without a sound server the preview plays its pictures alone; no second try.
        serverFailed_ = true;
        return false;
    }
    const AVStream* track = format_->streams[track_];
    av_seek_frame(format_, track_, static_cast<int64_t>(std::max(from, 0.0) / av_q2d(track->time_base)),
                  AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec_);
    swr_free(&resampler_);

    pa_threaded_mainloop_lock(pulse_.loop());
    from_ = from;
    const double frames = (end - from) * rate_;
    framesLeft_ = frames < 1e15 ? static_cast<std::size_t>(std::llround(frames)) : SIZE_MAX; // no end time: all
    first_ = true;
    ended_ = false;
    written_ = 0;
    pending_.clear();
    pendingAt_ = 0;
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(rate_), channels};
    if (pa_context_get_state(pulse_.context()) == PA_CONTEXT_READY)
        stream_ = pa_stream_new(pulse_.context(), "Предпросмотр записи", &sampleFormat, nullptr);
    if (stream_) {
        pa_stream_set_write_callback(
            stream_, [](pa_stream*, std::size_t bytes, void* self) { static_cast<VideoPlayerSound*>(self)->feed(bytes); },
            this);
        // A short buffer: the picture waits for the sound, so its latency is the start's delay.
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<uint32_t>(-1);
        buffer.tlength = static_cast<uint32_t>(pa_usec_to_bytes(100000, &sampleFormat));
        buffer.prebuf = static_cast<uint32_t>(-1);
        buffer.minreq = static_cast<uint32_t>(-1);
        buffer.fragsize = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_playback(stream_, nullptr, &buffer, flags, nullptr, nullptr) < 0) {
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
    }
    const bool playing = stream_ != nullptr;
    if (!playing && pa_context_get_state(pulse_.context()) != PA_CONTEXT_READY)
        serverFailed_ = true;
    pa_threaded_mainloop_unlock(pulse_.loop());
    return playing;
}

void VideoPlayerSound::stop()
{
    if (!stream_)
        return;
    pa_threaded_mainloop_lock(pulse_.loop());
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_); // the server drops what it still holds
    pa_stream_unref(stream_);
    stream_ = nullptr;
    pa_threaded_mainloop_unlock(pulse_.loop());
}

std::optional<double> VideoPlayerSound::heard() const
{
    if (!stream_)
        return std::nullopt;
    pa_threaded_mainloop_lock(pulse_.loop());
    std::optional<double> seconds;
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_CREATING) {
        seconds = 0;
    } else if (state == PA_STREAM_READY) {
        pa_usec_t played = 0;
        if (pa_stream_get_time(stream_, &played) < 0)
            played = 0; // no timing yet: nothing heard
        // Once everything is written the clock may stop short of the end in the server's
        // last buffer; the last few hundredths of a second run on the wall clock.
        if (!ended_)
            seconds = static_cast<double>(played) / 1e6;
    }
    pa_threaded_mainloop_unlock(pulse_.loop());
    return seconds;
}

// On PulseAudio's thread, with the lock held.
void VideoPlayerSound::feed(std::size_t bytes)
{
    while (bytes >= frameBytes && !ended_) {
        if (pendingAt_ >= pending_.size()) {
            pending_.clear();
            pendingAt_ = 0;
            if (!decodeMore()) {
                ended_ = true;
                // A fragment shorter than the prebuffer would otherwise never start.
                if (pa_operation* operation = pa_stream_trigger(stream_, nullptr, nullptr))
                    pa_operation_unref(operation);
            }
            continue;
        }
        const std::size_t count = std::min(bytes / frameBytes, (pending_.size() - pendingAt_) / channels);
        pa_stream_write(stream_, pending_.data() + pendingAt_, count * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
        pendingAt_ += count * channels;
        written_ += count;
        bytes -= count * frameBytes;
    }
}

void VideoPlayerSound::append(const float* samples, int count)
{
    const std::size_t taken = std::min(framesLeft_, static_cast<std::size_t>(std::max(count, 0)));
    if (samples)
        pending_.insert(pending_.end(), samples, samples + taken * channels);
    else
        pending_.resize(pending_.size() + taken * channels, 0.0f);
    framesLeft_ -= taken;
}

// Decodes until some samples are pending; false at the end time or the end of the track.
bool VideoPlayerSound::decodeMore()
{
    const double timeBase = av_q2d(format_->streams[track_]->time_base);
    std::vector<float> converted;
    while (framesLeft_ > 0 && pending_.empty()) {
        const int received = avcodec_receive_frame(codec_, frame_);
        if (received == AVERROR(EAGAIN)) {
            if (av_read_frame(format_, packet_) < 0) {
                avcodec_send_packet(codec_, nullptr);
                continue;
            }
            if (packet_->stream_index == track_)
                avcodec_send_packet(codec_, packet_);
            av_packet_unref(packet_);
            continue;
        }
        if (received < 0)
            return false;
        if (!resampler_) {
            AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
            AVChannelLayout layout{};
            if (frame_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&layout, frame_->ch_layout.nb_channels);
            else
                av_channel_layout_copy(&layout, &frame_->ch_layout);
            const int made = swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_FLT, rate_, &layout,
                                                 AVSampleFormat(frame_->format), frame_->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&layout);
            if (made < 0 || swr_init(resampler_) < 0) {
                swr_free(&resampler_);
                av_frame_unref(frame_);
                return false;
            }
        }
        const double time =
            frame_->best_effort_timestamp == AV_NOPTS_VALUE ? from_ : frame_->best_effort_timestamp * timeBase;
        converted.resize(static_cast<std::size_t>(swr_get_out_samples(resampler_, frame_->nb_samples)) * channels);
        uint8_t* out[] = {reinterpret_cast<uint8_t*>(converted.data())};
        const int count = swr_convert(resampler_, out, static_cast<int>(converted.size() / channels),
                                      const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
        av_frame_unref(frame_);
        if (count <= 0)
            continue;
        if (first_) {
            // The seek lands on a packet at or before `from`: drop what lies before it, or fill a
            // late first packet with silence, so the sound starts exactly where the picture does.
            const auto offset = std::llround((time - from_) * rate_);
            if (offset + count <= 0)
                continue;
            first_ = false;
            if (offset > 0)
                append(nullptr, static_cast<int>(offset));
            const int skip = offset < 0 ? static_cast<int>(-offset) : 0;
            append(converted.data() + static_cast<std::size_t>(skip) * channels, count - skip);
        } else {
            append(converted.data(), count);
        }
    }
    return !pending_.empty();
}

} // namespace tarnwick::review
