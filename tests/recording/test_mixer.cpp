#include "recording/RecordingAudioMixer.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

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
