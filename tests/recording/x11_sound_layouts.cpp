#include "SoundRecording.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// One tone a channel, told apart by frequency (multiples of 10 Hz, none a harmonic of another).
const std::vector<int> frequencies{510, 630, 770, 910, 1070, 1230, 1390, 1550};

// A player of one tone a channel in the channel map `places` (pacat's names), each at `level`,
// into `sink` or, without one, into the default sink, moved along by the server when the default
// changes. ffmpeg makes the tones ahead into the pipe and pacat plays them in that map, with a
// buffer that outlasts a busy machine's stalls: a hole in the tone would be a click in the file.
// It plays until it goes.
class TonePlayer {
public:
    TonePlayer(const QStringList& places, double level, const QString& sink = {})
    {
        QStringList tones;
        for (qsizetype i = 0; i < places.size(); ++i)
            tones << QString("%1*sin(2*PI*%2*t)").arg(level).arg(frequencies[static_cast<std::size_t>(i)]);
        tones_.setStandardOutputProcess(&player_);
        QStringList arguments{"--raw", "--format=float32le", "--rate=48000",
                              "--channels=" + QString::number(places.size()), "--channel-map=" + places.join(u','),
                              "--latency-msec=400"};
        if (!sink.isEmpty())
            arguments << "--device=" + sink;
        player_.start("pacat", arguments);
        tones_.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "aevalsrc=exprs=" + tones.join(u'|') + ":s=48000",
                                "-t", "120", "-f", "f32le", "-"});
        player_.waitForStarted();
        tones_.waitForStarted();
    }
    ~TonePlayer()
    {
        for (QProcess* process : {&tones_, &player_}) {
            process->kill();
            process->waitForFinished();
        }
    }
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

private:
    QProcess tones_, player_;
};

// -1 for a place on the left, 1 on the right, 0 for one on neither (centre, LFE, mono).
int sideOf(const QString& place) { return place.contains("left") ? -1 : place.contains("right") ? 1 : 0; }

// Loads a null sink in `places` as `name` and makes it the default output.
void addDefaultSink(const QString& name, const QStringList& places)
{
    ASSERT_TRUE(PulseDaemon::pactl({"load-module", "module-null-sink", "sink_name=" + name,
                                    "channels=" + QString::number(places.size()), "channel_map=" + places.join(u',')}));
    ASSERT_TRUE(PulseDaemon::pactl({"set-default-sink", name}));
}

// Checks the recording's stereo `samples` in each of `seconds`: the tone of each of `places` is
// heard on that place's side, the other side at most `apart` times as loud (for a place on
// neither side, both sides alike), and never louder than `level`, the level each was played at.
// Nor do the tones on a side add up past `level`: the loudest their sum can swing. (A sample's
// own peak says less, as AAC rings round a pure tone by up to half its level.) And no sample of
// the file touches full scale.
void expectOnTheirSides(const std::vector<float>& samples, const QStringList& places, double level, double apart,
                        const std::vector<std::size_t>& seconds)
{
    constexpr double tolerance = 1.05;
    std::vector<float> sides[2];
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2)
        for (std::size_t side = 0; side < 2; ++side)
            sides[side].push_back(samples[i + side]);
    std::vector<double> sums[2];
    for (qsizetype channel = 0; channel < places.size(); ++channel) {
        const int frequency = frequencies[static_cast<std::size_t>(channel)], side = sideOf(places[channel]);
        const std::vector<double> left = levelPerSecond(sides[0], frequency), right = levelPerSecond(sides[1], frequency);
        SCOPED_TRACE(testing::Message() << places[channel].toStdString() << " at " << frequency << " Hz: left "
                                        << levelsText(left) << "; right " << levelsText(right));
        for (const std::size_t s : seconds) {
            const double own = side < 0 ? left[s] : side > 0 ? right[s] : std::min(left[s], right[s]);
            const double other = side < 0 ? right[s] : side > 0 ? left[s] : std::max(left[s], right[s]);
            EXPECT_GT(own, 0.04) << "second " << s;
            EXPECT_LT(other, side == 0 ? own * 1.15 : own * apart) << "second " << s;
            EXPECT_LE(std::max(left[s], right[s]), level * tolerance) << "second " << s;
        }
        for (std::size_t side = 0; side < 2; ++side) {
            const std::vector<double>& levels = side == 0 ? left : right;
            sums[side].resize(levels.size());
            for (std::size_t s = 0; s < levels.size(); ++s)
                sums[side][s] += levels[s];
        }
    }
    for (const std::size_t s : seconds)
        EXPECT_LE(std::max(sums[0][s], sums[1][s]), level * tolerance)
            << "the tones together in second " << s << ": left " << levelsText(sums[0]) << "; right " << levelsText(sums[1]);
    const auto clipped = std::count_if(samples.begin(), samples.end(), [](float x) { return std::abs(x) >= 0.99f; });
    EXPECT_EQ(clipped, 0) << "samples at full scale of " << samples.size();
}

struct Layout {
    const char* name;
    QStringList places;
    friend void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }
};

class RecordingSoundLayout : public testing::TestWithParam<Layout> {};

const QStringList surround51{"front-left", "front-right", "rear-left", "rear-right", "front-center", "lfe"};

} // namespace

// An output of each common layout is the default, a tone plays in each of its channels at once:
// the recording keeps each on its side at no more than its level, and their sum unclipped.
TEST_P(RecordingSoundLayout, KeepsEveryChannelOnItsSideAtNoMoreThanItsLevel)
{
    const Layout& layout = GetParam();
    PulseDaemon pulse;
    ASSERT_NO_FATAL_FAILURE(addDefaultSink("tarnwick_layout", layout.places));
    constexpr double level = 0.4;
    const TonePlayer player(layout.places, level, "tarnwick_layout");
    platform::SerialQueue listenerQueue("listener");
    const auto listener = PulseDaemon::promptListener(listenerQueue);

    SoundRecording recording(true, false);
    recording.start();
    recording.runFor(5, 0);
    const std::vector<float> samples = recording.stopAndDecode(2);
    ASSERT_GE(samples.size(), 5u * 96000) << "seconds of stereo in the file";
    expectOnTheirSides(samples, layout.places, level, 0.1, clearSeconds(samples.size() / 96000, {}));
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RecordingSoundLayout,
    testing::Values(Layout{"Mono", {"mono"}}, Layout{"Stereo", {"front-left", "front-right"}},
                    Layout{"Surround21", {"front-left", "front-right", "lfe"}},
                    Layout{"Quad40", {"front-left", "front-right", "rear-left", "rear-right"}},
                    Layout{"Surround51", surround51},
                    Layout{"Surround71", surround51 + QStringList{"side-left", "side-right"}}),
    [](const testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

// A stereo player just short of half scale, on a 5.1 output from the start and moved to one from
// a stereo output mid-recording: the server spreads it over the six channels, and the recording
// brings each side back to its side without clipping.
TEST(RecordingSound, AStereoPlayerOnASurroundOutputKeepsItsSidesUnclipped)
{
    const QStringList stereo{"front-left", "front-right"};
    constexpr double level = 0.495;
    for (const bool switched : {false, true}) {
        SCOPED_TRACE(switched ? "switched to 5.1 mid-recording" : "5.1 from the start");
        PulseDaemon pulse;
        if (!switched) {
            ASSERT_NO_FATAL_FAILURE(addDefaultSink("tarnwick_surround", surround51));
        }
        const TonePlayer player(stereo, level);
        platform::SerialQueue listenerQueue("listener");
        const auto listener = PulseDaemon::promptListener(listenerQueue);

        SoundRecording recording(true, false);
        recording.start();
        std::vector<double> switches;
        if (switched) {
            recording.runFor(3, 0);
            ASSERT_NO_FATAL_FAILURE(addDefaultSink("tarnwick_surround", surround51));
            switches.push_back(recording.model.elapsed());
            ASSERT_TRUE(QTest::qWaitFor([] { return streamsOn("sink-inputs", "tarnwick_surround") == 1; }, 30000))
                << "the player stays";
            ASSERT_TRUE(QTest::qWaitFor([] { return streamsOn("source-outputs", "tarnwick_surround.monitor") == 2; }, 30000))
                << "the recording follows";
        }
        recording.runFor(5, switches.empty() ? 0 : switches.back());
        const std::vector<float> samples = recording.stopAndDecode(2);
        ASSERT_GE(samples.size(), 5u * 96000) << "seconds of stereo in the file";
        const std::vector<std::size_t> seconds = clearSeconds(samples.size() / 96000, switches);
        if (switched) {
            ASSERT_TRUE(std::any_of(seconds.begin(), seconds.end(), [&](std::size_t s) { return s > switches[0]; }))
                << "no clear second after the switch at " << switches[0] << " s";
        }
        // The server puts some of each side into the centre channel, which plays on both.
        expectOnTheirSides(samples, stereo, level, 0.33, seconds);
    }
}
