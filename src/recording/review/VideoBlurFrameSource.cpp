#include "recording/review/VideoBlurFrameSource.h"

#include "platform/TarnwickError.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace tarnwick::review {

namespace {

constexpr double frameTolerance = 1.0 / 600;
constexpr double batchLength = 0.5;

TarnwickError sentence(const char* text) { return TarnwickError::message(QString::fromUtf8(text)); }

VideoBlurFrame picture(VideoFrameDecoder& decoder, const AVFrame* frame, double time)
{
    const double scale = std::min(960.0 / std::max(frame->width, frame->height), 1.0);
    const int width = std::max(1, int(std::lround(frame->width * scale)));
    const int height = std::max(1, int(std::lround(frame->height * scale)));
    cv::Mat image(height, width, CV_8UC3);
    if (!decoder.convert(frame, AV_PIX_FMT_BGR24, width, height, image.data, int(image.step)))
        throw sentence("Не удалось подготовить кадр.");
    return {time, image};
}

} // namespace

std::unique_ptr<VideoFrameDecoder> openTrackingDecoder(const QString& path)
{
    // Frame threads: tracking reads long runs, where their start-up delay after a seek is small.
    auto decoder = std::make_unique<VideoFrameDecoder>(path, VideoFrameDecoder::Options{.threads = 4});
    switch (decoder->state()) {
    case VideoFrameDecoder::State::open:
        return decoder;
    case VideoFrameDecoder::State::noVideo:
        throw sentence("В записи нет видео.");
    case VideoFrameDecoder::State::noDecoder:
        throw sentence("Не удалось подготовить кадры для отслеживания.");
    case VideoFrameDecoder::State::unreadable:
        break;
    }
    throw sentence("Не удалось прочитать видео.");
}

VideoBlurForwardFrames::VideoBlurForwardFrames(VideoFrameDecoder& decoder, double start, double end,
                                               std::stop_token cancel)
    : decoder_(decoder), start_(start), end_(end), cancel_(std::move(cancel))
{
    decoder_.seek(start);
}

std::optional<VideoBlurFrame> VideoBlurForwardFrames::image(double time)
{
    while (!finished_) {
        if (cancel_.stop_requested())
            throw CancellationError();
        const AVFrame* frame = decoder_.next();
        if (!frame) {
            finished_ = reachedEnd_ = true;
            if (decoder_.failed())
                throw sentence("Не удалось прочитать кадр.");
            break;
        }
        const double t = decoder_.time(frame);
        if (!std::isnan(t))
            lastTime_ = std::isnan(lastTime_) ? t : std::max(lastTime_, t);
        if (std::isnan(t) || t < std::max(time, start_) - frameTolerance)
            continue;
        if (t >= end_) {
            finished_ = true;
            break;
        }
        return picture(decoder_, frame, t);
    }
    return std::nullopt;
}

VideoBlurFrames::VideoBlurFrames(VideoFrameDecoder& decoder, double start, double end, bool reverse,
                                 std::stop_token cancel)
    : decoder_(decoder), start_(start), end_(end), reverse_(reverse), cancel_(std::move(cancel)),
      upper_(end + frameTolerance)
{
}

std::optional<VideoBlurFrame> VideoBlurFrames::frame(double wanted)
{
    if (!reverse_) {
        if (!forward_)
            forward_.emplace(decoder_, start_, end_ + frameTolerance, cancel_);
        return forward_->image(wanted);
    }
    while (true) {
        while (!batch_.empty()) {
            VideoBlurFrame last = std::move(batch_.back());
            batch_.pop_back();
            if (last.time <= wanted + frameTolerance)
                return last;
        }
        if (start_ >= upper_)
            return std::nullopt;
        const double from = std::max(start_, upper_ - batchLength);
        if (batchRead)
            batchRead(from, upper_);
        VideoBlurForwardFrames reader(decoder_, from, upper_, cancel_);
        while (auto next = reader.image(from))
            batch_.push_back(std::move(*next));
        upper_ = from;
        if (!batch_.empty() || !reader.reachedEnd())
            continue;
        // The stream ended before this batch: its header claimed more than it holds. Go on
        // from the real last frame (a seek lands on the key frame before it); a batch that
        // read no frame at all found the file holds nothing more.
        const double last = reader.lastTime();
        if (std::isnan(last) || last < start_ - frameTolerance)
            return std::nullopt;
        upper_ = std::min(upper_, last + frameTolerance);
    }
}

VideoBlurFrame videoBlurStillFrame(VideoFrameDecoder& decoder, double time)
{
    decoder.seek(time);
    AVFrame* held = av_frame_alloc();
    double heldTime = 0;
    bool found = false;
    while (const AVFrame* frame = decoder.next()) {
        const double t = decoder.time(frame);
        if (std::isnan(t))
            continue;
        // The picture on screen at `time`: the last one starting by then, else the first after it.
        if (found && t > time + 1e-6)
            break;
        av_frame_unref(held);
        av_frame_ref(held, frame);
        heldTime = t;
        found = true;
        if (t > time + 1e-6)
            break;
    }
    if (!found) {
        av_frame_free(&held);
        throw sentence("Не удалось прочитать кадр.");
    }
    try {
        VideoBlurFrame still = picture(decoder, held, heldTime);
        av_frame_free(&held);
        return still;
    } catch (...) {
        av_frame_free(&held);
        throw;
    }
}

} // namespace tarnwick::review
