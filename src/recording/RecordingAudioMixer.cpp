#include "recording/RecordingAudioMixer.h"

#include "platform/TarnwickError.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <ctime>

namespace tarnwick {

namespace {

TarnwickError fail(const char* sentence) { return TarnwickError::message(QString::fromUtf8(sentence)); }

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
    if (format.rate <= 0 || format.channels < 1 || format.channels > 8 || format.sampleFormat < 0
        || format.sampleFormat >= AV_SAMPLE_FMT_NB || av_sample_fmt_is_planar(sampleFormat))
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
        SwrContext* context = nullptr;
        AVChannelLayout inLayout{};
        AVChannelLayout outLayout = AV_CHANNEL_LAYOUT_STEREO;
        av_channel_layout_default(&inLayout, format.channels);
        const int made = swr_alloc_set_opts2(&context, &outLayout, AV_SAMPLE_FMT_FLTP, rate, &inLayout, sampleFormat,
                                             format.rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        if (made < 0 || !context || swr_init(context) < 0) {
            swr_free(&context);
            throw fail("Не удалось преобразовать звук в 48 кГц.");
        }
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
