#include "recording/review/VideoBlurRegion.h"

#include <gtest/gtest.h>

using namespace tarnwick::review;

namespace {
VideoBlurRegion regionWith(std::vector<VideoBlurKey> keys, double start = 0, double end = 10)
{
    VideoBlurRegion r;
    r.start = start;
    r.end = end;
    r.keys = std::move(keys);
    return r;
}
} // namespace

TEST(VideoBlurRegion, InterpolatesClampsAndCombinesIntervals)
{
    const QRectF a(0, 0, 0.2, 0.2), b(0.4, 0.2, 0.4, 0.6), c(0.9, 0.9, 0.1, 0.1);
    EXPECT_EQ(regionWith({}).rect(3), QRectF(0, 0, 0, 0));
    const VideoBlurRegion r = regionWith({{1, a, true}, {3, b, false}, {5, a, true}, {5, c, false}});
    struct Case {
        double t;
        QRectF expected;
    };
    for (const Case& k : {Case{0, a}, Case{1, a}, Case{2, QRectF(0.2, 0.1, 0.3, 0.4)}, Case{5, c}, Case{9, c}})
        EXPECT_EQ(r.rect(k.t), k.expected) << k.t;
    EXPECT_EQ(regionWith({{1, a, true}, {1, c, true}}).rect(1), a);

    EXPECT_EQ(VideoBlurRegion::clamp(QRectF(-0.1, 0.9, 0.3, 0.3)), QRectF(0, 0.7, 0.3, 0.3));
    EXPECT_EQ(VideoBlurRegion::clamp(QRectF(0.5, 0.5, -0.2, 0)), QRectF(0.3, 0.5, 0.2, 0.005));
    EXPECT_EQ(VideoBlurRegion::clamp(QRectF(0.3, 0, 1.5, 0.1)), QRectF(0, 0, 1, 0.1));

    EXPECT_EQ(VideoBlurRegion::merged({{2, 3}, {0, 1}, {1.00005, 1.5}, {4, 4}}),
              (std::vector<VideoBlurGap>{{0, 1.5}, {2, 3}}));
    EXPECT_EQ(VideoBlurRegion::subtract({2, 3}, {{0, 2}, {2.5, 4}, {1, 5}}),
              (std::vector<VideoBlurGap>{{0, 2}, {3, 4}, {1, 2}, {3, 5}}));
}

TEST(VideoBlurRegion, CorrectionsAndIntervalChangesMarkWhatMustBeTrackedAgain)
{
    const QRectF a(0.1, 0.1, 0.2, 0.2), b(0.5, 0.5, 0.2, 0.2), n(0.3, 0.3, 0.1, 0.1);
    VideoBlurRegion r = regionWith({{0, a, true}, {2, a, false}, {4, b, false}, {6, b, true}, {8, b, false}});
    r.gaps = {{3, 5}, {7, 9}};
    r.tracked = r.acceptedGaps = true;
    r.correct(n, 4);
    // lo: the later of the manual key at 0 and the lost interval's start 3; hi: the manual key at 6.
    EXPECT_EQ(r.pending, (std::vector<VideoBlurGap>{{3, 6}}));
    EXPECT_EQ(r.gaps, (std::vector<VideoBlurGap>{{7, 9}}));
    EXPECT_FALSE(r.tracked || r.acceptedGaps);
    std::vector<double> times;
    for (const auto& k : r.keys)
        times.push_back(k.time);
    EXPECT_EQ(times, (std::vector<double>{0, 2, 3, 4, 6, 8}));
    EXPECT_EQ(r.rect(3), QRectF(0.3, 0.3, 0.2, 0.2)) << "the path before lo is kept";
    EXPECT_EQ(r.rect(4), n);

    r.correct(b, 4.01); // within 1/60 s: replaces the manual key
    EXPECT_EQ(r.manualKeys().size(), 3u);
    r.correct(a, 20); // outside: placed at the end
    EXPECT_EQ(r.manualKeys().back().time, 10);

    r.setInterval(4.5, 5.5);
    ASSERT_EQ(r.keys.size(), 1u);
    EXPECT_TRUE(r.keys[0].manual);
    EXPECT_EQ(r.keys[0].time, 4.5);
    EXPECT_EQ(r.pending, (std::vector<VideoBlurGap>{{4.5, 5.5}}));
    EXPECT_TRUE(r.gaps.empty());
}
