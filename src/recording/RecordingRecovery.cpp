#include "recording/RecordingRecovery.h"

#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"
#include "recording/RecordingEncoder.h"
#include "recording/RecordingTables.h"
#include "recording/ScreenRecordingController.h"
#include "recording/review/MediaFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tarnwick::recording {

namespace {

const QString saveDirectoryKey = QStringLiteral("recordingSaveDirectory");

// The type of what is at `path` itself (a link is not followed); 0 when nothing is there.
mode_t typeAt(const QString& path, off_t* size = nullptr)
{
    struct stat s {};
    if (::lstat(QFile::encodeName(path).constData(), &s) != 0)
        return 0;
    if (size)
        *size = s.st_size;
    return s.st_mode & S_IFMT;
}

// Whether the file's first video frame decodes whole: a file that only opens, or whose
// one packet was torn by the crash, would be "recovered" as a video no player shows.
bool decodes(const QString& file)
{
    const review::media::Input opened = review::media::openInput(file, nullptr, platform::Links::refused);
    if (!opened)
        return false;
    AVFormatContext* input = opened.get();
    const AVCodec* codec = nullptr;
    AVCodecContext* decoder = nullptr;
    const int stream = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream >= 0 && (decoder = avcodec_alloc_context3(codec))) {
        decoder->thread_count = 1; // the first frame out for the first packet in
        decoder->err_recognition = AV_EF_EXPLODE;
        if (avcodec_parameters_to_context(decoder, input->streams[stream]->codecpar) < 0
            || avcodec_open2(decoder, codec, nullptr) < 0)
            avcodec_free_context(&decoder);
    }
    bool whole = false;
    if (decoder) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        const auto received = [&] { return avcodec_receive_frame(decoder, frame) >= 0 && frame->decode_error_flags == 0; };
        bool sent = false;
        while (!whole && av_read_frame(input, packet) >= 0) {
            if (packet->stream_index == stream && !(packet->flags & AV_PKT_FLAG_CORRUPT)) {
                sent = avcodec_send_packet(decoder, packet) >= 0;
                whole = sent && received();
            }
            av_packet_unref(packet);
        }
        if (!whole && sent && avcodec_send_packet(decoder, nullptr) >= 0)
            whole = received();
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
    }
    return whole;
}

// The recovered file of one working folder, finalized when possible.
QString finalized(const QDir& folder, const QString& recording)
{
    const QString indexed = folder.filePath(QStringLiteral("Recovered.mp4"));
    try {
        rewriteWithIndexFirst(recording, indexed, true);
        if (decodes(indexed))
            return indexed;
    } catch (const TarnwickError&) {
        // no room for the copy: the fragmented file plays as it is
    }
    QFile::remove(indexed);
    return recording;
}

// Marks a folder whose recording could not be recovered, so later starts pass it by.
void markUnrecoverable(const QDir& folder)
{
    const int fd = ::open(QFile::encodeName(folder.filePath(unrecoverableMark)).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

} // namespace

QString recordingSaveFolder(const QSettings* preferences)
{
    if (preferences && preferences->value(saveDirectoryKey).typeId() == QMetaType::QString) {
        const QString chosen = preferences->value(saveDirectoryKey).toString();
        if (QFileInfo(chosen).isDir())
            return chosen;
    }
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return movies.isEmpty() ? QDir::homePath() : movies; // made when a recording goes there
}

QString moveRecordingTo(const QString& file, const QString& folder, const QString& name)
{
    if (typeAt(file) != S_IFREG || !QDir().mkpath(folder))
        return {};
    const QFileInfo wanted(QDir(folder).filePath(name));
    QString target = wanted.filePath();
    for (int n = 2; typeAt(target) != 0; ++n)
        target = QDir(folder).filePath(QStringLiteral("%1 %2.%3").arg(wanted.completeBaseName()).arg(n).arg(wanted.suffix()));
    // The working file is private; in the save folder it is the user's like any file they save.
    if (std::rename(QFile::encodeName(file).constData(), QFile::encodeName(target).constData()) == 0) {
        platform::giveToUser(target);
        return target;
    }
    if (errno != EXDEV)
        return {};
    // Another disk: a checked copy, so a disk that fills up half way leaves no short file behind.
    try {
        platform::copyFileAtomically(file, target, platform::FileAccess::user);
    } catch (const TarnwickError&) {
        return {};
    }
    QFile::remove(file);
    return target;
}

QString recoverRecordings(const QStringList& roots, const QString& saveFolder)
{
    av_log_set_level(AV_LOG_ERROR); // a crash's torn tail is expected, the muxer's notes are not for the terminal
    QStringList recovered;
    QStringList stranded;
    QStringList unrecoverable;
    for (const QString& root : roots) {
        const QDir dir(root);
        for (const QString& name : dir.entryList({workingFolderPrefix + u'*'}, QDir::Dirs | QDir::NoSymLinks)) {
            const QDir folder(dir.filePath(name));
            if (typeAt(folder.filePath(unrecoverableMark)) != 0)
                continue; // the user was told at an earlier start
            // QLockFile reads a lock it cannot take: a pipe in its place would hold it for good.
            if (const mode_t lockType = typeAt(folder.filePath(workingFolderLock)); lockType != 0 && lockType != S_IFREG) {
                markUnrecoverable(folder);
                unrecoverable << QDir::toNativeSeparators(folder.path());
                continue;
            }
            QLockFile lock(folder.filePath(workingFolderLock));
            if (!lock.tryLock(0))
                continue; // a running session's
            const QString recording = folder.filePath(QStringLiteral("Recording.mp4"));
            off_t size = 0;
            const mode_t type = typeAt(recording, &size);
            if (type != 0 && !(type == S_IFREG && size == 0)) {
                // Tables that claim more than the file holds would have FFmpeg take gigabytes.
                if (type != S_IFREG || !sampleTablesFit(recording) || !decodes(recording)) {
                    markUnrecoverable(folder);
                    unrecoverable << QDir::toNativeSeparators(folder.path());
                    continue; // kept as it is: the user may still get something out of it
                }
                const QString file = finalized(folder, recording);
                const QFileInfo info(recording);
                const QDateTime started = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
                QString base = ScreenRecordingController::defaultFileName(started.toLocalTime());
                base.chop(4);
                const QString moved = moveRecordingTo(file, saveFolder, base + QStringLiteral(" (восстановлено).mp4"));
                if (moved.isEmpty()) {
                    stranded << QDir::toNativeSeparators(file);
                    continue; // left where it is, for the next start
                }
                recovered << QFileInfo(moved).fileName();
            }
            lock.unlock();
            platform::removePrivateTree(folder.path());
        }
    }
    // The panel's status line is short: the folder by its name, the files are easy to find there.
    const QString folderName = QFileInfo(saveFolder).fileName();
    QStringList sentences;
    if (recovered.size() == 1)
        sentences << QStringLiteral("Запись после сбоя восстановлена в папку «%1»").arg(folderName);
    else if (!recovered.isEmpty())
        sentences << QStringLiteral("Записи после сбоя (%1) восстановлены в папку «%2»").arg(recovered.size()).arg(folderName);
    if (!stranded.isEmpty())
        sentences << QStringLiteral("Запись после сбоя осталась в «%1»").arg(stranded.first());
    if (unrecoverable.size() == 1)
        sentences << QStringLiteral("Запись после сбоя не удалось восстановить, она осталась в «%1»").arg(unrecoverable.first());
    else if (!unrecoverable.isEmpty())
        sentences << QStringLiteral("Записи после сбоя (%1) не удалось восстановить, они остались в «%2»")
                         .arg(unrecoverable.size())
                         .arg(QDir::toNativeSeparators(QFileInfo(unrecoverable.first()).path()));
    return sentences.join(QStringLiteral(". "));
}

void recoverRecordingsInBackground(const QSettings* preferences, std::function<void(const QString&)> report)
{
    const QString saveFolder = recordingSaveFolder(preferences);
    QThreadPool::globalInstance()->start([saveFolder, report = std::move(report)] {
        const QString sentence = recoverRecordings(workingRoots(), saveFolder);
        if (!sentence.isEmpty())
            QMetaObject::invokeMethod(qApp, [report, sentence] { report(sentence); }, Qt::QueuedConnection);
    });
}

} // namespace tarnwick::recording
