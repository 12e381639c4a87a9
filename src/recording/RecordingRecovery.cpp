#include "recording/RecordingRecovery.h"

#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"
#include "recording/RecordingEncoder.h"
#include "recording/ScreenRecordingController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <cerrno>
#include <cstdio>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarnwick::recording {

namespace {

const QString saveDirectoryKey = QStringLiteral("recordingSaveDirectory");

// Whether the file holds at least one video packet we can read.
bool hasVideo(const QString& file)
{
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, QFile::encodeName(file).constData(), nullptr, nullptr) < 0)
        return false;
    bool found = false;
    if (avformat_find_stream_info(input, nullptr) >= 0) {
        AVPacket* packet = av_packet_alloc();
        while (!found && av_read_frame(input, packet) >= 0) {
            found = input->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&input);
    return found;
}

// The recovered file of one working folder, finalized when possible; empty when unreadable.
QString finalized(const QDir& folder)
{
    const QString recording = folder.filePath(QStringLiteral("Recording.mp4"));
    if (!hasVideo(recording))
        return {};
    const QString indexed = folder.filePath(QStringLiteral("Recovered.mp4"));
    try {
        rewriteWithIndexFirst(recording, indexed, true);
        return indexed;
    } catch (const TarnwickError&) {
        return recording; // no room for the copy: the fragmented file plays as it is
    }
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
    if (!QDir().mkpath(folder))
        return {};
    const QFileInfo wanted(QDir(folder).filePath(name));
    QString target = wanted.filePath();
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = QDir(folder).filePath(QStringLiteral("%1 %2.%3").arg(wanted.completeBaseName()).arg(n).arg(wanted.suffix()));
    // The working file is private; in the save folder it is the user's like any file they save.
    if (std::rename(QFile::encodeName(file).constData(), QFile::encodeName(target).constData()) == 0) {
        platform::giveToUser(target);
        return target;
    }
    if (errno != EXDEV || !QFile::copy(file, target)) {
        QFile::remove(target);
        return {};
    }
    platform::giveToUser(target);
    QFile::remove(file);
    return target;
}

QString recoverRecordings(const QStringList& roots, const QString& saveFolder)
{
    av_log_set_level(AV_LOG_ERROR); // a crash's torn tail is expected, the muxer's notes are not for the terminal
    QStringList recovered;
    QStringList stranded;
    for (const QString& root : roots) {
        const QDir dir(root);
        for (const QString& name : dir.entryList({workingFolderPrefix + u'*'}, QDir::Dirs | QDir::NoSymLinks)) {
            const QDir folder(dir.filePath(name));
            QLockFile lock(folder.filePath(workingFolderLock));
            if (!lock.tryLock(0))
                continue; // a running session's
            const QString file = finalized(folder);
            if (!file.isEmpty()) {
                const QFileInfo info(folder.filePath(QStringLiteral("Recording.mp4")));
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
            QDir(folder.path()).removeRecursively();
        }
    }
    // The panel's status line is short: the folder by its name, the files are easy to find there.
    const QString folderName = QFileInfo(saveFolder).fileName();
    QString sentence;
    if (recovered.size() == 1)
        sentence = QStringLiteral("Запись после сбоя восстановлена в папку «%1»").arg(folderName);
    else if (!recovered.isEmpty())
        sentence = QStringLiteral("Записи после сбоя (%1) восстановлены в папку «%2»").arg(recovered.size()).arg(folderName);
    if (!stranded.isEmpty())
        sentence += (sentence.isEmpty() ? QString() : QStringLiteral(". "))
                    + QStringLiteral("Запись после сбоя осталась в «%1»").arg(stranded.first());
    return sentence;
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
