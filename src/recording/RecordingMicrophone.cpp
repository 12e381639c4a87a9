#include "recording/RecordingMicrophone.h"

#include <pulse/pulseaudio.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {

namespace {

TarnwickError sentence(const char* text) { return TarnwickError::message(QString::fromUtf8(text)); }

// PulseAudio formats we hand on as they are; anything else is asked for as float.
int ffmpegFormat(pa_sample_format_t format)
{
    switch (format) {
    case PA_SAMPLE_U8:
        return AV_SAMPLE_FMT_U8;
    case PA_SAMPLE_S16LE:
        return AV_SAMPLE_FMT_S16;
    case PA_SAMPLE_S32LE:
        return AV_SAMPLE_FMT_S32;
    case PA_SAMPLE_FLOAT32LE:
        return AV_SAMPLE_FMT_FLT;
    default:
        return -1;
    }
}

// PulseAudio's places and FFmpeg's names for them; any other place (an auxiliary channel) has none.
constexpr std::pair<pa_channel_position_t, AVChannel> places[] = {
    {PA_CHANNEL_POSITION_MONO, AV_CHAN_FRONT_CENTER},
    {PA_CHANNEL_POSITION_FRONT_LEFT, AV_CHAN_FRONT_LEFT},
    {PA_CHANNEL_POSITION_FRONT_RIGHT, AV_CHAN_FRONT_RIGHT},
    {PA_CHANNEL_POSITION_FRONT_CENTER, AV_CHAN_FRONT_CENTER},
    {PA_CHANNEL_POSITION_REAR_CENTER, AV_CHAN_BACK_CENTER},
    {PA_CHANNEL_POSITION_REAR_LEFT, AV_CHAN_BACK_LEFT},
    {PA_CHANNEL_POSITION_REAR_RIGHT, AV_CHAN_BACK_RIGHT},
    {PA_CHANNEL_POSITION_LFE, AV_CHAN_LOW_FREQUENCY},
    {PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER, AV_CHAN_FRONT_LEFT_OF_CENTER},
    {PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER, AV_CHAN_FRONT_RIGHT_OF_CENTER},
    {PA_CHANNEL_POSITION_SIDE_LEFT, AV_CHAN_SIDE_LEFT},
    {PA_CHANNEL_POSITION_SIDE_RIGHT, AV_CHAN_SIDE_RIGHT},
    {PA_CHANNEL_POSITION_TOP_CENTER, AV_CHAN_TOP_CENTER},
    {PA_CHANNEL_POSITION_TOP_FRONT_LEFT, AV_CHAN_TOP_FRONT_LEFT},
    {PA_CHANNEL_POSITION_TOP_FRONT_RIGHT, AV_CHAN_TOP_FRONT_RIGHT},
    {PA_CHANNEL_POSITION_TOP_FRONT_CENTER, AV_CHAN_TOP_FRONT_CENTER},
    {PA_CHANNEL_POSITION_TOP_REAR_LEFT, AV_CHAN_TOP_BACK_LEFT},
    {PA_CHANNEL_POSITION_TOP_REAR_RIGHT, AV_CHAN_TOP_BACK_RIGHT},
    {PA_CHANNEL_POSITION_TOP_REAR_CENTER, AV_CHAN_TOP_BACK_CENTER},
};

// Where each channel of `map` plays, as FFmpeg names the places.
std::vector<int> positionsOf(const pa_channel_map& map)
{
    std::vector<int> positions;
    for (int i = 0; i < map.channels; ++i) {
        const auto* place = std::find_if(std::begin(places), std::end(places),
                                         [&](const auto& known) { return known.first == map.map[i]; });
        positions.push_back(place != std::end(places) ? place->second : AV_CHAN_UNKNOWN);
    }
    return positions;
}

// Lets a stream go without a word from it.
void release(pa_stream* stream)
{
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_moved_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

} // namespace

// A running frame count, re-anchored to the measured time only past 25 ms of drift,
// so the mixer sees one continuous stream instead of jittery buffer times.
struct RecordingMicrophone::Clock {
    double anchor = 0;
    std::int64_t frames = 0;
    bool anchored = false;

    double stamp(double measured, int count, int rate)
    {
        double expected = anchor + static_cast<double>(frames) / rate;
        if (!anchored || std::abs(expected - measured) > 0.025) {
            anchor = measured;
            frames = 0;
            anchored = true;
            expected = measured;
        }
        frames += count;
        return expected;
    }
};

RecordingMicrophone::RecordingMicrophone(platform::SerialQueue& sampleQueue, RecordingAudioSource source)
    : sampleQueue_(sampleQueue), source_(source), alive_(std::make_shared<std::atomic<bool>>(false)),
      clock_(std::make_unique<Clock>())
{
}

RecordingMicrophone::~RecordingMicrophone() { stop(); }

void RecordingMicrophone::start()
{
    const bool microphone = source_ == RecordingAudioSource::microphone;
    const review::media::PulseConnection::Result connected = pulse_.open();
    if (connected != review::media::PulseConnection::Result::ready) {
        stop();
        throw microphone && connected == review::media::PulseConnection::Result::noServer
            ? sentence("Микрофон не найден. Подключите его или отключите запись микрофона.")
            : sentence("Не удалось подключиться к звуковому серверу PulseAudio.");
    }
    pa_threaded_mainloop_lock(pulse_.loop());
    lookup_ = std::make_unique<RecordingSourceLookup>(pulse_.context(), !microphone);
    std::optional<RecordingSourceChoice> choice;
    lookup_->ask([&](const RecordingSourceChoice& found) {
        choice = found;
        pa_threaded_mainloop_signal(pulse_.loop(), 0);
    });
    while (!choice && PA_CONTEXT_IS_GOOD(pa_context_get_state(pulse_.context())))
        pa_threaded_mainloop_wait(pulse_.loop());
    if (!choice || choice->source.empty() || (microphone && choice->isMonitor)) {
        pa_threaded_mainloop_unlock(pulse_.loop());
        stop();
        throw microphone ? sentence("Микрофон не найден. Подключите его или отключите запись микрофона.")
                         : sentence("Системный звук недоступен: звуковой сервер не назвал выход по умолчанию.");
    }
    stream_ = connect(*choice);
    if (!stream_ || !pulse_.waitForStream(stream_)) {
        pa_threaded_mainloop_unlock(pulse_.loop());
        stop();
        throw microphone ? sentence("Микрофон недоступен для записи.")
                         : sentence("Системный звук недоступен для записи.");
    }
    device_ = choice->device;
    // Headphones plugged in, another output or input chosen in the sound settings: the server
    // names another default, and the recording follows it.
    pa_context_set_subscribe_callback(
        pulse_.context(),
        [](pa_context*, pa_subscription_event_type_t type, std::uint32_t, void* self) {
            auto* capture = static_cast<RecordingMicrophone*>(self);
            if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER && !capture->stopping_)
                capture->lookup_->ask([capture](const RecordingSourceChoice& found) { capture->follow(found); });
        },
        this);
    if (pa_operation* subscribed = pa_context_subscribe(pulse_.context(), PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr))
        pa_operation_unref(subscribed);
    alive_->store(true);
    pa_threaded_mainloop_unlock(pulse_.loop());
}

pa_stream* RecordingMicrophone::connect(const RecordingSourceChoice& choice)
{
    const bool microphone = source_ == RecordingAudioSource::microphone;
    pa_sample_spec sampleFormat = choice.sampleFormat;
    if (ffmpegFormat(sampleFormat.format) < 0)
        sampleFormat.format = PA_SAMPLE_FLOAT32LE;
    // The source's own channels in its own order: the server remixes nothing on the way, and the
    // mixer learns which channel plays where.
    pa_channel_map channelMap = choice.channelMap;
    if (!pa_channel_map_compatible(&channelMap, &sampleFormat)) {
        sampleFormat.channels = 2; // a source that names no places: the server's own stereo mix
        pa_channel_map_init_stereo(&channelMap);
    }
    format_ = {ffmpegFormat(sampleFormat.format), static_cast<int>(sampleFormat.rate), sampleFormat.channels,
               positionsOf(channelMap)};
    *clock_ = Clock{}; // another source runs on another clock, maybe at another rate
    pa_stream* stream = pa_stream_new(pulse_.context(), microphone ? "Tarnwick: микрофон" : "Tarnwick: системный звук",
                                      &sampleFormat, &channelMap);
    if (!stream)
        return nullptr;
    pa_stream_set_state_callback(
        stream,
        [](pa_stream* s, void* self) {
            auto* capture = static_cast<RecordingMicrophone*>(self);
            if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
                capture->failed();
            pa_threaded_mainloop_signal(capture->pulse_.loop(), 0);
        },
        this);
    pa_stream_set_read_callback(
        stream, [](pa_stream*, size_t, void* self) { static_cast<RecordingMicrophone*>(self)->read(); }, this);
    // Another device under the recording is a failure too: the user chose this one.
    pa_stream_set_moved_callback(
        stream, [](pa_stream*, void* self) { static_cast<RecordingMicrophone*>(self)->failed(); }, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(10000, &sampleFormat));
    // A source that goes away (a headset unplugged, a sink unloaded) kills the stream instead of
    // PulseAudio moving it to another source: a microphone would otherwise record the speakers' monitor.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE
                                                      | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream, choice.source.c_str(), &attributes, flags) < 0) {
        release(stream);
        return nullptr;
    }
    return stream;
}

void RecordingMicrophone::follow(const RecordingSourceChoice& choice)
{
    if (stopping_ || reported_ || !stream_ || choice.device == device_)
        return;
    // A stream the server ended (its source removed, not merely no longer the default) says so itself.
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))
        return;
    disconnect();
    device_ = choice.device;
    const bool usable = !choice.source.empty() && !(source_ == RecordingAudioSource::microphone && choice.isMonitor);
    stream_ = usable ? connect(choice) : nullptr;
    if (!stream_)
        failed();
}

void RecordingMicrophone::disconnect()
{
    if (stream_)
        release(stream_);
    stream_ = nullptr;
}

void RecordingMicrophone::read()
{
    const void* data = nullptr;
    size_t bytes = 0;
    while (pa_stream_peek(stream_, &data, &bytes) == 0 && bytes > 0) {
        const int frameBytes = format_.channels * av_get_bytes_per_sample(static_cast<AVSampleFormat>(format_.sampleFormat));
        const int frames = static_cast<int>(bytes) / frameBytes;
        if (data && frames > 0 && onSample) {
            pa_usec_t latency = 0;
            int negative = 0;
            double measured = hostTimeNow() - static_cast<double>(frames) / format_.rate;
            if (pa_stream_get_latency(stream_, &latency, &negative) == 0)
                measured -= (negative ? -1.0 : 1.0) * static_cast<double>(latency) / 1e6;
            const double time = clock_->stamp(measured, frames, format_.rate);
            RecordingAudioBuffer buffer{format_, {}, frames};
            const auto* begin = static_cast<const std::uint8_t*>(data);
            buffer.data.assign(begin, begin + static_cast<std::ptrdiff_t>(frames) * frameBytes);
            sampleQueue_.async([alive = alive_, callback = onSample, buffer = std::move(buffer), time] {
                if (alive->load())
                    callback(buffer, time);
            });
        }
        pa_stream_drop(stream_);
    }
}

void RecordingMicrophone::failed()
{
    // Once: a killed stream may pass through more than one bad state.
    if (stopping_ || reported_ || !alive_->load() || !onFailure)
        return;
    reported_ = true;
    const TarnwickError error = source_ == RecordingAudioSource::microphone
                                    ? sentence("Запись микрофона прервана.")
                                    : sentence("Запись системного звука прервана.");
    sampleQueue_.async([alive = alive_, callback = onFailure, error] {
        if (alive->load())
            callback(error);
    });
}

void RecordingMicrophone::stop()
{
    alive_->store(false);
    if (!pulse_.loop())
        return;
    pa_threaded_mainloop_lock(pulse_.loop());
    stopping_ = true;
    pa_context_set_subscribe_callback(pulse_.context(), nullptr, nullptr);
    lookup_.reset();
    disconnect();
    pa_threaded_mainloop_unlock(pulse_.loop());
    pulse_.close();
}

} // namespace tarnwick
