#include "RecordingTestSupport.h"
#include "SmallDisk.h"
#include "recording/ScreenRecordingController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

namespace {

const char* const diskVariable = "TARNWICK_TEST_FULL_DISK";

// A full-screen picture that changes all the time, so the encoder writes steadily.
class Busy : public ScreenPicture {
public:
    Busy()
        : ScreenPicture(
              [frame = 0](QPainter& painter, const QRect& rect) mutable {
                  painter.fillRect(rect, QColor::fromHsv(int(++frame * 7 % 360), 200, 160));
                  for (int i = 0; i < 40; ++i)
                      painter.fillRect((frame * 13 + i * 97) % rect.width(), (i * 53) % rect.height(), 120, 80,
                                       QColor::fromHsv(i * 9, 255, 255));
              },
              15)
    {
    }
};

// A full-screen picture that never changes: the recorder only repeats its last frame.
class Still : public ScreenPicture {
public:
    Still()
        : ScreenPicture([](QPainter& painter, const QRect& rect) {
              painter.fillRect(rect, QColor(40, 90, 140));
              for (int i = 0; i < 40; ++i)
                  painter.fillRect((i * 97) % rect.width(), (i * 53) % rect.height(), 120, 80,
                                   QColor::fromHsv(i * 9, 255, 255));
          })
    {
    }
};

// Fills the file system of `path` with one file; done when a write finds no room.
void fill(const QString& path)
{
    QFile filler(path);
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(64 * 1024, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
}

// Records on the small disk at `disk` until at least a second of video, 20 pictures, has reached
// it, then fills the disk: the session ends by itself, not when the user stops, with the reason,
// and what reached the disk plays. `area`: the part of the screen recorded, the whole when empty.
void recordUntilTheDiskIsFull(const QString& disk, const QRectF& area)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    settings.setValue("recordingCodec", "h264");
    settings.setValue("recordingSaveDirectory", disk + "/saved");
    settings.setValue("recordingEntireDisplay", area.isEmpty());
    QDir().mkpath(disk + "/saved");
    RecordingServices services = RecordingServices::system();
    services.temporaryRoot = disk + "/cache";
    services.selectArea = selectsAt(area);
    ScreenRecordingController controller(&settings, [] { return true; }, services);
    RecordingUIModel& model = controller.model();
    controller.present();
    model.startAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::recording; }, 30000))
        << model.message().value_or("").toStdString();
    // As much as the disk has, not as long as a clock ran: a loaded machine encodes later.
    const QStringList folders = QDir(disk + "/cache").entryList({"Tarnwick-video-*"}, QDir::Dirs);
    ASSERT_EQ(folders.size(), 1);
    const QString recording = disk + "/cache/" + folders.first() + "/Recording.mp4";
    WrittenVideo before;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            before = writtenVideo(recording);
            return before.frames >= 20 && before.seconds >= 1.0;
        },
        120000))
        << before.frames << " pictures, " << before.seconds << " s on the disk";
    ASSERT_EQ(model.phase(), RecordingPhase::recording);

    fill(disk + "/cache/filler");
    // The next fragment, at most half a second of video later, is the write that fails.
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() != RecordingPhase::recording; }, 20000))
        << "the recording goes on over a full disk";
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::review; }, 30000));
    const QString message = model.message().value_or("");
    EXPECT_TRUE(message.startsWith("Запись прервана: Не удалось записать кадр. Проверьте свободное место на диске"))
        << message.toStdString();

    const QString file = model.videoSource().value_or("");
    EXPECT_TRUE(file.startsWith(disk + "/saved/")) << file.toStdString();
    const WrittenVideo kept = writtenVideo(file);
    EXPECT_GE(kept.seconds, before.seconds - 1e-6);
    EXPECT_GE(probe(file)["format"].toObject()["duration"].toString().toDouble(), 1.0);
    // Every frame decodes (ffprobe decodes them to count): the grab's frames under load are not
    // evenly spaced, which ffmpeg's own muxer would report, though the file plays.
    const FrameCounts decoded = countFrames(file);
    EXPECT_EQ(decoded.errors, "");
    ASSERT_FALSE(decoded.counts.isEmpty());
    EXPECT_GE(decoded.counts[0].toInt(), before.frames) << "frames";
}

// The small disk in the child. The parent runs the test again in a child on a small disk and
// gets an empty path: it has nothing left to do.
QString diskOfTheChild()
{
    if (QString disk = qEnvironmentVariable(diskVariable); !disk.isEmpty())
        return disk;
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("disk"));
    EXPECT_EQ(runTestOnSmallDisk(dir, dir.filePath("disk"), 24 * 1024, diskVariable), 0)
        << "the run on the small disk failed " << refusalIn(dir).toStdString();
    return {};
}

} // namespace

// The cache folder fills up in the middle of a recording: the session ends at once, not when
// the user stops, with the reason, and what reached the disk plays.
TEST(RecordingSafety, AFullDiskEndsTheSessionAtOnceAndKeepsWhatWasWritten)
{
    const QString disk = diskOfTheChild();
    if (disk.isEmpty())
        return;
    Busy busy;
    busy.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&busy));
    recordUntilTheDiskIsFull(disk, {});
}

// A still screen gives the encoder a frame only now and then, and none at all once it has
// failed: the full disk must still end the session.
TEST(RecordingSafety, AFullDiskEndsTheRecordingOfAStillScreenToo)
{
    const QString disk = diskOfTheChild();
    if (disk.isEmpty())
        return;
    Still still;
    still.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&still));
    // Away from the stop control, whose clock changes every second.
    recordUntilTheDiskIsFull(disk, QRectF(200, 150, 480, 320));
}
