#pragma once

#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"

#include <QFile>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

struct AVBSFContext;
struct SwsContext;

// Owning handles of FFmpeg containers, shared by the exports of the review.
namespace tarnwick::review::media {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputCloser {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

// Every reader of a recording opens it here, with its streams probed, through the checked open:
// a pipe, a device or a folder in its place, or a link to one (any link, when `links` refuses
// them), is refused at once and never waited on. Nullptr when the file cannot be read; then
// `refusal`, when given, holds the file's sentence if the checked open refused it, else nothing.
Input openInput(const QString& source, QString* refusal = nullptr, platform::Links links = platform::Links::followed);

// The same for the exports, which say one sentence of their own: throws `failure` when the file
// cannot be read, whatever the reason.
inline Input open(const QString& source, const QString& failure)
{
    if (Input input = openInput(source))
        return input;
    throw TarnwickError(failure);
}

// Every MP4 we write (the recording, a trim, a blurred export) makes its streams
// and its video encoder here, so tags, time bases and key-frame rules agree.

// A new stream of `output` for `in`'s packets as they are: same parameters and time
// base, HEVC tagged hvc1 (what players expect in MP4), other codecs with the muxer's
// own tag. Nullptr on failure.
AVStream* copyStream(AVFormatContext* output, const AVStream* in);

class VideoCrop;

// A new stream of `output` for what `encoder` produces, tagged like copyStream's; with an
// active `crop`, the stream has the video's own size and the cropping headers.
AVStream* encodedStream(AVFormatContext* output, const AVCodecContext* encoder, const VideoCrop* crop = nullptr);

// Creates `path` anew for `output` with mode 0600 (a working file; what had its name, a
// link too, is removed, never followed) and writes the header: a
// fragmented MP4 whose fragments the writer cuts and flushes itself, or a finished one
// with the index first. Negative on failure.
int beginFile(AVFormatContext* output, const QString& path, bool fragmented);

struct VideoEncoding {
    QSize size;
    bool hevc = false;
    std::int64_t bitRate = 400000;
    AVRational timeBase{1, 60000};
    AVRational aspect{0, 1};
    AVColorRange range = AVCOL_RANGE_MPEG;
    // Screen pixels are sRGB (BT.709 primaries), converted with the BT.601 matrix: the
    // blur tracker's precision was measured on such pictures. Tagged, so players agree.
    AVColorSpace space = AVCOL_SPC_SMPTE170M;
    AVColorPrimaries primaries = AVCOL_PRI_BT709;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_IEC61966_2_1;
    // A live recording: the fastest preset and no look-ahead, so a frame reaches
    // the file at once; an export may take more care.
    bool live = false;
};

// libx265 corrupts its heap on pictures narrower or lower than this (and ffmpeg's own command
// aborts with it): an HEVC video smaller than that is encoded padded right and below, and the
// stream's cropping window leaves exactly the video's pixels to every player.
inline constexpr int smallestHevcSide = 64;

// The size of the pictures the encoder of a `size` video takes.
QSize codedSize(QSize size, bool hevc);

// The yuv420p H.264 or HEVC encoder: no B-frames (packets leave in display order,
// so each one's duration is known from the next), a key frame every 2 s at 30 frames
// a second, a header for MP4. Its pictures are codedSize(size) large. Nullptr when the
// codec is missing or refuses.
AVCodecContext* openVideoEncoder(const VideoEncoding& encoding);

// The packets of an encoder whose pictures are padded (see codedSize) get the video's size
// written into the cropping window of their parameter sets; a player shows only that. Does
// nothing for an encoder of the video's own size.
class VideoCrop {
public:
    VideoCrop() = default;
    ~VideoCrop();
    VideoCrop(const VideoCrop&) = delete;
    VideoCrop& operator=(const VideoCrop&) = delete;

    // False when the crop is needed and cannot be set up.
    bool open(const AVCodecContext* encoder, QSize size);
    bool active() const { return filter_ != nullptr; }
    // The stream's parameters: the encoder's with the cropped headers (active only).
    const AVCodecParameters* parameters() const;
    QSize size() const { return size_; }
    // Rewrites one packet of the encoder in place; negative on failure.
    int apply(AVPacket* packet);

private:
    AVBSFContext* filter_ = nullptr;
    QSize size_;
};

// `picture` (yuv420p) padded right and below to `coded` for the encoder; the padding repeats
// the picture's last column and row, so it costs the encoder next to nothing. Nullptr when
// the memory cannot be had.
AVFrame* paddedPicture(const AVFrame* picture, QSize coded);
// Fills the columns and rows of `picture` (yuv420p, its width and height the coded size)
// beyond `size` with copies of the last column and row inside it.
void fillPadding(AVFrame* picture, QSize size);

// Makes `scaler` convert between full-range RGB and YUV with the matrix and range a
// stream declares: swscale's own default is BT.601 whatever the tags say, which
// shifts every colour of a BT.709 file. `toYuv` is the direction of the conversion.
void matchColours(SwsContext* scaler, AVColorSpace space, AVColorRange range, bool toYuv);

} // namespace tarnwick::review::media
