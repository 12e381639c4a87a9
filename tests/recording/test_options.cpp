#include "recording/RecordingOptions.h"
#include "recording/ScreenRecorder.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(RecordingOptions, OutputSizeAndBitRate)
{
    struct Case {
        QSizeF points;
        double scale;
        RecordingQuality quality;
        QSizeF expected;
    };
    const Case cases[] = {
        {{1512, 982}, 2, RecordingQuality::text, {2560, 1662}},
        {{1512, 982}, 2, RecordingQuality::compact, {1920, 1246}},
        {{1512, 982}, 2, RecordingQuality::web, {1108, 720}},
        {{1, 1}, 1, RecordingQuality::text, {2, 2}},
        {{0, 0}, 2, RecordingQuality::web, {2, 2}},
        {{1001, 501}, 1, RecordingQuality::text, {1000, 500}},
        {{720, 3000}, 1, RecordingQuality::web, {306, 1280}},
    };
    for (const Case& c : cases) {
        RecordingOptions options;
        options.quality = c.quality;
        EXPECT_EQ(options.outputSize(c.points, c.scale), c.expected) << c.points.width() << "x" << c.points.height();
    }
    RecordingOptions options;
    EXPECT_EQ(options.bitRate({1920, 1080}), 2799360);
    options.codec = RecordingCodec::h264;
    options.quality = RecordingQuality::web;
    EXPECT_EQ(options.bitRate({1920, 1080}), 3732480);
    EXPECT_EQ(options.bitRate({2, 2}), 400000);
}

TEST(ScreenRecorder, RecordsThePixelsNearestTheDraggedEdges)
{
    // A second monitor at 1.5: 1920×1080 pixels right of the first, 1280×720 points.
    const platform::Monitor monitor{1, QRect(1920, 0, 1920, 1080), "HDMI-1"};
    const QRectF screen(1280, 0, 1280, 720);
    // Edges at 1.5 and 151.5 pixels go to the nearer pixel edge, not outward.
    EXPECT_EQ(ScreenRecorder::sourcePixels(monitor, screen, QRectF(1281, 101, 201, 101), 1.5), QRect(1922, 152, 301, 151));
    EXPECT_EQ(ScreenRecorder::sourcePixels(monitor, screen, QRectF(2000, 700, 900, 90), 1.5), QRect(3000, 1050, 840, 30));
    EXPECT_EQ(ScreenRecorder::sourcePixels(monitor, screen, QRectF(1290, 10, 1, 50), 1.5), monitor.geometry);
}

TEST(RecordingOptions, ReadsAndWritesPreferences)
{
    EXPECT_EQ(RecordingOptions::fromPreferences(nullptr), RecordingOptions());
    QTemporaryDir dir;
    QSettings store(dir.filePath("p.ini"), QSettings::IniFormat);
    store.setValue("recordingCursor", "yes");
    store.setValue("recordingClicks", false);
    store.setValue("recordingCodec", "H264");
    store.setValue("recordingQuality", "Web");
    RecordingOptions read = RecordingOptions::fromPreferences(&store);
    EXPECT_TRUE(read.showsCursor);
    EXPECT_FALSE(read.highlightsClicks);
    EXPECT_EQ(read.codec, RecordingCodec::hevc);
    EXPECT_EQ(read.quality, RecordingQuality::text);
    // Audio switches as older runs and other writers stored them.
    const std::pair<QVariant, bool> audio[] = {{"1", true}, {"0", false}, {"yes", true}, {"x", false}, {2, true}};
    for (const auto& [stored, on] : audio) {
        store.setValue("recordingSystemAudio", stored);
        store.setValue("recordingMicrophone", stored);
        read = RecordingOptions::fromPreferences(&store);
        EXPECT_EQ(std::pair(read.systemAudio, read.microphone), std::pair(on, on)) << stored.toString().toStdString();
    }

    RecordingOptions chosen{false, false, true, true, true, RecordingCodec::h264, RecordingQuality::compact};
    chosen.save(store);
    store.sync();
    QSettings reopened(dir.filePath("p.ini"), QSettings::IniFormat);
    EXPECT_EQ(RecordingOptions::fromPreferences(&reopened), chosen);
}
