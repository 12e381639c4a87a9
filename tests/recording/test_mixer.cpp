#include "recording/RecordingAudioMixer.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

using namespace tarnwick;
using Source = RecordingAudioSource;

namespace {

// Stereo float at 48 kHz, so conversion leaves the samples as they are.
RecordingAudioBuffer constant(float value, int frames)
{
    RecordingAudioBuffer buffer{{3 /* AV_SAMPLE_FMT_FLT */, 48000, 2}, std::vector<std::uint8_t>(8 * frames), frames};
    auto* samples = reinterpret_cast<float*>(buffer.data.data());
    std::fill(samples, samples + 2 * frames, value);
    return buffer;
}

// Float at 48 kHz with one constant value a channel, each channel at its place.
RecordingAudioBuffer placed(const std::vector<int>& positions, const std::vector<float>& values, int frames)
{
    const auto channels = static_cast<int>(positions.size());
    RecordingAudioBuffer buffer{{3 /* AV_SAMPLE_FMT_FLT */, 48000, channels, positions},
                                std::vector<std::uint8_t>(4 * static_cast<std::size_t>(channels * frames)),
                                frames};
    auto* samples = reinterpret_cast<float*>(buffer.data.data());
    for (int i = 0; i < frames * channels; ++i)
        samples[i] = values[static_cast<std::size_t>(i % channels)];
    return buffer;
}

// Drains up to `frames` output frames; returns the interleaved samples handed out.
std::vector<float> drained(RecordingAudioMixer& mixer, std::int64_t frames, bool final = false)
{
    std::vector<float> out;
    mixer.drain(*mixer.origin() + frames / 48000.0, final, [] { return true; }, [&](RecordingPCMBuffer buffer) {
        out.insert(out.end(), buffer.samples.begin(), buffer.samples.end());
        return true;
    });
    return out;
}

} // namespace

TEST(RecordingAudioMixer, GainFollowsTheConfiguredSourcesAndSumsAreClamped)
{
    struct Case {
        std::set<Source> sources;
        std::vector<std::pair<Source, float>> deliveries;
        float expected;
    };
    const Case cases[] = {
        {{Source::system}, {{Source::system, 0.5f}}, 0.5f},
        {{Source::system, Source::microphone}, {{Source::system, 0.5f}}, 0.35f},
        {{Source::system, Source::microphone}, {{Source::system, 1.0f}, {Source::microphone, 1.0f}}, 1.0f},
        {{Source::system}, {{Source::microphone, 0.5f}}, 0.0f},
    };
    for (const Case& c : cases) {
        RecordingAudioMixer mixer(c.sources);
        mixer.setOrigin(10.0);
        for (const auto& [source, value] : c.deliveries)
            mixer.ingest(constant(value, 2048), source, 10.0);
        const std::vector<float> out = drained(mixer, 2048);
        ASSERT_EQ(out.size(), 4096u);
        EXPECT_FLOAT_EQ(out[200], c.expected);
        EXPECT_FLOAT_EQ(out[4095], c.expected);
    }
}

TEST(RecordingAudioMixer, KeepsTheNewest64BuffersUntilTheOriginAndDropsEarlierFrames)
{
    RecordingAudioMixer mixer({Source::system});
    // 70 buffers of 1 ms, 30 ms apart: each one re-anchors at its own time.
    for (int i = 0; i < 70; ++i)
        mixer.ingest(constant(i / 100.0f, 48), Source::system, 9.0 + i * 0.03);
    mixer.setOrigin(9.0 + 6 * 0.03 + 0.0005); // 24 frames into buffer 6; buffers 0 to 5 were dropped
    const std::vector<float> out = drained(mixer, 4096);
    EXPECT_FLOAT_EQ(out[0], 0.06f);
    EXPECT_FLOAT_EQ(out[2 * 23], 0.06f);
    EXPECT_FLOAT_EQ(out[2 * 24], 0.0f);
    EXPECT_FLOAT_EQ(out[2 * (1440 - 24)], 0.07f);
}

TEST(RecordingAudioMixer, SmallSlipsContinueTheStreamAndGapsReanchor)
{
    RecordingAudioMixer mixer({Source::microphone});
    mixer.setOrigin(0.0);
    mixer.ingest(constant(0.1f, 480), Source::microphone, 0.0);
    mixer.ingest(constant(0.2f, 480), Source::microphone, 0.03);  // 20 ms late: continues at frame 480
    mixer.ingest(constant(0.3f, 480), Source::microphone, 0.1);   // 60 ms late: anchored at frame 4800
    mixer.ingest(constant(0.4f, 480), Source::microphone, 0.095); // 15 ms early: continues and overlaps nothing
    const std::vector<float> out = drained(mixer, 6144);
    EXPECT_FLOAT_EQ(out[2 * 480], 0.2f);
    EXPECT_FLOAT_EQ(out[2 * 960], 0.0f);
    EXPECT_FLOAT_EQ(out[2 * 4800], 0.3f);
    EXPECT_FLOAT_EQ(out[2 * 5280], 0.4f);
    // A gap backwards adds onto what is already there.
    mixer.ingest(constant(0.25f, 480), Source::microphone, 0.16);
    mixer.ingest(constant(0.5f, 2400), Source::microphone, 0.14);
    const std::vector<float> more = drained(mixer, 9216, true);
    EXPECT_FLOAT_EQ(more[2 * (7680 - 6144)], 0.75f);
    EXPECT_FLOAT_EQ(more[2 * (6720 - 6144)], 0.5f);
}

TEST(RecordingAudioMixer, DrainsWholeBlocksThenThePartialOneOnlyAtTheEnd)
{
    RecordingAudioMixer mixer({Source::system});
    mixer.setOrigin(1.0);
    mixer.ingest(constant(0.5f, 1023), Source::system, 1.0 + 1024 / 48000.0); // block 0 stays silent
    EXPECT_EQ(drained(mixer, 2047), std::vector<float>(2048, 0.0f));
    EXPECT_EQ(mixer.nextFrame(), 1024);
    EXPECT_FALSE(mixer.drain(1.0 + 2047 / 48000.0, true, [] { return false; }, [](RecordingPCMBuffer) { return true; }));
    EXPECT_EQ(mixer.nextFrame(), 1024);
    const std::vector<float> last = drained(mixer, 2047, true);
    EXPECT_EQ(last, std::vector<float>(2046, 0.5f));
    EXPECT_EQ(test::errorOf([&] { mixer.drain(1.1, true, [] { return true; }, [](RecordingPCMBuffer) { return false; }); }),
              "Не удалось записать аудиодорожку.");
}

TEST(RecordingAudioMixer, RefusesAudioTwoSecondsAheadAndEmptyBuffers)
{
    RecordingAudioMixer mixer({Source::system});
    mixer.setOrigin(0.0);
    EXPECT_EQ(test::errorOf([&] { mixer.ingest(constant(0.1f, 480), Source::system, 2.0); }),
              "Кодирование звука отстаёт от записи. Проверьте нагрузку на компьютер и свободное место.");
    RecordingAudioBuffer unknown = constant(0.1f, 480);
    unknown.format.sampleFormat = 8; // planar float
    EXPECT_EQ(test::errorOf([&] { mixer.ingest(unknown, Source::system, 0.0); }), "Неизвестный формат входящего звука.");
    EXPECT_EQ(test::errorOf([] { RecordingPCM::sampleBuffer({0.5f}, 0, 2, 48000); }), "Пустой звуковой буфер.");
}

// Every output layout a sound server offers: a channel is heard on its own side (centre, LFE and
// unnamed ones on both alike), and all channels at once sum to no more than one channel alone.
TEST(RecordingAudioMixer, MixesEveryLayoutDownByPlaceWithoutPassingTheLoudestChannel)
{
    constexpr int FL = AV_CHAN_FRONT_LEFT, FR = AV_CHAN_FRONT_RIGHT, FC = AV_CHAN_FRONT_CENTER,
                  LFE = AV_CHAN_LOW_FREQUENCY, BL = AV_CHAN_BACK_LEFT, BR = AV_CHAN_BACK_RIGHT, SL = AV_CHAN_SIDE_LEFT,
                  SR = AV_CHAN_SIDE_RIGHT, BC = AV_CHAN_BACK_CENTER, AUX = AV_CHAN_UNKNOWN;
    const auto side = [&](int position) {
        return position == FL || position == BL || position == SL ? -1 : position == FR || position == BR || position == SR ? 1 : 0;
    };
    const std::vector<std::vector<int>> layouts = {
        {FC},           {FL, FR},       {FL, FR, LFE}, {FL, FR, BL, BR}, {FL, FR, BL, BR, FC, LFE},
        {FL, FR, BL, BR, FC, LFE, SL, SR}, {FC, BC}, {AUX, AUX, AUX, AUX}, std::vector<int>(16, AUX),
    };
    for (const std::vector<int>& positions : layouts) {
        const std::size_t count = positions.size();
        SCOPED_TRACE(testing::PrintToString(positions));
        for (std::size_t played = 0; played < count; ++played) {
            std::vector<float> values(count, 0.0f);
            values[played] = 0.8f;
            RecordingAudioMixer mixer({Source::system});
            mixer.setOrigin(0.0);
            mixer.ingest(placed(positions, values, 2048), Source::system, 0.0);
            const std::vector<float> out = drained(mixer, 2048);
            ASSERT_EQ(out.size(), 4096u);
            const float left = out[2000], right = out[2001];
            SCOPED_TRACE(testing::Message() << "channel " << played << ": " << left << " left, " << right << " right");
            EXPECT_LE(std::max(left, right), 0.8f + 1e-6f);
            switch (side(positions[played])) {
            case -1:
                EXPECT_GT(left, 0.05f);
                EXPECT_EQ(right, 0.0f);
                break;
            case 1:
                EXPECT_EQ(left, 0.0f);
                EXPECT_GT(right, 0.05f);
                break;
            default:
                EXPECT_GT(left, 0.04f);
                EXPECT_FLOAT_EQ(left, right);
            }
        }
        RecordingAudioMixer mixer({Source::system});
        mixer.setOrigin(0.0);
        mixer.ingest(placed(positions, std::vector<float>(count, 0.9f), 2048), Source::system, 0.0);
        const std::vector<float> out = drained(mixer, 2048);
        EXPECT_NEAR(std::max(out[2000], out[2001]), 0.9f, 1e-5f) << "all channels at once";
        EXPECT_LE(std::min(out[2000], out[2001]), 0.9f + 1e-6f);
    }
}

// An output that changes its layout but not its channel count under a running recording is
// mixed by its new places from its next buffer on; places that do not match the count are refused.
TEST(RecordingAudioMixer, FollowsANewLayoutOfTheSameWidthAndRefusesPlacesThatDoNotFit)
{
    RecordingAudioMixer mixer({Source::system});
    mixer.setOrigin(0.0);
    const std::vector<float> thirdOnly{0.0f, 0.0f, 0.6f, 0.0f};
    mixer.ingest(placed({AV_CHAN_FRONT_LEFT, AV_CHAN_FRONT_RIGHT, AV_CHAN_BACK_LEFT, AV_CHAN_BACK_RIGHT}, thirdOnly, 1024),
                 Source::system, 0.0);
    mixer.ingest(placed({AV_CHAN_FRONT_LEFT, AV_CHAN_FRONT_RIGHT, AV_CHAN_FRONT_CENTER, AV_CHAN_BACK_CENTER}, thirdOnly, 1024),
                 Source::system, 1024 / 48000.0);
    const std::vector<float> out = drained(mixer, 2048);
    EXPECT_GT(out[1000], 0.1f);
    EXPECT_EQ(out[1001], 0.0f) << "a rear left channel is heard on the left only";
    EXPECT_GT(out[2048 + 1000], 0.1f);
    EXPECT_FLOAT_EQ(out[2048 + 1000], out[2048 + 1001]) << "a centre channel is heard on both sides";

    RecordingAudioBuffer mismatched = placed({AV_CHAN_FRONT_LEFT, AV_CHAN_FRONT_RIGHT}, {0.1f, 0.1f}, 480);
    mismatched.format.positions.pop_back();
    EXPECT_EQ(test::errorOf([&] { mixer.ingest(mismatched, Source::system, 2048 / 48000.0); }),
              "Неизвестный формат входящего звука.");
}
