#pragma once

#include "recording/RecordingFileWriter.h"
#include "recording/ScreenRecordingController.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <future>
#include <gtest/gtest.h>

namespace tarnwick::test {

// ffprobe's JSON answer for `file` with the given extra arguments.
inline QJsonObject probe(const QString& file, QStringList arguments = {"-show_streams", "-show_format"})
{
    QProcess process;
    process.start("ffprobe", QStringList{"-v", "error", "-of", "json"} + arguments + QStringList{file});
    process.waitForFinished(60000);
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

// What ffprobe says when it decodes every frame of `file` to count them: its errors (empty when
// all decode) and the frames read in each stream.
struct FrameCounts {
    std::string errors;
    QStringList counts;
};
inline FrameCounts countFrames(const QString& file)
{
    QProcess decoder;
    decoder.start("ffprobe",
                  {"-v", "error", "-count_frames", "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", file});
    if (!decoder.waitForFinished(60000))
        return {"ffprobe did not finish", {}};
    return {decoder.readAllStandardError().toStdString(),
            QString::fromUtf8(decoder.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)};
}

// What ffprobe reads of the video of a recording, finished or in progress (its complete
// fragments): the pictures and how far they reach, in seconds.
struct WrittenVideo {
    int frames = 0;
    double seconds = 0;
};
inline WrittenVideo writtenVideo(const QString& file)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "quiet", "-select_streams", "v:0", "-show_entries", "packet=pts_time,duration_time",
                              "-of", "csv=p=0", file});
    WrittenVideo written;
    if (!ffprobe.waitForFinished(60000))
        return written;
    for (const QString& line : QString::fromUtf8(ffprobe.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.trimmed().split(u',');
        bool timed = false;
        const double pts = fields.value(0).toDouble(&timed);
        if (!timed)
            continue;
        ++written.frames;
        written.seconds = std::max(written.seconds, pts + fields.value(1).toDouble());
    }
    return written;
}

// The recording a session under `temporaryRoot` is writing now; empty before its start.
inline QString workingRecording(const QString& temporaryRoot)
{
    QDirIterator found(temporaryRoot, {QStringLiteral("Recording.mp4")}, QDir::Files, QDirIterator::Subdirectories);
    return found.hasNext() ? found.next() : QString();
}

// Waits until the session under `temporaryRoot` has `seconds` of video on the disk, which is
// how a test lets a recording run: by what it wrote, not by a clock.
inline bool waitForRecorded(const QString& temporaryRoot, double seconds, int timeoutMs = 60000)
{
    return QTest::qWaitFor(
        [&] {
            const QString file = workingRecording(temporaryRoot);
            return !file.isEmpty() && writtenVideo(file).seconds >= seconds;
        },
        timeoutMs);
}

// A frame whose content moves with k, so the encoder has real work.
inline QImage movingFrame(QSize size, int k)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(20, 40, 60));
    QPainter painter(&image);
    painter.fillRect(QRect((k * 7) % size.width(), size.height() / 4, size.width() / 4, size.height() / 2), Qt::red);
    return image;
}

inline RecordingResult finished(RecordingFileWriter& writer, double endTime)
{
    std::promise<RecordingResult> result;
    writer.finish(endTime, [&](RecordingResult r) { result.set_value(std::move(r)); });
    return result.get_future().get();
}

// A frameless window over the whole primary screen, painted by `paint`; with `refreshMs`, painted
// again that often, for pictures that change.
class ScreenPicture : public QWidget {
public:
    using Paint = std::function<void(QPainter&, const QRect&)>;

    explicit ScreenPicture(Paint paint, int refreshMs = 0) : paint_(std::move(paint))
    {
        setWindowFlags(Qt::FramelessWindowHint);
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        if (refreshMs > 0) {
            connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
            timer_.start(refreshMs);
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        paint_(painter, rect());
    }

private:
    Paint paint_;
    QTimer timer_;
};

// Chooses `area` of the primary screen as soon as the session asks for it.
inline auto selectsAt(const QRectF& area)
{
    return [area](const QString&, recording::RecordingAreaSelector::Completion completion) {
        QTimer::singleShot(0, [completion, area] {
            completion(recording::AreaSelection{QGuiApplication::primaryScreen(), area});
        });
        return std::shared_ptr<void>();
    };
}

// The settings and services of a session that records `area` with `codec`, its private files and
// its save (`saved`) in a temporary folder.
struct AreaRecording {
    explicit AreaRecording(const QRectF& area, const QString& codec = QStringLiteral("h264"))
        : settings(dir.filePath("settings.ini"), QSettings::IniFormat),
          services(recording::RecordingServices::system()),
          saved(dir.filePath("Saved.mp4"))
    {
        settings.setValue("recordingCodec", codec);
        settings.setValue("recordingEntireDisplay", false);
        services.temporaryRoot = dir.filePath("private");
        services.chooseDestination = [file = saved](QWidget*, const QString&) { return std::optional(file); };
        services.selectArea = selectsAt(area);
    }

    QTemporaryDir dir;
    QSettings settings;
    recording::RecordingServices services;
    const QString saved;
};

// Opens the session, records until `seconds` are in and stops; returns once the review is open.
inline void recordAndStop(recording::ScreenRecordingController& controller, double seconds = 1.0)
{
    using recording::RecordingPhase;
    recording::RecordingUIModel& model = controller.model();
    controller.present();
    model.startAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::recording; }, 30000))
        << model.message().value_or("").toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.elapsed() >= seconds; }, 30000));
    model.stopAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::review; }, 60000));
}

} // namespace tarnwick::test
