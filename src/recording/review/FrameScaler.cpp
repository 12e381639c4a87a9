#include "recording/review/FrameScaler.h"

#include <utility>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace tarnwick::review::media {

FrameScaler::~FrameScaler()
{
    sws_freeContext(context_);
    av_frame_free(&scratch_);
}

SwsContext* FrameScaler::prepare(QSize from, AVPixelFormat fromFormat, QSize to, AVPixelFormat toFormat, int flags)
{
    if (from.isEmpty() || to.isEmpty()) {
        sws_freeContext(std::exchange(context_, nullptr));
        return nullptr;
    }
    context_ = sws_getCachedContext(context_, from.width(), from.height(), fromFormat, to.width(), to.height(),
                                    toFormat, flags, nullptr, nullptr, nullptr);
    from_ = from;
    if (to != to_ || toFormat != toFormat_)
        av_frame_free(&scratch_);
    to_ = to;
    toFormat_ = toFormat;
    return context_;
}

bool FrameScaler::ensureScratch()
{
    if (scratch_)
        return true;
    scratch_ = av_frame_alloc();
    if (!scratch_)
        return false;
    scratch_->format = toFormat_;
    scratch_->width = to_.width();
    scratch_->height = to_.height();
    if (!padLines(scratch_) || av_frame_get_buffer(scratch_, 64) < 0) {
        av_frame_free(&scratch_);
        return false;
    }
    return true;
}

bool FrameScaler::padLines(AVFrame* frame)
{
    // Lines of whole 64-pixel groups: the library's widest group fits in every row, so no
    // row spills into the next.
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const int padded = (frame->width + rowGroup - 1) / rowGroup * rowGroup;
    for (int plane = 0; plane < 4; ++plane) {
        const int bytes = av_image_get_linesize(format, padded, plane);
        frame->linesize[plane] = bytes > 0 ? FFALIGN(bytes, 64) : 0;
    }
    return frame->linesize[0] > 0;
}

bool FrameScaler::scaleInPlace(const std::uint8_t* const source[], const int sourceStride[],
                               std::uint8_t* const target[], const int targetStride[])
{
    if (!context_)
        return false;
    // Lines too short for the spill take the way through the scaler's own frame.
    const int padded = (to_.width() + rowGroup - 1) / rowGroup * rowGroup;
    for (int plane = 0; plane < 4; ++plane)
        if (targetStride[plane] < av_image_get_linesize(toFormat_, padded, plane))
            return scale(source, sourceStride, target, targetStride);
    return sws_scale(context_, source, sourceStride, 0, from_.height(), target, targetStride) > 0;
}

bool FrameScaler::scale(const std::uint8_t* const source[], const int sourceStride[], std::uint8_t* const target[],
                        const int targetStride[])
{
    if (!context_ || !ensureScratch())
        return false;
    if (sws_scale(context_, source, sourceStride, 0, from_.height(), scratch_->data, scratch_->linesize) <= 0)
        return false;
    std::uint8_t* to[4] = {};
    int toStride[4] = {};
    const std::uint8_t* from[4] = {};
    for (int plane = 0; plane < 4 && scratch_->data[plane]; ++plane) {
        to[plane] = target[plane];
        toStride[plane] = targetStride[plane];
        from[plane] = scratch_->data[plane];
    }
    // Row by row, exactly the picture's bytes of each plane.
    av_image_copy(to, toStride, from, scratch_->linesize, toFormat_, to_.width(), to_.height());
    return true;
}

} // namespace tarnwick::review::media
