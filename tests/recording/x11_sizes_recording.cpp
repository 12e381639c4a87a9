#include "RecordingTestSupport.h"
#include "platform/AllocatorLimits.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "recording/review/RecordingTimeline.h"
#include "recording/review/RecordingTimelineThumbnails.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
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
class Stripes : public QWidget {
public:
    Stripes()
    {
        setWindowFlags(Qt::FramelessWindowHint);
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
        timer_.start(20);
        clock_.start();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(30, 60, 90));
        const int shift = static_cast<int>(clock_.elapsed() / 5) % 97;
        for (int x = -97; x < width(); x += 97)
            painter.fillRect(x + shift, 0, 31, height(), QColor(220, 180, 40));
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
};

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
        QTemporaryDir dir;
        QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
        settings.setValue("recordingCodec", "h264");
        settings.setValue("recordingEntireDisplay", false);
        RecordingServices services = RecordingServices::system();
        services.temporaryRoot = dir.filePath("private");
        const QString saved = dir.filePath("Saved.mp4");
        services.chooseDestination = [&](QWidget*, const QString&) { return std::optional(saved); };
        services.selectArea = [area = c.area](const QString&, RecordingAreaSelector::Completion completion) {
            QTimer::singleShot(0, [completion, area] {
                completion(AreaSelection{QGuiApplication::primaryScreen(), area});
            });
            return std::shared_ptr<void>();
        };
        auto controller = std::make_unique<ScreenRecordingController>(&settings, [] { return true; }, services);
        RecordingUIModel& model = controller->model();
        RecordingReview& review = controller->review();
        controller->present();
        model.startAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::recording; }, 30000))
            << model.message().value_or("").toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.elapsed() >= 1.0; }, 30000));
        model.stopAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::review; }, 30000));
        EXPECT_FALSE(model.message()) << model.message()->toStdString();

        // The review: the player's pictures at a few times and the timeline's thumbnails.
        auto* timeline = controller->window()->findChild<RecordingTimeline*>();
        ASSERT_TRUE(timeline);
        for (double time : {0.5, 0.0, model.trim().duration - 0.05}) {
            review.seekVideo(time, false);
            QTest::qWait(150);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return review.player().picture().size() == c.video; }, 10000))
            << review.player().picture().width() << "×" << review.player().picture().height();
        const auto thumbnailsDone = [&] {
            const QList<QImage>& frames = timeline->thumbnails()->frames();
            return frames.size() == RecordingTimelineThumbnails::count &&
                   std::none_of(frames.begin(), frames.end(), [](const QImage& f) { return f.isNull(); });
        };
        EXPECT_TRUE(QTest::qWaitFor(thumbnailsDone, 30000));

        bool dismissed = false;
        controller->onDismiss = [&] { dismissed = true; };
        model.saveAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return dismissed; }, 30000)) << model.message().value_or("").toStdString();
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();

        const QJsonObject video = probe(saved)["streams"].toArray()[0].toObject();
        EXPECT_EQ(QSize(video["width"].toInt(), video["height"].toInt()), c.video);
        EXPECT_GE(probe(saved)["format"].toObject()["duration"].toString().toDouble(), 0.9);
    }
}
