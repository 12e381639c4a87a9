#include "MediaFiles.h"
#include "recording/RecordingTestSupport.h"
#include "support/Errors.h"
#include "recording/review/VideoBlurExport.h"
#include "recording/review/VideoBlurRendering.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <future>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::review;
using namespace tarnwick::test;

namespace {

VideoBlurRegion still(const QRectF& rect, double start, double end, double radius = 10)
{
    VideoBlurRegion r;
    r.start = start;
    r.end = end;
    r.radius = radius;
    r.keys = {{start, rect, true}};
    return r;
}

QImage noise(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, 0xff000000u | random.bounded(0x1000000u));
    return image;
}

// Over the 4×4 blocks of an RGB picture 320 × 240 wholly inside `area`, or wholly
// outside it: the mean variance of a channel within a block, and the mean squared
// error against `other`.
std::pair<double, double> measure(const QByteArray& rgb, const QByteArray& other, const QRect& area, bool inside)
{
    double variance = 0, error = 0;
    int blocks = 0;
    for (int by = 0; by < 240; by += 4)
        for (int bx = 0; bx < 320; bx += 4) {
            const QRect block(bx, by, 4, 4);
            if (inside ? !area.contains(block) : area.intersects(block))
                continue;
            for (int c = 0; c < 3; ++c, ++blocks) {
                double sum = 0, squares = 0;
                for (int i = 0; i < 16; ++i) {
                    const int at = ((by + i / 4) * 320 + bx + i % 4) * 3 + c;
                    const double v = static_cast<unsigned char>(rgb[at]), d = v - static_cast<unsigned char>(other[at]);
                    sum += v;
                    squares += v * v;
                    error += d * d / 16;
                }
                variance += squares / 16 - (sum / 16) * (sum / 16);
            }
        }
    return {variance / blocks, error / blocks};
}

} // namespace

TEST(VideoBlurRendering, BlursActiveRegionsInOrderOverTheRunningFrame)
{
    using VideoBlurRendering::image;
    const QImage frame = noise(64, 48);
    const VideoBlurRegion lower = still({0, 0, 0.5, 0.25}, 1, 2); // bottom-left: rows 36…47, columns 0…31
    for (const double t : {0.5, 2.0})
        EXPECT_EQ(image(frame, t, {lower}).constBits(), frame.constBits()) << t;
    const QImage blurred = image(frame, 1, {lower});
    for (const QPoint p : {QPoint(5, 40), QPoint(31, 47)})
        EXPECT_NE(blurred.pixel(p), frame.pixel(p)) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(5, 35), QPoint(32, 40), QPoint(60, 2)})
        EXPECT_EQ(blurred.pixel(p), frame.pixel(p)) << p.x() << "," << p.y();

    QImage grey(64, 48, QImage::Format_RGB32);
    grey.fill(QColor(128, 128, 128));
    EXPECT_EQ(image(grey, 0, {still({0, 0, 1, 1}, 0, 1, 20)}), grey);

    const VideoBlurRegion across = still({0.25, 0.1, 0.5, 0.5}, 0, 3);
    const QImage both = image(frame, 1.5, {lower, across});
    EXPECT_EQ(both, image(image(frame, 1.5, {lower}), 1.5, {across}));
    EXPECT_NE(both, image(frame, 1.5, {across}));
}

class VideoBlurExportTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new QTemporaryDir;
        source = dir->filePath("source.mp4");
        runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30:duration=10", "-f",
                           "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=10", "-c:v", "libx265",
                           "-b:v", "1M", "-x265-params", "log-level=error", "-tag:v", "hvc1", "-c:a", "aac", "-shortest", source});
    }
    static void TearDownTestSuite() { delete dir; }

    static inline QTemporaryDir* dir = nullptr;
    static inline QString source;
    // Over the noisy squares of the test picture: pixels 192…287 × 144…203.
    const VideoBlurRegion region = still({0.6, 0.15, 0.3, 0.25}, 0, 10);
};

TEST_F(VideoBlurExportTest, CutsTheFragmentBlursTheRegionAndCopiesTheSound)
{
    const QString out = dir->filePath("blurred.mp4");
    VideoBlurExport::prepare(source, {10, 2, 5}, {region}, out);

    const QJsonObject info = probe(out);
    EXPECT_NEAR(info["format"].toObject()["duration"].toString().toDouble(), 3.0, 1.0 / 30);
    const QJsonObject video = info["streams"].toArray()[0].toObject();
    EXPECT_EQ(video["codec_name"].toString(), "hevc");
    EXPECT_EQ(video["codec_tag_string"].toString(), "hvc1");
    EXPECT_NEAR(video["nb_frames"].toString().toInt(), 90, 1);

    const QList<QByteArray> sound = packetList(out, "0:a"), original = packetList(source, "0:a");
    EXPECT_NEAR(sound.size(), 3 * 48000 / 1024.0, 2);
    bool copied = false;
    for (qsizetype i = 0; i + sound.size() <= original.size() && !copied; ++i)
        copied = original.mid(i, sound.size()) == sound;
    EXPECT_TRUE(copied) << "audio packets must be copied unchanged";

    const QRect area(192, 144, 96, 60);
    const QByteArray before = pictureAt(source, 3.0), after = pictureAt(out, 1.0);
    ASSERT_EQ(after.size(), 320 * 240 * 3);
    ASSERT_EQ(before.size(), after.size());
    const double sharp = measure(before, after, area, true).first, soft = measure(after, before, area, true).first;
    EXPECT_LE(soft, 0.2 * sharp) << sharp << " → " << soft;
    const double mse = measure(after, before, area, false).second;
    EXPECT_GT(10 * std::log10(255.0 * 255.0 / mse), 35.0);

    // An H.264 source without sound comes out as H.264 with one stream.
    const QString plain = dir->filePath("plain.mp4"), plainOut = dir->filePath("plain-blurred.mp4");
    runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=30:duration=1", "-c:v",
                       "libx264", plain});
    VideoBlurExport::prepare(plain, {1, 0.2, 0.8}, {region}, plainOut);
    const QJsonArray streams = probe(plainOut)["streams"].toArray();
    ASSERT_EQ(streams.size(), 1);
    EXPECT_EQ(streams[0].toObject()["codec_name"].toString(), "h264");

    // A lost interval not yet accepted inside the kept part is refused; one outside it is not.
    VideoBlurRegion lost = region;
    lost.gaps = {{4.5, 6}};
    const QString refused = dir->filePath("refused.mp4");
    EXPECT_EQ(errorOf([&] { VideoBlurExport::prepare(source, {10, 2, 5}, {lost}, refused); }),
              "Проверьте интервалы, где отслеживание потеряло цель.");
    EXPECT_FALSE(QFile::exists(refused));
    EXPECT_FALSE(region.losesTargetWithin(2, 4.5) || lost.losesTargetWithin(2, 4.5));
}

TEST_F(VideoBlurExportTest, CancelledExportCompletesOnceAndLeavesNoFile)
{
    enum When { Early, Started, Midway };
    for (const When when : {Started, Early, Midway}) {
        const QString out = dir->filePath(QStringLiteral("cancelled-%1.mp4").arg(when));
        VideoBlurExport job(source, {10, 0, 10}, {region}, out);
        std::promise<std::exception_ptr> done;
        std::atomic<int> calls = 0;
        if (when == Early)
            job.cancel();
        job.run([&](std::exception_ptr error) {
            if (++calls == 1)
                done.set_value(error);
        });
        if (when == Started) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(out); }));
        }
        if (when == Midway) {
            // Packets on disk: the encoder holds pictures that will never leave it.
            ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0 || QFileInfo(out).size() > 64 * 1024; }, 60000));
        }
        job.cancel();
        job.cancel();
        const std::exception_ptr error = done.get_future().get();
        EXPECT_EQ(calls, 1);
        if (when == Midway && !error) {
            // The export outran the cancel on this machine: then it must be whole.
            EXPECT_NEAR(probe(out)["format"].toObject()["duration"].toString().toDouble(), 10.0, 0.1);
            continue;
        }
        EXPECT_THROW(std::rethrow_exception(error), CancellationError) << when;
        EXPECT_FALSE(QFile::exists(out)) << when;
    }
}
