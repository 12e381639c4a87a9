// What recovery makes of damage it has not met before: a crash that left only a damaged copy
// to finalize, a few damaged bytes that claim millions of samples, and named pipes in working
// folders.
#include "RecordingTestSupport.h"
#include "SmallDisk.h"
#include "recording/RecordingRecovery.h"
#include "support/PipeWatch.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const char* const childVariable = "TARNWICK_TEST_RECOVERY_CHILD";

// An MP4 made by FFmpeg's own tools, fragmented as our recordings are; empty when it failed.
QByteArray madeByFFmpeg(const QString& file, const QStringList& sources)
{
    QStringList arguments{"-v", "error", "-y"};
    for (const QString& source : sources)
        arguments << "-f" << "lavfi" << "-i" << source;
    for (int i = 0; i < sources.size(); ++i)
        arguments << "-map" << QString::number(i);
    arguments << "-c:v" << "libx264" << "-bf" << "0" << "-g" << "20" << "-c:a" << "aac" << "-movflags"
              << "frag_keyframe+empty_moov+default_base_moof" << file;
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", arguments);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return {};
    QFile made(file);
    return made.open(QIODevice::ReadOnly) ? made.readAll() : QByteArray();
}

// The boxes of `type` in `bytes` from `at` to `end`: where each starts, and its size.
QList<std::pair<qsizetype, qsizetype>> boxes(const QByteArray& bytes, const char* type, qsizetype at, qsizetype end)
{
    QList<std::pair<qsizetype, qsizetype>> found;
    while (at + 8 <= end) {
        const qsizetype size = qFromBigEndian<quint32>(bytes.constData() + at);
        if (size < 8)
            break;
        if (bytes.mid(at + 4, 4) == type)
            found.append({at, size});
        at += size;
    }
    return found;
}

// The track fragment of `track` in the movie fragment at `moof`.
std::pair<qsizetype, qsizetype> trackFragment(const QByteArray& bytes, std::pair<qsizetype, qsizetype> moof, quint32 track)
{
    for (const auto& traf : boxes(bytes, "traf", moof.first + 8, moof.first + moof.second)) {
        const auto tfhd = boxes(bytes, "tfhd", traf.first + 8, traf.first + traf.second).value(0);
        if (tfhd.second > 0 && qFromBigEndian<quint32>(bytes.constData() + tfhd.first + 12) == track)
            return traf;
    }
    return {};
}

void place(const QString& file, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
}

// The peak of the resident memory of this process so far, in kilobytes.
qint64 peakKilobytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

// The first fragment holds the video first, its first picture four seconds in, and then a
// second of sound, torn at its end by the crash. Read in time order, the torn sound comes before
// any picture: the index-first copy, which stops at the first damage, has the video track but no
// picture. It opens, but does not decode; the fragmented file, which does, is what is recovered.
TEST(RecoverySafety, AnIndexFirstCopyThatDoesNotDecodeIsNotRecoveredInsteadOfTheRecording)
{
    QTemporaryDir home;
    QByteArray bytes = madeByFFmpeg(home.filePath("made.mp4"), {"testsrc=size=160x120:rate=10:duration=3",
                                                                "sine=frequency=440:duration=3"});
    ASSERT_FALSE(bytes.isEmpty()) << "ffmpeg failed";
    const auto moof = boxes(bytes, "moof", 0, bytes.size()).value(0);
    const auto mdat = boxes(bytes, "mdat", 0, bytes.size()).value(0);
    ASSERT_TRUE(moof.second > 0 && mdat.first == moof.first + moof.second);
    // The video's decode time starts four seconds in (the video's time base is 1/10240).
    const auto video = trackFragment(bytes, moof, 1);
    const auto tfdt = boxes(bytes, "tfdt", video.first + 8, video.first + video.second).value(0);
    ASSERT_EQ(bytes.at(tfdt.first + 8), 1) << "a 64-bit decode time";
    qToBigEndian<quint64>(4 * 10240, bytes.data() + tfdt.first + 12);
    // Torn within the fragment's last sound sample, after its pictures.
    const QByteArray crashed = bytes.left(mdat.first + mdat.second - 100);

    const QString root = home.filePath("cache"), videos = home.filePath("Видео");
    place(root + "/Tarnwick-video-1/Recording.mp4", crashed);
    EXPECT_EQ(recording::recoverRecordings({root}, videos), "Запись после сбоя восстановлена в папку «Видео»");
    const QStringList saved = QDir(videos).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    QFile recovered(QDir(videos).filePath(saved[0]));
    ASSERT_TRUE(recovered.open(QIODevice::ReadOnly));
    EXPECT_TRUE(recovered.readAll() == crashed) << "the recording as the crash left it, not a copy";
    const QJsonArray streams = probe(recovered.fileName(), {"-count_frames", "-select_streams", "v", "-show_streams"})["streams"].toArray();
    ASSERT_EQ(streams.size(), 1) << "no video";
    EXPECT_GE(streams[0].toObject()["nb_read_frames"].toString().toInt(), 20) << "pictures that play";
}

// A working folder's recording of 3 KB whose first track run, damaged, claims 89 million samples
// without a size of their own: FFmpeg would size its index from that count, gigabytes, before it
// reads a sample. Measured in a process of its own, the recovery stays small, leaves the folder
// and names it.
TEST(RecoverySafety, AFewDamagedBytesClaimingMillionsOfSamplesTakeLittleMemory)
{
    if (const QString home = qEnvironmentVariable(childVariable); !home.isEmpty()) {
        const qint64 before = peakKilobytes();
        const QString said = recording::recoverRecordings({home + "/cache"}, home + "/Видео");
        QFile out(home + "/measured.txt");
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray::number(peakKilobytes() - before) + '\n' + said.toUtf8());
        return;
    }
    QTemporaryDir home;
    QByteArray bytes = madeByFFmpeg(home.filePath("made.mp4"), {"testsrc=size=320x240:rate=30:duration=2",
                                                                "sine=frequency=440:duration=2"});
    ASSERT_FALSE(bytes.isEmpty()) << "ffmpeg failed";
    const auto moof = boxes(bytes, "moof", 0, bytes.size()).value(0);
    const auto traf = trackFragment(bytes, moof, 1);
    const auto trun = boxes(bytes, "trun", traf.first + 8, traf.first + traf.second).value(0);
    ASSERT_GT(trun.second, 0);
    ASSERT_LT(trun.first + 16, 3072);
    qToBigEndian<quint32>(0x000001, bytes.data() + trun.first + 8);   // a data offset, no field per sample
    qToBigEndian<quint32>(89000000, bytes.data() + trun.first + 12);  // the sample count
    const QString folder = home.filePath("cache/Tarnwick-video-1");
    place(folder + "/Recording.mp4", bytes.left(3072));

    ASSERT_EQ(runTestInChild(childVariable, home.path()), 0);
    QFile measured(home.filePath("measured.txt"));
    ASSERT_TRUE(measured.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = measured.readAll().split('\n');
    EXPECT_LT(lines.value(0).toLongLong(), 200 * 1024) << "kilobytes taken by the recovery";
    EXPECT_EQ(QString::fromUtf8(lines.value(1)), "Запись после сбоя не удалось восстановить, она осталась в «" + folder + "»");
    EXPECT_EQ(QFileInfo(folder + "/Recording.mp4").size(), 3072);
}

// A working folder whose lock is a named pipe, and one whose recording is a link to a pipe: the
// lock's reader and FFmpeg would wait in open() for good, and the recovery with them (the
// program's end waits for it). Each is left as it is and named once; the next start passes it by.
TEST(RecoverySafety, PipesInWorkingFoldersAreLeftAndNamedNeverWaitedOn)
{
    QTemporaryDir home;
    const QByteArray bytes = madeByFFmpeg(home.filePath("made.mp4"), {"testsrc=size=160x120:rate=10:duration=1"});
    ASSERT_FALSE(bytes.isEmpty()) << "ffmpeg failed";
    const QString root = home.filePath("cache"), videos = home.filePath("Видео");
    const QString locked = root + "/Tarnwick-video-1", linked = root + "/Tarnwick-video-2";
    place(locked + "/Recording.mp4", bytes);
    const QString lockPipe = locked + "/session.lock", recordingPipe = home.filePath("pipe.mp4");
    QDir().mkpath(linked);
    for (const QString& pipe : {lockPipe, recordingPipe})
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(recordingPipe, linked + "/Recording.mp4"));

    PipeWatch watch({lockPipe, recordingPipe});
    const QString said = recording::recoverRecordings({root}, videos);
    const QString again = recording::recoverRecordings({root}, videos);
    EXPECT_FALSE(watch.stop()) << "a pipe was opened and waited on";
    EXPECT_EQ(said, "Записи после сбоя (2) не удалось восстановить, они остались в «" + root + "»");
    EXPECT_EQ(again, QString()) << "named again";
    EXPECT_FALSE(QDir(videos).exists() && !QDir(videos).isEmpty());
    struct stat seen {};
    ASSERT_EQ(::lstat(QFile::encodeName(lockPipe).constData(), &seen), 0);
    EXPECT_TRUE(S_ISFIFO(seen.st_mode));
    ASSERT_EQ(::lstat(QFile::encodeName(linked + "/Recording.mp4").constData(), &seen), 0);
    EXPECT_TRUE(S_ISLNK(seen.st_mode));
    QFile kept(locked + "/Recording.mp4");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll() == bytes) << "the recording beside the pipe is left as it was";
}
