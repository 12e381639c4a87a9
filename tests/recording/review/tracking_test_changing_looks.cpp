#include "TrackingTable.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::review;
using namespace tarnwick::test;

// A card, a phone or a face turned a little, or brought closer, while it moves: in every frame
// the blur hides all of the target but its last per cent, or the frame lies in a lost interval
// the user is shown, from the first frame it shows in.
TEST(VideoBlurTrackingTable, ATurningOrGrowingTargetIsCoveredOrReportedLost)
{
    const std::vector<TrackingCase> table = changingLookTable();
    const Clips clips(table);

    // The check itself: a box that keeps the target's first size on its path leaves the turned or
    // grown corners showing; a box as large as the target's whole extent hides them.
    for (const TrackingCase& c : {table.front(), table.back()}) {
        SCOPED_TRACE(caseName(c));
        const TrackingClip& clip = clips.clip(c);
        VideoBlurRegion kept = clip.region(true), whole = clip.region(true);
        const QRectF first = TrackingClip::normalised(clip.target(0));
        for (int k = 1; k < clip.frames(); ++k) {
            const QRectF extent = TrackingClip::normalised(clip.target(k));
            kept.keys.push_back({k / 30.0, first.translated(extent.center() - first.center()), false});
            whole.keys.push_back({k / 30.0, extent, false});
        }
        EXPECT_GE(exposure(clip, kept).exposed, clip.frames() / 2);
        EXPECT_EQ(exposure(clip, whole).exposed, 0);
    }

    std::vector<TrackingScore> scores;
    const std::vector<VideoBlurRegion> results = trackAll(clips, table, scores);
    std::cout << "| case | lost frames | exposed frames | most shown |\n|---|---|---|---|\n";
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ExposureScore shown = exposure(clips.clip(table[i]), results[i]);
        std::cout << "| " << caseName(table[i]) << " | " << shown.lost << "/" << shown.frames << " | "
                  << shown.exposed << " | " << shown.worst * 100 << " % |\n";
        QStringList frames;
        for (const int k : shown.exposedFrames)
            frames << QString::number(k);
        EXPECT_EQ(shown.exposed, 0) << caseName(table[i]) << ": up to " << shown.worst * 100
                                    << " % of the target outside the blur and outside any lost interval in frames "
                                    << frames.join(' ').toStdString();
    }
}
