#include "PulseDaemon.h"
#include "recording/review/VideoPlayer.h"
#include "review/MediaFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// What the default sink plays, as mono float samples at 48 kHz, as they come.
class SinkMonitor {
public:
    SinkMonitor()
    {
        parec_.start("parec", {"--device=tarnwick_speakers.monitor", "--format=float32le", "--channels=1",
                               "--rate=48000", "--latency-msec=20"});
        parec_.waitForStarted();
    }
    ~SinkMonitor()
    {
        parec_.kill();
        parec_.waitForFinished();
    }
    std::size_t count()
    {
        data_ += parec_.readAllStandardOutput();
        return static_cast<std::size_t>(data_.size()) / sizeof(float);
    }
    void waitFor(std::size_t samples) { ASSERT_TRUE(QTest::qWaitFor([&] { return count() >= samples; }, 30000)); }
    // Seconds of loud sound (RMS over 10 ms above 0.1) from a sample position on. Measured in
    // the samples themselves, so it holds however late parec hands them over.
    double loudSeconds(std::size_t from)
    {
        const auto* samples = reinterpret_cast<const float*>(data_.constData());
        int loud = 0;
        for (std::size_t at = from; at + 480 <= count(); at += 480) {
            double sum = 0;
            for (std::size_t i = at; i < at + 480; ++i)
                sum += samples[i] * samples[i];
            loud += std::sqrt(sum / 480) > 0.1;
        }
        return loud / 100.0;
    }

private:
    QProcess parec_;
    QByteArray data_;
};

} // namespace

TEST(ReviewPlayback, SoundPlaysFromThePositionAndStopsOnPauseAndAtTheEndTime)
{
    PulseDaemon pulse;
    QTemporaryDir dir;
    const QString file = dir.filePath("tone.mp4");
    // A 1 kHz tone between 1.0 s and 1.5 s only, silence around it.
    runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=30:duration=3", "-f", "lavfi",
                       "-i", "aevalsrc=0.3*sin(2*PI*1000*t)*between(t\\,1\\,1.5):s=48000:d=3", "-c:v", "libx264",
                       "-c:a", "aac", file});
    review::VideoPlayer player;
    player.setSource(file);
    SinkMonitor monitor;
    monitor.waitFor(4800);

    struct Case {
        double from, end, pauseAt;
        bool tone;
    };
    const Case cases[] = {
        {0.8, 1.3, 9, true},   // runs into the tone and stops at the end time inside it
        {1.6, 2.2, 9, false},  // starts after the tone: the sound begins where the picture does
        {1.0, 3.0, 1.2, true}, // paused while the tone still sounds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        bool shown = false;
        player.seek(c.from, [&] { shown = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown; }, 30000));
        player.setForwardEndTime(c.end);
        const std::size_t started = monitor.count();
        player.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.rate() == 0 || player.currentTime() >= c.pauseAt; }, 30000));
        player.pause();
        const double stoppedAt = player.currentTime();
        if (c.pauseAt > c.end) {
            EXPECT_NEAR(stoppedAt, c.end, 0.05);
        }
        // A second more than the sink played by the stop, however late parec delivers it.
        monitor.waitFor(monitor.count() + 48000);
        // The tone sounds for as long as the picture ran through it, then stops with the picture.
        const double tone = std::max(0.0, std::min(stoppedAt, 1.5) - std::max(c.from, 1.0));
        EXPECT_EQ(c.tone, tone > 0.1);
        EXPECT_LE(monitor.loudSeconds(started), tone + 0.1);
        if (c.tone) {
            EXPECT_GT(monitor.loudSeconds(started), 0.05);
        }
    }
}
