#include "PulseDaemon.h"
#include "RecordingTestSupport.h"
#include "recording/ScreenRecordingController.h"
#include "support/X11Client.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

namespace {

// A desktop player: a sine tone into `sink`, or into whatever sink is the default, moved along
// by the server when the default changes. Its short buffer keeps a null sink rendering promptly,
// as a sound card does. It plays until it goes.
class Player {
public:
    explicit Player(int frequency, const QString& sink = {})
    {
        const QStringList device = sink.isEmpty() ? QStringList() : QStringList{"-device", sink};
        process_.start("ffmpeg", QStringList{"-v", "error", "-re", "-f", "lavfi", "-i",
                                             QString("sine=frequency=%1:sample_rate=44100").arg(frequency), "-t",
                                             "60", "-f", "pulse", "-buffer_duration", "50"}
                                     + device + QStringList{"tone"});
        process_.waitForStarted();
    }
    ~Player()
    {
        process_.kill();
        process_.waitForFinished();
    }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

private:
    QProcess process_;
};

// pactl's short listing of `what` ("sinks", "sink-inputs", ...), one row of fields a line.
QList<QStringList> listed(const QString& what)
{
    QProcess pactl;
    pactl.start("pactl", {"list", "short", what});
    pactl.waitForFinished(5000);
    QList<QStringList> rows;
    for (const QString& line : QString::fromUtf8(pactl.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        rows << line.split(u'\t');
    return rows;
}

// The index of the sink or source named `name`, as the second column of other listings gives it.
QString indexOf(const QString& what, const QString& name)
{
    for (const QStringList& row : listed(what))
        if (row.size() > 1 && row[1] == name)
            return row[0];
    return QStringLiteral("none");
}

// How many streams play into sink `sink` ("sink-inputs") or read from source `source` ("source-outputs").
int streamsOn(const QString& what, const QString& device)
{
    const QString index = indexOf(what == "sink-inputs" ? "sinks" : "sources", device);
    int count = 0;
    for (const QStringList& row : listed(what))
        count += row.size() > 1 && row[1] == index;
    return count;
}

// The amplitude of a `frequency` Hz sine (a multiple of 10) in each whole second of `samples`
// (48 kHz): the mean over its tenths, so that a jump of phase, where the sound was cut for a
// moment, takes nothing from the tenths around it.
std::vector<double> levelPerSecond(const std::vector<float>& samples, int frequency)
{
    constexpr std::size_t tenth = 4800;
    std::vector<double> levels;
    for (std::size_t second = 0; second + 48000 <= samples.size(); second += 48000) {
        double sum = 0;
        for (std::size_t from = second; from < second + 48000; from += tenth) {
            double re = 0, im = 0;
            for (std::size_t i = 0; i < tenth; ++i) {
                re += samples[from + i] * std::cos(2 * M_PI * frequency * static_cast<double>(i) / 48000);
                im += samples[from + i] * std::sin(2 * M_PI * frequency * static_cast<double>(i) / 48000);
            }
            sum += 2 * std::hypot(re, im) / tenth;
        }
        levels.push_back(sum / 10);
    }
    return levels;
}

std::string levelsText(const std::vector<double>& levels)
{
    std::string text;
    for (double level : levels)
        text += QString::number(level, 'f', 3).toStdString() + " ";
    return text;
}

// A recording of a small area with the sound sources the test names, its own PulseAudio beside it.
struct SoundRecording : AreaRecording {
    SoundRecording(bool systemAudio, bool microphone)
        : AreaRecording(QRectF(0, 0, 320, 240)), sources(choose(settings, systemAudio, microphone))
    {
    }
    static bool choose(QSettings& settings, bool systemAudio, bool microphone)
    {
        settings.setValue("recordingSystemAudio", systemAudio);
        settings.setValue("recordingMicrophone", microphone);
        return systemAudio || microphone;
    }
    void start()
    {
        controller.present();
        model.startAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::recording; }, 30000))
            << model.message().value_or("").toStdString();
    }
    // Waits until the recording has run `seconds` since `from` (seconds into it); returns where it is.
    double runFor(double seconds, double from)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return model.elapsed() >= from + seconds; }, 60000));
        return model.elapsed();
    }
    std::vector<float> stopAndDecode()
    {
        model.stopAction();
        EXPECT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::review; }, 60000));
        EXPECT_EQ(model.message().value_or(""), QString()) << "the session ended on its own";
        return decodedAudio(model.videoSource().value_or(""));
    }

    const bool sources; // chosen before the session reads the settings
    ScreenRecordingController controller{&settings, [] { return true; }, services};
    RecordingUIModel& model = controller.model();
};

// The whole seconds of a file `count` seconds long, but its first and last, that lie clear of every
// switch: a switch may leave a gap of silence of a moment, and the elapsed time is the file's time
// only to a fraction of a second.
std::vector<std::size_t> clearSeconds(std::size_t count, const std::vector<double>& switches)
{
    std::vector<std::size_t> seconds;
    for (std::size_t second = 1; second + 1 < count; ++second) {
        const auto near = [second](double at) { return double(second) + 1 > at - 1 && double(second) < at + 2; };
        if (std::none_of(switches.begin(), switches.end(), near))
            seconds.push_back(second);
    }
    return seconds;
}

} // namespace

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
