#include "RecordingTestSupport.h"
#include "app/SessionFiles.h"
#include "recording/RecordingRecovery.h"
#include "recording/review/MediaFiles.h"
#include "recording/review/RecordingExport.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const QSize frameSize(320, 240);

RecordingOptions codecOnly(RecordingCodec codec)
{
    RecordingOptions o;
    o.codec = codec;
    return o;
}

// Writes moving frames at 30 a second until `enough` says so or the writer fails; the count written.
int record(RecordingFileWriter& writer, const std::function<bool(int)>& enough)
{
    int k = 0;
    for (; !enough(k) && !writer.failure(); ++k)
        while (!writer.append(movingFrame(frameSize, k * 13), k / 30.0) && !writer.failure())
            usleep(1000);
    return k;
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// In a child process with user and mount namespaces of its own, records onto a tmpfs of `kilobytes` until the file has
// `bytes`, finishes, and leaves the result as out.mp4 and its sentence as
// sentence.txt in `dir`. The exit status is 0 when a file was left.
int recordOnSmallDisk(const QTemporaryDir& dir, int kilobytes, qint64 bytes)
{
    const QString disk = dir.filePath("disk");
    QDir().mkpath(disk);
    const pid_t child = fork();
    if (child != 0) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
    }
    const QByteArray uid = QByteArray::number(geteuid()), gid = QByteArray::number(getegid());
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !writeText("/proc/self/setgroups", "deny") ||
        !writeText("/proc/self/uid_map", "0 " + uid + " 1") || !writeText("/proc/self/gid_map", "0 " + gid + " 1"))
        _exit(101);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0,
              QByteArray("size=" + QByteArray::number(kilobytes) + "k").constData()) != 0)
        _exit(102);
    const QString url = disk + "/r.mp4";
    RecordingResult result;
    {
        RecordingFileWriter writer(url, frameSize, codecOnly(RecordingCodec::h264));
        const int frames = record(writer, [&](int k) { return k >= 3000 || QFileInfo(url).size() >= bytes; });
        result = finished(writer, frames / 30.0);
    }
    QFile::copy(result.url, dir.filePath("out.mp4"));
    writeText(dir.filePath("sentence.txt"), result.error ? result.error->errorDescription().toUtf8() : QByteArray());
    _exit(result.url == url ? 0 : 1);
}

} // namespace

TEST(RecordingSafety, ASmallOrFullDiskKeepsAPlayableRecording)
{
    struct Case {
        int kilobytes;
        qint64 bytes;       // recorded before the stop
        const char* sentence; // the failure reported with the file
        int minimumFrames;
    };
    for (const Case& c : {Case{96, 1 << 30, "Не удалось записать кадр. Проверьте свободное место на диске.", 20},
                          Case{1024, 600 * 1024, "", 300}}) {
        SCOPED_TRACE(c.kilobytes);
        QTemporaryDir dir;
        ASSERT_EQ(recordOnSmallDisk(dir, c.kilobytes, c.bytes), 0) << "the recording was removed";
        QFile sentence(dir.filePath("sentence.txt"));
        ASSERT_TRUE(sentence.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromUtf8(sentence.readAll()), QString::fromUtf8(c.sentence));
        const QString out = dir.filePath("out.mp4");
        const QJsonArray streams = probe(out, {"-count_frames", "-show_streams"})["streams"].toArray();
        ASSERT_EQ(streams.size(), 1);
        EXPECT_GE(streams[0].toObject()["nb_read_frames"].toString().toInt(), c.minimumFrames);
        QProcess decoder;
        decoder.start("ffmpeg", {"-v", "error", "-i", out, "-f", "null", "-"});
        ASSERT_TRUE(decoder.waitForFinished(60000));
        EXPECT_EQ(decoder.readAllStandardError().toStdString(), "");
    }
}

TEST(RecordingSafety, ARestartRecoversCrashedRecordingsAndRemovesWhatACrashLeft)
{
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath("cache")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath("runtime")));
    // A series the crashed run prepared: a chat may still read the files pasted from it.
    const QString clipboard = home.filePath("cache/tarnwick/Tarnwick-Clipboard");
    QDir().mkpath(clipboard + "/crashed");
    const QString root = home.filePath("cache/tarnwick");
    const QString saveFolder = home.filePath("Видео");
    QDir().mkpath(saveFolder);
    const auto folder = [&](const char* name) {
        QDir().mkpath(root + "/Tarnwick-video-" + name);
        return root + "/Tarnwick-video-" + name + "/Recording.mp4";
    };
    {
        // Dropped unfinished, the writer leaves its file as a crash would.
        RecordingFileWriter crashed(folder("A"), frameSize, codecOnly(RecordingCodec::h264));
        record(crashed, [](int k) { return k >= 90; });
    }
    ASSERT_TRUE(writeText(folder("B"), "not a video"));
    folder("C");
    QLockFile live(root + "/Tarnwick-video-C/" + recording::workingFolderLock);
    ASSERT_TRUE(live.tryLock(0));

    QSettings settings(home.filePath("settings.ini"), QSettings::IniFormat);
    settings.setValue("recordingSaveDirectory", saveFolder);
    QString status;
    recoverCrashedRuns(&settings, [&](const QString& sentence) { status = sentence; });
    EXPECT_EQ(QDir(clipboard).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"crashed"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !status.isEmpty(); }, 30000));

    const QStringList saved = QDir(saveFolder).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(QRegularExpression(R"(^Tarnwick \d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d \(восстановлено\)\.mp4$)")
                    .match(saved[0])
                    .hasMatch())
        << saved[0].toStdString();
    EXPECT_EQ(status, "Запись после сбоя восстановлена в папку «Видео»");
    EXPECT_GE(probe(QDir(saveFolder).filePath(saved[0]))["format"].toObject()["duration"].toString().toDouble(), 1.5);
    EXPECT_EQ(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot), (QStringList{"Tarnwick-Clipboard", "Tarnwick-video-C"}))
        << "the crashed and the unreadable folders are gone, the live session's stays";
}

TEST(RecordingSafety, AHevcTrimKeepsHvc1AndCopiesThePackets)
{
    QTemporaryDir dir;
    RecordingFileWriter writer(dir.filePath("h.mp4"), frameSize, codecOnly(RecordingCodec::hevc));
    record(writer, [](int k) { return k >= 90; });
    const RecordingResult result = finished(writer, 3.0);
    ASSERT_FALSE(result.url.isEmpty());
    const QString cut = dir.filePath("cut.mp4");
    review::RecordingExport::prepare(result.url, {3.0, 1.0, 2.5}, cut);
    for (const QString& file : {result.url, cut}) {
        const QJsonObject video = probe(file)["streams"].toArray()[0].toObject();
        EXPECT_EQ(video["codec_name"].toString() + ' ' + video["codec_tag_string"].toString(), "hevc hvc1") << file.toStdString();
    }
    const QSet<QByteArray> copied = packetHashes(cut);
    EXPECT_GE(copied.size(), 45);
    EXPECT_TRUE(packetHashes(result.url).contains(copied)) << "packets copied byte for byte";
}
