#include "PulseDaemon.h"
#include "RecordingTestSupport.h"
#include "recording/ScreenRecorder.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
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
        for (;;)
            ::pause(); // the parent kills it once the disk holds enough
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
    ASSERT_TRUE(child.waitForStarted(30000));

    struct Kept {
        qsizetype frames = 0;
        double lastFrame = 0;
        std::vector<float> audio;
    };
    const auto kept = [&] {
        Kept k;
        const QJsonArray frames =
            probe(url, {"-select_streams", "v", "-show_frames", "-show_entries", "frame=best_effort_timestamp_time"})
                ["frames"].toArray();
        k.frames = frames.size();
        if (!frames.isEmpty())
            k.lastFrame = frames.last()["best_effort_timestamp_time"].toString().toDouble();
        k.audio = decodedAudio(url);
        return k;
    };
    const auto enough = [](const Kept& k) { return k.frames >= 5 && k.lastFrame >= 1.9 && k.audio.size() >= 48000u * 2; };
    // Only fragments the recording cut by time reach the disk while the screen stands still;
    // the crash comes once they hold two seconds, however slowly the machine encodes them.
    EXPECT_TRUE(QTest::qWaitFor([&] { return child.state() != QProcess::Running || enough(kept()); }, 120000));
    ASSERT_EQ(child.state(), QProcess::Running) << "the recording ended by itself";
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);

    const Kept after = kept();
    ASSERT_GE(after.frames, 5) << "the still frame is repeated";
    EXPECT_GE(after.lastFrame, 1.9) << "seconds of video";
    ASSERT_GE(after.audio.size(), 48000u * 2) << "seconds of sound";
    // The half second before the two the crash waited for: the tone, not noise.
    EXPECT_NEAR(dominantFrequency({after.audio.begin() + 72000, after.audio.begin() + 96000}), 1000, 10);
}
