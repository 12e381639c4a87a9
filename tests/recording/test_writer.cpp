#include "RecordingTestSupport.h"
#include "recording/review/VideoBlurExport.h"
#include "review/MediaFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::test::finished;
using tarnwick::test::movingFrame;
using tarnwick::test::probe;

namespace {

const QSize frameSize(320, 240);

RecordingOptions options(RecordingCodec codec, bool audio)
{
    RecordingOptions o;
    o.codec = codec;
    o.systemAudio = audio;
    return o;
}

// A 44.1 kHz mono tone in 1024-frame buffers, as a capture source would deliver it.
RecordingAudioBuffer tone(int index)
{
    RecordingAudioBuffer buffer{{1 /* AV_SAMPLE_FMT_S16 */, 44100, 1}, std::vector<std::uint8_t>(2048), 1024};
    auto* samples = reinterpret_cast<std::int16_t*>(buffer.data.data());
    for (int i = 0; i < 1024; ++i)
        samples[i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 1000 * (index * 1024 + i) / 44100.0));
    return buffer;
}

QString sentenceOf(const std::optional<TarnwickError>& error) { return error ? error->errorDescription() : QString(); }

} // namespace

TEST(RecordingFileWriter, WritesH264AndAacWithTheIndexFirst)
{
    QTemporaryDir dir;
    const QString url = dir.filePath("r.mp4");
    RecordingFileWriter writer(url, frameSize, options(RecordingCodec::h264, true));
    int audioIndex = 0;
    for (int k = 0; k < 90; ++k) {
        const double time = 100.0 + k / 30.0;
        for (; 99.9 + audioIndex * 1024 / 44100.0 < time; ++audioIndex)
            writer.appendAudio(tone(audioIndex), RecordingAudioSource::system, 99.9 + audioIndex * 1024 / 44100.0);
        while (!writer.append(movingFrame(frameSize, k), time))
            ASSERT_FALSE(writer.failure());
        writer.drainAudio(time);
    }
    EXPECT_FALSE(writer.append(movingFrame(frameSize, 0), 100.0 + 89 / 30.0)); // same time as the last frame
    EXPECT_FALSE(writer.failure());
    const RecordingResult result = finished(writer, 103.5);
    ASSERT_EQ(result.url, url) << sentenceOf(result.error).toStdString();
    EXPECT_FALSE(result.error);

    const QJsonObject info = probe(url);
    const QJsonArray streams = info["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    const QJsonObject video = streams[0].toObject(), audio = streams[1].toObject();
    EXPECT_EQ(std::tuple(video["codec_name"].toString(), video["has_b_frames"].toInt(), video["width"].toInt(), video["height"].toInt()),
              std::tuple(QString("h264"), 0, 320, 240));
    EXPECT_EQ(std::tuple(audio["codec_name"].toString(), audio["sample_rate"].toString(), audio["channels"].toInt()),
              std::tuple(QString("aac"), QString("48000"), 2));
    EXPECT_NEAR(info["format"].toObject()["duration"].toString().toDouble(), 3.5 + 1 / 30.0, 0.05);

    QFile file(url);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_LT(bytes.indexOf("moov"), bytes.indexOf("mdat"));
    EXPECT_EQ(bytes.indexOf("moof"), -1);

    const QJsonArray frames = probe(url, {"-select_streams", "v", "-show_frames", "-show_entries", "frame=key_frame,pict_type"})["frames"].toArray();
    EXPECT_EQ(frames.size(), 91); // 90 frames and the repeat at the stop time
    int sinceKey = 0;
    for (const auto& frame : frames) {
        EXPECT_NE(frame.toObject()["pict_type"].toString(), "B");
        sinceKey = frame.toObject()["key_frame"].toInt() ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, 60);
    }
}

TEST(RecordingFileWriter, FlatColoursComeBackAsGrabbedFromBothCodecsAndTheBlurredExport)
{
    QImage flat(frameSize, QImage::Format_RGB32);
    flat.fill(QColor(208, 0, 0));
    QPainter(&flat).fillRect(160, 0, 160, 240, QColor(20, 30, 120));
    QTemporaryDir dir;
    for (const RecordingCodec codec : {RecordingCodec::h264, RecordingCodec::hevc}) {
        const QString url = dir.filePath(codec == RecordingCodec::h264 ? "h264.mp4" : "hevc.mp4");
        RecordingFileWriter writer(url, frameSize, options(codec, false));
        for (int k = 0; k < 30; ++k)
            while (!writer.append(flat, k / 30.0))
                ASSERT_FALSE(writer.failure());
        ASSERT_EQ(finished(writer, 1.0).url, url);
        review::VideoBlurRegion blur; // x 80…239, y 60…179: across both patches
        blur.end = 1;
        blur.radius = 5; // the samples 50 pixels from where the patches meet keep their own colour
        blur.keys = {{0, QRectF(0.25, 0.25, 0.5, 0.5), true}};
        review::VideoBlurExport::prepare(url, {1, 0, 1}, {blur}, url + ".blurred.mp4");
        // x, y, red, green, blue: outside and inside the blurred area of each patch
        const int patches[][5] = {{40, 20, 208, 0, 0}, {110, 120, 208, 0, 0}, {210, 120, 20, 30, 120}, {280, 20, 20, 30, 120}};
        for (const QString& file : {url, url + ".blurred.mp4"}) {
            const QByteArray rgb = test::pictureAt(file, 0.5);
            ASSERT_EQ(rgb.size(), 320 * 240 * 3) << file.toStdString();
            for (const auto& p : patches)
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(uchar(rgb[(p[1] * 320 + p[0]) * 3 + c]), p[2 + c], 3)
                        << file.toStdString() << " at " << p[0] << "," << p[1] << " channel " << c;
        }
    }
}

TEST(RecordingFileWriter, KeepsTheRecordingUpToAFrameSizeChangeAndLeavesNoFileWithoutFrames)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath("e.mp4");
    RecordingFileWriter nothing(empty, frameSize, options(RecordingCodec::h264, true));
    const RecordingResult none = finished(nothing, 1.0);
    EXPECT_TRUE(none.url.isEmpty());
    EXPECT_EQ(sentenceOf(none.error), "Запись не получила ни одного кадра. Проверьте доступ к экрану.");
    EXPECT_FALSE(QFile::exists(empty));

    const QString url = dir.filePath("s.mp4");
    RecordingFileWriter writer(url, frameSize, options(RecordingCodec::h264, true));
    const double start = hostTimeNow() - 2.0; // the failure comes 2 s into the recording
    for (int k = 0; k < 60; ++k)
        while (!writer.append(movingFrame(frameSize, k), start + k / 30.0)) {
        }
    EXPECT_FALSE(writer.append(movingFrame(QSize(640, 480), 60), start + 2.0));
    const double failedAt = hostTimeNow() - start; // the last good frame stands until then
    const QString sentence = "Размер видеокадра изменился. Остановите запись и выберите экран заново.";
    EXPECT_EQ(sentenceOf(writer.failure()), sentence);
    const RecordingResult result = finished(writer, start + 4.0);
    EXPECT_EQ(result.url, url);
    EXPECT_EQ(sentenceOf(result.error), sentence);
    EXPECT_NEAR(probe(url)["format"].toObject()["duration"].toString().toDouble(), failedAt, 0.1);
}
