#include "recording/review/MediaFormat.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace tarnwick::review::media {

namespace {

void tag(AVCodecParameters* parameters)
{
    parameters->codec_tag = parameters->codec_id == AV_CODEC_ID_HEVC ? MKTAG('h', 'v', 'c', '1') : 0;
}

int swsColorspace(AVColorSpace space)
{
    switch (space) {
    case AVCOL_SPC_BT709:
        return SWS_CS_ITU709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return SWS_CS_BT2020;
    default:
        return SWS_CS_ITU601;
    }
}

} // namespace

Input openInput(const QString& source, QString* refusal, platform::Links links)
{
    std::optional<platform::CheckedFile> file;
    try {
        file.emplace(source, links);
    } catch (const platform::FileError& error) {
        if (refusal)
            *refusal = error.errorDescription();
        return nullptr;
    }
    // Opened by the descriptor's own name: what is put at the path meanwhile is not read.
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(file->name()).constData(), nullptr, nullptr) < 0)
        return nullptr;
    Input input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return nullptr;
    return input;
}

AVStream* copyStream(AVFormatContext* output, const AVStream* in)
{
    AVStream* out = avformat_new_stream(output, nullptr);
    if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
        return nullptr;
    tag(out->codecpar);
    out->time_base = in->time_base;
    out->avg_frame_rate = in->avg_frame_rate;
    return out;
}

AVStream* encodedStream(AVFormatContext* output, const AVCodecContext* encoder, const VideoCrop* crop)
{
    AVStream* out = avformat_new_stream(output, nullptr);
    if (!out)
        return nullptr;
    if (crop && crop->active()) {
        if (avcodec_parameters_copy(out->codecpar, crop->parameters()) < 0)
            return nullptr;
        out->codecpar->width = crop->size().width();
        out->codecpar->height = crop->size().height();
    } else if (avcodec_parameters_from_context(out->codecpar, encoder) < 0) {
        return nullptr;
    }
    tag(out->codecpar);
    out->time_base = encoder->time_base;
    out->avg_frame_rate = encoder->framerate;
    return out;
}

int beginFile(AVFormatContext* output, const QString& path, bool fragmented)
{
    // Every file written here is a working file: private until the user saves it, and new. A
    // file or a link found under its name is replaced, never written through.
    const QByteArray name = QFile::encodeName(path);
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        return AVERROR(errno);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return AVERROR(errno);
    ::fchmod(fd, 0600); // a umask that takes the owner's rights would keep us out of our own file
    // FFmpeg opens by name: the descriptor's name is the file made here, whatever the folder holds now.
    int opened = avio_open(&output->pb, ("/proc/self/fd/" + QByteArray::number(fd)).constData(), AVIO_FLAG_WRITE);
    if (opened == AVERROR(ENOENT)) // no /proc: the name, which held this file a moment ago
        opened = avio_open(&output->pb, name.constData(), AVIO_FLAG_WRITE);
    ::close(fd);
    if (opened < 0)
        return opened;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", fragmented ? "frag_custom+empty_moov+default_base_moof" : "+faststart", 0);
    if (fragmented) // a recording in progress: on the disk as it comes
        output->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    const int header = avformat_write_header(output, &options);
    av_dict_free(&options);
    return header;
}

QSize codedSize(QSize size, bool hevc)
{
    if (!hevc)
        return size;
    return {std::max(size.width(), smallestHevcSide), std::max(size.height(), smallestHevcSide)};
}

AVCodecContext* openVideoEncoder(const VideoEncoding& encoding)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(encoding.hevc ? "libx265" : "libx264");
    AVCodecContext* c = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!c)
        return nullptr;
    const QSize coded = codedSize(encoding.size, encoding.hevc);
    c->width = coded.width();
    c->height = coded.height();
    c->sample_aspect_ratio = encoding.aspect;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = encoding.timeBase;
    c->framerate = {30, 1};
    c->gop_size = 60;
    c->max_b_frames = 0;
    c->bit_rate = std::max<std::int64_t>(encoding.bitRate, 400000);
    c->thread_count = 0; // as many encoder threads as the machine has cores
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->color_range = encoding.range;
    c->colorspace = encoding.space;
    c->color_primaries = encoding.primaries;
    c->color_trc = encoding.transfer;
    if (encoding.hevc) {
        av_opt_set(c->priv_data, "preset", "ultrafast", 0);
        av_opt_set(c->priv_data, "x265-params", "bframes=0:keyint=60:log-level=error", 0);
        c->codec_tag = MKTAG('h', 'v', 'c', '1');
    } else {
        av_opt_set(c->priv_data, "preset", encoding.live ? "superfast" : "veryfast", 0);
        if (encoding.live) {
            // A frame leaves the encoder three frames later, not twenty: a still
            // screen, whose frame is repeated ten times a second, reaches the disk.
            c->thread_count = 4;
            av_opt_set(c->priv_data, "x264-params", "sync-lookahead=0", 0);
        }
    }
    if (avcodec_open2(c, codec, nullptr) < 0)
        avcodec_free_context(&c);
    return c;
}

VideoCrop::~VideoCrop() { av_bsf_free(&filter_); }

bool VideoCrop::open(const AVCodecContext* encoder, QSize size)
{
    av_bsf_free(&filter_);
    size_ = size;
    const int right = encoder->width - size.width();
    const int bottom = encoder->height - size.height();
    if (right == 0 && bottom == 0)
        return true;
    // Only HEVC is padded, and a yuv420p window moves in whole chroma samples.
    const AVBitStreamFilter* metadata = av_bsf_get_by_name("hevc_metadata");
    if (encoder->codec_id != AV_CODEC_ID_HEVC || right < 0 || bottom < 0 || right % 2 || bottom % 2 || !metadata ||
        av_bsf_alloc(metadata, &filter_) < 0)
        return false;
    filter_->time_base_in = encoder->time_base;
    // A side left alone keeps the window the encoder set itself (its pictures are whole blocks of 8).
    if (avcodec_parameters_from_context(filter_->par_in, encoder) < 0 ||
        (right > 0 && av_opt_set_int(filter_->priv_data, "crop_right", right, 0) < 0) ||
        (bottom > 0 && av_opt_set_int(filter_->priv_data, "crop_bottom", bottom, 0) < 0) || av_bsf_init(filter_) < 0) {
        av_bsf_free(&filter_);
        return false;
    }
    return true;
}

const AVCodecParameters* VideoCrop::parameters() const { return filter_ ? filter_->par_out : nullptr; }

int VideoCrop::apply(AVPacket* packet)
{
    if (!filter_)
        return 0;
    const int sent = av_bsf_send_packet(filter_, packet);
    return sent < 0 ? sent : av_bsf_receive_packet(filter_, packet);
}

void fillPadding(AVFrame* picture, QSize size)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        const int width = -((-size.width()) >> shift), height = -((-size.height()) >> shift);
        const int codedWidth = -((-picture->width) >> shift), codedHeight = -((-picture->height) >> shift);
        const std::ptrdiff_t line = picture->linesize[plane];
        std::uint8_t* data = picture->data[plane];
        for (int y = 0; y < height && codedWidth > width; ++y) {
            std::uint8_t* row = data + y * line;
            std::memset(row + width, row[width - 1], std::size_t(codedWidth - width));
        }
        for (int y = height; y < codedHeight; ++y)
            std::memcpy(data + y * line, data + (height - 1) * line, std::size_t(codedWidth));
    }
}

AVFrame* paddedPicture(const AVFrame* picture, QSize coded)
{
    AVFrame* padded = av_frame_alloc();
    if (!padded)
        return nullptr;
    padded->format = AV_PIX_FMT_YUV420P;
    padded->width = coded.width();
    padded->height = coded.height();
    if (picture->format != AV_PIX_FMT_YUV420P || picture->width > coded.width() || picture->height > coded.height() ||
        av_frame_get_buffer(padded, 0) < 0 || av_frame_copy_props(padded, picture) < 0) {
        av_frame_free(&padded);
        return nullptr;
    }
    av_image_copy(padded->data, padded->linesize, const_cast<const std::uint8_t**>(picture->data), picture->linesize,
                  AV_PIX_FMT_YUV420P, picture->width, picture->height);
    fillPadding(padded, QSize(picture->width, picture->height));
    return padded;
}

void matchColours(SwsContext* scaler, AVColorSpace space, AVColorRange range, bool toYuv)
{
    const int* table = sws_getCoefficients(swsColorspace(space));
    const int yuvRange = range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(scaler, table, toYuv ? 1 : yuvRange, table, toYuv ? yuvRange : 1, 0, 1 << 16, 1 << 16);
}

} // namespace tarnwick::review::media
