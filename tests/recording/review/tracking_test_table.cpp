#include "TrackingClips.h"
#include "recording/review/VideoBlurTracking.h"

#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>
#include <iostream>
#include <map>

using namespace tarnwick;
using namespace tarnwick::review;
using namespace tarnwick::test;

// One box drawn on the first frame and «Отследить»: in every frame the blur hides the target,
// or the frame lies in a lost interval the user is shown.
TEST(VideoBlurTrackingTable, EveryFrameIsCoveredOrReportedLost)
{
    QTemporaryDir dir;
    const std::vector<TrackingCase> table = trackingTable();
    std::map<std::pair<TrackingTarget, int>, std::pair<TrackingClip, QString>> clips;
    for (const auto& c : table)
        if (!clips.count({c.target, c.speed})) {
            TrackingClip clip(c.target, c.speed);
            const QString file = clip.write(dir.filePath(QString("%1-%2.mp4").arg(int(c.target)).arg(c.speed)));
            clips.emplace(std::pair{c.target, c.speed}, std::pair{std::move(clip), file});
        }

    // The check itself: a box on the true path hides the target in every frame, and a box left
    // where it was drawn leaves it showing once it has moved off.
    for (const auto target : {TrackingTarget::text, TrackingTarget::squareOnTexture, TrackingTarget::squareOnFlat}) {
        const TrackingClip& clip = clips.at({target, 32}).first;
        VideoBlurRegion path = clip.region(true);
        for (int k = 1; k < TrackingClip::frames; ++k)
            path.keys.push_back({k / 30.0, TrackingClip::normalised(clip.target(k)), false});
        EXPECT_EQ(score(clip, path).covered, TrackingClip::frames) << targetName(target);
        EXPECT_GE(score(clip, clip.region(false)).exposed, TrackingClip::frames - 3) << targetName(target);
    }

    // Two cases at a time: each tracks on its own thread.
    std::vector<TrackingScore> scores(table.size());
    for (std::size_t i = 0; i < table.size(); i += 2) {
        std::vector<std::future<void>> running;
        for (std::size_t j = i; j < std::min(i + 2, table.size()); ++j)
            running.push_back(std::async(std::launch::async, [&, j] {
                const auto& [clip, file] = clips.at({table[j].target, table[j].speed});
                scores[j] = score(clip, VideoBlurTracking::track(file, clip.region(table[j].tight), {}, {}));
            }));
        for (auto& run : running)
            run.get();
    }

    int frames = 0, covered = 0;
    std::cout << "| target | box | px/frame | covered | lost | exposed |\n|---|---|---|---|---|---|\n";
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TrackingCase& c = table[i];
        const TrackingScore& s = scores[i];
        std::cout << "| " << targetName(c.target) << " | " << (c.tight ? "tight" : "8 px") << " | " << c.speed << " | "
                  << s.covered << "/" << s.frames << " | " << s.lost << " | " << s.exposed << " |\n";
        EXPECT_EQ(s.exposed, 0) << targetName(c.target) << (c.tight ? ", tight box, " : ", 8 px margin, ") << c.speed
                                << " px/frame: the target shows outside any lost interval";
        frames += s.frames;
        covered += s.covered;
    }
    std::cout << "covered " << covered << " of " << frames << " frames\n";
    EXPECT_GE(covered * 100, frames * 95) << "covered " << covered << " of " << frames << " frames";
}

// A target that vanishes for a while is reported lost from there; the box never wanders off over
// the page in its place.
TEST(VideoBlurTrackingTable, AVanishedTargetIsReportedLost)
{
    QTemporaryDir dir;
    for (const auto target : {TrackingTarget::text, TrackingTarget::squareOnTexture, TrackingTarget::squareOnFlat}) {
        SCOPED_TRACE(targetName(target));
        TrackingClip clip(target, 8);
        clip.hide(10, 15);
        const VideoBlurRegion tracked =
            VideoBlurTracking::track(clip.write(dir.filePath(QString("%1.mp4").arg(int(target)))), clip.region(false), {}, {});
        const TrackingScore s = score(clip, tracked);
        EXPECT_EQ(s.exposed, 0);
        EXPECT_GE(s.covered, 10) << "followed up to the frame it vanished";
        ASSERT_FALSE(tracked.gaps.empty());
        EXPECT_NEAR(tracked.gaps.front().start, 10 / 30.0, 1 / 60.0); // the first frame without it
    }
}
