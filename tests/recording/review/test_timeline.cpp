#include "recording/review/RecordingTimeline.h"
#include "recording/review/RecordingTimelineThumbnails.h"
#include "recording/review/RecordingTimelineView.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace tarnwick;
using Target = RecordingTimelineView::Target;

namespace {

// The review model's trim rules, as the timeline relies on them.
struct FakeReview {
    RecordingTimelineState s{0, 10, 10, 0, true, false, false, false, QString("/nonexistent.mp4")};
    RecordingTimelineModel model()
    {
        double minimum = std::min(s.duration, 0.1);
        return {[this] { return s; },
                [this](double t) { s.playhead = std::clamp(t, 0.0, s.duration); },
                [this, minimum](double t) { s.start = std::min(std::max(t, 0.0), std::max(s.end - minimum, 0.0)); },
                [this, minimum](double t) { s.end = std::min(std::max(t, s.start + minimum), s.duration); },
                [] {},
                [this](double start, double end) { s.start = start, s.end = end; }};
    }
};

void mouse(QWidget* w, QEvent::Type type, double x, double y, Qt::KeyboardModifiers mods = {})
{
    Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), Qt::LeftButton, buttons, mods);
    QApplication::sendEvent(w, &event);
}

} // namespace

TEST(RecordingTimelineView, DragsClickKeysAndTypedTimesFollowTheTrimRules)
{
    FakeReview review;
    RecordingTimelineView view(review.model());
    view.resize(700, 108); // track from 10 to 690: 68 points per second
    view.show();

    // The end handle dragged past the start stops there; moving back answers at once.
    mouse(&view, QEvent::MouseButtonPress, 690, 39);
    mouse(&view, QEvent::MouseMove, 10, 39);
    EXPECT_DOUBLE_EQ(review.s.end, 0.1);
    mouse(&view, QEvent::MouseMove, 78, 39);
    EXPECT_NEAR(review.s.end, 1.1, 1e-9);
    // Esc puts trim and playhead back; the release then changes nothing.
    QTest::keyClick(&view, Qt::Key_Escape);
    mouse(&view, QEvent::MouseButtonRelease, 300, 39);
    EXPECT_EQ(std::tuple(review.s.start, review.s.end, review.s.playhead), std::tuple(0.0, 10.0, 0.0));

    // Alt drags ten times slower in whole milliseconds; without it in 1/30 s.
    mouse(&view, QEvent::MouseButtonPress, 10, 39);
    EXPECT_EQ(view.target(), Target::start);
    mouse(&view, QEvent::MouseMove, 20, 39, Qt::AltModifier);
    mouse(&view, QEvent::MouseButtonRelease, 20, 39, Qt::AltModifier);
    EXPECT_DOUBLE_EQ(review.s.start, 0.015);
    QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_DOUBLE_EQ(review.s.start, 0.025);

    // A click on the strip seeks; one well below the track does nothing.
    mouse(&view, QEvent::MouseButtonPress, 350, 39);
    mouse(&view, QEvent::MouseButtonRelease, 350, 39);
    EXPECT_EQ(view.target(), Target::playhead);
    EXPECT_DOUBLE_EQ(review.s.playhead, 5.0);
    mouse(&view, QEvent::MouseButtonPress, 100, 74);
    EXPECT_DOUBLE_EQ(review.s.playhead, 5.0);
    // Assistive technology steps the same target by one frame.
    QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(slider->actionInterface(), nullptr);
    slider->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_DOUBLE_EQ(review.s.playhead, 5.0 + 1.0 / 30);
    EXPECT_EQ(slider->text(QAccessible::Value), "00:05.033");

    // Typed times: an invalid text keeps the editor open; a start beyond the end stops 0.1 s before it.
    QRectF startLabel = view.label(Target::start);
    mouse(&view, QEvent::MouseButtonDblClick, startLabel.center().x(), startLabel.center().y());
    ASSERT_NE(view.editor(), nullptr);
    view.editor()->field()->setText("1:60");
    QTest::keyClick(view.editor()->field(), Qt::Key_Return);
    ASSERT_NE(view.editor(), nullptr);
    EXPECT_TRUE(view.editor()->invalid());
    EXPECT_DOUBLE_EQ(review.s.start, 0.025);
    view.editor()->field()->setText(" 0:99,5 ");
    QTest::keyClick(view.editor()->field(), Qt::Key_Return);
    EXPECT_TRUE(view.editor()->invalid());
    view.editor()->field()->setText("1:30,5");
    QTest::keyClick(view.editor()->field(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.editor() == nullptr; }));
    EXPECT_DOUBLE_EQ(review.s.start, 9.9);

    // While tracking the trim is locked: a handle click selects and seeks the playhead.
    review.s.tracking = true;
    double startX = view.x(review.s.start);
    mouse(&view, QEvent::MouseButtonPress, startX, 39);
    mouse(&view, QEvent::MouseButtonRelease, startX, 39);
    EXPECT_EQ(view.target(), Target::playhead);
    EXPECT_NEAR(review.s.playhead, 9.9, 0.01);
    QTest::keyClick(&view, Qt::Key_Backtab);
    QTest::keyClick(&view, Qt::Key_Right);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(view.target(), Target::start);
    EXPECT_DOUBLE_EQ(review.s.start, 9.9);
    EXPECT_EQ(view.editor(), nullptr);
}

TEST(RecordingTimeline, ThumbnailsOfARecordingFillTheStripInOrderAndAreDecodedOnce)
{
    // Cells spread the twelve thumbnails; requests stay inside the recording.
    EXPECT_EQ(RecordingTimelineView::cellImages(68, 12), std::vector<int>{0});
    EXPECT_EQ(RecordingTimelineView::cellImages(680, 12), (std::vector<int>{0, 1, 2, 4, 5, 6, 7, 9, 10, 11}));
    EXPECT_EQ(RecordingTimelineView::cellImages(200, 0), (std::vector<int>{-1, -1, -1}));
    EXPECT_EQ(RecordingTimelineThumbnails::requestTimes(0.02), std::vector<double>(12, 0.0));
    EXPECT_DOUBLE_EQ(RecordingTimelineThumbnails::requestTimes(12)[11], 12 - 1.0 / 30);

    // Twelve seconds whose red channel counts the seconds.
    QTemporaryDir dir;
    QString file = dir.filePath("video.mp4");
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                           "color=c=black:s=320x180:r=30:d=12,format=rgb24,"
                                           "geq=r='20*floor(T)+10':g=128:b=60",
                                           "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "15", file}),
              0);
    FakeReview review;
    review.s = {0, 12, 12, 0, true, false, false, false, file};
    RecordingTimeline row(review.model());
    row.resize(900, 108);
    row.show();
    RecordingTimelineThumbnails* thumbnails = row.thumbnails();
    auto full = [&] {
        return thumbnails->frames().size() == 12
               && std::none_of(thumbnails->frames().begin(), thumbnails->frames().end(),
                               [](const QImage& i) { return i.isNull(); });
    };
    ASSERT_TRUE(QTest::qWaitFor(full, 20000));

    std::vector<double> times = RecordingTimelineThumbnails::requestTimes(12);
    for (int i = 0; i < 12; ++i) {
        QImage frame = thumbnails->frames()[i];
        EXPECT_EQ(frame.size(), QSize(192, 108));
        // Any frame within the half-second tolerance of the requested time.
        int red = qRed(frame.pixel(96, 54));
        EXPECT_GE(red, 20 * std::floor(times[i] - 0.5) + 10 - 6) << i;
        EXPECT_LE(red, 20 * std::floor(times[i] + 0.5) + 10 + 6) << i;
    }
    // Each cell of the strip shows its thumbnail.
    RecordingTimelineView* view = row.view();
    QImage strip = view->grab().toImage();
    std::vector<int> cells = RecordingTimelineView::cellImages(view->track().width(), 12);
    for (int i = 0; i < int(cells.size()); ++i) {
        double centre = view->track().left() + view->track().width() * (i + 0.5) / cells.size();
        QColor drawn = strip.pixelColor(int(centre), 39);
        QColor expected = thumbnails->frames()[cells[i]].pixelColor(96, 54);
        EXPECT_NEAR(drawn.red(), expected.red(), 4) << i;
        EXPECT_NEAR(drawn.green(), expected.green(), 4) << i;
    }

    // Another layout, and the row shown again, decode nothing new.
    int decoded = thumbnails->decodedCount();
    EXPECT_EQ(decoded, 12);
    row.resize(600, 108);
    row.hide();
    EXPECT_TRUE(thumbnails->frames().isEmpty());
    row.show();
    EXPECT_TRUE(full());
    QTest::qWait(0);
    EXPECT_EQ(thumbnails->decodedCount(), decoded);
}
