// The time editor of the review's timeline is a window of its own: the window the timeline is in,
// moved or resized by openbox, takes it along under the time it edits.

#include "recording/review/RecordingTimelineView.h"
#include "support/DockedDesk.h"
#include "support/X11Client.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QVBoxLayout>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;
using Target = RecordingTimelineView::Target;

namespace {

struct Review {
    RecordingTimelineState s{0, 10, 10, 0, true, false, false, false, QString("/nonexistent.mp4")};
    RecordingTimelineModel model()
    {
        return {[this] { return s; }, [this](double t) { s.playhead = t; }, [this](double t) { s.start = t; },
                [this](double t) { s.end = t; }, [] {}, [this](double start, double end) { s.start = start, s.end = end; }};
    }
};

class TimeEditorFollows : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(startOpenbox(openbox)); }
    void TearDown() override { openbox.terminate(), openbox.waitForFinished(); }

    // Where the server shows the editor from where it shows the time it edits.
    QPoint offset(QWidget* editor, const RecordingTimelineView& view, Target target)
    {
        const QRect shown = x.rootGeometry(std::uint32_t(editor->winId()));
        const QRect window = x.rootGeometry(std::uint32_t(view.window()->winId()));
        if (shown.isEmpty() || window.isEmpty())
            return {-99999, -99999};
        // In the server's pixels, at any scale.
        const QPointF time = view.mapTo(view.window(), view.label(target).toAlignedRect().bottomLeft()) * view.devicePixelRatioF();
        return shown.topLeft() - (window.topLeft() + time.toPoint());
    }

    // Above 1× the window's place (in any pixel the window manager chooses) and the popup's are
    // each rounded to whole points.
    static bool near(QPoint a, QPoint b)
    {
        const double scale = qApp->devicePixelRatio();
        const int slack = scale > 1 ? int(std::ceil(scale)) : 0;
        return std::abs(a.x() - b.x()) <= slack && std::abs(a.y() - b.y()) <= slack;
    }

    X11Client x;
    QProcess openbox;
};

} // namespace

TEST_F(TimeEditorFollows, TheTimeEditorStaysUnderItsTimeWhenTheWindowIsMovedAndResized)
{
    Review review;
    review.s.start = 2.5, review.s.end = 7.5;
    QWidget window;
    window.setWindowTitle(QStringLiteral("Запись"));
    auto* box = new QVBoxLayout(&window);
    box->addStretch(1); // the strip sits at the bottom, as in the review
    auto* view = new RecordingTimelineView(review.model(), &window);
    view->setFixedHeight(108);
    box->addWidget(view);
    window.resize(640, 260);
    window.show();
    const auto id = std::uint32_t(window.winId());
    std::vector<std::uint32_t> extents;
    ASSERT_TRUE(waitUntil([&] { return (extents = x.cardinals(id, "_NET_FRAME_EXTENTS")).size() == 4 && extents[2] > 0; }))
        << "openbox did not frame the window";
    const QRect client = settledPlace([&] { return x.rootGeometry(id); }, "the window");

    // The end's time, as a double click on it opens it.
    const QPointF at = view->label(Target::end).center();
    QMouseEvent press(QEvent::MouseButtonDblClick, at, view->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &press);
    QPointer<RecordingTimelineTimeEditor> editor = view->editor();
    ASSERT_TRUE(editor);
    ASSERT_TRUE(waitUntil([&] { return editor->isVisible() && !x.rootGeometry(std::uint32_t(editor->winId())).isEmpty(); }));
    const QPoint under = settledPlace([&] { return QRect(offset(editor, *view, Target::end), QSize(1, 1)); }, "the time editor").topLeft();

    // Moved by openbox, as a pager or the window manager's keys move it.
    const QPoint by(-130, -80);
    QRect now;
    x.moveWindow(id, client.x() - int(extents[0]) + by.x(), client.y() - int(extents[2]) + by.y());
    ASSERT_TRUE(waitUntil([&] { return (now = x.rootGeometry(id)).topLeft() == client.topLeft() + by; }))
        << "openbox did not move the window: " << text(client) << " to " << text(now);
    QPoint seen;
    ASSERT_TRUE(editor) << "the move closed the time editor";
    EXPECT_TRUE(waitUntil([&] { return near(seen = offset(editor, *view, Target::end), under); }))
        << "after a move it is at " << seen.x() << "," << seen.y() << " from its time, was " << under.x() << "," << under.y();

    // Wider and taller: the strip goes down and its end's time to the right.
    const QPoint labelWas = view->mapToGlobal(view->label(Target::end).toAlignedRect().bottomLeft());
    const QSize larger = client.size() + QSize(200, 100);
    ASSERT_EQ(runProcess(QStringLiteral("xdotool"), {QStringLiteral("windowsize"), QString::number(id),
                                                     QString::number(larger.width()), QString::number(larger.height())}), 0);
    ASSERT_TRUE(waitUntil([&] { return (now = x.rootGeometry(id)).size() == larger; })) << "openbox did not resize it: " << text(now);
    ASSERT_TRUE(editor) << "the resize closed the time editor";
    EXPECT_TRUE(waitUntil([&] { return near(seen = offset(editor, *view, Target::end), under); }))
        << "after a resize it is at " << seen.x() << "," << seen.y() << " from its time, was " << under.x() << "," << under.y();
    EXPECT_NE(view->mapToGlobal(view->label(Target::end).toAlignedRect().bottomLeft()), labelWas) << "the time did not move";

    // Still the editor it was: what is typed into it goes to the end.
    editor->field()->setText(QStringLiteral("0:06"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, {});
    QApplication::sendEvent(editor->field(), &enter);
    EXPECT_TRUE(waitUntil([&] { return !editor; }));
    EXPECT_DOUBLE_EQ(review.s.end, 6.0);
}
