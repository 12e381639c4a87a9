#pragma once

#include "PulseDaemon.h"
#include "RecordingTestSupport.h"
#include "recording/ScreenRecordingController.h"

#include <QProcess>
#include <QSettings>
#include <gtest/gtest.h>

// What the tests of a recording's sound share: desktop players, the server's listings, a
// recording session with sound, and the level of a tone through a file.
namespace tarnwick::test {

using recording::RecordingPhase;
using recording::RecordingUIModel;
using recording::ScreenRecordingController;

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
inline QList<QStringList> listed(const QString& what)
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
inline QString indexOf(const QString& what, const QString& name)
{
    for (const QStringList& row : listed(what))
        if (row.size() > 1 && row[1] == name)
            return row[0];
    return QStringLiteral("none");
}

// How many streams play into sink `sink` ("sink-inputs") or read from source `source` ("source-outputs").
inline int streamsOn(const QString& what, const QString& device)
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
inline std::vector<double> levelPerSecond(const std::vector<float>& samples, int frequency)
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

inline std::string levelsText(const std::vector<double>& levels)
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
    // Ends the recording; its sound decoded as mono, or interleaved in `channels`.
    std::vector<float> stopAndDecode(int channels = 1)
    {
        model.stopAction();
        EXPECT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::review; }, 60000));
        EXPECT_EQ(model.message().value_or(""), QString()) << "the session ended on its own";
        return decodedAudio(model.videoSource().value_or(""), channels);
    }

    const bool sources; // chosen before the session reads the settings
    ScreenRecordingController controller{&settings, [] { return true; }, services};
    RecordingUIModel& model = controller.model();
};

// The whole seconds of a file `count` seconds long, but its first and last, that lie clear of every
// switch: a switch may leave a gap of silence of a moment, and the elapsed time is the file's time
// only to a fraction of a second.
inline std::vector<std::size_t> clearSeconds(std::size_t count, const std::vector<double>& switches)
{
    std::vector<std::size_t> seconds;
    for (std::size_t second = 1; second + 1 < count; ++second) {
        const auto near = [second](double at) { return double(second) + 1 > at - 1 && double(second) < at + 2; };
        if (std::none_of(switches.begin(), switches.end(), near))
            seconds.push_back(second);
    }
    return seconds;
}

} // namespace tarnwick::test
