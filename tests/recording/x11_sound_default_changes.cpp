#include "SoundRecording.h"
#include "support/X11Client.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

// Headphones plugged in mid-recording become the default output and the player moves to them,
// then the user switches back: the system sound goes on in the file after each switch, in the new
// sink's own rate, beside the microphone, and the session does not end.
TEST(RecordingSound, TheSystemSoundFollowsTheDefaultOutputThereAndBack)
{
    PulseDaemon pulse;
    ASSERT_TRUE(PulseDaemon::pactl({"set-default-source", "tarnwick_mic"}));
    const Player player(1000), voice(600, "tarnwick_mic_feed");
    platform::SerialQueue listenerQueue("listener");
    const auto output = PulseDaemon::promptListener(listenerQueue);
    const auto input = PulseDaemon::promptListener(listenerQueue, RecordingAudioSource::microphone);

    SoundRecording recording(true, true);
    recording.start();
    std::vector<double> switches;
    recording.runFor(3, 0);
    ASSERT_TRUE(PulseDaemon::pactl({"load-module", "module-null-sink", "sink_name=tarnwick_headphones", "rate=32000"}));
    for (const char* sink : {"tarnwick_headphones", "tarnwick_speakers"}) {
        SCOPED_TRACE(sink);
        ASSERT_TRUE(PulseDaemon::pactl({"set-default-sink", sink}));
        switches.push_back(recording.model.elapsed());
        ASSERT_TRUE(QTest::qWaitFor([&] { return streamsOn("sink-inputs", sink) == 1; }, 30000)) << "the player stays";
        recording.runFor(6, switches.back());
    }
    const std::vector<float> samples = recording.stopAndDecode();
    const std::vector<double> tone = levelPerSecond(samples, 1000), voiceLevel = levelPerSecond(samples, 600);
    ASSERT_GE(tone.size(), 14u) << "seconds in the file";
    for (const std::size_t second : clearSeconds(tone.size(), switches)) {
        EXPECT_GT(tone[second], 0.04) << "system sound in second " << second << "; switches at " << switches[0]
                                      << " and " << switches[1] << " s; per second: " << levelsText(tone);
        EXPECT_GT(voiceLevel[second], 0.04) << "microphone in second " << second << ": " << levelsText(voiceLevel);
    }
}

// Another microphone chosen as the default input mid-recording, at another rate: the recording
// takes the voice from it from then on.
TEST(RecordingSound, TheMicrophoneFollowsTheDefaultInput)
{
    PulseDaemon pulse;
    ASSERT_TRUE(PulseDaemon::pactl({"set-default-source", "tarnwick_mic"}));
    ASSERT_TRUE(PulseDaemon::pactl({"load-module", "module-null-sink", "sink_name=tarnwick_headset_feed"}));
    ASSERT_TRUE(PulseDaemon::pactl({"load-module", "module-remap-source", "source_name=tarnwick_headset",
                                    "master=tarnwick_headset_feed.monitor", "rate=22050"}));
    const Player first(600, "tarnwick_mic_feed"), second(900, "tarnwick_headset_feed");
    platform::SerialQueue listenerQueue("listener");
    const auto input = PulseDaemon::promptListener(listenerQueue, RecordingAudioSource::microphone);

    SoundRecording recording(false, true);
    recording.start();
    recording.runFor(3, 0);
    ASSERT_TRUE(PulseDaemon::pactl({"set-default-source", "tarnwick_headset"}));
    const std::vector<double> switches{recording.model.elapsed()};
    recording.runFor(5, switches.back());
    const std::vector<float> samples = recording.stopAndDecode();
    const std::vector<double> before = levelPerSecond(samples, 600), after = levelPerSecond(samples, 900);
    ASSERT_GE(before.size(), 7u) << "seconds in the file";
    for (const std::size_t s : clearSeconds(before.size(), switches)) {
        const bool switched = static_cast<double>(s) > switches.back();
        EXPECT_GT(switched ? after[s] : before[s], 0.08)
            << "second " << s << " of a switch at " << switches.back() << " s; 600 Hz: " << levelsText(before)
            << "; 900 Hz: " << levelsText(after);
        EXPECT_LT(switched ? before[s] : after[s], 0.01) << "second " << s << " hears the other microphone";
    }
}

// Headphones switched to and then unplugged while they are the default: that loss ends the
// session with its sentence, as the loss of the first output does, and keeps the recording. So
// does a default input that only repeats an output, which is no microphone.
TEST(RecordingSound, ANewDefaultThatCannotBeRecordedEndsTheSession)
{
    struct Case {
        bool systemAudio; // else the microphone
        const char* sentence;
    };
    for (const Case& c : {Case{true, "Запись прервана: Запись системного звука прервана."},
                          Case{false, "Запись прервана: Запись микрофона прервана."}}) {
        SCOPED_TRACE(c.sentence);
        PulseDaemon pulse;
        ASSERT_TRUE(PulseDaemon::pactl({"set-default-source", "tarnwick_mic"}));
        const Player player(1000);
        SoundRecording recording(c.systemAudio, !c.systemAudio);
        recording.start();
        recording.runFor(2, 0);
        if (c.systemAudio) {
            QByteArray module;
            ASSERT_EQ(runProcess("pactl", {"load-module", "module-null-sink", "sink_name=tarnwick_headphones"}, &module), 0);
            ASSERT_TRUE(PulseDaemon::pactl({"set-default-sink", "tarnwick_headphones"}));
            ASSERT_TRUE(QTest::qWaitFor([] { return streamsOn("source-outputs", "tarnwick_headphones.monitor") == 1; }, 30000))
                << "the recording does not read from the new output";
            ASSERT_TRUE(PulseDaemon::pactl({"unload-module", QString::fromLatin1(module).trimmed()}));
        } else {
            ASSERT_TRUE(PulseDaemon::pactl({"set-default-source", "tarnwick_speakers.monitor"}));
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return recording.model.phase() == RecordingPhase::review; }, 60000))
            << "the session goes on without its source";
        EXPECT_EQ(recording.model.message().value_or(""), QString::fromUtf8(c.sentence));
        EXPECT_EQ(probe(recording.model.videoSource().value_or(""))["streams"].toArray().size(), 2);
    }
}
