#include "RecordingTestSupport.h"
#include "platform/AllocatorLimits.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "recording/review/RecordingTimeline.h"
#include "recording/review/RecordingTimelineThumbnails.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

namespace {

// A full-screen picture that changes every frame, so every recording has real work.
class Stripes : public ScreenPicture {
public:
    Stripes() : ScreenPicture(paint(), 20) {}

private:
    static Paint paint()
    {
        return [painted = 0](QPainter& painter, const QRect& rect) mutable {
            painter.fillRect(rect, QColor(30, 60, 90));
            const int shift = (painted++ * 7) % 97; // a step with every repaint
            for (int x = -97; x < rect.width(); x += 97)
                painter.fillRect(x + shift, 0, 31, rect.height(), QColor(220, 180, 40));
        };
    }
};

// Saves the reviewed recording, waits until the session is over and deletes it.
void saveAndClose(std::unique_ptr<ScreenRecordingController>& controller)
{
    bool dismissed = false;
    controller->onDismiss = [&] { dismissed = true; };
    controller->model().saveAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dismissed; }, 60000))
        << controller->model().message().value_or("").toStdString();
    controller.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

// Every size an area can have goes through the whole session: recording, review with its
// player and thumbnails, save, close. The program runs with glibc's heap checks on (see
// CMakeLists.txt), so a conversion writing past its picture aborts it here.
TEST(RecordingSizes, EverySizeRecordsReviewsSavesAndCloses)
{
    platform::limitAllocatorGrowth(); // as the program does first thing
    Stripes stripes;
    stripes.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&stripes));
    struct Case {
        QRectF area;
        QSize video; // odd sizes lose their last column or row: yuv420p has whole chroma pairs
    };
    for (const Case& c : {Case{{100, 80, 680, 520}, {680, 520}}, Case{{0, 0, 1000, 500}, {1000, 500}},
                          Case{{301, 203, 1001, 501}, {1000, 500}}, Case{{900, 700, 16, 16}, {16, 16}},
                          Case{{0, 0, 1600, 900}, {1600, 900}}, Case{{17, 9, 1283, 719}, {1282, 718}}}) {
        SCOPED_TRACE(testing::Message() << c.area.width() << "×" << c.area.height());
        AreaRecording session(c.area);
        const QString& saved = session.saved;
        auto controller =
            std::make_unique<ScreenRecordingController>(&session.settings, [] { return true; }, session.services);
        RecordingUIModel& model = controller->model();
        RecordingReview& review = controller->review();
        ASSERT_NO_FATAL_FAILURE(recordAndStop(*controller));
        EXPECT_FALSE(model.message()) << model.message()->toStdString();

        // The review: the player's pictures at a few times and the timeline's thumbnails.
        auto* timeline = controller->window()->findChild<RecordingTimeline*>();
        ASSERT_TRUE(timeline);
        for (double time : {0.5, 0.0, model.trim().duration - 0.05}) {
            review.seekVideo(time, false);
            EXPECT_TRUE(QTest::qWaitFor([&] { return review.player().currentTime() == time; }, 30000)) << time;
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return review.player().picture().size() == c.video; }, 10000))
            << review.player().picture().width() << "×" << review.player().picture().height();
        const auto thumbnailsDone = [&] {
            const QList<QImage>& frames = timeline->thumbnails()->frames();
            return frames.size() == RecordingTimelineThumbnails::count &&
                   std::none_of(frames.begin(), frames.end(), [](const QImage& f) { return f.isNull(); });
        };
        EXPECT_TRUE(QTest::qWaitFor(thumbnailsDone, 30000));

        ASSERT_NO_FATAL_FAILURE(saveAndClose(controller));

        const QJsonObject video = probe(saved)["streams"].toArray()[0].toObject();
        EXPECT_EQ(QSize(video["width"].toInt(), video["height"].toInt()), c.video);
        EXPECT_GE(probe(saved)["format"].toObject()["duration"].toString().toDouble(), 0.9);
    }
}

namespace {

// The size of every decoded picture of `file`'s video and ffmpeg's complaints while decoding it.
struct Decoded {
    QSet<QString> sizes; // "w×h" of each picture
    int pictures = 0;
    QString errors;
};
Decoded decodeAll(const QString& file)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "frame=width,height", "-of",
                              "csv=p=0", file});
    Decoded decoded;
    if (!ffprobe.waitForFinished(120000))
        return {{}, 0, "ffprobe did not finish"};
    for (const QString& line : QString::fromUtf8(ffprobe.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList wh = line.trimmed().split(u',');
        decoded.sizes.insert(wh.value(0) + u'×' + wh.value(1));
        ++decoded.pictures;
    }
    decoded.errors = QString::fromUtf8(ffprobe.readAllStandardError()).trimmed();
    return decoded;
}

} // namespace

// HEVC, the default codec, below the smallest picture its encoder takes: each area records,
// plays in the review and saves, both as recorded and re-encoded with a blur, at exactly its
// size. libx265 given such a picture corrupted the heap, which the heap checks turn into an abort.
TEST(RecordingSizes, NarrowAndLowAreasRecordInBothCodecsAtExactlyTheirSize)
{
    platform::limitAllocatorGrowth();
    Stripes stripes;
    stripes.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&stripes));
    struct Case {
        QSizeF area;
        QSize video;
    };
    for (const char* codec : {"hevc", "h264"})
        for (const Case& c : {Case{{16, 16}, {16, 16}}, Case{{40, 300}, {40, 300}}, Case{{300, 40}, {300, 40}},
                              Case{{63, 63}, {62, 62}}, Case{{64, 64}, {64, 64}}})
            for (const bool blurred : {false, true}) {
                SCOPED_TRACE(testing::Message() << codec << ' ' << c.area.width() << "×" << c.area.height()
                                                << (blurred ? " blurred" : " as recorded"));
                AreaRecording session(QRectF(QPointF(333, 217), c.area), codec);
                const QString& saved = session.saved;
                auto controller = std::make_unique<ScreenRecordingController>(&session.settings, [] { return true; },
                                                                              session.services);
                RecordingUIModel& model = controller->model();
                ASSERT_NO_FATAL_FAILURE(recordAndStop(*controller));
                ASSERT_FALSE(model.message()) << model.message()->toStdString();

                const QString recording = model.videoSource().value_or("");
                const Decoded recorded = decodeAll(recording);
                EXPECT_EQ(recorded.errors, "");
                EXPECT_GE(recorded.pictures, 2);
                EXPECT_EQ(recorded.sizes, QSet<QString>{QString("%1×%2").arg(c.video.width()).arg(c.video.height())});
                controller->review().seekVideo(0.5, false);
                EXPECT_TRUE(QTest::qWaitFor([&] { return controller->review().player().picture().size() == c.video; },
                                            10000));

                if (blurred) {
                    review::VideoBlurRegion region;
                    region.start = 0;
                    region.end = model.trim().duration;
                    region.radius = 4;
                    region.keys = {{0, QRectF(0.25, 0.25, 0.5, 0.5), true}};
                    model.setBlurRegions({region});
                }
                ASSERT_NO_FATAL_FAILURE(saveAndClose(controller));

                const QJsonObject video = probe(saved)["streams"].toArray()[0].toObject();
                EXPECT_EQ(video["codec_name"].toString(), codec);
                EXPECT_EQ(QSize(video["width"].toInt(), video["height"].toInt()), c.video);
                const Decoded decoded = decodeAll(saved);
                EXPECT_EQ(decoded.errors, "");
                EXPECT_GE(decoded.pictures, 2);
                EXPECT_EQ(decoded.sizes, QSet<QString>{QString("%1×%2").arg(c.video.width()).arg(c.video.height())});
            }
}
