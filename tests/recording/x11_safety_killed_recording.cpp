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

    const QJsonArray frames =
        probe(url, {"-select_streams", "v", "-show_frames", "-show_entries", "frame=best_effort_timestamp_time"})["frames"]
            .toArray();
    ASSERT_GE(frames.size(), 5) << "the still frame is repeated";
    EXPECT_GE(frames.last()["best_effort_timestamp_time"].toString().toDouble(), 1.9) << "seconds of video";

    const std::vector<float> audio = decodedAudio(url);
    ASSERT_GE(audio.size(), 48000u * 2) << "seconds of sound";
    EXPECT_NEAR(dominantFrequency({audio.end() - 24000, audio.end()}), 1000, 10);
}
