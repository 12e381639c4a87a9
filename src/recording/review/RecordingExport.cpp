#include "recording/review/RecordingExport.h"

#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"
#include "recording/review/MediaFormat.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cmath>
#include <utility>
#include <memory>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace tarnwick::review {

namespace {

const QString emptyFragment = QStringLiteral("Выберите непустой фрагмент видео.");
const QString cannotPrepare = QStringLiteral("Не удалось подготовить обрезку MP4. Исходная запись сохранена.");
const QString cannotCut = QStringLiteral("Не удалось обрезать видео. Исходная запись сохранена.");

using media::Input;
using media::Output;
using media::open;

// A failed step of the cut: one the disk refused says why (no space, read-only), as a
// file write does; any other keeps the plain sentence.
void check(int result)
{
    if (result >= 0)
        return;
    const int error = AVUNERROR(result);
    for (const int disk : {ENOSPC, EDQUOT, EFBIG, EROFS, EACCES, EPERM, EIO})
        if (error == disk)
            throw TarnwickError(QStringLiteral("Не удалось обрезать видео: %1. Исходная запись сохранена.")
                                    .arg(platform::fileErrorReason(error)));
    throw TarnwickError(cannotCut);
}

} // namespace

double RecordingExport::duration(const QString& source)
{
    // A file the checked open refuses is named with its reason: the review shows it.
    QString refusal;
    const Input input = media::openInput(source, &refusal);
    if (!input)
        throw TarnwickError(refusal.isEmpty() ? QStringLiteral("Не удалось прочитать запись.") : refusal);
    double seconds = 0;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* s = input->streams[i];
        if (s->duration > 0)
            seconds = std::max(seconds, s->duration * av_q2d(s->time_base));
    }
    if (seconds <= 0 && input->duration > 0)
        seconds = input->duration / double(AV_TIME_BASE);
    return seconds;
}

void RecordingExport::checkTrim(const RecordingTrim& trim)
{
    if (!(std::isfinite(trim.duration) && trim.duration > 0 && trim.start >= 0 && trim.end <= trim.duration &&
          trim.end - trim.start > 0))
        throw TarnwickError(emptyFragment);
}

void RecordingExport::prepare(const QString& source, const RecordingTrim& trim, const QString& destination)
{
    checkTrim(trim);
    if (trim.start < 0.001 && std::abs(trim.end - trim.duration) < 0.001) {
        platform::copyFileAtomically(source, destination);
        return;
    }

    const Input input = open(source, cannotPrepare);
    AVFormatContext* rawOut = nullptr;
    if (avformat_alloc_output_context2(&rawOut, nullptr, "mp4", QFile::encodeName(destination).constData()) < 0)
        throw TarnwickError(cannotPrepare);
    Output output(rawOut);
    std::vector<int> map(input->nb_streams, -1);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* in = input->streams[i];
        const auto type = in->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
            continue;
        const AVStream* out = media::copyStream(rawOut, in);
        if (!out)
            throw TarnwickError(cannotPrepare);
        map[i] = out->index;
    }
    check(media::beginFile(rawOut, destination, false));

    // From the key frame at or before the start; the frames before it get
    // negative times, which the muxer turns into an edit list.
    check(av_seek_frame(input.get(), -1, static_cast<int64_t>(trim.start * AV_TIME_BASE), AVSEEK_FLAG_BACKWARD));
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    std::vector<bool> sawKey(input->nb_streams, false);
    // Per video stream, the newest picture at or before the start: it is the
    // one on screen at the start (a recording of a still screen has few
    // frames), so it is written to begin exactly there.
    std::vector<AVPacket*> held(input->nb_streams, nullptr);
    const auto write = [&](AVPacket* p, int64_t startTs) {
        const AVStream* in = input->streams[p->stream_index];
        if (p->pts != AV_NOPTS_VALUE)
            p->pts -= startTs;
        if (p->dts != AV_NOPTS_VALUE)
            p->dts -= startTs;
        p->stream_index = map[p->stream_index];
        av_packet_rescale_ts(p, in->time_base, rawOut->streams[p->stream_index]->time_base);
        p->pos = -1;
        check(av_interleaved_write_frame(rawOut, p));
    };
    const auto startOf = [&](int index) { return std::llround(trim.start / av_q2d(input->streams[index]->time_base)); };
    const auto release = [&](int index, bool pin) {
        AVPacket* p = std::exchange(held[index], nullptr);
        if (!p)
            return;
        if (pin && p->pts == p->dts) {
            const int64_t startTs = startOf(index);
            if (p->duration > 0)
                p->duration -= startTs - p->pts;
            p->pts = p->dts = startTs;
        }
        write(p, startOf(index));
        av_packet_free(&p);
    };
    try {
        for (;;) {
            const int read = av_read_frame(input.get(), packet.get());
            if (read == AVERROR_EOF)
                break;
            check(read);
            const int index = packet->stream_index;
            const AVStream* in = input->streams[index];
            const int64_t startTs = startOf(index);
            const int64_t endTs = std::llround(trim.end / av_q2d(in->time_base));
            const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            const bool video = in->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
            bool keep = map[index] >= 0 && pts != AV_NOPTS_VALUE && pts < endTs;
            if (keep && video) {
                sawKey[index] = sawKey[index] || (packet->flags & AV_PKT_FLAG_KEY);
                keep = sawKey[index];
            } else if (keep) {
                keep = pts + packet->duration > startTs;
            }
            if (keep && video && pts <= startTs) {
                release(index, false);
                held[index] = av_packet_clone(packet.get());
            } else if (keep) {
                if (video) {
                    release(index, true);
                    // The last picture ends with the fragment.
                    if (packet->duration > endTs - pts)
                        packet->duration = endTs - pts;
                }
                write(packet.get(), startTs);
            }
            av_packet_unref(packet.get());
        }
        for (unsigned i = 0; i < held.size(); ++i)
            release(static_cast<int>(i), true);
    } catch (...) {
        for (AVPacket*& p : held)
            av_packet_free(&p);
        throw;
    }
    check(av_write_trailer(rawOut));
}

namespace {

[[noreturn]] void failInstalling(int error)
{
    throw TarnwickError(QStringLiteral("Не удалось записать файл в выбранную папку: %1.").arg(platform::fileErrorReason(error)));
}

} // namespace

QString RecordingExport::reserveBeside(const QString& destination)
{
    try {
        return platform::createPrivateFile(QFileInfo(destination).absolutePath(), QStringLiteral(".Tarnwick-"),
                                           QStringLiteral(".mp4"));
    } catch (const platform::FileError& error) {
        failInstalling(error.code());
    }
}

void RecordingExport::install(const QString& prepared, const QString& destination)
{
    if (QFileInfo(prepared).absolutePath() == QFileInfo(destination).absolutePath()) {
        // rename(2) replaces a file, or a link, at the destination in one step and never follows it.
        if (!platform::giveToUser(prepared)
            || std::rename(QFile::encodeName(prepared).constData(), QFile::encodeName(destination).constData()) != 0)
            failInstalling(errno);
        return;
    }
    // A copy beside the target renamed over it: an existing file is replaced in one step.
    try {
        platform::copyFileAtomically(prepared, destination, platform::FileAccess::user);
    } catch (const platform::FileError& error) {
        failInstalling(error.code());
    }
}

} // namespace tarnwick::review
