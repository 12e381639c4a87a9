#include "recording/review/TimelineThumbnailDecoder.h"

#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarnwick {

TimelineThumbnailDecoder::TimelineThumbnailDecoder(const QString& path) : decoder_(path, {.threads = 2, .fast = true})
{
}

std::int64_t TimelineThumbnailDecoder::seekTarget(double seconds, double tolerance) const
{
    AVStream* stream = decoder_.stream();
    const std::int64_t earliest = decoder_.stamp(seconds - tolerance);
    // A key frame within the tolerance needs no run of decoding: the one before the time if it is
    // late enough, else the one after it if it is early enough.
    int before = av_index_search_timestamp(stream, decoder_.stamp(seconds), AVSEEK_FLAG_BACKWARD);
    int after = av_index_search_timestamp(stream, earliest, 0);
    const AVIndexEntry* late = before >= 0 ? avformat_index_get_entry(stream, before) : nullptr;
    const AVIndexEntry* early = after >= 0 ? avformat_index_get_entry(stream, after) : nullptr;
    if ((!late || late->timestamp < earliest) && early && early->timestamp <= decoder_.stamp(seconds + tolerance))
        return early->timestamp;
    return decoder_.stamp(seconds);
}

double TimelineThumbnailDecoder::decodingRun(double seconds, double tolerance) const
{
    if (!isOpen())
        return 0;
    const int key = av_index_search_timestamp(decoder_.stream(), seekTarget(seconds, tolerance), AVSEEK_FLAG_BACKWARD);
    if (key < 0)
        return std::max(seconds - tolerance, 0.0);
    const double keyTime = decoder_.seconds(avformat_index_get_entry(decoder_.stream(), key)->timestamp);
    return std::max(seconds - tolerance - keyTime, 0.0);
}

QImage TimelineThumbnailDecoder::frameAt(double seconds, double tolerance, QSize maximumSize)
{
    if (!isOpen())
        return {};
    decoder_.seekStamp(seekTarget(seconds, tolerance));

    AVFrame* held = av_frame_alloc();
    while (AVFrame* frame = decoder_.next()) {
        const double time = decoder_.time(frame);
        if (std::isnan(time) || time >= seconds - tolerance) {
            av_frame_free(&held);
            return scaled(frame, maximumSize);
        }
        // Kept only in case the video ends before the requested time.
        if (held) {
            av_frame_unref(held);
            av_frame_move_ref(held, frame);
        }
    }
    QImage image = held && held->data[0] ? scaled(held, maximumSize) : QImage();
    av_frame_free(&held);
    return image;
}

QImage TimelineThumbnailDecoder::scaled(const AVFrame* frame, QSize maximumSize)
{
    if (frame->width <= 0 || frame->height <= 0)
        return {};
    double scale = std::min({1.0, double(maximumSize.width()) / frame->width,
                             double(maximumSize.height()) / frame->height});
    int width = std::max(1, int(std::lround(frame->width * scale)));
    int height = std::max(1, int(std::lround(frame->height * scale)));
    QImage image(width, height, QImage::Format_ARGB32);
    if (!decoder_.convert(frame, AV_PIX_FMT_BGRA, width, height, image.bits(), int(image.bytesPerLine())))
        return {};
    return image;
}

} // namespace tarnwick
