#include "RecordingTestSupport.h"
#include "SmallDisk.h"
#include "app/SessionFiles.h"
#include "recording/RecordingRecovery.h"
#include "recording/review/MediaFiles.h"
#include "recording/review/RecordingExport.h"

#include <QDir>
#include <QtEndian>
#include <QFile>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <map>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
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

// Fills the file system of `folder` to the last byte.
void fill(const QString& folder)
{
    QFile filler(folder + "/filler");
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size()) {
    }
    while (filler.write(block.left(1)) == 1) {
    }
}

// In the namespaces of onSmallDisk, records onto a tmpfs of `kilobytes` until the file has
// `bytes`, finishes, and leaves the result as out.mp4 and its sentence as
// sentence.txt in `dir`. The exit status is 0 when a file was left.
int recordOnSmallDisk(const QTemporaryDir& dir, int kilobytes, qint64 bytes)
{
    const QString disk = dir.filePath("disk");
    return onSmallDisk(dir, disk, kilobytes, [&] {
        const QString url = disk + "/r.mp4";
        RecordingResult result;
        {
            RecordingFileWriter writer(url, frameSize, codecOnly(RecordingCodec::h264));
            const int frames = record(writer, [&](int k) { return k >= 3000 || QFileInfo(url).size() >= bytes; });
            result = finished(writer, frames / 30.0);
        }
        QFile::copy(result.url, dir.filePath("out.mp4"));
        writeText(dir.filePath("sentence.txt"), result.error ? result.error->errorDescription().toUtf8() : QByteArray());
        return result.url == url ? 0 : 1;
    });
}

mode_t modeOf(const QString& path)
{
    struct stat s {};
    return ::stat(QFile::encodeName(path).constData(), &s) == 0 ? s.st_mode & 0777 : 0;
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
        const int status = recordOnSmallDisk(dir, c.kilobytes, c.bytes);
        if (status == namespaceRefused)
            GTEST_SKIP() << "no user and mount namespaces for a small disk: " << refusalIn(dir).toStdString();
        ASSERT_EQ(status, 0) << "the recording was removed";
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
    EXPECT_EQ(status, "Запись после сбоя восстановлена в папку «Видео». Запись после сбоя не удалось восстановить, "
                      "она осталась в «" + root + "/Tarnwick-video-B»");
    EXPECT_GE(probe(QDir(saveFolder).filePath(saved[0]))["format"].toObject()["duration"].toString().toDouble(), 1.5);
    EXPECT_EQ(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{"Tarnwick-Clipboard", "Tarnwick-video-B", "Tarnwick-video-C"}))
        << "the recovered folder is gone, the unreadable one and the live session's stay";
}

// What a crash left is read, never written through: a link in a working folder, where the
// finished copy goes or where the recording was, points at a file of the user's.
TEST(RecordingSafety, RecoveryNeverWritesThroughOrMovesALinkLeftInAWorkingFolder)
{
    QTemporaryDir home;
    const QString root = home.filePath("cache"), videos = home.filePath("Видео");
    QDir().mkpath(root + "/Tarnwick-video-A");
    QDir().mkpath(root + "/Tarnwick-video-B");
    {
        RecordingFileWriter crashed(root + "/Tarnwick-video-A/Recording.mp4", frameSize, codecOnly(RecordingCodec::h264));
        record(crashed, [](int k) { return k >= 90; });
    }
    const QString notes = home.filePath("notes.txt"), film = home.filePath("film.mp4");
    ASSERT_TRUE(writeText(notes, "the user's own notes"));
    ASSERT_TRUE(QFile::copy(root + "/Tarnwick-video-A/Recording.mp4", film));
    QFile filmFile(film);
    ASSERT_TRUE(filmFile.open(QIODevice::ReadOnly));
    const QByteArray filmBytes = filmFile.readAll();
    for (const QString& file : {notes, film})
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(notes, root + "/Tarnwick-video-A/Recovered.mp4"));
    ASSERT_TRUE(QFile::link(film, root + "/Tarnwick-video-B/Recording.mp4"));

    const QString sentence = recording::recoverRecordings({root}, videos);

    QFile notesFile(notes);
    ASSERT_TRUE(notesFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(notesFile.readAll(), "the user's own notes");
    filmFile.seek(0);
    EXPECT_TRUE(filmFile.readAll() == filmBytes) << "the linked recording was changed";
    for (const QString& file : {notes, film})
        EXPECT_EQ(modeOf(file), 0640u) << file.toStdString();
    const QFileInfoList saved = QDir(videos).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    ASSERT_EQ(saved.size(), 1) << sentence.toStdString();
    EXPECT_FALSE(saved[0].isSymLink()) << "a link was moved into the videos folder";
    const FrameCounts frames = countFrames(saved[0].filePath());
    EXPECT_EQ(frames.errors, "");
    EXPECT_GE(frames.counts.value(0).toInt(), 60);
    // The link in place of the recording is left where it was, as a recording that cannot be read.
    EXPECT_EQ(sentence, "Запись после сбоя восстановлена в папку «Видео». Запись после сбоя не удалось восстановить, "
                        "она осталась в «" + root + "/Tarnwick-video-B»");
    EXPECT_TRUE(QFileInfo(root + "/Tarnwick-video-B/Recording.mp4").isSymLink());
}

// A crash may leave a recording nothing can be read from: its header damaged, or the header
// alone with the first frame torn. Nothing is "recovered" that does not play; the folder stays
// for the user to look into, and the status line says so once, not at every start.
TEST(RecordingSafety, ARecordingThatCannotBeRecoveredStaysWhereItIsAndIsNamedOnce)
{
    QTemporaryDir home;
    const QString root = home.filePath("cache"), videos = home.filePath("Видео");
    const QString crashed = home.filePath("crashed.mp4");
    {
        RecordingFileWriter writer(crashed, frameSize, codecOnly(RecordingCodec::h264));
        record(writer, [](int k) { return k >= 90; });
    }
    QFile source(crashed);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray whole = source.readAll();
    QByteArray damagedHeader = whole;
    damagedHeader.replace(0, 64, QByteArray(64, '\xff'));
    const QByteArray headerOnly = whole.left(1200);
    // The header whole, the first fragment's frames cut in the middle.
    const qsizetype media = whole.indexOf("mdat") - 4;
    ASSERT_TRUE(media > 0 && media < 1200);
    ASSERT_GT(media + qFromBigEndian<quint32>(whole.constData() + media), 1200);
    const std::map<QString, QByteArray> left{{"damaged", damagedHeader}, {"torn", headerOnly}, {"empty", {}}};
    for (const auto& [name, bytes] : left) {
        QDir().mkpath(root + "/Tarnwick-video-" + name);
        ASSERT_TRUE(writeText(root + "/Tarnwick-video-" + name + "/Recording.mp4", bytes));
    }
    QDir().mkpath(root + "/Tarnwick-video-nothing"); // a crash before the first byte

    EXPECT_EQ(recording::recoverRecordings({root}, videos),
              "Записи после сбоя (2) не удалось восстановить, они остались в «" + root + "»");
    EXPECT_EQ(QDir(videos).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{}) << "an unplayable file was saved";
    EXPECT_EQ(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{"Tarnwick-video-damaged", "Tarnwick-video-torn"}))
        << "what holds nothing recorded goes, what cannot be read stays";
    for (const char* name : {"damaged", "torn"}) {
        QFile kept(root + "/Tarnwick-video-" + name + "/Recording.mp4");
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << name;
        EXPECT_TRUE(kept.readAll() == left.at(name)) << name << ": the recording was changed";
    }

    // The next start has nothing to say, and loads no recorder for these folders.
    EXPECT_FALSE(recording::hasWorkingFolders({root}));
    EXPECT_EQ(recording::recoverRecordings({root}, videos), "");
    EXPECT_EQ(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
    // A new crash beside them, torn within a later fragment's frames, is recovered up to the
    // tear and plays without an error; only it is named.
    QDir().mkpath(root + "/Tarnwick-video-whole");
    ASSERT_TRUE(writeText(root + "/Tarnwick-video-whole/Recording.mp4", whole.left(whole.size() * 2 / 3)));
    EXPECT_TRUE(recording::hasWorkingFolders({root}));
    EXPECT_EQ(recording::recoverRecordings({root}, videos), "Запись после сбоя восстановлена в папку «Видео»");
    const QStringList saved = QDir(videos).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    const FrameCounts frames = countFrames(QDir(videos).filePath(saved[0]));
    EXPECT_EQ(frames.errors, "");
    EXPECT_GE(frames.counts.value(0).toInt(), 30);
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

TEST(RecordingSafety, ACrashedRecordingStaysWhereItIsWhileTheSaveFolderIsFullAndComesBackAtTheNextStart)
{
    QTemporaryDir home;
    const QString root = home.filePath("cache"), working = root + "/Tarnwick-video-A";
    QDir().mkpath(working);
    {
        RecordingFileWriter crashed(working + "/Recording.mp4", frameSize, codecOnly(RecordingCodec::h264));
        record(crashed, [](int k) { return k >= 90; });
    }
    // The working folder has room for the finished copy; the save folder, on another disk, has none.
    const QString full = home.filePath("full");
    const int status = onSmallDisk(home, full, 256, [&] {
        fill(full);
        return writeText(home.filePath("sentence.txt"), recording::recoverRecordings({root}, full).toUtf8()) ? 0 : 1;
    });
    if (status == namespaceRefused)
        GTEST_SKIP() << "no user and mount namespaces for a full disk: " << refusalIn(home).toStdString();
    ASSERT_EQ(status, 0);
    QFile sentence(home.filePath("sentence.txt"));
    ASSERT_TRUE(sentence.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(sentence.readAll()), "Запись после сбоя осталась в «" + working + "/Recovered.mp4»");
    EXPECT_TRUE(QFileInfo::exists(working + "/Recording.mp4")) << "the only copy of the recording was removed";

    const QString saveFolder = home.filePath("Видео");
    EXPECT_EQ(recording::recoverRecordings({root}, saveFolder), "Запись после сбоя восстановлена в папку «Видео»");
    const QStringList saved = QDir(saveFolder).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_GE(probe(QDir(saveFolder).filePath(saved[0]))["format"].toObject()["duration"].toString().toDouble(), 1.5);
    EXPECT_EQ(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{});
}

TEST(RecordingSafety, ACrashedRecordingOnAFullDiskIsRecoveredWithoutTheIndexFirstCopy)
{
    QTemporaryDir home;
    const QString crashed = home.filePath("Recording.mp4");
    {
        RecordingFileWriter writer(crashed, frameSize, codecOnly(RecordingCodec::h264));
        record(writer, [](int k) { return k >= 90; });
    }
    // The working folder and the save folder share a disk with room for a lock, none for the finished copy.
    const QString full = home.filePath("full");
    const int status = onSmallDisk(home, full, 512, [&] {
        const QString working = full + "/cache/Tarnwick-video-A", saveFolder = full + "/Видео";
        if (!QDir().mkpath(working) || !QDir().mkpath(saveFolder) || !QFile::copy(crashed, working + "/Recording.mp4"))
            return 2;
        fill(full);
        QFile filler(full + "/filler"); // room for the lock of the working folder, none for the copy
        filler.resize(filler.size() - 16384);
        const QString sentence = recording::recoverRecordings({full + "/cache"}, saveFolder);
        const QStringList saved = QDir(saveFolder).entryList(QDir::Files);
        QFile::remove(full + "/filler");
        if (!saved.isEmpty())
            QFile::copy(QDir(saveFolder).filePath(saved[0]), home.filePath("saved.mp4"));
        return writeText(home.filePath("sentence.txt"), sentence.toUtf8()) ? 0 : 1;
    });
    if (status == namespaceRefused)
        GTEST_SKIP() << "no user and mount namespaces for a full disk: " << refusalIn(home).toStdString();
    ASSERT_EQ(status, 0);
    QFile sentence(home.filePath("sentence.txt"));
    ASSERT_TRUE(sentence.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(sentence.readAll()), "Запись после сбоя восстановлена в папку «Видео»");
    ASSERT_TRUE(QFileInfo::exists(home.filePath("saved.mp4"))) << "the recording was given up";
    EXPECT_GE(probe(home.filePath("saved.mp4"))["format"].toObject()["duration"].toString().toDouble(), 1.5);
}

TEST(RecordingSafety, ASavedRecordingFollowsTheUmaskWhileWorkingFilesStayPrivate)
{
    QTemporaryDir dir;
    const QString work = dir.filePath("work"), videos = dir.filePath("Видео");
    QDir().mkpath(work);
    QDir().mkpath(videos);
    struct RestoredUmask {
        mode_t mask;
        ~RestoredUmask() { umask(mask); }
    } const restored{umask(022)};
    RecordingFileWriter writer(work + "/Recording.mp4", frameSize, codecOnly(RecordingCodec::h264));
    record(writer, [](int k) { return k >= 60; });
    const RecordingResult result = finished(writer, 2.0);
    ASSERT_FALSE(result.url.isEmpty());
    const QString trimmed = work + "/Export-trimmed.mp4";
    review::RecordingExport::prepare(result.url, {2.0, 0.5, 1.5}, trimmed);
    for (const QString& file : {result.url, trimmed})
        EXPECT_EQ(modeOf(file), 0600u) << file.toStdString();

    for (const mode_t mask : {022, 027, 077, 002}) {
        SCOPED_TRACE(mask);
        umask(mask);
        const mode_t expected = 0666 & ~mask;
        const QString name = QString("saved-%1.mp4").arg(mask, 0, 8);
        review::RecordingExport::install(trimmed, QDir(videos).filePath(name));
        EXPECT_EQ(modeOf(QDir(videos).filePath(name)), expected) << "saved through the review";
        const QString copy = work + "/Interrupted.mp4";
        ASSERT_TRUE(QFile::copy(result.url, copy));
        const QString moved = recording::moveRecordingTo(copy, videos, "moved.mp4");
        ASSERT_FALSE(moved.isEmpty());
        EXPECT_EQ(modeOf(moved), expected) << "moved there after a failure";
        EXPECT_EQ(modeOf(trimmed), 0600u) << "the working file it was copied from";
    }
}

// A recording moved to a save folder on another disk is copied there. A disk that fills up half
// way through the copy must leave no short file in the folder, and the recording where it was.
TEST(RecordingSafety, ARecordingMovedToAnotherDiskThatFillsUpHalfWayLeavesNoShortFile)
{
    QTemporaryDir home;
    const QString recording = home.filePath("Recording.mp4");
    {
        RecordingFileWriter writer(recording, frameSize, codecOnly(RecordingCodec::h264));
        record(writer, [](int k) { return k >= 90; });
    }
    const qint64 size = QFileInfo(recording).size();
    ASSERT_GT(size, 16 * 1024);
    const QString disk = home.filePath("disk");
    const int status = onSmallDisk(home, disk, 256, [&] {
        const QString videos = disk + "/Видео";
        if (!QDir().mkpath(videos))
            return 2;
        fill(disk);
        QFile filler(disk + "/filler"); // room for half of the recording
        filler.resize(filler.size() - size / 2);
        const QString moved = recording::moveRecordingTo(recording, videos, "moved.mp4");
        const QStringList left = QDir(videos).entryList(QDir::Files | QDir::Hidden);
        return writeText(home.filePath("result.txt"), (moved + u'|' + left.join(u',')).toUtf8()) ? 0 : 1;
    });
    if (status == namespaceRefused)
        GTEST_SKIP() << "no user and mount namespaces for a full disk: " << refusalIn(home).toStdString();
    ASSERT_EQ(status, 0);
    QFile result(home.filePath("result.txt"));
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(result.readAll()), "|") << "moved, or a file left in the save folder";
    EXPECT_EQ(QFileInfo(recording).size(), size) << "the recording was not kept where it was";
}
