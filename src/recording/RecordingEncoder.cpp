#include "recording/RecordingEncoder.h"

#include "platform/PrivateFiles.h"
#include "recording/review/FrameScaler.h"
#include "recording/review/MediaFormat.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <optional>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace tarnwick {

namespace {

constexpr int videoQueueLimit = 15; // half a second of yuv420p frames
constexpr int audioQueueLimit = 128;
constexpr double fragmentSeconds = 0.5; // what a crash can lose, besides the queues

TarnwickError sentence(const char* text) { return TarnwickError::message(QString::fromUtf8(text)); }

AVCodecContext* openAudio()
{
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = 48000;
    context->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    context->bit_rate = 128000;
    context->time_base = {1, 48000};
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(context, codec, nullptr) < 0)
        avcodec_free_context(&context);
    return context;
}

// Makes setpriority() a no-op that succeeds, for the calling thread and the threads it starts
// afterwards (a seccomp filter, which needs no privilege; other threads are not affected).
// False where the kernel refuses the filter.
bool keepPriorityOfThreadsStartedHere()
{
#if defined(__x86_64__) || defined(__aarch64__)
#if defined(__x86_64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_X86_64;
#else
    constexpr std::uint32_t arch = AUDIT_ARCH_AARCH64;
#endif
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_setpriority, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
#else
    return false;
#endif
}

// Opens the video encoder on a short-lived thread of its own, whose name the encoder's threads
// take. libx265's pool threads lower their own priority by ten nice steps when they start, to
// keep a desktop quick beside a file being encoded; a recording cannot wait, and with 8 busy
// processes beside it they got a tenth of their share: a third of a core, and a third of the
// frames lost (the same happens to ffmpeg's x11grab). They may not lower it here. What they
// lowered cannot be raised again without privilege, so the rule must be in place before they start.
AVCodecContext* openVideoEncoderAtOurPriority(const review::media::VideoEncoding& encoding)
{
    AVCodecContext* context = nullptr;
    std::thread([&] {
        pthread_setname_np(pthread_self(), "tarnwick-codec");
        keepPriorityOfThreadsStartedHere(); // where refused, they lower it as before
        context = review::media::openVideoEncoder(encoding);
    }).join();
    return context;
}

} // namespace

// Converts BGRA frames to yuv420p in horizontal bands, one per thread: at 1080p a single
// thread falls behind 30 frames a second on a busy machine. The caller converts the first
// band itself and waits for the others. Frames of another size than the video are scaled
// into its fitted area in the same pass: scaling BGRA to BGRA first took four times as long
// (58 ms against 14 for 2880×1620 into 2560×1440), a third of the frame rate of a scaled screen.
class RecordingEncoder::BandConverter {
public:
    BandConverter(QSize source, QSize size, AVColorSpace space, AVColorRange range)
    {
        if (source != size) {
            // One band: separate bands of a scaled picture would each blur their own edges.
            const QRect fit = fittedArea(source, size);
            auto scaler = std::make_unique<review::media::FrameScaler>();
            if (SwsContext* context = scaler->prepare(source, AV_PIX_FMT_BGRA, fit.size(), AV_PIX_FMT_YUV420P,
                                                      SWS_BILINEAR))
                review::media::matchColours(context, space, range, true);
            else
                ready_ = false;
            // Bars only above and below: the rows' spill stays in their own padding.
            bands_.push_back({std::move(scaler), 0, fit.topLeft(), fit.width() == size.width()});
            letterbox_ = fit != QRect(QPoint(), size);
            // The recording's background, grey 0.09 (23 of 255), in the video's range.
            backgroundLuma_ = range == AVCOL_RANGE_JPEG ? 23 : 16 + (219 * 23 + 127) / 255;
            return;
        }
        const int wanted = size.height() < 720 ? 1 : std::clamp(int(std::thread::hardware_concurrency()) / 2, 1, 4);
        const int height = (size.height() / wanted) & ~1; // even, so each band has whole chroma rows
        for (int i = 0, y = 0; i < wanted; ++i, y += height) {
            const int rows = i + 1 < wanted ? height : size.height() - y;
            auto scaler = std::make_unique<review::media::FrameScaler>();
            const QSize band(size.width(), rows);
            if (SwsContext* context = scaler->prepare(band, AV_PIX_FMT_BGRA, band, AV_PIX_FMT_YUV420P, SWS_BILINEAR))
                review::media::matchColours(context, space, range, true);
            else
                ready_ = false;
            bands_.push_back({std::move(scaler), y, QPoint(0, y), true});
        }
        for (std::size_t i = 1; i < bands_.size(); ++i)
            threads_.emplace_back([this, i] { work(i); });
    }
    ~BandConverter()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        start_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }
    bool ready() const { return ready_; }
    void convert(const QImage& frame, AVFrame* picture)
    {
        {
            std::lock_guard lock(mutex_);
            frame_ = &frame;
            picture_ = picture;
            pending_ = int(threads_.size());
            ++generation_;
        }
        if (letterbox_)
            for (int plane = 0; plane < 3; ++plane)
                std::memset(picture->data[plane], plane == 0 ? backgroundLuma_ : 128,
                            std::size_t(picture->linesize[plane]) * std::size_t(-((-picture->height) >> (plane ? 1 : 0))));
        start_.notify_all();
        convertBand(0);
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
    }

private:
    struct Band {
        std::unique_ptr<review::media::FrameScaler> scaler;
        int sourceY; // the band's first row in the frame
        QPoint at;   // and where it lands in the picture (even)
        bool inPlace; // whole rows of the picture, written without a copy
    };

    void convertBand(std::size_t index)
    {
        const Band& band = bands_[index];
        const std::uint8_t* source[1] = {frame_->constBits() + std::ptrdiff_t(band.sourceY) * frame_->bytesPerLine()};
        const int stride[1] = {int(frame_->bytesPerLine())};
        std::uint8_t* target[3];
        for (int plane = 0; plane < 3; ++plane) {
            const int shift = plane == 0 ? 0 : 1;
            target[plane] = picture_->data[plane] + std::ptrdiff_t(band.at.y() >> shift) * picture_->linesize[plane] +
                            (band.at.x() >> shift);
        }
        if (band.inPlace)
            band.scaler->scaleInPlace(source, stride, target, picture_->linesize);
        else
            band.scaler->scale(source, stride, target, picture_->linesize);
    }
    void work(std::size_t index)
    {
        pthread_setname_np(pthread_self(), "tarnwick-conv"); // 15 characters at most, or the name is refused
        int seen = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                start_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_)
                    return;
                seen = generation_;
            }
            convertBand(index);
            std::lock_guard lock(mutex_);
            if (--pending_ == 0)
                done_.notify_one();
        }
    }

    std::vector<Band> bands_;
    bool ready_ = true;
    bool letterbox_ = false;
    int backgroundLuma_ = 0;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable start_;
    std::condition_variable done_;
    const QImage* frame_ = nullptr;
    AVFrame* picture_ = nullptr;
    int generation_ = 0;
    int pending_ = 0;
    bool stop_ = false;
};

struct RecordingEncoder::Media {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    AVPacket* heldVideo = nullptr; // written once the next frame tells its duration
    review::media::VideoCrop crop;  // a padded HEVC picture's window: the video's own size
    bool hasHeldVideo = false;
    double flushedUntil = 0; // seconds of media in complete fragments
    std::int64_t completeBytes = 0; // the file's length up to its last complete fragment
    std::int64_t pendingVideo = 0;  // video packets in the fragment being filled
    QByteArray path;

    ~Media()
    {
        if (format) {
            if (format->pb)
                avio_closep(&format->pb);
            avformat_free_context(format);
        }
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        av_frame_free(&sound);
        av_packet_free(&packet);
        av_packet_free(&heldVideo);
    }
};

QRect RecordingEncoder::fittedArea(QSize source, QSize size)
{
    const QSize fitted = source.scaled(size, Qt::KeepAspectRatio);
    // Even edges, so the area has whole chroma samples; a side that fills the video stays whole.
    const int width = fitted.width() >= size.width() ? size.width() : std::max(2, fitted.width() & ~1);
    const int height = fitted.height() >= size.height() ? size.height() : std::max(2, fitted.height() & ~1);
    return QRect(((size.width() - width) / 2) & ~1, ((size.height() - height) / 2) & ~1, width, height);
}

RecordingEncoder::RecordingEncoder(const QString& path, QSize size, const RecordingOptions& options, bool audio,
                                   QSize source)
    : media_(std::make_unique<Media>()), size_(size), source_(source.isEmpty() ? size : source)
{
    av_log_set_level(AV_LOG_ERROR); // the encoders' statistics are not for the user's terminal
    Media& m = *media_;
    review::media::VideoEncoding encoding;
    encoding.size = size;
    encoding.hevc = options.codec == RecordingCodec::hevc;
    encoding.bitRate = options.bitRate(QSizeF(size));
    encoding.timeBase = {1, static_cast<int>(timescale)};
    encoding.live = true;
    m.video = openVideoEncoderAtOurPriority(encoding);
    if (!m.video)
        throw sentence("Выбранный видеокодек недоступен. Попробуйте H.264.");
    if (audio) {
        m.audio = openAudio();
        if (!m.audio)
            throw sentence("Не удалось добавить звук в MP4.");
    }
    const QByteArray file = QFile::encodeName(path);
    m.path = file;
    if (avformat_alloc_output_context2(&m.format, nullptr, "mp4", file.constData()) < 0 || !m.format)
        throw sentence("Не удалось начать запись MP4.");
    if (!m.crop.open(m.video, size))
        throw sentence("Выбранный видеокодек недоступен. Попробуйте H.264.");
    m.videoStream = review::media::encodedStream(m.format, m.video, &m.crop);
    if (m.audio)
        m.audioStream = review::media::encodedStream(m.format, m.audio);
    // Fragments are cut by time (see writePacket) and reach the disk at once: a killed
    // process leaves a file that plays up to its last complete fragment.
    if (!m.videoStream || (m.audio && !m.audioStream) || review::media::beginFile(m.format, path, true) < 0)
        throw sentence("Не удалось начать запись MP4.");

    m.sound = av_frame_alloc();
    m.packet = av_packet_alloc();
    m.heldVideo = av_packet_alloc();
    worker_ = std::thread([this] { run(); });
}

RecordingEncoder::~RecordingEncoder()
{
    if (worker_.joinable())
        abort();
}

void RecordingEncoder::FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }

bool RecordingEncoder::pushVideo(const QImage& frame, std::int64_t pts, bool waitForRoom)
{
    {
        std::unique_lock lock(mutex_);
        if (waitForRoom)
            room_.wait(lock, [this] { return queuedVideo_ < videoQueueLimit || closing_ || failure_; });
        if (closing_ || failure_ || queuedVideo_ >= videoQueueLimit)
            return false;
    }
    std::shared_ptr<AVFrame> picture(av_frame_alloc(), FrameDeleter());
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = media_->video->width; // the coded size: the video's, or padded for the encoder
    picture->height = media_->video->height;
    if (!converter_)
        converter_ =
            std::make_unique<BandConverter>(source_, size_, media_->video->colorspace, media_->video->color_range);
    // Lines with room for the converter's spill, so it writes the bands in place.
    if (frame.size() != source_ || !converter_->ready() || !review::media::FrameScaler::padLines(picture.get()) ||
        av_frame_get_buffer(picture.get(), 0) < 0) {
        fail("Не удалось записать кадр.", false);
        return false;
    }
    converter_->convert(frame, picture.get());
    if (QSize(picture->width, picture->height) != size_)
        review::media::fillPadding(picture.get(), size_);
    picture->pts = pts;
    std::lock_guard lock(mutex_);
    if (closing_ || failure_)
        return false;
    jobs_.push_back({std::move(picture), std::nullopt});
    ++queuedVideo_;
    wake_.notify_one();
    return true;
}

bool RecordingEncoder::videoReady() const
{
    std::lock_guard lock(mutex_);
    return queuedVideo_ < videoQueueLimit && !closing_ && !failure_;
}

bool RecordingEncoder::audioReady() const
{
    std::lock_guard lock(mutex_);
    return queuedAudio_ < audioQueueLimit && !closing_ && !failure_;
}

bool RecordingEncoder::pushAudio(RecordingPCMBuffer buffer)
{
    std::lock_guard lock(mutex_);
    if (closing_ || failure_ || queuedAudio_ >= audioQueueLimit)
        return false;
    jobs_.push_back({nullptr, std::move(buffer)});
    ++queuedAudio_;
    wake_.notify_one();
    return true;
}

bool RecordingEncoder::waitForAudioRoom(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(mutex_);
    return room_.wait_until(lock, deadline, [this] { return queuedAudio_ < audioQueueLimit || failure_; })
           && !failure_;
}

std::optional<EncoderFailure> RecordingEncoder::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

std::int64_t RecordingEncoder::videoPacketsWritten() const
{
    std::lock_guard lock(mutex_);
    return videoPackets_;
}

void RecordingEncoder::close(std::int64_t end)
{
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        end_ = end;
    }
    wake_.notify_all();
    room_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void RecordingEncoder::abort()
{
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        aborted_ = true;
    }
    wake_.notify_all();
    room_.notify_all();
    if (worker_.joinable())
        worker_.join();
    media_.reset();
}

void RecordingEncoder::fail(const char* text, bool fileError)
{
    std::lock_guard lock(mutex_);
    if (!failure_)
        failure_ = EncoderFailure{sentence(text), fileError};
    room_.notify_all();
}

void RecordingEncoder::run()
{
    pthread_setname_np(pthread_self(), "tarnwick-encode");
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !jobs_.empty() || closing_; });
            if (aborted_)
                return;
            if (jobs_.empty())
                break;
            job = std::move(jobs_.front());
            jobs_.pop_front();
            --(job.audio ? queuedAudio_ : queuedVideo_);
            room_.notify_all();
            if (failure_)
                continue;
        }
        if (job.audio)
            encodeAudio(*job.audio);
        else
            encodeVideo(job);
    }
    finishMedia();
}

void RecordingEncoder::encodeVideo(const Job& job)
{
    if (avcodec_send_frame(media_->video, job.picture.get()) < 0)
        return fail("Не удалось записать кадр.", false);
    drainPackets(true);
}

void RecordingEncoder::encodeAudio(const RecordingPCMBuffer& buffer)
{
    Media& m = *media_;
    if (!m.audio)
        return;
    av_frame_unref(m.sound);
    m.sound->format = AV_SAMPLE_FMT_FLTP;
    m.sound->sample_rate = 48000;
    m.sound->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    m.sound->nb_samples = buffer.frames();
    if (av_frame_get_buffer(m.sound, 0) < 0)
        return fail("Не удалось записать аудиодорожку.", false);
    auto* left = reinterpret_cast<float*>(m.sound->data[0]);
    auto* right = reinterpret_cast<float*>(m.sound->data[1]);
    for (int i = 0; i < buffer.frames(); ++i) {
        left[i] = buffer.samples[static_cast<std::size_t>(2 * i)];
        right[i] = buffer.samples[static_cast<std::size_t>(2 * i + 1)];
    }
    m.sound->pts = buffer.time;
    if (avcodec_send_frame(m.audio, m.sound) < 0)
        return fail("Не удалось записать аудиодорожку.", false);
    drainPackets(false);
}

void RecordingEncoder::drainPackets(bool video)
{
    Media& m = *media_;
    AVCodecContext* codec = video ? m.video : m.audio;
    for (;;) {
        const int received = avcodec_receive_packet(codec, m.packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return;
        if (received < 0 || (video && m.crop.apply(m.packet) < 0))
            return fail(video ? "Не удалось записать кадр." : "Не удалось записать аудиодорожку.", false);
        writePacket(video, m.packet);
        if (failure())
            return;
    }
}

void RecordingEncoder::writePacket(bool video, void* raw)
{
    Media& m = *media_;
    auto* packet = static_cast<AVPacket*>(raw);
    AVPacket* out = packet;
    if (video) {
        // No frame reordering: pts rise, and a frame lasts until the next one starts.
        if (!m.hasHeldVideo) {
            av_packet_move_ref(m.heldVideo, packet);
            m.hasHeldVideo = true;
            return;
        }
        m.heldVideo->duration = std::max<std::int64_t>(1, packet->pts - m.heldVideo->pts);
        std::swap(m.heldVideo, m.packet); // hold the new packet, write the one held before
        out = m.packet;
    }
    AVStream* stream = video ? m.videoStream : m.audioStream;
    av_packet_rescale_ts(out, (video ? m.video : m.audio)->time_base, stream->time_base);
    out->stream_index = stream->index;
    const double end = static_cast<double>(out->pts + out->duration) * av_q2d(stream->time_base);
    // Written in arrival order, without the interleaver: it would hold one stream's
    // packets back while the other is quiet (a still screen), and a fragment takes both.
    int written = av_write_frame(m.format, out);
    av_packet_unref(out);
    if (written >= 0 && end >= m.flushedUntil + fragmentSeconds) {
        written = av_write_frame(m.format, nullptr); // closes the fragment and flushes it to the disk
        m.flushedUntil = end;
        if (written >= 0 && m.format->pb->error >= 0) {
            m.completeBytes = avio_tell(m.format->pb);
            std::lock_guard lock(mutex_);
            videoPackets_ += std::exchange(m.pendingVideo, 0);
        }
    }
    if (written < 0 || m.format->pb->error < 0) {
        fail("Не удалось записать кадр. Проверьте свободное место на диске.", true);
        return;
    }
    if (video)
        ++m.pendingVideo;
}

void RecordingEncoder::finishMedia()
{
    Media& m = *media_;
    if (!failure()) {
        avcodec_send_frame(m.video, nullptr);
        drainPackets(true);
        if (m.audio) {
            avcodec_send_frame(m.audio, nullptr);
            drainPackets(false);
        }
    }
    if (!failure() && m.hasHeldVideo) {
        std::int64_t end = 0;
        {
            std::lock_guard lock(mutex_);
            end = end_;
        }
        m.heldVideo->duration = std::max<std::int64_t>(1, end - m.heldVideo->pts);
        av_packet_rescale_ts(m.heldVideo, m.video->time_base, m.videoStream->time_base);
        m.heldVideo->stream_index = m.videoStream->index;
        if (av_write_frame(m.format, m.heldVideo) < 0)
            fail("Не удалось записать кадр. Проверьте свободное место на диске.", true);
        else
            ++m.pendingVideo;
        m.hasHeldVideo = false;
    }
    if (!failure() || !failure()->fileError) {
        if (av_write_trailer(m.format) < 0 || m.format->pb->error < 0)
            fail("Не удалось завершить видео. Проверьте свободное место на диске.", true);
        else {
            std::lock_guard lock(mutex_);
            videoPackets_ += std::exchange(m.pendingVideo, 0);
        }
    }
    if (avio_closep(&m.format->pb) < 0)
        fail("Не удалось завершить видео. Проверьте свободное место на диске.", true);
    // A full disk tears the fragment being written: cut the file back to the last
    // whole one, so what is kept plays to its end without errors.
    if (failure() && failure()->fileError && m.completeBytes > 0)
        ::truncate(m.path.constData(), m.completeBytes);
}

void rewriteWithIndexFirst(const QString& from, const QString& to, bool upToDamage)
{
    // A link or a pipe put in its place is not read.
    const review::media::Input opened = review::media::openInput(from, nullptr, platform::Links::refused);
    AVFormatContext* input = opened.get();
    const QByteArray target = QFile::encodeName(to);
    AVFormatContext* output = nullptr;
    AVPacket* packet = av_packet_alloc();
    bool ok = input && avformat_alloc_output_context2(&output, nullptr, "mp4", target.constData()) >= 0;
    for (unsigned i = 0; ok && i < input->nb_streams; ++i)
        ok = review::media::copyStream(output, input->streams[i]) != nullptr;
    ok = ok && review::media::beginFile(output, to, false) >= 0;
    // Fragments come back without packet durations, and the muxer would guess the last frame's:
    // each packet waits for the next of its stream, the last one lasts to its stream's end.
    std::vector<AVPacket*> held(ok ? input->nb_streams : 0, nullptr);
    const auto write = [&](AVPacket* out, std::int64_t next) {
        AVStream* in = input->streams[out->stream_index];
        if (out->duration <= 0 && next != AV_NOPTS_VALUE && out->dts != AV_NOPTS_VALUE && next > out->dts)
            out->duration = next - out->dts;
        av_packet_rescale_ts(out, in->time_base, output->streams[out->stream_index]->time_base);
        out->pos = -1;
        const bool written = av_interleaved_write_frame(output, out) >= 0;
        av_packet_free(&out);
        return written;
    };
    while (ok) {
        const int read = av_read_frame(input, packet);
        if (read == AVERROR_EOF)
            break;
        // A packet cut off by the end of the file is damage too: no decoder makes a picture of it.
        if (read < 0 || (packet->flags & AV_PKT_FLAG_CORRUPT)) {
            av_packet_unref(packet);
            ok = upToDamage;
            break;
        }
        AVPacket*& previous = held[static_cast<std::size_t>(packet->stream_index)];
        if (previous)
            ok = write(std::exchange(previous, nullptr), packet->dts);
        previous = av_packet_clone(packet);
        ok = ok && previous;
        av_packet_unref(packet);
    }
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (!held[i])
            continue;
        const AVStream* in = input->streams[i];
        const bool known = in->duration != AV_NOPTS_VALUE && in->duration > 0;
        const std::int64_t end = known ? (in->start_time == AV_NOPTS_VALUE ? 0 : in->start_time) + in->duration
                                       : AV_NOPTS_VALUE;
        if (ok)
            ok = write(std::exchange(held[i], nullptr), end);
        else
            av_packet_free(&held[i]);
    }
    ok = ok && av_write_trailer(output) >= 0 && output->pb->error >= 0;
    if (output) {
        if (output->pb && avio_closep(&output->pb) < 0)
            ok = false;
        avformat_free_context(output);
    }
    av_packet_free(&packet);
    if (!ok) {
        QFile::remove(to);
        throw sentence("Не удалось завершить видео. Проверьте свободное место на диске.");
    }
}

} // namespace tarnwick
