#pragma once

#include <QSize>
#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
struct SwsContext;

namespace tarnwick::review::media {

// Every libswscale conversion of the program goes through one of these. The
// library's vector code writes whole groups of 16 pixels, so up to 60 bytes past
// the last pixel of a row whose width is not a multiple of 16: into the next
// row, or past the end of a buffer sized for the picture alone (a QImage, a
// cv::Mat, a band of a larger frame). So it writes into a frame of its own, from
// av_frame_get_buffer with lines of whole 64-pixel groups and the library's plane
// padding, and copies exactly the requested pixels from there into the caller's
// memory; only a target laid out like that frame is written in place. One thread at a time.
class FrameScaler {
public:
    FrameScaler() = default;
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // Sets up the conversion of `from` pixels of `fromFormat` into `to` pixels of
    // `toFormat` with libswscale's `flags`, kept while these stay the same. The
    // context, for its colour details; nullptr when libswscale refuses.
    SwsContext* prepare(QSize from, AVPixelFormat fromFormat, QSize to, AVPixelFormat toFormat, int flags);

    // Converts the prepared source, given as planes and strides the way sws_scale
    // takes them, into `target`'s planes and strides: exactly `to` pixels are
    // written there, nothing around them. False without a prepared conversion or
    // when the scratch frame cannot be allocated.
    bool scale(const std::uint8_t* const source[], const int sourceStride[], std::uint8_t* const target[],
               const int targetStride[]);
    // The same straight into `target`, without the copy, for a target whose lines hold
    // whole groups (as `padLines` sets them) and nothing of value right of the picture:
    // the groups' spill lands in each line's own padding.
    bool scaleInPlace(const std::uint8_t* const source[], const int sourceStride[], std::uint8_t* const target[],
                      const int targetStride[]);

    // Sets `frame`'s lines (its format and width set) to whole groups of `rowGroup`
    // pixels, 64-byte aligned, for av_frame_get_buffer, which keeps lines set beforehand
    // and adds its own padding below the last row and after each plane. False for a
    // format without lines.
    static bool padLines(AVFrame* frame);

    // The lines of `scale`'s own frame hold a whole number of these groups of pixels.
    static constexpr int rowGroup = 64;

private:
    bool ensureScratch();

    SwsContext* context_ = nullptr;
    AVFrame* scratch_ = nullptr;
    QSize from_;
    QSize to_;
    AVPixelFormat toFormat_ = AV_PIX_FMT_NONE;
};

} // namespace tarnwick::review::media
