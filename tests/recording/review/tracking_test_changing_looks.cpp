#include "TrackingTable.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::review;
using namespace tarnwick::test;

namespace {

// The check itself: a box that keeps the target's first size on its path leaves the changed
// corners showing in at least `share` of the frames; a box as large as the target's whole extent
// hides them.
void expectTheCheckSeesTheChange(const Clips& clips, const TrackingCase& c, double share)
{
    SCOPED_TRACE(caseName(c));
    const TrackingClip& clip = clips.clip(c);
    VideoBlurRegion kept = clip.region(true), whole = clip.region(true);
    const QRectF first = TrackingClip::normalised(clip.target(0));
    for (int k = 1; k < clip.frames(); ++k) {
        const QRectF extent = TrackingClip::normalised(clip.target(k));
        kept.keys.push_back({k / 30.0, first.translated(extent.center() - first.center()), false});
        whole.keys.push_back({k / 30.0, extent, false});
    }
    EXPECT_GE(exposure(clip, kept).exposed, int(clip.frames() * share));
    EXPECT_EQ(exposure(clip, whole).exposed, 0);
}

// One box drawn on the first frame and «Отследить»: in every frame the blur hides all of the
// target but its last per cent, or the frame lies in a lost interval the user is shown.
void expectEveryFrameCoveredOrReported(const Clips& clips, const std::vector<TrackingCase>& table)
{
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

} // namespace

// A card, a phone or a face turned a little, or brought closer, while it moves: covered or
// reported from the first frame it shows in.
TEST(VideoBlurTrackingTable, ATurningOrGrowingTargetIsCoveredOrReportedLost)
{
    const std::vector<TrackingCase> table = changingLookTable();
    const Clips clips(table);
    for (const TrackingCase& c : {table.front(), table.back()})
        expectTheCheckSeesTheChange(clips, c, 0.5);
    expectEveryFrameCoveredOrReported(clips, table);
}

// A card held up to the camera and leaning back, a line of text leaning, a plain card coming
// closer: the near edge of a leaning card widens while the card as a whole narrows.
TEST(VideoBlurTrackingTable, ATiltedOrGrowingTargetOnAFlatPageIsCoveredOrReportedLost)
{
    const std::vector<TrackingCase> table = tiltingTable();
    const Clips clips(table);
    for (const TrackingCase& c : {table[0], table[1], table[2], table[3]})
        expectTheCheckSeesTheChange(clips, c, 0.4);
    expectEveryFrameCoveredOrReported(clips, table);
}

// Leaning sideways, slanting, leaning while moving fast, on a busy page, small and plain.
TEST(VideoBlurTrackingTable, EveryChangeOfShapeIsCoveredOrReportedLost)
{
    const std::vector<TrackingCase> table = shapeSweepTable();
    const Clips clips(table);
    expectEveryFrameCoveredOrReported(clips, table);
}
