#include "recording/review/VideoBlurExport.h"

#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"
#include "recording/review/FrameScaler.h"
#include "recording/review/MediaFormat.h"
#include "recording/review/RecordingExport.h"
#include "recording/review/VideoBlurRendering.h"

#include <QFile>
#include <QImage>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <future>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace tarnwick::review {

namespace {

TarnwickError sentence(const char* text) { return TarnwickError(QString::fromUtf8(text)); }

const char* const cannotPrepare = "Не удалось подготовить размытие видео.";
const char* const cannotRead = "Не удалось прочитать видео.";
const char* const cannotWrite = "Не удалось записать кадр.";

void require(int result, const char* failure)
{
    if (result < 0)
        throw sentence(failure);
}

// The same for a step that writes the file: a refusal of the disk says why, as other saves do.
void written(int result, const char* failure)
{
    if (result >= 0)
        return;
    switch (const int error = AVUNERROR(result)) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EROFS:
    case EACCES:
    case EPERM:
    case EIO:
        throw TarnwickError(QString::fromUtf8(failure).chopped(1) + QStringLiteral(": ") +
                            platform::fileErrorReason(error) + u'.');
    default:
        throw sentence(failure);
    }
}

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Codec = std::unique_ptr<AVCodecContext, CodecDeleter>;

// The bounding box of the pixels in which two images of one size differ.
QRect changedArea(const QImage& a, const QImage& b)
{
    if (a.constBits() == b.constBits())
        return {};
    QRect area;
    const int w = a.width();
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const quint32*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const quint32*>(b.constScanLine(y));
        if (std::memcmp(ra, rb, static_cast<std::size_t>(w) * 4) == 0)
            continue;
        int left = 0, right = w - 1;
        while (ra[left] == rb[left])
            ++left;
        while (ra[right] == rb[right])
            --right;
        area |= QRect(left, y, right - left + 1, 1);
    }
    return area;
}

struct Converters {
    media::FrameScaler toImage;
    media::FrameScaler toPicture;
};

} // namespace

struct VideoBlurExport::Media {
    QString destination;
    std::vector<VideoBlurRegion> regions;
    double start = 0;
    double end = 0;
    media::Input input;
    media::Output output;
    int video = -1;              // input stream index
    std::vector<int> audio;      // input stream indexes, copied in this order
    std::vector<int> map;        // input stream index → output stream index, −1 dropped
    std::vector<bool> audioDone; // per input stream: past the end
    Codec decoder;
    Codec encoder;
    QSize size;             // of the video's pictures; read by the blur jobs
    QSize coded;            // of the pictures the encoder takes: `size`, or padded (see codedSize)
    media::VideoCrop crop;  // and what crops the padding away again
    bool fullRange = false; // of the encoded pictures
    // Pictures are blurred a few at a time on their own threads, each job with
    // its own converters, and reach the encoder in order.
    static constexpr std::size_t depth = 4;
    std::array<Converters, depth> converters;
    std::size_t launched = 0;
    Packet packet{av_packet_alloc()};
    Frame decoded{av_frame_alloc()};
    Frame pinned; // the newest picture at or before the start: on screen at the start
    Packet held;  // the newest encoded picture, written once the next tells its duration
    bool videoDone = false;
    std::deque<std::pair<std::future<Frame>, int64_t>> pending; // last: its jobs end before the rest goes

    AVRational videoBase() const { return input->streams[video]->time_base; }
    int64_t ticks(double seconds, AVRational base) const { return std::llround(seconds / av_q2d(base)); }

    void open(const QString& source, const RecordingTrim& trim);
    void openEncoder();
    void begin();
    void decode(const AVPacket* packet);
    void take(AVFrame* frame);
    Frame blurred(const AVFrame* frame, double time, Converters& converters) const;
    void encode(const AVFrame* frame, int64_t pts);
    void send(std::size_t keep);
    void writeVideo(Packet packet);
    void copyAudio(AVPacket* packet);
    void finish();
};

void VideoBlurExport::Media::open(const QString& source, const RecordingTrim& trim)
{
    RecordingExport::checkTrim(trim);
    if (std::any_of(regions.begin(), regions.end(),
                    [&](const VideoBlurRegion& r) { return r.losesTargetWithin(trim.start, trim.end); }))
        throw sentence("Проверьте интервалы, где отслеживание потеряло цель.");
    start = trim.start;
    end = trim.start + std::max(trim.end - trim.start, 0.0);
    input = media::open(source, QString::fromUtf8(cannotRead));
    map.assign(input->nb_streams, -1);
    audioDone.assign(input->nb_streams, false);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* s = input->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && video < 0 && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            video = static_cast<int>(i);
        else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            audio.push_back(static_cast<int>(i));
    }
    if (video < 0)
        throw sentence("В записи нет видео.");

    const AVCodecParameters* par = input->streams[video]->codecpar;
    const AVCodec* decoding = avcodec_find_decoder(par->codec_id);
    if (!decoding)
        throw sentence(cannotPrepare);
    decoder.reset(avcodec_alloc_context3(decoding));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), par) < 0)
        throw sentence(cannotPrepare);
    decoder->pkt_timebase = videoBase();
    decoder->thread_count = 0;
    require(avcodec_open2(decoder.get(), decoding, nullptr), cannotPrepare);
    openEncoder();

    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", QFile::encodeName(destination).constData()) < 0)
        throw sentence(cannotPrepare);
    output.reset(raw);
    AVStream* picture = media::encodedStream(raw, encoder.get(), &crop);
    if (!picture)
        throw sentence(cannotPrepare);
    picture->avg_frame_rate = input->streams[video]->avg_frame_rate;
    map[video] = picture->index;
    for (const int index : audio) {
        const AVStream* in = input->streams[index];
        const AVStream* out = media::copyStream(raw, in);
        if (!out)
            throw sentence("Не удалось сохранить звуковую дорожку.");
        map[index] = out->index;
    }
}

void VideoBlurExport::Media::openEncoder()
{
    const AVCodecParameters* par = input->streams[video]->codecpar;
    media::VideoEncoding encoding;
    encoding.size = QSize(par->width, par->height);
    encoding.hevc = par->codec_id == AV_CODEC_ID_HEVC;
    encoding.bitRate = par->bit_rate;
    encoding.timeBase = videoBase();
    encoding.aspect = par->sample_aspect_ratio;
    encoding.range = par->color_range == AVCOL_RANGE_JPEG ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    encoding.space = par->color_space;
    encoding.primaries = par->color_primaries;
    encoding.transfer = par->color_trc;
    encoder.reset(media::openVideoEncoder(encoding));
    if (!encoder)
        throw sentence(cannotPrepare);
    const AVCodecContext* c = encoder.get();
    size = encoding.size;
    coded = QSize(c->width, c->height);
    if (!crop.open(c, size))
        throw sentence(cannotPrepare);
    fullRange = c->color_range == AVCOL_RANGE_JPEG;
}

void VideoBlurExport::Media::begin()
{
    written(media::beginFile(output.get(), destination, false), "Не удалось начать экспорт.");
    // From the key frame at or before the start.
    require(av_seek_frame(input.get(), -1, static_cast<int64_t>(start * AV_TIME_BASE), AVSEEK_FLAG_BACKWARD),
            cannotRead);
}

void VideoBlurExport::Media::decode(const AVPacket* p)
{
    // A damaged packet costs a picture, not the save, as in the preview.
    avcodec_send_packet(decoder.get(), p);
    for (;;) {
        const int got = avcodec_receive_frame(decoder.get(), decoded.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        require(got, cannotRead);
        take(decoded.get());
        av_frame_unref(decoded.get());
    }
}

void VideoBlurExport::Media::take(AVFrame* frame)
{
    const int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (ts == AV_NOPTS_VALUE || videoDone)
        return;
    const int64_t first = ticks(start, videoBase());
    if (ts >= ticks(end, videoBase())) {
        videoDone = true;
        return;
    }
    if (ts <= first) {
        pinned.reset(av_frame_clone(frame));
        if (!pinned)
            throw sentence(cannotRead);
        return;
    }
    if (pinned) {
        encode(pinned.get(), first);
        pinned.reset();
    }
    encode(frame, ts);
}

Frame VideoBlurExport::Media::blurred(const AVFrame* frame, double time, Converters& c) const
{
    const int w = size.width(), h = size.height();
    SwsContext* toImage = c.toImage.prepare(QSize(frame->width, frame->height),
                                            static_cast<AVPixelFormat>(frame->format), size, AV_PIX_FMT_BGRA,
                                            SWS_BICUBIC);
    QImage image(w, h, QImage::Format_RGB32);
    if (!toImage || image.isNull())
        throw sentence(cannotWrite);
    media::matchColours(toImage, frame->colorspace, frame->color_range, false);
    uint8_t* bits[1] = {image.bits()};
    const int stride[1] = {static_cast<int>(image.bytesPerLine())};
    if (!c.toImage.scale(frame->data, frame->linesize, bits, stride))
        throw sentence(cannotWrite);
    const QImage result = VideoBlurRendering::image(image, time, regions);

    // Only the pixels the blur changed go back into the decoded picture: the rest
    // stays exactly as decoded instead of taking a second colour conversion.
    const bool same = frame->format == AV_PIX_FMT_YUV420P && frame->width == w && frame->height == h;
    Frame picture(same ? av_frame_clone(frame) : av_frame_alloc());
    if (!picture)
        throw sentence(cannotWrite);
    QRect band = result.rect();
    if (same) {
        band = changedArea(image, result);
        if (band.isEmpty())
            return picture;
        require(av_frame_make_writable(picture.get()), cannotWrite);
        // Whole chroma samples: even corners.
        band.setLeft(band.left() & ~1);
        band.setTop(band.top() & ~1);
        band.setRight(std::min(w, (band.right() + 2) & ~1) - 1);
        band.setBottom(std::min(h, (band.bottom() + 2) & ~1) - 1);
    } else {
        picture->format = AV_PIX_FMT_YUV420P;
        picture->width = w;
        picture->height = h;
        require(av_frame_get_buffer(picture.get(), 0), cannotWrite);
    }
    SwsContext* toPicture = c.toPicture.prepare(band.size(), AV_PIX_FMT_BGRA, band.size(), AV_PIX_FMT_YUV420P,
                                                SWS_BICUBIC);
    if (!toPicture)
        throw sentence(cannotWrite);
    media::matchColours(toPicture, frame->colorspace, fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG, true);
    const uint8_t* from[1] = {result.constScanLine(band.top()) + 4 * band.left()};
    const int fromStride[1] = {static_cast<int>(result.bytesPerLine())};
    uint8_t* to[3];
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        to[plane] = picture->data[plane] + (band.top() >> shift) * picture->linesize[plane] + (band.left() >> shift);
    }
    // Only the band's own pixels: the decoded ones beside it stay as they were.
    if (!c.toPicture.scale(from, fromStride, to, picture->linesize))
        throw sentence(cannotWrite);
    return picture;
}

void VideoBlurExport::Media::encode(const AVFrame* frame, int64_t pts)
{
    const double time = pts * av_q2d(videoBase());
    const bool active = std::any_of(regions.begin(), regions.end(),
                                    [&](const VideoBlurRegion& r) { return r.start <= time && time < r.end; });
    Frame copy(av_frame_clone(frame));
    if (!copy)
        throw sentence(cannotWrite);
    // A job's converters are those of the job `depth` earlier, which `send` has already waited for.
    send(depth - 1);
    if (!active && frame->format == AV_PIX_FMT_YUV420P && QSize(frame->width, frame->height) == size) {
        std::promise<Frame> ready;
        ready.set_value(std::move(copy));
        pending.emplace_back(ready.get_future(), pts);
        return;
    }
    Converters& slot = converters[launched++ % depth];
    pending.emplace_back(std::async(std::launch::async, [this, &slot, time, source = std::move(copy)] {
                             return blurred(source.get(), time, slot);
                         }),
                         pts);
}

// Encodes the waiting pictures in order until `keep` remain.
void VideoBlurExport::Media::send(std::size_t keep)
{
    while (pending.size() > keep) {
        Frame picture = pending.front().first.get();
        const int64_t pts = pending.front().second;
        pending.pop_front();
        if (QSize(picture->width, picture->height) != coded) {
            Frame padded(media::paddedPicture(picture.get(), coded));
            if (!padded)
                throw sentence(cannotWrite);
            picture = std::move(padded);
        }
        picture->pts = pts - ticks(start, videoBase());
        picture->pict_type = AV_PICTURE_TYPE_NONE; // the source's frame types must not force ours
#if LIBAVUTIL_VERSION_MAJOR < 58
        // Decoded pictures carry "no value" here, and for any value the HEVC wrapper keeps a
        // copy until the picture's packet leaves the encoder: a cancelled export never waits
        // for that, so the copies of the pictures still inside would be lost.
        picture->reordered_opaque = 0;
#endif
        require(avcodec_send_frame(encoder.get(), picture.get()), cannotWrite);
        for (;;) {
            Packet packet(av_packet_alloc());
            const int got = avcodec_receive_packet(encoder.get(), packet.get());
            if (got == AVERROR(EAGAIN))
                break;
            require(got, cannotWrite);
            require(crop.apply(packet.get()), cannotWrite);
            writeVideo(std::move(packet));
        }
    }
}

void VideoBlurExport::Media::writeVideo(Packet packet)
{
    Packet previous = std::move(held);
    held = std::move(packet);
    if (!previous)
        return;
    previous->duration = held ? held->pts - previous->pts
                              : ticks(end, videoBase()) - ticks(start, videoBase()) - previous->pts;
    previous->stream_index = map[video];
    av_packet_rescale_ts(previous.get(), encoder->time_base, output->streams[map[video]]->time_base);
    written(av_interleaved_write_frame(output.get(), previous.get()), cannotWrite);
}

void VideoBlurExport::Media::copyAudio(AVPacket* p)
{
    const int index = p->stream_index;
    const AVRational base = input->streams[index]->time_base;
    const int64_t pts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
    if (pts == AV_NOPTS_VALUE || audioDone[index])
        return;
    const int64_t first = ticks(start, base);
    if (pts >= ticks(end, base)) {
        audioDone[index] = true;
        return;
    }
    if (pts + p->duration <= first)
        return;
    // A block that begins before the start gets a negative time; the muxer hides that part with an edit list.
    if (p->pts != AV_NOPTS_VALUE)
        p->pts -= first;
    if (p->dts != AV_NOPTS_VALUE)
        p->dts -= first;
    p->stream_index = map[index];
    p->pos = -1;
    av_packet_rescale_ts(p, base, output->streams[map[index]]->time_base);
    written(av_interleaved_write_frame(output.get(), p), cannotWrite);
}

void VideoBlurExport::Media::finish()
{
    decode(nullptr);
    // A still screen may leave no picture after the start: the pinned one fills the fragment.
    if (pinned) {
        encode(pinned.get(), ticks(start, videoBase()));
        pinned.reset();
    }
    send(0);
    require(avcodec_send_frame(encoder.get(), nullptr), cannotWrite);
    for (;;) {
        Packet packet(av_packet_alloc());
        const int got = avcodec_receive_packet(encoder.get(), packet.get());
        if (got == AVERROR_EOF)
            break;
        require(got, cannotWrite);
        require(crop.apply(packet.get()), cannotWrite);
        writeVideo(std::move(packet));
    }
    writeVideo(nullptr);
    const char* const cannotFinish = "Не удалось завершить экспорт.";
    written(av_write_trailer(output.get()), cannotFinish);
    written(avio_closep(&output->pb), cannotFinish);
}

VideoBlurExport::VideoBlurExport(const QString& source, const RecordingTrim& trim, std::vector<VideoBlurRegion> regions,
                                 const QString& destination)
    : media_(std::make_unique<Media>())
{
    av_log_set_level(AV_LOG_ERROR); // the encoders' statistics are not for the user's terminal
    media_->destination = destination;
    media_->regions = std::move(regions);
    media_->open(source, trim);
}

VideoBlurExport::~VideoBlurExport()
{
    cancel();
    if (worker_.joinable())
        worker_.join();
}

void VideoBlurExport::cancel() { cancelled_ = true; }

void VideoBlurExport::run(Completion completion)
{
    completion_ = std::move(completion);
    worker_ = std::thread([this] { work(); });
}

void VideoBlurExport::work()
{
    Media& m = *media_;
    std::exception_ptr error;
    try {
        if (cancelled_)
            throw CancellationError();
        m.begin();
        for (;;) {
            if (cancelled_)
                throw CancellationError();
            const int read = av_read_frame(m.input.get(), m.packet.get());
            if (read == AVERROR_EOF)
                break;
            require(read, cannotRead);
            const int index = m.packet->stream_index;
            if (index == m.video && !m.videoDone)
                m.decode(m.packet.get());
            else if (m.map[static_cast<std::size_t>(index)] >= 0 && index != m.video)
                m.copyAudio(m.packet.get());
            av_packet_unref(m.packet.get());
            const bool audioDone = std::all_of(m.audio.begin(), m.audio.end(), [&](int i) { return m.audioDone[i]; });
            if (m.videoDone && audioDone)
                break;
        }
        if (cancelled_)
            throw CancellationError();
        m.finish();
    } catch (...) {
        error = std::current_exception();
        if (m.output && m.output->pb)
            avio_closep(&m.output->pb);
        QFile::remove(m.destination);
    }
    Completion completion = std::move(completion_);
    completion_ = nullptr;
    if (completion)
        completion(error);
}

void VideoBlurExport::prepare(const QString& source, const RecordingTrim& trim,
                              const std::vector<VideoBlurRegion>& regions, const QString& destination,
                              std::stop_token cancel)
{
    if (cancel.stop_requested())
        throw CancellationError();
    VideoBlurExport job(source, trim, regions, destination);
    std::promise<std::exception_ptr> done;
    std::future<std::exception_ptr> result = done.get_future();
    std::stop_callback onStop(cancel, [&job] { job.cancel(); });
    job.run([&done](std::exception_ptr error) { done.set_value(error); });
    if (const std::exception_ptr error = result.get())
        std::rethrow_exception(error);
}

} // namespace tarnwick::review
