#include "SmallDisk.h"
#include "platform/TarnwickError.h"
#include "recording/review/VideoBlurExport.h"
#include "review/TrackingClips.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {
const char* const diskVariable = "TARNWICK_TEST_FULL_BLUR_DISK";
} // namespace

// The working folder of a save runs out of room while the blurred video is written into it: the
// save says the disk is full, as the other saves do, and leaves no part of the file there.
TEST(RecordingSafety, ABlurredSaveOntoAFullWorkingDiskSaysTheDiskIsFull)
{
    const QString disk = qEnvironmentVariable(diskVariable);
    if (disk.isEmpty()) {
        // The parent: the test again, in a child with a disk less than the video needs; too small
        // for its pictures, or only for the copy that puts the index in front.
        for (const int kilobytes : {16, 96}) {
            QTemporaryDir dir;
            EXPECT_EQ(runTestOnSmallDisk(dir, dir.filePath("disk"), kilobytes, diskVariable), 0)
                << kilobytes << " KB: the run on the small disk failed " << refusalIn(dir).toStdString();
        }
        return;
    }
    QTemporaryDir sources; // beside the small disk, not on it
    // Two seconds of a busy picture: more than the muxer holds back before it writes.
    const TrackingClip clip(TrackingCase{TrackingTarget::squareOnTexture, false, 5, 4, 80, 20, 1, 60});
    const QString source = clip.write(sources.filePath("recording.mp4"));
    review::VideoBlurRegion region = clip.region(false);
    region.pending.clear();
    region.tracked = true;

    const QString prepared = QDir(disk).filePath("Export.mp4");
    try {
        review::VideoBlurExport::prepare(source, {clip.frames() / 30.0, 0, clip.frames() / 30.0}, {region}, prepared);
        ADD_FAILURE() << "the blurred video fitted on the full disk";
    } catch (const TarnwickError& error) {
        EXPECT_TRUE(error.errorDescription().endsWith(": на диске нет места.")) << error.errorDescription().toStdString();
    }
    EXPECT_EQ(QDir(disk).entryList(QDir::Files), QStringList()) << "a part of the video was left";
}
