#include "RecordingTestSupport.h"
#include "recording/RecordingEncoder.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>
#include <vector>
#include <sys/resource.h>

using namespace tarnwick;
using tarnwick::test::countFrames;
using tarnwick::test::movingFrame;
using tarnwick::test::probe;

namespace {

std::set<int> threadsOfThisProcess()
{
    std::set<int> ids;
    for (const QString& name : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        ids.insert(name.toInt());
    return ids;
}

RecordingOptions withCodec(RecordingCodec codec)
{
    RecordingOptions options;
    options.codec = codec;
    return options;
}

} // namespace

// A busy machine gives a thread of lower priority a fraction of its share: every thread the
// encoder starts (its codec's own among them) keeps the priority of the thread recording.
TEST(RecordingEncoderThreads, RunAtTheRecordersPriorityAndWriteEveryFrame)
{
    const QSize size(1280, 720);
    constexpr int frames = 30;
    for (const RecordingCodec codec : {RecordingCodec::hevc, RecordingCodec::h264}) {
        SCOPED_TRACE(codec == RecordingCodec::hevc ? "hevc" : "h264");
        QTemporaryDir dir;
        const QString path = dir.filePath("r.mp4");
        const int ours = getpriority(PRIO_PROCESS, 0);
        const std::set<int> before = threadsOfThisProcess();
        RecordingEncoder encoder(path, size, withCodec(codec), false);
        // The codec's threads have all started once frames went through them.
        for (int k = 0; k < frames; ++k)
            ASSERT_TRUE(encoder.pushVideo(movingFrame(size, k), k * 2000, true));
        int started = 0;
        for (const int id : threadsOfThisProcess()) {
            if (before.count(id))
                continue;
            ++started;
            EXPECT_EQ(getpriority(PRIO_PROCESS, id_t(id)), ours) << "thread " << id;
        }
        EXPECT_GT(started, 2) << "the encoder's and the codec's threads";
        encoder.close(frames * 2000);
        const test::FrameCounts counts = countFrames(path);
        EXPECT_EQ(counts.errors, "");
        EXPECT_EQ(counts.counts, QStringList{QString::number(frames)});
    }
}

// Frames come faster than HEVC at 1080p takes them: the queue refuses the surplus (for the
// recorder to count) instead of growing, and the frames taken keep their times.
TEST(RecordingEncoderThreads, AFullQueueRefusesFramesAndKeepsTheTimeline)
{
    const QSize size(1920, 1080);
    constexpr int frames = 240;
    // Drawn beforehand, so frames come as fast as the encoder takes them in, in a debug build too.
    std::vector<QImage> pictures;
    for (int k = 0; k < 8; ++k)
        pictures.push_back(movingFrame(size, k));
    QTemporaryDir dir;
    const QString path = dir.filePath("r.mp4");
    RecordingEncoder encoder(path, size, withCodec(RecordingCodec::hevc), false);
    int taken = 0;
    for (int k = 0; k < frames; ++k)
        taken += encoder.pushVideo(pictures[std::size_t(k) % pictures.size()], k * 2000, false);
    EXPECT_LT(taken, frames);
    EXPECT_GT(taken, 0);
    encoder.close(frames * 2000);
    EXPECT_EQ(countFrames(path).counts, QStringList{QString::number(taken)});
    EXPECT_NEAR(probe(path)["format"].toObject()["duration"].toString().toDouble(), frames / 30.0, 0.05);
}
