#include "PulseDaemon.h"
#include "RecordingTestSupport.h"
#include "recording/RecordingMicrophone.h"
#include "support/Errors.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

TEST(RecordingAudioCapture, RecordsSystemAudioAndRefusesAMonitorAsMicrophone)
{
    PulseDaemon pulse;
    platform::SerialQueue queue("com.tarnwick.recording");
    RecordingMicrophone monitorOnly(queue);
    ASSERT_TRUE(PulseDaemon::pactl({"set-default-source", "tarnwick_speakers.monitor"}));
    EXPECT_EQ(errorOf([&] { monitorOnly.start(); }), "Микрофон не найден. Подключите его или отключите запись микрофона.");

    QProcess tone;
    PulseDaemon::playTone(tone, "tarnwick_speakers", 1000);
    QTemporaryDir dir;
    RecordingOptions options;
    options.codec = RecordingCodec::h264;
    options.systemAudio = true;
    RecordingFileWriter writer(dir.filePath("a.mp4"), QSize(160, 120), options);
    RecordingMicrophone system(queue, RecordingAudioSource::system);
    std::atomic<bool> heard{false};
    system.onSample = [&](const RecordingAudioBuffer& buffer, double time) {
        writer.appendAudio(buffer, RecordingAudioSource::system, time);
        if (std::any_of(buffer.data.begin(), buffer.data.end(), [](std::uint8_t b) { return b != 0; }))
            heard = true;
    };
    system.start();
    // A fresh null sink renders its first blocks late: start once the tone comes through.
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.load(); }, 10000));
    // Frames and drains at the capture engine's pace for two seconds.
    const double start = hostTimeNow();
    for (int k = 0; hostTimeNow() < start + 2.0; ++k) {
        queue.async([&, k] {
            writer.append(movingFrame(QSize(160, 120), k), hostTimeNow());
            writer.drainAudio(hostTimeNow());
        });
        QTest::qWait(33);
    }
    system.stop();
    std::promise<RecordingResult> done;
    queue.async([&] { writer.finish(hostTimeNow(), [&](RecordingResult r) { done.set_value(std::move(r)); }); });
    const RecordingResult result = done.get_future().get();
    tone.kill();
    tone.waitForFinished();
    ASSERT_FALSE(result.url.isEmpty()) << result.error->what();

    const std::vector<float> audio = decodedAudio(result.url);
    ASSERT_GT(audio.size(), 48000u * 3 / 2);
    const std::vector<float> middle(audio.begin() + 24000, audio.begin() + 48000);
    EXPECT_GT(*std::max_element(middle.begin(), middle.end()), 0.1f);
    EXPECT_NEAR(dominantFrequency(middle), 1000, 10);
}
