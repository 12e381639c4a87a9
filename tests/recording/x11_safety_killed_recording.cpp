#include "PulseDaemon.h"
#include "RecordingTestSupport.h"
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
        recorder.start(monitors[0], screen, QRectF(0, 0, 640, 360), 1.0, options, url);
        ::sleep(3);
        ::kill(::getpid(), SIGKILL);
    }
    PulseDaemon pulse;
    QProcess tone;
    PulseDaemon::playTone(tone, "tarnwick_speakers", 1000);
    platform::SerialQueue listenerQueue("listener");
    const auto listener = PulseDaemon::promptListener(listenerQueue);

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
    EXPECT_GE(video["nb_read_frames"].toString().toInt(), 5) << "the still frame is repeated";
    QProcess decoder; // every frame decodes to the end of the video
    decoder.start("ffmpeg", {"-v", "error", "-i", url, "-map", "0:v", "-f", "framemd5", "-"});
    ASSERT_TRUE(decoder.waitForFinished(60000));
    const QByteArray md5 = decoder.readAllStandardOutput();
    EXPECT_EQ(decoder.readAllStandardError().toStdString(), "");
    const QList<QByteArray> last = md5.trimmed().split('\n').constLast().split(',');
    const qsizetype tb = md5.indexOf("#tb 0: "); // "#tb 0: <num>/<den>", the seconds of one tick
    ASSERT_TRUE(last.size() >= 4 && tb >= 0) << md5.left(400).toStdString();
    const QList<QByteArray> tick = md5.mid(tb + 7, md5.indexOf('\n', tb) - tb - 7).split('/');
    ASSERT_EQ(tick.size(), 2);
    EXPECT_GE((last[2].trimmed().toDouble() + last[3].trimmed().toDouble()) * tick[0].toDouble() / tick[1].toDouble(),
              2.0)
        << "seconds of video";

    const std::vector<float> audio = decodedAudio(url);
    EXPECT_GE(audio.size(), 48000u * 2) << "seconds of sound";
    ASSERT_GT(audio.size(), 48000u);
    EXPECT_NEAR(dominantFrequency({audio.end() - 24000, audio.end()}), 1000, 10);
}
