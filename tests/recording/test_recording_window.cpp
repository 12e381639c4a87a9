#include "recording/RecordingBlurControls.h"
#include "recording/RecordingBlurPreview.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingReview.h"
#include "recording/RecordingUIModel.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "recording/VideoBlurCanvas.h"
#include "recording/review/RecordingTimeline.h"
#include "recording/review/RecordingTimelineThumbnails.h"
#include "recording/review/RecordingTimelineView.h"
#include "review/MediaFiles.h"
#include "review/TrackingClips.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;

namespace {
// The texts of the window's visible labels and buttons, with enabled buttons marked "+".
QStringList shownTexts(QWidget& window)
{
    QStringList texts;
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->isVisibleTo(&window) && !label->text().isEmpty())
            texts << label->text();
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&window))
            texts << button->text() + (button->isEnabled() ? "+" : "");
    return texts;
}

// Clicks the shown button titled `title` among `within`'s children.
void press(const QWidget& within, const QString& title)
{
    for (QPushButton* button : within.findChildren<QPushButton*>())
        if (button->text() == title && button->isVisible())
            return button->click();
    ADD_FAILURE() << "no button " << title.toStdString();
}

// Opens `controller`'s review of the recording at `source`, `size` pixels and `seconds` long, in a
// window of 900×820.
RecordingWindow& openReview(ScreenRecordingController& controller, const QString& source, QSizeF size, double seconds)
{
    RecordingUIModel& model = controller.model();
    model.setOutputSize(size);
    model.setTrim({seconds, 0, seconds});
    model.setVideoSource(source);
    controller.review().player().setSource(source);
    model.setPhase(RecordingPhase::review);
    controller.present();
    RecordingWindow& window = *controller.window();
    window.resize(900, 820);
    return window;
}
} // namespace

TEST(RecordingWindow, ShowsEachPhaseWithItsTextsAndButtons)
{
    RecordingUIModel model(nullptr);
    RecordingReview review(model);
    RecordingWindow window(review);
    RecordingControlPanel strip(model);
    struct Case {
        RecordingPhase phase;
        QStringList shown, hidden;
        QString strip;
    };
    const Case cases[] = {
        {RecordingPhase::setup,
         {"Запись экрана", "Системный звук+", "Локально · 30 кадров/с", "Записать+", "Весь экран+"},
         {"Удалить запись", "Подготовка записи…"},
         "00:59"},
        {RecordingPhase::starting, {"Готовая запись", "Подготовка записи…", "Удалить запись", "Сохранить MP4…"}, {"Записать+"},
         "Подготовка…"},
        {RecordingPhase::review,
         {"Оставьте нужный фрагмент и сохраните MP4", "1280 × 720 · 12,3 МБ", "Итог: 01:05 · без повторного сжатия",
          "Удалить запись+", "Сохранить MP4…+"},
         {"Сохраняю…"},
         "00:59"},
        {RecordingPhase::exporting, {"Сохраняю…", "Удалить запись", "Сохранить MP4…"}, {"Записать"}, "00:59"},
    };
    model.setElapsed(59.9);
    model.setOutputSize({1280.7, 720});
    model.setFileBytes(12'345'678);
    model.setTrim({70, 2, 67.5});
    for (const Case& c : cases) {
        model.setPhase(c.phase);
        const QStringList texts = shownTexts(window);
        for (const QString& text : c.shown)
            EXPECT_TRUE(texts.contains(text)) << text.toStdString() << " in " << texts.join(" | ").toStdString();
        for (const QString& text : c.hidden)
            EXPECT_FALSE(texts.contains(text)) << text.toStdString();
        EXPECT_EQ(strip.statusText(), c.strip);
        EXPECT_EQ(strip.stopButton()->isEnabled(), c.phase == RecordingPhase::recording);
    }
    model.setMessage("Запись прервана: нет сигнала.");
    EXPECT_TRUE(shownTexts(window).contains("Запись прервана: нет сигнала."));
    EXPECT_EQ(RecordingWindow::fileSizeText(999) + "; " + RecordingWindow::fileSizeText(512'400) + "; " +
                  RecordingWindow::fileSizeText(2'500'000'000),
              "999 байт; 512 КБ; 2,50 ГБ");
}

// The review with the system's own services: thumbnails, seeking, a region drawn with
// the mouse blurring the preview, and tracking it through the recording.
TEST(RecordingWindow, ReviewOfARealRecordingShowsTheTimelineAndBlursAndTracksARegion)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("recording.mp4");
    test::runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30:duration=2",
                             "-c:v", "libx264", source});
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    ScreenRecordingController controller(&settings, [] { return true; });
    RecordingUIModel& model = controller.model();
    RecordingReview& review = controller.review();
    RecordingWindow& window = openReview(controller, source, {320, 240}, 2);
    RecordingTimeline& timeline = *window.preview()->timeline();
    ASSERT_TRUE(timeline.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QImage>& frames = timeline.thumbnails()->frames();
        return !frames.isEmpty() && std::none_of(frames.begin(), frames.end(), [](const QImage& f) { return f.isNull(); });
    }));
    RecordingTimelineView& strip = *timeline.view();
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPointF(strip.x(1.0), strip.track().center().y()).toPoint());
    EXPECT_NEAR(model.playhead(), 1.0, 0.05);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(review.player().currentTime() - 1.0) < 0.05; }));
    const QImage before = review.player().picture();

    press(*window.blurControls(), "Добавить размытие");
    VideoBlurCanvas& canvas = *window.preview()->canvas();
    const QRectF picture = canvas.videoRect();
    QTest::mousePress(&canvas, Qt::LeftButton, {}, picture.topLeft().toPoint() + QPoint(20, 20));
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, picture.center().toPoint());
    ASSERT_EQ(model.blurRegions().size(), 1u);
    // The region in the picture's pixels (its rectangle is normalised with the origin at the bottom).
    const QRectF r = model.blurRegions()[0].rect(1.0);
    const QRect inside = QRectF(r.x() * 320, (1 - r.bottom()) * 240, r.width() * 320, r.height() * 240)
                             .toAlignedRect()
                             .adjusted(4, 4, -4, -4);
    const QRect corner(280, 200, 40, 40);
    ASSERT_TRUE(QTest::qWaitFor([&] { return review.player().picture().copy(inside) != before.copy(inside); }))
        << "the preview's picture is blurred under the region";
    EXPECT_EQ(review.player().picture().copy(corner), before.copy(corner));
    QCoreApplication::processEvents();
    const QStringList texts = shownTexts(window);
    for (const char* text : {"Отследить+", "Итог: 00:02 · с размытием"})
        EXPECT_TRUE(texts.contains(text)) << text << " in " << texts.join(" | ").toStdString();
    EXPECT_EQ(window.blurControls()->findChild<QComboBox*>()->currentText(), "Область 1");

    press(*window.blurControls(), "Отследить");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.trackingProgress(); }, 120000));
    EXPECT_EQ(model.message(), std::nullopt);
    const review::VideoBlurRegion& tracked = model.blurRegions()[0];
    EXPECT_TRUE(tracked.pending.empty());
    EXPECT_GT(tracked.keys.size(), tracked.manualKeys().size()) << "tracking added keys of its own";
}

// A face coming closer than the box drawn on it in the review: once tracked, the review shows the
// frames where it outgrew the box among the lost ones, not "done", and the save holds until the
// user looks.
TEST(RecordingWindow, ATargetOutgrowingItsBoxIsShownAndHoldsTheSave)
{
    QTemporaryDir dir;
    const test::TrackingClip clip(test::TrackingTarget::growingFace, 1);
    const QString source = clip.write(dir.filePath("recording.mp4"));
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    ScreenRecordingController controller(&settings, [] { return true; });
    RecordingUIModel& model = controller.model();
    RecordingWindow& window = openReview(controller, source, test::TrackingClip::size, clip.frames() / 30.0);

    // The box drawn with the mouse on the face's edges in the first frame.
    press(window, "Добавить размытие");
    VideoBlurCanvas& canvas = *window.preview()->canvas();
    const QRectF picture = canvas.videoRect();
    const QRect face = clip.target(0);
    const auto at = [&](QPoint p) {
        return QPointF(picture.left() + p.x() * picture.width() / test::TrackingClip::size.width(),
                       picture.top() + p.y() * picture.height() / test::TrackingClip::size.height())
            .toPoint();
    };
    QTest::mousePress(&canvas, Qt::LeftButton, {}, at(face.topLeft()));
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, at(face.bottomRight()));
    ASSERT_EQ(model.blurRegions().size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownTexts(window).contains("Отследить+"); }, 30000))
        << shownTexts(window).join(" | ").toStdString();

    press(window, "Отследить");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.trackingProgress(); }, 120000));
    EXPECT_EQ(model.message(), std::nullopt);
    const review::VideoBlurRegion& tracked = model.blurRegions()[0];
    EXPECT_TRUE(tracked.tracked);
    ASSERT_FALSE(tracked.gaps.empty());
    QCoreApplication::processEvents();
    const QStringList texts = shownTexts(window);
    EXPECT_TRUE(texts.contains("Есть потерянные участки")) << texts.join(" | ").toStdString();
    EXPECT_FALSE(texts.contains("Отслеживание готово"));
    // What the save checks before it asks for a file (its refusal is the session's own test).
    EXPECT_TRUE(tracked.losesTargetWithin(model.trim().start, model.trim().end));
}

// When tracking reports a loss, the warning with its accept button shows in the review window
// without scrolling the blur controls, also on a screen lower than the window wants.
TEST(RecordingWindow, ALostIntervalShowsItsAcceptButtonWithoutScrolling)
{
    RecordingUIModel model(nullptr);
    RecordingReview review(model);
    RecordingWindow window(review);
    model.setOutputSize({1280, 720});
    model.setFileBytes(12'345'678);
    model.setTrim({10, 0, 10});
    model.setPhase(RecordingPhase::review);
    review.finishBlurSelection(QRectF(0.1, 0.1, 0.2, 0.2));
    review.correctBlur(QRectF(0.3, 0.1, 0.2, 0.2)); // a second manual key: a correction button
    review::VideoBlurRegion region = model.blurRegions().front();
    region.pending.clear();
    region.tracked = true;
    region.gaps = {{1.2, 2.5}, {4, 4.6}, {7.1, 9.95}};
    model.setBlurRegions({region});
    window.show();
    for (const QSize size : {QSize(900, 820), QSize(900, 700), QSize(760, 600)}) {
        SCOPED_TRACE(size.height());
        window.resize(size);
        // A window manager may keep a window off a size; what counts is the layout at the size it got.
        static_cast<void>(QTest::qWaitFor([&] { return window.size() == size.expandedTo(window.minimumSize()); }));
        QCoreApplication::processEvents();
        QPushButton* accept = nullptr;
        for (QPushButton* button : window.blurControls()->findChildren<QPushButton*>())
            if (button->text() == "Оставить область в последнем положении на этих интервалах")
                accept = button;
        ASSERT_TRUE(accept && accept->isVisible());
        auto* area = qobject_cast<QScrollArea*>(window.blurControls()->parentWidget()->parentWidget());
        ASSERT_TRUE(area);
        const QRect shown(accept->mapTo(area->viewport(), QPoint()), accept->size());
        EXPECT_TRUE(area->viewport()->rect().contains(shown))
            << "the button at " << shown.y() << "–" << shown.bottom() << " in a view " << area->viewport()->height()
            << " high";
        if (const char* dir = std::getenv("TARNWICK_TEST_SHOTS"))
            window.grab().save(QString("%1/lost-%2.png").arg(dir).arg(size.height()));
    }
}
