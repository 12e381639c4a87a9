#include "PulseDaemon.h"
#include "RecordingTestSupport.h"
#include "support/Errors.h"
#include "recording/RecordingMicrophone.h"
#include "recording/ScreenRecorder.h"
#include "support/X11Client.h"

#include <QElapsedTimer>
#include <xcb/randr.h>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// A full-screen window with a red rectangle that moves 100 px a second over dark blue.
class MovingScene : public QWidget {
public:
    MovingScene()
    {
        setWindowFlags(Qt::FramelessWindowHint);
        setCursor(Qt::ArrowCursor);
        setGeometry(0, 0, 1920, 1080);
        connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
        timer_.start(15);
        clock_.start();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(20, 30, 120));
        painter.fillRect(100 + static_cast<int>(clock_.elapsed() / 10) % 1400, 300, 200, 150, Qt::red);
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
};

struct DecodedFrames {
    int width = 0, height = 0;
    QByteArray rgb;
    int count() const { return rgb.size() / (width * height * 3); }
    QColor at(int frame, int x, int y) const
    {
        const char* p = rgb.constData() + ((static_cast<qsizetype>(frame) * height + y) * width + x) * 3;
        return QColor(static_cast<uchar>(p[0]), static_cast<uchar>(p[1]), static_cast<uchar>(p[2]));
    }
    // The mean x of the red pixels on row `y` of `frame`; -1 without any.
    double redCentre(int frame, int y) const
    {
        double sum = 0;
        int n = 0;
        for (int x = 0; x < width; ++x)
            if (const QColor c = at(frame, x, y); c.red() > 180 && c.green() < 60 && c.blue() < 60)
                sum += x, ++n;
        return n ? sum / n : -1;
    }
};

DecodedFrames decodeFrames(const QString& file, int width, int height, const QStringList& filter)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-i", file} + filter + QStringList{"-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    ffmpeg.waitForFinished(60000);
    return {width, height, ffmpeg.readAllStandardOutput()};
}

DecodedFrames decodeAtTenPerSecond(const QString& file, int width, int height)
{
    return decodeFrames(file, width, height, {"-vf", "fps=10"});
}

// Each picture the recorder wrote, once: a short-lived mark drawn on one grab is in one frame.
DecodedFrames decodeEveryPicture(const QString& file, int width, int height)
{
    return decodeFrames(file, width, height, {"-fps_mode", "passthrough"});
}

// The share of a click ring's orange over the scenes' dark blue ground (20, 30, 120), from the
// red channel, which the ring lifts most.
double orangeOverGround(const QColor& c)
{
    return (c.red() - 20) / 235.0;
}

// Switches the first CRTC to a new 1024×768 mode, as a user changing the resolution would.
void switchTo1024x768(X11Client& client)
{
    xcb_connection_t* c = client.connection();
    std::free(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    auto* resources = xcb_randr_get_screen_resources_reply(c, xcb_randr_get_screen_resources(c, client.root()), nullptr);
    ASSERT_TRUE(resources);
    xcb_randr_mode_info_t mode{0, 1024, 768, 65000000, 1048, 1184, 1344, 0, 771, 777, 806, 8, 0};
    auto* created = xcb_randr_create_mode_reply(c, xcb_randr_create_mode(c, client.root(), mode, 8, "1024x768"), nullptr);
    ASSERT_TRUE(created);
    xcb_randr_output_t output = xcb_randr_get_screen_resources_outputs(resources)[0];
    std::free(xcb_request_check(c, xcb_randr_add_output_mode_checked(c, output, created->mode)));
    auto* set = xcb_randr_set_crtc_config_reply(
        c, xcb_randr_set_crtc_config(c, xcb_randr_get_screen_resources_crtcs(resources)[0], XCB_CURRENT_TIME,
                                     resources->config_timestamp, 0, 0, created->mode, XCB_RANDR_ROTATION_ROTATE_0, 1, &output),
        nullptr);
    EXPECT_TRUE(set && set->status == XCB_RANDR_SET_CONFIG_SUCCESS);
    std::free(set);
    std::free(created);
    std::free(resources);
}

// Paints `widget` in one colour of its own.
void fill(QWidget& widget, const QColor& colour)
{
    QPalette palette;
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

} // namespace

TEST(ScreenRecorder, RecordsTheMovingSceneWithSystemAudioAndClickRings)
{
    PulseDaemon pulse;
    QProcess tone;
    PulseDaemon::playTone(tone, "tarnwick_speakers", 1000);
    platform::SerialQueue listenerQueue("listener");
    const auto listener = PulseDaemon::promptListener(listenerQueue); // the recording begins once the tone comes through
    ASSERT_TRUE(PulseDaemon::pactl({"set-default-source", "tarnwick_speakers.monitor"}));
    RecordingMicrophone monitorOnly(listenerQueue);
    EXPECT_EQ(errorOf([&] { monitorOnly.start(); }), "Микрофон не найден. Подключите его или отключите запись микрофона.");
    MovingScene scene;
    scene.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scene));
    X11Client client;
    client.movePointer(300, 250);

    const std::vector<platform::Monitor> monitors = platform::makeScreenGrabber()->monitors();
    ASSERT_FALSE(monitors.empty());
    RecordingOptions options;
    options.codec = RecordingCodec::h264;
    options.systemAudio = true;
    QTemporaryDir dir;
    ScreenRecorder recorder;
    std::vector<QString> interruptions;
    recorder.onInterruption = [&](const TarnwickError& e) { interruptions.push_back(e.errorDescription()); };
    const QString url = dir.filePath("screen.mp4");
    recorder.start(monitors[0], QRectF(0, 0, 1920, 1080), QRectF(100, 100, 800, 600), 1.0, options, url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return writtenVideo(url).seconds >= 1.5; }, 60000));
    client.movePointer(500, 600); // (400, 500) in the video, below the rectangle's path
    client.button(1, true);
    client.button(1, false);
    client.sync();
    ASSERT_TRUE(QTest::qWaitFor([&] { return writtenVideo(url).seconds >= 3.0; }, 60000));
    const RecordingResult result = recorder.stop();
    tone.kill();
    tone.waitForFinished();
    ASSERT_FALSE(result.url.isEmpty()) << result.error->what();
    EXPECT_FALSE(result.error);
    EXPECT_TRUE(interruptions.empty());

    const QJsonArray streams = probe(result.url)["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0].toObject()["width"].toInt(), 800);
    EXPECT_NEAR(streams[1].toObject()["start_time"].toString().toDouble(), 0, 0.05);

    const DecodedFrames frames = decodeAtTenPerSecond(result.url, 800, 600);
    ASSERT_GE(frames.count(), 28);
    const QColor background = frames.at(5, 20, 20);
    EXPECT_NEAR(background.red(), 20, 8);
    EXPECT_NEAR(background.blue(), 120, 8);
    const double first = frames.redCentre(2, 280), last = frames.redCentre(frames.count() - 3, 280);
    EXPECT_GE(first, 0);
    EXPECT_GE(last, 0);
    EXPECT_GT(std::abs(last - first), 100) << "the rectangle moves";
    // Every picture is looked at: under load the recorder grabs seldom, and the fading ring may
    // be in one or two of them only. Nothing else in the scene is orange.
    const DecodedFrames pictures = decodeEveryPicture(result.url, 800, 600);
    bool ringSeen = false;
    for (int k = 0; k < pictures.count(); ++k) {
        const QColor c = pictures.at(k, 400 - 9, 500 - 2);
        ringSeen = ringSeen || (orangeOverGround(c) >= 0.15 && c.green() > 45);
    }
    EXPECT_TRUE(ringSeen);

    const std::vector<float> audio = decodedAudio(result.url);
    ASSERT_GT(audio.size(), 48000u * 2);
    // Within the first quarter second: a busy machine may hold the tone player back for a moment.
    EXPECT_GT(*std::max_element(audio.begin() + 2400, audio.begin() + 12000), 0.05f) << "tone from the start";
    EXPECT_NEAR(dominantFrequency({audio.begin() + 48000, audio.begin() + 72000}), 1000, 10);
}

TEST(ScreenRecorder, KeepsTheRecordingUpToAModeChangeOfTheMonitor)
{
    QWidget scene;
    scene.setGeometry(0, 0, 1920, 1080);
    scene.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scene));
    const std::vector<platform::Monitor> monitors = platform::makeScreenGrabber()->monitors();
    ASSERT_FALSE(monitors.empty());
    QTemporaryDir dir;
    ScreenRecorder recorder;
    std::vector<QString> interruptions;
    recorder.onInterruption = [&](const TarnwickError& e) { interruptions.push_back(e.errorDescription()); };
    RecordingOptions options;
    options.codec = RecordingCodec::h264;
    const QString url = dir.filePath("m.mp4");
    recorder.start(monitors[0], QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1080), 1.0, options, url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return writtenVideo(url).seconds >= 1.0; }, 60000));
    X11Client client;
    switchTo1024x768(client);
    const QString sentence = "Размер видеокадра изменился. Остановите запись и выберите экран заново.";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !interruptions.empty(); }, 30000));
    EXPECT_EQ(interruptions, std::vector<QString>{sentence});
    const RecordingResult result = recorder.stop();
    ASSERT_FALSE(result.url.isEmpty());
    EXPECT_EQ(result.error->errorDescription(), sentence);
    const QJsonObject info = probe(result.url);
    EXPECT_EQ(info["streams"].toArray()[0].toObject()["width"].toInt(), 1920);
    EXPECT_GT(info["format"].toObject()["duration"].toString().toDouble(), 0.5);
}

// A grab larger than the video is scaled into it with the colour conversion, in one pass: each
// part of the screen lands where it belongs, in its colour, and a click ring keeps its size.
TEST(ScreenRecorder, ScalesALargerGrabIntoTheVideo)
{
    QWidget scene;
    scene.setGeometry(0, 0, 1920, 1080);
    fill(scene, QColor(20, 30, 120));
    QWidget red(&scene);
    red.setGeometry(0, 0, 960, 540); // the top left quarter
    fill(red, Qt::red);
    scene.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scene));
    const std::vector<platform::Monitor> monitors = platform::makeScreenGrabber()->monitors();
    ASSERT_FALSE(monitors.empty());
    RecordingOptions options;
    options.codec = RecordingCodec::h264;
    options.quality = RecordingQuality::web; // 1920×1080 recorded at 1280×720
    QTemporaryDir dir;
    ScreenRecorder recorder;
    const QString url = dir.filePath("scaled.mp4");
    recorder.start(monitors[0], QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1080), 1.0, options, url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return writtenVideo(url).seconds >= 1.2; }, 60000));
    X11Client client;
    client.movePointer(1440, 810); // (960, 540) in the video
    client.button(1, true);
    client.button(1, false);
    client.sync();
    ASSERT_TRUE(QTest::qWaitFor([&] { return writtenVideo(url).seconds >= 2.4; }, 60000));
    const RecordingResult result = recorder.stop();
    ASSERT_FALSE(result.url.isEmpty());
    const DecodedFrames frames = decodeAtTenPerSecond(result.url, 1280, 720);
    ASSERT_GE(frames.count(), 20);
    const int k = 5;
    for (const auto& [x, y, expected] : {std::tuple{10, 10, QColor(Qt::red)}, {630, 350, QColor(Qt::red)},
                                         {650, 370, QColor(20, 30, 120)}, {1270, 710, QColor(20, 30, 120)},
                                         {1270, 10, QColor(20, 30, 120)}}) {
        const QColor c = frames.at(k, x, y);
        EXPECT_NEAR(c.red(), expected.red(), 10) << x << ',' << y;
        EXPECT_NEAR(c.green(), expected.green(), 10) << x << ',' << y;
        EXPECT_NEAR(c.blue(), expected.blue(), 10) << x << ',' << y;
    }
    // The ring is drawn in the video's pixels: 12 at the click, growing to 24 as it fades. Its age
    // shows in how far it has faded (its core's alpha falls from 0.6 to 0), so each picture of it
    // tells the radius it must have. Every picture is looked at: under load the recorder grabs
    // seldom, and the ring may be in one or two of them only.
    const DecodedFrames pictures = decodeEveryPicture(result.url, 1280, 720);
    ASSERT_GE(pictures.count(), 20);
    int measured = 0;
    for (int f = 0; f < pictures.count(); ++f) {
        const auto orangeShare = [&](int left) { return orangeOverGround(pictures.at(f, 960 - left, 540)); };
        const double core = orangeShare(6);
        if (core < 0.15) // no ring, or one too faint to measure
            continue;
        const double age = 1 - core / 0.6;
        // Half the core's orange lies halfway through the ring's 3-pixel soft edge.
        const double expected = 12 + 12 * age - 1.5;
        int reach = 6;
        while (reach < 60 && orangeShare(reach + 1) >= core / 2)
            ++reach;
        EXPECT_NEAR(reach, expected, 2.5) << "picture " << f << ", ring aged " << age;
        ++measured;
    }
    EXPECT_GE(measured, 1);
}

// The video begins with the first grab and the caller's clock with the start's return: a stop
// right after the start still finds that first picture, however late the grab thread woke.
TEST(ScreenRecorder, AStopRightAfterTheStartKeepsTheFirstPicture)
{
    QWidget scene;
    scene.setGeometry(0, 0, 1920, 1080);
    fill(scene, QColor(200, 40, 40));
    scene.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scene));
    const std::vector<platform::Monitor> monitors = platform::makeScreenGrabber()->monitors();
    ASSERT_FALSE(monitors.empty());
    RecordingOptions options;
    options.codec = RecordingCodec::h264;
    QTemporaryDir dir;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ScreenRecorder recorder;
        const QString url = dir.filePath(QStringLiteral("at-once-%1.mp4").arg(i));
        recorder.start(monitors[0], QRectF(0, 0, 1920, 1080), QRectF(0, 0, 640, 480), 1.0, options, url);
        const RecordingResult result = recorder.stop();
        ASSERT_FALSE(result.error) << result.error->what();
        ASSERT_EQ(result.url, url);
        const DecodedFrames frames = decodeAtTenPerSecond(url, 640, 480);
        ASSERT_GE(frames.count(), 1);
        EXPECT_NEAR(frames.at(0, 320, 240).red(), 200, 12);
    }
}
