#include "recording/RecordingAudioMixer.h"

#include "platform/TarnwickError.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iterator>

namespace tarnwick {

namespace {

TarnwickError fail(const char* sentence) { return TarnwickError::message(QString::fromUtf8(sentence)); }

// The largest number of channels a sound server gives one stream.
constexpr int mostChannels = 32;

// Where each channel of `format` plays; without positions, one channel is mono, two are a pair,
// and more are heard on both sides, as their order says nothing sure.
std::vector<int> positionsOf(const RecordingAudioFormat& format)
{
    if (!format.positions.empty())
        return format.positions;
    if (format.channels == 1)
        return {AV_CHAN_FRONT_CENTER};
    if (format.channels == 2)
        return {AV_CHAN_FRONT_LEFT, AV_CHAN_FRONT_RIGHT};
    return std::vector<int>(static_cast<std::size_t>(format.channels), AV_CHAN_UNKNOWN);
}

// How much of a channel goes to the left and to the right before the rows are scaled: the front
// pair whole, what lies further round at -3 dB on its own side. A place not listed has no side
// (centre, LFE, a position the server does not name) and goes at -3 dB to both.
struct Reach {
    AVChannel place;
    double left, right;
};
constexpr Reach reaches[] = {
    {AV_CHAN_FRONT_LEFT, 1, 0},
    {AV_CHAN_FRONT_LEFT_OF_CENTER, 1, 0},
    {AV_CHAN_WIDE_LEFT, 1, 0},
    {AV_CHAN_STEREO_LEFT, 1, 0},
    {AV_CHAN_FRONT_RIGHT, 0, 1},
    {AV_CHAN_FRONT_RIGHT_OF_CENTER, 0, 1},
    {AV_CHAN_WIDE_RIGHT, 0, 1},
    {AV_CHAN_STEREO_RIGHT, 0, 1},
    {AV_CHAN_BACK_LEFT, M_SQRT1_2, 0},
    {AV_CHAN_SIDE_LEFT, M_SQRT1_2, 0},
    {AV_CHAN_SURROUND_DIRECT_LEFT, M_SQRT1_2, 0},
    {AV_CHAN_TOP_FRONT_LEFT, M_SQRT1_2, 0},
    {AV_CHAN_TOP_SIDE_LEFT, M_SQRT1_2, 0},
    {AV_CHAN_TOP_BACK_LEFT, M_SQRT1_2, 0},
    {AV_CHAN_BOTTOM_FRONT_LEFT, M_SQRT1_2, 0},
    {AV_CHAN_BACK_RIGHT, 0, M_SQRT1_2},
    {AV_CHAN_SIDE_RIGHT, 0, M_SQRT1_2},
    {AV_CHAN_SURROUND_DIRECT_RIGHT, 0, M_SQRT1_2},
    {AV_CHAN_TOP_FRONT_RIGHT, 0, M_SQRT1_2},
    {AV_CHAN_TOP_SIDE_RIGHT, 0, M_SQRT1_2},
    {AV_CHAN_TOP_BACK_RIGHT, 0, M_SQRT1_2},
    {AV_CHAN_BOTTOM_FRONT_RIGHT, 0, M_SQRT1_2},
};

// The left row then the right row of the stereo downmix, scaled so that the fuller row sums to
// one: a sum can then never pass the loudest channel, so nothing clips, and a lone mono channel
// keeps its level on both sides.
std::vector<double> downmix(const std::vector<int>& positions)
{
    const std::size_t count = positions.size();
    std::vector<double> matrix(2 * count);
    double left = 0, right = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto* reach = std::find_if(std::begin(reaches), std::end(reaches),
                                         [&](const Reach& known) { return known.place == positions[i]; });
        matrix[i] = reach != std::end(reaches) ? reach->left : M_SQRT1_2;
        matrix[count + i] = reach != std::end(reaches) ? reach->right : M_SQRT1_2;
        left += matrix[i];
        right += matrix[count + i];
    }
    const double scale = 1 / std::max(left, right);
    for (double& weight : matrix)
        weight *= scale;
    return matrix;
}

// A resampler from `format` to 48 kHz planar float stereo that mixes the channels by their places.
SwrContext* converterFor(const RecordingAudioFormat& format, int rate)
{
    const std::vector<int> positions = positionsOf(format);
    AVChannelLayout inLayout{};
    inLayout.order = AV_CHANNEL_ORDER_CUSTOM;
    inLayout.nb_channels = static_cast<int>(positions.size());
    inLayout.u.map = static_cast<AVChannelCustom*>(av_calloc(positions.size(), sizeof(AVChannelCustom)));
    if (!inLayout.u.map)
        return nullptr;
    for (std::size_t i = 0; i < positions.size(); ++i)
        inLayout.u.map[i].id = static_cast<AVChannel>(positions[i]);
    AVChannelLayout outLayout = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* context = nullptr;
    const int made = swr_alloc_set_opts2(&context, &outLayout, AV_SAMPLE_FMT_FLTP, rate, &inLayout,
                                         static_cast<AVSampleFormat>(format.sampleFormat), format.rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    const std::vector<double> matrix = downmix(positions);
    if (made < 0 || !context || swr_set_matrix(context, matrix.data(), static_cast<int>(positions.size())) < 0
        || swr_init(context) < 0) {
        swr_free(&context);
        return nullptr;
    }
    return context;
}

} // namespace

double hostTimeNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

RecordingPCMBuffer RecordingPCM::sampleBuffer(std::vector<float> samples, std::int64_t at, int channels, int rate)
{
    if (channels < 1 || static_cast<std::int64_t>(samples.size()) / channels < 1)
        throw fail("Пустой звуковой буфер.");
    RecordingPCMBuffer buffer;
    buffer.samples = std::move(samples);
    buffer.channels = channels;
    buffer.rate = rate;
    buffer.time = at;
    return buffer;
}

void RecordingAudioMixer::SwrDeleter::operator()(SwrContext* context) const { swr_free(&context); }

RecordingAudioMixer::RecordingAudioMixer(std::set<RecordingAudioSource> sources) : sources_(std::move(sources)) {}

RecordingAudioMixer::~RecordingAudioMixer() = default;

void RecordingAudioMixer::setOrigin(double time)
{
    if (origin_)
        return;
    origin_ = time;
    std::deque<Pending> replay;
    replay.swap(pending_);
    for (const Pending& entry : replay)
        ingest(entry.buffer, entry.source, entry.time);
}

void RecordingAudioMixer::ingest(const RecordingAudioBuffer& buffer, RecordingAudioSource source, double time)
{
    if (!sources_.count(source) || !std::isfinite(time))
        return;
    if (!origin_) {
        if (pending_.size() >= 64)
            pending_.pop_front();
        pending_.push_back({buffer, source, time});
        return;
    }
    const RecordingAudioFormat format = buffer.format;
    const auto sampleFormat = static_cast<AVSampleFormat>(format.sampleFormat);
    if (format.rate <= 0 || format.channels < 1 || format.channels > mostChannels || format.sampleFormat < 0
        || format.sampleFormat >= AV_SAMPLE_FMT_NB || av_sample_fmt_is_planar(sampleFormat)
        || (!format.positions.empty() && format.positions.size() != static_cast<std::size_t>(format.channels)))
        throw fail("Неизвестный формат входящего звука.");
    const int n = buffer.frames;
    if (n < 1 || n >= 192000)
        return;
    const std::size_t bytes = static_cast<std::size_t>(n) * static_cast<std::size_t>(format.channels)
                              * static_cast<std::size_t>(av_get_bytes_per_sample(sampleFormat));
    if (buffer.data.size() < bytes)
        throw fail("Не удалось прочитать звуковой буфер.");

    const auto end = inputEnds_.find(source);
    const bool gap = end != inputEnds_.end() && std::abs(end->second - time) > 0.025;
    auto converter = converters_.find(source);
    const bool reuse = converter != converters_.end() && converterFormats_[source] == format && !gap;
    if (!reuse) {
        if (converter != converters_.end())
            flush(source);
        converters_.erase(source);
        converterFormats_.erase(source);
        SwrContext* context = converterFor(format, rate);
        if (!context)
            throw fail("Не удалось преобразовать звук в 48 кГц.");
        converter = converters_.emplace(source, Converter(context)).first;
        converterFormats_[source] = format;
        outputCursors_[source] = std::llround((time - *origin_) * rate);
    }

    const int capacity = static_cast<int>(std::ceil(static_cast<double>(n) * rate / format.rate)) + 64;
    std::vector<float> left(static_cast<std::size_t>(capacity)), right(static_cast<std::size_t>(capacity));
    std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(left.data()), reinterpret_cast<std::uint8_t*>(right.data())};
    const std::uint8_t* in[1] = {buffer.data.data()};
    const int converted = swr_convert(converter->second.get(), out, capacity, in, n);
    if (converted < 0)
        throw fail("Ошибка преобразования звука.");
    inputEnds_[source] = time + static_cast<double>(n) / format.rate;
    commit(left.data(), right.data(), converted, source);
}

void RecordingAudioMixer::flush(RecordingAudioSource source)
{
    const auto converter = converters_.find(source);
    if (converter == converters_.end())
        return;
    std::vector<float> left(4096), right(4096);
    for (int pass = 0; pass < 8; ++pass) {
        std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(left.data()),
                                reinterpret_cast<std::uint8_t*>(right.data())};
        const int converted = swr_convert(converter->second.get(), out, 4096, nullptr, 0);
        if (converted < 0)
            throw fail("Не удалось завершить преобразование звука.");
        commit(left.data(), right.data(), converted, source);
        if (converted < 4096)
            return;
    }
    throw fail("Звуковой преобразователь не завершил поток.");
}

void RecordingAudioMixer::commit(const float* left, const float* right, int frames, RecordingAudioSource source)
{
    std::int64_t& cursor = outputCursors_[source];
    const std::int64_t start = cursor;
    cursor = start + frames;
    const float gain = sources_.size() < 2 ? 1.0f : 0.7f;
    for (int i = 0; i < frames; ++i) {
        const std::int64_t f = start + i;
        if (f < nextFrame_)
            continue;
        if (f >= nextFrame_ + maximumAhead)
            throw fail("Кодирование звука отстаёт от записи. Проверьте нагрузку на компьютер и свободное место.");
        std::vector<float>& block = blocks_[f / blockFrames];
        if (block.empty())
            block.assign(2 * blockFrames, 0.0f);
        const auto index = static_cast<std::size_t>(2 * (f % blockFrames));
        block[index] += gain * left[i];
        block[index + 1] += gain * right[i];
    }
}

bool RecordingAudioMixer::drain(double time, bool final, const std::function<bool()>& ready,
                                const std::function<bool(RecordingPCMBuffer)>& append)
{
    if (!origin_)
        return true;
    if (final && !convertersFlushed_) {
        convertersFlushed_ = true;
        for (const auto& [source, converter] : converters_)
            flush(source);
    }
    const std::int64_t end = std::max<std::int64_t>(0, std::llround((time - *origin_) * rate));
    while (nextFrame_ < end) {
        const std::int64_t count = std::min<std::int64_t>(blockFrames, end - nextFrame_);
        if (count < blockFrames && !final)
            return true;
        if (!ready())
            return false;
        const std::int64_t index = nextFrame_ / blockFrames;
        std::vector<float> samples(static_cast<std::size_t>(2 * count), 0.0f);
        const auto block = blocks_.find(index);
        if (block != blocks_.end())
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = std::clamp(block->second[i], -1.0f, 1.0f);
        RecordingPCMBuffer buffer = RecordingPCM::sampleBuffer(std::move(samples), nextFrame_, 2, rate);
        if (!append(std::move(buffer)))
            throw fail("Не удалось записать аудиодорожку.");
        blocks_.erase(index);
        nextFrame_ += count;
    }
    return true;
}

} // namespace tarnwick
