// A recording session's files where the disk fills or the program is ended: a save ends the
// session and leaves nothing to recover, a trim says the disk's reason, a working folder whose
// lock cannot be taken starts nothing, and a pipe in the recording's place is never waited on.
#include "RecordingTestSupport.h"
#include "SmallDisk.h"
#include "recording/RecordingBlurPreview.h"
#include "recording/RecordingRecovery.h"
#include "recording/review/RecordingExport.h"
#include "support/PipeWatch.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

namespace {

const char* const diskVariable = "TARNWICK_TEST_SESSION_DISK";

const QString testPicture = "testsrc=size=320x240:rate=30:duration=2";

// A real recording of two seconds of `picture` (a filter of FFmpeg's), as FFmpeg's own tools make
// one; empty when it failed.
QString sampleRecording(const QString& file, const QString& picture = testPicture)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", picture, "-c:v",
                            "libx264", "-movflags", "frag_keyframe+empty_moov+default_base_moof", file});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 ? file : QString();
}

// Our engine's stand-in: it starts at once; stopped, it leaves `sample` as the recording, with
// `failure` when the recording ended with one.
struct SampleEngine : RecordingEngine {
    QString sample;
    std::optional<TarnwickError> failure;
    QString url;
    void start(const platform::Monitor&, const QRectF&, const QRectF&, double, const RecordingOptions&, const QString& u) override
    {
        url = u;
    }
    RecordingResult stop() override
    {
        QFile::copy(sample, url);
        return {url, failure};
    }
};

// A session on the real exports and installation, recording through a SampleEngine, its files
// under `home`.
struct SampleSession {
    explicit SampleSession(const QString& home)
        : settings(home + "/settings.ini", QSettings::IniFormat), services(RecordingServices::system()), saved(home + "/Saved.mp4")
    {
        settings.setValue("recordingEntireDisplay", false);
        engine->sample = sampleRecording(home + "/sample.mp4");
        services.temporaryRoot = home + "/private";
        services.findDisplay = [](std::uint32_t) { return CaptureDisplay{}; };
        services.makeEngine = [this] { return engine; };
        services.selectArea = selectsAt(QRectF(0, 0, 320, 240));
        services.chooseDestination = [this](QWidget*, const QString&) { return std::optional(saved); };
        services.beep = [] {};
    }
    void open()
    {
        controller = std::make_unique<ScreenRecordingController>(&settings, [] { return true; }, services);
        controller->onDismiss = [this] { dismissed = true; };
        controller->present();
    }
    RecordingUIModel& model() { return controller->model(); }
    // Records and stops; true once the review is open.
    bool recordToReview()
    {
        model().startAction();
        if (!QTest::qWaitFor([&] { return model().phase() == RecordingPhase::recording; }, 30000))
            return false;
        model().stopAction();
        return QTest::qWaitFor([&] { return model().phase() == RecordingPhase::review; }, 60000);
    }
    QStringList workingFolders() { return QDir(services.temporaryRoot).entryList({workingFolderPrefix + "*"}, QDir::Dirs); }
    // Saves from the review: empty once the session has ended with the save, otherwise what the
    // review says.
    QString save()
    {
        model().saveAction();
        if (!QTest::qWaitFor([&] { return dismissed || model().phase() == RecordingPhase::review; }, 60000))
            return "<still saving>";
        return dismissed ? QString() : model().message().value_or("<nothing said>");
    }

    QSettings settings;
    RecordingServices services;
    const QString saved;
    std::shared_ptr<SampleEngine> engine = std::make_shared<SampleEngine>();
    std::unique_ptr<ScreenRecordingController> controller;
    bool dismissed = false;
};

// Runs the running test again in a child on a small disk; true in that child, with `disk` set.
// In the parent the test is skipped when the system refuses the namespaces.
bool inChildOnSmallDisk(int kilobytes, QString& disk)
{
    if (disk = qEnvironmentVariable(diskVariable); !disk.isEmpty())
        return true;
    QTemporaryDir parent;
    const int status = runTestOnSmallDisk(parent, parent.filePath("disk"), kilobytes, diskVariable);
    if (status == namespaceRefused)
        [&] { GTEST_SKIP() << "no user and mount namespaces for a small disk: " << refusalIn(parent).toStdString(); }();
    else
        EXPECT_EQ(status, 0) << "the run on the small disk failed";
    return false;
}

} // namespace

// The disk of the save folder fills during the recording: it stops, and the recording cannot be
// moved there, so it stays in its working folder. The user saves it from the review into a
// folder with room. That save ends it: no prepared copy is left in the system's temporary folder,
// the working folder goes, and the next start recovers nothing.
TEST(RecordingSaveSafety, ASaveFromTheReviewAfterAFailedMoveIsNotRecoveredAgain)
{
    QString disk;
    if (!inChildOnSmallDisk(512, disk))
        return;
    QTemporaryDir home;
    const QString temporary = home.filePath("tmp");
    QDir().mkpath(temporary);
    qputenv("TMPDIR", QFile::encodeName(temporary));
    SampleSession s(home.path());
    ASSERT_FALSE(s.engine->sample.isEmpty()) << "ffmpeg failed";
    s.settings.setValue("recordingSaveDirectory", disk);
    s.engine->failure = TarnwickError("На диске нет места.");
    ASSERT_TRUE(leaveFree(disk, 0));
    s.open();
    ASSERT_TRUE(s.recordToReview()) << s.model().message().value_or("").toStdString();
    ASSERT_EQ(s.workingFolders().size(), 1);
    EXPECT_EQ(s.model().message(), "Запись прервана: На диске нет места. Записанное сохранено в «" + s.engine->url + "».");

    s.model().saveAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.dismissed; }, 60000)) << s.model().message().value_or("").toStdString();
    EXPECT_EQ(countFrames(s.saved).counts.value(0).toInt(), 60);
    EXPECT_EQ(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{})
        << "a prepared copy went to the shared temporary folder";
    EXPECT_EQ(s.workingFolders(), QStringList{});
    const QString videos = home.filePath("Видео");
    EXPECT_EQ(recoverRecordings({s.services.temporaryRoot}, videos), QString());
    EXPECT_FALSE(QDir(videos).exists() && !QDir(videos).isEmpty());
    qunsetenv("TMPDIR");
}

// The session ends by a signal (a logout) while a blurred save is under way: the save goes on to
// its end, the program's end waits for it, and what it saved is not recovered a second time.
TEST(RecordingSaveSafety, ASignalDuringABlurredSaveRecoversNothingTwice)
{
    QTemporaryDir home;
    SampleSession s(home.path());
    ASSERT_FALSE(s.engine->sample.isEmpty()) << "ffmpeg failed";
    std::promise<void> release;
    std::atomic<bool> exporting{false};
    s.services.exportBlurred = [&, future = release.get_future().share()](const QString& source, const review::RecordingTrim& trim,
                                                                          const std::vector<review::VideoBlurRegion>&,
                                                                          const QString& prepared) {
        exporting = true;
        future.wait();
        review::RecordingExport::prepare(source, trim, prepared);
    };
    s.open();
    ASSERT_TRUE(s.recordToReview()) << s.model().message().value_or("").toStdString();
    review::VideoBlurRegion region;
    region.start = 0;
    region.end = 1;
    s.model().setBlurRegions({region});
    s.model().saveAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return exporting.load(); }, 30000));
    ASSERT_EQ(s.model().phase(), RecordingPhase::exporting);

    // What the shell does when a signal ends the loop; the export is let go meanwhile.
    std::thread letGo([&] { release.set_value(); });
    s.controller->keepForRecovery();
    letGo.join();
    EXPECT_EQ(countFrames(s.saved).counts.value(0).toInt(), 60);
    EXPECT_EQ(s.workingFolders(), QStringList{});
    EXPECT_EQ(s.settings.value("recordingSaveDirectory").toString(), home.path());
    const QString videos = home.filePath("Видео");
    EXPECT_EQ(recoverRecordings({s.services.temporaryRoot}, videos), QString());
    EXPECT_FALSE(QDir(videos).exists() && !QDir(videos).isEmpty());
}

// A full working disk takes the folder but not the few bytes of its lock: unlocked, another
// instance's recovery would take the recording from under the capture. Nothing starts, and why
// is said.
TEST(RecordingSaveSafety, AWorkingFolderWhoseLockCannotBeTakenStartsNothing)
{
    QString disk;
    if (!inChildOnSmallDisk(256, disk))
        return;
    QTemporaryDir home;
    SampleSession s(home.path());
    s.services.temporaryRoot = disk + "/private";
    QDir().mkpath(s.services.temporaryRoot);
    ASSERT_TRUE(leaveFree(disk, 0));
    s.open();
    s.model().startAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.model().message().has_value(); }, 30000)) << "nothing said";
    EXPECT_EQ(s.model().message(), "Не удалось начать запись: на диске нет места.");
    EXPECT_EQ(s.model().phase(), RecordingPhase::setup);
    EXPECT_TRUE(s.engine->url.isEmpty()) << "the capture started";
    EXPECT_EQ(s.workingFolders(), QStringList{});
}

// A trim onto a full working disk says which disk failed and why, as every file write does.
TEST(RecordingSaveSafety, ATrimOntoAFullDiskSaysTheDisksReason)
{
    QTemporaryDir dir;
    const QString source = sampleRecording(dir.filePath("source.mp4"));
    ASSERT_FALSE(source.isEmpty()) << "ffmpeg failed";
    const QString disk = dir.filePath("disk");
    const int status = onSmallDisk(dir, disk, 64, [&] {
        leaveFree(disk, 0);
        QString said;
        try {
            review::RecordingExport::prepare(source, {2, 0.5, 2}, disk + "/Export.mp4");
        } catch (const TarnwickError& error) {
            said = error.errorDescription();
        }
        QFile out(dir.filePath("said.txt"));
        return out.open(QIODevice::WriteOnly) && out.write(said.toUtf8()) >= 0 ? 0 : 1;
    });
    if (status == namespaceRefused)
        GTEST_SKIP() << "no user and mount namespaces for a small disk: " << refusalIn(dir).toStdString();
    ASSERT_EQ(status, 0);
    QFile said(dir.filePath("said.txt"));
    ASSERT_TRUE(said.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(said.readAll()), "Не удалось обрезать видео: на диске нет места. Исходная запись сохранена.");
}

namespace {

QStringList hiddenIn(const QString& folder)
{
    return QDir(folder).entryList({".Tarnwick-*"}, QDir::AllEntries | QDir::Hidden | QDir::System);
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The working disk filled up and cut the recording short; the save folder is on a disk mounted
// read-only, so the recording stayed in its working folder. A save from the review onto the
// read-only disk, or into a folder that went away, says why it failed and loses nothing; one onto
// another disk works, however full the working disk is, since the copy is prepared beside its
// destination.
TEST(RecordingSaveSafety, ASaveFromTheReviewOntoAnotherDiskWorksWhileTheWorkingDiskIsFull)
{
    QString disk;
    if (!inChildOnSmallDisk(2048, disk))
        return;
    QTemporaryDir home;
    const QString closed = home.filePath("closed");
    ASSERT_TRUE(QDir().mkpath(closed));
    ASSERT_EQ(::mount("tmpfs", QFile::encodeName(closed).constData(), "tmpfs", MS_RDONLY, "size=64k"), 0) << strerror(errno);
    SampleSession s(home.path());
    ASSERT_FALSE(s.engine->sample.isEmpty()) << "ffmpeg failed";
    s.services.temporaryRoot = disk + "/private";
    s.settings.setValue("recordingSaveDirectory", closed);
    s.engine->failure = TarnwickError("На диске нет места.");
    QString destination = closed + "/Saved.mp4";
    s.services.chooseDestination = [&](QWidget*, const QString&) { return std::optional(destination); };
    s.open();
    ASSERT_TRUE(s.recordToReview()) << s.model().message().value_or("").toStdString();
    ASSERT_TRUE(s.engine->url.startsWith(disk)) << "the recording stayed in its working folder";
    const QByteArray recorded = bytesOf(s.engine->url);
    ASSERT_EQ(recorded, bytesOf(s.engine->sample));
    ASSERT_TRUE(leaveFree(disk, 0));

    EXPECT_EQ(s.save(), "Не удалось сохранить: Не удалось записать файл в выбранную папку: диск только для чтения. "
                        "Запись осталась открытой.");
    EXPECT_EQ(bytesOf(s.engine->url), recorded) << "the recording was touched";
    EXPECT_EQ(QDir(closed).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
    // A folder that went away after it was chosen.
    destination = home.filePath("gone/Saved.mp4");
    EXPECT_EQ(s.save(), "Не удалось сохранить: Не удалось записать файл в выбранную папку: папка не найдена. "
                        "Запись осталась открытой.");
    EXPECT_EQ(bytesOf(s.engine->url), recorded);

    destination = home.filePath("Saved.mp4");
    ASSERT_EQ(s.save(), QString());
    EXPECT_EQ(bytesOf(destination), recorded) << "an untrimmed save is the recording as it is";
    EXPECT_EQ(hiddenIn(home.path()), QStringList{});
    EXPECT_EQ(s.workingFolders(), QStringList{});
}

// The usual layout: the working folder and the save folder on one disk. With less room than a
// copy takes, the save says why; with room for one more copy of the recording but not two, an
// untrimmed, unblurred save, which copies the recording once, straight beside its destination, fits.
TEST(RecordingSaveSafety, AnUntrimmedSaveCopiesTheRecordingOnce)
{
    QString disk;
    if (!inChildOnSmallDisk(2048, disk))
        return;
    QTemporaryDir home;
    SampleSession s(home.path());
    // Noise: a recording too big to take for a few pages more or less.
    s.engine->sample = sampleRecording(home.filePath("noisy.mp4"), testPicture + ",noise=alls=40:allf=t");
    ASSERT_FALSE(s.engine->sample.isEmpty()) << "ffmpeg failed";
    s.services.temporaryRoot = disk + "/private";
    const QString destination = disk + "/Видео/Saved.mp4";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(destination).path()));
    s.services.chooseDestination = [&](QWidget*, const QString&) { return std::optional(destination); };
    s.open();
    ASSERT_TRUE(s.recordToReview()) << s.model().message().value_or("").toStdString();
    const qint64 size = QFileInfo(s.engine->url).size();
    ASSERT_GT(size, 64 * 1024) << "too small to tell one copy from two";
    // Less room than one copy takes: the destination's disk says why, and nothing is left there.
    ASSERT_TRUE(leaveFree(disk, (size / 4096 - 4) * 4096));
    EXPECT_EQ(s.save(), "Не удалось сохранить: Не удалось записать файл в выбранную папку: на диске нет места. "
                        "Запись осталась открытой.");
    EXPECT_EQ(QDir(QFileInfo(destination).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{});
    ASSERT_TRUE(QFile::remove(disk + "/filler"));
    ASSERT_TRUE(leaveFree(disk, (size / 4096 + 4) * 4096));
    ASSERT_EQ(s.save(), QString());
    EXPECT_EQ(bytesOf(destination), bytesOf(s.engine->sample));
    EXPECT_EQ(hiddenIn(QFileInfo(destination).path()), QStringList{});
    EXPECT_EQ(s.workingFolders(), QStringList{});
}

namespace {

// Leaves a link to `pipe`, a named pipe, as the recording.
struct PipeEngine : SampleEngine {
    QString pipe;
    RecordingResult stop() override
    {
        QFile::link(pipe, url);
        return {url, std::nullopt};
    }
};

// Whether `part` waited on one of `pipes`; it is let go after a while, so a fault fails the test.
template <class Part>
bool waitsOn(const QStringList& pipes, Part part)
{
    PipeWatch watch(pipes);
    part();
    return watch.stop();
}

QString refusal(const QString& file)
{
    return "Не удалось прочитать файл «" + QFileInfo(file).fileName() + "»: это не файл.";
}

} // namespace

// A named pipe in the recording's place, or a link to one: FFmpeg would wait in open() for a
// writer, the program with it, since the picture and the sound open the file on the GUI thread and
// the program's end waits for the thumbnails. Each of them refuses it at once, and the review
// names the file.
TEST(RecordingSaveSafety, APipeInTheRecordingsPlaceIsRefusedAtOnceByTheReviewsReaders)
{
    QTemporaryDir home;
    const QString pipe = home.filePath("pipe.mp4");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // Left as the recording when it stops: the review opens on the link.
    ASSERT_FALSE(waitsOn({pipe}, [&] {
        QDir().mkpath(home.filePath("linked"));
        SampleSession s(home.filePath("linked"));
        auto engine = std::make_shared<PipeEngine>();
        engine->pipe = pipe;
        s.engine = engine;
        s.open();
        ASSERT_TRUE(s.recordToReview());
        EXPECT_EQ(s.model().message(),
                  "Предпросмотр недоступен: " + refusal(engine->url).chopped(1) + ". Можно сохранить исходный MP4.");
    })) << "the picture or the thumbnails waited on the pipe";

    // Each of the picture and the thumbnails met first.
    ASSERT_FALSE(waitsOn({pipe}, [&] {
        const QString link = home.filePath("Recording.mp4");
        ASSERT_TRUE(QFile::link(pipe, link));
        recording::RecordingUIModel model(nullptr);
        recording::RecordingReview review(model);
        model.setPhase(recording::RecordingPhase::review);
        model.setCanTrim(true);
        model.setTrim({2, 0, 2});
        model.setVideoSource(link);
        review.player().setSource(link);
        EXPECT_EQ(model.message(), refusal(link)) << "the picture";
        model.setMessage(std::nullopt);
        recording::RecordingBlurPreview preview(review);
        preview.show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return model.message().has_value(); }, 30000)) << "nothing said";
        EXPECT_EQ(model.message(), refusal(link)) << "the thumbnails";
    })) << "the picture or the thumbnails waited on the pipe";

    // Put in the recording's place while the review shows it: the sound opens it to play.
    SampleSession s(home.path());
    ASSERT_FALSE(s.engine->sample.isEmpty()) << "ffmpeg failed";
    s.open();
    ASSERT_TRUE(s.recordToReview()) << s.model().message().value_or("").toStdString();
    const QString recording = s.engine->url;
    ASSERT_TRUE(QFile::remove(recording));
    ASSERT_EQ(::mkfifo(QFile::encodeName(recording).constData(), 0600), 0);
    EXPECT_FALSE(waitsOn({recording}, [&] {
        s.controller->review().playSelection();
        EXPECT_TRUE(QTest::qWaitFor([&] { return s.model().message().has_value(); }, 30000)) << "nothing said";
        EXPECT_EQ(s.model().message(), refusal(recording));
        s.controller.reset();
    })) << "the sound waited on the pipe";
}
