#include "PulseDaemon.h"
#include "RecordingTestSupport.h"
#include "recording/RecordingMicrophone.h"
#include "recording/ScreenRecorder.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::test;

// The screen shows nothing new for the whole recording, so only repeated frames
// and time-cut fragments can bring video and sound to the disk before the crash.
TEST(RecordingSafety, AKilledRecordingOfAStillScreenKeepsVideoAndSound)
{
    const char* const childVariable = "TARNWICK_TEST_KILLED_RECORDING";
    if (const QString url = qEnvironmentVariable(childVariable); !url.isEmpty()) {
        // The child: records its own server's still screen, then dies without a
        // destructor or a trailer, as a crash or a power cut leaves it.
        const std::vector<platform::Monitor> monitors = platform::makeScreenGrabber()->monitors();
        ASSERT_FALSE(monitors.empty());
        RecordingOptions options;
        options.codec = RecordingCodec::h264;
        options.systemAudio = true;
        ScreenRecorder recorder;
        const QRectF screen(QPointF(0, 0), monitors[0].geometry.size());
        recorder.start(monitors[0], screen, screen, 1.0, options, url);
        ::sleep(3);
        ::kill(::getpid(), SIGKILL);
    }
    PulseDaemon pulse;
    QProcess tone;
    PulseDaemon::playTone(tone, "tarnwick_speakers", 1000);
    platform::SerialQueue listenerQueue("listener");
    RecordingMicrophone listener(listenerQueue, RecordingAudioSource::system); // keeps the null sink prompt
    std::atomic<bool> heard{false};
    listener.onSample = [&](const RecordingAudioBuffer& b, double) {
        heard = heard || std::any_of(b.data.begin(), b.data.end(), [](std::uint8_t v) { return v != 0; });
    };
    listener.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.load(); }, 10000));

    QTemporaryDir dir;
    const QString url = dir.filePath("still.mp4");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childVariable, url);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=RecordingSafety.AKilledRecordingOfAStillScreenKeepsVideoAndSound"});
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);
    tone.kill();
    tone.waitForFinished();

    const QJsonArray streams = probe(url, {"-count_frames", "-show_streams"})["streams"].toArray();
    ASSERT_EQ(streams.size(), 2);
    const QJsonObject video = streams[0].toObject();
    EXPECT_EQ(video["codec_type"].toString(), "video");
    EXPECT_GE(video["nb_read_frames"].toString().toInt(), 15) << "the still frame is repeated";
    QProcess decoder; // every frame decodes to the end of the video
    decoder.start("ffmpeg", {"-v", "error", "-i", url, "-map", "0:v", "-f", "framemd5", "-"});
    ASSERT_TRUE(decoder.waitForFinished(60000));
    const QByteArray md5 = decoder.readAllStandardOutput();
    EXPECT_EQ(decoder.readAllStandardError().toStdString(), "");
    const QList<QByteArray> last = md5.trimmed().split('\n').constLast().split(',');
    const qsizetype tb = md5.indexOf("#tb 0: 1/"); // "#tb 0: 1/<ticks a second>"
    ASSERT_TRUE(last.size() >= 4 && tb >= 0);
    const double ticks = md5.mid(tb + 9, md5.indexOf('\n', tb) - tb - 9).toDouble();
    EXPECT_GE((last[2].trimmed().toDouble() + last[3].trimmed().toDouble()) / ticks, 2.0) << "seconds of video";

    const std::vector<float> audio = decodedAudio(url);
    EXPECT_GE(audio.size(), 48000u * 2) << "seconds of sound";
    ASSERT_GT(audio.size(), 48000u);
    EXPECT_NEAR(dominantFrequency({audio.end() - 24000, audio.end()}), 1000, 10);
}
